// Interfaces: the method lines of an Interface block, the method lookup and
// the pseudo-type parameter count of a method.
#pragma once

#include <cstdint>

#include "frontend/symbols.h"

// First room of the method table under construction; it grows as needed.
constexpr int interface_method_capacity = 1024;

// Makes room for count methods in the table under construction, keeping
// the methods already in it.
void reserve_interface_methods(int32_t count);

// One method line of an Interface body (the parse pointer at its name).
void compile_interface_method_line();
// The same, with the method name already at the parse pointer.
void declare_interface_method();
// The 1-based number of the method named like the current word, 0 when none.
int find_interface_method(const StructureRecord* interface);
// Parameters of the method whose type is a pseudo-type (TYPE_P_ASCII to
// TYPE_P_UTF8).
int count_pseudotype_parameters(const InterfaceMethod* method);
// The container form after the name of an Array, List or Map parameter:
// "(" and ")", for an array with its dimension count between. Returns the
// element descriptor (the type just read), or null with the error state set.
ParameterDescriptor* parse_container_parameter(int kind, const char* name);
// Return flags of a method of the given return type code.
uint8_t method_return_flags(int32_t code);
