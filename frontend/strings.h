// String expressions: concatenation with "+" and the comparisons of strings.
//
// A string value in the current operand (OPERAND_STRING, flag OP_STRING) is one of:
// - a literal: flag OP_LITERAL; while its text is still being gathered in
//   the literal buffer (`literal_text` .. `literal_write_pointer`) its
//   `constant` is 0, once interned it is the literal's number;
// - a string expression under way: flag OP_STRING_STACK; with OP_COMPUTED
//   the run-time string stack holds the text built so far (its start offset
//   pushed on the machine stack), with OP_LITERAL literal text is gathered
//   after it that has not been copied yet;
// - a finished temporary on the string stack: OP_COMPUTED without
//   OP_STRING_STACK (its start offset pushed on the machine stack);
// - a string or fixed-string variable named by the operand text.
#pragma once

#include <cstdint>
#include <string>

// A literal string (see above): an operand flag of the string compiler's own.
constexpr uint32_t OP_LITERAL = 0x200000;

// Where the left side of a string comparison waits while the right side is
// compiled.
enum StringPlace : int32_t {
    STRING_PLACE_LITERAL = 0,   // a literal: its number is handed to the compare
    STRING_PLACE_PUSHED = 1,    // the address held by a string variable, pushed
    STRING_PLACE_STACK = 2,     // a temporary on the string stack, its offset pushed
};

// Continues an expression whose left operand is a string, by the current
// precedence: 1 a condition, 2 a comparison, 3 a concatenation ("+").
void compile_string_expression();
// `compile_string_expression` once; false when it read nothing (a refused
// operator whose error goes unrecorded while errors are suppressed), so
// that a loop over the operators ends.
bool compile_string_operator_pass();

// The lexer has just read a string literal into the literal buffer.
void mark_literal_operand();
// Chr() whose argument (at the parse pointer, after "(") is a numeric
// constant: its character is joined to the literal text (error 356 outside
// 0 to $D7FF and $E000 to $FFFF) and the operand is that literal. False,
// with nothing read, when the argument is known only at run time.
bool compile_chr_literal();
// The current operand becomes the string constant's text, gathered as a
// literal.
void load_string_constant_operand(const char* text);
// Copies literal text still gathered behind a string expression under way
// onto the string stack; operand producers that write on the string stack
// (string-returning calls) call it first so that the pieces keep their order.
void flush_pending_literal();
// The expression around a nested one that is read on its own (a call's
// arguments, a map key, Chr's look at its argument): the literal text it
// gathered and the concatenation it is in the middle of, whose pending
// literal the nested expression neither joins to nor flushes.
// A concatenation whose right operand is being read: its flags, and the
// output depth that operand is read at.
struct ActiveChain {
    uint32_t* flags;
    uint32_t output_depth;
};
struct OuterExpression {
    std::string literal_text;
    ActiveChain chain;
};
// Takes the gathered literal text and the concatenation away (both left
// empty) for the nested expression; `give_back_outer_expression` restores
// them once it is read.
OuterExpression hold_outer_expression();
void give_back_outer_expression(const OuterExpression& outer);
// The end of a string expression (the expression entry): a literal is
// interned; a temporary on the string stack gets its position restored
// unless the caller keeps it (`keep_on_stack`).
void close_string_result(bool keep_on_stack);

// Text of a numeric constant joined to a string: integers in decimal,
// floats with "%f" and no trailing zeros or point.
void format_number_as_text(char* out, int size, int64_t value, double real, bool is_float);
