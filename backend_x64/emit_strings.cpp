#include "backend_x64/emit_strings.h"

#include <cstring>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_compare.h"
#include "backend_x64/emit_library_calls.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "core/backend_hooks.h"
#include "frontend/arrays.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"

namespace {

const char* q(int r) { return register_name(8, r); }

void push_register(const char* name) {
    emit_linef(" PUSH %s", name);
    emitter_stack.push_depth += 8;
}

void pop_register(const char* name) {
    emit_linef(" POP %s", name);
    emitter_stack.push_depth -= 8;
}

// " CALL <routine>" inside a call frame.
void emit_framed_call(const char* routine) {
    emit_call_frame_begin();
    emit_linef(" CALL %s", routine);
    emit_call_frame_end();
}

void note_string_stack_use() {
    code_emitted = 1;
    procedure_uses_string_stack = 1;
}

// The memory operand without its size prefix ("qword [v_a]" -> "[v_a]").
const char* address_text(const char* text) {
    const char* bracket = std::strchr(text, '[');
    return bracket ? bracket : text;
}

bool is_null_literal(int32_t number) { return number <= 0 || number == null_string_number; }

bool is_empty_literal(int32_t number) {
    if (is_null_literal(number)) return true;
    const LiteralString* literal = find_literal_by_number(number);
    return literal && literal->length == 0;
}

bool operand_is_literal() { return (current_operand.flags & OP_LITERAL) != 0; }
bool operand_on_stack() {
    return (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) != 0 && !operand_is_literal();
}

// Pops the offset of a temporary into r, frees the string stack from there
// on and turns the offset into the string's address (rcx and rdx only; in
// thread-safe mode rcx is kept when r is rdx).
void emit_pop_stack_string(int r) {
    pop_register(q(r));
    if (!thread_safe) {
        emit_linef(" MOV qword [ZD_StringBasePosition],%s", q(r));
        emit_linef(" ADD %s,[ZD_StringBase]", q(r));
        return;
    }
    if (r == REGISTER_RCX) {
        emit_framed_call("SYS_RestoreStringBasePosition");
        emit_line(" MOV rcx,rax");
        return;
    }
    push_register("rcx");
    emit_linef(" MOV rcx,%s", q(r));
    emit_framed_call("SYS_RestoreStringBasePosition");
    pop_register("rcx");
    emit_linef(" MOV %s,rax", q(r));
}

}  // namespace

// ---------------------------------------------------------------------------
// The write position

void emit_push_string_base_position() {
    note_string_stack_use();
    if (!thread_safe) {
        push_register("qword [ZD_StringBasePosition]");
        return;
    }
    push_register("rcx");
    emit_framed_call("SYS_GetStringBasePosition");
    pop_register("rcx");
    push_register("rax");
}

void emit_restore_string_base_position() {
    if (!thread_safe) {
        pop_register("qword [ZD_StringBasePosition]");
        return;
    }
    pop_register("rcx");
    push_register("rax");
    emit_framed_call("SYS_SetStringBasePosition");
    pop_register("rax");
}

void emit_increment_string_base_position() {
    if (!thread_safe) emit_line(" ADD qword [ZD_StringBasePosition],2");
    else emit_framed_call("SYS_IncrementStringBasePosition");
}

void emit_add_string_base_to_stack(int32_t offset) {
    if (!thread_safe) {
        emit_line(" MOV rdx,[ZD_StringBase]");
    } else {
        push_register("rax");
        emit_framed_call("SYS_GetStringBaseNoResult");
        emit_line(" MOV rdx,rax");
        pop_register("rax");
    }
    emit_linef(" ADD [rsp+%d],rdx", offset);
}

void emit_string_result_pointer() {
    if (!operand_on_stack()) emit_copy_string_operand(1);
    pop_register("rax");
    if (!thread_safe) {
        emit_line(" ADD rax,[ZD_StringBase]");
    } else {
        push_register("rax");
        emit_framed_call("SYS_GetStringBase");
        pop_register("rdx");
        emit_line(" ADD rax,rdx");
    }
    set_operand_register_text("rax");
}

// ---------------------------------------------------------------------------
// Copies onto the string stack

void emit_load_string_address(int r) {
    if (operand_is_literal()) {
        int32_t number = static_cast<int32_t>(current_operand.constant);
        emit_load_static_string(r, number, is_null_literal(number));
    } else if (current_operand.flags & OP_FIXED_STRING) {
        emit_linef(" LEA %s,%s", q(r), address_text(current_operand.text));
    } else {
        emit_linef(" MOV %s,%s", q(r), current_operand.text);
    }
}

void emit_copy_literal_string(int32_t number) {
    if (is_empty_literal(number)) emit_line(" XOR rcx,rcx");
    else emit_load_static_string(REGISTER_RCX, number, false);
    // The pad is written even at depth 0 and is not counted in the depth.
    int32_t remainder = emitter_stack.push_depth % 16;
    int32_t pad = remainder == 0 ? 32 : 48 - remainder;
    emit_linef(" SUB rsp,%d", pad);
    emit_line(" CALL SYS_CopyString");
    emit_linef(" ADD rsp,%d", pad);
    mark_runtime_used(RT_SYS_CopyString);
    note_string_stack_use();
}

