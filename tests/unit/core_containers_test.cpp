// Memory pools, the cursor list and the hash table.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/core_globals.h"
#include "core_test_support.h"

namespace {

class PoolTest : public ::testing::Test {
protected:
    MemoryPool pool{};
    void SetUp() override {
        ensure_core_state();
        pool.blocks = create_list(sizeof(ListNode) + pool_block_room, 1);
    }
    void TearDown() override { list_clear(pool.blocks); }
    int block_count() const {
        int count = 0;
        for (ListNode* node = pool.blocks->first; node; node = node->next) ++count;
        return count;
    }
};

TEST_F(PoolTest, SmallAllocationsAreEightBytesApart) {
    char* a = static_cast<char*>(memory_pool_alloc(&pool, 1));
    char* b = static_cast<char*>(memory_pool_alloc(&pool, 1));
    char* c = static_cast<char*>(memory_pool_alloc(&pool, 8));
    char* d = static_cast<char*>(memory_pool_alloc(&pool, 9));
    char* e = static_cast<char*>(memory_pool_alloc(&pool, 1));
    EXPECT_EQ(b - a, 8);
    EXPECT_EQ(c - b, 8);
    EXPECT_EQ(d - c, 8);
    EXPECT_EQ(e - d, 16);
    EXPECT_EQ(block_count(), 1);
}

TEST_F(PoolTest, ExactFillStaysInBlockAndOneMoreStartsANewOne) {
    char* first = static_cast<char*>(memory_pool_alloc(&pool, 16));
    char* rest = static_cast<char*>(memory_pool_alloc(&pool, pool_block_room - 16));
    EXPECT_EQ(rest, first + 16);
    EXPECT_EQ(pool.used, pool_block_room);
    EXPECT_EQ(block_count(), 1);
    memory_pool_alloc(&pool, 1);
    EXPECT_EQ(block_count(), 2);
    EXPECT_EQ(pool.used, 8u);
}

TEST_F(PoolTest, OversizedRequestGetsItsOwnBlock) {
    memory_pool_alloc(&pool, 8);
    char* big = static_cast<char*>(memory_pool_alloc(&pool, 100000));
    std::memset(big, 0x5A, 100000);  // the whole room is usable
    EXPECT_EQ(block_count(), 2);
    EXPECT_EQ(pool.blocks->element_size, sizeof(ListNode) + pool_block_room);
    char* small = static_cast<char*>(memory_pool_alloc(&pool, 8));
    EXPECT_EQ(block_count(), 3);
    EXPECT_EQ(pool.used, 8u);
    EXPECT_TRUE(small < big || small >= big + 100000);
}

TEST(CompilationPool, ResetLeavesOneEmptyBlockAndCopiesWork) {
    ensure_core_state();
    for (int i = 0; i < 20; ++i) pool_alloc(10000);
    pool_reset();
    int count = 0;
    for (ListNode* node = compilation_pool.blocks->first; node; node = node->next) ++count;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(compilation_pool.used, 0u);
    char* copy = pool_strdup("Hello");
    EXPECT_STREQ(copy, "Hello");
    EXPECT_STREQ(pool_strndup("abcdef", 3), "abc");
    EXPECT_STREQ(permanent_pool_strdup("kept"), "kept");
}

struct IntNode {
    ListNode link;
    int value;
};

static std::vector<int> values_of(CursorList* list) {
    std::vector<int> values;
    for (ListNode* node = list->first; node; node = node->next) values.push_back(reinterpret_cast<IntNode*>(node)->value);
    return values;
}

static IntNode* add_value(CursorList* list, int value) {
    IntNode* node = static_cast<IntNode*>(list_add(list));
    node->value = value;
    return node;
}

class ListTest : public ::testing::Test {
protected:
    CursorList list{};
    void SetUp() override {
        ensure_core_state();
        init_list(&list, sizeof(IntNode), 1);
    }
    void TearDown() override { list_clear(&list); }
};

TEST_F(ListTest, AddToEmptyListMakesFirstLastAndCurrent) {
    IntNode* node = add_value(&list, 1);
    EXPECT_EQ(list.first, &node->link);
    EXPECT_EQ(list.last, &node->link);
    EXPECT_EQ(list.current, &node->link);
    EXPECT_EQ(node->link.previous, nullptr);
    EXPECT_EQ(node->link.next, nullptr);
}

TEST_F(ListTest, AddsGoAfterTheCursorOrAtTheHead) {
    add_value(&list, 1);
    add_value(&list, 2);
    add_value(&list, 3);
    EXPECT_EQ(values_of(&list), (std::vector<int>{1, 2, 3}));
    list_reset_cursor(&list);
    add_value(&list, 0);  // null cursor: at the head
    EXPECT_EQ(values_of(&list), (std::vector<int>{0, 1, 2, 3}));
    list_next(&list);     // cursor on 1
    add_value(&list, 9);
    EXPECT_EQ(values_of(&list), (std::vector<int>{0, 1, 9, 2, 3}));
    EXPECT_EQ(reinterpret_cast<IntNode*>(list.last)->value, 3);
    EXPECT_EQ(list.first->previous, nullptr);
    EXPECT_EQ(list.last->next, nullptr);
}

TEST_F(ListTest, DeletingTheOnlyElementEmptiesTheList) {
    add_value(&list, 1);
    list_delete_current(&list);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
    EXPECT_EQ(list.current, nullptr);
    list_delete_current(&list);  // no cursor: nothing happens
    EXPECT_EQ(list.first, nullptr);
}

TEST_F(ListTest, DeletingWhileWalkingEmptiesFromTheHead) {
    for (int i = 1; i <= 4; ++i) add_value(&list, i);
    list_reset_cursor(&list);
    list_next(&list);
    list_delete_current(&list);
    EXPECT_EQ(list.current, nullptr);
    IntNode* next = static_cast<IntNode*>(list_next(&list));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->value, 2);
    list_next(&list);  // on 3
    list_delete_current(&list);
    EXPECT_EQ(reinterpret_cast<IntNode*>(list.current)->value, 2);
    EXPECT_EQ(values_of(&list), (std::vector<int>{2, 4}));
    list_reset_cursor(&list);
    while (list_next(&list)) list_delete_current(&list);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
}

