// Writers of blocks of the C file that their own parts of the C back end
// provide (structures, arrays, lists, maps, variables, labels, debugger,
// Runtime registration, procedures). They are declared weak here: the file
// writer calls each one only when it is linked in, so the program file can
// be written before every block writer exists. Whoever builds one moves its
// declaration into the header of the file that defines it (a plain
// declaration) and deletes it here.
#pragma once

#include <cstdint>

struct StructureRecord;
struct ArrayRecord;
struct ListRecord;
struct MapRecord;
struct VariableRecord;
struct ProcedureRecord;

#define C_PENDING_BLOCK __attribute__((weak))

// Blocks already built (plain declarations).
#include "backend_c/c_debugger.h"
#include "backend_c/c_arrays.h"
#include "backend_c/c_labels.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_runtime_registration.h"
#include "backend_c/c_static_items.h"
#include "backend_c/c_structures.h"

// Arrays, lists, maps and variables.
const char* c_format_list_address(ListRecord* list) C_PENDING_BLOCK;
const char* c_format_map_address(MapRecord* map) C_PENDING_BLOCK;
void c_emit_variable_declaration(VariableRecord* variable) C_PENDING_BLOCK;
const char* c_format_variable_operand(VariableRecord* variable) C_PENDING_BLOCK;
void c_emit_free_list(ListRecord* list) C_PENDING_BLOCK;
void c_emit_free_map(MapRecord* map) C_PENDING_BLOCK;
