// Blocks in C: If, While, Repeat, For/Next, ForEach's end, Select/Case,
// Break and Continue. The shared block compiler (frontend/blocks.cpp) calls
// these at each step of a statement; the label numbers come from
// c_take_label_number, one run per C function shared with the And/Or chains.
#pragma once

#include <cstdint>
#include <string>

struct BlockLevel;
struct SelectLevel;
struct VariableRecord;

// Per compilation: the label counter, the Case condition and the XOr stack.
void c_reset_block_state();
// A procedure's body numbers its labels from 1; the main code's numbering
// goes on after it.
void c_enter_function_labels();
void c_leave_function_labels();
// The next label number of the function (0 for a Not or XOr, which name
// no label).
int32_t c_take_label_number(int purpose);
// The C truth text of the current operand: its C text, or the local's name
// of a folded And/Or chain.
std::string c_condition_text();

// If: "if (!(<condition>)) { goto no<n>; }" (ElseIf: then "ok<n>:;");
// ElseIf/Else: "goto endif<e>;" and "no<n>:;"; EndIf: "endif<e>:;" after an
// Else or ElseIf, "no<n>:;" unless an Else took it.
void c_emit_if_test(int32_t false_label, int is_else_if);
void c_emit_if_branch_end(int32_t end_label, int32_t false_label);
void c_emit_end_if(int32_t end_label, int32_t false_label, int flags);
// While: "while (1) {", "if (!(<condition>)) { break; }", "}" and
// "il_wend<n>:;". Repeat: "do {"; Until: "until<n>:;", "if (<condition>) {
// goto ok<n>; }", "no<n>:;", "} while (1);", "ok<n>:;", "il_until<n>:;";
// ForEver: "until<n>:;", "} while(1);", "il_until<n>:;".
void c_emit_while_begin(int32_t label);
void c_emit_while_test(int32_t label);
void c_emit_wend(int32_t label);
void c_emit_repeat_begin(int32_t label);
void c_emit_until_begin(int32_t label, int continue_used);
void c_emit_until_test(int32_t label);
void c_emit_forever(int32_t label, int continue_used);
// For: "while(1) {" and "if (!(((<type>)<end>>=<counter>))) { break; }"
// ("<=" counting down). Next: "next<loop>:", the wrap guard
// "if ((<type>)(<counter>+<step>)<<counter>) { break; }" (">" for a step of 0
// or below; long, quad and integer counters add as unsigned 64-bit values),
// the step, "}" and "il_next<n>:;" (a pointer counter: the step only).
// ForEach's end: "}" and "il_next<n>:;".
void c_emit_for_begin(int32_t loop_label, int with_marker);
void c_emit_for_test(VariableRecord* counter, int negative_step, int32_t next_label);
void c_emit_next(VariableRecord* counter, int64_t step, int32_t loop_label, int32_t next_label);
void c_emit_foreach_end(int32_t label);
// Break and Continue first free the string copies of the Selects left.
// Break: "goto il_next<n>;", "goto il_wend<n>;" or "goto il_until<n>;".
// Continue: "goto next<n-1>;" (For), "goto until<n>;" (Repeat), else
// "continue;".
void c_emit_break(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
void c_emit_continue(const BlockLevel* loop, int32_t string_offset, int32_t bytes);
// Select: "integer zd_select<n>=<value>;" ("quad " for a quad selector).
// Case items joined into one condition ("zd_select<n>==(int)<v>", ranges
// "(zd_select<n>>=(int)<a> && zd_select<n><=(int)<b>)", " || " between),
// written as "if (<condition>) {"; the next Case or Default first closes the
// previous one with "goto endselect<n>;}"; EndSelect: "}" after a Case,
// then "endselect<n>:;".
void c_emit_select_push();
void c_emit_select_drop();
// A string Select keeps a copy of its selector ("void *zd_select<n>=0;" and
// its allocation), freed at EndSelect, Break, Continue and ProcedureReturn
// (c_emit_leave_string_selects: every open Select's); its Case items are
// SYS_StringEqual tests.
void c_emit_leave_string_selects();
void c_emit_case_close(const SelectLevel* select);
void c_emit_case_value(const SelectLevel* select, int continued, int last, int32_t body_label, int32_t next_label);
int64_t c_emit_case_range_start(const SelectLevel* select, int continued);
void c_emit_case_range_end(const SelectLevel* select, int64_t lower_place, int last, int32_t body_label,
                           int32_t next_label, int32_t range_label);
void c_emit_case_body(const SelectLevel* select, int body_jumps, int32_t body_label);
void c_emit_end_select(const SelectLevel* select, int in_case);
