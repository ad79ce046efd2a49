#include "backend_x64/emit_arith.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "backend_x64/emit_common.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "backend_x64/emit_float_pools.h"
#include "frontend/number_literals.h"
#include "frontend/operand_state.h"

static const char* q(int r) { return register_name(8, r); }
static int top() { return register_stack.top; }
static const char* t() { return q(register_stack.top); }
// Scratch register for values that do not fit an immediate: rax, or rcx when
// the top evaluation register is rax itself.
static int scratch() { return register_stack.top == REGISTER_RAX ? REGISTER_RCX : REGISTER_RAX; }
static int scratch_for(int r) { return r == REGISTER_RAX ? REGISTER_RCX : REGISTER_RAX; }

static bool operand_is_x87_value() {
    return current_operand.kind == OPERAND_REGISTER && (current_operand.flags & OP_FLOAT);
}
static bool operand_is_register(int r) {
    return current_operand.kind == OPERAND_REGISTER && !(current_operand.flags & OP_FLOAT) &&
           strcmp(current_operand.text, q(r)) == 0;
}
static bool operand_is_constant() { return current_operand.kind == OPERAND_CONSTANT; }
static bool operand_is_float_constant() {
    return operand_is_constant() && (current_operand.flags & OP_FLOAT);
}
// A byte or an unsigned 2-byte value: FILD cannot read it directly.
static bool operand_needs_widening() {
    return current_operand.size == 1 ||
           (current_operand.size < 8 && (current_operand.flags & OP_UNSIGNED));
}

// ---------------------------------------------------------------------------
// Loads and moves

void emit_load_immediate(int64_t n, int r) {
    if (n == 0) emit_linef(" XOR %s,%s", q(r), q(r));
    else emit_linef(" MOV %s,%lld", q(r), (long long)n);
    set_operand_register_text(q(r));
}

void emit_load_static_string(int r, int32_t literal_number, bool null_string) {
    if (null_string) emit_linef(" XOR %s,%s", q(r), q(r));
    else if (dll_symbol_addresses) emit_linef(" LEA %s,[_S%d]", q(r), literal_number);
    else emit_linef(" MOV %s,_S%d", q(r), literal_number);
}

void emit_load_symbol_address(const char* symbol, int r) {
    if (dll_symbol_addresses) emit_linef(" LEA %s,[%s]", q(r), symbol);
    else emit_linef(" MOV %s,%s", q(r), symbol);
    set_operand_register_text(q(r));
}

static const char* without_size_prefix(const char* text) {
    const char* bracket = strchr(text, '[');
    return bracket ? bracket : text;
}

void emit_lea_operand(const char* text, int r) {
    emit_linef(" LEA %s,%s", q(r), without_size_prefix(text));
    set_operand_register_text(q(r));
}

void emit_mov_register_text(const char* text, int r) {
    emit_linef(" MOV %s,%s", q(r), text);
    set_operand_register_text(q(r));
}

void emit_mov_register_register(int source, int destination) {
    emit_linef(" MOV %s,%s", q(destination), q(source));
    set_operand_register_text(q(destination));
}

void emit_store_accumulator(const char* destination, int size) {
    emit_linef(" MOV %s,%s", destination, register_name(size, REGISTER_RAX));
    set_operand_register_text("rax");
}

void emit_load_widened(int r, const char* source, bool is_unsigned) {
    if (is_unsigned) emit_linef(" MOVZX %s,%s", q(r), source);
    else if (source[0] == 'd') emit_linef(" MOVSXD %s,%s", q(r), source);
    else emit_linef(" MOVSX %s,%s", q(r), source);
}

// Widens the current byte or unsigned word operand into eax.
static void emit_widen_operand_to_eax() {
    bool is_unsigned = (current_operand.flags & OP_UNSIGNED) != 0;
    emit_linef(" %s eax,%s", is_unsigned ? "MOVZX" : "MOVSX", current_operand.text);
}

void count_fpu_push() {
    if (no_output_depth) return;
    emitter_stack.fpu_depth++;
    if (emitter_stack.fpu_depth > 7) set_error(ERROR_OUT_OF_FPU_REGISTERS);
}

void count_fpu_pop(int n) {
    if (no_output_depth) return;
    emitter_stack.fpu_depth -= n;
    if (emitter_stack.fpu_depth < 0) emitter_stack.fpu_depth = 0;
}

