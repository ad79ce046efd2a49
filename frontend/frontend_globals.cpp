// Definitions of the front end's global state (see frontend_globals.h).
#include "frontend/frontend_globals.h"

// Source position
char* current_source_file = nullptr;
int64_t longest_line = 0;
int32_t total_lines = 0;
int32_t progress_line_counter = 0;
int32_t source_is_utf8_bom = 0;
int32_t included_file_count = 0;
int32_t current_file_index = 0;
std::string include_directory;
CursorList* IncludeFileList = nullptr;
CursorList* front_end_list = nullptr;
uint8_t continuation_candidate_chars[256] = {};

// Lexer state
uint8_t statement_start_chars[256] = {};

// Built-in constants the front end keeps up to date
ConstantRecord* constant_compiler_file = nullptr;
ConstantRecord* constant_compiler_file_path = nullptr;
ConstantRecord* constant_compiler_filename = nullptr;
ConstantRecord* constant_compiler_home = nullptr;
ConstantRecord* constant_compiler_procedure = nullptr;
ConstantRecord* constant_compiler_module = nullptr;
ConstantRecord* constant_compiler_line = nullptr;
ConstantRecord* constant_compiler_enumeration_value = nullptr;
ConstantRecord* constant_compiler_inline_assembly = nullptr;
ConstantRecord* constant_compiler_enable_explicit = nullptr;
ConstantRecord* constant_compiler_is_main_file = nullptr;
ConstantRecord* constant_compiler_is_include_file = nullptr;
