/* The Debug printers of Debugger.lib: each value is one line on standard
   output. Strings arrive as UTF-16 and are written as UTF-8; integers in
   decimal; floats with 7 and doubles with 15 significant digits, in the
   shortest of the fixed and the exponent forms ("%.7g" and "%.15g"). The
   digits are worked out exactly from the binary value, so no rounding of
   the conversion shows. */
#include "runtime.h"
#include "debugger.h"

void* _AddressOfReturnAddress(void);

#define CHECK_ALIGNMENT(name) debugger_check_alignment(_AddressOfReturnAddress(), name)

/* ---------------------------------------------------------------------- */
/* Strings */

static unsigned long utf16_length(const unsigned short* text)
{
    unsigned long n = 0;
    while (text[n]) n++;
    return n;
}

/* rcx: the text, or 0 for the empty string. */
void ZD_DEBUGGER_PrintString(const unsigned short* text)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_PrintString");
    if (!text) {
        debugger_write_line("", 0);
        return;
    }
    unsigned long units = utf16_length(text);
    char small[256];
    char* bytes = small;
    if (3 * units > sizeof small) {
        bytes = (char*)HeapAlloc(GetProcessHeap(), 0, 3 * (unsigned long long)units);
        if (!bytes) return;
    }
    unsigned long n = 0;
    for (unsigned long i = 0; i < units; i++) {
        unsigned long c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            i++;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD; /* an unpaired surrogate */
        }
        if (c < 0x80) {
            bytes[n++] = (char)c;
        } else if (c < 0x800) {
            bytes[n++] = (char)(0xC0 | (c >> 6));
            bytes[n++] = (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[n++] = (char)(0xE0 | (c >> 12));
            bytes[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = (char)(0x80 | (c & 0x3F));
        } else {
            bytes[n++] = (char)(0xF0 | (c >> 18));
            bytes[n++] = (char)(0x80 | ((c >> 12) & 0x3F));
            bytes[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = (char)(0x80 | (c & 0x3F));
        }
    }
    debugger_write_line(bytes, n);
    if (bytes != small) HeapFree(GetProcessHeap(), 0, bytes);
}

/* ---------------------------------------------------------------------- */
/* Integers */

static void print_integer(long long value)
{
    char digits[24];
    int n = 24;
    unsigned long long magnitude = value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[--n] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) digits[--n] = '-';
    debugger_write_line(digits + n, (unsigned long)(24 - n));
}

void ZD_DEBUGGER_PrintQuad(long long value)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_PrintQuad");
    print_integer(value);
}

void ZD_DEBUGGER_PrintLong(int value)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_PrintLong");
    print_integer(value);
}

/* ---------------------------------------------------------------------- */
/* Floating-point values. A finite double is m * 2^e with an integer m
   below 2^53. Its decimal digits are those of the integer m * 2^e (e >= 0)
   or m * 5^-e with the decimal point moved -e places left (e < 0); both are
   computed in a big integer of 32-bit words (at most 2^1077 or 5^1074 * 2^53,
   that is 80 words). */

#define BIG_WORDS 120

typedef struct BigInteger {
    unsigned int words[BIG_WORDS]; /* least significant first */
    int used;
} BigInteger;

static void big_set(BigInteger* big, unsigned long long value)
{
    big->used = 0;
    while (value) {
        big->words[big->used++] = (unsigned int)value;
        value >>= 32;
    }
}

static void big_multiply(BigInteger* big, unsigned int factor)
{
    unsigned long long carry = 0;
    for (int i = 0; i < big->used; i++) {
        unsigned long long product = (unsigned long long)big->words[i] * factor + carry;
        big->words[i] = (unsigned int)product;
        carry = product >> 32;
    }
    if (carry && big->used < BIG_WORDS) big->words[big->used++] = (unsigned int)carry;
}

/* Divides by 10^9 and returns the remainder. */
static unsigned int big_divide_billion(BigInteger* big)
{
    unsigned long long remainder = 0;
    for (int i = big->used - 1; i >= 0; i--) {
        unsigned long long current = (remainder << 32) | big->words[i];
        big->words[i] = (unsigned int)(current / 1000000000u);
        remainder = current % 1000000000u;
    }
    while (big->used && !big->words[big->used - 1]) big->used--;
    return (unsigned int)remainder;
}

/* The decimal digits of the value into `digits` (most significant first,
   no leading zeros, at least "0"); returns their count. */
