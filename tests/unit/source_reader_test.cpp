// Logical lines: continuations, comments, strings, the editor-options tail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backend_c/c_backend.h"
#include "backend_x64/x64_backend.h"
#include "core/backend_hooks.h"
#include "core_test_support.h"
#include "frontend/source_reader.h"
#include "frontend/statement_dispatcher.h"

namespace {

class SourceReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        install_backend(&x64_backend_hooks);
        ensure_core_state();
        compile_state_first_init();
        clear_error_state();
        suppress_errors = 0;
        reset_statement_state();
    }

    // Splits a text into its logical lines; each entry also records the
    // number of joined physical lines.
    std::vector<std::string> lines_of(const std::string& source, std::vector<int>* joins = nullptr)
    {
        buffer = source;
        buffer.push_back('\0');
        buffer.push_back('\0');
        std::vector<std::string> lines;
        char* line = buffer.data();
        while (line) {
            parse_pointer = line;
            char* next = read_logical_line(line);
            if (error_number) {
                break;
            }
            lines.emplace_back(line);
            if (joins) {
                joins->push_back(continuation_count);
            }
            line = next;
        }
        return lines;
    }

    std::string buffer;
};

TEST_F(SourceReaderTest, CommentsAreCutOutsideStringsAndCharacters)
{
    auto lines = lines_of("a = \"x;y\" ; note\r\nb = ';' ; c\nc = 1");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "a = \"x;y\" ");
    EXPECT_EQ(lines[1], "b = ';' ");
    EXPECT_EQ(lines[2], "c = 1");
}

TEST_F(SourceReaderTest, ContinuationsJoinLines)
{
    std::vector<int> joins;
    auto lines = lines_of("a = 1 +\n    2\nb = x Or\n y\nc = Order\nd", &joins);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a = 1 +     2");
    EXPECT_EQ(joins[0], 1);
    EXPECT_EQ(lines[1], "b = x Or  y");
    EXPECT_EQ(lines[2], "c = Order");
    EXPECT_EQ(joins[2], 0);

    lines = lines_of("a = b XOR\r\nc\ne = f, ; comment\n g");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "a = b XOR  c");
    EXPECT_EQ(lines[1].substr(0, 7), "e = f, ");
    EXPECT_EQ(lines[1].back(), 'g');
}

TEST_F(SourceReaderTest, ContinuationLooksPastTrailingBlanks)
{
    // The byte that decides a continuation is the last one that is no
    // blank, also when blanks and tabs follow it or stand alone on a line.
    std::vector<int> joins;
    auto lines = lines_of("a = 1 + \t \n  2\nb = 2\t \nc = x Or \t; note\n y\n \t \nd", &joins);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(joins[0], 1);
    EXPECT_EQ(lines[0].substr(0, 8), "a = 1 + ");
    EXPECT_EQ(lines[0].back(), '2');
    EXPECT_EQ(joins[1], 0);
    EXPECT_EQ(lines[1], "b = 2\t ");
    EXPECT_EQ(joins[2], 1);
    EXPECT_EQ(lines[2].back(), 'y');
    EXPECT_EQ(lines[3], " \t ");
    EXPECT_EQ(lines[4], "d");
}

TEST_F(SourceReaderTest, ContinuationStartsPointAtJoinedLines)
{
    lines_of("x = 1 +\n  2 +\n   3");
    ASSERT_EQ(continuation_count, 2);
    EXPECT_EQ(*continuation_starts[0], '2');
    EXPECT_EQ(*continuation_starts[1], '3');
}

TEST_F(SourceReaderTest, OpenLiteralsCannotContinue)
{
    lines_of("a$ = \"abc +\nx");
    EXPECT_EQ(error_number, ERROR_UNFINISHED_DOUBLE_QUOTE);
    clear_error_state();
    lines_of("a = 'a +\nx");
    EXPECT_EQ(error_number, ERROR_UNFINISHED_SINGLE_QUOTE);
}

