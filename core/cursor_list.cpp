// Doubly linked list with a cursor.
#include "core/cursor_list.h"

#include "core/core_globals.h"
#include "platform/platform.h"

void init_list(CursorList* list, uint64_t element_size, int32_t heap_kind) {
    list->current = nullptr;
    list->first = nullptr;
    list->last = nullptr;
    list->element_size = element_size;
    list->heap_kind = heap_kind;
}

CursorList* create_list(uint64_t element_size, int32_t heap_kind) {
    CursorList* list = static_cast<CursorList*>(os_heap_alloc(heap_for_kind(heap_kind), sizeof(CursorList)));
    init_list(list, element_size, heap_kind);
    return list;
}

void* list_add(CursorList* list) {
    ListNode* node = static_cast<ListNode*>(os_heap_alloc(heap_for_kind(list->heap_kind), list->element_size));
    ListNode* after = list->current;
    if (after) {
        node->previous = after;
        node->next = after->next;
        if (after->next) after->next->previous = node;
        after->next = node;
    } else {
        node->previous = nullptr;
        node->next = list->first;
        if (list->first) list->first->previous = node;
    }
    if (!node->previous) list->first = node;
    if (!node->next) list->last = node;
    list->current = node;
    return node;
}

void list_delete_current(CursorList* list) {
    ListNode* node = list->current;
    if (!node) return;
    if (node->previous) node->previous->next = node->next;
    else list->first = node->next;
    if (node->next) node->next->previous = node->previous;
    else list->last = node->previous;
    list->current = node->previous;
    os_heap_free(heap_for_kind(list->heap_kind), node);
}

void list_clear(CursorList* list) {
    PrivateHeap* heap = heap_for_kind(list->heap_kind);
    ListNode* node = list->first;
    while (node) {
        ListNode* next = node->next;
        os_heap_free(heap, node);
        node = next;
    }
    list->current = nullptr;
    list->first = nullptr;
    list->last = nullptr;
}
