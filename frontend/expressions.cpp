#include "frontend/expressions.h"

#include "frontend/arrays.h"
#include "frontend/blocks.h"
#include "frontend/lists_maps.h"

#include "frontend/number_literals.h"
#include "frontend/literal_strings.h"
#include "frontend/strings.h"
#include "frontend/compile_time_functions.h"
#include "frontend/libraries.h"
#include "core/error_numbers.h"
#include "core/token_codes.h"

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
            case TOKEN_NOT_EQUAL: result = !(left_real == right_real); break;
            case TOKEN_LESS_EQUAL: result = left_real <= right_real; break;
            case TOKEN_GREATER_EQUAL: result = left_real >= right_real; break;
            case TOKEN_LESS: result = left_real < right_real; break;
            case TOKEN_EQUAL: result = left_real == right_real; break;
            default: result = left_real > right_real; break;
            }
        } else {
            switch (token) {
            case TOKEN_NOT_EQUAL: result = left != right; break;
            case TOKEN_LESS_EQUAL: result = left <= right; break;
            case TOKEN_GREATER_EQUAL: result = left >= right; break;
            case TOKEN_LESS: result = left < right; break;
            case TOKEN_EQUAL: result = left == right; break;
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
            if (right_real == 0.0) return ERROR_DIVISION_BY_ZERO;
            out->real = left_real / right_real;
            out->integer = round_double_to_int64(out->real);
            return 0;
        }
        if (right == 0) return ERROR_DIVISION_BY_ZERO;
        out->integer = (right == -1) ? (int64_t)(0 - a) : left / right;
        out->real = (double)out->integer;
        return 0;
    case '%':
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        if (right == 0) return ERROR_DIVISION_BY_ZERO;
        out->integer = (right == -1) ? 0 : left % right;
        break;
    case TOKEN_SHIFT_LEFT:
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        out->integer = (int64_t)(a << (b & 63));
        break;
    case TOKEN_SHIFT_RIGHT:  // arithmetic
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        out->integer = left >> (b & 63);
        break;
    case '&':
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        out->integer = (int64_t)(a & b);
        break;
    case '|':
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        out->integer = (int64_t)(a | b);
        break;
    case '!':
        if (is_float) return ERROR_OPERATOR_WITHOUT_FLOAT_FORM;
        out->integer = (int64_t)(a ^ b);
        break;
    default:
        return ERROR_SYNTAX;
    }
    if (is_float) out->integer = round_double_to_int64(out->real);
    else out->real = (double)out->integer;
    return 0;
}

// ---------------------------------------------------------------------------
// The expression compiler. Operands and operators are read through the
// lexer and the code of each is written at once through the back end.

#include <cstdio>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/text_format.h"
#include "frontend/call_arguments.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/operator_rules.h"
#include "frontend/variables.h"
#include "frontend/labels.h"
#include "frontend/procedures.h"

int32_t condition_index = 0;
int32_t comparisons_allowed = 0;
int32_t parentheses_depth = 0;
int32_t expression_finished = 0;
int32_t previous_token = TOKEN_END;
int32_t address_of_depth = 0;

