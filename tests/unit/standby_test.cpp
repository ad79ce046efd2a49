// The standby command parsing: the field splitter, the COMPILE option words,
// the option reset and the storing commands; the routine-name suffixes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/file_helpers.h"
#include "core_test_support.h"
#include "driver/standby.h"
#include "frontend/libraries.h"

namespace {

class StandbyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_core_state();
        reset_compile_options();
    }
    void TearDown() override
    {
        reset_compile_options();
        quiet_mode = 0;
    }
};

TEST_F(StandbyTest, FieldsAreCutAtTabsAndLineFeeds)
{
    char line[] = "SOURCE\tC:\\a b\\c.zd\t\tlast\n";
    set_field_cursor(line);
    EXPECT_STREQ("SOURCE", next_standby_field());
    EXPECT_STREQ("C:\\a b\\c.zd", next_standby_field());
    EXPECT_STREQ("", next_standby_field());
    EXPECT_STREQ("last", next_standby_field());
    // Past the end of the line every field is empty.
    EXPECT_STREQ("", next_standby_field());
    EXPECT_STREQ("", next_standby_field());

    char bare[] = "COMPILE";
    set_field_cursor(bare);
    EXPECT_STREQ("COMPILE", next_standby_field());
    EXPECT_STREQ("", next_standby_field());
}

TEST_F(StandbyTest, CompileWordsSetTheirOptionsExactly)
{
    struct Case {
        const char* word;
        int32_t* option;
    };
    const Case cases[] = {
        {"DEBUGGER", &debugger_enabled},   {"DLL", &dll_mode},
        {"XPSKIN", &xp_skin},              {"DLLPROTECTION", &dll_protection},
        {"DPIAWARE", &dpi_aware},          {"ONERROR", &line_numbering},
        {"THREAD", &thread_safe},          {"PROGRESS", &report_progress},
        {"USER", &run_as_user},            {"ADMINISTRATOR", &run_as_administrator},
        {"WARNINGS", &report_warnings},    {"REDIRECT", &redirect_files},
        {"CHECKSYNTAX", &check_syntax_only}, {"OPTIMIZER", &optimizer_enabled},
    };
    for (const Case& c : cases) {
        reset_compile_options();
        std::string lower = c.word;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        set_compile_option_word(lower.c_str());
        set_compile_option_word((std::string(c.word) + "X").c_str());
        EXPECT_EQ(0, *c.option) << c.word;
        set_compile_option_word(c.word);
        EXPECT_EQ(1, *c.option) << c.word;
    }

    reset_compile_options();
    set_compile_option_word("CONSOLE");
    EXPECT_EQ(1, console_mode);
    EXPECT_STREQ("Console", executable_subsystem_name);
    set_compile_option_word("PURIFIER");
    EXPECT_EQ(1, purifier_enabled);

    // The last processor word wins.
    set_compile_option_word("SSE2");
    EXPECT_EQ(cpu_mode_sse2, cpu_mode);
    set_compile_option_word("MMX");
    set_compile_option_word("3DNOW");
    EXPECT_EQ(cpu_mode_3dnow, cpu_mode);
    set_compile_option_word("DYNAMICCPU");
    EXPECT_EQ(cpu_mode_dynamic, cpu_mode);
    set_compile_option_word("SSE");
    EXPECT_EQ(cpu_mode_sse, cpu_mode);
}

