// Syntax checks (/CHECK) by the laid-out zdcompiler on small programs made
// of the statements the front end reads today, and /CONSTANT definitions.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

class CheckCli : public CompilerFolderTest {
protected:
    CompilerRun run(const std::vector<std::string>& arguments)
    {
        std::string command = "cd " + shell_quoted(folder) + " && " + shell_quoted(laid_out_compiler("zdcompiler"));
        for (const std::string& a : arguments) command += " " + shell_quoted(a);
        command += " </dev/null 2>&1";
        CompilerRun result{"", -1};
        result.output = run_shell(command, &result.exit_code);
        return result;
    }
};

TEST_F(CheckCli, CleanProgramPrintsTheLineCount)
{
    CompilerRun r = check("; a comment\nEnableExplicit : DisableExplicit\nEnableASM\nDisableASM");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(ends_with(r.output, "Starting syntax check...\nSyntax check finished without error (4 lines).\n"))
        << r.output;
    // Nothing is written by a syntax check.
    EXPECT_FALSE(std::ifstream(folder + "/zandrel.asm").good());
}

TEST_F(CheckCli, ErrorIsReportedOnceWithItsLine)
{
    CompilerRun r = check("; x\n\n= 5\n= 6\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 3 - Syntax error.\n")) << r.output;
    EXPECT_EQ(r.output.find("Error:"), r.output.rfind("Error:"));
}

TEST_F(CheckCli, ErrorInAContinuedLineNamesItsPhysicalLine)
{
    CompilerRun r = check("EnableASM\nx$ = \"abc +\n  def\"\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 2 - Unfinished double quote.\n")) << r.output;
}

TEST_F(CheckCli, StatementsMustStartWithANameOrSymbol)
{
    CompilerRun r = check("5 + 3\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 1 - Syntax error.\n")) << r.output;
    r = check("EnableASM 1\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 1 - Garbage at the end of the line.\n")) << r.output;
}

TEST_F(CheckCli, IncludeFilesAndTheirErrors)
{
    write("inc.zd", "; included\nEnableASM\n");
    write("sub/other.zd", "");
    std::system(("mkdir -p " + shell_quoted(folder + "/sub")).c_str());
    write("sub/other.zd", "; in a sub folder\n");
    CompilerRun r = check("IncludeFile \"inc.zd\"\nXIncludeFile \"inc.zd\"\nIncludePath \"sub\"\n"
                       "IncludeFile \"other.zd\"\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    // XIncludeFile skips a file that was included already.
    size_t first = r.output.find("Including source: inc.zd\n");
    EXPECT_NE(first, std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Including source: inc.zd\n", first + 1), std::string::npos);
    EXPECT_NE(r.output.find("Including source: other.zd\n"), std::string::npos);
    EXPECT_NE(r.output.find("Syntax check finished without error (10 lines).\n"), std::string::npos) << r.output;

    write("bad.zd", "; fine\n\n=\n");
    r = check("IncludeFile \"bad.zd\"\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("Error: in included file '"), std::string::npos) << r.output;
    EXPECT_TRUE(ends_with(r.output, "bad.zd'\nLine 3 - Syntax error.\n")) << r.output;

    r = check("\nIncludeFile \"missing.zd\"\n");
    EXPECT_NE(r.output.find("Error: Line 2 - File not found ("), std::string::npos) << r.output;
    r = check("IncludeFile \"\"\n");
    EXPECT_NE(r.output.find("File not found ("), std::string::npos) << r.output;
    r = check("IncludeFile\n");
    EXPECT_TRUE(ends_with(r.output, "Only a literal string can be put after 'IncludeFile'.\n")) << r.output;
}

TEST_F(CheckCli, ByteOrderMarkAndEditorOptionsTail)
{
    CompilerRun r = check("\xEF\xBB\xBF; text\r\nEnableASM\r\n; IDE Options = x\r\n; Folding");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("(2 lines)"), std::string::npos) << r.output;
}

TEST_F(CheckCli, ConstantOptions)
{
    write("main.zd", "; nothing\n");
    CompilerRun r = run({"/CHECK", "main.zd", "/CONSTANT", "ZD_Compiler_OS=3"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("Can't define a value for a built-in constant: ZD_Compiler_OS\n"), std::string::npos)
        << r.output;
    r = run({"/CHECK", "main.zd", "/CONSTANT", "zd_compiler_file=x"});
    EXPECT_NE(r.output.find("Can't define a value for a built-in constant: zd_compiler_file\n"), std::string::npos);
    r = run({"/CHECK", "main.zd", "/CONSTANT", "=5"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("A constant name must be specified after "), std::string::npos) << r.output;
    r = run({"/CHECK", "main.zd", "/CONSTANT", "NAME"});
    EXPECT_NE(r.output.find("Error in constant definition: NAME.\n"), std::string::npos) << r.output;
    r = run({"/CHECK", "main.zd", "/CONSTANT", "BIG=99999999999999999999"});
    EXPECT_NE(r.output.find("Error in constant definition: BIG=99999999999999999999.\n"), std::string::npos)
        << r.output;
    for (const char* good : {"A=12", "B=1.5", "C=1.5.2", "D=abc", "E=", "F=-7", "G=-", "H=5000000000"}) {
        r = run({"/CHECK", "main.zd", "/CONSTANT", good});
        EXPECT_EQ(r.exit_code, 0) << good << "\n" << r.output;
    }
}

}  // namespace
