// The compilation driver: one compilation of the main source already in
// memory, the built-in constants and the /CONSTANT switch.
#pragma once

// Compiles the loaded main source; the outcome is the error state.
void compile_program();

// Declares the built-in compiler constants (start of every compilation and
// the standby CONSTANTLIST command).
void declare_builtin_constants();

// Declares a constant given as "Name=Value" on the command line. Returns
// `answer` on success and 0 on failure; `switch_text` is used in messages.
int define_constant_option(const char* switch_text, const char* definition, int answer);
