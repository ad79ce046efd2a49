// Compares (integer CMP, or an x87 compare tested through the status word)
// and the store of an expression result into a variable.
#pragma once

#include <cstdint>

#include "core/token_codes.h"

// Comparison token codes.
enum : int32_t {
    COMPARE_NOT_EQUAL = TOKEN_NOT_EQUAL,
    COMPARE_LESS_EQUAL = TOKEN_LESS_EQUAL,
    COMPARE_GREATER_EQUAL = TOKEN_GREATER_EQUAL,
    COMPARE_LESS = TOKEN_LESS,
    COMPARE_EQUAL = TOKEN_EQUAL,
    COMPARE_GREATER = TOKEN_GREATER,
};

// Where an assignment stores its value.
struct AssignTarget {
    const char* text;      // memory operand with its size prefix
    int32_t size;          // access size 1, 2, 4 or 8
    uint32_t flags;        // operand flags of the target (float, double, unsigned, string, fixed string)
    int32_t fixed_length;  // characters of a fixed-string target
    bool in_procedure;     // the target is addressed inside a procedure body
    bool base_saved = false;  // a string target's address waits on the machine stack (read back
                              // into rbp after the value, which may itself be addressed through rbp)
};

void emit_fpu_compare_test(int op);
// Compares the left value (register `left`, or the x87 top in a float
// expression) with the current operand.
void emit_compare(int left, int op);
void emit_compare_in_mode(int left, int op, uint32_t mode);
void emit_compare_constant(int left, int op);
void emit_compare_zero(int left);
void emit_compare_zero_in_mode(int left, uint32_t mode);
// Stores the expression result (the current operand) into the target.
void emit_assign_result(const AssignTarget* target, bool from_stack);
void emit_pop_to_variable(const char* operand, int size);
const char* format_memory_operand(int size, int64_t offset, const char* base);
const char* format_rbp_operand(int size, const char* text);
