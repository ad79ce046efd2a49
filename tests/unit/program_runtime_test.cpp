// Runtime registration in the start-up code (constants of every kind,
// variables and pointers, procedures, module names) and the exports of a
// DLL: golden lines, whole programs through the flat assembler, and the
// module-definition text.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "assembler_command.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_runtime.h"
#include "core/build_tools.h"
#include "core/file_helpers.h"
#include "program_file_test_support.h"
#include "frontend/constants.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/literal_strings.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"
#include "platform/platform.h"

namespace {

// The "dw" list of a text of plain ASCII characters.
std::string dw_list(const std::string& text)
{
    std::string list;
    for (unsigned char c : text) list += std::to_string(c) + ",";
    return list + "0";
}

class ProgramRuntimeTest : public ProgramFileTest {
protected:
    void SetUp() override
    {
        ProgramFileTest::SetUp();
        start_console_program();
        // The procedure table, with the main module's slot pointing to it.
        reset_procedures();
    }
    void TearDown() override
    {
        dll_mode = 0;
        console_mode = 0;
        executable_subsystem_name = "Windows";
        output_file = nullptr;
        dll_symbol_addresses = 0;
        no_output_depth = 0;
        reset_program_output();
    }


    // The number of the static string holding `text`.
    static int32_t literal_number(const std::string& text) { return intern_literal_string(text.c_str()); }

    // The static-string line of `text` in the data section.
    static std::string static_string_line(const std::string& text)
    {
        return "_S" + std::to_string(literal_number(text)) + ": dw " + dw_list(text) + "\n";
    }

    // A procedure record in the module's table, made the way the procedure
    // declaration leaves it.
    static ProcedureRecord* add_procedure(ModuleRecord* module, const char* name, int32_t id, uint32_t flags,
                                          uint32_t second_flags = 0)
    {
        if (!module->procedures) module->procedures = create_hash_table(sizeof(ProcedureRecord), 0);
        auto* record = static_cast<ProcedureRecord*>(hash_add(module->procedures, pool_strdup(name)));
        record->id = id;
        record->flags = flags;
        record->second_flags = second_flags;
        record->module = module;
        return record;
    }

