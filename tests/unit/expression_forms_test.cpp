// Golden lines of expression forms through the dispatcher and the x64 back
// end: addresses ("@", "?"), escaped literals, Bool() of run-time
// conditions, strings as truth values, numbers joined to strings at run
// time, and Data addresses. Each fragment is also assembled with fasm.
#include <string>

#include "emit_test_support.h"
#include "backend_x64/emit_strings.h"
#include "driver/compilation_driver.h"
#include "frontend/blocks.h"
#include "frontend/data_sections.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class ExpressionFormsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        thread_safe = 0;
        fresh();
    }
    void TearDown() override {
        thread_safe = 0;
        in_procedure = 0;
        in_datasection = 0;
    }
    void fresh() {
        compiler_reset();
        declare_builtin_constants();
        reset_statement_state();
        reset_expression_compiler();
        init_variables();
        reset_block_state();
        reset_emitter_state();
        reset_operand_state();
        create_float_pools();
        clear_error_state();
        clear_output();
    }

    // Compiles each statement (one per line); the code of all, or "error <n>".
    std::string compile(const std::string& statements) {
        return compile_all_statements(statements);
    }

    // The code of `statement` after `setup`; it must assemble (with the
    // data labels it names) and leave the push depth at 0.
    void expect_code(const std::string& setup, const std::string& statement, const std::string& expected,
                     const std::string& symbols = "") {
        fresh();
        if (!setup.empty()) {
            ASSERT_EQ(compile(setup).rfind("error", 0), std::string::npos) << setup;
        }
        std::string code = compile(statement);
        EXPECT_EQ(code, expected) << statement;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code + symbols), "") << statement;
        }
        EXPECT_EQ(emitter_stack.push_depth, 0) << statement;
    }

    int error_of(const std::string& statements) {
        fresh();
        compile(statements);
        return error_number;
    }

};

// ---------------------------------------------------------------------------
// Addresses

TEST_F(ExpressionFormsTest, AddressOfVariablesAndElements) {
    expect_code("x.l = 1", "p = @x", " LEA rax,[v_x]\n MOV qword [v_p],rax\n");
    // A string variable holds its text's address; a fixed string is one.
    expect_code("s.s = \"a\"", "p = @s", " MOV rax,qword [v_s]\n MOV qword [v_p],rax\n");
    expect_code("Define f.s{4}", "p = @f", " LEA rax,[v_f]\n MOV qword [v_p],rax\n");
    // The address is a right operand like a call result.
    expect_code("x.l = 1\nq = 2", "p = q + @x",
                " MOV r15,qword [v_q]\n LEA rax,[v_x]\n ADD r15,rax\n MOV qword [v_p],r15\n");
}

TEST_F(ExpressionFormsTest, AddressOfLiteralsConstantsProceduresAndLabels) {
    expect_code("", "p = @\"Zz\"", " MOV rax,_S1\n MOV qword [v_p],rax\n");
    expect_code("#S$ = \"k\"", "p = @#S$", " MOV rax,_S1\n MOV qword [v_p],rax\n");
    // The procedure may come later; its address counts as a use.
    std::string code = compile("Procedure Later()\nEndProcedure\np = @Later()");
    EXPECT_NE(code.find(" MOV rax,_Procedure0\n MOV qword [v_p],rax\n"), std::string::npos) << code;
    EXPECT_GT(find_procedure("Later")->use_count, 0);
    expect_code("", "p = ?here", " MOV rax,l_here\n MOV qword [v_p],rax\n", "l_here:\n");
}

TEST_F(ExpressionFormsTest, AddressErrors) {
    EXPECT_EQ(error_of("p = @5"), ERROR_ADDRESS_OF_LITERAL_NUMBER);
    EXPECT_EQ(error_of("#C = @x"), ERROR_DYNAMIC_ADDRESS_IN_CONSTANT);
    EXPECT_EQ(error_of("#C = ?here"), ERROR_DYNAMIC_ADDRESS_IN_CONSTANT);
    EXPECT_EQ(error_of("p = @Zz()"), ERROR_NOT_DECLARED);
    EXPECT_EQ(error_of("p = @#Nope"), ERROR_CONSTANT_NOT_FOUND);
    EXPECT_EQ(error_of("#N = 5\np = @#N"), ERROR_ADDRESS_OF_LITERAL_NUMBER);
    EXPECT_EQ(error_of("Procedure F()\nEndProcedure\np = @F(1)"), ERROR_SYNTAX);
}

TEST_F(ExpressionFormsTest, EscapedLiterals) {
    fresh();
    ASSERT_EQ(compile("a.s = ~\"x\\ty\\\"z\\\\\""), " MOV rdx,_S1\n LEA rcx,[v_a]\n CALL SYS_FastAllocateStringFree4\n");
    LiteralString* literal = find_literal_by_number(1);
    ASSERT_NE(literal, nullptr);
    EXPECT_STREQ(literal->entry.key, "x\ty\"z\\");
    EXPECT_EQ(error_of("a.s = ~\"\\q\""), ERROR_INVALID_ESCAPE_SEQUENCE);
}

