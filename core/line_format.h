// A line format split into its pieces while the program is compiled: the
// literal runs between the conversions and the conversion of each argument.
// A format of up to three conversions with short runs and no "%%" (nearly
// every generated line) is packed into one word of run lengths and
// conversions, which the run-time writer unpacks with shifts: no format is
// parsed while the compiler writes its output. Any other format is split
// again when its line is written.
//
// A format is a string literal with printf's plain conversions: %s, %c, %d,
// %i, %u, %x, %X (with l or ll) and %%. Each conversion is checked against
// the type of its argument; a format that is not a literal, has another
// conversion or does not match its arguments does not compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

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

// Pieces a format may have beyond one per conversion and the closing run:
// one for each "%%" (the run stops before the second '%'). A format with
// more does not compile.
constexpr int line_format_extra_pieces = 4;

// Splits a format into its pieces; returns their count, or -1 for a format
// that is malformed or needs more than `capacity` pieces.
constexpr int split_line_format(const char* format, FormatPiece* pieces, int capacity)
{
    int count = 0;
    size_t run_start = 0;
    size_t i = 0;
    while (format[i]) {
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
        FormatConversion conversion = FormatConversion::none;
        switch (c) {
        case '%':
            if (longs) return -1;
            ++run_end;  // keeps the first '%'
            break;
        case 's':
        case 'c':
            if (longs) return -1;
            conversion = c == 's' ? FormatConversion::text : FormatConversion::character;
            break;
        case 'd':
        case 'i':
            conversion = longs ? FormatConversion::signed64 : FormatConversion::signed32;
            break;
        case 'u':
            conversion = longs ? FormatConversion::unsigned64 : FormatConversion::unsigned32;
            break;
        case 'x':
            conversion = longs ? FormatConversion::hex64 : FormatConversion::hex32;
            break;
        case 'X':
            conversion = longs ? FormatConversion::upper_hex64 : FormatConversion::upper_hex32;
            break;
        default:
            return -1;
        }
        if (count >= capacity) return -1;
        pieces[count++] = {uint16_t(run_start), uint16_t(run_end - run_start), conversion};
        run_start = ++i;
    }
    if (count >= capacity) return -1;
    pieces[count++] = {uint16_t(run_start), uint16_t(i - run_start), FormatConversion::none};
    return count;
}

// The packed form: for each conversion the run before it (8 bits), the
// length of its "%..." beyond two bytes (2 bits) and the conversion (4
// bits), then the closing run (8 bits) and all runs together (10 bits).
// The top bit marks a packed format; a word of 0 is a format to split.
constexpr int packed_conversions = 3;
constexpr int packed_run_bits = 8;
constexpr uint64_t packed_run_mask = (1u << packed_run_bits) - 1;
constexpr int packed_spec_shift = 8;
constexpr uint64_t packed_spec_mask = 3;
constexpr int packed_conversion_shift = 10;
constexpr uint64_t packed_conversion_mask = 15;
constexpr int packed_conversion_bits = 14;
constexpr int packed_closing_shift = packed_conversions * packed_conversion_bits;
constexpr int packed_total_shift = packed_closing_shift + packed_run_bits;
constexpr int packed_total_bits = 10;  // four runs of 255 bytes at most
constexpr uint64_t packed_total_mask = (1u << packed_total_bits) - 1;
constexpr uint64_t packed_format_flag = uint64_t(1) << 63;
// The shortest "%..." of a conversion ("%s").
constexpr size_t shortest_conversion_spec = 2;

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

// A format checked against its argument types. Two words, passed in
// registers.
template <typename... Args>
struct LineFormat {
    static constexpr int capacity = int(sizeof...(Args)) + 1 + line_format_extra_pieces;

    const char* text;
    uint64_t packed;  // the packed pieces, or 0

