#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <thread>

namespace {

using Args = std::vector<std::string>;

std::string run_capture(const std::string& command_line, int& exit_code)
{
    ToolProcess process;
    exit_code = -1;
    if (!os_start_tool(command_line.c_str(), process)) return "<not started>";
    std::string text;
    char buffer[255];
    size_t n;
    while ((n = os_read_tool_output(process, buffer, sizeof buffer)) > 0) text.append(buffer, n);
    exit_code = os_wait_tool(process);
    return text;
}

std::filesystem::path fresh_folder(const char* name)
{
    std::filesystem::path root = std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    return root;
}

void write_script(const std::filesystem::path& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

}  // namespace

TEST(PlatformProcess, SplitsByTheWindowsRules)
{
    EXPECT_EQ(os_split_command_line("\"C:\\Tools\\FAsm.exe\" \"C:\\w\\zandrel.asm\" Zandrel.obj", false),
              (Args{"C:\\Tools\\FAsm.exe", "C:\\w\\zandrel.asm", "Zandrel.obj"}));
    // The program name keeps its backslashes even before the closing quote.
    EXPECT_EQ(os_split_command_line("\"a\\\" b", false), (Args{"a\\", "b"}));
    // 2n backslashes before a quote: n backslashes, quote toggles.
    EXPECT_EQ(os_split_command_line("p /LIBPATH:\"C:\\x\\\\\" lib.lib", false), (Args{"p", "/LIBPATH:C:\\x\\", "lib.lib"}));
    // 2n+1 backslashes: n backslashes and a literal quote; the quoting stays open.
    EXPECT_EQ(os_split_command_line("p \"a\\\"b c\" d", false), (Args{"p", "a\"b c", "d"}));
    // A folder ending in a backslash before the closing quote swallows what follows.
    EXPECT_EQ(os_split_command_line("p /LIBPATH:\"C:\\x\\\" a.lib b.lib", false), (Args{"p", "/LIBPATH:C:\\x\" a.lib b.lib"}));
    EXPECT_EQ(os_split_command_line("p a\\\\b \t /Fo\"x y\\z.res\"", true), (Args{"p", "a//b", "/Fox y/z.res"}));
    EXPECT_EQ(os_split_command_line("p \"\" x", false), (Args{"p", "", "x"}));
    EXPECT_TRUE(os_split_command_line("   ", false).empty());
}

TEST(PlatformProcess, CapturesOutputAndExitCodes)
{
    std::filesystem::path root = fresh_folder("zandrel_process_test");
    write_script(root / "Tool.exe", "printf 'out\\n'; printf 'err\\n' >&2; printf 'a\\0b'; exit 3\n");
    int code;
    // Found ignoring case, with ".exe" added to a name that has none.
    std::string text = run_capture("\"" + root.string() + "\\tool\" x", code);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(text, std::string("out\nerr\na\0b", 11));

    // More than a pipe holds, read before the wait.
    write_script(root / "big", "head -c 200000 /dev/zero | tr '\\0' 'x'\n");
    text = run_capture(root.string() + "/big", code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text.size(), 200000u);

    // Standard input is empty, never the caller's.
    write_script(root / "reader", "cat; echo done\n");
    text = run_capture(root.string() + "/reader", code);
    EXPECT_EQ(text, "done\n");

    // A killed tool is a failure, told from the same number as an exit code.
    write_script(root / "killed", "kill -9 $$\n");
    ToolProcess process;
    ASSERT_TRUE(os_start_tool((root.string() + "/killed").c_str(), process));
    EXPECT_EQ(os_wait_tool(process), 128 + 9);
    EXPECT_EQ(process.end_signal, 9);
    write_script(root / "exits", "exit 137\n");
    ASSERT_TRUE(os_start_tool((root.string() + "/exits").c_str(), process));
    EXPECT_EQ(os_wait_tool(process), 137);
    EXPECT_EQ(process.end_signal, 0);

    // A bare name goes through PATH; arguments arrive unquoted with slashes.
    text = run_capture("echo \"a\\b c\" d", code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "a/b c d\n");

    EXPECT_FALSE(os_start_tool((root.string() + "/missing").c_str(), process));
    EXPECT_FALSE(os_start_tool("", process));
    std::filesystem::remove_all(root);
}

TEST(PlatformProcess, ShellOpenStartsANativeProgramInTheFolder)
{
    std::filesystem::path root = fresh_folder("zandrel_shell_open_test");
    write_script(root / "Launched", "pwd > launched.txt; echo \"$1\" >> launched.txt\n");
    std::string folder = root.string() + "\\";
    EXPECT_TRUE(os_shell_open("launched", "\"a b\" ", folder.c_str()));
    std::filesystem::path result = root / "launched.txt";
    std::string text;
    for (int i = 0; i < 200; i++) {
        if (os_read_file(result.string().c_str(), text) && text.find('\n') != text.rfind('\n')) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(text, root.string() + "\na b\n");
    EXPECT_FALSE(os_shell_open("nothing_here", "", folder.c_str()));
    std::filesystem::remove_all(root);
}
