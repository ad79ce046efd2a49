// Character tables, operator precedence, decimal texts, UTF-8/UTF-16
// conversions.
#include "core/char_tables.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/core_globals.h"
#include "core/token_codes.h"

uint8_t identifier_start_chars[256];
uint8_t identifier_chars[256];
uint8_t uppercase_table[256];
uint8_t lowercase_table[256];
uint8_t escape_chars[256];
const char* operator_word_text[256];
int32_t token_length[256];
int32_t operator_precedence[256];
uint8_t debugger_code = 0;

// The folding tables are needed by hash lookups before start-up has run
// (static initialisation order), so they are filled by a constructor too.
static void fill_character_tables() {
    for (int c = 0; c < 256; ++c) {
        bool upper = c >= 'A' && c <= 'Z';
        bool lower = c >= 'a' && c <= 'z';
        bool digit = c >= '0' && c <= '9';
        identifier_start_chars[c] = (upper || lower || c == '_') ? 1 : 0;
        identifier_chars[c] = (upper || lower || digit || c == '_') ? 1 : 0;
        uppercase_table[c] = uint8_t(lower ? c - 'a' + 'A' : c);
        lowercase_table[c] = uint8_t(upper ? c - 'A' + 'a' : c);
        escape_chars[c] = 0;
        operator_word_text[c] = nullptr;
        token_length[c] = 1;
        operator_precedence[c] = PRECEDENCE_NONE;
    }
    static const struct { unsigned char letter; uint8_t code; } escapes[] = {
        {'a', 7}, {'b', 8}, {'f', 12}, {'n', 10}, {'r', 13}, {'t', 9}, {'v', 11}, {'"', 34}, {'\\', 92},
    };
    for (const auto& escape : escapes) escape_chars[escape.letter] = escape.code;

    static const struct { int code; const char* text; } words[] = {
        {TOKEN_NOT_EQUAL, "<>"}, {TOKEN_LESS_EQUAL, "<="}, {TOKEN_GREATER_EQUAL, ">="},
        {TOKEN_SHIFT_LEFT, "<<"}, {TOKEN_SHIFT_RIGHT, ">>"}, {TOKEN_TO, "To"}, {TOKEN_STEP, "Step"},
        {TOKEN_EXTENDS, "Extends"}, {TOKEN_AS, "As"}, {TOKEN_XOR, "XOr"}, {TOKEN_NOT, "Not"},
        {TOKEN_AND, "And"}, {TOKEN_OR, "Or"}, {TOKEN_ALIGN, "Align"},
    };
    for (const auto& word : words) {
        operator_word_text[word.code] = word.text;
        token_length[word.code] = int32_t(std::strlen(word.text));
    }

    static const struct { int code; int32_t precedence; } precedences[] = {
        {TOKEN_XOR, PRECEDENCE_LOGICAL}, {TOKEN_NOT, PRECEDENCE_LOGICAL},
        {TOKEN_AND, PRECEDENCE_LOGICAL}, {TOKEN_OR, PRECEDENCE_LOGICAL},
        {TOKEN_NOT_EQUAL, PRECEDENCE_COMPARISON}, {TOKEN_LESS_EQUAL, PRECEDENCE_COMPARISON},
        {TOKEN_GREATER_EQUAL, PRECEDENCE_COMPARISON}, {TOKEN_LESS, PRECEDENCE_COMPARISON},
        {TOKEN_EQUAL, PRECEDENCE_COMPARISON}, {TOKEN_GREATER, PRECEDENCE_COMPARISON},
        {'+', PRECEDENCE_ADDITIVE}, {'-', PRECEDENCE_ADDITIVE},
        {'*', PRECEDENCE_MULTIPLICATIVE}, {'/', PRECEDENCE_MULTIPLICATIVE},
        {'&', PRECEDENCE_BITWISE}, {'|', PRECEDENCE_BITWISE},
        {'%', PRECEDENCE_MODULO_SHIFT}, {'!', PRECEDENCE_MODULO_SHIFT},
        {TOKEN_SHIFT_LEFT, PRECEDENCE_MODULO_SHIFT}, {TOKEN_SHIFT_RIGHT, PRECEDENCE_MODULO_SHIFT},
        {'~', PRECEDENCE_UNARY},
    };
    for (const auto& entry : precedences) operator_precedence[entry.code] = entry.precedence;
}

static const bool character_tables_filled = (fill_character_tables(), true);

