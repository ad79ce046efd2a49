// A small formatter for the compiler's own texts (generated lines, operand
// texts, lookup keys). It writes exactly what snprintf writes, but formats
// the plain conversions itself: %s, %c, %d, %i, %u, %x, %X (with l or ll)
// and %%. Any other conversion (flags, widths, precisions, floats) goes to
// vsnprintf for that call, so every format the C library takes still works.
#pragma once

#include <cstdarg>
#include <cstddef>

// As snprintf: at most size - 1 bytes and an end byte (size 0 writes nothing);
// returns the length the whole text has.
int format_to_buffer(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int format_to_buffer_v(char* out, size_t size, const char* format, va_list args);

// Copies a text, cut to fit into size - 1 bytes, and ends it; returns the
// length written. The same as snprintf(out, size, "%s", text) for size > 0.
size_t copy_text(char* out, size_t size, const char* text);
