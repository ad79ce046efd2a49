// Import blocks and import files (the operating-system function lists), the
// list of import library files and the sorted list of external symbols.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cursor_list.h"
#include "core/hash_table.h"

// A loaded import file's library (permanent): name and used mark.
struct ImportLibraryEntry {
    ListNode link;
    char* name;
    uint8_t used;
};

// One function of a loaded import file, keyed by its name ("ExitProcess_").
struct ImportedFunction {
    HashEntry entry;
    char* symbol;                // the linker symbol ("ExitProcess")
    char* parameter_text;
    uint32_t flags;
    uint32_t second_flags;
    int16_t stack_size;
    int16_t string_parameter_count;
    int16_t pseudo_parameter_count;
    int16_t parameter_count;
    int16_t optional_parameter_count;
    uint8_t* parameter_types;    // one TypeCode per parameter
    uint8_t* parameter_sizes;    // 4 for types 5 and 9, else 8
    int64_t* default_values;     // per optional parameter (type 8: pointer to the text)
    int32_t use_count;
    ImportLibraryEntry* library;
};

extern CursorList* import_library_entries;   // ImportLibraryEntry, in load order (permanent)
extern HashTable* os_function_table;         // ImportedFunction by name (permanent)
extern std::vector<std::string> ImportLibraryList;  // resolved paths of the Import statements
extern std::vector<std::string> ExternSymbolList;   // sorted byte-wise, without duplicates

// Before each compilation: new empty import-library and extern-symbol lists,
// use counts and used flags of the loaded import functions cleared.
void reset_imports();

// Loads one import file; an unreadable or malformed file is ignored.
void import_library_file_read(const char* path);

// The function of that name (case-insensitive), or null.
ImportedFunction* find_imported_function(const char* name);
// Use count + 1 and its library marked used; when the name is not loaded,
// `fallback_symbol` goes to the external symbols instead (when not null).
void mark_imported_function_used(const char* name, const char* fallback_symbol);
// Before the program is finished: marks the system functions the start-up
// code calls and adds "memset" to the external symbols.
void mark_startup_imports();
// The names of the used import libraries, in load order.
std::vector<std::string> used_import_library_names();

// Inserts a name into ExternSymbolList (sorted, no duplicates).
void add_extern_symbol(const char* name);

// Import/ImportC statement: the library named by the literal text just read.
void add_import_library();
// One imported-function line of an Import block.
void compile_import_function_line();
// /IMPORT: writes the import file of the Import block just compiled.
void write_import_file();
