// Golden lines of whole statements compiled through the dispatcher and the
// x64 back end; every fragment is also assembled with fasm.
#include <string>

#include "emit_test_support.h"
#include "frontend/expressions.h"
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

    // Compiles each statement (one per line) and returns the code written
    // by the last one; declarations before it write nothing.
    std::string compile(const std::string& statements) {
        std::string last;
        size_t start = 0;
        while (start <= statements.size()) {
            size_t end = statements.find('\n', start);
            if (end == std::string::npos) end = statements.size();
            text = statements.substr(start, end - start);
            text.push_back('\0');
            text.push_back('\0');
            clear_output();
            parse_pointer = text.data();
            compile_statement();
            if (error_number) return "error " + std::to_string(error_number);
            last = output();
            start = end + 1;
        }
        return last;
    }

    // The golden text, which must also assemble.
    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) EXPECT_EQ(assemble_fragment(code), "") << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    std::string text;
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

}  // namespace
