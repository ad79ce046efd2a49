// Global state of the compiler core, grouped here so that a reader
// finds it in one place. Each section names the file that implements it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cursor_list.h"
#include "core/error_state.h"
#include "core/hash_table.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "core/char_tables.h"

struct PrivateHeap;

// ---------------------------------------------------------------------------
// Command-line options (set by parse_command_line in driver/command_line.cpp;
// defined in core/core_globals.cpp). Texts are UTF-8; an absent text is null.

extern char* source_file;
extern int32_t standby_mode;
extern int32_t quiet_mode;
extern int32_t commented_output;
extern int32_t debugger_enabled;
extern int32_t thread_safe;
extern char* output_file;
extern char* resident_file;
extern char* ignored_resident;
extern char* icon_file;
extern char* import_file;
extern char* windows_import_file;
extern char* resource_file;
extern char* linker_file;
extern char* language_name;
extern char* test_file;
extern char* preprocess_file;
extern char* query_structure_name;
extern int32_t resident_mode;
extern int32_t import_mode;
extern int32_t windows_import_mode;
extern int32_t xp_skin;
extern int32_t dll_protection;
extern int32_t dpi_aware;
extern int32_t run_as_user;
extern int32_t run_as_administrator;
extern int32_t dll_mode;
extern int32_t console_mode;
extern int32_t line_numbering;
extern int32_t check_syntax_only;
extern int32_t optimizer_enabled;
extern int32_t test_file_mode;
extern int32_t list_structures_mode;
extern int32_t list_functions_mode;
extern int32_t list_interfaces_mode;
extern int32_t query_structure_mode;
extern uint8_t reassemble_mode;
extern uint8_t purifier_enabled;
extern int32_t cpu_mode;                    // 0, or one of the cpu_mode_* values
extern const char* executable_subsystem_name;  // "Windows" or "Console"
extern CursorList* subsystem_list;          // /SUBSYSTEM names (elements: link + text pointer)
extern int32_t report_warnings;     // standby COMPILE option WARNINGS
extern int32_t report_progress;     // standby COMPILE option PROGRESS
extern int32_t redirect_files;      // standby COMPILE option REDIRECT: ask the editor for file names
extern char* source_alias;          // standby SOURCEALIAS: the main file's name as the editor shows it; null when none
extern char* include_path;          // standby INCLUDEPATH: the main source folder of a standby compilation
extern int32_t parallel_enabled;    // the parallel option: "_PARALLEL" routines and the Parallel library

constexpr int32_t cpu_mode_mmx = 0x10000;
constexpr int32_t cpu_mode_3dnow = 0x80000;
constexpr int32_t cpu_mode_sse = 0x20000;
constexpr int32_t cpu_mode_sse2 = 0x40000;
constexpr int32_t cpu_mode_dynamic = 0x100000;

// ---------------------------------------------------------------------------
// Installation and folders (driver/compiler_main.cpp). Paths keep the Windows
// form; every folder text ends in a separator.

extern std::string home_folder;            // the installation folder
extern std::string tools_folder;           // home_folder + "Compilers\"
extern std::string current_folder;         // folder of the compilation's main file
extern std::string current_folder_short;   // its short form (the same text here)

// ---------------------------------------------------------------------------
// Error state (core/error_state.cpp).

extern ErrorState error_state;
// Short names for the fields of the one error state.
inline int32_t& error_number = error_state.error_number;
inline char*& error_position = error_state.error_position;
inline char (&error_message)[error_message_capacity] = error_state.error_message;
inline uint8_t& suppress_errors = error_state.suppress_errors;
inline int32_t& error_reported = error_state.error_reported;

// Message n of the table; the catalog may replace entries.
extern const char* message_table[message_table_size];

extern int32_t standby_include_line;          // -1 when none
extern char standby_include_file[4096];
extern int32_t standby_loop_started;          // set once the standby command loop runs

// ---------------------------------------------------------------------------
// Source position and error location (defined in core/core_globals.cpp). The
// front end keeps them up to date as it reads lines, statements and macro
// expansions; the error report reads them to place an error. The rest of the
// source reader's state is in frontend/frontend_globals.h.

constexpr int max_continuation_lines = 512;
constexpr int include_path_capacity = 4096;

extern int32_t current_line;            // lines of the current file before the logical line being compiled
extern int32_t continuation_count;      // physical lines joined to the first one of the logical line
extern char* continuation_starts[max_continuation_lines];  // where each joined line starts in the joined text
extern int32_t include_depth;           // nesting depth of include files (0 in the main file)
extern char* current_include_name;      // name of the include file being read, null in the main source
extern int32_t error_include_line;      // 1-based line in the include file holding the error, -1 when none
extern char error_include_file[include_path_capacity];  // name of that include file
// The lexer's position in the statement text, where an error is recorded. A
// look-ahead returns to a LexerMark (frontend/lexer.h) instead of saving it.
extern char* parse_pointer;
extern int32_t macro_error_line;        // 1-based line of the error within the expanded macro text, 0 when none
extern char* macro_expansion_text;      // the expanded text written to "Macro.out"
extern int32_t compiler_error_raised;   // the pending error came from the CompilerError directive