void emit_register_to_fpu(int r) {
    emit_linef(" MOV [rsp-8],%s", q(r));
    emit_line(" FILD qword [rsp-8]");
    count_fpu_push();
}

static double operand_constant_as_double() {
    if (current_operand.flags & OP_FLOAT) return current_operand.constant_float;
    return (double)current_operand.constant;
}

// The constant operand for an x87 instruction, in the precision of `mode`.
static void emit_fpu_constant_in_mode(const char* mnemonic, uint32_t mode) {
    double value = operand_constant_as_double();
    if (is_double_mode(mode)) {
        emit_linef("%sqword [%s]", mnemonic, intern_double_constant(value));
    } else {
        emit_linef("%sdword [%s]", mnemonic, intern_float_constant((float)value));
    }
}

void emit_fpu_constant_operand(const char* mnemonic) { emit_fpu_constant_in_mode(mnemonic, expression_mode); }

static void set_operand_x87() {
    strcpy(current_operand.text, "st0");
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.flags |= OP_FLOAT;
}

// A value loaded straight into an evaluation register (a Select value, a
// For end value) marks it used, so that a procedure saves it.
static void note_register_written(int r) {
    if (no_output_depth || r <= 0 || r > 3) return;
    if (r < register_stack.lowest_callee_saved) register_stack.lowest_callee_saved = r;
}

void emit_load_operand_to_register(int r) {
    if (operand_is_register(r)) return;
    note_register_written(r);
    if (operand_is_constant()) {
        emit_load_immediate(current_operand.constant, r);
        return;
    }
    if (current_operand.kind == OPERAND_STRING) {
        emit_load_static_string(r, (int32_t)current_operand.constant, current_operand.constant < 0);
    } else if (current_operand.flags & OP_FLOAT) {
        if (!operand_is_x87_value()) {
            emit_linef(" FLD %s", current_operand.text);
            count_fpu_push();
        }
        emit_line(" FISTP qword [rsp-8]");
        count_fpu_pop(1);
        emit_linef(" MOV %s,qword [rsp-8]", q(r));
        current_operand.flags &= ~(OP_FLOAT | OP_DOUBLE);
    } else if (current_operand.size < 8 && current_operand.kind != OPERAND_REGISTER) {
        emit_load_widened(r, current_operand.text, (current_operand.flags & OP_UNSIGNED) != 0);
        if (current_operand.size == 4) expression_mode |= MODE_DWORD_LOADED;
    } else {
        emit_linef(" MOV %s,%s", q(r), current_operand.text);
    }
    set_operand_register_text(q(r));
}

void emit_load_operand(int r) { emit_load_operand_in_mode(r, expression_mode); }

void emit_load_operand_in_mode(int r, uint32_t mode) {
    if (!is_float_mode(mode)) {
        emit_load_operand_to_register(r);
        current_operand.size = 8;
        if (r >= 0 && r <= 3 && !no_output_depth) register_stack.live[r] = 1;
        return;
    }
    if (operand_is_x87_value()) return;
    if (operand_is_constant()) {
        emit_fpu_constant_in_mode(" FLD ", mode);
    } else if (current_operand.kind == OPERAND_STRING) {
        emit_load_static_string(REGISTER_RAX, (int32_t)current_operand.constant, current_operand.constant < 0);
        emit_line(" MOV [rsp-8],rax");
        emit_line(" FILD qword [rsp-8]");
    } else if (current_operand.kind == OPERAND_REGISTER) {
        emit_linef(" MOV qword [rsp-8],%s", current_operand.text);
        emit_line(" FILD qword [rsp-8]");
    } else if (current_operand.flags & OP_FLOAT) {
        emit_linef(" FLD %s", current_operand.text);
    } else if (operand_needs_widening()) {
        emit_widen_operand_to_eax();
        emit_line(" MOV dword [rsp-4],eax");
        emit_line(" FILD dword [rsp-4]");
    } else {
        emit_linef(" FILD %s", current_operand.text);
    }
    count_fpu_push();
    set_operand_x87();
}

// ---------------------------------------------------------------------------
// x87 operations

