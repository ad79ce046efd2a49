// The run-time half of the checked line formats: appending the pieces.
#include "core/line_format.h"

#include <cstring>

namespace {

// Where the text goes: at most `left` more bytes are written.
struct PieceCursor {
    char* at;
    size_t left;
};

inline void put_bytes(PieceCursor& cursor, const char* from, size_t n)
{
    if (n > cursor.left) n = cursor.left;
    copy_line_bytes(cursor.at, from, n);
    cursor.at += n;
    cursor.left -= n;
}

inline void put_number(PieceCursor& cursor, uint64_t value, unsigned base, bool upper, bool negative)
{
    char digits[longest_number_text];
    char* end = digits + sizeof digits;
    char* p = end;
    if (base == 10) {
        do {
            *--p = char('0' + value % 10);
            value /= 10;
        } while (value);
    } else {
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            *--p = set[value & 15];
            value >>= 4;
        } while (value);
    }
    if (negative) *--p = '-';
    put_bytes(cursor, p, size_t(end - p));
}

inline void put_signed(PieceCursor& cursor, int64_t value)
{
    put_number(cursor, value < 0 ? 0 - uint64_t(value) : uint64_t(value), 10, false, value < 0);
}

}  // namespace

size_t write_format_pieces(char* out, size_t room, const char* text, const FormatPiece* pieces, int count,
                           const FormatArgument* args)
{
    PieceCursor cursor = {out, room};
    for (int i = 0; i < count; ++i) {
        const FormatPiece& piece = pieces[i];
        put_bytes(cursor, text + piece.offset, piece.length);
        if (piece.conversion == FormatConversion::none) continue;
        const FormatArgument& argument = *args++;
        switch (piece.conversion) {
        case FormatConversion::text: {
            const char* value = format_text_or_null(argument.text);
            put_bytes(cursor, value, std::strlen(value));
            break;
        }
        case FormatConversion::character: {
            char c = char(argument.number);
            put_bytes(cursor, &c, 1);
            break;
        }
        case FormatConversion::signed32:
            put_signed(cursor, int32_t(argument.number));
            break;
        case FormatConversion::signed64:
            put_signed(cursor, int64_t(argument.number));
            break;
        case FormatConversion::unsigned32:
            put_number(cursor, uint32_t(argument.number), 10, false, false);
            break;
        case FormatConversion::unsigned64:
            put_number(cursor, argument.number, 10, false, false);
            break;
        case FormatConversion::hex32:
        case FormatConversion::upper_hex32:
            put_number(cursor, uint32_t(argument.number), 16, piece.conversion == FormatConversion::upper_hex32, false);
            break;
        case FormatConversion::hex64:
        case FormatConversion::upper_hex64:
            put_number(cursor, argument.number, 16, piece.conversion == FormatConversion::upper_hex64, false);
            break;
        case FormatConversion::none:
            break;
        }
    }
    return size_t(cursor.at - out);
}

char* put_number_conversion(char* out, FormatConversion conversion, uint64_t number)
{
    uint64_t value = number;
    bool negative = false;
    unsigned base = 10;
    switch (conversion) {
    case FormatConversion::signed32:
    case FormatConversion::signed64: {
        int64_t wide = conversion == FormatConversion::signed32 ? int64_t(int32_t(number)) : int64_t(number);
        negative = wide < 0;
        value = negative ? 0 - uint64_t(wide) : uint64_t(wide);
        break;
    }
    case FormatConversion::unsigned32:
        value = uint32_t(number);
        break;
    case FormatConversion::hex32:
    case FormatConversion::upper_hex32:
        value = uint32_t(number);
        base = 16;
        break;
    case FormatConversion::hex64:
    case FormatConversion::upper_hex64:
        base = 16;
        break;
    case FormatConversion::unsigned64:
        break;
    case FormatConversion::text:
    case FormatConversion::character:
    case FormatConversion::none:
        return out;
    }
    // Most numbers in generated lines are a single digit.
    if (value < 10 && !negative) {
        *out = char('0' + value);
        return out + 1;
    }
    bool upper = conversion == FormatConversion::upper_hex32 || conversion == FormatConversion::upper_hex64;
    PieceCursor cursor = {out, longest_number_text};
    put_number(cursor, value, base, upper, negative);
    return cursor.at;
}
