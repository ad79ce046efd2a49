// Library commands called by name through both back ends, with a library
// made by Zandforge for the test: Chr() of a constant folded into a literal,
// the alternative form chosen by the argument count, the deprecation
// warning, and a command's name without "(".
#include <filesystem>
#include <string>

#include "backend_c/c_backend.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_program_file.h"
#include "c_test_support.h"
#include "driver/compilation_driver.h"
#include "forge/forge.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"
#include "frontend/variables.h"
#include "platform/platform.h"

namespace {

// Pick takes one or two arguments (Pick2 is its second form), Old is
// deprecated, Chr is the character command; Measure, Wipe, Elements and
// the second form of Shape take a structure name or an array whose one
// argument fills two parameters.
const char* const tools_descriptor =
    "C\n0\nOBJ\n0\nTools\n"
    "Chr, LONG, (Code) - The character\n"
    "STRING | UNICODE | THREAD\n"
    "Old, LONG, (Value) - Kept for old programs\n"
    "LONG | DEPRECATED\n"
    "Pick, LONG, [LONG], (First [, Second]) - One of two\n"
    "LONG\n"
    "Measure, STRUCTURE, (Structure) - Its size\n"
    "LONG\n"
    "Wipe, LONG, RUNTIMESTRUCTURE, (*Memory, Structure) - Zeroes it\n"
    "LONG\n"
    "Elements, RUNTIMEARRAY, (Array()) - Its elements' map\n"
    "LONG\n"
    "Shape, LONG, [STRUCTURE], (Value [, Structure]) - A value or a size\n"
    "LONG\n";

class LibraryCommandFormsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        saved_home = home_folder;
        std::string pattern = os_temp_folder() + "zd_forms_XXXXXX";
        folder = mkdtemp(pattern.data());
        std::filesystem::create_directories(folder / "ZandLibraries");
        forge_tools_library();
        home_folder = folder.string() + "/";
        init_libraries();
        scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
        ASSERT_EQ(error_number, 0) << error_message;
        ASSERT_NE(find_library_command("Pick2"), nullptr);
    }
    void TearDown() override {
        use_x64();
        init_libraries();
        home_folder = saved_home;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    void forge_tools_library() {
        std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        std::ofstream(folder / "Tools.desc") << tools_descriptor;
        std::ofstream(folder / "Tools.obj") << "T";
        InitForge();
        DefineConstant("Unicode");
        NoLogFlag = true;
        BatchMode = true;
        SourcePath = folder.string() + "/";
        DestinationPath = (folder / "ZandLibraries").string() + "/";
        DescFile = SourcePath + "Tools.desc";
        testing::internal::CaptureStderr();
        ProcessDescriptor();
        std::string messages = testing::internal::GetCapturedStderr();
        std::filesystem::current_path(previous);
        ASSERT_FALSE(ErrorFlag) << messages;
    }

    void use_x64() {
        install_backend(&x64_backend_hooks);
        x64_backend_hooks.init_backend_tables();
    }
    void use_c() {
        install_backend(&c_backend_hooks);
        c_init_backend_tables();
    }

    void fresh() {
        compiler_reset();
        // The C tables live in the compilation's heap, which the reset freed.
        if (backend == &c_backend_hooks) c_backend_reset();
        reset_usage_marks();
        declare_builtin_constants();
        reset_statement_state();
        reset_expression_compiler();
        init_variables();
        reset_block_state();
        if (backend->reset_expression_state) backend->reset_expression_state();
        reset_emitter_state();
        reset_operand_state();
        create_float_pools();
        clear_error_state();
        clear_output();
    }

    // Compiles each statement (one per line) after a fresh start; the code
    // of the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        fresh();
        return compile_last_statement(statements);
    }

    // The text of the literal of number `n`, or "" when there is none.
    static std::string literal(int32_t n) {
        const LiteralString* found = find_literal_by_number(n);
        return found ? found->entry.key : "";
    }

    std::filesystem::path folder;
    std::string saved_home;
};