TEST_F(StandbyTest, ResetClearsTheCompileOptionsButNotQuietMode)
{
    quiet_mode = 1;
    commented_output = 1;
    for (const char* word : {"DEBUGGER", "DLL", "XPSKIN", "DLLPROTECTION", "DPIAWARE", "ONERROR", "CONSOLE", "THREAD",
                             "SSE", "PROGRESS", "USER", "ADMINISTRATOR", "WARNINGS", "REDIRECT", "CHECKSYNTAX",
                             "OPTIMIZER", "PURIFIER"})
        set_compile_option_word(word);
    char commands[][64] = {"SOURCE\ta.zd", "SOURCEALIAS\tb.zd", "INCLUDEPATH\tinc\\", "RESOURCE\tr.rc",
                           "ICON\ti.ico",  "TARGET\tout.exe",   "LINKER\tlink.txt"};
    for (char* command : commands) EXPECT_TRUE(run_standby_command(command));

    reset_compile_options();
    EXPECT_STREQ("", source_file);
    EXPECT_STREQ("", include_path);
    EXPECT_EQ(nullptr, source_alias);
    EXPECT_EQ(nullptr, resource_file);
    EXPECT_EQ(nullptr, icon_file);
    EXPECT_EQ(nullptr, output_file);
    EXPECT_EQ(nullptr, linker_file);
    EXPECT_STREQ("Windows", executable_subsystem_name);
    for (int32_t value : {xp_skin, dll_protection, dpi_aware, debugger_enabled, thread_safe, dll_mode, line_numbering,
                          cpu_mode, report_progress, run_as_user, run_as_administrator, report_warnings, redirect_files,
                          check_syntax_only, console_mode, optimizer_enabled})
        EXPECT_EQ(0, value);
    EXPECT_EQ(0, purifier_enabled);
    EXPECT_EQ(1, quiet_mode);
    // Options that no standby word sets stay as the command line left them.
    EXPECT_EQ(1, commented_output);
    commented_output = 0;
}

TEST_F(StandbyTest, StoringCommandsCopyTheirField)
{
    char line[] = "SOURCE\t/home/me/main.zd\tignored";
    EXPECT_TRUE(run_standby_command(line));
    ASSERT_NE(nullptr, source_file);
    EXPECT_STREQ("/home/me/main.zd", source_file);
    // The text was copied: the line buffer may be reused.
    std::memset(line, 'x', sizeof line - 1);
    EXPECT_STREQ("/home/me/main.zd", source_file);

    // A storing command without a field stores the empty text.
    char target[] = "TARGET";
    EXPECT_TRUE(run_standby_command(target));
    ASSERT_NE(nullptr, output_file);
    EXPECT_STREQ("", output_file);

    char lower[] = "source\tother.zd";
    EXPECT_TRUE(run_standby_command(lower));
    EXPECT_STREQ("/home/me/main.zd", source_file);
}

TEST_F(StandbyTest, OnlyEndEndsTheLoop)
{
    char end[] = "END";
    EXPECT_FALSE(run_standby_command(end));
    char end_with_field[] = "END\tnow";
    EXPECT_FALSE(run_standby_command(end_with_field));
    char longer[] = "ENDING";
    EXPECT_TRUE(run_standby_command(longer));
    char empty[] = "";
    EXPECT_TRUE(run_standby_command(empty));
}

TEST_F(StandbyTest, RedirectWithoutTheOptionKeepsTheName)
{
    const char* name = "main.zd";
    EXPECT_EQ(name, query_redirect("INCLUDEFILE", name));
    EXPECT_FALSE(standby_progress_enabled());
    set_compile_option_word("PROGRESS");
    EXPECT_TRUE(standby_progress_enabled());
}

TEST(RoutineSuffix, BuildModeSuffixesInTheirOrder)
{
    LibraryCommand command{};
    command.flags = 0x2000000 | 0x1 | 0x400000;
    thread_safe = 0;
    parallel_enabled = 0;
    purifier_enabled = 0;
    EXPECT_STREQ("", get_routine_suffix(&command));
    thread_safe = 1;
    parallel_enabled = 1;
    purifier_enabled = 1;
    EXPECT_STREQ("_THREAD_PARALLEL_PURIFIER", get_routine_suffix(&command));
    // Each suffix needs its variant flag.
    command.flags = 0x400000;
    EXPECT_STREQ("_PURIFIER", get_routine_suffix(&command));
    command.flags = 0x1;
    EXPECT_STREQ("_PARALLEL", get_routine_suffix(&command));
    thread_safe = 0;
    parallel_enabled = 0;
    purifier_enabled = 0;
    command.flags = 0x2000000;
    EXPECT_STREQ("", get_routine_suffix(&command));
}

}  // namespace