namespace {

int32_t assignment_count = 0;     // assignments met in the current statement
char* statement_target_start = nullptr;  // the first operand of the statement
int32_t radix_mark = 0;           // 16 after "$", 2 after "%"
int32_t dry_run_depth = 0;
EvaluationState dry_run_state;
int32_t constant_declaration_open = 0;  // the value of "#name = ..." is being compiled

// Every nested operand (parentheses, a sign, a call's arguments) enters
// compile_expression_level once; past this depth the expression is refused
// before the recursion can exhaust the stack.
constexpr int32_t max_expression_depth = 256;
int32_t expression_depth = 0;

struct ExpressionDepthGuard {
    bool refused;
    ExpressionDepthGuard() : refused(expression_depth >= max_expression_depth) {
        if (refused) {
            // Also during a tentative parse: the real parse meets the same
            // depth and reports it there.
            set_error_text_always(ERROR_SYNTAX, "Too deeply nested expression. Please split it.");
        } else {
            expression_depth++;
        }
    }
    ~ExpressionDepthGuard() {
        if (!refused) expression_depth--;
    }
};

// The seam, with nothing written where a back end leaves an entry empty.
void take_place() { backend->take_evaluation_place(); }
void release_place() { backend->release_evaluation_place(); }
void load_left() { backend->load_left_operand(); }
void apply_operator(int token) {
    if (int error = operator_type_error(token, expression_mode, &current_operand)) {
        set_error(error);
        return;
    }
    backend->apply_operator(token);
}
void apply_left_constant(int token, int64_t value, double real) {
    if (int error = operator_type_error(token, expression_mode, nullptr)) {
        // The value still takes its place: a look-ahead that goes on past the
        // suppressed error reads the operand as loaded.
        load_left();
        set_error(error);
        return;
    }
    backend->apply_operator_left_constant(token, value, real);
}
void add_pending(int64_t value, double real) {
    backend->add_pending_constant(value, real);
}
void enter_float(int move_live) {
    backend->enter_float_mode(move_live);
}
void exchange_float_values() { backend->exchange_float_values(); }

int swapped_comparison(int token) {
    switch (token) {
    case TOKEN_LESS: return TOKEN_GREATER;
    case TOKEN_GREATER: return TOKEN_LESS;
    case TOKEN_LESS_EQUAL: return TOKEN_GREATER_EQUAL;
    case TOKEN_GREATER_EQUAL: return TOKEN_LESS_EQUAL;
    default: return token;
    }
}

bool operand_is_empty() { return current_operand.kind == OPERAND_NONE; }

bool operand_is_structure_variable() {
    return current_operand.kind == OPERAND_VARIABLE && (current_operand.flags & OP_STRUCTURE);
}

// A float value that lies on the evaluation stack (not a constant, not memory).
bool operand_is_float_value() {
    return current_operand.kind == OPERAND_REGISTER && (current_operand.flags & OP_FLOAT);
}

void skip_blanks() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

// Reads a number word (and the fraction and exponent after it) into the
// current operand.
void compile_number() {
    if (!parse_number_literal() && !error_number) set_error(ERROR_SYNTAX);
}

// "#name": a constant, or at statement start a constant declaration.
void compile_constant() {
    bool statement_start = previous_token == TOKEN_STATEMENT_START;
    read_token();
    if (error_number) return;
    char name[STATEMENT_WORD_SIZE];
    copy_text(name, sizeof name, statement_word);
    if (!name[0] || !identifier_start_chars[(unsigned char)name[0]]) {
        set_error(ERROR_CONSTANT_NAME_START);
        return;
    }
    if (token_code == '.') {
        set_error(ERROR_CONSTANT_WITH_TYPE);
        return;
    }
    if (token_code == '(') {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (statement_start && token_code == '=') {
        // The value's literal text starts empty, whatever earlier statements gathered.
        reset_literal_text();
        constant_declaration_open++;
        compile_expression(EXPR_RESET_REGISTERS | EXPR_CONSTANT, MODE_PRESCAN);
        constant_declaration_open--;
        if (error_number) return;
        if (current_operand.kind == OPERAND_CONSTANT) {
            if (current_operand.flags & OP_FLOAT) {
                pending_constant.kind = pending_kind_float;
                pending_constant.float_value = current_operand.constant_float;
            } else {
                pending_constant.kind = pending_kind_integer;
                pending_constant.integer_value = current_operand.constant;
            }
        } else if (current_operand.kind == OPERAND_STRING && (current_operand.flags & OP_LITERAL)) {
            pending_constant.kind = pending_kind_string;
            copy_text(pending_constant.text, sizeof pending_constant.text, literal_text);
        } else {
            set_error(ERROR_CONSTANT_FROM_VARIABLE_OR_FUNCTION);
            return;
        }
        declare_constant(name);
        expression_finished = 1;
        current_operand.kind = OPERAND_NONE;
        current_operand.flags = 0;
        return;
    }
    ConstantRecord* record = find_constant(name);
    if (!record) {
        set_error_format(ERROR_CONSTANT_NOT_FOUND, name);
        return;
    }
    current_operand.flags = 0;
    if (record->flags & constant_flag_string) {
        load_string_constant_operand(record->value.text);
        return;
    }
    if (record->flags & constant_flag_float) set_operand_float_constant(record->value.float_value, true);
    else set_operand_integer_constant(record->value.integer_value);
}

// The operand after "@" is an address, loaded by the back end into a
// register.
void check_address_of_operand() {
    if (error_number) return;
    if (current_operand.kind == OPERAND_CONSTANT) {
        set_error(ERROR_ADDRESS_OF_LITERAL_NUMBER);
        return;
    }
    if (constant_declaration_open) {
        set_error(ERROR_DYNAMIC_ADDRESS_IN_CONSTANT);
        return;
    }
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (current_operand.flags & OP_ADDRESS) return;  // a method's address, loaded already
    if (current_operand.kind == OPERAND_REGISTER || (current_operand.flags & (OP_STRING_STACK | OP_COMPUTED))) {
        set_error(ERROR_SYNTAX);  // a computed value has no address
        return;
    }
    uint32_t structure = 0;
    if (current_operand.flags & OP_STRUCTURE) structure = OP_STRUCTURE_ADDRESS;
    backend->load_operand_address();
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.flags = OP_ADDRESS | structure;
}

// "@" followed by a literal ("text", ~"text") or a string constant: the
// literal is interned apart from any literal text still gathered.
void compile_literal_address(bool constant) {
    std::string gathered = hold_literal_text();
    if (constant) {
        compile_constant();
    } else {
        if (*parse_pointer == '~') {
            escape_mode = 1;
            parse_pointer++;
        }
        read_token();
        refuse_word_operator();
        if (!error_number) mark_literal_operand();
    }
    if (!error_number && current_operand.kind == OPERAND_STRING && (current_operand.flags & OP_LITERAL) &&
        current_operand.constant == 0)
        current_operand.constant = intern_gathered_literal();
    give_back_literal_text(gathered);
    check_address_of_operand();
}

// "@" and what follows: a literal or a string constant, a procedure
// ("name()"), or a variable, field, element, container or method.
void compile_address_operand() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    const char c = *parse_pointer;
    if (c == '"' || (c == '~' && parse_pointer[1] == '"')) {
        compile_literal_address(false);
        return;
    }
    if (c == '#') {
        parse_pointer++;
        compile_literal_address(true);
        return;
    }
    bool pointer = c == '*';
    if (pointer) parse_pointer++;
    read_token();
    if (error_number) return;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return;
    if (!identifier_start_chars[(unsigned char)statement_word[0]]) {
        if (statement_word[0] >= '0' && statement_word[0] <= '9') set_error(ERROR_ADDRESS_OF_LITERAL_NUMBER);
        else set_error(ERROR_SYNTAX);
        return;
    }
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", statement_word);
    if (token_code == '(' && !pointer) {
        if (ProcedureRecord* procedure = find_procedure(name)) {
            // "()" at once: no arguments for an address.
            while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
            if (*parse_pointer != ')') {
                set_error(ERROR_SYNTAX);
                return;
            }
            parse_pointer++;
            read_operator();
            if (error_number) return;
            if (constant_declaration_open) {
                set_error(ERROR_DYNAMIC_ADDRESS_IN_CONSTANT);
                return;
            }
            // Used through its address: its code is kept.
            if (!no_output_depth) procedure->use_count++;
            backend->load_procedure_address(procedure);
            current_operand.kind = OPERAND_REGISTER;
            current_operand.size = 8;
            current_operand.flags = OP_ADDRESS;
            return;
        }
        if (error_number) return;
        // A probe: the module prefix stays for the element's own lookup.
        ModuleRecord* prefix = explicit_module;
        bool container = find_array(name) || find_list(name) || find_map(name);
        explicit_module = prefix;
        if (!container) {
            if (!error_number) set_error_format(ERROR_NOT_DECLARED, name);
            return;
        }
    }
    address_of_depth++;
    pointer_flag = pointer ? 1 : 0;
    compile_call_or_index();
    address_of_depth--;
    check_address_of_operand();
}

// "?label": the address of a label of the current scope.
void compile_label_address() {
    read_token();
    if (error_number) return;
    if (!statement_word[0]) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (constant_declaration_open) {
        set_error(ERROR_DYNAMIC_ADDRESS_IN_CONSTANT);
        return;
    }
    std::string target = resolve_label_reference(!no_output_depth);
    if (error_number) return;
    backend->load_label_address(target.c_str());
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.flags = OP_ADDRESS;
}

}  // namespace

