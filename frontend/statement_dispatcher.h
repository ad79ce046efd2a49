// The statement dispatcher: compiles one statement at a time. It expands
// macros, copies inline assembly, runs the compiler directives (also inside
// skipped regions), keeps the body modes of Structure, Interface,
// DataSection and Enumeration, dispatches on the first word and otherwise
// compiles a statement without keyword.
#pragma once

#include <cstddef>
#include <cstdint>

// Reserved words (upper case, sorted by byte value) and their count.
constexpr int keyword_count = 95;
extern const char* const KeywordTable[keyword_count + 1];
// First-letter index over KeywordTable: -1 where no word begins with the byte.
extern int32_t keyword_first_index[256];

// Compiles the statement at the parse pointer (see statement_dispatcher.cpp).
void compile_statement();
// A statement without leading keyword; `asm_flag` is 1 for an x86 mnemonic
// under EnableASM. Returns the expression compiler's result or 0.
int compile_plain_statement(char* text, int asm_flag);
// Appends the current statement to the preprocessed text (/PREPROCESS).
void find_statement_end();
// The same for IncludeFile and XIncludeFile, written as a comment: the
// preprocessed text holds the included lines themselves.
void find_include_statement_end();
// Reads tokens to the end of the statement with error reports suppressed.
void skip_statement();
// Reads the literal string after a keyword into literal_text; error 25 with
// the display name when the argument is not a literal string. Returns 1 when
// no error is set.
int read_literal_string_arg(const char* display_name);

// Start-up: fills keyword_first_index and the mnemonic index.
void build_keyword_index();
// 1 when the word is one of the reserved words (any case).
int is_keyword(const char* word);
// 1 when the word is one of the eleven native type letters (any case).
int is_native_type_letter(const char* word);
// 1 when the word is an x86 mnemonic of the inline-assembly table (any case).
int is_asm_mnemonic(const char* word);

// Before each compilation: the statement state and body modes back to start.
void reset_statement_state();

// Appends text to the preprocessed output (the current output buffer),
// whatever the suppressed-output depth.
void append_preprocessed_text(const char* text, size_t length);
