// The C back end's expression emitters. The shared expression compiler
// walks the source and calls these at each operand and operator; every
// partial result is C source text. A pending left operand is held in one of
// seven slots (the C twin of the x64 evaluation registers); each operator
// rewrites the slot text with its template, and the result is both the slot
// text and the current operand's text. Nothing is written to the output
// until an assignment or a statement uses the finished text.
#include "backend_c/c_expressions.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "backend_c/c_blocks.h"
#include "backend_c/c_data_statements.h"
#include "backend_c/c_debugger.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_structures.h"
#include "core/char_tables.h"
#include "core/token_codes.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "core/text_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"

const char* c_slot_texts[c_expression_slot_count] = {};
int8_t c_slot_saved[c_slot_save_depth] = {};
int32_t c_gosub_counter = 0;
CExpressionTexts c_expression_texts;

namespace {

// A text the emitters read without copying it: a slot's buffer, the
// operand's text, a constant written into a caller's buffer.
using TextView = std::string_view;

// Room for a constant's C text (the longest float literal and the typed
// forms of an integer).
constexpr size_t number_text_size = 160;

bool is_float_arithmetic() { return (expression_mode & MODE_FLOAT) != 0; }
bool is_quad_arithmetic() { return (expression_mode & MODE_QUAD) != 0; }

// Appends `format` with its "%s" replaced by `a`, then `b`, and "%%" by "%"
// (the only conversions of the operator templates).
void append_template(std::string& out, const char* format, TextView a, TextView b = TextView())
{
    int used = 0;
    for (const char* p = format; *p; p++) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        char conversion = *++p;
        if (!conversion) break;
        if (conversion == '%') out += '%';
        else if (conversion == 's') out.append(used++ == 0 ? a : b);
    }
}

// Appends `open`, the left text, the operator, the right text and ")".
void append_infix(std::string& out, const char* open, TextView left, const char* op, TextView right)
{
    out += open;
    out.append(left);
    out += op;
    out.append(right);
    out += ')';
}

int32_t slot_index()
{
    if (c_current_slot < 0) return 0;
    if (c_current_slot >= c_expression_slot_count) return c_expression_slot_count - 1;
    return c_current_slot;
}

TextView slot_text()
{
    int32_t slot = slot_index();
    if (c_slot_texts[slot]) return c_expression_texts.slots[slot];
    return current_operand.text;
}

// Slots whose text is a floating-point value (the x64 code holds it on the
// x87 stack).
bool slot_holds_float[c_expression_slot_count] = {};

