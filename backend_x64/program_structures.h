// Structure descriptor tables ("s_" symbols) and structure maps ("SM_" +
// id) in the data section.
//
// A descriptor table lists the managed fields of a structure (strings,
// nested structures with managed fields, arrays, lists, maps) so that the
// runtime's SYS_CopyStructure, SYS_InitDynamicStructure and
// SYS_FreeStructureStrings find them; it ends with -1. The table "s_s"
// describes a plain string. A structure map describes every field by type,
// offset and name, for the debugger and for structures flagged 0x800.
#pragma once

#include <cstdint>

struct StructureRecord;

// Fields that need SYS_InitDynamicStructure: arrays, lists and maps.
constexpr uint16_t STRUCT_DYNAMIC_INIT = 0x0380;

// "s_" + the lower-cased module name and "." when the structure belongs to a
// module other than the main one + the lower-cased name (A to Z only). The
// text stays valid until the next call.
const char* format_structure_symbol(const StructureRecord* structure);

// Marks the structure and every structure its managed fields hold as needing
// a descriptor table (flags 0x28); stops at structures without managed
// fields and at structures already visited.
void mark_structure_descriptor_needed(StructureRecord* structure);
// Marks the structure (and the structures of its fields) for a structure
// map: mask 0x800, or 0x840 with the debugger.
void mark_structure_used(StructureRecord* structure, uint16_t mask);

// The descriptor of a container's elements into register r: "s_s" for
// strings, the structure's table for structures that need clean-up (unless
// the elements are pointers), else zero.
void emit_element_descriptor(bool pointers, int32_t type, const StructureRecord* structure, int r);

// "zd_align 8", then the maps of the structures marked for one, module by
// module; the marks are cleared after each map.
void emit_structure_maps();
// "zd_align 8", "s_s", then the descriptor table of every structure that
// needs one, module by module.
void emit_structure_descriptors();
