// Macros: definition errors, expansion with and without parameters,
// defaults, joining with '#', MacroExpandedCount, recursion, UndefineMacro
// and the "Macro.out" file.
#include <string>

#include "preprocess_test_support.h"

namespace {

using MacrosTest = PreprocessTest;

TEST_F(MacrosTest, ParameterlessMacroExpandsEveryStatementOfItsBody)
{
    ASSERT_EQ(compile("Macro Both\n #A = 1\n #B = 2\nEndMacro\nBoth"), 0) << printed;
    EXPECT_EQ(integer_constant("A"), 1);
    EXPECT_EQ(integer_constant("B"), 2);

    // One-line definition; the expansion is followed by more statements.
    ASSERT_EQ(compile("Macro One : #A = 1 : EndMacro\nOne : #C = #A + 1"), 0) << printed;
    EXPECT_EQ(integer_constant("C"), 2);
    EXPECT_EQ(suppress_errors, 0);
}

TEST_F(MacrosTest, ArgumentsDefaultsAndJoining)
{
    ASSERT_EQ(compile("Macro Set(name, value = 3)\n #R_#name = value\nEndMacro\nSet(A)\nSet(B, 7)\n"
                      "Macro Sum(a, b) : (a + b) : EndMacro\n#S = Sum(1, Sum(2, 3)) * 2"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("R_A"), 3);
    EXPECT_EQ(integer_constant("R_B"), 7);
    EXPECT_EQ(integer_constant("S"), 12);
}

TEST_F(MacrosTest, MacroWithParametersNeedsItsParenthesis)
{
    // Named without "(", the word is left as it stands (here: an unknown
    // constant name).
    EXPECT_EQ(compile("Macro P(x) : x : EndMacro\n#Q = 1\nCompilerIf #P\nCompilerEndIf"), ERROR_CONSTANT_NOT_FOUND);
    EXPECT_EQ(compile("Macro E() : #E = 1 : EndMacro\nE()"), 0) << printed;
    EXPECT_EQ(integer_constant("E"), 1);
}

TEST_F(MacrosTest, MacroExpandedCountCountsExpansions)
{
    ASSERT_EQ(compile("Macro Count(x) : #C#x = MacroExpandedCount : EndMacro\nCount(1)\nCount(2)"), 0) << printed;
    EXPECT_EQ(integer_constant("C1"), 1);
    EXPECT_EQ(integer_constant("C2"), 2);
}

TEST_F(MacrosTest, CallErrors)
{
    EXPECT_EQ(compile("Macro M(a, b) : EndMacro\nM(1)"), ERROR_NOT_ENOUGH_MACRO_PARAMETERS);
    EXPECT_NE(printed.find("Not enough parameters for the macro: M()."), std::string::npos) << printed;
    EXPECT_EQ(compile("Macro M(a) : EndMacro\nM(1, 2)"), ERROR_TOO_MANY_PARAMETERS);
    EXPECT_EQ(compile("Macro M(a, b) : EndMacro\nM(1, )"), ERROR_EMPTY_MACRO_PARAMETER);
    EXPECT_EQ(compile("Macro A : B : EndMacro\nMacro B : A : EndMacro\nA"), ERROR_MACRO_ENDLESS_RECURSION);
    EXPECT_EQ(compile("Macro S(x) : S(x) : EndMacro\nS(1)"), ERROR_MACRO_ENDLESS_RECURSION);
}

TEST_F(MacrosTest, DefinitionErrors)
{
    EXPECT_EQ(compile("Macro M(a = 1, b) : EndMacro"), ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
    EXPECT_EQ(compile("Macro M(a, A) : EndMacro"), ERROR_MACRO_PARAMETER_DECLARED_TWICE);
    EXPECT_EQ(compile("Macro M(a = ) : EndMacro"), ERROR_DEFAULT_PARAMETER_VALUE_MISSING);
    EXPECT_EQ(compile("Macro M(a$) : EndMacro"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Macro If : EndMacro"), ERROR_MACRO_NAMED_AS_KEYWORD);
    EXPECT_EQ(compile("abc = 1\nMacro abc : 1 : EndMacro"), ERROR_MACRO_NAMED_AS_VARIABLE);
    EXPECT_NE(printed.find("A macro can't have the same name as a variable: abc."), std::string::npos) << printed;
    EXPECT_EQ(compile("abc = 1\nMacro abc(x) : x : EndMacro"), 0) << printed;
    EXPECT_EQ(compile("Macro M : EndMacro\nMacro m : EndMacro"), ERROR_MACRO_ALREADY_DECLARED);
    EXPECT_EQ(compile("Macro M : EndMacro x"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Macro M\n#A = 1"), ERROR_END_KEYWORD_MISSING);
}

TEST_F(MacrosTest, DirectivesInABodyAreCapturedNotRun)
{
    ASSERT_EQ(compile("Macro Pick(x)\nCompilerIf x\n #A = 1\nCompilerElse\n #A = 2\nCompilerEndIf\nEndMacro\n"
                      "Pick(0)"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("A"), 2);
}

TEST_F(MacrosTest, UndefineMacroRemovesIt)
{
    EXPECT_EQ(compile("Macro One : #A = 1 : EndMacro\nUndefineMacro One\nMacro One : #A = 2 : EndMacro\nOne"), 0)
        << printed;
    EXPECT_EQ(integer_constant("A"), 2);
    EXPECT_EQ(compile("UndefineMacro NeverDefined"), 0) << printed;
    EXPECT_EQ(compile("UndefineMacro Nowhere::M"), ERROR_MODULE_NOT_FOUND);
}

TEST_F(MacrosTest, MacroOutHoldsTheExpansionOfAFailingLine)
{
    std::string stale = folder + "Macro.out";
    std::ofstream(stale) << "old";
    EXPECT_EQ(compile("Macro Bad(a)\n #Z = a\n #Y = 1 / 0\nEndMacro\n\nBad(4)"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(read_file("Macro.out"), "#Z = 4\n#Y = 1 / 0");
    EXPECT_NE(printed.find("Error: Line 6 - "), std::string::npos) << printed;
    EXPECT_NE(printed.find("at line 2 of the expanded macro (Macro.out)"), std::string::npos) << printed;

    // An error outside expansions deletes an old file and writes none.
    std::ofstream(stale) << "old";
    EXPECT_EQ(compile("#Y = 1 / 0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_FALSE(file_exists("Macro.out"));
    EXPECT_EQ(printed.find("expanded macro"), std::string::npos) << printed;

    // CompilerError inside an expansion writes no file either.
    EXPECT_EQ(compile("Macro Stop : CompilerError \"stop\" : EndMacro\nStop"), ERROR_CUSTOM_TEXT);
    EXPECT_FALSE(file_exists("Macro.out"));
    EXPECT_EQ(printed.find("expanded macro"), std::string::npos) << printed;
}

TEST_F(MacrosTest, RunawayExpansionIsStoppedBySize)
{
    // Each level doubles the text: 2^24 copies would pass any buffer.
    std::string text = "Macro L0 : 1 : EndMacro\n";
    for (int i = 1; i <= 24; i++) {
        text += "Macro L" + std::to_string(i) + " : L" + std::to_string(i - 1) + " + L" + std::to_string(i - 1) +
                " : EndMacro\n";
    }
    text += "#Big = L24";
    EXPECT_EQ(compile(text), ERROR_MACRO_TOO_BIG);
}

}  // namespace
