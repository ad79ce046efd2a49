#include "backend_x64/emit_control_flow.h"

#include <cstdio>
#include <cstring>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_compare.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/debugger_output.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/backend_tables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

int32_t compare_was_x87 = 0;

static const char* q(int r) { return register_name(8, r); }

static void set_result_register(int r);

static bool is_negated_group(int group) {
    return group == CONDITION_SIGNED_NEGATED || group == CONDITION_UNSIGNED_NEGATED;
}

void x64_emit_block_label(const char* prefix, int32_t number) { emit_linef("%s%d:", prefix, number); }

void x64_emit_block_jump(const char* prefix, int32_t number) { emit_linef(" JMP %s%d", prefix, number); }

// The condition index (<> = <= >= < >) read as a column of the table
// (= <> > < >= <=) names, in a plain row, the jump taken when the relation
// fails, and in a negated row the jump taken when it holds.
const char* condition_jump_mnemonic(int group, int relation) {
    if (relation < 0 || relation > 5) relation = 1;
    return ConditionJumpTable[group * 6 + relation];
}

void x64_emit_relation_jump(int relation, int is_unsigned, const char* prefix, int32_t number) {
    int group = is_unsigned ? CONDITION_UNSIGNED_NEGATED : CONDITION_SIGNED_NEGATED;
    emit_linef("%s %s%d", condition_jump_mnemonic(group, relation), prefix, number);
}

// Compares the current operand with zero; returns true for an x87 test
// (" TEST ah,40h": ZF=0 when the value is zero), false for an integer one
// (ZF=1 when the value is zero).
static bool emit_zero_test() {
    bool is_float = (current_operand.flags & OP_FLOAT) != 0;
    uint32_t mode = MODE_INTEGER;
    if (is_float) mode = (current_operand.flags & OP_DOUBLE) ? MODE_DOUBLE : MODE_FLOAT;
    emit_compare_zero_in_mode(register_stack.top, mode);
    compare_was_x87 = 0;
    jump_sense_inverted = 0;
    return is_float;
}

void x64_emit_condition_jump(int group, const char* prefix, int32_t number) {
    bool when_true = is_negated_group(group);
    // The target: the prefix and its number (a negative number: none).
    char target[160];
    if (number < 0) snprintf(target, sizeof target, "%s", prefix);
    else snprintf(target, sizeof target, "%s%d", prefix, number);
    if (current_operand.flags & OP_COMPARISON) {
        if (compare_was_x87) {
            // After an x87 compare the relation holds when ZF=0, or when
            // ZF=1 with the sense flag set; no carry or sign flag is valid.
            bool holds_on_zf = jump_sense_inverted != 0;
            bool jump_on_zf = when_true ? holds_on_zf : !holds_on_zf;
            emit_linef(" %s %s", jump_on_zf ? "JE" : "JNE", target);
        } else {
            emit_linef("%s %s", condition_jump_mnemonic(group, condition_index), target);
        }
        jump_sense_inverted = 0;
        compare_was_x87 = 0;
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        bool truth = (current_operand.flags & OP_FLOAT) ? current_operand.constant_float != 0.0
                                                        : current_operand.constant != 0;
        if (truth == when_true) emit_linef(" JMP %s", target);
        return;
    }
    // Jumping when false is jumping when the value is zero (the string empty).
    bool jump_when_zero = !when_true;
    if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
        bool zf_when_empty = emit_string_truth_test();
        bool jump_on_zf = zf_when_empty ? jump_when_zero : !jump_when_zero;
        emit_linef(" %s %s", jump_on_zf ? "JE" : "JNE", target);
        return;
    }
    bool x87 = emit_zero_test();
    bool jump_on_zf = x87 ? !jump_when_zero : jump_when_zero;
    emit_linef(" %s %s", jump_on_zf ? "JE" : "JNE", target);
}

