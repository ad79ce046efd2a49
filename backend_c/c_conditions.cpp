// Not, XOr and the And/Or chains in C. The shared condition compiler writes
// the short-circuit jumps of a chain through c_emit_condition_jump
// ("if (!(a)) { goto no<n>; }", "if (a) { goto ok<n>; }"); the chain's end
// gives the local that holds its truth.
#include "backend_c/c_conditions.h"

#include <string>

#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_strings.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

namespace {

// A computed value that stands in the current operand.
void set_result_text(const std::string& text)
{
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", text.c_str());
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.flags = 0;
}

}  // namespace

void c_emit_condition_value(int32_t, int negate)
{
    std::string text = c_operand_text();
    set_result_text(negate ? "!(" + text + ")" : "((" + text + ")!=0)");
}

// The local is declared where both paths meet it: a goto from before the
// declaration to "no<n>" skips only its initial value, which "no<n>" sets.
void c_emit_logical_chain_end(int32_t number)
{
    std::string n = std::to_string(number);
    if (!no_output_depth) {
        emit_line(("ok" + n + ":;").c_str());
        emit_line(("integer c" + n + "=1;").c_str());
        emit_line(("goto end" + n + ";").c_str());
        emit_line(("no" + n + ":;").c_str());
        emit_line(("c" + n + "=0;").c_str());
        emit_line(("end" + n + ":;").c_str());
    }
    set_result_text("c" + n);
}

void c_emit_logical_xor_left(int32_t)
{
    c_xor_left_texts.push_back(c_operand_text());
}

void c_emit_logical_xor_right(int32_t)
{
    std::string left = "0";
    if (!c_xor_left_texts.empty()) {
        left = c_xor_left_texts.back();
        c_xor_left_texts.pop_back();
    }
    std::string right = c_operand_text();
    set_result_text("(((" + left + ")!=0)^((" + right + ")!=0))");
}

void c_emit_bool(int32_t)
{
    bool is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
    std::string condition = is_string ? c_string_truth_text() : c_operand_text();
    std::string name = "r" + std::to_string(result_local_counter);
    if (!no_output_depth) {
        result_local_counter++;
        emit_line(("int " + name + "=((" + condition + ")?1:0);").c_str());
    }
    set_result_text(name);
}
