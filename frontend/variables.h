// Variables and scopes: the variable table, keys and display names, scoped
// lookup, declaration and storage, the resolution of a variable name met in
// a statement, Static data items and run-time init items, and the variable
// statements (Define, Global, Protected, Shared, Static, Threaded).
#pragma once

#include <cstdint>
#include <vector>

#include "frontend/symbols.h"

// Declaration modes (declaration_mode).
enum : int32_t {
    DECLARE_NONE = 0,
    DECLARE_DEFINE = 1,
    DECLARE_GLOBAL = 2,
    DECLARE_PROTECTED = 3,   // also the parameter list of a procedure
    DECLARE_SHARED = 4,
    DECLARE_STATIC = 5,
    DECLARE_THREADED = 6,
};

// VariableRecord flag of the data pointer that Read and Restore move: its
// storage is the program's own "ZD_DataPointer" qword.
constexpr uint16_t VAR_DATA_POINTER = 0x8000;

// Before each compilation: the tables, lists, counters and default type.
void init_variables();
// The integer variable ZD_DataPointer (Global, data pointer).
VariableRecord* declare_data_pointer_variable();

// The key of `name` ("+" when local, "p_" for a pointer else "v_"), in a
// static buffer.
const char* make_variable_key(const char* name, bool local, bool pointer);
VariableRecord* find_local_variable(const char* name, bool pointer);
VariableRecord* find_global_variable(const char* name, bool pointer);
// Scoped lookup of a complete key.
VariableRecord* find_variable(const char* key);
// Inside a procedure the local first, then a Global or shared global.
VariableRecord* find_variable_scoped(const char* name, bool pointer);
// What the user wrote: "*" for a pointer, then the name (static buffer).
const char* get_variable_display_name(const VariableRecord* variable);
const char* get_key_display_name(const char* key);
// Creates the record of `key` of `type`, placed as the DECLARE_* `mode` says.
VariableRecord* declare_variable(const char* key, const CurrentType& type, int32_t mode);
// The data areas (global data, a procedure's frame, the per-thread object)
// are laid out with 32-bit offsets and stay below 2 GiB less 64 KiB, so that
// aligning an end never passes the largest offset.
constexpr int64_t largest_data_area = 0x7FFF0000;
// Moves a data area's end `bytes` further; false (error 59) when the area
// would grow past `largest_data_area`.
bool grow_data_area(int32_t& area_end, int64_t bytes);
DataItem* add_data_item(const char* name, int32_t size, uint8_t kind, void* object);
InitItem* register_init_item(uint8_t kind, void* object);
// How resolve_variable treats a name it does not find.
enum VariableLookup : int {
    VARIABLE_FIND = 0,            // the variable must exist
    VARIABLE_FIND_OR_CREATE = 1,  // an unknown name declares the variable
};
// The variable named by statement_word (pointer_flag for "*name").
// Null with the error state set when it fails.
VariableRecord* resolve_variable(int mode);
// The same for a "*name" when `pointer`, created as the DECLARE_* `declaring`
// says instead of the statement's own declaration mode.
VariableRecord* resolve_variable_as(int mode, int32_t declaring, bool pointer);
// EndProcedure: drops the procedure's locals (emitting their clean-up) and
// ends the sharing of the outer variables.
void drop_procedure_locals();
// The records a procedure's local map lists from: the global table (its
// locals and the main-scope variables), then the module variables shared
// into it.
std::vector<VariableRecord*> list_procedure_variables();

// What a type suffix belongs to (the mode of parse_field_type and
// parse_type_suffix).
enum TypeSuffixMode : int {
    TYPE_SUFFIX_PLAIN = 0,       // a variable, a container or a Data keyword
    TYPE_SUFFIX_RETURN = 3,      // a procedure's return type
    TYPE_SUFFIX_PARAMETER = 5,   // an import or prototype parameter (pseudo-types allowed)
    TYPE_SUFFIX_FIELD = 6,       // a structure field
};
// Type suffix at the parse position into current_type (see symbols.h).
// Returns 1 when a type was written.
int parse_field_type(int mode);
// After parse_field_type of a procedure's return type: a keyword written
// with '$' ("Procedure$") and no suffix make the type String.
void take_keyword_string_type();

// Static (threaded 0) and Threaded (threaded 1) statements.
void compile_variable_declaration(int threaded);
