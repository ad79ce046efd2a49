/* Numbers as text for the string commands (Str, StrF, StrD).

   Integers are written in decimal with a leading "-" for negative values.
   Floats and doubles are written with the fewest significant digits that
   read back as the same value (a float's digits as a float, a double's as a
   double), so "0.1" stays "0.1" and nothing is lost:
   - values from 1e-5 up to below 1e16 in plain notation, without exponent:
     "3", "-2.5", "0.00012", "1234567890123456";
   - others as digits with an exponent of at least two digits: "1e+16",
     "-2.5e-07", "3.4028235e+38";
   - zero (also negative zero) "0", "NaN", "Infinity" and "-Infinity".

   The shortest digits come from exact integer arithmetic (the free-format
   algorithm of Steele and White as refined by Burger and Dybvig), so no
   rounding of the host's floating point is involved. The file needs no
   headers: the runtime is freestanding, and the unit tests compile it on
   the build machine too. */

#include "number_text.h"

#define BIG_WORDS 40

typedef struct Big {
    unsigned int word[BIG_WORDS]; /* least significant first */
    int used;
} Big;

static void big_set(Big* big, unsigned long long value)
{
    big->used = 0;
    while (value) {
        big->word[big->used++] = (unsigned int)value;
        value >>= 32;
    }
}

static void big_multiply_small(Big* big, unsigned int factor)
{
    unsigned long long carry = 0;
    int i;
    for (i = 0; i < big->used; i++) {
        unsigned long long product = (unsigned long long)big->word[i] * factor + carry;
        big->word[i] = (unsigned int)product;
        carry = product >> 32;
    }
    if (carry && big->used < BIG_WORDS) big->word[big->used++] = (unsigned int)carry;
}

static void big_multiply_power10(Big* big, int exponent)
{
    for (; exponent >= 9; exponent -= 9) big_multiply_small(big, 1000000000u);
    for (; exponent > 0; exponent--) big_multiply_small(big, 10u);
}

static void big_shift_left(Big* big, int bits)
{
    int words = bits / 32;
    int shift = bits % 32;
    int i;
    if (!big->used) return;
    if (shift) {
        unsigned int carry = 0;
        for (i = 0; i < big->used; i++) {
            unsigned int word = big->word[i];
            big->word[i] = (word << shift) | carry;
            carry = word >> (32 - shift);
        }
        if (carry && big->used < BIG_WORDS) big->word[big->used++] = carry;
    }
    if (words) {
        if (big->used + words > BIG_WORDS) words = BIG_WORDS - big->used;
        for (i = big->used - 1; i >= 0; i--) big->word[i + words] = big->word[i];
        for (i = 0; i < words; i++) big->word[i] = 0;
        big->used += words;
    }
}

static int big_compare(const Big* a, const Big* b)
{
    int i;
    if (a->used != b->used) return a->used < b->used ? -1 : 1;
    for (i = a->used - 1; i >= 0; i--)
        if (a->word[i] != b->word[i]) return a->word[i] < b->word[i] ? -1 : 1;
    return 0;
}

static void big_add(Big* sum, const Big* a, const Big* b)
{
    unsigned long long carry = 0;
    int most = a->used > b->used ? a->used : b->used;
    int i;
    for (i = 0; i < most; i++) {
        unsigned long long total = carry;
        if (i < a->used) total += a->word[i];
        if (i < b->used) total += b->word[i];
        sum->word[i] = (unsigned int)total;
        carry = total >> 32;
    }
    sum->used = most;
    if (carry && sum->used < BIG_WORDS) sum->word[sum->used++] = (unsigned int)carry;
}

/* a -= b, with a >= b. */
static void big_subtract(Big* a, const Big* b)
{
    long long borrow = 0;
    int i;
    for (i = 0; i < a->used; i++) {
        long long difference = (long long)a->word[i] - borrow - (i < b->used ? (long long)b->word[i] : 0);
        borrow = difference < 0;
        a->word[i] = (unsigned int)(difference + (borrow ? 0x100000000LL : 0));
    }
    while (a->used && !a->word[a->used - 1]) a->used--;
}

/* r + m >= s (or > s when the boundary itself does not read back). */
static int reaches(const Big* r, const Big* m, const Big* s, int boundary_ok)
{
    Big sum;
    int order;
    big_add(&sum, r, m);
    order = big_compare(&sum, s);
    return boundary_ok ? order >= 0 : order > 0;
}

static int bit_length(unsigned long long value)
{
    int length = 0;
    while (value) {
        length++;
        value >>= 1;
    }
    return length;
}

/* The shortest digits of f * 2^e (f > 0) that read back as the same value
   in a format of `precision` significand bits whose smallest exponent is
   `min_exponent`. Returns the digit count; *point is k with
   value = 0.d1d2... * 10^k. */
