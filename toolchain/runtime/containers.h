/* What the runtime's container and structure code share (SystemBase.lib):
   the list and map objects, the array header and the walk over the
   descriptor tables that the program output writes for every structure with
   managed fields (strings, arrays, lists, maps).

   A descriptor table is a row of 64-bit values ended by -1:
     n >= 0                          a string (a heap block or 0) at offset n
     -2, count, offset, size, D      a static array of `count` items of `size` bytes
     -3, offset, size, D             an embedded structure
     -4, offset, size, count, type, D          an array of one dimension
     -5, offset, size, D, type                 a list (its 16-byte head)
     -6, offset, size, type, D, slots          a map (its 8-byte slot)
     -7, offset, dims, size, type, D, counts…  an array of several dimensions
   where `size` is the element size and D the descriptor of an element (0
   for none; the string descriptor {0, -1} for strings). */
#ifndef ZANDREL_CONTAINERS_H
#define ZANDREL_CONTAINERS_H

typedef unsigned short wchar;

typedef struct ListLink {
    struct ListLink* next;
    struct ListLink* previous;
} ListLink;

typedef struct ZDList {
    ListLink* first;
    ListLink* last;
    long long count;
    long long element_size;
    long long type;
    const long long* descriptor;
    void** head;
} ZDList;

typedef struct MapElement {
    struct MapElement* hash_next;
    struct MapElement* next; /* insertion order */
    struct MapElement* previous;
    wchar* key;
    unsigned long long hash;
} MapElement;

typedef struct ZDMap {
    void* current; /* read by the generated code: keep first */
    MapElement** buckets;
    long long slot_count;
    MapElement* first;
    MapElement* last;
    long long count;
    long long element_size;
    long long type;
    const long long* descriptor;
    void** slot;
} ZDMap;

/* The debugger's checks read the element count 16 bytes and the dimension
   count 8 bytes before the data (debugger.c): keep those two last. */
typedef struct ArrayHeader {
    long long element_size;
    long long type;
    const long long* descriptor; /* of an element, or 0 */
    long long reserved;          /* keeps the elements 16-byte aligned */
    long long count;             /* elements */
    long long dimensions;
} ArrayHeader;

/* True in programs of the C back end (they define SYS_Quit). */
int runtime_is_c_program(void);

ZDList* ZD_NewList(long long element_size, void** head, const long long* descriptor, long long type);
void* ZD_AddElement(ZDList* list);
void ZD_FreeList(ZDList* list);
void ZD_ResetList(ZDList* list);
ZDMap* ZD_NewMap(long long element_size, long long type, const long long* descriptor, void** slot, long long slot_count);
void* ZD_GetMapElement(ZDMap* map, const wchar* key);
void ZD_FreeMap(ZDMap* map);
void ZD_ResetMap(ZDMap* map);

/* The element data after `data` (the first for 0), or 0 at the end. */
void* runtime_list_element_after(ZDList* list, void* data);
void* runtime_map_element_after(ZDMap* map, void* data);
const wchar* runtime_map_element_key(void* data);

/* A zeroed block of `count` elements behind its header; 0 when the size
   overflows or the heap has no room. The elements' arrays, lists and maps
   are set up by the descriptor; runtime_allocate_block leaves them zero
   (for blocks that are filled by a copy). */
void* runtime_allocate_elements(long long element_size, long long count, long long type, long long dimensions,
                                const long long* descriptor);
void* runtime_allocate_block(long long element_size, long long count, long long type, long long dimensions,
                             const long long* descriptor);
ArrayHeader* runtime_array_header(void* data);

/* The managed parts of one block as its descriptor describes them. */
void runtime_release_managed(char* block, const long long* descriptor);
void runtime_init_managed(char* block, const long long* descriptor);
/* After a block moved: its lists and maps point back at their new head. */
void runtime_rehome_managed(char* block, const long long* descriptor);
void runtime_copy_managed(char* to, const char* from, const long long* descriptor);

void* memcpy(void* destination, const void* source, __SIZE_TYPE__ size);
void* memmove(void* destination, const void* source, __SIZE_TYPE__ size);

#endif
