// The temporary string stack of generated programs and the string stores
// and compares. Without /THREAD the code reads and writes ZD_StringBase and
// ZD_StringBasePosition itself; with it, only runtime routines touch them.
// Every runtime call is made inside a call frame, so it is aligned at any
// push depth.
#pragma once

#include <cstdint>

struct AssignTarget;

// The write position: saved (pushed, +8), restored (popped, -8), advanced
// past the terminator of the string built last.
void emit_push_string_base_position();
void emit_restore_string_base_position();
void emit_increment_string_base_position();
// Turns the offset stored at [rsp+offset] into an address.
void emit_add_string_base_to_stack(int32_t offset);
// The end of a string expression: the address of the result into rax (the
// current operand is copied onto the string stack first unless it lies
// there already); its pushed offset is taken off the stack (-8).
void emit_string_result_pointer();

// The address of the current string operand into register r: a literal's
// label (0 for the null string), a fixed string's address, or the pointer
// held by a string variable.
void emit_load_string_address(int r);
// Appends literal number `number` at the write position (the empty and the
// null string append nothing but the terminator).
void emit_copy_literal_string(int32_t number);
// Appends the current string operand at the write position, saving the
// position first with `save_position`.
void emit_copy_string_operand(int save_position);
// " CALL SYS_StringEqual" ("=", "<>"), SYS_StringSuperior ("<=", ">") or
// SYS_StringInferior (">=", "<") in a call frame, then " OR rax,rax".
void emit_string_compare_call(int op);
// A Case value against the Select string kept at [rsp] (mode bit 0: that
// string is an offset on the string stack).
void emit_stacked_string_equal(int mode);
// The truth test of the current string operand; true when ZF is set for the
// empty string afterwards, false when it is clear for it.
bool emit_string_truth_test();
// Stores literal `number` into the fixed string whose address is in rax.
void emit_assign_fixed_string(int32_t length_bytes, int32_t number);
// Stores the current string value into a string or fixed-string target.
void emit_assign_string(const AssignTarget* target);

// The string entries of the back-end seam.
void x64_push_string_base_position();
void x64_restore_string_base_position();
void x64_increment_string_base_position();
void x64_copy_string_to_stack(int save_position);
void x64_drop_string_offset();
void x64_keep_compared_string();
void x64_compare_strings(int token, int left_place, int32_t left_literal);
// A number joined to a string: the argument pushed, then Str/StrF/StrD
// called with the write position, whose copy stays pushed.
void x64_push_number_text_argument(int form);
void x64_emit_number_text(const struct LibraryCommand* command, int form);

// Hands the front end's literal table to the program output.
void hand_over_literal_strings();
