// Structures and interfaces in the C file: forward typedefs and full
// typedefs of the used structures, method tables of the used interfaces,
// descriptor tables of the structures with dynamic members ("m" + C name),
// structure maps ("sm_<id>"), and the per-thread initialisation callback.
//
// STRUCT_MARK_8 is the visit mark of whichever pass runs; STRUCT_USED marks
// a used structure, STRUCT_NEEDS_INIT one that needs a descriptor table,
// STRUCT_MARK_800 one that needs a structure map.
#pragma once

#include <string>
#include <vector>

struct FieldRecord;
struct HashTable;
struct ModuleRecord;
struct StructureRecord;
struct VariableRecord;

// Every structure table once (the global one, then each module's), with the
// module that owns it.
struct CStructureTable {
    ModuleRecord* module;
    HashTable* table;
};
std::vector<CStructureTable> c_structure_tables();

// The C name of the structure or interface that a pointer or interface field
// points to: the one its type names from the scope of the module (a
// structure of the module declared after the field included), else its name
// as written.
std::string c_pointed_structure_name(const FieldRecord* field, const ModuleRecord* scope);

// Clears the visit mark (0x8) of every structure.
void c_clear_structure_marks();
// Marks a used structure and every structure it reaches as used (0x40); the
// fixed-string sizes of their fields are registered for the "ft_" typedefs.
void c_mark_structure_used(StructureRecord* structure);

// "typedef struct N N;" per used structure.
void c_emit_structure_typedefs();
// The full typedef of a structure, after the structures it holds by value.
void c_emit_structure_declaration(StructureRecord* structure);
// The method table typedef of an interface and "#define <s_ name> <i_ name>*".
void c_emit_interface_declaration(StructureRecord* interface);

// "static integer ms_s[]={0,-1};" and the descriptor tables.
void c_emit_structure_descriptors();
// The byte maps "sm_<id>" of the structures flagged 0x800 (0x840 with the
// debugger).
void c_emit_structure_maps();
// The initial texts of Threaded strings go into the string table, which is
// written before the callback that assigns them.
void c_record_thread_object_literals();
// SYS_InitThreadObjectCallback: the Threaded objects' set-up and values.
void c_emit_thread_object_init();
// "SYS_InitDynamicStructure(&<lvalue>,m<N>);"
void c_emit_init_dynamic_structure(VariableRecord* variable);
// The descriptor table of a structure ("m" + C name), or "0" when it has none.
const char* c_structure_map_name(StructureRecord* structure);
