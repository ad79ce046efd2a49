#include "backend_x64/emit_operands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

void emit_store_int_to_variable(const char* operand, int32_t value) {
    emit_linef(" MOV %s,%d", operand, value);
}

void emit_store_quad_to_variable(const char* operand, int64_t value) {
    if (value >= 0 && value <= INT32_MAX) {
        emit_linef(" MOV %s,%lld", operand, (long long)value);
        return;
    }
    // "qword [...]" becomes "dword [...]", and "dword [...+4]" for the upper half.
    char low[512], high[512];
    snprintf(low, sizeof low, "d%s", operand[0] ? operand + 1 : operand);
    snprintf(high, sizeof high, "%s", low);
    char* close = strrchr(high, ']');
    if (close) snprintf(close, sizeof high - (close - high), "+4]");
    emit_linef(" MOV %s,%d", high, (int32_t)(value >> 32));
    emit_linef(" MOV %s,%d", low, (int32_t)(uint32_t)value);
}

void emit_copy_structure(const char* target, const char* descriptor, int32_t byte_size) {
    emit_lea_operand(target, REGISTER_RCX);
    emit_line(" MOV r9,rax");
    if (descriptor) emit_load_symbol_address(descriptor, REGISTER_R8);
    else emit_line(" XOR r8,r8");
    emit_linef(" MOV rdx,%d", byte_size);
    mark_runtime_used(RT_SYS_CopyStructure);
    emit_call_frame_begin();
    emit_line(" CALL SYS_CopyStructure");
    emit_call_frame_end();
}

void emit_free_structure_strings(const char* descriptor, const char* qword_symbol) {
    emit_load_symbol_address(descriptor, REGISTER_RDX);
    const char* text = qword_symbol;
    if (strncmp(text, "qw", 2) == 0 || strncmp(text, "dw", 2) == 0) {
        const char* blank = strchr(text, ' ');
        if (blank) text = blank + 1;
    }
    // A data-section symbol comes without brackets; LEA needs a memory operand.
    if (text[0] == '[') emit_linef(" LEA rcx,%s", text);
    else emit_linef(" LEA rcx,[%s]", text);
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
    mark_runtime_used(RT_SYS_FreeStructureStrings);
    emit_call_frame_begin();
    emit_line(" CALL SYS_FreeStructureStrings");
    emit_call_frame_end();
    emit_line(" POP rax");
    emitter_stack.push_depth -= 8;
}

void emit_init_dynamic_structure(StructureRecord* structure, const char* address) {
    structure->flags |= STRUCT_NEEDS_INIT;
    mark_structure_descriptor_needed(structure);
    emit_load_symbol_address(format_structure_symbol(structure), REGISTER_RDX);
    emit_linef(" LEA rcx,%s", address);
    mark_runtime_used(RT_SYS_InitDynamicStructure);
    emit_line(" CALL SYS_InitDynamicStructure");
}

void emit_free_string(const char* operand) {
    emit_mov_register_text(operand, REGISTER_RCX);
    mark_runtime_used(RT_SYS_FreeString);
    emit_call_frame_begin();
    emit_line(" CALL SYS_FreeString");
    emit_call_frame_end();
}

void emit_swap_values(const char* target, int size) {
    std::string a = current_operand.text;
    std::string b;
    if (target) {
        b = target;
    } else {
        emit_line(" POP rcx");
        emitter_stack.push_depth -= 8;
        b = "[rcx]";
        bool on_stack = a.starts_with("qword [rsp") || a.starts_with("dword [rsp") || a.starts_with("word [rsp") ||
                        a.starts_with("byte [rsp");
        size_t close = a.rfind(']');
        if (on_stack && close != std::string::npos) a.replace(close, std::string::npos, "+-8]");
    }
    const char* r0 = register_name(size, REGISTER_RAX);
    const char* r6 = register_name(size, REGISTER_RDX);
    emit_linef(" MOV %s,%s", r0, a.c_str());
    emit_linef(" MOV %s,%s", r6, b.c_str());
    emit_linef(" MOV %s,%s", a.c_str(), r6);
    emit_linef(" MOV %s,%s", b.c_str(), r0);
}

void emit_helper_prologue() {
    emit_line(" PUSH rbp");
    emit_line(" PUSH rcx");
    emit_line(" PUSH rcx");
    emit_line(" SUB rsp,32");
}

void emit_helper_epilogue() {
    emit_line(" ADD rsp,48");
    emit_line(" POP rbp");
    emit_line(" RET");
}
