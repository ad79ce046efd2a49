// Golden lines of the x64 emitters; every fragment must also assemble.
#include "tests/unit/emit_test_support.h"

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_compare.h"
#include "backend_x64/emit_expression.h"
#include "backend_x64/emit_operands.h"

namespace {

#define EXPECT_LINES(expected)                              \
    do {                                                    \
        EXPECT_EQ(std::string(expected), output());         \
        EXPECT_EQ("", assemble_fragment(output()));         \
    } while (0)

TEST_F(EmitterTest, CallFrameFollowsPushDepth) {
    EXPECT_EQ(0, emit_call_frame_begin());
    emit_line(" CALL SYS_FreeString");
    emit_call_frame_end();
    emitter_stack.push_depth = 8;
    EXPECT_EQ(40, emit_call_frame_begin());
    EXPECT_EQ(48, emitter_stack.push_depth);
    emit_call_frame_end();
    emitter_stack.push_depth = 16;
    emit_call_frame_begin();
    emit_call_frame_end();
    EXPECT_EQ(16, emitter_stack.push_depth);
    EXPECT_LINES(" CALL SYS_FreeString\n SUB rsp,40\n ADD rsp,40\n SUB rsp,32\n ADD rsp,32\n");
}

TEST_F(EmitterTest, SuppressedCallFrameKeepsBookkeeping) {
    emitter_stack.push_depth = 8;
    no_output_depth = 1;
    emit_call_frame_begin();
    EXPECT_EQ(48, emitter_stack.push_depth);
    emit_call_frame_end();
    no_output_depth = 0;
    EXPECT_EQ(8, emitter_stack.push_depth);
    EXPECT_EQ("", output());
}

TEST_F(EmitterTest, AlignStackBeforeExit) {
    emitter_stack.push_depth = 8;
    EXPECT_EQ(8, emit_align_stack16());
    EXPECT_LINES(" ADD rsp,-8\n");
}

TEST_F(EmitterTest, ReleasePseudoTypeArguments) {
    const int bstr_ascii[] = {18, 16};
    emit_release_pseudo_types(bstr_ascii, 2);
    EXPECT_LINES(" PUSH rax\n"
                 " MOV rcx,[rsp+8]\n SUB rsp,40\n CALL SYS_FreeStringNoCheck\n ADD rsp,40\n"
                 " MOV rcx,[rsp+16]\n SUB rsp,40\n CALL SysFreeString\n ADD rsp,40\n"
                 " POP rax\n ADD rsp,16\n");
    EXPECT_EQ(-16, emitter_stack.push_depth);
    EXPECT_EQ(1, runtime_routine_used[RT_SYS_FreeStringNoCheck]);
}

TEST_F(EmitterTest, PseudoUnicodeKeepsItsSlot) {
    // The unconverted p-unicode parameter still owns slot 0 (the last one).
    const int types[] = {16, 17};
    emit_release_pseudo_types(types, 2);
    EXPECT_LINES(" PUSH rax\n MOV rcx,[rsp+16]\n SUB rsp,40\n CALL SYS_FreeStringNoCheck\n ADD rsp,40\n"
                 " POP rax\n ADD rsp,16\n");
}

TEST_F(EmitterTest, LoadsAndMoves) {
    emit_load_immediate(0, REGISTER_R15);
    emit_load_immediate(-5, REGISTER_R14);
    emit_load_static_string(REGISTER_RCX, 3, false);
    emit_load_static_string(REGISTER_RCX, 0, true);
    dll_symbol_addresses = 1;
    emit_load_static_string(REGISTER_RDX, 4, false);
    emit_load_symbol_address("s_point", REGISTER_R8);
    dll_symbol_addresses = 0;
    emit_load_symbol_address("s_point", REGISTER_R8);
    emit_lea_operand("qword [v_a]", REGISTER_RCX);
    emit_mov_register_register(REGISTER_R15, REGISTER_RCX);
    emit_store_accumulator("word [v_w]", 2);
    EXPECT_LINES(" XOR r15,r15\n MOV r14,-5\n MOV rcx,_S3\n XOR rcx,rcx\n LEA rdx,[_S4]\n LEA r8,[s_point]\n"
                 " MOV r8,s_point\n LEA rcx,[v_a]\n MOV rcx,r15\n MOV word [v_w],ax\n");
}

TEST_F(EmitterTest, IntegerLoadWidensByTypeAndMarksDword) {
    set_variable("byte [v_b]", 1);
    emit_load_operand(REGISTER_R15);
    set_variable("word [v_c]", 2, OP_UNSIGNED);
    emit_load_operand(REGISTER_R14);
    EXPECT_EQ(0u, expression_mode & MODE_DWORD_LOADED);
    set_variable("dword [v_l]", 4);
    emit_load_operand(REGISTER_R13);
    EXPECT_NE(0u, expression_mode & MODE_DWORD_LOADED);
    set_variable("qword [v_q]", 8);
    emit_load_operand(REGISTER_RAX);
    EXPECT_EQ(1, register_stack.live[0]);
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_load_operand_to_register(REGISTER_R15);
    EXPECT_LINES(" MOVSX r15,byte [v_b]\n MOVZX r14,word [v_c]\n MOVSXD r13,dword [v_l]\n MOV rax,qword [v_q]\n"
                 " FLD dword [v_f]\n FISTP qword [rsp-8]\n MOV r15,qword [rsp-8]\n");
    EXPECT_EQ(0, emitter_stack.fpu_depth);
}

TEST_F(EmitterTest, FloatLoadsCountEveryPush) {
    expression_mode = MODE_DOUBLE;
    set_float_constant(1.5);
    emit_load_operand(REGISTER_RAX);
    set_variable("byte [v_b]", 1);
    emit_load_operand(REGISTER_RAX);
    set_variable("word [v_u]", 2, OP_UNSIGNED);
    emit_load_operand(REGISTER_RAX);
    set_variable("dword [v_l]", 4);
    emit_load_operand(REGISTER_RAX);
    set_operand_register_text("r15");
    current_operand.flags = 0;
    emit_load_operand(REGISTER_RAX);
    EXPECT_EQ(5, emitter_stack.fpu_depth);
    EXPECT_LINES(" FLD qword [D1]\n MOVSX eax,byte [v_b]\n MOV dword [rsp-4],eax\n FILD dword [rsp-4]\n"
                 " MOVZX eax,word [v_u]\n MOV dword [rsp-4],eax\n FILD dword [rsp-4]\n FILD dword [v_l]\n"
                 " MOV qword [rsp-8],r15\n FILD qword [rsp-8]\n");
}

TEST_F(EmitterTest, EighthX87ValueIsError247) {
    for (int i = 0; i < 7; i++) count_fpu_push();
    EXPECT_EQ(0, error_number);
    count_fpu_push();
    EXPECT_EQ(ERROR_OUT_OF_FPU_REGISTERS, error_number);
}

TEST_F(EmitterTest, AddConstantForms) {
    emit_add_constant(0, REGISTER_R15);
    emit_add_constant(1, REGISTER_R15);
    emit_add_constant(-1, REGISTER_R15);
    emit_add_constant(7, REGISTER_R15);
    emit_add_constant(2147483648LL, REGISTER_R15);
    // rax as the top register takes rcx as its scratch.
    emit_add_constant(2147483648LL, REGISTER_RAX);
    EXPECT_LINES(" INC r15\n DEC r15\n ADD r15,7\n MOV rax,2147483648\n ADD r15,rax\n"
                 " MOV rcx,2147483648\n ADD rax,rcx\n");
}

TEST_F(EmitterTest, AddSubtractOperands) {
    set_variable("qword [v_q]", 8);
    emit_add();
    set_variable("word [v_w]", 2);
    emit_add();
    set_variable("dword [v_l]", 4);
    emit_integer_sub();
    set_operand_register_text("r15");
    emit_add();  // the operand is the top register itself
    EXPECT_LINES(" ADD r15,qword [v_q]\n MOVSX rcx,word [v_w]\n ADD r15,rcx\n MOVSXD rcx,dword [v_l]\n SUB r15,rcx\n");
}

TEST_F(EmitterTest, MultiplyForms) {
    emit_integer_multiply_by_constant(2, REGISTER_R15);
    emit_integer_multiply_by_constant(8, REGISTER_R15);
    emit_integer_multiply_by_constant(6, REGISTER_R15);
    emit_integer_multiply_by_constant(2147483648LL * 3, REGISTER_R15);
    emit_integer_multiply_by_constant(3000000000LL, REGISTER_RAX);
    set_variable("word [v_w]", 2);
    emit_multiply();
    set_variable("qword [v_q]", 8);
    emit_multiply();
    EXPECT_LINES(" ADD r15,r15\n SAL r15,3\n IMUL r15,6\n MOV rax,6442450944\n IMUL r15,rax\n"
                 " MOV rcx,3000000000\n IMUL rax,rcx\n MOVSX rdx,word [v_w]\n IMUL r15,rdx\n IMUL r15,qword [v_q]\n");
}

TEST_F(EmitterTest, DivideForms) {
    set_constant(7);
    emit_divide();
    set_variable("dword [v_l]", 4);
    emit_divide();
    EXPECT_EQ(0, emitter_stack.push_depth);
    EXPECT_LINES(" MOV rax,r15\n MOV rcx,7\n CQO\n IDIV rcx\n MOV r15,rax\n"
                 " MOVSXD rax,dword [v_l]\n PUSH rax\n MOV rax,r15\n POP rcx\n CQO\n IDIV rcx\n MOV r15,rax\n");
}

TEST_F(EmitterTest, DivideWithDebuggerChecks) {
    debugger_code = 1;
    set_constant(3);
    emit_divide();
    emit_divide_constant_by_register(100, REGISTER_R14);
    emit_modulo_constant_by_register(0, REGISTER_R14);
    EXPECT_LINES(" MOV rax,r15\n MOV rcx,3\n PUSH rcx\n CALL _DBG_DIV\n CQO\n IDIV rcx\n MOV r15,rax\n"
                 " PUSH r14\n CALL _DBG_DIV\n MOV rax,100\n CQO\n IDIV r14\n MOV r14, rax\n"
                 " PUSH r14\n CALL _DBG_MOD\n XOR rax,rax\n CQO\n IDIV r14\n MOV r14, rdx\n");
}

TEST_F(EmitterTest, ConstantDividedByRax) {
    emit_divide_constant_by_register(10, REGISTER_RAX);
    EXPECT_LINES(" MOV rcx,rax\n MOV rax,10\n CQO\n IDIV rcx\n MOV rax, rax\n");
}

TEST_F(EmitterTest, ModuloForms) {
    set_constant(3);
    emit_modulo();
    set_variable("qword [v_q]", 8);
    emit_modulo();
    register_stack.top = REGISTER_R14;
    set_operand_register_text("rax");
    emit_modulo();
    EXPECT_LINES(" MOV rax,r15\n MOV rcx,3\n CQO\n IDIV rcx\n MOV r15,rdx\n"
                 " MOV rax,r15\n CQO\n IDIV qword [v_q]\n MOV r15,rdx\n"
                 " XCHG rax,r14\n CQO\n IDIV r14\n MOV r14,rdx\n");
}

TEST_F(EmitterTest, ShiftForms) {
    set_constant(0);
    emit_shift_left();
    set_constant(3);
    emit_shift_left();
    set_constant(63);
    emit_shift_right();
    set_variable("byte [v_b]", 1);
    emit_shift_right();
    EXPECT_LINES(" SAL r15,3\n SAR r15,63\n MOVSX rcx,byte [v_b]\n SAR r15,cl\n");
}

TEST_F(EmitterTest, BitwiseForms) {
    set_constant(255);
    emit_and();
    set_constant(0x100000000LL);
    emit_or();
    register_stack.top = REGISTER_RAX;
    set_constant(0x100000000LL);
    emit_xor();
    set_variable("word [v_w]", 2);
    emit_and();
    register_stack.top = REGISTER_R15;
    set_variable("qword [v_q]", 8);
    emit_xor();
    EXPECT_LINES(" AND r15,255\n MOV rax,4294967296\n OR r15,rax\n MOV rcx,4294967296\n XOR rax,rcx\n"
                 " MOVSX rcx,word [v_w]\n AND rax,rcx\n XOR r15,qword [v_q]\n");
}

TEST_F(EmitterTest, AddConstantToVariable) {
    emit_add_constant_to_variable(1, "qword [v_i]", 8);
    emit_add_constant_to_variable(-1, "dword [v_l]", 4);
    emit_add_constant_to_variable(10, "qword [v_i]", 8);
    emit_add_constant_to_variable(5000000000LL, "qword [v_i]", 8);
    emit_add_constant_to_variable(5000000000LL, "word [v_w]", 2);
    EXPECT_LINES(" INC qword [v_i]\n DEC dword [v_l]\n ADD qword [v_i],10\n MOV rax,5000000000\n ADD qword [v_i],rax\n"
                 " MOV rax,5000000000\n ADD word [v_w],ax\n");
}

TEST_F(EmitterTest, SubRsp) {
    emit_sub_rsp(0);
    emit_sub_rsp(1);
    emit_sub_rsp(40);
    emit_sub_rsp(0x100000000LL);
    EXPECT_LINES(" DEC rsp\n SUB rsp,40\n MOV rax,4294967296\n SUB rsp,rax\n");
}

TEST_F(EmitterTest, PushForms) {
    emit_push_immediate(5);
    emit_push_immediate(3000000000LL);
    emit_push_register(REGISTER_R15);
    emit_pop_register(REGISTER_RCX);
    emit_push_symbol_address("v_x");
    EXPECT_EQ(24, emitter_stack.push_depth);
    set_variable("qword [v_q]", 8);
    emit_push_operand(MODE_INTEGER);
    set_variable("byte [v_b]", 1, OP_UNSIGNED);
    emit_push_operand(MODE_INTEGER);
    EXPECT_EQ(40, emitter_stack.push_depth);
    EXPECT_LINES(" PUSH qword 5\n MOV rax,3000000000\n PUSH rax\n PUSH r15\n POP rcx\n MOV rax,v_x\n PUSH rax\n"
                 " PUSH qword [v_q]\n MOVZX rax,byte [v_b]\n PUSH rax\n");
}

TEST_F(EmitterTest, PushOperandAsFloat) {
    set_float_constant(2.5);
    emit_push_operand(MODE_DOUBLE);
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_push_operand(MODE_DOUBLE);
    set_variable("qword [v_d]", 8, OP_FLOAT | OP_DOUBLE);
    emit_push_operand(MODE_DOUBLE);
    set_variable("dword [v_l]", 4);
    emit_push_operand(MODE_DOUBLE);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_LINES(" PUSH qword [D1]\n FLD dword [v_f]\n SUB rsp,8\n FSTP qword [rsp]\n PUSH qword [v_d]\n"
                 " MOVSXD rax,dword [v_l]\n PUSH rax\n FILD qword [rsp]\n FSTP qword [rsp]\n");
}

TEST_F(EmitterTest, FpuOperationForms) {
    expression_mode = MODE_FLOAT;
    emitter_stack.fpu_depth = 1;
    set_float_constant(0.5, false);
    emit_fpu_operation(" FADD ", " FIADD ", " FADDP ");
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_fpu_operation(" FMUL ", " FIMUL ", " FMULP ");
    set_variable("dword [v_l]", 4);
    emit_fpu_operation(" FSUB ", " FISUB ", " FSUBP ");
    set_variable("qword [v_q]", 8);
    emit_fpu_operation(" FDIV ", " FIDIV ", " FDIVP ");
    set_variable("byte [v_b]", 1);
    emit_fpu_operation(" FADD ", " FIADD ", " FADDP ");
    set_constant(3);
    emit_fpu_operation(" FADD ", " FIADD ", " FADDP ");
    set_constant(5000000000LL);
    emit_fpu_operation(" FADD ", " FIADD ", " FADDP ");
    set_operand_register_text("r14");
    current_operand.flags = 0;
    emit_fpu_operation(" FMUL ", " FIMUL ", " FMULP ");
    EXPECT_EQ(1, emitter_stack.fpu_depth);
    EXPECT_LINES(" FADD dword [F1]\n FMUL dword [v_f]\n FISUB dword [v_l]\n FILD qword [v_q]\n FDIVP st1,st0\n"
                 " MOVSX eax,byte [v_b]\n MOV dword [rsp-4], eax\n FIADD dword [rsp-4]\n"
                 " MOV qword [rsp-8],3\n FILD qword [rsp-8]\n FADDP st1,st0\n"
                 " MOV rax, 5000000000\n MOV [rsp-8],rax\n FILD qword [rsp-8]\n FADDP st1,st0\n"
                 " MOV [rsp-8],r14\n FILD qword [rsp-8]\n FMULP st1,st0\n");
}

TEST_F(EmitterTest, SaveAndRestoreX87Stack) {
    emitter_stack.fpu_depth = 3;
    EXPECT_EQ(3, emit_save_fpu_stack());
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    emit_restore_fpu_stack(3, false);
    emit_restore_fpu_stack(1, true);
    emit_restore_fpu_stack(2, true);
    EXPECT_EQ(6, emitter_stack.fpu_depth);
    EXPECT_LINES(" SUB rsp,24\n FSTP qword [rsp+0]\n FSTP qword [rsp+8]\n FSTP qword [rsp+16]\n"
                 " FLD qword [rsp+16]\n FLD qword [rsp+8]\n FLD qword [rsp+0]\n ADD rsp,24\n"
                 " FLD qword [rsp+0]\n FXCH st1\n ADD rsp,8\n"
                 " FLD qword [rsp+0]\n FLD qword [rsp+8]\n FXCH st2\n ADD rsp,16\n");
}

TEST_F(EmitterTest, IntegerCompares) {
    set_constant(0);
    emit_compare_constant(REGISTER_R15, COMPARE_EQUAL);
    set_constant(10);
    emit_compare_constant(REGISTER_R15, COMPARE_LESS);
    set_constant(5000000000LL);
    emit_compare(REGISTER_R15, COMPARE_GREATER);
    expression_mode |= MODE_DWORD_LOADED;
    emit_compare(REGISTER_R15, COMPARE_GREATER);
    emit_compare(REGISTER_RAX, COMPARE_GREATER);
    expression_mode = 0;
    set_variable("word [v_w]", 2);
    emit_compare(REGISTER_R15, COMPARE_NOT_EQUAL);
    set_variable("qword [v_q]", 8);
    emit_compare(REGISTER_R14, COMPARE_NOT_EQUAL);
    set_variable("dword [v_l]", 4);
    emit_compare(REGISTER_RAX, COMPARE_NOT_EQUAL);
    set_operand_register_text("r15");
    emit_compare_zero(REGISTER_R15);
    set_variable("dword [v_l]", 4);
    emit_compare_zero(REGISTER_R15);
    // A loaded long is compared in 64 bits all the same.
    EXPECT_LINES(" AND r15,r15\n CMP r15,10\n MOV rax,5000000000\n CMP r15,rax\n MOV rax,5000000000\n CMP r15,rax\n"
                 " MOV rcx,5000000000\n CMP rax,rcx\n MOVSX rax,word [v_w]\n CMP r15,rax\n CMP r14,qword [v_q]\n"
                 " MOVSXD rcx,dword [v_l]\n CMP rax,rcx\n AND r15,r15\n CMP dword [v_l],0\n");
}

TEST_F(EmitterTest, FloatCompareAgainstConstant) {
    expression_mode = MODE_DOUBLE;
    emitter_stack.fpu_depth = 1;
    set_float_constant(1.5);
    emit_compare_constant(REGISTER_R15, COMPARE_LESS);
    EXPECT_EQ(0, jump_sense_inverted);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_LINES(" FCOMP qword [D1]\n FNSTSW ax\n TEST ah,1h\n");
}

TEST_F(EmitterTest, FloatCompareBothOnStackInvertsSense) {
    expression_mode = MODE_FLOAT;
    emitter_stack.fpu_depth = 1;
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_compare(REGISTER_R15, COMPARE_LESS);
    EXPECT_EQ(1, jump_sense_inverted);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    clear_output();
    emitter_stack.fpu_depth = 1;
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_compare(REGISTER_R15, COMPARE_EQUAL);
    EXPECT_EQ(0, jump_sense_inverted);
    EXPECT_LINES(" FLD dword [v_f]\n FCOMPP\n FNSTSW ax\n TEST ah,40h\n");
}

TEST_F(EmitterTest, FloatCompareZero) {
    expression_mode = MODE_FLOAT;
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_compare_zero(REGISTER_R15);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_LINES(" FLD dword [v_f]\n FLDZ\n FCOMPP\n FNSTSW ax\n TEST ah,40h\n");
}

// A Select, a Case or a For test gives the arithmetic it compares in; the
// expression's own stays as it was.
TEST_F(EmitterTest, GivenModeDecidesLoadsAndCompares) {
    expression_mode = MODE_INTEGER;
    set_float_constant(1.5);
    emit_load_operand_in_mode(REGISTER_RAX, MODE_DOUBLE);
    set_variable("qword [v_d]", 8, OP_FLOAT | OP_DOUBLE);
    emit_compare_in_mode(REGISTER_R15, COMPARE_EQUAL, MODE_DOUBLE);
    set_variable("dword [v_f]", 4, OP_FLOAT);
    emit_compare_zero_in_mode(REGISTER_R15, MODE_FLOAT);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_EQ((uint32_t)MODE_INTEGER, expression_mode);
    EXPECT_LINES(" FLD qword [D1]\n FLD qword [v_d]\n FCOMPP\n FNSTSW ax\n TEST ah,40h\n"
                 " FLD dword [v_f]\n FLDZ\n FCOMPP\n FNSTSW ax\n TEST ah,40h\n");
}

AssignTarget target(const char* text, int size, uint32_t flags = 0, bool in_procedure = false) {
    return AssignTarget{text, size, flags, 0, in_procedure};
}

TEST_F(EmitterTest, AssignConstantsReducedToWidth) {
    const struct {
        int64_t value;
        int size;
        const char* text;
    } cases[] = {
        {300, 1, " MOV byte [v_b],44\n"},       {-300, 1, " MOV byte [v_b],-44\n"},
        {255, 1, " MOV byte [v_b],255\n"},      {-128, 1, " MOV byte [v_b],-128\n"},
        {65536, 2, " MOV word [v_w],0\n"},      {4294967296LL, 4, " MOV dword [v_l],0\n"},
        {-1, 4, " MOV dword [v_l],-1\n"},       {4294967295LL, 4, " MOV rax,4294967295\n MOV dword [v_l],eax\n"},
        {5, 8, " MOV qword [v_q],5\n"},         {1LL << 40, 8, " MOV rax,1099511627776\n MOV qword [v_q],rax\n"},
    };
    for (const auto& c : cases) {
        clear_output();
        set_constant(c.value);
        const char* operand = c.size == 1 ? "byte [v_b]" : c.size == 2 ? "word [v_w]" : c.size == 4 ? "dword [v_l]" : "qword [v_q]";
        AssignTarget t = target(operand, c.size);
        emit_assign_result(&t, false);
        EXPECT_LINES(c.text);
    }
}

TEST_F(EmitterTest, AssignIntegerConstantToFloatConverts) {
    set_constant(5);
    AssignTarget t = target("dword [v_f]", 4, OP_FLOAT);
    emit_assign_result(&t, false);
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_LINES(" FLD qword [D1]\n FSTP dword [v_f]\n");
}

TEST_F(EmitterTest, AssignX87ValueByTargetSize) {
    const struct {
        const char* operand;
        int size;
        uint32_t flags;
        const char* text;
    } cases[] = {
        {"qword [v_d]", 8, OP_FLOAT | OP_DOUBLE, " FSTP qword [v_d]\n"},
        {"byte [v_b]", 1, 0, " FISTP dword [rsp-4]\n MOV eax,[rsp-4]\n MOV byte [v_b],al\n"},
        {"word [v_c]", 2, OP_UNSIGNED, " FISTP dword [rsp-4]\n MOV eax,[rsp-4]\n MOV word [v_c],ax\n"},
        {"word [v_w]", 2, 0, " FISTP word [v_w]\n"},
        {"dword [v_l]", 4, 0, " FISTP dword [v_l]\n"},
        {"qword [v_q]", 8, 0, " FISTP qword [rsp-8]\n MOV rax,qword [rsp-8]\n MOV qword [v_q],rax\n"},
    };
    for (const auto& c : cases) {
        clear_output();
        emitter_stack.fpu_depth = 1;
        strcpy(current_operand.text, "st0");
        current_operand.kind = OPERAND_REGISTER;
        current_operand.flags = OP_FLOAT;
        AssignTarget t = target(c.operand, c.size, c.flags);
        emit_assign_result(&t, false);
        EXPECT_EQ(0, emitter_stack.fpu_depth);
        EXPECT_LINES(c.text);
    }
}

TEST_F(EmitterTest, AssignRegisterAndStack) {
    set_operand_register_text("r15");
    AssignTarget w = target("word [v_w]", 2);
    emit_assign_result(&w, false);
    AssignTarget qt = target("qword [v_q]", 8);
    set_operand_register_text("r15");
    current_operand.size = 4;
    emit_assign_result(&qt, false);
    emitter_stack.push_depth = 16;
    emit_assign_result(&qt, true);
    AssignTarget local = target("qword [rsp+48]", 8, 0, true);
    emit_assign_result(&local, true);
    EXPECT_EQ(0, emitter_stack.push_depth);
    EXPECT_LINES(" MOV word [v_w],r15w\n MOVSXD rax,r15d\n MOV qword [v_q],rax\n POP qword [v_q]\n"
                 " POP rax\n MOV qword [rsp+48],rax\n");
    // A value that is neither constant, register nor x87 has no store form.
    clear_output();
    set_variable("qword [v_q]", 8);
    emit_assign_result(&qt, false);
    EXPECT_EQ(" Compiler Error - Unsupported case.\n", output());
}

TEST_F(EmitterTest, MemoryOperandTexts) {
    EXPECT_STREQ("qword [rsp+16]", format_memory_operand(8, 16, "rsp"));
    EXPECT_STREQ("word [rbx]", format_memory_operand(2, 0, "rbx"));
    EXPECT_STREQ("dword [rbp]", format_rbp_operand(4, "rbp"));
    EXPECT_STREQ("qword [rbp+24]", format_rbp_operand(8, "24"));
}

TEST_F(EmitterTest, FloatPoolsShareEqualValues) {
    EXPECT_STREQ("F1", intern_float_constant(1.0f));
    EXPECT_STREQ("F1", intern_float_constant(1.0f));
    EXPECT_STREQ("D1", intern_double_constant(1.0));
    EXPECT_STREQ("D2", intern_double_constant(-0.5));
    EXPECT_STREQ("D3", intern_double_constant(0.0));
    EXPECT_STREQ("D3", intern_double_constant(-0.0));
    EXPECT_STREQ("D4", intern_double_constant(NAN));
    EXPECT_STREQ("D5", intern_double_constant(NAN));
    no_output_depth = 1;
    EXPECT_STREQ("D5", intern_double_constant(7.0));
    no_output_depth = 0;
    EXPECT_EQ(5, double_pool_count());
    emit_float_pools();
    std::string text = output();
    EXPECT_EQ(0u, text.find("zd_align 8\nF1: dd 1065353216\nD1: dd 0,1072693248\nD2: dd 0,-1075838976\n"));
    // The alignment macro lives in the program head; declare it for fasm.
    EXPECT_EQ("", assemble_fragment("macro zd_align n { align n }\n" + text));
}

}  // namespace

