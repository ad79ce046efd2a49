// Conditions: the logical words Not, And, Or and XOr over comparisons and
// values, and the whole condition after a block keyword.
#pragma once

#include <cstdint>

// Before each compilation: the condition label counter.
void reset_condition_state();
// Compiles the condition after a block keyword into the current operand;
// false after an error (the statement then writes nothing more).
bool compile_block_condition();
