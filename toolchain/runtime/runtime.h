/* Declarations shared by the runtime sources: the few system functions the
   runtime calls, declared here because it uses no system headers. */
#ifndef ZANDREL_RUNTIME_H
#define ZANDREL_RUNTIME_H

typedef void* HANDLE;

#ifndef _WIN32
/* Compiled on the build machine for the unit tests, which give the heap. */
#define __declspec(attribute)
#define __stdcall
#endif

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) HANDLE __stdcall GetModuleHandleW(const unsigned short* name);
__declspec(dllimport) HANDLE __stdcall GetProcessHeap(void);
__declspec(dllimport) void* __stdcall HeapAlloc(HANDLE heap, unsigned long flags, unsigned long long size);
__declspec(dllimport) int __stdcall HeapFree(HANDLE heap, unsigned long flags, void* block);

/* Round to nearest, 53-bit precision, all exceptions masked. */
static inline void set_fpu_control_word(void)
{
    unsigned short control = 0x27F;
    __asm__ volatile("fldcw %0" : : "m"(control));
}

#endif
