// Not, And, Or and XOr. And and Or short-circuit: the back end tests the
// left side (And leaves the chain when it is false, Or when it is true), then
// the right side, and the chain's tail gives its truth as one value; two
// constant sides fold into a constant.
#include "frontend/conditions.h"

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"

int32_t condition_label_counter = 0;
int32_t case_value_depth = 0;
int32_t bool_label_counter = 0;

namespace {

void take_place() { backend->take_evaluation_place(); }
void release_place() { backend->release_evaluation_place(); }

int32_t take_condition_number(int purpose) {
    return backend->take_label_number(purpose);
}

bool operand_is_string() {
    return current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
}

bool operand_truth() {
    if (current_operand.flags & OP_FLOAT) return current_operand.constant_float != 0.0;
    return current_operand.constant != 0;
}

// A string used as a truth value is true when it is not empty. A string
// expression is finished first (a temporary stays on the string stack for
// the test); a literal is no truth value. False after an error.
bool prepare_truth_value() {
    if (!operand_is_string()) return true;
    close_string_result(true);
    if (current_operand.flags & OP_LITERAL) {
        set_error(ERROR_LITERAL_STRING_AS_EXPRESSION);
        return false;
    }
    return true;
}

void set_constant_result(int64_t value) {
    current_operand.flags = 0;
    set_operand_integer_constant(value);
}

// The operand after a logical word and every operator above level 1 after it.
void compile_logical_operand() {
    compile_expression_level(EXPRESSION_LEVEL_OPERAND);
    while (!error_number && !expression_finished && token_precedence > PRECEDENCE_LOGICAL) {
        if (current_operand.kind == OPERAND_NONE) {
            set_error(ERROR_SYNTAX);
            return;
        }
        if (current_operand.kind == OPERAND_STRING) {
            if (!compile_string_operator_pass()) return;
        } else if (!compile_operator_pass(token_precedence)) {
            return;
        }
    }
    if (!error_number && current_operand.kind == OPERAND_NONE) set_error(ERROR_SYNTAX);
}

// Not (the current token) and its operand.
void compile_not_operand() {
    compile_logical_operand();
    if (error_number) return;
    if (operand_is_string()) {
        set_error_format(ERROR_OPERATOR_ON_STRINGS, "Not");
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        set_constant_result(operand_truth() ? 0 : 1);
        return;
    }
    int32_t number = take_condition_number(LABEL_FOR_VALUE);
    take_place();
    backend->emit_condition_value(number, 1);
    release_place();
}

// The right side of And, Or and XOr: a leading Not first.
void compile_right_side() {
    LexerMark mark = mark_lexer();
    read_operator();
    if (token_code == TOKEN_NOT) {
        compile_not_operand();
        return;
    }
    rewind_lexer(mark);
    compile_logical_operand();
}

void compile_and_or(int op) {
    if (!prepare_truth_value()) return;
    int is_or = op == TOKEN_OR;
    int32_t number = take_condition_number(LABEL_FOR_CHAIN);
    bool left_constant = current_operand.kind == OPERAND_CONSTANT;
    bool left_truth = left_constant && operand_truth();
    int64_t left_place = backend->emit_logical_left(is_or, number);
    if (is_or && !left_constant && !no_output_depth) forget_cached_list();
    compile_right_side();
    if (error_number || !prepare_truth_value()) return;
    bool folded = left_constant && current_operand.kind == OPERAND_CONSTANT;
    backend->emit_logical_right(is_or, number, left_place, left_constant, left_truth, folded);
    if (folded) {
        bool right_truth = operand_truth();
        // And gives the right value when the left one is true, Or gives 1
        // when either is.
        int64_t right_value = (current_operand.flags & OP_FLOAT) ? (right_truth ? 1 : 0) : current_operand.constant;
        if (op == TOKEN_AND) set_constant_result(left_truth ? right_value : 0);
        else set_constant_result((left_truth || right_truth) ? 1 : 0);
        backend->emit_logical_chain_end(number, 1);
        return;
    }
    take_place();
    backend->emit_logical_chain_end(number, 0);
    release_place();
}

void compile_xor() {
    if (operand_is_string()) {
        set_error_format(ERROR_OPERATOR_ON_STRINGS, "XOr");
        return;
    }
    int32_t left_number = take_condition_number(LABEL_FOR_VALUE);
    backend->emit_logical_xor_left(left_number);
    compile_right_side();
    if (error_number) return;
    if (operand_is_string()) {
        set_error_format(ERROR_OPERATOR_ON_STRINGS, "XOr");
        return;
    }
    int32_t right_number = take_condition_number(LABEL_FOR_VALUE);
    take_place();
    backend->emit_logical_xor_right(right_number);
    release_place();
}

}  // namespace

void reset_condition_state() {
    condition_label_counter = 0;
    bool_label_counter = 0;
    case_value_depth = 0;
}

// The logical word is the current token; `pending` is the logical token
// before it (0 at the start of a condition). Words of one level run from
// left to right: "a Or b And c" is "(a Or b) And c".
void compile_condition(int pending) {
    (void)pending;
    if (error_number) return;
    if (case_value_depth) {
        set_error(ERROR_LOGIC_OPERATOR_IN_CASE);
        return;
    }
    if (!comparisons_allowed) {
        set_error(ERROR_COMPARISON_OUTSIDE_CONDITION);
        return;
    }
    bool first = true;
    while (!error_number) {
        int op = token_code;
        if (op == TOKEN_NOT) {
            if (!first) {
                set_error(ERROR_SYNTAX);
                return;
            }
            compile_not_operand();
        } else if (op == TOKEN_AND || op == TOKEN_OR) {
            compile_and_or(op);
        } else if (op == TOKEN_XOR) {
            compile_xor();
        } else {
            break;
        }
        first = false;
    }
    if (!no_output_depth) forget_cached_list();
}

bool compile_block_condition() {
    if (error_number) return false;
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    // The keyword's reader has read the operator after it: a word stays to
    // be read (the lexer put it back), a sign is stepped back over.
    bool operator_word = token_code >= TOKEN_TO && token_code <= TOKEN_OR;
    if (!operator_word) {
        if (token_code != TOKEN_NO_OPERATOR) parse_pointer--;
        token_code = TOKEN_EXPRESSION_START;
        token_precedence = PRECEDENCE_NONE;
    }
    compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_STRING_BASE | EXPR_KEEP_FPU_RESULT | EXPR_CONDITION, 0);
    if (error_number) return false;
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    return prepare_truth_value();
}

bool prepare_truth_value_operand() { return prepare_truth_value(); }
