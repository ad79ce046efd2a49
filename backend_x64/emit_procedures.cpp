#include "backend_x64/emit_procedures.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "backend_x64/assembler_names.h"
#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_interface_calls.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/emit_library_calls.h"
#include "backend_x64/emit_operands.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/output_buffers.h"
#include "frontend/call_arguments.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/strings.h"

int32_t extra_argument_slots = 0;

namespace {

const char* const argument_registers[4] = {"rcx", "rdx", "r8", "r9"};
constexpr int register_argument_count = 4;
// The home slots of the four register arguments, reserved by the caller.
constexpr int32_t shadow_space_bytes = 32;
constexpr int32_t argument_slot_bytes = 8;
constexpr int32_t return_address_bytes = 8;
// rsp is a multiple of this at every call.
constexpr int32_t call_stack_alignment = 16;

// The main code's state while a procedure body is compiled.
int32_t saved_main_depth = 0;
int32_t saved_thread_object_used = 0;
int32_t saved_uses_rbp = 0;
int32_t saved_string_stack = 0;
// The epilogue keeps the result in rax across the release of the locals:
// pushed once, before the first release.
int32_t epilogue_open = 0;
int32_t epilogue_pushed_rax = 0;

// Local structures whose arrays, lists and maps the prologue creates
// (frame offset and structure), gathered before the locals are dropped.
struct DynamicLocal {
    int32_t offset;
    StructureRecord* structure;
};
std::vector<DynamicLocal> dynamic_locals;

void gather_dynamic_locals() {
    dynamic_locals.clear();
    if (!variable_table) return;
    hash_reset_iterator(variable_table);
    while (HashEntry* entry = hash_next(variable_table)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!is_local_variable(variable) || (variable->flags & (VAR_STATIC | VAR_PARAMETER)) || variable->pointer)
            continue;
        if (variable->type != TYPE_STRUCTURE || !variable->structure) continue;
        if (!(variable->structure->flags & STRUCT_DYNAMIC_INIT)) continue;
        dynamic_locals.push_back({variable->offset, variable->structure});
    }
    hash_reset_iterator(variable_table);
}

bool is_pseudo_type(int type) { return type >= TYPE_P_ASCII && type <= TYPE_P_UTF8; }

// The conversion slot of pseudo-type parameter `index`, as an operand at
// the current depth: the slots lie above the call's start, the one of the
// last pseudo-type parameter lowest.
int32_t pseudo_slot_offset(const CallRecord* call, int32_t index) {
    int32_t j = 0;
    for (int32_t i = index + 1; i < call->parameter_count; i++)
        if (is_pseudo_type(call->parameter_types[i])) j++;
    return emitter_stack.push_depth - call->start_depth + 8 * j;
}

bool returns_x87(const ProcedureRecord* procedure) {
    return (procedure->flags & (PROC_RETURNS_FLOAT | PROC_RETURNS_DOUBLE)) != 0;
}

struct FrameLayout {
    int32_t lowest;      // lowest saved evaluation register (4: none)
    int32_t uses_rbp;
    int32_t threaded;
    int32_t pushed;
    int32_t locals;
    int32_t frame;
};

FrameLayout compute_frame(int32_t locals_size, int32_t lowest, int32_t uses_rbp, int32_t threaded) {
    FrameLayout layout;
    layout.lowest = lowest < 1 ? 1 : lowest;
    layout.uses_rbp = uses_rbp;
    layout.threaded = threaded;
    layout.pushed = (uses_rbp ? 8 : 0) + (layout.lowest <= 3 ? 8 * (4 - layout.lowest) : 0);
    int32_t locals = locals_size + (threaded ? 8 : 0);
    locals = (locals + 7) & ~7;
    int32_t remainder = (layout.pushed + locals + 8) % 16;
    if (remainder) locals = locals - remainder + 16;
    layout.locals = locals;
    layout.frame = layout.pushed + locals + 8;
    return layout;
}

