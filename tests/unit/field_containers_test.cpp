// Array, list and map fields of structures through the dispatcher and the
// x64 back end: the structure's base in rbp is kept on the machine stack
// while indexes, sizes and keys are compiled, and the container is then
// addressed from it. Every golden fragment assembles.
#include <string>

#include "emit_test_support.h"
#include "frontend/arrays.h"
#include "frontend/blocks.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"

namespace {

const char* const bag =
    "Structure Pt\nx.l\ny.l\nEndStructure\n"
    "Structure Bag\nn.i\nArray a.l(4)\nArray g.w(2, 3)\nArray p.Pt(2)\nList l.i()\nMap m.s()\nEndStructure\n"
    "Define b.Bag\n";

class FieldContainersTest : public EmitterTest {
protected:
    void TearDown() override {
        in_procedure = 0;
        debugger_code = 0;
    }

    // Compiles the structures and each statement (one per line); returns
    // the code written by the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        reset_block_state();
        reset_arrays();
        reset_lists_maps();
        clear_output();
        return compile_last_statement(std::string(bag) + statements);
    }

    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code), "") << statements;
        }
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

};

TEST_F(FieldContainersTest, ArrayElementKeepsTheBaseAcrossItsIndex) {
    // A constant index costs only the push and pop of the base.
    expect_code("x = b\\a(3)",
                " LEA rbp,[v_b]\n PUSH rbp\n POP rbp\n MOV rbp,qword [rbp+8]\n MOVSXD r15,dword [rbp+12]\n"
                " MOV qword [v_x],r15\n");
    // A computed index is folded into rbp, so the target survives the right
    // side's registers.
    expect_code("b\\a(i + 1) = x",
                " LEA rbp,[v_b]\n PUSH rbp\n MOV r15,qword [v_i]\n INC r15\n POP rbp\n MOV rbp,qword [rbp+8]\n"
                " SAL r15,2\n ADD rbp,r15\n MOV r15,qword [v_x]\n MOV dword [rbp],r15d\n");
}

TEST_F(FieldContainersTest, TwoDimensionsReadTheSlotsThroughTheSavedBase) {
    expect_code("x = b\\g(1, j)",
                " LEA rbp,[v_b]\n PUSH rbp\n MOV rdx,[rsp]\n MOV rax,qword [rdx+24]\n MOV rbp,rax\n PUSH rbp\n"
                " MOV rax,qword [v_j]\n POP rbp\n ADD rbp,rax\n SAL rbp,1\n MOV rdx,[rsp]\n"
                " ADD rbp,qword [rdx+16]\n POP rax\n MOVSX r15,word [rbp]\n MOV qword [v_x],r15\n");
}

TEST_F(FieldContainersTest, DimOfAnArrayFieldKeepsTheBaseAcrossTheSize) {
    expect_code("Dim b\\a(n)",
                " LEA rbp,[v_b]\n PUSH rbp\n MOV rax,qword [v_n]\n INC rax\n POP rbp\n SUB rsp,24\n MOV rdx,rax\n"
                " LEA rax,[rbp+8]\n PUSH rax\n XOR r9,r9\n MOV r8,5\n MOV rcx,4\n SUB rsp,32\n"
                " CALL SYS_AllocateArray\n ADD rsp,64\n MOV qword [rbp+8],rax\n");
}

TEST_F(FieldContainersTest, StructuredElementsContinueTheChain) {
    expect_code("b\\p(1)\\y = 5",
                " LEA rbp,[v_b]\n PUSH rbp\n POP rbp\n MOV rbp,qword [rbp+40]\n ADD rbp,8\n"
                " MOV dword [rbp+4],5\n");
}

TEST_F(FieldContainersTest, ArrayFieldErrors) {
    EXPECT_EQ(error_of("x = b\\a(1, 2)"), ERROR_CLOSE_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("x = b\\g(1)"), ERROR_ARRAY_DIMENSION_COUNT);
    EXPECT_EQ(error_of("x = b\\a(1)\\x"), ERROR_ARRAY_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of("x = b\\p()\\x"), ERROR_MISSING_ARRAY_PARAMETERS);
    EXPECT_EQ(error_of("x = b\\a"), ERROR_OPEN_PARENTHESIS_MISSING_AFTER_ARRAY);
    EXPECT_EQ(error_of("Dim b\\a(1, 2)"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Dim b\\n(3)"), ERROR_DIM_SYNTAX);
}

TEST_F(FieldContainersTest, ListElementIsReachedFromTheStructure) {
    expect_code("b\\l() = 5", " LEA rbp,[v_b]\n MOV rbp,qword [rbp+48+8]\n MOV qword [rbp],5\n");
}

TEST_F(FieldContainersTest, MapKeyKeepsTheBaseAndTheSlotIsReadThroughIt) {
    // The key is another element of the same map: rbp moves while it is
    // found, and the outer map's slot comes from the saved base.
    expect_code("b\\m(b\\m(\"a\")) = \"b\"",
                " LEA rbp,[v_b]\n PUSH rbp\n LEA rbp,[v_b]\n PUSH rbp\n MOV rdx,_S1\n MOV rcx,[rsp]\n"
                " MOV rcx,qword [rcx+64]\n SUB rsp,32\n CALL ZD_GetMapElement\n MOV rbp,rax\n ADD rsp,32\n POP rax\n"
                " MOV rdx,qword [rbp]\n MOV rcx,[rsp]\n MOV rcx,qword [rcx+64]\n SUB rsp,40\n"
                " CALL ZD_GetMapElement\n MOV rbp,rax\n ADD rsp,40\n POP rax\n MOV rdx,_S2\n LEA rcx,[rbp]\n"
                " CALL SYS_FastAllocateStringFree4\n");
}

TEST_F(FieldContainersTest, ForEachReachesTheFieldAgainOnEveryStep) {
    std::string code = compile("ForEach b\\l()");
    EXPECT_NE(code.find(" LEA rbp,[v_b]\n MOV rcx,qword [rbp+48]\n CALL ZD_ResetList\n_ForEach1:\n"
                        " LEA rbp,[v_b]\n MOV rcx,qword [rbp+48]\n CALL ZD_NextElement\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(error_of("ForEach b\\l()\nNext b\\m()"), ERROR_FOREACH_MAP_MISMATCH);
    EXPECT_EQ(error_of("ForEach b\\n()"), ERROR_FOREACH_NEEDS_LIST_OR_MAP);
}

TEST_F(FieldContainersTest, ListAndMapFieldErrors) {
    EXPECT_EQ(error_of("x = b\\l(1)"), ERROR_PARENTHESES_EXPECTED_AFTER_LIST);
    EXPECT_EQ(error_of("x = b\\l()\\v"), ERROR_LIST_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of("x = b\\m(1)"), ERROR_MAP_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("x = b\\l"), ERROR_OPEN_PARENTHESIS_MISSING_AFTER_LIST);
    EXPECT_EQ(error_of("x = b\\m"), ERROR_OPEN_PARENTHESIS_MISSING_AFTER_MAP);
}

}  // namespace
