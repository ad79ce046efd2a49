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

/* ---------------------------------------------------------------------- */
/* The bank dump: with ZANDREL_DEBUGGER_DUMP set, the end of the program
   walks the symbol banks the compiler wrote into it, as a debugger front
   end reads them, one line per item; a variable's line shows its value at
   the end. The tests compare it with the program's own declarations. */

extern unsigned char ZD_DEBUGGER_VariableBank[];
extern unsigned char ZD_DEBUGGER_ProcedureBank[];
extern unsigned char ZD_DEBUGGER_ArrayBank[];
extern unsigned char ZD_DEBUGGER_LinkedListBank[];
extern unsigned char ZD_DEBUGGER_MapBank[];
extern unsigned char ZD_DEBUGGER_LabelBank[];
extern unsigned char ZD_DEBUGGER_ModuleBank[];

typedef struct Reader {
    const unsigned char* at;
} Reader;

static unsigned int read_u8(Reader* r) { return *r->at++; }

static unsigned long long read_bytes(Reader* r, int count)
{
    unsigned long long value = 0;
    for (int i = 0; i < count; i++) value |= (unsigned long long)r->at[i] << (8 * i);
    r->at += count;
    return value;
}

static const char* read_name(Reader* r)
{
    const char* name = (const char*)r->at;
    while (*r->at) r->at++;
    r->at++;
    return name;
}

typedef struct DumpLine {
    char bytes[400];
    int length;
} DumpLine;

static void dump_text(DumpLine* line, const char* text)
{
    while (*text && line->length < (int)sizeof line->bytes) line->bytes[line->length++] = *text++;
}

static void dump_number(DumpLine* line, long long value)
{
    char digits[24];
    int n = 24;
    unsigned long long magnitude = value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
    do {
        digits[--n] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) digits[--n] = '-';
    char text[25];
    int i = 0;
    while (n < 24) text[i++] = digits[n++];
    text[i] = 0;
    dump_text(line, text);
}

static void dump_end(DumpLine* line)
{
    debugger_write_line(line->bytes, (unsigned long)line->length);
    line->length = 0;
}

/* "<name>" or "<module>::<name>". */
static void dump_item_name(DumpLine* line, const char* kind, const char* name, const char* module)
{
    dump_text(line, kind);
    dump_text(line, " ");
    if (*module) {
        dump_text(line, module);
        dump_text(line, "::");
    }
    dump_text(line, name);
}

/* The type reference after an address in the banks: a structure's map,
   a fixed string's length. `mask` is 0x7f in the banks, 0x2f in local maps. */
static void skip_type_reference(Reader* r, unsigned int type, unsigned int mask)
{
    if ((type & mask) == 7) r->at += 8;
    else if ((mask == 0x2f && (type & mask) == 10) || type == 10) r->at += 4;
}

static void dump_utf16(DumpLine* line, const unsigned short* text, long long limit)
{
    for (long long i = 0; text && text[i] && (limit < 0 || i < limit); i++) {
        char c[2] = {(char)(text[i] < 128 ? text[i] : '?'), 0};
        dump_text(line, c);
    }
}

static void dump_value(DumpLine* line, unsigned int type, const void* address, unsigned long long length)
{
    dump_text(line, " value ");
    if (type & 0x80) {
        dump_number(line, *(const long long*)address);
        return;
    }
    switch (type) {
    case 1: dump_number(line, *(const signed char*)address); break;
    case 3: dump_number(line, *(const short*)address); break;
    case 5: dump_number(line, *(const int*)address); break;
    case 11: case 25: dump_number(line, *(const unsigned short*)address); break;
    case 24: dump_number(line, *(const unsigned char*)address); break;
    case 13: case 21: dump_number(line, *(const long long*)address); break;
    case 8:
        dump_text(line, "\"");
        dump_utf16(line, *(const unsigned short* const*)address, -1);
        dump_text(line, "\"");
        break;
    case 10:
        dump_text(line, "\"");
        dump_utf16(line, (const unsigned short*)address, (long long)(length / 2));
        dump_text(line, "\"");
        break;
    default: dump_text(line, "?"); break;
    }
}

static void dump_variables(void)
{
    Reader r = {ZD_DEBUGGER_VariableBank};
    unsigned long long count = read_bytes(&r, 4);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        unsigned int type = read_u8(&r);
        unsigned int scope = read_u8(&r);
        unsigned int public_part = read_u8(&r);
        const char* name = read_name(&r);
        const char* module = read_name(&r);
        unsigned long long address = read_bytes(&r, 8);
        unsigned long long length = 0;
        if (type == 10) length = read_bytes(&r, 4);
        else skip_type_reference(&r, type, 0x7f);
        dump_item_name(&line, "variable", name, module);
        dump_text(&line, " type ");
        dump_number(&line, type);
        dump_text(&line, " scope ");
        dump_number(&line, scope);
        if (public_part) dump_text(&line, " public");
        if (scope != 2 && (type & 0x7f) != 7) dump_value(&line, type, (const void*)address, length);
        dump_end(&line);
    }
}

