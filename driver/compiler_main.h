// The whole life of one compiler process: start-up, one run mode, shut-down.
#pragma once

#include <string>

// "6.10 LTS": the version text; its part before the first blank is the
// version field of the standby STARTING line.
extern const char* const version_text;

// The process main: returns the exit code (0, or 1 after an error or a stop
// of the command line).
int compiler_main(int argc, char** argv);

// Creates the heaps, pools, buffers and global tables; once, before anything
// but the named mutex.
void compiler_init();

// After every compilation: drops what the compilation declared so that the
// next one starts clean; what was loaded at start stays.
void compiler_reset();

// Before every compilation (part of compiler_reset): zeroes the source
// position, the error location and the per-compilation flags and creates the
// per-compilation lists on the compilation heap.
void compile_state_init();
// Start-up, once the heaps exist: compile_state_init plus the front end's
// statement-start and continuation-candidate byte sets.
void compile_state_first_init();

// major * 100 + minor of the version text (610).
int compiler_version_number();

// The installation folder of a program path: the path cut just after its
// second-to-last separator ('\' or '/'), so "C:\A\B\prog.exe" gives "C:\A\".
// With fewer than two separators the root "/" is the installation folder.
std::string derive_home_folder(const std::string& program_path);
