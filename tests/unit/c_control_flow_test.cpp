// Golden C text of blocks and conditions compiled through the dispatcher and
// the C back end: If chains, While, Repeat and For/Next as C loops with their
// wrap guards, Select with values and ranges, Break and Continue, jumps into
// and out of loops, And/Or chains, Not and XOr, and the block errors. Every program is also compiled by clang for the
// Windows target, inside one function after the declarations of its
// variables, so that each label, goto and local is valid C.
#include <string>

#include "backend_c/c_blocks.h"
#include "c_test_support.h"
#include "frontend/blocks.h"

namespace {

const char* const c_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : "
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

TEST_F(CControlFlowTest, IfElseIfElseJumpToNoAndEndifLabels) {
    expect_code("a = 0\nIf a = 1\nb = 1\nElseIf a = 2\nb = 2\nElse\nb = 3\nEndIf",
                "v_a=0;\n"
                "if (!((v_a==1))) { goto no2; }\n"
                "v_b=1;\n"
                "goto endif1;\n"
                "no2:;\n"
                "if (!((v_a==2))) { goto no3; }\n"
                "ok3:;\n"
                "v_b=2;\n"
                "goto endif1;\n"
                "no3:;\n"
                "v_b=3;\n"
                "endif1:;\n");
    // A plain If ends with "no" only; ElseIf without Else ends with both.
    expect_code("a = 0\nIf a\nb = 1\nEndIf", "v_a=0;\nif (!(v_a)) { goto no2; }\nv_b=1;\nno2:;\n");
    expect_code("a = 0\nIf a\nElseIf a = 1\nEndIf",
                "v_a=0;\nif (!(v_a)) { goto no2; }\ngoto endif1;\nno2:;\n"
                "if (!((v_a==1))) { goto no3; }\nok3:;\nendif1:;\nno3:;\n");
    // A constant condition is tested like any other.
    expect_code("If 0\nEndIf", "if (!(0)) { goto no2; }\nno2:;\n");
}

TEST_F(CControlFlowTest, NestedIfsKeepTheirOwnEndLabels) {
    expect_code("a = 0\nIf a = 1\nIf a = 2\nElse\nEndIf\nElse\nEndIf",
                "v_a=0;\n"
                "if (!((v_a==1))) { goto no2; }\n"
                "if (!((v_a==2))) { goto no4; }\n"
                "goto endif3;\n"
                "no4:;\n"
                "endif3:;\n"
                "goto endif1;\n"
                "no2:;\n"
                "endif1:;\n");
}

// ---------------------------------------------------------------------------
// Loops

TEST_F(CControlFlowTest, WhileAndRepeatAreCLoops) {
    expect_code("i = 0\nWhile i < 3\ni = i + 1\nWend",
                "v_i=0;\nwhile (1) {\nif (!((v_i<3))) { break; }\nv_i=((quad)((uquad)v_i+1));\n}\nil_wend1:;\n");
    // Continue in a Repeat goes to the test before Until.
    expect_code("i = 0\nRepeat\ni = i + 1\nIf i = 2\nContinue\nEndIf\nUntil i >= 4",
                "v_i=0;\n"
                "do {\n"
                "v_i=((quad)((uquad)v_i+1));\n"
                "if (!((v_i==2))) { goto no3; }\n"
                "goto until1;\n"
                "no3:;\n"
                "until1:;\n"
                "if ((v_i>=4)) { goto ok1; }\n"
                "no1:;\n"
                "} while (1);\n"
                "ok1:;\n"
                "il_until1:;\n");
    expect_code("Repeat\nBreak\nForEver", "do {\ngoto il_until1;\nuntil1:;\n} while(1);\nil_until1:;\n");
}

TEST_F(CControlFlowTest, ForLoopsTestTheLimitInTheCounterType) {
    expect_code("For i.l = 1 To 10\nNext",
                "v_i=1;\n"
                "while(1) {\n"
                "if (!(((int)10>=v_i))) { break; }\n"
                "next1:\n"
                "if ((int)((unsigned long long)v_i+1)<v_i) { break; }\n"
                "v_i+=1;\n"
                "}\n"
                "il_next2:;\n");
    expect_code("For q.q = 0 To 20000000000 Step 5000000000\nNext q",
                "v_q=0;\nwhile(1) {\n"
                "if (!(((quad)20000000000>=v_q))) { break; }\n"
                "next1:\n"
                "if ((quad)((unsigned long long)v_q+5000000000)<v_q) { break; }\n"
                "v_q+=5000000000;\n"
                "}\nil_next2:;\n");
    // A float limit is rounded into the counter's type.
    expect_code("f.f = 2.5\nFor i = 1 To f\nNext",
                "v_f=2.5;\nv_i=1;\nwhile(1) {\n"
                "if (!(((integer)SYS_BankerRoundQuad(v_f)>=v_i))) { break; }\n"
                "next1:\n"
                "if ((integer)((unsigned long long)v_i+1)<v_i) { break; }\n"
                "v_i+=1;\n"
                "}\nil_next2:;\n");
}

TEST_F(CControlFlowTest, NarrowCountersHaveAWrapGuard) {
    expect_code("For b.b = 120 To 127\nNext",
                "v_b=120;\nwhile(1) {\n"
                "if (!(((char)127>=v_b))) { break; }\n"
                "next1:\n"
                "if ((char)(v_b+1)<v_b) { break; }\n"
                "v_b+=1;\n"
                "}\nil_next2:;\n");
    // Counting down: the limit is tested with "<=", the guard with ">".
    expect_code("For w.w = 3 To 0 Step -1\nNext",
                "v_w=3;\nwhile(1) {\n"
                "if (!(((short)0<=v_w))) { break; }\n"
                "next1:\n"
                "if ((short)(v_w+-1)>v_w) { break; }\n"
                "v_w+=-1;\n"
                "}\nil_next2:;\n");
    expect_code("For u.a = 250 To 255\nNext",
                "v_u=250;\nwhile(1) {\n"
                "if (!(((unsigned char)255>=v_u))) { break; }\n"
                "next1:\n"
                "if ((unsigned char)(v_u+1)<v_u) { break; }\n"
                "v_u+=1;\n"
                "}\nil_next2:;\n");
}

TEST_F(CControlFlowTest, BreakAndContinueLeaveThroughLabels) {
    expect_code("For i = 1 To 3\nWhile 1\nSelect i\nCase 2\nBreak 2\nDefault\nContinue\nEndSelect\nWend\nNext",
                "v_i=1;\nwhile(1) {\n"
                "if (!(((integer)3>=v_i))) { break; }\n"
                "while (1) {\n"
                "if (!(1)) { break; }\n"
                "integer zd_select1=v_i;\n"
                "if (zd_select1==2) {\n"
                "goto il_next2;\n"
                "goto endselect1;}\n"
                "continue;\n"
                "endselect1:;\n"
                "}\n"
                "il_wend3:;\n"
                "next1:\n"
                "if ((integer)((unsigned long long)v_i+1)<v_i) { break; }\n"
                "v_i+=1;\n"
                "}\nil_next2:;\n");
    // Continue in a For goes to the step, one number below the loop's own.
    expect_code("For i = 1 To 3\nContinue\nNext",
                "v_i=1;\nwhile(1) {\n"
                "if (!(((integer)3>=v_i))) { break; }\n"
                "goto next1;\n"
                "next1:\n"
                "if ((integer)((unsigned long long)v_i+1)<v_i) { break; }\n"
                "v_i+=1;\n"
                "}\nil_next2:;\n");
}

// Gosub's return labels and Goto's targets may stand inside the C loops.
TEST_F(CControlFlowTest, JumpsIntoAndOutOfLoopsCompile) {
    std::string code = compile("i = 0\nWhile i < 3\ni = i + 1\nGosub s\nIf i = 2\nGoto e\nEndIf\nWend\ne:\nEnd i\ns:\nReturn");
    EXPECT_NE(code.find("while (1) {\nif (!((v_i<3))) { break; }\nv_i=((quad)((uquad)v_i+1));\nSYS_PushGosub(&&lg_0); goto l_s; lg_0:;\n"),
              std::string::npos)
        << code;
    EXPECT_NE(code.find("goto l_e;\nno3:;\n}\nil_wend1:;\nl_e:"), std::string::npos) << code;
    EXPECT_EQ(compile_with_clang(declarations() + "void SYS_PushGosub(void*);\nvoid* SYS_PopGosub(void);\n", code), "");
}

// ---------------------------------------------------------------------------
// Select

TEST_F(CControlFlowTest, SelectWithRangesValuesAndDefault) {
    expect_code("a = 0\nSelect a\nCase 1 To 5, 9\nb = 1\nCase -2\nb = 2\nDefault\nb = 3\nEndSelect",
                "v_a=0;\n"
                "integer zd_select1=v_a;\n"
                "if ((zd_select1>=1 && zd_select1<=5) || zd_select1==9) {\n"
                "v_b=1;\n"
                "goto endselect1;}\n"
                "if (zd_select1==-2) {\n"
                "v_b=2;\n"
                "goto endselect1;}\n"
                "v_b=3;\n"
                "endselect1:;\n");
    // A Select without a case writes only its selector.
    expect_code("a = 0\nSelect a\nEndSelect", "v_a=0;\ninteger zd_select1=v_a;\n");
}

TEST_F(CControlFlowTest, NarrowSelectorsCompareAsInt) {
    // Select number 3 on a long: the items are ints.
    expect_code("a.l = 0\nSelect a\nEndSelect\nSelect a\nEndSelect\nSelect a\nCase 1, 2\nb = 1\nDefault\nb = 2\nEndSelect",
                "v_a=0;\ninteger zd_select1=v_a;\ninteger zd_select2=v_a;\n"
                "integer zd_select3=v_a;\n"
                "if (zd_select3==(int)1 || zd_select3==(int)2) {\n"
                "v_b=1;\n"
                "goto endselect3;}\n"
                "v_b=2;\n"
                "endselect3:;\n");
    expect_code("a.l = 0\nSelect a\nCase 1 To 5, 9\nEndSelect",
                "v_a=0;\ninteger zd_select1=v_a;\n"
                "if ((zd_select1>=(int)1 && zd_select1<=(int)5) || zd_select1==(int)9) {\n}\nendselect1:;\n");
    // A quad selector is a quad and compares without "(int)"; so does an
    // item wider than an int on a narrow selector (its whole value counts).
    expect_code("q.q = 0\nSelect q\nCase 1\nEndSelect", "v_q=0;\nquad zd_select1=v_q;\nif (zd_select1==1) {\n}\nendselect1:;\n");
    expect_code("a.l = 0\nq.q = 0\nSelect a\nCase 5000000000, q, 7\nEndSelect",
                "v_a=0;\nv_q=0;\ninteger zd_select1=v_a;\n"
                "if (zd_select1==5000000000 || zd_select1==v_q || zd_select1==(int)7) {\n}\nendselect1:;\n");
}

TEST_F(CControlFlowTest, NestedSelectsUseTheirOwnSelector) {
    expect_code("a = 0\nSelect a\nCase 1\nSelect a * 10\nCase 10\nEndSelect\nEndSelect",
                "v_a=0;\n"
                "integer zd_select1=v_a;\n"
                "if (zd_select1==1) {\n"
                "integer zd_select2=((quad)((uquad)v_a*10LL));\n"
                "if (zd_select2==10) {\n"
                "}\n"
                "endselect2:;\n"
                "}\n"
                "endselect1:;\n");
    // A float selector compares its values as floats.
    expect_code("f.f = 0\nSelect f\nCase 1.5\nEndSelect",
                "v_f=0.0;\n"
                "float zd_select1=v_f;\n"
                "if (zd_select1==(float)(1.5)) {\n"
                "}\n"
                "endselect1:;\n");
}

// ---------------------------------------------------------------------------
// Conditions

TEST_F(CControlFlowTest, AndOrChainsGiveOneLocal) {
    expect_code("a = 0\nb = 0\nIf a And b\nEndIf",
                "v_a=0;\nv_b=0;\n"
                "integer c3=0;\n"
                "if (!(v_a)) { goto no3; }\n"
                "if (!(v_b)) { goto no3; }\n"
                "ok3:\n"
                "c3=1;\n"
                "no3:;\n"
                "if (!(c3)) { goto no2; }\n"
                "no2:;\n");
    expect_code("a = 0\nb = 0\nIf a Or b > 1\nEndIf",
                "v_a=0;\nv_b=0;\n"
                "integer c3=0;\n"
                "if (v_a) { goto ok3; }\n"
                "if ((v_b>1)) { goto ok3; }\n"
                "goto no3;\n"
                "ok3:\n"
                "c3=1;\n"
                "no3:;\n"
                "if (!(c3)) { goto no2; }\n"
                "no2:;\n");
    // Each operator of a chain has its own local; the numbers go on from
    // the block labels.
    expect_code("a = 0\nWhile a And a Or a\nWend",
                "v_a=0;\nwhile (1) {\n"
                "integer c2=0;\nif (!(v_a)) { goto no2; }\nif (!(v_a)) { goto no2; }\nok2:\nc2=1;\nno2:;\n"
                "integer c3=0;\nif (c2) { goto ok3; }\nif (v_a) { goto ok3; }\ngoto no3;\nok3:\nc3=1;\nno3:;\n"
                "if (!(c3)) { break; }\n}\nil_wend1:;\n");
}

TEST_F(CControlFlowTest, ConstantSidesStillWriteTheChain) {
    expect_code("a = 0\nIf 0 And a\nEndIf",
                "v_a=0;\ninteger c3=0;\nif (!(0)) { goto no3; }\nif (!(v_a)) { goto no3; }\n"
                "ok3:\nc3=1;\nno3:;\n"
                "if (!(c3)) { goto no2; }\nno2:;\n");
    // Both sides constant: the value is folded, the chain's local is still
    // the condition's text.
    expect_code("If 1 Or 0\nEndIf",
                "integer c3=0;\nif (1) { goto ok3; }\nif (0) { goto ok3; }\ngoto no3;\n"
                "ok3:\nc3=1;\nno3:;\n"
                "if (!(c3)) { goto no2; }\nno2:;\n");
    compile("If 1 Or 0");
    EXPECT_EQ(current_operand.kind, OPERAND_CONSTANT);
    EXPECT_EQ(current_operand.constant, 1);
}

TEST_F(CControlFlowTest, NotAndXOrStayInTheExpression) {
    expect_code("a = 0\nIf Not a\nEndIf", "v_a=0;\nif (!(!(v_a))) { goto no2; }\nno2:;\n");
    expect_code("If Not 0\nEndIf", "if (!(1)) { goto no2; }\nno2:;\n");
    // XOr compares truth values: 3 XOr -2 is false.
    expect_code("a = 0\nb = 0\nIf a XOr b\nEndIf",
                "v_a=0;\nv_b=0;\nif (!(((integer)((v_a)!=0)^(integer)((v_b)!=0)))) { goto no2; }\nno2:;\n");
    expect_code("a = 0\nb = 0\nc = 0\nIf a XOr (b XOr c)\nEndIf",
                "v_a=0;\nv_b=0;\nv_c=0;\n"
                "if (!(((integer)((v_a)!=0)^(integer)((((integer)((v_b)!=0)^(integer)((v_c)!=0)))!=0)))) { goto no2; }\n"
                "no2:;\n");
}

TEST_F(CControlFlowTest, FloatConditionsCompareInC) {
    expect_code("f.f = 0\nd.d = 0\nIf f < d\nEndIf", "v_f=0.0;\nv_d=0.0;\nif (!((v_f<v_d))) { goto no2; }\nno2:;\n");
    expect_code("f.f = 0\nIf f\nEndIf", "v_f=0.0;\nif (!(v_f)) { goto no2; }\nno2:;\n");
}

// ---------------------------------------------------------------------------
// Errors and output off

TEST_F(CControlFlowTest, BlockErrors) {
    EXPECT_EQ(error_of("Case 1"), ERROR_CASE_WITHOUT_SELECT);
    EXPECT_EQ(error_of("a = 0\nSelect a\nDefault"), ERROR_DEFAULT_WITHOUT_CASE);
    EXPECT_EQ(error_of("a = 0\nSelect a\nCase 1\nDefault\nCase 2"), ERROR_DEFAULT_NOT_LAST);
    EXPECT_EQ(error_of("While 1\nBreak 2\nWend"), ERROR_BREAK_LEVEL_TOO_HIGH);
    EXPECT_EQ(error_of("Continue"), ERROR_CONTINUE_OUTSIDE_LOOP);
    EXPECT_EQ(error_of("Wend"), ERROR_WEND_WITHOUT_WHILE);
    EXPECT_EQ(error_of("Next"), ERROR_NEXT_WITHOUT_FOR);
    EXPECT_EQ(error_of("EndIf"), ERROR_ENDIF_WITHOUT_IF);
    EXPECT_EQ(error_of("For i = 1 To 3\nNext j"), ERROR_WRONG_NEXT_VARIABLE);
    EXPECT_EQ(error_of("a = 0\nSelect a\nCase 1 And 2\nEndSelect"), ERROR_LOGIC_OPERATOR_IN_CASE);
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
    EXPECT_TRUE(c_case_condition.empty());
    EXPECT_TRUE(c_xor_left_texts.empty());
}

}  // namespace
