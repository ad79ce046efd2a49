#include "core/text_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The output so far: bytes past the room are counted, not written.
struct FormatOutput {
    char* out;
    size_t room;  // bytes that may still be written before the end byte
    size_t length;
};

inline void put_bytes(FormatOutput& output, const char* text, size_t count)
{
    if (output.room) {
        size_t n = count < output.room ? count : output.room;
        std::memcpy(output.out + output.length, text, n);
        output.room -= n;
    }
    output.length += count;
}

// A text of unknown length, copied byte by byte: the texts are short, and
// one pass both measures and copies.
inline void put_text(FormatOutput& output, const char* text)
{
    char* out = output.out + output.length;
    size_t n = 0;
    for (; n < output.room && text[n]; ++n) out[n] = text[n];
    output.room -= n;
    output.length += n;
    if (text[n]) output.length += std::strlen(text + n);
}

inline void put_byte(FormatOutput& output, char c)
{
    if (output.room) {
        output.out[output.length] = c;
        output.room--;
    }
    output.length++;
}

void put_unsigned(FormatOutput& output, uint64_t value, unsigned base, bool upper, bool negative)
{
    char digits[24];
    char* p = digits + sizeof digits;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        *--p = set[value % base];
        value /= base;
    } while (value);
    if (negative) *--p = '-';
    put_bytes(output, p, size_t(digits + sizeof digits - p));
}

// Formats the whole text when every conversion is a plain one; false (with
// nothing to keep) as soon as another one shows.
bool format_plain(FormatOutput& output, const char* format, va_list args)
{
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            put_byte(output, *p);
            continue;
        }
        ++p;
        int longs = 0;
        while (*p == 'l' && longs < 2) {
            ++longs;
            ++p;
        }
        switch (*p) {
        case '%':
            if (longs) return false;
            put_byte(output, '%');
            break;
        case 's': {
            if (longs) return false;
            const char* text = va_arg(args, const char*);
            if (!text) return false;
            put_text(output, text);
            break;
        }
        case 'c':
            if (longs) return false;
            put_byte(output, char(va_arg(args, int)));
            break;
        case 'd':
        case 'i': {
            int64_t value = longs == 0 ? va_arg(args, int) : longs == 1 ? va_arg(args, long) : va_arg(args, long long);
            put_unsigned(output, value < 0 ? 0 - uint64_t(value) : uint64_t(value), 10, false, value < 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            uint64_t value = longs == 0   ? va_arg(args, unsigned)
                             : longs == 1 ? va_arg(args, unsigned long)
                                          : va_arg(args, unsigned long long);
            put_unsigned(output, value, *p == 'u' ? 10 : 16, *p == 'X', false);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

}  // namespace

int format_to_buffer_v(char* out, size_t size, const char* format, va_list args)
{
    va_list attempt;
    va_copy(attempt, args);
    FormatOutput output = {out, size ? size - 1 : 0, 0};
    bool plain = format_plain(output, format, attempt);
    va_end(attempt);
    if (!plain) return std::vsnprintf(out, size, format, args);
    if (size) out[output.length < size ? output.length : size - 1] = 0;
    return int(output.length);
}

int format_to_buffer(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int length = format_to_buffer_v(out, size, format, args);
    va_end(args);
    return length;
}

size_t copy_text(char* out, size_t size, const char* text)
{
    if (!size) return 0;
    // Most texts are names of a few bytes: one pass copies and measures.
    size_t length = 0;
    while (length + 1 < size && text[length]) {
        out[length] = text[length];
        ++length;
    }
    out[length] = 0;
    return length;
}
