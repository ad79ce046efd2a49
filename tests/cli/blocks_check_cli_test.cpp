// Syntax checks (/CHECK) of programs with blocks: balanced blocks pass,
// a block left open or closed by the wrong statement is reported with its line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

const std::string compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompiler";

struct BlockCheck {
    std::string output;
    int exit_code;
};

class BlocksCheckCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zd_blocks_XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    BlockCheck check(const std::string& source) {
        std::ofstream(folder + "/main.zd", std::ios::binary) << source;
        std::string command = "cd '" + folder + "' && '" + compiler + "' /CHECK main.zd </dev/null 2>&1";
        BlockCheck result{"", -1};
        result.output = run_shell(command, &result.exit_code);
        return result;
    }

    std::string folder;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(BlocksCheckCli, BalancedBlocksPass) {
    BlockCheck r = check(
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
    BlockCheck r = check("a = 1\nIf a\n  a = 2\n");
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
    BlockCheck r = check("a = 1\nIf a\nWend\n");
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
