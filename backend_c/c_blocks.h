// Blocks in C: If, While, Repeat, For/Next, Select/Case, Break and Continue.
// The shared block compiler (frontend/blocks.cpp) numbers every label; here
// each numbered label becomes a C label of the function being written
// ("<name><number>:;") and each jump a C goto, so block nesting needs no C
// braces and a goto may leave any number of blocks at once.
#pragma once

#include <cstdint>
#include <string>

struct VariableRecord;

// Per compilation: the Case value, the reserved lines and the XOr stack.
void c_reset_block_state();

// The C name of a numbered label: "il_wend", "il_until", "il_next", "next"
// (Continue of a For), "until" (Continue of a Repeat) for the loop labels,
// otherwise the prefix in lower case without its leading '_'; then the number.
std::string c_block_label_name(const char* prefix, int32_t number);

// "<name>:;" and "goto <name>;".
void c_emit_block_label(const char* prefix, int32_t number);
void c_emit_block_jump(const char* prefix, int32_t number);
// The current operand as a truth test: "if (!(%s)) { goto <name>; }" for a
// jump when false (CONDITION_SIGNED/UNSIGNED), "if (%s) { goto <name>; }"
// when true (the negated groups); a constant gives a plain goto or nothing.
void c_emit_condition_jump(int group, const char* prefix, int32_t number);
// A jump known later: nothing is written now; the patch inserts its line at
// the reserved place (a null prefix leaves nothing there).
int64_t c_reserve_jump_line();
void c_patch_jump_line(int64_t line, int relation, const char* prefix, int32_t number);
// After a Case value: "if (<value><relation><selector>) { goto <name>; }".
void c_emit_relation_jump(int relation, int is_unsigned, const char* prefix, int32_t number);
// For: "if (!(((<type>)<end>>=<counter>))) { goto <name>; }" ("<=" counting
// down). Next: the wrap guard of a narrow counter, the step and the jump back.
void c_emit_for_test(VariableRecord* counter, int negative_step, const char* prefix, int32_t number);
void c_emit_for_next(VariableRecord* counter, int64_t step, const char* prefix, int32_t number);
// Select: "integer zd_select<n>=<value>;", or for a string the selector's
// copy; Case: the value (for a string its SYS_StringEqual test) kept for the
// relation jumps that follow; EndSelect: a string copy freed.
void c_emit_select_push();
void c_emit_select_drop();
void c_emit_case_compare();
// Break/Continue: "goto <name>;", the string copies of the Selects left
// freed first (numeric selectors are C locals).
void c_emit_loop_jump(int32_t string_offset, int32_t bytes, const char* prefix, int32_t number);
// ProcedureReturn: the string copies of every open Select freed.
void c_emit_leave_string_selects();
