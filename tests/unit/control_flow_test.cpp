// Golden lines of the block statements and conditions compiled through the
// dispatcher and the x64 back end; every fragment is also assembled with
// fasm. The errors of misplaced and unbalanced block statements.
#include <string>

#include "emit_test_support.h"
#include "backend_x64/emit_control_flow.h"
#include "core/backend_tables.h"
#include "frontend/blocks.h"
#include "frontend/conditions.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class ControlFlowTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        reset_statement_state();
        reset_expression_compiler();
        init_variables();
        reset_block_state();
        clear_output();
    }
    void TearDown() override {
        in_procedure = 0;
        explicit_enabled = 0;
        thread_safe = 0;
    }

    // Compiles the statements (one per line) and returns all the code they
    // wrote, or "error <n>" at the first error.
    std::string compile(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        reset_expression_compiler();
        init_variables();
        reset_block_state();
        reset_emitter_state();
        reset_operand_state();
        create_float_pools();
        clear_error_state();
        clear_output();
        size_t start = 0;
        while (start <= statements.size()) {
            size_t end = statements.find('\n', start);
            if (end == std::string::npos) end = statements.size();
            std::string& line = lines[line_count++ % 64];
            line = statements.substr(start, end - start);
            line.push_back('\0');
            line.push_back('\0');
            parse_pointer = line.data();
            compile_statement();
            if (error_number) return "error " + std::to_string(error_number);
            start = end + 1;
        }
        return output();
    }

    // The golden text, which must also assemble (the labels that the
    // fragment jumps to but leaves open are defined after it); the x87
    // stack and the push depth are back where they started.
    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code), "") << statements;
        }
        EXPECT_EQ(emitter_stack.fpu_depth, 0) << statements;
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    std::string lines[64];
    int line_count = 0;
};

// ---------------------------------------------------------------------------
// If, ElseIf, Else

TEST_F(ControlFlowTest, IfWithoutElseWritesOnlyTheFalseLabel) {
    expect_code("If a < 5\nb = 1\nEndIf",
                " MOV r15,qword [v_a]\n CMP r15,5\n JGE _EndIf2\n MOV qword [v_b],1\n_EndIf2:\n");
}

TEST_F(ControlFlowTest, IfElseWritesTheEndLabelAtEndIf) {
    expect_code("If a = b\nc = 1\nElse\nc = 2\nEndIf",
                " MOV r15,qword [v_a]\n CMP r15,qword [v_b]\n JNE _EndIf2\n MOV qword [v_c],1\n JMP _EndIf1\n"
                "_EndIf2:\n MOV qword [v_c],2\n_EndIf1:\n");
}

TEST_F(ControlFlowTest, ElseIfChains) {
    expect_code("If a > 1\nc = 1\nElseIf a <= -1\nc = 2\nElse\nc = 3\nEndIf",
                " MOV r15,qword [v_a]\n CMP r15,1\n JLE _EndIf2\n MOV qword [v_c],1\n JMP _EndIf1\n_EndIf2:\n"
                " MOV r15,qword [v_a]\n CMP r15,-1\n JG _EndIf3\n MOV qword [v_c],2\n JMP _EndIf1\n_EndIf3:\n"
                " MOV qword [v_c],3\n_EndIf1:\n");
    // ElseIf without Else: the last false label and the end label together.
    expect_code("If a <> 0\nElseIf a\nEndIf",
                " MOV r15,qword [v_a]\n AND r15,r15\n JE _EndIf2\n JMP _EndIf1\n_EndIf2:\n"
                " CMP qword [v_a],0\n JE _EndIf3\n_EndIf1:\n_EndIf3:\n");
}

TEST_F(ControlFlowTest, NestedIfsNumberTheirLabelsInOrder) {
    expect_code("If a\nIf b\nc = 1\nEndIf\nEndIf",
                " CMP qword [v_a],0\n JE _EndIf2\n CMP qword [v_b],0\n JE _EndIf4\n MOV qword [v_c],1\n"
                "_EndIf4:\n_EndIf2:\n");
}

