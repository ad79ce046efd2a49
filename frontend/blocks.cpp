// The block statements. Compilation is single-pass: each opening statement
// pushes a level that records the number of the label its closing statement
// writes, and every forward jump goes to such a numbered label.
#include "frontend/blocks.h"

#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/conditions.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"

BlockStack block_stack;
int32_t if_end_labels[max_block_depth];
int32_t if_depth = 0;
SelectStack select_stack;
int32_t label_counter = 0;
int32_t select_label_counter = 0;
int32_t case_label_counter = 0;
int32_t case_range_counter = 0;
char with_base_text[1024];

namespace {

// The end value of a For while its Step is read.
CurrentOperand saved_end_value;

void emit_marker() {
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
}

bool push_block(uint8_t kind, uint8_t flags, int32_t label, VariableRecord* counter = nullptr, int64_t step = 0) {
    if (block_stack.depth >= max_block_depth) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    BlockLevel& level = block_stack.levels[block_stack.depth++];
    level.kind = kind;
    level.flags = flags;
    level.label = label;
    level.counter = counter;
    level.step = step;
    return true;
}

// Lowers the depth and returns the uncovered level (null on an empty stack).
BlockLevel* pop_block() {
    if (block_stack.depth == 0) return nullptr;
    return &block_stack.levels[--block_stack.depth];
}

BlockLevel* innermost_level() {
    return block_stack.depth ? &block_stack.levels[block_stack.depth - 1] : nullptr;
}

// The keyword's reader has read the operator after it: a word stays to be
// read (the lexer put it back), a sign or bracket is stepped back over; an
// operator word stays the current token.
void step_back_after_keyword() {
    if (token_code >= TOKEN_TO && token_code <= TOKEN_OR) return;
    if (token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END) parse_pointer--;
    token_code = TOKEN_EXPRESSION_START;
    token_precedence = PRECEDENCE_NONE;
}

bool is_loop_kind(uint8_t kind) {
    return kind == BLOCK_WHILE || kind == BLOCK_REPEAT || kind == BLOCK_FOR || kind == BLOCK_FOREACH;
}

// Walks the open blocks outward to the `count`-th loop: the bytes of the
// Select values pushed on the way, and the slot of a string base position to
// restore (the outermost wins). Returns the level, or null.
BlockLevel* find_loop(int64_t count, int32_t* bytes, int32_t* string_offset) {
    *bytes = 0;
    *string_offset = -1;
    int32_t select_index = select_stack.depth - 1;
    for (int32_t i = block_stack.depth - 1; i >= 0; i--) {
        BlockLevel& level = block_stack.levels[i];
        if (level.kind == BLOCK_CASE || level.kind == BLOCK_DEFAULT) {
            if (select_index >= 0 && (select_stack.levels[select_index].flags & SELECT_FLAG_STRING_BASE))
                *string_offset = *bytes;
            *bytes += 8;
            select_index--;
        } else if (level.kind == BLOCK_SELECT) {
            select_index--;
        } else if (is_loop_kind(level.kind)) {
            if (--count == 0) return &level;
        }
    }
    return nullptr;
}

bool operand_is_string() {
    return current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
}

// A fixed-string variable as a Select or Case value is read from a copy on
// the string stack, which then stands for it.
void copy_fixed_string_to_stack() {
    if (!(current_operand.flags & OP_FIXED_STRING) || (current_operand.flags & OP_COMPUTED)) return;
    backend->copy_string_to_stack(1);
    current_operand.flags = OP_STRING | OP_COMPUTED;
}

// One value of a Case list into the current operand; checks its type
// against the selector's.
bool compile_case_value(const SelectLevel& select) {
    token_code = TOKEN_EXPRESSION_START;
    token_precedence = PRECEDENCE_NONE;
    case_value_depth++;
    compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_STRING_BASE | EXPR_KEEP_FPU_RESULT, 0);
    case_value_depth--;
    if (error_number) return false;
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    bool string_selector = (select.flags & SELECT_FLAG_STRING) != 0;
    if (!string_selector && operand_is_string()) {
        set_error_format(ERROR_NUMBER_EXPECTED_NOT_STRING, "Case");
        return false;
    }
    if (string_selector && !operand_is_string()) {
        set_error_format(ERROR_STRING_EXPECTED_NOT_NUMBER, "Case");
        return false;
    }
    if (token_code != ',' && token_code != TOKEN_TO && token_code != TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    if (string_selector) copy_fixed_string_to_stack();
    return true;
}

}  // namespace

int32_t take_block_label_number() {
    return backend->take_label_number(LABEL_FOR_BLOCK);
}