TEST_F(SourceReaderTest, EscapedBackslashClosesTheString)
{
    auto lines = lines_of("a$ = ~\"C:\\\\\" +\n \"x\"");
    EXPECT_EQ(error_number, 0);
    ASSERT_EQ(lines.size(), 1u);
    // Without the escape prefix a backslash is plain text.
    lines = lines_of("a$ = \"C:\\\" + ; c\n\"x\"");
    EXPECT_EQ(error_number, 0);
    ASSERT_EQ(lines.size(), 1u);
}

TEST_F(SourceReaderTest, EndMacroLineIsNeverJoined)
{
    auto lines = lines_of("a +\n  EndMacro\nb");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "a +");
    EXPECT_EQ(lines[1], "EndMacro");
}

TEST_F(SourceReaderTest, ContinuationLimit)
{
    std::string source = "a = 1";
    for (int i = 0; i < 511; i++) {
        source += " +\n1";
    }
    std::vector<int> joins;
    lines_of(source, &joins);
    EXPECT_EQ(error_number, 0);
    ASSERT_EQ(joins.size(), 1u);
    EXPECT_EQ(joins[0], 511);
    lines_of(source + " +\n1");
    EXPECT_EQ(error_number, ERROR_TOO_MANY_CONTINUATION_LINES);
}

TEST_F(SourceReaderTest, LongestLineIsMeasuredAlsoWithoutFinalLineFeed)
{
    longest_line = 0;
    lines_of("a\n" + std::string(40, 'x'));
    EXPECT_EQ(longest_line, 40);
}

TEST_F(SourceReaderTest, EditorOptionsTail)
{
    std::string text = "a = 1\r\n; IDE Options = x\r\n; Folding = 1";
    cut_editor_options_tail(text.data(), text.size());
    EXPECT_STREQ(text.c_str(), "a = 1");

    text = "a = 1\n; ide options\n; x\n";
    cut_editor_options_tail(text.data(), text.size());
    EXPECT_STREQ(text.c_str(), "a = 1\n; ide options\n; x\n");

    text = "a = 1\n; IDE Options\n\n; x";
    cut_editor_options_tail(text.data(), text.size());
    EXPECT_STREQ(text.c_str(), "a = 1\n; IDE Options\n\n; x");

    text = "a = 1\n; IDE Options\nb = 2\n; x";
    cut_editor_options_tail(text.data(), text.size());
    EXPECT_STREQ(text.c_str(), "a = 1\n; IDE Options\nb = 2\n; x");

    text = "a\n; IDE";
    cut_editor_options_tail(text.data(), text.size());
    EXPECT_STREQ(text.c_str(), "a\n; IDE");
}

TEST_F(SourceReaderTest, ContinuationWordsStopAtTheLineStart)
{
    const char* line = "Or";
    EXPECT_TRUE(check_line_continuation('r', line, line + 2));
    line = "x = Color";
    EXPECT_FALSE(check_line_continuation('r', line, line + 9));
    line = "If a And";
    EXPECT_TRUE(check_line_continuation('d', line, line + 8));
    line = "x = (a) Or )";
    EXPECT_TRUE(check_line_continuation(')', line, line + 12));
}

}  // namespace

// With the C back end a '!' line is C: its ';' stays and it never continues
// (with the x64 back end ';' starts an assembler comment as elsewhere).
TEST_F(SourceReaderTest, InlineCLinesKeepSemicolonsAndNeverContinue)
{
    install_backend(&c_backend_hooks);
    auto lines = lines_of("! v_a = v_a + 41; // ; x\n  ! v_b = v_a +\n! 1;\nc = 1 +\n 2 ; note\n");
    install_backend(&x64_backend_hooks);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "! v_a = v_a + 41; // ; x");
    EXPECT_EQ(lines[1], "  ! v_b = v_a +");
    EXPECT_EQ(lines[2], "! 1;");
    EXPECT_EQ(lines[3], "c = 1 +  2 ");

    lines = lines_of("! MOV rax,1 ; note\n! ADD rax,\nc = 1\n");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "! MOV rax,1 ");
    EXPECT_EQ(lines[1], "! ADD rax, c = 1");
}
