// String expressions. Literal pieces are joined at compile time in the
// literal buffer; everything else is built at run time on the program's
// temporary string stack, whose write position is pushed when the first
// piece is copied there and restored by the consumer of the result.
#include "frontend/strings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "frontend/compile_time_functions.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"

namespace {

// The seam, with nothing written where a back end leaves an entry empty.
void push_position() { backend->push_string_base_position(); }
void restore_position() { backend->restore_string_base_position(); }
void increment_position() {
    backend->increment_string_base_position();
}
void copy_to_stack(bool save_position) {
    backend->copy_string_to_stack(save_position ? 1 : 0);
}
void drop_offset() { backend->drop_string_offset(); }
void push_operand() { backend->keep_compared_string(); }

bool is_literal(uint32_t flags) { return (flags & OP_LITERAL) != 0; }

// The concatenation whose right operand is being read, for operand
// producers that flush its pending literal. A dry run inside the operand (a
// look ahead with output off) reads it deeper and leaves the literal
// pending for the real reading.
ActiveChain active_chain{nullptr, 0};

// The gathered literal text, with the null-string marker standing alone
// read as the empty string.
std::string gathered_text() {
    *literal_write_pointer = 0;
    if (std::strcmp(literal_text, null_string_marker) == 0) return std::string();
    return std::string(literal_text);
}

// Puts the text of an interned literal back into the literal buffer, so
// that more pieces can be joined to it.
void regather_interned_literal() {
    LiteralString* literal = find_literal_by_number(static_cast<int32_t>(current_operand.constant));
    reset_literal_text();
    if (literal) append_literal_text(literal->entry.key);
    current_operand.constant = 0;
}

// Interns the gathered text and makes the operand that literal.
void intern_operand_literal() {
    int32_t number = intern_gathered_literal();
    current_operand.kind = OPERAND_STRING;
    current_operand.flags = OP_STRING | OP_LITERAL;
    current_operand.constant = number;
    current_operand.text[0] = 0;
}

// Copies the pending literal text onto the string stack, saving the
// position first when nothing of this expression is there yet. Returns
// the flags of the expression afterwards.
uint32_t copy_pending_literal(uint32_t chain_flags) {
    intern_operand_literal();
    copy_to_stack(!(chain_flags & OP_COMPUTED));
    return (chain_flags | OP_COMPUTED | OP_STRING | OP_STRING_STACK) & ~OP_LITERAL;
}

// Copies the current operand (a string or fixed-string variable) onto the
// string stack behind the expression described by chain_flags. The operand
// was read at the current push depth, so nothing may be pushed between: a
// pending literal in front of it found the position saved already (see
// compile_concatenation).
uint32_t copy_variable(uint32_t chain_flags) {
    if (chain_flags & OP_LITERAL) {
        CurrentOperand* operand = take_spare_operand();
        copy_operand(operand, &current_operand);
        chain_flags = copy_pending_literal(chain_flags);
        copy_operand(&current_operand, operand);
        give_back_spare_operand();
    }
    copy_to_stack(!(chain_flags & OP_COMPUTED));
    return chain_flags | OP_COMPUTED | OP_STRING | OP_STRING_STACK;
}

// Whether the operand at the parse pointer is certainly joined at compile
// time (a literal or a constant), so that no run-time piece can follow.
bool next_operand_is_compile_time() {
    const char* p = parse_pointer;
    while (*p == ' ' || *p == '\t') p++;
    if (*p == '"' || *p == '#' || (*p >= '0' && *p <= '9')) return true;
    if (*p == '~' && p[1] == '"') return true;
    if ((*p == '$' || *p == '%') && p[1] >= '0' && p[1] <= 'f') return true;
    return false;
}

void set_chain_operand(uint32_t chain_flags) {
    current_operand.kind = OPERAND_STRING;
    current_operand.flags = chain_flags;
    current_operand.constant = 0;
    current_operand.text[0] = 0;
}

// Joins a number to the string: a constant as text now, any other value at
// run time by the number-to-text commands of the libraries (the chain's
// flags: its pending literal is copied first).
bool convert_number_operand(uint32_t* chain_flags) {
    // A constant becomes text now; a compile-time function's result goes
    // through the number-to-text command like any value.
    if (current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_COMPILE_TIME_RESULT)) {
        char text[400];
        format_number_as_text(text, sizeof text, current_operand.constant, current_operand.constant_float,
                              (current_operand.flags & OP_FLOAT) != 0);
        append_literal_text(text);
        if (error_number) return false;
        current_operand.kind = OPERAND_STRING;
        current_operand.flags = OP_STRING | OP_LITERAL;
        current_operand.constant = 0;
        return true;
    }
    // A structure, or its address taken with "@", is not turned into text
    // (a pointer's value, or Str(@item), is).
    if (current_operand.flags & (OP_STRUCTURE | OP_STRUCTURE_ADDRESS)) {
        set_error(ERROR_STRUCTURE_TO_STRING);
        return false;
    }
    int form = 0;
    const char* name = "Str";
    if (current_operand.flags & OP_DOUBLE) form = 2, name = "StrD";
    else if (current_operand.flags & OP_FLOAT) form = 1, name = "StrF";
    LibraryCommand* command = find_library_command(name);
    if (!command || !command->library || (command->flags & command_hidden_flags)) {
        set_error_format(ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO, name);
        return false;
    }
    command->use_count++;
    if (!no_output_depth) command->library->used = 1;
    backend->push_number_text_argument(form);
    // The literal text in front goes to the string stack before the number's text.
    if (chain_flags && (*chain_flags & OP_LITERAL)) *chain_flags = copy_pending_literal(*chain_flags);
    backend->emit_number_text(command, form);
    current_operand.kind = OPERAND_STRING;
    current_operand.flags = OP_STRING | OP_COMPUTED;
    current_operand.constant = 0;
    return true;
}

