// Structure field access in C (the back end's FieldHooks).
#pragma once

struct FieldHooks;

extern const FieldHooks c_field_hooks;

// Per compilation: no field chain open.
void c_reset_field_chains();
