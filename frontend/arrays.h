// Arrays: lookup through modules and scopes, the name checks of a new
// array, Dim/ReDim (record and dimension code), element access and the
// release of a procedure's arrays. The code itself is written by the back
// end through `ArrayHooks`.
#pragma once

#include <cstdint>

struct ArrayRecord;
struct ParameterDescriptor;
struct ModuleRecord;

// The back end's array emitters. Operand texts point at static buffers of
// the back end and stay valid until its next call. An element access and a
// dimension list are compiled by `compile_element_access` and
// `compile_dimensions`: x64 installs the shared step compilers below
// (compile_array_element_in_steps, compile_array_dimensions_in_steps),
// which write through the step entries; C writes each whole.
struct ArrayHooks {
    // "qword [...]" of the slot that holds the element pointer.
    const char* (*format_array_pointer_operand)(ArrayRecord* array);
    // " MOV <slot k>,<value>": the element count of dimension k (1-based).
    void (*emit_array_dim_size)(ArrayRecord* array, int32_t k, const char* value);
    // Dim/ReDim of one dimension: `count` elements, or -1 when it is in rax.
    void (*emit_dim_array)(ArrayRecord* array, int32_t redim, int64_t count);
    // Dim/ReDim of several dimensions, their counts stored in the slots.
    void (*emit_dim_multi_array)(ArrayRecord* array, int32_t redim);
    // Release of an array (end of a procedure).
    void (*emit_free_array)(ArrayRecord* array);
    // " PUSH rax" that keeps a procedure's return value across the releases.
    void (*emit_keep_return_value)();
    // The current operand (an integer value) into rax, plus one.
    void (*emit_size_to_rax)();
    // The current operand into register `r`; returns its name.
    const char* (*emit_index_to_register)(int32_t r);
    // " MOV rbp,<pointer slot>".
    void (*emit_load_element_base)(ArrayRecord* array);
    // The register r times the element size.
    void (*emit_scale_index)(int32_t r, int64_t size);
    // " ADD rbp,<text>".
    void (*emit_add_to_base)(const char* text);
    // One index k < D of several: its product with slot k into rbp (first)
    // or added to rbp; the index is the current operand.
    void (*emit_multi_index)(ArrayRecord* array, int32_t k, int32_t first);
    // The last index added to rbp.
    void (*emit_multi_last_index)();
    // rbp times the element size plus the pointer slot.
    void (*emit_multi_finish)(ArrayRecord* array);
    // " PUSH rbp" / " POP rbp" around the indexes of several dimensions.
    void (*emit_push_base)();
    void (*emit_pop_base)();
    // The element operand: "<prefix>[rbp+<c>]", "<prefix>[rbp+<register>]"
    // or "<prefix>[rbp]" (register null and c 0).
    const char* (*format_element_operand)(int32_t size, int64_t c, const char* register_name);
    // An element, field or map element that is an assignment's target (the
    // current operand), before the right side is compiled: returns 1 when
    // its address now waits on the machine stack and the operand names it
    // through the base register (read back before the store, the slot
    // dropped after it), 0 when the operand stays valid as it is.
    int (*emit_save_element_address)();
    void (*emit_reload_element_address)();
    void (*emit_drop_element_address)();
    // Debugger checks, written while debugger_code is on: the index of one
    // dimension (the current operand when it is a constant, else in the
    // named register) against the element count; index `dimension` (from
    // 0) of several, the current operand; the new count of dimension
    // `dimension` of ReDim, other than the last ("rax" or a constant's text).
    void (*emit_index_check)(ArrayRecord* array, const char* register_name);
    void (*emit_multi_index_check)(ArrayRecord* array, int32_t dimension);
    void (*emit_redim_check)(ArrayRecord* array, int32_t dimension, const char* size_text);
    // An element reference (as emit_array_element_access) and a dimension
    // list (as compile_array_dimensions).
    int (*compile_element_access)(ArrayRecord* array);
    void (*compile_dimensions)(ArrayRecord* array, int32_t redim, int32_t redeclared);
    // An array field reached from a structure (base in rbp): " PUSH rbp"
    // keeps the base across the indexes or sizes (its push depth goes into
    // the record, the slots are then read through it), and the base is
    // taken back into rbp (`into_rbp` 1) or dropped.
    void (*emit_push_field_array_base)(ArrayRecord* array);
    void (*emit_pop_field_array_base)(ArrayRecord* array, int32_t into_rbp);
};

// Per compilation: the global array list is made anew.
void reset_arrays();

// The visible array of the name (pointer flag of the name as read), or null.
ArrayRecord* find_array(const char* name);
// The lookup used outside procedures.
ArrayRecord* find_array_global(const char* name);
// One module's array of the name; with `report`, error 280 for one that is
// not public.
ArrayRecord* module_find_symbol(ModuleRecord* module, const char* name, int report);
// 1 when a new array may bear the name, else 0 with an error set.
int check_array_name(const char* name);
// Dim/ReDim and the array items of Global, Protected, Static, Threaded and
// Define; with a record given only its dimensions are compiled.
ArrayRecord* declare_array(const char* name, int redim, ArrayRecord* record);
// An Array parameter of the procedure header being read (its type just
// read, its dimension count in the descriptor): a local record whose frame
// slot receives the address of the caller's array. Null after an error.
ArrayRecord* declare_array_parameter(const char* name, const ParameterDescriptor* descriptor);
// The dimension list from "(" to ")".
void compile_array_dimensions(ArrayRecord* array, int redim, int redeclared);
// The shared step compilers of a dimension list and an element reference,
// for a back end that writes them through the step entries of ArrayHooks.
void compile_array_dimensions_in_steps(ArrayRecord* array, int redim, int redeclared);
int compile_array_element_in_steps(ArrayRecord* array);
// The number of comma-separated sizes or indexes between the "(" already read
// and its ")", at bracket depth 0; string literals are skipped.
int32_t count_dimensions();
// The element count of a constant size (the size + 1) in `count`. A negative
// size is error 136; one whose elements would not fit in the 64-bit address
// range is error 59. False after an error.
bool constant_element_count(const ArrayRecord* array, int64_t size, int64_t* count);
// An element reference (current token "("); leaves the element as the
// current operand and returns the register index it released.
int emit_array_element_access(ArrayRecord* array);
// End of a procedure's scope: locals are released and unlinked.
void free_scope_arrays();
// A name followed by "(" in an expression: when it names an array, the
// element (or at statement start its assignment) is compiled and true is
// returned; otherwise nothing is read and false is returned.
bool compile_array_reference(const char* name, bool statement_start);
// At the start of an assignment: the target's address (the current
// operand) waits on the machine stack, and the operand names it through rbp.
void save_target_element_address();
// Around the store of an assignment (frontend/expressions.cpp): the address
// of an array element target is read back before the store and dropped after
// it. Nothing happens for other targets.
void reload_saved_element_address();
void drop_saved_element_address();
// The name as messages show it (the part after "]" for a field array).
const char* array_display_name(const ArrayRecord* array);
