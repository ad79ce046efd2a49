// Numeric literals of the source and the float and double constant pools.
#pragma once

#include <cstdint>

struct NumberValue {
    int64_t integer;
    double real;
    bool has_fraction;     // a fraction or an exponent was written
};

// Parses a complete literal text (digits, and in radix 10 an optional
// fraction and exponent with its sign) in the given radix (2, 10 or 16).
// Returns 0 or the error number (56, 57, 58, 87, 306).
int parse_number_text(const char* text, int radix, NumberValue* out);

// Parses the current word (and the fraction and exponent tokens that follow
// it) into the current operand. Returns 0 when the word is not a number.
int parse_number_literal();

// Rounds a double to the nearest int64 as the x87 store does; NaN and values
// outside the int64 range give the lowest int64 value (the "integer
// indefinite" that the store writes).
int64_t round_double_to_int64(double value);
