// Inline assembly through the dispatcher and the x64 back end: variables
// named in the operands of EnableASM lines, and the "equ" lines that name a
// procedure's locals, arrays and lists for both kinds of assembly lines.
#include <string>

#include "emit_test_support.h"
#include "driver/compilation_driver.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class InlineAsmTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        declare_builtin_constants();
        reset_statement_state();
        reset_expression_compiler();
        init_variables();
        reset_block_state();
        reset_procedures();
        reset_emitter_state();
        clear_error_state();
        clear_output();
    }
    void TearDown() override {
        in_procedure = 0;
        inline_asm_enabled = 0;
        compiler_reset();
    }

    // Compiles each statement (one per line); the code of all, or "error <n>".
    std::string compile(const std::string& statements) { return compile_all_statements(statements); }
};

TEST_F(InlineAsmTest, VariablesInOperands) {
    std::string code = compile("#Five = 5\ny = 11\nx.l = 0\nEnableASM\nMOV rax, y\nADD rax, #Five\nMOV x, eax\nMOV rcx, [rax+8]");
    EXPECT_NE(code.find("MOV rax,qword [v_y]\nADD rax,5\nMOV dword [v_x],eax\nMOV rcx,[rax+8]\n"), std::string::npos)
        << code;
    // A name that is no variable, and a variable inside a longer operand,
    // are left as they are.
    code = compile("MOV rax, nothing\nLEA rax, [y]");
    EXPECT_NE(code.find("MOV rax,nothing\nLEA rax,[y]\n"), std::string::npos) << code;
}

// Each assembly line in a procedure first gets the equates not written yet;
// at another push depth all of them are written again with the new offsets.
TEST_F(InlineAsmTest, ProcedureLocalEquates) {
    std::string code = compile("Procedure.i P(a)\nProtected b\nDim d(2)\nNewList l()\n! MOV qword [p.v_b], 1\n"
                               "! MOV rax, qword [p.v_a]");
    ASSERT_EQ(code.rfind("error", 0), std::string::npos) << code;
    const char* first[] = {"p.v_a equ rsp+PS0+0\n", "p.v_b equ rsp+40\n", "p.a_d equ rsp+", "p.t_l equ rsp+",
                           " MOV qword [p.v_b], 1\n"};
    for (const char* line : first) EXPECT_NE(code.find(line), std::string::npos) << line << "\n" << code;
    // The second line needed nothing new.
    EXPECT_EQ(code.find("p.v_b equ"), code.rfind("p.v_b equ")) << code;
    EXPECT_LT(code.find("p.v_b equ"), code.find(" MOV qword [p.v_b], 1")) << code;
    code = compile("Select a\nCase 1\nEnableASM\nMOV b, rax\nDisableASM\nEndSelect");
    EXPECT_NE(code.find("p.v_a equ rsp+PS0+8\np.v_b equ rsp+48\n"), std::string::npos) << code;
    EXPECT_NE(code.find("MOV qword [rsp+48],rax\n"), std::string::npos) << code;
    // Outside procedures nothing is written.
    code = compile("EndProcedure\n! NOP");
    EXPECT_EQ(code.find("equ"), std::string::npos) << code;
}

}  // namespace
