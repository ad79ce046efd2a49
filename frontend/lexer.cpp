// The lexer: one word and one operator token per step, read from the
// statement text at `parse_pointer`. Bytes are always read unsigned, so that
// 0x80 to 0xFF are tokens 128 to 255.
#include "frontend/lexer.h"

#include <cstdio>
#include <cstring>

#include "core/char_tables.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "frontend/frontend_globals.h"

// ---------------------------------------------------------------------------
// Lexer state (declared in frontend/frontend_globals.h).
char statement_word[STATEMENT_WORD_SIZE];
int32_t word_has_dollar = 0;
int32_t token_code = TOKEN_END;
int32_t token_precedence = PRECEDENCE_NONE;
uint8_t more_statements = 0;
int64_t literal_length = -1;
int32_t escape_mode = 0;
char literal_text[LITERAL_TEXT_SIZE];
char* literal_write_pointer = literal_text;

namespace {

// An operator word is read into a buffer of this size; a longer word is no
// operator, and the error shows its first OPERATOR_WORD_SIZE - 1 characters.
constexpr int OPERATOR_WORD_SIZE = 256;

inline unsigned char byte_at(const char* p)
{
    return static_cast<unsigned char>(*p);
}

inline bool is_blank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

inline void skip_blanks()
{
    while (is_blank(byte_at(parse_pointer))) {
        parse_pointer++;
    }
}

// Windows-1252 bytes 0x80 to 0x9F; the unassigned ones map to themselves.
const uint16_t ansi_high_controls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Appends one UTF-16 unit as UTF-8 (1 to 3 bytes) at the literal write pointer.
void append_unit_as_utf8(uint16_t unit)
{
    char* out = literal_write_pointer;
    if (unit < 0x80) {
        *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
        *out++ = static_cast<char>(0xC0 | (unit >> 6));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        *out++ = static_cast<char>(0xE0 | (unit >> 12));
        *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
    literal_write_pointer = out;
}

// Skips a string literal without copying it (tentative parses).
void skip_string_literal()
{
    for (;;) {
        unsigned char c = byte_at(parse_pointer);
        if (c == 0 || c == 1 || c == '"') {
            return;
        }
        if (escape_mode && c == '\\') {
            unsigned char next = byte_at(parse_pointer + 1);
            if (next == 0 || next == 1) {
                parse_pointer++;
                return;
            }
            if (escape_chars[next] == 0) {
                char text[2] = {static_cast<char>(next), 0};
                set_error_format(ERROR_INVALID_ESCAPE_SEQUENCE, text);
            }
            parse_pointer += 2;
            continue;
        }
        parse_pointer++;
    }
}

// Copies a string literal into the literal text. Returns false when it
// stopped on an error (the parse pointer then stays where it stopped).
bool copy_string_literal()
{
    for (;;) {
        unsigned char c = byte_at(parse_pointer);
        if (c == 0 || c == 1 || c == '"') {
            return true;
        }
        // The gathered text holds at most MAX_LITERAL_LENGTH bytes.
        if (literal_write_pointer - literal_text >= MAX_LITERAL_LENGTH) {
            set_error(ERROR_LITERAL_STRING_TOO_LONG);
            return false;
        }
        if (escape_mode && c == '\\') {
            unsigned char next = byte_at(parse_pointer + 1);
            unsigned char value = escape_chars[next];
            if (value == 0) {
                char text[2] = {static_cast<char>(next), 0};
                set_error_format(ERROR_INVALID_ESCAPE_SEQUENCE, text);
                return false;
            }
            *literal_write_pointer++ = static_cast<char>(value);
            parse_pointer += 2;
            continue;
        }
        if (source_is_utf8_bom || c < 0x80) {
            *literal_write_pointer++ = static_cast<char>(c);
        } else {
            append_unit_as_utf8(ansi_byte_to_utf16(c));
        }
        parse_pointer++;
    }
}

void read_string_literal()
{
    parse_pointer++;  // opening quote
    bool copied = true;
    if (suppress_errors) {
        skip_string_literal();
    } else {
        copied = copy_string_literal();
        *literal_write_pointer = 0;
    }
    escape_mode = 0;
    if (copied) {
        if (byte_at(parse_pointer) > 1) {
            parse_pointer++;  // closing quote
        } else {
            set_error(ERROR_LITERAL_STRING_NOT_TERMINATED);
        }
    }
    current_operand.kind = LEXER_OPERAND_KIND_STRING;
    current_operand.flags = LEXER_OPERAND_FLAG_STRING;
    literal_length = literal_write_pointer - literal_text;
}

// Decodes one UTF-8 character of a character constant into a 16-bit code;
// '?' for a sequence that cannot be decoded or that needs more than 16 bits.
uint32_t decode_utf8_character()
{
    unsigned char lead = byte_at(parse_pointer);
    int follow = 0;
    uint32_t value = 0;
    if (lead < 0x80) {
        parse_pointer++;
        return lead;
    } else if (lead >= 0xC0 && lead <= 0xDF) {
        follow = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        follow = 3;
        value = lead & 0x07;
    } else {
        parse_pointer++;
        return '?';
    }
    parse_pointer++;
    for (int i = 0; i < follow; i++) {
        unsigned char c = byte_at(parse_pointer);
        if ((c & 0xC0) != 0x80) {
            return '?';
        }
        value = (value << 6) | (c & 0x3F);
        parse_pointer++;
    }
    if (value > 0xFFFF) {
        return '?';
    }
    return value;
}

// A character constant. Returns false when the step ended on error 54.
bool read_character_constant()
{
    parse_pointer++;  // opening quote
    uint32_t value = 0;
    unsigned char c = byte_at(parse_pointer);
    if (c != '\'') {
        if (c == 0 || c == 1) {
            set_error(ERROR_CHARACTER_CONSTANT_TOO_LONG);
            return false;
        }
        if (source_is_utf8_bom == 1) {
            value = decode_utf8_character();
        } else {
            value = c;
            parse_pointer++;
        }
        if (byte_at(parse_pointer) != '\'') {
            set_error(ERROR_CHARACTER_CONSTANT_TOO_LONG);
            return false;
        }
    }
    pending_constant.integer_value = value;
    snprintf(statement_word, sizeof statement_word, "%u", value);
    parse_pointer++;  // closing quote, so that the operator read after it is not token 39
    return true;
}

void read_name_word()
{
    unsigned char first = byte_at(parse_pointer);
    int length = 0;
    while (identifier_chars[byte_at(parse_pointer)]) {
        if (length == MAX_WORD_LENGTH) {
            set_error(ERROR_NAME_TOO_LONG);
            while (identifier_chars[byte_at(parse_pointer)]) {
                parse_pointer++;
            }
            break;
        }
        statement_word[length++] = *parse_pointer++;
    }
    if (length > 0 && identifier_start_chars[first] && *parse_pointer == '$') {
        statement_word[length++] = '$';
        parse_pointer++;
        word_has_dollar = 1;
    }
    statement_word[length] = 0;
}

// Compares an operator word (case-insensitive) with an upper-case text.
bool word_equals(const char* word, int length, const char* upper)
{
    for (int i = 0; i < length; i++) {
        if (upper[i] == 0 || uppercase_table[static_cast<unsigned char>(word[i])] != static_cast<unsigned char>(upper[i])) {
            return false;
        }
    }
    return upper[length] == 0;
}

int32_t match_operator_word(const char* word, int length)
{
    // Every operator word starts with one of these letters: most names are
    // refused on their first byte.
    switch (uppercase_table[static_cast<unsigned char>(word[0])]) {
    case 'A': case 'E': case 'N': case 'O': case 'S': case 'T': case 'X':
        break;
    default:
        return TOKEN_NO_OPERATOR;
    }
    if (word_equals(word, length, "AND")) return TOKEN_AND;
    if (word_equals(word, length, "OR")) return TOKEN_OR;
    if (word_equals(word, length, "XOR")) return TOKEN_XOR;
    if (word_equals(word, length, "NOT")) return TOKEN_NOT;
    if (word_equals(word, length, "TO")) return TOKEN_TO;
    if (word_equals(word, length, "STEP")) return TOKEN_STEP;
    if ((in_structure || in_interface) && word_equals(word, length, "EXTENDS")) return TOKEN_EXTENDS;
    if (in_structure && word_equals(word, length, "ALIGN")) return TOKEN_ALIGN;
    if (in_import && word_equals(word, length, "AS")) return TOKEN_AS;
    return TOKEN_NO_OPERATOR;
}

}  // namespace

uint16_t ansi_byte_to_utf16(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F) {
        return ansi_high_controls[byte - 0x80];
    }
    return byte;
}

