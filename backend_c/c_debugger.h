// Debugger support of the C file: the line markers written before each
// statement, the two tables the debugger runtime walks (valid lines, code
// context), the Debug printers, the debugger's head declarations and
// variables, the support functions after the main code and the symbol banks.
#pragma once

#include <cstdint>
#include <string>

struct ProcedureRecord;

// The current source position: (file index << 20) + line + continuation lines.
int32_t c_current_line_code();

// Before a statement: "ZD_DEBUGGER_LineNumber=<code+1>;" with line numbering,
// "DBG_Check(<code>);" while debugger calls are on. `routine` is ignored.
void c_emit_line_marker(const char* routine);
// Appends "<code>," to the valid-lines table (a line feed after 65 entries).
void c_add_debugger_line_entry();
// Appends the four bytes of the line code, the kind and the name's bytes to
// the code-context table.
void c_add_code_context_entry(int32_t kind, const char* name);
// Empties the two tables to their C heads "\nint ZD_DEBUGGER_ValidLines[]={"
// and "\nunsigned char ZD_DEBUGGER_CodeContextBank[]={" (per compilation;
// the writers also put a head back when the shared reset wrote another).
void c_reset_debugger_tables();

// Debug: the string base position saved; the value printed by its kind and
// the position restored.
void c_begin_debug_value();
void c_emit_debug_value();
// The four printers, each on the current operand.
void c_emit_debug_print_string();
void c_emit_debug_print_quad();
void c_emit_debug_print_float();
void c_emit_debug_print_double();
// CallDebugger: the line marker and "ZD_DEBUGGER_Break(0);".
void c_emit_call_debugger();
// After a plain statement or a label, with the purifier: the guard check
// "ZD_PURIFIER_Check(0,0,0);" when the statement touched a list or map
// element (a C program has no assembly lines to keep registers for).
void c_emit_purifier_check(int after_assembly);
// "ZD_DEBUGGER_SetLine(<code>);" (before DisableDebugger, after a call).
void c_emit_debugger_set_line();
// At the start of a procedure body: "ZD_DEBUGGER_EnterProcedure(<id/2>,0);"
// (and the purifier's entry); marks the procedure for its leave call.
void c_emit_debugger_enter_procedure(ProcedureRecord* procedure);

// The divisor of an integer division or modulo: with debugger calls on,
// wrapped in the check that reports a zero divisor (a constant other than
// 0 is left as it is).
enum : int32_t { DIVISION_BY_ZERO = 1, MODULO_BY_ZERO = 2 };
std::string c_checked_divisor(const std::string& divisor, bool constant, int32_t error_code);

// Blocks of the C file.
// Error-code macros, runtime prototypes and DBG_Check (with the debugger).
void c_emit_debugger_defines();
// The debugger's variables and the table of included files.
void c_emit_debugger_variables();
// After the main code: the procedures' code, then with the debugger the
// string-change helper, the fatal-message routine and the data-section check.
void c_emit_debugger_support_code();
// Every symbol bank (with the debugger).
void c_emit_debugger_banks();
void c_emit_debugger_variable_bank();
void c_emit_debugger_procedure_bank();
void c_emit_debugger_array_bank();
void c_emit_debugger_list_bank();
void c_emit_debugger_map_bank();
void c_emit_debugger_constant_bank();
void c_emit_debugger_label_bank();
void c_emit_debugger_module_bank();
// The four local tables "lmv_<id>", "lma_<id>", "lml_<id>", "lmm_<id>" of a
// procedure (with the debugger, at its end while its locals are declared):
// written behind the code, their address slots filled by the local fixups
// of the procedure's head.
void c_emit_procedure_local_tables(ProcedureRecord* procedure);
// Per compilation.
void c_reset_procedure_local_tables();
