// Outside names in the assembly file: a link name that the assembler would
// read as one of its own words (an instruction, a register, a size or a
// directive, whatever its case) or that holds characters which end a name
// stands in the file under an alias of its own, declared with
// "extrn 'Name' as alias".
#pragma once

#include <string>

// Whether the assembler takes `name` as one of its reserved words.
bool is_assembler_reserved_word(const char* name);

// The name that stands for the outside symbol `link_name` in the assembly
// text: the link name itself, or its alias ("_ZD_Extern_" + the name, every
// character that can't stand in a name written as "_" + two hex digits).
// The alias lives as long as the compilation.
const char* assembly_symbol(const char* link_name);

// The declaration of an outside symbol: "extrn " + the name, or
// "extrn 'Name' as " + the alias.
std::string extern_declaration(const char* link_name);