int32_t logical_word_token_at(const char* p)
{
    switch (uppercase_table[byte_at(p)]) {
    case 'A': case 'N': case 'O': case 'X':
        break;
    default:
        return 0;
    }
    int length = 0;
    while (identifier_chars[byte_at(p + length)]) {
        if (++length > 3) return 0;
    }
    if (length < 2 || p[length] == '$') return 0;
    int32_t code = match_operator_word(p, length);
    return code == TOKEN_XOR || code == TOKEN_NOT || code == TOKEN_AND || code == TOKEN_OR ? code : 0;
}

void reset_literal_text()
{
    literal_write_pointer = literal_text;
    literal_text[0] = 0;
}

void read_operator()
{
    int32_t previous_precedence = token_precedence;
    char* before_blanks = parse_pointer;
    skip_blanks();
    bool blanks_skipped = parse_pointer != before_blanks;
    token_code = TOKEN_NO_OPERATOR;
    unsigned char c = byte_at(parse_pointer);

    if (identifier_start_chars[c]) {
        char* word_start = parse_pointer;
        while (identifier_chars[byte_at(parse_pointer)]) {
            parse_pointer++;
        }
        int length = static_cast<int>(parse_pointer - word_start);
        more_statements = 0;
        int32_t code = length <= OPERATOR_WORD_SIZE - 1 ? match_operator_word(word_start, length) : TOKEN_NO_OPERATOR;
        if (code == TOKEN_NO_OPERATOR) {
            // The word stays to be read: the parser decides whether it may stand here.
            parse_pointer = word_start;
            token_precedence = PRECEDENCE_WORD;
            return;
        }
        token_code = code;
        token_precedence = operator_precedence[code];
        return;
    }

    token_code = c;
    parse_pointer++;
    more_statements = 0;
    switch (c) {
    case 0x01:
        token_code = TOKEN_END;
        more_statements = 1;
        break;
    case ':':
        if (blanks_skipped || *parse_pointer != ':') {
            token_code = TOKEN_END;
            more_statements = 1;
        } else {
            token_code = TOKEN_MODULE_SEPARATOR;
            parse_pointer++;
        }
        break;
    case ';':
        token_code = TOKEN_END;
        if (expansion_pending) {
            while (*parse_pointer != 0 && *parse_pointer != STATEMENT_SEPARATOR) {
                parse_pointer++;
            }
            if (*parse_pointer == STATEMENT_SEPARATOR) {
                parse_pointer++;
                more_statements = 1;
            }
        }
        break;
    case '<': {
        char* after = parse_pointer;
        skip_blanks();
        if (*parse_pointer == '>') {
            token_code = TOKEN_NOT_EQUAL;
            parse_pointer++;
        } else if (*parse_pointer == '=') {
            token_code = TOKEN_LESS_EQUAL;
            parse_pointer++;
        } else if (*parse_pointer == '<') {
            token_code = TOKEN_SHIFT_LEFT;
            parse_pointer++;
        } else {
            parse_pointer = after;
        }
        break;
    }
    case '=': {
        char* after = parse_pointer;
        skip_blanks();
        if (*parse_pointer == '<') {
            token_code = TOKEN_LESS_EQUAL;
            parse_pointer++;
        } else if (*parse_pointer == '>') {
            token_code = TOKEN_GREATER_EQUAL;
            parse_pointer++;
        } else {
            parse_pointer = after;
        }
        break;
    }
    case '>': {
        char* after = parse_pointer;
        skip_blanks();
        if (*parse_pointer == '=') {
            token_code = TOKEN_GREATER_EQUAL;
            parse_pointer++;
        } else if (*parse_pointer == '>') {
            token_code = TOKEN_SHIFT_RIGHT;
            parse_pointer++;
        } else {
            parse_pointer = after;
        }
        break;
    }
    default:
        break;
    }

    if (token_code == '-' && previous_precedence != PRECEDENCE_NONE && statement_word[0] == 0) {
        token_precedence = PRECEDENCE_UNARY;
    } else {
        token_precedence = operator_precedence[static_cast<unsigned>(token_code) & 0xFF];
    }
}

