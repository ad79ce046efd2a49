// Chained hash table with case-insensitive keys and a built-in iterator.
#include "core/hash_table.h"

#include <cstring>

#include "core/core_globals.h"
#include "platform/platform.h"

static PrivateHeap* table_heap(const HashTable* table) {
    return (table->flags & hash_flag_permanent) ? permanent_heap : compilation_heap;
}

HashTable* create_hash_table(int32_t element_size, int32_t flags) {
    PrivateHeap* heap = (flags & hash_flag_permanent) ? permanent_heap : compilation_heap;
    HashTable* table = static_cast<HashTable*>(os_heap_alloc(heap, sizeof(HashTable), true));
    table->element_size = element_size;
    table->flags = flags;
    return table;
}

// The hash is kept to 16 bits; the sum wraps the same whether its upper bits
// are cut at every step or once at the end.
constexpr uint32_t hash_key_mask = 0xFFFF;

uint32_t hash_key(const char* key) {
    uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); *p; ++p)
        h = lowercase_table[*p] + h * 63;
    return h & hash_key_mask;
}

// Equal ignoring ASCII letter case; other bytes compare exactly.
static bool keys_equal(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        if (*x != *y && lowercase_table[*x] != lowercase_table[*y]) return false;
        if (!*x) return true;
    }
}

HashEntry* hash_find(HashTable* table, const char* key) {
    for (HashEntry* entry = table->buckets[hash_bucket(key)]; entry; entry = entry->next_in_bucket)
        if (keys_equal(entry->key, key)) return entry;
    return nullptr;
}

void* hash_add(HashTable* table, const char* key) {
    HashEntry* entry = static_cast<HashEntry*>(os_heap_alloc(table_heap(table), size_t(table->element_size)));
    entry->key = key;
    hash_insert_command(table, entry);
    return entry;
}

void hash_insert_command(HashTable* table, HashEntry* record) {
    HashEntry** head = &table->buckets[hash_bucket(record->key)];
    record->next_in_bucket = *head;
    *head = record;
    table->count++;
}

std::vector<HashEntry*> list_table_entries(HashTable* table) {
    std::vector<HashEntry*> entries;
    if (!table) return entries;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) entries.push_back(entry);
    hash_reset_iterator(table);
    return entries;
}

HashEntry* hash_next(HashTable* table) {
    table->iter_previous = table->iter_current;
    table->iter_saved_bucket = table->iter_bucket;
    int bucket;
    if (table->iter_current) {
        if (table->iter_current->next_in_bucket) {
            table->iter_current = table->iter_current->next_in_bucket;
            return table->iter_current;
        }
        bucket = table->iter_bucket + 1;
    } else {
        bucket = 0;
    }
    for (; bucket < hash_bucket_count; ++bucket) {
        if (table->buckets[bucket]) {
            table->iter_current = table->buckets[bucket];
            table->iter_bucket = bucket;
            return table->iter_current;
        }
    }
    table->iter_current = nullptr;
    return nullptr;
}

HashEntry* hash_unlink_current(HashTable* table) {
    HashEntry* entry = table->iter_current;
    if (!entry) return nullptr;
    HashEntry** head = &table->buckets[table->iter_bucket];
    if (*head == entry) {
        *head = entry->next_in_bucket;
    } else {
        // The iterator visited the previous entry of this bucket just before.
        HashEntry* previous = table->iter_previous;
        if (!previous || previous->next_in_bucket != entry) {
            previous = *head;
            while (previous->next_in_bucket != entry) previous = previous->next_in_bucket;
        }
        previous->next_in_bucket = entry->next_in_bucket;
    }
    table->count--;
    table->iter_current = table->iter_previous;
    table->iter_bucket = table->iter_saved_bucket;
    return entry;
}

void hash_free_entry(HashTable* table, HashEntry* entry) {
    os_heap_free(table_heap(table), entry);
}

void hash_remove(HashTable* table, HashEntry* entry) {
    HashEntry** link = &table->buckets[hash_bucket(entry->key)];
    while (*link && *link != entry) link = &(*link)->next_in_bucket;
    if (*link) {
        *link = entry->next_in_bucket;
        table->count--;
    }
    table->iter_current = nullptr;
    hash_free_entry(table, entry);
}
