// End with and without an exit value, as written right after the keyword, and
// a string refused as the exit value;
// constants named through a module prefix; a string constant declared again
// with the same text.
#include <string>

#include "emit_test_support.h"
#include "frontend/expressions.h"
#include "frontend/statement_dispatcher.h"

namespace {

class EndStatementTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        reset_statement_state();
        clear_output();
    }

    // Compiles statements (one per line); returns the code of the last one
    // or "error <n>".
    std::string compile(const std::string& statements) {
        return compile_last_statement(statements);
    }

};

const char* const store_and_leave = " MOV [ZD_ExitCode],rax\n JMP _ZD_EOP\n";

TEST_F(EndStatementTest, ValueRightAfterTheKeyword) {
    EXPECT_EQ(compile("End 4"), std::string(" MOV rax,4\n") + store_and_leave);
    EXPECT_EQ(compile("End -4"), std::string(" MOV rax,-4\n") + store_and_leave);
    EXPECT_EQ(compile("End(7)"), std::string(" MOV rax,7\n") + store_and_leave);
    EXPECT_EQ(compile("End 2 * 3 + 1"), std::string(" MOV rax,7\n") + store_and_leave);
    EXPECT_EQ(compile("End ~0"), std::string(" MOV rax,-1\n") + store_and_leave);
    EXPECT_EQ(compile("x = 3\nEnd x"), std::string(" MOV rax,qword [v_x]\n") + store_and_leave);
    EXPECT_EQ(compile("End"), " JMP _ZD_EOP\n");
}

TEST_F(EndStatementTest, FloatValueIsRoundedIntoTheExitCode) {
    std::string code = compile("d.d = 2.5\nEnd d * 2");
    EXPECT_EQ(code, " FLD qword [v_d]\n MOV qword [rsp-8],2\n FILD qword [rsp-8]\n FMULP st1,st0\n"
                    " FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n" + std::string(store_and_leave));
    EXPECT_EQ(emitter_stack.fpu_depth, 0);
    // A folded float constant is rounded at compile time.
    EXPECT_EQ(compile("End 2.5 * 3"), std::string(" MOV rax,8\n") + store_and_leave);
}

TEST_F(EndStatementTest, StringIsNoExitCode) {
    // zdcompiler's assembler rejected a string variable's value; a literal
    // ended with the low bits of its address, which differ between builds.
    EXPECT_EQ(compile("s$ = \"abc\"\nEnd s$"), "error " + std::to_string(ERROR_NUMBER_EXPECTED_NOT_STRING));
    EXPECT_EQ(compile("s$ = \"abc\"\nEnd s$ + \"d\""), "error " + std::to_string(ERROR_NUMBER_EXPECTED_NOT_STRING));
    EXPECT_EQ(compile("End \"x\""), "error " + std::to_string(ERROR_NUMBER_EXPECTED_NOT_STRING));
    EXPECT_EQ(compile("Procedure.s F()\nProcedureReturn \"q\"\nEndProcedure\nEnd F()"), "error " + std::to_string(ERROR_NUMBER_EXPECTED_NOT_STRING));
}

TEST_F(EndStatementTest, ConstantThroughAModulePrefix) {
    EXPECT_EQ(compile("DeclareModule M\n#Pub = 5\nEndDeclareModule\nModule M\nEndModule\n#X = M::#Pub * 2\nEnd #X + M::#Pub"),
              std::string(" MOV rax,15\n") + store_and_leave);
}

TEST_F(EndStatementTest, StringConstantDeclaredAgainWithTheSameText) {
    EXPECT_EQ(compile("#T$ = \"a\"\n#U$ = \"bc\"\n#T$ = \"a\""), "");
    EXPECT_EQ(compile("#T$ = \"b\""), "error " + std::to_string(ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE));
}

}  // namespace
