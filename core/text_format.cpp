#include "core/text_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Where the text goes: bytes past `end` are counted in `lost`, not written.
// Kept in locals of the caller's loop, so the stores into the text do not
// make the compiler reload them.
struct FormatCursor {
    char* at;
    char* end;
    size_t lost;
};

inline void put_byte(FormatCursor& cursor, char c)
{
    if (cursor.at < cursor.end) *cursor.at++ = c;
    else cursor.lost++;
}

// A text of unknown length, copied byte by byte: the texts are short, and
// one pass both measures and copies.
inline void put_text(FormatCursor& cursor, const char* text)
{
    char* at = cursor.at;
    char* end = cursor.end;
    while (*text && at < end) *at++ = *text++;
    cursor.at = at;
    if (*text) cursor.lost += std::strlen(text);
}

void put_unsigned(FormatCursor& cursor, uint64_t value, unsigned base, bool upper, bool negative)
{
    char digits[24];
    char* p = digits + sizeof digits;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (base == 10) {
        do {
            *--p = char('0' + value % 10);
            value /= 10;
        } while (value);
    } else {
        do {
            *--p = set[value & 15];
            value >>= 4;
        } while (value);
    }
    if (negative) *--p = '-';
    for (; p < digits + sizeof digits; ++p) put_byte(cursor, *p);
}

// Formats the whole text when every conversion is a plain one; false (with
// nothing to keep) as soon as another one shows.
bool format_plain(FormatCursor& result, const char* format, va_list args)
{
    FormatCursor cursor = result;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            put_byte(cursor, *p);
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
            put_byte(cursor, '%');
            break;
        case 's': {
            if (longs) return false;
            const char* text = va_arg(args, const char*);
            if (!text) return false;
            put_text(cursor, text);
            break;
        }
        case 'c':
            if (longs) return false;
            put_byte(cursor, char(va_arg(args, int)));
            break;
        case 'd':
        case 'i': {
            int64_t value = longs == 0 ? va_arg(args, int) : longs == 1 ? va_arg(args, long) : va_arg(args, long long);
            put_unsigned(cursor, value < 0 ? 0 - uint64_t(value) : uint64_t(value), 10, false, value < 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            uint64_t value = longs == 0   ? va_arg(args, unsigned)
                             : longs == 1 ? va_arg(args, unsigned long)
                                          : va_arg(args, unsigned long long);
            put_unsigned(cursor, value, *p == 'u' ? 10 : 16, *p == 'X', false);
            break;
        }
        default:
            return false;
        }
    }
    result = cursor;
    return true;
}

}  // namespace

int format_to_buffer_v(char* out, size_t size, const char* format, va_list args)
{
    va_list attempt;
    va_copy(attempt, args);
    FormatCursor cursor = {out, size ? out + size - 1 : out, 0};
    bool plain = format_plain(cursor, format, attempt);
    va_end(attempt);
    if (!plain) return std::vsnprintf(out, size, format, args);
    if (size) *cursor.at = 0;
    return int(cursor.at - out + cursor.lost);
}

int format_to_buffer(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int length = format_to_buffer_v(out, size, format, args);
    va_end(args);
    return length;
}

// copy_text checks the room left once for a block of this many bytes.
constexpr size_t copy_block_bytes = 8;

size_t copy_text(char* out, size_t size, const char* text)
{
    if (!size) return 0;
    // Most texts are names and registers of a few bytes: one pass both
    // measures and copies (a call to measure first costs more than it saves).
    // Within a block each byte is stored before it is tested, so the
    // terminator is copied with the text.
    const size_t room = size - 1;
    size_t length = 0;
    while (room - length >= copy_block_bytes) {
#pragma GCC unroll 8
        for (size_t i = 0; i < copy_block_bytes; ++i) {
            char c = text[length + i];
            out[length + i] = c;
            if (!c) return length + i;
        }
        length += copy_block_bytes;
    }
    while (length < room && text[length]) {
        out[length] = text[length];
        ++length;
    }
    out[length] = 0;
    return length;
}
