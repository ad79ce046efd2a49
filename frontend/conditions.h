// Conditions: the logical words Not, And, Or and XOr over comparisons and
// values, and the jump of a whole condition after a block keyword.
#pragma once

#include <cstdint>

// The "_Bool<n>" labels of Bool() values known at run time (last given).
extern int32_t bool_label_counter;

// Before each compilation: the condition label counters.
void reset_condition_state();
// Compiles the condition after a block keyword and emits the jump to
// <prefix><number> taken when it is false.
void compile_condition_jump(const char* prefix, int32_t number);
// The same jump for a condition already compiled into the current operand.
void emit_condition_jump(int group, const char* prefix, int32_t number);
// A string in the current operand as a truth value (true when not empty):
// its expression finished, a temporary kept on the string stack for the
// test; a literal is error 182. False after an error.
bool prepare_truth_value_operand();
