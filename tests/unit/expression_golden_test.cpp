// Golden lines of whole statements compiled through the dispatcher and the
// x64 back end; every fragment is also assembled with fasm.
#include <string>

#include "emit_test_support.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class ExpressionGoldenTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        reset_statement_state();
        clear_output();
    }
    void TearDown() override {
        in_procedure = 0;
        explicit_enabled = 0;
    }

    // Compiles each statement (one per line) and returns the code written
    // by the last one.
    std::string compile(const std::string& statements) {
        return compile_last_statement(statements);
    }

    // The golden text, which must also assemble; the x87 stack and the push
    // depth are back where they started.
    void expect_code(const std::string& statements, const std::string& expected) {
        compiler_reset();
        reset_statement_state();
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code), "") << statements;
        }
        EXPECT_EQ(emitter_stack.fpu_depth, 0) << statements;
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        compile(statements);
        return error_number;
    }

    // Compiles a condition as the condition statements do.
    std::string compile_condition_text(const std::string& condition) {
        compiler_reset();
        reset_statement_state();
        text = condition;
        text.push_back('\0');
        text.push_back('\0');
        clear_output();
        parse_pointer = text.data();
        token_code = 2;
        compile_expression(EXPR_CONDITION | EXPR_RESET_REGISTERS, 0);
        return error_number ? "error " + std::to_string(error_number) : output();
    }

};

TEST_F(ExpressionGoldenTest, QuadExpressionWithParentheses) {
    expect_code("a.q = (b * 3 + c) / 2",
                " MOV r15,qword [v_b]\n"
                " IMUL r15,3\n"
                " ADD r15,qword [v_c]\n"
                " MOV rax,r15\n"
                " MOV rcx,2\n"
                " CQO\n"
                " IDIV rcx\n"
                " MOV r15,rax\n"
                " MOV qword [v_a],r15\n");
}

TEST_F(ExpressionGoldenTest, DoubleTimesConstant) {
    expect_code("f.d = x * 1.5",
                " FILD qword [v_x]\n"
                " FMUL qword [D1]\n"
                " FSTP qword [v_f]\n");
}

TEST_F(ExpressionGoldenTest, EachIntegerWidth) {
    expect_code("a.b = c.b", " MOVSX r15,byte [v_c]\n MOV byte [v_a],r15b\n");
    expect_code("a.w = c.w + 1", " MOVSX r15,word [v_c]\n INC r15\n MOV word [v_a],r15w\n");
    expect_code("a.l = c.l * d.l",
                " MOVSXD r15,dword [v_c]\n MOVSXD rdx,dword [v_d]\n IMUL r15,rdx\n MOV dword [v_a],r15d\n");
    expect_code("a.i = c - 1 + 2", " MOV r15,qword [v_c]\n INC r15\n MOV qword [v_a],r15\n");
    expect_code("a.c = b.c + 1", " MOVZX r15,word [v_b]\n INC r15\n MOV word [v_a],r15w\n");
}

TEST_F(ExpressionGoldenTest, ConstantStoresReduceToTheTargetWidth) {
    expect_code("a.q = 5", " MOV qword [v_a],5\n");
    expect_code("b.b = 300", " MOV byte [v_b],44\n");
    expect_code("c.a = 5", " MOV byte [v_c],5\n");
    expect_code("d.q = 9223372036854775807 + 1", " MOV rax,-9223372036854775808\n MOV qword [v_d],rax\n");
    // An integer constant stored into a float is converted, not copied as bits.
    expect_code("f.f = 5", " FLD qword [D1]\n FSTP dword [v_f]\n");
}

TEST_F(ExpressionGoldenTest, PrecedenceTable) {
    // "%" and "!" bind tighter than "*"; "&" tighter than "+".
    expect_code("a = 2 * 5 % 3", " MOV qword [v_a],4\n");
    expect_code("a = 2 * 3 ! 1", " MOV qword [v_a],4\n");
    expect_code("a = 4 + 2 & 1", " MOV qword [v_a],4\n");
    expect_code("a = b * 5 % 3", " MOV r15,qword [v_b]\n ADD r15,r15\n MOV qword [v_a],r15\n");
    expect_code("a = b + 2 & 1", " MOV r15,qword [v_b]\n MOV qword [v_a],r15\n");
    expect_code("a = (b + c) * (d + e)",
                " MOV r15,qword [v_b]\n ADD r15,qword [v_c]\n MOV r14,qword [v_d]\n ADD r14,qword [v_e]\n"
                " IMUL r15,r14\n MOV qword [v_a],r15\n");
}

