// The type rules of the binary operators, decided by the expression compiler
// before a back end writes an operator: which operators have a float form,
// and the range of a shift count given as a constant.
#pragma once

#include <cstdint>

struct CurrentOperand;

// Largest count of "<<" and ">>" given as a constant.
constexpr uint64_t MAX_CONSTANT_SHIFT_COUNT = 63;

// Whether the operator has a float form: "%", "<<", ">>", "&", "|" and "!"
// (XOr) work on integers only.
bool operator_has_float_form(int token);

// The error that the operator raises in arithmetic `mode` with the right
// operand `right` (null when the left operand is the constant and the right
// one a computed value), or 0 when a back end may write it.
int operator_type_error(int token, uint32_t mode, const CurrentOperand* right);
