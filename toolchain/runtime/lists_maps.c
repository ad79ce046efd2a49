/* Linked lists and maps of generated programs (SystemBase.lib).

   The generated code keeps per list a 16-byte head: the list object, then
   the data pointer of the current element (0 when there is none). Per map
   it keeps one 8-byte slot with the map object, whose first field is the
   data pointer of the current element. Every element is a zeroed block of
   the element size behind a small link header; the code addresses the
   element data only. Map keys are UTF-16 strings, copied into the element. */
#include "runtime.h"
#include "containers.h"

#define HEAP_ZERO_MEMORY 0x8
#define DEFAULT_MAP_SLOTS 512
#define MAX_MAP_SLOTS (1LL << 24)

static void* allocate_zeroed(unsigned long long bytes)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

static void release(void* block)
{
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

/* A negative element size would make the block smaller than its header. */
static unsigned long long element_bytes(unsigned long long header, long long element_size)
{
    if (element_size < 0) element_size = 0;
    return header + (unsigned long long)element_size;
}

/* Programs of the C back end read the current element 16 bytes into an
   item, the assembly programs at its data: a C program's head or map keeps
   the data pointer less 16 bytes. */
static long long current_offset(void)
{
    return runtime_is_c_program() ? 16 : 0;
}

static void* stored_current(void* data)
{
    return data ? (char*)data - current_offset() : 0;
}

static void* read_current(void* stored)
{
    return stored ? (char*)stored + current_offset() : 0;
}

/* ---------------------------------------------------------------------- */
/* Lists */

static void* link_data(ListLink* link)
{
    return link ? (void*)(link + 1) : 0;
}

static ListLink* data_link(void* data)
{
    return data ? (ListLink*)data - 1 : 0;
}

/* Every element goes, with its strings and containers. */
static void clear_list_elements(ZDList* list)
{
    ListLink* link = list->first;
    while (link) {
        ListLink* following = link->next;
        if (list->descriptor) runtime_release_managed((char*)link_data(link), list->descriptor);
        release(link);
        link = following;
    }
    list->first = list->last = 0;
    list->count = 0;
    if (list->head) list->head[1] = 0;
}

void ZD_FreeList(ZDList* list)
{
    if (!list) return;
    clear_list_elements(list);
    if (list->head) list->head[0] = 0;
    release(list);
}

/* NewList: a list that the head already holds is released first, so that
   running NewList again (in a loop, in a procedure called twice) leaks
   nothing. */
ZDList* ZD_NewList(long long element_size, void** head, const long long* descriptor, long long type)
{
    if (head[0]) ZD_FreeList((ZDList*)head[0]);
    ZDList* list = (ZDList*)allocate_zeroed(sizeof(ZDList));
    head[0] = list;
    head[1] = 0;
    if (!list) return 0;
    list->element_size = element_size < 0 ? 0 : element_size;
    list->type = type;
    list->descriptor = descriptor;
    list->head = head;
    return list;
}

void ZD_ResetList(ZDList* list)
{
    if (list && list->head) list->head[1] = 0;
}

/* The element after the current one (the first after a reset) becomes the
   current one; at the end 0 is returned and the current element stays. */
void* ZD_NextElement(ZDList* list)
{
    if (!list || !list->head) return 0;
    ListLink* current = data_link(read_current(list->head[1]));
    ListLink* link = current ? current->next : list->first;
    if (!link) return 0;
    list->head[1] = stored_current(link_data(link));
    return link_data(link);
}

/* A new zeroed element after the current one, or first when there is no
   current element; it becomes the current element. */
void* ZD_AddElement(ZDList* list)
{
    if (!list || !list->head) return 0;
    ListLink* link = (ListLink*)allocate_zeroed(element_bytes(sizeof(ListLink), list->element_size));
    if (!link) return 0;
    ListLink* current = data_link(read_current(list->head[1]));
    if (current) {
        link->previous = current;
        link->next = current->next;
        if (current->next) current->next->previous = link;
        else list->last = link;
        current->next = link;
    } else {
        link->next = list->first;
        if (list->first) list->first->previous = link;
        else list->last = link;
        list->first = link;
    }
    list->count++;
    list->head[1] = stored_current(link_data(link));
    if (list->descriptor) runtime_init_managed((char*)link_data(link), list->descriptor);
    return link_data(link);
}

long long ZD_ListSize(ZDList* list)
{
    return list ? list->count : 0;
}

void* runtime_list_element_after(ZDList* list, void* data)
{
    ListLink* link = data ? data_link(data)->next : (list ? list->first : 0);
    return link_data(link);
}

/* ---------------------------------------------------------------------- */
/* Maps */

static unsigned long long hash_key(const unsigned short* key)
{
    unsigned long long hash = 14695981039346656037ULL;
    for (; *key; key++) {
        hash ^= *key;
        hash *= 1099511628211ULL;
    }
    return hash;
}

static int same_key(const unsigned short* a, const unsigned short* b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

static void* element_data(MapElement* element)
{
    return element ? (void*)(element + 1) : 0;
}

static MapElement* data_element(void* data)
{
    return data ? (MapElement*)data - 1 : 0;
}

void ZD_FreeMap(ZDMap* map)
{
    if (!map) return;
    MapElement* element = map->first;
    while (element) {
        MapElement* following = element->next;
        if (map->descriptor) runtime_release_managed((char*)element_data(element), map->descriptor);
        release(element->key);
        release(element);
        element = following;
    }
    release(map->buckets);
    if (map->slot) map->slot[0] = 0;
    release(map);
}

/* NewMap: the slot count is taken as given when it is sensible; a count
   below 1 gets the default and a huge one is capped, so a bad run-time
   value never makes the bucket table fail or overflow. */
ZDMap* ZD_NewMap(long long element_size, long long type, const long long* descriptor, void** slot,
                 long long slot_count)
{
    if (slot[0]) ZD_FreeMap((ZDMap*)slot[0]);
    slot[0] = 0;
    if (slot_count < 1) slot_count = DEFAULT_MAP_SLOTS;
    if (slot_count > MAX_MAP_SLOTS) slot_count = MAX_MAP_SLOTS;
    ZDMap* map = (ZDMap*)allocate_zeroed(sizeof(ZDMap));
    if (!map) return 0;
    map->buckets = (MapElement**)allocate_zeroed((unsigned long long)slot_count * sizeof(MapElement*));
    if (!map->buckets) {
        release(map);
        return 0;
    }
    map->slot_count = slot_count;
    map->element_size = element_size < 0 ? 0 : element_size;
    map->type = type;
    map->descriptor = descriptor;
    map->slot = slot;
    slot[0] = map;
    return map;
}

/* The element of the key (a null key is the empty one), added zeroed when
   it does not exist yet; it becomes the current element. */
void* ZD_GetMapElement(ZDMap* map, const unsigned short* key)
{
    static const unsigned short empty_key[1] = {0};
    if (!map) return 0;
    if (!key) key = empty_key;
    unsigned long long hash = hash_key(key);
    MapElement** bucket = &map->buckets[hash % (unsigned long long)map->slot_count];
    for (MapElement* element = *bucket; element; element = element->hash_next) {
        if (element->hash == hash && same_key(element->key, key)) {
            map->current = stored_current(element_data(element));
            return element_data(element);
        }
    }
    unsigned long long length = 0;
    while (key[length]) length++;
    unsigned short* copy = (unsigned short*)allocate_zeroed((length + 1) * sizeof(unsigned short));
    if (!copy) return 0;
    for (unsigned long long i = 0; i < length; i++) copy[i] = key[i];
    MapElement* element = (MapElement*)allocate_zeroed(element_bytes(sizeof(MapElement), map->element_size));
    if (!element) {
        release(copy);
        return 0;
    }
    element->key = copy;
    element->hash = hash;
    element->hash_next = *bucket;
    *bucket = element;
    element->previous = map->last;
    if (map->last) map->last->next = element;
    else map->first = element;
    map->last = element;
    map->count++;
    map->current = stored_current(element_data(element));
    if (map->descriptor) runtime_init_managed((char*)element_data(element), map->descriptor);
    return element_data(element);
}

void ZD_ResetMap(ZDMap* map)
{
    if (map) map->current = 0;
}

/* The elements in the order they were added. */
void* ZD_NextMapElement(ZDMap* map)
{
    if (!map) return 0;
    MapElement* current = data_element(read_current(map->current));
    MapElement* element = current ? current->next : map->first;
    if (!element) return 0;
    map->current = stored_current(element_data(element));
    return element_data(element);
}

long long ZD_MapSize(ZDMap* map)
{
    return map ? map->count : 0;
}

/* The key of the current element (null without one). */
const unsigned short* ZD_MapKey(ZDMap* map)
{
    MapElement* current = map ? data_element(read_current(map->current)) : 0;
    return current ? current->key : 0;
}

void* runtime_map_element_after(ZDMap* map, void* data)
{
    MapElement* element = data ? data_element(data)->next : (map ? map->first : 0);
    return element_data(element);
}

const wchar* runtime_map_element_key(void* data)
{
    return data ? data_element(data)->key : 0;
}