void x64_emit_bool(int32_t number) {
    int r = register_stack.top;
    emit_linef("_Bool%d:", number);
    x64_emit_condition_jump(CONDITION_SIGNED, ".False", -1);
    emit_linef(" MOV %s,1", q(r));
    emit_line(" JMP .True");
    emit_line(".False:");
    emit_linef(" XOR %s,%s", q(r), q(r));
    emit_line(".True:");
    set_result_register(r);
}

static void set_result_register(int r) {
    set_operand_register_text(q(r));
    current_operand.flags = 0;
    if (!no_output_depth && r >= 0 && r <= 3) register_stack.live[r] = 1;
}

void x64_emit_condition_value(int32_t number, int negate) {
    int r = register_stack.top;
    x64_emit_condition_jump(negate ? CONDITION_SIGNED : CONDITION_SIGNED_NEGATED, "No", number);
    emit_linef(" XOR %s,%s", q(r), q(r));
    emit_linef(" JMP Ok%d", number);
    emit_linef("No%d:", number);
    emit_linef(" MOV %s,1", q(r));
    emit_linef("Ok%d:", number);
    set_result_register(r);
}

void x64_emit_comparison_value(int32_t number) { x64_emit_condition_value(number, 0); }

void x64_emit_logical_chain_end(int32_t number, int folded) {
    if (folded) return;
    int r = register_stack.top;
    emit_linef("Ok%d:", number);
    emit_linef(" MOV %s,1", q(r));
    emit_linef(" JMP End%d", number);
    emit_linef("No%d:", number);
    emit_linef(" XOR %s,%s", q(r), q(r));
    emit_linef("End%d:", number);
    set_result_register(r);
}

void x64_emit_logical_xor_left(int32_t number) {
    x64_emit_condition_jump(CONDITION_SIGNED_NEGATED, "No", number);
    emit_line(" PUSH qword 0");
    emit_linef(" JMP Ok%d", number);
    emit_linef("No%d:", number);
    emit_line(" PUSH qword 1");
    emit_linef("Ok%d:", number);
    emitter_stack.push_depth += 8;
}

void x64_emit_logical_xor_right(int32_t number) {
    int r = register_stack.top;
    x64_emit_condition_jump(CONDITION_SIGNED_NEGATED, "No", number);
    emit_line(" XOR rdx,rdx");
    emit_linef(" JMP Ok%d", number);
    emit_linef("No%d:", number);
    emit_line(" MOV rdx,1");
    emit_linef("Ok%d:", number);
    emit_linef(" POP %s", q(r));
    emitter_stack.push_depth -= 8;
    emit_linef(" XOR %s,rdx", q(r));
    set_result_register(r);
}

int64_t x64_reserve_jump_line() {
    if (no_output_depth) return -1;
    return emit_placeholder_line(reserved_jump_width);
}

static void write_over_reserved_line(int64_t line, const char* text) {
    size_t length = strlen(text);
    if (length > (size_t)reserved_jump_width) length = reserved_jump_width;
    memcpy(output_buffer_start + line, text, length);
}

void x64_patch_jump_line(int64_t line, int relation, const char* prefix, int32_t number) {
    if (line < 0 || no_output_depth) return;
    if (!prefix) {
        // No jump after all: a reserved line that is still the last one goes.
        if (output_write_pointer - output_buffer_start == line + reserved_jump_width + 1) {
            output_write_pointer = output_buffer_start + line;
            *output_write_pointer = 0;
        }
        return;
    }
    char text[64];
    if (relation < 0) snprintf(text, sizeof text, " JMP %s%d", prefix, number);
    else snprintf(text, sizeof text, "%s %s%d", condition_jump_mnemonic(CONDITION_SIGNED_NEGATED, relation), prefix, number);
    write_over_reserved_line(line, text);
}

// ---------------------------------------------------------------------------
// For/Next

static bool counter_is_unsigned(const VariableRecord* counter) {
    if (counter->pointer) return false;
    return counter->type == TYPE_CHARACTER || counter->type == TYPE_ASCII || counter->type == TYPE_UNICODE;
}

