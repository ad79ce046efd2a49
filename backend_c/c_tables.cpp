// The shared back-end tables as the C-back-end compiler fills them, and the
// C back end's per-compilation reset.
#include "backend_c/c_structure_fields.h"
#include "backend_c/c_backend.h"

#include <cstring>

#include "backend_c/c_calls.h"
#include "backend_c/c_data_section.h"
#include "backend_c/c_data_statements.h"
#include "backend_c/c_debugger.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "core/backend_tables.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"

namespace {

// Rows by operand size 1, 2, 4, 8; columns by register index. The string
// base position is a C operand here.
const char* const register_names_by_size[4][register_index_count] = {
    {"al", "r13b", "r14b", "r15b", "qword [X]", "BAD", "dl", "cl", "", "BAD", "r8b", "r9b", "r10b", "r11b", "r12b", "BAD", "BAD", "bl"},
    {"ax", "r13w", "r14w", "r15w", "qword [X]", "bp", "dx", "cx", "", "BAD", "r8w", "r9w", "r10w", "r11w", "r12w", "si", "di", "bx"},
    {"eax", "r13d", "r14d", "r15d", "qword [X]", "ebp", "edx", "ecx", "", "BAD", "r8d", "r9d", "r10d", "r11d", "r12d", "esi", "edi", "ebx"},
    {"rax", "r13", "r14", "r15", "qword [X]", "rbp", "rdx", "rcx", "", "rsp", "r8", "r9", "r10", "r11", "r12", "rsi", "rdi", "rbx"},
};

}  // namespace

void c_init_backend_tables()
{
    install_shared_backend_tables(register_names_by_size);
    // The assembler's data directives have no meaning in C.
    DataDirectives = DataDirectiveTexts{};
    DataDirectives.dq = " dq ";
    DataDirectives.empty = "";
    static const char* const fpu_names[8] = {"st0", "st1", "st2", "st3", "st4", "st5", "st6", "st7"};
    for (int depth = 0; depth < 8; depth++) DataDirectives.fpu_register[depth] = fpu_names[depth];
}

void c_backend_reset()
{
    for (int32_t& mark : c_slot_marks) mark = 0;
    c_slot_stack_depth = 0;
    c_current_slot = c_first_expression_slot;
    c_lowest_slot = c_first_expression_slot;
    global_fixup_list = create_list(sizeof(PointerFixup), 2);
    local_fixup_list = create_list(sizeof(PointerFixup), 2);
    c_reset_program_blocks();
    c_reset_string_state();
    c_reset_procedure_state();
    c_reset_call_state();
    c_reset_field_chains();
    c_reset_data_statements();
    c_reset_debugger_tables();

    executable_at_output_path = 0;
    string_manager_used = 0;
    runtime_used = 0;
    gosub_used = 0;
    c_function_takes_label_addresses = 0;
    c_main_takes_label_addresses = 0;
    c_label_jump_written = 0;
    c_threaded_items_used = 0;
    c_threaded_object_size = 0;
    data_array_open = 0;
    empty_literal_number = -1;
    lists_created = 0;
    maps_created = 0;
    std::memset(c_runtime_used, 0, sizeof c_runtime_used);
    c_literal_table.clear();
    fixed_string_size_table.clear();

    // The data buffer stays empty until the zd_data array is opened: the
    // shared reset leaves the assembler's section line in it.
    if (data_buffer_start) {
        data_write_pointer = data_buffer_start;
        *data_write_pointer = 0;
    }
}
