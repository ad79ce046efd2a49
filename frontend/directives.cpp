// Compiler directives, evaluated in the single pass: each directive's
// expression must be an integer constant, compiled with output suppressed.
#include "frontend/directives.h"

#include "core/core_globals.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/statement_dispatcher.h"

int32_t compiler_if_depth = 0;
int32_t compiler_select_depth = 0;

namespace {

struct CompilerIfLevel {
    uint8_t state;
    uint8_t else_seen;  // no CompilerElse or CompilerElseIf may follow
    int32_t line;
};

struct CompilerSelectLevel {
    uint8_t saved_suppress;
    uint8_t matched;
    uint8_t default_seen;  // no CompilerCase or CompilerDefault may follow
    int64_t selector;
};

CompilerIfLevel compiler_if_stack[max_directive_depth + 1];
CompilerSelectLevel compiler_select_stack[max_directive_depth + 1];

constexpr uint32_t if_expression_options = EXPR_CONDITION | EXPR_WHOLE_STATEMENT | EXPR_CONSTANT;
constexpr uint32_t select_expression_options = EXPR_WHOLE_STATEMENT | EXPR_CONSTANT;

bool token_is_operator_word()
{
    return token_code >= TOKEN_TO && token_code <= TOKEN_OR;
}

bool keyword_stands_alone()
{
    return token_code == TOKEN_END;
}

// Compiles the directive's expression with no code written. Returns false
// when an error is set. `value` receives the integer constant; a result of
// another kind is error 135 (with the form that ignores suppress_errors when
// `always` is set).
bool evaluate_directive_expression(uint32_t options, bool step_back, int64_t* value, bool always)
{
    if (step_back && parse_pointer > statement_start) {
        parse_pointer--;
    }
    no_output_depth++;
    compile_expression(options, 0);
    no_output_depth--;
    if (error_number) {
        return false;
    }
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & (OP_FLOAT | OP_STRING))) {
        if (always) {
            set_error_always(ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED);
        } else {
            set_error(ERROR_DIRECTIVE_INTEGER_CONSTANT_EXPECTED);
        }
        *value = 0;
        return error_number == 0;
    }
    *value = current_operand.constant;
    return true;
}

void raise_suppress()
{
    suppress_errors++;
}

void lower_suppress()
{
    if (suppress_errors > 0) {
        suppress_errors--;
    }
}

}  // namespace

void reset_directive_state()
{
    compiler_if_depth = 0;
    compiler_select_depth = 0;
}

uint8_t compiler_if_state(int32_t level)
{
    return level >= 1 && level <= compiler_if_depth ? compiler_if_stack[level].state : 0;
}

int32_t compiler_if_line(int32_t level)
{
    return level >= 1 && level <= compiler_if_depth ? compiler_if_stack[level].line : 0;
}

void compile_compilerif_statement()
{
    // Checked before the level is opened, and also inside a skipped
    // region: the level would lie past the stack.
    if (compiler_if_depth + 1 >= max_directive_depth) {
        set_error_format_always(ERROR_TOO_DEEPLY_NESTED, "CompilerIf");
        return;
    }
    compiler_if_depth++;
    CompilerIfLevel& level = compiler_if_stack[compiler_if_depth];
    level.line = current_line;
    level.else_seen = 0;
    int64_t value = 0;
    if (suppress_errors) {
        level.state = COMPILERIF_INSIDE_SKIPPED;
        evaluate_directive_expression(if_expression_options, !token_is_operator_word(), &value, false);
        return;
    }
    level.state = COMPILERIF_SKIPPED;
    if (!evaluate_directive_expression(if_expression_options, !token_is_operator_word(), &value, true)) {
        return;
    }
    if (value != 0) {
        level.state = COMPILERIF_TAKEN;
    } else {
        raise_suppress();
    }
}

void compile_compilerelseif_statement()
{
    if (compiler_if_depth <= 0) {
        set_error_always(ERROR_COMPILERELSE_WITHOUT_COMPILERIF);
        return;
    }
    CompilerIfLevel& level = compiler_if_stack[compiler_if_depth];
    if (level.state == COMPILERIF_INSIDE_SKIPPED) {
        skip_statement();
        return;
    }
    if (keyword_stands_alone() || level.else_seen) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    if (level.state == COMPILERIF_TAKEN) {
        raise_suppress();
        level.state = COMPILERIF_DONE;
        skip_statement();
        return;
    }
    if (level.state == COMPILERIF_DONE) {
        skip_statement();
        return;
    }
    lower_suppress();
    int64_t value = 0;
    if (!evaluate_directive_expression(if_expression_options, !token_is_operator_word(), &value, false)) {
        return;
    }
    if (value != 0) {
        level.state = COMPILERIF_TAKEN;
    } else {
        raise_suppress();
        level.state = COMPILERIF_SKIPPED;
    }
}

