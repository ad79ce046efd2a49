// Strings in the C file. The shared string compiler decides what goes on the
// generated program's string stack and when; these entries write the C text
// of each step. The runtime keeps the saved write positions itself
// (SYS_PushStringBasePosition and the SYS_PopStringBasePosition family), so
// a temporary is named by a pop: "SYS_PopStringBasePositionValue()" gives
// its address and frees the stack from its start, and
// "SYS_PopStringBasePosition()" gives its start for a store that frees the
// stack itself.
#include "backend_c/c_strings.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "backend_c/c_calls.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "core/core_globals.h"
#include "core/token_codes.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

int32_t p_temporary_counter = 0;
int32_t procedure_uses_strings = 0;

namespace {

constexpr const char* pop_value_text = "SYS_PopStringBasePositionValue()";

// Left sides of comparisons kept by c_keep_compared_string, innermost last.
std::vector<std::string> pending_left_texts;
// The argument texts of the number-to-text calls under way, innermost last.
std::vector<std::string> number_text_arguments;
// Literal numbers already in c_literal_table, and how many of its entries
// have been looked at (other writers add entries too).
std::vector<uint8_t> literal_recorded;
size_t literal_entries_seen = 0;

// Every call of the string runtime: marks the routine and the string
// manager used while output is on.
void note_routine(CRuntimeRoutine routine)
{
    if (no_output_depth) return;
    c_runtime_used[routine] = 1;
    string_manager_used = 1;
    procedure_uses_strings = 1;
}

void note_string_stack()
{
    if (no_output_depth) return;
    string_manager_used = 1;
    procedure_uses_strings = 1;
}

bool is_literal_operand() { return (current_operand.flags & OP_LITERAL) != 0; }

// A temporary on the string stack (its start position saved).
bool is_stack_operand()
{
    return (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) != 0 && !is_literal_operand();
}

bool is_fixed_operand() { return (current_operand.flags & OP_FIXED_STRING) != 0; }

void mark_literal_recorded(int32_t number)
{
    if (number < 0) return;
    if (static_cast<size_t>(number) >= literal_recorded.size()) literal_recorded.resize(static_cast<size_t>(number) + 64, 0);
    literal_recorded[static_cast<size_t>(number)] = 1;
}

// Puts the literal into the string table once.
void record_literal(const LiteralString* literal)
{
    for (; literal_entries_seen < c_literal_table.size(); literal_entries_seen++)
        mark_literal_recorded(c_literal_table[literal_entries_seen].number);
    int32_t number = literal->number;
    if (static_cast<size_t>(number) < literal_recorded.size() && literal_recorded[static_cast<size_t>(number)]) return;
    c_literal_table.push_back({number, literal->entry.key});
    mark_literal_recorded(number);
    literal_entries_seen = c_literal_table.size();
}

// The C text of the current string operand as a value: a literal's name, a
// temporary's address, a variable's lvalue.
std::string operand_value_text()
{
    if (is_literal_operand()) return c_string_literal_name(static_cast<int32_t>(current_operand.constant));
    if (is_stack_operand()) return pop_value_text;
    return current_operand.text;
}

// A fixed string need not end with a terminator: it is read from a copy on
// the string stack, which then stands for the operand.
void copy_fixed_operand_to_stack()
{
    c_copy_string_to_stack(1);
    current_operand.flags = OP_STRING | OP_COMPUTED;
}

const char* compare_template(int token, CRuntimeRoutine* routine)
{
    switch (token) {
    case TOKEN_EQUAL: *routine = C_SYS_StringEqual; return "SYS_StringEqual(p%d,p%d)";
    case TOKEN_NOT_EQUAL: *routine = C_SYS_StringEqual; return "(!SYS_StringEqual(p%d,p%d))";
    case TOKEN_LESS: *routine = C_SYS_StringInferior; return "SYS_StringInferior(p%d,p%d)";
    case TOKEN_GREATER: *routine = C_SYS_StringSuperior; return "SYS_StringSuperior(p%d,p%d)";
    case TOKEN_LESS_EQUAL: *routine = C_SYS_StringSuperior; return "(!SYS_StringSuperior(p%d,p%d))";
    default: *routine = C_SYS_StringInferior; return "(!SYS_StringInferior(p%d,p%d))";
    }
}

}  // namespace