static int big_digits(BigInteger* big, char* digits, int room)
{
    char reversed[1200];
    int n = 0;
    while (big->used && n + 9 <= (int)sizeof reversed) {
        unsigned int part = big_divide_billion(big);
        for (int i = 0; i < 9; i++) {
            reversed[n++] = (char)('0' + part % 10);
            part /= 10;
        }
    }
    while (n > 1 && reversed[n - 1] == '0') n--;
    if (n == 0) reversed[n++] = '0';
    if (n > room) n = room;
    for (int i = 0; i < n; i++) digits[i] = reversed[n - 1 - i];
    return n;
}

typedef struct LineText {
    char bytes[64];
    int length;
} LineText;

static void add_char(LineText* line, char c)
{
    if (line->length < (int)sizeof line->bytes) line->bytes[line->length++] = c;
}

static void add_text(LineText* line, const char* text)
{
    while (*text) add_char(line, *text++);
}

/* The value with `precision` significant digits, as printf's "%.<p>g". */
static void print_double_digits(double value, int precision)
{
    unsigned long long bits;
    __builtin_memcpy(&bits, &value, sizeof bits);
    LineText line;
    line.length = 0;
    int negative = (int)(bits >> 63);
    int biased = (int)((bits >> 52) & 0x7FF);
    unsigned long long fraction = bits & 0xFFFFFFFFFFFFFull;
    if (biased == 0x7FF) {
        if (fraction) add_text(&line, negative ? "-nan" : "nan");
        else add_text(&line, negative ? "-inf" : "inf");
        debugger_write_line(line.bytes, (unsigned long)line.length);
        return;
    }
    if (negative) add_char(&line, '-');
    if (biased == 0 && fraction == 0) {
        add_char(&line, '0');
        debugger_write_line(line.bytes, (unsigned long)line.length);
        return;
    }
    unsigned long long mantissa = biased ? fraction | (1ull << 52) : fraction;
    int exponent = biased ? biased - 1075 : -1074;

    BigInteger big;
    big_set(&big, mantissa);
    int point_shift = 0; /* the value is digits * 10^-point_shift */
    if (exponent >= 0) {
        for (int i = 0; i < exponent; i++) big_multiply(&big, 2);
    } else {
        for (int i = 0; i < -exponent; i++) big_multiply(&big, 5);
        point_shift = -exponent;
    }
    char digits[1200];
    int count = big_digits(&big, digits, (int)sizeof digits);
    /* The decimal exponent of the first digit. */
    int decimal_exponent = count - 1 - point_shift;

    /* Round to `precision` digits, halves to even (the exact value is known,
       so a half is a true half). */
    if (count > precision) {
        int round_up = 0;
        char next = digits[precision];
        if (next > '5') {
            round_up = 1;
        } else if (next == '5') {
            int more = 0;
            for (int i = precision + 1; i < count; i++)
                if (digits[i] != '0') more = 1;
            round_up = more || ((digits[precision - 1] - '0') & 1);
        }
        count = precision;
        if (round_up) {
            int i = count - 1;
            while (i >= 0 && digits[i] == '9') digits[i--] = '0';
            if (i >= 0) {
                digits[i]++;
            } else {
                digits[0] = '1'; /* 99.9 became 100 */
                decimal_exponent++;
            }
        }
    }
    while (count > 1 && digits[count - 1] == '0') count--;

    if (decimal_exponent < -4 || decimal_exponent >= precision) {
        add_char(&line, digits[0]);
        if (count > 1) {
            add_char(&line, '.');
            for (int i = 1; i < count; i++) add_char(&line, digits[i]);
        }
        add_char(&line, 'e');
        add_char(&line, decimal_exponent < 0 ? '-' : '+');
        int magnitude = decimal_exponent < 0 ? -decimal_exponent : decimal_exponent;
        char exponent_digits[4];
        int n = 0;
        do {
            exponent_digits[n++] = (char)('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (n < 2) exponent_digits[n++] = '0';
        while (n) add_char(&line, exponent_digits[--n]);
    } else if (decimal_exponent < 0) {
        add_text(&line, "0.");
        for (int i = -1; i > decimal_exponent; i--) add_char(&line, '0');
        for (int i = 0; i < count; i++) add_char(&line, digits[i]);
    } else {
        for (int i = 0; i <= decimal_exponent; i++) add_char(&line, i < count ? digits[i] : '0');
        if (count > decimal_exponent + 1) {
            add_char(&line, '.');
            for (int i = decimal_exponent + 1; i < count; i++) add_char(&line, digits[i]);
        }
    }
    debugger_write_line(line.bytes, (unsigned long)line.length);
}

/* xmm0: the value. */
void ZD_DEBUGGER_PrintFloat(float value)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_PrintFloat");
    print_double_digits((double)value, 7);
}

void ZD_DEBUGGER_PrintDouble(double value)
{
    CHECK_ALIGNMENT("ZD_DEBUGGER_PrintDouble");
    print_double_digits(value, 15);
}
