// The build of the final program by the external tools (assembler, resource
// compiler, linker) and the /REASM mode.
#pragma once

// Assembles and links the written "zandrel.asm"; results through the error state.
void build_executable();

// /REASM: builds the program again from an existing "zandrel.asm".
void reassemble();
