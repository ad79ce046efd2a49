#include "frontend/operator_rules.h"

#include "core/error_numbers.h"
#include "frontend/lexer.h"
#include "frontend/operand_state.h"

bool operator_has_float_form(int token) {
    switch (token) {
    case '%':
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
    case '&':
    case '|':
    case '!':
        return false;
    default:
        return true;
    }
}

int operator_type_error(int token, uint32_t mode, const CurrentOperand* right) {
    if (is_float_mode(mode)) return operator_has_float_form(token) ? 0 : ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
    bool shift = token == TOKEN_SHIFT_LEFT || token == TOKEN_SHIFT_RIGHT;
    // A negative constant count is out of range too.
    if (shift && right && right->kind == OPERAND_CONSTANT &&
        static_cast<uint64_t>(right->constant) > MAX_CONSTANT_SHIFT_COUNT)
        return ERROR_SHIFT_COUNT_OUT_OF_RANGE;
    return 0;
}
