#include "backend_x64/emit_structure_fields.h"

#include <cstdio>
#include <cstring>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

namespace {

constexpr int64_t max_displacement = 32767;

void emit_load_structure_base(const char* operand, int32_t is_pointer) {
    if (is_pointer) {
        emit_linef(" MOV rbp,%s", operand);
    } else {
        const char* bracket = std::strchr(operand, '[');
        // An element already addressed by rbp needs no load.
        if (!bracket || std::strcmp(bracket, "[rbp]") != 0) emit_linef(" LEA rbp,%s", bracket ? bracket : operand);
    }
    procedure_uses_rbp = 1;
    if (!no_output_depth) forget_cached_list();
}

void emit_keep_field_base() {
    emit_line(" PUSH rbp");
    emitter_stack.push_depth += 8;
}

void emit_scale_field_index(int32_t r, int64_t element_size) {
    emit_load_operand(r);
    if (element_size != 1) emit_integer_multiply_by_constant(element_size, r);
}

void emit_apply_field_index(int32_t r) {
    emit_line(" POP rbp");
    emitter_stack.push_depth -= 8;
    emit_linef(" ADD rbp,%s", register_name(8, r));
}

void emit_load_pointer_field(int64_t offset) {
    if (offset == 0) {
        emit_line(" MOV rbp,[rbp]");
    } else if (offset <= max_displacement) {
        emit_linef(" MOV rbp,[rbp+%lld]", (long long)offset);
    } else {
        emit_linef(" ADD rbp,%lld", (long long)offset);
        emit_line(" MOV rbp,[rbp]");
    }
    procedure_uses_rbp = 1;
}

void emit_add_field_offset(int64_t offset) { emit_linef(" ADD rbp,%lld", (long long)offset); }

void emit_field_check() { emit_line(" CALL _DBG_M"); }

const char* format_field_operand(int32_t size, int64_t offset) {
    static char text[96];
    const char* prefix = size > 0 ? size_prefix(size) : "";
    if (offset > 0) snprintf(text, sizeof text, "%s[rbp+%lld]", prefix, (long long)offset);
    else if (offset < 0) snprintf(text, sizeof text, "%s[rbp%lld]", prefix, (long long)offset);
    else snprintf(text, sizeof text, "%s[rbp]", prefix);
    return text;
}

// rbp moves to the structure that holds the container field.
void emit_enter_container_field(int64_t offset) {
    if (offset) emit_linef(" ADD rbp,%lld", (long long)offset);
    procedure_uses_rbp = 1;
}

// Fields are reached by their offsets from rbp: their names play no part.
void name_field(const FieldRecord*) {}
void name_field_index(int64_t) {}

// Entering a container field only moved rbp, which the next chain loads
// anew: nothing is left to undo.
void emit_leave_container_field(int32_t) {}

}  // namespace

const FieldHooks x64_field_hooks = {
    .emit_load_structure_base = emit_load_structure_base,
    .emit_keep_field_base = emit_keep_field_base,
    .emit_scale_field_index = emit_scale_field_index,
    .emit_apply_field_index = emit_apply_field_index,
    .emit_load_pointer_field = emit_load_pointer_field,
    .emit_add_field_offset = emit_add_field_offset,
    .emit_field_check = emit_field_check,
    .emit_structure_array_check = emit_structure_array_check,
    .format_field_operand = format_field_operand,
    .name_field = name_field,
    .name_field_index = name_field_index,
    .emit_enter_container_field = emit_enter_container_field,
    .emit_leave_container_field = emit_leave_container_field,
};
