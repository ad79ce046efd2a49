// The tool stand-ins of the installation folder, run as the compilers run
// them: Windows-form command lines through run_tool_capture_output.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class ToolchainStandins : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        saved_folder = os_current_folder();
        root = fs::temp_directory_path() / ("zandrel_standins_test_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "work");
        fs::create_directories(root / "src");
        tools = std::string(ZANDREL_HOME) + "\\Compilers\\";
    }
    void TearDown() override
    {
        os_set_current_folder(saved_folder.c_str());
        fs::remove_all(root);
    }
    // Runs a command; returns the exit status as 1 (success) or 0, with the text.
    int run(const std::string& command, std::string& text)
    {
        char* output = nullptr;
        int ok = run_tool_capture_output(command.c_str(), &output);
        text = output ? output : "";
        if (output) os_heap_free(permanent_heap, output);
        return ok;
    }
    std::string read(const fs::path& path)
    {
        std::string text;
        os_read_file(path.string().c_str(), text);
        return text;
    }
    std::string saved_folder;
    std::string tools;
    fs::path root;
};

}  // namespace

TEST_F(ToolchainStandins, ResourceCompilerTakesOurManifestAndTheSourceFolderInclude)
{
    std::ofstream(root / "work" / "Manifest") << "<assembly>ours</assembly>";
    std::ofstream(root / "src" / "Manifest") << "decoy";
    std::ofstream(root / "src" / "extra.rc") << "2 RCDATA { \"extra data\" }\n";
    std::ofstream(root / "work" / "Zandrel.rc") << "\xEF\xBB\xBF#include \"extra.rc\"\n1 MANIFEST \"Manifest\"\n";
    ASSERT_TRUE(os_set_current_folder((root / "src").string().c_str()));
    std::string work = root.string() + "\\work\\";
    std::string text;
    ASSERT_EQ(run("\"" + tools + "porc.exe\" \"" + work + "Zandrel.rc\" /Fo\"" + work + "Zandrel.res\"", text), 1) << text;
    std::string res = read(root / "work" / "Zandrel.res");
    EXPECT_NE(res.find("<assembly>ours</assembly>"), std::string::npos);
    EXPECT_EQ(res.find("decoy"), std::string::npos);
    EXPECT_NE(res.find("extra data"), std::string::npos);
    // The manifest is stored under the numeric type 24: 0xFFFF 24 in the header.
    EXPECT_NE(res.find(std::string("\xFF\xFF\x18\x00\xFF\xFF\x01\x00", 8)), std::string::npos);

    // A broken script fails with llvm-rc's text and leaves no resource file.
    std::ofstream(root / "work" / "Zandrel.rc") << "1 ICON \"missing.ico\"\n";
    EXPECT_EQ(run("\"" + tools + "porc.exe\" \"" + work + "Zandrel.rc\" /Fo\"" + work + "Zandrel.res\"", text), 0);
    EXPECT_FALSE(text.empty());
    EXPECT_FALSE(fs::exists(root / "work" / "Zandrel.res"));
}

TEST_F(ToolchainStandins, AssemblerAndLinkerReportFailures)
{
    std::ofstream(root / "work" / "zandrel.asm") << "format MS64 COFF\n bogus_instruction\n";
    ASSERT_TRUE(os_set_current_folder((root / "work").string().c_str()));
    std::string text;
    EXPECT_EQ(run("\"" + tools + "FAsm.exe\" \"" + root.string() + "\\work\\zandrel.asm\" Zandrel.obj", text), 0);
    EXPECT_NE(text.find("error"), std::string::npos) << text;

    // The linker resolves library names ignoring case and reports what is missing.
    std::ofstream(root / "work" / "zandrel.asm") << "format MS64 COFF\nextrn Missing\npublic main\nsection '.code' code readable executable\nmain:\n call Missing\n";
    ASSERT_EQ(run("\"" + tools + "FAsm.exe\" \"" + root.string() + "\\work\\zandrel.asm\" Zandrel.obj", text), 1) << text;
    std::string tools_without_separator = tools.substr(0, tools.size() - 1);
    std::string line = "\"" + tools + "polink\" /NOLOGO /OUT:\"" + root.string() + "\\work\\a.exe\" /SUBSYSTEM:Console,5.0 /LIBPATH:\"" + std::string(ZANDREL_HOME) +
                       "\\ZandLibraries\\Windows\\Libraries\" /NODEFAULTLIB /LIBPATH:\"" +
                       tools_without_separator + "\" /UNKNOWNOPTION Zandrel.obj LIBCMT.LIB kernel32.lib";
    EXPECT_EQ(run(line, text), 0);
    EXPECT_NE(text.find("error: undefined symbol: Missing"), std::string::npos) << text;
    EXPECT_EQ(text.find("could not open"), std::string::npos) << text;
}

