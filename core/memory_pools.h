// Bump-allocating memory pools over the two private heaps. The compilation
// pool is emptied before every compilation; the permanent pool lives for the
// whole process. Pool memory is not zeroed and never freed piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

struct CursorList;
struct PrivateHeap;

// Room of one standard pool block.
constexpr uint64_t pool_block_room = 65536;

struct MemoryPool {
    CursorList* blocks;   // blocks (list link + room), on the permanent heap
    char* current_block;  // room of the block being filled
    uint64_t used;        // bytes handed out from current_block
};

// The heap that a container of the given heap kind allocates from
// (1 = permanent heap, anything else = per-compilation heap).
PrivateHeap* heap_for_kind(int32_t heap_kind);

// Start-up, once both heaps exist: creates both pools' block lists, gives
// permanent_pool its first block and compilation_pool its first block (the
// latter through pool_reset, so the first compilation can allocate at once).
void init_memory_pools();

// n bytes (rounded up to a multiple of 8) from the given pool.
void* memory_pool_alloc(MemoryPool* pool, size_t n);

void* pool_alloc(size_t n);            // from compilation_pool
void* permanent_pool_alloc(size_t n);  // from permanent_pool
char* pool_strdup(const char* text);
char* permanent_pool_strdup(const char* text);
// Copies n bytes and appends a NUL (n + 1 bytes from compilation_pool).
char* pool_strndup(const char* bytes, size_t n);

// Deletes every block of compilation_pool and starts one fresh empty block.
void pool_reset();
