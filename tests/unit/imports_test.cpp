// Import blocks and imported functions: declarations of Import/ImportC
// blocks and their errors, calls of Import-block functions and of the
// functions of loaded import files (golden lines assembled with fasm), the
// external symbols of used functions and imported variables, and the import
// file that /IMPORT writes, read back field by field.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/build_tools.h"
#include "emit_test_support.h"
#include "frontend/import_file_format.h"
#include "frontend/imports.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"
#include "platform/platform.h"

namespace {

class ImportsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        start();
    }
    void TearDown() override {
        in_procedure = 0;
        in_import = 0;
        import_file = nullptr;
        debugger_code = 0;
        if (!folder.empty()) {
            std::string cleanup = "rm -rf '" + folder + "'";
            if (std::system(cleanup.c_str()) != 0) {}
        }
    }

    void start() {
        compiler_reset();
        reset_statement_state();
        reset_procedures();
        reset_imports();
        clear_output();
        clear_error_state();
    }

    // Compiles the statements (one per line); the code the last one wrote,
    // or "error <n>".
    std::string compile(const std::string& statements) {
        std::string last;
        size_t begin = 0;
        while (begin <= statements.size()) {
            size_t end = statements.find('\n', begin);
            if (end == std::string::npos) end = statements.size();
            texts.push_back(statements.substr(begin, end - begin) + std::string(2, '\0'));
            clear_output();
            parse_pointer = texts.back().data();
            compile_statement();
            if (error_number) return "error " + std::to_string(error_number);
            last = output();
            begin = end + 1;
        }
        return last;
    }

    int error_of(const std::string& statements) {
        start();
        compile(statements);
        return error_number;
    }

    std::string temporary_folder() {
        if (folder.empty()) {
            char dir[] = "/tmp/zdimportsXXXXXX";
            if (mkdtemp(dir)) folder = dir;
        }
        return folder;
    }

    // Loads an import file with one function "ZdProbe_" (symbol
    // "ZdProbeW"): integer, double and string parameters, the last optional.
    void load_probe_library() {
        ImportFunctionSpec f;
        f.name = "ZdProbe_";
        f.symbol = "ZdProbeW";
        f.parameter_types = {21, 12, 8};
        f.string_parameter_count = 1;
        f.optional_parameter_count = 1;
        f.defaults = {{0, "none"}};
        ImportFunctionSpec g;
        g.name = "ZdProbeLong_";
        g.symbol = "ZdProbeLong";
        g.flags |= PROC_RETURNS_LONG;
        std::string bytes = build_import_file("ZDPROBE", {f, g});
        std::string path = temporary_folder() + "/ZDPROBE";
        ASSERT_TRUE(os_write_file(path.c_str(), bytes.data(), bytes.size()));
        if (!find_imported_function("ZdProbe_")) import_library_file_read(path.c_str());
        ASSERT_NE(find_imported_function("zdprobe_"), nullptr);
    }

    std::vector<std::string> texts;
    std::string folder;
};

// ---------------------------------------------------------------------------
// Declarations

TEST_F(ImportsTest, BlockDeclaresImportedFunctions) {
    ASSERT_EQ(compile("Import \"mathdll.lib\"\n  Add.l(a.l, b = 2)\n  Scale.d(x.d) As \"ScaleValue\"\nEndImport"), "");
    ASSERT_EQ(ImportLibraryList, std::vector<std::string>{"mathdll.lib"});
    EXPECT_EQ(in_import, 0);
    ProcedureRecord* add = find_procedure("Add");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->flags, PROC_IMPORTED | PROC_DECLARED | PROC_RETURNS_LONG);
    EXPECT_STREQ(add->symbol_name, "Add");
    EXPECT_EQ(add->parameter_count, 2);
    EXPECT_EQ(add->optional_count, 1);
    EXPECT_EQ(add->parameters[0].type, TYPE_LONG);
    EXPECT_EQ(add->default_values[0], 2);
    ProcedureRecord* scale = find_procedure("scale");
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->flags & PROC_RETURNS_DOUBLE, PROC_RETURNS_DOUBLE);
    EXPECT_STREQ(scale->symbol_name, "ScaleValue");
    // The parameter lists left no locals behind.
    EXPECT_EQ(find_local_variable("a", false), nullptr);
    EXPECT_EQ(in_procedure, 0);
}

