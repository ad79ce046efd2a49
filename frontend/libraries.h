// Library files, subsystems and the library-command table.
//
// At start-up every library file of the library folders is read whole into
// the permanent heap; a LibraryRecord per file and a LibraryCommand per
// command point into those bytes. The commands form one alphabetical list
// (compiler functions first) and one hash keyed by name without regard to case.
#pragma once

#include <cstdint>

#include "core/cursor_list.h"
#include "core/hash_table.h"

struct LibraryCommand;

struct LibraryRecord {
    ListNode link;
    char* name;                    // in the file
    uint8_t format_version;        // 4 for 'LIB4', 3 for 'LIB3'
    int16_t command_count;
    LibraryCommand* end_command;   // the command flagged ENDFUNCTION, or null
    LibraryCommand* init_command;  // the command flagged INITFUNCTION, or null
    uint8_t* object_data;          // DAT1, unpacked; null when the file has none
    uint32_t object_size;
    uint8_t* debugger_data;        // DBG1; null when the file has none
    uint32_t debugger_size;
    uint8_t language;              // 1 C, 2 ASM
    uint8_t link_library_count;
    char* link_libraries;          // consecutive NUL-terminated names (".LIB" added on the link line)
    uint8_t object_type;           // 1 OBJ, 2 LIB, kept as read
    char* help_line;               // the library's help directory
    uint8_t dependency_count;
    char* dependencies;            // consecutive NUL-terminated names, the first upper-cased
    int32_t used;
    int16_t visited;
    uint8_t* file_data;            // the whole file (permanent heap)
    uint8_t* unpacked_data;        // inflated DAT1 (permanent heap), or null
};

struct LibraryCommand {
    HashEntry entry;               // list link, key (the name, in the file), bucket link
    int32_t use_count;             // -1 for init and end commands and for Subsystem
    LibraryRecord* library;        // null for the compiler functions
    int8_t parameter_count;        // negative: no parameter codes
    uint32_t flags;                // as stored in the file
    uint32_t second_flags;         // 0x200 debugger library, 0x8 Chr, 0x80 and 0x400 per compilation
    uint8_t* parameter_codes;      // translated in place to type codes
    int32_t stack_bytes;
    char* help;
};

inline const char* command_name(const LibraryCommand* command) { return command->entry.key; }

// Second-flag bits of a command.
constexpr uint32_t command_second_chr = 0x8;
constexpr uint32_t command_second_double_mode = 0x80;
constexpr uint32_t command_second_deprecation_reported = 0x400;
constexpr uint32_t command_second_per_compilation = 0x580;
constexpr uint32_t command_second_debugger_library = 0x200;
// Flag bits of commands that are never called by name (variants, init, end).
constexpr uint32_t command_hidden_flags = 0x2600;

// Text standing for the owner of a compiler function in error 95.
constexpr const char* compiler_function_owner = "Zandrel";

// Creates the library list, the command list and hash, and the compiler functions.
void init_libraries();

// Loads the folders of every /SUBSYSTEM name, then resolves the structure
// references of the residents found there.
void load_subsystems();

// Loads every file of a folder under the installation folder: kind 0 library
// files, 1 import files, 2 residents. When the folder cannot be listed and
// error_number is non-zero, that error is recorded.
void scan_library_folder(const char* folder, int kind, int error_number);

// Reads one library file. A file that is not a library file is skipped; a
// corrupt one records error 96 and leaves nothing behind.
void library_load_file(const char* path);

// Adds the command record at *cursor (already checked to lie inside the
// header chunk) to the command list and hash; *cursor moves past it.
LibraryCommand* library_parse_command(LibraryRecord* library, uint8_t** cursor);

// The command of that name (without regard to case), or null.
LibraryCommand* find_library_command(const char* name);
// The library of that name (without regard to case), or null.
LibraryRecord* find_library(const char* name);

// Before each compilation: used flags and positive use counts cleared, and
// the per-compilation second-flag bits 0x180.
void reset_usage_marks();
void mark_command_used(const char* name);
void mark_library_used(const char* name);
// Marks a used library visited, then every library it needs (walking their
// needs first), and appends each one reached to used_library_list.
void mark_library_dependencies(LibraryRecord* library);

// The build-mode suffix of a command's routine name: "_THREAD", "_PARALLEL"
// and "_PURIFIER" in that order, each when its option is on and the command
// has a variant for it; "" for none. The text lives in a static buffer.
const char* get_routine_suffix(const LibraryCommand* command);

// The processor variants of a command, the less wanted first: the start-up
// code of /DYNAMICCPU takes the last one the processor runs.
struct ProcessorVariant {
    const char* suffix;
    uint32_t flag;
};
extern const ProcessorVariant processor_variants[4];
// A command of a used library, counted as used (or always declared, as init
// and end routines are), that /DYNAMICCPU reaches through its run-time
// choice of routine.
bool command_in_dynamic_table(const LibraryCommand* command);

// Before the program is finished: marks the libraries that the build mode
// needs, walks the dependencies of every used library into used_library_list
// and hands each one to the link line (link_library_list).
void select_runtime_libraries();
