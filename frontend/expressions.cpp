#include "frontend/expressions.h"

#include "frontend/number_literals.h"

static bool is_comparison_token(int token) {
    return token == 4 || token == 5 || token == 6 || token == 60 || token == 61 || token == 62;
}

// Integer arithmetic wraps around in 64 bits (done in uint64, where overflow
// is defined); the lowest value divided by -1 stays itself and its remainder
// is 0, as the wrapped hardware result would be without the trap.
int fold_constant_operation(int token, int64_t left, double left_real, int64_t right, double right_real,
                            bool is_float, FoldedValue* out) {
    const uint64_t a = (uint64_t)left, b = (uint64_t)right;
    out->integer = 0;
    out->real = 0.0;
    if (is_comparison_token(token)) {
        bool result;
        if (is_float) {
            switch (token) {
            case 4: result = !(left_real == right_real); break;
            case 5: result = left_real <= right_real; break;
            case 6: result = left_real >= right_real; break;
            case 60: result = left_real < right_real; break;
            case 61: result = left_real == right_real; break;
            default: result = left_real > right_real; break;
            }
        } else {
            switch (token) {
            case 4: result = left != right; break;
            case 5: result = left <= right; break;
            case 6: result = left >= right; break;
            case 60: result = left < right; break;
            case 61: result = left == right; break;
            default: result = left > right; break;
            }
        }
        out->integer = result ? 1 : 0;
        out->real = result ? 1.0 : 0.0;
        return 0;
    }
    switch (token) {
    case '+':
        out->integer = (int64_t)(a + b);
        out->real = left_real + right_real;
        break;
    case '-':
        out->integer = (int64_t)(a - b);
        out->real = left_real - right_real;
        break;
    case '*':
        out->integer = (int64_t)(a * b);
        out->real = left_real * right_real;
        break;
    case '/':
        if (is_float) {
            if (right_real == 0.0) return 106;
            out->real = left_real / right_real;
            out->integer = round_double_to_int64(out->real);
            return 0;
        }
        if (right == 0) return 106;
        out->integer = (right == -1) ? (int64_t)(0 - a) : left / right;
        out->real = (double)out->integer;
        return 0;
    case '%':
        if (is_float) return 112;
        if (right == 0) return 106;
        out->integer = (right == -1) ? 0 : left % right;
        break;
    case 10:  // <<
        if (is_float) return 112;
        out->integer = (int64_t)(a << (b & 63));
        break;
    case 13:  // >> (arithmetic)
        if (is_float) return 112;
        out->integer = left >> (b & 63);
        break;
    case '&':
        if (is_float) return 112;
        out->integer = (int64_t)(a & b);
        break;
    case '|':
        if (is_float) return 112;
        out->integer = (int64_t)(a | b);
        break;
    case '!':
        if (is_float) return 112;
        out->integer = (int64_t)(a ^ b);
        break;
    default:
        return 1;
    }
    if (is_float) out->integer = round_double_to_int64(out->real);
    else out->real = (double)out->integer;
    return 0;
}
