// Library function calls on x64: the debugger's argument check, the routine
// name from the build mode and the processor option, and the call line.
#pragma once

#include <cstdint>

struct LibraryCommand;

// The routine's name: "ZD_" + command + build-mode suffix + processor
// suffix (static buffer).
const char* library_routine_name(const LibraryCommand* command);
// The debugger check (with the debugger code on and a check routine) and
// the call line of the command; `extra_slots` stack arguments beyond four.
void emit_library_call_instruction(const LibraryCommand* command, int32_t extra_slots);
// The widening of a small integer result (byte, long) in rax.
void emit_library_result_extension(const LibraryCommand* command);
