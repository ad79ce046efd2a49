// Conditions: the logical words Not, And, Or and XOr over comparisons and
// values, and the jump of a whole condition after a block keyword.
#pragma once

#include <cstdint>

// Before each compilation: the condition label counter.
void reset_condition_state();
// Compiles the condition after a block keyword and emits the jump to
// <prefix><number> taken when it is false.
void compile_condition_jump(const char* prefix, int32_t number);
// The same jump for a condition already compiled into the current operand.
void emit_condition_jump(int group, const char* prefix, int32_t number);
