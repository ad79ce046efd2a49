// Statements that are neither directives nor blocks: DataSection data, Read
// and Restore, Debug, the variable statements, Runtime, Swap, IncludeBinary.
#pragma once

void compile_data_statement(int string_form);
void compile_define_statement();
void compile_debug_statement();
void compile_debuglevel_statement();
void compile_calldebugger_statement();
void compile_global_statement();
void compile_protected_statement();
void compile_read_statement(int string_form);
void compile_restore_statement();
void compile_runtime_statement();
void compile_shared_statement();
void swap_statement();
void compile_includebinary_statement();
