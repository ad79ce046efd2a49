// Macros: definition, body capture, expansion and "Macro.out".
#pragma once

struct MacroRecord;

// Parses the rest of a Macro statement; null on error.
MacroRecord* define_macro(const char* name);
// Takes one statement of a macro body, or ends the capture at EndMacro.
int capture_macro_body();
// Expands the macros of one statement into the expansion buffer. Returns the
// expanded text (statements separated by 0x01), or null when nothing changed.
char* expand_statement_macros(char* statement);
// UndefineMacro with the name at the parse pointer (module prefix included).
void compile_undefinemacro_statement();
// Write position of the expansion buffer, restored after each logical line.
char* macro_expansion_write_position();
void set_macro_expansion_write_position(char* position);