void emit_prologue(const ProcedureRecord* procedure, const FrameLayout& layout) {
    int32_t n = procedure->id;
    emit_linef("_Procedure%d:", n);
    bool returns_string = (procedure->flags & PROC_RETURNS_STRING) != 0;
    int home_count = procedure->parameter_count + (returns_string ? 1 : 0);
    if (home_count > 4) home_count = 4;
    for (int i = 0; i < 4; i++) {
        int type = TYPE_INTEGER;
        if (i < procedure->parameter_count) type = procedure->parameters[i].type;
        emit_store_register_parameter(home_count, i, type, argument_registers[i]);
    }
    if (layout.uses_rbp) emit_line(" PUSH rbp");
    for (int r = 3; r >= layout.lowest; r--) emit_linef(" PUSH %s", register_name(8, r));
    emit_linef(" PS%d=%d", n, layout.frame);
    if (layout.threaded) emit_linef(" TS%d=%d", n, layout.locals - 8);
    if (layout.locals) emit_clear_locals(layout.locals);
    if (layout.threaded) {
        mark_runtime_used(RT_SYS_GetThreadedObject);
        emit_line(" CALL SYS_GetThreadedObject");
        emit_linef(" MOV [rsp+TS%d],rax", n);
    }
    for (const DynamicLocal& local : dynamic_locals) {
        char operand[64];
        std::snprintf(operand, sizeof operand, "[rsp+%d]", local.offset);
        emit_init_dynamic_structure(local.structure, operand);
    }
    if (thread_safe && procedure_uses_string_stack) {
        mark_runtime_used(RT_SYS_CheckStringBuffer);
        emit_line(" CALL SYS_CheckStringBuffer");
    }
    if (returns_string && !(procedure->flags & PROC_DLL)) {
        // The caller's string base position is the argument after the
        // parameters (homed with them when it came in a register).
        int32_t k = 8 * procedure->parameter_count;
        if (thread_safe) {
            emit_linef(" MOV rcx,[rsp+PS%d+%d]", n, k);
            emit_line(" CALL SYS_SetStringBasePosition");
        } else {
            emit_linef(" MOV rax,[rsp+PS%d+%d]", n, k);
            emit_line(" MOV qword [ZD_StringBasePosition],rax");
        }
    }
    for (int32_t i = 0; i < procedure->parameter_count; i++) {
        const ParameterRecord& parameter = procedure->parameters[i];
        if (parameter.type == TYPE_ARRAY || parameter.type == TYPE_LIST || parameter.type == TYPE_MAP) {
            // The address of the caller's container goes into the local slot.
            emit_linef(" MOV rax,qword [rsp+PS%d+%d]", n, 8 * i);
            emit_linef(" MOV qword [rsp+%d],rax", parameter.offset);
            continue;
        }
        if (parameter.type != TYPE_STRING) continue;
        // The procedure works on its own copy of a string parameter.
        emit_linef(" MOV rdx,[rsp+PS%d+%d]", n, 8 * i);
        emit_linef(" LEA rcx,[rsp+%d]", parameter.offset);
        emit_line(" SUB rsp,16");
        mark_runtime_used(RT_SYS_FastAllocateString4);
        emit_line(" CALL SYS_FastAllocateString4");
        emit_line(" ADD rsp,16");
    }
}

// The text names the string stack or a static string ("_S<digit>").
bool body_uses_strings(const TextBuffer* body) {
    if (!body || !body->start) return false;
    const char* text = body->start;
    if (std::strstr(text, "ZD_StringBase") || std::strstr(text, "SYS_FastAllocateString")) return true;
    for (const char* p = std::strstr(text, "_S"); p; p = std::strstr(p + 2, "_S")) {
        bool starts_name = p == text || !((p[-1] >= 'A' && p[-1] <= 'Z') || (p[-1] >= 'a' && p[-1] <= 'z') ||
                                          (p[-1] >= '0' && p[-1] <= '9') || p[-1] == '_');
        if (starts_name && p[2] >= '0' && p[2] <= '9') return true;
    }
    return false;
}

