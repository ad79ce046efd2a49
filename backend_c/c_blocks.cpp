// Blocks in C. The shared block compiler decides the order of labels and
// jumps; these emitters give each one its C form. A label is written as
// "<name>:;" so that a declaration may follow it, and a conditional jump as
// "if (...) { goto <name>; }". C lets a goto enter the scope of a local
// declared later in the same function, so the selector and condition locals
// may stand anywhere between the labels.
#include "backend_c/c_blocks.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_type_names.h"
#include "core/backend_tables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

std::string c_case_value_text;
std::vector<CReservedJump> c_reserved_jumps;
std::vector<std::string> c_xor_left_texts;

namespace {

// The relations of the condition index: <> = <= >= < >.
const char* const relation_operators[6] = {"!=", "==", "<=", ">=", "<", ">"};

const char* relation_operator(int relation)
{
    if (relation < 0 || relation > 5) relation = 1;
    return relation_operators[relation];
}

bool is_negated_group(int group) { return group == CONDITION_SIGNED_NEGATED || group == CONDITION_UNSIGNED_NEGATED; }

// The selector local of a Select (by its end label) and of the innermost one.
std::string selector_name_of(const SelectLevel& select) { return "zd_select" + std::to_string(select.end_label); }

std::string selector_name()
{
    int32_t number = select_stack.depth > 0 ? select_stack.levels[select_stack.depth - 1].end_label : 0;
    return "zd_select" + std::to_string(number);
}

bool innermost_select_is_string()
{
    return select_stack.depth > 0 && (select_stack.levels[select_stack.depth - 1].flags & SELECT_FLAG_STRING);
}

// The copies that the `count` innermost string Selects keep are freed.
void free_string_selectors(int32_t count)
{
    if (no_output_depth) return;
    for (int32_t i = select_stack.depth - 1; i >= 0 && count > 0; i--, count--) {
        const SelectLevel& select = select_stack.levels[i];
        if (select.flags & SELECT_FLAG_STRING) c_emit_free_string(selector_name_of(select));
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

// Writes a whole line at `offset` of the current output buffer: appended
// first (so that the buffer grows when it must), then rotated into place.
void insert_line_at(int64_t offset, const std::string& text)
{
    if (no_output_depth) return;
    int64_t end_before = output_write_pointer - output_buffer_start;
    emit_line(text.c_str());
    if (offset < 0 || offset >= end_before) return;
    int64_t end_after = output_write_pointer - output_buffer_start;
    std::rotate(output_buffer_start + offset, output_buffer_start + end_before, output_buffer_start + end_after);
    // Reserved places behind this one move with the text.
    for (CReservedJump& reserved : c_reserved_jumps)
        if (reserved.offset > offset) reserved.offset += end_after - end_before;
}

// Byte, word, character, ascii and unicode counters wrap within the loop's
// range; the others are checked by the add itself.
bool is_narrow_counter(const VariableRecord* counter)
{
    if (counter->pointer) return false;
    switch (counter->type) {
    case TYPE_BYTE:
    case TYPE_WORD:
    case TYPE_CHARACTER:
    case TYPE_ASCII:
    case TYPE_UNICODE: return true;
    default: return false;
    }
}

}  // namespace

void c_reset_block_state()
{
    c_case_value_text.clear();
    c_reserved_jumps.clear();
    c_xor_left_texts.clear();
}

std::string c_block_label_name(const char* prefix, int32_t number)
{
    static const struct {
        const char* prefix;
        const char* name;
    } loop_names[] = {
        {"_Wend", "il_wend"}, {"_Until", "il_until"}, {"_Next", "il_next"},
        {"_NextContinue", "next"}, {"_Repeat_Test", "until"},
    };
    std::string name;
    for (const auto& entry : loop_names)
        if (std::strcmp(prefix, entry.prefix) == 0) name = entry.name;
    if (name.empty()) {
        for (const char* p = prefix; *p; p++) {
            if (p == prefix && *p == '_') continue;
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
        }
    }
    return name + std::to_string(number);
}

void c_emit_block_label(const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    emit_line((c_block_label_name(prefix, number) + ":;").c_str());
}

void c_emit_block_jump(const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    emit_line(("goto " + c_block_label_name(prefix, number) + ";").c_str());
}

void c_emit_condition_jump(int group, const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    bool when_true = is_negated_group(group);
    std::string target = c_block_label_name(prefix, number);
    if (current_operand.kind == OPERAND_CONSTANT) {
        bool truth = (current_operand.flags & OP_FLOAT) ? current_operand.constant_float != 0.0
                                                        : current_operand.constant != 0;
        if (truth == when_true) emit_line(("goto " + target + ";").c_str());
        return;
    }
    bool is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
    std::string condition = is_string ? c_string_truth_text() : c_operand_text();
    if (when_true) emit_line(("if (" + condition + ") { goto " + target + "; }").c_str());
    else emit_line(("if (!(" + condition + ")) { goto " + target + "; }").c_str());
}

int64_t c_reserve_jump_line()
{
    int64_t offset = output_write_pointer - output_buffer_start;
    c_reserved_jumps.push_back({offset, c_case_value_text});
    return offset;
}

void c_patch_jump_line(int64_t line, int relation, const char* prefix, int32_t number)
{
    std::string value;
    bool found = false;
    for (size_t i = c_reserved_jumps.size(); i-- > 0;) {
        if (c_reserved_jumps[i].offset == line) {
            value = c_reserved_jumps[i].value;
            c_reserved_jumps.erase(c_reserved_jumps.begin() + static_cast<std::ptrdiff_t>(i));
            found = true;
            break;
        }
    }
    if (!found || !prefix || no_output_depth) return;
    std::string target = c_block_label_name(prefix, number);
    if (relation < 0) insert_line_at(line, "goto " + target + ";");
    else insert_line_at(line, "if (" + value + relation_operator(relation) + selector_name() + ") { goto " + target + "; }");
}

void c_emit_relation_jump(int relation, int, const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    if (innermost_select_is_string()) {
        // The string compare's index 0 holds for equal texts.
        std::string test = relation == 0 ? c_case_value_text : "!(" + c_case_value_text + ")";
        emit_line(("if (" + test + ") { goto " + c_block_label_name(prefix, number) + "; }").c_str());
        return;
    }
    std::string line = "if (" + c_case_value_text + relation_operator(relation) + selector_name() + ") { goto " +
                       c_block_label_name(prefix, number) + "; }";
    emit_line(line.c_str());
}

void c_emit_for_test(VariableRecord* counter, int negative_step, const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    std::string counter_text = c_format_variable_operand(counter);
    const char* type = counter->pointer ? "integer" : c_type_name(counter->type);
    if (counter->pointer) counter_text = "(integer)" + counter_text;
    std::string limit = "(" + std::string(type) + ")" + integer_value_text();
    std::string test = "(" + limit + (negative_step ? "<=" : ">=") + counter_text + ")";
    emit_line(("if (!(" + test + ")) { goto " + c_block_label_name(prefix, number) + "; }").c_str());
}

// The loop leaves through the label after it ("_Next", one above the loop's
// own number) when the step would carry the counter out of its type.
void c_emit_for_next(VariableRecord* counter, int64_t step, const char* prefix, int32_t number)
{
    if (no_output_depth) return;
    std::string counter_text = c_format_variable_operand(counter);
    std::string step_text = c_decimal_text(step);
    std::string exit_label = c_block_label_name("_Next", number + 1);
    if (counter->pointer) {
        emit_line((counter_text + "=(void*)((integer)" + counter_text + "+" + step_text + ");").c_str());
    } else if (is_narrow_counter(counter)) {
        const char* type = c_type_name(counter->type);
        std::string guard = "if ((" + std::string(type) + ")(" + counter_text + "+" + step_text + ")" +
                            (step > 0 ? "<" : ">") + counter_text + ") { goto " + exit_label + "; }";
        emit_line(guard.c_str());
        emit_line((counter_text + "+=" + step_text + ";").c_str());
    } else {
        // A long, quad or integer counter that would overflow ends the loop
        // (with the wrapped value, as the x64 code leaves it).
        emit_line(("if (__builtin_add_overflow(" + counter_text + "," + step_text + ",&" + counter_text + ")) { goto " +
                   exit_label + "; }")
                      .c_str());
    }
    emit_line(("goto " + c_block_label_name(prefix, number) + ";").c_str());
}

void c_emit_select_push()
{
    if (no_output_depth) return;
    if (innermost_select_is_string()) {
        c_emit_select_string(selector_name());
        return;
    }
    emit_line(("integer " + selector_name() + "=" + integer_value_text() + ";").c_str());
}

void c_emit_select_drop()
{
    if (innermost_select_is_string()) free_string_selectors(1);
}

void c_emit_case_compare()
{
    if (innermost_select_is_string()) {
        c_case_value_text = c_string_equal_text(selector_name(), c_string_value_text());
        return;
    }
    c_case_value_text = integer_value_text();
}

void c_emit_loop_jump(int32_t, int32_t bytes, const char* prefix, int32_t number)
{
    // One 8-byte selector slot per Select left.
    free_string_selectors(bytes / 8);
    c_emit_block_jump(prefix, number);
}

void c_emit_leave_string_selects()
{
    free_string_selectors(select_stack.depth);
}
