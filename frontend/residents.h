// Resident files: precompiled structures, interfaces, constants, macros and
// prototypes, loaded at start and kept for the whole run; the writer of
// /RESIDENT; the prototype tables and their lookup; pseudo-types.
#pragma once

#include <cstdint>

#include "core/cursor_list.h"
#include "core/hash_table.h"
#include "frontend/symbols.h"

// Element of resident_prototype_table: a resident's prototype by name.
struct PrototypeIndexEntry {
    HashEntry entry;
    ProcedureRecord* prototype;
};

// Element of resident_structure_refs: a structure named in a resident, and
// the place that receives its record once every resident is loaded.
struct StructureReference {
    ListNode link;
    char* name;
    StructureRecord** place;
};

// Start-up: the prototype table, the resident prototype index and the list
// of structure references.
void init_residents();
// Between compilations: removes every prototype not loaded from a resident
// and empties the structure reference list.
void free_user_prototypes();

// Loads one resident file; 0 when it cannot be opened, else 1. A damaged
// file records an error naming the file.
int load_resident(const char* path);

// Resolves and clears the list of structure references of the loaded residents.
void resolve_resident_structure_refs();

// /RESIDENT: writes the resident file of the declarations just compiled.
void write_resident_file(const char* path);

// After the type parser read the name "p" followed by "-": the pseudo-type
// code TYPE_P_ASCII to TYPE_P_VARIANT (current_type set), or 0 when the
// text is no pseudo-type.
int parse_pseudo_type();

// The prototype that the name means here, or null.
ProcedureRecord* find_prototype(const char* name);
