// Syntax checks (/CHECK) by the laid-out zdcompiler of enumerations,
// compile-time functions, Swap, Debug, Runtime, DataSection data, Read,
// Restore and structure fields.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

const std::string compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompiler";

struct CheckRun {
    std::string output;
    int exit_code;
};

std::string shell_quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class MiscStatementsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zd_misc_check_XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf " + shell_quoted(folder)).c_str()); }

    CheckRun check(const std::string& source)
    {
        std::ofstream(folder + "/main.zd", std::ios::binary) << source;
        std::string command = "cd " + shell_quoted(folder) + " && " + shell_quoted(compiler) +
                              " /CHECK main.zd </dev/null 2>&1";
        CheckRun result{"", -1};
        result.output = run_shell(command, &result.exit_code);
        return result;
    }

    std::string folder;
};

TEST_F(MiscStatementsCli, EnumerationsPassAndReportTheirErrors)
{
    CheckRun r = check("Enumeration Colors 1 Step 2\n  #Red\n  #Green\nEndEnumeration\n"
                       "EnumerationBinary\n  #A : #B\nEndEnumeration\n"
                       "CompilerIf #Green + #B <> 5\n  CompilerError \"wrong\"\nCompilerEndIf\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(ends_with(r.output, "Syntax check finished without error (11 lines).\n")) << r.output;

    r = check("EnumerationBinary 1 Step 2\nEndEnumeration\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 1 - 'Step' is not supported for 'EnumerationBinary'.\n"))
        << r.output;

    r = check("Enumeration\n  #A\n  x = 1\nEndEnumeration\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 3 - Only constants are allowed in an Enumeration.\n")) << r.output;
}

}  // namespace