void reset_block_state() {
    block_stack.depth = 0;
    if_depth = 0;
    select_stack.depth = 0;
    label_counter = 0;
    select_label_counter = 0;
    case_label_counter = 0;
    case_range_counter = 0;
    with_base_text[0] = 0;
    reset_condition_state();
}

int32_t innermost_block_kind() {
    BlockLevel* level = innermost_level();
    return level ? level->kind : 0;
}

int32_t block_stack_depth() { return block_stack.depth; }

void report_open_block() {
    if (error_number) return;
    if (BlockLevel* level = innermost_level()) {
        switch (level->kind) {
        case BLOCK_IF: set_error_format(ERROR_END_CONDITION_KEYWORD_MISSING, "EndIf"); break;
        case BLOCK_WHILE: set_error_format(ERROR_END_CONDITION_KEYWORD_MISSING, "Wend"); break;
        case BLOCK_REPEAT: set_error_format(ERROR_END_CONDITION_KEYWORD_MISSING, "Until"); break;
        case BLOCK_SELECT: set_error_format(ERROR_END_CONDITION_KEYWORD_MISSING, "EndSelect"); break;
        case BLOCK_FOR: case BLOCK_FOREACH: set_error_format(ERROR_END_CONDITION_KEYWORD_MISSING, "Next"); break;
        default: set_error(ERROR_UNFINISHED_CONDITION); break;
        }
        return;
    }
    if (in_with) set_error_format(ERROR_END_KEYWORD_MISSING, "With");
}

// ---------------------------------------------------------------------------
// If, ElseIf, Else, EndIf

void compile_if_statement() {
    emit_marker();
    if (if_depth >= max_block_depth) {
        set_error(ERROR_SYNTAX);
        return;
    }
    int32_t end_label = take_block_label_number();
    int32_t false_label = take_block_label_number();
    if_end_labels[if_depth++] = end_label;
    if (!push_block(BLOCK_IF, 0, false_label)) return;
    if (compile_block_condition()) backend->emit_if_test(false_label, 0);
}

void compile_elseif_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_ELSE_WITHOUT_IF);
        return;
    }
    if (level->kind == BLOCK_ELSE) {
        set_error(ERROR_ELSEIF_AFTER_ELSE);
        return;
    }
    if (level->kind != BLOCK_IF) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    uint8_t flags = level->flags | BLOCK_FLAG_ELSEIF;
    int32_t false_label = level->label;
    int32_t label = take_block_label_number();
    backend->emit_if_branch_end(if_end_labels[if_depth - 1], false_label);
    emit_marker();
    push_block(BLOCK_IF, flags, label);
    if (compile_block_condition()) backend->emit_if_test(label, 1);
}

void compile_else_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_ELSE_WITHOUT_IF);
        return;
    }
    if (level->kind != BLOCK_IF) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    uint8_t flags = level->flags | BLOCK_FLAG_ELSE;
    int32_t false_label = level->label;
    int32_t label = take_block_label_number();
    backend->emit_if_branch_end(if_end_labels[if_depth - 1], false_label);
    emit_marker();
    push_block(BLOCK_ELSE, flags, label);
}

void compile_endif_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_ENDIF_WITHOUT_IF);
        return;
    }
    if (level->kind != BLOCK_IF && level->kind != BLOCK_ELSE) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    backend->emit_end_if(if_end_labels[if_depth - 1], level->label, level->flags);
    if_depth--;
    emit_marker();
}

// ---------------------------------------------------------------------------
// While, Wend, Repeat, Until, ForEver

void compile_while_statement() {
    int32_t label = take_block_label_number();
    if (!push_block(BLOCK_WHILE, 0, label)) return;
    backend->emit_while_begin(label);
    // Inside the loop, so that the marker runs on every iteration.
    emit_marker();
    if (compile_block_condition()) backend->emit_while_test(label);
}

void compile_wend_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_WEND_WITHOUT_WHILE);
        return;
    }
    if (level->kind != BLOCK_WHILE) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    emit_marker();
    backend->emit_wend(level->label);
}

void compile_repeat_statement() {
    int32_t label = take_block_label_number();
    if (!push_block(BLOCK_REPEAT, 0, label)) return;
    backend->emit_repeat_begin(label);
    emit_marker();
}

void compile_until_statement() {
    if (block_stack.depth == 0) {
        set_error(ERROR_UNTIL_WITHOUT_REPEAT);
        return;
    }
    emit_marker();
    BlockLevel* level = pop_block();
    if (level->kind != BLOCK_REPEAT) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    int32_t label = level->label;
    backend->emit_until_begin(label, level->flags & BLOCK_FLAG_CONTINUE);
    // The loop repeats while the condition is false.
    if (compile_block_condition()) backend->emit_until_test(label);
}

