// Procedures, calls and library calls: golden lines of procedure frames
// and call sequences compiled through the dispatcher and the x64 back end
// (each fragment also assembled with fasm), the header errors, and the
// emitters of frames, register arguments and library routine names.
#include <cstring>
#include <string>

#include "backend_x64/emit_library_calls.h"
#include "backend_x64/emit_procedures.h"
#include "emit_test_support.h"
#include "forge/library_format.h"
#include "frontend/call_arguments.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"

namespace {

class ProceduresTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        start();
    }
    void TearDown() override {
        in_procedure = 0;
        thread_safe = 0;
        cpu_mode = 0;
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
    // wrote into the current buffer, or "error <n>". Inside a procedure
    // the buffer keeps the body.
    std::string compile(const std::string& statements) {
        return compile_last_into_current_buffer(statements);
    }

    int error_of(const std::string& statements) {
        start();
        compile(statements);
        return error_number;
    }

    // The whole text of a defined procedure.
    std::string procedure_text(const char* name) {
        ProcedureRecord* record = find_procedure(name);
        if (!record || !record->code_buffer) return "<none>";
        return std::string(record->code_buffer->start, record->code_buffer->write);
    }
};

TEST_F(ProceduresTest, EmptyProcedureFrame) {
    ASSERT_EQ(compile("Procedure Nothing()\nEndProcedure"), "");
    std::string code = procedure_text("Nothing");
    EXPECT_EQ(code,
              "_Procedure0:\n PS0=48\n SUB rsp,40\n_EndProcedureZero1:\n XOR rax,rax\n_EndProcedure1:\n"
              " ADD rsp,40\n RET\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, ParametersAreHomedAndUsedInPlace) {
    ASSERT_EQ(compile("Procedure.d Mix(a, b.d, c.f, d.q, e)\nProcedureReturn a + b + c + d + e\nEndProcedure"), "");
    std::string code = procedure_text("Mix");
    EXPECT_EQ(code.substr(0, code.find(" PS0")),
              "_Procedure0:\n MOV qword [rsp+8],rcx\n MOVSD qword [rsp+16],xmm1\n MOVSS dword [rsp+24],xmm2\n"
              " MOV qword [rsp+32],r9\n");
    EXPECT_NE(code.find("[rsp+PS0+32]"), std::string::npos) << code;  // the fifth, on the caller's stack
    EXPECT_NE(code.find(" FSTP qword [rsp-8]\n MOVSD xmm0,[rsp-8]\n"), std::string::npos) << code;
    EXPECT_NE(code.find("_EndProcedureZero1:\n FLDZ\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(ProceduresTest, SavedRegistersAndLocalsKeepTheFrameAligned) {
    ASSERT_EQ(compile("Procedure Work(a)\nDefine x, y, z\nx = a * (a + (a - 1))\nProcedureReturn x\nEndProcedure"), "");
    std::string code = procedure_text("Work");
    // r15 to r13 are saved; three locals above the reserved 40 bytes.
    EXPECT_NE(code.find(" PUSH r15\n PUSH r14\n PUSH r13\n PS0=96\n XOR rax,rax\n PUSH rax\n PUSH rax\n PUSH rax\n"
                        " SUB rsp,40\n"),
              std::string::npos)
        << code;
    EXPECT_NE(code.find(" ADD rsp,64\n POP r13\n POP r14\n POP r15\n RET\n"), std::string::npos) << code;
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(ProceduresTest, CallWithRegisterAndStackArguments) {
    ASSERT_EQ(compile("Procedure.q Six(a, b, c, d.d, e, f.f)\nEndProcedure"), "");
    std::string code = compile("x = Six(1, 2, 3, 4, 5, 6)");
    EXPECT_EQ(code,
              " MOV eax,1086324736\n PUSH rax\n PUSH qword 5\n PUSH qword [D1]\n PUSH qword 3\n PUSH qword 2\n"
              " PUSH qword 1\n POP rcx\n POP rdx\n POP r8\n MOVSD xmm3,qword [rsp]\n ADD rsp,8\n SUB rsp,32\n"
              " CALL _Procedure0\n ADD rsp,48\n MOV qword [v_x],rax\n")
        << code;
    EXPECT_EQ(assemble_fragment(code + "D1: dq 0\n"), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, FifthArgumentGetsThePad) {
    ASSERT_EQ(compile("Procedure Five(a, b, c, d, e)\nEndProcedure"), "");
    std::string code = compile("Five(1, 2, 3, 4, 5)");
    EXPECT_EQ(code,
              " SUB rsp,8\n PUSH qword 5\n PUSH qword 4\n PUSH qword 3\n PUSH qword 2\n PUSH qword 1\n POP rcx\n"
              " POP rdx\n POP r8\n POP r9\n SUB rsp,32\n CALL _Procedure0\n ADD rsp,48\n");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, DefaultsArePushedBeforeTheGivenArguments) {
    ASSERT_EQ(compile("Procedure Opt(a, b = 7, c = -2)\nEndProcedure"), "");
    std::string code = compile("x = Opt(1)");
    EXPECT_EQ(code,
              " PUSH qword -2\n PUSH qword 7\n PUSH qword 1\n POP rcx\n POP rdx\n POP r8\n CALL _Procedure0\n"
              " MOV qword [v_x],rax\n");
    EXPECT_EQ(compile("x = Opt(1, 2)").substr(0, 15), " PUSH qword -2\n");
}

TEST_F(ProceduresTest, FloatResultComesBackOnTheX87Stack) {
    ASSERT_EQ(compile("Procedure.f Third(v.f)\nProcedureReturn v / 3\nEndProcedure"), "");
    std::string code = compile("y.f = Third(1.5)");
    EXPECT_EQ(code,
              " MOV eax,1069547520\n PUSH rax\n MOVSS xmm0,dword [rsp]\n ADD rsp,8\n CALL _Procedure0\n"
              " MOVSS [rsp-8],xmm0\n FLD dword [rsp-8]\n FSTP dword [v_y]\n");
    EXPECT_EQ(emitter_stack.fpu_depth, 0);
    EXPECT_EQ(assemble_fragment(code), "");
}

TEST_F(ProceduresTest, SmallResultsAreWidened) {
    ASSERT_EQ(compile("Procedure.b B()\nEndProcedure\nProcedure.l L()\nEndProcedure\nProcedure.w W()\nEndProcedure\n"
                      "Procedure.u U()\nEndProcedure\nProcedure.a A()\nEndProcedure"),
              "");
    EXPECT_NE(compile("x = B()").find(" MOVSX rax,al\n"), std::string::npos);
    EXPECT_NE(compile("x = L()").find(" MOVSXD rax,eax\n"), std::string::npos);
    EXPECT_NE(compile("x = W()").find(" MOVSX rax,ax\n"), std::string::npos);
    EXPECT_NE(compile("x = U()").find(" MOVZX rax,ax\n"), std::string::npos);
    EXPECT_NE(compile("x = A()").find(" MOVZX rax,al\n"), std::string::npos);
}

TEST_F(ProceduresTest, CallKeepsTheLeftOperandInItsRegister) {
    ASSERT_EQ(compile("Procedure One()\nProcedureReturn 1\nEndProcedure"), "");
    std::string code = compile("x = y + One()");
    EXPECT_EQ(code, " MOV r15,qword [v_y]\n CALL _Procedure0\n ADD r15,rax\n MOV qword [v_x],r15\n");
}

TEST_F(ProceduresTest, ProcedureReturnLoadsTheResult) {
    ASSERT_EQ(compile("Procedure.l Neg(a)"), "");
    EXPECT_EQ(compile("ProcedureReturn -a"), " MOV r15,qword [rsp+PS0+0]\n NEG r15\n MOV rax,r15\n MOVSXD rax,eax\n JMP _EndProcedure1\n");
    EXPECT_EQ(compile("ProcedureReturn"), " JMP _EndProcedureZero1\n");
    EXPECT_EQ(compile("EndProcedure"), "");
}

TEST_F(ProceduresTest, DeclareKeepsTheIdOfEarlierCalls) {
    ASSERT_EQ(compile("Declare Later(a)"), "");
    EXPECT_EQ(compile("x = Later(2)"), " PUSH qword 2\n POP rcx\n CALL _Procedure0\n MOV qword [v_x],rax\n");
    ASSERT_EQ(compile("Procedure Later(a)\nEndProcedure"), "");
    ProcedureRecord* record = find_procedure("Later");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->id, 0);
    EXPECT_EQ(record->use_count, 1);
    EXPECT_EQ(record->flags & PROC_DECLARE_ONLY, 0u);
    check_declared_procedures();
    EXPECT_EQ(error_number, 0);
}

TEST_F(ProceduresTest, UnusedProceduresProduceNoCode) {
    ASSERT_EQ(compile("Procedure Used()\nEndProcedure\nProcedure Unused()\nEndProcedure\nProcedureDLL Exported()\n"
                      "EndProcedure\nUsed()"),
              " CALL _Procedure0\n");
    clear_output();
    append_procedure_code();
    std::string code = output();
    EXPECT_NE(code.find("_Procedure0:"), std::string::npos);
    EXPECT_EQ(code.find("_Procedure2:"), std::string::npos);
    EXPECT_NE(code.find("_Procedure4:"), std::string::npos);
    // The appended text is let go, but the procedure still counts as
    // appended: the entries of parallel jobs are written after it.
    ProcedureRecord* used = find_procedure("Used");
    ASSERT_NE(used, nullptr);
    EXPECT_TRUE(is_procedure_code_appended(used));
    EXPECT_EQ(used->code_buffer->write - used->code_buffer->start, 0);
    EXPECT_FALSE(is_procedure_code_appended(find_procedure("Unused")));
}

TEST_F(ProceduresTest, HeaderErrors) {
    EXPECT_EQ(error_of("Procedure P(a, b"), ERROR_PROCEDURE_CLOSE_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("Procedure P(a = 1, b)"), ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
    EXPECT_EQ(error_of("Procedure P a"), ERROR_PROCEDURE_OPEN_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("Procedure 5P()"), ERROR_PROCEDURE_NAME_START);
    EXPECT_EQ(error_of("Procedure If()"), ERROR_PROCEDURE_NAMED_AS_KEYWORD);
    EXPECT_EQ(error_of("Procedure P(a, a)"), ERROR_PARAMETER_DECLARED_TWICE);
    EXPECT_EQ(error_of("Procedure P(a$)\nEndProcedure\nProcedure P(a$)"), ERROR_PROCEDURE_IS_ALREADY_DECLARED);
    EXPECT_EQ(error_of("Procedure P(a.s{4})"), ERROR_FIXED_STRING_PARAMETER);
    EXPECT_EQ(error_of("Procedure P(\"a\")"), ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
    EXPECT_EQ(error_of("Procedure P(a b)"), ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
}

TEST_F(ProceduresTest, DeclarationMismatches) {
    EXPECT_EQ(error_of("Declare P(a, b.d)\nProcedure P(a, b.f)"), ERROR_DECLARE_MISMATCH);
    EXPECT_EQ(error_of("Declare P(a, b = 1)\nProcedure P(a, b = 2)"), ERROR_DECLARE_MISMATCH);
    EXPECT_EQ(error_of("Declare P(a, b = 1)\nProcedure P(a, b)"), ERROR_DECLARE_MISMATCH);
    EXPECT_EQ(error_of("Declare.d P(a)\nProcedure P(a)"), ERROR_DECLARE_MISMATCH);
    EXPECT_EQ(error_of("Declare P(a, b.d = 1.5)\nProcedure P(a, b.d = 1.5)"), 0);
    EXPECT_EQ(error_of("DeclareDLL P(a)\nProcedure P(a)"), ERROR_DLL_ATTRIBUTE_MISMATCH);
    EXPECT_EQ(error_of("Declare P(a)\nProcedure P(a)\nEndProcedure\nx = P(1)"), 0);
}

TEST_F(ProceduresTest, CallErrors) {
    EXPECT_EQ(error_of("Procedure P(a, b = 1)\nEndProcedure\nP()"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("Procedure P(a, b = 1)\nEndProcedure\nP(1, 2, 3)"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("Procedure P(a)\nEndProcedure\nP(1"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("Procedure P(a)\nEndProcedure\nP(\"x\")"), ERROR_NUMBER_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("ProcedureReturn 1"), ERROR_ONLY_INSIDE_PROCEDURE);
    EXPECT_EQ(error_of("Procedure P()\nProcedureReturn And"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Procedure.s P()\nProcedureReturn 1"), ERROR_STRING_EXPECTED_NOT_NUMBER);
    EXPECT_EQ(error_of("Procedure P()\nProcedure Q()"), ERROR_PROCEDURE_INSIDE_PROCEDURE);
    start();
    compile("Declare P(a)\nx = P(1)");
    check_declared_procedures();
    EXPECT_EQ(error_number, ERROR_PROCEDURE_DECLARED_NOT_DEFINED);
}

TEST_F(ProceduresTest, DeclareLeavesNoLocalsAndNoOpenProcedure) {
    ASSERT_EQ(compile("Declare P(a, b.d)\nPrototype Proto(x.f)\nx = a"), " MOV r15,qword [v_a]\n MOV qword [v_x],r15\n");
    EXPECT_EQ(in_procedure, 0);
    EXPECT_EQ(local_frame_offset, 40);
}

TEST_F(ProceduresTest, RegisterParameterStores) {
    emit_store_register_parameter(2, 1, TYPE_DOUBLE, "rdx");
    emit_store_register_parameter(2, 0, TYPE_FLOAT, "rcx");
    emit_store_register_parameter(2, 2, TYPE_INTEGER, "r8");
    EXPECT_EQ(output(), " MOVSD qword [rsp+16],xmm1\n MOVSS dword [rsp+8],xmm0\n");
}

TEST_F(ProceduresTest, ClearLocals) {
    emit_clear_locals(40);
    EXPECT_EQ(output(), " SUB rsp,40\n");
    clear_output();
    emit_clear_locals(56);
    EXPECT_EQ(output(), " XOR rax,rax\n PUSH rax\n PUSH rax\n SUB rsp,40\n");
    clear_output();
    emit_clear_locals(104);
    std::string code = output();
    EXPECT_EQ(code, " MOV rax,8\n.ClearLoop:\n SUB rsp,8\n MOV qword [rsp],0\n DEC rax\n JNZ .ClearLoop\n SUB rsp,40\n");
    EXPECT_EQ(assemble_fragment("_Procedure0:\n" + code), "");
}

TEST_F(ProceduresTest, LoadRegisterArguments) {
    CallRecord call = {};
    call.parameter_count = 5;
    call.parameter_types[0] = TYPE_DOUBLE;
    call.parameter_types[1] = TYPE_FLOAT;
    call.parameter_types[2] = TYPE_QUAD;
    emitter_stack.push_depth = 40;
    for (int i = 0; i < 5; i++) emit_load_register_argument(&call, i);
    EXPECT_EQ(output(), " MOVSD xmm0,qword [rsp]\n ADD rsp,8\n MOVSS xmm1,dword [rsp]\n ADD rsp,8\n POP r8\n POP r9\n");
    EXPECT_EQ(emitter_stack.push_depth, 8);
}

// A parallel job's stub takes the procedure's arguments from the job's
// block of slots and passes them as a call does: the first four in
// registers by type, the rest on the stack, rsp aligned at the call.
TEST_F(ProceduresTest, ParallelStubPassesTheJobBlockAsArguments) {
    ASSERT_EQ(compile("Procedure None()\nEndProcedure\nProcedure Mixed(a.b, s$, d.d)\nEndProcedure\n"
                      "Procedure Five(a, b.f, c, d, e)\nEndProcedure\nProcedure Six(a, b, c, d.d, e, f.f)\nEndProcedure"),
              "");
    struct Case {
        const char* name;
        const char* stub;
    };
    const Case cases[] = {
        {"None", "Parallel0:\n SUB rsp,8\n SUB rsp,32\n CALL _Procedure0\n ADD rsp,40\n RET\n"},
        {"Mixed",
         "Parallel2:\n SUB rsp,8\n PUSH qword [rcx+16]\n PUSH qword [rcx+8]\n PUSH qword [rcx+0]\n POP rcx\n POP rdx\n"
         " MOVSD xmm2,qword [rsp]\n ADD rsp,8\n SUB rsp,32\n CALL _Procedure2\n ADD rsp,40\n RET\n"},
        // One argument stays on the stack: a pad of 16 keeps rsp aligned.
        {"Five",
         "Parallel4:\n SUB rsp,16\n PUSH qword [rcx+32]\n PUSH qword [rcx+24]\n PUSH qword [rcx+16]\n"
         " PUSH qword [rcx+8]\n PUSH qword [rcx+0]\n POP rcx\n MOVSS xmm1,dword [rsp]\n ADD rsp,8\n POP r8\n POP r9\n"
         " SUB rsp,32\n CALL _Procedure4\n ADD rsp,56\n RET\n"},
        {"Six",
         "Parallel6:\n SUB rsp,8\n PUSH qword [rcx+40]\n PUSH qword [rcx+32]\n PUSH qword [rcx+24]\n"
         " PUSH qword [rcx+16]\n PUSH qword [rcx+8]\n PUSH qword [rcx+0]\n POP rcx\n POP rdx\n POP r8\n"
         " MOVSD xmm3,qword [rsp]\n ADD rsp,8\n SUB rsp,32\n CALL _Procedure6\n ADD rsp,56\n RET\n"},
    };
    for (const Case& c : cases) {
        ProcedureRecord* procedure = find_procedure(c.name);
        ASSERT_NE(procedure, nullptr) << c.name;
        clear_output();
        emit_parallel_stub(procedure);
        std::string stub = output();
        EXPECT_EQ(stub, c.stub) << c.name;
        EXPECT_EQ(assemble_fragment(procedure_text(c.name) + stub), "") << c.name;
    }
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, LibraryRoutineNames) {
    LibraryCommand command = {};
    char name[] = "Sqrt";
    command.entry.key = name;
    command.flags = LIBRARY_FLAG_SSE2 | LIBRARY_FLAG_PROCESSOR;
    cpu_mode = cpu_mode_sse2;
    EXPECT_STREQ(library_routine_name(&command), "ZD_Sqrt_SSE2");
    cpu_mode = cpu_mode_sse;
    EXPECT_STREQ(library_routine_name(&command), "ZD_Sqrt");
    command.flags = LIBRARY_FLAG_SSE2;
    cpu_mode = cpu_mode_sse2;
    EXPECT_STREQ(library_routine_name(&command), "ZD_Sqrt_SSE2");
    command.flags = 0;
    EXPECT_STREQ(library_routine_name(&command), "ZD_Sqrt");
    command.flags = LIBRARY_FLAG_PROCESSOR;
    cpu_mode = cpu_mode_dynamic;
    emit_library_call_instruction(&command, 0);
    // A 64-bit indirect call takes a qword pointer.
    EXPECT_EQ(output(), " CALL qword [f_Sqrt]\n");
    clear_output();
    cpu_mode = 0;
    command.flags = LIBRARY_FLAG_DEBUGGERCHECK;
    debugger_code = 1;
    emit_library_call_instruction(&command, 3);
    EXPECT_EQ(output(), " MOV r10,ZD_Sqrt_DEBUG\n MOV r11,4\n CALL _DBG_CallDebug\n CALL ZD_Sqrt\n");
}

TEST_F(ProceduresTest, LibraryCommandCall) {
    if (!find_library_command("OpenConsole")) GTEST_SKIP() << "Console library not loaded";
    EXPECT_EQ(compile("x = OpenConsole()"), " CALL ZD_OpenConsole\n MOVSXD rax,eax\n MOV qword [v_x],rax\n");
    EXPECT_EQ(compile("OpenConsole()"), " CALL ZD_OpenConsole\n MOVSXD rax,eax\n");
    EXPECT_EQ(error_of("OpenConsole(1)"), ERROR_INCORRECT_PARAMETER_COUNT);
}

TEST_F(ProceduresTest, CallInsideAFloatExpressionSavesTheX87Stack) {
    ASSERT_EQ(compile("Procedure.d D(a.d)\nProcedureReturn a\nEndProcedure"), "");
    std::string code = compile("z.d = w * D(2.0)");
    EXPECT_NE(code.find(" SUB rsp,8\n FSTP qword [rsp+0]\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" CALL _Procedure0\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(emitter_stack.fpu_depth, 0);
    EXPECT_EQ(assemble_fragment(code + "D1: dq 0\n"), "");
}

// ---------------------------------------------------------------------------
// String arguments and string results

TEST_F(ProceduresTest, LiteralAndVariableStringArgumentsArePushedAsAddresses) {
    ASSERT_EQ(compile("Define t.s\nProcedure Two(a.s, b.s)\nEndProcedure"), "");
    // Nothing on the string stack: no position is saved.
    std::string code = compile("Two(\"ab\", t)");
    EXPECT_EQ(code, " PUSH qword [v_t]\n MOV rax,_S1\n PUSH rax\n POP rcx\n POP rdx\n CALL _Procedure0\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // The literals the prescan gathered do not run into the arguments.
    EXPECT_EQ(compile("Two(\"c\" + \"d\", \"e\")"),
              " MOV rax,_S2\n PUSH rax\n MOV rax,_S3\n PUSH rax\n POP rcx\n POP rdx\n CALL _Procedure0\n");
    const LiteralString* joined = find_literal_by_number(3);
    ASSERT_NE(joined, nullptr);
    EXPECT_STREQ(joined->entry.key, "cd");
}

TEST_F(ProceduresTest, ConcatenatedArgumentsAreRebasedAndGivenBack) {
    ASSERT_EQ(compile("Define t.s\nProcedure Two(a.s, b.s)\nEndProcedure"), "");
    std::string code = compile("Two(t + \"x\", \"y\" + t)");
    EXPECT_EQ(code,
              // the position given back after the call, and the pad
              " PUSH qword [ZD_StringBasePosition]\n SUB rsp,8\n"
              // the second argument: its offset is its slot; its terminator is kept
              " PUSH qword [ZD_StringBasePosition]\n MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " MOV rcx,qword [v_t]\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " ADD qword [ZD_StringBasePosition],2\n"
              // the first argument
              " MOV rcx,qword [v_t]\n PUSH qword [ZD_StringBasePosition]\n SUB rsp,32\n CALL SYS_CopyString\n"
              " ADD rsp,32\n MOV rcx,_S1\n SUB rsp,32\n CALL SYS_CopyString\n ADD rsp,32\n"
              // offsets made addresses, then the call
              " MOV rdx,[ZD_StringBase]\n ADD [rsp+0],rdx\n MOV rdx,[ZD_StringBase]\n ADD [rsp+8],rdx\n"
              " POP rcx\n POP rdx\n SUB rsp,32\n CALL _Procedure0\n ADD rsp,40\n POP qword [ZD_StringBasePosition]\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, StringResultIsCopiedToTheSavedPosition) {
    ASSERT_EQ(compile("Define t.s\nProcedure.s Name(a)\nEndProcedure"), "");
    std::string code = compile("t = Name(1)");
    EXPECT_EQ(code,
              " PUSH qword [ZD_StringBasePosition]\n SUB rsp,8\n PUSH qword [ZD_StringBasePosition]\n PUSH qword 1\n"
              " POP rcx\n POP rdx\n SUB rsp,32\n CALL _Procedure0\n ADD rsp,40\n"
              " MOV rcx,[rsp]\n SUB rsp,40\n MOV qword [ZD_StringBasePosition],rcx\n MOV rcx,rax\n"
              " CALL SYS_CopyString\n ADD rsp,40\n"
              " POP rdx\n LEA rcx,[v_t]\n CALL SYS_AllocateString4\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // Inside a concatenation the result continues the text before it.
    code = compile("t = \"<\" + Name(2) + \">\"");
    EXPECT_EQ(code,
              " PUSH qword [ZD_StringBasePosition]\n MOV rcx,_S1\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " PUSH qword [ZD_StringBasePosition]\n PUSH qword [ZD_StringBasePosition]\n PUSH qword 2\n"
              " POP rcx\n POP rdx\n SUB rsp,32\n CALL _Procedure0\n ADD rsp,32\n"
              " MOV rcx,[rsp]\n SUB rsp,32\n MOV qword [ZD_StringBasePosition],rcx\n MOV rcx,rax\n"
              " CALL SYS_CopyString\n ADD rsp,32\n ADD rsp,8\n"
              " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " POP rdx\n LEA rcx,[v_t]\n CALL SYS_AllocateString4\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // A call statement gives the result's space back.
    code = compile("Name(3)");
    EXPECT_NE(code.find(" ADD rsp,40\n POP qword [ZD_StringBasePosition]\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, StringProcedureCopiesItsParameterAndReturnsFromTheStringStack) {
    ASSERT_EQ(compile("Procedure.s Twice(a.s)\nProcedureReturn a + a\nEndProcedure"), "");
    std::string code = procedure_text("Twice");
    EXPECT_EQ(code,
              "_Procedure0:\n MOV qword [rsp+8],rcx\n MOV qword [rsp+16],rdx\n PS0=64\n XOR rax,rax\n PUSH rax\n"
              " PUSH rax\n SUB rsp,40\n"
              // the caller's position, then the copy of the parameter
              " MOV rax,[rsp+PS0+8]\n MOV qword [ZD_StringBasePosition],rax\n"
              " MOV rdx,[rsp+PS0+0]\n LEA rcx,[rsp+40]\n SUB rsp,16\n CALL SYS_FastAllocateString4\n ADD rsp,16\n"
              // ProcedureReturn a + a
              " MOV rcx,qword [rsp+40]\n PUSH qword [ZD_StringBasePosition]\n SUB rsp,40\n CALL SYS_CopyString\n"
              " ADD rsp,40\n MOV rcx,qword [rsp+48]\n SUB rsp,40\n CALL SYS_CopyString\n ADD rsp,40\n"
              " POP rax\n ADD rax,[ZD_StringBase]\n JMP _EndProcedure1\n"
              // the end without ProcedureReturn: an empty string
              "_EndProcedureZero1:\n MOV rax,[ZD_StringBasePosition]\n ADD rax,[ZD_StringBase]\n MOV word [rax],0\n"
              "_EndProcedure1:\n PUSH rax\n MOV rcx,qword [rsp+48]\n SUB rsp,40\n CALL SYS_FreeString\n ADD rsp,40\n"
              " POP rax\n ADD rsp,56\n RET\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(strings_used, 1);
}

TEST_F(ProceduresTest, StringProcedureReturnErrors) {
    EXPECT_EQ(error_of("Procedure.s Name()\nProcedureReturn 5"), ERROR_STRING_EXPECTED_NOT_NUMBER);
    EXPECT_EQ(error_of("Procedure Count()\nProcedureReturn \"a\""), ERROR_NUMBER_EXPECTED_NOT_STRING);
    EXPECT_EQ(error_of("Procedure P(a.s)\nEndProcedure\nP(5)"), ERROR_STRING_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("Procedure P(a)\nEndProcedure\nP(\"x\")"), ERROR_NUMBER_PARAMETER_EXPECTED);
}

TEST_F(ProceduresTest, ThreadSafeStringCallsUseTheRuntimeForThePosition) {
    thread_safe = 1;
    ASSERT_EQ(compile("Define t.s\nProcedure.s Name(a.s)\nEndProcedure"), "");
    std::string code = compile("t = Name(t + \"!\")");
    EXPECT_EQ(code.find("ZD_StringBase"), std::string::npos) << code;
    // The result's address waits on the stack while the position is set.
    EXPECT_NE(code.find(" CALL _Procedure0\n ADD rsp,40\n PUSH rax\n MOV rcx,[rsp+8]\n SUB rsp,32\n"
                        " CALL SYS_SetStringBasePosition\n ADD rsp,32\n POP rcx\n SUB rsp,40\n"
                        " CALL SYS_CopyString\n ADD rsp,40\n"),
              std::string::npos)
        << code;
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(ProceduresTest, StringDefaultsArePushedAsLiterals) {
    ASSERT_EQ(compile("Procedure Opt(a, b.s = \"dflt\", c.s = \"\")\nEndProcedure"), "");
    std::string code = compile("Opt(1)");
    EXPECT_EQ(code,
              " XOR rax,rax\n PUSH rax\n MOV rax,_S1\n PUSH rax\n PUSH qword 1\n POP rcx\n POP rdx\n POP r8\n"
              " CALL _Procedure0\n");
    EXPECT_EQ(assemble_fragment(code), "");
    const LiteralString* literal = find_literal_by_number(1);
    ASSERT_NE(literal, nullptr);
    EXPECT_STREQ(literal->entry.key, "dflt");
}

// ---------------------------------------------------------------------------
// Pseudo-type parameters

TEST_F(ProceduresTest, PseudoTypeArgumentsAreConvertedIntoTheirSlots) {
    ASSERT_EQ(compile("Define t.s\nImport \"conv.lib\"\n  Conv(a.p-ascii, b.p-unicode, c.p-utf8, d.p-bstr)\nEndImport"), "");
    std::string code = compile("Conv(\"a\", t, t + \"c\", t)");
    EXPECT_EQ(code,
              // the saved position, four slots (the last parameter's lowest), the pad
              " PUSH qword [ZD_StringBasePosition]\n SUB rsp,32\n SUB rsp,8\n"
              // d: p-bstr from a variable, into slot 0
              " MOV rcx,qword [v_t]\n SUB rsp,32\n CALL SYS_ToBSTR\n ADD rsp,32\n PUSH rax\n MOV qword [rsp+16],rax\n"
              // c: p-utf8 from the string stack, into slot 1
              " MOV rcx,qword [v_t]\n PUSH qword [ZD_StringBasePosition]\n SUB rsp,32\n CALL SYS_CopyString\n"
              " ADD rsp,32\n MOV rcx,_S1\n SUB rsp,32\n CALL SYS_CopyString\n ADD rsp,32\n"
              " MOV rcx,[rsp]\n SUB rsp,32\n CALL SYS_BufferToUTF8\n ADD rsp,32\n MOV [rsp],rax\n"
              " MOV qword [rsp+32],rax\n"
              // b: p-unicode passed as it is (slot 2 unused)
              " PUSH qword [v_t]\n"
              // a: p-ascii from a literal, into slot 3
              " MOV rcx,_S2\n SUB rsp,40\n CALL SYS_ToAscii\n ADD rsp,40\n PUSH rax\n MOV qword [rsp+64],rax\n"
              " POP rcx\n POP rdx\n POP r8\n POP r9\n SUB rsp,32\n CALL Conv\n ADD rsp,40\n"
              // the frees skip the p-unicode slot but count it
              " PUSH rax\n MOV rcx,[rsp+8]\n SUB rsp,32\n CALL SysFreeString\n ADD rsp,32\n"
              " MOV rcx,[rsp+16]\n SUB rsp,32\n CALL SYS_FreeStringNoCheck\n ADD rsp,32\n"
              " MOV rcx,[rsp+32]\n SUB rsp,32\n CALL SYS_FreeStringNoCheck\n ADD rsp,32\n"
              " POP rax\n ADD rsp,32\n POP qword [ZD_StringBasePosition]\n");
    EXPECT_EQ(assemble_fragment(code + "Conv:\n"), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    // The two literals and nothing else: the prescan of one argument does
    // not join the literal of another to its own.
    ASSERT_NE(find_literal_by_number(2), nullptr);
    EXPECT_STREQ(find_literal_by_number(1)->entry.key, "c");
    EXPECT_STREQ(find_literal_by_number(2)->entry.key, "a");
    EXPECT_EQ(find_literal_by_number(3), nullptr);
}

TEST_F(ProceduresTest, MissingPseudoTypeArgumentsLeaveANullSlot) {
    ASSERT_EQ(compile("Import \"conv.lib\"\n  Opt.d(a, b.p-utf8 = 0)\nEndImport"), "");
    std::string code = compile("x.d = Opt(1)");
    EXPECT_EQ(code,
              " SUB rsp,8\n SUB rsp,8\n MOV qword [rsp+8],0\n PUSH qword 0\n PUSH qword 1\n POP rcx\n POP rdx\n"
              " SUB rsp,32\n CALL Opt\n ADD rsp,40\n"
              // the double result waits in rax while the slot is freed
              " MOVQ rax,xmm0\n PUSH rax\n MOV rcx,[rsp+8]\n SUB rsp,32\n CALL SYS_FreeStringNoCheck\n ADD rsp,32\n"
              " POP rax\n ADD rsp,8\n MOVQ xmm0,rax\n MOVSD [rsp-8],xmm0\n FLD qword [rsp-8]\n FSTP qword [v_x]\n");
    EXPECT_EQ(assemble_fragment(code + "Opt:\n"), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
    EXPECT_EQ(error_of("Import \"conv.lib\"\n  Opt(a, b.p-utf8 = 1)\nEndImport"), ERROR_PSEUDOTYPE_DEFAULT_NOT_ZERO);
}

}  // namespace
