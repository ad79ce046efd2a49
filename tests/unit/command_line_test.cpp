// The switch parser: defaults, switch forms, values, and the stop messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backend_x64/x64_backend.h"
#include "driver/command_line.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "emit_test_support.h"

namespace {

const std::string banner = "Zandrel 6.10 LTS (Windows - x64)\n";
const std::string hint = "Type 'zdcompiler /?' for quick help.\n";

class CommandLineTest : public ::testing::Test {
protected:
    // One compiler initialisation per process, shared with the emitter tests.
    static void SetUpTestSuite() { ensure_compiler_initialised(); }

    void SetUp() override { list_clear(subsystem_list); }

    // Parses "zdcompiler" followed by the arguments; returns the answer and
    // keeps the captured standard output in `output`.
    int parse(std::vector<std::string> arguments)
    {
        storage = std::move(arguments);
        storage.insert(storage.begin(), "zdcompiler");
        pointers.clear();
        for (std::string& argument : storage) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        testing::internal::CaptureStdout();
        int answer = parse_command_line(static_cast<int>(storage.size()), pointers.data());
        output = testing::internal::GetCapturedStdout();
        return answer;
    }

    std::vector<std::string> subsystem_names()
    {
        std::vector<std::string> names;
        list_reset_cursor(subsystem_list);
        while (ListNode* node = static_cast<ListNode*>(list_next(subsystem_list)))
            names.push_back(*reinterpret_cast<char**>(node + 1));
        return names;
    }

