// Debug, DebugLevel and CallDebugger: the statements that talk to the
// debugger. Their code is written by the back end (emit_debug_value,
// emit_call_debugger); without the debugger they write nothing.
#pragma once

// Compiled by the handlers declared in frontend/other_statements.h:
// compile_debug_statement, compile_debuglevel_statement and
// compile_calldebugger_statement.
