// Import blocks and import files (the operating-system function lists).
#pragma once

// Before each compilation: new empty import-library and extern-symbol lists,
// use counts and used flags of the loaded import functions cleared.
void reset_imports();

// Loads one import file.
void import_library_file_read(const char* path);