void init_emitter_tables() {
    (void)character_tables_filled;
    fill_character_tables();
    data_buffer_start = nullptr;
    data_write_pointer = nullptr;
    data_buffer_end = nullptr;
    grow_data_buffer();
    grow_debugger_data_buffer();
    begin_data_section();
}

char* lowercase_copy(const char* text) {
    static char* buffer = nullptr;
    static size_t capacity = 0;
    size_t length = std::strlen(text);
    if (length + 1 > capacity) {
        capacity = length + 1 > 1024 ? length + 1 : 1024;
        std::free(buffer);
        buffer = static_cast<char*>(std::malloc(capacity));
    }
    for (size_t i = 0; i <= length; ++i) buffer[i] = char(lowercase_table[uint8_t(text[i])]);
    return buffer;
}

// Decimal text of value at the end of a 24-byte buffer.
static const char* format_int(char* buffer, int64_t value) {
    char* p = buffer + 23;
    *p = 0;
    uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--p = '-';
    return p;
}

const char* int_to_text_a(int64_t value) {
    static char buffer[24];
    return format_int(buffer, value);
}

const char* int_to_text(int64_t value) {
    static char buffer[24];
    return format_int(buffer, value);
}

const char* int_to_text_c(int64_t value) {
    static char buffer[24];
    return format_int(buffer, value);
}

void utf16_to_utf8(const char16_t* units, char* out) {
    unsigned char* o = reinterpret_cast<unsigned char*>(out);
    for (; *units; ++units) {
        uint32_t u = *units;
        if (u < 0x80) {
            *o++ = uint8_t(u);
        } else if (u < 0x800) {
            *o++ = uint8_t(0xC0 | (u >> 6));
            *o++ = uint8_t(0x80 | (u & 0x3F));
        } else {
            *o++ = uint8_t(0xE0 | (u >> 12));
            *o++ = uint8_t(0x80 | ((u >> 6) & 0x3F));
            *o++ = uint8_t(0x80 | (u & 0x3F));
        }
    }
    *o = 0;
}

int utf8_to_utf16(char16_t* out, int64_t* out_bytes, const char* in, int64_t* in_bytes) {
    if (!in) {
        *out_bytes = 0;
        *in_bytes = 0;
        return 0;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
    int64_t in_length = *in_bytes;
    int64_t room = *out_bytes / 2;
    int64_t read = 0;
    int64_t written = 0;
    int result = 0;
    while (read < in_length) {
        unsigned lead = p[read];
        int follow;
        uint32_t value;
        if (lead < 0x80) {
            follow = 0;
            value = lead;
        } else if (lead >= 0xC0 && lead <= 0xDF) {
            follow = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF7) {
            follow = 3;
            value = lead & 0x07;
        } else {
            result = -2;
            break;
        }
        if (in_length - read - 1 < follow) break;  // a cut character at the end
        int64_t next = read + 1;
        // A byte that is not a continuation ends the character early; it is
        // left in place and read again as the next lead byte.
        for (int i = 0; i < follow && (p[next] & 0xC0) == 0x80; ++i, ++next)
            value = (value << 6) | (p[next] & 0x3F);
        if (value < 0x10000) {
            if (room - written < 1) break;
            out[written++] = char16_t(value);
        } else if (value <= 0x10FFFF) {
            if (room - written < 2) break;
            value -= 0x10000;
            out[written++] = char16_t(0xD800 + (value >> 10));
            out[written++] = char16_t(0xDC00 + (value & 0x3FF));
        } else {
            break;
        }
        read = next;
    }
    *out_bytes = written * 2;
    *in_bytes = read;
    return result;
}

char16_t* utf8_to_utf16_alloc(const char* text) {
    if (!text) return nullptr;
    int64_t length = int64_t(std::strlen(text));
    char16_t* units = static_cast<char16_t*>(std::malloc(size_t(2 * length + 2)));
    if (!units) return nullptr;
    int64_t out_bytes = 2 * length;
    int64_t in_bytes = length;
    if (utf8_to_utf16(units, &out_bytes, text, &in_bytes) != 0) {
        std::free(units);
        return nullptr;
    }
    units[out_bytes / 2] = 0;
    return units;
}

char* utf16_to_utf8_alloc(const char16_t* units) {
    if (!units) return nullptr;
    size_t count = 0;
    while (units[count]) ++count;
    char* text = static_cast<char*>(std::malloc(4 * count + 1));
    if (!text) return nullptr;
    utf16_to_utf8(units, text);
    return text;
}
