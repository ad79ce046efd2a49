// Library files, subsystems and the library-command table.
#pragma once

// Creates the library list, the command list and hash, and the compiler functions.
void init_libraries();

// Loads the folders of every /SUBSYSTEM name, then resolves the structure
// references of the residents found there.
void load_subsystems();

// Loads every file of a folder under the installation folder: kind 0 library
// files, 1 import files, 2 residents. When the folder cannot be listed and
// error_number is non-zero, that error is recorded.
void scan_library_folder(const char* folder, int kind, int error_number);