namespace {

// The x64 side of the expression seam: one operator at a time, the left
// value in r15 (or on the x87 stack), the right one the current operand.
class ExpressionSeamTest : public EmitterTest {};

TEST_F(ExpressionSeamTest, LeftConstantOperators) {
    set_variable("qword [v_q]", 8);
    x64_apply_operator_left_constant('-', 10, 10.0);
    x64_add_pending_constant(10, 10.0);
    set_variable("qword [v_q]", 8);
    x64_apply_operator_left_constant('/', 100, 100.0);
    set_variable("qword [v_q]", 8);
    x64_apply_operator_left_constant(10, 1, 1.0);
    set_variable("qword [v_q]", 8);
    x64_apply_operator_left_constant('*', 6, 6.0);
    set_variable("qword [v_q]", 8);
    x64_apply_operator_left_constant(60, 5, 5.0);  // 5 < q is q > 5
    EXPECT_LINES(" MOV r15,qword [v_q]\n NEG r15\n ADD r15,10\n"
                 " MOV r15,qword [v_q]\n MOV rax,100\n CQO\n IDIV r15\n MOV r15, rax\n"
                 " MOV rcx,qword [v_q]\n MOV r15,1\n SAL r15,cl\n"
                 " MOV r15,qword [v_q]\n IMUL r15,6\n"
                 " MOV r15,qword [v_q]\n CMP r15,5\n");
}

TEST_F(ExpressionSeamTest, FloatLeftConstantDivideAndSubtract) {
    expression_mode = MODE_DOUBLE;
    set_variable("qword [v_d]", 8, OP_FLOAT | OP_DOUBLE);
    x64_apply_operator_left_constant('/', 1, 1.0);
    x64_discard_float_result();
    set_variable("qword [v_d]", 8, OP_FLOAT | OP_DOUBLE);
    x64_apply_operator_left_constant('-', 2, 2.0);
    x64_add_pending_constant(2, 2.0);
    EXPECT_EQ(1, emitter_stack.fpu_depth);
    EXPECT_LINES(" FLD qword [v_d]\n FDIVR qword [D1]\n FSTP st0\n FLD qword [v_d]\n FCHS\n FADD qword [D2]\n");
}

TEST_F(ExpressionSeamTest, EnterAndLeaveFloatMode) {
    set_variable("qword [v_q]", 8);
    x64_load_left_operand();
    set_variable("qword [v_d]", 8, OP_FLOAT | OP_DOUBLE);
    x64_enter_float_mode(1);
    EXPECT_EQ(MODE_DOUBLE, expression_mode & MODE_DOUBLE);
    x64_apply_operator('*');
    x64_round_float_result_to_integer();
    EXPECT_EQ(0, emitter_stack.fpu_depth);
    EXPECT_FALSE(is_float_mode(expression_mode));
    EXPECT_LINES(" MOV r15,qword [v_q]\n MOV [rsp-8],r15\n FILD qword [rsp-8]\n FMUL qword [v_d]\n"
                 " FISTP qword [rsp-8]\n MOV r15,qword [rsp-8]\n");
}

TEST_F(ExpressionSeamTest, NegateAndComplement) {
    set_variable("dword [v_l]", 4);
    x64_negate_operand();
    x64_complement_operand();
    EXPECT_LINES(" MOVSXD r15,dword [v_l]\n NEG r15\n NOT r15\n");
}

}  // namespace

