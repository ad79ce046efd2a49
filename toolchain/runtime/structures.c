/* Structures with managed fields (SystemBase.lib): their initialisation,
   copy and release, guided by the structure's descriptor table (its layout
   is described in containers.h). Elements of arrays, lists and maps that
   are structures or strings are handled through their own descriptor, so
   a structure in a list in a structure is copied and freed whole.

   An array field holds the data pointer followed, for several dimensions,
   by the strides of all dimensions but the last (slots 1 to D-1), which the
   generated code multiplies the indexes with, and the last dimension's
   count in slot D. */
#include "runtime.h"
#include "containers.h"

typedef void (*FieldAction)(char* to, const char* from, const long long* field);

static wchar* copy_text(const wchar* text)
{
    unsigned long long length = 0;
    wchar* copy;
    if (!text) return 0;
    while (text[length]) length++;
    copy = (wchar*)HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar));
    if (!copy) ExitProcess(255);
    memcpy(copy, text, (length + 1) * sizeof(wchar));
    return copy;
}

static void release_text(wchar** slot)
{
    if (*slot) HeapFree(GetProcessHeap(), 0, *slot);
    *slot = 0;
}

/* The values a table entry takes, the entry itself included; 0 for an
   entry that is not understood, which ends the walk. */
static long long entry_length(const long long* field)
{
    switch (field[0]) {
    case -2: return 5;
    case -3: return 4;
    case -4: return 6;
    case -5: return 5;
    case -6: return 6;
    case -7: return 6 + (field[2] > 0 ? field[2] : 0);
    default: return field[0] >= 0 ? 1 : 0;
    }
}

/* Runs the action on every entry, for the block at `to` (and at `from`,
   the source of a copy, or 0). */
static void walk(char* to, const char* from, const long long* descriptor, FieldAction action)
{
    if (!to || !descriptor) return;
    while (*descriptor != -1) {
        long long length = entry_length(descriptor);
        if (!length) return;
        action(to, from, descriptor);
        descriptor += length;
    }
}

/* The embedded blocks of a -2 or -3 entry, one at a time. */
static void walk_embedded(char* to, const char* from, const long long* field, FieldAction action)
{
    long long count = field[0] == -2 ? field[1] : 1;
    long long offset = field[0] == -2 ? field[2] : field[1];
    long long size = field[0] == -2 ? field[3] : field[2];
    const long long* inner = (const long long*)(field[0] == -2 ? field[4] : field[3]);
    for (long long i = 0; i < count; i++)
        walk(to + offset + i * size, from ? from + offset + i * size : 0, inner, action);
}

/* ------------------------------------------------------------------------ */
/* Arrays of fields. */

static long long array_dimensions(const long long* field)
{
    return field[0] == -4 ? 1 : field[2];
}

static long long array_element_size(const long long* field)
{
    return field[0] == -4 ? field[2] : field[3];
}

static long long array_type(const long long* field)
{
    return field[4];
}

static const long long* array_element_descriptor(const long long* field)
{
    return (const long long*)field[5];
}

/* Slots 1 to D-1 get the strides, slot D the last count (the debugger's
   checks and ReDim read it). */
static long long set_array_slots(long long* slots, const long long* field)
{
    long long dimensions = array_dimensions(field);
    long long total = 1;
    if (field[0] == -4) return field[3];
    for (long long k = dimensions; k >= 1; k--) {
        long long count = field[5 + k];
        if (count < 0 || (count && total > 0x7FFFFFFFFFFFFFFFLL / count)) return -1;
        if (k < dimensions) slots[k] = total;
        else slots[k] = count;
        total *= count;
    }
    return total;
}

static void init_array(long long* slots, const long long* field)
{
    long long count = set_array_slots(slots, field);
    const long long* element = array_element_descriptor(field);
    char* data;
    slots[0] = 0;
    if (count < 0) return;
    data = (char*)runtime_allocate_elements(array_element_size(field), count, array_type(field), array_dimensions(field),
                                           element);
    slots[0] = (long long)data;
}

static void copy_array(long long* slots, const long long* source_slots, const long long* field)
{
    ArrayHeader* header = runtime_array_header((void*)source_slots[0]);
    const long long* element = array_element_descriptor(field);
    char* data;
    slots[0] = 0;
    if (!header) return;
    data = (char*)runtime_allocate_block(header->element_size, header->count, header->type, header->dimensions,
                                        header->descriptor);
    if (!data) return;
    memcpy(data, (const void*)source_slots[0], (unsigned long long)(header->count * header->element_size));
    if (element)
        for (long long i = 0; i < header->count; i++)
            runtime_copy_managed(data + i * header->element_size, (const char*)source_slots[0] + i * header->element_size,
                                 element);
    slots[0] = (long long)data;
}

/* ------------------------------------------------------------------------ */
/* The three actions. */

static void init_field(char* to, const char* from, const long long* field)
{
    (void)from;
    switch (field[0]) {
    case -2:
    case -3:
        walk_embedded(to, 0, field, init_field);
        break;
    case -4:
    case -7:
        init_array((long long*)(to + field[1]), field);
        break;
    case -5: {
        /* The head may hold anything yet: it is not released first. */
        void** head = (void**)(to + field[1]);
        head[0] = head[1] = 0;
        ZD_NewList(field[2], head, (const long long*)field[3], field[4]);
        break;
    }
    case -6: {
        void** slot = (void**)(to + field[1]);
        slot[0] = 0;
        ZD_NewMap(field[2], field[3], (const long long*)field[4], slot, field[5]);
        break;
    }
    default:
        break;
    }
}

