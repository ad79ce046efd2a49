#include "core/build_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <fstream>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/reassembly.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path)
{
    std::string text;
    os_read_file(path.string().c_str(), text);
    return text;
}

// Tools receive their arguments with slashes for backslashes.
std::string slashed(std::string text)
{
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

class BuildTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        if (!compilation_heap) compilation_heap = os_heap_create(4096);
        if (!compilation_pool.blocks) init_memory_pools();
        clear_error_state();
        saved_folder = os_current_folder();
        home_folder = "C:\\Zandrel\\";
        tools_folder = "C:\\Zandrel\\Compilers\\";
        current_folder = current_folder_short = "C:\\Project\\";
        executable_subsystem_name = "Windows";
        dll_mode = debugger_enabled = thread_safe = standby_mode = commented_output = 0;
        purifier_enabled = reassemble_mode = 0;
        xp_skin = dll_protection = dpi_aware = run_as_user = run_as_administrator = 0;
        icon_file = resource_file = linker_file = output_file = nullptr;
        quiet_mode = 1;
        reset_link_lists();
        root = fs::temp_directory_path() / ("zandrel_build_tools_test_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override
    {
        os_set_current_folder(saved_folder.c_str());
        if (!work_folder.empty()) delete_directory_tree(work_folder.c_str());
        fs::remove_all(root);
        reset_link_lists();
        clear_error_state();
        quiet_mode = 0;
        standby_mode = 0;
        reassemble_mode = 0;
        dll_mode = 0;
    }
    // A tools folder of shell scripts: each records its arguments in
    // "<name>.args" and runs the given body.
    void make_tool(const std::string& name, const std::string& body)
    {
        fs::path path = root / "Compilers" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << (root / (name + ".args")).string()
                            << "\"\n"
                            << body;
        fs::permissions(path, fs::perms::owner_all);
    }
    void use_fake_tools()
    {
        tools_folder = (root / "Compilers").string() + "\\";
        current_folder = current_folder_short = (root / "project").string() + "\\";
        fs::create_directories(root / "project");
        make_tool("FAsm.exe", "touch Zandrel.obj\n");
        make_tool("polink", "exit 0\n");
        make_tool("polink.exe", "exit 0\n");
        make_tool("polib.exe", "exit 0\n");
        make_tool("porc.exe", "exit 0\n");
    }
    std::string saved_folder;
    fs::path root;
};

const char* const fixed_part =
    " /LIBPATH:\"C:\\Zandrel\\ZandLibraries\\Windows\\Libraries\" /NODEFAULTLIB /LIBPATH:\"C:\\Zandrel\\Compilers\" Zandrel.obj "
    "SystemBase.lib StringUtility.lib UnicodeFunctions.lib libcmt.lib libcpmt.lib libucrt.lib libvcruntime.lib KERNEL32.lib "
    "USER32.lib GDI32.lib COMDLG32.lib ADVAPI32.lib COMCTL32.lib OLEAUT32.lib ";

}  // namespace

TEST_F(BuildTools, LinkLinesOfExecutableVcLinkerAndDll)
{
    std::string line = build_link_head(build_output_path("Zandrel.exe"), false);
    ASSERT_TRUE(append_link_libraries(line));
    EXPECT_EQ(line, std::string("\"C:\\Zandrel\\Compilers\\polink\" /NOLOGO /FORCE:MULTIPLE /LARGEADDRESSAWARE /HIGHENTROPYVA "
                                "/DYNAMICBASE /OUT:\"C:\\Project\\Zandrel.exe\" /SUBSYSTEM:Windows,5.0") +
                        fixed_part + "\"C:\\Zandrel\\Compilers\\compilers/stringmanager.lib\"");

    executable_subsystem_name = "Console";
    thread_safe = 1;
    purifier_enabled = 1;
    debugger_enabled = 1;
    line = build_link_head(build_output_path("/tmp/a.exe"), true);
    ASSERT_TRUE(append_link_libraries(line));
    EXPECT_EQ(line, std::string("\"C:\\Zandrel\\Compilers\\vc\\link.exe\" /NOLOGO /FORCE:MULTIPLE /OUT:\"\\tmp\\a.exe\" /SUBSYSTEM:Console") +
                        fixed_part + "\"C:\\Zandrel\\Compilers\\compilers/stringmanagerthreadpurifier.lib\" Debugger.lib ");

    dll_mode = 1;
    EXPECT_EQ(build_link_head(build_output_path("out\\My.dll"), false),
              "\"C:\\Zandrel\\Compilers\\polink.exe\" /FORCE:MULTIPLE /DLL /DEF:Zandrel.def /OUT:\"C:\\Project\\out\\My.dll\"");
}

