// Number literals and the folding of constant operators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "frontend/expressions.h"
#include "frontend/number_literals.h"

namespace {

NumberValue parse(const char* text, int radix, int expected_error = 0) {
    NumberValue value{};
    EXPECT_EQ(expected_error, parse_number_text(text, radix, &value)) << text;
    return value;
}

TEST(NumberLiteralTest, DecimalIntegers) {
    EXPECT_EQ(2147483647, parse("2147483647", 10).integer);
    EXPECT_EQ(INT64_C(9223372036854775807), parse("9223372036854775807", 10).integer);
    // Exactly 2^63 is the lowest value (written after a unary minus).
    EXPECT_EQ(INT64_MIN, parse("9223372036854775808", 10).integer);
    EXPECT_EQ(5.0, parse("5", 10).real);
    EXPECT_FALSE(parse("5", 10).has_fraction);
}

TEST(NumberLiteralTest, DecimalOverflowIsCaughtExactly) {
    // Wraps that land above the previous value are overflows too.
    parse("9223372036854775809", 10, 306);
    parse("25000000000000000000", 10, 306);
    parse("92233720368547758080", 10, 306);
    parse("1234567890123456789012", 10, 306);  // 22 characters
}

TEST(NumberLiteralTest, DecimalFractionsAndExponents) {
    NumberValue v = parse("1.5", 10);
    EXPECT_TRUE(v.has_fraction);
    EXPECT_EQ(1.5, v.real);
    EXPECT_EQ(2, v.integer);  // nearest, ties to even
    EXPECT_EQ(0.3, parse("0.3", 10).real);
    EXPECT_EQ(0.1, parse("0.1", 10).real);
    EXPECT_EQ(1500.0, parse("1.5e3", 10).real);
    EXPECT_EQ(0.0015, parse("1.5e-3", 10).real);
    EXPECT_EQ(100.0, parse("1E+2", 10).real);
    // A huge exponent gives infinity at once, never a long loop.
    EXPECT_TRUE(std::isinf(parse("1e999999999999999", 10).real));
    parse("1.2.3", 10, 87);
    parse("12x", 10, 56);
    parse("1e", 10, 56);
}

TEST(NumberLiteralTest, HexadecimalAndBinary) {
    EXPECT_EQ(255, parse("FF", 16).integer);
    EXPECT_EQ(255, parse("ff", 16).integer);
    EXPECT_EQ(-1, parse("FFFFFFFFFFFFFFFF", 16).integer);
    parse("1FFFFFFFFFFFFFFFF", 16, 306);
    parse("FG", 16, 57);
    EXPECT_EQ(5, parse("101", 2).integer);
    parse("102", 2, 58);
    std::string bits(64, '1');
    EXPECT_EQ(-1, parse(bits.c_str(), 2).integer);
    parse((bits + "1").c_str(), 2, 306);
}

TEST(NumberLiteralTest, RoundingLikeTheX87Store) {
    EXPECT_EQ(2, round_double_to_int64(2.5));
    EXPECT_EQ(-4, round_double_to_int64(-3.5));
    EXPECT_EQ(INT64_MIN, round_double_to_int64(NAN));
    EXPECT_EQ(INT64_MIN, round_double_to_int64(1e300));
    EXPECT_EQ(INT64_MIN, round_double_to_int64(-INFINITY));
    EXPECT_EQ(INT64_MIN, round_double_to_int64(9223372036854775808.0));
}

FoldedValue fold(int token, int64_t a, int64_t b, int expected_error = 0) {
    FoldedValue out{};
    EXPECT_EQ(expected_error, fold_constant_operation(token, a, (double)a, b, (double)b, false, &out));
    return out;
}

FoldedValue fold_float(int token, double a, double b, int expected_error = 0) {
    FoldedValue out{};
    EXPECT_EQ(expected_error,
              fold_constant_operation(token, round_double_to_int64(a), a, round_double_to_int64(b), b, true, &out));
    return out;
}

TEST(ConstantFoldingTest, IntegerOperators) {
    EXPECT_EQ(7, fold('+', 3, 4).integer);
    EXPECT_EQ(-1, fold('-', 3, 4).integer);
    EXPECT_EQ(12, fold('*', 3, 4).integer);
    EXPECT_EQ(-2, fold('/', -7, 3).integer);  // toward zero
    EXPECT_EQ(-1, fold('%', -7, 3).integer);
    EXPECT_EQ(40, fold(10, 5, 3).integer);
    EXPECT_EQ(-2, fold(13, -8, 2).integer);
    EXPECT_EQ(1, fold('&', 3, 5).integer);
    EXPECT_EQ(7, fold('|', 3, 5).integer);
    EXPECT_EQ(6, fold('!', 3, 5).integer);
}

TEST(ConstantFoldingTest, WrapAroundInsteadOfUndefinedBehaviour) {
    EXPECT_EQ(INT64_MIN, fold('+', INT64_MAX, 1).integer);
    EXPECT_EQ(INT64_MAX, fold('-', INT64_MIN, 1).integer);
    EXPECT_EQ(0, fold('*', INT64_MIN, 2).integer);
    EXPECT_EQ(INT64_MIN, fold('/', INT64_MIN, -1).integer);
    EXPECT_EQ(0, fold('%', INT64_MIN, -1).integer);
    EXPECT_EQ(-2, fold(10, -1, 1).integer);
    // Shift counts are taken modulo 64.
    EXPECT_EQ(1, fold(10, 1, 64).integer);
    EXPECT_EQ(-1, fold(13, -1, 64 + 63).integer);
}

TEST(ConstantFoldingTest, DivisionByZero) {
    fold('/', 5, 0, 106);
    fold('%', 5, 0, 106);
    fold_float('/', 1.0, 0.0, 106);
}

TEST(ConstantFoldingTest, FloatOperators) {
    FoldedValue v = fold_float('/', 1.0, 4.0);
    EXPECT_EQ(0.25, v.real);
    EXPECT_EQ(0, v.integer);
    EXPECT_EQ(3.75, fold_float('+', 1.5, 2.25).real);
    EXPECT_EQ(4, fold_float('+', 1.5, 2.25).integer);
    for (int token : {(int)'%', 10, 13, (int)'&', (int)'|', (int)'!'}) fold_float(token, 1.5, 2.0, 112);
    // A result out of the integer range stores the "integer indefinite".
    EXPECT_EQ(INT64_MIN, fold_float('*', 1e300, 1e10).integer);
}

TEST(ConstantFoldingTest, Comparisons) {
    EXPECT_EQ(1, fold(60, 1, 2).integer);
    EXPECT_EQ(0, fold(62, 1, 2).integer);
    EXPECT_EQ(1, fold(5, 2, 2).integer);
    EXPECT_EQ(1, fold(6, 2, 2).integer);
    EXPECT_EQ(1, fold(61, 2, 2).integer);
    EXPECT_EQ(0, fold(4, 2, 2).integer);
    // Unordered doubles compare unequal.
    EXPECT_EQ(1, fold_float(4, NAN, NAN).integer);
    EXPECT_EQ(0, fold_float(61, NAN, NAN).integer);
    EXPECT_EQ(0, fold_float(60, NAN, 1.0).integer);
}

}  // namespace