void compile_forever_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_FOREVER_WITHOUT_REPEAT);
        return;
    }
    if (level->kind != BLOCK_REPEAT) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    emit_marker();
    backend->emit_forever(level->label, level->flags & BLOCK_FLAG_CONTINUE);
}

// ---------------------------------------------------------------------------
// For, Next

static bool step_fits_counter(const VariableRecord* counter, int64_t step) {
    int width = counter->pointer ? 8 : counter->width;
    if (width >= 8 || width <= 0) return true;
    bool is_unsigned = !counter->pointer && (counter->type == TYPE_CHARACTER || counter->type == TYPE_ASCII ||
                                             counter->type == TYPE_UNICODE);
    int64_t limit = (int64_t)1 << (width * 8 - (is_unsigned ? 0 : 1));
    if (is_unsigned) return step > -limit && step < limit;
    return step >= -limit && step < limit;
}

void compile_for_statement() {
    step_back_after_keyword();
    char* counter_start = parse_pointer;
    emit_marker();
    if (*counter_start == '#') {
        set_error(ERROR_ILLEGAL_FOR_EXPRESSION);
        return;
    }
    compile_expression(EXPR_RESET_REGISTERS | EXPR_NEW_STATEMENT, 0);
    if (error_number) return;
    if (!expression_finished) {
        set_error(ERROR_ILLEGAL_FOR_EXPRESSION);
        return;
    }
    // The counter: the target read again, without code.
    char* after_start = parse_pointer;
    int32_t after_token = token_code, after_precedence = token_precedence;
    parse_pointer = counter_start;
    token_code = TOKEN_EXPRESSION_START;
    no_output_depth++;
    compile_operand();
    no_output_depth--;
    VariableRecord* counter = current_variable;
    int32_t counter_kind = current_operand.kind;
    uint32_t counter_flags = current_operand.flags;
    parse_pointer = after_start;
    token_code = after_token;
    token_precedence = after_precedence;
    if (error_number) return;
    if (counter_kind == OPERAND_VARIABLE && (counter_flags & OP_FLOAT)) {
        set_error(ERROR_FOR_INTEGER_ASSIGNMENT_EXPECTED);
        return;
    }
    if (!counter || counter_kind != OPERAND_VARIABLE || (counter_flags & (OP_STRUCTURE | OP_STRING))) {
        set_error(ERROR_STRUCTURED_FOR_COUNTER);
        return;
    }
    if (token_code != TOKEN_TO) {
        set_error(ERROR_TO_EXPECTED_AFTER_FOR);
        return;
    }
    int32_t loop_label = take_block_label_number();
    backend->emit_for_begin(loop_label, !line_markers_suppressed);

    compile_expression(EXPR_RESET_REGISTERS | EXPR_NUMERIC_ONLY | EXPR_KEEP_FPU_RESULT, 0);
    if (error_number) return;
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return;
    }
    // The step decides the exit test's direction; it is read before the
    // test is written, so the end value waits in a copy meanwhile.
    int64_t step = 1;
    if (token_code == TOKEN_STEP) {
        copy_operand(&saved_end_value, &current_operand);
        uint32_t saved_mode = expression_mode;
        token_code = TOKEN_EXPRESSION_START;
        token_precedence = PRECEDENCE_NONE;
        compile_expression(EXPR_DRY_RUN, 0);
        bool is_integer_constant = !error_number && current_operand.kind == OPERAND_CONSTANT &&
                                   !(current_operand.flags & OP_FLOAT);
        if (!is_integer_constant) {
            clear_error_state();
            set_error(ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
            return;
        }
        // Kept 64 bits wide: a quad step is added whole. A narrower counter
        // takes only a step its own width can hold (signed, or as a
        // magnitude for the unsigned types).
        step = current_operand.constant;
        if (!step_fits_counter(counter, step)) {
            set_error(ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
            return;
        }
        copy_operand(&current_operand, &saved_end_value);
        expression_mode = saved_mode;
    } else if (token_code != TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    int32_t next_label = take_block_label_number();
    backend->emit_for_test(counter, step < 0 ? 1 : 0, next_label);
    push_block(BLOCK_FOR, 0, next_label, counter, step);
}

void compile_next_statement() {
    BlockLevel* level = pop_block();
    if (!level) {
        set_error(ERROR_NEXT_WITHOUT_FOR);
        return;
    }
    bool names_counter = token_code != TOKEN_END;
    if (names_counter) step_back_after_keyword();
    if (level->kind != BLOCK_FOR && level->kind != BLOCK_FOREACH) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    emit_marker();
    if (level->kind == BLOCK_FOREACH) {
        compile_foreach_next(level, names_counter);
        return;
    }
    if (names_counter) {
        no_output_depth++;
        compile_operand();
        no_output_depth--;
        if (error_number) return;
        if (current_operand.kind != OPERAND_VARIABLE || current_variable != level->counter) {
            set_error(ERROR_WRONG_NEXT_VARIABLE);
            return;
        }
    }
    backend->emit_next(level->counter, level->step, level->label - 1, level->label);
}

// ---------------------------------------------------------------------------
// Select, Case, Default, EndSelect

void compile_select_statement() {
    emit_marker();
    step_back_after_keyword();
    if (select_stack.depth >= max_block_depth) {
        set_error(ERROR_SYNTAX);
        return;
    }
    SelectLevel& select = select_stack.levels[select_stack.depth++];
    select.end_label = ++select_label_counter;
    select.pending_case = 0;
    select.flags = 0;
    select.size = 8;
    if (!push_block(BLOCK_SELECT, 0, select.end_label)) return;
    compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_STRING_BASE | EXPR_KEEP_FPU_RESULT, 0);
    if (error_number) return;
    if (current_operand.kind == OPERAND_NONE) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (operand_is_string()) {
        if (current_operand.flags & OP_LITERAL) {
            set_error(ERROR_LITERAL_STRING_AS_EXPRESSION);
            return;
        }
        select.flags |= SELECT_FLAG_STRING;
        // A fixed string need not end with a terminator: the Select keeps a
        // copy of it on the string stack.
        copy_fixed_string_to_stack();
        // A temporary stays on the string stack for the whole Select.
        if (current_operand.flags & OP_COMPUTED) select.flags |= SELECT_FLAG_STRING_BASE;
        backend->emit_select_push();
        return;
    }
    select.size = current_operand.size;
    if (current_operand.flags & OP_QUAD) select.flags |= SELECT_FLAG_WIDE;
    // A float selector keeps its fraction: 2.5 is not the Case 2 or 3.
    if (current_operand.flags & OP_FLOAT) {
        select.flags |= SELECT_FLAG_FLOAT;
        if (current_operand.flags & OP_DOUBLE) select.flags |= SELECT_FLAG_DOUBLE;
    }
    backend->emit_select_push();
}

void compile_case_statement() {
    if (select_stack.depth == 0) {
        set_error(ERROR_CASE_WITHOUT_SELECT);
        return;
    }
    BlockLevel* level = innermost_level();
    if (level && level->kind == BLOCK_DEFAULT) {
        set_error(ERROR_DEFAULT_NOT_LAST);
        return;
    }
    if (!level || (level->kind != BLOCK_SELECT && level->kind != BLOCK_CASE)) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    SelectLevel& select = select_stack.levels[select_stack.depth - 1];
    if (level->kind == BLOCK_CASE) {
        emit_marker();
        backend->emit_case_close(&select);
    }
    emit_marker();
    // The body's label and the next case's label both come fresh from the
    // counter, so that a Select nested in a case body never reuses them.
    int32_t body_label = ++case_label_counter;
    int32_t next_label = ++case_label_counter;
    level->kind = BLOCK_CASE;
    bool body_jumps = false;
    int continued = 0;
    step_back_after_keyword();
    for (;;) {
        if (!compile_case_value(select)) return;
        if (token_code == TOKEN_TO) {
            if (select.flags & SELECT_FLAG_STRING) {
                set_error(ERROR_SYNTAX);
                return;
            }
            int64_t lower_place =
                backend->emit_case_range_start(&select, continued);
            if (!compile_case_value(select)) return;
            if (token_code == TOKEN_TO) {
                set_error(ERROR_SYNTAX);
                return;
            }
            bool last = token_code != ',';
            int32_t range_label = last ? 0 : ++case_range_counter;
            backend->emit_case_range_end(&select, lower_place, last, body_label, next_label, range_label);
            if (!last) body_jumps = true;
        } else {
            bool last = token_code != ',';
            backend->emit_case_value(&select, continued, last, body_label, next_label);
            if (!last) body_jumps = true;
        }
        continued = 1;
        if (token_code != ',') break;
    }
    backend->emit_case_body(&select, body_jumps, body_label);
    select.pending_case = next_label;
}

void compile_default_statement() {
    BlockLevel* level = innermost_level();
    if (select_stack.depth == 0 || !level || (level->kind != BLOCK_SELECT && level->kind != BLOCK_CASE)) {
        set_error(ERROR_DEFAULT_WITHOUT_SELECT);
        return;
    }
    if (level->kind == BLOCK_SELECT) {
        set_error(ERROR_DEFAULT_WITHOUT_CASE);
        return;
    }
    SelectLevel& select = select_stack.levels[select_stack.depth - 1];
    emit_marker();
    backend->emit_case_close(&select);
    emit_marker();
    select.pending_case = ++case_label_counter;
    level->kind = BLOCK_DEFAULT;
}

void compile_endselect_statement() {
    if (select_stack.depth == 0) {
        set_error(ERROR_ENDSELECT_WITHOUT_SELECT);
        return;
    }
    BlockLevel* level = pop_block();
    if (!level || (level->kind != BLOCK_SELECT && level->kind != BLOCK_CASE && level->kind != BLOCK_DEFAULT)) {
        set_error(ERROR_END_CONDITION_OPERAND_EXPECTED);
        return;
    }
    SelectLevel& select = select_stack.levels[select_stack.depth - 1];
    if (select.pending_case) {
        backend->emit_end_select(&select, level->kind == BLOCK_CASE);
        emit_marker();
    }
    backend->emit_select_drop();
    select_stack.depth--;
}

// ---------------------------------------------------------------------------
// Break, Continue

void compile_break_statement() {
    emit_marker();
    int64_t count = 1;
    if (token_code != TOKEN_END) {
        step_back_after_keyword();
        compile_expression(EXPR_DRY_RUN, 0);
        if (error_number) return;
        if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & OP_FLOAT)) {
            set_error(ERROR_BREAK_INTEGER_CONSTANT_EXPECTED);
            return;
        }
        count = current_operand.constant;
        if (count < 1) {
            set_error(ERROR_BREAK_LEVEL_BELOW_ONE);
            return;
        }
    }
    int32_t bytes = 0, string_offset = -1;
    BlockLevel* loop = find_loop(count, &bytes, &string_offset);
    if (!loop) {
        set_error(ERROR_BREAK_LEVEL_TOO_HIGH);
        return;
    }
    backend->emit_break(loop, string_offset, bytes);
}

