// Structures and interfaces: the structure tables, Structure and Interface
// blocks, fields, unions, Extends and Align, the lookup by scope, and the
// type suffix that names a structure or a prototype.
#pragma once

#include <cstdint>

#include "core/hash_table.h"
#include "frontend/symbols.h"

// Element of resident_structure_table: a resident's structure by name.
struct StructureIndexEntry {
    HashEntry entry;
    StructureRecord* structure;
};

// Start-up: the global structure table and the resident structure index
// (permanent heap) and the method table of the interface being declared.
void init_structures();
// Between compilations: removes every structure and interface that did not
// come from a resident.
void free_user_structures();
// Before each compilation: block state cleared, ids restart after the
// resident structures, the per-compilation marks of the resident structures
// cleared.
void reset_structures();

// The structure or interface that the name means here, or null.
StructureRecord* find_structure(const char* name);
// A new empty record in `table` (the global table when null), with the next id.
StructureRecord* new_structure(const char* name, HashTable* table);

// Structure (is_interface 0) or Interface (1): the name and the rest of the
// header line (Extends, Align) at the parse pointer.
void begin_structure(int is_interface);
// EndStructure and EndInterface.
void end_structure();
void begin_structure_union();
void end_structure_union();
// 1 while a StructureUnion is open.
int structure_union_open();
// One field line of a Structure body, the parse pointer at the name (or its
// "*"); container_kind 0 plain, 1 Array, 2 List, 3 Map.
void parse_structure_field(int container_kind);

// The type suffix at the parse position into current_type, with structure
// and prototype names (and, for TYPE_SUFFIX_PARAMETER, pseudo-types); the one-letter types
// go through parse_field_type. Returns 1 when a type was written.
int parse_type_suffix(int mode);

// The size of one value of the structure or native type, as a field or
// element holds it.
int32_t type_value_size(int32_t code, const StructureRecord* structure);

// The structure being declared (null outside a block).
StructureRecord* structure_being_declared();
