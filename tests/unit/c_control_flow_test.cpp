// Golden C text of blocks and conditions compiled through the dispatcher and
// the C back end: If chains, While, Repeat, For/Next with their exits, Select
// with values and ranges, Break and Continue, And/Or chains, Not and XOr,
// and the block errors. Every program is also compiled by clang for the
// Windows target, inside one function after the declarations of its
// variables, so that each label, goto and local is valid C.
#include <string>

#include "backend_c/c_blocks.h"
#include "c_test_support.h"
#include "frontend/blocks.h"

namespace {

const char* const c_prelude =
    "typedef long long quad;\n"
    "typedef quad integer;\n"
    "static inline long long zd_llrint(double x) { long long out; __asm__ __volatile__(\"fldl %1\\n\" \"fistpll %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "#define SYS_BankerRound(x) zd_llrint(x)\n"
    "#define SYS_BankerRoundQuad(x) zd_llrint(x)\n"
    "int ZD_ExitCode=0;\n"
    "void SYS_Quit(void);\n";

class CControlFlowTest : public CBackendTest {
protected:
    void SetUp() override {
        CBackendTest::SetUp();
        start_compilation();
    }
    void TearDown() override {
        CBackendTest::TearDown();
        reset_block_state();
        in_procedure = 0;
    }

    void start_compilation() {
        compiler_reset();
        reset_statement_state();
        reset_block_state();
        c_reset_expression_state();
        clear_error_state();
        clear_output();
    }

    // Compiles the statements (one per line) of a fresh compilation; returns
    // everything written, or "error <n>" at the first error.
    std::string compile(const std::string& statements) {
        start_compilation();
        std::string failure = compile_each_line(statements, [](int32_t) {}, [] {});
        return failure.empty() ? output() : failure;
    }

