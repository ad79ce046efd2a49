#include "backend_x64/emit_jumps.h"

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"

int32_t gosub_counter = 0;

void reset_jump_state()
{
    gosub_counter = 0;
}

void emit_jump_label(const char* prefix, const char* name)
{
    emit_linef(" JMP %s%s", prefix, name);
}

void emit_jump_numbered_label(const char* prefix, int32_t number)
{
    emit_linef(" JMP %s%d", prefix, number);
}

void emit_gosub(const char* label)
{
    int32_t pad = (16 - emitter_stack.push_depth % 16) % 16;
    if (pad) emit_linef(" SUB rsp,%d", pad);
    emit_linef(" LEA rax,[g_%d]", gosub_counter);
    emit_line(" PUSH rax");
    emit_linef(" PUSH qword %d", pad);
    emit_line(" SUB rsp,32");
    emit_linef(" JMP %s", label);
    emit_linef("g_%d:", gosub_counter);
    gosub_counter++;
}

void emit_return_from_gosub()
{
    emit_line(" ADD rsp,32");
    emit_line(" POP rax");
    emit_line(" POP rdx");
    emit_line(" ADD rsp,rax");
    emit_line(" JMP rdx");
}

void emit_fake_return()
{
    emit_line(" ADD rsp,32");
    emit_line(" POP rax");
    emit_line(" POP rdx");
    emit_line(" ADD rsp,rax");
}

void emit_end_statement(bool with_value)
{
    if (with_value) {
        if (expression_mode & MODE_FLOAT) emit_fpu_result_to_register(REGISTER_RAX);
        else emit_load_operand(REGISTER_RAX);
        emit_line(" MOV [ZD_ExitCode],rax");
    }
    int32_t pad = emit_align_stack16();
    emit_line(" JMP _ZD_EOP");
    emitter_stack.push_depth -= pad;
}

void x64_emit_goto(const char* label)
{
    emit_jump_label("", label);
}

void x64_emit_code_label(const char* name)
{
    emit_line2(name, ":");
}

void x64_emit_end_statement(int with_value)
{
    emit_end_statement(with_value != 0);
}