static int shortest_digits(unsigned long long f, int e, int precision, int min_exponent, char* digits, int* point)
{
    Big r, s, m_plus, m_minus;
    int boundary_ok = (f & 1) == 0;
    unsigned long long hidden = 1ULL << (precision - 1);
    int k, count = 0;
    double estimate;

    if (e >= 0) {
        big_set(&r, f);
        big_shift_left(&r, e + (f == hidden ? 2 : 1));
        big_set(&s, f == hidden ? 4 : 2);
        big_set(&m_plus, 1);
        big_shift_left(&m_plus, e + (f == hidden ? 1 : 0));
        big_set(&m_minus, 1);
        big_shift_left(&m_minus, e);
    } else if (e == min_exponent || f != hidden) {
        big_set(&r, f);
        big_shift_left(&r, 1);
        big_set(&s, 1);
        big_shift_left(&s, 1 - e);
        big_set(&m_plus, 1);
        big_set(&m_minus, 1);
    } else {
        big_set(&r, f);
        big_shift_left(&r, 2);
        big_set(&s, 1);
        big_shift_left(&s, 2 - e);
        big_set(&m_plus, 2);
        big_set(&m_minus, 1);
    }

    /* k = ceil(log10 value), estimated from the binary exponent: right or
       one too small, which the test below mends. */
    estimate = (double)(e + bit_length(f) - 1) * 0.30102999566398119521 - 1e-10;
    k = (int)estimate;
    if (estimate > 0 && (double)k < estimate) k++;
    if (k >= 0) {
        big_multiply_power10(&s, k);
    } else {
        big_multiply_power10(&r, -k);
        big_multiply_power10(&m_plus, -k);
        big_multiply_power10(&m_minus, -k);
    }
    if (reaches(&r, &m_plus, &s, boundary_ok)) {
        k++;
    } else {
        big_multiply_small(&r, 10);
        big_multiply_small(&m_plus, 10);
        big_multiply_small(&m_minus, 10);
    }
    *point = k;

    for (;;) {
        int digit = 0, low, high, order;
        while (big_compare(&r, &s) >= 0) {
            big_subtract(&r, &s);
            digit++;
        }
        order = big_compare(&r, &m_minus);
        low = boundary_ok ? order <= 0 : order < 0;
        high = reaches(&r, &m_plus, &s, boundary_ok);
        if (!low && !high && count < NUMBER_TEXT_MAX_DIGITS - 1) {
            digits[count++] = (char)('0' + digit);
            big_multiply_small(&r, 10);
            big_multiply_small(&m_plus, 10);
            big_multiply_small(&m_minus, 10);
            continue;
        }
        if (low && high) {
            Big twice = r;
            big_shift_left(&twice, 1);
            if (big_compare(&twice, &s) >= 0) digit++;
        } else if (high) {
            digit++;
        }
        digits[count++] = (char)('0' + digit);
        return count;
    }
}

static int put_ascii(unsigned short* out, int at, const char* text)
{
    while (*text) out[at++] = (unsigned char)*text++;
    return at;
}

/* Lays out `count` digits with the point at k (0.digits * 10^k). */
static int layout_digits(unsigned short* out, int at, const char* digits, int count, int k)
{
    int i;
    if (k > -5 && k <= 16) {
        if (k <= 0) {
            at = put_ascii(out, at, "0.");
            for (i = 0; i < -k; i++) out[at++] = '0';
            for (i = 0; i < count; i++) out[at++] = (unsigned short)digits[i];
        } else {
            for (i = 0; i < count || i < k; i++) {
                if (i == k) out[at++] = '.';
                out[at++] = i < count ? (unsigned short)digits[i] : '0';
            }
        }
    } else {
        int exponent = k - 1;
        char reversed[8];
        int n = 0;
        out[at++] = (unsigned short)digits[0];
        if (count > 1) {
            out[at++] = '.';
            for (i = 1; i < count; i++) out[at++] = (unsigned short)digits[i];
        }
        out[at++] = 'e';
        out[at++] = exponent < 0 ? '-' : '+';
        if (exponent < 0) exponent = -exponent;
        do {
            reversed[n++] = (char)('0' + exponent % 10);
            exponent /= 10;
        } while (exponent);
        if (n < 2) reversed[n++] = '0';
        while (n) out[at++] = (unsigned short)reversed[--n];
    }
    return at;
}

/* A binary floating-point value given by its fields. */
static int real_text(int negative, unsigned long long mantissa, int exponent_field, int precision, int exponent_bits,
                     unsigned short* out)
{
    int bias = (1 << (exponent_bits - 1)) - 1;
    int min_exponent = 1 - bias - (precision - 1);
    int at = 0, count, point;
    char digits[NUMBER_TEXT_MAX_DIGITS];
    unsigned long long f;
    int e;

    if (exponent_field == (1 << exponent_bits) - 1) {
        if (mantissa) at = put_ascii(out, 0, "NaN");
        else at = put_ascii(out, 0, negative ? "-Infinity" : "Infinity");
        out[at] = 0;
        return at;
    }
    if (exponent_field == 0 && mantissa == 0) {
        out[0] = '0';
        out[1] = 0;
        return 1;
    }
    if (exponent_field == 0) {
        f = mantissa;
        e = min_exponent;
    } else {
        f = mantissa | (1ULL << (precision - 1));
        e = exponent_field - bias - (precision - 1);
    }
    count = shortest_digits(f, e, precision, min_exponent, digits, &point);
    if (negative) out[at++] = '-';
    at = layout_digits(out, at, digits, count, point);
    out[at] = 0;
    return at;
}

int zd_double_text(double value, unsigned short* out)
{
    union {
        double value;
        unsigned long long bits;
    } view;
    view.value = value;
    return real_text((int)(view.bits >> 63), view.bits & ((1ULL << 52) - 1), (int)((view.bits >> 52) & 0x7FF), 53,
                     11, out);
}

int zd_float_text(float value, unsigned short* out)
{
    union {
        float value;
        unsigned int bits;
    } view;
    view.value = value;
    return real_text((int)(view.bits >> 31), view.bits & ((1u << 23) - 1), (int)((view.bits >> 23) & 0xFF), 24, 8,
                     out);
}

int zd_integer_text(long long value, unsigned short* out)
{
    unsigned long long magnitude = value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
    char reversed[24];
    int n = 0, at = 0;
    do {
        reversed[n++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) out[at++] = '-';
    while (n) out[at++] = (unsigned short)reversed[--n];
    out[at] = 0;
    return at;
}
