// Helpers shared by the stand-ins for the external build tools. Each stand-in
// takes the arguments the compiler gives the real tool, maps them to a Linux
// tool and returns that tool's exit code; its output goes to our own
// standard output and error, which the compiler captures.
#pragma once

#include <string>
#include <vector>

// Runs a program (searched in PATH when it has no folder) with the argument
// vector and waits for it. Returns its exit code, or 127 when it could not
// be started (with a message on standard error). When a signal killed it,
// the stand-in is ended by the same signal.
int run_program(const std::vector<std::string>& arguments);

// As run_program, but a program the kernel refuses to execute (ENOEXEC, a
// format it cannot run) is not reported: `refused` is set and 127 returned,
// so the caller can try another way.
int run_program_unless_refused(const std::vector<std::string>& arguments, bool& refused);

// The Linux form of a Windows-form path: separators turned, drive dropped,
// missing components matched without regard to case.
std::string native_path(const std::string& path);

// Case-insensitive test for an option "/NAME" or "-NAME", alone or followed
// by ':'. On a match `value` receives the text after the ':' ("" when none).
bool match_option(const std::string& argument, const char* name, std::string& value);

// The first executable file named `name` in the folders of PATH; `name`
// itself when there is none.
std::string find_in_path(const std::string& name);

bool is_option(const std::string& argument);
bool read_text_file(const std::string& path, std::string& text);
bool write_text_file(const std::string& path, const std::string& text);
// The folder part of a Linux path, with its trailing '/' ("" when none).
std::string folder_of(const std::string& path);
std::string current_directory();
