// Character tables, the operator precedence table, decimal text of integers,
// UTF-8/UTF-16 conversions.
#pragma once

#include <cstddef>
#include <cstdint>

// Start-up, once: fills the tables, allocates the data-section and debugger
// data buffers and begins the data section.
void init_emitter_tables();

// Copies a text into a static buffer with A-Z lower-cased (valid until the next call).
char* lowercase_copy(const char* text);

// Decimal text of a signed 64-bit value, each in its own static buffer valid
// until the same function is called again.
const char* int_to_text_a(int64_t value);
const char* int_to_text(int64_t value);
const char* int_to_text_c(int64_t value);

// Encodes NUL-terminated UTF-16 units (each unit on its own, at most 3 bytes)
// and ends the output with a NUL. `out` needs 3 bytes per unit + 1.
void utf16_to_utf8(const char16_t* units, char* out);
// Converts UTF-8 to UTF-16 with room for *out_bytes / 2 units. On return
// *out_bytes holds the bytes written and *in_bytes the bytes of completely
// converted characters. Returns 0, or -2 for a bad lead byte.
int utf8_to_utf16(char16_t* out, int64_t* out_bytes, const char* in, int64_t* in_bytes);
// Allocated conversions (free with std::free); null for a null input or a
// conversion error.
char16_t* utf8_to_utf16_alloc(const char* text);
char* utf16_to_utf8_alloc(const char16_t* units);
