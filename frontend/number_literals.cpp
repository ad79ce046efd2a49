#include "frontend/number_literals.h"
#include "core/error_numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>


int64_t round_double_to_int64(double value) {
    if (std::isnan(value)) return INT64_MIN;
    double r = std::nearbyint(value);
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) return INT64_MIN;
    return (int64_t)r;
}

static int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static int parse_radix_digits(const char* text, int radix, NumberValue* out) {
    int error_bad = radix == 2 ? ERROR_INVALID_BINARY_NUMBER : ERROR_INVALID_HEXADECIMAL_NUMBER;
    uint64_t value = 0;
    int count = 0;
    for (const char* p = text; *p; p++) {
        int d = digit_value(*p);
        if (d < 0 || d >= radix) return error_bad;
        value = value * (uint64_t)radix + (uint64_t)d;
        count++;
    }
    if ((radix == 16 && count > 16) || (radix == 2 && count > 64)) return ERROR_TOO_MANY_DIGITS;
    out->integer = (int64_t)value;
    out->real = (double)out->integer;
    return 0;
}

int parse_number_text(const char* text, int radix, NumberValue* out) {
    out->integer = 0;
    out->real = 0.0;
    out->has_fraction = false;
    if (radix != 10) return parse_radix_digits(text, radix, out);

    const uint64_t limit = 9223372036854775808ull;  // 2^63, still accepted
    uint64_t magnitude = 0;
    bool overflow = false;
    bool seen_point = false, seen_exponent = false;
    bool exponent_negative = false;
    int exponent_digits = 0;
    long exponent = 0;
    size_t length = strlen(text);

    for (const char* p = text; *p; p++) {
        char c = *p;
        if (seen_exponent) {
            if ((c == '-' || c == '+') && exponent_digits == 0 && p[-1] != '-' && p[-1] != '+') {
                exponent_negative = c == '-';
                length--;  // the sign is a token of its own, not a character of the word
                continue;
            }
            if (c < '0' || c > '9') return ERROR_INVALID_DECIMAL_NUMBER;
            if (exponent < 100000) exponent = exponent * 10 + (c - '0');
            exponent_digits++;
            continue;
        }
        if (c == '.') {
            if (seen_point) return ERROR_INVALID_FLOAT_NUMBER;
            seen_point = true;
            continue;
        }
        if (c == 'e' || c == 'E') {
            seen_exponent = true;
            continue;
        }
        if (c < '0' || c > '9') return ERROR_INVALID_DECIMAL_NUMBER;
        if (!seen_point && !overflow) {
            uint64_t d = (uint64_t)(c - '0');
            if (magnitude > (limit - d) / 10) overflow = true;
            else magnitude = magnitude * 10 + d;
        }
    }
    if (seen_exponent && exponent_digits == 0) return ERROR_INVALID_DECIMAL_NUMBER;
    if (overflow || length > 21) return ERROR_TOO_MANY_DIGITS;

    out->integer = (int64_t)magnitude;  // exactly 2^63 wraps to the lowest value
    out->has_fraction = seen_point || seen_exponent;
    if (!out->has_fraction) {
        out->real = (double)out->integer;
        return 0;
    }
    // The decimal text is read back as a whole so that the value is the
    // double nearest to what was written (summing digit by digit is not).
    char buffer[80];
    snprintf(buffer, sizeof buffer, "%.*s", (int)strcspn(text, "eE"), text);
    if (seen_exponent) {
        size_t used = strlen(buffer);
        snprintf(buffer + used, sizeof buffer - used, "e%s%ld", exponent_negative ? "-" : "", exponent);
    }
    double mantissa = strtod(buffer, nullptr);
    out->real = mantissa;
    out->integer = round_double_to_int64(mantissa);
    return 0;
}