// The end value as a value of the counter's type, as the counter would
// hold it: a byte counter's 255 is -1, an Ascii counter's -1 is 255.
static int64_t narrowed_to_counter(int64_t value, int32_t width, bool is_unsigned) {
    switch (width) {
    case 1: return is_unsigned ? (int64_t)(uint8_t)value : (int64_t)(int8_t)value;
    case 2: return is_unsigned ? (int64_t)(uint16_t)value : (int64_t)(int16_t)value;
    case 4: return is_unsigned ? (int64_t)(uint32_t)value : (int64_t)(int32_t)value;
    default: return value;
    }
}

// The end value loaded into register r, in the counter's type.
static void emit_load_end_value(int r, const VariableRecord* counter, bool is_unsigned) {
    int32_t width = counter->width;
    if (width >= 8 || (current_operand.flags & OP_FLOAT)) {
        emit_load_operand_to_register(r);
        if (width >= 8) return;
    } else if (current_operand.kind == OPERAND_CONSTANT) {
        current_operand.constant = narrowed_to_counter(current_operand.constant, width, is_unsigned);
        emit_load_operand_to_register(r);
        return;
    } else {
        // A variable that the counter's type holds whole needs no cut.
        bool source_unsigned = (current_operand.flags & OP_UNSIGNED) != 0;
        bool held = current_operand.kind == OPERAND_VARIABLE &&
                    ((source_unsigned && !is_unsigned && current_operand.size < width) ||
                     (source_unsigned == is_unsigned && current_operand.size <= width));
        emit_load_operand_to_register(r);
        if (held) return;
    }
    if (width == 4 && is_unsigned) emit_linef(" MOV %s,%s", register_name(4, r), register_name(4, r));
    else if (width == 4) emit_linef(" MOVSXD %s,%s", q(r), register_name(4, r));
    else emit_linef(" %s %s,%s", is_unsigned ? "MOVZX" : "MOVSX", q(r), register_name(width, r));
}

static void emit_for_exit_test(VariableRecord* counter, int negative_step, const char* prefix, int32_t number) {
    int r = register_stack.top;
    bool is_unsigned = counter_is_unsigned(counter);
    emit_load_end_value(r, counter, is_unsigned);
    snprintf(current_operand.text, sizeof current_operand.text, "%s", format_variable_operand(counter));
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.size = counter->width;
    current_operand.flags = 0;
    if (is_unsigned) current_operand.flags |= OP_UNSIGNED;
    // The end value is the left side: the loop ends when it lies below the
    // counter (above it when counting down).
    emit_compare_in_mode(r, negative_step ? COMPARE_GREATER : COMPARE_LESS, MODE_INTEGER);
    x64_emit_relation_jump(negative_step ? 5 : 4, is_unsigned, prefix, number);
}

static void emit_for_step(VariableRecord* counter, int64_t step, const char* prefix, int32_t number) {
    char operand[512];
    snprintf(operand, sizeof operand, "%s", format_variable_operand(counter));
    int size = counter->width;
    if (counter_is_unsigned(counter)) {
        // Counting beyond the type's range sets the carry.
        const char* mnemonic = step >= 0 ? "ADD" : "SUB";
        uint64_t magnitude = step >= 0 ? (uint64_t)step : 0 - (uint64_t)step;
        if (magnitude <= (uint64_t)INT32_MAX) {
            emit_linef(" %s %s,%llu", mnemonic, operand, (unsigned long long)magnitude);
        } else {
            emit_linef(" MOV rax,%lld", (long long)magnitude);
            emit_linef(" %s %s,%s", mnemonic, operand, register_name(size, REGISTER_RAX));
        }
        emit_linef(" JNC %s%d", prefix, number);
        return;
    }
    emit_add_constant_to_variable(step, operand, size);
    emit_linef(" JNO %s%d", prefix, number);
}

void x64_emit_for_begin(int32_t loop_label, int with_marker) {
    // The first pass enters behind the loop label: the marker written after
    // it runs on the later iterations only.
    x64_emit_block_jump("_ForSkipDebug", loop_label);
    x64_emit_block_label("_For", loop_label);
    if (with_marker) emit_line_marker("DBL");
    x64_emit_block_label("_ForSkipDebug", loop_label);
}

