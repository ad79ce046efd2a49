// Statements that are neither directives nor blocks: DataSection data, Read
// and Restore, Debug, DebugLevel and CallDebugger, the variable statements,
// Runtime, Swap and IncludeBinary.
#pragma once

#include <cstdint>

// Data and Read live in frontend/data_sections.cpp; Define, Global,
// Protected and Shared in frontend/variables.cpp.
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

// Before each compilation: DebugLevel 0, no data written yet, no Runtime flag.
void reset_other_statements();