TEST_F(LibraryCommandFormsTest, ChrOfAConstantIsALiteral) {
    for (int x64 = 1; x64 >= 0; x64--) {
        if (x64) use_x64();
        else use_c();
        // Joined with the literals around it: one literal, no call.
        std::string code = compile("#C = 66\na$ = \"<\" + Chr(65) + Chr(#C + 1) + Chr($20AC) + Chr(0) + \">\"");
        EXPECT_EQ(code.find("ZD_Chr"), std::string::npos) << code;
        EXPECT_EQ(literal(1), "<AC\xE2\x82\xAC>") << x64;
        // Known at run time only: the command is called.
        code = compile("c = 65\na$ = Chr(c)");
        EXPECT_NE(code.find("ZD_Chr"), std::string::npos) << code;
        // Outside the characters of one UTF-16 unit.
        EXPECT_EQ(compile("a$ = Chr($D800)"), "error " + std::to_string(ERROR_INVALID_CHR_VALUE));
        EXPECT_EQ(compile("a$ = Chr($DFFF)"), "error " + std::to_string(ERROR_INVALID_CHR_VALUE));
        EXPECT_EQ(compile("a$ = Chr(-1)"), "error " + std::to_string(ERROR_INVALID_CHR_VALUE));
        EXPECT_EQ(compile("a$ = Chr($10000)"), "error " + std::to_string(ERROR_INVALID_CHR_VALUE));
        EXPECT_EQ(compile("a$ = Chr($E000) + Chr($D7FF) + Chr($FFFF)").rfind("error", 0), std::string::npos);
    }
}