void x64_emit_for_test(VariableRecord* counter, int negative_step, int32_t next_label) {
    emit_for_exit_test(counter, negative_step, "_Next", next_label);
}

void x64_emit_next(VariableRecord* counter, int64_t step, int32_t loop_label, int32_t next_label) {
    x64_emit_block_label("_NextContinue", next_label);
    emit_for_step(counter, step, "_For", loop_label);
    x64_emit_block_label("_Next", next_label);
}

void x64_emit_foreach_end(int32_t label) {
    x64_emit_block_jump("_ForEach", label);
    x64_emit_block_label("_Next", label);
}

// ---------------------------------------------------------------------------
// If, While, Repeat

void x64_emit_if_test(int32_t false_label, int) { x64_emit_condition_jump(CONDITION_SIGNED, "_EndIf", false_label); }

void x64_emit_if_branch_end(int32_t end_label, int32_t false_label) {
    x64_emit_block_jump("_EndIf", end_label);
    x64_emit_block_label("_EndIf", false_label);
}

void x64_emit_end_if(int32_t end_label, int32_t false_label, int flags) {
    if (flags & (BLOCK_FLAG_ELSE | BLOCK_FLAG_ELSEIF)) x64_emit_block_label("_EndIf", end_label);
    if (!(flags & BLOCK_FLAG_ELSE)) x64_emit_block_label("_EndIf", false_label);
}

void x64_emit_while_begin(int32_t label) { x64_emit_block_label("_While", label); }

void x64_emit_while_test(int32_t label) { x64_emit_condition_jump(CONDITION_SIGNED, "_Wend", label); }

void x64_emit_wend(int32_t label) {
    x64_emit_block_jump("_While", label);
    x64_emit_block_label("_Wend", label);
}

void x64_emit_repeat_begin(int32_t label) { x64_emit_block_label("_Repeat", label); }

void x64_emit_until_begin(int32_t label, int continue_used) {
    if (continue_used) x64_emit_block_label("_Repeat_Test", label);
}

void x64_emit_until_test(int32_t label) {
    x64_emit_condition_jump(CONDITION_SIGNED, "_Repeat", label);
    x64_emit_block_label("_Until", label);
}

void x64_emit_forever(int32_t label, int continue_used) {
    if (continue_used) x64_emit_block_label("_Repeat_Test", label);
    x64_emit_block_jump("_Repeat", label);
    x64_emit_block_label("_Until", label);
}

// ---------------------------------------------------------------------------
// And/Or chains

// A constant left side decides alone: its jump waits on a reserved line
// until the right side shows whether the chain folds.
int64_t x64_emit_logical_left(int is_or, int32_t number) {
    if (current_operand.kind == OPERAND_CONSTANT) return x64_reserve_jump_line();
    if (is_or) x64_emit_condition_jump(CONDITION_SIGNED_NEGATED, "Ok", number);
    else x64_emit_condition_jump(CONDITION_SIGNED, "No", number);
    return -1;
}

void x64_emit_logical_right(int is_or, int32_t number, int64_t left_place, int left_constant, int left_truth,
                            int folded) {
    if (folded) {
        x64_patch_jump_line(left_place, -1, nullptr, 0);
        return;
    }
    if (left_constant) {
        if (is_or && left_truth) x64_patch_jump_line(left_place, -1, "Ok", number);
        if (!is_or && !left_truth) x64_patch_jump_line(left_place, -1, "No", number);
    }
    x64_emit_condition_jump(CONDITION_SIGNED, "No", number);
}

// ---------------------------------------------------------------------------
// Select/Case

// The innermost open Select.
static SelectLevel* innermost_select() {
    return select_stack.depth > 0 ? &select_stack.levels[select_stack.depth - 1] : nullptr;
}

static bool is_string_select(const SelectLevel* select) { return select && (select->flags & SELECT_FLAG_STRING); }

