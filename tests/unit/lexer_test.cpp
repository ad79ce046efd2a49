// The lexer: words, literals, character constants and operator tokens.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core_test_support.h"
#include "frontend/lexer.h"
#include "frontend/statement_dispatcher.h"

namespace {

class LexerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_core_state();
        compile_state_first_init();
        clear_error_state();
        suppress_errors = 0;
        reset_statement_state();
    }

    // Lexes a copy of `source` (two NULs after it) from its start.
    void start(const std::string& source)
    {
        text = source;
        text.push_back('\0');
        text.push_back('\0');
        parse_pointer = text.data();
        token_precedence = 0;
    }

    std::string text;
};

TEST_F(LexerTest, TwoCharacterOperatorsMayHoldBlanks)
{
    const char* cases[][2] = {{"a <> b", "4"}, {"a < > b", "4"}, {"a =< b", "5"}, {"a = < b", "5"},
                              {"a >= b", "6"}, {"a => b", "6"}, {"a << b", "10"}, {"a >> b", "13"}};
    for (auto& c : cases) {
        start(c[0]);
        read_token();
        EXPECT_STREQ(statement_word, "a");
        EXPECT_EQ(token_code, std::atoi(c[1])) << c[0];
        read_token();
        EXPECT_STREQ(statement_word, "b") << c[0];
        EXPECT_EQ(token_code, TOKEN_END);
    }
}

TEST_F(LexerTest, ColonsSeparateStatementsOrNameModules)
{
    start("m::x");
    read_token();
    EXPECT_EQ(token_code, TOKEN_MODULE_SEPARATOR);
    read_token();
    EXPECT_STREQ(statement_word, "x");

    start("m :: x");
    read_token();
    EXPECT_EQ(token_code, TOKEN_END);
    EXPECT_EQ(more_statements, 1);

    start("a: b");
    read_token();
    EXPECT_EQ(token_code, TOKEN_END);
    EXPECT_EQ(more_statements, 1);

    start("a\x01" "b");
    read_token();
    EXPECT_EQ(token_code, TOKEN_END);
    EXPECT_EQ(more_statements, 1);

    start("a");
    read_token();
    EXPECT_EQ(token_code, TOKEN_END);
    EXPECT_EQ(more_statements, 0);
}

TEST_F(LexerTest, OperatorWordsAndTheirPrecedence)
{
    struct Case {
        const char* text;
        int code;
        int precedence;
    } cases[] = {{"a And b", 24, 1}, {"a OR b", 25, 1}, {"a xor b", 22, 1}, {"a Not b", 23, 1},
                 {"a To b", 18, 0},  {"a Step b", 19, 0}, {"a + b", '+', 3}, {"a - b", '-', 3},
                 {"a * b", '*', 4},  {"a / b", '/', 4},  {"a & b", '&', 5}, {"a | b", '|', 5},
                 {"a % b", '%', 7},  {"a ! b", '!', 7},  {"a << b", 10, 7}, {"a >> b", 13, 7},
                 {"a ~ b", '~', 9},  {"a = b", '=', 2},  {"a < b", '<', 2}, {"a <> b", 4, 2},
                 {"a , b", ',', 0},  {"a ) b", ')', 0}};
    for (const Case& c : cases) {
        start(c.text);
        read_token();
        EXPECT_EQ(token_code, c.code) << c.text;
        EXPECT_EQ(token_precedence, c.precedence) << c.text;
    }
}

TEST_F(LexerTest, ContextualOperatorWordsAndUnknownWords)
{
    // Outside a Structure the word is a token of its own, no error yet; the
    // parser that needs an operator refuses it with the word and its place.
    start("a Extends b");
    read_token();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(token_code, TOKEN_NO_OPERATOR);
    EXPECT_EQ(token_precedence, PRECEDENCE_WORD);
    EXPECT_STREQ(parse_pointer, "Extends b");
    refuse_word_operator();
    EXPECT_EQ(error_number, ERROR_INVALID_OPERATOR);
    EXPECT_STREQ(error_message, "'Extends' is not a valid operator.");
    EXPECT_STREQ(error_position, "Extends b");
    clear_error_state();

    // A word longer than any operator is shown cut to its first 255 characters.
    std::string long_text = "a " + std::string(300, 'w');
    start(long_text.c_str());
    read_token();
    EXPECT_EQ(token_code, TOKEN_NO_OPERATOR);
    refuse_word_operator();
    EXPECT_EQ(std::string(error_message), "'" + std::string(255, 'w') + "' is not a valid operator.");
    clear_error_state();

    start("a + b");
    read_token();
    refuse_word_operator();
    EXPECT_EQ(error_number, 0);
    in_structure = 1;
    start("a Extends b");
    read_token();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(token_code, TOKEN_EXTENDS);
    start("a Align 8");
    read_token();
    EXPECT_EQ(token_code, TOKEN_ALIGN);
    in_structure = 0;

    in_import = 1;
    start("a As b");
    read_token();
    EXPECT_EQ(token_code, TOKEN_AS);
    in_import = 0;
}

