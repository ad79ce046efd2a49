// Definitions of the core globals that no single core file owns (see core_globals.h).
#include "core/core_globals.h"

// Command-line options
char* source_file = nullptr;
int32_t standby_mode = 0;
int32_t quiet_mode = 0;
int32_t commented_output = 0;
int32_t debugger_enabled = 0;
int32_t thread_safe = 0;
char* output_file = nullptr;
char* resident_file = nullptr;
char* ignored_resident = nullptr;
char* icon_file = nullptr;
char* import_file = nullptr;
char* windows_import_file = nullptr;
char* resource_file = nullptr;
char* linker_file = nullptr;
char* language_name = nullptr;
char* test_file = nullptr;
char* preprocess_file = nullptr;
char* query_structure_name = nullptr;
int32_t resident_mode = 0;
int32_t import_mode = 0;
int32_t windows_import_mode = 0;
int32_t xp_skin = 0;
int32_t dll_protection = 0;
int32_t dpi_aware = 0;
int32_t run_as_user = 0;
int32_t run_as_administrator = 0;
int32_t dll_mode = 0;
int32_t console_mode = 0;
int32_t line_numbering = 0;
int32_t check_syntax_only = 0;
int32_t optimizer_enabled = 0;
int32_t test_file_mode = 0;
int32_t list_structures_mode = 0;
int32_t list_functions_mode = 0;
int32_t list_interfaces_mode = 0;
int32_t query_structure_mode = 0;
uint8_t reassemble_mode = 0;
uint8_t purifier_enabled = 0;
int32_t cpu_mode = 0;
const char* executable_subsystem_name = "Windows";
CursorList* subsystem_list = nullptr;
int32_t report_warnings = 0;
int32_t report_progress = 0;
int32_t redirect_files = 0;
char* source_alias = nullptr;
char* include_path = nullptr;
int32_t parallel_enabled = 0;

// Installation and folders
std::string home_folder;
std::string tools_folder;
std::string current_folder;
std::string current_folder_short;

// Source position and error location
int32_t current_line = 0;
int32_t continuation_count = 0;
char* continuation_starts[max_continuation_lines] = {};
int32_t include_depth = 0;
char* current_include_name = nullptr;
int32_t error_include_line = -1;
char error_include_file[include_path_capacity] = {};
char* parse_pointer = nullptr;
int32_t macro_error_line = 0;
char* macro_expansion_text = nullptr;
int32_t compiler_error_raised = 0;

PendingConstant pending_constant;
