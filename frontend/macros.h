// Macros: definition, body capture, expansion and "Macro.out".
#pragma once

#include <cstdint>

#include "core/hash_table.h"

// MacroRecord flags.
constexpr int32_t macro_flag_no_parameters = 0x2;  // written without a parameter list
constexpr int32_t macro_flag_expanding = 0x4;      // recursion guard
constexpr int32_t macro_flag_public = 0x8;         // declared inside DeclareModule
constexpr int32_t macro_flag_resident = 0x10;      // loaded from a resident file

struct MacroRecord {
    HashEntry entry;           // key: the name (pool copy; permanent for residents)
    char** parameter_names;    // in declaration order
    char** default_texts;      // one per optional parameter, in order
    char* body;                // statements separated by 0x01; "" when empty
    HashTable* owner;          // the macro table the record was added to
    int32_t flags;
    int32_t parameter_count;
    int32_t optional_count;
    int32_t expansion_count;   // expansions in this compilation
};

// Element of resident_macro_table: a reference to a resident's macro.
struct ResidentMacroReference {
    HashEntry entry;
    MacroRecord* macro;
};

// Size of the expansion buffer and the write position past which a new
// expansion is refused.
constexpr int64_t macro_buffer_size = 1000000;
constexpr int64_t macro_buffer_limit = 900000;

// Start-up: the global and resident macro tables and the expansion buffer.
void init_macros();
// Before each compilation: expansion state back to start, expansion counts
// of the resident macros to 0.
void reset_macro_state();
// Between compilations: removes every macro that is not from a resident.
void free_user_macros();

// The macro visible under that name, or null (see the lookup order in
// macros.cpp).
MacroRecord* find_macro(const char* name);
// Parses the rest of a Macro statement; null on error.
MacroRecord* define_macro(const char* name);
// Takes one statement of a macro body, or ends the capture at EndMacro.
// Returns more_statements.
int capture_macro_body();
// Expands the macros of the statement (and the rest of its logical line)
// into the expansion buffer. Returns the expanded text (statements separated
// by 0x01), or null when nothing changed.
char* expand_statement_macros(char* statement);
// UndefineMacro with the name at the parse pointer (module prefix included).
void compile_undefinemacro_statement();
// Write position of the expansion buffer, restored after each logical line.
char* macro_expansion_write_position();
void set_macro_expansion_write_position(char* position);
// Error report: writes "Macro.out" for an error inside an expansion.
void write_macro_out_file();