void compile_concatenation() {
    uint32_t chain;
    uint32_t flags = current_operand.flags;
    if (flags & OP_STRING_STACK) {
        chain = flags;
    } else if (is_literal(flags)) {
        if (current_operand.constant > 0) regather_interned_literal();
        chain = OP_STRING | OP_STRING_STACK | OP_LITERAL;
    } else if (flags & OP_COMPUTED) {
        // A finished temporary (a string result) starts the expression.
        chain = OP_STRING | OP_STRING_STACK | OP_COMPUTED;
    } else {
        chain = copy_variable(0);
    }
    if (error_number) return;

    while (token_code == '+' && token_precedence == PRECEDENCE_ADDITIVE && !error_number) {
        // The null string joined with anything is that thing.
        if ((chain & OP_LITERAL) && gathered_text().empty()) reset_literal_text();
        // Literal text alone so far, and a run-time piece may follow: the
        // position is saved now, before that piece is read, so that its
        // stack-relative address stays right.
        if (!(chain & OP_COMPUTED) && !constant_expression_mode && !next_operand_is_compile_time()) {
            push_position();
            chain |= OP_COMPUTED;
        }
        set_chain_operand(chain);
        ActiveChain outer_chain = active_chain;
        active_chain = ActiveChain{&chain, no_output_depth};
        const char* before = parse_pointer;
        compile_expression_level(EXPRESSION_LEVEL_OPERAND);
        active_chain = outer_chain;
        if (error_number) return;
        // Nothing was read: a refused operand whose error goes unrecorded
        // while errors are suppressed (a skipped region's directive) would
        // bring the same "+" round again for ever.
        if (parse_pointer == before) return;
        if (current_operand.kind == OPERAND_NONE) {
            set_error(ERROR_SYNTAX);
            return;
        }
        // A number binds the operators above "+" first: "n=" + n * 2.
        if (current_operand.kind != OPERAND_STRING) {
            uint32_t saved_mode = expression_mode;
            while (token_precedence > PRECEDENCE_ADDITIVE && !error_number) compile_numeric_expression(token_precedence);
            expression_mode = saved_mode;
            if (error_number) return;
        }
        if (current_operand.kind != OPERAND_STRING && !convert_number_operand(&chain)) return;
        uint32_t right = current_operand.flags;
        if (is_literal(right)) {
            // A literal read by the lexer is already joined in the buffer;
            // an interned one (a constant string) is joined here.
            if (current_operand.constant > 0) {
                LiteralString* literal = find_literal_by_number(static_cast<int32_t>(current_operand.constant));
                if (literal) append_literal_text(literal->entry.key);
                if (error_number) return;
            }
            chain |= OP_LITERAL;
            bool more = token_code == '+' && token_precedence == PRECEDENCE_ADDITIVE;
            if (!more && (chain & OP_COMPUTED)) chain = copy_pending_literal(chain);
        } else if (right & (OP_COMPUTED | OP_STRING_STACK)) {
            // A temporary written at the write position: it continues the
            // string below it, whose own offset stays the start.
            if (chain & OP_COMPUTED) drop_offset();
            chain |= OP_COMPUTED;
        } else {
            chain = copy_variable(chain);
        }
        if (error_number) return;
    }
    set_chain_operand(chain);
}