// A comparison that another operator or a call takes as its operand
// ("(x > 0) = 1", "f(x > 0)") stands for its truth, 0 or 1, made in an
// integer place of its own so that a left value of that operator keeps its
// register.
void take_comparison_value() {
    if (!(current_operand.flags & OP_COMPARISON)) return;
    int32_t number = backend->take_label_number(LABEL_FOR_VALUE);
    uint32_t saved_mode = expression_mode;
    expression_mode &= ~(uint32_t)MODE_DOUBLE;
    take_place();
    backend->emit_comparison_value(number);
    release_place();
    expression_mode = saved_mode;
}

int condition_index_of(int token) {
    switch (token) {
    case TOKEN_NOT_EQUAL: return 0;
    case TOKEN_EQUAL: return 1;
    case TOKEN_LESS_EQUAL: return 2;
    case TOKEN_GREATER_EQUAL: return 3;
    case TOKEN_LESS: return 4;
    case TOKEN_GREATER: return 5;
    default: return -1;
    }
}

int32_t open_parentheses_count() { return parentheses_depth; }

int32_t current_expression_depth() { return expression_depth; }

void reset_expression_compiler() {
    condition_index = 0;
    comparisons_allowed = 0;
    parentheses_depth = 0;
    expression_finished = 0;
    previous_token = TOKEN_END;
    assignment_count = 0;
    statement_target_start = nullptr;
    radix_mark = 0;
    dry_run_depth = 0;
    expression_depth = 0;
    constant_declaration_open = 0;
    address_of_depth = 0;
    reset_operand_state();
    reset_parser_state();
}

// ---------------------------------------------------------------------------
// Numeric literals

// A decimal word of digits only, no longer than this, cannot overflow and is
// read at once by parse_number_literal.
constexpr int SHORT_INTEGER_DIGITS = 18;

