// The lexer: reads the statement text at `parse_pointer` one step at a time.
// A step reads at most one operand word (name, number, string literal or
// character constant) and then the operator token that follows it. The
// state lives in frontend/frontend_globals.h ("Lexer state").
#pragma once

#include <cstdint>

#include "core/token_codes.h"

// Byte that separates the statements of one macro expansion.
constexpr char STATEMENT_SEPARATOR = 0x01;

// Longest name a word may hold, and the size of `statement_word`
// (128 characters, '$' and the terminating NUL).
constexpr int MAX_WORD_LENGTH = 128;
constexpr int STATEMENT_WORD_SIZE = MAX_WORD_LENGTH + 2;

// Largest literal text before error 252; the buffer holds a few more bytes
// because one converted character may add up to three bytes after the check.
constexpr int MAX_LITERAL_LENGTH = 8192;
constexpr int LITERAL_TEXT_SIZE = MAX_LITERAL_LENGTH + 3 + 1 + 4;

// Operand kind and flag that a string literal leaves in the current operand.
constexpr int32_t LEXER_OPERAND_KIND_STRING = 40;
constexpr uint32_t LEXER_OPERAND_FLAG_STRING = 0x1;

// One step: word, then operator token. Returns the first byte of
// `statement_word` (non-zero when a word was read).
int read_token();
// Reads only the operator token at `parse_pointer`. A word where the operator
// belongs is the token TOKEN_NO_OPERATOR, with the parse pointer left on the
// word; no error is recorded.
void read_operator();
// For a caller that needs an operator: error 79 with the word when the token
// is TOKEN_NO_OPERATOR (the parse pointer still on the word).
void refuse_word_operator();
// `read_token`, then puts the parse pointer and the literal write pointer
// back. Returns whether a word or a string literal was read.
int peek_token();
// For a pointer name `*name`: see lexer.cpp.
int skip_star();

// A place to read from again after a look-ahead: the read position, the
// operator token read there and whether the statement had ended there.
struct LexerMark {
    char* position;
    int32_t token;
    int32_t precedence;
    uint8_t more_statements;
};
LexerMark mark_lexer();
void rewind_lexer(const LexerMark& mark);

// The token code of the logical word (And, Or, XOr, Not) that starts at
// `p`, or 0 when no such word stands there.
int32_t logical_word_token_at(const char* p);

// Resets the literal text to empty (write pointer at its start).
void reset_literal_text();

// Converts one byte of the Windows ANSI code page to its UTF-16 unit.
uint16_t ansi_byte_to_utf16(unsigned char byte);