void emit_fpu_operation(const char* op, const char* int_op, const char* pop_op) {
    if (operand_is_float_constant()) {
        emit_fpu_constant_operand(op);
    } else if (operand_is_constant()) {
        int64_t n = current_operand.constant;
        if (fits_int32(n)) {
            emit_linef(" MOV qword [rsp-8],%lld", (long long)n);
        } else {
            emit_linef(" MOV rax, %lld", (long long)n);
            emit_line(" MOV [rsp-8],rax");
        }
        emit_line(" FILD qword [rsp-8]");
        count_fpu_push();
        emit_linef("%sst1,st0", pop_op);
        count_fpu_pop(1);
    } else if (operand_is_x87_value()) {
        emit_linef("%sst1,st0", pop_op);
        count_fpu_pop(1);
    } else if (current_operand.kind == OPERAND_REGISTER) {
        int r = register_index_of(current_operand.text, REGISTER_RAX);
        emit_register_to_fpu(r);
        emit_linef("%sst1,st0", pop_op);
        count_fpu_pop(1);
    } else if (current_operand.flags & OP_FLOAT) {
        emit_linef("%s%s", op, current_operand.text);
    } else if (operand_needs_widening()) {
        emit_widen_operand_to_eax();
        emit_line(" MOV dword [rsp-4], eax");
        emit_linef("%sdword [rsp-4]", int_op);
    } else if (current_operand.size == 2 || current_operand.size == 4) {
        emit_linef("%s%s", int_op, current_operand.text);
    } else {
        emit_linef(" FILD %s", current_operand.text);
        count_fpu_push();
        emit_linef("%sst1,st0", pop_op);
        count_fpu_pop(1);
    }
    set_operand_x87();
}

void emit_fpu_exchange() { emit_line(" FXCH"); }

void emit_fpu_change_sign() { emit_line(" FCHS"); }

void emit_fpu_discard() {
    emit_line(" FSTP st0");
    count_fpu_pop(1);
}

int emit_save_fpu_stack() {
    int k = emitter_stack.fpu_depth;
    if (k == 0) return 0;
    emit_linef(" SUB rsp,%d", 8 * k);
    emitter_stack.push_depth += 8 * k;
    for (int i = 0; i < k; i++) emit_linef(" FSTP qword [rsp+%d]", 8 * i);
    emitter_stack.fpu_depth = 0;
    return k;
}

void emit_restore_fpu_stack(int k, bool result_on_x87) {
    if (k == 0) return;
    if (!result_on_x87) {
        for (int i = k - 1; i >= 0; i--) emit_linef(" FLD qword [rsp+%d]", 8 * i);
    } else {
        for (int i = k - 2; i >= 0; i--) emit_linef(" FLD qword [rsp+%d]", 8 * i);
        emit_linef(" FLD qword [rsp+%d]", 8 * (k - 1));
        emit_linef(" FXCH st%d", k);
    }
    emit_linef(" ADD rsp,%d", 8 * k);
    emitter_stack.push_depth -= 8 * k;
    if (!no_output_depth) emitter_stack.fpu_depth += k;
}

void emit_fpu_result_to_register(int r) {
    emit_line(" FISTP qword [rsp-8]");
    count_fpu_pop(1);
    emit_linef(" MOV %s,qword [rsp-8]", q(r));
    set_operand_register_text(q(r));
    current_operand.flags = 0;
}

// ---------------------------------------------------------------------------
// Integer arithmetic

int emit_large_immediate(int64_t n) {
    if (fits_int32(n)) return 0;
    emit_linef(" MOV rax,%lld", (long long)n);
    return 1;
}

void emit_add_constant(int64_t n, int r) {
    if (n == 0) return;
    if (n == 1) emit_linef(" INC %s", q(r));
    else if (n == -1) emit_linef(" DEC %s", q(r));
    else if (!fits_int32(n)) {
        int s = scratch_for(r);
        emit_linef(" MOV %s,%lld", q(s), (long long)n);
        emit_linef(" ADD %s,%s", q(r), q(s));
    } else {
        emit_linef(" ADD %s,%lld", q(r), (long long)n);
    }
}

void emit_add_constant_to_operand(int64_t n, int r) {
    emit_add_constant(n, r);
    set_operand_register_text(q(r));
}