TEST_F(ExpressionGoldenTest, IntegerOperators) {
    expect_code("a = -b", " MOV r15,qword [v_b]\n NEG r15\n MOV qword [v_a],r15\n");
    expect_code("a = ~b", " MOV r15,qword [v_b]\n NOT r15\n MOV qword [v_a],r15\n");
    // A negated right operand keeps the left value's register.
    expect_code("a = b - -c", " MOV r15,qword [v_b]\n MOV r14,qword [v_c]\n NEG r14\n SUB r15,r14\n MOV qword [v_a],r15\n");
    expect_code("a = b - ~c", " MOV r15,qword [v_b]\n MOV r14,qword [v_c]\n NOT r14\n SUB r15,r14\n MOV qword [v_a],r15\n");
    expect_code("f.d = ~a", " MOV r15,qword [v_a]\n NOT r15\n MOV qword [rsp-8],r15\n FILD qword [rsp-8]\n FSTP qword [v_f]\n");
    expect_code("a = 1 - b", " MOV r15,qword [v_b]\n NEG r15\n INC r15\n MOV qword [v_a],r15\n");
    expect_code("a = 10 / b",
                " MOV r15,qword [v_b]\n MOV rax,10\n CQO\n IDIV r15\n MOV r15, rax\n MOV qword [v_a],r15\n");
    expect_code("a = 10 % b",
                " MOV r15,qword [v_b]\n MOV rax,10\n CQO\n IDIV r15\n MOV r15, rdx\n MOV qword [v_a],r15\n");
    expect_code("a = b / c",
                " MOV r15,qword [v_b]\n PUSH qword [v_c]\n MOV rax,r15\n POP rcx\n CQO\n IDIV rcx\n"
                " MOV r15,rax\n MOV qword [v_a],r15\n");
    expect_code("a = b % c",
                " MOV r15,qword [v_b]\n MOV rax,r15\n CQO\n IDIV qword [v_c]\n MOV r15,rdx\n MOV qword [v_a],r15\n");
    expect_code("a = 1 << b", " MOV rcx,qword [v_b]\n MOV r15,1\n SAL r15,cl\n MOV qword [v_a],r15\n");
    expect_code("a = b << 3", " MOV r15,qword [v_b]\n SAL r15,3\n MOV qword [v_a],r15\n");
    expect_code("a = b >> c", " MOV r15,qword [v_b]\n MOV rcx,qword [v_c]\n SAR r15,cl\n MOV qword [v_a],r15\n");
    expect_code("a = b | c", " MOV r15,qword [v_b]\n OR r15,qword [v_c]\n MOV qword [v_a],r15\n");
    expect_code("a = b & 4294967296",
                " MOV r15,qword [v_b]\n MOV rax,4294967296\n AND r15,rax\n MOV qword [v_a],r15\n");
}

TEST_F(ExpressionGoldenTest, FloatArithmetic) {
    expect_code("f.d = x / y", " FILD qword [v_x]\n FILD qword [v_y]\n FDIVP st1,st0\n FSTP qword [v_f]\n");
    expect_code("g.d = x.f + 1", " FLD dword [v_x]\n FADD qword [D1]\n FSTP qword [v_g]\n");
    expect_code("h.f = y.f - z.f * w.f",
                " FLD dword [v_y]\n FLD dword [v_z]\n FMUL dword [v_w]\n FSUBP st1,st0\n FSTP dword [v_h]\n");
    expect_code("k.d = 2 - m.d", " FLD qword [v_m]\n FCHS\n FADD qword [D1]\n FSTP qword [v_k]\n");
    expect_code("k.d = 2 / m.d", " FLD qword [v_m]\n FDIVR qword [D1]\n FSTP qword [v_k]\n");
    expect_code("k.d = -m.d * 2",
                " FLD qword [v_m]\n FCHS\n MOV qword [rsp-8],2\n FILD qword [rsp-8]\n FMULP st1,st0\n"
                " FSTP qword [v_k]\n");
    expect_code("n.d = c.c", " MOVZX eax,word [v_c]\n MOV dword [rsp-4],eax\n FILD dword [rsp-4]\n FSTP qword [v_n]\n");
}

