// Blocks in C. The shared block compiler calls these at each step of an If,
// loop or Select; they write C: an If as tests that jump to numbered labels
// ("if (!(...)) { goto no<n>; }", "goto endif<n>;", "no<n>:;"), loops as C
// loops ("while(1) {", "while (1) {", "do {") left through "break;" and
// entered again through "continue;" or a goto to the step, each followed by
// its Break label, and a Select as a local "zd_select<n>" with one
// "if (...) {" per Case. Labels are written "<name>:;" (or followed by a
// statement), so that a declaration may follow them; C lets a goto enter the
// scope of a local declared later in the same block.
#include "backend_c/c_blocks.h"

#include <string>

#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_type_names.h"
#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

int32_t c_block_label_counter = 0;
int32_t c_saved_block_label_counter = 0;
std::string c_case_condition;
std::string c_folded_chain_text;
std::vector<std::string> c_xor_left_texts;

namespace {

void write(const std::string& line)
{
    if (!no_output_depth) emit_line(line.c_str());
}

std::string numbered(const char* name, int32_t number) { return name + std::to_string(number); }

std::string selector_name(const SelectLevel* select) { return numbered("zd_select", select->end_label); }

bool is_string_select(const SelectLevel* select) { return (select->flags & SELECT_FLAG_STRING) != 0; }

// The copies that the `count` innermost string Selects keep are freed.
void free_string_selectors(int32_t count)
{
    if (no_output_depth) return;
    for (int32_t i = select_stack.depth - 1; i >= 0 && count > 0; i--, count--) {
        const SelectLevel* select = &select_stack.levels[i];
        if (is_string_select(select)) c_emit_free_string(selector_name(select));
    }
}

// The current operand as a 64-bit integer value: a float is rounded to the
// nearest integer (ties to even), as the x64 code loads it.
std::string integer_value_text()
{
    std::string text = c_operand_text();
    if (current_operand.flags & OP_FLOAT) return "SYS_BankerRoundQuad(" + text + ")";
    return text;
}

// A Case item compared with a selector of at most 4 bytes is written as an
// int ("(int)"), unless the item is wider: a constant outside the int range,
// a quad or an 8-byte variable, or a float (rounded as a quad), which keep
// their whole value as the x64 compare does.
bool item_fits_int(const SelectLevel* select)
{
    if (select->size >= 5) return false;
    if (current_operand.flags & (OP_QUAD | OP_FLOAT)) return false;
    if (current_operand.kind == OPERAND_CONSTANT) return fits_int32(current_operand.constant);
    if (current_operand.kind == OPERAND_VARIABLE) return current_operand.size <= 4;
    return (expression_mode & MODE_QUAD) == 0;
}

// A float selector and its Case items compare in the selector's precision.
const char* float_selector_type(const SelectLevel* select)
{
    return (select->flags & SELECT_FLAG_DOUBLE) ? "double" : "float";
}

// One comparison of a Case: the selector, the operator, the item (for a
// string selector the runtime's equality test).
std::string case_comparison(const SelectLevel* select, const char* relation)
{
    if (is_string_select(select)) {
        std::string test = c_string_equal_text(selector_name(select), c_string_value_text());
        if (!c_string_operand_on_stack()) return test;
        // A temporary is popped off the string stack whether or not an item
        // before it matched: its test is made before the Case's condition.
        std::string name = numbered("c", c_take_label_number(LABEL_FOR_CHAIN));
        write("integer " + name + "=" + test + ";");
        return name;
    }
    if (select->flags & SELECT_FLAG_FLOAT)
        return selector_name(select) + relation + "(" + float_selector_type(select) + ")(" + c_operand_text() + ")";
    return selector_name(select) + relation + (item_fits_int(select) ? "(int)" : "") + integer_value_text();
}

// The end of the loop test of Next: the add that would carry the counter out
// of its type ends the loop before the add. The narrow types wrap within
// their C type; long, quad and integer counters are added as unsigned
// 64-bit values (no signed overflow in C) and then read in their type.
std::string wrap_guard(const VariableRecord* counter, const std::string& counter_text, int64_t step)
{
    const char* type = c_type_name(counter->type);
    std::string sum;
    switch (counter->type) {
    case TYPE_BYTE:
    case TYPE_WORD:
    case TYPE_CHARACTER:
    case TYPE_ASCII:
    case TYPE_UNICODE: sum = counter_text + "+" + c_decimal_text(step); break;
    default: sum = "(unsigned long long)" + counter_text + "+" + c_decimal_text(step); break;
    }
    return "if ((" + std::string(type) + ")(" + sum + ")" + (step > 0 ? "<" : ">") + counter_text + ") { break; }";
}

}  // namespace

