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
// How many expression levels are being compiled (0 outside any).
int32_t current_expression_depth();
// Before each compilation.
void reset_expression_compiler();

// What compile_expression_level reads.
enum ExpressionLevel : int32_t {
    EXPRESSION_LEVEL_CHAIN = 0,           // the chain of operators after the operand
    EXPRESSION_LEVEL_OPERAND = 6,         // the first operand (with a leading '-', '~' or Not)
    EXPRESSION_LEVEL_FRESH_OPERAND = 22,  // a fresh operand in argument position
};
void compile_expression_level(int level);
// Reads one operand into the current operand.
void compile_operand();
// Classifies and compiles the name just read (number, constant, variable;
// calls and element access are reported as not declared in this build).
void compile_call_or_index();
// The chain of operators of one precedence level (PRECEDENCE_UNARY: unary
// minus and "~"; PRECEDENCE_LOGICAL: a condition).
void compile_numeric_expression(int level);
// compile_numeric_expression, false when it consumed nothing: its error was
// silenced by a tentative parse, and a loop over the operators must stop.
bool compile_operator_pass(int level);
// An assignment: the target is the current operand, the token is "=".
void compile_statement_expression();
// At a statement's first operand: an arithmetic operator after it (`n + 1`,
// `s$ + "x"`) makes the statement an update of that operand with the whole
// expression, as if written `n = n + 1`.
// The current operand is the result of a call (a method call through an
// element or field stands alone as a statement, and is no target).
bool operand_is_call_result();
bool is_update_operator();
// Non-zero while the operand after "@" is read: its address is wanted
// (a whole array names its data, an interface method its address).
extern int32_t address_of_depth;
// A comparison in the current operand, taken as the operand of an operator
// or a call, becomes its truth as a 0/1 integer value.
void take_comparison_value();
// A leading Not: compiles the rest as a condition and returns 1; otherwise
// puts everything back and returns 0.
int compile_not_prefix();

// Built with the string expressions and the conditions.
void compile_string_expression();
void compile_condition(int mode);

// Condition index of a comparison token ("<>" 0, "=" 1, "<=" 2, ">=" 3,
// "<" 4, ">" 5), -1 for any other token.
int condition_index_of(int token);

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