    // The program's C text must be `expected` and compile.
    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && code.rfind("error", 0) != 0) {
            EXPECT_EQ(compile_with_clang(declarations(), code), "") << statements;
        }
        EXPECT_EQ(c_slot_stack_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    // clang on the fragment inside a function; "" when it compiles.
    static std::string compile_with_clang(const std::string& globals, const std::string& code) {
        return clang_messages_for_fragment(c_prelude + globals, code);
    }
};

// ---------------------------------------------------------------------------
// If chains

TEST_F(CControlFlowTest, IfElseIfElseShareOneEndLabel) {
    expect_code("a = 0\nIf a = 1\nb = 1\nElseIf a = 2\nb = 2\nElse\nb = 3\nEndIf",
                "v_a=0;\n"
                "if (!((v_a==1))) { goto endif2; }\n"
                "v_b=1;\n"
                "goto endif1;\n"
                "endif2:;\n"
                "if (!((v_a==2))) { goto endif3; }\n"
                "v_b=2;\n"
                "goto endif1;\n"
                "endif3:;\n"
                "v_b=3;\n"
                "endif1:;\n");
    // A plain If ends with its false label only; a value is its own truth.
    expect_code("a = 0\nIf a\nb = 1\nEndIf", "v_a=0;\nif (!(v_a)) { goto endif2; }\nv_b=1;\nendif2:;\n");
    // A constant condition: a plain jump when false, nothing when true.
    expect_code("If 0\nEndIf", "goto endif2;\nendif2:;\n");
    expect_code("If 1\nEndIf", "endif2:;\n");
}

TEST_F(CControlFlowTest, NestedIfsKeepTheirOwnEndLabels) {
    expect_code("a = 0\nIf a = 1\nIf a = 2\nElse\nEndIf\nElse\nEndIf",
                "v_a=0;\n"
                "if (!((v_a==1))) { goto endif2; }\n"
                "if (!((v_a==2))) { goto endif4; }\n"
                "goto endif3;\n"
                "endif4:;\n"
                "endif3:;\n"
                "goto endif1;\n"
                "endif2:;\n"
                "endif1:;\n");
}

// ---------------------------------------------------------------------------
// Loops

TEST_F(CControlFlowTest, WhileAndRepeatLoops) {
    expect_code("i = 0\nWhile i < 3\ni = i + 1\nWend",
                "v_i=0;\nwhile1:;\nif (!((v_i<3))) { goto il_wend1; }\nv_i=(v_i+1);\ngoto while1;\nil_wend1:;\n");
    // Continue in a Repeat goes to the test before Until.
    expect_code("i = 0\nRepeat\ni = i + 1\nIf i = 2\nContinue\nEndIf\nUntil i >= 4",
                "v_i=0;\n"
                "repeat1:;\n"
                "v_i=(v_i+1);\n"
                "if (!((v_i==2))) { goto endif3; }\n"
                "goto until1;\n"
                "endif3:;\n"
                "until1:;\n"
                "if (!((v_i>=4))) { goto repeat1; }\n"
                "il_until1:;\n");
    expect_code("Repeat\nBreak\nForEver", "repeat1:;\ngoto il_until1;\ngoto repeat1;\nil_until1:;\n");
}

TEST_F(CControlFlowTest, ForLoopsTestTheLimitInTheCounterType) {
    // An integer counter leaves when the step would overflow it.
    expect_code("For i = 1 To 10\nNext",
                "v_i=1;\n"
                "goto forskipdebug1;\n"
                "for1:;\n"
                "forskipdebug1:;\n"
                "if (!(((integer)10>=v_i))) { goto il_next2; }\n"
                "next2:;\n"
                "if (__builtin_add_overflow(v_i,1,&v_i)) { goto il_next2; }\n"
                "goto for1;\n"
                "il_next2:;\n");
    expect_code("For q.q = 0 To 20000000000 Step 5000000000\nNext q",
                "v_q=0;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((quad)20000000000>=v_q))) { goto il_next2; }\n"
                "next2:;\n"
                "if (__builtin_add_overflow(v_q,5000000000,&v_q)) { goto il_next2; }\n"
                "goto for1;\nil_next2:;\n");
}

TEST_F(CControlFlowTest, NarrowCountersHaveAWrapGuard) {
    expect_code("For b.b = 120 To 127\nNext",
                "v_b=120;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((char)127>=v_b))) { goto il_next2; }\n"
                "next2:;\n"
                "if ((char)(v_b+1)<v_b) { goto il_next2; }\n"
                "v_b+=1;\n"
                "goto for1;\nil_next2:;\n");
    // Counting down: the limit is tested with "<=", the guard with ">".
    expect_code("For w.w = 3 To 0 Step -1\nNext",
                "v_w=3;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((short)0<=v_w))) { goto il_next2; }\n"
                "next2:;\n"
                "if ((short)(v_w+-1)>v_w) { goto il_next2; }\n"
                "v_w+=-1;\n"
                "goto for1;\nil_next2:;\n");
    expect_code("For u.a = 250 To 255\nNext",
                "v_u=250;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((unsigned char)255>=v_u))) { goto il_next2; }\n"
                "next2:;\n"
                "if ((unsigned char)(v_u+1)<v_u) { goto il_next2; }\n"
                "v_u+=1;\n"
                "goto for1;\nil_next2:;\n");
    // A float limit is rounded into the counter's type.
    expect_code("f.f = 2.5\nFor i = 1 To f\nNext",
                "v_f=2.5;\nv_i=1;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((integer)SYS_BankerRoundQuad(v_f)>=v_i))) { goto il_next2; }\n"
                "next2:;\n"
                "if (__builtin_add_overflow(v_i,1,&v_i)) { goto il_next2; }\n"
                "goto for1;\nil_next2:;\n");
}

TEST_F(CControlFlowTest, BreakAndContinueLeaveThroughLabels) {
    expect_code("For i = 1 To 3\nWhile 1\nSelect i\nCase 2\nBreak 2\nDefault\nContinue\nEndSelect\nWend\nNext",
                "v_i=1;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((integer)3>=v_i))) { goto il_next2; }\n"
                "while3:;\n"
                "integer zd_select1=v_i;\n"
                "if (2!=zd_select1) { goto case2; }\n"
                "goto il_next2;\n"
                "goto endselect1;\n"
                "case2:;\n"
                "goto while3;\n"
                "case3:;\n"
                "endselect1:;\n"
                "goto while3;\n"
                "il_wend3:;\n"
                "next2:;\n"
                "if (__builtin_add_overflow(v_i,1,&v_i)) { goto il_next2; }\n"
                "goto for1;\nil_next2:;\n");
    // Continue in a For goes to the step, before the increment.
    expect_code("For i = 1 To 3\nContinue\nNext",
                "v_i=1;\ngoto forskipdebug1;\nfor1:;\nforskipdebug1:;\n"
                "if (!(((integer)3>=v_i))) { goto il_next2; }\n"
                "goto next2;\n"
                "next2:;\n"
                "if (__builtin_add_overflow(v_i,1,&v_i)) { goto il_next2; }\n"
                "goto for1;\nil_next2:;\n");
}

// ---------------------------------------------------------------------------
// Select

TEST_F(CControlFlowTest, SelectWithRangesValuesAndDefault) {
    // The lower bound's test stands before the upper one's, though it is
    // known only after the upper bound was compiled.
    expect_code("a = 0\nSelect a\nCase 1 To 5, 9\nb = 1\nCase -2\nb = 2\nDefault\nb = 3\nEndSelect",
                "v_a=0;\n"
                "integer zd_select1=v_a;\n"
                "if (1>zd_select1) { goto caseto1; }\n"
                "if (5>=zd_select1) { goto case1; }\n"
                "caseto1:;\n"
                "if (9!=zd_select1) { goto case2; }\n"
                "case1:;\n"
                "v_b=1;\n"
                "goto endselect1;\n"
                "case2:;\n"
                "if (-2!=zd_select1) { goto case4; }\n"
                "v_b=2;\n"
                "goto endselect1;\n"
                "case4:;\n"
                "v_b=3;\n"
                "case5:;\n"
                "endselect1:;\n");
    // A range as the last item: both bounds lead to the next case.
    expect_code("a = 0\nSelect a\nCase 1 To 5\nEndSelect",
                "v_a=0;\n"
                "integer zd_select1=v_a;\n"
                "if (1>zd_select1) { goto case2; }\n"
                "if (5<zd_select1) { goto case2; }\n"
                "case2:;\n"
                "endselect1:;\n");
    // A Select without a case writes only its selector.
    expect_code("a = 0\nSelect a\nEndSelect", "v_a=0;\ninteger zd_select1=v_a;\n");
}

TEST_F(CControlFlowTest, NestedSelectsUseTheirOwnSelector) {
    expect_code("a = 0\nSelect a\nCase 1\nSelect a * 10\nCase 10\nEndSelect\nEndSelect",
                "v_a=0;\n"
                "integer zd_select1=v_a;\n"
                "if (1!=zd_select1) { goto case2; }\n"
                "integer zd_select2=(v_a*10);\n"
                "if (10!=zd_select2) { goto case4; }\n"
                "case4:;\n"
                "endselect2:;\n"
                "case2:;\n"
                "endselect1:;\n");
    // A float selector and float values are rounded to integers.
    expect_code("f.f = 0\nSelect f\nCase 1.5\nEndSelect",
                "v_f=0.0;\n"
                "integer zd_select1=SYS_BankerRoundQuad(v_f);\n"
                "if (SYS_BankerRoundQuad(1.5)!=zd_select1) { goto case2; }\n"
                "case2:;\n"
                "endselect1:;\n");
}

// ---------------------------------------------------------------------------
// Conditions

TEST_F(CControlFlowTest, AndOrChainsGiveOneLocal) {
    expect_code("a = 0\nb = 0\nIf a And b\nEndIf",
                "v_a=0;\nv_b=0;\n"
                "if (!(v_a)) { goto no1; }\n"
                "if (!(v_b)) { goto no1; }\n"
                "ok1:;\n"
                "integer c1=1;\n"
                "goto end1;\n"
                "no1:;\n"
                "c1=0;\n"
                "end1:;\n"
                "if (!(c1)) { goto endif2; }\n"
                "endif2:;\n");
    expect_code("a = 0\nb = 0\nIf a Or b > 1\nEndIf",
                "v_a=0;\nv_b=0;\n"
                "if (v_a) { goto ok1; }\n"
                "if (!((v_b>1))) { goto no1; }\n"
                "ok1:;\n"
                "integer c1=1;\n"
                "goto end1;\n"
                "no1:;\n"
                "c1=0;\n"
                "end1:;\n"
                "if (!(c1)) { goto endif2; }\n"
                "endif2:;\n");
}

TEST_F(CControlFlowTest, ConstantLeftSidesJumpAtOnce) {
    expect_code("a = 0\nIf 0 And a\nEndIf",
                "v_a=0;\ngoto no1;\nif (!(v_a)) { goto no1; }\n"
                "ok1:;\ninteger c1=1;\ngoto end1;\nno1:;\nc1=0;\nend1:;\n"
                "if (!(c1)) { goto endif2; }\nendif2:;\n");
    expect_code("a = 0\nIf 1 Or a\nEndIf",
                "v_a=0;\ngoto ok1;\nif (!(v_a)) { goto no1; }\n"
                "ok1:;\ninteger c1=1;\ngoto end1;\nno1:;\nc1=0;\nend1:;\n"
                "if (!(c1)) { goto endif2; }\nendif2:;\n");
    // Both sides constant: folded, nothing but the If's own jump.
    expect_code("If 1 And 0\nEndIf", "goto endif2;\nendif2:;\n");
}

TEST_F(CControlFlowTest, NotAndXOrStayInTheExpression) {
    expect_code("a = 0\nIf Not a\nEndIf", "v_a=0;\nif (!(!(v_a))) { goto endif2; }\nendif2:;\n");
    expect_code("If Not 0\nEndIf", "endif2:;\n");
    // XOr compares truth values: 3 XOr -2 is false.
    expect_code("a = 0\nb = 0\nIf a XOr b\nEndIf",
                "v_a=0;\nv_b=0;\nif (!((((v_a)!=0)^((v_b)!=0)))) { goto endif2; }\nendif2:;\n");
    expect_code("a = 0\nb = 0\nc = 0\nIf a XOr (b XOr c)\nEndIf",
                "v_a=0;\nv_b=0;\nv_c=0;\n"
                "if (!((((v_a)!=0)^(((((v_b)!=0)^((v_c)!=0)))!=0)))) { goto endif2; }\nendif2:;\n");
}

TEST_F(CControlFlowTest, FloatConditionsCompareInC) {
    expect_code("f.f = 0\nd.d = 0\nIf f < d\nEndIf", "v_f=0.0;\nv_d=0.0;\nif (!((v_f<v_d))) { goto endif2; }\nendif2:;\n");
    expect_code("f.f = 0\nIf f\nEndIf", "v_f=0.0;\nif (!(v_f)) { goto endif2; }\nendif2:;\n");
}

// ---------------------------------------------------------------------------
// Errors and output off

TEST_F(CControlFlowTest, BlockErrors) {
    EXPECT_EQ(error_of("Case 1"), 109);
    EXPECT_EQ(error_of("a = 0\nSelect a\nDefault"), 121);
    EXPECT_EQ(error_of("a = 0\nSelect a\nCase 1\nDefault\nCase 2"), 152);
    EXPECT_EQ(error_of("While 1\nBreak 2\nWend"), 164);
    EXPECT_EQ(error_of("Continue"), 257);
    EXPECT_EQ(error_of("Wend"), 42);
    EXPECT_EQ(error_of("Next"), 47);
    EXPECT_EQ(error_of("EndIf"), 44);
    EXPECT_EQ(error_of("For i = 1 To 3\nNext j"), 23);
    EXPECT_EQ(error_of("a = 0\nSelect a\nCase 1 And 2\nEndSelect"), 209);
}

TEST_F(CControlFlowTest, NothingIsWrittenWithOutputOff) {
    compile("a = 0");
    clear_output();
    no_output_depth = 1;
    std::string code;
    for (const char* line : {"If a And 1 Or a XOr Not a", "ElseIf a", "Else", "EndIf", "Select a", "Case 1 To 2, 3",
                             "EndSelect", "For i = 1 To 2", "Next", "While a", "Wend"}) {
        text = line;
        text.push_back('\0');
        text.push_back('\0');
        parse_pointer = text.data();
        compile_statement();
    }
    no_output_depth = 0;
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");
    EXPECT_TRUE(c_reserved_jumps.empty());
    EXPECT_TRUE(c_xor_left_texts.empty());
}

}  // namespace
