#include "backend_c/c_backend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "backend_c/c_blocks.h"
#include "backend_c/c_arrays.h"
#include "backend_c/c_lists_maps.h"
#include "backend_c/c_build.h"
#include "backend_c/c_calls.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_conditions.h"
#include "backend_c/c_data_statements.h"
#include "backend_c/c_debugger.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_labels.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_structure_fields.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/number_literals.h"
#include "platform/platform.h"

namespace {

const char* const c_version_text = "6.10 LTS - C Backend";

// A '!' line is C (EnableASM is refused), which names the locals itself.
void c_name_no_locals_for_assembly() {}

// The C compiler optimises the C file itself.
void c_leave_optimising_to_the_c_compiler() {}

// Every message in the shared table's words.
const MessageText c_message_texts[] = {
    {0, nullptr},
};

}  // namespace

const BackendHooks c_backend_hooks = {
    .name = "C",
    .init_backend_tables = c_init_backend_tables,
    .emit_line_marker = c_emit_line_marker,
    .add_debugger_line_entry = c_add_debugger_line_entry,
    .begin_debug_value = c_begin_debug_value,
    .emit_debug_value = c_emit_debug_value,
    .emit_call_debugger = c_emit_call_debugger,
    .emit_debugger_set_line = c_emit_debugger_set_line,
    .add_code_context_entry = c_add_code_context_entry,
    .emit_debugger_enter_procedure = c_emit_debugger_enter_procedure,
    .emit_purifier_check = c_emit_purifier_check,
    .reset_program_output = c_backend_reset,
    .finish_program = c_finish_program,
    .emit_goto = c_emit_goto,
    .emit_gosub = c_emit_gosub,
    .emit_return_from_gosub = c_emit_return_from_gosub,
    .emit_fake_return = c_emit_fake_return,
    .emit_end_statement = c_emit_end_statement,
    .take_label_number = c_take_label_number,
    .emit_if_test = c_emit_if_test,
    .emit_if_branch_end = c_emit_if_branch_end,
    .emit_end_if = c_emit_end_if,
    .emit_while_begin = c_emit_while_begin,
    .emit_while_test = c_emit_while_test,
    .emit_wend = c_emit_wend,
    .emit_repeat_begin = c_emit_repeat_begin,
    .emit_until_begin = c_emit_until_begin,
    .emit_until_test = c_emit_until_test,
    .emit_forever = c_emit_forever,
    .emit_for_begin = c_emit_for_begin,
    .emit_for_test = c_emit_for_test,
    .emit_next = c_emit_next,
    .emit_foreach_end = c_emit_foreach_end,
    .emit_break = c_emit_break,
    .emit_continue = c_emit_continue,
    .emit_leave_string_selects = c_emit_leave_string_selects,
    .emit_select_push = c_emit_select_push,
    .emit_select_drop = c_emit_select_drop,
    .emit_case_close = c_emit_case_close,
    .emit_case_value = c_emit_case_value,
    .emit_case_range_start = c_emit_case_range_start,
    .emit_case_range_end = c_emit_case_range_end,
    .emit_case_body = c_emit_case_body,
    .emit_end_select = c_emit_end_select,
    .emit_condition_value = c_emit_condition_value,
    .emit_comparison_value = c_emit_comparison_value,
    .emit_bool = c_emit_bool,
    .emit_logical_left = c_emit_logical_left,
    .emit_logical_right = c_emit_logical_right,
    .emit_logical_chain_end = c_emit_logical_chain_end,
    .emit_logical_xor_left = c_emit_logical_xor_left,
    .emit_logical_xor_right = c_emit_logical_xor_right,
    .reset_expression_state = c_reset_expression_state,
    .take_evaluation_place = c_take_evaluation_place,
    .release_evaluation_place = c_release_evaluation_place,
    .save_evaluation_state = c_save_evaluation_state,
    .restore_evaluation_state = c_restore_evaluation_state,
    .read_numbering = c_read_numbering,
    .advance_numbering = c_advance_numbering,
    .load_left_operand = c_load_left_operand,
    .apply_operator = c_apply_operator,
    .apply_operator_left_constant = c_apply_operator_left_constant,
    .add_pending_constant = c_add_pending_constant,
    .negate_operand = c_negate_operand,
    .complement_operand = c_complement_operand,
    .enter_float_mode = c_enter_float_mode,
    .round_float_result_to_integer = c_round_float_result_to_integer,
    .discard_float_result = c_discard_float_result,
    .exchange_float_values = c_exchange_float_values,
    .assign_result = c_assign_result,
    .copy_structure = c_copy_structure,
    .format_variable_operand = c_format_variable_operand,
    .name_locals_for_inline_assembly = c_name_no_locals_for_assembly,
    .emit_local_cleanup = c_emit_local_cleanup,
    .load_operand_address = c_load_operand_address,
    .load_procedure_address = c_load_procedure_address,
    .load_label_address = c_load_label_address,
    .push_string_base_position = c_push_string_base_position,
    .restore_string_base_position = c_restore_string_base_position,
    .increment_string_base_position = c_increment_string_base_position,
    .copy_string_to_stack = c_copy_string_to_stack,
    .drop_string_offset = c_drop_string_offset,
    .keep_compared_string = c_keep_compared_string,
    .compare_strings = c_compare_strings,
    .push_number_text_argument = c_push_number_text_argument,
    .emit_number_text = c_emit_number_text,
    .arrays = &c_array_hooks,
    .data = &c_data_hooks,
    .fields = &c_field_hooks,
    .lists_maps = &c_list_map_hooks,
    .declare_prototype = c_declare_prototype,
    .begin_procedure = c_begin_procedure,
    .begin_procedure_epilogue = c_begin_procedure_epilogue,
    .finish_procedure = c_finish_procedure,
    .emit_procedure_return = c_emit_procedure_return,
    .begin_call = c_begin_call,
    .push_call_argument = c_push_call_argument,
    .push_default_argument = c_push_default_argument,
    .push_container_argument = c_push_container_argument,
    .push_structure_argument = c_push_structure_argument,
    .finish_call = c_finish_call,
    .optimize_code = c_leave_optimising_to_the_c_compiler,
    .backend_constant = 1,
    .own_message_texts = c_message_texts,
    .banner = "Zandrel 6.10 LTS - C Backend (Windows - x64)\n",
    .standby_version = c_version_text,
    .program_file_name = "zandrel.c",
    .write_program_file = c_write_program_file,
    .build_program = c_build_executable,
    .reassemble_program = c_reassemble,
    .reset_line = "//",
    .inline_lines_are_c = 1,
    .emit_code_label = c_emit_code_label,
    // A C label belongs to its function.
    .outer_label_jumps = 0,
    .label_module_separator = "$",
    .emit_module_label_aliases = c_labels_emit_module,
    .emit_comment = c_emit_comment,
    .interfaces = &c_interface_call_hooks,
};

int c_compiler_version_number()
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s", c_version_text);
    for (char* p = buffer; *p; p++) {
        if (*p == ' ') {
            *p = 0;
            break;
        }
    }
    int major = 0;
    int minor = 0;
    std::sscanf(buffer, "%d.%d", &major, &minor);
    return major * 100 + minor;
}

void c_extend_tool_path(const std::string& tools)
{
    const char* path = std::getenv("PATH");
    if (!path) return;
    // Linux form: a native folder, ':' between the entries.
    std::string folder = os_native_path((tools + "gcc").c_str());
    std::string value = folder + ":" + path;
    setenv("PATH", value.c_str(), 1);
}

int c_main(int argc, char** argv)
{
    install_backend(&c_backend_hooks);
    c_extend_tool_path(derive_home_folder(os_module_path()) + "Compilers\\");
    return compiler_main(argc, argv);
}