TEST_F(LibraryCommandFormsTest, ArgumentCountPicksTheForm) {
    use_x64();
    EXPECT_EQ(compile("x = Pick(1)"), " PUSH qword 1\n POP rcx\n CALL ZD_Pick\n MOVSXD rax,eax\n MOV qword [v_x],rax\n");
    EXPECT_EQ(compile("x = Pick(1, 2)"), " PUSH qword 2\n PUSH qword 1\n POP rcx\n POP rdx\n CALL ZD_Pick2\n"
                                         " MOVSXD rax,eax\n MOV qword [v_x],rax\n");
    EXPECT_GT(find_library_command("Pick2")->use_count, 0);
    EXPECT_EQ(find_library_command("Pick")->use_count, 0);
    // No form takes three; the message names the command itself.
    EXPECT_EQ(compile("x = Pick(1, 2, 3)"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
    EXPECT_STREQ(error_message, "Pick(): Incorrect number of parameters.");
    // The second form is no command of its own.
    EXPECT_EQ(compile("x = Pick2(1, 2)"), "error " + std::to_string(ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO));

    use_c();
    std::string code = compile("x = Pick(1, 2)");
    EXPECT_NE(code.find("ZD_Pick2("), std::string::npos) << code;
    EXPECT_EQ(compile("x = Pick(1, 2, 3)"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
}

TEST_F(LibraryCommandFormsTest, DeprecatedCommandWarnsOncePerCompilation) {
    use_x64();
    testing::internal::CaptureStdout();
    std::string code = compile("x = Old(1) + Old(2)\ny = Old(3)");
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(code.find("CALL ZD_Old"), std::string::npos) << code;
    EXPECT_EQ(printed, "Warning: Line 1 - Deprecated function 'Old()' used.\n");
    // The next compilation warns again.
    testing::internal::CaptureStdout();
    compile("x = Old(1)");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: Line 1 - Deprecated function 'Old()' used.\n");
}

const char* const structures =
    "Structure Point\nx.l\ny.l\nEndStructure\n"
    "Structure Named\nname.s\nid.l\nEndStructure\n";

TEST_F(LibraryCommandFormsTest, StructureNamesFillTwoParameters) {
    use_x64();
    std::string setup = structures;
    // The size, and no descriptor for a structure without strings.
    EXPECT_EQ(compile(setup + "x = Measure(Point)"),
              " PUSH qword 0\n PUSH qword 8\n POP rcx\n POP rdx\n CALL ZD_Measure\n MOVSXD rax,eax\n"
              " MOV qword [v_x],rax\n");
    StructureRecord* named = nullptr;
    std::string code = compile(setup + "x = Measure(Named)");
    named = find_structure("Named");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(code, " MOV rax,s_named\n PUSH rax\n PUSH qword " + std::to_string(named->size) +
                        "\n POP rcx\n POP rdx\n CALL ZD_Measure\n MOVSXD rax,eax\n MOV qword [v_x],rax\n");
    EXPECT_TRUE(named->flags & STRUCT_NEEDS_INIT);
    // The map of the structure, marked to be written.
    code = compile(setup + "Define p.Point\nx = Wipe(@p, Point)");
    StructureRecord* point = find_structure("Point");
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(code.rfind(" MOV rax,SM_" + std::to_string(point->id) + "\n PUSH rax\n PUSH qword 8\n", 0), 0u) << code;
    EXPECT_NE(code.find("POP rcx\n POP rdx\n POP r8\n CALL ZD_Wipe\n"), std::string::npos) << code;
    EXPECT_TRUE(point->flags & STRUCT_MARK_800);
    // An array and the map of its elements' structure; none for numbers.
    code = compile(setup + "Dim a.Point(3)\nx = Elements(a())");
    EXPECT_EQ(code.rfind(" MOV rax,SM_" + std::to_string(find_structure("Point")->id) + "\n PUSH rax\n", 0), 0u) << code;
    EXPECT_NE(code.find("CALL ZD_Elements"), std::string::npos) << code;
    code = compile(setup + "Dim v.l(3)\nx = Elements(v())");
    EXPECT_EQ(code.rfind(" PUSH qword 0\n", 0), 0u) << code;
    // The second form of Shape is the one whose parameters the list fills.
    code = compile(setup + "x = Shape(1, Point)");
    EXPECT_EQ(code.rfind(" PUSH qword 0\n PUSH qword 8\n PUSH qword 1\n", 0), 0u) << code;
    EXPECT_NE(code.find("CALL ZD_Shape2"), std::string::npos) << code;
    EXPECT_NE(compile(setup + "x = Shape(1)").find("CALL ZD_Shape\n"), std::string::npos);
    // Reading the list for the first form declared nothing.
    compile(setup + "x = Shape(1, Point)");
    EXPECT_EQ(find_global_variable("Point", false), nullptr);
    EXPECT_EQ(find_global_variable("point", false), nullptr);

    use_c();
    code = compile(setup + "x = Measure(Point)");
    EXPECT_NE(code.find("ZD_Measure(8,0)"), std::string::npos) << code;
    code = compile(setup + "x = Measure(Named)");
    EXPECT_NE(code.find("ZD_Measure(" + std::to_string(find_structure("Named")->size) + ",ms_named)"), std::string::npos)
        << code;
    code = compile(setup + "Define p.Point\nx = Wipe(@p, Point)");
    EXPECT_NE(code.find(",(void*)8,sm_" + std::to_string(find_structure("Point")->id) + ")"), std::string::npos) << code;
    EXPECT_TRUE(find_structure("Point")->flags & STRUCT_MARK_800);
    code = compile(setup + "Dim v.l(3)\nx = Elements(v())");
    EXPECT_NE(code.find(",0)"), std::string::npos) << code;
    EXPECT_NE(compile(setup + "x = Shape(1, Point)").find("ZD_Shape2(1,8,0)"), std::string::npos);
}

TEST_F(LibraryCommandFormsTest, StructureArgumentErrors) {
    std::string setup = structures;
    for (int x64 = 1; x64 >= 0; x64--) {
        if (x64) use_x64();
        else use_c();
        EXPECT_EQ(compile(setup + "x = Measure(Nothing)"), "error " + std::to_string(ERROR_NOT_STRUCTURE));
        EXPECT_STREQ(error_message, "'Nothing' is not a structure.");
        EXPECT_EQ(compile(setup + "x = Measure(5)"), "error " + std::to_string(ERROR_SYNTAX));
        EXPECT_EQ(compile(setup + "x = Measure(Point + 1)"), "error " + std::to_string(ERROR_SYNTAX));
        EXPECT_EQ(compile(setup + "x = Measure(Point, Point)"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
        EXPECT_EQ(compile(setup + "x = Measure()"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
        // A structure variable is no structure type.
        EXPECT_EQ(compile(setup + "Define p.Point\nx = Measure(p)"), "error " + std::to_string(ERROR_NOT_STRUCTURE));
        // A whole structured item can only be copied: a number parameter
        // refuses it, for a command and for a procedure alike ("@p" passes
        // its address).
        EXPECT_EQ(compile(setup + "Define p.Point\nx = Pick(p)"), "error " + std::to_string(ERROR_SYNTAX));
        EXPECT_EQ(compile(setup + "Define p.Point\nx = Pick(@p)").rfind("error", 0), std::string::npos);
        EXPECT_EQ(compile(setup + "Procedure Take(a)\nEndProcedure\nDefine p.Point\nTake(p)"), "error " + std::to_string(ERROR_SYNTAX));
        EXPECT_EQ(compile(setup + "x = Elements(Point)"), "error " + std::to_string(ERROR_ARRAY_PARAMETER_EXPECTED));
    }
}

TEST_F(LibraryCommandFormsTest, CommandNameWithoutParenthesis) {
    use_x64();
    EXPECT_EQ(compile("x = Pick"), "error " + std::to_string(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_CALL));
    EXPECT_EQ(compile("x = 1 + SizeOf"), "error " + std::to_string(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_CALL));
    // A variable that already has the name keeps it.
    EXPECT_EQ(compile("Define Pick.l = 2\nx = Pick").rfind("error", 0), std::string::npos);
}

}  // namespace
