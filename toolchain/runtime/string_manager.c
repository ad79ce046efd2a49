/* The temporary string stack of generated programs
   (compilers/stringmanager*.lib). Generated code reaches ZD_StringBase and
   ZD_StringBasePosition RIP-relative, so they live in this static library. */

#include "runtime.h"

#define STRING_BUFFER_SIZE (1024 * 1024)

char* ZD_StringBase = 0;
long long ZD_StringBasePosition = 0;

void SYS_InitString(void)
{
    ZD_StringBase = (char*)HeapAlloc(GetProcessHeap(), 8 /* zero memory */, STRING_BUFFER_SIZE);
    ZD_StringBasePosition = 0;
}

void SYS_FreeStrings(void)
{
    if (ZD_StringBase) HeapFree(GetProcessHeap(), 0, ZD_StringBase);
    ZD_StringBase = 0;
    ZD_StringBasePosition = 0;
}
