// Functions evaluated while the program is compiled: SizeOf, OffsetOf,
// TypeOf, Defined, Subsystem and Bool. Each leaves a constant operand.
#pragma once

#include <cstdint>

struct LibraryCommand;

// Operand flag of a value computed by the compiler itself.
constexpr uint32_t OP_COMPILE_TIME_RESULT = 0x400000;

// Kinds of object that Defined asks about (its second argument).
enum : int32_t {
    DEFINED_STRUCTURE = 7,
    DEFINED_LIST = 14,
    DEFINED_ARRAY = 15,
    DEFINED_MAP = 22,
    DEFINED_CONSTANT = 50,
    DEFINED_VARIABLE = 51,
    DEFINED_INTERFACE = 52,
    DEFINED_PROCEDURE = 53,
    DEFINED_LIBRARY_FUNCTION = 54,
    DEFINED_IMPORTED_FUNCTION = 55,
    DEFINED_LABEL = 56,
    DEFINED_PROTOTYPE = 57,
    DEFINED_MACRO = 58,
    DEFINED_ENUMERATION = 59,
};

// The compiler function of that name (any case), or null.
LibraryCommand* find_compiler_function(const char* name);
// Compiles the call of a compiler function; "(" has been read and the parse
// pointer stands at its first argument. Reads up to ")" and the operator
// after it.
void eval_compiler_function(const LibraryCommand* command);
// The bodies of TypeOf and Defined (argument at the parse pointer); they
// return the value, or 0 with the error set.
int64_t eval_typeof();
int64_t eval_defined();
