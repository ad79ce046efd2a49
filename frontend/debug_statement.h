// Debug, DebugLevel and CallDebugger: the statements that talk to the
// debugger. Their code is written by the back end (emit_debug_value,
// emit_call_debugger); without the debugger they write nothing.
#pragma once

// Compiled by the handlers declared in frontend/other_statements.h:
// compile_debug_statement, compile_debuglevel_statement and
// compile_calldebugger_statement.

// The line marker ("DBL") of a statement whose handler writes it itself,
// unless markers are suppressed (Enumeration and Import bodies).
void emit_statement_line_marker();
// At the start of a procedure body: its code-context record, the debugger's
// procedure entry and the body's line marker. At EndProcedure: the line
// marker (before the epilogue) and, after it, the code-context record.
void emit_procedure_start_debugger(struct ProcedureRecord* procedure);
void emit_procedure_end_marker();
void add_procedure_end_context(struct ProcedureRecord* procedure);
