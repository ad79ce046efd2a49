// Structure field access in C (the back end's FieldHooks).
#pragma once

struct FieldHooks;

extern const FieldHooks c_field_hooks;

// Per compilation: no field chain open.
void c_reset_field_chains();

// The lvalue of the array, list or map field being accessed (its structure
// member, "v_b.f_list"), or "" outside such an access.
const char* c_container_field_lvalue();