void c_reset_block_state()
{
    c_block_label_counter = 0;
    c_saved_block_label_counter = 0;
    c_case_condition.clear();
    c_folded_chain_text.clear();
    c_xor_left_texts.clear();
}

void c_enter_function_labels()
{
    c_saved_block_label_counter = c_block_label_counter;
    c_block_label_counter = 0;
}

void c_leave_function_labels() { c_block_label_counter = c_saved_block_label_counter; }

int32_t c_take_label_number(int purpose)
{
    // Not and XOr stay inside the expression text: they name no label.
    if (purpose == LABEL_FOR_VALUE) return 0;
    return ++c_block_label_counter;
}

// The name of a folded chain is read once, by the test or operator that
// takes the chain as its operand.
std::string c_condition_text()
{
    std::string folded;
    folded.swap(c_folded_chain_text);
    if (current_operand.kind == OPERAND_CONSTANT && !folded.empty() && folded == current_operand.text) return folded;
    // A string is true when it is not empty.
    if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) return c_string_truth_text();
    return c_operand_text();
}

// ---------------------------------------------------------------------------
// If

void c_emit_if_test(int32_t false_label, int is_else_if)
{
    write("if (!(" + c_condition_text() + ")) { goto " + numbered("no", false_label) + "; }");
    if (is_else_if) write(numbered("ok", false_label) + ":;");
}

void c_emit_if_branch_end(int32_t end_label, int32_t false_label)
{
    write("goto " + numbered("endif", end_label) + ";");
    write(numbered("no", false_label) + ":;");
}

void c_emit_end_if(int32_t end_label, int32_t false_label, int flags)
{
    if (flags & (BLOCK_FLAG_ELSE | BLOCK_FLAG_ELSEIF)) write(numbered("endif", end_label) + ":;");
    if (!(flags & BLOCK_FLAG_ELSE)) write(numbered("no", false_label) + ":;");
}

// ---------------------------------------------------------------------------
// While, Repeat

void c_emit_while_begin(int32_t) { write("while (1) {"); }

void c_emit_while_test(int32_t) { write("if (!(" + c_condition_text() + ")) { break; }"); }

void c_emit_wend(int32_t label)
{
    write("}");
    write(numbered("il_wend", label) + ":;");
}

void c_emit_repeat_begin(int32_t) { write("do {"); }

void c_emit_until_begin(int32_t label, int) { write(numbered("until", label) + ":;"); }

void c_emit_until_test(int32_t label)
{
    write("if (" + c_condition_text() + ") { goto " + numbered("ok", label) + "; }");
    write(numbered("no", label) + ":;");
    write("} while (1);");
    write(numbered("ok", label) + ":;");
    write(numbered("il_until", label) + ":;");
}

void c_emit_forever(int32_t label, int)
{
    write(numbered("until", label) + ":;");
    write("} while(1);");
    write(numbered("il_until", label) + ":;");
}

// ---------------------------------------------------------------------------
// For, ForEach

void c_emit_for_begin(int32_t, int) { write("while(1) {"); }

void c_emit_for_test(VariableRecord* counter, int negative_step, int32_t)
{
    if (no_output_depth) return;
    std::string counter_text = c_format_variable_operand(counter);
    const char* type = counter->pointer ? "integer" : c_type_name(counter->type);
    if (counter->pointer) counter_text = "(integer)" + counter_text;
    std::string limit = "(" + std::string(type) + ")" + integer_value_text();
    std::string test = "(" + limit + (negative_step ? "<=" : ">=") + counter_text + ")";
    write("if (!(" + test + ")) { break; }");
}