// Puts the text of the prologue buffer in front of the current buffer.
void insert_prologue_text() {
    TextBuffer* body = current_output_buffer();
    if (!body) return;
    TextBuffer& prologue_buffer = *procedure_buffer;
    int64_t length = prologue_buffer.write - prologue_buffer.start;
    if (length <= 0) return;
    body->write = output_write_pointer;
    int64_t used = body->write - body->start;
    grow_text_buffer(body, used + length + 1);
    std::memmove(body->start + length, body->start, size_t(used + 1));
    std::memcpy(body->start, prologue_buffer.start, size_t(length));
    body->write = body->start + used + length;
    output_write_pointer = body->write;
    sync_output_buffer();
}

// Moves the argument on top of the machine stack into register argument
// `position` (xmm for a double or float, else rcx, rdx, r8 or r9).
void emit_pop_register_argument(int position, int type) {
    if (type == TYPE_DOUBLE) {
        emit_linef(" MOVSD xmm%d,qword [rsp]", position);
        emit_line(" ADD rsp,8");
    } else if (type == TYPE_FLOAT) {
        emit_linef(" MOVSS xmm%d,dword [rsp]", position);
        emit_line(" ADD rsp,8");
    } else {
        emit_linef(" POP %s", argument_registers[position]);
    }
}

}  // namespace

void emit_store_register_parameter(int count, int position, int type, const char* register_name) {
    if (position >= count) return;
    int offset = position * 8 + 8;
    if (type == TYPE_DOUBLE) emit_linef(" MOVSD qword [rsp+%d],xmm%d", offset, position);
    else if (type == TYPE_FLOAT) emit_linef(" MOVSS dword [rsp+%d],xmm%d", offset, position);
    else emit_linef(" MOV qword [rsp+%d],%s", offset, register_name);
}

void emit_load_register_argument(const CallRecord* call, int index) {
    if (index >= register_argument_count) return;
    int type = TYPE_INTEGER;
    if (index < call->parameter_count) type = call->parameter_types[index];
    emit_pop_register_argument(index, type);
    emitter_stack.push_depth -= 8;
}

void emit_parallel_stub(const ProcedureRecord* procedure) {
    int32_t n = procedure->id;
    int32_t count = procedure->parameter_count;
    int32_t in_registers = count < register_argument_count ? count : register_argument_count;
    int32_t on_stack = count - in_registers;
    // The stub is entered by a call: the pad aligns rsp at the procedure's
    // call, under the arguments that stay on the stack (a whole step when
    // they leave it aligned already).
    int32_t misalignment = (return_address_bytes + argument_slot_bytes * on_stack) % call_stack_alignment;
    int32_t pad = call_stack_alignment - misalignment;
    emit_linef("Parallel%d:", n);
    emit_linef(" SUB rsp,%d", pad);
    // The job's block (rcx) holds one slot per argument, in argument order;
    // pushed last first, they lie as a call's arguments do.
    for (int32_t i = count - 1; i >= 0; i--) emit_linef(" PUSH qword [rcx+%d]", parallel_job_slot_bytes * i);
    for (int32_t i = 0; i < in_registers; i++) emit_pop_register_argument(i, procedure->parameters[i].type);
    emit_linef(" SUB rsp,%d", shadow_space_bytes);
    emit_linef(" CALL _Procedure%d", n);
    emit_linef(" ADD rsp,%d", pad + argument_slot_bytes * on_stack + shadow_space_bytes);
    emit_line(" RET");
}