TEST_F(ControlFlowTest, ConstantConditions) {
    // A false constant always jumps, a true one never.
    expect_code("If 0\nEndIf", " JMP _EndIf2\n_EndIf2:\n");
    expect_code("If 3 > 2\nEndIf", "_EndIf2:\n");
    EXPECT_EQ(error_of("If \"text\"\nEndIf"), ERROR_LITERAL_STRING_AS_EXPRESSION);
    EXPECT_EQ(error_of("If\nEndIf"), ERROR_SYNTAX);
}

TEST_F(ControlFlowTest, ConditionsOnEachType) {
    expect_code("If a.b\nEndIf", " CMP byte [v_a],0\n JE _EndIf2\n_EndIf2:\n");
    expect_code("If a.c >= 10\nEndIf",
                " MOVZX r15,word [v_a]\n CMP r15,10\n JL _EndIf2\n_EndIf2:\n");
    // x87 tests jump on the zero flag alone.
    expect_code("If f.f\nEndIf",
                " FLD dword [v_f]\n FLDZ\n FCOMPP\n FNSTSW ax\n TEST ah,40h\n JNE _EndIf2\n_EndIf2:\n");
    expect_code("If d.d < 1.5\nEndIf",
                " FLD qword [v_d]\n FCOMP qword [D1]\n FNSTSW ax\n TEST ah,1h\n JE _EndIf2\n_EndIf2:\n");
    expect_code("If d.d > 1.5\nEndIf",
                " FLD qword [v_d]\n FCOMP qword [D1]\n FNSTSW ax\n TEST ah,41h\n JNE _EndIf2\n_EndIf2:\n");
}

TEST_F(ControlFlowTest, BlockErrors) {
    EXPECT_EQ(error_of("Else"), ERROR_ELSE_WITHOUT_IF);
    EXPECT_EQ(error_of("ElseIf a"), ERROR_ELSE_WITHOUT_IF);
    EXPECT_EQ(error_of("EndIf"), ERROR_ENDIF_WITHOUT_IF);
    EXPECT_EQ(error_of("If a\nElse\nElse"), ERROR_END_CONDITION_OPERAND_EXPECTED);
    EXPECT_EQ(error_of("If a\nElse\nElseIf b"), ERROR_ELSEIF_AFTER_ELSE);
    EXPECT_EQ(error_of("While a\nEndIf"), ERROR_END_CONDITION_OPERAND_EXPECTED);
    EXPECT_EQ(error_of("Wend"), ERROR_WEND_WITHOUT_WHILE);
    EXPECT_EQ(error_of("If a\nWend"), ERROR_END_CONDITION_OPERAND_EXPECTED);
    EXPECT_EQ(error_of("Until a"), ERROR_UNTIL_WITHOUT_REPEAT);
    EXPECT_EQ(error_of("ForEver"), ERROR_FOREVER_WITHOUT_REPEAT);
    EXPECT_EQ(error_of("While a\nForEver"), ERROR_END_CONDITION_OPERAND_EXPECTED);
    EXPECT_EQ(error_of("Next"), ERROR_NEXT_WITHOUT_FOR);
    EXPECT_EQ(error_of("Repeat\nNext"), ERROR_END_CONDITION_OPERAND_EXPECTED);
}

TEST_F(ControlFlowTest, OpenBlocksAreReported) {
    compile("If a");
    report_open_block();
    EXPECT_EQ(error_number, ERROR_END_CONDITION_KEYWORD_MISSING);
    EXPECT_NE(std::string(error_message).find("EndIf"), std::string::npos);
    compile("Repeat");
    report_open_block();
    EXPECT_NE(std::string(error_message).find("Until"), std::string::npos);
    compile("For i = 1 To 2");
    report_open_block();
    EXPECT_NE(std::string(error_message).find("Next"), std::string::npos);
    compile("If a\nElse");
    report_open_block();
    EXPECT_EQ(error_number, ERROR_UNFINISHED_CONDITION);
    compile("While a\nWend");
    report_open_block();
    EXPECT_EQ(error_number, 0);
}

// ---------------------------------------------------------------------------
// Loops