int parse_number_literal() {
    char text[160];
    int radix = radix_mark ? radix_mark : 10;
    radix_mark = 0;
    if (radix == 10 && !(statement_word[0] >= '0' && statement_word[0] <= '9')) return 0;
    if (radix == 10 && token_code != '.') {
        // The common case: a short integer. Without a leading zero the word
        // is already the value's decimal text.
        uint64_t magnitude = 0;
        int length = 0;
        while (length <= SHORT_INTEGER_DIGITS && statement_word[length] >= '0' && statement_word[length] <= '9') {
            magnitude = magnitude * 10 + uint64_t(statement_word[length] - '0');
            length++;
        }
        if (length <= SHORT_INTEGER_DIGITS && statement_word[length] == 0) {
            if (error_number) return 0;
            current_operand.flags = 0;
            int64_t value = int64_t(magnitude);
            if (statement_word[0] != '0' || length == 1) {
                set_operand_integer_constant_text(value, statement_word, length);
            } else {
                set_operand_integer_constant(value);
            }
            return 1;
        }
    }
    copy_text(text, sizeof text, statement_word);
    if (radix == 10 && token_code == '.') {
        // The lexer stops a word at ".": the fraction is the next word.
        char* point = parse_pointer - 1;
        if (point[-1] == ' ' || point[-1] == '\t' || *parse_pointer == ' ' || *parse_pointer == '\t') {
            set_error(ERROR_SYNTAX);
            return 0;
        }
        // A second "." joined right after the fraction ("1.2.3") makes the
        // number invalid: it is read with the word so that the check sees it.
        for (;;) {
            size_t used = strlen(text);
            format_to_buffer(text + used, sizeof text - used, ".");
            if (identifier_chars[(unsigned char)*parse_pointer]) {
                read_token();
                used = strlen(text);
                copy_text(text + used, sizeof text - used, statement_word);
            } else {
                read_operator();
            }
            if (token_code != '.' || !identifier_chars[(unsigned char)*parse_pointer]) break;
        }
    }
    size_t used = strlen(text);
    if (radix == 10 && used > 0 && (text[used - 1] == 'e' || text[used - 1] == 'E') &&
        (token_code == '-' || token_code == '+') && identifier_chars[(unsigned char)*parse_pointer]) {
        text[used++] = (char)token_code;
        text[used] = 0;
        read_token();
        copy_text(text + used, sizeof text - used, statement_word);
    }
    if (error_number) return 0;
    NumberValue value;
    int error = parse_number_text(text, radix, &value);
    if (error) {
        set_error(error);
        return 0;
    }
    current_operand.flags = 0;
    if (value.has_fraction) {
        if (!no_output_depth && !(expression_mode & (1 | 4 | 8)) &&
            (value.real > 9.2234e18 || value.real < -9.2234e18)) {
            set_error(ERROR_NUMBER_TOO_BIG);
            return 0;
        }
        set_operand_float_constant(value.real, true);
    } else {
        set_operand_integer_constant(value.integer);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Entry

int compile_expression(uint32_t options, uint32_t mode) {
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    int32_t saved_comparisons = comparisons_allowed;
    uint32_t saved_mode = expression_mode;
    int32_t saved_constant_mode = constant_expression_mode;
    constant_expression_mode = (options & EXPR_CONSTANT) ? 1 : 0;
    if (options & EXPR_NEW_STATEMENT) {
        statement_target_start = parse_pointer;
        token_code = TOKEN_STATEMENT_START;
        token_precedence = PRECEDENCE_NONE;
        register_stack.top = 3;
        assignment_count = 0;
    }
    bool dry_run = (options & EXPR_DRY_RUN) != 0;
    if (dry_run) {
        if (dry_run_depth++ == 0) backend->save_evaluation_state(&dry_run_state);
        no_output_depth++;
    }
    if (options & EXPR_RESET_REGISTERS) reset_registers();
    expression_mode = mode;
    current_operand.flags = 0;
    current_operand.text[0] = 0;
    expression_finished = 0;
    comparisons_allowed = (options & EXPR_CONDITION) ? 1 : 0;

    if (token_code == TOKEN_XOR || token_code == TOKEN_AND || token_code == TOKEN_OR) {
        set_error(ERROR_SYNTAX);
    } else if (token_code == TOKEN_NOT) {
        compile_condition(0);
    } else if (!((options & EXPR_CONDITION) && compile_not_prefix())) {
        compile_expression_level(EXPRESSION_LEVEL_OPERAND);
        if (!expression_finished) compile_expression_level(EXPRESSION_LEVEL_CHAIN);
    }

    if (!error_number) {
        close_string_result((options & EXPR_KEEP_STRING_BASE) != 0);
        if (!(options & EXPR_KEEP_FPU_RESULT) && operand_is_float_value()) {
            backend->discard_float_result();
            current_operand.kind = OPERAND_NONE;
        }
        bool is_string = current_operand.kind == OPERAND_STRING;
        if (options & EXPR_INTEGER_ONLY) {
            if (is_string || (current_operand.flags & OP_FLOAT)) set_error(ERROR_INTEGER_EXPRESSION_EXPECTED);
        } else if (options & EXPR_NUMERIC_ONLY) {
            if (is_string) set_error(ERROR_INTEGER_EXPRESSION_EXPECTED);
        } else if (options & EXPR_STRING_ONLY) {
            if (!is_string) set_error(ERROR_STRING_EXPRESSION_EXPECTED);
        }
        if (!error_number && (options & EXPR_WHOLE_STATEMENT) && token_code != TOKEN_END) set_error(ERROR_GARBAGE_AT_END_OF_LINE);
    }

    if (dry_run) {
        no_output_depth--;
        if (--dry_run_depth == 0) backend->restore_evaluation_state(&dry_run_state, 0);
    }
    comparisons_allowed = saved_comparisons;
    expression_mode = saved_mode;
    constant_expression_mode = saved_constant_mode;
    return error_number == 0;
}

int compile_not_prefix() {
    LexerMark mark = mark_lexer();
    read_operator();
    if (token_code == TOKEN_NOT) {
        compile_condition(0);
        return 1;
    }
    rewind_lexer(mark);
    return 0;
}

// ---------------------------------------------------------------------------
// Level parser

void compile_expression_level(int level) {
    if (error_number) return;
    ExpressionDepthGuard depth;
    if (depth.refused) return;
    if (level == EXPRESSION_LEVEL_FRESH_OPERAND) {
        current_operand.flags = 0;
        previous_token = TOKEN_EXPRESSION_START;
        token_code = TOKEN_EXPRESSION_START;
        level = EXPRESSION_LEVEL_OPERAND;
    }
    if (level == EXPRESSION_LEVEL_OPERAND) {
        current_operand.text[0] = 0;
        compile_operand();
        if (error_number || expression_finished) return;
        if (token_code == TOKEN_NOT) {
            if (!operand_is_empty()) {
                set_error(ERROR_SYNTAX);
                return;
            }
            compile_condition(0);
            return;
        }
        if ((token_code == '-' || token_code == '~') && operand_is_empty() &&
            !(current_operand.flags & OP_COMPUTED))
            compile_numeric_expression(PRECEDENCE_UNARY);
        return;
    }
    if (level != EXPRESSION_LEVEL_CHAIN) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (token_code == '-' && operand_is_empty()) compile_numeric_expression(PRECEDENCE_UNARY);
    while (token_precedence > PRECEDENCE_NONE && !error_number && !expression_finished) {
        if (operand_is_empty()) {
            set_error(ERROR_SYNTAX);
            return;
        }
        const char* before = parse_pointer;
        int32_t token_before = token_code;
        if (current_operand.kind == OPERAND_STRING) {
            compile_string_expression();
        } else {
            if (operand_is_structure_variable()) {
                set_error(ERROR_SYNTAX);
                return;
            }
            if (!compile_operator_pass(token_precedence)) return;
        }
        // An operator that was refused while errors are suppressed (the
        // expression of a directive in a skipped region) is still the token:
        // going round again would never end.
        if (parse_pointer == before && token_code == token_before) return;
    }
}

bool compile_operator_pass(int level) {
    char* before = parse_pointer;
    int32_t token = token_code;
    compile_numeric_expression(level);
    return parse_pointer != before || token_code != token;
}

void compile_operand() {
    previous_token = token_code;
    skip_blanks();
    if (*parse_pointer == '(') {
        if (current_operand.flags & OP_STRING_STACK) {
            set_error(ERROR_PARENTHESIS_IN_STRING_OPERATION);
            return;
        }
        parse_pointer++;
        parentheses_depth++;
        int32_t outer_precedence = token_precedence;
        token_code = '(';
        token_precedence = PRECEDENCE_NONE;
        if (!compile_not_prefix()) {
            compile_expression_level(EXPRESSION_LEVEL_OPERAND);
            compile_expression_level(EXPRESSION_LEVEL_CHAIN);
        }
        if (error_number) return;
        if (token_code != ')') {
            set_error(ERROR_CLOSE_PARENTHESIS_EXPECTED);
            return;
        }
        parentheses_depth--;
        read_operator();
        refuse_word_operator();
        if (error_number) return;
        if (token_precedence > outer_precedence) {
            if (current_operand.kind == OPERAND_STRING) compile_string_expression();
            else compile_numeric_expression(token_precedence);
        }
        return;
    }
    if (previous_token != TOKEN_STATEMENT_START && logical_word_token_at(parse_pointer)) {
        // A logical word where an operand belongs ("x = Not a", "1 + And 2")
        // is read as the operator it is, whose own rules then refuse it (at
        // the start of a statement it is a name, refused as a keyword).
        statement_word[0] = 0;
        word_has_dollar = 0;
        literal_length = -1;
        current_operand.kind = 0;
        current_operand.flags = 0;
        read_operator();
        refuse_word_operator();
        return;
    }
    read_token();
    refuse_word_operator();
    if (error_number) return;
    if (!statement_word[0] && token_code == '\\' && literal_length < 0 && enter_with_base()) {
        read_token();
        refuse_word_operator();
        if (error_number) return;
    }
    radix_mark = 0;
    pointer_flag = 0;
    // A module prefix belongs to one operand.
    explicit_module = nullptr;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return;
    if (literal_length >= 0) {  // a string literal, gathered in the literal buffer
        mark_literal_operand();
        return;
    }
    if (statement_word[0] == 0) {
        char* after = parse_pointer;
        switch (token_code) {
        case '#':
            compile_constant();
            return;
        case '$':
        case '%':
            read_token();
            if (error_number) return;
            if (!statement_word[0]) {
                set_error(ERROR_SYNTAX);
                return;
            }
            radix_mark = (after[-1] == '$') ? 16 : 2;
            compile_call_or_index();
            return;
        case '*':
            if (!identifier_start_chars[(unsigned char)*after]) {
                set_error(ERROR_SYNTAX);
                return;
            }
            read_token();
            if (error_number) return;
            pointer_flag = 1;
            compile_call_or_index();
            return;
        case '?':
            compile_label_address();
            return;
        case '@':
            compile_address_operand();
            return;
        case '~':
            if (*after == '"') {
                // An escaped literal: "\n", "\t", "\"" and the other escapes.
                escape_mode = 1;
                read_token();
                refuse_word_operator();
                if (error_number) return;
                mark_literal_operand();
            }
            return;
        default:
            return;
        }
    }
    compile_call_or_index();
}

void compile_call_or_index() {
    if (error_number) return;
    const bool is_number = radix_mark || (statement_word[0] >= '0' && statement_word[0] <= '9');
    if (is_number) {
        compile_number();
        return;
    }
    if (expression_mode == MODE_STRUCTURE_NAME) {
        set_error_format(ERROR_NOT_STRUCTURE, statement_word);
        return;
    }
    char name[STATEMENT_WORD_SIZE];
    copy_text(name, sizeof name, statement_word);
    bool statement_start = previous_token == TOKEN_STATEMENT_START;
    const bool module_prefixed = explicit_module != nullptr;
    // A type suffix is read into statement_word; without one the name stays there.
    const bool suffix_read = token_code == '.';
    parse_field_type(TYPE_SUFFIX_PLAIN);
    if (error_number) return;
    // A typed name alone as a statement ("p.Pair", "x.l") declares it.
    const bool typed = current_type.given != 0;
    if (token_code == '(') {
        // SizeOf, OffsetOf, TypeOf, Defined, Subsystem and Bool fold here.
        if (!pointer_flag) {
            if (const LibraryCommand* function = find_compiler_function(name)) {
                eval_compiler_function(function);
                return;
            }
        }
        // Procedures and library commands.
        if (!pointer_flag && compile_named_call(name)) return;
        if (error_number) return;
        // An array element (or its assignment at statement start).
        if (compile_array_reference(name, statement_start) || error_number) return;
        // A list or map element (or its assignment at statement start).
        if (compile_list_map_reference(name, statement_start) || error_number) return;
        // No call, array, list or map of that name.
        const int not_found = module_prefixed ? ERROR_MODULE_ITEM_NOT_FOUND : ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO;
        if (pointer_flag) {
            char quoted[STATEMENT_WORD_SIZE + 1];
            format_to_buffer(quoted, sizeof quoted, "*%s", name);
            set_error_format(not_found, quoted);
        } else {
            set_error_format(not_found, name);
        }
        return;
    }
    // A library command's name stands for its call, which needs "(".
    if (!module_prefixed && !pointer_flag) {
        const LibraryCommand* command = find_library_command(name);
        bool command_name = (command && !(command->flags & command_hidden_flags)) || find_compiler_function(name);
        if (command_name && !find_variable_scoped(name, false)) {
            set_error(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_CALL);
            return;
        }
    }
    if (suffix_read) copy_text(statement_word, sizeof statement_word, name);
    VariableRecord* variable = resolve_variable(VARIABLE_FIND_OR_CREATE);
    if (error_number) return;
    if (!variable) {
        set_error(ERROR_OBJECT_TYPE_NOT_DETECTED);
        return;
    }
    if (statement_start) {
        // A method call through an interface item stands alone as a
        // statement; its result is no target.
        bool call_result = operand_is_call_result();
        if (token_code == '=' || (is_update_operator() && !call_result)) {
            if (call_result) set_error(ERROR_SYNTAX);
            else compile_statement_expression();
            return;
        }
        if (token_code == TOKEN_END && !call_result && !typed) set_error(ERROR_SYNTAX);
    }
}

// ---------------------------------------------------------------------------
// Assignment

bool operand_is_call_result() {
    return current_operand.kind == OPERAND_REGISTER || (current_operand.flags & OP_COMPUTED);
}

bool is_update_operator() {
    return token_precedence > PRECEDENCE_COMPARISON && token_code != '~' && statement_target_start && !in_datasection;
}

void compile_statement_expression() {
    if (current_operand.kind == OPERAND_CONSTANT ||
        (current_operand.kind == OPERAND_STRING && (current_operand.flags & OP_LITERAL))) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (in_datasection) {
        set_error(ERROR_CODE_IN_DATASECTION);
        return;
    }
    if (++assignment_count > 1) {
        set_error(ERROR_SYNTAX);
        return;
    }
    char target_text[512];
    copy_text(target_text, sizeof target_text, current_operand.text);
    ExpressionTarget target;
    target.text = target_text;
    target.kind = current_operand.kind;
    target.size = current_operand.size;
    target.flags = current_operand.flags;
    target.fixed_length = (target.flags & OP_FIXED_STRING) ? current_operand.size / 2 : 0;
    target.variable = current_variable;
    target.base_saved = false;
    StructureRecord* target_structure = (target.flags & OP_STRUCTURE) ? current_type.structure : nullptr;
    uint32_t mode = MODE_INTEGER;
    if (target.flags & OP_FLOAT) mode = (target.flags & OP_DOUBLE) ? MODE_DOUBLE : MODE_FLOAT;
    else if (target.flags & OP_QUAD) mode = MODE_QUAD;

    // The right side, in the target's arithmetic; a float result stays on
    // the x87 stack for the store, a string on the string stack. An update
    // (`n + 1`) reads the whole statement again as its value.
    if (token_code != '=') {
        parse_pointer = statement_target_start;
        token_code = TOKEN_EXPRESSION_START;
    }
    token_precedence = PRECEDENCE_NONE;
    uint32_t keep = (target.flags & OP_STRING) ? EXPR_KEEP_STRING_BASE : 0;
    compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_FPU_RESULT | keep, mode);
    if (error_number) return;
    bool value_is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
    bool target_is_string = (target.flags & OP_STRING) != 0;
    if (target.flags & OP_STRUCTURE) {
        if (!(current_operand.flags & OP_STRUCTURE)) {
            set_error(ERROR_VALUE_ASSIGNED_TO_STRUCTURE);
            return;
        }
        if (!target_structure || current_type.structure != target_structure) {
            set_error(ERROR_STRUCTURED_COPY_MISMATCH);
            return;
        }
        // A structure copy: the source's address, then the target's bytes.
        take_place();
        backend->load_operand_address();
        reload_saved_element_address();
        backend->copy_structure(&target, target_structure);
        drop_saved_element_address();
        release_place();
        current_operand.kind = OPERAND_NONE;
        current_operand.flags = 0;
        expression_finished = 1;
        return;
    }
    if (current_operand.flags & OP_STRUCTURE) {
        set_error(ERROR_VALUE_ASSIGNED_TO_STRUCTURE);
        return;
    }
    if ((target.flags & OP_POINTER) && (current_operand.flags & OP_FLOAT)) {
        set_error(ERROR_POINTER_ASSIGNED_TO_FLOAT);
        return;
    }
    if ((target.flags & OP_FLOAT) && (current_operand.flags & OP_POINTER)) {
        set_error(ERROR_POINTER_ASSIGNED_TO_FLOAT);
        return;
    }
    if (target_is_string && !value_is_string) {
        set_error(ERROR_NUMBER_INTO_STRING_VARIABLE);
        return;
    }
    if (!target_is_string && value_is_string) {
        set_error(ERROR_STRING_INTO_NUMERIC_VARIABLE);
        return;
    }
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return;
    }
    uint32_t saved_mode = expression_mode;
    expression_mode = mode;
    // A value in memory, or an integer register value for a float target,
    // is first loaded the way the target's arithmetic takes it.
    if (current_operand.kind == OPERAND_VARIABLE ||
        (current_operand.kind == OPERAND_REGISTER && (target.flags & OP_FLOAT) &&
         !(current_operand.flags & OP_FLOAT))) {
        take_place();
        load_left();
        release_place();
    }
    // A string value may be read through the base register itself: the back
    // end reads the target's address back after it.
    if (target_is_string) target.base_saved = element_address_saved != 0;
    else reload_saved_element_address();
    backend->assign_result(&target);
    drop_saved_element_address();
    expression_mode = saved_mode;
    current_operand.kind = OPERAND_NONE;
    current_operand.flags = 0;
    expression_finished = 1;
}