TEST_F(LexerTest, UnaryMinusAfterAnOperator)
{
    start("a - -1");
    read_token();
    EXPECT_EQ(token_precedence, 3);
    read_token();
    EXPECT_EQ(statement_word[0], 0);
    EXPECT_EQ(token_code, '-');
    EXPECT_EQ(token_precedence, 9);
}

TEST_F(LexerTest, NamesWithSuffixesAndLengthLimit)
{
    start("name$ + x");
    read_token();
    EXPECT_STREQ(statement_word, "name$");
    EXPECT_EQ(word_has_dollar, 1);

    start("12$");
    read_token();
    EXPECT_STREQ(statement_word, "12");
    EXPECT_EQ(word_has_dollar, 0);
    EXPECT_EQ(token_code, '$');

    start("x.l = 5");
    read_token();
    EXPECT_STREQ(statement_word, "x");
    EXPECT_EQ(token_code, '.');
    read_token();
    EXPECT_STREQ(statement_word, "l");

    start(std::string(128, 'a'));
    read_token();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(std::strlen(statement_word), 128u);

    start(std::string(129, 'a'));
    read_token();
    EXPECT_EQ(error_number, ERROR_NAME_TOO_LONG);
}

TEST_F(LexerTest, NumbersAreWordsTakenApartLater)
{
    start("1.5e3");
    read_token();
    EXPECT_STREQ(statement_word, "1");
    EXPECT_EQ(token_code, '.');
    start("$FF");
    read_token();
    EXPECT_EQ(statement_word[0], 0);
    EXPECT_EQ(token_code, '$');
    start("%101");
    read_token();
    EXPECT_EQ(token_code, '%');
}

TEST_F(LexerTest, CharacterConstants)
{
    start("'A' + 1");
    read_token();
    EXPECT_STREQ(statement_word, "65");
    EXPECT_EQ(pending_constant.integer_value, 65);
    EXPECT_EQ(token_code, '+');

    start("''");
    read_token();
    EXPECT_STREQ(statement_word, "0");
    EXPECT_EQ(token_code, TOKEN_END);

    start("'AB'");
    read_token();
    EXPECT_EQ(error_number, ERROR_CHARACTER_CONSTANT_TOO_LONG);
}

TEST_F(LexerTest, CharacterConstantsWithByteOrderMark)
{
    source_is_utf8_bom = 1;
    start("'\xE2\x82\xAC'");
    read_token();
    EXPECT_STREQ(statement_word, "8364");
    // A character beyond 16 bits cannot be held: '?'.
    start("'\xF0\x9F\x98\x80'");
    read_token();
    EXPECT_STREQ(statement_word, "63");
    source_is_utf8_bom = 0;
}

TEST_F(LexerTest, StringLiterals)
{
    start("\"a;b:c\" + x");
    reset_literal_text();
    read_token();
    EXPECT_EQ(literal_length, 5);
    EXPECT_STREQ(literal_text, "a;b:c");
    EXPECT_EQ(current_operand.kind, 40);
    EXPECT_EQ(token_code, '+');

    start("\"unterminated");
    reset_literal_text();
    read_token();
    EXPECT_EQ(error_number, ERROR_LITERAL_STRING_NOT_TERMINATED);
}