void emit_clear_locals(int32_t locals_size) {
    int32_t s = locals_size - 40;
    if (s > 48) {
        emit_linef(" MOV rax,%d", s / 8);
        emit_line(".ClearLoop:");
        emit_line(" SUB rsp,8");
        emit_line(" MOV qword [rsp],0");
        emit_line(" DEC rax");
        emit_line(" JNZ .ClearLoop");
    } else if (s > 0) {
        emit_line(" XOR rax,rax");
        for (int32_t i = 0; i < (s - 1) / 8 + 1; i++) emit_line(" PUSH rax");
    }
    emit_line(" SUB rsp,40");
}

void emit_return_extension(uint32_t flags, uint32_t second_flags) {
    if (flags & PROC_RETURNS_BYTE) emit_line(" MOVSX rax,al");
    else if (second_flags & PROC_SECOND_ASCII) emit_line(" MOVZX rax,al");
    else if (second_flags & (PROC_SECOND_UNICODE | PROC_SECOND_CHARACTER)) emit_line(" MOVZX rax,ax");
    else if (flags & (PROC_RETURNS_LONG | PROC_RETURNS_FLOAT)) emit_line(" MOVSXD rax,eax");
    else if (!(flags & (PROC_RETURNS_DOUBLE | PROC_RETURNS_QUAD)) && !(second_flags & PROC_SECOND_INTEGER))
        emit_line(" MOVSX rax,ax");
}

void emit_push_constant(int type, int64_t value) {
    double real;
    std::memcpy(&real, &value, sizeof real);
    if (type == TYPE_FLOAT) {
        float f = (float)real;
        int32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        emit_linef(" MOV eax,%d", bits);
        emit_line(" PUSH rax");
        emitter_stack.push_depth += 8;
    } else if (type == TYPE_DOUBLE) {
        emit_linef(" PUSH qword [%s]", intern_double_constant(real));
        emitter_stack.push_depth += 8;
    } else if (type == TYPE_STRING) {
        // A string default is its literal text: the literal's address
        // (none for the empty string, which the runtime reads as "").
        const char* text;
        std::memcpy(&text, &value, sizeof text);
        bool empty = !text || !text[0] || std::strcmp(text, null_string_marker) == 0;
        int32_t number = empty ? 0 : intern_literal_string(text);
        emit_load_static_string(REGISTER_RAX, number, empty || number <= 0);
        emit_push_rax();
    } else {
        emit_push_immediate(value);
    }
}

void emit_procedure_string_result() {
    if (!thread_safe) {
        emit_line(" MOV rcx,[rsp]");
        int32_t remainder = emitter_stack.push_depth % 16;
        int32_t pad = remainder == 0 ? 32 : 48 - remainder;
        emit_linef(" SUB rsp,%d", pad);
        emit_line(" MOV qword [ZD_StringBasePosition],rcx");
        emit_line(" MOV rcx,rax");
        emit_line(" CALL SYS_CopyString");
        emit_linef(" ADD rsp,%d", pad);
    } else {
        // The position is set by a call, which need not keep rax: the
        // result's address waits on the stack meanwhile.
        emit_line(" PUSH rax");
        emitter_stack.push_depth += 8;
        emit_line(" MOV rcx,[rsp+8]");
        emit_call_frame_begin();
        emit_line(" CALL SYS_SetStringBasePosition");
        emit_call_frame_end();
        emit_line(" POP rcx");
        emitter_stack.push_depth -= 8;
        emit_call_frame_begin();
        emit_line(" CALL SYS_CopyString");
        emit_call_frame_end();
    }
    mark_runtime_used(RT_SYS_CopyString);
    code_emitted = 1;
    procedure_uses_string_stack = 1;
}