// ---------------------------------------------------------------------------
// Message catalog (core/catalog.cpp; records in core/catalog.h).

struct CatalogGroup;
extern CatalogGroup* catalog_groups;            // newest first
extern CatalogGroup* catalog_last_group;        // cache of the last group found
extern int32_t catalog_generation;              // counts the catalog texts parsed
extern std::vector<char*> catalog_owned_texts;  // catalog texts and key blocks, kept for the run

// ---------------------------------------------------------------------------
// Heaps and memory pools (core/memory_pools.cpp; the heaps are created and
// destroyed by the driver).

extern PrivateHeap* permanent_heap;
extern PrivateHeap* compilation_heap;
extern MemoryPool compilation_pool;
extern MemoryPool permanent_pool;

// ---------------------------------------------------------------------------
// Output text buffers (core/output_buffers.cpp).

extern TextBuffer* head_buffer;
extern TextBuffer* label_buffer;
extern TextBuffer* code_buffer;
extern TextBuffer* procedure_buffer;
extern TextBuffer* valid_lines_buffer;
extern TextBuffer* code_context_buffer;

extern char* data_buffer_start;
extern char* data_write_pointer;
extern char* data_buffer_end;
extern char* debugger_data_start;
extern char* debugger_data_write;
extern char* debugger_data_end;

extern char* output_buffer_start;
extern char* output_write_pointer;
extern char* output_buffer_end;       // end of the current buffer's block
extern BufferStackEntry buffer_stack[buffer_stack_capacity];
extern int32_t buffer_stack_depth;    // index of the top entry, -1 when empty
extern uint32_t no_output_depth;      // while non-zero the emitters write nothing

// ---------------------------------------------------------------------------
// File helpers and the build by external tools (core/file_helpers.cpp).

extern std::string main_source_folder;   // folder written into the program as _ZD_SourceCodePath
extern char* source_text_start;          // the main source read by load_source_file (compilation heap)
extern char* source_text_end;            // its end (the NUL)
extern std::string work_folder;          // the folder made by create_work_directory, "" when none

// What the link line takes of the runtime-library selection and the import
// lists (core/build_tools.cpp). The front end appends the libraries to link
// as it selects them, the used operating-system import libraries and the
// files of Import blocks; /REASM fills them from the assembly file's header.
struct LinkLibrary {
    const char* name;             // library name; its object file is name + ".obj"
    const void* object_data;      // the library's object file (may be null)
    uint64_t object_size;
    const void* debug_data;       // the debugger variant, name + "_Debug.obj" (may be null)
    uint64_t debug_size;
    const char* system_names;     // consecutive NUL-terminated system library names
    int32_t system_name_count;
    int32_t uses_object_manager;  // an object library: link the object manager
};
extern std::vector<LinkLibrary> link_library_list;
extern std::vector<std::string> link_system_libraries;   // used operating-system import libraries
extern std::vector<std::string> link_import_libraries;   // library files of Import blocks (ImportLibraryList)
// Clears the three lists (before each compilation).
void reset_link_lists();

// ---------------------------------------------------------------------------
// Character and precedence tables, compilation state (core/char_tables.cpp).

extern uint8_t identifier_start_chars[256];  // A-Z a-z _
extern uint8_t identifier_chars[256];        // A-Z a-z 0-9 _
extern uint8_t uppercase_table[256];
extern uint8_t lowercase_table[256];
extern uint8_t escape_chars[256];            // escape letter -> byte, 0 for none
extern const char* operator_word_text[256];  // by token code; null when none
extern int32_t token_length[256];            // by token code
extern int32_t operator_precedence[256];     // by token code; 0 for non-operators

extern uint8_t debugger_code;                // emit debugger instrumentation

// ---------------------------------------------------------------------------
// The pending constant (defined in core/core_globals.cpp).

// Kinds of the pending constant value.
constexpr int32_t pending_kind_integer = 0;
constexpr int32_t pending_kind_string = 1;
constexpr int32_t pending_kind_float = 0x40;

// The value that the next constant declaration takes: set by the constant
// expression compiler, the lexer's character constants and /CONSTANT.
struct PendingConstant {
    int32_t kind;
    int64_t integer_value;
    double float_value;
    char text[8192 + 8];
};
extern PendingConstant pending_constant;
