// Golden C lines of string statements compiled through the dispatcher and
// the C back end: joins on the string stack, literals joined at compile
// time, numbers turned into text, stores into strings and fixed strings,
// comparisons in conditions. Every fragment is compiled by clang for the
// Windows target with the runtime prototypes and the string table the C
// file would hold, so the marks and the table are checked as well.
#include <cstring>
#include <string>

#include "backend_c/c_program_file.h"
#include "backend_c/c_strings.h"
#include "c_test_support.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"

namespace {

// The fixed head of the C file that the string lines rely on.
const char* const c_string_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "#define M_SYSFUNCTION(a) a\n"
    "#define M_ZDFUNCTION(a) a\n"
    "#define M_CDECL\n"
    "typedef void TCHAR;\n"
    "int ZD_ExitCode=0;\n";

class CStringTest : public CBackendTest {
protected:
    void SetUp() override {
        CBackendTest::SetUp();
        fresh_compilation();
    }
    void TearDown() override {
        thread_safe = 0;
        CBackendTest::TearDown();
        c_backend_reset();
    }

    void fresh_compilation() {
        compiler_reset();
        reset_statement_state();
        reset_block_state();
        c_reset_expression_state();
        c_backend_reset();
        clear_error_state();
        clear_output();
    }

    // Compiles each statement (one per line) and returns the code of the
    // last one, or "error <n>".
    std::string compile(const std::string& statements) { return compile_last_statement(statements); }

    // Compiles `condition` as the condition of an If after the statements
    // of `setup`; returns the lines written and the truth text after "=> ".
    std::string compile_condition_text(const std::string& setup, const std::string& condition) {
        if (!setup.empty() && compile(setup).rfind("error", 0) == 0) return "setup failed";
        clear_output();
        text = condition;
        text.push_back('\0');
        text.push_back('\0');
        parse_pointer = text.data();
        token_code = 2;
        token_precedence = 0;
        compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_STRING_BASE | EXPR_KEEP_FPU_RESULT | EXPR_CONDITION, 0);
        if (error_number) return "error " + std::to_string(error_number);
        if (current_operand.kind == OPERAND_CONSTANT) return output() + "=> " + std::to_string(current_operand.constant);
        return output() + "=> " + current_operand.text;
    }

    // Declarations the C file would give the fragment: runtime prototypes,
    // string table, variables.
    std::string file_head() {
        return written_by([] {
            c_emit_runtime_prototypes();
            c_emit_string_table();
            emit_variable_declarations();
        });
    }

    void expect_code(const std::string& statements, const std::string& expected) {
        fresh_compilation();
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && code.rfind("error", 0) != 0) {
            EXPECT_EQ(compile_with_clang(file_head(), code), "") << statements;
        }
    }

    void expect_condition(const std::string& setup, const std::string& condition, const std::string& expected) {
        fresh_compilation();
        std::string result = compile_condition_text(setup, condition);
        EXPECT_EQ(result, expected) << condition;
        size_t arrow = result.rfind("=> ");
        if (result == expected && arrow != std::string::npos) {
            std::string code = result.substr(0, arrow) + "if (" + result.substr(arrow + 3) + ") ZD_ExitCode=1;\n";
            EXPECT_EQ(compile_with_clang(file_head(), code), "") << condition;
        }
    }

    int error_of(const std::string& statements) {
        fresh_compilation();
        compile(statements);
        return error_number;
    }

    // clang on the fragment inside a function; "" when it compiles, else
    // clang's messages.
    static std::string compile_with_clang(const std::string& globals, const std::string& code) {
        return clang_messages_for_fragment(c_string_prelude + globals, code);
    }
};

// ---------------------------------------------------------------------------
// Stores of literals and joins

TEST_F(CStringTest, LiteralStoreUsesOneCallAndNoStackTraffic) {
    expect_code("a$ = \"Hi\"", "SYS_FastAllocateStringFree4(&v_aS,_S1);\n");
    ASSERT_EQ(c_literal_table.size(), 1u);
    EXPECT_EQ(c_literal_table[0].number, 1);
    EXPECT_EQ(c_literal_table[0].text, "Hi");
    EXPECT_EQ(string_manager_used, 1);
    EXPECT_EQ(c_runtime_used[C_SYS_FastAllocateStringFree4], 1);
    EXPECT_EQ(c_runtime_used[C_SYS_CopyString], 0);
}