// The result of an operator: `text` becomes the slot's text (the buffers
// are exchanged: `text` keeps the slot's former buffer for the next
// result), copied into the operand.
void set_slot_result(std::string& text)
{
    int32_t slot = slot_index();
    std::string& held = c_expression_texts.slots[slot];
    held.swap(text);
    c_slot_texts[slot] = held.c_str();
    slot_holds_float[slot] = (expression_mode & MODE_FLOAT) != 0;
    size_t length = held.size() < sizeof current_operand.text ? held.size() : sizeof current_operand.text - 1;
    std::memcpy(current_operand.text, held.data(), length);
    current_operand.text[length] = 0;
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

// Whether `text` is the operand's text and reads the same as the current
// slot's text.
bool is_current_slot_text(TextView text)
{
    int32_t slot = slot_index();
    const std::string& held = c_expression_texts.slots[slot];
    return text.data() == current_operand.text && c_slot_texts[slot] && text.size() == held.size() &&
           std::memcmp(text.data(), held.data(), text.size()) == 0;
}

// set_slot_result for a result that is the current slot's text already (and
// the operand's).
void keep_slot_result()
{
    int32_t slot = slot_index();
    slot_holds_float[slot] = (expression_mode & MODE_FLOAT) != 0;
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

// The result buffer, emptied for a new result.
std::string& start_result()
{
    c_expression_texts.result.clear();
    return c_expression_texts.result;
}

// Integer arithmetic works on 64 bits whatever the operands' widths, and
// wraps around: "+", "-", "*", "<<" and the negation are done on unsigned
// 64-bit values (where C defines the wrap-around) and read back as a quad:
// "((quad)(<unsigned expression>))".
constexpr TextView wrapped_head = "((quad)(";
// The parenthesis of the head that encloses the unsigned expression.
constexpr size_t wrapped_open = wrapped_head.size() - 1;

// Whether the parenthesis at `open` closes at `close` (and not before).
bool closes_at(TextView text, size_t open, size_t close)
{
    int depth = 0;
    const char* end = text.data() + close;
    for (const char* p = text.data() + open; p < end; p++) {
        if (*p == '(') depth++;
        else if (*p == ')' && --depth == 0) return false;
    }
    return depth == 1 && *end == ')';
}

bool is_wrapped_result(TextView text)
{
    size_t head = wrapped_head.size();
    return text.size() > head + 2 && text.substr(0, head) == wrapped_head && text.back() == ')' &&
           closes_at(text, wrapped_open, text.size() - 2);
}

// An operand of a wrapping operator as an unsigned 64-bit value: a wrapped
// result gives back its unsigned expression, a constant stays as it is (the
// other side makes the operation unsigned).
void append_unsigned_operand(std::string& out, TextView text, bool constant)
{
    if (is_wrapped_result(text)) {
        out.append(text.substr(wrapped_open, text.size() - wrapped_head.size()));
        return;
    }
    if (!constant) out += "(uquad)";
    out.append(text);
}

void append_wrapped_operation(std::string& out, TextView left, const char* op, TextView right,
                              bool right_constant = false)
{
    out.append(wrapped_head);
    append_unsigned_operand(out, left, false);
    out += op;
    append_unsigned_operand(out, right, right_constant);
    out += "))";
}

// A value as a 64-bit signed operand (for "/" and ">>").
void append_quad_operand(std::string& out, TextView text)
{
    if (!is_wrapped_result(text)) out += "(quad)";
    out.append(text);
}

// The two arithmetic forms of "+", "-" and "*": floating point in the x87's
// extended precision (C's long double), as the x64 code computes on the x87
// stack, else wrapping in 64 bits.
void append_arithmetic(std::string& out, char op, TextView left, TextView right, bool right_constant)
{
    const char text[2] = {op, 0};
    if (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) {
        append_infix(out, "((long double)", left, text, right);
        return;
    }
    append_wrapped_operation(out, left, text, right, right_constant);
}

// The decimal C form of an int64, written into `out` (number_text_size).
TextView decimal_text(char* out, int64_t value)
{
    const char* digits = value == INT64_MIN ? "(-9223372036854775807LL-1)" : int_to_text_c(value);
    size_t length = std::strlen(digits);
    std::memcpy(out, digits, length + 1);
    return TextView(out, length);
}

// Multiplication of a value by an integer constant: 2 as an addition, 1 as
// the value itself.
void append_multiply_by_constant(std::string& out, TextView value, int64_t n)
{
    char number[number_text_size];
    if (n == 1) out.append(value);
    else if (n == 2) append_wrapped_operation(out, value, "+", value);
    else append_wrapped_operation(out, value, "*", decimal_text(number, n), true);
}

// Single-precision arithmetic reads its constants as singles, as the x87
// code takes them from its pool of 4-byte constants.
bool is_single_arithmetic()
{
    return (expression_mode & MODE_FLOAT) && !(expression_mode & MODE_DOUBLE_BIT);
}

const char* float_constant_text(double value)
{
    if (is_single_arithmetic()) value = static_cast<double>(static_cast<float>(value));
    return c_float_literal(value);
}

// A float constant's text copied into `out` (number_text_size), away from
// the literal writer's own buffer.
TextView float_constant_view(char* out, double value)
{
    const char* text = float_constant_text(value);
    size_t length = std::strlen(text);
    std::memcpy(out, text, length + 1);
    return TextView(out, length);
}

// value + constant, wrapping; a negative constant is written as a subtraction.
void append_wrapped_constant_sum(std::string& out, TextView value, int64_t constant)
{
    char number[number_text_size];
    if (constant < 0 && constant != INT64_MIN)
        append_wrapped_operation(out, value, "-", decimal_text(number, -constant), true);
    else
        append_wrapped_operation(out, value, "+", decimal_text(number, constant), true);
}

void append_negated(std::string& out, TextView value)
{
    out.append(wrapped_head);
    out += '-';
    append_unsigned_operand(out, value, false);
    out += "))";
}

// A whole-number constant in the current arithmetic, written into `out`
// (number_text_size).
TextView integer_literal_text(char* out, int64_t value)
{
    if (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) {
        const char* text = c_float_literal(static_cast<double>(value));
        size_t length = std::strlen(text);
        std::memcpy(out, text, length + 1);
        return TextView(out, length);
    }
    // "(int)" only where the value fits: a wider constant keeps its 64 bits
    // even next to a 32-bit operand.
    if ((expression_mode & MODE_DWORD_LOADED) && value >= INT32_MIN && value <= INT32_MAX) {
        constexpr TextView cast = "(int)";
        std::memcpy(out, cast.data(), cast.size());
        TextView digits = decimal_text(out + cast.size(), value);
        return TextView(out, cast.size() + digits.size());
    }
    TextView digits = decimal_text(out, value);
    if (value == INT64_MIN) return digits;
    std::memcpy(out + digits.size(), "LL", 3);
    return TextView(out, digits.size() + 2);
}

// The current operand as C text: a constant written into `number`
// (number_text_size), else the operand's own text.
TextView operand_text(char* number)
{
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (current_operand.flags & OP_FLOAT) {
            double value = current_operand.constant_float;
            if (!(current_operand.flags & OP_DOUBLE)) value = static_cast<double>(static_cast<float>(value));
            return float_constant_view(number, value);
        }
        return decimal_text(number, current_operand.constant);
    }
    return current_operand.text;
}

// A pointer value in arithmetic is a byte address, not a C pointer that
// would move by whole structures (the cast form is built in `scratch`).
TextView as_address_number(TextView text, std::string& scratch)
{
    constexpr TextView cast = "(integer)";
    if (!(current_operand.flags & OP_POINTER) || current_operand.kind == OPERAND_CONSTANT ||
        text.substr(0, cast.size()) == cast || is_wrapped_result(text))
        return text;
    scratch.assign(cast);
    scratch.append(text);
    return scratch;
}

// The rewritten right operand of an operator, held in the operand buffer.
TextView set_operand_text(const std::string& text)
{
    c_expression_texts.operand.assign(text);
    return c_expression_texts.operand;
}

}  // namespace

