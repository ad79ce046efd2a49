// Control-flow emission: block labels and jumps, the jump of a condition
// (a comparison, a value or a constant), the 0/1 values of Not, And, Or and
// XOr, the For test and step, the Select value on the machine stack with
// the Case tests, and the jumps of Break and Continue.
#pragma once

#include <cstdint>

struct VariableRecord;

// Width of a reserved jump line (blanks overwritten by the patch); room for
// the longest patched text with a 32-bit label number.
constexpr int reserved_jump_width = 24;

// "<prefix><number>:" and " JMP <prefix><number>".
void x64_emit_block_label(const char* prefix, int32_t number);
void x64_emit_block_jump(const char* prefix, int32_t number);

// The mnemonic of a jump after an integer compare: `group` is a row of
// ConditionJumpTable (CONDITION_*), `relation` a condition index (<> 0,
// = 1, <= 2, >= 3, < 4, > 5). The plain rows jump when the relation does
// not hold, the negated rows when it holds.
const char* condition_jump_mnemonic(int group, int relation);

// The jump of the condition in the current operand to <prefix><number>:
// `group` CONDITION_SIGNED jumps when the condition is false,
// CONDITION_SIGNED_NEGATED when it is true.
void x64_emit_condition_jump(int group, const char* prefix, int32_t number);
// The truth of the current operand as 0 or 1 in the top evaluation register
// (inverted with `negate`), through the labels No<number> and Ok<number>.
void x64_emit_condition_value(int32_t number, int negate);
// The end of an And/Or chain: Ok<n> gives 1, No<n> gives 0, End<n> joins.
void x64_emit_logical_chain_end(int32_t number);
// XOr: the truth of the left side pushed as 0 or 1; after the right side,
// its truth in rdx and the exclusive-or of both in the top register.
void x64_emit_logical_xor_left(int32_t number);
void x64_emit_logical_xor_right(int32_t number);
// A line of blanks for a jump written later (-1 while output is off), and
// the jump written over it: relation -1 is an unconditional " JMP", else the
// signed jump taken when the relation holds; a null prefix takes the line
// back when nothing was written after it.
int64_t x64_reserve_jump_line();
void x64_patch_jump_line(int64_t line, int relation, const char* prefix, int32_t number);
// After an integer compare: the jump taken when the relation holds (signed,
// or unsigned with `is_unsigned`).
void x64_emit_relation_jump(int relation, int is_unsigned, const char* prefix, int32_t number);

// For: the end value (current operand) into the top register, compared with
// the counter; the exit jump to <prefix><number> when the end value lies
// below the counter (above it for a negative step).
void x64_emit_for_test(VariableRecord* counter, int negative_step, const char* prefix, int32_t number);
// Next: the step added to the counter and the jump back to <prefix><number>
// while the counter did not overflow.
void x64_emit_for_next(VariableRecord* counter, int64_t step, const char* prefix, int32_t number);

// Select: the selector (current operand) pushed as a 64-bit value; dropped
// again at EndSelect.
void x64_emit_select_push();
void x64_emit_select_drop();
// Case: the value (current operand) in the top register compared with the
// selector at [rsp].
void x64_emit_case_compare();

// Break and Continue: the string base position restored from [rsp+offset]
// (offset -1: none), `bytes` of Select values dropped, then the jump.
void x64_emit_leave_string_selects();
// Bool(): "_Bool<n>:", the jump to ".False", 1 or 0 in the top register.
void x64_emit_bool(int32_t number);
void x64_emit_loop_jump(int32_t string_offset, int32_t bytes, const char* prefix, int32_t number);