// ---------------------------------------------------------------------------
// Bool and strings as truth values

TEST_F(ExpressionFormsTest, BoolOfARunTimeCondition) {
    // The jump leaves for ".False" when the condition fails.
    expect_code("a = 1", "x = Bool(a > 3)",
                " MOV r15,qword [v_a]\n CMP r15,3\n_Bool1:\n JLE .False\n MOV r15,1\n JMP .True\n.False:\n"
                " XOR r15,r15\n.True:\n MOV qword [v_x],r15\n");
    // Constants fold without code.
    expect_code("", "x = Bool(2 > 1) + Bool(0)", " MOV qword [v_x],1\n");
    EXPECT_EQ(error_of("x = Bool(\"a\")"), ERROR_LITERAL_STRING_AS_EXPRESSION);
}

TEST_F(ExpressionFormsTest, StringTruthTests) {
    // A variable is compared with the empty string (non-zero: empty).
    expect_code("s.s = \"a\"", "If s\nEndIf",
                " MOV rcx,qword [v_s]\n XOR rdx,rdx\n CALL SYS_StringEqual\n OR rax,rax\n JNE _EndIf2\n_EndIf2:\n");
    // A temporary is read where it lies: its first character.
    std::string code = compile("If s + \"!\"\nEndIf");
    EXPECT_NE(code.find(" POP rcx\n MOV qword [ZD_StringBasePosition],rcx\n ADD rcx,[ZD_StringBase]\n"
                        " CMP word [rcx],0\n JE _EndIf4\n"),
              std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    thread_safe = 1;
    code = compile("If s + \"!\"\nEndIf");
    EXPECT_NE(code.find(" CALL SYS_RestoreStringBasePosition\n MOV rcx,rax\n CMP word [rcx],0\n JE _EndIf6\n"),
              std::string::npos) << code;
    EXPECT_EQ(code.find("ZD_StringBase"), std::string::npos) << code;
    EXPECT_EQ(error_of("If 1 And \"x\"\nEndIf"), ERROR_LITERAL_STRING_AS_EXPRESSION);
    EXPECT_EQ(error_of("s.s = \"a\"\nIf Not s\nEndIf"), ERROR_OPERATOR_ON_STRINGS);
}

// ---------------------------------------------------------------------------
// Numbers joined to strings at run time

TEST_F(ExpressionFormsTest, NumberTextCallsKeepTheWritePosition) {
    LibraryCommand str{};
    str.entry.key = const_cast<char*>("Str");
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.flags = 0;
    current_operand.size = 8;
    snprintf(current_operand.text, sizeof current_operand.text, "qword [v_n]");
    x64_push_number_text_argument(0);
    x64_emit_number_text(&str, 0);
    EXPECT_EQ(output(), " PUSH qword [v_n]\n POP rcx\n PUSH qword [ZD_StringBasePosition]\n"
                        " PUSH qword [ZD_StringBasePosition]\n POP rdx\n SUB rsp,40\n CALL ZD_Str\n ADD rsp,40\n");
    // The text's offset stays pushed.
    EXPECT_EQ(emitter_stack.push_depth, 8);
    emitter_stack.push_depth = 0;
    clear_output();
    // Thread-safe: the value is read from its slot after the position call.
    thread_safe = 1;
    LibraryCommand strd{};
    strd.entry.key = const_cast<char*>("StrD");
    current_operand.flags = OP_FLOAT | OP_DOUBLE;
    snprintf(current_operand.text, sizeof current_operand.text, "qword [v_d]");
    x64_push_number_text_argument(2);
    x64_emit_number_text(&strd, 2);
    std::string code = output();
    EXPECT_NE(code.find(" MOV rdx,[rsp]\n MOVSD xmm0,qword [rsp+8]\n MOV [rsp+8],rdx\n ADD rsp,8\n"),
              std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 8);
    emitter_stack.push_depth = 0;
}

TEST_F(ExpressionFormsTest, NumbersBindTheirOperatorsBeforeTheJoin) {
    fresh();
    // Constants fold into the literal text, also after "*".
    ASSERT_EQ(compile("a.s = \"n=\" + 6 * 7").rfind("error", 0), std::string::npos);
    LiteralString* literal = find_literal_by_number(1);
    ASSERT_NE(literal, nullptr);
    EXPECT_STREQ(literal->entry.key, "n=42");
    EXPECT_EQ(error_of("Structure P\nx.l\nEndStructure\nDefine v.P\na.s = \"x\" + v"), ERROR_STRUCTURE_TO_STRING);
}

// ---------------------------------------------------------------------------
// Data addresses

TEST_F(ExpressionFormsTest, DataAddressesOfProceduresAndLiterals) {
    fresh();
    ASSERT_EQ(compile("Procedure P()\nEndProcedure\nDataSection\nData.i @P(), @\"ab\", @~\"c\\n\"\nEndDataSection"), "");
    std::string data(data_buffer_start, data_write_pointer);
    EXPECT_NE(data.find(" dq _Procedure0,_S1,_S2\n"), std::string::npos) << data;
    EXPECT_GT(find_procedure("P")->use_count, 0);
    EXPECT_EQ(error_of("Procedure P()\nEndProcedure\nDataSection\nData.l @P()\nEndDataSection"), ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER);
    EXPECT_EQ(error_of("DataSection\nData.i @\"x\", @Q()\nEndDataSection"), ERROR_NOT_DECLARED);
    EXPECT_EQ(error_of("DataSection\nData.i @x\nEndDataSection"), ERROR_SYNTAX);
}

}  // namespace