TEST_F(ExpressionGoldenTest, MixedTypesConvert) {
    // A float operand turns an integer chain into x87 arithmetic; the result
    // is rounded into the integer target.
    expect_code("a.i = i - j.d",
                " MOV r15,qword [v_i]\n MOV [rsp-8],r15\n FILD qword [rsp-8]\n FSUB qword [v_j]\n"
                " FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n MOV qword [v_a],rax\n");
    // The left value moved to the x87 stack after the right one lies above
    // it: exchanged before the subtraction.
    expect_code("a.i = i - (j.d * 2)",
                " MOV r15,qword [v_i]\n FLD qword [v_j]\n MOV qword [rsp-8],2\n FILD qword [rsp-8]\n"
                " FMULP st1,st0\n MOV [rsp-8],r15\n FILD qword [rsp-8]\n FXCH\n FSUBP st1,st0\n"
                " FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n MOV qword [v_a],rax\n");
    expect_code("u.u = f.d",
                " FLD qword [v_f]\n FISTP qword [rsp-8]\n MOV r15,qword [rsp-8]\n MOV word [v_u],r15w\n");
    expect_code("a = -b.d", " FLD qword [v_b]\n FCHS\n FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n MOV qword [v_a],rax\n");
}

TEST_F(ExpressionGoldenTest, FoldingAndLiterals) {
    expect_code("a = $FF + %101", " MOV qword [v_a],260\n");
    expect_code("a = 1.5e3", " MOV qword [v_a],1500\n");
    expect_code("a = 'A' * 2", " MOV qword [v_a],130\n");
    expect_code("a = -5", " MOV qword [v_a],-5\n");
    expect_code("a = 1.5 + 2", " MOV qword [v_a],4\n");
    expect_code("a = 2.5e-1 * b.d",
                " FLD qword [v_b]\n FMUL qword [D1]\n FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n MOV qword [v_a],rax\n");
    EXPECT_EQ(compile("#X = 5\na = #X * 3"), " MOV qword [v_a],15\n");
}