void compile_string_comparison() {
    if (!comparisons_allowed) {
        set_error(ERROR_COMPARISON_OUTSIDE_CONDITION);
        return;
    }
    int op = token_code;
    uint32_t flags = current_operand.flags;
    int left_place;
    std::string left_text;
    if (flags & OP_STRING_STACK) {
        if ((flags & OP_COMPUTED) && (flags & OP_LITERAL)) flags = copy_pending_literal(flags);
        if (flags & OP_COMPUTED) {
            increment_position();
            left_place = STRING_PLACE_STACK;
        } else {
            left_text = gathered_text();
            left_place = STRING_PLACE_LITERAL;
        }
    } else if (is_literal(flags)) {
        if (current_operand.constant > 0) regather_interned_literal();
        left_text = gathered_text();
        left_place = STRING_PLACE_LITERAL;
    } else if (flags & OP_COMPUTED) {
        increment_position();
        left_place = STRING_PLACE_STACK;
    } else if (flags & OP_FIXED_STRING) {
        copy_to_stack(true);
        increment_position();
        left_place = STRING_PLACE_STACK;
    } else {
        push_operand();
        left_place = STRING_PLACE_PUSHED;
    }
    if (error_number) return;
    reset_literal_text();

    // The right side: one operand and the concatenation after it.
    current_operand.flags = 0;
    compile_expression_level(EXPRESSION_LEVEL_OPERAND);
    if (error_number) return;
    if (current_operand.kind != OPERAND_STRING) {
        set_error(ERROR_STRINGS_COMPARED_WITH_NUMBERS);
        return;
    }
    while (token_precedence > PRECEDENCE_COMPARISON && !error_number && compile_string_operator_pass()) {
    }
    if (error_number) return;
    uint32_t right = current_operand.flags;
    bool right_literal = is_literal(right) && !(right & OP_COMPUTED);
    if (right_literal && current_operand.constant > 0) regather_interned_literal();

    if (left_place == STRING_PLACE_LITERAL && right_literal) {
        // Both sides known: decided now, byte by byte as unsigned values.
        std::string right_text = gathered_text();
        reset_literal_text();
        int order = std::strcmp(left_text.c_str(), right_text.c_str());
        bool result = false;
        switch (op) {
        case TOKEN_NOT_EQUAL: result = order != 0; break;
        case TOKEN_LESS_EQUAL: result = order <= 0; break;
        case TOKEN_GREATER_EQUAL: result = order >= 0; break;
        case TOKEN_LESS: result = order < 0; break;
        case TOKEN_EQUAL: result = order == 0; break;
        default: result = order > 0; break;
        }
        current_operand.flags = 0;
        set_operand_integer_constant(result ? 1 : 0);
        return;
    }
    if (right_literal) {
        intern_operand_literal();
    } else if (right & OP_STRING_STACK) {
        current_operand.flags = (right & ~OP_STRING_STACK) | OP_STRING;
    } else if ((right & OP_FIXED_STRING) && !(right & OP_COMPUTED)) {
        // A fixed string need not end with a terminator: compared from a copy.
        copy_to_stack(true);
        current_operand.flags = OP_STRING | OP_COMPUTED;
    }
    int32_t left_number = 0;
    if (left_place == STRING_PLACE_LITERAL) left_number = intern_literal_string(left_text.c_str());
    // The back end names the result (x64: "rax"; C: the runtime call).
    backend->compare_strings(op, left_place, left_number);
    // The runtime routine answers non-zero when the relation of its name
    // holds; "<>", "<=" and ">=" are true when it answers zero.
    condition_index = (op == TOKEN_NOT_EQUAL || op == TOKEN_LESS_EQUAL || op == TOKEN_GREATER_EQUAL) ? 1 : 0;
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.flags = OP_COMPARISON;
}

}  // namespace

void format_number_as_text(char* out, int size, int64_t value, double real, bool is_float) {
    if (!is_float) {
        snprintf(out, static_cast<size_t>(size), "%lld", static_cast<long long>(value));
        return;
    }
    snprintf(out, static_cast<size_t>(size), "%f", real);
    char* separator = std::strchr(out, ',');
    if (separator) *separator = '.';
    if (!std::strchr(out, '.')) return;
    size_t length = std::strlen(out);
    while (length > 0 && out[length - 1] == '0') out[--length] = 0;
    if (length > 0 && out[length - 1] == '.') out[--length] = 0;
}

