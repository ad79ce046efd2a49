// One compilation of the C-back-end compiler after the front end: the C
// program finished around the compiled code, "zandrel.c" written, and the
// small text writers of the C back end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// After a clean compilation (the driver's finish hook): marks the system
// functions the start-up code calls, writes the header buffer (file head,
// declarations, entry function and its start-up code) and, after the main
// code, the exit function.
void c_finish_program();

// Writes the generated file: the /PREPROCESS output (with a byte-order
// mark), the commented form (CR LF line ends) or the plain form.
void c_write_program_file(const char* path, int preprocessed);
// Header buffer, code buffer, and unless /PREPROCESS the data buffer and the
// debugger parts; `with_bom` 1 writes the UTF-8 byte-order mark first.
void c_write_output_file(const char* path, int with_bom);
// One text range with each line feed written as CR LF.
void c_write_commented_output(FILE* file, const char* start, const char* end);

// A C comment line (commented mode only, errors not suppressed, output on).
void c_emit_comment(const char* text);
// An empty line under the same conditions.
void c_emit_empty_line();

// The C spelling of a name: A-Z lowered, '$' as 'S' (static buffer).
const char* c_identifier_name(const char* name);
// The same spelling appended to `out`.
void c_append_identifier_name(std::string& out, const char* name);
// A copy with every backslash doubled (compilation pool).
char* c_escape_backslashes(const char* text);
// Decimal text of value into buffer (at least 21 bytes); returns buffer.
char* c_int64_to_text(char* buffer, int64_t value);
