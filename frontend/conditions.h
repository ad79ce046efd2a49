// Conditions: the logical words Not, And, Or and XOr over comparisons and
// values, and the whole condition after a block keyword.
#pragma once

#include <cstdint>

// The "_Bool<n>" labels of Bool() values known at run time (last given).
extern int32_t bool_label_counter;

// Before each compilation: the condition label counters.
void reset_condition_state();
// Compiles the condition after a block keyword into the current operand;
// false after an error (the statement then writes nothing more). A string
// is a truth value (see prepare_truth_value_operand).
bool compile_block_condition();
// A string in the current operand as a truth value (true when not empty):
// its expression finished, a temporary kept on the string stack for the
// test; a literal is error 182. False after an error.
bool prepare_truth_value_operand();