TEST_F(CStringTest, EmptyLiteralIsTheNullPointer) {
    expect_code("a$ = \"\"", "SYS_FastAllocateStringFree4(&v_aS,0);\n");
    EXPECT_TRUE(c_literal_table.empty());
    expect_code("a$ = \"x\"\nb$ = a$ + \"\"", "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(0);\n"
                                             "SYS_AllocateString4(&v_bS,SYS_PopStringBasePosition());\n");
}

TEST_F(CStringTest, VariableThenTwoLiteralsCopiesOneJoinedLiteral) {
    expect_code("a$ = \"Hello\"\nb$ = a$ + \", world\" + \"!\"",
                "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(_S2);\n"
                "SYS_AllocateString4(&v_bS,SYS_PopStringBasePosition());\n");
    ASSERT_EQ(c_literal_table.size(), 2u);
    EXPECT_EQ(c_literal_table[1].text, ", world!");
    EXPECT_EQ(c_runtime_used[C_SYS_AllocateString4], 1);
}

TEST_F(CStringTest, LiteralInFrontSavesThePositionFirst) {
    expect_code("b$ = \"x\"\nd$ = \"pre\" + b$ + \"post\"",
                "SYS_PushStringBasePosition();\nSYS_CopyString(_S2);\nSYS_CopyString(v_bS);\nSYS_CopyString(_S3);\n"
                "SYS_AllocateString4(&v_dS,SYS_PopStringBasePosition());\n");
}

TEST_F(CStringTest, LiteralsAndConstantsJoinAtCompileTime) {
    expect_code("a$ = \"n\" + 3", "SYS_FastAllocateStringFree4(&v_aS,_S1);\n");
    EXPECT_EQ(c_literal_table.at(0).text, "n3");
    expect_code("a$ = \"n\" + 1.5", "SYS_FastAllocateStringFree4(&v_aS,_S1);\n");
    EXPECT_EQ(c_literal_table.at(0).text, "n1.5");
    expect_code("a$ = \"n\" + 2.0", "SYS_FastAllocateStringFree4(&v_aS,_S1);\n");
    EXPECT_EQ(c_literal_table.at(0).text, "n2");
    expect_code("a$ = \"a\" + \"b\" + \"c\"", "SYS_FastAllocateStringFree4(&v_aS,_S1);\n");
    EXPECT_EQ(c_literal_table.at(0).text, "abc");
}

TEST_F(CStringTest, StringCopiedFromAStringVariable) {
    expect_code("a$ = \"x\"\nb$ = a$", "SYS_FastAllocateStringFree4(&v_bS,v_aS);\n");
    expect_code("a$ = \"x\"\nb$ = a$ + a$",
                "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(v_aS);\n"
                "SYS_AllocateString4(&v_bS,SYS_PopStringBasePosition());\n");
}

TEST_F(CStringTest, ALiteralNamedTwiceIsInTheTableOnce) {
    fresh_compilation();
    compile("a$ = \"same\"\nb$ = \"same\"\nc$ = a$ + \"same\"");
    ASSERT_EQ(error_number, 0);
    ASSERT_EQ(c_literal_table.size(), 1u);
    EXPECT_EQ(c_literal_table[0].text, "same");
    // An entry another writer added is not added again.
    c_literal_table.push_back({intern_literal_string("other"), "other"});
    EXPECT_STREQ(c_string_literal_name(literal_string_count), "_S2");
    EXPECT_EQ(c_literal_table.size(), 2u);
}

TEST_F(CStringTest, DryRunsWriteNothingAndMarkNothing) {
    fresh_compilation();
    compile("a$ = \"x\"");
    std::memset(c_runtime_used, 0, sizeof c_runtime_used);
    string_manager_used = 0;
    clear_output();
    no_output_depth++;
    compile("b$ = a$ + \"y\"");
    no_output_depth--;
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");
    EXPECT_EQ(string_manager_used, 0);
    EXPECT_EQ(c_runtime_used[C_SYS_CopyString], 0);
    EXPECT_EQ(c_runtime_used[C_SYS_AllocateString4], 0);
}

// ---------------------------------------------------------------------------
// Fixed strings

TEST_F(CStringTest, FixedStringStores) {
    const std::string define = "Define f.s{4}\na$ = \"x\"\n";
    expect_code(define + "f = \"abcdef\"", "SYS_AssignFixedStringFast(v_f,4,_S2);\n");
    EXPECT_EQ(c_runtime_used[C_SYS_AssignFixedStringFast], 1);
    expect_code(define + "f = \"\"", "SYS_AssignFixedStringFast(v_f,4,0);\n");
    expect_code(define + "f = a$", "SYS_AssignFixedStringFast(v_f,4,v_aS);\n");
    expect_code(define + "f = a$ + \"zz\"",
                "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(_S2);\nvoid *p0=v_f;\n"
                "SYS_AssignFixedString(p0,4,SYS_PopStringBasePosition());\n");
    EXPECT_EQ(p_temporary_counter, 1);
    EXPECT_EQ(c_runtime_used[C_SYS_AssignFixedString], 1);
}

