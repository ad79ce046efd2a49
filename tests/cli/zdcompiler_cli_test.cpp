// Runs the laid-out zdcompiler and compares its whole standard output and
// exit code for the command-line stops and the start-up lines.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

const std::string compiler_path = std::string(ZANDREL_HOME) + "/Compilers/zdcompiler";
const std::string banner = "Zandrel 6.10 LTS (Windows - x64)\n";
const std::string hint = "Type 'zdcompiler /?' for quick help.\n";

struct RunResult {
    std::string output;
    int exit_code;
};

std::string quote_for_shell(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

// Runs the compiler in a scratch folder with an empty standard input.
RunResult run_compiler(const std::vector<std::string>& arguments, const std::string& path = compiler_path)
{
    std::string command = "cd " + quote_for_shell(testing::TempDir()) + " && " + quote_for_shell(path);
    for (const std::string& argument : arguments) command += " " + quote_for_shell(argument);
    command += " </dev/null 2>/dev/null";
    RunResult result{"", -1};
    result.output = run_shell(command, &result.exit_code);
    return result;
}

TEST(ZdcompilerCli, NoArguments)
{
    RunResult r = run_compiler({});
    EXPECT_EQ(banner + "A source filename need to be specified.\n" + hint, r.output);
    EXPECT_EQ(1, r.exit_code);
}

TEST(ZdcompilerCli, HelpIsPrintedWithoutBanner)
{
    RunResult r = run_compiler({"/?"});
    EXPECT_EQ(1, r.exit_code);
    EXPECT_EQ(0u, r.output.find("\nUsage: zdcompiler \"Filename\"\n\n"));
    EXPECT_EQ(std::string::npos, r.output.find("Zandrel 6.10"));
    EXPECT_NE(std::string::npos, r.output.find("  /REASM, -ra, --reasm        Compile the 'zandrel.asm' file back to an executable\n"));
    EXPECT_NE(std::string::npos, r.output.find("\nWindows specific options:\n  /DLL                 Create a DLL\n"));
    EXPECT_EQ(r.output, run_compiler({"--help"}).output);
    EXPECT_EQ(r.output, run_compiler({"a.zd", "-H"}).output);
}

TEST(ZdcompilerCli, VersionWithOtherSwitches)
{
    RunResult r = run_compiler({"/DLL", "--version", "-o", "x.dll", "src.zd", "/THREAD"});
    EXPECT_EQ(banner, r.output);
    EXPECT_EQ(1, r.exit_code);
}

TEST(ZdcompilerCli, TheCCompilerStopsWithItsOwnBanner)
{
    const std::string c_compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompilerc";
    const std::string c_banner = "Zandrel 6.10 LTS - C Backend (Windows - x64)\n";
    RunResult r = run_compiler({"/VERSION"}, c_compiler);
    EXPECT_EQ(c_banner, r.output);
    EXPECT_EQ(1, r.exit_code);
    r = run_compiler({}, c_compiler);
    EXPECT_EQ(c_banner + "A source filename need to be specified.\n" + hint, r.output);
}

TEST(ZdcompilerCli, VersionThenUnknownSwitch)
{
    RunResult r = run_compiler({"/VERSION", "/X"});
    EXPECT_EQ("/X: Unknown switch\n" + banner, r.output);
    EXPECT_EQ(1, r.exit_code);
}

TEST(ZdcompilerCli, UnknownSwitchStopsWithoutBanner)
{
    RunResult r = run_compiler({"src.zd", "--frobnicate", "/DLL"});
    EXPECT_EQ("--frobnicate: Unknown switch\n", r.output);
    EXPECT_EQ(1, r.exit_code);
}

TEST(ZdcompilerCli, SlashOnlySwitchesInDashForm)
{
    for (const char* form : {"-ra", "--reasm", "-icon", "-xp", "-dllprotection", "-dpiaware", "-user",
                             "-administrator", "-windowsimport", "-resource", "-dll", "-console", "-linker"}) {
        RunResult r = run_compiler({"src.zd", form});
        EXPECT_EQ(std::string(form) + ": Unknown switch\n", r.output);
        EXPECT_EQ(1, r.exit_code) << form;
    }
}

TEST(ZdcompilerCli, MissingFileNames)
{
    struct Case { std::vector<std::string> arguments; std::string message; };
    const std::vector<Case> cases = {
        {{"/CREATETESTFILE"}, "A filename need to be specified after /CREATETESTFILE.\n"},
        {{"src.zd", "/PREPROCESS"}, "A filename need to be specified after /PREPROCESS.\n"},
        {{"/REASM"}, "A source filename needs to be specified when using /REASM.\n"},
        {{"/LISTSTRUCTURES"}, "A filename needs to be specified when using /LISTSTRUCTURES.\n"},
        {{"-lf"}, "A filename needs to be specified when using /LISTFUNCTIONS.\n"},
        {{"--listinterfaces"}, "A filename needs to be specified when using /LISTINTERFACES.\n"},
        {{"-qs", "Point"}, "A filename needs to be specified when using /QUERYSTRUCTURE.\n"},
        {{"/QUIET", "/THREAD"}, "A source filename need to be specified.\n"},
    };
    for (const Case& c : cases) {
        RunResult r = run_compiler(c.arguments);
        EXPECT_EQ(banner + c.message + hint, r.output);
        EXPECT_EQ(1, r.exit_code) << c.message;
    }
}

TEST(ZdcompilerCli, ValueSwitchGivenLast)
{
    for (const char* form : {"/RESIDENT", "/IMPORT", "/WINDOWSIMPORT", "/CREATETESTFILE"}) {
        RunResult r = run_compiler({"src.zd", form});
        EXPECT_EQ(banner + "A filename need to be specified after " + form + ".\n" + hint, r.output);
        EXPECT_EQ(1, r.exit_code) << form;
    }
    RunResult r = run_compiler({"-o", "list.txt", "/QUERYSTRUCTURE"});
    EXPECT_EQ(banner + "A filename need to be specified after /QUERYSTRUCTURE.\n" + hint, r.output);
    EXPECT_EQ(1, r.exit_code);
}

TEST(ZdcompilerCli, StartUpLinesOfACompilation)
{
    RunResult r = run_compiler({"missing_source.zd"});
    EXPECT_EQ(0u, r.output.find(banner + "Compiling missing_source.zd\nLoading external libraries...\n"));

    // Quiet mode silences the progress lines.
    r = run_compiler({"/QUIET", "missing_source.zd"});
    EXPECT_EQ(std::string::npos, r.output.find("Zandrel 6.10"));
    EXPECT_EQ(std::string::npos, r.output.find("Compiling"));
    EXPECT_EQ(std::string::npos, r.output.find("Loading external libraries"));
}

TEST(ZdcompilerCli, StandbyStartsWithTheStartingLine)
{
    const std::string starting = "STARTING\t6.10\t" + banner;
    RunResult r = run_compiler({"/STANDBY"});
    EXPECT_EQ(0u, r.output.find(starting));
    // The banner itself is silent in standby mode.
    EXPECT_EQ(std::string::npos, r.output.find(banner, starting.size()));
}

}  // namespace
