// Literal strings of a program: each distinct text is stored once in the
// generated data under the label "_S<n>". While an expression is compiled,
// literal pieces are gathered in the lexer's literal text buffer
// (`literal_text` .. `literal_write_pointer`), so that literals joined with
// "+" become one literal; the gathered text is then interned here.
#pragma once

#include <cstdint>
#include <string>

#include "core/hash_table.h"

// One interned literal (element of `literal_string_table`).
struct LiteralString {
    HashEntry entry;       // key: the UTF-8 text (a copy in the compilation pool)
    int64_t length;        // bytes of the text
    int32_t number;        // 1-based sequence number: the label is "_S<number>"
};

// The text that stands for the null string (the constant Null$).
constexpr const char* null_string_marker = "!_ZD_NullConstant_!";

extern HashTable* literal_string_table;      // LiteralString by text (compilation heap)
extern HashTable* literal_second_table;      // created beside it, for later use (compilation heap)
extern int32_t literal_string_count;         // the last sequence number given
extern int32_t null_string_number;           // number of the null string, 0 when it was not used
extern int64_t current_literal_length;       // length of the literal last interned
extern uint8_t literal_used_mark;            // a literal was interned while output was on
extern LiteralString* current_literal;       // the literal last interned (null in constant mode)
extern int32_t constant_expression_mode;     // literals are gathered as text only (EXPR_CONSTANT)

// Per compilation: clears the counters and marks and creates empty tables.
void reset_parser_state();

// Interns `text` and returns its number (0 in constant-expression mode,
// where the text is only copied to the start of the literal buffer). The
// literal buffer is emptied in both cases.
int32_t intern_literal_string(const char* text);
// Interns the text gathered in the literal buffer.
int32_t intern_gathered_literal();
// Appends `text` to the gathered literal text; error 252 past 8192 bytes.
// The null-string marker is kept only as the whole text: joined to other
// text the null string adds nothing.
void append_literal_text(const char* text);
// Takes the text gathered so far out of the literal buffer (left empty) for
// a nested expression that gathers literals of its own (call arguments, a
// map key); `give_back_literal_text` puts it back once that is done.
std::string hold_literal_text();
void give_back_literal_text(const std::string& held);
// The record of literal number `number`, or null.
LiteralString* find_literal_by_number(int32_t number);
// Calls `visit` for every literal in number order.
void for_each_literal_string(void (*visit)(const LiteralString* literal, void* context), void* context);
