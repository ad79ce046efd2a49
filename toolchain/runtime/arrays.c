/* Arrays of generated programs (SystemBase.lib).

   An array variable is a row of qword slots: the pointer to the element
   data, then one slot per dimension. The element data follows a header that
   keeps what a later ReDim or FreeArray needs. Dim stores the element count
   of every dimension in the slots; for several dimensions the allocation
   turns slot k (k < D) into the stride of dimension k, the product of the
   counts after it, so the generated code finds element (i1, ..., iD) at
   i1 * slot1 + ... + i(D-1) * slot(D-1) + iD. Slot D keeps the last count. */
#include "runtime.h"
#include "containers.h"

#define HEAP_ZERO_MEMORY 0x8

static ArrayHeader* header_of(void* data)
{
    return data ? (ArrayHeader*)data - 1 : 0;
}

ArrayHeader* runtime_array_header(void* data)
{
    return header_of(data);
}

void* runtime_allocate_block(long long element_size, long long count, long long type, long long dimensions,
                             const long long* descriptor)
{
    if (count < 0 || element_size < 0) return 0;
    if (element_size && count > (0x7FFFFFFFFFFFFFFFLL - (long long)sizeof(ArrayHeader)) / element_size) return 0;
    unsigned long long bytes = sizeof(ArrayHeader) + (unsigned long long)(count * element_size);
    ArrayHeader* header = (ArrayHeader*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (!header) return 0;
    header->count = count;
    header->element_size = element_size;
    header->type = type;
    header->dimensions = dimensions;
    header->descriptor = descriptor;
    return header + 1;
}

/* Elements that hold arrays, lists or maps get them set up. */
static void init_elements(char* data, long long element_size, long long from, long long to,
                          const long long* descriptor)
{
    if (!data || !descriptor) return;
    for (long long i = from; i < to; i++) runtime_init_managed(data + i * element_size, descriptor);
}

static void rehome_elements(char* data, long long element_size, long long from, long long to,
                            const long long* descriptor)
{
    if (!data || !descriptor) return;
    for (long long i = from; i < to; i++) runtime_rehome_managed(data + i * element_size, descriptor);
}

void* runtime_allocate_elements(long long element_size, long long count, long long type, long long dimensions,
                                const long long* descriptor)
{
    char* data = (char*)runtime_allocate_block(element_size, count, type, dimensions, descriptor);
    init_elements(data, element_size, 0, count, descriptor);
    return data;
}

/* The managed parts of elements [from, count) (their strings, lists, ...). */
static void release_elements(ArrayHeader* header, long long from)
{
    if (!header->descriptor) return;
    for (long long i = from; i < header->count; i++)
        runtime_release_managed((char*)(header + 1) + i * header->element_size, header->descriptor);
}

/* The elements' own strings and containers go with the block. */
void SYS_FreeArray(void* data)
{
    ArrayHeader* header = header_of(data);
    if (!header) return;
    release_elements(header, 0);
    HeapFree(GetProcessHeap(), 0, header);
}

/* Programs of the C back end define SYS_Quit, the assembly programs do not:
   there the reference falls back to c_program_absent. The two kinds of
   program pass the first two arguments of SYS_AllocateMultiArray in
   opposite order. The probe is read through a volatile pointer so that the
   compiler does not take the two addresses as different. (The unit tests
   build this file for the build machine and define SYS_Quit themselves.) */
void c_program_absent(void) {}
#ifdef _WIN32
#pragma comment(linker, "/alternatename:SYS_Quit=c_program_absent")
#endif
void SYS_Quit(void);

int runtime_is_c_program(void)
{
    void (*volatile probe)(void) = SYS_Quit;
    return probe != c_program_absent;
}

/* Dim of one dimension: the old elements of the variable are released and
   a zeroed block of `count` elements takes their place; the variable holds
   it and it is returned. */
void* SYS_AllocateArray(long long element_size, long long count, long long type, const long long* descriptor,
                        void** variable)
{
    SYS_FreeArray(*variable);
    *variable = runtime_allocate_elements(element_size, count, type, 1, descriptor);
    return *variable;
}

/* Dim of several dimensions: the counts lie in the variable's slots 1 to
   `dimensions`; they become strides (above). The variable holds the block,
   which is also returned. */
void* SYS_AllocateMultiArray(long long first, long long second, long long type, const long long* descriptor,
                             long long* variable)
{
    long long element_size = runtime_is_c_program() ? second : first;
    long long dimensions = runtime_is_c_program() ? first : second;
    SYS_FreeArray((void*)variable[0]);
    variable[0] = 0;
    long long total = 1;
    for (long long k = dimensions; k >= 1; k--) {
        long long count = variable[k];
        if (count < 0 || (count && total > 0x7FFFFFFFFFFFFFFFLL / count)) return 0;
        if (k < dimensions) variable[k] = total;
        total *= count;
    }
    variable[0] = (long long)runtime_allocate_elements(element_size, total, type, dimensions, descriptor);
    return (void*)variable[0];
}

/* ReDim of one dimension: the first elements are kept (moved, with their
   strings and containers), new ones are zero, dropped ones released. */
void SYS_ReAllocateArray(long long count, void** variable)
{
    ArrayHeader* old = header_of(*variable);
    if (!old) return;
    void* data = runtime_allocate_block(old->element_size, count, old->type, 1, old->descriptor);
    if (!data) return;
    long long kept = old->count < count ? old->count : count;
    memcpy(data, *variable, (unsigned long long)(kept * old->element_size));
    rehome_elements((char*)data, old->element_size, 0, kept, old->descriptor);
    init_elements((char*)data, old->element_size, kept, count, old->descriptor);
    release_elements(old, kept);
    HeapFree(GetProcessHeap(), 0, old);
    *variable = data;
}

/* ReDim of several dimensions: only the last count (slot D) changes; every
   row of the last dimension keeps its first elements. */
void SYS_ReAllocateMultiArray(long long dimensions, long long* variable)
{
    ArrayHeader* old = header_of((void*)variable[0]);
    if (!old || dimensions < 2) return;
    long long old_last = variable[dimensions - 1];
    long long new_last = variable[dimensions];
    if (old_last <= 0 || new_last < 0) return;
    long long rows = old->count / old_last;
    if (new_last && rows > 0x7FFFFFFFFFFFFFFFLL / new_last) return;
    char* data = (char*)runtime_allocate_block(old->element_size, rows * new_last, old->type, dimensions,
                                               old->descriptor);
    if (!data) return;
    long long kept = old_last < new_last ? old_last : new_last;
    long long size = old->element_size;
    char* from = (char*)variable[0];
    for (long long row = 0; row < rows; row++) {
        memcpy(data + row * new_last * size, from + row * old_last * size, (unsigned long long)(kept * size));
        rehome_elements(data + row * new_last * size, size, 0, kept, old->descriptor);
        init_elements(data + row * new_last * size, size, kept, new_last, old->descriptor);
        if (old->descriptor)
            for (long long column = kept; column < old_last; column++)
                runtime_release_managed(from + (row * old_last + column) * size, old->descriptor);
    }
    for (long long k = 1; k < dimensions; k++) variable[k] = variable[k] / old_last * new_last;
    HeapFree(GetProcessHeap(), 0, old);
    variable[0] = (long long)data;
}
