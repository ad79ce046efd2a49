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

namespace {

bool is_float_arithmetic() { return (expression_mode & MODE_FLOAT) != 0; }
bool is_quad_arithmetic() { return (expression_mode & MODE_QUAD) != 0; }

std::string format_text(const char* format, const std::string& a, const std::string& b = std::string())
{
    char text[256];
    int length = format_to_buffer(text, sizeof text, format, a.c_str(), b.c_str());
    if (length < int(sizeof text)) return std::string(text, size_t(length > 0 ? length : 0));
    std::string out(size_t(length), '\0');
    format_to_buffer(out.data(), out.size() + 1, format, a.c_str(), b.c_str());
    return out;
}

int32_t slot_index()
{
    if (c_current_slot < 0) return 0;
    if (c_current_slot >= c_expression_slot_count) return c_expression_slot_count - 1;
    return c_current_slot;
}

const char* slot_text()
{
    const char* text = c_slot_texts[slot_index()];
    return text ? text : current_operand.text;
}

// Slots whose text is a floating-point value (the x64 code holds it on the
// x87 stack).
bool slot_holds_float[c_expression_slot_count] = {};

// The texts the slots point at. A slot's text is replaced with every
// operator, so each slot reuses one store instead of leaving a copy per
// operator in the compilation pool; whoever reads a slot text copies it
// before the slot changes.
std::string slot_stores[c_expression_slot_count];

// Makes a text the slot's text.
void store_slot_text(int32_t slot, const std::string& text)
{
    slot_stores[slot] = text;
    c_slot_texts[slot] = slot_stores[slot].c_str();
}

// The result of an operator: the slot's new text, copied into the operand.
void set_slot_result(const std::string& text)
{
    int32_t slot = slot_index();
    store_slot_text(slot, text);
    slot_holds_float[slot] = (expression_mode & MODE_FLOAT) != 0;
    copy_text(current_operand.text, sizeof current_operand.text, text.c_str());
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

// Integer arithmetic works on 64 bits whatever the operands' widths, and
// wraps around: "+", "-", "*", "<<" and the negation are done on unsigned
// 64-bit values (where C defines the wrap-around) and read back as a quad:
// "((quad)(<unsigned expression>))".
constexpr const char* wrapped_head = "((quad)(";

// The index of the parenthesis that closes the one at `open`, or npos.
size_t closing_parenthesis(const std::string& text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size(); i++) {
        if (text[i] == '(') depth++;
        else if (text[i] == ')' && --depth == 0) return i;
    }
    return std::string::npos;
}

bool is_wrapped_result(const std::string& text)
{
    size_t head = std::strlen(wrapped_head);
    return text.size() > head + 2 && text.compare(0, head, wrapped_head) == 0 &&
           closing_parenthesis(text, head - 1) == text.size() - 2 && text.back() == ')';
}

// An operand of a wrapping operator as an unsigned 64-bit value: a wrapped
// result gives back its unsigned expression, a constant stays as it is (the
// other side makes the operation unsigned).
std::string unsigned_operand(const std::string& text, bool constant)
{
    if (is_wrapped_result(text)) return text.substr(std::strlen(wrapped_head) - 1, text.size() - std::strlen(wrapped_head));
    if (constant) return text;
    return "(uquad)" + text;
}

std::string wrapped_operation(const std::string& left, const char* op, const std::string& right,
                              bool right_constant = false)
{
    return wrapped_head + unsigned_operand(left, false) + op + unsigned_operand(right, right_constant) + "))";
}

// A value as a 64-bit signed operand (for "/" and ">>").
std::string quad_operand(const std::string& text)
{
    if (is_wrapped_result(text)) return text;
    return "(quad)" + text;
}

// The two arithmetic forms of "+", "-" and "*": floating point in the x87's
// extended precision (C's long double), as the x64 code computes on the x87
// stack, else wrapping in 64 bits.
std::string arithmetic_text(char op, const std::string& left, const std::string& right, bool right_constant)
{
    if (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) {
        char format[40];
        format_to_buffer(format, sizeof format, "((long double)%%s%c%%s)", op);
        return format_text(format, left, right);
    }
    const char text[2] = {op, 0};
    return wrapped_operation(left, text, right, right_constant);
}

// Multiplication of a value by an integer constant: 2 as an addition, 1 as
// the value itself.
std::string multiply_by_constant(const std::string& value, int64_t n)
{
    if (n == 1) return value;
    if (n == 2) return wrapped_operation(value, "+", value);
    return wrapped_operation(value, "*", c_decimal_text(n), true);
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

// value + constant, wrapping; a negative constant is written as a subtraction.
std::string wrapped_constant_sum(const std::string& value, int64_t constant)
{
    if (constant < 0 && constant != INT64_MIN)
        return wrapped_operation(value, "-", c_decimal_text(-constant), true);
    return wrapped_operation(value, "+", c_decimal_text(constant), true);
}

std::string negated_text(const std::string& value)
{
    return wrapped_head + ("-" + unsigned_operand(value, false)) + "))";
}

// A pointer value in arithmetic is a byte address, not a C pointer that
// would move by whole structures.
std::string as_address_number(const std::string& text)
{
    if (!(current_operand.flags & OP_POINTER) || current_operand.kind == OPERAND_CONSTANT ||
        text.compare(0, 9, "(integer)") == 0 || is_wrapped_result(text))
        return text;
    return "(integer)" + text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Constants as C text

const char* c_float_literal(double value)
{
    static char text[160];
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
    if (value == INT64_MIN) return "(-9223372036854775807LL-1)";
    return int_to_text_c(value);
}

std::string c_integer_literal(int64_t value)
{
    if (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) return c_float_literal(static_cast<double>(value));
    // "(int)" only where the value fits: a wider constant keeps its 64 bits
    // even next to a 32-bit operand.
    if ((expression_mode & MODE_DWORD_LOADED) && value >= INT32_MIN && value <= INT32_MAX)
        return std::string("(int)") + int_to_text_c(value);
    if (value == INT64_MIN) return c_decimal_text(value);
    return std::string(int_to_text_c(value)) + "LL";
}

std::string c_operand_text()
{
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (current_operand.flags & OP_FLOAT) {
            double value = current_operand.constant_float;
            if (!(current_operand.flags & OP_DOUBLE)) value = static_cast<double>(static_cast<float>(value));
            return float_constant_text(value);
        }
        return c_decimal_text(current_operand.constant);
    }
    return current_operand.text;
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
        store_slot_text(i, format_text("((double)%s)", c_slot_texts[i]));
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
    std::string text = as_address_number(c_operand_text());
    // A float value taken into integer arithmetic is rounded to 64 bits, as
    // the x64 code stores it from the x87 stack.
    if ((current_operand.flags & OP_FLOAT) && !is_float_arithmetic()) {
        if (current_operand.kind == OPERAND_CONSTANT) text = c_decimal_text(current_operand.constant);
        else text = format_text("SYS_BankerRoundQuad(%s)", text);
        current_operand.flags &= ~static_cast<uint32_t>(OP_FLOAT | OP_DOUBLE);
    }
    set_slot_result(text);
    if (!no_output_depth) c_slot_marks[slot_index()] = 1;
}

void c_apply_operator(int token)
{
    std::string left = slot_text();
    bool right_constant = current_operand.kind == OPERAND_CONSTANT;
    if (!right_constant && current_operand.size == 4) expression_mode |= MODE_DWORD_LOADED;
    // A whole-number constant operand of an operator carries its C type
    // ("3LL", "(int)3", "3.0"); comparisons keep the plain decimal.
    bool typed_constant = right_constant && !(current_operand.flags & OP_FLOAT) && !c_compare_operator(token);
    std::string right = typed_constant ? c_integer_literal(current_operand.constant) : as_address_number(c_operand_text());
    bool double_form = (expression_mode & (MODE_FLOAT | MODE_DOUBLE_BIT)) != 0;
    std::string result;
    switch (token) {
    case '+':
    case '-':
    case '*':
        result = arithmetic_text(static_cast<char>(token), left, right, right_constant);
        break;
    case '/':
        if (double_form) {
            result = format_text("((long double)%s/%s)", left, right);
        } else {
            right = c_checked_divisor(right, right_constant, DIVISION_BY_ZERO);
            result = format_text("(%s/%s)", quad_operand(left), right);
        }
        break;
    case '%':
        right = c_checked_divisor(right, right_constant, MODULO_BY_ZERO);
        result = format_text(is_quad_arithmetic() ? "((quad)(%s)%%%s)" : "((integer)(%s)%%%s)", left, right);
        break;
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
        // A count known at run time is taken modulo 64, as the x64 shift
        // instructions take it (a count past 63 has no meaning in C).
        if (!right_constant) right = "(" + right + "&63)";
        if (token == TOKEN_SHIFT_RIGHT) result = format_text("(%s>>%s)", quad_operand(left), right);
        else result = wrapped_head + unsigned_operand(left, false) + "<<" + right + "))";
        break;
    case '&':
        result = format_text("(%s&%s)", left, right);
        break;
    case '|':
        result = format_text("(%s|%s)", left, right);
        break;
    case '!':
        result = format_text("(%s^%s)", left, right);
        break;
    default: {
        const char* compare = c_compare_operator(token);
        if (!compare) internal_error("an operator without a C form");
        if (right_constant && is_float_arithmetic() && !(current_operand.flags & OP_FLOAT))
            right = float_constant_text(static_cast<double>(current_operand.constant));
        result = "(" + left + compare + right + ")";
        break;
    }
    }
    set_slot_result(result);
}

void c_apply_operator_left_constant(int token, int64_t value, double real)
{
    c_load_left_operand();
    std::string right = slot_text();
    bool is_float = is_float_arithmetic();
    std::string left = is_float ? std::string(float_constant_text(real)) : c_decimal_text(value);
    std::string result;
    switch (token) {
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
        // The constant is shifted as a 64-bit value, by the count modulo
        // 64, as the x64 code does.
        if (token == TOKEN_SHIFT_LEFT) result = wrapped_head + ("(uquad)" + left) + "<<((integer)" + right + "&63)))";
        else result = format_text("((quad)%s>>((integer)%s&63))", left, right);
        break;
    case '&':
    case '|':
    case '!':
        result = "(" + right + (token == '!' ? "^" : std::string(1, static_cast<char>(token))) + left + ")";
        break;
    case '%':
        result = format_text("(%s%%(integer)%s)", left, c_checked_divisor(right, false, MODULO_BY_ZERO));
        break;
    case '*':
        result = is_float ? format_text("((long double)%s*%s)", left, right) : multiply_by_constant(right, value);
        break;
    case '/':
        if (!is_float) right = c_checked_divisor(right, false, DIVISION_BY_ZERO);
        result = format_text(is_float ? "((long double)%s/%s)" : "(%s/(integer)%s)", left, right);
        break;
    case '+':
        // The constant is added here: the front end gathers only the
        // constants of "-" for the end of the level.
        if (is_float ? real == 0.0 : value == 0) result = right;
        else if (is_float) result = format_text("((long double)%s+%s)", right, left);
        else result = wrapped_constant_sum(right, value);
        break;
    case '-':
        result = is_float ? format_text("(-(long double)%s)", right) : negated_text(right);
        break;
    default: {
        const char* compare = c_compare_operator(token);
        if (!compare) internal_error("an operator without a C form");
        result = "(" + left + compare + right + ")";
        break;
    }
    }
    set_slot_result(result);
}

void c_add_pending_constant(int64_t value, double real)
{
    std::string text = slot_text();
    if (is_float_arithmetic()) {
        if (real != 0.0) text = format_text("((long double)%s+%s)", text, float_constant_text(real));
        current_operand.flags |= OP_FLOAT;
        if (expression_mode & MODE_DOUBLE_BIT) current_operand.flags |= OP_DOUBLE;
    } else if (value != 0) {
        text = wrapped_constant_sum(text, value);
    }
    set_slot_result(text);
}

void c_negate_operand()
{
    set_slot_result(is_float_arithmetic() ? format_text("(-(long double)%s)", slot_text()) : negated_text(slot_text()));
}

void c_complement_operand()
{
    set_slot_result(format_text("~(%s)", slot_text()));
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
    set_slot_result(format_text("SYS_BankerRoundQuad(%s)", c_operand_text()));
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
    const std::string lvalue = target->text;
    const bool float_target = (target->flags & OP_FLOAT) != 0;
    std::string value;
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (float_target) value = c_float_literal(current_operand.constant_float);
        else value = integer_constant_for(target, current_operand.constant);
    } else if ((current_operand.flags & OP_FLOAT) && !float_target) {
        value = format_text(float_store_rounding(target), c_operand_text());
    } else if (target->flags & OP_POINTER) {
        value = "(void*)" + c_operand_text();
    } else {
        value = c_operand_text();
    }
    emit_format("%s=%s;", lvalue.c_str(), value.c_str());
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
