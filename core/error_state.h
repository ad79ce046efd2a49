// The error state: one compile error per compilation, recorded by the
// set_error family and reported once by report_error; warnings; console
// progress messages.
#pragma once

#include <cstdint>

#include "core/error_numbers.h"

constexpr int message_table_size = 361;
constexpr int error_message_capacity = 548;
constexpr int warning_message_capacity = 520;

struct ErrorState {
    int32_t error_number;        // first error of the compilation; 0 when none
    char* error_position;        // lexer read position when the error was recorded
    char error_message[error_message_capacity];
    uint8_t suppress_errors;     // nesting counter of tentative parses
    int32_t error_reported;      // non-zero once reported (1 by report_error, 2 by the build)
};

// Progress message: printf-formatted (at most 2047 bytes), validated as UTF-8
// and written to standard output. Silent in quiet and standby mode.
void console_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Records error n at parse_pointer unless an error is recorded or errors are
// suppressed. The _always variants ignore suppress_errors.
void set_error(int n);
void set_error_always(int n);
void set_error_format(int n, ...);
void set_error_format_always(int n, ...);
// Records error n at a given position (same rules as set_error).
void set_error_at(int n, char* position);
// Records error n with a ready text (same rules as set_error); used for
// texts that are not in the message table.
void set_error_text(int n, const char* text);
void set_error_text_always(int n, const char* text);

// Clears number, message and reported flag (per-compilation reset).
void clear_error_state();
// Errors recorded from now on lie on no source line: the build of the
// program reports "Error: <message>" (standby: line -1).
void set_no_source_line();

// The current text of message n (the catalog may have replaced it); "" out of range.
const char* message_text(int n);
// The built-in English text of message n; "" out of range.
const char* english_message_text(int n);
// Replaces message n with a catalog text (kept alive by the caller).
void set_message_text(int n, const char* text);

// "name (in a resident file)" or "name (file line N)" with N = line + 1,
// in a static buffer valid until the next call.
const char* error_location_text(const char* name, int32_t line, const char* file, int from_resident);

// Prints warning n at once (console or standby form). `argument` may be null.
void report_warning(int n, const char* argument);
// Prints the recorded error once (console or standby form).
void report_error();

// A fault of the compiler itself: prints the reason and ends the process.
[[noreturn]] void internal_error(const char* what);