// ---------------------------------------------------------------------------
// Constants as C text

const char* c_float_literal(double value)
{
    static char text[number_text_size];
    if (std::isnan(value)) return "(ZD_INFINITY-ZD_INFINITY)";
    if (std::isinf(value)) return value > 0 ? "ZD_INFINITY" : "ZD_NEG_INFINITY";
    // The shortest text that reads back as the same double (the C library's
    // "%.100g" would print every binary digit: 1e300 as 101 digits).
    for (int digits = 15; digits <= 17; digits++) {
        format_to_buffer(text, sizeof text - 3, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    if (!std::strchr(text, '.') && !std::strchr(text, 'e')) std::strcat(text, ".0");
    return text;
}

std::string c_decimal_text(int64_t value)
{
    char number[number_text_size];
    return std::string(decimal_text(number, value));
}

std::string c_integer_literal(int64_t value)
{
    char number[number_text_size];
    return std::string(integer_literal_text(number, value));
}

std::string c_operand_text()
{
    char number[number_text_size];
    return std::string(operand_text(number));
}

const char* c_compare_operator(int token)
{
    switch (token) {
    case TOKEN_NOT_EQUAL: return "!=";
    case TOKEN_LESS_EQUAL: return "<=";
    case TOKEN_GREATER_EQUAL: return ">=";
    case TOKEN_LESS: return "<";
    case TOKEN_EQUAL: return "==";
    case TOKEN_GREATER: return ">";
    default: return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Slots

void c_reset_expression_state()
{
    for (int32_t i = 0; i < c_expression_slot_count; i++) {
        c_slot_marks[i] = 0;
        c_slot_texts[i] = nullptr;
        slot_holds_float[i] = false;
    }
    c_slot_stack_depth = 0;
    c_current_slot = c_first_expression_slot;
    c_lowest_slot = c_first_expression_slot;
    c_gosub_counter = 0;
    c_reset_block_state();
}

void c_take_evaluation_place()
{
    if (error_number) return;
    // No take outstanding: nothing is live, whatever an earlier statement
    // that stopped on an error left behind.
    if (c_slot_stack_depth == 0) {
        for (int32_t& mark : c_slot_marks) mark = 0;
        c_current_slot = c_first_expression_slot;
    }
    if (c_slot_stack_depth < c_slot_save_depth) c_slot_saved[c_slot_stack_depth++] = static_cast<int8_t>(c_current_slot);
    if (c_slot_marks[slot_index()] == 1) c_current_slot--;
    if (c_current_slot < 0) {
        set_error(ERROR_OUT_OF_CPU_REGISTERS);
        // Keep the index valid while errors are suppressed (look-ahead).
        c_current_slot = 0;
        return;
    }
    if (c_current_slot < c_lowest_slot) c_lowest_slot = c_current_slot;
}

void c_round_pending_float_values()
{
    if (no_output_depth) return;
    for (int32_t i = 0; i < c_expression_slot_count; i++) {
        if (c_slot_marks[i] != 1 || !slot_holds_float[i] || !c_slot_texts[i]) continue;
        if (std::strncmp(c_slot_texts[i], "((double)", 9) == 0) continue;
        std::string& rounded = start_result();
        append_template(rounded, "((double)%s)", c_expression_texts.slots[i]);
        c_expression_texts.slots[i].swap(rounded);
        c_slot_texts[i] = c_expression_texts.slots[i].c_str();
    }
}

void c_release_evaluation_place()
{
    if (error_number || c_slot_stack_depth <= 0) return;
    int32_t saved = c_slot_saved[--c_slot_stack_depth];
    if (!no_output_depth) c_slot_marks[slot_index()] = 0;
    if (saved != c_current_slot) c_current_slot++;
}

void c_save_evaluation_state(EvaluationState* state)
{
    for (int32_t i = 0; i < c_expression_slot_count; i++) state->marks[i] = c_slot_marks[i];
    state->marks[7] = c_current_slot;
    state->push_depth = c_slot_stack_depth;
}

void c_restore_evaluation_state(const EvaluationState* state, int restore_marks)
{
    c_current_slot = state->marks[7];
    c_slot_stack_depth = state->push_depth;
    if (restore_marks)
        for (int32_t i = 0; i < c_expression_slot_count; i++) c_slot_marks[i] = state->marks[i];
}

// The C text's numbers: block labels, string temporaries (p and pt) and
// result locals (r).
enum : int32_t { NUMBER_BLOCK_LABEL, NUMBER_STRING_TEMPORARY, NUMBER_PARAMETER_TEMPORARY, NUMBER_RESULT_LOCAL };

void c_read_numbering(NumberingState* state)
{
    state->numbers[NUMBER_BLOCK_LABEL] = c_block_label_counter;
    state->numbers[NUMBER_STRING_TEMPORARY] = p_temporary_counter;
    state->numbers[NUMBER_PARAMETER_TEMPORARY] = pt_temporary_counter;
    state->numbers[NUMBER_RESULT_LOCAL] = result_local_counter;
}

void c_advance_numbering(const NumberingState* by)
{
    c_block_label_counter += by->numbers[NUMBER_BLOCK_LABEL];
    p_temporary_counter += by->numbers[NUMBER_STRING_TEMPORARY];
    pt_temporary_counter += by->numbers[NUMBER_PARAMETER_TEMPORARY];
    result_local_counter += by->numbers[NUMBER_RESULT_LOCAL];
}

// ---------------------------------------------------------------------------
// Operands and operators

void c_load_left_operand()
{
    if (current_operand.kind != OPERAND_CONSTANT && current_operand.size == 4) expression_mode |= MODE_DWORD_LOADED;
    char number[number_text_size];
    TextView text = as_address_number(operand_text(number), c_expression_texts.operand);
    std::string& result = start_result();
    // A float value taken into integer arithmetic is rounded to 64 bits, as
    // the x64 code stores it from the x87 stack.
    if ((current_operand.flags & OP_FLOAT) && !is_float_arithmetic()) {
        if (current_operand.kind == OPERAND_CONSTANT) result.append(decimal_text(number, current_operand.constant));
        else append_template(result, "SYS_BankerRoundQuad(%s)", text);
        current_operand.flags &= ~static_cast<uint32_t>(OP_FLOAT | OP_DOUBLE);
    } else if (is_current_slot_text(text)) {
        // The value taken is the slot's own (an operator's result taken
        // back as the left operand): the slot keeps its text.
        keep_slot_result();
        if (!no_output_depth) c_slot_marks[slot_index()] = 1;
        return;
    } else {
        result.append(text);
    }
    set_slot_result(result);
    if (!no_output_depth) c_slot_marks[slot_index()] = 1;
}

void c_apply_operator(int token)
{
    TextView left = slot_text();
    bool right_constant = current_operand.kind == OPERAND_CONSTANT;
    if (!right_constant && current_operand.size == 4) expression_mode |= MODE_DWORD_LOADED;
    // A whole-number constant operand of an operator carries its C type
    // ("3LL", "(int)3", "3.0"); comparisons keep the plain decimal.
    bool typed_constant = right_constant && !(current_operand.flags & OP_FLOAT) && !c_compare_operator(token);
    char number[number_text_size];
    TextView right = typed_constant ? integer_literal_text(number, current_operand.constant)
                                    : as_address_number(operand_text(number), c_expression_texts.operand);
    bool double_form = (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) != 0;
    std::string& result = start_result();
    switch (token) {
    case '+':
    case '-':
    case '*':
        append_arithmetic(result, static_cast<char>(token), left, right, right_constant);
        break;
    case '/':
        if (double_form) {
            append_template(result, "((long double)%s/%s)", left, right);
        } else {
            right = set_operand_text(c_checked_divisor(std::string(right), right_constant, DIVISION_BY_ZERO));
            result += '(';
            append_quad_operand(result, left);
            result += '/';
            result.append(right);
            result += ')';
        }
        break;
    case '%':
        right = set_operand_text(c_checked_divisor(std::string(right), right_constant, MODULO_BY_ZERO));
        append_template(result, is_quad_arithmetic() ? "((quad)(%s)%%%s)" : "((integer)(%s)%%%s)", left, right);
        break;
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
        // A count known at run time is taken modulo 64, as the x64 shift
        // instructions take it (a count past 63 has no meaning in C).
        if (!right_constant) {
            std::string& spare = c_expression_texts.spare;
            spare.assign("(");
            spare.append(right);
            spare += "&63)";
            spare.swap(c_expression_texts.operand);
            right = c_expression_texts.operand;
        }
        if (token == TOKEN_SHIFT_RIGHT) {
            result += '(';
            append_quad_operand(result, left);
            result += ">>";
            result.append(right);
            result += ')';
        } else {
            result.append(wrapped_head);
            append_unsigned_operand(result, left, false);
            result += "<<";
            result.append(right);
            result += "))";
        }
        break;
    case '&':
        append_template(result, "(%s&%s)", left, right);
        break;
    case '|':
        append_template(result, "(%s|%s)", left, right);
        break;
    case '!':
        append_template(result, "(%s^%s)", left, right);
        break;
    default: {
        const char* compare = c_compare_operator(token);
        if (!compare) internal_error("an operator without a C form");
        if (right_constant && is_float_arithmetic() && !(current_operand.flags & OP_FLOAT))
            right = float_constant_view(number, static_cast<double>(current_operand.constant));
        append_infix(result, "(", left, compare, right);
        break;
    }
    }
    set_slot_result(result);
}

void c_apply_operator_left_constant(int token, int64_t value, double real)
{
    c_load_left_operand();
    TextView right = slot_text();
    bool is_float = is_float_arithmetic();
    char number[number_text_size];
    TextView left = is_float ? float_constant_view(number, real) : decimal_text(number, value);
    std::string& result = start_result();
    switch (token) {
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
        // The constant is shifted as a 64-bit value, by the count modulo
        // 64, as the x64 code does.
        if (token == TOKEN_SHIFT_LEFT) {
            result.append(wrapped_head);
            result += "(uquad)";
            result.append(left);
            result += "<<((integer)";
            result.append(right);
            result += "&63)))";
        } else {
            append_template(result, "((quad)%s>>((integer)%s&63))", left, right);
        }
        break;
    case '&':
    case '|':
    case '!': {
        const char op[2] = {token == '!' ? '^' : static_cast<char>(token), 0};
        append_infix(result, "(", right, op, left);
        break;
    }
    case '%':
        right = set_operand_text(c_checked_divisor(std::string(right), false, MODULO_BY_ZERO));
        append_template(result, "(%s%%(integer)%s)", left, right);
        break;
    case '*':
        if (is_float) append_template(result, "((long double)%s*%s)", left, right);
        else append_multiply_by_constant(result, right, value);
        break;
    case '/':
        if (!is_float) right = set_operand_text(c_checked_divisor(std::string(right), false, DIVISION_BY_ZERO));
        append_template(result, is_float ? "((long double)%s/%s)" : "(%s/(integer)%s)", left, right);
        break;
    case '+':
        // The constant is added here: the front end gathers only the
        // constants of "-" for the end of the level.
        if (is_float ? real == 0.0 : value == 0) result.append(right);
        else if (is_float) append_template(result, "((long double)%s+%s)", right, left);
        else append_wrapped_constant_sum(result, right, value);
        break;
    case '-':
        if (is_float) append_template(result, "(-(long double)%s)", right);
        else append_negated(result, right);
        break;
    default: {
        const char* compare = c_compare_operator(token);
        if (!compare) internal_error("an operator without a C form");
        append_infix(result, "(", left, compare, right);
        break;
    }
    }
    set_slot_result(result);
}

void c_add_pending_constant(int64_t value, double real)
{
    TextView text = slot_text();
    std::string& result = start_result();
    if (is_float_arithmetic()) {
        char number[number_text_size];
        if (real != 0.0) {
            append_template(result, "((long double)%s+%s)", text, float_constant_view(number, real));
        } else {
            result.append(text);
        }
        current_operand.flags |= OP_FLOAT;
        if (expression_mode & MODE_DOUBLE_BIT) current_operand.flags |= OP_DOUBLE;
    } else if (value != 0) {
        append_wrapped_constant_sum(result, text, value);
    } else {
        result.append(text);
    }
    set_slot_result(result);
}

void c_negate_operand()
{
    std::string& result = start_result();
    if (is_float_arithmetic()) append_template(result, "(-(long double)%s)", slot_text());
    else append_negated(result, slot_text());
    set_slot_result(result);
}

void c_complement_operand()
{
    std::string& result = start_result();
    append_template(result, "~(%s)", slot_text());
    set_slot_result(result);
}

int c_enter_float_mode(int move_live)
{
    // The slot texts stay: C converts an integer operand where the double
    // template casts it. A live left value is a float value from now on.
    if (move_live && c_slot_marks[slot_index()] == 1) slot_holds_float[slot_index()] = true;
    expression_mode = (expression_mode & ~static_cast<uint32_t>(MODE_DOUBLE)) |
                      ((current_operand.flags & OP_DOUBLE) ? MODE_DOUBLE : MODE_FLOAT);
    return 1;
}

void c_round_float_result_to_integer()
{
    expression_mode &= ~static_cast<uint32_t>(MODE_DOUBLE);
    char number[number_text_size];
    std::string& result = start_result();
    append_template(result, "SYS_BankerRoundQuad(%s)", operand_text(number));
    set_slot_result(result);
    current_operand.flags = 0;
}

// A float value is text, not an x87 register: nothing to drop or swap.
void c_discard_float_result() {}
void c_exchange_float_values() {}

// ---------------------------------------------------------------------------
// Assignment

namespace {

// A constant for an integer target, reduced to the target's width (so that
// the C constant lies in the target type's range: 200 into a byte is -56).
std::string integer_constant_for(const ExpressionTarget* target, int64_t value)
{
    bool is_unsigned = (target->flags & OP_UNSIGNED) != 0;
    switch (target->size) {
    case 1: return c_decimal_text(is_unsigned ? static_cast<uint8_t>(value) : static_cast<int8_t>(value));
    case 2: return c_decimal_text(is_unsigned ? static_cast<uint16_t>(value) : static_cast<int16_t>(value));
    case 4: return c_decimal_text(static_cast<int32_t>(value));
    default: return c_decimal_text(value);
    }
}

// A computed float value stored into an integer rounds the way the x64
// code's store of the x87 value does: a word or a long through a store of
// its own width (a value out of its range gives the lowest value), a byte
// or an unsigned word through a 32-bit store whose low part is kept, a quad
// through a 64-bit store.
const char* float_store_rounding(const ExpressionTarget* target)
{
    if (target->size == 8) return "SYS_BankerRoundQuad(%s)";
    if (target->size == 2 && !(target->flags & OP_UNSIGNED)) return "zd_wrint(%s)";
    return "zd_lrint(%s)";
}

}  // namespace

void c_copy_structure(const ExpressionTarget* target, StructureRecord* structure)
{
    std::string source = current_operand.text;
    if (no_output_depth) return;
    if (structure->flags & STRUCT_DYNAMIC) structure->flags |= STRUCT_NEEDS_INIT | STRUCT_MARK_800;
    std::string line = "SYS_CopyStructure(&" + std::string(target->text) + "," + std::to_string(structure->size) +
                       ",(integer*)" + c_structure_map_name(structure) + ",(void*)" + source + ");";
    emit_line(line.c_str());
    c_runtime_used[C_SYS_CopyStructure] = 1;
}

void c_assign_result(const ExpressionTarget* target)
{
    if (target->flags & OP_STRING) {
        c_assign_string(target);
        return;
    }
    current_operand.flags &= ~static_cast<uint32_t>(OP_COMPUTED);
    if (no_output_depth) return;
    // The expression compiler refuses a string or a structure for a number
    // and copies structures itself.
    if (current_operand.kind == OPERAND_STRING || (target->flags & OP_STRUCTURE))
        internal_error("a string or structure value for a numeric target");
    const bool float_target = (target->flags & OP_FLOAT) != 0;
    std::string& line = c_expression_texts.line;
    line.assign(target->text);
    line += '=';
    char number[number_text_size];
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (float_target) line += c_float_literal(current_operand.constant_float);
        else line += integer_constant_for(target, current_operand.constant);
    } else if ((current_operand.flags & OP_FLOAT) && !float_target) {
        append_template(line, float_store_rounding(target), operand_text(number));
    } else {
        if (target->flags & OP_POINTER) line += "(void*)";
        line.append(operand_text(number));
    }
    line += ';';
    emit_line_of_length(line.data(), line.size());
}

// ---------------------------------------------------------------------------
// Addresses ("@", "?")

namespace {

// An address read as an operand: its text stands in the operand, not in a
// slot (a pending left operand may hold the current one).
void set_address_text(const std::string& text)
{
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", text.c_str());
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

}  // namespace

void c_load_operand_address()
{
    std::string text = current_operand.text;
    std::string address;
    if (current_operand.flags & OP_LITERAL) {
        address = "((integer)" + std::string(c_string_literal_name(static_cast<int32_t>(current_operand.constant))) + ")";
    } else if (current_operand.flags & (OP_CONTAINER_SLOT | OP_STRING)) {
        // A whole array's pointer and a string variable hold the address; a
        // fixed string's array stands for its first character.
        address = "((integer)" + text + ")";
    } else {
        address = "((integer)(&" + text + "))";
    }
    set_address_text(address);
}

void c_load_procedure_address(ProcedureRecord* procedure)
{
    set_address_text("((integer)" + std::string(c_procedure_name(procedure)) + ")");
}

void c_load_label_address(const char* label)
{
    c_note_label_address();
    set_address_text("((integer)" + c_label_address_name(label) + ")");
}