TEST_F(CStringTest, FixedStringValuesAreReadFromACopy) {
    const std::string define = "Define f.s{4}\n";
    // A fixed string need not end with a terminator.
    expect_code(define + "a$ = f", "SYS_PushStringBasePosition();\nSYS_CopyFixedString(v_f,4);\n"
                                   "SYS_AllocateString4(&v_aS,SYS_PopStringBasePosition());\n");
    EXPECT_EQ(c_runtime_used[C_SYS_CopyFixedString], 1);
    expect_code(define + "a$ = f + \"!\"", "SYS_PushStringBasePosition();\nSYS_CopyFixedString(v_f,4);\nSYS_CopyString(_S1);\n"
                                           "SYS_AllocateString4(&v_aS,SYS_PopStringBasePosition());\n");
    expect_code(define + "Define g.s{2}\ng = f",
                "SYS_PushStringBasePosition();\nSYS_CopyFixedString(v_f,4);\nvoid *p0=v_g;\n"
                "SYS_AssignFixedString(p0,2,SYS_PopStringBasePosition());\n");
}

TEST_F(CStringTest, FixedStringTypesAreRegisteredOnce) {
    c_register_fixed_string_type(20);
    c_register_fixed_string_type(8);
    c_register_fixed_string_type(20);
    EXPECT_EQ(fixed_string_size_table, (std::vector<int32_t>{20, 8}));
}

// ---------------------------------------------------------------------------
// Comparisons

TEST_F(CStringTest, EqualLiteralsFoldWithoutLines) {
    expect_condition("", "\"abc\" = \"abc\"", "=> 1");
    expect_condition("", "\"a\" < \"b\"", "=> 1");
    expect_condition("", "\"a\" >= \"b\"", "=> 0");
    EXPECT_TRUE(c_literal_table.empty());
}

TEST_F(CStringTest, VariableAgainstLiteral) {
    expect_condition("a$ = \"x\"", "a$ = \"x\"", "void* p0=v_aS;\nvoid* p1=_S1;\n=> SYS_StringEqual(p1,p0)");
    EXPECT_EQ(p_temporary_counter, 2);
    EXPECT_EQ(c_runtime_used[C_SYS_StringEqual], 1);
    expect_condition("a$ = \"x\"", "\"\" = a$", "void* p0=0;\nvoid* p1=v_aS;\n=> SYS_StringEqual(p1,p0)");
}

TEST_F(CStringTest, EveryRelationHasItsCall) {
    const std::string setup = "a$ = \"x\"\nb$ = \"y\"";
    const std::string lines = "void* p0=v_aS;\nvoid* p1=v_bS;\n=> ";
    expect_condition(setup, "a$ = b$", lines + "SYS_StringEqual(p1,p0)");
    expect_condition(setup, "a$ <> b$", lines + "(!SYS_StringEqual(p1,p0))");
    expect_condition(setup, "a$ < b$", lines + "SYS_StringInferior(p1,p0)");
    EXPECT_EQ(c_runtime_used[C_SYS_StringInferior], 1);
    EXPECT_EQ(c_runtime_used[C_SYS_StringSuperior], 0);
    expect_condition(setup, "a$ > b$", lines + "SYS_StringSuperior(p1,p0)");
    expect_condition(setup, "a$ <= b$", lines + "(!SYS_StringSuperior(p1,p0))");
    expect_condition(setup, "a$ >= b$", lines + "(!SYS_StringInferior(p1,p0))");
}

TEST_F(CStringTest, TwoTemporariesPopRightFirst) {
    // The right side was saved last: the first pop, p1, is the right one.
    expect_condition("a$ = \"x\"", "a$ + \"x\" <> a$ + \"y\"",
                     "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(_S1);\n"
                     "ZD_StringBasePosition+=2;\n"
                     "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(_S2);\n"
                     "void* p1=SYS_PopStringBasePositionValue();\nvoid* p0=SYS_PopStringBasePositionValue();\n"
                     "=> (!SYS_StringEqual(p1,p0))");
}