int read_token()
{
    word_has_dollar = 0;
    current_operand.kind = 0;
    current_operand.flags = 0;
    statement_word[0] = 0;
    literal_length = -1;
    skip_blanks();

    unsigned char c = byte_at(parse_pointer);
    if (c == '"') {
        read_string_literal();
    } else if (c == '\'') {
        if (!read_character_constant()) {
            return byte_at(statement_word);
        }
    } else {
        read_name_word();
    }
    read_operator();
    return byte_at(statement_word);
}

void refuse_word_operator()
{
    if (token_code != TOKEN_NO_OPERATOR) {
        return;
    }
    char word[OPERATOR_WORD_SIZE];
    int length = 0;
    while (length < OPERATOR_WORD_SIZE - 1 && identifier_chars[byte_at(parse_pointer + length)]) {
        word[length] = parse_pointer[length];
        length++;
    }
    word[length] = 0;
    set_error_format(ERROR_INVALID_OPERATOR, word);
}

int peek_token()
{
    char* saved_pointer = parse_pointer;
    char* saved_literal = literal_write_pointer;
    read_token();
    refuse_word_operator();
    bool literal_read = literal_length >= 0;
    parse_pointer = saved_pointer;
    literal_write_pointer = saved_literal;
    return statement_word[0] != 0 || literal_read;
}

LexerMark mark_lexer()
{
    return LexerMark{parse_pointer, token_code, token_precedence, more_statements};
}

void rewind_lexer(const LexerMark& mark)
{
    parse_pointer = mark.position;
    token_code = mark.token;
    token_precedence = mark.precedence;
    more_statements = mark.more_statements;
}

int skip_star()
{
    if (token_code != '*') {
        return 0;
    }
    if (statement_word[0] == 0) {
        if (is_blank(byte_at(parse_pointer))) {
            set_error(ERROR_SYNTAX);
        }
        read_token();
        refuse_word_operator();
        return 1;
    }
    set_error(ERROR_SYNTAX);
    return 0;
}