// ---------------------------------------------------------------------------
// Numeric expressions

namespace {

// Unary minus and "~" bind tighter than every operator of two operands.
constexpr int32_t unary_level = PRECEDENCE_UNARY;

void compile_unary_operator() {
    int op = token_code;
    current_operand.text[0] = 0;
    // The operand is read at the operator's own level, whatever level the
    // "-" token was read with: an operand in parentheses then ends at its
    // ")", and "-(x) | y" is "(-x) | y".
    token_precedence = unary_level;
    compile_expression_level(EXPRESSION_LEVEL_OPERAND);
    if (error_number) return;
    if (operand_is_empty()) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (operand_is_structure_variable()) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (current_operand.kind == OPERAND_STRING) {
        set_error(ERROR_STRINGS_MIXED_WITH_NUMBERS);
        return;
    }
    if (current_operand.kind != OPERAND_CONSTANT && token_precedence == unary_level)
        compile_numeric_expression(unary_level);
    if (error_number) return;
    take_comparison_value();
    bool is_float = (current_operand.flags & OP_FLOAT) != 0;
    if (op == '~' && is_float) {
        set_error(ERROR_BINARY_NOT_ON_FLOAT);
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (op == '~') set_operand_integer_constant(~current_operand.constant);
        else if (is_float) set_operand_float_constant(-current_operand.constant_float, (current_operand.flags & OP_DOUBLE) != 0);
        else set_operand_integer_constant((int64_t)(0 - (uint64_t)current_operand.constant));
        return;
    }
    // The value is negated in a place of its own, so that a left value of
    // an enclosing operator keeps its register.
    uint32_t saved_mode = expression_mode;
    if (op == '~') expression_mode &= ~(uint32_t)MODE_DOUBLE;  // "~" works on an integer register
    uint32_t place_mode = expression_mode;
    take_place();
    if (error_number) return;
    if (is_float && !is_float_mode(expression_mode)) enter_float(0);
    load_left();
    if (op == '~') {
        backend->complement_operand();
    } else {
        backend->negate_operand();
    }
    current_operand.kind = OPERAND_REGISTER;
    if (is_float) current_operand.flags |= OP_FLOAT;
    if (is_float && is_double_mode(expression_mode)) current_operand.flags |= OP_DOUBLE;
    // The place is given back in the mode it was taken in: an integer place
    // left taken would hide a live left value from the switch to floats.
    expression_mode = place_mode;
    release_place();
    expression_mode = saved_mode;
}

}  // namespace

