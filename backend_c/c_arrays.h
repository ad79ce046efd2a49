// Arrays in the C file: the C lvalue of an array variable ("zd_array" or
// "zd_array<N>"), its element pointer, element access with the debugger's
// index checks, the dimension list and allocation call of Dim and ReDim,
// the declaration of the variable and the release of a procedure's arrays.
#pragma once

#include <cstdint>

struct ArrayRecord;
struct ArrayHooks;

// The C lvalue of the array variable (static buffer).
const char* c_format_array_address(ArrayRecord* array);
// The lvalue followed by "." or, for an array reached through a pointer, "->".
const char* c_array_member(ArrayRecord* array);
// "&" + lvalue, or the lvalue alone through a pointer (static buffer).
const char* c_array_address(ArrayRecord* array);
// "((<element type>*)<member>a)" (static buffer).
const char* c_array_element_pointer(ArrayRecord* array);
// The allocation call of Dim (redim 0) or ReDim; `first_dimension` is the
// C text of the first element count (one-dimensional arrays).
void c_emit_array_allocation(ArrayRecord* array, int redim, const char* first_dimension);
// Dim of an array whose element counts are literal and whose bounds are
// already stored (Static and Threaded items, structure arrays).
void c_emit_array_alloc(ArrayRecord* array);
// The debugger's check of one ReDim dimension whose size is the C text
// `count` (the element count, size + 1, is checked).
void c_emit_redim_check(ArrayRecord* array, int32_t index, const char* size_text);
// "zd_array <lvalue>={0};" or "zd_array<N> <lvalue>={0};".
void c_emit_array_declaration(ArrayRecord* array);
// "SYS_FreeArray(<element pointer>);" (a local array at procedure end).
void c_emit_free_array(ArrayRecord* array);

extern const ArrayHooks c_array_hooks;
