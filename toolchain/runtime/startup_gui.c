/* Entry point of a GUI program: calls the program's WinMain. */
#include "runtime.h"

int __stdcall WinMain(HANDLE instance, HANDLE previous, char* command_line, int show);

void WinMainCRTStartup(void)
{
    static char empty_command_line[1] = {0};
    set_fpu_control_word();
    ExitProcess((unsigned int)WinMain(GetModuleHandleW(0), 0, empty_command_line, 10 /* show default */));
}