void emit_convert_string_argument(CallRecord* call, int type, bool literal, bool on_stack) {
    int32_t routine;
    const char* name;
    if (on_stack) {
        // The routines of the string-stack form take the temporary's offset.
        routine = type == TYPE_P_ASCII ? RT_SYS_BufferToAscii : type == TYPE_P_BSTR ? RT_SYS_BufferToBSTR
                                                                                    : RT_SYS_BufferToUTF8;
        name = type == TYPE_P_ASCII ? "SYS_BufferToAscii" : type == TYPE_P_BSTR ? "SYS_BufferToBSTR" : "SYS_BufferToUTF8";
        emit_line(" MOV rcx,[rsp]");
        emit_call_frame_begin();
        emit_linef(" CALL %s", name);
        emit_call_frame_end();
        emit_line(" MOV [rsp],rax");
    } else {
        routine = type == TYPE_P_ASCII ? RT_SYS_ToAscii : type == TYPE_P_BSTR ? RT_SYS_ToBSTR : RT_SYS_ToUTF8;
        name = type == TYPE_P_ASCII ? "SYS_ToAscii" : type == TYPE_P_BSTR ? "SYS_ToBSTR" : "SYS_ToUTF8";
        if (literal) {
            int32_t number = static_cast<int32_t>(current_operand.constant);
            emit_load_static_string(REGISTER_RCX, number, number <= 0 || number == null_string_number);
        } else {
            emit_linef(" MOV rcx,%s", current_operand.text);
        }
        emit_call_frame_begin();
        emit_linef(" CALL %s", name);
        emit_call_frame_end();
        emit_push_rax();
    }
    mark_runtime_used(routine);
    emit_linef(" MOV qword [rsp+%d],rax", pseudo_slot_offset(call, call->argument_index));
}

void emit_push_string_argument(CallRecord* call, int type) {
    bool literal = (current_operand.flags & OP_LITERAL) != 0;
    bool on_stack = !literal && (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) != 0;
    if (!literal && !on_stack && (current_operand.flags & OP_FIXED_STRING)) {
        // A fixed string need not end with a terminator: passed as a copy.
        emit_copy_string_operand(1);
        current_operand.flags = OP_STRING | OP_COMPUTED;
        on_stack = true;
    }
    int32_t index = call->argument_index;
    if (type == TYPE_P_ASCII || type == TYPE_P_BSTR || type == TYPE_P_UTF8) {
        emit_convert_string_argument(call, type, literal, on_stack);
        return;
    }
    if (on_stack) {
        // The offset pushed when the string was begun is the argument's
        // slot. The terminator is kept from the strings of the arguments
        // compiled after it (those before it in the list).
        if (index > 0) emit_increment_string_base_position();
        if (index >= 0 && index <= MAX_CALL_ARGUMENTS) call->offset_arguments[index] = 1;
        return;
    }
    if (literal) {
        int32_t number = static_cast<int32_t>(current_operand.constant);
        bool empty = number <= 0 || number == null_string_number;
        emit_load_static_string(REGISTER_RAX, number, empty);
        emit_push_rax();
        return;
    }
    emit_linef(" PUSH %s", current_operand.text);
    emitter_stack.push_depth += 8;
}

int32_t call_release_bytes(const CallRecord* call) {
    return emitter_stack.push_depth - call->start_depth;
}

// ---------------------------------------------------------------------------
// Procedure frames

void x64_begin_procedure(ProcedureRecord*) {
    saved_main_depth = emitter_stack.push_depth;
    emitter_stack.push_depth = 0;
    emitter_stack.call_frame_pad = 0;
    saved_thread_object_used = thread_object_used;
    thread_object_used = 0;
    saved_uses_rbp = procedure_uses_rbp;
    procedure_uses_rbp = 0;
    saved_string_stack = procedure_uses_string_stack;
    procedure_uses_string_stack = 0;
    register_stack.lowest_callee_saved = 4;
    local_equates_depth = 0;
    epilogue_pushed_rax = 0;
    if (!no_output_depth) emitter_stack.fpu_depth = 0;
}

