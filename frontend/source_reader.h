// The source driver: cuts a source text into logical lines (continuations
// joined, comments cut), hands each statement to the statement dispatcher,
// enters include files and makes the checks at the end of the main source.
#pragma once

#include <cstdint>
#include <string>

// Compiles a NUL-terminated source text in place (the text is modified; it
// must be followed by a second NUL). `file_name` is used only when
// `include_flag` is non-zero; for the main source the name is built here.
void compile_source(char* text, int64_t length, const char* file_name, int include_flag);

// Returns the start of the next logical line, or null when the text is
// exhausted or the line is in error. The logical line starting at `start` is
// NUL-terminated in place.
char* read_logical_line(char* start);

// True when the physical line that starts at `line_start` and ends at `end`
// continues on the next one; `last` is its last non-blank character.
bool check_line_continuation(unsigned char last, const char* line_start, const char* end);

// Reads and compiles one include file. `written_name` is the name as written
// in the statement, shown in "Including source: %s".
void include_file(const char* path, const char* written_name);

// The full path of a name given in IncludeFile, XIncludeFile or Import.
std::string resolve_source_path(const char* name);

// End-of-source checks, then the error report.
void check_unclosed_blocks();

// Sets the four file constants (ZD_Compiler_File, _FilePath, _Filename,
// _Home) from a file name.
void set_file_constants(const char* file_name);

// Cuts a trailing editor-options block ("; IDE Options" and the ';' lines
// after it) off a text of `length` bytes.
void cut_editor_options_tail(char* text, int64_t length);

// Full paths recorded for XIncludeFile, compared without regard to case.
// Returns true when the path was not recorded yet (and records it).
bool record_include_once(const std::string& full_path);
void reset_include_registry();

// Records a file in IncludeFileList under its full path unless the list holds
// it already (compared without regard to case): 0 when it was there (or the
// full path can't be made: error 91), else 1; with `no_include` 0 the file is
// also included under the path as given.
int register_include_once(const char* path, int no_include);
