// Interface method calls: golden lines of calls on interface variables,
// pointer parameters and structure fields compiled through the dispatcher
// and the x64 back end (each fragment also assembled with fasm), the stack
// balance and alignment around them, method addresses, and the errors.
#include <string>
#include <vector>

#include "emit_test_support.h"
#include "frontend/interface_calls.h"
#include "frontend/lexer.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"

namespace {

const char* const calc_interface =
    "Interface ICalc\n"
    "Add(a, b)\n"
    "Twice.d(x.d)\n"
    "Third()\n"
    "Sum5(a, b, c, d, e = 100)\n"
    "Label.s(prefix.s)\n"
    "Scale.f(x.f)\n"
    "EndInterface\n"
    "Structure Holder\n"
    "id.q\n"
    "calc.ICalc\n"
    "EndStructure\n"
    "Define obj.ICalc, h.Holder, x, d.d, s.s";

class InterfaceCallsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        start();
    }
    void TearDown() override {
        in_procedure = 0;
        thread_safe = 0;
        debugger_code = 0;
    }

    void start() {
        compiler_reset();
        reset_statement_state();
        reset_procedures();
        clear_output();
        clear_error_state();
    }

    // Compiles the statements (one per line); returns the code the last one
    // wrote, or "error <n>".
    std::string compile(const std::string& statements) {
        return compile_last_into_current_buffer(statements);
    }

    // The interface and variables, then the statement.
    std::string call(const std::string& statement) {
        start();
        std::string declarations = compile(calc_interface);
        if (error_number) return declarations;
        return compile(statement);
    }

    int error_of(const std::string& statement) {
        call(statement);
        return error_number;
    }

    std::string procedure_text(const char* name) {
        ProcedureRecord* record = find_procedure(name);
        if (!record || !record->code_buffer) return "<none>";
        return std::string(record->code_buffer->start, record->code_buffer->write);
    }
};

