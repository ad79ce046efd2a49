// String expressions, literal strings and the string stack: golden lines of
// whole statements through the dispatcher and the x64 back end (each also
// assembled with fasm), the literal table, and the front end's decisions.
#include <string>

#include "emit_test_support.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/program_output.h"
#include "driver/compilation_driver.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/literal_strings.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/strings.h"
#include "frontend/variables.h"

namespace {

class StringsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        thread_safe = 0;
        compiler_reset();
        reset_statement_state();
        clear_output();
    }
    // compiler_reset, then the built-in constants (Null$ among them).
    static void reset_compiler() {
        compiler_reset();
        declare_builtin_constants();
    }
    void TearDown() override {
        thread_safe = 0;
        in_procedure = 0;
    }

    // Compiles each statement (one per line) and returns the code of all.
    std::string compile(const std::string& statements) {
        return compile_all_statements(statements);
    }

    std::string fresh_compile(const std::string& statements) {
        reset_compiler();
        reset_statement_state();
        return compile(statements);
    }

    // The code of the last statement after the others set things up; it
    // must assemble and leave the push depth at 0.
    void expect_code(const std::string& setup, const std::string& statement, const std::string& expected) {
        reset_compiler();
        reset_statement_state();
        if (!setup.empty()) {
            ASSERT_EQ(compile(setup).rfind("error", 0), std::string::npos) << setup;
        }
        std::string code = compile(statement);
        EXPECT_EQ(code, expected) << statement;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code), "") << statement;
        }
        EXPECT_EQ(emitter_stack.push_depth, 0) << statement;
    }

    int error_of(const std::string& statements) {
        fresh_compile(statements);
        return error_number;
    }

    // Compiles a condition as the conditional statements do.
    std::string condition(const std::string& setup, const std::string& condition_text) {
        compiler_reset();
        reset_statement_state();
        if (!setup.empty()) compile(setup);
        clear_error_state();
        text = condition_text;
        text.push_back('\0');
        text.push_back('\0');
        clear_output();
        parse_pointer = text.data();
        token_code = 2;
        compile_expression(EXPR_CONDITION | EXPR_RESET_REGISTERS, 0);
        return error_number ? "error " + std::to_string(error_number) : output();
    }

    std::string literal_text_of(int32_t number) {
        LiteralString* literal = find_literal_by_number(number);
        return literal ? std::string(literal->entry.key) : std::string("<none>");
    }

    std::string text;
};

// ---------------------------------------------------------------------------
// Literals joined at compile time

TEST_F(StringsTest, TwoLiteralsBecomeOneLiteral) {
    expect_code("", "a.s = \"ab\" + \"cd\"",
                " MOV rdx,_S1\n LEA rcx,[v_a]\n CALL SYS_FastAllocateStringFree4\n");
    EXPECT_EQ(literal_string_count, 1);
    EXPECT_EQ(literal_text_of(1), "abcd");
}

TEST_F(StringsTest, NumericConstantsBecomeText) {
    fresh_compile("a.s = \"v\" + 1.5 + 2 + -3");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(literal_text_of(1), "v1.52-3");
    fresh_compile("a.s = \"x\" + 2.0 + 0.25");
    EXPECT_EQ(literal_text_of(1), "x20.25");
    char out[64];
    format_number_as_text(out, sizeof out, 0, 100.0, true);
    EXPECT_STREQ(out, "100");
    format_number_as_text(out, sizeof out, -42, 0.0, false);
    EXPECT_STREQ(out, "-42");
}

TEST_F(StringsTest, SameLiteralOneLabelCaseMatters) {
    fresh_compile("a.s = \"abc\"\nb.s = \"abc\"\nc.s = \"ABC\"");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(literal_string_count, 2);
    EXPECT_EQ(literal_text_of(1), "abc");
    EXPECT_EQ(literal_text_of(2), "ABC");
    EXPECT_EQ(literal_used_mark, 1);
}

TEST_F(StringsTest, LiteralLengthLimit) {
    std::string exact(8192, 'x');
    EXPECT_EQ(error_of("a.s = \"" + exact + "\""), 0);
    EXPECT_EQ(error_of("a.s = \"" + exact.substr(0, 8190) + "\" + \"yz\""), 0);
    EXPECT_EQ(error_of("a.s = \"" + exact.substr(0, 8190) + "\" + \"xyzw\""), ERROR_LITERAL_STRING_TOO_LONG);
    clear_error_state();
    reset_parser_state();
    reset_literal_text();
    append_literal_text(exact.c_str());
    EXPECT_EQ(error_number, 0);
    append_literal_text("y");
    EXPECT_EQ(error_number, ERROR_LITERAL_STRING_TOO_LONG);
}

