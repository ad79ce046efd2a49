#include "backend_x64/x64_backend.h"

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_control_flow.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_data_read.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/emit_expression.h"
#include "backend_x64/emit_interface_calls.h"
#include "backend_x64/emit_jumps.h"
#include "backend_x64/emit_procedures.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/emit_structure_fields.h"
#include "backend_x64/peephole.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_expression_hooks.h"
#include "backend_x64/x64_tables.h"
#include "backend_x64/x64_variables.h"
#include "core/build_tools.h"
#include "core/output_buffers.h"
#include "driver/reassembly.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "core/error_numbers.h"

#include <string>

namespace {

// A prototype types nothing in the assembly file: calls through it push
// their arguments by the parameter list.
void x64_declare_prototype(ProcedureRecord*) {}

// The assembly file as it stands; the /PREPROCESS file with a byte-order
// mark, so that its literals are read back as UTF-8.
void x64_write_program_file(const char* path, int preprocessed)
{
    write_output_file(path, preprocessed ? 1 : 0);
}

// One run of label numbers for the whole assembly file: the front end's
// counters, blocks and conditions apart.
int32_t x64_take_label_number(int purpose)
{
    if (purpose == LABEL_FOR_BLOCK) return ++label_counter;
    return ++condition_label_counter;
}

// A source line as an assembly comment: "; " and the text without its
// leading blanks (a text that begins with ';' keeps that one), without
// control characters other than tabs and without bytes past ASCII.
void x64_emit_comment(const char* source_text)
{
    const char* p = source_text;
    while (*p == ' ' || *p == '\t') ++p;
    std::string line = "; ";
    if (*p == ';') {
        line = ";";
        ++p;
    }
    for (; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if ((c < 32 && c != '\t') || c >= 128) continue;
        line += static_cast<char>(c);
    }
    emit_line(line.c_str());
}

// The shared text names the C back end, which refuses the statement for
// its data array; this compiler refuses it as well, for bytes that would
// stand among the instructions and be run.
const MessageText x64_message_texts[] = {
    {ERROR_INCLUDEBINARY_OUTSIDE_DATASECTION, "IncludeBinary must be in DataSection."},
    {0, nullptr},
};

}  // namespace

