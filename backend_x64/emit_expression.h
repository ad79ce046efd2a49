// The x64 side of the expression seam: what the shared expression compiler
// asks of the back end for each operand and operator, written with the
// integer and x87 primitives.
#pragma once

#include <cstdint>

// Loads the left operand of an operator into the top evaluation register,
// or onto the x87 stack in float mode.
void x64_load_left_operand();
// Applies an operator: the left value is in the top register (or the x87
// top), the right one is the current operand.
void x64_apply_operator(int token);
// Applies an operator whose left operand is the constant (value, real) and
// whose right operand is the current operand. For "-" only the negation is
// written; the caller adds the constant with the pending sum.
void x64_apply_operator_left_constant(int token, int64_t value, double real);
// Adds the pending sum of "+"/"-" constants to the value.
void x64_add_pending_constant(int64_t value, double real);
// Unary minus and "~" of a value that is not a constant.
void x64_negate_operand();
void x64_complement_operand();
// Switches the expression to x87 arithmetic, moving a live register value.
int x64_enter_float_mode(int move_live);
// Ends float mode: the x87 top goes into the top register.
void x64_round_float_result_to_integer();
// Drops a float result that nobody takes.
void x64_discard_float_result();
// "@" and "?": the address of the current operand, of a procedure or of a
// label into rax (LEA, or MOV for a string's text and a whole array's
// data; " LEA rax,[symbol]" for symbols with /DLL).
void x64_load_operand_address();
void x64_load_procedure_address(struct ProcedureRecord* procedure);
void x64_load_label_address(const char* label);
// The comparison operator with its operands swapped (a < b is b > a).
int swap_comparison(int token);