static void release_field(char* to, const char* from, const long long* field)
{
    (void)from;
    switch (field[0]) {
    case -2:
    case -3:
        walk_embedded(to, 0, field, release_field);
        break;
    case -4:
    case -7: {
        long long* slots = (long long*)(to + field[1]);
        ArrayHeader* header = runtime_array_header((void*)slots[0]);
        const long long* element = array_element_descriptor(field);
        if (header && element)
            for (long long i = 0; i < header->count; i++)
                runtime_release_managed((char*)slots[0] + i * header->element_size, element);
        if (header) HeapFree(GetProcessHeap(), 0, header);
        slots[0] = 0;
        break;
    }
    case -5: {
        void** head = (void**)(to + field[1]);
        ZD_FreeList((ZDList*)head[0]);
        head[0] = head[1] = 0;
        break;
    }
    case -6: {
        void** slot = (void**)(to + field[1]);
        ZD_FreeMap((ZDMap*)slot[0]);
        slot[0] = 0;
        break;
    }
    default:
        release_text((wchar**)(to + field[0]));
        break;
    }
}

/* The block was copied byte for byte: every managed field still shares the
   source's object and gets a copy of its own. */
static void copy_field(char* to, const char* from, const long long* field)
{
    switch (field[0]) {
    case -2:
    case -3:
        walk_embedded(to, from, field, copy_field);
        break;
    case -4:
    case -7:
        copy_array((long long*)(to + field[1]), (const long long*)(from + field[1]), field);
        break;
    case -5: {
        void** head = (void**)(to + field[1]);
        ZDList* source = *(ZDList* const*)(from + field[1]);
        ZDList* list;
        head[0] = head[1] = 0;
        if (!source) break;
        list = ZD_NewList(source->element_size, head, source->descriptor, source->type);
        if (!list) break;
        for (void* data = runtime_list_element_after(source, 0); data; data = runtime_list_element_after(source, data)) {
            char* element = (char*)ZD_AddElement(list);
            if (!element) break;
            /* The new element's own containers give way to the copies. */
            if (source->descriptor) runtime_release_managed(element, source->descriptor);
            memcpy(element, data, (unsigned long long)source->element_size);
            if (source->descriptor) runtime_copy_managed(element, (const char*)data, source->descriptor);
        }
        ZD_ResetList(list);
        break;
    }
    case -6: {
        void** slot = (void**)(to + field[1]);
        ZDMap* source = *(ZDMap* const*)(from + field[1]);
        ZDMap* map;
        slot[0] = 0;
        if (!source) break;
        map = ZD_NewMap(source->element_size, source->type, source->descriptor, slot, source->slot_count);
        if (!map) break;
        for (void* data = runtime_map_element_after(source, 0); data; data = runtime_map_element_after(source, data)) {
            char* element = (char*)ZD_GetMapElement(map, runtime_map_element_key(data));
            if (!element) break;
            if (source->descriptor) runtime_release_managed(element, source->descriptor);
            memcpy(element, data, (unsigned long long)source->element_size);
            if (source->descriptor) runtime_copy_managed(element, (const char*)data, source->descriptor);
        }
        ZD_ResetMap(map);
        break;
    }
    default:
        *(wchar**)(to + field[0]) = copy_text(*(wchar* const*)(from + field[0]));
        break;
    }
}

/* The block was moved (ReDim): its lists and maps learn where their head
   or slot now lies. */
static void rehome_field(char* to, const char* from, const long long* field)
{
    (void)from;
    switch (field[0]) {
    case -2:
    case -3:
        walk_embedded(to, 0, field, rehome_field);
        break;
    case -5: {
        void** head = (void**)(to + field[1]);
        if (head[0]) ((ZDList*)head[0])->head = head;
        break;
    }
    case -6: {
        void** slot = (void**)(to + field[1]);
        if (slot[0]) ((ZDMap*)slot[0])->slot = slot;
        break;
    }
    default:
        break;
    }
}

void runtime_rehome_managed(char* block, const long long* descriptor)
{
    walk(block, 0, descriptor, rehome_field);
}

void runtime_init_managed(char* block, const long long* descriptor)
{
    walk(block, 0, descriptor, init_field);
}

void runtime_release_managed(char* block, const long long* descriptor)
{
    walk(block, 0, descriptor, release_field);
}

void runtime_copy_managed(char* to, const char* from, const long long* descriptor)
{
    if (from) walk(to, from, descriptor, copy_field);
}

/* ------------------------------------------------------------------------ */
/* The routines the generated code calls. */

/* A new structure variable (zeroed memory, or whatever a frame held): its
   arrays are allocated, its lists and maps created. */
void SYS_InitDynamicStructure(void* address, const long long* descriptor)
{
    runtime_init_managed((char*)address, descriptor);
}

/* Every string, array, list and map of the structure is freed and its field
   cleared, so the structure can be used again. */
void SYS_FreeStructureStrings(void* address, const long long* descriptor)
{
    runtime_release_managed((char*)address, descriptor);
}

/* The destination's own strings and containers are freed, the bytes copied,
   then the destination gets copies of the source's. */
void SYS_CopyStructure(void* destination, long long length, const long long* descriptor, const void* source)
{
    if (!destination || !source || destination == source || length <= 0) return;
    runtime_release_managed((char*)destination, descriptor);
    memmove(destination, source, (unsigned long long)length);
    runtime_copy_managed((char*)destination, (const char*)source, descriptor);
}