TEST_F(BuildTools, LibraryObjectsNamesAndImportLibraries)
{
    work_folder = create_work_directory();
    ASSERT_FALSE(work_folder.empty());
    static const char object[] = "OBJ";
    // "kernel32" is on the fixed list already; "Zand" occurs in the paths but
    // is a name of its own; names repeat across libraries.
    static const char names_a[] = "kernel32\0Zand\0shell32.lib\0";
    static const char names_b[] = "SHELL32.LIB\0zand.LIB\0winmm\0";
    link_library_list.push_back({"String", object, 3, nullptr, 0, names_a, 3, 0});
    link_library_list.push_back({"Gadget", object, 3, nullptr, 0, names_b, 3, 1});
    link_system_libraries.push_back("ole32");
    link_import_libraries.push_back("C:\\Project\\my lib.lib");
    std::string line;
    ASSERT_TRUE(append_link_libraries(line));
    EXPECT_NE(line.find("OLEAUT32.lib String.obj Zand.LIB shell32.lib Gadget.obj winmm.LIB compilers/objectmanager.lib \"C:"),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("stringmanager.lib\" \"ole32.lib\" \"C:\\Project\\my lib.lib\""), std::string::npos) << line;
    EXPECT_EQ(read_all(os_native_path((work_folder + "String.obj").c_str())), "OBJ");

    // The import-library part may not reach 32000 characters.
    link_import_libraries.assign(2000, std::string(20, 'x'));
    line.clear();
    EXPECT_FALSE(append_link_libraries(line));
    EXPECT_EQ(error_number, ERROR_TOO_MANY_LINKER_PARAMETERS);
}

TEST_F(BuildTools, OutputAndImportLibraryPaths)
{
    EXPECT_EQ(build_output_path("My.exe"), "C:\\Project\\My.exe");
    EXPECT_EQ(build_output_path("/tmp/a.exe"), "\\tmp\\a.exe");
    EXPECT_EQ(import_library_path("C:\\Project\\My.Lib.dll"), "C:\\Project\\My.Lib.lib");
    EXPECT_EQ(import_library_path("C:\\Project\\MyDll"), "C:\\Project\\MyDll.lib");
    EXPECT_EQ(import_library_path("\\a\\my.dir\\MyDll"), "\\a\\my.dir\\MyDll.lib");
}

TEST_F(BuildTools, ResourceScriptsAndManifests)
{
    bool manifest = false;
    EXPECT_EQ(build_resource_script(manifest), "");

    dpi_aware = 1;
    EXPECT_EQ(build_resource_script(manifest), "\xEF\xBB\xBF" "1 MANIFEST \"Manifest\"\n");
    EXPECT_TRUE(manifest);
    std::string text = build_manifest();
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n", 0), 0u);
    EXPECT_NE(text.find("<dpiAware>true</dpiAware>"), std::string::npos);
    EXPECT_EQ(text.find("trustInfo"), std::string::npos);
    EXPECT_EQ(text.find("Common-Controls"), std::string::npos);
    EXPECT_EQ(text.find("<file "), std::string::npos);
    EXPECT_NE(text.find("version=\"1.0.0.0\" processorArchitecture=\"amd64\" name=\"CompanyName.ProductName.YourApp\" type=\"win32\""),
              std::string::npos);
    dpi_aware = 0;

    run_as_user = run_as_administrator = 1;
    xp_skin = dll_protection = 1;
    text = build_manifest();
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(text.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos);
    EXPECT_NE(text.find("<file name=\"WINMMBASE.dll\" loadFrom=\"%SystemRoot%\\system32\\WINMMBASE.dll\"/>\n"), std::string::npos);
    EXPECT_NE(text.find("DPAPI.dll\"/>\n  <assemblyIdentity"), std::string::npos);
    run_as_administrator = 0;
    EXPECT_NE(build_manifest().find("level=\"asInvoker\""), std::string::npos);
    xp_skin = dll_protection = 0;

    // A DLL gets no icon and no execution level: nothing is left to write.
    icon_file = const_cast<char*>("app.ico");
    dll_mode = 1;
    EXPECT_EQ(build_resource_script(manifest), "");
    EXPECT_EQ(build_manifest().find("trustInfo"), std::string::npos);
    dll_mode = 0;
    run_as_user = 0;

    // An icon: relative to the source folder, backslashes doubled; missing: error 104.
    fs::create_directories(root / "project");
    std::ofstream(root / "project" / "app.ico") << "icon";
    current_folder_short = (root / "project").string() + "\\";
    resource_file = const_cast<char*>("res\\extra.rc");
    std::string expected_icon = combine_path(current_folder_short.c_str(), "app.ico");
    std::string doubled;
    for (char c : expected_icon) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_EQ(build_resource_script(manifest), "\xEF\xBB\xBF#include \"res\\extra.rc\"\n1 ICON \"" + doubled + "\"\n");
    EXPECT_FALSE(manifest);
    icon_file = const_cast<char*>("missing.ico");
    build_resource_script(manifest);
    EXPECT_EQ(error_number, ERROR_ICON_FILE_NOT_FOUND);
}

