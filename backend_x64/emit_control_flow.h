// Control-flow emission: the x64 side of the block statements (If, While,
// Repeat, For/Next, ForEach's end, Select/Case, Break and Continue) as
// numbered labels and jumps, the jump of a condition (a comparison, a value
// or a constant), the And/Or chains and the 0/1 values of Not, And, Or and
// XOr.
#pragma once

#include <cstdint>

struct BlockLevel;
struct SelectLevel;
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
// A comparison (its flags, integer or x87) as 0 or 1 in the top evaluation
// register, for an operator that takes it as an operand.
void x64_emit_comparison_value(int32_t number);
// And/Or chain n: the left side jumps to No<n> (And, when false) or Ok<n>
// (Or, when true); a constant left side waits on a reserved line, which the
// right side fills (or takes back when both sides fold); the right side
// jumps to No<n> when false. The tail: Ok<n> gives 1, No<n> gives 0, End<n>
// joins (nothing after folding).
int64_t x64_emit_logical_left(int is_or, int32_t number);
void x64_emit_logical_right(int is_or, int32_t number, int64_t left_place, int left_constant, int left_truth,
                            int folded);
void x64_emit_logical_chain_end(int32_t number, int folded);
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

// If/ElseIf: the condition's jump to _EndIf<false> when it fails. Else and
// ElseIf: " JMP _EndIf<end>" and "_EndIf<false>:". EndIf: the end label
// after an Else or ElseIf, the false label unless an Else took it.
void x64_emit_if_test(int32_t false_label, int is_else_if);
void x64_emit_if_branch_end(int32_t end_label, int32_t false_label);
void x64_emit_end_if(int32_t end_label, int32_t false_label, int flags);
// While: "_While<n>:", the jump to _Wend<n> when false, the jump back.
void x64_emit_while_begin(int32_t label);
void x64_emit_while_test(int32_t label);
void x64_emit_wend(int32_t label);
// Repeat: "_Repeat<n>:"; "_Repeat_Test<n>:" where a Continue goes; Until
// jumps back while false; both ends give "_Until<n>:".
void x64_emit_repeat_begin(int32_t label);
void x64_emit_until_begin(int32_t label, int continue_used);
void x64_emit_until_test(int32_t label);
void x64_emit_forever(int32_t label, int continue_used);

// For: the first pass jumps over the loop's marker ("_For<n>:" then the
// marker then "_ForSkipDebug<n>:"). The test: the end value (current
// operand) into the top register, compared with the counter; the exit jump
// to _Next<n> when the end value lies below the counter (above it for a
// negative step). Next: "_NextContinue<n>:", the step added to the counter
// and the jump back to _For<loop> while it did not overflow, "_Next<n>:".
void x64_emit_for_begin(int32_t loop_label, int with_marker);
void x64_emit_for_test(VariableRecord* counter, int negative_step, int32_t next_label);
void x64_emit_next(VariableRecord* counter, int64_t step, int32_t loop_label, int32_t next_label);
// The end of ForEach: the jump back to _ForEach<n>, "_Next<n>:".
void x64_emit_foreach_end(int32_t label);

// Select: the selector (current operand) pushed as a 64-bit value; dropped
// again at EndSelect. Case items: the value (current operand) in the top
// register compared with the selector at [rsp] and the jumps to the case's
// labels; a range's lower test is written once its upper one is known.
void x64_emit_select_push();
void x64_emit_select_drop();
void x64_emit_case_close(const SelectLevel* select);
void x64_emit_case_value(const SelectLevel* select, int continued, int last, int32_t body_label, int32_t next_label);
int64_t x64_emit_case_range_start(const SelectLevel* select, int continued);
void x64_emit_case_range_end(const SelectLevel* select, int64_t lower_place, int last, int32_t body_label,
                             int32_t next_label, int32_t range_label);
void x64_emit_case_body(const SelectLevel* select, int body_jumps, int32_t body_label);
void x64_emit_end_select(const SelectLevel* select, int in_case);

// Break and Continue: the string base position restored from [rsp+offset]
// (offset -1: none), `bytes` of Select values dropped, then the jump to the
// loop's label (Break: _Next, _Wend, _Until; Continue: _NextContinue,
// _While, _Repeat_Test, _ForEach).
void x64_emit_loop_jump(int32_t string_offset, int32_t bytes, const char* prefix, int32_t number);
void x64_emit_break(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
void x64_emit_continue(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
// ProcedureReturn inside string Selects: the string base position the
// outermost one saved is the write position again.
void x64_emit_leave_string_selects();
// Bool(): "_Bool<n>:", the jump to ".False", 1 or 0 in the top register.
void x64_emit_bool(int32_t number);
