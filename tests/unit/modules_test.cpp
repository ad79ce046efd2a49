// Modules: the order of DeclareModule and Module, nesting, UseModule and
// UnuseModule with their conflict checks, public macros, and the scope
// settings saved around a section.
#include <string>

#include "backend_c/c_backend.h"
#include "preprocess_test_support.h"

namespace {

using ModulesTest = PreprocessTest;

int count_in_use()
{
    int n = 0;
    for (ListNode* node = modules_in_use->first; node; node = node->next) {
        n++;
    }
    return n;
}

TEST_F(ModulesTest, SectionsComeInTheirOrder)
{
    EXPECT_EQ(compile("Module M\nEndModule"), ERROR_MODULE_WITHOUT_DECLAREMODULE);
    EXPECT_EQ(compile("DeclareModule M\nEndDeclareModule\nModule M\nEndModule\n\nModule M\nEndModule"), ERROR_MODULE_ALREADY_DECLARED);
    EXPECT_NE(printed.find("Module already declared: M ("), std::string::npos) << printed;
    EXPECT_NE(printed.find("main.zd line 3)."), std::string::npos) << printed;
    EXPECT_EQ(compile("DeclareModule M\nEndDeclareModule\nDeclareModule M\nEndDeclareModule"), ERROR_MODULE_ALREADY_DECLARED);
    EXPECT_NE(printed.find("main.zd line 1)."), std::string::npos) << printed;
    EXPECT_EQ(compile("DeclareModule M\nEndDeclareModule"), ERROR_MODULE_ONLY_DECLARED);
    EXPECT_NE(printed.find("Module 'M' has been only declared"), std::string::npos) << printed;
    EXPECT_EQ(compile("DeclareModule M\nDeclareModule N"), ERROR_MODULES_NESTED);
    EXPECT_EQ(compile("DeclareModule M\nEndDeclareModule\nModule M\nModule M"), ERROR_MODULES_NESTED);
    EXPECT_EQ(compile("EndModule"), ERROR_ENDMODULE_WITHOUT_MODULE);
    EXPECT_EQ(compile("EndDeclareModule"), ERROR_ENDDECLAREMODULE_WITHOUT_DECLAREMODULE);
    EXPECT_EQ(compile("DeclareModule M$"), ERROR_SYNTAX);
    EXPECT_EQ(compile("DeclareModule M"), ERROR_END_KEYWORD_MISSING);
}

TEST_F(ModulesTest, ScopeSettingsAreSavedAroundASection)
{
    ASSERT_EQ(compile("EnableExplicit\nEnableASM\nDeclareModule M\n"
                      "CompilerIf #ZD_Compiler_EnableExplicit + #ZD_Compiler_InlineAssembly\n"
                      " CompilerError \"outer settings leaked\"\nCompilerEndIf\n"
                      "EndDeclareModule\n"
                      "CompilerIf #ZD_Compiler_EnableExplicit = 0\n CompilerError \"not restored\"\nCompilerEndIf\n"
                      "Module M\nEndModule"),
              0)
        << printed;
    EXPECT_EQ(explicit_enabled, 1);
    EXPECT_EQ(inline_asm_enabled, 1);
    EXPECT_EQ(current_module, nullptr);
    EXPECT_STREQ(constant_compiler_module->value.text, "");
}

TEST_F(ModulesTest, DefaultTypeIsIntegerInsideASection)
{
    ASSERT_EQ(compile(""), 0);
    default_type.code = TYPE_WORD;
    default_type.size = 2;
    declare_module("Typed");
    EXPECT_EQ(default_type.code, TYPE_INTEGER);
    EXPECT_EQ(default_type.size, 8);
    end_declare_module();
    EXPECT_EQ(default_type.code, TYPE_WORD);
    begin_module("Typed");
    EXPECT_EQ(default_type.code, TYPE_INTEGER);
    end_module();
    EXPECT_EQ(default_type.code, TYPE_WORD);
    EXPECT_EQ(error_number, 0);
}

TEST_F(ModulesTest, UseModuleChecksPublicConstants)
{
    const char* module = "DeclareModule M\n#A = 1\nEndDeclareModule\nModule M\nEndModule\n";
    ASSERT_EQ(compile(std::string(module) + "#A = 1\nUseModule M\nUseModule M"), 0) << printed;
    EXPECT_EQ(count_in_use(), 1);

    EXPECT_EQ(compile(std::string(module) + "#A = 2\nUseModule M"), ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE);
    EXPECT_EQ(compile("UseModule Nowhere"), ERROR_MODULE_NOT_FOUND);
    EXPECT_EQ(compile("UnuseModule Nowhere"), ERROR_MODULE_NOT_FOUND);

    // Used, its public constant is visible without prefix; unused, no more.
    ASSERT_EQ(compile(std::string(module) + "UseModule M\n#B = #A + 1\nUnuseModule M\nUnuseModule M"), 0)
        << printed;
    EXPECT_EQ(integer_constant("B"), 2);
    EXPECT_EQ(count_in_use(), 0);
    EXPECT_FALSE(constant_exists("A"));
}

TEST_F(ModulesTest, PublicMacrosAreReachableFromOutside)
{
    const char* module = "DeclareModule M\nMacro Pub(x) : #P_#x = x : EndMacro\nEndDeclareModule\n"
                         "Module M\nMacro Priv : #Q = 1 : EndMacro\nEndModule\n";
    ASSERT_EQ(compile(std::string(module) + "M::Pub(3)\nUseModule M\nPub(4)"), 0) << printed;
    EXPECT_EQ(integer_constant("P_3"), 3);
    EXPECT_EQ(integer_constant("P_4"), 4);

    EXPECT_EQ(compile(std::string(module) + "M::Priv"), ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_NE(printed.find("Module item 'Priv' is not declared as public."), std::string::npos) << printed;

    // A global macro of the same name as a public one blocks UseModule.
    EXPECT_EQ(compile(std::string(module) + "Macro Pub(y) : EndMacro\nUseModule M"), ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE);
}

TEST_F(ModulesTest, GlobalMacrosAreHiddenInsideModules)
{
    // Inside a module the global user macro is unknown, so the same name may
    // be defined there.
    EXPECT_EQ(compile("Macro G : #X = 1 : EndMacro\nDeclareModule M\nMacro G : #Y = 1 : EndMacro\nG\n"
                      "EndDeclareModule\nModule M\nEndModule\nG"),
              0)
        << printed;
    EXPECT_EQ(integer_constant("X"), 1);
}

TEST_F(ModulesTest, EachModuleHasItsOwnVariables)
{
    // v of the main program, of Ma and of Mb are three variables.
    ASSERT_EQ(compile("v = 1\nDeclareModule Ma\nv = 2\nEndDeclareModule\nDeclareModule Mb\nv = 3\n"
                      "EndDeclareModule\nModule Ma\nx = 5\nEndModule\nModule Mb\nEndModule"),
              0)
        << printed;
    ModuleRecord* ma = find_module("Ma");
    ModuleRecord* mb = find_module("Mb");
    ASSERT_NE(ma, nullptr);
    ASSERT_NE(mb, nullptr);
    auto* main_v = reinterpret_cast<VariableRecord*>(hash_find(variable_table, "v_v"));
    auto* ma_v = ma->variables ? reinterpret_cast<VariableRecord*>(hash_find(ma->variables, "v_v")) : nullptr;
    auto* mb_v = mb->variables ? reinterpret_cast<VariableRecord*>(hash_find(mb->variables, "v_v")) : nullptr;
    ASSERT_NE(main_v, nullptr);
    ASSERT_NE(ma_v, nullptr);
    ASSERT_NE(mb_v, nullptr);
    EXPECT_NE(main_v->offset, ma_v->offset);
    EXPECT_NE(ma_v->offset, mb_v->offset);
    EXPECT_EQ(ma_v->module, ma);
    EXPECT_NE(ma_v->flags & VAR_PUBLIC, 0);
    // x of the Module section is the module's, private.
    auto* ma_x = reinterpret_cast<VariableRecord*>(hash_find(ma->variables, "v_x"));
    ASSERT_NE(ma_x, nullptr);
    EXPECT_EQ(ma_x->flags & VAR_PUBLIC, 0);
    EXPECT_EQ(hash_find(variable_table, "v_x"), nullptr);
}

TEST_F(ModulesTest, ModuleItemsFromOutside)
{
    const std::string modules = "DeclareModule M\nv = 1\nStructure St\na.l\nEndStructure\nDeclare F()\n"
                                "Dim pa(2)\nEndDeclareModule\nModule M\npriv = 3\nProcedure F()\nEndProcedure\n"
                                "EndModule\n";
    EXPECT_EQ(compile(modules + "x = M::v"), 0) << printed;
    EXPECT_EQ(compile(modules + "x = M::priv"), ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_NE(printed.find("Module item 'priv' is not declared as public."), std::string::npos) << printed;
    EXPECT_EQ(compile(modules + "x = M::nothing"), ERROR_MODULE_VARIABLE_NOT_FOUND);
    EXPECT_NE(printed.find("Module variable 'nothing' not found."), std::string::npos) << printed;
    EXPECT_EQ(compile(modules + "x = Nowhere::v"), ERROR_MODULE_NOT_FOUND);
    // UseModule: the module's public items against the global scope.
    EXPECT_EQ(compile(modules + "UseModule M\nx = v"), 0) << printed;
    EXPECT_EQ(compile("v = 1\n" + modules + "UseModule M"), ERROR_MODULE_VARIABLE_IN_GLOBAL_SCOPE);
    EXPECT_EQ(compile("Structure St\nb.w\nEndStructure\n" + modules + "UseModule M"), ERROR_MODULE_STRUCTURE_IN_GLOBAL_SCOPE);
    EXPECT_EQ(compile("Procedure F()\nEndProcedure\n" + modules + "UseModule M"), ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE);
    EXPECT_EQ(compile("NewList pa()\n" + modules + "UseModule M"), ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE);
    // Types written with their module.
    const std::string types = "DeclareModule T\nStructure Pub\na.l\nEndStructure\nPrototype.l Pr(x.l)\n"
                              "EndDeclareModule\nModule T\nStructure Hid\nb.l\nEndStructure\n"
                              "Prototype Hp()\nEndModule\n";
    EXPECT_EQ(compile(types + "Define s.T::Pub, f.T::Pr\ns\\a = 1\nx = f(2)"), 0) << printed;
    EXPECT_EQ(compile(types + "Define s.T::Hid"), ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_EQ(compile(types + "Define f.T::Hp"), ERROR_MODULE_PROTOTYPE_NOT_PUBLIC);
    EXPECT_EQ(compile(types + "Define s.T::Nothing"), ERROR_MODULE_STRUCTURE_NOT_FOUND);
    EXPECT_NE(printed.find("Module structure 'Nothing' not found."), std::string::npos) << printed;
}

TEST_F(ModulesTest, LabelsHaveAScopePerModule)
{
    const std::string modules = "DeclareModule M\npub:\nEndDeclareModule\nModule M\npriv:\nGoto pub\nEndModule\n";
    // One name in the main program and in two modules is three labels.
    EXPECT_EQ(compile("lab:\n" + modules + "DeclareModule N\nEndDeclareModule\nModule N\nlab:\nGoto lab\nEndModule\n"
                      "Goto lab"),
              0)
        << printed;
    EXPECT_EQ(compile(modules + "Goto M::pub\nGosub M::pub\nRestore M::pub\nx = ?M::pub\nReturn"), 0) << printed;
    EXPECT_EQ(compile(modules + "UseModule M\nGoto pub\nx = ?pub"), 0) << printed;
    EXPECT_EQ(compile(modules + "Goto pub"), ERROR_LABEL_NOT_FOUND);
    EXPECT_EQ(compile(modules + "Goto M::priv"), ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_NE(printed.find("Module item 'priv' is not declared as public."), std::string::npos) << printed;
    EXPECT_EQ(compile(modules + "Restore M::nothing"), ERROR_MODULE_ITEM_NOT_PUBLIC);
    EXPECT_EQ(compile(modules + "x = ?Nowhere::pub"), ERROR_MODULE_NOT_FOUND);
    // A module does not see the main program's labels; the check runs at
    // EndModule and names the Goto's line.
    EXPECT_EQ(compile("mainlab:\nDeclareModule N\nEndDeclareModule\nModule N\n\nGoto mainlab\nEndModule\nEnd"), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 6 - Label not found (mainlab)."), std::string::npos) << printed;
    // A module procedure's reference falls back to the module's labels only.
    const std::string procedure = "DeclareModule N\nEndDeclareModule\nModule N\nDataSection\nd:\nEndDataSection\n"
                                  "Procedure P()\nRestore d\nEndProcedure\nEndModule\n";
    EXPECT_EQ(compile(procedure), 0) << printed;
    EXPECT_EQ(compile("d2:\n" + procedure + "Procedure Q()\nEndProcedure\n"), 0) << printed;
    EXPECT_EQ(compile("DataSection\nd:\nEndDataSection\nDeclareModule N\nEndDeclareModule\nModule N\n"
                      "Procedure P()\nRestore d\nEndProcedure\nEndModule"),
              ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 8 - Label not found (d)."), std::string::npos) << printed;
    // A procedure the module declared and never defined, used or not.
    EXPECT_EQ(compile("DeclareModule N\nDeclare F()\nEndDeclareModule\nModule N\nEndModule"), ERROR_MODULE_PROCEDURE_DECLARED_NOT_DEFINED);
    EXPECT_NE(printed.find("Line 5 - The module procedure 'F()' has been declared but not defined."),
              std::string::npos)
        << printed;
}

TEST_F(ModulesTest, JumpChecksAtTheSourceEndNameTheirOwnLine)
{
    EXPECT_EQ(compile("x = 1\nGosub lab\nEnd 3\nlab:\nEnd 4"), ERROR_GOSUB_WITHOUT_RETURN);
    EXPECT_NE(printed.find("Line 2 - 'Gosub' detected without any 'Return'."), std::string::npos) << printed;
    EXPECT_EQ(compile("Gosub lab\nEnd 3\nlab:\nReturn"), 0) << printed;
    EXPECT_EQ(compile("Gosub lab\nEnd 3\nlab:\nFakeReturn\nGoto out\nout:"), 0) << printed;
    EXPECT_EQ(compile("Goto nowhere"), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 1 - Label not found (nowhere)."), std::string::npos) << printed;
    EXPECT_EQ(compile("a = 1 +\n 2\nGoto nowhere\nb = 1"), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 3 - Label not found (nowhere)."), std::string::npos) << printed;
    EXPECT_EQ(compile("Procedure P()\n  Goto nowhere\nEndProcedure\n"), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 2 - Label not found (nowhere)."), std::string::npos) << printed;
    // A procedure's Goto to a label of the main code or of its module: the
    // x64 back end jumps there; a C label belongs to its function, so the C
    // back end finds none, at the Goto's line.
    const std::string outer = "Procedure P()\n  x = 1\n  Goto outer\nEndProcedure\nouter:\n"
                              "DeclareModule M\nEndDeclareModule\nModule M\nProcedure Q()\nGoto inner\nEndProcedure\n"
                              "inner:\nEndModule";
    EXPECT_EQ(compile(outer), 0) << printed;
    install_backend(&c_backend_hooks);
    EXPECT_EQ(compile(outer), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 3 - Label not found (outer)."), std::string::npos) << printed;
    EXPECT_EQ(compile(outer.substr(outer.find("DeclareModule"))), ERROR_LABEL_NOT_FOUND);
    EXPECT_NE(printed.find("Line 5 - Label not found (inner)."), std::string::npos) << printed;
    install_backend(&x64_backend_hooks);
}

TEST_F(ModulesTest, DebuggerRecordsTheModulesInUseOfEachSection)
{
    debugger_enabled = 1;
    int error = compile("DeclareModule Ma\nEndDeclareModule\nModule Ma\nEndModule\n"
                        "UseModule Ma\n"
                        "DeclareModule Mb\nUseModule Ma\nEndDeclareModule\n"
                        "Module Mb\nEndModule");
    debugger_enabled = 0;
    ASSERT_EQ(error, 0) << printed;
    // After EndDeclareModule and EndModule the outer list (Ma from line 5 on),
    // at Module the section's own list (Ma, used in its DeclareModule).
    EXPECT_EQ(std::string(code_context_buffer->start, code_context_buffer->write),
              "zd_public ZD_DEBUGGER_CodeContextBank\n"
              " dd 0\n db 3,\"Ma\",0\n dd 1\n db 4,\"Ma\",0\n dd 2\n db 3,\"Ma\",0\n dd 3\n db 4,\"Ma\",0\n"
              " dd 4\n db 5,\"Ma\",0\n"
              " dd 5\n db 3,\"Mb\",0\n dd 6\n db 5,\"Ma\",0\n dd 7\n db 4,\"Mb\",0\n dd 7\n db 5,\"Ma\",0\n"
              " dd 8\n db 3,\"Mb\",0\n dd 8\n db 5,\"Ma\",0\n dd 9\n db 4,\"Mb\",0\n dd 9\n db 5,\"Ma\",0");
}

}  // namespace