TEST_F(BuildTools, FailureTextsOfTheTools)
{
    EXPECT_EQ(tool_failure_text(0, "flat assembler  version 1.73\r\n\r\n zandrel.asm [3]:\nerror: x.\n"), "zandrel.asm [3]:\nerror: x.\n");
    EXPECT_EQ(tool_failure_text(0, "no line feed"), "no line feed");
    EXPECT_EQ(tool_failure_text(0, ""), "Unknown error\n");
    EXPECT_EQ(tool_failure_text(0, nullptr), "Unknown error\n");
    EXPECT_EQ(tool_failure_text(2, "warning: w\nlld-link: error: undefined symbol: X\n"), "error: undefined symbol: X\n");
    EXPECT_EQ(tool_failure_text(2, "broken"), "broken");
    EXPECT_EQ(tool_failure_text(1, "bad script\n"), "bad script\n");
}

TEST_F(BuildTools, FailingAssemblerInConsoleAndStandbyForm)
{
    use_fake_tools();
    make_tool("FAsm.exe", "printf 'flat assembler\\r\\nzandrel.asm [2]:\\r\\nerror: illegal instruction.\\r\\n'; exit 2\n");
    work_folder = create_work_directory();
    testing::internal::CaptureStdout();
    build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Assembler\nzandrel.asm [2]:\r\nerror: illegal instruction.\r\n");
    EXPECT_EQ(error_number, ERROR_ASSEMBLER_FAILED);
    EXPECT_EQ(error_reported, 2);
    EXPECT_EQ(read_all(root / "FAsm.exe.args"), slashed(work_folder) + "zandrel.asm\nZandrel.obj\n");

    clear_error_state();
    standby_mode = 1;
    testing::internal::CaptureStdout();
    build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR\tASSEMBLER\nzandrel.asm [2]:\nerror: illegal instruction.\n\nOUTPUT\tCOMPLETE\n");
}

TEST_F(BuildTools, FailingResourceCompilerAndLinker)
{
    use_fake_tools();
    make_tool("porc.exe", "echo 'Zandrel.rc(2): error: bad'; exit 1\n");
    make_tool("polink", "echo 'lld-link: warning: w'; echo 'lld-link: error: undefined symbol: Foo'; exit 1\n");
    work_folder = create_work_directory();
    output_file = const_cast<char*>("out.exe");
    xp_skin = 1;
    testing::internal::CaptureStdout();
    build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Resource\nZandrel.rc(2): error: bad\n");
    // The tool's text is the whole report.
    EXPECT_EQ(error_number, ERROR_RESOURCE_FILE_NOT_CREATED);
    EXPECT_EQ(error_reported, 2);
    EXPECT_EQ(read_all(root / "porc.exe.args"), slashed(work_folder) + "Zandrel.rc\n/Fo" + slashed(work_folder) + "Zandrel.res\n");
    EXPECT_NE(read_all(os_native_path((work_folder + "Manifest").c_str())).find("Common-Controls"), std::string::npos);

    clear_error_state();
    xp_skin = 0;
    standby_mode = 1;
    testing::internal::CaptureStdout();
    build_executable();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR\tLINKER\nerror: undefined symbol: Foo\n\nOUTPUT\tCOMPLETE\n");
    EXPECT_EQ(error_number, ERROR_EXECUTABLE_NOT_CREATED);
    EXPECT_EQ(error_reported, 2);
    std::string arguments = read_all(root / "polink.args");
    EXPECT_EQ(arguments.substr(0, arguments.find("/LIBPATH")),
              "/NOLOGO\n/FORCE:MULTIPLE\n/LARGEADDRESSAWARE\n/HIGHENTROPYVA\n/DYNAMICBASE\n/OUT:" + slashed(current_folder_short) +
                  "out.exe\n/SUBSYSTEM:Windows,5.0\n");
    // The tools folder reaches the linker whole, not joined with what follows.
    EXPECT_NE(arguments.find("/LIBPATH:" + (root / "Compilers").string() + "\nZandrel.obj\n"), std::string::npos) << arguments;

    // A relative linker commands file is found where the compilation started,
    // not in the work folder the linker runs in; an absolute one stays.
    clear_error_state();
    linker_file = const_cast<char*>("options.txt");
    testing::internal::CaptureStdout();
    build_executable();
    testing::internal::GetCapturedStdout();
    arguments = read_all(root / "polink.args");
    EXPECT_NE(arguments.find("\n@" + slashed(current_folder_short) + "options.txt\n"), std::string::npos) << arguments;
    linker_file = const_cast<char*>("/etc/options.txt");
    clear_error_state();
    testing::internal::CaptureStdout();
    build_executable();
    testing::internal::GetCapturedStdout();
    arguments = read_all(root / "polink.args");
    EXPECT_NE(arguments.find("\n@/etc/options.txt\n"), std::string::npos) << arguments;
    linker_file = nullptr;
}