static bool is_float_select(const SelectLevel* select) { return select && (select->flags & SELECT_FLAG_FLOAT); }

void x64_emit_select_push() {
    SelectLevel* select = innermost_select();
    if (is_string_select(select)) {
        // A temporary keeps its text on the string stack (its offset is
        // pushed already); a string variable's address is pushed.
        if (select->flags & SELECT_FLAG_STRING_BASE) emit_increment_string_base_position();
        else x64_keep_compared_string();
        select->stack_depth = emitter_stack.push_depth;
        return;
    }
    if (is_float_select(select)) {
        // A float selector is kept as a double, which holds a float exactly.
        emit_push_operand(MODE_DOUBLE);
    } else {
        int r = register_stack.top;
        // Always a whole 64-bit value, widened by its type, so that every
        // Case compares all eight bytes.
        emit_load_operand_to_register(r);
        emit_push_register(r);
    }
    if (select) select->stack_depth = emitter_stack.push_depth;
}

void x64_emit_select_drop() {
    SelectLevel* select = innermost_select();
    if (select && (select->flags & SELECT_FLAG_STRING_BASE)) {
        emit_restore_string_base_position();
        return;
    }
    emit_line(" ADD rsp,8");
    emitter_stack.push_depth -= 8;
}

// A Case value against a float selector, in the selector's precision: the
// flags are those of an unsigned compare of the selector with the value.
static void emit_float_case_compare(const SelectLevel* select) {
    bool single = !(select->flags & SELECT_FLAG_DOUBLE);
    bool exact = current_operand.kind == OPERAND_CONSTANT ||
                 (single && (current_operand.flags & OP_FLOAT) && !(current_operand.flags & OP_DOUBLE));
    emit_load_operand_in_mode(register_stack.top, single ? MODE_FLOAT : MODE_DOUBLE);
    if (single && !exact) {
        // Rounded to a float as the selector was.
        emit_line(" FSTP dword [rsp-8]");
        emit_line(" FLD dword [rsp-8]");
    }
    emit_line(" FLD qword [rsp]");
    count_fpu_push();
    emit_line(" FCOMIP st0,st1");
    emit_line(" FSTP st0");
    count_fpu_pop(2);
}

// The relation of a Case value to the selector: its mirror for a float
// compare, which has the selector on the left.
static int case_relation(const SelectLevel* select, int relation) {
    if (!is_float_select(select)) return relation;
    static const int mirrored[6] = {0, 1, 3, 2, 5, 4};
    return mirrored[relation];
}

static void emit_case_jump(const SelectLevel* select, int relation, const char* prefix, int32_t number) {
    x64_emit_relation_jump(case_relation(select, relation), is_float_select(select), prefix, number);
}

// The lower bound's test of a range, written over its reserved line.
static void patch_case_jump(const SelectLevel* select, int64_t line, const char* prefix, int32_t number) {
    if (line < 0 || no_output_depth) return;
    int group = is_float_select(select) ? CONDITION_UNSIGNED_NEGATED : CONDITION_SIGNED_NEGATED;
    char text[64];
    snprintf(text, sizeof text, "%s %s%d", condition_jump_mnemonic(group, case_relation(select, 5)), prefix, number);
    write_over_reserved_line(line, text);
}

static void emit_case_compare(const SelectLevel* select) {
    if (is_string_select(select)) {
        emit_stacked_string_equal((select->flags & SELECT_FLAG_STRING_BASE) ? 1 : 0);
        return;
    }
    if (is_float_select(select)) {
        emit_float_case_compare(select);
        return;
    }
    int r = register_stack.top;
    emit_load_operand_to_register(r);
    emit_linef(" CMP %s,qword [rsp]", q(r));
}

void x64_emit_case_close(const SelectLevel* select) {
    x64_emit_block_jump("_EndSelect", select->end_label);
    x64_emit_block_label("_Case", select->pending_case);
}

