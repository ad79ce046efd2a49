// Golden C lines of statements compiled through the dispatcher and the C
// back end: operator templates, folding, constants, assignments by target
// type, variable names and declarations, jumps and End. Every fragment is
// also compiled by clang for the Windows target, inside a function after the
// declarations of the variables it names.
#include <string>

#include "c_test_support.h"
#include "frontend/blocks.h"

namespace {

// What the C file's head gives the code (the same texts as the generated
// program), with the runtime routines only declared.
const char* const c_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "#define ZD_INFINITY (1.0 / 0.0)\n"
    "#define ZD_NEG_INFINITY (-1.0 / 0.0)\n"
    "static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "static inline int zd_lrint(long double x) { int out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpl %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "static inline short zd_wrint(long double x) { short out; __asm__ __volatile__(\"fldt %1\\n\" \"fistps %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "#define SYS_BankerRound(x) zd_llrint(x)\n"
    "#define SYS_BankerRoundQuad(x) zd_llrint(x)\n"
    "int ZD_ExitCode=0;\n"
    "void SYS_Quit(void);\n"
    "void SYS_PushGosub(void *ReturnAddress);\n"
    "void *SYS_PopGosub(void);\n";

class CExpressionTest : public CBackendTest {
protected:
    void SetUp() override {
        CBackendTest::SetUp();
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        clear_output();
    }
    void TearDown() override {
        CBackendTest::TearDown();
        // Later tests of the same process start without these variables.
        in_procedure = 0;
        explicit_enabled = 0;
    }

    // Compiles each statement (one per line); returns the code of the last
    // one, or "error <n>".
    std::string compile(const std::string& statements) { return compile_last_statement(statements); }

    void expect_code(const std::string& statements, const std::string& expected) {
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && code.rfind("error", 0) != 0) {
            EXPECT_EQ(compile_with_clang(declarations(), code), "") << statements;
        }
        EXPECT_EQ(c_slot_stack_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        compile(statements);
        return error_number;
    }

    // clang on the fragment inside a function, after the prelude and
    // `globals`; "" when it compiles, else clang's messages.
    static std::string compile_with_clang(const std::string& globals, const std::string& code) {
        // A label address in the function, as the Gosubs of a program give it.
        return clang_messages_for_fragment(c_prelude + globals,
                                           "void *here = &&l_done; (void)here;\n" + code + "l_done:;\n");
    }
};

// ---------------------------------------------------------------------------
// Operators and their templates

TEST_F(CExpressionTest, PendingConstantsAreAddedOnce) {
    expect_code("x = 0\ny = x + 1 + 2", "v_y=((quad)((uquad)v_x+3));\n");
    expect_code("x = 0\ny = x - 1", "v_y=((quad)((uquad)v_x-1));\n");
    expect_code("x = 0\ny = 5 - x", "v_y=((quad)((-(uquad)v_x)+5));\n");
    expect_code("x = 0\ny = 5 + x", "v_y=((quad)((uquad)v_x+5));\n");
    expect_code("x = 0\ny = x + 1 - 1", "v_y=v_x;\n");
    expect_code("f.f = 0\ng.f = f + 0.25 + 1", "v_g=((long double)v_f+1.25);\n");
}

TEST_F(CExpressionTest, MultiplicationByConstants) {
    expect_code("x = 0\ny = 2 * x", "v_y=((quad)((uquad)v_x+(uquad)v_x));\n");
    expect_code("x = 0\nq.q = 2 * x", "v_q=((quad)((uquad)v_x+(uquad)v_x));\n");
    expect_code("x = 0\ny = 1 * x", "v_y=v_x;\n");
    expect_code("x = 0\ny = 7 * x", "v_y=((quad)((uquad)v_x*7));\n");
    expect_code("x = 0\ny = x * 7", "v_y=((quad)((uquad)v_x*7LL));\n");
}

// A wrapped result gives its unsigned expression to the next wrapping
// operator only when the head's parenthesis closes at its end (a quad
// modulo starts the same way); results taken back as left operands, nested
// and negated, keep their texts.
TEST_F(CExpressionTest, WrappedResultsAreRecognisedWhole) {
    expect_code("q.q = 5\nq = (q % 3) + 1", "v_q=((quad)((uquad)((quad)(v_q)%3LL)+1));\n");
    expect_code("x = 0\ny = (x * 3 + 1) * (x * 5 - 2)", "v_y=((quad)((((uquad)v_x*3LL)+1)*(((uquad)v_x*5LL)-2)));\n");
    expect_code("x = 0\ny = -(x * 3) + (x - 7) * 2", "v_y=((quad)((-((uquad)v_x*3LL))+(((uquad)v_x-7)*2LL)));\n");
}

// A constant operand carries its C type: 64 bits by default, "(int)" after
// a 32-bit operand when it fits, else still 64 bits; the most negative value
// has no literal of its own.
TEST_F(CExpressionTest, ConstantOperandsCarryTheirType) {
    expect_code("l.l = 0\nl = l * 3", "v_l=((quad)((uquad)v_l*(int)3));\n");
    expect_code("l.l = 0\nq.q = l * 5000000000", "v_q=((quad)((uquad)v_l*5000000000LL));\n");
    expect_code("x = 0\nq.q = x * 5", "v_q=((quad)((uquad)v_x*5LL));\n");
    expect_code("x = 0\ny = x * -9223372036854775808", "v_y=((quad)((uquad)v_x*(-9223372036854775807LL-1)));\n");
    expect_code("x = 0\nd.d = x * 3", "v_d=((long double)v_x*3.0);\n");
}

// A 4-byte value compared with a constant beyond 32 bits: the low 32 bits
// of both, as the x64 code compares them (a long holding -1 equals
// 4294967295); other operands keep 64 bits.
TEST_F(CExpressionTest, WideConstantAgainstALongComparesInSixtyFourBits) {
    const char* const cases[][2] = {
        {"l.l = 0\nIf l < 4294967295", "if (!((v_l<4294967295))) { goto no"},
        {"l.l = 0\nIf 4294967296 = l", "if (!((4294967296==v_l))) { goto no"},
        {"l.l = 0\nIf l < 5", "if (!((v_l<5))) { goto no"},
        {"q.q = 0\nIf q < 4294967295", "if (!((v_q<4294967295))) { goto no"},
    };
    for (const auto& c : cases) {
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        std::string code = compile(c[0]);
        EXPECT_EQ(code.rfind(c[1], 0), 0u) << c[0] << "\n" << code;
        reset_block_state();
    }
}

TEST_F(CExpressionTest, ArithmeticFormsByMode) {
    expect_code("a.d = 0\nb.d = 0\nc.d = a * b", "v_c=((long double)v_a*v_b);\n");
    expect_code("a = 0\nb = 0\nc = a / b", "v_c=((quad)v_a/v_b);\n");
    expect_code("a.q = 0\nb.q = 0\nc.q = a - b", "v_c=((quad)((uquad)v_a-(uquad)v_b));\n");
    expect_code("a = 0\nb = 0\nc = a % b", "v_c=((integer)(v_a)%v_b);\n");
    expect_code("a.q = 0\nb.q = 0\nc.q = a % b", "v_c=((quad)(v_a)%v_b);\n");
    expect_code("a = 0\nb = 0\nc = (a + b) * (a - b)", "v_c=((quad)(((uquad)v_a+(uquad)v_b)*((uquad)v_a-(uquad)v_b)));\n");
    expect_code("a = 0\nc = 10 / a", "v_c=(10/(integer)v_a);\n");
    expect_code("a = 0\nc = 10 % a", "v_c=(10%(integer)v_a);\n");
    expect_code("a.d = 0\nc.d = 10 / a", "v_c=((long double)10.0/v_a);\n");
}

TEST_F(CExpressionTest, BitwiseAndShiftOperators) {
    expect_code("a = 0\nb = 0\nc = a & b | a ! b", "v_c=((v_a&v_b)|(v_a^v_b));\n");
    expect_code("a = 0\nc = a & 255", "v_c=(v_a&255LL);\n");
    expect_code("a = 0\nc = 255 & a", "v_c=(v_a&255);\n");
    expect_code("a = 0\nc = a << 3", "v_c=((quad)((uquad)v_a<<3LL));\n");
    expect_code("a.l = 0\nb.l = 0\nc.l = a << b", "v_c=((quad)((uquad)v_a<<(v_b&63)));\n");
    expect_code("a = 0\nc = a >> 2", "v_c=((quad)v_a>>2LL);\n");
    expect_code("a = 0\nc = 1 << a", "v_c=((quad)((uquad)1<<((integer)v_a&63)));\n");
    expect_code("a = 0\nc = -64 >> a", "v_c=((quad)-64>>((integer)v_a&63));\n");
    expect_code("a = 0\nc = ~a", "v_c=~(v_a);\n");
    expect_code("a = 0\nc = -a * 2", "v_c=((quad)((-(uquad)v_a)*2LL));\n");
}

TEST_F(CExpressionTest, OperatorErrors) {
    EXPECT_EQ(error_of("a = 0\nc = a << 64"), ERROR_SHIFT_COUNT_OUT_OF_RANGE);
    EXPECT_EQ(error_of("a = 0\nc = a >> 99"), ERROR_SHIFT_COUNT_OUT_OF_RANGE);
    EXPECT_EQ(error_of("c = 1.5 << 2"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("f.f = 0\nc = f & 1"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("f.f = 0\nc = f % 2"), ERROR_OPERATOR_WITHOUT_FLOAT_FORM);
    EXPECT_EQ(error_of("f.f = 0\nc = ~f"), ERROR_BINARY_NOT_ON_FLOAT);
    EXPECT_EQ(error_of("c = 3 / 0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(error_of("c = 3 % 0"), ERROR_DIVISION_BY_ZERO);
    EXPECT_EQ(error_of("a = 0\nc = a < 1"), ERROR_COMPARISON_OUTSIDE_CONDITION);
    // A constant count beyond 63 is refused in quad arithmetic too.
    EXPECT_EQ(error_of("a.q = 0\nc.q = a << 64"), ERROR_SHIFT_COUNT_OUT_OF_RANGE);
    // A division by a zero variable is not a compile-time error.
    expect_code("a = 0\nc = a / 0", "v_c=((quad)v_a/0LL);\n");
}

TEST_F(CExpressionTest, SevenSlotsHoldSevenPendingLeftOperands) {
    const char* declare = "a = 0 : b = 0 : c = 0 : d = 0 : e = 0 : f = 0 : g = 0 : h = 0 : i = 0\n";
    EXPECT_EQ(error_of(std::string(declare) + "y = a+(b+(c+(d+(e+(f+(g+(h+i)))))))"), ERROR_OUT_OF_CPU_REGISTERS);
    expect_code(std::string(declare) + "y = a+(b+(c+(d+(e+(f+(g+h))))))",
                "v_y=((quad)((uquad)v_a+((uquad)v_b+((uquad)v_c+((uquad)v_d+((uquad)v_e+((uquad)v_f+((uquad)v_g+(uquad)v_h))))))));\n");
    // Constant left operands hold no slot.
    expect_code(std::string(declare) + "y = 1+(2+(3+(4+(5+(6+(7+(8+(9+a))))))))",
                "v_y=((quad)((((((((((uquad)v_a+9)+8)+7)+6)+5)+4)+3)+2)+1));\n");
}

TEST_F(CExpressionTest, FloatArithmeticAndConversions) {
    expect_code("f.f = 0\ng.f = f * 4 + 0.25", "v_g=((long double)((long double)v_f*4.0)+0.25);\n");
    expect_code("x = 0\nd.d = x / 2", "v_d=((long double)v_x/2.0);\n");
    expect_code("x = 0\nf.f = 0\nd.d = x + f", "v_d=((long double)v_x+v_f);\n");
    expect_code("d.d = 0\nd = d * 1e300", "v_d=((long double)v_d*1e+300);\n");
    expect_code("d.d = 0\nd = d * 2.0", "v_d=((long double)v_d*2.0);\n");
}

// ---------------------------------------------------------------------------
// Constants

TEST_F(CExpressionTest, FloatLiterals) {
    EXPECT_STREQ(c_float_literal(1.0), "1.0");
    EXPECT_STREQ(c_float_literal(0.5), "0.5");
    EXPECT_STREQ(c_float_literal(1e300), "1e+300");
    EXPECT_STREQ(c_float_literal(-2.0), "-2.0");
    EXPECT_STREQ(c_float_literal(1.0 / 0.0), "ZD_INFINITY");
    EXPECT_STREQ(c_float_literal(-1.0 / 0.0), "ZD_NEG_INFINITY");
    // A NaN as an expression C accepts (its "%.100g" text is no literal).
    EXPECT_STREQ(c_float_literal(std::nan("")), "(ZD_INFINITY-ZD_INFINITY)");
    EXPECT_EQ(c_decimal_text(INT64_MIN), "(-9223372036854775807LL-1)");
    EXPECT_EQ(c_decimal_text(-5), "-5");
}

TEST_F(CExpressionTest, FoldedConstants) {
    expect_code("y = -5", "v_y=-5;\n");
    expect_code("y = 2 * 5 % 3", "v_y=4;\n");
    expect_code("q.q = 3000000000 * 3", "v_q=9000000000;\n");
    expect_code("q.q = -9223372036854775807 - 1", "v_q=(-9223372036854775807LL-1);\n");
    expect_code("x = 0\nq.q = x * (-9223372036854775807 - 1)", "v_q=((quad)((uquad)v_x*(-9223372036854775807LL-1)));\n");
    expect_code("d.d = 0.1 + 0.2", "v_d=0.30000000000000004;\n");
}

// ---------------------------------------------------------------------------
// Assignment by target type

TEST_F(CExpressionTest, ConstantStoresTakeTheTargetWidth) {
    expect_code("b.b = 200", "v_b=-56;\n");
    expect_code("a.a = 200", "v_a=200;\n");
    expect_code("w.w = 200", "v_w=200;\n");
    expect_code("w.w = 40000", "v_w=-25536;\n");
    expect_code("u.u = 40000", "v_u=40000;\n");
    expect_code("l.l = 4294967297", "v_l=1;\n");
    expect_code("q.q = 4294967297", "v_q=4294967297;\n");
    expect_code("f.f = 5", "v_f=5.0;\n");
    expect_code("d.d = 2.5", "v_d=2.5;\n");
    expect_code("l.l = 2.5", "v_l=2;\n");
    expect_code("l.l = 3.5", "v_l=4;\n");
}

// A computed float value is rounded through a store of the x64 code's
// width (a word or a long of its own, 32 bits for a byte or an unsigned
// word), so that a value out of range gives the same integer; a float
// variable is rounded to 64 bits and its low part kept.
TEST_F(CExpressionTest, FloatValuesAreRoundedIntoIntegers) {
    expect_code("f.f = 0\ni = f * 2", "v_i=SYS_BankerRoundQuad(((long double)v_f*2.0));\n");
    expect_code("f.f = 0\nl.l = f * 2", "v_l=zd_lrint(((long double)v_f*2.0));\n");
    expect_code("f.f = 0\nw.w = f * 2", "v_w=zd_wrint(((long double)v_f*2.0));\n");
    expect_code("f.f = 0\nu.u = f * 2", "v_u=zd_lrint(((long double)v_f*2.0));\n");
    expect_code("f.f = 0\nb.b = f * 2", "v_b=zd_lrint(((long double)v_f*2.0));\n");
    expect_code("f.f = 0\nw.w = f", "v_w=SYS_BankerRoundQuad(v_f);\n");
    expect_code("f.f = 0\nq.q = f", "v_q=SYS_BankerRoundQuad(v_f);\n");
    expect_code("f.f = 0\nd.d = f", "v_d=v_f;\n");
    expect_code("l.l = 0\nd.d = l", "v_d=v_l;\n");
    expect_code("l.l = 0\nb.b = l", "v_b=v_l;\n");
}

// A pointer in arithmetic is a byte address, whichever side it stands on.
TEST_F(CExpressionTest, PointerOperandsAreByteAddresses) {
    expect_code("*p = 0\n*p = *p + 8", "p_p=(void*)((quad)((uquad)(integer)p_p+8));\n");
    expect_code("*p = 0\n*q = 0\nn = 3 + *q - *p", "v_n=((quad)(((uquad)(integer)p_q+3)-(uquad)(integer)p_p));\n");
}

TEST_F(CExpressionTest, AssignmentErrors) {
    EXPECT_EQ(error_of("s$ = 1"), ERROR_NUMBER_INTO_STRING_VARIABLE);
    EXPECT_EQ(error_of("f.f = 0\n*p = f"), ERROR_POINTER_ASSIGNED_TO_FLOAT);
    EXPECT_EQ(error_of("x = 1 = 2"), ERROR_COMPARISON_OUTSIDE_CONDITION);
}

// ---------------------------------------------------------------------------
// Variables

TEST_F(CExpressionTest, VariableNamesAndDeclarations) {
    expect_code("Global count\ncount = 1", "g_count=1;\n");
    expect_code("Global *node\n*node = 0", "gp_node=0;\n");
    expect_code("Count = 2\ncount = count + 1", "v_count=((quad)((uquad)v_count+1));\n");
    compiler_reset();
    reset_statement_state();
    compile("Global a.b, b.w, c.l, d.q, e.f, f.d, g.i, h.a, k.c, m.u, *p, s$");
    ASSERT_EQ(error_number, 0);
    std::string lines = declarations();
    for (const char* line : {"char g_a=0;\n", "short g_b=0;\n", "int g_c=0;\n", "quad g_d=0;\n", "float g_e=0;\n",
                             "double g_f=0;\n", "integer g_g=0;\n", "unsigned char g_h=0;\n",
                             "unsigned short g_k=0;\n", "unsigned short g_m=0;\n", "integer gp_p=0;\n",
                             "void* g_sS=0;\n"})
        EXPECT_NE(lines.find(line), std::string::npos) << line << lines;
    EXPECT_EQ(compile_with_clang(lines, ""), "");
}

// ---------------------------------------------------------------------------
// Jumps and End

TEST_F(CExpressionTest, GotoGosubReturnAndFakeReturn) {
    expect_code("Goto done", "goto l_done;\n");
    expect_code("Gosub done\nGosub done", "SYS_PushGosub(&&lg_1); goto l_done; lg_1:;\n");
    EXPECT_EQ(gosub_used, 1);
    expect_code("Gosub done\nReturn", "goto *SYS_PopGosub();\n");
    expect_code("FakeReturn", "SYS_PopGosub();\n");
}

TEST_F(CExpressionTest, EndWithAnExpression) {
    expect_code("x = 0\nEnd x * 2", "ZD_ExitCode=((quad)((uquad)v_x*2LL));\nSYS_Quit();\n");
    expect_code("x = 0\nEnd x", "ZD_ExitCode=v_x;\nSYS_Quit();\n");
    expect_code("End", "SYS_Quit();\n");
    expect_code("End 2.5", "ZD_ExitCode=2;\nSYS_Quit();\n");
    expect_code("End 4294967338", "ZD_ExitCode=42;\nSYS_Quit();\n");
    // A float value is rounded, not truncated as a C conversion would.
    expect_code("f.f = 0\nEnd f", "ZD_ExitCode=SYS_BankerRound(v_f);\nSYS_Quit();\n");
    expect_code("d.d = 0\nEnd d * 3", "ZD_ExitCode=SYS_BankerRound(((long double)v_d*3.0));\nSYS_Quit();\n");
}

TEST_F(CExpressionTest, NothingIsWrittenWithOutputOff) {
    compiler_reset();
    reset_statement_state();
    compile("x = 0");
    clear_output();
    no_output_depth = 1;
    EXPECT_EQ(compile("y = x * 3 + 1\nGoto done\nGosub done\nEnd x"), "");
    no_output_depth = 0;
    EXPECT_EQ(c_gosub_counter, 0);
}

}  // namespace
