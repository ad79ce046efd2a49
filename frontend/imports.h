// Import blocks and import files (the operating-system function lists), the
// list of import library files and the sorted list of external symbols.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cursor_list.h"
#include "core/hash_table.h"

struct ImportedFunctionName;
struct ProcedureRecord;

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
    uint8_t* parameter_sizes;    // 4 for TYPE_LONG and TYPE_FLOAT, else 8
    int64_t* default_values;     // per optional parameter (TYPE_STRING: pointer to the text)
    int32_t use_count;
    ImportLibraryEntry* library;
    ProcedureRecord* call_record;  // the procedure-layout record calls use (per compilation)
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
// After the Import (c_convention 0) or ImportC (1) statement: the block's
// lines are function and variable declarations, without debugger code or
// line markers until EndImport.
void begin_import_block(int c_convention);
// EndImport: debugger code as it was before the block.
void end_import_block();
// One imported-function line of an Import block.
void compile_import_function_line();
// /IMPORT: writes the import file of the Import block just compiled.
void write_import_file();

// The record in the procedure layout through which a loaded function is
// called (made once per compilation).
ProcedureRecord* imported_function_record(ImportedFunction* function);
// The name just read is followed by "(" and names a function of the loaded
// import files: the function is marked used, its call compiled and 1
// returned; 0 when the name is not such a function.
int compile_imported_function_call(const char* name);
// The linker symbols of the used functions of Import blocks and of the
// imported variables, into ExternSymbolList.
void collect_import_externs();
// Every procedure of the global procedure table flagged as an imported
// function (0x40000000), in table order (the /WINDOWSIMPORT library).
void collect_imported_functions(std::vector<ImportedFunctionName>& functions);

// The IMPORTLIST answer of standby mode without its end line: the count line
// "%d\n" of the imported-function table, then per function "%s(%s)\n"
// (name, parameter text) or "%s\n".
void write_standby_import_list();
// 1 when an imported function of that name exists (its use count raised and
// its import library marked used), for the HELPDIRECTORY answer "API".
int mark_imported_function_for_help(const char* name);
