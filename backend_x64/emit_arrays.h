// Arrays in x64 code: the address texts of array variables, Dim and ReDim
// of one and several dimensions, FreeArray, the element address in rbp and
// the labels of the global arrays' slots.
#pragma once

#include <cstdint>

struct ArrayRecord;
struct ArrayHooks;

// The array emitters behind the front end's ArrayHooks.
extern const ArrayHooks x64_array_hooks;

// "[module.]a_<name>" ("ap_" for pointer elements).
const char* format_array_symbol(const ArrayRecord* array);
// The address of the variable's first slot, without brackets.
const char* format_array_address(ArrayRecord* array);
// "qword [...]" of the pointer slot; "qword [...+d]" of the slot at byte d.
const char* format_array_pointer_operand(ArrayRecord* array);
const char* format_array_slot_operand(ArrayRecord* array, int32_t d);
// An array argument in rax: the address of the array variable (a
// parameter's slot already holds the caller's), or the data pointer.
void emit_array_argument_to_rax(ArrayRecord* array, bool data_pointer);
void emit_array_dim_size(ArrayRecord* array, int32_t k, const char* value);
void emit_free_array(ArrayRecord* array);
void emit_dim_array(ArrayRecord* array, int32_t redim, int64_t count);
void emit_dim_multi_array(ArrayRecord* array, int32_t redim);
// The Dim of an array whose sizes are literal (Static and Threaded arrays,
// created when the program or a thread starts).
void emit_constant_array_allocation(ArrayRecord* array);
// Hands the global arrays of every module to emit_array_labels.
void collect_array_labels();
// The slots of the global arrays: "<symbol>:" and one " dq 0" per slot in
// the data section with the debugger, one " rq 1" per slot in the bss
// without it.
void emit_array_labels();
