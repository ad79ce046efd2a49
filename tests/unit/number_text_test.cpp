// Numbers as text for Str, StrF and StrD: the chosen forms, and for random
// bit patterns that the text reads back as the same value with no shorter
// text doing so.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "toolchain/runtime/number_text.h"

namespace {

std::string narrow(const unsigned short* text)
{
    std::string out;
    for (; *text; text++) out += static_cast<char>(*text);
    return out;
}

std::string double_text(double value)
{
    unsigned short text[NUMBER_TEXT_SIZE];
    int length = zd_double_text(value, text);
    EXPECT_EQ(static_cast<size_t>(length), narrow(text).size());
    return narrow(text);
}

std::string float_text(float value)
{
    unsigned short text[NUMBER_TEXT_SIZE];
    zd_float_text(value, text);
    return narrow(text);
}

std::string integer_text(long long value)
{
    unsigned short text[NUMBER_TEXT_SIZE];
    zd_integer_text(value, text);
    return narrow(text);
}

// Significant digits of a text, without leading and trailing zeros.
int significant_digits(const std::string& text)
{
    std::string digits;
    for (char c : text) {
        if (c == 'e') break;
        if (c >= '0' && c <= '9') digits += c;
    }
    size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    size_t last = digits.find_last_not_of('0');
    return static_cast<int>(last - first + 1);
}

TEST(NumberText, Integers)
{
    EXPECT_EQ("0", integer_text(0));
    EXPECT_EQ("-5", integer_text(-5));
    EXPECT_EQ("9223372036854775807", integer_text(9223372036854775807LL));
    EXPECT_EQ("-9223372036854775808", integer_text(-9223372036854775807LL - 1));
}

TEST(NumberText, PlainNotationForOrdinaryMagnitudes)
{
    EXPECT_EQ("3", double_text(3));
    EXPECT_EQ("-2.5", double_text(-2.5));
    EXPECT_EQ("0.1", double_text(0.1));
    EXPECT_EQ("0.30000000000000004", double_text(0.1 + 0.2));
    EXPECT_EQ("0.3333333333333333", double_text(1.0 / 3.0));
    EXPECT_EQ("0.00001", double_text(1e-5));
    EXPECT_EQ("0.00012", double_text(0.00012));
    EXPECT_EQ("1000000000000000", double_text(1e15));
    EXPECT_EQ("9007199254740992", double_text(9007199254740992.0));
    EXPECT_EQ("0.1", float_text(0.1f));
    EXPECT_EQ("1.21", float_text(1.1f * 1.1f));
    EXPECT_EQ("16777216", float_text(16777216.0f));
    EXPECT_EQ("10000000000", float_text(1e10f));
}

TEST(NumberText, ExponentOutsideThem)
{
    EXPECT_EQ("1e+16", double_text(1e16));
    EXPECT_EQ("9e-06", double_text(9e-6));
    EXPECT_EQ("-2.5e-07", double_text(-2.5e-7));
    EXPECT_EQ("1.2345678901234568e+17", double_text(123456789012345678.0));
    EXPECT_EQ("1.7976931348623157e+308", double_text(1.7976931348623157e308));
    EXPECT_EQ("5e-324", double_text(5e-324));
    EXPECT_EQ("2.2250738585072014e-308", double_text(2.2250738585072014e-308));
    EXPECT_EQ("3.4028235e+38", float_text(3.4028235e38f));
    EXPECT_EQ("1e-45", float_text(1e-45f));
}

TEST(NumberText, SpecialValues)
{
    EXPECT_EQ("0", double_text(0.0));
    EXPECT_EQ("0", double_text(-0.0));
    EXPECT_EQ("0", float_text(-0.0f));
    EXPECT_EQ("Infinity", double_text(HUGE_VAL));
    EXPECT_EQ("-Infinity", float_text(-HUGE_VALF));
    EXPECT_EQ("NaN", double_text(std::nan("")));
    EXPECT_EQ("NaN", float_text(std::nanf("")));
}

TEST(NumberText, RandomValuesReadBackWithTheFewestDigits)
{
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 100000; i++) {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) {
            std::string text = double_text(value);
            ASSERT_EQ(value, std::strtod(text.c_str(), nullptr)) << text;
            int digits = significant_digits(text);
            if (digits > 1) {
                char shorter[64];
                std::snprintf(shorter, sizeof shorter, "%.*e", digits - 2, value);
                ASSERT_NE(value, std::strtod(shorter, nullptr)) << text << " " << shorter;
            }
        }
        uint32_t float_bits = static_cast<uint32_t>(bits >> 17);
        float single;
        std::memcpy(&single, &float_bits, sizeof single);
        if (std::isfinite(single)) {
            std::string text = float_text(single);
            ASSERT_EQ(single, std::strtof(text.c_str(), nullptr)) << text;
            int digits = significant_digits(text);
            if (digits > 1) {
                char shorter[64];
                std::snprintf(shorter, sizeof shorter, "%.*e", digits - 2, static_cast<double>(single));
                ASSERT_NE(single, std::strtof(shorter, nullptr)) << text << " " << shorter;
            }
        }
    }
}

}  // namespace