void c_reset_string_state()
{
    p_temporary_counter = 0;
    procedure_uses_strings = 0;
    pending_left_texts.clear();
    number_text_arguments.clear();
    literal_recorded.clear();
    literal_entries_seen = 0;
}

const char* c_string_literal_name(int32_t number)
{
    static char name[24];
    const LiteralString* literal = find_literal_by_number(number);
    if (!literal || number == null_string_number || literal->length == 0) {
        if (literal && empty_literal_number < 0) empty_literal_number = number;
        return "0";
    }
    record_literal(literal);
    if (!no_output_depth) string_manager_used = 1;
    std::snprintf(name, sizeof name, "_S%d", number);
    return name;
}

void c_register_fixed_string_type(int32_t length)
{
    if (std::find(fixed_string_size_table.begin(), fixed_string_size_table.end(), length) == fixed_string_size_table.end())
        fixed_string_size_table.push_back(length);
}

// ---------------------------------------------------------------------------
// The string stack

void c_push_string_base_position()
{
    note_string_stack();
    emit_line("SYS_PushStringBasePosition();");
}

void c_restore_string_base_position()
{
    note_string_stack();
    emit_line("SYS_PopStringBasePositionUpdate();");
}

void c_increment_string_base_position()
{
    note_string_stack();
    // Thread-safe programs never touch the runtime's position directly.
    emit_line(thread_safe ? "SYS_IncrementStringBasePosition();" : "ZD_StringBasePosition+=2;");
}

void c_copy_string_to_stack(int save_position)
{
    if (save_position) c_push_string_base_position();
    if (is_literal_operand()) {
        note_routine(C_SYS_CopyString);
        emit_format("SYS_CopyString(%s);", c_string_literal_name(static_cast<int32_t>(current_operand.constant)));
    } else if (is_fixed_operand()) {
        note_routine(C_SYS_CopyFixedString);
        emit_format("SYS_CopyFixedString(%s,%d);", current_operand.text, current_operand.size / 2);
    } else {
        note_routine(C_SYS_CopyString);
        emit_format("SYS_CopyString(%s);", current_operand.text);
    }
}

void c_drop_string_offset()
{
    note_string_stack();
    emit_line("SYS_PopStringBasePosition();");
}

void c_keep_compared_string()
{
    pending_left_texts.push_back(current_operand.text);
}

void c_compare_strings(int token, int left_place, int32_t left_literal)
{
    std::string right = operand_value_text();
    std::string left;
    switch (left_place) {
    case STRING_PLACE_LITERAL: left = c_string_literal_name(left_literal); break;
    case STRING_PLACE_PUSHED:
        if (!pending_left_texts.empty()) {
            left = pending_left_texts.back();
            pending_left_texts.pop_back();
        }
        break;
    default: left = pop_value_text; break;
    }
    int32_t n = p_temporary_counter;
    // p<n+1> always holds the right side. When both sides are temporaries
    // the right one was saved last, so the first pop gives it.
    if (left == pop_value_text && right == pop_value_text) {
        emit_format("void* p%d=%s;", n + 1, pop_value_text);
        emit_format("void* p%d=%s;", n, pop_value_text);
    } else {
        emit_format("void* p%d=%s;", n, left.c_str());
        emit_format("void* p%d=%s;", n + 1, right.c_str());
    }
    CRuntimeRoutine routine;
    const char* format = compare_template(token, &routine);
    note_routine(routine);
    std::snprintf(current_operand.text, sizeof current_operand.text, format, n + 1, n);
    p_temporary_counter += 2;
}

// ---------------------------------------------------------------------------
// Stores

void c_emit_assign_fixed_string_text(const char* target, int32_t length, int32_t literal_number)
{
    note_routine(C_SYS_AssignFixedStringFast);
    emit_format("SYS_AssignFixedStringFast(%s,%d,%s)", target, length / 2, c_string_literal_name(literal_number));
}

