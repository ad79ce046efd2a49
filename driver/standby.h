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

// Whether the running standby compilation asked for PROGRESS lines.
bool standby_progress_enabled();