    static ModuleRecord* module_named(const char* name)
    {
        return reinterpret_cast<ModuleRecord*>(hash_find(module_table, name));
    }

};

// --- Constants -------------------------------------------------------------

TEST_F(ProgramRuntimeTest, IntegerConstantInTheMainProgram)
{
    ASSERT_TRUE(compile("#Size = 12\nRuntime #Size\nEnd 3")) << error_message;
    std::string text = finish();
    std::string name = "_S" + std::to_string(literal_number("#Size"));
    EXPECT_NE(text.find(" MOV rdx, qword 12\n MOV rcx," + name + "\n CALL ZD_Runtime_AddInteger\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find(static_string_line("#Size")), std::string::npos) << text;
    for (const char* routine : {"ZD_Runtime_AddInteger", "ZD_Runtime_AddDouble", "ZD_Runtime_AddVariable",
                                "ZD_Runtime_AddString"})
        EXPECT_EQ(count_of(text, std::string("extrn ") + routine + "\n"), 1u) << routine;
    // The registrations use the string table, so the string stack is set up.
    EXPECT_NE(text.find(" CALL SYS_InitString\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, RegistrationsComeAfterTheStartUpAndBeforeTheMainCode)
{
    ASSERT_TRUE(compile("Define a.i = 7\n#Limit = -5\nRuntime #Limit\nEnd a")) << error_message;
    std::string text = finish();
    size_t init = text.find(" CALL SYS_InitString\n");
    size_t global = text.find("[v_a],7");
    size_t registration = text.find(" MOV rdx, qword -5\n");
    size_t end_code = text.find("_ZD_EOP:");
    ASSERT_NE(registration, std::string::npos) << text;
    EXPECT_LT(init, registration);
    EXPECT_LT(registration, end_code);
    // The assignment of the main code follows the registration.
    ASSERT_NE(global, std::string::npos) << text;
    EXPECT_LT(registration, global);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, ExtremeIntegerValuesAreWrittenInSignedDecimal)
{
    ASSERT_TRUE(compile("#Low = -9223372036854775807 - 1\n#High = 9223372036854775807\nRuntime #Low, #High"))
        << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV rdx, qword -9223372036854775808\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" MOV rdx, qword 9223372036854775807\n"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, FloatConstantGoesThroughTheDoublePool)
{
    ASSERT_TRUE(compile("#Ratio = 2.5\nRuntime #Ratio")) << error_message;
    std::string text = finish();
    std::string name = "_S" + std::to_string(literal_number("#Ratio"));
    size_t at = text.find(" MOVSD xmm1, qword [D");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find("]\n MOV rcx," + name + "\n CALL ZD_Runtime_AddDouble\n", at), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, StringConstantPassesItsTextAndName)
{
    ASSERT_TRUE(compile("#Title = \"Zandrel\"\nRuntime #Title")) << error_message;
    std::string text = finish();
    std::string name = "_S" + std::to_string(literal_number("#Title"));
    std::string value = "_S" + std::to_string(literal_number("Zandrel"));
    EXPECT_NE(text.find(" MOV rdx," + value + "\n MOV rcx," + name + "\n CALL ZD_Runtime_AddString\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(static_string_line("Zandrel")), std::string::npos) << text;
    EXPECT_NE(text.find(static_string_line("#Title")), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, EmptyStringConstantIsAnEmptyStaticString)
{
    ASSERT_TRUE(compile("#Nothing = \"\"\nRuntime #Nothing")) << error_message;
    std::string text = finish();
    std::string value = "_S" + std::to_string(literal_number(""));
    EXPECT_NE(text.find(" MOV rdx," + value + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(value + ": dw 0\n"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, ConstantOfAModuleCarriesTheModuleName)
{
    ASSERT_TRUE(compile("DeclareModule M\n#Size = 4\n#Depth = 6\nEndDeclareModule\nModule M\nRuntime #Size\nEndModule\n"
                        "#Size = 9\nRuntime #Size, M::#Depth"))
        << error_message;
    std::string text = finish();
    std::string module_name = "_S" + std::to_string(literal_number("M::#Size"));
    std::string main_name = "_S" + std::to_string(literal_number("#Size"));
    EXPECT_NE(text.find(" MOV rdx, qword 4\n MOV rcx," + module_name + "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" MOV rdx, qword 9\n MOV rcx," + main_name + "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(static_string_line("M::#Size")), std::string::npos) << text;
    std::string prefixed_name = "_S" + std::to_string(literal_number("M::#Depth"));
    EXPECT_NE(text.find(" MOV rdx, qword 6\n MOV rcx," + prefixed_name + "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, RuntimeEnumerationRegistersEachConstant)
{
    ASSERT_TRUE(compile("Runtime Enumeration 3\n#First\n#Second\nEndEnumeration")) << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV rdx, qword 3\n MOV rcx,_S" + std::to_string(literal_number("#First")) + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" MOV rdx, qword 4\n MOV rcx,_S" + std::to_string(literal_number("#Second")) + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(assemble(), "");
}

// --- Variables -------------------------------------------------------------

TEST_F(ProgramRuntimeTest, VariableAndPointerPassTheirAddressAndType)
{
    ASSERT_TRUE(compile("Define count.l, *where, ratio.d\nRuntime count, *where, ratio")) << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV r8, 5\n LEA rax,dword [v_count]\n MOV rdx, rax\n MOV rcx,_S" +
                        std::to_string(literal_number("count")) + "\n CALL ZD_Runtime_AddVariable\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" LEA rax,qword [p_where]\n MOV rdx, rax\n MOV rcx,_S" + std::to_string(literal_number("*where")) +
                        "\n CALL ZD_Runtime_AddVariable\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(static_string_line("*where")), std::string::npos) << text;
    EXPECT_NE(text.find(" MOV r8, 12\n LEA rax,qword [v_ratio]\n"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, VariableOfAModuleCarriesTheModuleName)
{
    ASSERT_TRUE(compile("DeclareModule M\nEndDeclareModule\nModule M\nEndModule\nDefine value.i\nRuntime value"))
        << error_message;
    // The variable as the module's own record holds it.
    find_variable_scoped("value", false)->module = module_named("M");
    std::string text = finish();
    size_t at = text.find(" MOV rcx,_S" + std::to_string(literal_number("M::value")) + "\n CALL ZD_Runtime_AddVariable\n");
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.find(static_string_line("M::value")), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, StringVariableIsRegisteredWithItsType)
{
    ASSERT_TRUE(compile("Define name.s\nRuntime name")) << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV r8, 8\n LEA rax,"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, ThreadedVariableIsRegisteredInTheMainThreadsObject)
{
    ASSERT_TRUE(compile("Threaded t.i = 4\nRuntime t")) << error_message;
    std::string text = finish();
    size_t object = text.find(" CALL SYS_InitThreadedObject\n");
    size_t registration = text.find(" MOV r8, 21\n");
    ASSERT_NE(object, std::string::npos) << text;
    ASSERT_NE(registration, std::string::npos) << text;
    // The per-thread object exists before its address is taken.
    EXPECT_LT(object, registration);
    EXPECT_NE(text.find(" LEA rax,qword [rbp+", registration), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

// --- Without Runtime, and with output off --------------------------------

TEST_F(ProgramRuntimeTest, ProgramWithoutRuntimeDeclaresNoRegistrationRoutine)
{
    ASSERT_TRUE(compile("#Size = 12\nDefine count.l\nEnd 1")) << error_message;
    std::string text = finish();
    EXPECT_EQ(text.find("ZD_Runtime_"), std::string::npos) << text;
    EXPECT_EQ(runtime_declarations_used, 0);
}

TEST_F(ProgramRuntimeTest, NothingIsWrittenWhileOutputIsOff)
{
    ASSERT_TRUE(compile("#Size = 12\nDefine count.l\nRuntime #Size, count")) << error_message;
    clear_output();
    no_output_depth = 1;
    emit_runtime_constant(main_module, find_constant("Size"));
    emit_runtime_variable(main_module, find_variable_scoped("count", false));
    no_output_depth = 0;
    EXPECT_EQ(output(), "");
}

TEST_F(ProgramRuntimeTest, DllFormsLoadNamesWithLea)
{
    ASSERT_TRUE(compile("#Size = 12\nRuntime #Size")) << error_message;
    clear_output();
    dll_symbol_addresses = 1;
    emit_runtime_constant(main_module, find_constant("Size"));
    EXPECT_EQ(output(), " MOV rdx, qword 12\n LEA rcx,[_S" + std::to_string(literal_number("#Size")) +
                            "]\n CALL ZD_Runtime_AddInteger\n");
}

// --- Procedures --------------------------------------------------------------

TEST_F(ProgramRuntimeTest, ProceduresMarkedRuntimeRegisterTheirAddress)
{
    ASSERT_TRUE(compile("DeclareModule M\nEndDeclareModule\nModule M\nEndModule")) << error_message;
    add_procedure(main_module, "Work", 4, 0x800, procedure_second_flag_runtime);
    add_procedure(main_module, "Quiet", 6, 0x800);
    add_procedure(module_named("M"), "Helper", 8, 0x800, procedure_second_flag_runtime);
    clear_output();
    emit_runtime_procedures();
    std::string code = output();
    EXPECT_NE(code.find(" MOV rdx, qword _Procedure4\n MOV rcx,_S" + std::to_string(literal_number("Work()")) +
                        "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << code;
    EXPECT_NE(code.find(" MOV rdx, qword _Procedure8\n MOV rcx,_S" + std::to_string(literal_number("M::Helper()")) +
                        "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(code.find("_Procedure6"), std::string::npos) << code;
}

TEST_F(ProgramRuntimeTest, RuntimeStatementMarksAProcedureForRegistration)
{
    ProcedureRecord* work = add_procedure(main_module, "Work", 2, 0x800);
    ASSERT_TRUE(compile("Runtime Work()")) << error_message;
    EXPECT_TRUE(work->second_flags & procedure_second_flag_runtime);
    settle_runtime_declarations();
    EXPECT_EQ(runtime_declarations_used, 1);
    EXPECT_EQ(runtime_procedure_name(main_module, work), "Work()");
}

TEST_F(ProgramRuntimeTest, RuntimeProcedureIsRegisteredAndItsCodeWritten)
{
    ASSERT_TRUE(compile("Runtime Procedure.i Later()\nProcedureReturn 7\nEndProcedure\n"
                        "Procedure.i Work(a.i)\nProcedureReturn a\nEndProcedure\nRuntime Work()\n"
                        "Procedure Unused()\nEndProcedure"))
        << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV rdx, qword _Procedure0\n MOV rcx,_S" + std::to_string(literal_number("Later()")) +
                        "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" MOV rdx, qword _Procedure2\n MOV rcx,_S" + std::to_string(literal_number("Work()")) +
                        "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    // Registered procedures have their code although nothing calls them.
    EXPECT_NE(text.find("\n_Procedure0:"), std::string::npos) << text;
    EXPECT_NE(text.find("\n_Procedure2:"), std::string::npos) << text;
    EXPECT_EQ(text.find("_Procedure4"), std::string::npos) << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramRuntimeTest, RuntimeProcedureOfAModule)
{
    ASSERT_TRUE(compile("DeclareModule M\nEndDeclareModule\nModule M\nRuntime Procedure Inner()\nEndProcedure\n"
                        "EndModule"))
        << error_message;
    std::string text = finish();
    EXPECT_NE(text.find(" MOV rcx,_S" + std::to_string(literal_number("M::Inner()")) + "\n CALL ZD_Runtime_AddInteger\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(assemble(), "");
}

// --- DLL exports -------------------------------------------------------------

TEST_F(ProgramRuntimeTest, OnlyDefinedDllProceduresAreExported)
{
    add_procedure(main_module, "Add", 2, 0x800 | 0x1000);
    add_procedure(main_module, "LaterOne", 4, 0x800 | 0x1000 | 0x4000);    // declared only
    add_procedure(main_module, "Plain", 6, 0x800);
    add_procedure(main_module, "MessageBoxW", 8, 0x800 | 0x1000 | 0x40000000);  // imported
    add_procedure(main_module, "CDecl", 10, 0x800 | 0x1000 | 0x200000);
    std::vector<ProcedureRecord*> exported = collect_exported_procedures();
    std::vector<std::string> names;
    for (ProcedureRecord* p : exported) names.push_back(procedure_name(p));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Add", "CDecl"}));
}

TEST_F(ProgramRuntimeTest, DllPublishesEachExportUnderItsName)
{
    dll_mode = 1;
    console_mode = 0;
    add_procedure(main_module, "AddNumbers", 2, 0x800 | 0x1000);
    clear_output();
    emit_dll_exports();
    EXPECT_EQ(output(), "public _Procedure2 as 'AddNumbers'\n");
    EXPECT_EQ(export_definition_text, "EXPORTS\n    AddNumbers\n");
}

TEST_F(ProgramRuntimeTest, ExecutableHasNoExports)
{
    add_procedure(main_module, "AddNumbers", 2, 0x800 | 0x1000);
    export_definition_text = "stale";
    clear_output();
    emit_dll_exports();
    EXPECT_EQ(output(), "");
    EXPECT_EQ(export_definition_text, "");
}

TEST(ExportDefinitions, TextListsEveryName)
{
    EXPECT_EQ(build_export_definitions({}), "EXPORTS\n");
    EXPECT_EQ(build_export_definitions({"One", "Two"}), "EXPORTS\n    One\n    Two\n");
}

TEST_F(ProgramRuntimeTest, DllWithAnExportedProcedureAssembles)
{
    dll_mode = 1;
    console_mode = 0;
    output_file = nullptr;
    add_procedure(main_module, "AddNumbers", 2, 0x800 | 0x1000);
    // The procedure's code as the procedure output appends it.
    ASSERT_TRUE(compile("!_Procedure2:\n! MOV rax,rcx\n! ADD rax,rdx\n! RET")) << error_message;
    std::string text = finish();
    EXPECT_EQ(count_of(text, "public _Procedure2 as 'AddNumbers'\n"), 1u) << text;
    EXPECT_EQ(assemble(), "");
}

}  // namespace

// --- The export file in the DLL build ------------------------------------------

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path)
{
    std::string text;
    os_read_file(path.string().c_str(), text);
    return text;
}

// A DLL build with tools that are shell scripts: the linker keeps a copy of
// the "Zandrel.def" it finds in its working folder.
class ExportFileBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        if (!compilation_heap) compilation_heap = os_heap_create(4096);
        if (!compilation_pool.blocks) init_memory_pools();
        clear_error_state();
        saved_folder = os_current_folder();
        root = fs::temp_directory_path() / ("zandrel_export_file_test_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "project");
        home_folder = const_cast<char*>("C:\\Zandrel\\");
        tools_folder = (root / "Compilers").string() + "\\";
        current_folder = current_folder_short = (root / "project").string() + "\\";
        executable_subsystem_name = "Windows";
        dll_mode = 1;
        debugger_enabled = thread_safe = standby_mode = commented_output = purifier_enabled = reassemble_mode = 0;
        xp_skin = dll_protection = dpi_aware = run_as_user = run_as_administrator = 0;
        icon_file = resource_file = linker_file = nullptr;
        output_file = const_cast<char*>("Exports.dll");
        quiet_mode = 1;
        reset_link_lists();
        make_tool("FAsm.exe", "touch Zandrel.obj\n");
        make_tool("polink.exe", "cp Zandrel.def '" + (root / "linked.def").string() + "'\n");
        make_tool("polib.exe", "exit 0\n");
        make_tool("porc.exe", "exit 0\n");
    }
    void TearDown() override
    {
        os_set_current_folder(saved_folder.c_str());
        if (!work_folder.empty()) delete_directory_tree(work_folder.c_str());
        work_folder.clear();
        fs::remove_all(root);
        reset_link_lists();
        clear_error_state();
        quiet_mode = 0;
        dll_mode = 0;
        commented_output = 0;
        reassemble_mode = 0;
        output_file = nullptr;
        export_definition_text.clear();
    }
    void make_tool(const std::string& name, const std::string& body)
    {
        fs::path path = root / "Compilers" / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
    }
    void build()
    {
        work_folder = create_work_directory();
        testing::internal::CaptureStdout();
        build_executable();
        testing::internal::GetCapturedStdout();
    }
    std::string saved_folder;
    fs::path root;
};

TEST_F(ExportFileBuild, LinkerFindsTheExportsOfTheProgram)
{
    export_definition_text = build_export_definitions({"AddNumbers", "Greeting"});
    build();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(read_file(root / "linked.def"), "EXPORTS\n    AddNumbers\n    Greeting\n");
    // Only the commented build leaves a copy beside the source.
    EXPECT_FALSE(fs::exists(root / "project" / "Zandrel.def"));
}

TEST_F(ExportFileBuild, DllWithoutExportsStillHasItsFile)
{
    export_definition_text = build_export_definitions({});
    build();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(read_file(root / "linked.def"), "EXPORTS\n");
}

TEST_F(ExportFileBuild, CommentedBuildCopiesTheFileBesideTheSource)
{
    commented_output = 1;
    export_definition_text = build_export_definitions({"AddNumbers"});
    build();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(read_file(root / "project" / "Zandrel.def"), "EXPORTS\n    AddNumbers\n");
}

TEST_F(ExportFileBuild, ReassemblyTakesTheFileBesideTheSource)
{
    reassemble_mode = 1;
    export_definition_text = build_export_definitions({"Stale"});
    std::ofstream(root / "project" / "Zandrel.def") << "EXPORTS\n    Edited\n";
    std::ofstream(root / "project" / "zandrel.asm") << "format MS64 COFF\n";
    build();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(read_file(root / "linked.def"), "EXPORTS\n    Edited\n");
}

}  // namespace
