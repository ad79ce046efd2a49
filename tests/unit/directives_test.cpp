// Compiler directives: branch selection, nesting inside skipped regions,
// the depth limit, CompilerSelect, the errors of misplaced directives and
// CompilerError/CompilerWarning.
#include <string>

#include "preprocess_test_support.h"

namespace {

using DirectivesTest = PreprocessTest;

TEST_F(DirectivesTest, IfElseIfElseTakeExactlyOneBranch)
{
    ASSERT_EQ(compile("CompilerIf 0\n #A = 1\nCompilerElse\n #A = 2\nCompilerEndIf"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 2);

    ASSERT_EQ(compile("CompilerIf 1\n #A = 1\nCompilerElse\n #A = 2\nCompilerEndIf"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 1);

    // A taken branch leaves the later ElseIf unevaluated: the unknown
    // constant in it raises nothing.
    ASSERT_EQ(compile("CompilerIf 1\n #A = 1\nCompilerElseIf #Unknown\n #A = 2\nCompilerElse\n #A = 3\nCompilerEndIf"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("A"), 1);

    ASSERT_EQ(compile("#S = 2\nCompilerIf #S = 1\n #A = 1\nCompilerElseIf #S = 2\n #A = 2\nCompilerElse\n"
                      " #A = 3\nCompilerEndIf"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("A"), 2);
    EXPECT_EQ(suppress_errors, 0);
}

TEST_F(DirectivesTest, SkippedRegionsDropEverythingButDirectives)
{
    // Garbage, unknown statements and a CompilerError in a skipped branch
    // raise nothing; a nested block there keeps the counter balanced.
    ASSERT_EQ(compile("CompilerIf 0\n this is not Zandrel ((\n CompilerError \"no\"\n"
                      " CompilerIf 1\n  #In = 1\n CompilerElse\n  #In = 2\n CompilerEndIf\n"
                      "CompilerEndIf\n#After = 1"),
              0)
        << printed;
    EXPECT_FALSE(constant_exists("In"));
    EXPECT_EQ(integer_constant("After"), 1);
    EXPECT_EQ(suppress_errors, 0);
    EXPECT_EQ(compiler_if_depth, 0);
}

TEST_F(DirectivesTest, DirectivesShareALineWithOtherStatements)
{
    ASSERT_EQ(compile("CompilerIf 0 : #A = 1 : CompilerElse : #A = 2 : CompilerEndIf"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 2);
}

TEST_F(DirectivesTest, SixtyThreeLevelsAreTheLimit)
{
    std::string open;
    std::string close;
    for (int i = 0; i < 63; i++) {
        open += "CompilerIf 1\n";
        close += "CompilerEndIf\n";
    }
    EXPECT_EQ(compile(open + "#Deep = 1\n" + close), 0) << printed;
    EXPECT_EQ(compile(open + "CompilerIf 1\n" + close + "CompilerEndIf\n"), ERROR_TOO_DEEPLY_NESTED);
    EXPECT_NE(printed.find("Too deeply nested CompilerIf"), std::string::npos) << printed;

    std::string selects;
    for (int i = 0; i < 64; i++) {
        selects += "CompilerSelect 1\n";
    }
    EXPECT_EQ(compile(selects), ERROR_TOO_DEEPLY_NESTED);
    EXPECT_NE(printed.find("Too deeply nested CompilerSelect"), std::string::npos) << printed;
}

TEST_F(DirectivesTest, TheLimitHoldsInsideASkippedRegion)
{
    // Levels past the limit in a branch that is not taken are refused too,
    // with the depth left where it was.
    for (const char* kind : {"CompilerIf 1\n", "CompilerSelect 1\n"}) {
        std::string text = "CompilerIf 0\n";
        for (int i = 0; i < 70; i++) text += kind;
        EXPECT_EQ(compile(text), ERROR_TOO_DEEPLY_NESTED) << kind;
        EXPECT_LT(compiler_if_depth, max_directive_depth);
        EXPECT_LT(compiler_select_depth, max_directive_depth);
    }
}

TEST_F(DirectivesTest, SelectCompilesTheFirstMatchOnly)
{
    const char* text = "CompilerSelect #V\n"
                       "CompilerCase 1\n #A = 1\n"
                       "CompilerCase 2\n #A = 2\n"
                       "CompilerCase 2\n #B = 2\n"
                       "CompilerDefault\n #A = 9\n"
                       "CompilerEndSelect";
    ASSERT_EQ(compile(std::string("#V = 2\n") + text), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 2);
    EXPECT_FALSE(constant_exists("B"));

    ASSERT_EQ(compile(std::string("#V = 7\n") + text), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 9);
    EXPECT_EQ(suppress_errors, 0);
    EXPECT_EQ(compiler_select_depth, 0);

    // A select inside a skipped branch compiles none of its cases.
    ASSERT_EQ(compile("CompilerIf 0\nCompilerSelect 1\nCompilerCase 1\n #A = 1\nCompilerEndSelect\nCompilerEndIf"), 0)
        << printed;
    EXPECT_FALSE(constant_exists("A"));
}

TEST_F(DirectivesTest, MisplacedDirectivesAndStrayTokens)
{
    EXPECT_EQ(compile("CompilerEndIf"), ERROR_COMPILERENDIF_WITHOUT_COMPILERIF);
    EXPECT_EQ(compile("CompilerElse"), ERROR_COMPILERELSE_WITHOUT_COMPILERIF);
    EXPECT_EQ(compile("CompilerElseIf 1"), ERROR_COMPILERELSE_WITHOUT_COMPILERIF);
    EXPECT_EQ(compile("CompilerEndSelect"), ERROR_COMPILERENDSELECT_WITHOUT_COMPILERSELECT);
    EXPECT_EQ(compile("CompilerCase 1"), ERROR_COMPILERCASE_WITHOUT_COMPILERSELECT);
    EXPECT_EQ(compile("CompilerDefault"), ERROR_COMPILERDEFAULT_WITHOUT_COMPILERSELECT);
    EXPECT_EQ(compile("CompilerIf 1\nCompilerElse 5\nCompilerEndIf"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerIf 0\nCompilerElseIf\nCompilerEndIf"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerIf 1\nCompilerEndIf x"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerIf 1"), ERROR_COMPILERIF_WITHOUT_COMPILERENDIF);
    EXPECT_EQ(compile("CompilerSelect 1"), ERROR_COMPILERSELECT_WITHOUT_COMPILERENDSELECT);
}

TEST_F(DirectivesTest, NothingFollowsCompilerElseOrCompilerDefault)
{
    // Once toggled back on, a second branch would compile after the taken one.
    EXPECT_EQ(compile("CompilerIf 1\n #A = 1\nCompilerElse\nCompilerElse\n #B = 1\nCompilerEndIf"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerIf 1\nCompilerElse\nCompilerElseIf 1\n #B = 1\nCompilerEndIf"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerSelect 1\nCompilerDefault\nCompilerCase 1\n #B = 1\nCompilerEndSelect"), ERROR_SYNTAX);
    EXPECT_EQ(compile("CompilerSelect 1\nCompilerDefault\nCompilerDefault\nCompilerEndSelect"), ERROR_SYNTAX);
    // Each level keeps its own mark.
    ASSERT_EQ(compile("CompilerIf 1\n CompilerIf 0\n CompilerElse\n #A = 1\n CompilerEndIf\nCompilerElse\n"
                      " #B = 1\nCompilerEndIf\nCompilerIf 0\nCompilerElse\n #C = 1\nCompilerEndIf"),
              0)
        << printed;
    EXPECT_TRUE(constant_exists("A"));
    EXPECT_FALSE(constant_exists("B"));
    EXPECT_TRUE(constant_exists("C"));
}

TEST_F(DirectivesTest, ExpressionMustBeAnIntegerConstant)
{
    EXPECT_EQ(compile("CompilerIf 1.5\nCompilerEndIf"), ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("CompilerIf \"text\"\nCompilerEndIf"), ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("#F = 2.5\nCompilerSelect #F\nCompilerEndSelect"), ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(compile("CompilerIf #Missing\nCompilerEndIf"), ERROR_CONSTANT_NOT_FOUND);
}

TEST_F(DirectivesTest, CompilerErrorStopsAndCompilerWarningGoesOn)
{
    EXPECT_EQ(compile("#A = 1\nCompilerError \"Stop here\"\n#B = 1"), ERROR_CUSTOM_TEXT);
    EXPECT_NE(printed.find("Error: Line 2 - Stop here"), std::string::npos) << printed;
    EXPECT_FALSE(constant_exists("B"));

    EXPECT_EQ(compile("CompilerError 5"), ERROR_LITERAL_STRING_EXPECTED_AFTER);

    EXPECT_EQ(compile("CompilerWarning \"Careful\"\n#B = 1"), 0) << printed;
    EXPECT_NE(printed.find("Careful"), std::string::npos) << printed;
    EXPECT_EQ(integer_constant("B"), 1);
}

}  // namespace
