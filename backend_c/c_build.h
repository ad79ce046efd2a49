// The build of the C-back-end compiler's program: "zandrel.c" compiled by
// gcc, resources, the link and, for a DLL, the import library; /REASM from a
// kept "zandrel.c".
#pragma once

#include <string>

// Compiles "zandrel.c" of the work folder (the current folder) and links
// the program; results through the error state.
void c_build_executable();
// /REASM: rebuilds the program from the "zandrel.c" of the start folder,
// reading the libraries and ":DLL" back from its comment head.
void c_reassemble();

// The pieces of the build, exposed for tests.

// The optimisation flags by option: optimiser, debugger, neither.
const char* c_optimization_flags();
// The gcc command line for a C file.
std::string c_build_gcc_command(const std::string& source_path);
// Appends the library part of the link line (library paths, fixed
// libraries, libgcc, library objects, string manager, debugger, import
// libraries). False (error 270) when the import libraries reach 32000.
bool c_append_link_libraries(std::string& line);
// The text shown for a failing gcc: from "error:" on, cut to 256
// characters; the whole output otherwise; "Unknown error\n" for none. A gcc
// killed by a signal (`end_signal` non-zero) has that said after its output.
std::string c_gcc_failure_text(const char* output, int end_signal);
// Reads the comment head of a "zandrel.c" text: ":DLL", the libraries,
// ":System" and ":Import" sections.
void c_read_reassembly_header(const std::string& text);
