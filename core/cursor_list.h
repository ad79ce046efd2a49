// Doubly linked list whose header carries a cursor (the current element).
// Elements are allocated by the list from the permanent or the per-compilation
// heap and start with their two links, so a record's own data follows them.
#pragma once

#include <cstdint>

struct ListNode {
    ListNode* next;
    ListNode* previous;
};

struct CursorList {
    ListNode* current;      // the cursor; null = before the first element
    ListNode* first;        // head, null when empty
    ListNode* last;         // tail, null when empty
    uint64_t element_size;  // bytes per element, the two links included
    int32_t heap_kind;      // 1 = permanent heap; any other value = per-compilation heap
};

// Fills a header: empty list with the given element size and heap kind.
void init_list(CursorList* list, uint64_t element_size, int32_t heap_kind);
// Allocates a header on the heap of `heap_kind` and fills it as init_list does.
CursorList* create_list(uint64_t element_size, int32_t heap_kind);

// New element (not zeroed) inserted after the cursor, or at the head when the
// cursor is null; it becomes the cursor.
void* list_add(CursorList* list);
// Unlinks and frees the cursor's element; its previous element (null for the
// first) becomes the cursor. Nothing happens when the cursor is null.
void list_delete_current(CursorList* list);
// Deletes every element; afterwards the list is empty with a null cursor.
void list_clear(CursorList* list);

// Iteration: list_reset_cursor, then list_next until it returns null. At the
// end the cursor stays on the last element, so an add after a full walk
// appends at the tail.
inline void list_reset_cursor(CursorList* list) { list->current = nullptr; }
inline void* list_next(CursorList* list) {
    if (!list->current) {
        list->current = list->first;
        return list->current;
    }
    if (list->current->next) {
        list->current = list->current->next;
        return list->current;
    }
    return nullptr;
}
