// The logical words in C: Not as "!(...)", XOr of the two truth values, and
// the end of an And/Or chain, which turns its "ok"/"no" labels into a 0/1
// local "c<n>" that stands for the whole chain.
#pragma once

#include <cstdint>

// Not: "!(<operand>)" (negate 0: "((<operand>)!=0)").
void c_emit_condition_value(int32_t number, int negate);
// The tail of an And/Or chain: "c<n>" is 1 when control reaches "ok<n>" or
// falls through, 0 at "no<n>".
void c_emit_logical_chain_end(int32_t number);
// XOr: the left text is kept until the right side is compiled; the result
// compares the two truth values, so 3 XOr -2 is false.
void c_emit_logical_xor_left(int32_t number);
void c_emit_logical_xor_right(int32_t number);
// Bool(): "int r<n>=((<condition>)?1:0);" and r<n> as the operand; a string
// is true when it is not empty.
void c_emit_bool(int32_t number);
