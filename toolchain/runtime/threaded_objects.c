/* Per-thread objects of Threaded variables, arrays, lists and maps
   (SystemBase.lib). Each thread has one zeroed block of
   ZD_ThreadedObjectSize bytes, kept in a TLS slot. A new block is handed to
   the program's SYS_InitThreadObjectCallback, which creates the objects and
   stores their initial values. The program defines the size and the
   callback whenever it calls these routines. */
#include "runtime.h"

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFul
#define HEAP_ZERO_MEMORY 0x8ul

__declspec(dllimport) unsigned long __stdcall TlsAlloc(void);
__declspec(dllimport) void* __stdcall TlsGetValue(unsigned long index);
__declspec(dllimport) int __stdcall TlsSetValue(unsigned long index, void* value);

extern long long ZD_ThreadedObjectSize;
void SYS_InitThreadObjectCallback(char* object);

static unsigned long thread_object_slot = TLS_OUT_OF_INDEXES;

/* The calling thread's block, made and initialised on its first use. The
   block is stored before the callback runs, so code that the callback
   reaches finds it. */
static char* thread_object(void)
{
    if (thread_object_slot == TLS_OUT_OF_INDEXES) {
        thread_object_slot = TlsAlloc();
        if (thread_object_slot == TLS_OUT_OF_INDEXES) ExitProcess(1);
    }
    char* object = (char*)TlsGetValue(thread_object_slot);
    if (object) return object;
    unsigned long long size = ZD_ThreadedObjectSize > 8 ? (unsigned long long)ZD_ThreadedObjectSize : 8;
    object = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!object) ExitProcess(1);
    TlsSetValue(thread_object_slot, object);
    SYS_InitThreadObjectCallback(object);
    return object;
}

/* Called once by the start-up code of the program (or of a DLL). */
void* SYS_InitThreadedObject(void)
{
    return thread_object();
}

/* Called by procedures that use Threaded objects, on any thread. */
void* SYS_GetThreadedObject(void)
{
    return thread_object();
}