    template <size_t N>
    consteval LineFormat(const char (&format)[N]) : text(format), packed(0)
    {
        constexpr FormatArgumentKind kinds[sizeof...(Args) + 1] = {format_argument_kind<Args>()..., FormatArgumentKind::other};
        FormatPiece pieces[capacity] = {};
        int count = split_line_format(format, pieces, capacity);
        if (count < 0) fail();
        size_t argument = 0;
        bool has_percent = false;
        for (int i = 0; i + 1 < count; ++i) {
            FormatConversion conversion = pieces[i].conversion;
            if (conversion == FormatConversion::none) {
                has_percent = true;
                continue;
            }
            if (argument >= sizeof...(Args)) fail();
            FormatArgumentKind kind = kinds[argument++];
            bool small_number = kind == FormatArgumentKind::small_signed || kind == FormatArgumentKind::small_unsigned ||
                                kind == FormatArgumentKind::character;
            bool wide_number = kind == FormatArgumentKind::wide_signed || kind == FormatArgumentKind::wide_unsigned;
            switch (conversion) {
            case FormatConversion::text:
                if (kind != FormatArgumentKind::text) fail();
                break;
            case FormatConversion::character:
            case FormatConversion::signed32:
            case FormatConversion::unsigned32:
            case FormatConversion::hex32:
            case FormatConversion::upper_hex32:
                if (!small_number) fail();
                break;
            default:
                if (!wide_number) fail();
                break;
            }
        }
        if (argument != sizeof...(Args)) fail();
        if (has_percent || sizeof...(Args) > packed_conversions) return;
        uint64_t word = packed_format_flag;
        size_t total = 0;
        for (int i = 0; i < count; ++i) {
            size_t run = pieces[i].length;
            if (run > packed_run_mask) return;
            total += run;
            if (i + 1 == count) {
                word |= uint64_t(run) << packed_closing_shift;
                break;
            }
            size_t spec = pieces[i + 1].offset - pieces[i].offset - run - shortest_conversion_spec;
            int shift = i * packed_conversion_bits;
            word |= (uint64_t(run) | uint64_t(spec) << packed_spec_shift |
                     uint64_t(pieces[i].conversion) << packed_conversion_shift)
                    << shift;
        }
        packed = word | uint64_t(total) << packed_total_shift;
    }

private:
    static consteval void fail() { line_format_is_malformed_or_does_not_match_its_arguments(); }
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

// ---------------------------------------------------------------------------
// The writer of a packed format, for argument types known where it is
// called: the texts are measured once, and a line that fits its room is
// written with no cut checks and no argument records.

// What write_packed_line returns for a line that may not fit its room.
constexpr size_t line_does_not_fit = ~size_t(0);
// The most bytes a number conversion writes ("-9223372036854775808").
constexpr size_t longest_number_text = 20;

// Copies n bytes without reading or writing past either end. The pieces of
// a line are a few bytes long: two overlapping moves copy them, where a call
// of memcpy would cost more than the copy.
// The first and the last sizeof(Word) bytes of `n` (sizeof(Word) to twice
// that), both read before either is written.
template <typename Word>
inline void copy_head_and_tail(char* out, const char* from, size_t n)
{
    Word head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
    std::memcpy(out, &head, sizeof head);
    std::memcpy(out + n - sizeof tail, &tail, sizeof tail);
}

inline void copy_line_bytes(char* out, const char* from, size_t n)
{
    if (n > 16) std::memcpy(out, from, n);
    else if (n >= 8) copy_head_and_tail<uint64_t>(out, from, n);
    else if (n >= 4) copy_head_and_tail<uint32_t>(out, from, n);
    else if (n >= 2) copy_head_and_tail<uint16_t>(out, from, n);
    else if (n) *out = *from;
}
// Writes a number as `conversion` does; returns the end.
char* put_number_conversion(char* out, FormatConversion conversion, uint64_t number);

inline const char* format_text_or_null(const char* text) { return text ? text : "(null)"; }

template <typename T>
inline size_t measure_format_argument(T value, size_t& text_length)
{
    if constexpr (format_argument_kind<T>() == FormatArgumentKind::text) {
        text_length = std::strlen(format_text_or_null(value));
        return text_length;
    } else if constexpr (format_argument_kind<T>() == FormatArgumentKind::character) {
        return 1;
    } else {
        return longest_number_text;
    }
}

// The run before conversion I, then the argument; `text` moves past both.
template <int I, typename T>
[[gnu::always_inline]] inline char* put_packed_argument(char* out, const char*& text, uint64_t packed, T value,
                                                        size_t text_length)
{
    constexpr int shift = I * packed_conversion_bits;
    size_t run = (packed >> shift) & packed_run_mask;
    copy_line_bytes(out, text, run);
    out += run;
    text += run + shortest_conversion_spec + ((packed >> (shift + packed_spec_shift)) & packed_spec_mask);
    if constexpr (format_argument_kind<T>() == FormatArgumentKind::text) {
        copy_line_bytes(out, format_text_or_null(value), text_length);
        return out + text_length;
    } else {
        auto conversion = FormatConversion((packed >> (shift + packed_conversion_shift)) & packed_conversion_mask);
        if (conversion == FormatConversion::character) {
            *out = char(value);
            return out + 1;
        }
        return put_number_conversion(out, conversion, to_format_argument(value).number);
    }
}

template <typename... Args, int... I>
[[gnu::always_inline]] inline size_t write_packed_line_of(char* out, size_t room, const char* text, uint64_t packed,
                                                          std::integer_sequence<int, I...>, Args... args)
{
    [[maybe_unused]] size_t text_lengths[sizeof...(Args) + 1] = {};
    size_t bound = (packed >> packed_total_shift) & packed_total_mask;
    ((bound += measure_format_argument(args, text_lengths[I])), ...);
    if (bound > room) return line_does_not_fit;
    char* at = out;
    ((at = put_packed_argument<I>(at, text, packed, args, text_lengths[I])), ...);
    size_t closing = (packed >> packed_closing_shift) & packed_run_mask;
    copy_line_bytes(at, text, closing);
    return size_t(at + closing - out);
}

// Writes the line of a packed format at `out` and returns its length, or
// line_does_not_fit (having written nothing) when it might be longer than
// `room`.
template <typename... Args>
[[gnu::always_inline]] inline size_t write_packed_line(char* out, size_t room, const char* text, uint64_t packed,
                                                       Args... args)
{
    return write_packed_line_of(out, room, text, packed, std::make_integer_sequence<int, sizeof...(Args)>(), args...);
}
