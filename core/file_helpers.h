// File, path and process helpers shared by the driver and the front end.
// Paths keep the Windows form; the platform layer maps them at each call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Slashes become backslashes in both parts; an absolute name ("\...", "/...",
// "X:...") stands alone, a relative one is appended to the folder; "." and
// ".." components are folded.
std::string combine_path(const char* folder, const char* name);
// The text after the last '\' or '/'.
std::string path_file_part(const char* path);
// A folder or file path in the form a program under wine takes: a path
// rooted in this machine ("/...", not "//host") on the Z: drive, with
// backslashes; a path in Windows form stays as it is.
std::string program_side_path(const std::string& folder);
// The path up to and including its last separator ("" when it has none).
std::string path_directory_part(const char* path);

// Creates or truncates a file for writing; null on failure.
FILE* create_file_utf8(const char* name);
// Opens an existing file (not a folder) for reading; null on failure.
FILE* open_file_utf8(const char* name);
// Size of an open file (seeks to the end and back to the start).
int64_t get_file_size(FILE* file);
// Writes the text and a line feed.
void write_file_line(FILE* file, const char* text);
// True for an existing file that is not a folder.
bool file_exists(const char* path);
// Short paths do not exist here: the path itself.
std::string get_short_path_ansi(const char* path);
// A copy on the permanent heap (length + 2 bytes).
char* heap_strdup(const char* text);

// The UTF-16 code units of a UTF-8 text in decimal, joined by ",", then ",0";
// "0" alone for an empty text (the operand of a " dw " line). The result comes
// from the compilation pool.
char* utf8_to_dw_list(const char* text);

// The file name to use for `name` in standby mode: with the REDIRECT option
// the editor is asked ("REDIRECT\t<kind>\t<name>") and its reply's first
// field is returned (from the compilation pool); otherwise `name` itself.
// Kind words: "MAINFILE", "INCLUDEFILE", "INCLUDEBINARY". Ends the process at
// the end of the input.
const char* query_redirect(const char* kind, const char* name);

// Creates a fresh private work folder ("<temp>\Zandrel<n>\", mode 0700) and
// returns it with its trailing separator; sets error 93 and returns "" when
// none can be made.
std::string create_work_directory();
// Deletes the folder made by create_work_directory with everything in it.
// Links are removed, never followed. Any other path is refused (false).
bool delete_directory_tree(const char* folder);

// Runs a tool from a Windows-form command line with its standard output and
// error captured. Exit code 0: returns 1 and *out_text is null. Otherwise
// returns 0 and *out_text holds the output (NUL bytes as blanks) on the
// permanent heap, for the caller to free; null when nothing was started.
// With `end_signal`, it receives the signal that killed the tool (0 when
// the tool exited or was not started).
int run_tool_capture_output(const char* command_line, char** out_text, int* end_signal = nullptr);

// Reads the main source file whole into memory (source_text_start/_end) and
// sets main_source_folder; a missing file sets error 91.
void load_source_file(const char* name);
