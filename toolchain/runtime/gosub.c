/* The Gosub stack of programs built by the C back end (SystemBase.lib).
   Gosub pushes the address of its return label, Return jumps to the address
   popped; the stack lives on the process heap and doubles when full. Only
   the main code uses it (Gosub is refused inside procedures), so one stack
   serves the program. */
#include "runtime.h"

static void** gosub_stack;
static long long gosub_depth;
static long long gosub_capacity;

void SYS_InitGosubManager(void)
{
    gosub_depth = 0;
}

void SYS_PushGosub(void* return_address)
{
    if (gosub_depth == gosub_capacity) {
        long long capacity = gosub_capacity ? gosub_capacity * 2 : 64;
        void** stack = (void**)HeapAlloc(GetProcessHeap(), 0, (unsigned long long)capacity * sizeof(void*));
        if (!stack) ExitProcess(1);
        for (long long i = 0; i < gosub_depth; i++) stack[i] = gosub_stack[i];
        if (gosub_stack) HeapFree(GetProcessHeap(), 0, gosub_stack);
        gosub_stack = stack;
        gosub_capacity = capacity;
    }
    gosub_stack[gosub_depth++] = return_address;
}

/* Null when no Gosub is open (a FakeReturn that has nothing to drop). */
void* SYS_PopGosub(void)
{
    if (gosub_depth == 0) return 0;
    return gosub_stack[--gosub_depth];
}
