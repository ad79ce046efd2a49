// Arrays: lookup through modules and scopes, the name checks of a new
// array, Dim/ReDim (record and dimension code), element access and the
// release of a procedure's arrays. The code itself is written by the back
// end through `ArrayHooks`.
#pragma once

#include <cstdint>
#include <string>

struct ArrayRecord;
struct ParameterDescriptor;
struct ModuleRecord;

// An element access being compiled, from the array's "(" to its ")". The
// front end reads and checks the index list; each index, once compiled, is
// the current operand when it is handed to the back end, which keeps in the
// record what it needs to write the element's operand.
struct ElementAccess {
    ArrayRecord* array;
    int32_t register_index;  // the evaluation register taken for the element
    int32_t index;           // the index being handed over, counted from 1
    int32_t last;            // 1 when no index of the list follows this one
    // Kept by the back end: a constant byte offset of the element and the
    // text of its place as built so far.
    int64_t offset;
    std::string place;
};

// The size list of a Dim or ReDim being compiled. The front end reads the
// sizes, checks them and records the constant ones; a size known only at
// run time is the current operand when it is handed over.
struct ArrayDimensions {
    ArrayRecord* array;
    int32_t redim;
    int32_t count;          // sizes in the list
    int32_t position;       // the size being handed over, counted from 1
    int32_t constant_only;  // Static, Threaded or structure declaration: no allocation here
    int32_t field_base;     // an array field reached from its structure outside the structure body
    int32_t size_constant;  // 1 when the size handed over is a constant, its element count in size_count
    int64_t size_count;
    int64_t single_count;   // a one-dimension list's constant element count, else -1
    // Kept by the back end: the text of a one-dimension element count known
    // at run time.
    std::string single_size;
};

// The back end's array code. Operand texts point at static buffers of the
// back end and stay valid until its next call.
struct ArrayHooks {
    // The whole array as an operand ("a()"): its element pointer.
    const char* (*format_whole_array)(ArrayRecord* array);
    // Before index `access->index` of an element access is compiled.
    void (*open_element_index)(ElementAccess* access);
    // Index `access->index`, just compiled (the current operand): its part of
    // the element's address, with the debugger's check of it while
    // debugger_code is on.
    void (*take_element_index)(ElementAccess* access);
    // The element's operand text once the list is read, for an access of
    // `size` bytes.
    const char* (*format_element)(ElementAccess* access, int32_t size);
    // Before the first size of a Dim or ReDim list is compiled, and after
    // the last.
    void (*begin_dimension_sizes)(ArrayDimensions* dimensions);
    void (*end_dimension_sizes)(ArrayDimensions* dimensions);
    // The only size of a one-dimension list, known at run time (the current
    // operand): kept for the allocation.
    void (*keep_single_size)(ArrayDimensions* dimensions);
    // Size `dimensions->position` of several: its element count stored as
    // the bound of its dimension.
    void (*store_dimension_size)(ArrayDimensions* dimensions);
    // Size `dimensions->position` of a ReDim that keeps its dimension's
    // count (not the last): the debugger's check that it is unchanged.
    void (*check_redim_size)(ArrayDimensions* dimensions);
    // The list read and checked: the allocation of an ordinary array, or
    // what a Static, Threaded or structure array needs beside its recorded
    // sizes.
    void (*write_dimensions)(ArrayDimensions* dimensions);
    // Release of an array (end of a procedure).
    void (*emit_free_array)(ArrayRecord* array);
    // Keeps a procedure's return value across the releases of its arrays.
    void (*emit_keep_return_value)();
    // An element that is an assignment's target (the current operand),
    // before anything else of the assignment is compiled.
    void (*prepare_element_target)();
    // An element, field or map element that is an assignment's target (the
    // current operand), before the right side is compiled: returns 1 when
    // its address now waits on the machine stack and the operand names it
    // through the base register (read back before the store, the slot
    // dropped after it), 0 when the operand stays valid as it is.
    int (*emit_save_element_address)();
    void (*emit_reload_element_address)();
    void (*emit_drop_element_address)();
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