// Forced through the emulator (the path a kernel without 32-bit support takes),
// the assembler gives the same object, and its own messages unchanged.
TEST_F(ToolchainStandins, AssemblerRunsTheSameUnderTheEmulator)
{
    std::ofstream(root / "work" / "zandrel.asm") << "format MS64 COFF\npublic main\nsection '.code' code readable executable\nmain:\n mov rax,42\n ret\n";
    ASSERT_TRUE(os_set_current_folder((root / "work").string().c_str()));
    std::string text;
    std::string command = "\"" + tools + "FAsm.exe\" \"" + root.string() + "\\work\\zandrel.asm\" ";
    ASSERT_EQ(run(command + "direct.obj", text), 1) << text;
    setenv("ZANDREL_FASM_EMULATOR", "qemu-i386", 1);
    int emulated = run(command + "emulated.obj", text);
    std::ofstream(root / "work" / "zandrel.asm") << "format MS64 COFF\n bogus_instruction\n";
    std::string failure;
    int failed = run(command + "bad.obj", failure);
    unsetenv("ZANDREL_FASM_EMULATOR");
    ASSERT_EQ(emulated, 1) << text;
    // The same bytes but the COFF header's time stamp (bytes 4 to 7): the
    // two runs may fall into different seconds.
    std::string direct = read(root / "work" / "direct.obj");
    std::string through_emulator = read(root / "work" / "emulated.obj");
    ASSERT_GT(direct.size(), 8u);
    ASSERT_EQ(direct.size(), through_emulator.size());
    direct.replace(4, 4, 4, '\0');
    through_emulator.replace(4, 4, 4, '\0');
    EXPECT_EQ(direct, through_emulator);
    EXPECT_EQ(failed, 0);
    EXPECT_NE(failure.find("illegal instruction"), std::string::npos) << failure;
}

TEST_F(ToolchainStandins, AStandInEndsAsItsCrashedToolDid)
{
    // The compilers tell a crash from an exit code: the stand-in passes the
    // tool's signal on instead of turning it into a number.
    fs::path crashing = root / "crashing_emulator";
    std::ofstream(crashing) << "#!/bin/sh\nprintf 'before the crash\\n'\nkill -SEGV $$\n";
    fs::permissions(crashing, fs::perms::owner_all);
    std::ofstream(root / "work" / "zandrel.asm") << "format MS64 COFF\n";
    ASSERT_TRUE(os_set_current_folder((root / "work").string().c_str()));
    setenv("ZANDREL_FASM_EMULATOR", crashing.string().c_str(), 1);
    char* output = nullptr;
    int end_signal = 0;
    std::string command = "\"" + tools + "FAsm.exe\" \"" + root.string() + "\\work\\zandrel.asm\" Zandrel.obj";
    int ok = run_tool_capture_output(command.c_str(), &output, &end_signal);
    unsetenv("ZANDREL_FASM_EMULATOR");
    std::string text = output ? output : "";
    if (output) os_heap_free(permanent_heap, output);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(end_signal, 11);
    EXPECT_EQ(text, "before the crash\n");
}
