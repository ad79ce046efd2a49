// Syntax checks (/CHECK) of programs with blocks: balanced blocks pass,
// a block left open or closed by the wrong statement is reported with its line.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

using BlocksCheckCli = CompilerFolderTest;

TEST_F(BlocksCheckCli, BalancedBlocksPass) {
    CompilerRun r = check(
        "For i = 1 To 10 Step 2\n"
        "  If i > 3 And i < 8\n"
        "    Continue\n"
        "  ElseIf Not i\n"
        "    Break\n"
        "  Else\n"
        "    Select i\n"
        "      Case 1, 3 To 5\n"
        "        n = n + 1\n"
        "      Default\n"
        "        n = n - 1\n"
        "    EndSelect\n"
        "  EndIf\n"
        "Next i\n"
        "While n < 100 : n = n * 2 : Wend\n"
        "Repeat : n = n - 1 : Until n <= 0\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "Syntax check finished without error")) << r.output;
}

TEST_F(BlocksCheckCli, OpenBlocksAtTheEndOfTheSource) {
    CompilerRun r = check("a = 1\nIf a\n  a = 2\n");
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "The following end condition keyword is missing: EndIf.")) << r.output;
    r = check("While 1\n");
    EXPECT_TRUE(contains(r.output, "missing: Wend.")) << r.output;
    r = check("Repeat\n");
    EXPECT_TRUE(contains(r.output, "missing: Until.")) << r.output;
    r = check("For i = 1 To 2\n");
    EXPECT_TRUE(contains(r.output, "missing: Next.")) << r.output;
    r = check("Select a\n");
    EXPECT_TRUE(contains(r.output, "missing: EndSelect.")) << r.output;
    r = check("Select a\nCase 1\n");
    EXPECT_TRUE(contains(r.output, "Unfinished condition.")) << r.output;
}

TEST_F(BlocksCheckCli, WrongClosingStatements) {
    CompilerRun r = check("a = 1\nIf a\nWend\n");
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_TRUE(contains(r.output, "Line 3")) << r.output;
    EXPECT_TRUE(contains(r.output, "Another 'End Condition' operand is expected here.")) << r.output;
    r = check("Next\n");
    EXPECT_TRUE(contains(r.output, "'Next' without 'For'.")) << r.output;
    r = check("EndIf\n");
    EXPECT_TRUE(contains(r.output, "'EndIf' without 'If'.")) << r.output;
    r = check("If 1\nElse\nElseIf 2\nEndIf\n");
    EXPECT_TRUE(contains(r.output, "'ElseIf' can't be used after 'Else'.")) << r.output;
    r = check("While 1\nBreak 2\nWend\n");
    EXPECT_TRUE(contains(r.output, "'Break' level is too high")) << r.output;
}

}  // namespace