TEST_F(ImportsTest, ImportCAddsTheCallingConventionBit) {
    ASSERT_EQ(compile("ImportC \"libc.lib\"\n  strlen(s.s)\nEndImport\nImport \"k.lib\"\n  Other()\nEndImport"), "");
    EXPECT_EQ(find_procedure("strlen")->flags & (PROC_C_CALL | PROC_IMPORTED), PROC_C_CALL | PROC_IMPORTED);
    EXPECT_EQ(find_procedure("strlen")->parameters[0].type, TYPE_STRING);
    EXPECT_EQ(find_procedure("Other")->flags & PROC_C_CALL, 0u);
}

TEST_F(ImportsTest, BlockSwitchesDebuggerCodeOffUntilEndImport) {
    debugger_code = 1;
    ASSERT_EQ(compile("Import \"a.lib\""), "");
    EXPECT_EQ(debugger_code, 0);
    EXPECT_EQ(in_import, 1);
    ASSERT_EQ(compile("EndImport"), "");
    EXPECT_EQ(debugger_code, 1);
}

TEST_F(ImportsTest, ImportedVariables) {
    ASSERT_EQ(compile("Import \"data.lib\"\n  counter.l As \"_shared_counter\"\n  *table\nEndImport"), "");
    VariableRecord* counter = find_global_variable("counter", false);
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(counter->flags & (VAR_OWN_SYMBOL | VAR_GLOBAL), VAR_OWN_SYMBOL | VAR_GLOBAL);
    EXPECT_STREQ(counter->symbol, "_shared_counter");
    EXPECT_EQ(counter->type, TYPE_LONG);
    VariableRecord* table = find_global_variable("table", true);
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->symbol, "table");
    std::string code = compile("x = counter + 1");
    EXPECT_NE(code.find("_shared_counter"), std::string::npos) << code;
    collect_import_externs();
    EXPECT_NE(std::find(ExternSymbolList.begin(), ExternSymbolList.end(), "_shared_counter"), ExternSymbolList.end());
}

TEST_F(ImportsTest, DeclarationErrors) {
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name$()"), ERROR_STRING_RETURN_IN_IMPORT);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name.s()"), ERROR_STRING_RETURN_IN_IMPORT);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  *Name()"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name() As 12"), ERROR_LITERAL_STRING_EXPECTED_AFTER);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name() As Other"), ERROR_LITERAL_STRING_EXPECTED_AFTER);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name()\n  Name()"), ERROR_PROCEDURE_IS_ALREADY_DECLARED);
    EXPECT_EQ(error_of("Import \"a.lib\"\n  Name(a, b"), ERROR_PROCEDURE_CLOSE_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("Global v\nImport \"a.lib\"\n  v.l"), ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE);
    EXPECT_EQ(error_of("EndImport"), ERROR_ENDIMPORT_WITHOUT_IMPORT);
    EXPECT_EQ(error_of("Procedure P()\nImport \"a.lib\""), ERROR_IMPORT_INSIDE_PROCEDURE);
    // A line that does not begin with a name is not a declaration.
    EXPECT_EQ(error_of("Import \"a.lib\"\n  ; nothing\nEndImport"), 0);
}

TEST_F(ImportsTest, ImportPathStaysAsWrittenWhenMissing) {
    ASSERT_EQ(compile("Import \"no/such/folder/lib.lib\"\nEndImport"), "");
    EXPECT_EQ(ImportLibraryList, std::vector<std::string>{"no/such/folder/lib.lib"});
}

TEST_F(ImportsTest, LibraryAndSymbolNamesDoNotJoinTheNextLiteral) {
    ASSERT_EQ(compile("Import \"mathdll.lib\"\n  Scale.d(x.d) As \"ScaleValue\"\nEndImport"), "");
    ASSERT_EQ(compile("a$ = \"hi\""), " MOV rdx,_S1\n LEA rcx,[v_a$]\n CALL SYS_FastAllocateStringFree4\n");
    ASSERT_NE(find_literal_by_number(1), nullptr);
    EXPECT_STREQ(find_literal_by_number(1)->entry.key, "hi");
    start();
    ASSERT_EQ(compile("Import \"other.lib\"\nEndImport"), "");
    compile("b$ = \"yo\"");
    ASSERT_NE(find_literal_by_number(1), nullptr);
    EXPECT_STREQ(find_literal_by_number(1)->entry.key, "yo");
}

// ---------------------------------------------------------------------------
// Calls

