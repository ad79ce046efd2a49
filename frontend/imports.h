// Import blocks and import files (the operating-system function lists).
#pragma once

// Before each compilation: new empty import-library and extern-symbol lists,
// use counts and used flags of the loaded import functions cleared.
void reset_imports();

// Loads one import file.
void import_library_file_read(const char* path);

// Import/ImportC statement: the library named by the literal string in the
// current operand (statement dispatcher).
void add_import_library();
// One imported-function line of an Import block.
void compile_import_function_line();
// /IMPORT: writes the import file of the Import blocks just compiled.
void write_import_file();
