/* Entry point of a console program: calls the program's main. The
   generated main ends the process itself; its result is the exit code
   should it ever return. */
#include "runtime.h"

int main(void);

void mainCRTStartup(void)
{
    set_fpu_control_word();
    ExitProcess((unsigned int)main());
}