TEST_F(ListTest, NextAtTheEndStaysOnTheLastElementSoAddsAppend) {
    add_value(&list, 1);
    add_value(&list, 2);
    list_reset_cursor(&list);
    int walked = 0;
    while (list_next(&list)) ++walked;
    EXPECT_EQ(walked, 2);
    EXPECT_EQ(list.current, list.last);
    add_value(&list, 3);
    EXPECT_EQ(values_of(&list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.first->next->next, list.last);
    EXPECT_EQ(list.last->previous, list.first->next);
}

struct NamedEntry {
    HashEntry head;
    int value;
};

class HashTest : public ::testing::Test {
protected:
    HashTable* table = nullptr;
    void SetUp() override {
        ensure_core_state();
        table = create_hash_table(sizeof(NamedEntry), hash_flag_permanent);
    }
    void TearDown() override {
        hash_reset_iterator(table);
        while (hash_next(table)) hash_free_entry(table, hash_unlink_current(table));
        os_heap_free(permanent_heap, table);
    }
    NamedEntry* add(const char* key, int value) {
        NamedEntry* entry = static_cast<NamedEntry*>(hash_add(table, key));
        entry->value = value;
        return entry;
    }
};

TEST_F(HashTest, KeysDifferingInCaseShareBucketAndMatch) {
    EXPECT_EQ(hash_bucket("OpenWindow"), hash_bucket("openwindow"));
    EXPECT_EQ(hash_key("A"), uint32_t('a'));
    EXPECT_EQ(hash_key("ab"), uint32_t(('a' * 63 + 'b') & 0xFFFF));
    add("OpenWindow", 7);
    HashEntry* found = hash_find(table, "OPENWINDOW");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(reinterpret_cast<NamedEntry*>(found)->value, 7);
    EXPECT_EQ(hash_find(table, "OpenWindow2"), nullptr);
    EXPECT_EQ(table->count, 1u);
}

TEST_F(HashTest, HashWrapsAtSixteenBits) {
    std::string key(40, 'z');
    uint32_t h = 0;
    for (char c : key) h = (uint32_t(uint8_t(c)) + h * 63) & 0xFFFF;
    EXPECT_EQ(hash_key(key.c_str()), h);
    EXPECT_LT(hash_key(key.c_str()), 65536u);
}

TEST_F(HashTest, LaterDuplicateHidesEarlierOne) {
    add("x", 1);
    add("X", 2);
    EXPECT_EQ(table->count, 2u);
    EXPECT_EQ(reinterpret_cast<NamedEntry*>(hash_find(table, "x"))->value, 2);
}

TEST_F(HashTest, BytesAboveAsciiCompareExactly) {
    add("caf\xC3\xA9", 1);
    EXPECT_NE(hash_find(table, "CAF\xC3\xA9"), nullptr);
    EXPECT_EQ(hash_find(table, "CAF\xC3\x89"), nullptr);
    EXPECT_NE(hash_bucket("\xC3\xA9"), -1);
    EXPECT_EQ(hash_key("\xE9"), 0xE9u);
}

TEST_F(HashTest, EmptyTableIterationEndsAtOnce) {
    hash_reset_iterator(table);
    EXPECT_EQ(hash_next(table), nullptr);
    EXPECT_EQ(table->iter_current, nullptr);
}

TEST_F(HashTest, UnlinkingDuringIterationVisitsEveryEntryOnce) {
    // Enough keys that several share buckets.
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("key" + std::to_string(i));
    for (int i = 0; i < 3000; ++i) add(keys[size_t(i)].c_str(), i);
    std::multiset<int> seen;
    hash_reset_iterator(table);
    int step = 0;
    while (HashEntry* entry = hash_next(table)) {
        seen.insert(reinterpret_cast<NamedEntry*>(entry)->value);
        if (step++ % 2 == 0) hash_free_entry(table, hash_unlink_current(table));
    }
    EXPECT_EQ(seen.size(), 3000u);
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), 3000u);
    EXPECT_EQ(table->count, 1500u);
    int remaining = 0;
    hash_reset_iterator(table);
    while (hash_next(table)) ++remaining;
    EXPECT_EQ(remaining, 1500);
}

TEST_F(HashTest, RemoveUnlinksFreesAndResetsTheIterator) {
    NamedEntry* a = add("alpha", 1);
    add("beta", 2);
    hash_reset_iterator(table);
    hash_next(table);
    hash_remove(table, &a->head);
    EXPECT_EQ(table->iter_current, nullptr);
    EXPECT_EQ(table->count, 1u);
    EXPECT_EQ(hash_find(table, "alpha"), nullptr);
    EXPECT_NE(hash_find(table, "beta"), nullptr);
}

TEST_F(HashTest, InsertCommandLinksAPreparedRecord) {
    NamedEntry* record = static_cast<NamedEntry*>(os_heap_alloc(permanent_heap, sizeof(NamedEntry)));
    record->head.key = "PrintN";
    record->value = 5;
    hash_insert_command(table, &record->head);
    EXPECT_EQ(table->count, 1u);
    EXPECT_EQ(hash_find(table, "printn"), &record->head);
}

}  // namespace