// ---------------------------------------------------------------------------
// Structure copies, interface variables as values

TEST_F(ExpressionFormsTest, StructureCopyAndInterfaceValues) {
    const std::string structures = "Structure PT\nx.l\ny.l\nEndStructure\nDefine p.PT, q.PT";
    expect_code(structures, "p = q",
                " LEA rax,[v_q]\n LEA rcx,[v_p]\n MOV r9,rax\n XOR r8,r8\n MOV rdx,8\n CALL SYS_CopyStructure\n");
    // Only two items of one structure copy; a number is no structure.
    EXPECT_EQ(error_of(structures + "\nStructure PU\nx.l\ny.l\nEndStructure\nDefine u.PU\np = u"), ERROR_STRUCTURED_COPY_MISMATCH);
    EXPECT_EQ(error_of(structures + "\np = 1"), ERROR_VALUE_ASSIGNED_TO_STRUCTURE);
    EXPECT_EQ(error_of(structures + "\nn = p"), ERROR_VALUE_ASSIGNED_TO_STRUCTURE);
    const std::string interface = "Interface IC\nCalc()\nEndInterface\nDefine o.IC";
    expect_code(interface, "o = 0", " MOV qword [v_o],0\n");
    expect_code(interface, "x = o", " MOV r15,qword [v_o]\n MOV qword [v_x],r15\n");
}

// A string field copied from another structure variable: the source is
// read through rbp before the saved target address is read back into it.
TEST_F(ExpressionFormsTest, StringFieldCopyReadsTheSourceFirst) {
    const std::string structures = "Structure PS\na.i\ns.s\nEndStructure\nDefine p.PS, q.PS";
    expect_code(structures, "q\\s = p\\s",
                " LEA rbp,[v_q]\n LEA rbp,[rbp+8]\n PUSH rbp\n LEA rbp,[v_p]\n MOV rdx,qword [rbp+8]\n"
                " MOV rbp,[rsp]\n LEA rcx,[rbp]\n SUB rsp,40\n CALL SYS_FastAllocateStringFree4\n ADD rsp,40\n"
                " ADD rsp,8\n");
    // A typed name alone declares the variable; an untyped one is no statement.
    fresh();
    EXPECT_EQ(compile("Structure PR\nx.i\nEndStructure\nr.PR\nr\\x = 2").rfind("error", 0), std::string::npos);
    EXPECT_EQ(error_of("y"), ERROR_SYNTAX);
}

// Field chains after elements: the element's address is the chain's base;
// a pointer element is loaded first; a computed target waits on the stack
// while its right side moves rbp.
TEST_F(ExpressionFormsTest, FieldChainsAfterElements) {
    const std::string setup =
        "Structure PT\nx.i\ns.s\nEndStructure\nDim a.PT(3)\nDim *p.PT(2)\nDim n(2)\nNewList l.PT()\ni = 1";
    expect_code(setup, "a(2)\\x = 4", " MOV rbp,qword [a_a]\n ADD rbp,32\n MOV qword [rbp],4\n",
                "a_a: dq 0\n");
    expect_code(setup, "a(i)\\x = a(2)\\x",
                " MOV r15,qword [v_i]\n MOV rbp,qword [a_a]\n SAL r15,4\n ADD rbp,r15\n PUSH rbp\n"
                " MOV rbp,qword [a_a]\n ADD rbp,32\n MOV r15,qword [rbp]\n MOV rbp,[rsp]\n MOV qword [rbp],r15\n"
                " ADD rsp,8\n",
                "a_a: dq 0\nv_i: dq 0\n");
    expect_code(setup, "*p(i)\\x = 5",
                " MOV r15,qword [v_i]\n MOV rbp,qword [ap_p]\n SAL r15,3\n MOV rbp,qword [rbp+r15]\n"
                " MOV qword [rbp],5\n",
                "ap_p: dq 0\nv_i: dq 0\n");
    // Only structure elements have fields.
    fresh();
    EXPECT_EQ(error_of(setup + "\nx = n(1)\\x"), ERROR_ARRAY_WITHOUT_STRUCTURE);
    fresh();
    EXPECT_EQ(error_of("NewList k()\nx = k()\\x"), ERROR_LIST_WITHOUT_STRUCTURE);
    fresh();
    EXPECT_EQ(error_of(setup + "\nx = a(1)\\nope"), ERROR_STRUCTURE_FIELD_NOT_FOUND);
}
