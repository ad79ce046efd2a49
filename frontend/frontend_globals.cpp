// Definitions of the front end's global state (see frontend_globals.h).
#include "frontend/frontend_globals.h"

// Source position
char* current_source_file = nullptr;
int32_t current_line = 0;
int32_t continuation_count = 0;
char* continuation_starts[max_continuation_lines] = {};
int64_t longest_line = 0;
int32_t total_lines = 0;
int32_t progress_line_counter = 0;
int32_t source_is_utf8_bom = 0;
int32_t include_depth = 0;
int32_t included_file_count = 0;
int32_t current_file_index = 0;
char* current_include_name = nullptr;
std::string include_directory;
CursorList* IncludeFileList = nullptr;
CursorList* front_end_list = nullptr;
int32_t error_include_line = -1;
char error_include_file[include_path_capacity] = {};
uint8_t continuation_candidate_chars[256] = {};

// Lexer state
char* parse_pointer = nullptr;
uint8_t statement_start_chars[256] = {};

// Macro expansion state read by the error report
int32_t macro_error_line = 0;
char* macro_expansion_text = nullptr;

// Compiler directives
int32_t compiler_error_raised = 0;