TEST_F(CStringTest, TemporaryAgainstLiteralAndThreadSafeStep) {
    expect_condition("a$ = \"x\"", "a$ + \"\" <= \"Hello\"",
                     "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(0);\n"
                     "ZD_StringBasePosition+=2;\n"
                     "void* p0=SYS_PopStringBasePositionValue();\nvoid* p1=_S3;\n=> (!SYS_StringSuperior(p1,p0))");
    thread_safe = 1;
    expect_condition("a$ = \"x\"", "a$ + \"\" <= \"Hello\"",
                     "SYS_PushStringBasePosition();\nSYS_CopyString(v_aS);\nSYS_CopyString(0);\n"
                     "SYS_IncrementStringBasePosition();\n"
                     "void* p0=SYS_PopStringBasePositionValue();\nvoid* p1=_S3;\n=> (!SYS_StringSuperior(p1,p0))");
}

TEST_F(CStringTest, FixedStringsAreComparedFromCopies) {
    expect_condition("Define f.s{4}", "f = \"xy\"",
                     "SYS_PushStringBasePosition();\nSYS_CopyFixedString(v_f,4);\nZD_StringBasePosition+=2;\n"
                     "void* p0=SYS_PopStringBasePositionValue();\nvoid* p1=_S1;\n=> SYS_StringEqual(p1,p0)");
    expect_condition("Define f.s{4}\na$ = \"q\"", "a$ = f",
                     "SYS_PushStringBasePosition();\nSYS_CopyFixedString(v_f,4);\n"
                     "void* p0=v_aS;\nvoid* p1=SYS_PopStringBasePositionValue();\n=> SYS_StringEqual(p1,p0)");
}

TEST_F(CStringTest, TemporariesKeepCountingAcrossComparisons) {
    fresh_compilation();
    compile_condition_text("a$ = \"x\"", "a$ = \"x\"");
    clear_output();
    std::string second = compile_condition_text("", "a$ < \"y\"");
    EXPECT_EQ(second, "void* p2=v_aS;\nvoid* p3=_S2;\n=> SYS_StringInferior(p3,p2)");
    EXPECT_EQ(p_temporary_counter, 4);
    c_backend_reset();
    EXPECT_EQ(p_temporary_counter, 0);
}

TEST_F(CStringTest, ComparisonErrors) {
    EXPECT_EQ(error_of("a$ = \"x\"\nb = a$ = \"x\""), ERROR_COMPARISON_OUTSIDE_CONDITION);
    fresh_compilation();
    EXPECT_EQ(compile_condition_text("a$ = \"x\"", "a$ = 1"), "error " + std::to_string(ERROR_STRINGS_COMPARED_WITH_NUMBERS));
    EXPECT_EQ(error_of("a$ = \"x\"\nb = a$"), ERROR_STRING_INTO_NUMERIC_VARIABLE);
    EXPECT_EQ(error_of("a$ = 1"), ERROR_NUMBER_INTO_STRING_VARIABLE);
}

TEST_F(CStringTest, PositionRestoreAndDropLines) {
    fresh_compilation();
    c_restore_string_base_position();
    c_drop_string_offset();
    EXPECT_EQ(output(), "SYS_PopStringBasePositionUpdate();\nSYS_PopStringBasePosition();\n");
    EXPECT_EQ(string_manager_used, 1);
    EXPECT_EQ(procedure_uses_strings, 1);
    std::string code = output();
    EXPECT_EQ(compile_with_clang(file_head(), code), "");
}

// ---------------------------------------------------------------------------
// String Select

TEST_F(CStringTest, StringSelectKeepsACopyOfItsSelector) {
    fresh_compilation();
    std::string failure = compile_each_line(
        "a$ = \"x\"\nWhile 1\nSelect a$\nCase \"x\", a$ + \"y\"\nBreak\nCase \"z\"\nEndSelect\nSelect a$ + \"!\"\n"
        "Case \"q\"\nDefault\nEndSelect\nWend",
        [](int32_t) {}, [] {});
    ASSERT_EQ(failure, "");
    std::string code = output();
    EXPECT_NE(code.find("void *zd_select1=0;\nSYS_FastAllocateString4(&zd_select1,v_aS);\n"), std::string::npos)
        << code;
    // A joined Case value is compared from the string stack before the
    // Case's condition, so that it is popped even when an item before it
    // matches; Break frees the copy before it leaves, EndSelect at the end.
    EXPECT_NE(code.find("integer c2=SYS_StringEqual(zd_select1,SYS_PopStringBasePositionValue());\n"
                        "if (SYS_StringEqual(zd_select1,_S1) || c2) {\n"),
              std::string::npos) << code;
    EXPECT_NE(code.find("SYS_FreeString(zd_select1);\ngoto il_wend1;"), std::string::npos) << code;
    EXPECT_NE(code.find("void *zd_select2=0;\nSYS_AllocateString4(&zd_select2,SYS_PopStringBasePosition());"),
              std::string::npos) << code;
    EXPECT_NE(code.find("endselect2:;\nSYS_FreeString(zd_select2);"), std::string::npos) << code;
    EXPECT_EQ(c_runtime_used[C_SYS_FreeString], 1);
    EXPECT_EQ(c_runtime_used[C_SYS_FastAllocateString4], 1);
    EXPECT_EQ(compile_with_clang(file_head(), code), "") << code;
    EXPECT_EQ(error_of("Select a$\nCase 1"), ERROR_STRING_EXPECTED_NOT_NUMBER);
}