// Each value is compared with the selector (the value on the left): a value
// that is not last leads into the body when equal, the last one to the next
// case when different.
// A string compare answers non-zero for equal texts: its condition index 0
// holds then, where a numeric compare holds at 1 (=).
void x64_emit_case_value(const SelectLevel* select, int, int last, int32_t body_label, int32_t next_label) {
    emit_case_compare(select);
    int equal = is_string_select(select) ? 0 : 1;
    if (last) emit_case_jump(select, 1 - equal, "_Case", next_label);
    else emit_case_jump(select, equal, "_Case", body_label);
}

int64_t x64_emit_case_range_start(const SelectLevel* select, int) {
    emit_case_compare(select);
    return x64_reserve_jump_line();
}

// The lower bound's test, written over its reserved line, leaves when the
// bound is above the selector.
void x64_emit_case_range_end(const SelectLevel* select, int64_t lower_place, int last, int32_t body_label,
                             int32_t next_label, int32_t range_label) {
    emit_case_compare(select);
    if (!last) {
        emit_case_jump(select, 3, "_Case", body_label);
        patch_case_jump(select, lower_place, "_CaseTo", range_label);
        x64_emit_block_label("_CaseTo", range_label);
    } else {
        emit_case_jump(select, 4, "_Case", next_label);
        patch_case_jump(select, lower_place, "_Case", next_label);
    }
}

void x64_emit_case_body(const SelectLevel*, int body_jumps, int32_t body_label) {
    if (body_jumps) x64_emit_block_label("_Case", body_label);
}

void x64_emit_end_select(const SelectLevel* select, int) {
    x64_emit_block_label("_Case", select->pending_case);
    x64_emit_block_label("_EndSelect", select->end_label);
}

// ---------------------------------------------------------------------------
// Break and Continue

// The string base position saved in the stack slot at [rsp+offset] made
// the write position again. Nothing is live here; the runtime call gets its
// aligned frame with home space.
static void emit_reload_string_base_position(int32_t offset) {
    if (thread_safe) {
        emit_linef(" MOV rcx,[rsp+%d]", offset);
        emit_call_frame_begin();
        emit_line(" CALL SYS_SetStringBasePosition");
        emit_call_frame_end();
    } else {
        emit_linef(" MOV rax,[rsp+%d]", offset);
        emit_line(" MOV qword [ZD_StringBasePosition],rax");
    }
}

void x64_emit_leave_string_selects() {
    // The outermost Select that keeps its selector on the string stack
    // holds the lowest position.
    for (int32_t i = 0; i < select_stack.depth; i++) {
        const SelectLevel& select = select_stack.levels[i];
        if (!(select.flags & SELECT_FLAG_STRING_BASE)) continue;
        emit_reload_string_base_position(emitter_stack.push_depth - select.stack_depth);
        return;
    }
}

void x64_emit_loop_jump(int32_t string_offset, int32_t bytes, const char* prefix, int32_t number) {
    if (string_offset >= 0) emit_reload_string_base_position(string_offset);
    // The Select values stay counted in the push depth: the code after the
    // jump still runs with them on the stack.
    if (bytes) emit_linef(" ADD rsp,%d", bytes);
    emit_linef(" JMP %s%d", prefix, number);
}

void x64_emit_break(const BlockLevel* loop, int32_t string_offset, int32_t bytes) {
    const char* prefix = "_Next";
    if (loop->kind == BLOCK_WHILE) prefix = "_Wend";
    else if (loop->kind == BLOCK_REPEAT) prefix = "_Until";
    x64_emit_loop_jump(string_offset, bytes, prefix, loop->label);
}

void x64_emit_continue(const BlockLevel* loop, int32_t string_offset, int32_t bytes) {
    const char* prefix = "_NextContinue";
    if (loop->kind == BLOCK_WHILE) prefix = "_While";
    else if (loop->kind == BLOCK_REPEAT) prefix = "_Repeat_Test";
    else if (loop->kind == BLOCK_FOREACH) prefix = "_ForEach";
    x64_emit_loop_jump(string_offset, bytes, prefix, loop->label);
}
