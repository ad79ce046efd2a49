// Token codes and operator precedence levels: what the lexer leaves in
// `token_code` and `token_precedence`, what the expression compiler hands
// the back ends as an operator, and what the precedence table holds.
#pragma once

#include <cstdint>

// Token codes of `token_code`. Every other code is the character's own byte.
enum TokenCode : int32_t {
    TOKEN_NO_OPERATOR = -1,   // a word stood where an operator was expected
    TOKEN_END = 0,            // NUL, ';', a single ':', or the separator 0x01
    TOKEN_STATEMENT_START = 1,   // set by the parser: the expression begins a statement
    TOKEN_EXPRESSION_START = 2,  // set by the parser: an expression begins that is no statement
    TOKEN_NOT_EQUAL = 4,      // <>
    TOKEN_LESS_EQUAL = 5,     // <= or =<
    TOKEN_GREATER_EQUAL = 6,  // >= or =>
    TOKEN_SHIFT_LEFT = 10,    // <<
    TOKEN_SHIFT_RIGHT = 13,   // >>
    TOKEN_TO = 18,
    TOKEN_STEP = 19,
    TOKEN_EXTENDS = 20,       // only inside a Structure or Interface block
    TOKEN_AS = 21,            // only inside an Import block
    TOKEN_XOR = 22,
    TOKEN_NOT = 23,
    TOKEN_AND = 24,
    TOKEN_OR = 25,
    TOKEN_ALIGN = 26,         // only inside a Structure block
    TOKEN_MODULE_SEPARATOR = 27,  // ::
    TOKEN_LESS = '<',
    TOKEN_EQUAL = '=',
    TOKEN_GREATER = '>',
};

// The six comparison operators.
inline bool is_comparison_token(int32_t token)
{
    return token == TOKEN_NOT_EQUAL || token == TOKEN_LESS_EQUAL || token == TOKEN_GREATER_EQUAL ||
           token == TOKEN_LESS || token == TOKEN_EQUAL || token == TOKEN_GREATER;
}

// Precedence of an operator token (`operator_precedence`, `token_precedence`):
// a higher level binds tighter.
enum OperatorPrecedence : int32_t {
    PRECEDENCE_WORD = -1,         // a word stood where an operator was expected
    PRECEDENCE_NONE = 0,          // no operator: the expression ends here
    PRECEDENCE_LOGICAL = 1,       // And, Or, XOr, Not
    PRECEDENCE_COMPARISON = 2,    // = <> < > <= >=
    PRECEDENCE_ADDITIVE = 3,      // + -
    PRECEDENCE_MULTIPLICATIVE = 4,  // * /
    PRECEDENCE_BITWISE = 5,       // & |
    PRECEDENCE_MODULO_SHIFT = 7,  // % ! << >>
    PRECEDENCE_UNARY = 9,         // ~, and a '-' where an operand belongs
};
