#include "frontend/operand_state.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/char_tables.h"
#include "core/core_globals.h"
#include "core/text_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/number_literals.h"

CurrentOperand current_operand;
RegisterStack register_stack;
uint32_t expression_mode;

void reset_registers() {
    register_stack.lowest = 3;
    for (int32_t& live : register_stack.live) live = 0;
    register_stack.top = 3;
    register_stack.depth = 0;
}

void reset_operand_state() {
    reset_registers();
    register_stack.lowest_callee_saved = 3;
    register_stack.fpu_free = 7;
    register_stack.cached_list = nullptr;
    register_stack.cached_list_reload = 0;
    current_operand.size = 8;
    current_operand.kind = OPERAND_NONE;
    current_operand.flags = 0;
    current_operand.text[0] = 0;
    expression_mode = MODE_INTEGER;
}

int count_busy_registers() {
    int busy = register_stack.top + 1;
    for (int i = register_stack.top; i >= 0; i--) busy -= register_stack.live[i];
    return busy;
}

void register_push() {
    if (error_number || no_output_depth) return;
    if (is_float_mode(expression_mode)) {
        register_stack.fpu_free--;
        return;
    }
    if (register_stack.depth < REGISTER_SAVE_DEPTH)
        register_stack.saved[register_stack.depth++] = (uint8_t)register_stack.top;
    if (register_stack.live[register_stack.top] == 1) register_stack.top--;
    if (register_stack.top < 0) {
        set_error(ERROR_OUT_OF_CPU_REGISTERS);
        register_stack.top = 0;
        return;
    }
    if (register_stack.top < register_stack.lowest) register_stack.lowest = register_stack.top;
    if (register_stack.top > 0 && register_stack.top < register_stack.lowest_callee_saved)
        register_stack.lowest_callee_saved = register_stack.top;
}

void register_pop() {
    if (error_number || no_output_depth) return;
    if (is_float_mode(expression_mode)) {
        register_stack.fpu_free++;
        return;
    }
    if (register_stack.depth <= 0) return;
    register_stack.depth--;
    register_stack.live[register_stack.top] = 0;
    if (register_stack.saved[register_stack.depth] != register_stack.top) register_stack.top++;
}

void save_register_marks(RegisterMarks* marks) {
    for (int i = 0; i < 4; i++) marks->live[i] = register_stack.live[i];
}

void restore_register_marks(const RegisterMarks* marks) {
    for (int i = 0; i < 4; i++) register_stack.live[i] = marks->live[i];
}

void copy_operand(CurrentOperand* to, const CurrentOperand* from) {
    to->kind = from->kind;
    to->size = from->size;
    to->constant = from->constant;
    to->constant_float = from->constant_float;
    to->flags = from->flags;
    copy_text(to->text, sizeof to->text, from->text);
}

namespace {
std::vector<std::unique_ptr<CurrentOperand>> spare_operands;
size_t spare_operands_in_use = 0;
}  // namespace

CurrentOperand* take_spare_operand() {
    if (spare_operands_in_use == spare_operands.size()) spare_operands.emplace_back(new CurrentOperand());
    return spare_operands[spare_operands_in_use++].get();
}

void give_back_spare_operand() {
    if (spare_operands_in_use) spare_operands_in_use--;
}

void set_operand_register_text(const char* name) {
    copy_text(current_operand.text, sizeof current_operand.text, name);
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
}

namespace {

void set_integer_constant_value(int64_t value) {
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.size = 8;
    current_operand.constant = value;
    current_operand.constant_float = (double)value;
    current_operand.flags &= ~(OP_FLOAT | OP_DOUBLE | OP_QUAD | OP_COMPUTED);
    if (!fits_int32(value)) current_operand.flags |= OP_QUAD;
}

}  // namespace

void set_operand_integer_constant(int64_t value) {
    set_integer_constant_value(value);
    copy_text(current_operand.text, sizeof current_operand.text, int_to_text(value));
}

void set_operand_integer_constant_text(int64_t value, const char* text, int length) {
    set_integer_constant_value(value);
    memcpy(current_operand.text, text, size_t(length));
    current_operand.text[length] = 0;
}

void set_operand_float_constant(double value, bool is_double) {
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.size = 8;
    current_operand.constant_float = value;
    current_operand.constant = round_double_to_int64(value);
    current_operand.flags &= ~(OP_QUAD | OP_COMPUTED);
    current_operand.flags |= OP_FLOAT;
    if (is_double) current_operand.flags |= OP_DOUBLE;
    format_to_buffer(current_operand.text, sizeof current_operand.text, "%.100g", value);
}

int cache_current_list(const void* list) {
    if (no_output_depth) return 0;
    if (list == register_stack.cached_list) return 1;
    register_stack.cached_list = list;
    register_stack.cached_list_reload = 1;
    return 0;
}

void forget_cached_list() {
    register_stack.cached_list = nullptr;
}