TEST_F(ExpressionGoldenTest, FoldingErrors) {
    EXPECT_EQ(error_of("a = 7 / 0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(error_of("a = 7 % 0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(error_of("a.d = 7.0 / 0.0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(error_of("a = 1.5 << 2"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("a = 1.5 % 2"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("a = ~1.5"), ERROR_BINARY_NOT_ON_FLOAT);
    EXPECT_EQ(error_of("a = b << 64"), ERROR_SHIFT_COUNT_OUT_OF_RANGE);
    EXPECT_EQ(error_of("a.d = b % 2"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("a = 25000000000000000000"), ERROR_TOO_MANY_DIGITS);
    EXPECT_EQ(error_of("a = 1e30"), ERROR_NUMBER_TOO_BIG);
    EXPECT_EQ(error_of("a = $FG"), ERROR_INVALID_HEXADECIMAL_NUMBER);
    EXPECT_EQ(error_of("a = %102"), ERROR_INVALID_BINARY_NUMBER);
    // The lowest 64-bit value divided by -1 wraps instead of trapping.
    EXPECT_EQ(compile("a = (-9223372036854775807 - 1) / -1"), " MOV rax,-9223372036854775808\n MOV qword [v_a],rax\n");
}

TEST_F(ExpressionGoldenTest, StatementErrors) {
    EXPECT_EQ(error_of("a = b = c"), ERROR_COMPARISON_OUTSIDE_CONDITION);
    EXPECT_EQ(error_of("a = 1 < 2"), ERROR_COMPARISON_OUTSIDE_CONDITION);
    EXPECT_EQ(error_of("a = \"x\""), ERROR_STRING_INTO_NUMERIC_VARIABLE);
    EXPECT_EQ(error_of("s.s = 5"), ERROR_NUMBER_INTO_STRING_VARIABLE);
    EXPECT_EQ(error_of("a = foo(1)"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
    EXPECT_EQ(error_of("a = (b + 1"), ERROR_CLOSE_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("a = b +"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("a = #Missing"), ERROR_CONSTANT_NOT_FOUND);
    EXPECT_EQ(error_of("a = b + \"x\""), ERROR_STRINGS_MIXED_WITH_NUMBERS);
    EXPECT_EQ(error_of("a = 1 2"), ERROR_GARBAGE_AT_END_OF_LINE);
    compiler_reset();
    reset_statement_state();
    in_datasection = 1;
    compile("a = 1");
    EXPECT_EQ(error_number, ERROR_CODE_IN_DATASECTION);
    in_datasection = 0;
}

TEST_F(ExpressionGoldenTest, RegistersRunOutAtTheFifthLevel) {
    // Four live values: r15, r14, r13 and rax.
    expect_code("a = b + c * (d + e * f)",
                " MOV r15,qword [v_b]\n MOV r14,qword [v_c]\n MOV r13,qword [v_d]\n MOV rax,qword [v_e]\n"
                " IMUL rax,qword [v_f]\n ADD r13,rax\n IMUL r14,r13\n ADD r15,r14\n MOV qword [v_a],r15\n");
    EXPECT_EQ(error_of("a = b + c * (d + e * (f + g))"), ERROR_OUT_OF_CPU_REGISTERS);
}

TEST_F(ExpressionGoldenTest, Comparisons) {
    EXPECT_EQ(compile_condition_text("a < 5"), " MOV r15,qword [v_a]\n CMP r15,5\n");
    EXPECT_EQ(current_operand.flags, OP_COMPARISON);
    EXPECT_EQ(condition_index, 4);
    // A constant on the left compares the other way round.
    EXPECT_EQ(compile_condition_text("5 < a"), " MOV r15,qword [v_a]\n CMP r15,5\n");
    EXPECT_EQ(condition_index, 5);
    EXPECT_EQ(compile_condition_text("a + 1 >= b * 2"),
              " MOV r15,qword [v_a]\n INC r15\n MOV r14,qword [v_b]\n ADD r14,r14\n CMP r15,r14\n");
    EXPECT_EQ(condition_index, 3);
    // A float right side moves the left value to the x87 stack first.
    std::string code = compile_condition_text("a < b.d");
    EXPECT_EQ(code, " MOV r15,qword [v_a]\n MOV [rsp-8],r15\n FILD qword [rsp-8]\n FLD qword [v_b]\n FCOMPP\n"
                    " FNSTSW ax\n TEST ah,41h\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.fpu_depth, 0);
    EXPECT_EQ(compile_condition_text("1 < 2"), "");
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.constant, 1);
}

TEST_F(ExpressionGoldenTest, DryRunWritesNothingAndRestoresTheDepth) {
    text = "a / b";
    text.push_back('\0');
    parse_pointer = text.data();
    token_code = 2;
    compile_expression(EXPR_DRY_RUN | EXPR_RESET_REGISTERS, 0);
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(no_output_depth, 0u);
    EXPECT_EQ(register_stack.top, 3);
}

TEST_F(ExpressionGoldenTest, ExpressionOptionChecks) {
    text = "1.5";
    text.push_back('\0');
    parse_pointer = text.data();
    token_code = 2;
    EXPECT_EQ(compile_expression(EXPR_INTEGER_ONLY, 0), 0);
    EXPECT_EQ(error_number, ERROR_INTEGER_EXPRESSION_EXPECTED);
    clear_error_state();
    parse_pointer = text.data();
    token_code = 2;
    EXPECT_EQ(compile_expression(EXPR_STRING_ONLY, 0), 0);
    EXPECT_EQ(error_number, ERROR_STRING_EXPRESSION_EXPECTED);
    clear_error_state();
    token_code = TOKEN_END;
    EXPECT_EQ(compile_expression(0, 0), 0);
    EXPECT_EQ(error_number, ERROR_SYNTAX);
}

}  // namespace