// ---------------------------------------------------------------------------
// Strings as truth values, Bool, numbers as text, addresses

TEST_F(CStringTest, StringTruthAndBool) {
    // A string is true when its pointer is set and its text not empty.
    expect_condition("a$ = \"x\"\nb = 0", "b Or a$",
                     "integer c1=0;\nif (v_b) { goto ok1; }\nif ((v_aS && (*(short*)v_aS)!=0)) { goto ok1; }\n"
                     "goto no1;\nok1:\nc1=1;\nno1:;\n=> c1");
    fresh_compilation();
    ASSERT_EQ(compile("a$ = \"x\"\nb = Bool(a$ + \"!\")").rfind("error", 0), std::string::npos);
    EXPECT_NE(output().find("int r0=(((*((short*)SYS_PopStringBasePositionValue())!=0))?1:0);\nv_b=r0;"),
              std::string::npos) << output();
    expect_code("b = 2\nc = Bool(b > 1)", "int r0=(((v_b>1))?1:0);\nv_c=r0;\n");
    EXPECT_EQ(error_of("If \"x\" Or 1 : EndIf"), ERROR_LITERAL_STRING_AS_EXPRESSION);
}

TEST_F(CStringTest, NumberTextAndAddresses) {
    LibraryCommand str{};
    str.entry.key = const_cast<char*>("Str");
    fresh_compilation();
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.flags = 0;
    std::snprintf(current_operand.text, sizeof current_operand.text, "v_n");
    c_push_number_text_argument(0);
    c_emit_number_text(&str, 0);
    EXPECT_EQ(output(), "SYS_PushStringBasePosition();\nZD_Str(v_n,SYS_GetStringBasePosition());\n");
    expect_code("x.l = 1\np = @x", "v_p=((integer)(&v_x));\n");
    expect_code("a$ = \"x\"\np = @a$", "v_p=((integer)v_aS);\n");
    expect_code("p = @\"lit\"", "v_p=((integer)_S1);\n");
}

// ---------------------------------------------------------------------------
// Initial values in the start-up code

TEST_F(CStringTest, InitialValuesOfVariables) {
    fresh_compilation();
    compile("a$ = \"\"\nDefine f.s{3}");
    ASSERT_EQ(error_number, 0);
    VariableRecord* string_variable = nullptr;
    VariableRecord* fixed_variable = nullptr;
    hash_reset_iterator(variable_table);
    while (HashEntry* entry = hash_next(variable_table)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (variable->type == TYPE_STRING) string_variable = variable;
        if (variable->type == TYPE_FIXED_STRING) fixed_variable = variable;
    }
    hash_reset_iterator(variable_table);
    ASSERT_NE(string_variable, nullptr);
    ASSERT_NE(fixed_variable, nullptr);
    int32_t number = intern_literal_string("Go");
    clear_output();
    c_emit_string_variable_init(string_variable, number);
    c_emit_assign_fixed_string(fixed_variable, fixed_variable->size, number);
    EXPECT_EQ(output(), "SYS_FastAllocateString4(&v_aS,_S2);\nSYS_AssignFixedStringFast(v_f,3,_S2);\n");
    EXPECT_EQ(c_runtime_used[C_SYS_FastAllocateString4], 1);
    std::string code = output();
    EXPECT_EQ(compile_with_clang(file_head(), code), "");
    clear_output();
    c_emit_assign_fixed_string_text("v_f", 6, number);
    EXPECT_EQ(output(), "SYS_AssignFixedStringFast(v_f,3,_S2)\n");
}

}  // namespace
