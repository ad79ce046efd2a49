// The Debug printers and the debugger's run-time checks of array indexes,
// static arrays in structures and ReDim of several dimensions.
#include <cstring>
#include <string>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

// The string stack copy of the string emitters; weak so that this file
// links while they are absent (a string is then printed from its address).
void emit_copy_string_operand(int save_position) __attribute__((weak));
void emit_push_string_base_position() __attribute__((weak));
void emit_restore_string_base_position() __attribute__((weak));

namespace {

// The string compiler's mark of a literal (frontend/strings.h).
constexpr uint32_t string_literal_flag = 0x200000;

// The string is a temporary whose start offset is pushed on the machine stack.
bool string_on_string_stack()
{
    uint32_t flags = current_operand.flags;
    return (flags & (OP_COMPUTED | OP_STRING_STACK)) != 0 && (flags & string_literal_flag) == 0;
}

// The index in the current operand into rax, widened by its size (a
// constant is loaded whole).
void load_index_into_rax()
{
    const char* text = current_operand.text;
    if (current_operand.kind == OPERAND_CONSTANT) {
        emit_linef(" MOV rax,%lld", (long long)current_operand.constant);
        return;
    }
    switch (current_operand.size) {
    case 8: emit_linef(" MOV rax,%s", text); break;
    case 4: emit_linef(" MOVSXD rax,%s", text); break;
    default:
        if (current_operand.flags & OP_UNSIGNED) emit_linef(" MOVZX rax,%s", text);
        else emit_linef(" MOVSX rax,%s", text);
        break;
    }
}

// The address of the array variable's slot: the pointer operand without its
// size prefix.
const char* slot_address(const char* pointer_operand)
{
    if (std::strncmp(pointer_operand, "qword ", 6) == 0) return pointer_operand + 6;
    if (std::strncmp(pointer_operand, "dword ", 6) == 0) return pointer_operand + 6;
    return pointer_operand;
}

void emit_dimension_runtime_check(const char* pointer_operand, int32_t dimension, const char* routine)
{
    emit_linef(" LEA rdx,%s", slot_address(pointer_operand));
    emit_line(" MOV r8,rdx");
    emit_line(" MOV rdx,rax");
    emit_linef(" MOV rcx,%d", dimension);
    emit_call_frame_begin();
    emit_linef(" CALL %s", routine);
    emit_call_frame_end();
}

}  // namespace

void emit_debug_print_string(int rebase)
{
    if (rebase) {
        if (thread_safe) emit_line(" CALL SYS_GetStringBase");
        else emit_line(" MOV rax,[ZD_StringBase]");
        emit_line(" ADD [rsp],rax");
    }
    emit_line(" MOV rcx,[rsp]");
    emit_aligned_call("ZD_DEBUGGER_PrintString", 8);
}

void emit_debug_print_float()
{
    emit_line(" MOVSS XMM0,[rsp]");
    emit_aligned_call("ZD_DEBUGGER_PrintFloat", 8);
}

void emit_debug_print_quad()
{
    emit_line(" MOV rcx,[rsp]");
    emit_aligned_call("ZD_DEBUGGER_PrintQuad", 8);
}

void emit_debug_print_double()
{
    emit_line(" MOVSD XMM0,[rsp]");
    emit_aligned_call("ZD_DEBUGGER_PrintDouble", 8);
}

void begin_debug_value()
{
    if (emit_push_string_base_position) emit_push_string_base_position();
}

void emit_debug_value()
{
    uint32_t flags = current_operand.flags;
    if (current_operand.kind == OPERAND_STRING || (flags & OP_STRING)) {
        int rebase = 1;
        if (!string_on_string_stack()) {
            if (emit_copy_string_operand) {
                // A fixed string, a variable or a literal: copied to the
                // string stack, its start offset pushed.
                emit_copy_string_operand(1);
            } else {
                emit_push_operand(MODE_INTEGER);
                rebase = 0;
            }
        }
        emit_debug_print_string(rebase);
    } else if (current_operand.kind == OPERAND_CONSTANT) {
        if (flags & OP_FLOAT) {
            emit_push_operand(MODE_DOUBLE);
            emit_debug_print_double();
        } else {
            emit_push_operand(MODE_QUAD);
            emit_debug_print_quad();
        }
    } else if (flags & OP_DOUBLE) {
        emit_push_operand(MODE_DOUBLE);
        emit_debug_print_double();
    } else if (flags & OP_FLOAT) {
        emit_push_operand(MODE_FLOAT);
        emit_debug_print_float();
    } else {
        emit_push_operand(MODE_QUAD);
        emit_debug_print_quad();
    }
    emitter_stack.push_depth -= 8;
    if (emit_push_string_base_position && emit_restore_string_base_position) emit_restore_string_base_position();
}

void emit_array_index_check(const char* pointer_operand)
{
    emit_linef(" MOV rax,%lld", (long long)current_operand.constant);
    emit_linef(" MOV rdx,%s", pointer_operand);
    emit_line(" CALL _DBG_A");
}

void emit_array_index_check_register(const char* pointer_operand, const char* register_name)
{
    emit_linef(" MOV rax,%s", register_name);
    emit_linef(" MOV rdx,%s", pointer_operand);
    emit_line(" CALL _DBG_A");
}

void emit_multi_array_dimension_check(const char* pointer_operand, int32_t dimension)
{
    load_index_into_rax();
    emit_dimension_runtime_check(pointer_operand, dimension, "SYS_CheckMultiArrayDimension");
}

void emit_redim_dimension_check(const char* pointer_operand, int32_t dimension, const char* size_text)
{
    emit_linef(" MOV rax,%s", size_text);
    emit_dimension_runtime_check(pointer_operand, dimension, "SYS_CheckRedimDimension");
}

void emit_structure_array_check(int64_t element_count)
{
    load_index_into_rax();
    emit_linef(" MOV rdx,%lld", (long long)element_count);
    emit_line(" CALL _DBG_SA");
}

// The array hooks: the pointer operand is formatted first, since formatting
// may write a line of its own (an array parameter's address, a reload of the
// thread object) and its text lives in a buffer that the next format reuses.
void x64_emit_index_check(ArrayRecord* array, const char* register_name)
{
    std::string pointer = format_array_pointer_operand(array);
    if (register_name) emit_array_index_check_register(pointer.c_str(), register_name);
    else emit_array_index_check(pointer.c_str());
}

void x64_emit_multi_index_check(ArrayRecord* array, int32_t dimension)
{
    std::string pointer = format_array_pointer_operand(array);
    emit_multi_array_dimension_check(pointer.c_str(), dimension);
}

void x64_emit_redim_check(ArrayRecord* array, int32_t dimension, const char* size_text)
{
    std::string pointer = format_array_pointer_operand(array);
    emit_redim_dimension_check(pointer.c_str(), dimension, size_text);
}