void emit_sub_rsp(int64_t n) {
    if (n == 0) return;
    if (n == 1) emit_line(" DEC rsp");
    else if (!fits_int32(n)) {
        emit_linef(" MOV rax,%lld", (long long)n);
        emit_line(" SUB rsp,rax");
    } else {
        emit_linef(" SUB rsp,%lld", (long long)n);
    }
}

void emit_add_constant_to_variable(int64_t n, const char* operand, int size) {
    if (n == -1) emit_linef(" DEC %s", operand);
    else if (n == 1) emit_linef(" INC %s", operand);
    else if (!fits_int32(n)) {
        // No ADD takes a 64-bit immediate: the step goes through rax, at the
        // variable's width so that narrower variables wrap as they would.
        emit_linef(" MOV rax,%lld", (long long)n);
        emit_linef(" ADD %s,%s", operand, register_name(size, REGISTER_RAX));
    } else {
        emit_linef(" ADD %s,%lld", operand, (long long)n);
    }
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

void emit_integer_multiply_by_constant(int64_t n, int r) {
    if (n == 2) {
        emit_linef(" ADD %s,%s", q(r), q(r));
        return;
    }
    if (n > 0 && (n & (n - 1)) == 0) {
        int k = 0;
        while ((int64_t(1) << k) != n) k++;
        emit_linef(" SAL %s,%d", q(r), k);
        return;
    }
    if (fits_int32(n)) {
        emit_linef(" IMUL %s,%lld", q(r), (long long)n);
    } else {
        int s = scratch_for(r);
        emit_linef(" MOV %s,%lld", q(s), (long long)n);
        emit_linef(" IMUL %s,%s", q(r), q(s));
    }
}

static void emit_integer_op(const char* mnemonic) {
    if (operand_is_register(top())) {
        set_operand_register_text(t());
        return;
    }
    if (current_operand.size < 8 && current_operand.kind != OPERAND_REGISTER) {
        emit_load_operand_to_register(REGISTER_RCX);
    } else if (current_operand.flags & OP_FLOAT) {
        emit_load_operand_to_register(REGISTER_RCX);
    }
    emit_linef(" %s %s,%s", mnemonic, t(), current_operand.text);
    set_operand_register_text(t());
}

void emit_add() {
    if (is_float_mode(expression_mode)) {
        emit_fpu_operation(" FADD ", " FIADD ", " FADDP ");
        return;
    }
    if (operand_is_constant()) {
        emit_add_constant_to_operand(current_operand.constant, top());
        return;
    }
    emit_integer_op("ADD");
}

void emit_integer_sub() {
    if (is_float_mode(expression_mode)) {
        emit_fpu_operation(" FSUB ", " FISUB ", " FSUBP ");
        return;
    }
    if (operand_is_constant()) {
        emit_add_constant_to_operand((int64_t)(0 - (uint64_t)current_operand.constant), top());
        return;
    }
    emit_integer_op("SUB");
}

void emit_multiply() {
    if (is_float_mode(expression_mode)) {
        emit_fpu_operation(" FMUL ", " FIMUL ", " FMULP ");
        return;
    }
    if (operand_is_constant()) {
        emit_integer_multiply_by_constant(current_operand.constant, top());
        set_operand_register_text(t());
        return;
    }
    if ((current_operand.size < 8 && current_operand.kind != OPERAND_REGISTER) ||
        (current_operand.flags & OP_FLOAT)) {
        emit_load_operand_to_register(REGISTER_RDX);
    }
    emit_linef(" IMUL %s,%s", t(), current_operand.text);
    set_operand_register_text(t());
}

void emit_divide() {
    if (is_float_mode(expression_mode)) {
        emit_fpu_operation(" FDIV ", " FIDIV ", " FDIVP ");
        return;
    }
    if (operand_is_constant()) {
        emit_linef(" MOV rax,%s", t());
        emit_load_immediate(current_operand.constant, REGISTER_RCX);
    } else {
        emit_push_operand(expression_mode);
        emit_linef(" MOV rax,%s", t());
        emit_line(" POP rcx");
        emitter_stack.push_depth -= 8;
    }
    if (debugger_code) {
        emit_line(" PUSH rcx");
        emit_line(" CALL _DBG_DIV");
    }
    emit_line(" CQO");
    emit_line(" IDIV rcx");
    emit_linef(" MOV %s,rax", t());
    set_operand_register_text(t());
}

// Constant dividend, divisor in r; the quotient (rax) or remainder (rdx)
// goes back into r. A divisor in rax is moved to rcx first, since rax takes
// the dividend.
static void emit_constant_by_register(int64_t n, int r, const char* check, const char* result) {
    int divisor = r;
    if (r == REGISTER_RAX) {
        emit_line(" MOV rcx,rax");
        divisor = REGISTER_RCX;
    }
    if (debugger_code) {
        emit_linef(" PUSH %s", q(divisor));
        emit_linef(" CALL %s", check);
    }
    emit_load_immediate(n, REGISTER_RAX);
    emit_line(" CQO");
    emit_linef(" IDIV %s", q(divisor));
    emit_linef(" MOV %s, %s", q(r), result);
    set_operand_register_text(q(r));
}

void emit_divide_constant_by_register(int64_t n, int r) {
    emit_constant_by_register(n, r, "_DBG_DIV", "rax");
}

void emit_modulo_constant_by_register(int64_t n, int r) {
    emit_constant_by_register(n, r, "_DBG_MOD", "rdx");
}

void emit_modulo() {
    std::string divisor;
    if (operand_is_register(REGISTER_RAX)) {
        emit_linef(" XCHG rax,%s", t());
        divisor = t();
    } else {
        emit_linef(" MOV rax,%s", t());
        if (operand_is_constant()) {
            emit_load_immediate(current_operand.constant, REGISTER_RCX);
        } else if ((current_operand.size < 8 && current_operand.kind != OPERAND_REGISTER) ||
                   (current_operand.flags & OP_FLOAT)) {
            emit_load_operand_to_register(REGISTER_RCX);
        }
        divisor = current_operand.text;
    }
    if (debugger_code) {
        emit_linef(" PUSH %s", divisor.c_str());
        emit_line(" CALL _DBG_MOD");
    }
    emit_line(" CQO");
    emit_linef(" IDIV %s", divisor.c_str());
    emit_linef(" MOV %s,rdx", t());
    set_operand_register_text(t());
}

static void emit_shift(const char* mnemonic) {
    if (operand_is_constant()) {
        // The count lies in 0-63: the expression compiler refuses others.
        int64_t n = current_operand.constant;
        if (n != 0) emit_linef(" %s %s,%lld", mnemonic, t(), (long long)n);
    } else {
        emit_load_operand_to_register(REGISTER_RCX);
        emit_linef(" %s %s,cl", mnemonic, t());
    }
    set_operand_register_text(t());
}

void emit_shift_left() { emit_shift("SAL"); }
void emit_shift_right() { emit_shift("SAR"); }

static void emit_bitwise(const char* mnemonic) {
    if (operand_is_constant()) {
        int64_t n = current_operand.constant;
        if (!fits_int32(n)) {
            int s = scratch();
            emit_linef(" MOV %s,%lld", q(s), (long long)n);
            emit_linef(" %s %s,%s", mnemonic, t(), q(s));
        } else {
            emit_linef(" %s %s,%lld", mnemonic, t(), (long long)n);
        }
        set_operand_register_text(t());
        return;
    }
    if ((current_operand.size < 8 && current_operand.kind != OPERAND_REGISTER) ||
        (current_operand.flags & OP_FLOAT)) {
        emit_load_operand_to_register(scratch());
    }
    emit_linef(" %s %s,%s", mnemonic, t(), current_operand.text);
    set_operand_register_text(t());
}

void emit_and() { emit_bitwise("AND"); }
void emit_or() { emit_bitwise("OR"); }
void emit_xor() { emit_bitwise("XOR"); }
void emit_and_constant() { emit_bitwise("AND"); }
void emit_or_constant() { emit_bitwise("OR"); }
void emit_xor_constant() { emit_bitwise("XOR"); }

void emit_negate_register(int r) {
    emit_linef(" NEG %s", q(r));
    set_operand_register_text(q(r));
}

void emit_not_register(int r) {
    emit_linef(" NOT %s", q(r));
    set_operand_register_text(q(r));
}

// ---------------------------------------------------------------------------
// Stack

void emit_push_register(int r) {
    emit_linef(" PUSH %s", q(r));
    emitter_stack.push_depth += 8;
}

void emit_push_rax() { emit_push_register(REGISTER_RAX); }

void emit_push_symbol_address(const char* symbol) {
    if (dll_symbol_addresses) emit_linef(" LEA rax,[%s]", symbol);
    else emit_linef(" MOV rax,%s", symbol);
    emit_push_rax();
}

void emit_push_immediate(int64_t n) {
    if (fits_int32(n)) {
        emit_linef(" PUSH qword %lld", (long long)n);
    } else {
        emit_linef(" MOV rax,%lld", (long long)n);
        emit_line(" PUSH rax");
    }
    emitter_stack.push_depth += 8;
}

void emit_pop_register(int r) {
    emit_linef(" POP %s", q(r));
    emitter_stack.push_depth -= 8;
}

void emit_pop_to_operand(int r) {
    emit_pop_register(r);
    set_operand_register_text(q(r));
}

void emit_push_operand(uint32_t mode) {
    bool wants_float = is_float_mode(mode);
    bool wants_double = is_double_mode(mode);
    const char* store = wants_double ? " FSTP qword [rsp]" : " FSTP dword [rsp]";
    // Integer values are staged in rax, or rcx when rax is the top register.
    int s = scratch();
    if (current_operand.kind == OPERAND_STRING) {
        emit_load_static_string(s, (int32_t)current_operand.constant, current_operand.constant < 0);
        emit_linef(" PUSH %s", q(s));
    } else if (wants_float) {
        if (operand_is_constant()) {
            double value = operand_constant_as_double();
            if (wants_double) {
                emit_linef(" PUSH qword [%s]", intern_double_constant(value));
            } else {
                float f = (float)value;
                int32_t bits;
                memcpy(&bits, &f, 4);
                emit_linef(" MOV eax,%d", bits);
                emit_line(" PUSH rax");
            }
        } else if (operand_is_x87_value()) {
            emit_line(" SUB rsp,8");
            emit_line(store);
            count_fpu_pop(1);
        } else if (current_operand.flags & OP_FLOAT) {
            bool is_double = (current_operand.flags & OP_DOUBLE) != 0;
            if (is_double == wants_double) {
                if (is_double) {
                    emit_linef(" PUSH %s", current_operand.text);
                } else {
                    emit_linef(" MOV eax,%s", current_operand.text);
                    emit_line(" PUSH rax");
                }
            } else {
                emit_linef(" FLD %s", current_operand.text);
                count_fpu_push();
                emit_line(" SUB rsp,8");
                emit_line(store);
                count_fpu_pop(1);
            }
        } else {
            bool dword = false;
            if (current_operand.kind == OPERAND_REGISTER) {
                emit_linef(" PUSH %s", current_operand.text);
            } else {
                if (current_operand.size < 8) {
                    emit_load_widened(REGISTER_RAX, current_operand.text, (current_operand.flags & OP_UNSIGNED) != 0);
                } else {
                    emit_linef(" MOV rax,%s", current_operand.text);
                }
                emit_line(" PUSH rax");
            }
            emit_line(dword ? " FILD dword [rsp]" : " FILD qword [rsp]");
            count_fpu_push();
            emit_line(store);
            count_fpu_pop(1);
        }
    } else {
        if (operand_is_constant()) {
            int64_t n = current_operand.constant;
            if (fits_int32(n)) {
                emit_linef(" PUSH qword %lld", (long long)n);
            } else {
                emit_linef(" MOV %s,%lld", q(s), (long long)n);
                emit_linef(" PUSH %s", q(s));
            }
        } else if (current_operand.flags & OP_FLOAT) {
            if (!operand_is_x87_value()) {
                emit_linef(" FLD %s", current_operand.text);
                count_fpu_push();
            }
            emit_linef(" PUSH %s", q(s));
            emit_line(" FISTP qword [rsp]");
            count_fpu_pop(1);
        } else if (current_operand.kind == OPERAND_REGISTER) {
            emit_linef(" PUSH %s", current_operand.text);
        } else if (current_operand.size == 8) {
            emit_linef(" PUSH %s", current_operand.text);
        } else {
            emit_load_widened(s, current_operand.text, (current_operand.flags & OP_UNSIGNED) != 0);
            emit_linef(" PUSH %s", q(s));
        }
    }
    emitter_stack.push_depth += 8;
    set_operand_register_text("rsp");
}