TEST_F(StringsTest, NullStringMarker) {
    reset_parser_state();
    int32_t number = intern_literal_string(null_string_marker);
    EXPECT_EQ(null_string_number, number);
    // Joined to other text the null string adds nothing.
    fresh_compile("a.s = \"ab\" + #Null$ + \"cd\"");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(literal_text_of(1), "abcd");
    expect_code("", "a.s = #Null$", " XOR rdx,rdx\n LEA rcx,[v_a]\n CALL SYS_FastAllocateStringFree4\n");
}

TEST_F(StringsTest, ConstantModeKeepsTextInTheBuffer) {
    fresh_compile("#Greeting = \"Hel\" + \"lo\"\na.s = #Greeting + \"!\"");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(literal_string_count, 1);
    EXPECT_EQ(literal_text_of(1), "Hello!");
}

// ---------------------------------------------------------------------------
// Run-time concatenation and stores

TEST_F(StringsTest, VariableJoinedWithLiterals) {
    expect_code("b.s = \"x\"", "a.s = b + \", \" + \"world\"",
                " MOV rcx,qword [v_b]\n"
                " PUSH qword [ZD_StringBasePosition]\n"
                " SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " MOV rcx,_S2\n"
                " SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " POP rdx\n LEA rcx,[v_a]\n CALL SYS_AllocateString4\n");
    EXPECT_EQ(literal_text_of(2), ", world");
}

TEST_F(StringsTest, LiteralFirstSavesThePositionBeforeTheVariableIsRead) {
    expect_code("b.s = \"x\"", "a.s = \"<\" + b",
                " PUSH qword [ZD_StringBasePosition]\n"
                " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " MOV rcx,qword [v_b]\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " POP rdx\n LEA rcx,[v_a]\n CALL SYS_AllocateString4\n");
}

TEST_F(StringsTest, StringVariableCopy) {
    expect_code("b.s = \"x\"", "a.s = b",
                " MOV rdx,qword [v_b]\n LEA rcx,[v_a]\n CALL SYS_FastAllocateStringFree4\n");
}

TEST_F(StringsTest, FixedStrings) {
    // A literal into a fixed string.
    expect_code("Define f.s{10}", "f = \"abc\"",
                " LEA rax,[v_f]\n MOV r8,_S1\n MOV rdx,10\n MOV rcx,rax\n CALL SYS_AssignFixedStringFast\n");
    // A fixed string is read through a copy on the string stack.
    expect_code("Define f.s{10}\na.s = \"\"", "a = f + \"!\"",
                " LEA rcx,[v_f]\n PUSH qword [ZD_StringBasePosition]\n MOV rdx,10\n"
                " SUB rsp,40\n CALL SYS_CopyFixedString\n ADD rsp,40\n"
                " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " POP rdx\n LEA rcx,[v_a]\n CALL SYS_AllocateString4\n");
    // A concatenation into a fixed string.
    expect_code("Define f.s{4}\nb.s = \"\"", "f = b + \"z\"",
                " MOV rcx,qword [v_b]\n PUSH qword [ZD_StringBasePosition]\n"
                " SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " POP r8\n LEA rcx,[v_f]\n MOV rdx,4\n CALL SYS_AssignFixedString\n");
}

TEST_F(StringsTest, EmptyLiteralIsCopiedFromNull) {
    expect_code("b.s = \"x\"", "a.s = b + \"\" + b",
                " MOV rcx,qword [v_b]\n PUSH qword [ZD_StringBasePosition]\n"
                " SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " XOR rcx,rcx\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " MOV rcx,qword [v_b]\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
                " POP rdx\n LEA rcx,[v_a]\n CALL SYS_AllocateString4\n");
}

TEST_F(StringsTest, Errors) {
    EXPECT_EQ(error_of("a.s = 5"), ERROR_NUMBER_INTO_STRING_VARIABLE);
    EXPECT_EQ(error_of("b.s = \"x\"\na.i = b"), ERROR_STRING_INTO_NUMERIC_VARIABLE);
    EXPECT_EQ(error_of("b.s = \"x\"\na.s = b - \"y\""), ERROR_SYNTAX);
    EXPECT_EQ(error_of("b.s = \"x\"\na.s = b + (b)"), ERROR_PARENTHESIS_IN_STRING_OPERATION);
    EXPECT_EQ(error_of("a.s = \"x\" + (\"y\")"), ERROR_PARENTHESIS_IN_STRING_OPERATION);
    // A comparison outside a condition.
    EXPECT_EQ(error_of("b.s = \"x\"\na.i = b = \"y\""), ERROR_COMPARISON_OUTSIDE_CONDITION);
    EXPECT_EQ(error_of("\"abc\" = \"d\""), ERROR_SYNTAX);
}

// ---------------------------------------------------------------------------
// Comparisons

TEST_F(StringsTest, TwoLiteralsCompareAtCompileTime) {
    EXPECT_EQ(condition("", "\"abc\" = \"abc\""), "");
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.constant, 1);
    condition("", "\"abc\" < \"abd\"");
    EXPECT_EQ(current_operand.constant, 1);
    condition("", "\"b\" <= \"a\"");
    EXPECT_EQ(current_operand.constant, 0);
    // Bytes compare unsigned: "é" (C3 A9) sorts after "z".
    condition("", "\"\xC3\xA9\" > \"z\"");
    EXPECT_EQ(current_operand.constant, 1);
    condition("", "\"ab\" + \"c\" <> \"abc\"");
    EXPECT_EQ(current_operand.constant, 0);
    EXPECT_EQ(literal_string_count, 0);
}

TEST_F(StringsTest, StringComparedWithNumberIsError117) {
    EXPECT_EQ(condition("a.s = \"\"", "a = 5"), "error " + std::to_string(ERROR_STRINGS_COMPARED_WITH_NUMBERS));
    EXPECT_EQ(condition("a.s = \"\"", "\"x\" = 1 + a"), "error " + std::to_string(ERROR_STRINGS_COMPARED_WITH_NUMBERS));
    EXPECT_EQ(condition("a.s = \"\"", "a + 1 = 2"), "error " + std::to_string(ERROR_STRINGS_COMPARED_WITH_NUMBERS));
}

TEST_F(StringsTest, VariableAgainstLiteral) {
    std::string code = condition("a.s = \"\"", "a = \"abc\"");
    EXPECT_EQ(code, " PUSH qword [v_a]\n MOV rcx,_S2\n POP rdx\n CALL SYS_StringEqual\n OR rax,rax\n");
    EXPECT_EQ(current_operand.flags, (uint32_t)OP_COMPARISON);
    EXPECT_EQ(condition_index, 0);
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(StringsTest, RoutineAndConditionIndexPerOperator) {
    struct Case {
        const char* op;
        const char* routine;
        int index;
    } cases[] = {
        {"=", "SYS_StringEqual", 0},     {"<>", "SYS_StringEqual", 1},     {"<", "SYS_StringInferior", 0},
        {">=", "SYS_StringInferior", 1}, {">", "SYS_StringSuperior", 0}, {"<=", "SYS_StringSuperior", 1},
    };
    for (const Case& c : cases) {
        std::string code = condition("a.s = \"\"\nb.s = \"\"", std::string("a ") + c.op + " b");
        EXPECT_EQ(code, " PUSH qword [v_a]\n MOV rcx,qword [v_b]\n POP rdx\n CALL " + std::string(c.routine) +
                            "\n OR rax,rax\n")
            << c.op;
        EXPECT_EQ(condition_index, c.index) << c.op;
    }
}

TEST_F(StringsTest, TwoTemporariesAreRebasedAndFreed) {
    std::string code = condition("a.s = \"\"", "a + \"x\" < a + \"y\"");
    EXPECT_EQ(code,
              " MOV rcx,qword [v_a]\n PUSH qword [ZD_StringBasePosition]\n"
              " SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " ADD qword [ZD_StringBasePosition],2\n"
              " MOV rcx,qword [v_a]\n PUSH qword [ZD_StringBasePosition]\n"
              " SUB rsp,32\n CALL SYS_CopyString\n ADD rsp,32\n"
              " MOV rcx,_S3\n SUB rsp,32\n CALL SYS_CopyString\n ADD rsp,32\n"
              " POP rcx\n MOV qword [ZD_StringBasePosition],rcx\n ADD rcx,[ZD_StringBase]\n"
              " POP rdx\n MOV qword [ZD_StringBasePosition],rdx\n ADD rdx,[ZD_StringBase]\n"
              " CALL SYS_StringInferior\n OR rax,rax\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(StringsTest, LiteralLeftSide) {
    std::string code = condition("a.s = \"\"", "\"k\" >= a");
    EXPECT_EQ(code, " MOV rcx,qword [v_a]\n MOV rdx,_S2\n CALL SYS_StringInferior\n OR rax,rax\n");
    EXPECT_EQ(condition_index, 1);
}

// ---------------------------------------------------------------------------
// The thread-safe forms name no string-stack global

TEST_F(StringsTest, ThreadSafeFormsUseRoutinesOnly) {
    compiler_reset();
    reset_statement_state();
    compile("b.s = \"x\"");
    thread_safe = 1;
    std::string code = compile("a.s = \"<\" + b");
    std::string compare = condition("a.s = \"\"", "a + \"x\" = a + \"y\"");
    thread_safe = 0;
    EXPECT_EQ(code.find("ZD_StringBase"), std::string::npos) << code;
    EXPECT_EQ(compare.find("ZD_StringBase"), std::string::npos) << compare;
    EXPECT_NE(code.find(" CALL SYS_GetStringBasePosition\n"), std::string::npos) << code;
    EXPECT_NE(compare.find(" CALL SYS_IncrementStringBasePosition\n"), std::string::npos) << compare;
    EXPECT_NE(compare.find(" CALL SYS_RestoreStringBasePosition\n"), std::string::npos) << compare;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(assemble_fragment(compare), "");
}

TEST_F(StringsTest, WithoutThreadNoRoutineTouchesThePosition) {
    std::string code = fresh_compile("b.s = \"x\"\na.s = \"<\" + b + \">\"");
    std::string compare = condition("a.s = \"\"", "a + \"x\" = a + \"y\"");
    for (const std::string& text : {code, compare}) {
        EXPECT_EQ(text.find("StringBasePosition\n CALL"), std::string::npos);
        EXPECT_EQ(text.find("CALL SYS_GetStringBase"), std::string::npos);
        EXPECT_EQ(text.find("CALL SYS_SetStringBase"), std::string::npos);
        EXPECT_EQ(text.find("CALL SYS_RestoreStringBase"), std::string::npos);
        EXPECT_EQ(text.find("CALL SYS_IncrementStringBase"), std::string::npos);
    }
}

// ---------------------------------------------------------------------------
// Emitters at a push depth and the static strings

TEST_F(StringsTest, CallsAreFramedAtAnyDepth) {
    reset_parser_state();
    emitter_stack.push_depth = 8;
    thread_safe = 1;
    emit_increment_string_base_position();
    emit_push_string_base_position();
    emit_restore_string_base_position();
    thread_safe = 0;
    EXPECT_EQ(output(),
              " SUB rsp,40\n CALL SYS_IncrementStringBasePosition\n ADD rsp,40\n"
              " PUSH rcx\n SUB rsp,32\n CALL SYS_GetStringBasePosition\n ADD rsp,32\n POP rcx\n PUSH rax\n"
              " POP rcx\n PUSH rax\n SUB rsp,32\n CALL SYS_SetStringBasePosition\n ADD rsp,32\n POP rax\n");
    EXPECT_EQ(emitter_stack.push_depth, 8);
    clear_output();
    // The literal copy pads even at depth 0.
    emitter_stack.push_depth = 0;
    emit_copy_literal_string(intern_literal_string("q"));
    EXPECT_EQ(output(), " MOV rcx,_S1\n SUB rsp,32\n CALL SYS_CopyString\n ADD rsp,32\n");
    EXPECT_EQ(runtime_routine_used[RT_SYS_CopyString], 1);
}

TEST_F(StringsTest, StaticStringsHandedToTheProgramOutput) {
    // A source with a byte-order mark keeps its UTF-8 text.
    reset_compiler();
    reset_statement_state();
    source_is_utf8_bom = 1;
    compile("a.s = \"H\xC3\xA9\"\nb.s = #Null$\nc.s = \"\"");
    source_is_utf8_bom = 0;
    ASSERT_EQ(error_number, 0);
    hand_over_literal_strings();
    ASSERT_EQ(program_literal_strings.size(), 3u);
    EXPECT_EQ(program_literal_strings[0].text, "H\xC3\xA9");
    EXPECT_EQ(program_literal_strings[2].text, "");
    EXPECT_EQ(null_literal_number, 2);
    clear_output();
    strings_used = 1;
    emit_static_strings();
    std::string data = output();
    EXPECT_NE(data.find("_S1: dw 72,233,0\n"), std::string::npos) << data;
    EXPECT_EQ(data.find("_S2:"), std::string::npos) << data;
    EXPECT_NE(data.find("_S3: dw 0\n"), std::string::npos) << data;
    strings_used = 0;
}

}  // namespace
