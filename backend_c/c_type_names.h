// C text for type codes, results and the names of structures, interfaces,
// fields and methods. No side effects: each returns a static buffer of its
// own, overwritten by the next call of the same function.
#pragma once

#include <cstdint>

struct LibraryCommand;

struct StructureRecord;
struct FieldRecord;
struct InterfaceMethod;

// C type of a type code ("void*" for strings, containers, pseudo-types and
// anything unknown).
const char* c_type_name(int32_t type_code);
// C result type from a procedure's (prototype's, import's, library
// command's) flags word and second flags word.
const char* c_procedure_return_type(uint32_t flags, uint32_t second_flags);
// The C result type of a library command's routine: a long result (0x8) is
// an int, whose upper half the routine leaves undefined; the others as for
// a procedure.
const char* c_library_return_type(const LibraryCommand* command);
// C result type of an interface method.
const char* c_method_return_type(const InterfaceMethod* method);
// "<module>X" (lower case) + "i_" or "s_" + lower-cased name.
const char* c_structure_name(const StructureRecord* structure);
// The same from a field's type reference (type name, its module, 0x80).
const char* c_field_structure_name(const FieldRecord* field);
// "f_" + the field name lower-cased with '$' as 'S'.
const char* c_field_member_name(const FieldRecord* field);
// "m_" + the lower-cased method name.
const char* c_interface_method_name(const InterfaceMethod* method);
