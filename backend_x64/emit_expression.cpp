#include "backend_x64/emit_expression.h"

#include "backend_x64/assembler_names.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_compare.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/token_codes.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/procedures.h"
#include "frontend/literal_strings.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

#include <cstdio>

static int top() { return register_stack.top; }

void x64_load_left_operand() { emit_load_operand(top()); }

int swap_comparison(int token) {
    switch (token) {
    case COMPARE_LESS: return COMPARE_GREATER;
    case COMPARE_GREATER: return COMPARE_LESS;
    case COMPARE_LESS_EQUAL: return COMPARE_GREATER_EQUAL;
    case COMPARE_GREATER_EQUAL: return COMPARE_LESS_EQUAL;
    default: return token;
    }
}

void x64_apply_operator(int token) {
    switch (token) {
    case '+': emit_add(); break;
    case '-': emit_integer_sub(); break;
    case '*': emit_multiply(); break;
    case '/': emit_divide(); break;
    case '%': emit_modulo(); break;
    case TOKEN_SHIFT_LEFT: emit_shift_left(); break;
    case TOKEN_SHIFT_RIGHT: emit_shift_right(); break;
    case '&': emit_and(); break;
    case '|': emit_or(); break;
    case '!': emit_xor(); break;
    default:
        if (!is_comparison_token(token)) internal_error("an operator without an x64 form");
        emit_compare(top(), token);
        break;
    }
}

static void set_constant_operand(int64_t value, double real) {
    bool is_float = is_float_mode(expression_mode);
    if (is_float) set_operand_float_constant(real, is_double_mode(expression_mode));
    else set_operand_integer_constant(value);
}

void x64_apply_operator_left_constant(int token, int64_t value, double real) {
    int r = top();
    if (is_float_mode(expression_mode)) {
        emit_load_operand(r);
        switch (token) {
        case '-': emit_fpu_change_sign(); return;
        case '+': set_constant_operand(value, real); emit_fpu_operation(" FADD ", " FIADD ", " FADDP "); return;
        case '*': set_constant_operand(value, real); emit_fpu_operation(" FMUL ", " FIMUL ", " FMULP "); return;
        case '/': set_constant_operand(value, real); emit_fpu_constant_operand(" FDIVR "); return;
        default:
            // The expression compiler refuses the operators without a
            // float form.
            if (!is_comparison_token(token)) internal_error("an integer operator in float arithmetic");
            set_constant_operand(value, real);
            emit_compare_constant(r, swap_comparison(token));
            return;
        }
    }
    if (token == TOKEN_SHIFT_LEFT || token == TOKEN_SHIFT_RIGHT) {
        emit_load_operand_to_register(REGISTER_RCX);
        emit_load_immediate(value, r);
        emit_linef(" %s %s,cl", token == TOKEN_SHIFT_LEFT ? "SAL" : "SAR", register_name(8, r));
        set_operand_register_text(register_name(8, r));
        return;
    }
    emit_load_operand(r);
    switch (token) {
    case '-': emit_negate_register(r); return;
    case '/': emit_divide_constant_by_register(value, r); return;
    case '%': emit_modulo_constant_by_register(value, r); return;
    default: break;
    }
    if (is_comparison_token(token)) {
        set_operand_integer_constant(value);
        emit_compare_constant(r, swap_comparison(token));
        return;
    }
    // Commutative operators: the constant is applied to the register.
    set_operand_integer_constant(value);
    x64_apply_operator(token);
}

void x64_add_pending_constant(int64_t value, double real) {
    if (is_float_mode(expression_mode)) {
        if (real != 0.0) {
            set_constant_operand(value, real);
            emit_fpu_constant_operand(" FADD ");
        }
        set_operand_register_text("st0");
        current_operand.flags |= OP_FLOAT;
        return;
    }
    emit_add_constant_to_operand(value, top());
}

void x64_negate_operand() {
    if (is_float_mode(expression_mode)) {
        emit_load_operand(top());
        emit_fpu_change_sign();
        return;
    }
    if (current_operand.kind != OPERAND_REGISTER) emit_load_operand(top());
    emit_negate_register(top());
}

void x64_complement_operand() {
    if (current_operand.kind != OPERAND_REGISTER) emit_load_operand(top());
    emit_not_register(top());
}

int x64_enter_float_mode(int move_live) {
    if (register_stack.live[top()] == 1 && move_live) emit_register_to_fpu(top());
    expression_mode = (expression_mode & ~MODE_DOUBLE) | ((current_operand.flags & OP_DOUBLE) ? MODE_DOUBLE : MODE_FLOAT);
    return 1;
}

void x64_round_float_result_to_integer() {
    expression_mode &= ~MODE_DOUBLE;
    emit_fpu_result_to_register(top());
    current_operand.flags = 0;
}

void x64_discard_float_result() { emit_fpu_discard(); }

// ---------------------------------------------------------------------------
// Addresses ("@", "?")

// The address goes into rax, as a call result does: the operand that reads
// it is never the left value of an operator, which holds the top register.
void x64_load_operand_address() {
    const char* text = current_operand.text;
    if (current_operand.flags & OP_LITERAL) {
        int32_t number = static_cast<int32_t>(current_operand.constant);
        emit_load_static_string(REGISTER_RAX, number, number <= 0 || number == null_string_number);
        set_operand_register_text("rax");
    } else if ((current_operand.flags & OP_CONTAINER_SLOT) ||
               ((current_operand.flags & OP_STRING) && !(current_operand.flags & OP_FIXED_STRING))) {
        // A whole array's slot and a string variable hold the address.
        emit_mov_register_text(text, REGISTER_RAX);
    } else {
        emit_lea_operand(text, REGISTER_RAX);
    }
}

void x64_load_procedure_address(ProcedureRecord* procedure) {
    char symbol[160];
    if (procedure->flags & PROC_IMPORTED)
        snprintf(symbol, sizeof symbol, "%s",
                 assembly_symbol(procedure->symbol_name ? procedure->symbol_name : procedure_name(procedure)));
    else
        snprintf(symbol, sizeof symbol, "_Procedure%d", procedure->id);
    emit_load_symbol_address(symbol, REGISTER_RAX);
}

void x64_load_label_address(const char* label) { emit_load_symbol_address(label, REGISTER_RAX); }
