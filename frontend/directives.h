// Compiler directives: CompilerIf/ElseIf/Else/EndIf, CompilerSelect/Case/
// Default/EndSelect, CompilerError and CompilerWarning.
#pragma once

#include <cstdint>

extern int32_t compiler_if_depth;      // open CompilerIf levels
extern int32_t compiler_select_depth;  // open CompilerSelect levels

void compile_compilerif_statement();
void compile_compilerelseif_statement();
void compile_compilerelse_statement();
void compile_compilerendif_statement();
void compile_compilerselect_statement();
void compile_compilercase_statement();
void compile_compilerdefault_statement();
void compile_compilerendselect_statement();
void compile_compilererror_statement();
void compile_compilerwarning_statement();
