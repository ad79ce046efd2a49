// x64 emitters of structure field access (the `FieldHooks` of
// frontend/structure_fields.h): the base address in rbp, static array
// indexes, pointer fields and the field operand.
#pragma once

#include "frontend/structure_fields.h"

extern const FieldHooks x64_field_hooks;
