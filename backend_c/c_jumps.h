// The jump statements of the C back end (backend_c/c_jumps.cpp).
#pragma once

// "goto <label>;".
void c_emit_goto(const char* label);
// A code label: the line "<name>:;", then a line with an instruction of
// its own, so that the C compiler keeps the label's address apart from
// every other label's even when the code between them goes or looks alike.
void c_emit_code_label(const char* name);
// The function being written takes a label's address ("&&<label>").
void c_note_label_address();
// For a function that takes label addresses: the line, at its start, of a
// jump through zd_label_jump that is never taken but that the C compiler
// cannot rule out, so that every label whose address the function takes
// stays a place of its own that a jump may reach. Null for any other.
const char* c_label_jump_line();
// Whether zd_label_jump is needed: a procedure or the main code takes label
// addresses (asked after the whole source, in the main code's state).
bool c_program_jumps_by_label();
// "SYS_PushGosub(&&lg_<n>); goto <label>; lg_<n>:;" with the next Gosub number.
void c_emit_gosub(const char* label);
// "goto *SYS_PopGosub();".
void c_emit_return_from_gosub();
// "SYS_PopGosub();": the pending return address is dropped.
void c_emit_fake_return();
