// The expression compiler: expressions are compiled as they are read, with
// the current operand describing the value computed so far.
#pragma once

#include <cstdint>

// Expression option bits.
constexpr uint32_t EXPR_RESET_REGISTERS = 0x1;
constexpr uint32_t EXPR_NEW_STATEMENT = 0x2;
constexpr uint32_t EXPR_KEEP_STRING_BASE = 0x4;
constexpr uint32_t EXPR_INTEGER_ONLY = 0x8;
constexpr uint32_t EXPR_NUMERIC_ONLY = 0x10;
constexpr uint32_t EXPR_KEEP_FPU_RESULT = 0x20;
constexpr uint32_t EXPR_CONSTANT = 0x40;
constexpr uint32_t EXPR_WHOLE_STATEMENT = 0x80;
constexpr uint32_t EXPR_STRING_ONLY = 0x100;
constexpr uint32_t EXPR_DRY_RUN = 0x200;
constexpr uint32_t EXPR_CONDITION = 0x400;

// Compiles the expression at the parse pointer. Returns 1 when no error is set.
int compile_expression(uint32_t options, uint32_t mode);
// Parentheses opened and not yet closed (checked at the end of the source).
int32_t open_parentheses_count();

// Folds an operator applied to two constants: the integer and the double
// value side by side ("is_float" when either operand is a float). Returns 0,
// or the error number (106 division by zero, 112 an integer-only operator on
// floats, 1 for an unknown operator).
struct FoldedValue {
    int64_t integer;
    double real;
};
int fold_constant_operation(int token, int64_t left, double left_real, int64_t right, double right_real,
                            bool is_float, FoldedValue* out);
