// Named enumerations: the Enumeration/EnumerationBinary header (name, start
// value, Step), the constant lines of the block, the enumeration tables and
// their lookup through the module scopes.
#pragma once

#include <cstdint>

#include "core/hash_table.h"

struct ConstantRecord;

// EnumerationRecord flags.
constexpr uint32_t enumeration_flag_resident = 0x1;  // survives the per-compilation purge
constexpr uint32_t enumeration_flag_public = 0x2;    // declared inside a DeclareModule section
constexpr uint32_t enumeration_flag_runtime = 0x4;   // its constants are registered for run-time lookup
constexpr uint32_t enumeration_flag_binary = 0x8;    // EnumerationBinary: each value doubles

struct EnumerationRecord {
    HashEntry entry;  // key: the name (compilation pool copy)
    uint32_t flags;
    int64_t step;     // increment of Enumeration (1 unless Step was given)
    int64_t value;    // the value the next constant takes
};

// The enumeration that the name means here, or null (an explicit module
// prefix, the public enumerations of the modules in use, then the global
// table; inside a module section the resident ones, then the module's own).
EnumerationRecord* find_public_module_item(const char* name);
// The rest of an Enumeration/EnumerationBinary line (optional name, start,
// Step), with the token after the keyword read. Returns the record of the
// constant ZD_Compiler_EnumerationValue, which holds the start value.
ConstantRecord* parse_enumeration_header();
// EndEnumeration: forgets the current enumeration and leaves the module
// scope that a prefixed name entered.
void end_named_enumeration();
// One constant line of an Enumeration body: "#name" or "#name = value".
void compile_enumeration_constant_line();
// Between compilations: removes every enumeration not loaded from a resident.
void free_user_enumerations();
