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

// Structure descriptors and typedefs.
void c_mark_structure_used(StructureRecord* structure) C_PENDING_BLOCK;
void c_clear_structure_marks() C_PENDING_BLOCK;
void c_emit_interface_declaration(StructureRecord* interface) C_PENDING_BLOCK;
void c_emit_structure_typedefs() C_PENDING_BLOCK;
void c_emit_structure_declaration(StructureRecord* structure) C_PENDING_BLOCK;
void c_emit_structure_maps() C_PENDING_BLOCK;
void c_emit_structure_descriptors() C_PENDING_BLOCK;
void c_emit_thread_object_init() C_PENDING_BLOCK;
void c_emit_init_dynamic_structure(VariableRecord* variable) C_PENDING_BLOCK;
const char* c_structure_map_name(StructureRecord* structure) C_PENDING_BLOCK;

// Labels as C macros.
void c_emit_label_address_defines() C_PENDING_BLOCK;
void c_emit_label_defines() C_PENDING_BLOCK;
void c_emit_label_aliases() C_PENDING_BLOCK;

// Debugger support.
void c_emit_debugger_defines() C_PENDING_BLOCK;
void c_emit_debugger_variables() C_PENDING_BLOCK;
void c_emit_debugger_banks() C_PENDING_BLOCK;
void c_emit_debugger_support_code() C_PENDING_BLOCK;

// Procedures, Static items and deferred declarations.
void c_emit_deferred_declarations() C_PENDING_BLOCK;
void c_emit_static_items() C_PENDING_BLOCK;
void c_emit_static_item_inits() C_PENDING_BLOCK;
const char* c_procedure_name(ProcedureRecord* procedure) C_PENDING_BLOCK;

// Runtime registration.
void c_emit_runtime_procedures() C_PENDING_BLOCK;
void c_emit_runtime_constant() C_PENDING_BLOCK;
void c_emit_runtime_variable() C_PENDING_BLOCK;

// Arrays, lists, maps and variables.
void c_emit_array_declaration(ArrayRecord* array) C_PENDING_BLOCK;
const char* c_array_element_pointer(ArrayRecord* array) C_PENDING_BLOCK;
const char* c_format_list_address(ListRecord* list) C_PENDING_BLOCK;
const char* c_format_map_address(MapRecord* map) C_PENDING_BLOCK;
void c_emit_variable_declaration(VariableRecord* variable) C_PENDING_BLOCK;
const char* c_format_variable_operand(VariableRecord* variable) C_PENDING_BLOCK;
void c_emit_free_string(VariableRecord* variable) C_PENDING_BLOCK;
void c_emit_free_list(ListRecord* list) C_PENDING_BLOCK;
void c_emit_free_map(MapRecord* map) C_PENDING_BLOCK;

// Imported functions of Import blocks (the system functions are written by
// c_emit_import_externs itself).
void c_emit_module_import_externs() C_PENDING_BLOCK;
