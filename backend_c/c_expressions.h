// The C back end's side of the expression seam: seven slots that hold the C
// text of pending left operands, the operator templates that turn each
// operator into C text, the assignment writer, and the C names and
// declarations of variables.
#pragma once

#include <cstdint>
#include <string>

#include "core/backend_hooks.h"

struct VariableRecord;

// Per compilation: the slots and the counters of the expression emitters.
void c_reset_expression_state();
// The slot stack: a take moves down one slot when the current one is live
// (error 111 past the seventh); a release gives it back.
void c_take_evaluation_place();
void c_release_evaluation_place();
// Before a call: the floating-point values that wait for the call's result
// are rounded to double, as the x64 code keeps its x87 values across the
// call in 8-byte slots.
void c_round_pending_float_values();
void c_save_evaluation_state(EvaluationState* state);
void c_restore_evaluation_state(const EvaluationState* state, int restore_marks);
void c_read_numbering(NumberingState* state);
void c_advance_numbering(const NumberingState* by);

// The current operand into the current slot (OPERAND_REGISTER, size 8).
void c_load_left_operand();
// Slot text <op> current operand text; the result is the slot text and the
// operand text.
void c_apply_operator(int token);
// Constant <op> current operand (the right operand is loaded first).
void c_apply_operator_left_constant(int token, int64_t value, double real);
// The pending sum of "+"/"-" constants added once ("(%s+%s)", nothing for 0).
void c_add_pending_constant(int64_t value, double real);
void c_negate_operand();
void c_complement_operand();
int c_enter_float_mode(int move_live);
void c_round_float_result_to_integer();
void c_discard_float_result();
void c_exchange_float_values();
// The assignment line of the current operand (the value) into the target.
void c_assign_result(const ExpressionTarget* target);
// Structure copy: "SYS_CopyStructure(&<target>,<size>,(integer*)<map>,(void*)<source address>);".
void c_copy_structure(const ExpressionTarget* target, StructureRecord* structure);

// The C form of a double: its shortest exact decimal text, with ".0" when it has neither "." nor
// "e", ZD_INFINITY/ZD_NEG_INFINITY for infinities, a NaN as an expression.
const char* c_float_literal(double value);
// The C form of an int64 (the lowest value as an expression, since its
// digits alone do not fit a signed 64-bit literal).
std::string c_decimal_text(int64_t value);
// A whole-number constant in the current arithmetic: "3LL", "(int)3" after a
// 32-bit operand, "3.0" in floating point.
std::string c_integer_literal(int64_t value);
// The current operand as C text (constants in their C form, a pointer value
// as "(integer)" + text).
std::string c_operand_text();
// "!=", "<=", ">=", "<", "==", ">" for the comparison tokens, else null.
const char* c_compare_operator(int token);

// Variables (backend_c/c_expressions_variables.cpp).
// The C lvalue of a variable (static buffer).
const char* c_format_variable_operand(VariableRecord* variable);
// A Threaded object is named: the program sets up the per-thread block and
// the open procedure reads its address into "tls".
void c_note_threaded_object();
// Its declaration line in the C file.
void c_emit_variable_declaration(VariableRecord* variable);

// "@" and "?": the address of the current operand ("((integer)(&<lvalue>))",
// a string's or whole array's pointer, a literal's name), of a procedure or
// of a label as the operand's C text.
void c_load_operand_address();
void c_load_procedure_address(struct ProcedureRecord* procedure);
void c_load_label_address(const char* label);
// "SYS_FreeString(<lvalue>);" (marks the routine used).
void c_emit_free_string(VariableRecord* variable);
// EndProcedure: a local string is freed, a local structure's strings,
// arrays, lists and maps are released.
void c_emit_local_cleanup(VariableRecord* variable);