void compile_continue_statement() {
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return;
    }
    emit_marker();
    int32_t bytes = 0, string_offset = -1;
    BlockLevel* loop = find_loop(1, &bytes, &string_offset);
    if (!loop) {
        set_error(ERROR_CONTINUE_OUTSIDE_LOOP);
        return;
    }
    if (loop->kind == BLOCK_REPEAT) loop->flags |= BLOCK_FLAG_CONTINUE;
    backend->emit_continue(loop, string_offset, bytes);
}

// ---------------------------------------------------------------------------
// With, EndWith

void compile_with_statement() {
    if (in_with) {
        set_error_format(ERROR_CANNOT_BE_NESTED, "With");
        return;
    }
    if (expansion_pending) {
        set_error(ERROR_WITH_IN_MACRO);
        return;
    }
    // The base starts with a name or a pointer.
    if (token_code == '*') parse_pointer--;
    else if (token_code != TOKEN_NO_OPERATOR) {
        set_error(ERROR_SYNTAX);
        return;
    }
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    // The text runs to the end of the statement (strings and character
    // literals stepped over, "::" kept).
    char* start = parse_pointer;
    char* p = start;
    while (*p && *p != STATEMENT_SEPARATOR && *p != ';') {
        if (*p == '"' || *p == '\'') {
            char quote = *p++;
            while (*p && *p != quote) p++;
            if (*p) p++;
            continue;
        }
        if (*p == ':') {
            if (p[1] != ':') {
                set_error(ERROR_COLON_AFTER_WITH);
                return;
            }
            p += 2;
            continue;
        }
        p++;
    }
    char* end = p;
    while (end > start && (end[-1] == ' ' || end[-1] == '\t')) end--;
    size_t length = static_cast<size_t>(end - start);
    if (length == 0 || length >= sizeof with_base_text) {
        set_error(ERROR_SYNTAX);
        return;
    }
    std::memcpy(with_base_text, start, length);
    with_base_text[length] = 0;
    parse_pointer = p;
    read_operator();
    refuse_word_operator();
    if (error_number) return;
    in_with = 1;
}

void compile_endwith_statement() {
    in_with = 0;
    with_base_text[0] = 0;
}

bool enter_with_base() {
    if (!in_with || !with_base_text[0]) return false;
    // The rest of the logical line from the "\" on, behind the base text;
    // the statements after this one are read from the copy too.
    std::string text = with_base_text;
    text += '\\';
    text += parse_pointer;
    parse_pointer = pool_strdup(text.c_str());
    return true;
}
