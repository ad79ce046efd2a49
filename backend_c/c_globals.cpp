#include "backend_c/c_globals.h"

int32_t executable_at_output_path = 0;

int32_t string_manager_used = 0;
int32_t runtime_used = 0;
int32_t gosub_used = 0;
int32_t c_threaded_items_used = 0;
int64_t c_threaded_object_size = 0;
int32_t data_array_open = 0;
int32_t empty_literal_number = -1;
int32_t lists_created = 0;
int32_t maps_created = 0;
uint8_t c_runtime_used[C_RUNTIME_ROUTINE_COUNT] = {};

std::vector<CLiteralString> c_literal_table;
std::vector<int32_t> fixed_string_size_table;

int32_t c_function_takes_label_addresses = 0;
int32_t c_main_takes_label_addresses = 0;
int32_t c_label_jump_written = 0;

CursorList* global_fixup_list = nullptr;
CursorList* local_fixup_list = nullptr;

int32_t c_slot_marks[c_expression_slot_count] = {};
int32_t c_slot_stack_depth = 0;
int32_t c_current_slot = c_first_expression_slot;
int32_t c_lowest_slot = c_first_expression_slot;
