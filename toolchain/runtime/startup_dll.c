/* Entry point of a DLL: hands every notification to the DLL's DllMain. */
#include "runtime.h"

int __stdcall DllMain(HANDLE instance, unsigned long reason, void* reserved);

int __stdcall _DllMainCRTStartup(HANDLE instance, unsigned long reason, void* reserved)
{
    return DllMain(instance, reason, reserved);
}