namespace {

// Appends the UTF-8 form of a character code below $10000.
void append_utf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

bool compile_chr_literal() {
    // A dry run of the argument decides; the literal text gathered in
    // front of the call waits meanwhile.
    LexerMark mark = mark_lexer();
    uint32_t saved_mode = expression_mode;
    OuterExpression outer = hold_outer_expression();
    EvaluationState state;
    backend->save_evaluation_state(&state);
    no_output_depth++;
    expression_mode = MODE_PRESCAN;
    compile_expression_level(EXPRESSION_LEVEL_FRESH_OPERAND);
    compile_expression_level(EXPRESSION_LEVEL_CHAIN);
    no_output_depth--;
    backend->restore_evaluation_state(&state, 0);
    expression_mode = saved_mode;
    give_back_outer_expression(outer);
    if (error_number) return true;
    bool constant = current_operand.kind == OPERAND_CONSTANT && token_code == ')';
    if (!constant) {
        // A value known at run time: the command is called.
        rewind_lexer(mark);
        return false;
    }
    int64_t code = current_operand.constant;
    if (code < 0 || code > 0xFFFF || (code > 0xD7FF && code < 0xE000)) {
        set_error(ERROR_INVALID_CHR_VALUE);
        return true;
    }
    std::string character;
    append_utf8(character, static_cast<uint32_t>(code));
    // Chr(0) is the empty text.
    if (!character.empty() && character[0]) append_literal_text(character.c_str());
    if (error_number) return true;
    read_operator();
    if (error_number) return true;
    mark_literal_operand();
    return true;
}

void mark_literal_operand() {
    current_operand.kind = OPERAND_STRING;
    current_operand.flags = OP_STRING | OP_LITERAL;
    current_operand.constant = 0;
    current_operand.text[0] = 0;
}

void load_string_constant_operand(const char* text) {
    append_literal_text(text);
    if (error_number) return;
    mark_literal_operand();
}

OuterExpression hold_outer_expression() {
    OuterExpression outer{hold_literal_text(), active_chain};
    active_chain = ActiveChain{nullptr, 0};
    return outer;
}

void give_back_outer_expression(const OuterExpression& outer) {
    give_back_literal_text(outer.literal_text);
    active_chain = outer.chain;
}

void flush_pending_literal() {
    if (!active_chain.flags || active_chain.output_depth != no_output_depth) return;
    if (!(*active_chain.flags & OP_LITERAL)) return;
    CurrentOperand* operand = take_spare_operand();
    copy_operand(operand, &current_operand);
    *active_chain.flags = copy_pending_literal(*active_chain.flags);
    copy_operand(&current_operand, operand);
    give_back_spare_operand();
}

void close_string_result(bool keep_on_stack) {
    if (current_operand.kind != OPERAND_STRING) return;
    uint32_t flags = current_operand.flags;
    if (flags & OP_STRING_STACK) {
        if ((flags & OP_COMPUTED) && (flags & OP_LITERAL)) flags = copy_pending_literal(flags);
        if (flags & OP_COMPUTED) {
            current_operand.flags = OP_STRING | OP_COMPUTED;
        } else {
            intern_operand_literal();
        }
    } else if (is_literal(flags) && current_operand.constant == 0) {
        intern_operand_literal();
    }
    if (!keep_on_stack && (current_operand.flags & OP_COMPUTED)) {
        restore_position();
        current_operand.flags = OP_STRING;
    }
}

void compile_string_expression() {
    if (error_number) return;
    uint32_t saved_mode = expression_mode;
    expression_mode = MODE_INTEGER;
    if (token_precedence == PRECEDENCE_LOGICAL) {
        compile_condition(0);
    } else if (token_precedence == PRECEDENCE_COMPARISON) {
        compile_string_comparison();
    } else if (token_precedence == PRECEDENCE_ADDITIVE && token_code == '+') {
        compile_concatenation();
    } else {
        set_error(ERROR_SYNTAX);
    }
    expression_mode = saved_mode;
}

bool compile_string_operator_pass() {
    const char* before = parse_pointer;
    int32_t token = token_code;
    compile_string_expression();
    return parse_pointer != before || token_code != token;
}
