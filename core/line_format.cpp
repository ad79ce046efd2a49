// The run-time half of pre-split line formats: appending the pieces.
#include "core/line_format.h"

#include <cstring>

namespace {

constexpr char null_text[] = "(null)";
constexpr size_t longest_number = 20;  // digits of 2^64 - 1

// Copies n bytes without reading or writing past either end. The pieces of
// a line are a few bytes long: two overlapping word moves copy them, where
// a call of memcpy would cost more than the copy.
inline void copy_bytes(char* out, const char* from, size_t n)
{
    if (n >= 8) {
        if (n > 16) {
            std::memcpy(out, from, n);
            return;
        }
        uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(out, &head, 8);
        std::memcpy(out + n - 8, &tail, 8);
    } else if (n >= 4) {
        uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + n - 4, &tail, 4);
    } else {
        for (size_t i = 0; i < n; ++i) out[i] = from[i];
    }
}

// Where the text goes: at most `left` more bytes are written.
struct PieceCursor {
    char* at;
    size_t left;
};

inline void put_bytes(PieceCursor& cursor, const char* from, size_t n)
{
    if (n > cursor.left) n = cursor.left;
    copy_bytes(cursor.at, from, n);
    cursor.at += n;
    cursor.left -= n;
}

inline void put_number(PieceCursor& cursor, uint64_t value, unsigned base, bool upper, bool negative)
{
    char digits[longest_number + 1];
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
            const char* value = argument.text ? argument.text : null_text;
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
