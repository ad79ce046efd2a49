// Named compile-time constants (#name): the records, their lookup and the
// declaration from the pending value left by the constant-expression
// compiler or the command line.
#pragma once

#include <cstdint>

#include "core/hash_table.h"

// ConstantRecord flags.
constexpr uint32_t constant_flag_resident = 0x2;
constexpr uint32_t constant_flag_float = 0x4;
constexpr uint32_t constant_flag_string = 0x8;
constexpr uint32_t predefined_constant_flag = 0x10;  // built-in or given on the command line
constexpr uint32_t constant_flag_public = 0x20;
constexpr uint32_t constant_flag_runtime = 0x40;

struct ConstantRecord {
    HashEntry entry;   // key: the name without '#'
    uint32_t flags;
    union {
        int64_t integer_value;
        double float_value;
        char* text;    // NUL-terminated UTF-8
    } value;
};

// The global constants table (permanent heap; created by init_constants).
extern HashTable* constants_table;

// Start-up: creates the global constants table when it does not exist yet.
void init_constants();
// The record of a constant visible here, or null: the explicit module's
// public constants, the public constants of the modules in use, then the
// global table (inside a module section only its built-in and resident
// constants, then the module's own table).
ConstantRecord* find_constant(const char* name);
// Declares (or re-checks) a constant with the value in pending_constant.
// Returns the record, or null when an error is recorded.
ConstantRecord* declare_constant(const char* name);
// Removes and frees every constant of the global table that did not come
// from a resident.
void free_user_constants();
// True when both constants have the same kind and value.
bool constants_have_same_value(const ConstantRecord* a, const ConstantRecord* b);
// Loads the constant's value as the current operand.
void load_constant_operand(const ConstantRecord* record);
