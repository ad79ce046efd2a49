// Operand texts of variables: where a variable lives (data section, the
// procedure frame from rsp, the per-thread object from rbp) decides how the
// x64 code names it.
#pragma once

#include <cstdint>

struct VariableRecord;

// The bare symbol: the module name lower-cased and "." when the variable has
// a module, then the key without a leading "+".
const char* format_variable_symbol(const VariableRecord* variable);
// The memory operand with its size prefix; a threaded variable first gets
// the reload of rbp written.
const char* format_variable_operand(VariableRecord* variable);
// For a threaded variable or a local: as format_variable_operand; otherwise
// "qword " and the bare symbol, without brackets.
const char* format_variable_qword_symbol(VariableRecord* variable);
// " MOV rbp,..." before an access to a threaded variable.
void emit_reload_frame_pointer();
// One line "p.<prefix><name> equ <formatted text>".
void emit_local_equ(const char* prefix, const char* name, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The equate lines of the current procedure's locals (before inline assembly).
void emit_procedure_local_equates();
// Clean-up of a local at the end of its procedure.
void x64_emit_local_cleanup(VariableRecord* variable);
