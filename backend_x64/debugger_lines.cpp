// Line markers, the register save block, the aligned debugger call, the
// procedure-entry notice and the valid-lines and code-context tables.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/symbols.h"

int32_t valid_lines_row_count = -1;

namespace {

// Structure and Interface blocks write neither the store nor the call.
bool inside_declaration_block()
{
    return in_structure || in_interface;
}

bool debugger_calls_active()
{
    return debugger_code && !inside_declaration_block();
}

// Appends text at a table's write end and grows the table when its margin
// is used up (`grow`), whatever the output depth.
void append_to_table(TextBuffer* table, const char* text, bool grow)
{
    size_t length = std::strlen(text);
    if (table->write + length + 1 > table->start + table->size) {
        grow_text_buffer(table, table->size + int64_t(length) + 1);
    }
    std::memcpy(table->write, text, length + 1);
    table->write += length;
    if (grow) grow_text_buffer(table, table->write - table->start);
}

}  // namespace

int32_t current_line_code()
{
    return int32_t((uint32_t(current_file_index) << 20) + uint32_t(current_line) + uint32_t(continuation_count));
}

void emit_line_marker(const char* routine)
{
    if (line_numbering && !inside_declaration_block()) {
        emit_linef(" MOV dword [CLN],%d", current_line_code() + 1);
    }
    if (debugger_calls_active()) {
        emit_linef(" MOV rcx,%d", current_line_code());
        emit_linef(" CALL %s", routine);
    }
}

void emit_debugger_set_line()
{
    emit_linef(" MOV rcx,%d", current_line_code());
    emit_line(" CALL _DBG_SL");
}

void emit_save_all_registers()
{
    static const char* const lines[] = {
        " SUB rsp,8", " PUSHFQ ",  " PUSH r15", " PUSH r14", " PUSH r13", " PUSH r12",
        " PUSH r11",  " PUSH r10", " PUSH r9",  " PUSH r8",  " PUSH rsp", " PUSH rbp",
        " PUSH rbx",  " PUSH rax", " PUSH rdi", " PUSH rsi", " PUSH rdx", " PUSH rcx",
    };
    for (const char* line : lines) emit_line(line);
}

void emit_restore_all_registers()
{
    static const char* const lines[] = {
        " POP rcx", " POP rdx", " POP rsi", " POP rdi", " POP rax", " POP rbx",
        " POP rbp", " POP rsp", " POP r8",  " POP r9",  " POP r10", " POP r11",
        " POP r12", " POP r13", " POP r14", " POP r15", " POPFQ ",  " ADD rsp,8",
    };
    for (const char* line : lines) emit_line(line);
}

void emit_aligned_call(const char* routine, int32_t extra_bytes)
{
    int32_t remainder = emitter_stack.push_depth % 16;
    int32_t pad = remainder != 0 ? 16 - remainder : 0;
    emit_linef(" SUB rsp,%d", pad + 32);
    emit_linef(" CALL %s", routine);
    emit_linef(" ADD rsp,%d", pad + 32 + extra_bytes);
}

void emit_call_debugger()
{
    emit_line_marker("DBL");
    if (!debugger_calls_active()) return;
    emit_save_all_registers();
    emit_line(" MOV rcx,rsp");
    emit_aligned_call("ZD_DEBUGGER_Break", 0);
    emit_restore_all_registers();
}

void emit_debugger_enter_procedure(int32_t procedure_id)
{
    if (!debugger_calls_active()) return;
    emit_line(" MOV rdx,rsp");
    emit_linef(" MOV rcx,%d", procedure_id / 2);
    emit_line(" CALL ZD_DEBUGGER_EnterProcedure");
}

// The body starts at push depth 0 on a 16-byte aligned stack with the 40
// reserved bytes below it, which serve as the calls' shadow space.
void x64_emit_debugger_enter_procedure(ProcedureRecord* procedure)
{
    if (!debugger_calls_active()) return;
    if (!no_output_depth) procedure->second_flags |= PROC_SECOND_DEBUGGER_ENTRY;
    emit_debugger_enter_procedure(procedure->id);
    if (purifier_enabled) {
        emit_line(" MOV rdx,rsp");
        emit_linef(" MOV rcx,qword PM_%d", procedure->id);
        emit_line(" CALL ZD_PURIFIER_EnterProcedure");
    }
}

void emit_debugger_leave_procedure()
{
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
    emit_aligned_call("ZD_DEBUGGER_LeaveProcedure", 0);
    emit_line(" POP rax");
    emitter_stack.push_depth -= 8;
}

namespace {

// The bytes that emit_save_all_registers puts on the stack.
constexpr int32_t saved_registers_size = 18 * 8;

}  // namespace

void emit_purifier_check(int after_assembly)
{
    if (after_assembly) {
        emit_save_all_registers();
        emitter_stack.push_depth += saved_registers_size;
        emit_purifier_check(0);
        emitter_stack.push_depth -= saved_registers_size;
        emit_restore_all_registers();
        return;
    }
    emit_line(" MOV rcx,qword PMG");
    if (in_procedure) {
        emit_linef(" MOV rdx,qword PM_%d", current_procedure_id);
        if (emitter_stack.push_depth) emit_linef(" LEA r8,[rsp+%d]", emitter_stack.push_depth);
        else emit_line(" MOV r8,rsp");
    } else {
        emit_line(" XOR rdx,rdx");
        emit_line(" XOR r8,r8");
    }
    emit_call_frame_begin();
    emit_line(" CALL ZD_PURIFIER_Check");
    emit_call_frame_end();
}

void emit_purifier_local_map(ProcedureRecord* procedure, const std::vector<int32_t>& guard_offsets)
{
    std::string text = "PM_" + std::to_string(procedure->id) + ":\n";
    for (int32_t offset : guard_offsets) text += " dd " + std::to_string(offset) + "\n";
    text += " dd -1\n";
    emit_data_text(text.c_str());
}

void add_debugger_line_entry()
{
    TextBuffer* table = valid_lines_buffer;
    if (!table) return;
    // A table that holds only its head was reset for a new compilation.
    if (table->write - table->start == int64_t(std::strlen("zd_public ZD_DEBUGGER_ValidLines"))) {
        valid_lines_row_count = -1;
    }
    char text[32];
    if (valid_lines_row_count == -1 || valid_lines_row_count > 32) {
        std::snprintf(text, sizeof text, "\n dd %d", current_line_code());
        append_to_table(table, text, true);
        valid_lines_row_count = 0;
    } else {
        std::snprintf(text, sizeof text, ",%d", current_line_code());
        append_to_table(table, text, false);
        valid_lines_row_count++;
    }
}

void add_code_context_entry(int32_t kind, const char* name)
{
    TextBuffer* table = code_context_buffer;
    if (!table) return;
    std::string record = "\n dd " + std::to_string(current_line_code()) + "\n db " + std::to_string(kind) + ",\"" +
                         (name ? name : "") + "\",0";
    append_to_table(table, record.c_str(), true);
}
