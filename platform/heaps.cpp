// Private heaps over malloc: every block carries a header linking it into its
// heap, so a heap can be destroyed wholesale.
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

struct alignas(16) BlockHeader {
    BlockHeader* next;
    BlockHeader* previous;
};

[[noreturn]] void out_of_memory(size_t size)
{
    std::fprintf(stderr, "Out of memory (%zu bytes requested).\n", size);
    std::abort();
}

}  // namespace

struct PrivateHeap {
    BlockHeader* first = nullptr;
    size_t count = 0;
};

static void link_block(PrivateHeap* heap, BlockHeader* block)
{
    block->previous = nullptr;
    block->next = heap->first;
    if (heap->first) heap->first->previous = block;
    heap->first = block;
    heap->count++;
}

static void unlink_block(PrivateHeap* heap, BlockHeader* block)
{
    if (block->previous) block->previous->next = block->next;
    else heap->first = block->next;
    if (block->next) block->next->previous = block->previous;
    heap->count--;
}

PrivateHeap* os_heap_create(size_t)
{
    PrivateHeap* heap = new PrivateHeap;
    return heap;
}

void os_heap_destroy(PrivateHeap* heap)
{
    if (!heap) return;
    BlockHeader* block = heap->first;
    while (block) {
        BlockHeader* next = block->next;
        std::free(block);
        block = next;
    }
    delete heap;
}

void* os_heap_alloc(PrivateHeap* heap, size_t size, bool zeroed)
{
    size_t total = sizeof(BlockHeader) + size;
    if (total < size) out_of_memory(size);
    auto* block = static_cast<BlockHeader*>(zeroed ? std::calloc(1, total) : std::malloc(total));
    if (!block) out_of_memory(size);
    link_block(heap, block);
    return block + 1;
}

void* os_heap_realloc(PrivateHeap* heap, void* memory, size_t size)
{
    if (!memory) return os_heap_alloc(heap, size, false);
    BlockHeader* block = static_cast<BlockHeader*>(memory) - 1;
    unlink_block(heap, block);
    size_t total = sizeof(BlockHeader) + size;
    if (total < size) out_of_memory(size);
    auto* moved = static_cast<BlockHeader*>(std::realloc(block, total));
    if (!moved) out_of_memory(size);
    link_block(heap, moved);
    return moved + 1;
}

void os_heap_free(PrivateHeap* heap, void* memory)
{
    if (!memory) return;
    BlockHeader* block = static_cast<BlockHeader*>(memory) - 1;
    unlink_block(heap, block);
    std::free(block);
}

size_t os_heap_block_count(const PrivateHeap* heap)
{
    return heap ? heap->count : 0;
}

void os_heap_release_free_pages()
{
#if defined(__GLIBC__)
    // Freed blocks below the top of the heap keep their pages otherwise.
    malloc_trim(0);
#endif
}
