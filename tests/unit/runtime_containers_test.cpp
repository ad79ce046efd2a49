// The runtime's arrays, lists, maps and structures with managed fields,
// compiled for the build machine over a heap of the test's own that counts
// its live blocks: initialisation, deep copies and releases guided by
// descriptor tables, and the release of element strings with their
// containers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

extern "C" {
#include "toolchain/runtime/containers.h"

void SYS_InitDynamicStructure(void* address, const long long* descriptor);
void SYS_FreeStructureStrings(void* address, const long long* descriptor);
void SYS_CopyStructure(void* destination, long long length, const long long* descriptor, const void* source);
void* SYS_AllocateArray(long long element_size, long long count, long long type, const long long* descriptor,
                        void** variable);
void SYS_ReAllocateArray(long long count, void** variable);
void SYS_FreeArray(void* data);
long long ZD_ListSize(ZDList* list);
long long ZD_MapSize(ZDMap* map);
void* ZD_NextElement(ZDList* list);

// The Windows heap the runtime calls, in memory of the test.
static std::set<void*> live_blocks;

void* GetProcessHeap(void) { return &live_blocks; }

void* HeapAlloc(void*, unsigned long flags, unsigned long long size)
{
    void* block = (flags & 8) ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
    live_blocks.insert(block);
    return block;
}

int HeapFree(void*, unsigned long, void* block)
{
    if (!live_blocks.erase(block)) ADD_FAILURE() << "a block freed twice or never allocated";
    std::free(block);
    return 1;
}

void ExitProcess(unsigned int) { std::abort(); }

// Present: the runtime keeps the C programs' current-element form.
void SYS_Quit(void) {}
}

namespace {

const long long string_descriptor[] = {0, -1};

wchar* heap_text(const char* text)
{
    size_t length = std::strlen(text);
    auto* block = static_cast<wchar*>(HeapAlloc(nullptr, 0, (length + 1) * sizeof(wchar)));
    for (size_t i = 0; i <= length; i++) block[i] = static_cast<unsigned char>(text[i]);
    return block;
}

std::string narrow(const wchar* text)
{
    std::string out;
    for (; text && *text; text++) out += static_cast<char>(*text);
    return out;
}

const wchar* wide(const char* text)
{
    static wchar buffer[64];
    size_t i = 0;
    for (; text[i] && i < 63; i++) buffer[i] = static_cast<unsigned char>(text[i]);
    buffer[i] = 0;
    return buffer;
}

// An element of a list inside the structure: a number and a string.
struct Item {
    long long number;
    wchar* label;
};
const long long item_descriptor[] = {8, -1};

// A structure with every kind of managed field.
struct Holder {
    wchar* name;                 // 0
    void* items[2];              // 8: list of Item
    void* scores;                // 24: map of strings
    wchar** words;               // 32: array of 3 strings
    long long grid[4];           // 40: 2 x 3 x 4 array of longs (pointer, two strides,
                                 //     and in C programs the last count)
    wchar* pair[2];              // 72: static array of 2 strings
    long long plain;             // 88
};
const long long holder_descriptor[] = {
    0,
    -5, 8, sizeof(Item), reinterpret_cast<long long>(item_descriptor), 7,
    -6, 24, 8, 8, reinterpret_cast<long long>(string_descriptor), 16,
    -4, 32, 8, 3, 8, reinterpret_cast<long long>(string_descriptor),
    -7, 40, 3, 4, 5, 0, 2, 3, 4,
    -2, 2, 72, 8, reinterpret_cast<long long>(string_descriptor),
    -1,
};

class RuntimeContainers : public ::testing::Test {
protected:
    void SetUp() override { baseline = live_blocks.size(); }
    void TearDown() override { EXPECT_EQ(live_blocks.size(), baseline) << "blocks left behind"; }

    void fill(Holder& holder, const char* tag) {
        holder.name = heap_text(tag);
        auto* list = static_cast<ZDList*>(holder.items[0]);
        for (int i = 0; i < 3; i++) {
            auto* item = static_cast<Item*>(ZD_AddElement(list));
            item->number = i;
            item->label = heap_text((std::string(tag) + std::to_string(i)).c_str());
        }
        auto* map = static_cast<ZDMap*>(holder.scores);
        *static_cast<wchar**>(ZD_GetMapElement(map, wide("k1"))) = heap_text("v1");
        *static_cast<wchar**>(ZD_GetMapElement(map, wide("k2"))) = heap_text("v2");
        holder.words[1] = heap_text("word");
        holder.pair[0] = heap_text("left");
        holder.plain = 99;
    }

