#include "backend_x64/emit_float_pools.h"

#include <cstdio>
#include <cstring>

#include "core/backend_tables.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/output_buffers.h"

// ---------------------------------------------------------------------------
// Float pools

struct FloatPoolEntry {
    ListNode link;
    float value;
};

struct DoublePoolEntry {
    ListNode link;
    double value;
};

static CursorList* float_pool;
static CursorList* double_pool;
static int32_t float_count;
static int32_t double_count;
static char float_label[24] = "F0";
static char double_label[24] = "D0";

void create_float_pools() {
    float_pool = create_list(sizeof(FloatPoolEntry), 0);
    double_pool = create_list(sizeof(DoublePoolEntry), 0);
    float_count = 0;
    double_count = 0;
}

int float_pool_count() { return float_count; }
int double_pool_count() { return double_count; }

// Position (1-based) of the first entry equal to value, appending it when
// none is; NaN never compares equal, and 0.0 and -0.0 share an entry.
template <typename Entry, typename Value>
static int32_t intern_pool_value(CursorList* pool, int32_t* count, Value value) {
    int32_t position = 0;
    for (ListNode* node = pool->first; node; node = node->next) {
        position++;
        if (reinterpret_cast<Entry*>(node)->value == value) return position;
    }
    pool->current = pool->last;
    Entry* entry = static_cast<Entry*>(list_add(pool));
    entry->value = value;
    return ++*count;
}

const char* intern_float_constant(float value) {
    if (no_output_depth || suppress_errors || !float_pool) return float_label;
    int32_t n = intern_pool_value<FloatPoolEntry>(float_pool, &float_count, value);
    snprintf(float_label, sizeof float_label, "F%d", n);
    return float_label;
}

const char* intern_double_constant(double value) {
    if (no_output_depth || suppress_errors || !double_pool) return double_label;
    int32_t n = intern_pool_value<DoublePoolEntry>(double_pool, &double_count, value);
    snprintf(double_label, sizeof double_label, "D%d", n);
    return double_label;
}

void emit_float_pools() {
    if (no_output_depth) return;
    emit_line(DataDirectives.data_align);
    char line[96];
    int32_t n = 0;
    if (float_pool) {
        for (ListNode* node = float_pool->first; node; node = node->next) {
            int32_t bits;
            memcpy(&bits, &reinterpret_cast<FloatPoolEntry*>(node)->value, 4);
            snprintf(line, sizeof line, "F%d: dd %d", ++n, bits);
            emit_line(line);
        }
    }
    n = 0;
    if (double_pool) {
        for (ListNode* node = double_pool->first; node; node = node->next) {
            uint64_t bits;
            memcpy(&bits, &reinterpret_cast<DoublePoolEntry*>(node)->value, 8);
            snprintf(line, sizeof line, "D%d: dd %d,%d", ++n, (int32_t)(uint32_t)bits, (int32_t)(uint32_t)(bits >> 32));
            emit_line(line);
        }
    }
}
