// The logical words in C: Not as "!(...)", XOr of the two truth values, and
// the And/Or chains, whose short-circuit tests set a 0/1 local "c<n>" that
// stands for the whole chain.
#pragma once

#include <cstdint>

// Not: "!(<operand>)" (negate 0: "((<operand>)!=0)").
void c_emit_condition_value(int32_t number, int negate);
// A comparison as the operand of another operator: its text ("(v_x>0)") is
// its 0/1 value already and stays the operand's text.
void c_emit_comparison_value(int32_t number);
// Chain n: "integer c<n>=0;" and the left side's test ("if (<left>) { goto
// ok<n>; }" for Or, "if (!(<left>)) { goto no<n>; }" for And); the right
// side's test (Or then "goto no<n>;"); "ok<n>:", "c<n>=1;", "no<n>:;", and the
// operand's text becomes "c<n>" (a folded chain keeps its constant value).
int64_t c_emit_logical_left(int is_or, int32_t number);
void c_emit_logical_right(int is_or, int32_t number, int64_t left_place, int left_constant, int left_truth,
                          int folded);
void c_emit_logical_chain_end(int32_t number, int folded);
// XOr: the left text is kept until the right side is compiled; the result
// is "((integer)((<left>)!=0)^(integer)((<right>)!=0))".
void c_emit_logical_xor_left(int32_t number);
void c_emit_logical_xor_right(int32_t number);
// Bool(): "int r<n>=((<condition>)?1:0);" and r<n> as the operand; a string
// is true when it is not empty.
void c_emit_bool(int32_t number);
