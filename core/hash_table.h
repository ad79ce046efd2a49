// Chained hash table of 1024 buckets with case-insensitive keys and a
// built-in iterator. Every entry starts with room for a list link, so one
// record can also sit in a CursorList, then the key and the bucket link.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cursor_list.h"

constexpr int hash_bucket_count = 1024;
// Flag bit of HashTable::flags: entries come from the permanent heap.
constexpr int32_t hash_flag_permanent = 1;

struct HashEntry {
    ListNode link;              // room for a CursorList link
    const char* key;            // not owned: the caller keeps the text alive
    HashEntry* next_in_bucket;
};

struct HashTable {
    HashEntry* buckets[hash_bucket_count];
    HashEntry* iter_current;    // iterator position; null = not started
    int32_t iter_bucket;
    HashEntry* iter_previous;   // entry visited before iter_current
    int32_t iter_saved_bucket;
    int32_t element_size;       // bytes per entry, the entry head included
    int32_t flags;              // bit 0: permanent heap; other bits belong to the owner
    uint32_t count;
};

// Allocates a zeroed table on the heap chosen by flags bit 0.
HashTable* create_hash_table(int32_t element_size, int32_t flags);
// 16-bit hash of a key, folding A-Z to lower case.
uint32_t hash_key(const char* key);
inline int hash_bucket(const char* key) { return int(hash_key(key) & (hash_bucket_count - 1)); }

HashEntry* hash_find(HashTable* table, const char* key);
// New entry (not zeroed) at the head of its bucket; never checks for an
// existing key, so a later entry hides an earlier one with an equal key.
void* hash_add(HashTable* table, const char* key);
// Links an already allocated record whose key is set (library commands).
void hash_insert_command(HashTable* table, HashEntry* record);
// Steps the iterator; returns the new current entry or null past the end.
// Start an iteration with hash_reset_iterator.
HashEntry* hash_next(HashTable* table);
inline void hash_reset_iterator(HashTable* table) { table->iter_current = nullptr; }
// The table's entries in iteration order, taken before the caller walks them,
// so the walk may iterate the table again; empty for a null table. Leaves the
// iterator reset.
std::vector<HashEntry*> list_table_entries(HashTable* table);
// Unlinks the iterator's current entry without freeing it and steps the
// iterator back, so the next hash_next continues after the removed entry.
HashEntry* hash_unlink_current(HashTable* table);
// Frees an entry to the table's heap (after hash_unlink_current).
void hash_free_entry(HashTable* table, HashEntry* entry);
// Unlinks and frees an entry of the table; resets the iterator.
void hash_remove(HashTable* table, HashEntry* entry);