    std::vector<std::string> storage;
    std::vector<char*> pointers;
    std::string output;
};

TEST_F(CommandLineTest, SourceAloneKeepsEveryDefault)
{
    // Options of an earlier parse must not leak into this one.
    parse({"a.zd", "/DLL", "/CONSOLE", "/SSE", "/DEBUGGER", "-o", "x.exe"});
    ASSERT_EQ(1, parse({"prog.zd"}));
    EXPECT_EQ("", output);
    EXPECT_STREQ("prog.zd", source_file);
    EXPECT_EQ(0, dll_mode);
    EXPECT_EQ(0, console_mode);
    EXPECT_EQ(0, cpu_mode);
    EXPECT_EQ(0, debugger_enabled);
    EXPECT_EQ(nullptr, output_file);
    EXPECT_STREQ("Windows", executable_subsystem_name);
}

TEST_F(CommandLineTest, NoArgumentsPrintsBannerAndStops)
{
    EXPECT_EQ(0, parse({}));
    EXPECT_EQ(banner + "A source filename need to be specified.\n" + hint, output);
}

TEST_F(CommandLineTest, HelpHasNoBannerAndStopsTheWalk)
{
    EXPECT_EQ(0, parse({"-h", "/DLL"}));
    EXPECT_EQ(0, dll_mode);
    EXPECT_EQ(0u, output.find("\nUsage: zdcompiler \"Filename\"\n\nCross-platform options:\n"));
    EXPECT_NE(std::string::npos, output.find("  /IGNORERESIDENT-ir, --ignoreresident \"Filename\"\n"));
    EXPECT_NE(std::string::npos, output.find("  /XP:                 Add the Windows XP theme support"));
    EXPECT_EQ(std::string::npos, output.find(banner));
    const std::string last =
        "  /DYNAMICCPU          Create a executable containing all processor specific routines\n";
    ASSERT_GE(output.size(), last.size());
    EXPECT_EQ(last, output.substr(output.size() - last.size()));
}

TEST_F(CommandLineTest, SlashOnlySwitchesRejectTheirDashForms)
{
    for (const char* form : {"-ra", "--reasm", "-icon", "-xp", "-dllprotection", "-dpiaware", "-user",
                             "-administrator", "-windowsimport", "-resource", "-dll", "-console",
                             "-linker", "--3dnow", "-exe"}) {
        EXPECT_EQ(0, parse({"a.zd", form})) << form;
        EXPECT_EQ(std::string(form) + ": Unknown switch\n", output) << form;
    }
}

TEST_F(CommandLineTest, SwitchesIgnoreCaseAndSetTheirOptions)
{
    ASSERT_EQ(1, parse({"/output", "out.exe", "--Thread", "-Z", "/dll", "/Console", "-l", "/xp",
                        "/DPIAWARE", "/USER", "/ADMINISTRATOR", "/DLLPROTECTION", "-k", "-pf",
                        "-c", "/UNICODE", "/REASM", "src.zd"}));
    EXPECT_STREQ("out.exe", output_file);
    EXPECT_EQ(1, thread_safe);
    EXPECT_EQ(1, optimizer_enabled);
    EXPECT_EQ(1, dll_mode);
    EXPECT_EQ(1, console_mode);
    EXPECT_STREQ("Console", executable_subsystem_name);
    EXPECT_EQ(1, line_numbering);
    EXPECT_EQ(1, xp_skin);
    EXPECT_EQ(1, dpi_aware);
    EXPECT_EQ(1, run_as_user);
    EXPECT_EQ(1, run_as_administrator);
    EXPECT_EQ(1, dll_protection);
    EXPECT_EQ(1, check_syntax_only);
    EXPECT_EQ(1, purifier_enabled);
    EXPECT_EQ(1, commented_output);
    EXPECT_EQ(1, reassemble_mode);
    EXPECT_EQ(0, quiet_mode);
}

TEST_F(CommandLineTest, OutputHasSixForms)
{
    for (const char* form : {"/OUTPUT", "/EXE", "-o", "--output", "-e", "--executable"}) {
        ASSERT_EQ(1, parse({"a.zd", form, "x.exe"})) << form;
        EXPECT_STREQ("x.exe", output_file) << form;
    }
}

TEST_F(CommandLineTest, ValueIsTakenWhateverItLooksLike)
{
    ASSERT_EQ(1, parse({"a.zd", "/OUTPUT", "/DLL", "-r", "--help", "/ICON", "-x"}));
    EXPECT_STREQ("/DLL", output_file);
    EXPECT_EQ(0, dll_mode);
    EXPECT_STREQ("--help", resident_file);
    EXPECT_EQ(1, resident_mode);
    EXPECT_STREQ("-x", icon_file);
    EXPECT_EQ("", output);
}

TEST_F(CommandLineTest, LastSourceNameWins)
{
    ASSERT_EQ(1, parse({"first.zd", "second.zd"}));
    EXPECT_STREQ("second.zd", source_file);
}

TEST_F(CommandLineTest, LastProcessorSwitchWins)
{
    struct Case { const char* form; int32_t mode; };
    for (Case c : {Case{"-mmx", 0x10000}, Case{"/3DNOW", 0x80000}, Case{"-sse", 0x20000},
                   Case{"/SSE2", 0x40000}, Case{"--dynamiccpu", 0x100000}}) {
        ASSERT_EQ(1, parse({"a.zd", "/SSE", c.form}));
        EXPECT_EQ(c.mode, cpu_mode) << c.form;
    }
    ASSERT_EQ(1, parse({"a.zd", "/DYNAMICCPU", "/MMX"}));
    EXPECT_EQ(0x10000, cpu_mode);
}

TEST_F(CommandLineTest, StandbySetsQuietAndNeedsNoSource)
{
    ASSERT_EQ(1, parse({"-sb"}));
    EXPECT_EQ(1, standby_mode);
    EXPECT_EQ(1, quiet_mode);
    EXPECT_EQ("", output);
}

TEST_F(CommandLineTest, VersionReadsEverySwitchThenStops)
{
    EXPECT_EQ(0, parse({"-v", "/DLL", "-o", "x.dll", "src.zd"}));
    EXPECT_EQ(banner, output);
    EXPECT_EQ(1, dll_mode);
    EXPECT_STREQ("x.dll", output_file);
    EXPECT_STREQ("src.zd", source_file);
}

TEST_F(CommandLineTest, VersionAfterAnUnknownSwitchStillPrintsTheBanner)
{
    EXPECT_EQ(0, parse({"/VERSION", "/X"}));
    EXPECT_EQ("/X: Unknown switch\n" + banner, output);
}

TEST_F(CommandLineTest, SubsystemNamesAreKeptInOrder)
{
    ASSERT_EQ(1, parse({"-s", "gtk", "a.zd", "/SUBSYSTEM", "qt"}));
    EXPECT_EQ((std::vector<std::string>{"gtk", "qt"}), subsystem_names());
    // The list holds copies, not the argument texts.
    storage[2][0] = 'X';
    EXPECT_EQ("gtk", subsystem_names()[0]);
}

TEST_F(CommandLineTest, SubsystemWithoutNameWarnsAndGoesOn)
{
    EXPECT_EQ(1, parse({"a.zd", "/SUBSYSTEM"}));
    EXPECT_EQ("Error: a subsystem name needs to be specified.\n", output);
    EXPECT_TRUE(subsystem_names().empty());
    EXPECT_EQ(1, parse({"/QUIET", "a.zd", "/SUBSYSTEM"}));
    EXPECT_EQ("", output);
}

TEST_F(CommandLineTest, MissingFileNameMessages)
{
    struct Case { std::vector<std::string> arguments; std::string message; };
    const std::vector<Case> cases = {
        {{"/DLL"}, "A source filename need to be specified.\n"},
        {{"/CREATETESTFILE"}, "A filename need to be specified after /CREATETESTFILE.\n"},
        {{"a.zd", "-pp"}, "A filename need to be specified after /PREPROCESS.\n"},
        {{"/PREPROCESS"}, "A source filename need to be specified.\n"},
        {{"/REASM"}, "A source filename needs to be specified when using /REASM.\n"},
        {{"-lf"}, "A filename needs to be specified when using /LISTFUNCTIONS.\n"},
        {{"-li", "-lf", "-qs", "Point"}, "A filename needs to be specified when using /LISTFUNCTIONS.\n"},
        {{"-qs", "Point", "-li"}, "A filename needs to be specified when using /LISTINTERFACES.\n"},
        {{"-qs", "Point", "-ls"}, "A filename needs to be specified when using /LISTSTRUCTURES.\n"},
        {{"-qs", "Point"}, "A filename needs to be specified when using /QUERYSTRUCTURE.\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(0, parse(c.arguments)) << c.message;
        EXPECT_EQ(banner + c.message + hint, output);
    }
}

TEST_F(CommandLineTest, ModesWithoutSourceThatGoOn)
{
    EXPECT_EQ(1, parse({"/CREATETESTFILE", "test.zd"}));
    EXPECT_STREQ("test.zd", test_file);
    EXPECT_EQ(1, test_file_mode);
    EXPECT_EQ(nullptr, source_file);
    EXPECT_EQ(1, parse({"-ls", "-o", "list.txt"}));
    EXPECT_EQ(1, list_structures_mode);
    EXPECT_EQ(1, parse({"--querystructure", "Point", "/OUTPUT", "p.txt"}));
    EXPECT_STREQ("Point", query_structure_name);
    EXPECT_EQ("", output);
}

TEST_F(CommandLineTest, ModeSwitchWithoutValueAtTheEndStops)
{
    struct Case { std::vector<std::string> arguments; const char* name; };
    const std::vector<Case> cases = {
        {{"a.zd", "/RESIDENT"}, "/RESIDENT"},
        {{"a.zd", "-i"}, "/IMPORT"},
        {{"a.zd", "/WINDOWSIMPORT"}, "/WINDOWSIMPORT"},
        {{"a.zd", "-ctf"}, "/CREATETESTFILE"},
        {{"-o", "out.txt", "--querystructure"}, "/QUERYSTRUCTURE"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(0, parse(c.arguments)) << c.name;
        EXPECT_EQ(banner + "A filename need to be specified after " + c.name + ".\n" + hint, output);
    }
}

TEST_F(CommandLineTest, OptionalValueSwitchesMayStayEmpty)
{
    for (const char* form : {"/OUTPUT", "/ICON", "/RESOURCE", "/LINKER", "-ir", "-g"}) {
        EXPECT_EQ(1, parse({"a.zd", form})) << form;
        EXPECT_EQ("", output) << form;
    }
    EXPECT_EQ(nullptr, language_name);
}

TEST(InstallationTest, HomeIsCutAfterTheSecondToLastSeparator)
{
    EXPECT_EQ("C:\\A\\", derive_home_folder("C:\\A\\B\\prog.exe"));
    EXPECT_EQ("/opt/zandrel/", derive_home_folder("/opt/zandrel/Compilers/zdcompiler"));
    EXPECT_EQ("/x\\", derive_home_folder("/x\\bin/prog"));
    EXPECT_EQ("/", derive_home_folder("/prog"));
    EXPECT_EQ("/", derive_home_folder("prog"));
}

TEST(InstallationTest, VersionNumber)
{
    EXPECT_EQ(610, compiler_version_number());
    EXPECT_STREQ("6.10 LTS", version_text);
}

}  // namespace