void x64_begin_procedure_epilogue(ProcedureRecord* procedure) {
    int32_t n = procedure->id;
    emit_linef("_EndProcedureZero%d:", n + 1);
    if (procedure->flags & PROC_RETURNS_STRING) {
        if (thread_safe) {
            emit_line(" CALL SYS_GetStringBasePointer");
        } else {
            emit_line(" MOV rax,[ZD_StringBasePosition]");
            emit_line(" ADD rax,[ZD_StringBase]");
        }
        emit_line(" MOV word [rax],0");
    } else if (returns_x87(procedure)) {
        emit_line(" FLDZ");
    } else {
        emit_line(" XOR rax,rax");
    }
    emit_linef("_EndProcedure%d:", n + 1);
    emitter_stack.push_depth = 0;
    epilogue_open = 1;
    epilogue_pushed_rax = 0;
    gather_dynamic_locals();
    emit_procedure_debugger_tables(procedure);
    if (debugger_enabled && (procedure->second_flags & PROC_SECOND_DEBUGGER_ENTRY)) {
        x64_keep_return_value();
        emit_debugger_leave_procedure();
    }
}

void x64_keep_return_value() {
    if (!epilogue_open || epilogue_pushed_rax) return;
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
    epilogue_pushed_rax = 1;
}

void x64_finish_procedure(ProcedureRecord* procedure) {
    if (epilogue_pushed_rax) {
        emit_line(" POP rax");
        emitter_stack.push_depth -= 8;
    }
    epilogue_open = 0;
    epilogue_pushed_rax = 0;
    FrameLayout layout = compute_frame(local_frame_offset, register_stack.lowest_callee_saved, procedure_uses_rbp,
                                       thread_object_used);
    finish_procedure_debugger_tables(procedure, layout.frame);
    if (layout.locals) emit_linef(" ADD rsp,%d", layout.locals);
    if (procedure->flags & PROC_RETURNS_DOUBLE) {
        emit_line(" FSTP qword [rsp-8]");
        emit_line(" MOVSD xmm0,[rsp-8]");
    } else if (procedure->flags & PROC_RETURNS_FLOAT) {
        emit_line(" FSTP dword [rsp-8]");
        emit_line(" MOVSS xmm0,[rsp-8]");
    }
    if (!no_output_depth) emitter_stack.fpu_depth = 0;
    for (int r = layout.lowest; r <= 3; r++) emit_linef(" POP %s", register_name(8, r));
    if (layout.uses_rbp) emit_line(" POP rbp");
    emit_line(" RET");

    // The prologue, now that the frame is known, in front of the body; the
    // procedure buffer of the output serves as its scratch.
    procedure_buffer->write = procedure_buffer->start;
    procedure_buffer->start[0] = 0;
    TextBuffer* body = current_output_buffer();
    if (body) body->write = output_write_pointer;
    push_output_buffer(procedure_buffer);
    emit_prologue(procedure, layout);
    pop_output_buffer();
    insert_prologue_text();

    // The program output looks for string use in the main code only: a
    // procedure that uses strings says so here.
    if (!no_output_depth && (procedure_uses_string_stack || body_uses_strings(body))) strings_used = 1;

    emitter_stack.push_depth = saved_main_depth;
    emitter_stack.call_frame_pad = 0;
    thread_object_used |= saved_thread_object_used;
    procedure_uses_rbp = saved_uses_rbp;
    procedure_uses_string_stack |= saved_string_stack;
    register_stack.lowest_callee_saved = 3;
}