void compile_numeric_expression(int level) {
    if (error_number) return;
    if (level == PRECEDENCE_UNARY) {
        compile_unary_operator();
        return;
    }
    if (level == PRECEDENCE_LOGICAL) {
        compile_condition(0);
        return;
    }
    take_comparison_value();
    uint32_t entry_mode = expression_mode;
    take_place();
    if (error_number) return;
    if (level == PRECEDENCE_COMPARISON && !comparisons_allowed) {
        set_error(ERROR_COMPARISON_OUTSIDE_CONDITION);
        return;
    }
    if (!is_float_mode(expression_mode) && (current_operand.flags & OP_FLOAT)) enter_float(0);

    bool left_constant = false;
    int64_t left_value = 0;
    double left_real = 0.0;
    bool left_float = false;
    if (operand_is_empty()) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        left_constant = true;
        left_value = current_operand.constant;
        left_real = current_operand.constant_float;
        left_float = (current_operand.flags & OP_FLOAT) != 0;
    } else if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
        set_error(ERROR_STRINGS_MIXED_WITH_NUMBERS);
        return;
    } else {
        load_left();
    }

    bool has_pending = false;
    int64_t pending_value = 0;
    double pending_real = 0.0;
    int comparison = -1;
    bool comparison_folded = false;
    int32_t operators_seen = 0;
    while (token_precedence == level && !error_number) {
        int op = token_code;
        // One comparison per operand: "a < b < c" is refused.
        if (level == PRECEDENCE_COMPARISON && operators_seen++ > 0) {
            set_error(ERROR_SYNTAX);
            break;
        }
        if (level == PRECEDENCE_COMPARISON) {
            // Look ahead at the right side: when it is a float, the left
            // value goes to the x87 stack before the right one is computed.
            LexerMark mark = mark_lexer();
            CurrentOperand* saved = take_spare_operand();
            copy_operand(saved, &current_operand);
            int32_t saved_error = error_number;
            uint32_t saved_mode = expression_mode;
            int32_t saved_top = register_stack.top;
            EvaluationState saved_state;
            backend->save_evaluation_state(&saved_state);
            no_output_depth++;
            suppress_errors++;
            compile_operand();
            while (!error_number && token_precedence > PRECEDENCE_COMPARISON && compile_operator_pass(token_precedence)) {
            }
            bool right_float = (current_operand.flags & (OP_FLOAT | OP_DOUBLE)) != 0;
            suppress_errors--;
            no_output_depth--;
            rewind_lexer(mark);
            copy_operand(&current_operand, saved);
            give_back_spare_operand();
            error_number = saved_error;
            expression_mode = saved_mode;
            register_stack.top = saved_top;
            backend->restore_evaluation_state(&saved_state, 0);
            if (right_float && !left_constant && !is_float_mode(expression_mode)) enter_float(1);
        }
        compile_operand();
        if (error_number) break;
        if (operand_is_empty() && token_precedence != PRECEDENCE_UNARY) {
            set_error(ERROR_SYNTAX);
            break;
        }
        while (token_precedence > level && !error_number && compile_operator_pass(token_precedence)) {
        }
        if (error_number) break;
        if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
            set_error(ERROR_STRINGS_MIXED_WITH_NUMBERS);
            break;
        }
        take_comparison_value();
        bool right_constant = current_operand.kind == OPERAND_CONSTANT;
        bool right_float = (current_operand.flags & OP_FLOAT) != 0;
        if (is_comparison_token(op)) comparison = op;

        if (left_constant && right_constant) {
            bool is_float = left_float || right_float;
            // A division is done in the arithmetic of the mode, as it is at
            // run time: in float arithmetic 7 / 2 is 3.5, as i / 2 is with
            // i = 7.
            if (op == '/' && is_float_mode(expression_mode)) is_float = true;
            double right_real = current_operand.constant_float;
            if (!right_float) right_real = (double)current_operand.constant;
            double left_as_real = left_float ? left_real : (double)left_value;
            FoldedValue folded;
            int error = fold_constant_operation(op, left_value, left_as_real, current_operand.constant, right_real,
                                                is_float, &folded);
            if (error) {
                set_error(error);
                break;
            }
            left_value = folded.integer;
            left_real = folded.real;
            left_float = is_float && !is_comparison_token(op);
            if (is_comparison_token(op)) {
                comparison_folded = true;
                expression_mode = entry_mode & ~(uint32_t)MODE_DOUBLE;
            }
            continue;
        }
        if (!is_float_mode(expression_mode) && (right_float || (left_constant && left_float))) {
            // A float operand turns the rest of the chain into x87 arithmetic;
            // a left value moved after the right one lies above it.
            bool right_on_stack = operand_is_float_value();
            enter_float(left_constant ? 0 : 1);
            if (!left_constant && right_on_stack) {
                if (op == '-' || op == '/') exchange_float_values();
                else if (is_comparison_token(op)) op = swapped_comparison(op), comparison = op;
            }
        }
        if (left_constant) {
            double left_as_real = left_float ? left_real : (double)left_value;
            apply_left_constant(op, left_value, left_as_real);
            if (op == '-') {
                has_pending = true;
                pending_value = (int64_t)((uint64_t)pending_value + (uint64_t)left_value);
                pending_real += left_as_real;
            }
            if (is_comparison_token(op)) comparison = swapped_comparison(op);
            left_constant = false;
            continue;
        }
        if (right_constant && (op == '+' || op == '-')) {
            double right_real = right_float ? current_operand.constant_float : (double)current_operand.constant;
            has_pending = true;
            if (op == '+') {
                pending_value = (int64_t)((uint64_t)pending_value + (uint64_t)current_operand.constant);
                pending_real += right_real;
            } else {
                pending_value = (int64_t)((uint64_t)pending_value - (uint64_t)current_operand.constant);
                pending_real -= right_real;
            }
            continue;
        }
        apply_operator(op);
    }

    if (!error_number) {
        if (left_constant) {
            current_operand.flags = 0;
            if (left_float) set_operand_float_constant(left_real, true);
            else set_operand_integer_constant(left_value);
            if (comparison_folded) expression_mode = entry_mode;
        } else {
            // Also for a sum of 0: the back end then names the value's place.
            if (has_pending) add_pending(pending_value, pending_real);
            current_operand.kind = OPERAND_REGISTER;
            current_operand.flags &= ~OP_COMPUTED;
            if (comparison >= 0) {
                condition_index = condition_index_of(comparison);
                current_operand.flags = OP_COMPARISON;
            } else if (is_float_mode(expression_mode)) {
                current_operand.flags |= OP_FLOAT;
                if (is_double_mode(expression_mode)) current_operand.flags |= OP_DOUBLE;
            }
        }
    }
    uint32_t result_flags_mode = expression_mode;
    expression_mode = entry_mode;
    release_place();
    (void)result_flags_mode;
    if (!error_number && (entry_mode & MODE_QUAD) && !(current_operand.flags & (OP_FLOAT | OP_COMPARISON)))
        current_operand.flags |= OP_QUAD;
}
