// A line format split into its pieces while the program is compiled: the
// literal runs between the conversions and the conversion of each argument.
// The run-time writer only appends the pieces, so no format is parsed while
// the compiler writes its output.
//
// A format is a string literal with printf's plain conversions: %s, %c, %d,
// %i, %u, %x, %X (with l or ll) and %%. Each conversion is checked against
// the type of its argument; a format that is not a literal, has another
// conversion or does not match its arguments does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

enum class FormatConversion : uint8_t {
    none,         // a literal run with no argument after it
    text,         // %s
    character,    // %c
    signed32,     // %d, %i
    signed64,     // %ld, %lld, ...
    unsigned32,   // %u
    unsigned64,   // %lu, %llu
    hex32,        // %x
    hex64,        // %lx, %llx
    upper_hex32,  // %X
    upper_hex64,  // %lX, %llX
};

// A literal run of the format text and the conversion written after it.
struct FormatPiece {
    uint16_t offset;
    uint16_t length;
    FormatConversion conversion;
};

// An argument as the writer reads it: a text or a number widened to 64 bits
// (signed types sign-extended, unsigned ones zero-extended).
struct FormatArgument {
    union {
        const char* text;
        uint64_t number;
    };
};

// Pieces a format has beyond one per argument and the closing run: one for
// each "%%" (the run stops before the second '%').
constexpr int line_format_extra_pieces = 4;

enum class FormatArgumentKind : uint8_t { text, character, small_signed, small_unsigned, wide_signed, wide_unsigned, other };

template <typename T>
consteval FormatArgumentKind format_argument_kind()
{
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return FormatArgumentKind::text;
    else if constexpr (std::is_same_v<U, char>) return FormatArgumentKind::character;
    else if constexpr (std::is_enum_v<U>) return FormatArgumentKind::small_signed;
    else if constexpr (std::is_integral_v<U>) {
        if constexpr (sizeof(U) < sizeof(int)) return FormatArgumentKind::small_signed;  // promoted to int
        else if constexpr (sizeof(U) == 4) return std::is_signed_v<U> ? FormatArgumentKind::small_signed
                                                                       : FormatArgumentKind::small_unsigned;
        else return std::is_signed_v<U> ? FormatArgumentKind::wide_signed : FormatArgumentKind::wide_unsigned;
    } else return FormatArgumentKind::other;
}

// Reached only in a constant evaluation of a bad format, where calling a
// function that is not constexpr makes the evaluation fail with its name.
void line_format_is_malformed_or_does_not_match_its_arguments();

template <typename... Args>
struct LineFormat {
    static constexpr int capacity = int(sizeof...(Args)) + 1 + line_format_extra_pieces;

    const char* text;
    FormatPiece pieces[capacity];
    uint8_t count;

    template <size_t N>
    consteval LineFormat(const char (&format)[N]) : text(format), pieces{}, count(0)
    {
        constexpr FormatArgumentKind kinds[sizeof...(Args) + 1] = {format_argument_kind<Args>()..., FormatArgumentKind::other};
        size_t argument = 0;
        size_t run_start = 0;
        size_t i = 0;
        while (i + 1 < N && format[i]) {
            if (format[i] != '%') {
                ++i;
                continue;
            }
            size_t run_end = i;
            ++i;
            int longs = 0;
            while (format[i] == 'l' && longs < 2) {
                ++longs;
                ++i;
            }
            char c = format[i];
            if (c == '%' && !longs) {
                add_piece(run_start, run_end + 1, FormatConversion::none);  // keeps the first '%'
                run_start = ++i;
                continue;
            }
            if (argument >= sizeof...(Args)) fail();
            FormatArgumentKind kind = kinds[argument++];
            bool small_number = kind == FormatArgumentKind::small_signed || kind == FormatArgumentKind::small_unsigned ||
                                kind == FormatArgumentKind::character;
            bool wide_number = kind == FormatArgumentKind::wide_signed || kind == FormatArgumentKind::wide_unsigned;
            if ((longs && !wide_number) || (!longs && wide_number && c != 's')) fail();
            FormatConversion conversion = FormatConversion::none;
            switch (c) {
            case 's':
                if (kind != FormatArgumentKind::text || longs) fail();
                conversion = FormatConversion::text;
                break;
            case 'c':
                if (!small_number || longs) fail();
                conversion = FormatConversion::character;
                break;
            case 'd':
            case 'i':
                if (!small_number && !wide_number) fail();
                conversion = longs ? FormatConversion::signed64 : FormatConversion::signed32;
                break;
            case 'u':
                if (!small_number && !wide_number) fail();
                conversion = longs ? FormatConversion::unsigned64 : FormatConversion::unsigned32;
                break;
            case 'x':
                if (!small_number && !wide_number) fail();
                conversion = longs ? FormatConversion::hex64 : FormatConversion::hex32;
                break;
            case 'X':
                if (!small_number && !wide_number) fail();
                conversion = longs ? FormatConversion::upper_hex64 : FormatConversion::upper_hex32;
                break;
            default:
                fail();
            }
            add_piece(run_start, run_end, conversion);
            run_start = ++i;
        }
        if (argument != sizeof...(Args)) fail();
        add_piece(run_start, i, FormatConversion::none);
    }

private:
    static consteval void fail() { line_format_is_malformed_or_does_not_match_its_arguments(); }

    consteval void add_piece(size_t start, size_t end, FormatConversion conversion)
    {
        if (count >= capacity) fail();
        pieces[count++] = {uint16_t(start), uint16_t(end - start), conversion};
    }
};

// Lets a call deduce Args from its arguments alone; the format then converts.
template <typename... Args>
using LineFormatOf = LineFormat<std::type_identity_t<Args>...>;

template <typename T>
inline FormatArgument to_format_argument(T value)
{
    FormatArgument argument;
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_pointer_v<U>) argument.text = value;
    else if constexpr (std::is_enum_v<U>) argument.number = uint64_t(int64_t(value));
    else if constexpr (std::is_signed_v<U>) argument.number = uint64_t(int64_t(value));
    else argument.number = uint64_t(value);
    return argument;
}

// Writes the text at `out`, cut to `room` bytes (no end byte), and returns
// the length written. A null text writes "(null)".
size_t write_format_pieces(char* out, size_t room, const char* text, const FormatPiece* pieces, int count,
                           const FormatArgument* args);