TEST_F(ControlFlowTest, WhileLoop) {
    expect_code("While i < 10\ni = i + 1\nWend",
                "_While1:\n MOV r15,qword [v_i]\n CMP r15,10\n JGE _Wend1\n MOV r15,qword [v_i]\n INC r15\n"
                " MOV qword [v_i],r15\n JMP _While1\n_Wend1:\n");
}

TEST_F(ControlFlowTest, RepeatUntilAndForEver) {
    expect_code("Repeat\ni = i + 1\nUntil i = 5",
                "_Repeat1:\n MOV r15,qword [v_i]\n INC r15\n MOV qword [v_i],r15\n MOV r15,qword [v_i]\n"
                " CMP r15,5\n JNE _Repeat1\n_Until1:\n");
    expect_code("Repeat\nForEver", "_Repeat1:\n JMP _Repeat1\n_Until1:\n");
}

TEST_F(ControlFlowTest, ContinueInRepeatWritesTheTestLabel) {
    expect_code("Repeat\nContinue\nUntil a",
                "_Repeat1:\n JMP _Repeat_Test1\n_Repeat_Test1:\n CMP qword [v_a],0\n JE _Repeat1\n_Until1:\n");
    expect_code("Repeat\nContinue\nForEver",
                "_Repeat1:\n JMP _Repeat_Test1\n_Repeat_Test1:\n JMP _Repeat1\n_Until1:\n");
    // Without Continue there is no test label.
    EXPECT_EQ(compile("Repeat\nUntil a").find("_Repeat_Test"), std::string::npos);
}

TEST_F(ControlFlowTest, ForLoopWithDefaultStep) {
    expect_code("For i = 1 To 10\nNext",
                " MOV qword [v_i],1\n JMP _ForSkipDebug1\n_For1:\n_ForSkipDebug1:\n MOV r15,10\n"
                " CMP r15,qword [v_i]\n JL _Next2\n_NextContinue2:\n INC qword [v_i]\n JNO _For1\n_Next2:\n");
}

TEST_F(ControlFlowTest, ForLoopSteps) {
    expect_code("For i = 10 To n Step -2\nNext i",
                " MOV qword [v_i],10\n JMP _ForSkipDebug1\n_For1:\n_ForSkipDebug1:\n MOV r15,qword [v_n]\n"
                " CMP r15,qword [v_i]\n JG _Next2\n_NextContinue2:\n ADD qword [v_i],-2\n JNO _For1\n_Next2:\n");
    // A step beyond 32 bits is added whole, through rax.
    expect_code("For q.q = 0 To 1 Step 5000000000\nNext",
                " MOV qword [v_q],0\n JMP _ForSkipDebug1\n_For1:\n_ForSkipDebug1:\n MOV r15,1\n"
                " CMP r15,qword [v_q]\n JL _Next2\n_NextContinue2:\n MOV rax,5000000000\n ADD qword [v_q],rax\n"
                " JNO _For1\n_Next2:\n");
}

TEST_F(ControlFlowTest, ForLoopOverCharactersCountsUnsigned) {
    expect_code("For c.c = 9 To 0 Step -1\nNext",
                " MOV word [v_c],9\n JMP _ForSkipDebug1\n_For1:\n_ForSkipDebug1:\n XOR r15,r15\n"
                " MOVZX rax,word [v_c]\n CMP r15,rax\n JA _Next2\n_NextContinue2:\n SUB word [v_c],1\n"
                " JNC _For1\n_Next2:\n");
}

