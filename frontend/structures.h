// Structures and interfaces: blocks, fields, unions.
#pragma once

// Structure (is_interface 0) or Interface (1) with the name at the parse pointer.
void begin_structure(int is_interface);
void end_structure();
void begin_structure_union();
void end_structure_union();
// 1 while a StructureUnion is open.
int structure_union_open();
// One field line of a Structure body; container_kind 0 plain, 1 Array, 2 List, 3 Map.
void parse_structure_field(int container_kind);
