// The /REASM run mode: the program built again from the generated file an
// earlier compilation kept, with the libraries its header names.
#pragma once

#include <cstddef>
#include <string>

// /REASM with zdcompiler (its reassemble_program entry): builds the program
// again from the "zandrel.asm" of current_folder.
void reassemble();
// Reads the header of a file kept for /REASM: its leading lines that begin
// with ';' or '/', each a comment mark of `mark_length` characters and a
// word: ":DLL", the section words ":System" and ":Import", or a library of
// the current section (the first section names the command libraries, which
// are marked used).
void read_reassembly_header(const std::string& text, size_t mark_length, void (*add_system_library)(const std::string& name));