TEST_F(ControlFlowTest, ForErrors) {
    EXPECT_EQ(error_of("For i To 10"), ERROR_ILLEGAL_FOR_EXPRESSION);
    EXPECT_EQ(error_of("For #c = 1 To 2"), ERROR_ILLEGAL_FOR_EXPRESSION);
    EXPECT_EQ(error_of("For f.f = 1 To 10"), ERROR_FOR_INTEGER_ASSIGNMENT_EXPECTED);
    EXPECT_EQ(error_of("For i = 1 10"), ERROR_TO_EXPECTED_AFTER_FOR);
    EXPECT_EQ(error_of("For i = 1 To 10 20"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("For i = 1"), ERROR_TO_EXPECTED_AFTER_FOR);
    EXPECT_EQ(error_of("For i = 1 To 10 Step k"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(error_of("For i = 1 To 10 Step 0.5"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    // A step wider than its counter cannot be added to it.
    EXPECT_EQ(error_of("For l.l = 1 To 10 Step 4294967296"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(error_of("For b.b = 1 To 10 Step 128"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(error_of("For a.a = 1 To 200 Step 256"), ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
    EXPECT_EQ(error_of("For w.w = 9 To 0 Step -32768"), 0);
    EXPECT_EQ(error_of("For u.u = 1 To 9 Step 65535"), 0);
    EXPECT_EQ(error_of("For i = 1 To 10\nNext j"), ERROR_WRONG_NEXT_VARIABLE);
}

TEST_F(ControlFlowTest, BreakAndContinue) {
    expect_code("While a\nBreak\nWend", "_While1:\n CMP qword [v_a],0\n JE _Wend1\n JMP _Wend1\n JMP _While1\n_Wend1:\n");
    expect_code("For i = 1 To 2\nContinue\nNext",
                " MOV qword [v_i],1\n JMP _ForSkipDebug1\n_For1:\n_ForSkipDebug1:\n MOV r15,2\n CMP r15,qword [v_i]\n"
                " JL _Next2\n JMP _NextContinue2\n_NextContinue2:\n INC qword [v_i]\n JNO _For1\n_Next2:\n");
    EXPECT_EQ(error_of("Break"), ERROR_BREAK_LEVEL_TOO_HIGH);
    EXPECT_EQ(error_of("While a\nBreak 0"), ERROR_BREAK_LEVEL_BELOW_ONE);
    EXPECT_EQ(error_of("While a\nBreak 2"), ERROR_BREAK_LEVEL_TOO_HIGH);
    EXPECT_EQ(error_of("While a\nBreak n"), ERROR_BREAK_INTEGER_CONSTANT_EXPECTED);
    EXPECT_EQ(error_of("Continue"), ERROR_CONTINUE_OUTSIDE_LOOP);
    EXPECT_EQ(error_of("If a\nContinue\nEndIf"), ERROR_CONTINUE_OUTSIDE_LOOP);
    EXPECT_EQ(error_of("While a\nContinue 1"), ERROR_GARBAGE_AT_END_OF_LINE);
}

TEST_F(ControlFlowTest, BreakTwoLevelsLeavesASelectAndBothLoops) {
    std::string code = compile("While a\nRepeat\nSelect b\nCase 1\nBreak 2\nEndSelect\nForEver\nWend");
    EXPECT_NE(code.find(" ADD rsp,8\n JMP _Wend1\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

// ---------------------------------------------------------------------------
// Select

TEST_F(ControlFlowTest, SelectWithSingleValuesAndDefault) {
    expect_code("Select a\nCase 1\nb = 1\nCase 2, 3\nb = 2\nDefault\nb = 3\nEndSelect",
                " MOV r15,qword [v_a]\n PUSH r15\n"
                " MOV r15,1\n CMP r15,qword [rsp]\n JNE _Case2\n MOV qword [v_b],1\n"
                " JMP _EndSelect1\n_Case2:\n MOV r15,2\n CMP r15,qword [rsp]\n JE _Case3\n"
                " MOV r15,3\n CMP r15,qword [rsp]\n JNE _Case4\n_Case3:\n MOV qword [v_b],2\n"
                " JMP _EndSelect1\n_Case4:\n MOV qword [v_b],3\n_Case5:\n_EndSelect1:\n ADD rsp,8\n");
}

TEST_F(ControlFlowTest, CaseRangesPatchTheLowerTest) {
    std::string blank(reserved_jump_width - 12, ' ');
    expect_code("Select a.l\nCase 1, 3 To 5, 7\nEndSelect",
                " MOVSXD r15,dword [v_a]\n PUSH r15\n"
                " MOV r15,1\n CMP r15,qword [rsp]\n JE _Case1\n"
                " MOV r15,3\n CMP r15,qword [rsp]\n JG _CaseTo1" + std::string(reserved_jump_width - 12, ' ') + "\n"
                " MOV r15,5\n CMP r15,qword [rsp]\n JGE _Case1\n_CaseTo1:\n"
                " MOV r15,7\n CMP r15,qword [rsp]\n JNE _Case2\n_Case1:\n_Case2:\n_EndSelect1:\n ADD rsp,8\n");
    // A range as the last value leaves for the next case on both sides.
    std::string code = compile("Select a\nCase 3 To 5\nEndSelect");
    EXPECT_NE(code.find(" JG _Case2" + std::string(reserved_jump_width - 10, ' ') + "\n MOV r15,5\n"
                        " CMP r15,qword [rsp]\n JL _Case2\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(ControlFlowTest, NestedSelectsNeverShareCaseLabels) {
    std::string code = compile("Select a\nCase 1, 2\nSelect b\nCase 3, 4\nEndSelect\nCase 5, 6\nEndSelect");
    EXPECT_EQ(assemble_fragment(code), "") << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ControlFlowTest, SelectErrors) {
    EXPECT_EQ(error_of("Case 1"), ERROR_CASE_WITHOUT_SELECT);
    EXPECT_EQ(error_of("Default"), ERROR_DEFAULT_WITHOUT_SELECT);
    EXPECT_EQ(error_of("EndSelect"), ERROR_ENDSELECT_WITHOUT_SELECT);
    EXPECT_EQ(error_of("Select a\nDefault"), ERROR_DEFAULT_WITHOUT_CASE);
    EXPECT_EQ(error_of("Select a\nCase 1\nDefault\nDefault"), ERROR_DEFAULT_WITHOUT_SELECT);
    EXPECT_EQ(error_of("Select a\nCase 1\nDefault\nCase 2"), ERROR_DEFAULT_NOT_LAST);
    EXPECT_EQ(error_of("Select a\nb = 1"), ERROR_CASE_EXPECTED_AFTER_SELECT);
    EXPECT_EQ(error_of("Select a\nCase 1 And 2"), ERROR_LOGIC_OPERATOR_IN_CASE);
    EXPECT_EQ(error_of("Select a\nCase 1 2"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Select \"x\""), ERROR_LITERAL_STRING_AS_EXPRESSION);
    EXPECT_EQ(error_of("Select a\nCase \"x\""), ERROR_NUMBER_EXPECTED_NOT_STRING);
    EXPECT_EQ(error_of("Select a\nCase 1\nIf b\nEndSelect"), ERROR_END_CONDITION_OPERAND_EXPECTED);
    EXPECT_EQ(error_of("Select a$\nCase 1"), ERROR_STRING_EXPECTED_NOT_NUMBER);
    EXPECT_EQ(error_of("Select a$\nCase \"a\" To \"c\""), ERROR_SYNTAX);
}

TEST_F(ControlFlowTest, StringSelectorVariableIsPushed) {
    // Equal texts answer non-zero: a matching value jumps on "JNE", the last
    // one leaves on "JE".
    expect_code("Define a.s\nSelect a\nCase \"x\", \"y\"\nEndSelect",
                " PUSH qword [v_a]\n MOV rdx,_S1\n MOV rcx,[rsp]\n SUB rsp,40\n CALL SYS_StringEqual\n ADD rsp,40\n"
                " OR rax,rax\n JNE _Case1\n MOV rdx,_S2\n MOV rcx,[rsp]\n SUB rsp,40\n CALL SYS_StringEqual\n"
                " ADD rsp,40\n OR rax,rax\n JE _Case2\n_Case1:\n_Case2:\n_EndSelect1:\n ADD rsp,8\n");
}

TEST_F(ControlFlowTest, StringSelectorTemporaryStaysOnTheStringStack) {
    std::string code = compile("Define a.s, b.s\nSelect a + \"!\"\nCase b\nEndSelect");
    // The selector's terminator is kept, each Case value reads it at [rsp]
    // from the base, and EndSelect gives the position back.
    EXPECT_NE(code.find(" ADD qword [ZD_StringBasePosition],2\n MOV rdx,qword [v_b]\n MOV rcx,[rsp]\n"
                        " ADD rcx,[ZD_StringBase]\n"), std::string::npos) << code;
    EXPECT_NE(code.find("_EndSelect1:\n POP qword [ZD_StringBasePosition]\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "") << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // Break out of it restores the position from the selector's slot.
    code = compile("Define s.s\nWhile a\nSelect s + \"!\"\nCase \"x\"\nBreak\nEndSelect\nWend");
    EXPECT_NE(code.find(" MOV rax,[rsp+0]\n MOV qword [ZD_StringBasePosition],rax\n ADD rsp,8\n JMP _Wend1\n"),
              std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "") << code;
}

TEST_F(ControlFlowTest, FixedStringSelectorIsCopied) {
    std::string code = compile("Define f.s{4}\nSelect f\nCase \"ab\"\nEndSelect");
    EXPECT_NE(code.find(" MOV rdx,4\n SUB rsp,40\n CALL SYS_CopyFixedString\n ADD rsp,40\n"
                        " ADD qword [ZD_StringBasePosition],2\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "") << code;
}

// ---------------------------------------------------------------------------
// With

TEST_F(ControlFlowTest, WithPutsItsBaseInFrontOfEachField) {
    const std::string declarations = "Structure P\nx.l\ny.l\nEndStructure\nDefine p.P\n";
    std::string with = compile(declarations + "With p\n\\x = 1 : \\y = \\x + 2\nEndWith");
    std::string plain = compile(declarations + "p\\x = 1 : p\\y = p\\x + 2");
    EXPECT_EQ(with, plain);
    EXPECT_EQ(error_of(declarations + "With p\nWith p"), ERROR_CANNOT_BE_NESTED);
    EXPECT_EQ(error_of(declarations + "With p : \\x = 1"), ERROR_COLON_AFTER_WITH);
    EXPECT_EQ(error_of("EndWith"), ERROR_ENDWITH_WITHOUT_WITH);
    EXPECT_EQ(error_of("With"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("\\x = 1"), ERROR_SYNTAX);
    compile(declarations + "With p");
    report_open_block();
    EXPECT_EQ(error_number, ERROR_END_KEYWORD_MISSING);
}

// ---------------------------------------------------------------------------
// And, Or, XOr, Not

TEST_F(ControlFlowTest, AndOrShortCircuit) {
    expect_code("If a < 1 And b > 2\nEndIf",
                " MOV r15,qword [v_a]\n CMP r15,1\n JGE No1\n MOV r15,qword [v_b]\n CMP r15,2\n JLE No1\n"
                "Ok1:\n MOV r15,1\n JMP End1\nNo1:\n XOR r15,r15\nEnd1:\n AND r15,r15\n JE _EndIf2\n_EndIf2:\n");
    expect_code("If a Or b\nEndIf",
                " CMP qword [v_a],0\n JNE Ok1\n CMP qword [v_b],0\n JE No1\n"
                "Ok1:\n MOV r15,1\n JMP End1\nNo1:\n XOR r15,r15\nEnd1:\n AND r15,r15\n JE _EndIf2\n_EndIf2:\n");
}

TEST_F(ControlFlowTest, ConstantSidesOfAndOr) {
    // Two constant sides fold without any label.
    expect_code("If 1 And 0\nEndIf", " JMP _EndIf2\n_EndIf2:\n");
    expect_code("If 0 Or 2\nEndIf", "_EndIf2:\n");
    // A constant left side: the reserved line takes the jump it decides.
    std::string code = compile("If 0 And a\nEndIf");
    EXPECT_EQ(code.rfind(" JMP No1", 0), 0u) << code;
    EXPECT_EQ(assemble_fragment(code), "");
    code = compile("If 1 And a\nEndIf");
    EXPECT_EQ(code.rfind(std::string(reserved_jump_width, ' ') + "\n", 0), 0u) << code;
    EXPECT_EQ(assemble_fragment(code), "");
    // A constant right side inside a chain still takes its jump.
    code = compile("If a And 0\nEndIf");
    EXPECT_NE(code.find(" JE No1\n JMP No1\nOk1:"), std::string::npos) << code;
}

TEST_F(ControlFlowTest, ChainsUseTheirOwnNumbers) {
    std::string code = compile("If a And b\nEndIf\nIf a Or b\nEndIf");
    EXPECT_NE(code.find("No1:"), std::string::npos);
    EXPECT_NE(code.find("No2:"), std::string::npos);
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(ControlFlowTest, NotAndXOr) {
    expect_code("If Not a\nEndIf",
                " CMP qword [v_a],0\n JE No1\n XOR r15,r15\n JMP Ok1\nNo1:\n MOV r15,1\nOk1:\n AND r15,r15\n"
                " JE _EndIf2\n_EndIf2:\n");
    expect_code("If Not 0\nEndIf", "_EndIf2:\n");
    expect_code("If a XOr b\nEndIf",
                " CMP qword [v_a],0\n JNE No1\n PUSH qword 0\n JMP Ok1\nNo1:\n PUSH qword 1\nOk1:\n"
                " CMP qword [v_b],0\n JNE No2\n XOR rdx,rdx\n JMP Ok2\nNo2:\n MOV rdx,1\nOk2:\n POP r15\n"
                " XOR r15,rdx\n AND r15,r15\n JE _EndIf2\n_EndIf2:\n");
    EXPECT_EQ(error_of("If Not \"a\"\nEndIf"), ERROR_OPERATOR_ON_STRINGS);
    EXPECT_NE(std::string(error_message).find("Not"), std::string::npos);
    EXPECT_EQ(error_of("If a XOr \"b\"\nEndIf"), ERROR_OPERATOR_ON_STRINGS);
    EXPECT_NE(std::string(error_message).find("XOr"), std::string::npos);
}

TEST_F(ControlFlowTest, ComparisonsOutsideConditions) {
    EXPECT_EQ(error_of("a = b And c"), ERROR_COMPARISON_OUTSIDE_CONDITION);
}

// ---------------------------------------------------------------------------
// The emitters alone

TEST_F(ControlFlowTest, JumpMnemonicsFollowTheConditionIndex) {
    // Plain rows jump when the relation fails, negated rows when it holds.
    const char* fails[6] = {" JE", " JNE", " JG", " JL", " JGE", " JLE"};
    const char* holds[6] = {" JNE", " JE", " JLE", " JGE", " JL", " JG"};
    const char* holds_unsigned[6] = {" JNE", " JE", " JBE", " JAE", " JB", " JA"};
    for (int relation = 0; relation < 6; relation++) {
        EXPECT_STREQ(condition_jump_mnemonic(CONDITION_SIGNED, relation), fails[relation]);
        EXPECT_STREQ(condition_jump_mnemonic(CONDITION_SIGNED_NEGATED, relation), holds[relation]);
        EXPECT_STREQ(condition_jump_mnemonic(CONDITION_UNSIGNED_NEGATED, relation), holds_unsigned[relation]);
    }
}

TEST_F(ControlFlowTest, LoopJumpRestoresTheStringPosition) {
    x64_emit_loop_jump(8, 16, "_Wend", 3);
    EXPECT_EQ(output(), " MOV rax,[rsp+8]\n MOV qword [ZD_StringBasePosition],rax\n ADD rsp,16\n JMP _Wend3\n");
    clear_output();
    thread_safe = 1;
    // Inside one Select (depth 8): the runtime call gets an aligned frame
    // with home space.
    emitter_stack.push_depth = 8;
    x64_emit_loop_jump(0, 8, "_While", 2);
    EXPECT_EQ(output(), " MOV rcx,[rsp+0]\n SUB rsp,40\n CALL SYS_SetStringBasePosition\n ADD rsp,40\n"
                        " ADD rsp,8\n JMP _While2\n");
    EXPECT_EQ(emitter_stack.push_depth, 8);
    emitter_stack.push_depth = 0;
    clear_output();
    x64_emit_loop_jump(-1, 0, "_While", 2);
    EXPECT_EQ(output(), " JMP _While2\n");
}

TEST_F(ControlFlowTest, NothingIsWrittenWhileOutputIsOff) {
    const char* statements[] = {"If a", "While b", "Wend", "EndIf"};
    no_output_depth++;
    for (const char* statement : statements) {
        std::string line = std::string(statement) + std::string(2, '\0');
        parse_pointer = line.data();
        compile_statement();
    }
    no_output_depth--;
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");
    // The counters advanced all the same.
    EXPECT_EQ(label_counter, 3);
}

}  // namespace
