#pragma once

#include <string>

#include "core/backend_hooks.h"

// The hooks of the C back end.
extern const BackendHooks c_backend_hooks;

// Fills the shared back-end tables with the C back end's texts.
void c_init_backend_tables();
// Per compilation, after the compilation heap is made anew: expression
// slots, the two fixup lists, the program's marks and an empty data buffer.
void c_backend_reset();

// The C-back-end compiler's process: hooks installed, "gcc" folder put in
// front of PATH, then the shared start-up and run.
int c_main(int argc, char** argv);
// 610: major * 100 + minor of "6.10 LTS - C Backend".
int c_compiler_version_number();
// Puts the tools folder's "gcc" subfolder in front of PATH (nothing when
// the environment has no PATH).
void c_extend_tool_path(const std::string& tools_folder);

// End: "ZD_ExitCode=<value>;" for a value, then "SYS_Quit();".
void c_emit_end_statement(int with_value);