    size_t baseline = 0;
};

TEST_F(RuntimeContainers, FreeListAndFreeMapReleaseTheElementStrings)
{
    void* head[2] = {nullptr, nullptr};
    ZDList* list = ZD_NewList(8, head, string_descriptor, 8);
    for (const char* text : {"a", "b", "c"}) *static_cast<wchar**>(ZD_AddElement(list)) = heap_text(text);
    EXPECT_EQ(ZD_ListSize(list), 3);
    ZD_FreeList(list);
    EXPECT_EQ(head[0], nullptr);

    void* slot = nullptr;
    ZDMap* map = ZD_NewMap(8, 8, string_descriptor, &slot, 4);
    *static_cast<wchar**>(ZD_GetMapElement(map, wide("x"))) = heap_text("1");
    *static_cast<wchar**>(ZD_GetMapElement(map, wide("y"))) = heap_text("2");
    // NewMap again on the same slot releases the first map whole.
    ZD_NewMap(8, 8, string_descriptor, &slot, 4);
    ZD_FreeMap(static_cast<ZDMap*>(slot));
    EXPECT_EQ(slot, nullptr);
}

TEST_F(RuntimeContainers, ArraysReleaseTheirElementStrings)
{
    void* words = nullptr;
    SYS_AllocateArray(8, 4, 8, string_descriptor, &words);
    for (int i = 0; i < 4; i++) static_cast<wchar**>(words)[i] = heap_text("w");
    // ReDim keeps the first two (moved, not freed) and releases the rest.
    SYS_ReAllocateArray(2, &words);
    EXPECT_EQ(narrow(static_cast<wchar**>(words)[1]), "w");
    SYS_ReAllocateArray(3, &words);
    EXPECT_EQ(static_cast<wchar**>(words)[2], nullptr);
    // Dim again releases the old elements.
    SYS_AllocateArray(8, 1, 8, string_descriptor, &words);
    SYS_FreeArray(words);
}

TEST_F(RuntimeContainers, InitialisationMakesTheContainers)
{
    Holder holder;
    std::memset(&holder, 0x5A, sizeof holder);  // a frame's leftovers
    holder.name = nullptr;
    holder.pair[0] = holder.pair[1] = nullptr;
    SYS_InitDynamicStructure(&holder, holder_descriptor);
    auto* list = static_cast<ZDList*>(holder.items[0]);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->element_size, static_cast<long long>(sizeof(Item)));
    EXPECT_EQ(list->type, 7);
    EXPECT_EQ(holder.items[1], nullptr);
    auto* map = static_cast<ZDMap*>(holder.scores);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->slot_count, 16);
    ASSERT_NE(holder.words, nullptr);
    EXPECT_EQ(runtime_array_header(holder.words)->count, 3);
    ASSERT_NE(holder.grid[0], 0);
    EXPECT_EQ(runtime_array_header(reinterpret_cast<void*>(holder.grid[0]))->count, 24);
    EXPECT_EQ(holder.grid[1], 12);  // the strides of the first two dimensions
    EXPECT_EQ(holder.grid[2], 4);
    EXPECT_EQ(holder.grid[3], 4);   // the last count
    SYS_FreeStructureStrings(&holder, holder_descriptor);
    EXPECT_EQ(holder.items[0], nullptr);
    EXPECT_EQ(holder.scores, nullptr);
    EXPECT_EQ(holder.words, nullptr);
}

TEST_F(RuntimeContainers, CopyIsDeepAndReplacesTheOldContents)
{
    Holder source{};
    Holder copy{};
    SYS_InitDynamicStructure(&source, holder_descriptor);
    SYS_InitDynamicStructure(&copy, holder_descriptor);
    fill(source, "src");
    fill(copy, "old");
    SYS_CopyStructure(&copy, sizeof(Holder), holder_descriptor, &source);

    EXPECT_EQ(copy.plain, 99);
    EXPECT_EQ(narrow(copy.name), "src");
    EXPECT_NE(copy.name, source.name);
    auto* list = static_cast<ZDList*>(copy.items[0]);
    ASSERT_NE(list, source.items[0]);
    EXPECT_EQ(ZD_ListSize(list), 3);
    EXPECT_EQ(list->head, &copy.items[0]);
    int index = 0;
    for (void* data = runtime_list_element_after(list, nullptr); data; data = runtime_list_element_after(list, data)) {
        auto* item = static_cast<Item*>(data);
        EXPECT_EQ(item->number, index);
        EXPECT_EQ(narrow(item->label), "src" + std::to_string(index));
        index++;
    }
    // The copy's list starts before its first element.
    EXPECT_EQ(copy.items[1], nullptr);
    EXPECT_EQ(static_cast<Item*>(ZD_NextElement(list))->number, 0);
    auto* map = static_cast<ZDMap*>(copy.scores);
    ASSERT_NE(map, source.scores);
    EXPECT_EQ(ZD_MapSize(map), 2);
    wchar* value = *static_cast<wchar**>(ZD_GetMapElement(map, wide("k2")));
    EXPECT_EQ(narrow(value), "v2");
    EXPECT_NE(value, *static_cast<wchar**>(ZD_GetMapElement(static_cast<ZDMap*>(source.scores), wide("k2"))));
    ASSERT_NE(copy.words, source.words);
    EXPECT_EQ(narrow(copy.words[1]), "word");
    EXPECT_NE(copy.words[1], source.words[1]);
    EXPECT_NE(copy.grid[0], source.grid[0]);
    EXPECT_EQ(copy.grid[1], 12);
    EXPECT_EQ(narrow(copy.pair[0]), "left");
    EXPECT_NE(copy.pair[0], source.pair[0]);

    // A copy onto itself changes nothing.
    SYS_CopyStructure(&copy, sizeof(Holder), holder_descriptor, &copy);
    EXPECT_EQ(narrow(copy.name), "src");

    SYS_FreeStructureStrings(&source, holder_descriptor);
    SYS_FreeStructureStrings(&copy, holder_descriptor);
    EXPECT_EQ(copy.name, nullptr);
}

TEST_F(RuntimeContainers, CopyWithoutDescriptorCopiesTheBytes)
{
    long long from[3] = {1, 2, 3};
    long long to[3] = {0, 0, 0};
    SYS_CopyStructure(to, sizeof to, nullptr, from);
    EXPECT_EQ(to[2], 3);
    SYS_InitDynamicStructure(to, nullptr);
    SYS_FreeStructureStrings(to, nullptr);
    EXPECT_EQ(to[0], 1);
}

}  // namespace