TEST_F(LexerTest, EscapedStringLiterals)
{
    start("\"a\\tb\"");
    reset_literal_text();
    escape_mode = 1;
    read_token();
    EXPECT_STREQ(literal_text, "a\tb");
    EXPECT_EQ(escape_mode, 0);

    start("\"C:\\\\\" + x");
    reset_literal_text();
    escape_mode = 1;
    read_token();
    EXPECT_STREQ(literal_text, "C:\\");
    EXPECT_EQ(token_code, '+');

    start("\"a\\tb\"");
    reset_literal_text();
    read_token();
    EXPECT_STREQ(literal_text, "a\\tb");

    start("\"\\q\"");
    reset_literal_text();
    escape_mode = 1;
    read_token();
    EXPECT_EQ(error_number, ERROR_INVALID_ESCAPE_SEQUENCE);
    EXPECT_NE(std::strstr(error_message, "\\q"), nullptr);
}

TEST_F(LexerTest, AnsiLiteralsBecomeUtf8)
{
    start("\"\x80\xE9\"");
    reset_literal_text();
    read_token();
    EXPECT_STREQ(literal_text, "\xE2\x82\xAC\xC3\xA9");
    source_is_utf8_bom = 1;
    start("\"\xC3\xA9\"");
    reset_literal_text();
    read_token();
    EXPECT_STREQ(literal_text, "\xC3\xA9");
    source_is_utf8_bom = 0;
}

TEST_F(LexerTest, LiteralLengthLimit)
{
    start("\"" + std::string(8192, 'x') + "\"");
    reset_literal_text();
    read_token();
    EXPECT_EQ(error_number, 0);
    clear_error_state();
    start("\"" + std::string(8193, 'x') + "\"");
    reset_literal_text();
    read_token();
    EXPECT_EQ(error_number, ERROR_LITERAL_STRING_TOO_LONG);
}

TEST_F(LexerTest, PeekRestoresPosition)
{
    start("abc + 1");
    EXPECT_TRUE(peek_token());
    EXPECT_STREQ(statement_word, "abc");
    EXPECT_STREQ(parse_pointer, "abc + 1");
}

// A look-ahead that reads past the end of the statement goes back to the
// operator it started from: the statement has not ended there.
TEST_F(LexerTest, RewindTakesBackTheOperatorAndTheStatementEnd)
{
    start("a + b : c");
    read_token();
    ASSERT_EQ(token_code, '+');
    LexerMark mark = mark_lexer();
    read_token();
    ASSERT_EQ(token_code, TOKEN_END);
    ASSERT_EQ(more_statements, 1);
    rewind_lexer(mark);
    EXPECT_EQ(token_code, '+');
    EXPECT_EQ(token_precedence, operator_precedence['+']);
    EXPECT_EQ(more_statements, 0);
    read_token();
    EXPECT_STREQ(statement_word, "b");
}

TEST_F(LexerTest, SkipStarForPointerNames)
{
    start("*p\\x");
    read_token();
    EXPECT_EQ(skip_star(), 1);
    EXPECT_STREQ(statement_word, "p");
    EXPECT_EQ(error_number, 0);

    start("* p");
    read_token();
    skip_star();
    EXPECT_EQ(error_number, ERROR_SYNTAX);
}

TEST_F(LexerTest, KeywordTableAndNativeTypes)
{
    build_keyword_index();
    for (int i = 1; i < keyword_count; i++) {
        EXPECT_LT(std::strcmp(KeywordTable[i - 1], KeywordTable[i]), 0) << KeywordTable[i];
    }
    EXPECT_EQ(KeywordTable[keyword_count], nullptr);
    EXPECT_EQ(is_keyword("procedurereturn"), 1);
    EXPECT_EQ(is_keyword("XIncludeFile"), 1);
    EXPECT_EQ(is_keyword("And"), 1);
    EXPECT_EQ(is_keyword("NewMap"), 0);
    EXPECT_EQ(is_keyword("Swap"), 0);
    EXPECT_EQ(is_keyword("ForEach"), 0);
    EXPECT_EQ(is_keyword("Interface"), 0);
    EXPECT_EQ(is_keyword("Zebra"), 0);
    EXPECT_EQ(is_native_type_letter("Q"), 1);
    EXPECT_EQ(is_native_type_letter("x"), 0);
    EXPECT_EQ(is_asm_mnemonic("mov"), 1);
    EXPECT_EQ(is_asm_mnemonic("movie"), 0);
}

}  // namespace