namespace {

TEST_F(EmitterTest, QuadStores) {
    emit_store_quad_to_variable("qword [v_q]", 5);
    emit_store_quad_to_variable("qword [v_q]", -1);
    // Above the signed 32-bit range a single MOV does not assemble.
    emit_store_quad_to_variable("qword [rsp+8]", 3000000000LL);
    emit_store_int_to_variable("dword [v_l]", -7);
    EXPECT_LINES(" MOV qword [v_q],5\n MOV dword [v_q+4],-1\n MOV dword [v_q],-1\n"
                 " MOV dword [rsp+8+4],0\n MOV dword [rsp+8],-1294967296\n MOV dword [v_l],-7\n");
}

TEST_F(EmitterTest, StructureCopyFramedByDepth) {
    emit_copy_structure("[v_p]", "s_point", 16);
    emitter_stack.push_depth = 8;
    emit_copy_structure("[rsp+48]", nullptr, 8);
    EXPECT_LINES(" LEA rcx,[v_p]\n MOV r9,rax\n MOV r8,s_point\n MOV rdx,16\n CALL SYS_CopyStructure\n"
                 " LEA rcx,[rsp+48]\n MOV r9,rax\n XOR r8,r8\n MOV rdx,8\n SUB rsp,40\n CALL SYS_CopyStructure\n ADD rsp,40\n");
}

TEST_F(EmitterTest, FreeStructureStringsOfDataSymbolAndLocal) {
    emit_free_structure_strings("s_rec", "qword v_x");
    EXPECT_EQ(0, emitter_stack.push_depth);
    emitter_stack.push_depth = 8;
    emit_free_structure_strings("s_rec", "qword [rsp+48]");
    EXPECT_LINES(" MOV rdx,s_rec\n LEA rcx,[v_x]\n PUSH rax\n SUB rsp,40\n CALL SYS_FreeStructureStrings\n ADD rsp,40\n POP rax\n"
                 " MOV rdx,s_rec\n LEA rcx,[rsp+48]\n PUSH rax\n SUB rsp,32\n CALL SYS_FreeStructureStrings\n ADD rsp,32\n POP rax\n");
}

TEST_F(EmitterTest, FreeStringAndSwap) {
    emit_free_string("qword [v_s]");
    set_variable("dword [rsp+16]", 4);
    emitter_stack.push_depth = 8;
    emit_swap_values(nullptr, 4);
    set_variable("qword [v_a]", 8);
    emit_swap_values("qword [v_b]", 8);
    EXPECT_LINES(" MOV rcx,qword [v_s]\n CALL SYS_FreeString\n POP rcx\n MOV eax,dword [rsp+16+-8]\n MOV edx,[rcx]\n"
                 " MOV dword [rsp+16+-8],edx\n MOV [rcx],eax\n MOV rax,qword [v_a]\n MOV rdx,qword [v_b]\n"
                 " MOV qword [v_a],rdx\n MOV qword [v_b],rax\n");
}

TEST_F(EmitterTest, HelperFrame) {
    emit_helper_prologue();
    emit_helper_epilogue();
    EXPECT_LINES(" PUSH rbp\n PUSH rcx\n PUSH rcx\n SUB rsp,32\n ADD rsp,48\n POP rbp\n RET\n");
}

}  // namespace
