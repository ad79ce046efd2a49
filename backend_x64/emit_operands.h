// Fixed sequences that work on a whole variable, given its operand text:
// constant stores, structure copy and release, string release, the exchange
// of two values and the frame of the generated per-thread routines.
#pragma once

struct StructureRecord;

#include <cstdint>

// " MOV <operand>,<value>".
void emit_store_int_to_variable(const char* operand, int32_t value);
// One MOV for 0 .. 2147483647 (the immediate is sign-extended), else the two
// dword stores, the upper half first.
void emit_store_quad_to_variable(const char* operand, int64_t value);
// Structure copy into the structure whose operand is `target`, from the
// address in rax (kept there rather than pushed: nothing runs between its
// load and the copy). `descriptor` is the structure's descriptor symbol or
// null. The call takes the aligned frame of any other call.
void emit_copy_structure(const char* target, const char* descriptor, int32_t byte_size);
// Release of a structure's strings; `qword_symbol` as format_variable_qword_symbol gives it.
void emit_free_structure_strings(const char* descriptor, const char* qword_symbol);
// The arrays, lists and maps of a structure at `address` ("[rsp+48]")
// created by the runtime from its descriptor (unframed: at depth 0).
void emit_init_dynamic_structure(StructureRecord* structure, const char* address);
// Release of a string variable.
void emit_free_string(const char* operand);
// Exchange of the current operand with the target (null: the address pushed before).
void emit_swap_values(const char* target, int size);
void emit_helper_prologue();
void emit_helper_epilogue();