const BackendHooks x64_backend_hooks = {
    .name = "x64",
    .init_backend_tables = init_backend_tables,
    .emit_line_marker = emit_line_marker,
    .add_debugger_line_entry = add_debugger_line_entry,
    .begin_debug_value = begin_debug_value,
    .emit_debug_value = emit_debug_value,
    .emit_call_debugger = emit_call_debugger,
    .emit_debugger_set_line = emit_debugger_set_line,
    .add_code_context_entry = add_code_context_entry,
    .emit_debugger_enter_procedure = x64_emit_debugger_enter_procedure,
    .emit_purifier_check = emit_purifier_check,
    .reset_program_output = reset_program_output,
    .finish_program = finish_x64_program,
    .emit_goto = x64_emit_goto,
    .emit_gosub = emit_gosub,
    .emit_return_from_gosub = emit_return_from_gosub,
    .emit_fake_return = emit_fake_return,
    .emit_end_statement = x64_emit_end_statement,
    .take_label_number = x64_take_label_number,
    .emit_if_test = x64_emit_if_test,
    .emit_if_branch_end = x64_emit_if_branch_end,
    .emit_end_if = x64_emit_end_if,
    .emit_while_begin = x64_emit_while_begin,
    .emit_while_test = x64_emit_while_test,
    .emit_wend = x64_emit_wend,
    .emit_repeat_begin = x64_emit_repeat_begin,
    .emit_until_begin = x64_emit_until_begin,
    .emit_until_test = x64_emit_until_test,
    .emit_forever = x64_emit_forever,
    .emit_for_begin = x64_emit_for_begin,
    .emit_for_test = x64_emit_for_test,
    .emit_next = x64_emit_next,
    .emit_foreach_end = x64_emit_foreach_end,
    .emit_break = x64_emit_break,
    .emit_continue = x64_emit_continue,
    .emit_leave_string_selects = x64_emit_leave_string_selects,
    .emit_select_push = x64_emit_select_push,
    .emit_select_drop = x64_emit_select_drop,
    .emit_case_close = x64_emit_case_close,
    .emit_case_value = x64_emit_case_value,
    .emit_case_range_start = x64_emit_case_range_start,
    .emit_case_range_end = x64_emit_case_range_end,
    .emit_case_body = x64_emit_case_body,
    .emit_end_select = x64_emit_end_select,
    .emit_condition_value = x64_emit_condition_value,
    .emit_comparison_value = x64_emit_comparison_value,
    .emit_bool = x64_emit_bool,
    .emit_logical_left = x64_emit_logical_left,
    .emit_logical_right = x64_emit_logical_right,
    .emit_logical_chain_end = x64_emit_logical_chain_end,
    .emit_logical_xor_left = x64_emit_logical_xor_left,
    .emit_logical_xor_right = x64_emit_logical_xor_right,
    .reset_expression_state = x64_reset_expression_state,
    .take_evaluation_place = x64_take_evaluation_place,
    .release_evaluation_place = x64_release_evaluation_place,
    .save_evaluation_state = x64_save_evaluation_state,
    .restore_evaluation_state = x64_restore_evaluation_state,
    .read_numbering = x64_read_numbering,
    .advance_numbering = x64_advance_numbering,
    .load_left_operand = x64_load_left_operand,
    .apply_operator = x64_apply_operator,
    .apply_operator_left_constant = x64_apply_operator_left_constant,
    .add_pending_constant = x64_add_pending_constant,
    .negate_operand = x64_negate_operand,
    .complement_operand = x64_complement_operand,
    .enter_float_mode = x64_enter_float_mode,
    .round_float_result_to_integer = x64_round_float_result_to_integer,
    .discard_float_result = x64_discard_float_result,
    .exchange_float_values = emit_fpu_exchange,
    .assign_result = x64_assign_result,
    .copy_structure = x64_copy_structure,
    .format_variable_operand = format_variable_operand,
    .name_locals_for_inline_assembly = emit_procedure_local_equates,
    .emit_local_cleanup = x64_emit_local_cleanup,
    .load_operand_address = x64_load_operand_address,
    .load_procedure_address = x64_load_procedure_address,
    .load_label_address = x64_load_label_address,
    .push_string_base_position = x64_push_string_base_position,
    .restore_string_base_position = x64_restore_string_base_position,
    .increment_string_base_position = x64_increment_string_base_position,
    .copy_string_to_stack = x64_copy_string_to_stack,
    .drop_string_offset = x64_drop_string_offset,
    .keep_compared_string = x64_keep_compared_string,
    .compare_strings = x64_compare_strings,
    .push_number_text_argument = x64_push_number_text_argument,
    .emit_number_text = x64_emit_number_text,
    .arrays = &x64_array_hooks,
    .data = &x64_data_hooks,
    .fields = &x64_field_hooks,
    .lists_maps = &x64_list_map_hooks,
    .declare_prototype = x64_declare_prototype,
    .begin_procedure = x64_begin_procedure,
    .begin_procedure_epilogue = x64_begin_procedure_epilogue,
    .finish_procedure = x64_finish_procedure,
    .emit_procedure_return = x64_emit_procedure_return,
    .begin_call = x64_begin_call,
    .push_call_argument = x64_push_call_argument,
    .push_default_argument = x64_push_default_argument,
    .push_container_argument = emit_push_container_argument,
    .push_structure_argument = x64_push_structure_argument,
    .finish_call = x64_finish_call,
    .optimize_code = optimize_code_buffer,
    .backend_constant = 0,
    .own_message_texts = x64_message_texts,
    .banner = "Zandrel 6.10 LTS (Windows - x64)\n",
    // The version text up to its first blank.
    .standby_version = "6.10",
    .program_file_name = "zandrel.asm",
    .write_program_file = x64_write_program_file,
    .build_program = build_executable,
    .reassemble_program = reassemble,
    .reset_line = ";",
    .inline_lines_are_c = 0,
    .emit_code_label = x64_emit_code_label,
    .outer_label_jumps = 1,
    .label_module_separator = ".",
    .emit_module_label_aliases = emit_module_label_aliases,
    .emit_comment = x64_emit_comment,
    .interfaces = &x64_interface_call_hooks,
};