static const unsigned char* local_map_entry(const unsigned char* at, const char* procedure, const char* kind_name,
                                            int is_array)
{
    Reader r = {at};
    DumpLine line = {{0}, 0};
    unsigned int type = read_u8(&r);
    unsigned int kind = read_u8(&r);
    const char* name = read_name(&r);
    r.at += 8;
    skip_type_reference(&r, type, 0x2f);
    dump_text(&line, "  ");
    dump_text(&line, kind_name);
    dump_text(&line, " ");
    dump_text(&line, procedure);
    dump_text(&line, ".");
    dump_text(&line, name);
    dump_text(&line, " type ");
    dump_number(&line, type);
    dump_text(&line, " kind ");
    dump_number(&line, kind);
    if (is_array) {
        dump_text(&line, " dimensions ");
        dump_number(&line, read_u8(&r));
    }
    dump_end(&line);
    return r.at;
}

static void dump_local_map(const unsigned char* at, const char* procedure, const char* kind_name, int is_array)
{
    while (*at != 0xFF) at = local_map_entry(at, procedure, kind_name, is_array);
}

static void dump_procedures(void)
{
    Reader r = {ZD_DEBUGGER_ProcedureBank};
    unsigned long long count = read_bytes(&r, 4);
    read_bytes(&r, 2);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        unsigned int parameters = read_u8(&r);
        r.at += 5 * parameters;
        unsigned int result = read_u8(&r);
        unsigned int public_part = read_u8(&r);
        const char* name = read_name(&r);
        const char* module = read_name(&r);
        unsigned long long code = read_bytes(&r, 8);
        const unsigned char* maps[4];
        for (int m = 0; m < 4; m++) maps[m] = (const unsigned char*)read_bytes(&r, 8);
        long long index = (short)read_bytes(&r, 2);
        dump_item_name(&line, "procedure", name, module);
        dump_text(&line, " parameters ");
        dump_number(&line, parameters);
        dump_text(&line, " result ");
        dump_number(&line, result);
        dump_text(&line, " index ");
        dump_number(&line, index);
        if (public_part) dump_text(&line, " public");
        if (!code) dump_text(&line, " no code");
        dump_end(&line);
        dump_local_map(maps[0], name, "local", 0);
        dump_local_map(maps[1], name, "local array", 1);
        dump_local_map(maps[2], name, "local list", 0);
        dump_local_map(maps[3], name, "local map", 0);
    }
}

/* The head of an array, list or map bank entry: type, scope, a spare byte,
   name, module, the variable's address and the element type's reference. */
typedef struct BankEntry {
    unsigned int type;
    unsigned int scope;
    const char* name;
    const char* module;
    unsigned long long address;
} BankEntry;

static BankEntry read_bank_entry(Reader* r)
{
    BankEntry entry;
    entry.type = read_u8(r);
    entry.scope = read_u8(r);
    read_u8(r);
    entry.name = read_name(r);
    entry.module = read_name(r);
    entry.address = read_bytes(r, 8);
    skip_type_reference(r, entry.type, 0x7f);
    return entry;
}

static void dump_arrays(void)
{
    Reader r = {ZD_DEBUGGER_ArrayBank};
    unsigned long long count = read_bytes(&r, 4);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        BankEntry entry = read_bank_entry(&r);
        unsigned int type = entry.type, scope = entry.scope;
        unsigned long long address = entry.address;
        unsigned int dimensions = read_u8(&r);
        if (dimensions > 1) r.at += 8 * dimensions;
        dump_item_name(&line, "array", entry.name, entry.module);
        dump_text(&line, " type ");
        dump_number(&line, type);
        dump_text(&line, " dimensions ");
        dump_number(&line, dimensions);
        if (scope != 2) {
            const long long* data = *(const long long* const*)address;
            dump_text(&line, " elements ");
            dump_number(&line, data ? data[-2] : 0);
        }
        dump_end(&line);
    }
}

static void dump_containers(const unsigned char* bank, const char* kind)
{
    Reader r = {bank};
    unsigned long long count = read_bytes(&r, 4);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        BankEntry entry = read_bank_entry(&r);
        unsigned int type = entry.type, scope = entry.scope;
        unsigned long long address = entry.address;
        dump_item_name(&line, kind, entry.name, entry.module);
        dump_text(&line, " type ");
        dump_number(&line, type);
        /* A list's head and a map's slot hold its object once created. */
        if (scope != 2) dump_text(&line, *(void* const*)address ? " created" : " empty");
        dump_end(&line);
    }
}

static void dump_labels(void)
{
    Reader r = {ZD_DEBUGGER_LabelBank};
    unsigned long long count = read_bytes(&r, 4);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        read_u8(&r);
        const char* name = read_name(&r);
        const char* module = read_name(&r);
        unsigned long long address = read_bytes(&r, 8);
        dump_item_name(&line, "label", name, module);
        if (!address) dump_text(&line, " no address");
        dump_end(&line);
    }
}

static void dump_modules(void)
{
    Reader r = {ZD_DEBUGGER_ModuleBank};
    unsigned long long count = read_bytes(&r, 4);
    for (unsigned long long i = 0; i < count; i++) {
        DumpLine line = {{0}, 0};
        dump_text(&line, "module ");
        dump_text(&line, read_name(&r));
        dump_end(&line);
    }
}

void debugger_dump_banks(void)
{
    dump_variables();
    dump_procedures();
    dump_arrays();
    dump_containers(ZD_DEBUGGER_LinkedListBank, "list");
    dump_containers(ZD_DEBUGGER_MapBank, "map");
    dump_labels();
    dump_modules();
}
