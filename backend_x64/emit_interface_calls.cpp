// Interface method calls on x64. The arguments were pushed from the last to
// the first by the shared call path (pad, hidden string base, defaults);
// here the first three move into rdx, r8 and r9 (or xmm1 to xmm3), the
// object goes into rcx and the method is called through its table slot.
#include "backend_x64/emit_interface_calls.h"

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_procedures.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/output_buffers.h"
#include "frontend/call_arguments.h"
#include "frontend/frontend_globals.h"
#include "frontend/interface_calls.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

namespace {

const char* const method_registers[4] = {"rcx", "rdx", "r8", "r9"};

// The object into rax: from its variable, or from the value text.
void emit_load_object(VariableRecord* object, const char* text) {
    if (object) emit_linef(" MOV rax,%s", format_variable_operand(object));
    else emit_linef(" MOV rax,%s", text);
}

void emit_call_method_slot(int32_t slot) {
    if (slot < 2) emit_line(" CALL qword [rax]");
    else emit_linef(" CALL qword [rax+%d]", 8 * slot - 8);
}

}  // namespace

void emit_drop_pushed_callee(bool string_result) {
    if (string_result) {
        // The result's offset stays on top.
        emit_line(" POP rax");
        emit_line(" POP rdx");
        emit_line(" PUSH rax");
    } else {
        emit_line(" ADD rsp,8");
    }
    emitter_stack.push_depth -= 8;
}

void emit_keep_interface_object(CallRecord* call, const char* text) {
    emit_linef(" PUSH %s", text);
    emitter_stack.push_depth += 8;
    call->object_depth = emitter_stack.push_depth;
}

void emit_load_method_argument(const CallRecord* call, int index) {
    int position = index + 1;
    if (position > 3) return;
    int type = TYPE_INTEGER;
    if (index < call->parameter_count) type = call->parameter_types[index];
    if (type == TYPE_DOUBLE) {
        emit_linef(" MOVSD xmm%d,qword [rsp]", position);
        emit_line(" ADD rsp,8");
    } else if (type == TYPE_FLOAT) {
        emit_linef(" MOVSS xmm%d,dword [rsp]", position);
        emit_line(" ADD rsp,8");
    } else {
        emit_linef(" POP %s", method_registers[position]);
    }
    emitter_stack.push_depth -= 8;
}

void emit_interface_call(CallRecord* call) {
    // The slot count includes the object's register position.
    int32_t arguments = call->slot_count - 1;
    for (int32_t i = 0; i < arguments && i <= MAX_CALL_ARGUMENTS; i++)
        if (call->offset_arguments[i]) emit_add_string_base_to_stack(8 * i);
    for (int32_t i = 0; i < arguments && i < 3; i++) emit_load_method_argument(call, i);
    // The object variable is read at the depth of its use: a local is
    // addressed from rsp.
    if (call->object_variable) emit_load_object(call->object_variable, nullptr);
    emit_line(" SUB rsp,32");
    emitter_stack.push_depth += 32;
    if (!call->object_variable)
        emit_linef(" MOV rax,[rsp+%d]", emitter_stack.push_depth - call->object_depth);
    emit_line(" MOV rcx,rax");
    emit_line(" MOV rax,[rax]");
    emit_call_method_slot(call->method_slot);
    int32_t release = call_release_bytes(call);
    if (release > 0) emit_linef(" ADD rsp,%d", release);
    emitter_stack.push_depth = call->start_depth;

    bool on_x87 = false;
    if (call->result == CALL_RESULT_DOUBLE) {
        emit_line(" MOVSD [rsp-8],xmm0");
        emit_line(" FLD qword [rsp-8]");
        count_fpu_push();
        on_x87 = true;
    } else if (call->result == CALL_RESULT_FLOAT) {
        emit_line(" MOVSS [rsp-8],xmm0");
        emit_line(" FLD dword [rsp-8]");
        count_fpu_push();
        on_x87 = true;
    }
    emit_restore_fpu_stack(call->saved_fpu, on_x87);
    if (call->result == CALL_RESULT_STRING) {
        // The saved position stays pushed as the result's offset; a pushed
        // object below it is dropped.
        emit_procedure_string_result();
        if (!call->object_variable) emit_drop_pushed_callee(true);
        set_operand_register_text("rsp");
        return;
    }
    if (call->saved_string_position) emit_restore_string_base_position();
    if (!call->object_variable) emit_drop_pushed_callee(false);
    set_operand_register_text(on_x87 ? "st0" : "rax");
}

void emit_load_interface_method(VariableRecord* object, const char* text, int32_t slot) {
    emit_load_object(object, text);
    emit_line(" MOV rax,qword [rax]");
    emit_linef(" MOV rax,qword [rax+%d]", 8 * slot - 8);
    set_operand_register_text("rax");
}

const InterfaceCallHooks x64_interface_call_hooks = {
    .keep_interface_object = emit_keep_interface_object,
    .finish_interface_call = emit_interface_call,
    .load_interface_method = emit_load_interface_method,
};
