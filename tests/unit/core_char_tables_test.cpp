// Character tables, precedences, decimal texts and UTF conversions.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/core_globals.h"
#include "core_test_support.h"

namespace {

// A table's entry for a character, read as the byte it is.
template <typename T>
T at(const T* table, char c)
{
    return table[static_cast<unsigned char>(c)];
}

TEST(CharTables, ClassesAndFolding) {
    ensure_core_state();
    EXPECT_TRUE(at(identifier_start_chars, '_'));
    EXPECT_FALSE(at(identifier_start_chars, '1'));
    EXPECT_TRUE(at(identifier_chars, '1'));
    EXPECT_FALSE(at(identifier_chars, '$'));
    EXPECT_EQ(at(uppercase_table, 'q'), 'Q');
    EXPECT_EQ(at(lowercase_table, 'Q'), 'q');
    EXPECT_EQ(lowercase_table[0xC9], 0xC9);
    EXPECT_EQ(at(escape_chars, 'n'), 10);
    EXPECT_EQ(at(escape_chars, '\\'), 92);
    EXPECT_EQ(at(escape_chars, 'x'), 0);
    EXPECT_STREQ(operator_word_text[22], "XOr");
    EXPECT_EQ(operator_word_text[7], nullptr);
    EXPECT_EQ(token_length[20], 7);
    EXPECT_EQ(at(token_length, '+'), 1);
    EXPECT_STREQ(lowercase_copy("MixEd_9"), "mixed_9");
}

TEST(CharTables, PrecedenceOrder) {
    ensure_core_state();
    EXPECT_GT(at(operator_precedence, '*'), at(operator_precedence, '+'));
    EXPECT_GT(at(operator_precedence, '+'), at(operator_precedence, '='));
    EXPECT_GT(at(operator_precedence, '='), operator_precedence[24]);
    EXPECT_EQ(operator_precedence[10], 7);
    EXPECT_EQ(operator_precedence[13], 7);
    EXPECT_EQ(at(operator_precedence, '~'), 9);
    EXPECT_EQ(at(operator_precedence, '('), 0);
}

TEST(CharTables, StatementAndContinuationSets) {
    ensure_core_state();
    compile_state_first_init();
    for (int c : {0, 1, int('!'), int('#'), int('*'), int(':'), int(';'), int('A'), int('z'), int('_')}) EXPECT_TRUE(statement_start_chars[c]) << c;
    for (int c : {'1', '(', ' ', '$'}) EXPECT_FALSE(statement_start_chars[c]) << c;
    for (int c : {'+', ',', '|', 'R', 'r', 'D', 'd'}) EXPECT_TRUE(continuation_candidate_chars[c]) << c;
    EXPECT_FALSE(at(continuation_candidate_chars, '-'));
}

TEST(IntToText, DecimalInThreeBuffers) {
    EXPECT_STREQ(int_to_text(0), "0");
    EXPECT_STREQ(int_to_text(-5), "-5");
    EXPECT_STREQ(int_to_text(INT64_MIN), "-9223372036854775808");
    EXPECT_STREQ(int_to_text(INT64_MAX), "9223372036854775807");
    const char* a = int_to_text_a(1);
    const char* b = int_to_text(2);
    const char* c = int_to_text_c(3);
    EXPECT_STREQ(a, "1");
    EXPECT_STREQ(b, "2");
    EXPECT_STREQ(c, "3");
}

struct Converted {
    int result;
    std::u16string units;
    int64_t read;
};

Converted convert(const std::string& bytes, int64_t room_units = 64) {
    std::u16string out(size_t(room_units), u'\0');
    int64_t out_bytes = room_units * 2;
    int64_t in_bytes = int64_t(bytes.size());
    int result = utf8_to_utf16(out.data(), &out_bytes, bytes.data(), &in_bytes);
    out.resize(size_t(out_bytes / 2));
    return {result, out, in_bytes};
}

TEST(Utf8ToUtf16, Characters) {
    Converted c = convert("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.units, (std::u16string{u'A', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    EXPECT_EQ(c.read, 10);
}

TEST(Utf8ToUtf16, CutCharacterAtTheEndIsLeft) {
    Converted c = convert("ab\xC3");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.units, u"ab");
    EXPECT_EQ(c.read, 2);
}

TEST(Utf8ToUtf16, StrayContinuationByteIsAnError) {
    Converted c = convert("ab\x80z");
    EXPECT_EQ(c.result, -2);
    EXPECT_EQ(c.units, u"ab");
    EXPECT_EQ(c.read, 2);
    EXPECT_EQ(convert("\xF8").result, -2);
}

TEST(Utf8ToUtf16, BrokenSequenceKeepsTheFollowingCharacter) {
    Converted c = convert("\xC3" "A");
    EXPECT_EQ(c.result, 0);
    ASSERT_EQ(c.units.size(), 2u);
    EXPECT_EQ(c.units[1], u'A');
    EXPECT_EQ(c.read, 2);
}

TEST(Utf8ToUtf16, StopsWhenTheOutputIsFull) {
    Converted c = convert("ab\xF0\x9F\x98\x80", 3);
    EXPECT_EQ(c.units, u"ab");
    EXPECT_EQ(c.read, 2);
    int64_t out_bytes = 10, in_bytes = 10;
    EXPECT_EQ(utf8_to_utf16(nullptr, &out_bytes, nullptr, &in_bytes), 0);
    EXPECT_EQ(out_bytes, 0);
    EXPECT_EQ(in_bytes, 0);
}

TEST(Utf16ToUtf8, EachUnitOnItsOwn) {
    char out[32];
    const char16_t euro[] = {0x20AC, 'x', 0xE9, 0};
    utf16_to_utf8(euro, out);
    EXPECT_EQ(std::string(out), "\xE2\x82\xAC" "x\xC3\xA9");
    const char16_t half[] = {0xD83D, 0};
    utf16_to_utf8(half, out);
    EXPECT_EQ(std::string(out), "\xED\xA0\xBD");
}

TEST(UtfAlloc, RoundTripAndFailures) {
    EXPECT_EQ(utf8_to_utf16_alloc(nullptr), nullptr);
    EXPECT_EQ(utf16_to_utf8_alloc(nullptr), nullptr);
    EXPECT_EQ(utf8_to_utf16_alloc("bad\x80"), nullptr);
    char16_t* units = utf8_to_utf16_alloc("h\xC3\xA9");
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(std::u16string(units), (std::u16string{u'h', 0xE9}));
    char* text = utf16_to_utf8_alloc(units);
    EXPECT_STREQ(text, "h\xC3\xA9");
    std::free(units);
    std::free(text);
}

}  // namespace