TEST_F(InterfaceCallsTest, VariableObjectInRcxArgumentsAfterIt) {
    std::string code = call("x = obj\\Add(1, 2)");
    EXPECT_EQ(code,
              " PUSH qword 2\n PUSH qword 1\n POP rdx\n POP r8\n MOV rax,qword [v_obj]\n SUB rsp,32\n"
              " MOV rcx,rax\n MOV rax,[rax]\n CALL qword [rax]\n ADD rsp,32\n MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(InterfaceCallsTest, MethodNumberIsTheTableSlot) {
    std::string code = call("x = obj\\Third()");
    EXPECT_EQ(code,
              " MOV rax,qword [v_obj]\n SUB rsp,32\n MOV rcx,rax\n MOV rax,[rax]\n CALL qword [rax+16]\n"
              " ADD rsp,32\n MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
    // The method name is found without regard to case.
    EXPECT_NE(call("x = obj\\tWICE(1)").find(" CALL qword [rax+8]\n"), std::string::npos);
}

TEST_F(InterfaceCallsTest, FloatArgumentsGoToTheXmmRegisterOfTheirPosition) {
    std::string code = call("d = obj\\Twice(1.5)");
    EXPECT_EQ(code.substr(0, code.find(" MOV rax,qword [v_obj]")),
              " PUSH qword [D1]\n MOVSD xmm1,qword [rsp]\n ADD rsp,8\n")
        << code;
    // The double result comes back in xmm0 and goes onto the x87 stack.
    EXPECT_NE(code.find(" CALL qword [rax+8]\n ADD rsp,32\n MOVSD [rsp-8],xmm0\n FLD qword [rsp-8]\n"
                        " FSTP qword [v_d]\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(assemble_fragment(code + "D1: dq 0\n"), "");
    code = call("d = obj\\Scale(2)");
    EXPECT_NE(code.find(" MOVSS xmm1,dword [rsp]\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" MOVSS [rsp-8],xmm0\n FLD dword [rsp-8]\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.fpu_depth, 0);
}

TEST_F(InterfaceCallsTest, ArgumentsBeyondThreeStayOnTheStackAboveTheHomeSlots) {
    // The default fifth argument is pushed first; the first three move into
    // rdx, r8 and r9, the fourth and fifth stay at [rsp+32] and [rsp+40].
    std::string code = call("x = obj\\Sum5(1, 2, 3, 4)");
    EXPECT_EQ(code,
              " PUSH qword 100\n PUSH qword 4\n PUSH qword 3\n PUSH qword 2\n PUSH qword 1\n POP rdx\n POP r8\n"
              " POP r9\n MOV rax,qword [v_obj]\n SUB rsp,32\n MOV rcx,rax\n MOV rax,[rax]\n CALL qword [rax+24]\n"
              " ADD rsp,48\n MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(InterfaceCallsTest, FieldObjectIsPushedBelowTheArgumentsAndDropped) {
    std::string code = call("x = h\\calc\\Add(1, 2)");
    EXPECT_EQ(code,
              " LEA rbp,[v_h]\n PUSH qword [rbp+8]\n SUB rsp,8\n PUSH qword 2\n PUSH qword 1\n POP rdx\n POP r8\n"
              " SUB rsp,32\n MOV rax,[rsp+40]\n MOV rcx,rax\n MOV rax,[rax]\n CALL qword [rax]\n ADD rsp,40\n"
              " ADD rsp,8\n MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // With stack arguments the pushed object lies above them.
    code = call("x = h\\calc\\Sum5(1, 2, 3, 4, 5)");
    EXPECT_NE(code.find(" PUSH qword [rbp+8]\n SUB rsp,8\n PUSH qword 5\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" POP r9\n SUB rsp,32\n MOV rax,[rsp+56]\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" ADD rsp,56\n ADD rsp,8\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(InterfaceCallsTest, StringResultOfAFieldObjectKeepsTheSavedPositionAboveIt) {
    std::string code = call("s = h\\calc\\Label(\"ab\")");
    // Object, saved position, hidden position argument, the argument.
    EXPECT_NE(code.find(" PUSH qword [rbp+8]\n PUSH qword [ZD_StringBasePosition]\n"
                        " PUSH qword [ZD_StringBasePosition]\n"),
              std::string::npos)
        << code;
    EXPECT_NE(code.find(" POP rdx\n POP r8\n SUB rsp,32\n MOV rax,[rsp+40]\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" CALL SYS_CopyString\n ADD rsp,32\n POP rax\n POP rdx\n PUSH rax\n"), std::string::npos)
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(InterfaceCallsTest, CallInsideAnExpressionKeepsTheLeftOperand) {
    std::string code = call("x = x * 3 + obj\\Add(1, 2)");
    EXPECT_NE(code.find(" CALL qword [rax]\n ADD rsp,32\n ADD r15,rax\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "");
    // An x87 value waits on the machine stack during the call.
    code = call("d = d * obj\\Twice(0.5)");
    EXPECT_NE(code.find(" FSTP qword [rsp+0]\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" FLD qword [rsp+0]\n FXCH st1\n ADD rsp,8\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(assemble_fragment(code + "D1: dq 0\n"), "");
}

TEST_F(InterfaceCallsTest, StatementCallsAndPointerParameters) {
    std::string code = call("obj\\Third()");
    EXPECT_EQ(code, " MOV rax,qword [v_obj]\n SUB rsp,32\n MOV rcx,rax\n MOV rax,[rax]\n CALL qword [rax+16]\n"
                    " ADD rsp,32\n")
        << code;
    // A stack parameter is addressed at the depth of the object's load.
    start();
    compile(calc_interface);
    ASSERT_EQ(compile("Procedure P(*c.ICalc)\nProcedureReturn *c\\Sum5(1, 2, 3, 4, 5)\nEndProcedure"), "");
    std::string body = procedure_text("P");
    EXPECT_NE(body.find(" POP r9\n MOV rax,qword [rsp+PS0+16]\n SUB rsp,32\n"), std::string::npos) << body;
    EXPECT_EQ(assemble_fragment(body), "");
}

TEST_F(InterfaceCallsTest, MethodAddress) {
    compile(calc_interface);
    ASSERT_EQ(error_number, 0);
    StructureRecord* interface = find_structure("ICalc");
    ASSERT_NE(interface, nullptr);
    clear_output();
    std::string text = std::string("Third() ") + std::string(2, '\0');
    parse_pointer = text.data();
    EXPECT_EQ(emit_interface_method_call(nullptr, interface, "qword [v_obj]", 1), 3);
    EXPECT_EQ(output(), " MOV rax,qword [v_obj]\n MOV rax,qword [rax]\n MOV rax,qword [rax+16]\n");
    EXPECT_EQ(current_operand.kind, OPERAND_REGISTER);
    EXPECT_STREQ(current_operand.text, "rax");
    EXPECT_EQ(assemble_fragment(output()), "");
    // Anything between the parentheses is an error.
    text = std::string("Add(1, 2)") + std::string(2, '\0');
    parse_pointer = text.data();
    EXPECT_EQ(emit_interface_method_call(nullptr, interface, "qword [v_obj]", 1), 0);
    EXPECT_EQ(error_number, ERROR_SYNTAX);
}

TEST_F(InterfaceCallsTest, Errors) {
    EXPECT_EQ(error_of("x = obj\\Missing()"), ERROR_INTERFACE_METHOD_NOT_FOUND);
    EXPECT_EQ(error_of("x = obj\\Add"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("x = obj\\Add(1)"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("x = obj\\Add(1, 2, 3)"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("x = obj\\Add(\"a\", 2)"), ERROR_NUMBER_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("x = obj\\Label(1)"), ERROR_STRING_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("x = h\\calc\\Missing()"), ERROR_INTERFACE_METHOD_NOT_FOUND);
    // A call's result is no assignment target.
    EXPECT_EQ(error_of("obj\\Add(1, 2) = 3"), ERROR_SYNTAX);
    // A plain field alone is still no statement.
    EXPECT_EQ(error_of("h\\id"), ERROR_SYNTAX);
}

}  // namespace
