// Integer and x87 primitives: loads, moves, arithmetic on the top evaluation
// register or the x87 stack, constants and pushes. The right-hand operand is
// always the current operand.
#pragma once

#include <cstdint>

// Loads and moves.
void emit_load_immediate(int64_t n, int r);
void emit_load_static_string(int r, int32_t literal_number, bool null_string);
void emit_load_symbol_address(const char* symbol, int r);
void emit_lea_operand(const char* text, int r);
void emit_mov_register_text(const char* text, int r);
void emit_mov_register_register(int source, int destination);
void emit_store_accumulator(const char* destination, int size);
void emit_load_widened(int r, const char* source, bool is_unsigned);
void emit_register_to_fpu(int r);
void emit_fpu_constant_operand(const char* mnemonic);
void emit_load_operand_to_register(int r);
void emit_load_operand(int r);   // in the arithmetic of the expression under way
void emit_load_operand_in_mode(int r, uint32_t mode);

// Arithmetic on the top register (integer) or the x87 top (float mode).
void emit_add();
void emit_integer_sub();
void emit_multiply();
void emit_divide();
void emit_divide_constant_by_register(int64_t n, int r);
void emit_modulo();
void emit_modulo_constant_by_register(int64_t n, int r);
void emit_shift_left();
void emit_shift_right();
void emit_and();
void emit_or();
void emit_xor();
void emit_and_constant();
void emit_or_constant();
void emit_xor_constant();
void emit_negate_register(int r);
void emit_not_register(int r);

// Constants.
int emit_large_immediate(int64_t n);
void emit_add_constant(int64_t n, int r);
void emit_add_constant_to_operand(int64_t n, int r);
void emit_sub_rsp(int64_t n);
void emit_add_constant_to_variable(int64_t n, const char* operand, int size);
void emit_integer_multiply_by_constant(int64_t n, int r);

// x87.
void count_fpu_push();
void count_fpu_pop(int n);
void emit_fpu_operation(const char* op, const char* int_op, const char* pop_op);
void emit_fpu_exchange();
void emit_fpu_change_sign();
void emit_fpu_discard();
int emit_save_fpu_stack();
void emit_restore_fpu_stack(int k, bool result_on_x87);
void emit_fpu_result_to_register(int r);

// Stack.
void emit_push_register(int r);
void emit_push_rax();
void emit_push_symbol_address(const char* symbol);
void emit_push_immediate(int64_t n);
void emit_pop_register(int r);
void emit_pop_to_operand(int r);
void emit_push_operand(uint32_t mode);   // pushed as the arithmetic `mode` takes it