TEST_F(ImportsTest, CallOfAnImportBlockFunctionNamesItsSymbol) {
    ASSERT_EQ(compile("Import \"mathdll.lib\"\n  Add.l(a.l, b) As \"AddNumbers\"\nEndImport"), "");
    std::string code = compile("x = Add(1, 2)");
    EXPECT_EQ(code,
              " PUSH qword 2\n PUSH qword 1\n POP rcx\n POP rdx\n CALL AddNumbers\n MOVSXD rax,eax\n"
              " MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment("extrn AddNumbers\n" + code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(find_procedure("Add")->use_count, 1);
}

TEST_F(ImportsTest, FiveArgumentsGetThePadAndTheShadowSpace) {
    ASSERT_EQ(compile("Import \"w.lib\"\n  Five(a, b, c, d, e)\n  Six(a, b, c, d, e, f)\nEndImport"), "");
    std::string five = compile("Five(1, 2, 3, 4, 5)");
    EXPECT_EQ(five.substr(0, 10), " SUB rsp,8") << five;
    EXPECT_NE(five.find(" POP r9\n SUB rsp,32\n CALL Five\n ADD rsp,48\n"), std::string::npos) << five;
    std::string six = compile("Six(1, 2, 3, 4, 5, 6)");
    EXPECT_EQ(six.substr(0, 14), " PUSH qword 6\n") << six;
    EXPECT_NE(six.find(" CALL Six\n ADD rsp,48\n"), std::string::npos) << six;
    EXPECT_EQ(assemble_fragment("extrn Five\nextrn Six\n" + five + six), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ImportsTest, ImportedFunctionTakesAStringForAnInteger) {
    ASSERT_EQ(compile("Import \"u.lib\"\n  Show(text)\nEndImport"), "");
    std::string code = compile("Show(\"hello\")");
    EXPECT_NE(code.find(" CALL Show\n"), std::string::npos) << code;
    EXPECT_EQ(compile("Show(\"hello\", 2)"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
}

TEST_F(ImportsTest, OperatingSystemFunctionCall) {
    load_probe_library();
    std::string code = compile("r = ZdProbe_(7, 1.5)");
    EXPECT_NE(code.find(" PUSH qword 7\n POP rcx\n MOVSD xmm1,qword [rsp]\n ADD rsp,8\n POP r8\n CALL ZdProbeW\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(code.find("MOVSXD"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    ImportedFunction* probe = find_imported_function("ZdProbe_");
    EXPECT_GE(probe->use_count, 1);
    std::vector<std::string> used = used_import_library_names();
    EXPECT_NE(std::find(used.begin(), used.end(), "ZDPROBE"), used.end());
    std::string longer = compile("r = zdprobelong_()");
    EXPECT_EQ(longer, " CALL ZdProbeLong\n MOVSXD rax,eax\n MOV qword [v_r],rax\n") << longer;
    EXPECT_EQ(assemble_fragment("extrn ZdProbeW\nextrn ZdProbeLong\n" + code + longer + "D1: dq 0\n_S1: dw 0\n"), "");
    EXPECT_EQ(compile("r = ZdProbe_()"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
}

TEST_F(ImportsTest, DefinedCountsTheFunctionAndItsLibraryAsUsed) {
    load_probe_library();
    EXPECT_EQ(compile("#D = Defined(ZdProbe_, 55) + Defined(NoProbe_, 55)"), "");
    EXPECT_EQ(find_imported_function("ZdProbe_")->use_count, 1);
    std::vector<std::string> used = used_import_library_names();
    EXPECT_NE(std::find(used.begin(), used.end(), "ZDPROBE"), used.end());
}

TEST_F(ImportsTest, UsedFunctionsBecomeExternalSymbols) {
    ASSERT_EQ(compile("Import \"m.lib\"\n  Used() As \"used_symbol\"\n  Unused()\nEndImport\nUsed()"), " CALL used_symbol\n");
    mark_startup_imports();
    EXPECT_NE(std::find(ExternSymbolList.begin(), ExternSymbolList.end(), "used_symbol"), ExternSymbolList.end());
    EXPECT_EQ(std::find(ExternSymbolList.begin(), ExternSymbolList.end(), "Unused"), ExternSymbolList.end());
}

TEST_F(ImportsTest, CallRecordsAreMadeAgainForEachCompilation) {
    load_probe_library();
    ImportedFunction* probe = find_imported_function("ZdProbe_");
    compile("ZdProbe_(1, 2)");
    ASSERT_NE(probe->call_record, nullptr);
    reset_imports();
    EXPECT_EQ(probe->call_record, nullptr);
    EXPECT_EQ(probe->use_count, 0);
}

// ---------------------------------------------------------------------------
// /IMPORT and /WINDOWSIMPORT

TEST_F(ImportsTest, ImportFileHoldsTheBlockFunctionsAndReadsBack) {
    ASSERT_EQ(compile("Import \"mathdll.lib\"\n  Add_.l(a.l, b.d = 2.5, c.s = \"x\") As \"AddNumbers\"\n"
                      "  Count_(list)\nEndImport"),
              "");
    std::string path = temporary_folder() + "/mathdll.imp";
    import_file = const_cast<char*>(path.c_str());
    write_import_file();
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(link_import_libraries, std::vector<std::string>{"mathdll.lib"});
    std::string bytes;
    ASSERT_TRUE(os_read_file(path.c_str(), bytes));
    std::string library;
    std::vector<ImportFunctionSpec> functions;
    ASSERT_TRUE(parse_import_file(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), library, functions));
    EXPECT_EQ(library, "mathdll.lib");
    ASSERT_EQ(functions.size(), 2u);
    const ImportFunctionSpec* add = functions[0].name == "Add_" ? &functions[0] : &functions[1];
    const ImportFunctionSpec* count = add == &functions[0] ? &functions[1] : &functions[0];
    EXPECT_EQ(add->symbol, "AddNumbers");
    EXPECT_EQ(add->flags, PROC_IMPORTED | PROC_DECLARED | PROC_RETURNS_LONG);
    EXPECT_EQ(add->parameter_types, (std::vector<uint8_t>{TYPE_LONG, TYPE_DOUBLE, TYPE_STRING}));
    EXPECT_EQ(add->optional_parameter_count, 2);
    ASSERT_EQ(add->defaults.size(), 2u);
    double real;
    std::memcpy(&real, &add->defaults[0].value, sizeof real);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(add->defaults[1].text, "x");
    EXPECT_EQ(count->symbol, "Count_");
    EXPECT_EQ(count->parameter_types, std::vector<uint8_t>{TYPE_INTEGER});

    // Loaded like an operating-system list, the functions are called by name.
    import_library_file_read(path.c_str());
    start();
    std::string code = compile("x = Add_(1)");
    EXPECT_NE(code.find(" CALL AddNumbers\n MOVSXD rax,eax\n"), std::string::npos) << code;
    ImportedFunction* loaded = find_imported_function("Add_");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->parameter_sizes[0], 4);
    EXPECT_EQ(loaded->parameter_sizes[1], 8);
}

TEST_F(ImportsTest, ImportFileNeedsExactlyOneBlock) {
    std::string path = temporary_folder() + "/x.imp";
    import_file = const_cast<char*>(path.c_str());
    start();
    write_import_file();
    EXPECT_EQ(error_number, ERROR_NO_IMPORT_DEFINITION);
    EXPECT_EQ(current_line, -1);
    start();
    compile("Import \"a.lib\"\nEndImport\nImport \"b.lib\"\nEndImport");
    write_import_file();
    EXPECT_EQ(error_number, ERROR_MORE_THAN_ONE_IMPORT_DEFINITION);
    start();
    compile("Import \"a.lib\"\nEndImport");
    std::string unwritable = temporary_folder() + "/missing/x.imp";
    import_file = const_cast<char*>(unwritable.c_str());
    write_import_file();
    EXPECT_EQ(error_number, ERROR_IMPORT_LIBRARY_NOT_CREATED);
}

TEST_F(ImportsTest, WindowsImportListsTheBlockFunctions) {
    ASSERT_EQ(compile("Import \"mathdll.lib\"\n  Add_(a, b) As \"AddNumbers\"\n  Plain()\nEndImport"), "");
    std::vector<ImportedFunctionName> functions;
    collect_imported_functions(functions);
    ASSERT_EQ(functions.size(), 2u);
    bool seen_add = false, seen_plain = false;
    for (const ImportedFunctionName& f : functions) {
        if (f.name == "Add_" && f.symbol == "AddNumbers") seen_add = true;
        if (f.name == "Plain" && f.symbol == "Plain") seen_plain = true;
    }
    EXPECT_TRUE(seen_add);
    EXPECT_TRUE(seen_plain);
}

}  // namespace