void x64_emit_procedure_return(ProcedureRecord* procedure, int with_value) {
    int32_t label = procedure->id + 1;
    if (with_value && (procedure->flags & PROC_RETURNS_STRING)) {
        // The result's address into rax; its text stays on the string
        // stack, where the caller takes it from.
        emit_string_result_pointer();
    } else if (with_value) {
        if (returns_x87(procedure)) {
            bool on_x87 = current_operand.kind == OPERAND_REGISTER && (current_operand.flags & OP_FLOAT);
            if (!on_x87) emit_load_operand(register_stack.top);
        } else {
            emit_load_operand_to_register(REGISTER_RAX);
            emit_return_extension(procedure->flags, procedure->second_flags);
        }
    }
    // Values that open blocks keep on the stack (Select) go with the jump.
    if (emitter_stack.push_depth > 0) emit_linef(" ADD rsp,%d", emitter_stack.push_depth);
    // Without a value the result is the type's zero (an empty string, 0.0
    // or 0), never what a register or the x87 stack happens to hold.
    if (!with_value) emit_linef(" JMP _EndProcedureZero%d", label);
    else emit_linef(" JMP _EndProcedure%d", label);
    if (with_value && returns_x87(procedure)) count_fpu_pop(1);
}

// ---------------------------------------------------------------------------
// Calls

void x64_begin_call(CallRecord* call) {
    // The write position of the string stack, saved under everything the
    // call pushes: a string result is copied there (its offset stays
    // pushed), and the temporaries of the arguments are given back from it.
    call->saved_string_position = 0;
    if (call->result == CALL_RESULT_STRING || call->string_stack_arguments) {
        emit_push_string_base_position();
        call->saved_string_position = 1;
    }
    call->saved_fpu = emit_save_fpu_stack();
    // One slot per pseudo-type parameter for its converted text, freed
    // after the call.
    call->pseudo_count = 0;
    for (int32_t i = 0; i < call->parameter_count; i++)
        if (is_pseudo_type(call->parameter_types[i])) call->pseudo_count++;
    if (call->pseudo_count) {
        emit_sub_rsp(8 * call->pseudo_count);
        emitter_stack.push_depth += 8 * call->pseudo_count;
    }
    call->start_depth = emitter_stack.push_depth;
    // The pad leaves rsp on a multiple of 16 at the call: what stays pushed
    // after the register loads (the slots beyond four) sits on top of it.
    int32_t r = ((emitter_stack.push_depth % 16) + 16) % 16;
    int32_t remaining = call->slot_count > 4 ? call->slot_count - 4 : 0;
    int32_t pad = (16 - (r + 8 * remaining) % 16) % 16;
    call->pad = pad;
    if (pad) {
        emit_sub_rsp(pad);
        emitter_stack.push_depth += pad;
    }
    // The hidden last argument of a string result: the write position.
    if (call->result == CALL_RESULT_STRING) emit_push_string_base_position();
}

void x64_push_call_argument(CallRecord* call, int type) {
    if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
        emit_push_string_argument(call, type);
        return;
    }
    uint32_t mode = MODE_INTEGER;
    switch (type) {
    case TYPE_FLOAT: mode = MODE_FLOAT; break;
    case TYPE_DOUBLE: mode = MODE_DOUBLE; break;
    case TYPE_QUAD: mode = MODE_QUAD; break;
    default: break;
    }
    emit_push_operand(mode);
}

void x64_push_structure_argument(CallRecord*, int type, StructureRecord* structure) {
    if (type == TYPE_STRUCTURE || type == PARAMETER_STRUCTURE_POINTER) {
        emit_push_immediate(structure ? structure->size : 0);
        return;
    }
    if (type == PARAMETER_STRUCTURE_DESCRIPTOR) {
        // The descriptor table (the front end passes none for a structure
        // without strings, arrays, lists or maps).
        if (!structure) {
            emit_push_immediate(0);
            return;
        }
        mark_structure_descriptor_needed(structure);
        emit_push_symbol_address(format_structure_symbol(structure));
        return;
    }
    // A structure map, written with the program's data for the marked
    // structures.
    if (!structure) {
        emit_push_immediate(0);
        return;
    }
    char symbol[32];
    snprintf(symbol, sizeof symbol, "SM_%d", structure->id);
    emit_push_symbol_address(symbol);
}