void c_emit_next(VariableRecord* counter, int64_t step, int32_t loop_label, int32_t next_label)
{
    if (no_output_depth) return;
    std::string counter_text = c_format_variable_operand(counter);
    std::string step_text = c_decimal_text(step);
    write(numbered("next", loop_label) + ":");
    if (counter->pointer) {
        write(counter_text + "=(void*)((integer)" + counter_text + "+" + step_text + ");");
    } else {
        write(wrap_guard(counter, counter_text, step));
        write(counter_text + "+=" + step_text + ";");
    }
    write("}");
    write(numbered("il_next", next_label) + ":;");
}

void c_emit_foreach_end(int32_t label)
{
    write("}");
    write(numbered("il_next", label) + ":;");
}

// ---------------------------------------------------------------------------
// Break, Continue

// The string copies of the Selects left on the way (one 8-byte selector
// slot each) are freed before the jump.
void c_emit_break(const BlockLevel* loop, int32_t, int32_t bytes)
{
    free_string_selectors(bytes / 8);
    const char* name = "il_next";
    if (loop->kind == BLOCK_WHILE) name = "il_wend";
    else if (loop->kind == BLOCK_REPEAT) name = "il_until";
    write("goto " + numbered(name, loop->label) + ";");
}

// A For loop goes on at its step, a Repeat at its test; the C loops of
// While and ForEach test again by themselves.
void c_emit_continue(const BlockLevel* loop, int32_t, int32_t bytes)
{
    free_string_selectors(bytes / 8);
    if (loop->kind == BLOCK_FOR) write("goto " + numbered("next", loop->label - 1) + ";");
    else if (loop->kind == BLOCK_REPEAT) write("goto " + numbered("until", loop->label) + ";");
    else write("continue;");
}

// ---------------------------------------------------------------------------
// Select

void c_emit_select_push()
{
    if (select_stack.depth <= 0) return;
    const SelectLevel* select = &select_stack.levels[select_stack.depth - 1];
    if (is_string_select(select)) {
        if (!no_output_depth) c_emit_select_string(selector_name(select));
        return;
    }
    if (select->flags & SELECT_FLAG_FLOAT) {
        write(std::string(float_selector_type(select)) + " " + selector_name(select) + "=" + c_operand_text() + ";");
        return;
    }
    const char* type = (select->flags & SELECT_FLAG_WIDE) ? "quad " : "integer ";
    write(type + selector_name(select) + "=" + integer_value_text() + ";");
}

void c_emit_select_drop()
{
    if (select_stack.depth > 0 && is_string_select(&select_stack.levels[select_stack.depth - 1])) free_string_selectors(1);
}

// ProcedureReturn leaves every open Select of the procedure: their string
// selectors are freed outer first.
void c_emit_leave_string_selects()
{
    if (no_output_depth) return;
    for (int32_t i = 0; i < select_stack.depth; i++)
        if (is_string_select(&select_stack.levels[i])) c_emit_free_string(selector_name(&select_stack.levels[i]));
}

void c_emit_case_close(const SelectLevel* select)
{
    write("goto " + numbered("endselect", select->end_label) + ";}");
}

void c_emit_case_value(const SelectLevel* select, int continued, int, int32_t, int32_t)
{
    if (!continued) c_case_condition.clear();
    else c_case_condition += " || ";
    c_case_condition += case_comparison(select, "==");
}

int64_t c_emit_case_range_start(const SelectLevel* select, int continued)
{
    if (!continued) c_case_condition.clear();
    c_case_condition += continued ? " || (" : "(";
    c_case_condition += case_comparison(select, ">=");
    return 0;
}

void c_emit_case_range_end(const SelectLevel* select, int64_t, int, int32_t, int32_t, int32_t)
{
    c_case_condition += " && " + case_comparison(select, "<=") + ")";
}

void c_emit_case_body(const SelectLevel*, int, int32_t)
{
    write("if (" + c_case_condition + ") {");
    c_case_condition.clear();
}

void c_emit_end_select(const SelectLevel* select, int in_case)
{
    if (in_case) write("}");
    write(numbered("endselect", select->end_label) + ":;");
}
