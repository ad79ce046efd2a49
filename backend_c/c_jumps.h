// The jump statements of the C back end (backend_c/c_jumps.cpp).
#pragma once

// "goto <label>;".
void c_emit_goto(const char* label);
// "SYS_PushGosub(&&lg_<n>); goto <label>; lg_<n>:;" with the next Gosub number.
void c_emit_gosub(const char* label);
// "goto *SYS_PopGosub();".
void c_emit_return_from_gosub();
// "SYS_PopGosub();": the pending return address is dropped.
void c_emit_fake_return();
