// Standby mode: the line-based command protocol with an editor on standard
// input and output.
#pragma once

// Serves standby commands until END or the end of the input; ends the process.
[[noreturn]] void run_standby_loop();

// Command lines: fields separated by TAB. set_field_cursor starts on a line
// (written to: each field is cut off with a NUL); next_standby_field returns
// the next field, or the empty text at the end of the line.
void set_field_cursor(char* line);
char* next_standby_field();

// Sets the per-compilation options to their standby defaults (before the
// first command and after every COMPILE).
void reset_compile_options();
// Sets the option of one COMPILE word; words are compared exactly and an
// unknown word is ignored.
void set_compile_option_word(const char* word);

// Runs one command line (without its line end); false for END.
bool run_standby_command(char* line);

// The file name to use for `name`: with the REDIRECT option the editor is
// asked ("REDIRECT\t<kind>\t<name>") and its reply's first field is returned
// (from the compilation pool); otherwise `name` itself. Kind words:
// "MAINFILE", "INCLUDEFILE", "INCLUDEBINARY". Ends the process at the end of
// the input.
const char* query_redirect(const char* kind, const char* name);

// Whether the running standby compilation asked for PROGRESS lines.
bool standby_progress_enabled();

// The IMPORTLIST answer without its end line (frontend/imports.cpp): the
// count line "%d\n" of the imported-function table, then per function
// "%s(%s)\n" (name, parameter text) or "%s\n".
void write_standby_import_list();
// 1 when an imported function of that name exists (its use count raised and
// its import library marked used), for the HELPDIRECTORY answer "API".
int mark_imported_function_for_help(const char* name);

// Answers that come from tables other subsystems own. Each is optional until
// its table exists; the protocol then answers as if the table were empty.
//   write_standby_structure_list: the count line, then the names "%s\n" of
//     the structures that are interfaces (1) or are not (0), hash order.
//   write_standby_structure: the definition lines of a structure (interface
//     when `interfaces_only` is 0 and the name is an interface, or when it is
//     1); nothing for an unknown name.
void write_standby_structure_list(int interfaces) __attribute__((weak));
void write_standby_structure(const char* name, int interfaces_only) __attribute__((weak));
