// The build of the C-back-end compiler: the gcc and link command lines, the
// failure texts, the resource condition, the /REASM head reader, PATH, and
// whole builds with recording stand-in tools.
#include "backend_c/c_build.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "backend_c/c_backend.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path)
{
    std::string text;
    os_read_file(path.string().c_str(), text);
    return text;
}

class CBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        if (!compilation_heap) compilation_heap = os_heap_create(4096);
        if (!compilation_pool.blocks) init_memory_pools();
        clear_error_state();
        saved_folder = os_current_folder();
        const char* path = std::getenv("PATH");
        saved_path = path ? path : "";
        home_folder = "C:\\Zandrel\\";
        tools_folder = "C:\\Zandrel\\Compilers\\";
        current_folder = current_folder_short = "C:\\Project\\";
        executable_subsystem_name = "Windows";
        dll_mode = debugger_enabled = thread_safe = standby_mode = commented_output = optimizer_enabled = 0;
        purifier_enabled = reassemble_mode = 0;
        xp_skin = dll_protection = dpi_aware = run_as_user = run_as_administrator = 0;
        icon_file = resource_file = linker_file = output_file = nullptr;
        quiet_mode = 1;
        reset_link_lists();
        root = fs::temp_directory_path() / ("zandrel_c_build_test_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override
    {
        os_set_current_folder(saved_folder.c_str());
        if (!work_folder.empty()) delete_directory_tree(work_folder.c_str());
        work_folder.clear();
        fs::remove_all(root);
        setenv("PATH", saved_path.c_str(), 1);
        reset_link_lists();
        clear_error_state();
        quiet_mode = 0;
        reassemble_mode = 0;
        dll_mode = 0;
        dpi_aware = 0;
        output_file = nullptr;
        icon_file = nullptr;
    }
    // A tool that records its arguments in "<name>.args" and runs the body.
    void make_tool(const fs::path& path, const std::string& body)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << (root / (path.filename().string() + ".args")).string()
                            << "\"\n"
                            << body;
        fs::permissions(path, fs::perms::owner_all);
    }
    // Recording tools in an installation under root; gcc found through PATH
    // as c_main puts it.
    void use_fake_tools(const std::string& gcc_body)
    {
        home_folder = root.string() + "\\";
        tools_folder = (root / "Compilers").string() + "\\";
        current_folder = current_folder_short = (root / "project").string() + "\\";
        fs::create_directories(root / "project");
        make_tool(root / "Compilers" / "gcc" / "gcc", gcc_body);
        make_tool(root / "Compilers" / "polink", "exit 0\n");
        make_tool(root / "Compilers" / "polink.exe", "exit 0\n");
        make_tool(root / "Compilers" / "polib.exe", "exit 0\n");
        make_tool(root / "Compilers" / "porc.exe", "exit 0\n");
        c_extend_tool_path(tools_folder);
        work_folder = create_work_directory();
        ASSERT_FALSE(work_folder.empty());
    }
    std::string saved_folder;
    std::string saved_path;
    fs::path root;
};

const char* const c_fixed_part =
    " /LIBPATH:\"C:\\Zandrel\\ZandLibraries\\Windows\\Libraries\" /NODEFAULTLIB /LIBPATH:\"C:\\Zandrel\\Compilers\" Zandrel.obj "
    "SystemBase.lib StringUtility.lib UnicodeFunctions.lib libcmt.lib libcpmt.lib libucrt.lib libvcruntime.lib KERNEL32.lib "
    "USER32.lib GDI32.lib COMDLG32.lib ADVAPI32.lib COMCTL32.lib OLEAUT32.lib \"C:\\Zandrel\\Compilers\\gcc\\libgcc.a\" ";

}  // namespace

TEST_F(CBuild, GccCommandByOptions)
{
    const char* tail = " -fsigned-char -Wno-discarded-qualifiers -Wno-incompatible-pointer-types -Wno-overflow -Wno-int-conversion -c -o "
                       "Zandrel.obj \"zandrel.c\"";
    EXPECT_EQ(c_build_gcc_command("zandrel.c"), std::string("gcc -O0") + tail);
    debugger_enabled = 1;
    EXPECT_EQ(c_build_gcc_command("zandrel.c"), std::string("gcc -O0 -g") + tail);
    optimizer_enabled = 1;
    EXPECT_EQ(c_build_gcc_command("zandrel.c"),
              std::string("gcc -O2 -fno-tree-vrp -freorder-blocks-algorithm=simple -fno-schedule-insns -fno-schedule-insns2 "
                          "-fno-strict-aliasing -frounding-math") +
                  tail);
    debugger_enabled = 0;
    optimizer_enabled = 0;
}

