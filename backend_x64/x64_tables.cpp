#include "backend_x64/x64_tables.h"

#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

namespace {

// Rows by operand size 1, 2, 4, 8; columns by register index.
const char* const register_names_by_size[4][register_index_count] = {
    {"al", "r13b", "r14b", "r15b", "qword [ZD_StringBasePosition]", "BAD", "dl", "cl", "", "BAD",
     "r8b", "r9b", "r10b", "r11b", "r12b", "BAD", "BAD", "bl"},
    {"ax", "r13w", "r14w", "r15w", "qword [ZD_StringBasePosition]", "bp", "dx", "cx", "", "BAD",
     "r8w", "r9w", "r10w", "r11w", "r12w", "si", "di", "bx"},
    {"eax", "r13d", "r14d", "r15d", "qword [ZD_StringBasePosition]", "ebp", "edx", "ecx", "", "BAD",
     "r8d", "r9d", "r10d", "r11d", "r12d", "esi", "edi", "ebx"},
    {"rax", "r13", "r14", "r15", "qword [ZD_StringBasePosition]", "rbp", "rdx", "rcx", "", "rsp",
     "r8", "r9", "r10", "r11", "r12", "rsi", "rdi", "rbx"},
};
}  // namespace

void init_backend_tables()
{
    install_shared_backend_tables(register_names_by_size);

    DataDirectives.db = " db ";
    DataDirectives.dw = " dw ";
    DataDirectives.dd = " dd ";
    DataDirectives.dq = " dq ";
    DataDirectives.reserve_byte = " rb 1";
    DataDirectives.reserve_word = " rw 1";
    DataDirectives.reserve_dword = " rd 1";
    DataDirectives.reserve_qword = " rq 1";
    DataDirectives.rb = " rb ";
    DataDirectives.rq = " rq ";
    DataDirectives.data_align = "zd_align 8";
    DataDirectives.bss_align = "zd_bssalign 8";
    DataDirectives.empty = "";
    DataDirectives.frame_register = "rbp";
    DataDirectives.frame_operand = "[rbp]";
    static const char* const fpu_names[8] = {"st0", "st1", "st2", "st3", "st4", "st5", "st6", "st7"};
    for (int depth = 0; depth < 8; depth++) DataDirectives.fpu_register[depth] = fpu_names[depth];

    // Starting state of the evaluation registers and the x87 stack.
    register_stack.top = 3;
    register_stack.lowest = 3;
    register_stack.depth = 0;
    for (int32_t& live : register_stack.live) live = 0;
    if (!no_output_depth) emitter_stack.fpu_depth = 0;
}