void c_assign_string(const ExpressionTarget* target)
{
    const bool fixed_target = (target->flags & OP_FIXED_STRING) != 0;
    const int32_t fixed_chars = target->fixed_length > 0 ? target->fixed_length : target->size / 2;
    if (!is_literal_operand() && !is_stack_operand() && is_fixed_operand()) copy_fixed_operand_to_stack();
    const bool on_stack = is_stack_operand();
    const std::string value = operand_value_text();
    current_operand.flags &= ~static_cast<uint32_t>(OP_COMPUTED);

    if (on_stack) {
        if (fixed_target) {
            // The target is taken before the pop that frees the stack.
            int32_t n = p_temporary_counter++;
            emit_format("void *p%d=%s;", n, target->text);
            note_routine(C_SYS_AssignFixedString);
            emit_format("SYS_AssignFixedString(p%d,%d,SYS_PopStringBasePosition());", n, fixed_chars);
        } else {
            note_routine(C_SYS_AllocateString4);
            emit_format("SYS_AllocateString4(&%s,SYS_PopStringBasePosition());", target->text);
        }
        return;
    }
    // A literal or a string variable is copied straight from where it is.
    if (fixed_target) {
        note_routine(C_SYS_AssignFixedStringFast);
        emit_format("SYS_AssignFixedStringFast(%s,%d,%s);", target->text, fixed_chars, value.c_str());
        return;
    }
    note_routine(C_SYS_FastAllocateStringFree4);
    emit_format("SYS_FastAllocateStringFree4(&%s,%s);", target->text, value.c_str());
}

void c_emit_string_variable_init(VariableRecord* variable, int32_t literal_number)
{
    note_routine(C_SYS_FastAllocateString4);
    emit_format("SYS_FastAllocateString4(&%s,%s);", c_format_variable_operand(variable), c_string_literal_name(literal_number));
}

void c_emit_assign_fixed_string(VariableRecord* variable, int32_t length, int32_t literal_number)
{
    std::string target = c_format_variable_operand(variable);
    note_routine(C_SYS_AssignFixedStringFast);
    emit_format("SYS_AssignFixedStringFast(%s,%d,%s);", target.c_str(), length / 2, c_string_literal_name(literal_number));
}

// ---------------------------------------------------------------------------
// String selectors and the truth of a string

std::string c_string_value_text()
{
    return operand_value_text();
}

void c_emit_select_string(const std::string& name)
{
    emit_format("void *%s=0;", name.c_str());
    if (is_stack_operand()) {
        note_routine(C_SYS_AllocateString4);
        emit_format("SYS_AllocateString4(&%s,SYS_PopStringBasePosition());", name.c_str());
    } else {
        note_routine(C_SYS_FastAllocateString4);
        emit_format("SYS_FastAllocateString4(&%s,%s);", name.c_str(), operand_value_text().c_str());
    }
}

std::string c_string_equal_text(const std::string& left, const std::string& right)
{
    note_routine(C_SYS_StringEqual);
    return "SYS_StringEqual(" + left + "," + right + ")";
}

void c_emit_free_string(const std::string& name)
{
    note_routine(C_SYS_FreeString);
    emit_format("SYS_FreeString(%s);", name.c_str());
}

bool c_string_operand_on_stack() { return is_stack_operand(); }

std::string c_string_truth_text()
{
    if (is_stack_operand()) {
        note_string_stack();
        return "(*((short*)" + std::string(pop_value_text) + ")!=0)";
    }
    std::string text = operand_value_text();
    return "(" + text + " && (*(short*)" + text + ")!=0)";
}

// ---------------------------------------------------------------------------
// Numbers as text

void c_push_number_text_argument(int)
{
    number_text_arguments.push_back(c_operand_text());
}

void c_emit_number_text(const LibraryCommand* command, int)
{
    std::string argument = "0";
    if (!number_text_arguments.empty()) {
        argument = number_text_arguments.back();
        number_text_arguments.pop_back();
    }
    note_string_stack();
    emit_line("SYS_PushStringBasePosition();");
    emit_format("%s(%s,SYS_GetStringBasePosition());", c_library_routine_name(command), argument.c_str());
}