TEST_F(CBuild, LinkLinesWithLibgccAndTheCStringManager)
{
    std::string line = build_link_head(build_output_path("Zandrel.exe"), false);
    ASSERT_TRUE(c_append_link_libraries(line));
    EXPECT_EQ(line, std::string("\"C:\\Zandrel\\Compilers\\polink\" /NOLOGO /FORCE:MULTIPLE /LARGEADDRESSAWARE /HIGHENTROPYVA "
                                "/DYNAMICBASE /OUT:\"C:\\Project\\Zandrel.exe\" /SUBSYSTEM:Windows,5.0") +
                        c_fixed_part + " \"C:\\Zandrel\\compilers/stringmanagerc.lib\" ");

    thread_safe = 1;
    purifier_enabled = 1;
    debugger_enabled = 1;
    link_system_libraries.push_back("ole32");
    link_import_libraries.push_back("C:\\Project\\my lib.lib");
    line.clear();
    ASSERT_TRUE(c_append_link_libraries(line));
    thread_safe = 0;
    purifier_enabled = 0;
    debugger_enabled = 0;
    EXPECT_EQ(line, std::string(c_fixed_part) +
                        " \"C:\\Zandrel\\compilers/stringmanagercthreadpurifier.lib\"  Debugger.lib  \"ole32.lib\" "
                        "\"C:\\Project\\my lib.lib\"");
}

TEST_F(CBuild, TooManyImportLibrariesIsError270)
{
    for (int i = 0; i < 2000; i++) link_import_libraries.push_back("C:\\Some\\Rather\\Long\\Folder\\library" + std::to_string(i) + ".lib");
    std::string line;
    EXPECT_FALSE(c_append_link_libraries(line));
    EXPECT_EQ(error_number, ERROR_TOO_MANY_LINKER_PARAMETERS);
}

TEST_F(CBuild, GccFailureText)
{
    EXPECT_EQ(c_gcc_failure_text(nullptr, 0), "Unknown error\n");
    EXPECT_EQ(c_gcc_failure_text("", 0), "Unknown error\n");
    EXPECT_EQ(c_gcc_failure_text("warning only\n", 0), "warning only\n");
    std::string long_message = "zandrel.c:3:1: error: " + std::string(400, 'x');
    std::string shown = c_gcc_failure_text(long_message.c_str(), 0);
    EXPECT_EQ(shown.size(), 256u);
    EXPECT_EQ(shown.rfind("error: xxx", 0), 0u);
}

TEST_F(CBuild, ReassemblyHeaderReader)
{
    dll_mode = 0;
    std::string text = "// \r\n// Zandrel 6.10 LTS - C Backend (Windows - x64) generated code\r\n//\r\n// :DLL\r\n// :System\r\n"
                       "// :Import\r\n// C:\\libs\\mine.lib\r\n// \r\n#pragma warning(disable: 4024)\r\n// :Import\r\n// late.lib\r\n";
    c_read_reassembly_header(text);
    EXPECT_EQ(dll_mode, 1);
    ASSERT_EQ(link_import_libraries.size(), 1u);
    EXPECT_EQ(link_import_libraries[0], "C:\\libs\\mine.lib");

    // A file without a head marks nothing.
    dll_mode = 0;
    reset_link_lists();
    c_read_reassembly_header("int x;\n// :DLL\n");
    EXPECT_EQ(dll_mode, 0);
    EXPECT_TRUE(link_import_libraries.empty());
}

TEST_F(CBuild, ReassembleWithoutCFileFailsWithTheMessageAlone)
{
    current_folder = current_folder_short = root.string() + "\\";
    testing::internal::CaptureStdout();
    c_reassemble();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "The file 'zandrel.c' isn't found or can't be opened !\n");
    EXPECT_NE(error_number, 0);
    EXPECT_NE(error_reported, 0);
}

TEST_F(CBuild, ToolPathPrependedInNativeForm)
{
    setenv("PATH", "/usr/bin:/bin", 1);
    c_extend_tool_path("/opt/zandrel/Compilers\\");
    EXPECT_STREQ(std::getenv("PATH"), "/opt/zandrel/Compilers/gcc:/usr/bin:/bin");
    unsetenv("PATH");
    c_extend_tool_path("/opt/zandrel/Compilers\\");
    EXPECT_EQ(std::getenv("PATH"), nullptr);
}

