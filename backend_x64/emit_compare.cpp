#include "backend_x64/emit_compare.h"

#include <cstdio>
#include <cstring>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

static const char* q(int r) { return register_name(8, r); }

struct FpuTest {
    int op;
    const char* both_mask;
    bool both_sense;
    const char* memory_mask;
    bool memory_sense;
};

static const FpuTest fpu_tests[] = {
    {COMPARE_NOT_EQUAL, "40h", false, "40h", true},
    {COMPARE_LESS_EQUAL, "1h", false, "41h", false},
    {COMPARE_GREATER_EQUAL, "41h", true, "1h", true},
    {COMPARE_LESS, "41h", false, "1h", false},
    {COMPARE_EQUAL, "40h", true, "40h", false},
    {COMPARE_GREATER, "1h", true, "41h", true},
};

static const FpuTest* find_fpu_test(int op) {
    for (const FpuTest& test : fpu_tests)
        if (test.op == op) return &test;
    return &fpu_tests[4];
}

void emit_fpu_compare_test(int op) {
    const FpuTest* test = find_fpu_test(op);
    emit_linef(" TEST ah,%s", test->both_mask);
    if (test->both_sense) jump_sense_inverted = 1;
}

static void emit_fpu_compare_memory_test(int op) {
    const FpuTest* test = find_fpu_test(op);
    emit_linef(" TEST ah,%s", test->memory_mask);
    if (test->memory_sense) jump_sense_inverted = 1;
}

static bool operand_is_x87_value() {
    return current_operand.kind == OPERAND_REGISTER && (current_operand.flags & OP_FLOAT);
}

static void emit_fpu_compare(int op, uint32_t mode) {
    compare_was_x87 = 1;
    if (current_operand.kind == OPERAND_CONSTANT) {
        double value = (current_operand.flags & OP_FLOAT) ? current_operand.constant_float
                                                          : (double)current_operand.constant;
        if (is_double_mode(mode)) emit_linef(" FCOMP qword [%s]", intern_double_constant(value));
        else emit_linef(" FCOMP dword [%s]", intern_float_constant((float)value));
        emit_line(" FNSTSW ax");
        count_fpu_pop(1);
        emit_fpu_compare_memory_test(op);
        return;
    }
    emit_load_operand_in_mode(REGISTER_RAX, mode);
    emit_line(" FCOMPP");
    emit_line(" FNSTSW ax");
    emit_fpu_compare_test(op);
    count_fpu_pop(2);
    jump_sense_inverted = !jump_sense_inverted;
}

static void emit_integer_compare_constant(int left, int64_t n) {
    if (n == 0) {
        emit_linef(" AND %s,%s", q(left), q(left));
    } else if (!fits_int32(n)) {
        int s = left == REGISTER_RAX ? REGISTER_RCX : REGISTER_RAX;
        // Compared in 64 bits: the left value is widened, so a long is
        // below 4294967296 and never equals 4294967295.
        emit_linef(" MOV %s,%lld", q(s), (long long)n);
        emit_linef(" CMP %s,%s", q(left), q(s));
    } else {
        emit_linef(" CMP %s,%lld", q(left), (long long)n);
    }
}

void emit_compare_constant(int left, int op) {
    jump_sense_inverted = 0;
    compare_was_x87 = 0;
    if (is_float_mode(expression_mode)) {
        emit_fpu_compare(op, expression_mode);
        return;
    }
    emit_integer_compare_constant(left, current_operand.constant);
}

void emit_compare(int left, int op) { emit_compare_in_mode(left, op, expression_mode); }

void emit_compare_in_mode(int left, int op, uint32_t mode) {
    jump_sense_inverted = 0;
    compare_was_x87 = 0;
    if (is_float_mode(mode)) {
        emit_fpu_compare(op, mode);
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        emit_integer_compare_constant(left, current_operand.constant);
        return;
    }
    bool narrow = current_operand.kind != OPERAND_REGISTER && current_operand.size < 8;
    if (narrow || (current_operand.flags & OP_FLOAT) || current_operand.kind == OPERAND_STRING) {
        int s = left == REGISTER_RAX ? REGISTER_RCX : REGISTER_RAX;
        emit_load_operand_to_register(s);
    }
    emit_linef(" CMP %s,%s", q(left), current_operand.text);
}

void emit_compare_zero(int left) { emit_compare_zero_in_mode(left, expression_mode); }

void emit_compare_zero_in_mode(int left, uint32_t mode) {
    jump_sense_inverted = 0;
    compare_was_x87 = 0;
    if (is_float_mode(mode) || operand_is_x87_value()) {
        if (!operand_is_x87_value()) {
            emit_linef(" FLD %s", current_operand.text);
            count_fpu_push();
        }
        emit_line(" FLDZ");
        count_fpu_push();
        emit_line(" FCOMPP");
        count_fpu_pop(2);
        emit_line(" FNSTSW ax");
        emit_line(" TEST ah,40h");
        return;
    }
    if (current_operand.kind == OPERAND_REGISTER) emit_linef(" AND %s,%s", current_operand.text, current_operand.text);
    else emit_linef(" CMP %s,0", current_operand.text);
}

