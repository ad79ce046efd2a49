// Unconditional jumps, Gosub and Return (a subroutine call inside the main
// code that keeps rsp 16-byte aligned at the target from any push depth),
// FakeReturn and End.
#pragma once

#include <cstdint>

// Number of the next Gosub return label "g_<n>" (never reused in a compilation).
extern int32_t gosub_counter;

// Start of each compilation: the Gosub counter back to 0.
void reset_jump_state();

// " JMP <prefix><name>".
void emit_jump_label(const char* prefix, const char* name);
// " JMP <prefix><number>".
void emit_jump_numbered_label(const char* prefix, int32_t number);
// The Gosub frame: pad, return address, the pad as a qword, 32 shadow bytes;
// then the jump and the return label. The push depth is unchanged.
void emit_gosub(const char* label);
// Drops the Gosub frame and jumps back.
void emit_return_from_gosub();
// Drops the Gosub frame without jumping.
void emit_fake_return();
// End: with a value (already compiled into the current operand) stores it
// into ZD_ExitCode; then aligns the stack and jumps to the program end. The
// alignment is taken off the push depth again (code after End is reached
// only by jumps).
void emit_end_statement(bool with_value);

// The back-end hooks of the jump statements.
void x64_emit_goto(const char* label);
// "<name>:".
void x64_emit_code_label(const char* name);
void x64_emit_end_statement(int with_value);