TEST_F(CBuild, WholeBuildRunsGccAndTheLinker)
{
    use_fake_tools("touch Zandrel.obj\n");
    executable_subsystem_name = "Console";
    output_file = const_cast<char*>("out.exe");
    c_build_executable();
    EXPECT_EQ(error_number, 0) << error_message;
    EXPECT_EQ(read_all(root / "gcc.args"),
              "-O0\n-fsigned-char\n-Wno-discarded-qualifiers\n-Wno-incompatible-pointer-types\n-Wno-overflow\n-Wno-int-conversion\n"
              "-c\n-o\nZandrel.obj\nzandrel.c\n");
    std::string link = read_all(root / "polink.args");
    EXPECT_NE(link.find("/OUT:" + (root / "project" / "out.exe").string() + "\n/SUBSYSTEM:Console,5.0\n"), std::string::npos) << link;
    EXPECT_NE(link.find((root / "Compilers" / "gcc" / "libgcc.a").string() + "\n"), std::string::npos) << link;
    EXPECT_NE(link.find(root.string() + "/compilers/stringmanagerc.lib\n"), std::string::npos) << link;
    // /DPIAWARE alone writes no resource script.
    EXPECT_FALSE(fs::exists(root / "porc.exe.args"));
}

TEST_F(CBuild, DpiAwareAloneWritesNoResourceScript)
{
    use_fake_tools("touch Zandrel.obj\n");
    output_file = const_cast<char*>("out.exe");
    dpi_aware = 1;
    c_build_executable();
    EXPECT_EQ(error_number, 0);
    EXPECT_FALSE(fs::exists(fs::path(work_folder) / "Zandrel.rc"));
    // With the skin the manifest also carries the DPI setting.
    xp_skin = 1;
    c_build_executable();
    xp_skin = 0;
    EXPECT_TRUE(fs::exists(root / "porc.exe.args"));
    EXPECT_NE(read_all(fs::path(work_folder) / "Manifest").find("<dpiAware>true</dpiAware>"), std::string::npos);
}

TEST_F(CBuild, GccFailureIsShownAndRecordedAsError33)
{
    use_fake_tools("echo 'zandrel.c:1:1: error: unknown type name'\nexit 1\n");
    output_file = const_cast<char*>("out.exe");
    testing::internal::CaptureStdout();
    c_build_executable();
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_number, ERROR_ASSEMBLER_FAILED);
    EXPECT_EQ(error_reported, 2);
    EXPECT_EQ(shown, "Error: Assembler\nerror: unknown type name\n");
    EXPECT_FALSE(fs::exists(root / "polink.args"));
}

TEST_F(CBuild, GccKilledByASignalIsToldFromAnExitCode)
{
    // A crash says so after whatever the compiler printed before it.
    use_fake_tools("printf 'zandrel.c: in function main'\nkill -SEGV $$\n");
    output_file = const_cast<char*>("out.exe");
    testing::internal::CaptureStdout();
    c_build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Assembler\nzandrel.c: in function main\nThe C compiler was killed by signal 11 (Segmentation fault).\n");
    EXPECT_EQ(error_number, ERROR_ASSEMBLER_FAILED);
    EXPECT_EQ(error_reported, 2);

    clear_error_state();
    make_tool(root / "Compilers" / "gcc" / "gcc", "kill -ABRT $$\n");
    testing::internal::CaptureStdout();
    c_build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Assembler\nThe C compiler was killed by signal 6 (Aborted).\n");

    // The same number as an exit code is an ordinary failure.
    clear_error_state();
    make_tool(root / "Compilers" / "gcc" / "gcc", "exit 139\n");
    testing::internal::CaptureStdout();
    c_build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Assembler\nUnknown error\n");
    EXPECT_FALSE(fs::exists(root / "polink.args"));
}

TEST_F(CBuild, DllBuildMakesTheImportLibrary)
{
    use_fake_tools("touch Zandrel.obj\n");
    dll_mode = 1;
    icon_file = const_cast<char*>("missing.ico");
    output_file = const_cast<char*>("My.Lib.dll");
    c_build_executable();
    EXPECT_EQ(error_number, 0) << error_message;
    // A DLL gets no icon (no "Icon file not found.").
    EXPECT_EQ(icon_file, nullptr);
    std::string link = read_all(root / "polink.exe.args");
    EXPECT_NE(link.find("/DLL\n/DEF:Zandrel.def\n"), std::string::npos) << link;
    EXPECT_NE(read_all(root / "polib.exe.args").find("/OUT:" + (root / "project" / "My.Lib.lib").string()), std::string::npos);
}