void emit_copy_string_operand(int save_position) {
    if (operand_is_literal()) {
        if (save_position) emit_push_string_base_position();
        emit_copy_literal_string(static_cast<int32_t>(current_operand.constant));
    } else if (current_operand.flags & OP_FIXED_STRING) {
        // The address is taken before the save, at the depth the operand
        // text was formatted for.
        emit_linef(" LEA rcx,%s", address_text(current_operand.text));
        if (save_position) emit_push_string_base_position();
        emit_linef(" MOV rdx,%d", current_operand.size / 2);
        emit_framed_call("SYS_CopyFixedString");
        mark_runtime_used(RT_SYS_CopyFixedString);
    } else {
        emit_load_string_address(REGISTER_RCX);
        if (save_position) emit_push_string_base_position();
        emit_framed_call("SYS_CopyString");
        mark_runtime_used(RT_SYS_CopyString);
    }
    note_string_stack_use();
}

// ---------------------------------------------------------------------------
// Compares

void emit_string_compare_call(int op) {
    if (op == COMPARE_EQUAL || op == COMPARE_NOT_EQUAL) {
        mark_runtime_used(RT_SYS_StringEqual);
        emit_framed_call("SYS_StringEqual");
    } else if (op == COMPARE_LESS_EQUAL || op == COMPARE_GREATER) {
        mark_runtime_used(RT_SYS_StringSuperior);
        emit_framed_call("SYS_StringSuperior");
    } else {
        mark_runtime_used(RT_SYS_StringInferior);
        emit_framed_call("SYS_StringInferior");
    }
    emit_line(" OR rax,rax");
}

void emit_stacked_string_equal(int mode) {
    if (operand_on_stack()) emit_pop_stack_string(REGISTER_RDX);
    else emit_load_string_address(REGISTER_RDX);
    if (mode & 1) {
        if (!thread_safe) {
            emit_line(" MOV rcx,[rsp]");
            emit_line(" ADD rcx,[ZD_StringBase]");
        } else {
            push_register("rdx");
            emit_framed_call("SYS_GetStringBase");
            pop_register("rdx");
            emit_line(" MOV rcx,[rsp]");
            emit_line(" ADD rcx,rax");
        }
    } else {
        emit_line(" MOV rcx,[rsp]");
    }
    mark_runtime_used(RT_SYS_StringEqual);
    emit_framed_call("SYS_StringEqual");
    emit_line(" OR rax,rax");
}

// The truth test of the current string (not a literal): a temporary is
// popped and its first character compared with 0, which leaves ZF set for
// the empty string (true returned); any other string is compared with the
// empty one by SYS_StringEqual, which leaves ZF clear for it (false).
bool emit_string_truth_test() {
    if (operand_on_stack()) {
        emit_pop_stack_string(REGISTER_RCX);
        emit_line(" CMP word [rcx],0");
        note_string_stack_use();
        return true;
    }
    emit_load_string_address(REGISTER_RCX);
    emit_line(" XOR rdx,rdx");
    mark_runtime_used(RT_SYS_StringEqual);
    emit_framed_call("SYS_StringEqual");
    emit_line(" OR rax,rax");
    return false;
}

// ---------------------------------------------------------------------------
// Stores

void emit_assign_fixed_string(int32_t length_bytes, int32_t number) {
    emit_load_static_string(REGISTER_R8, number, is_null_literal(number));
    emit_linef(" MOV rdx,%d", length_bytes / 2);
    emit_line(" MOV rcx,rax");
    mark_runtime_used(RT_SYS_AssignFixedStringFast);
    emit_framed_call("SYS_AssignFixedStringFast");
}

