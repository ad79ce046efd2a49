// Strings in the C file: the string stack of the generated program reached
// through the runtime's position routines, copies of literals, variables and
// fixed strings onto it, string comparisons through "p<n>" locals, and the
// stores of string values into string and fixed-string targets.
#pragma once

#include <cstdint>
#include <string>

#include "core/backend_hooks.h"

struct VariableRecord;

// Per compilation: the "p<n>" counter, the pending left texts of
// comparisons and the literals already in the string table.
void c_reset_string_state();

// The C name of literal `number`: "_S<n>", or "0" (the null pointer, read as
// "" by the runtime) for the null string and every empty literal. A named
// literal is added once to the string table (`c_literal_table`); with output
// on, the string manager is marked used. Static buffer.
const char* c_string_literal_name(int32_t number);
// Adds a fixed-string length in bytes to the "ft_<n>" typedefs unless there.
void c_register_fixed_string_type(int32_t length);

// The string entries of the back-end seam.
// "SYS_PushStringBasePosition();"
void c_push_string_base_position();
// "SYS_PopStringBasePositionUpdate();": the stack is freed from the saved
// position on.
void c_restore_string_base_position();
// Steps past the terminator of a string that must stay on the stack.
void c_increment_string_base_position();
// Copies the current operand (literal, string or fixed string) onto the
// string stack, saving the position first with `save_position`.
void c_copy_string_to_stack(int save_position);
// "SYS_PopStringBasePosition();": the saved position of a temporary that
// continues the string below it is dropped.
void c_drop_string_offset();
// Keeps the text of a string variable as the left side of a comparison.
void c_keep_compared_string();
// The left side (literal, kept variable or temporary) compared with the
// current operand: two "void* p<n>=...;" lines and the runtime call as the
// operand text, non-zero when the relation holds.
void c_compare_strings(int token, int left_place, int32_t left_literal);

// The store of the current string operand into a string or fixed-string
// target (one complete statement).
void c_assign_string(const ExpressionTarget* target);
// "SYS_AssignFixedStringFast(<target>,<length/2>,<literal>)" without ";",
// the target text given; the statement's caller ends the line.
void c_emit_assign_fixed_string_text(const char* target, int32_t length, int32_t literal_number);

// Initial values of variables in the start-up code (complete lines):
// "SYS_FastAllocateString4(&<v>,_S<n>);" and the fixed-string store.
void c_emit_string_variable_init(VariableRecord* variable, int32_t literal_number);
void c_emit_assign_fixed_string(VariableRecord* variable, int32_t length, int32_t literal_number);

// The current string operand as a C value: a literal's name, a temporary's
// address (the pop that frees the stack from it) or the variable's lvalue.
std::string c_string_value_text();
// A string Select's copy of its selector: "void *<name>=0;" and the
// SYS_AllocateString4 (temporary) or SYS_FastAllocateString4 store.
void c_emit_select_string(const std::string& name);
// "SYS_StringEqual(<left>,<right>)", the routine marked used.
std::string c_string_equal_text(const std::string& left, const std::string& right);
// The current string operand is a temporary on the string stack.
bool c_string_operand_on_stack();
// "SYS_FreeString(<name>);"
void c_emit_free_string(const std::string& name);
// The truth of the current string operand (not a literal): a non-null
// pointer to a non-empty text; a temporary is popped off the string stack.
std::string c_string_truth_text();
// A number joined to a string: its C text kept, then after any pending
// literal "SYS_PushStringBasePosition();" and "ZD_Str(<text>,
// SYS_GetStringBasePosition());" (StrF, StrD by `form`).
void c_push_number_text_argument(int form);
void c_emit_number_text(const struct LibraryCommand* command, int form);