// ---------------------------------------------------------------------------
// Assignment

void emit_pop_to_variable(const char* operand, int size) {
    emit_line(" POP rax");
    emitter_stack.push_depth -= 8;
    emit_linef(" MOV %s,%s", operand, register_name(size, REGISTER_RAX));
}

static int64_t reduce_to_width(int64_t v, int size, bool float_target) {
    switch (size) {
    case 1:
        return (v < -128 || v > 255) ? v % 256 : v;
    case 2:
        return (v < -32768 || v > 65535) ? v % 65536 : v;
    case 4:
        if (float_target) return v;
        return (v < -2147483648LL || v > 4294967295LL) ? v % 4294967296LL : v;
    default:
        return v;
    }
}

void emit_assign_result(const AssignTarget* target, bool from_stack) {
    bool float_target = (target->flags & OP_FLOAT) != 0;
    if (from_stack) {
        if (target->size == 8 && !target->in_procedure) {
            emit_linef(" POP %s", target->text);
            emitter_stack.push_depth -= 8;
            set_operand_register_text("rax");
        } else {
            emit_pop_to_variable(target->text, target->size);
        }
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (float_target) {
            // Every constant stored into a float takes the float form, so an
            // integer constant is converted rather than copied as bits.
            double value = (current_operand.flags & OP_FLOAT) ? current_operand.constant_float
                                                              : (double)current_operand.constant;
            emit_linef(" FLD qword [%s]", intern_double_constant(value));
            count_fpu_push();
            emit_linef(" FSTP %s", target->text);
            count_fpu_pop(1);
            return;
        }
        int64_t v = reduce_to_width(current_operand.constant, target->size, false);
        if (!fits_int32(v)) {
            emit_linef(" MOV rax,%lld", (long long)v);
            emit_linef(" MOV %s,%s", target->text, register_name(target->size, REGISTER_RAX));
        } else {
            emit_linef(" MOV %s,%lld", target->text, (long long)v);
        }
        return;
    }
    if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
        if (target->flags & OP_STRING) emit_assign_string(target);
        else emit_line(" Compiler Error - Unsupported case.");
        return;
    }
    if (current_operand.kind != OPERAND_REGISTER) {
        emit_line(" Compiler Error - Unsupported case.");
        return;
    }
    if (current_operand.flags & OP_FLOAT) {
        count_fpu_pop(1);
        if (float_target) {
            emit_linef(" FSTP %s", target->text);
        } else if (target->size == 1 || (target->size == 2 && (target->flags & OP_UNSIGNED))) {
            emit_line(" FISTP dword [rsp-4]");
            emit_line(" MOV eax,[rsp-4]");
            emit_linef(" MOV %s,%s", target->text, register_name(target->size, REGISTER_RAX));
        } else if (target->size == 2 || target->size == 4) {
            emit_linef(" FISTP %s", target->text);
        } else if (current_operand.flags & OP_FITS_32) {
            emit_line(" FISTP dword [rsp-4]");
            emit_line(" MOVSXD rax,dword [rsp-4]");
            emit_linef(" MOV %s,rax", target->text);
        } else {
            emit_line(" FISTP qword [rsp-8]");
            emit_line(" MOV rax,qword [rsp-8]");
            emit_linef(" MOV %s,rax", target->text);
        }
        return;
    }
    int r = register_index_of(current_operand.text, REGISTER_RAX);
    if (current_operand.size == 4 && target->size > 4) {
        emit_linef(" MOVSXD rax,%s", register_name(4, r));
        emit_linef(" MOV %s,%s", target->text, register_name(target->size, REGISTER_RAX));
    } else {
        emit_linef(" MOV %s,%s", target->text, register_name(target->size, r));
    }
}

const char* format_memory_operand(int size, int64_t offset, const char* base) {
    static char text[256];
    const char* prefix = size == 8 ? "qword " : size_prefix(size);
    if (offset) snprintf(text, sizeof text, "%s[%s+%lld]", prefix, base, (long long)offset);
    else snprintf(text, sizeof text, "%s[%s]", prefix, base);
    return text;
}

const char* format_rbp_operand(int size, const char* text) {
    static char result[256];
    const char* prefix = size == 8 ? "qword " : size_prefix(size);
    if (strcmp(text, "rbp") == 0) snprintf(result, sizeof result, "%s[rbp]", prefix);
    else snprintf(result, sizeof result, "%s[rbp+%s]", prefix, text);
    return result;
}