void x64_push_default_argument(CallRecord* call, int type, int64_t value) {
    if (is_pseudo_type(type)) {
        // Nothing converted: the slot is freed as a null pointer.
        emit_linef(" MOV qword [rsp+%d],0", pseudo_slot_offset(call, call->argument_index));
        emit_push_immediate(0);
        return;
    }
    emit_push_constant(type, value);
}

void x64_finish_call(CallRecord* call) {
    // Offsets of string-stack arguments become addresses now that no
    // argument can move the string stack any more.
    for (int32_t i = 0; i < call->slot_count && i <= MAX_CALL_ARGUMENTS; i++)
        if (call->offset_arguments[i]) emit_add_string_base_to_stack(8 * i);
    for (int32_t i = 0; i < call->slot_count; i++) emit_load_register_argument(call, i);
    extra_argument_slots = call->slot_count > 4 ? call->slot_count - 4 : 0;
    if (emitter_stack.push_depth != 0) {
        emit_line(" SUB rsp,32");
        emitter_stack.push_depth += 32;
    }
    switch (call->callee_kind) {
    case CALLEE_LIBRARY:
        emit_library_call_instruction(call->command, extra_argument_slots);
        break;
    case CALLEE_IMPORTED:
        // The linker symbol the function stands for ("MessageBoxW").
        emit_linef(" CALL %s", assembly_symbol(call->procedure->symbol_name ? call->procedure->symbol_name
                                                                            : procedure_name(call->procedure)));
        break;
    case CALLEE_PROTOTYPE:
        // The function is the variable's value, read at this depth, or the
        // value pushed below the arguments.
        if (call->prototype_variable) emit_linef(" CALL %s", format_variable_operand(call->prototype_variable));
        else emit_linef(" CALL qword [rsp+%d]", emitter_stack.push_depth - call->object_depth);
        break;
    default:
        emit_linef(" CALL _Procedure%d", call->procedure->id);
        // The procedure's statements moved the debugger's line away.
        if (debugger_code) emit_debugger_set_line();
        break;
    }
    int32_t release = call_release_bytes(call);
    if (release > 0) emit_linef(" ADD rsp,%d", release);
    emitter_stack.push_depth = call->start_depth;
    if (call->pseudo_count) {
        // The converted texts are freed; a float result waits in rax.
        bool float_result = call->result == CALL_RESULT_DOUBLE || call->result == CALL_RESULT_FLOAT;
        if (float_result) emit_line(" MOVQ rax,xmm0");
        int types[MAX_CALL_ARGUMENTS];
        int count = 0;
        for (int32_t i = 0; i < call->parameter_count; i++)
            if (is_pseudo_type(call->parameter_types[i])) types[count++] = call->parameter_types[i];
        emit_release_pseudo_types(types, count);
        if (float_result) emit_line(" MOVQ xmm0,rax");
    }

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
    } else if (call->result != CALL_RESULT_STRING) {
        if (call->callee_kind == CALLEE_LIBRARY) emit_library_result_extension(call->command);
        else if (call->callee_kind == CALLEE_IMPORTED) {
            if (call->result_flags & PROC_RETURNS_LONG) emit_line(" MOVSXD rax,eax");
        } else emit_return_extension(call->result_flags, call->result_second_flags);
    }
    emit_restore_fpu_stack(call->saved_fpu, on_x87);
    bool value_pushed = call->callee_kind == CALLEE_PROTOTYPE && !call->prototype_variable;
    if (call->result == CALL_RESULT_STRING) {
        // The saved position stays pushed: the result's offset.
        emit_procedure_string_result();
        if (value_pushed) emit_drop_pushed_callee(true);
        set_operand_register_text("rsp");
        return;
    }
    if (call->saved_string_position) emit_restore_string_base_position();
    if (value_pushed) emit_drop_pushed_callee(false);
    set_operand_register_text(on_x87 ? "st0" : "rax");
}