TEST_F(BuildTools, ReassembleReadsTheHeaderAndBuildsADll)
{
    use_fake_tools();
    reassemble_mode = 1;
    output_file = const_cast<char*>("My.dll");
    std::ofstream(root / "project" / "zandrel.asm")
        << "; \r\n; Zandrel\r\n;\r\n; :DLL\r\n; :System\r\n; winmm\r\n; :Import\r\n; C:\\libs\\extra.lib\r\nformat MS64 COFF\r\n";
    std::ofstream(root / "project" / "Zandrel.def") << "EXPORTS\n";
    testing::internal::CaptureStdout();
    reassemble();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_number, 0);
    EXPECT_TRUE(dll_mode);
    EXPECT_EQ(link_system_libraries, std::vector<std::string>{"winmm"});
    EXPECT_EQ(link_import_libraries, std::vector<std::string>{"C:\\libs\\extra.lib"});
    EXPECT_EQ(read_all(root / "FAsm.exe.args"), slashed(current_folder_short) + "zandrel.asm\nZandrel.obj\n");
    std::string link = read_all(root / "polink.exe.args");
    EXPECT_EQ(link.substr(0, link.find("/LIBPATH")), "/FORCE:MULTIPLE\n/DLL\n/DEF:Zandrel.def\n/OUT:" + slashed(current_folder_short) + "My.dll\n");
    EXPECT_NE(link.find("\nwinmm.lib\nC:/libs/extra.lib\n"), std::string::npos) << link;
    EXPECT_EQ(read_all(root / "polib.exe.args"), "/MACHINE:X64\n/DEF:Zandrel.def\n/OUT:" + slashed(current_folder_short) + "My.lib\n");
    EXPECT_TRUE(work_folder.empty());  // deleted afterwards
}

TEST_F(BuildTools, ReassembleWithoutAssemblyFile)
{
    current_folder = current_folder_short = root.string() + "\\";
    testing::internal::CaptureStdout();
    reassemble();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "The file 'zandrel.asm' isn't found or can't be opened !\n");
    EXPECT_NE(error_number, 0);
    EXPECT_NE(error_reported, 0);
}

TEST_F(BuildTools, WindowsImportLibraryThroughTheLibrarian)
{
    tools_folder = std::string(ZANDREL_HOME) + "/Compilers/";
    std::string library = (root / "MathDll.lib").string();
    windows_import_file = const_cast<char*>(library.c_str());
    // The first Import entry may be a resolved full path: the DLL name is its file part.
    link_import_libraries.push_back("C:\\Project\\my.dir\\mathdll.lib");
    quiet_mode = 0;
    testing::internal::CaptureStdout();
    create_windows_import_library_from({{"AddNumbers_", "AddNumbers"}, {"Plus_", "Sum"}, {"_", "Underscore"}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Windows import library '" + library + "' created.\n");
    EXPECT_EQ(error_number, 0);
    EXPECT_FALSE(fs::exists(library + ".def"));
    std::string archive = read_all(library);
    // Symbols of the imports, and "Sum" standing for the DLL's "Plus".
    for (const char* symbol : {"__imp_AddNumbers", "__imp_Plus", "__imp_Sum", "MATHDLL.DLL"})
        EXPECT_NE(archive.find(symbol), std::string::npos) << symbol;

    // A library name that is not a ".lib": an empty definition, no librarian, no error.
    fs::remove(library);
    link_import_libraries.assign(1, "x.dll");
    create_windows_import_library_from({{"A_", "A"}});
    EXPECT_EQ(error_number, 0);
    EXPECT_FALSE(fs::exists(library));
    EXPECT_FALSE(fs::exists(library + ".def"));

    // A failing librarian: error 317 with its text.
    link_import_libraries.assign(1, "bad.lib");
    tools_folder = (root / "Compilers").string() + "\\";
    make_tool("polib.exe", "echo 'cannot write library'; exit 1\n");
    create_windows_import_library_from({{"A_", "A"}});
    EXPECT_EQ(error_number, ERROR_RESIDENT_FILE_NOT_CREATED);
    EXPECT_STREQ(error_message, "Can't create resident file (cannot write library\n).");
    EXPECT_EQ(read_all(root / "polib.exe.args"), "/MACHINE:X64\n/DEF:" + library + ".def\n/OUT:" + library + "\n");
    windows_import_file = nullptr;
}
