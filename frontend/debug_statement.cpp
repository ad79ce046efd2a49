// Debug, DebugLevel and CallDebugger.
#include "frontend/debug_statement.h"

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/operand_state.h"
#include "frontend/other_statements.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/symbols.h"

namespace {

// The statement's text starts at the byte that the keyword's read took as
// its operator; an operator word was read whole.
void step_back_to_expression()
{
    bool operator_word = token_code >= TOKEN_TO && token_code <= TOKEN_OR;
    if (!operator_word && parse_pointer > statement_start) parse_pointer--;
}

// An integer constant expression at the parse pointer (error 1 otherwise).
bool read_integer_constant(int64_t* value)
{
    no_output_depth++;
    bool compiled = compile_expression(EXPR_RESET_REGISTERS, MODE_INTEGER) != 0;
    no_output_depth--;
    if (!compiled) return false;
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & OP_FLOAT)) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    *value = current_operand.constant;
    return true;
}

}  // namespace

void compile_debug_statement()
{
    if (!debugger_code) {
        // Without the debugger nothing is compiled and nothing reported.
        skip_statement();
        return;
    }
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    // An offset, not a pointer: the emitters may move the buffer. Noted
    // before the line marker, which a dropped statement drops too.
    int64_t statement_offset = output_write_pointer && output_buffer_start ? output_write_pointer - output_buffer_start : 0;
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
    step_back_to_expression();
    backend->begin_debug_value();
    if (!compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_STRING_BASE | EXPR_KEEP_FPU_RESULT, 0)) return;
    backend->emit_debug_value();
    if (token_code == ',') {
        int64_t level = 0;
        if (!read_integer_constant(&level)) return;
        if (level > debug_level && output_buffer_start && no_output_depth == 0) {
            // Above the level in force: everything written for it is dropped.
            output_write_pointer = output_buffer_start + statement_offset;
            *output_write_pointer = 0;
        }
    }
    if (token_code != TOKEN_END && error_number == 0) set_error(ERROR_SYNTAX);
}

void compile_debuglevel_statement()
{
    step_back_to_expression();
    int64_t level = 0;
    if (!read_integer_constant(&level)) return;
    debug_level = int32_t(level);
}

void compile_calldebugger_statement()
{
    if (line_markers_suppressed) return;
    backend->emit_call_debugger();
}

void emit_statement_line_marker()
{
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
}

void emit_procedure_start_debugger(ProcedureRecord* procedure)
{
    if (debugger_enabled)
        backend->add_code_context_entry(CODE_CONTEXT_PROCEDURE_START, procedure_name(procedure));
    if (debugger_code)
        backend->emit_debugger_enter_procedure(procedure);
    emit_statement_line_marker();
}

void emit_procedure_end_marker()
{
    emit_statement_line_marker();
}

void add_procedure_end_context(ProcedureRecord* procedure)
{
    if (debugger_enabled)
        backend->add_code_context_entry(CODE_CONTEXT_PROCEDURE_END, procedure_name(procedure));
}
