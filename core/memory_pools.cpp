// Heaps by kind and the two bump-allocating memory pools.
#include "core/memory_pools.h"

#include <cstring>

#include "core/core_globals.h"
#include "platform/platform.h"

PrivateHeap* permanent_heap = nullptr;
PrivateHeap* compilation_heap = nullptr;
MemoryPool compilation_pool = {};
MemoryPool permanent_pool = {};

PrivateHeap* heap_for_kind(int32_t heap_kind) {
    return heap_kind == 1 ? permanent_heap : compilation_heap;
}

// Adds a block with `room` bytes after the cursor of the pool's block list
// and makes it current.
static void add_pool_block(MemoryPool* pool, uint64_t room) {
    CursorList* blocks = pool->blocks;
    uint64_t standard_size = blocks->element_size;
    blocks->element_size = sizeof(ListNode) + room;
    ListNode* node = static_cast<ListNode*>(list_add(blocks));
    blocks->element_size = standard_size;
    pool->current_block = reinterpret_cast<char*>(node + 1);
    pool->used = 0;
}

void init_memory_pools() {
    permanent_pool.blocks = create_list(sizeof(ListNode) + pool_block_room, 1);
    add_pool_block(&permanent_pool, pool_block_room);
    compilation_pool.blocks = create_list(sizeof(ListNode) + pool_block_room, 1);
    compilation_pool.current_block = nullptr;
    compilation_pool.used = 0;
    pool_reset();
}

void* memory_pool_alloc(MemoryPool* pool, size_t n) {
    uint64_t size = (uint64_t(n) + 7) & ~uint64_t(7);
    if (!pool->current_block || size + pool->used > pool_block_room)
        add_pool_block(pool, size > pool_block_room ? size : pool_block_room);
    char* result = pool->current_block + pool->used;
    pool->used += size;
    return result;
}

void* pool_alloc(size_t n) { return memory_pool_alloc(&compilation_pool, n); }
void* permanent_pool_alloc(size_t n) { return memory_pool_alloc(&permanent_pool, n); }

char* pool_strdup(const char* text) {
    size_t length = std::strlen(text) + 1;
    return static_cast<char*>(std::memcpy(pool_alloc(length), text, length));
}

char* permanent_pool_strdup(const char* text) {
    size_t length = std::strlen(text) + 1;
    return static_cast<char*>(std::memcpy(permanent_pool_alloc(length), text, length));
}

char* pool_strndup(const char* bytes, size_t n) {
    char* copy = static_cast<char*>(pool_alloc(n + 1));
    std::memcpy(copy, bytes, n);
    copy[n] = 0;
    return copy;
}

void pool_reset() {
    CursorList* blocks = compilation_pool.blocks;
    list_reset_cursor(blocks);
    while (list_next(blocks)) list_delete_current(blocks);
    add_pool_block(&compilation_pool, pool_block_room);
}
