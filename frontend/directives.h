// Compiler directives: CompilerIf/ElseIf/Else/EndIf, CompilerSelect/Case/
// Default/EndSelect, CompilerError and CompilerWarning.
//
// A branch that is not taken raises suppress_errors by one for as long as it
// lasts; while it is raised the dispatcher skips every statement but these
// directives, which keep track of the nesting.
#pragma once

#include <cstdint>

// Levels that may be open at once (the 64th is refused).
constexpr int32_t max_directive_depth = 64;

// CompilerIf level states.
enum : uint8_t {
    COMPILERIF_SKIPPED = 0,         // no branch taken yet (or the else branch is skipped)
    COMPILERIF_TAKEN = 1,           // the current branch is compiled
    COMPILERIF_INSIDE_SKIPPED = 2,  // the whole block lies in a skipped region
    COMPILERIF_DONE = 3,            // an earlier branch was taken
};

extern int32_t compiler_if_depth;      // open CompilerIf levels
extern int32_t compiler_select_depth;  // open CompilerSelect levels

// Before each compilation: no level open.
void reset_directive_state();
// State and source line of an open CompilerIf level (1 to depth).
uint8_t compiler_if_state(int32_t level);
int32_t compiler_if_line(int32_t level);

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
