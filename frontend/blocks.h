// Blocks and control-flow statements: If, Select, loops, Break, Continue,
// With and the block stacks (records in frontend/frontend_globals.h); Goto,
// Gosub, Return, FakeReturn and End live in frontend/labels.cpp.
#pragma once

#include <cstdint>

// Statement handlers, called by the statement dispatcher after the keyword.
void compile_break_statement();
void compile_case_statement();
void compile_continue_statement();
void compile_default_statement();
void compile_else_statement();
void compile_elseif_statement();
void compile_endif_statement();
void compile_endselect_statement();
void compile_end_statement();
void compile_endwith_statement();
void compile_for_statement();
void compile_foreach_statement();
void compile_forever_statement();
void compile_fakereturn_statement();
void compile_gosub_statement();
void compile_goto_statement();
void compile_if_statement();
void compile_next_statement();
void compile_procedurereturn_statement();
void compile_repeat_statement();
void compile_return_statement();
void compile_select_statement();
void compile_until_statement();
void compile_while_statement();
void compile_wend_statement();
void compile_with_statement();
// An operand that begins with "\" inside a With block: the parse pointer
// moves to a copy of the line in which the With base stands in front of the
// "\". False (nothing done) outside a With.
bool enter_with_base();

// Before each compilation: the block stacks, the label counters and the
// condition state.
void reset_block_state();

// The number of a new block label (If, loops, ForEach), from the back end
// when it numbers its own labels.
int32_t take_block_label_number();

// Kind of the innermost open block (0 when none; 4 a Select without Case yet).
int32_t innermost_block_kind();
// Number of open blocks.
int32_t block_stack_depth();
// Records the error of a block that is still open (end of source, EndProcedure).
void report_open_block();
// End of source: error 125 when a Gosub was compiled and no Return.
void check_gosub_return();
