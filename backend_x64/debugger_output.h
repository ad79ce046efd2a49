// Debugger instrumentation of the x64 program: line markers and the two line
// tables (valid lines, code context), the Debug printers, the run-time
// checks of array accesses, the symbol banks, and the fixed runtime text and
// data that a program built with the debugger carries.
#pragma once

#include <cstdint>
#include <vector>

#include "core/backend_hooks.h"

struct ModuleRecord;
struct ProcedureRecord;
struct StructureRecord;

// ---------------------------------------------------------------------------
// Line markers and line tables (backend_x64/debugger_lines.cpp).

// The current source position for the debugger: (file index << 20) + first
// physical line of the logical line + the continuation lines joined to it.
int32_t current_line_code();
// Before each statement: the line-number store (line numbering) and the
// debugger call of `routine` ("DBL" or "DBLA").
void emit_line_marker(const char* routine);
// " MOV rcx,<code>", " CALL _DBG_SL".
void emit_debugger_set_line();
void emit_save_all_registers();
void emit_restore_all_registers();
// A call with a 16-byte aligned stack and shadow space; the closing
// " ADD rsp," also drops `extra_bytes` pushed by the caller.
void emit_aligned_call(const char* routine, int32_t extra_bytes);
// The register block handed to ZD_DEBUGGER_Break (CallDebugger).
void emit_call_debugger();
// At the start of a procedure body: its index to the debugger.
void emit_debugger_enter_procedure(int32_t procedure_id);
// The back-end hook: the debugger's entry (and the purifier's), marking
// the procedure for its leave call.
void x64_emit_debugger_enter_procedure(ProcedureRecord* procedure);
// In the epilogue of a procedure whose entry was written, after the end
// labels (the result in rax is kept).
void emit_debugger_leave_procedure();
// The purifier: the check after a statement, and the table "PM_<id>" of
// a procedure's guard offsets (into the data-section buffer).
void emit_purifier_check(int after_assembly);
void emit_purifier_local_map(ProcedureRecord* procedure, const std::vector<int32_t>& guard_offsets);
// Appends the current line code to the valid-lines table.
void add_debugger_line_entry();
// A code-context record of a CODE_CONTEXT_* kind (core/backend_hooks.h).
void add_code_context_entry(int32_t kind, const char* name);

// ---------------------------------------------------------------------------
// Debug printers and run-time checks (backend_x64/debugger_checks.cpp).

// Each prints the 8 bytes at [rsp] (counted in the push depth) and drops
// them with the call frame; the caller lowers the push depth by 8.
void emit_debug_print_string(int rebase);
void emit_debug_print_float();
void emit_debug_print_quad();
void emit_debug_print_double();
// The value part of a Debug statement: the string base position saved
// before the expression; then the current operand pushed in its kind and
// printed (the push depth lowered again) and the position restored.
void begin_debug_value();
void emit_debug_value();

// The array checks take the array's pointer operand ("qword [<symbol>]",
// the slot that holds the element pointer): the array emitters have it.
// A constant index (the current operand) against the element count.
void emit_array_index_check(const char* pointer_operand);
// An index in a register against the element count.
void emit_array_index_check_register(const char* pointer_operand, const char* register_name);
// One index (the current operand) of several dimensions; ReDim's new size
// of one dimension ("rax").
void emit_multi_array_dimension_check(const char* pointer_operand, int32_t dimension);
void emit_redim_dimension_check(const char* pointer_operand, int32_t dimension, const char* size_text);
// An index (the current operand) of a static array field.
void emit_structure_array_check(int64_t element_count);
// The checks of the array hooks (frontend/arrays.h) by array record.
struct ArrayRecord;
void x64_emit_index_check(ArrayRecord* array, const char* register_name);
void x64_emit_multi_index_check(ArrayRecord* array, int32_t dimension);
void x64_emit_redim_check(ArrayRecord* array, int32_t dimension, const char* size_text);

// ---------------------------------------------------------------------------
// Symbol banks (backend_x64/debugger_banks.cpp).

void emit_db_string(const char* text);
void emit_type_map_reference(int32_t type_byte, const StructureRecord* structure, int32_t length);
void emit_type_map_reference_data(int32_t type_byte, const StructureRecord* structure, int32_t length);
void emit_debugger_constant_bank_header(int32_t count);
void emit_debugger_variable_bank_header(int32_t count);
void emit_debugger_array_bank_header(int32_t count);
void emit_debugger_list_bank_header(int32_t count);
void emit_debugger_map_bank_header(int32_t count);
void emit_debugger_label_bank_header(int32_t count);
void emit_debugger_procedure_bank_header(int32_t count, int32_t procedure_ids);
void emit_debugger_module_bank_header(int32_t count);
void emit_debugger_constant_bank();
void emit_debugger_array_bank();
void emit_debugger_module_bank();
void emit_structure_map_head(const StructureRecord* structure, const ModuleRecord* module);
// The per-procedure tables (backend_x64/debugger_local_maps.cpp). In a
// procedure's epilogue, before its locals are dropped, its local maps and
// guard table are gathered; once its frame size is known they are written.
void emit_procedure_debugger_tables(ProcedureRecord* procedure);
void finish_procedure_debugger_tables(ProcedureRecord* procedure, int32_t frame);
// The frame size ("PS<id>") of a compiled procedure; 0 when unknown.
int32_t procedure_frame_size(const ProcedureRecord* procedure);
// Per compilation.
void reset_procedure_debugger_tables();
// The banks written from the records of every module.
void emit_module_global_map();
void emit_procedure_locals_info();
void emit_list_declarations();
void emit_map_declarations();
void emit_label_table();
// Every bank, in the order of the data section, for a program whose lists,
// maps, labels and procedures have no bank writer of their own yet.
void emit_debugger_banks();

// ---------------------------------------------------------------------------
// Runtime text and data (backend_x64/debugger_runtime.cpp).

void emit_debugger_externs();
void emit_debugger_runtime();
void emit_debugger_data();