void emit_assign_string(const AssignTarget* target) {
    const bool fixed_target = (target->flags & OP_FIXED_STRING) != 0;
    const int32_t fixed_chars = target->fixed_length > 0 ? target->fixed_length : target->size / 2;
    // A target address saved on the machine stack is read back into rbp
    // after the value, which may itself be addressed through rbp.
    auto reload_target_base = [target] {
        if (target->base_saved && backend->arrays && backend->arrays->emit_reload_element_address)
            backend->arrays->emit_reload_element_address();
    };
    // A fixed-string value need not end with a terminator: it is copied
    // onto the string stack first and stored from there.
    if (!operand_is_literal() && !operand_on_stack() && (current_operand.flags & OP_FIXED_STRING)) {
        emit_copy_string_operand(1);
        current_operand.flags = OP_STRING | OP_COMPUTED;
    }
    if (operand_is_literal()) {
        int32_t number = static_cast<int32_t>(current_operand.constant);
        if (fixed_target) {
            reload_target_base();
            emit_linef(" LEA rax,%s", address_text(target->text));
            emit_assign_fixed_string(fixed_chars * 2, number);
            return;
        }
        emit_load_static_string(REGISTER_RDX, number, is_null_literal(number));
        reload_target_base();
        emit_linef(" LEA rcx,%s", address_text(target->text));
        mark_runtime_used(RT_SYS_FastAllocateStringFree4);
        emit_framed_call("SYS_FastAllocateStringFree4");
        return;
    }
    if (operand_on_stack()) {
        // The offset is popped before the target's address is taken: the
        // target text was formatted at the depth without it.
        if (fixed_target) {
            pop_register("r8");
            reload_target_base();
            emit_linef(" LEA rcx,%s", address_text(target->text));
            emit_linef(" MOV rdx,%d", fixed_chars);
            mark_runtime_used(RT_SYS_AssignFixedString);
            emit_framed_call("SYS_AssignFixedString");
        } else {
            pop_register("rdx");
            reload_target_base();
            emit_linef(" LEA rcx,%s", address_text(target->text));
            mark_runtime_used(RT_SYS_AllocateString4);
            emit_framed_call("SYS_AllocateString4");
        }
        note_string_stack_use();
        return;
    }
    // A string variable: its text is copied straight from where it is.
    if (fixed_target) {
        emit_load_string_address(REGISTER_R8);
        reload_target_base();
        emit_linef(" LEA rcx,%s", address_text(target->text));
        emit_linef(" MOV rdx,%d", fixed_chars);
        mark_runtime_used(RT_SYS_AssignFixedStringFast);
        emit_framed_call("SYS_AssignFixedStringFast");
        return;
    }
    emit_load_string_address(REGISTER_RDX);
    reload_target_base();
    emit_linef(" LEA rcx,%s", address_text(target->text));
    mark_runtime_used(RT_SYS_FastAllocateStringFree4);
    emit_framed_call("SYS_FastAllocateStringFree4");
}

// ---------------------------------------------------------------------------
// The seam

void x64_push_string_base_position() { emit_push_string_base_position(); }
void x64_restore_string_base_position() { emit_restore_string_base_position(); }
void x64_increment_string_base_position() { emit_increment_string_base_position(); }
void x64_copy_string_to_stack(int save_position) { emit_copy_string_operand(save_position); }

void x64_drop_string_offset() {
    emit_line(" ADD rsp,8");
    emitter_stack.push_depth -= 8;
}

void x64_keep_compared_string() {
    if (current_operand.flags & OP_FIXED_STRING) {
        emit_linef(" LEA rax,%s", address_text(current_operand.text));
        push_register("rax");
    } else {
        push_register(current_operand.text);
    }
}

void x64_compare_strings(int token, int left_place, int32_t left_literal) {
    // The right string into rcx, then the left one into rdx.
    if (operand_on_stack()) emit_pop_stack_string(REGISTER_RCX);
    else emit_load_string_address(REGISTER_RCX);
    switch (left_place) {
    case STRING_PLACE_LITERAL:
        emit_load_static_string(REGISTER_RDX, left_literal, is_null_literal(left_literal));
        break;
    case STRING_PLACE_PUSHED:
        pop_register("rdx");
        break;
    default:
        emit_pop_stack_string(REGISTER_RDX);
        break;
    }
    emit_string_compare_call(token);
    set_operand_register_text("rax");
}

// ---------------------------------------------------------------------------
// Numbers as text

void x64_push_number_text_argument(int form) {
    emit_push_operand(form == 2 ? MODE_DOUBLE : form == 1 ? MODE_FLOAT : MODE_INTEGER);
}

// The argument waits at [rsp]. Str takes it in rcx, StrF and StrD in xmm0;
// the write position goes in rdx and stays pushed as the text's offset.
void x64_emit_number_text(const LibraryCommand* command, int form) {
    if (!thread_safe) {
        if (form == 0) pop_register("rcx");
        else emit_linef(" %s xmm0,%s [rsp]", form == 2 ? "MOVSD" : "MOVSS", form == 2 ? "qword" : "dword");
        if (form != 0) {
            emit_line(" ADD rsp,8");
            emitter_stack.push_depth -= 8;
        }
        emit_push_string_base_position();
        emit_push_string_base_position();
        pop_register("rdx");
    } else {
        // The position routines may change rcx and xmm0: the argument is
        // read from its slot afterwards, which then takes the offset.
        emit_push_string_base_position();
        emit_line(" MOV rdx,[rsp]");
        if (form == 0) emit_line(" MOV rcx,[rsp+8]");
        else emit_linef(" %s xmm0,%s [rsp+8]", form == 2 ? "MOVSD" : "MOVSS", form == 2 ? "qword" : "dword");
        emit_line(" MOV [rsp+8],rdx");
        emit_line(" ADD rsp,8");
        emitter_stack.push_depth -= 8;
    }
    emit_call_frame_begin();
    emit_linef(" CALL %s", library_routine_name(command));
    emit_call_frame_end();
    note_string_stack_use();
    set_operand_register_text("rsp");
}

// ---------------------------------------------------------------------------
// Program output

namespace {

void add_static_string(const LiteralString* literal, void*) {
    program_literal_strings.push_back({literal->number, literal->entry.key});
}

}  // namespace

void hand_over_literal_strings() {
    program_literal_strings.clear();
    for_each_literal_string(add_static_string, nullptr);
    null_literal_number = null_string_number ? null_string_number : -1;
}