void compile_compilerelse_statement()
{
    if (compiler_if_depth <= 0) {
        set_error_always(ERROR_COMPILERELSE_WITHOUT_COMPILERIF);
        return;
    }
    CompilerIfLevel& level = compiler_if_stack[compiler_if_depth];
    if (level.state == COMPILERIF_INSIDE_SKIPPED) {
        skip_statement();
        return;
    }
    if (!keyword_stands_alone() || level.else_seen) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    level.else_seen = 1;
    switch (level.state) {
    case COMPILERIF_SKIPPED:
        lower_suppress();
        level.state = COMPILERIF_TAKEN;
        break;
    case COMPILERIF_TAKEN:
        raise_suppress();
        level.state = COMPILERIF_SKIPPED;
        break;
    default:
        level.state = COMPILERIF_SKIPPED;
        break;
    }
}

void compile_compilerendif_statement()
{
    if (compiler_if_depth <= 0) {
        set_error_always(ERROR_COMPILERENDIF_WITHOUT_COMPILERIF);
        return;
    }
    CompilerIfLevel& level = compiler_if_stack[compiler_if_depth];
    if (level.state != COMPILERIF_INSIDE_SKIPPED) {
        if (!keyword_stands_alone()) {
            set_error_always(ERROR_SYNTAX);
            return;
        }
        if (level.state == COMPILERIF_SKIPPED || level.state == COMPILERIF_DONE) {
            lower_suppress();
        }
    } else {
        skip_statement();
    }
    compiler_if_depth--;
}

void compile_compilerselect_statement()
{
    // Checked before the level is opened, and also inside a skipped
    // region: the level would lie past the stack.
    if (compiler_select_depth + 1 >= max_directive_depth) {
        set_error_format_always(ERROR_TOO_DEEPLY_NESTED, "CompilerSelect");
        return;
    }
    compiler_select_depth++;
    CompilerSelectLevel& level = compiler_select_stack[compiler_select_depth];
    level.saved_suppress = suppress_errors;
    level.matched = 0;
    level.default_seen = 0;
    level.selector = 0;
    int64_t value = 0;
    if (!evaluate_directive_expression(select_expression_options, !token_is_operator_word(), &value, false)) {
        return;
    }
    level.selector = value;
}

void compile_compilercase_statement()
{
    if (compiler_select_depth <= 0) {
        set_error_always(ERROR_COMPILERCASE_WITHOUT_COMPILERSELECT);
        return;
    }
    CompilerSelectLevel& level = compiler_select_stack[compiler_select_depth];
    if (level.default_seen) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    suppress_errors = level.saved_suppress;
    int64_t value = 0;
    if (!evaluate_directive_expression(select_expression_options, true, &value, false)) {
        return;
    }
    if (value == level.selector && !level.matched) {
        level.matched = 1;
    } else {
        raise_suppress();
    }
}

void compile_compilerdefault_statement()
{
    if (compiler_select_depth <= 0) {
        set_error_always(ERROR_COMPILERDEFAULT_WITHOUT_COMPILERSELECT);
        return;
    }
    if (!keyword_stands_alone()) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    CompilerSelectLevel& level = compiler_select_stack[compiler_select_depth];
    if (level.default_seen) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    level.default_seen = 1;
    suppress_errors = level.saved_suppress;
    if (level.matched) {
        raise_suppress();
    }
}

void compile_compilerendselect_statement()
{
    if (compiler_select_depth <= 0) {
        set_error_always(ERROR_COMPILERENDSELECT_WITHOUT_COMPILERSELECT);
        return;
    }
    if (!keyword_stands_alone()) {
        set_error_always(ERROR_SYNTAX);
        return;
    }
    suppress_errors = compiler_select_stack[compiler_select_depth].saved_suppress;
    compiler_select_depth--;
}

void compile_compilererror_statement()
{
    if (error_number) {
        return;
    }
    if (!read_literal_string_arg("CompilerError")) {
        return;
    }
    set_error_format(ERROR_CUSTOM_TEXT, literal_text);
    if (error_number == ERROR_CUSTOM_TEXT) {
        compiler_error_raised = 1;
    }
}

void compile_compilerwarning_statement()
{
    if (!read_literal_string_arg("CompilerWarning")) {
        return;
    }
    report_warning(ERROR_CUSTOM_TEXT, literal_text);
}
