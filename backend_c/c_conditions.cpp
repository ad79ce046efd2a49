// Not, XOr and the And/Or chains in C. A chain n keeps its truth in the
// local "c<n>": "integer c<n>=0;", a test per side that leaves for "ok<n>"
// (Or, when true) or "no<n>" (when false), then "ok<n>:", "c<n>=1;" and
// "no<n>:;". The name stands for the whole chain, even when both sides were
// constants and the chain's value is known. Not and XOr stay inside the
// expression text.
#include "backend_c/c_conditions.h"

#include <string>

#include "backend_c/c_blocks.h"
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

void write(const std::string& line)
{
    if (!no_output_depth) emit_line(line.c_str());
}

// The test of one side of chain n.
void write_side_test(int is_or, int32_t number)
{
    std::string n = std::to_string(number);
    if (is_or) write("if (" + c_condition_text() + ") { goto ok" + n + "; }");
    else write("if (!(" + c_condition_text() + ")) { goto no" + n + "; }");
}

}  // namespace

void c_emit_condition_value(int32_t, int negate)
{
    std::string text = c_condition_text();
    set_result_text(negate ? "!(" + text + ")" : "((" + text + ")!=0)");
}

void c_emit_comparison_value(int32_t)
{
    current_operand.flags &= ~static_cast<uint32_t>(OP_COMPARISON);
}

int64_t c_emit_logical_left(int is_or, int32_t number)
{
    write("integer c" + std::to_string(number) + "=0;");
    write_side_test(is_or, number);
    return 0;
}

void c_emit_logical_right(int is_or, int32_t number, int64_t, int, int, int)
{
    write_side_test(is_or, number);
    if (is_or) write("goto no" + std::to_string(number) + ";");
}

void c_emit_logical_chain_end(int32_t number, int folded)
{
    std::string n = std::to_string(number);
    write("ok" + n + ":");
    write("c" + n + "=1;");
    write("no" + n + ":;");
    if (!folded) {
        set_result_text("c" + n);
        return;
    }
    // The constant keeps its value; its text names the local.
    c_folded_chain_text = "c" + n;
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", c_folded_chain_text.c_str());
}

void c_emit_logical_xor_left(int32_t)
{
    c_xor_left_texts.push_back(c_condition_text());
}

// The exclusive-or of the two truth values (0 or 1), so that 3 XOr -2 is
// false, as in the x64 code.
void c_emit_logical_xor_right(int32_t)
{
    std::string left = "0";
    if (!c_xor_left_texts.empty()) {
        left = c_xor_left_texts.back();
        c_xor_left_texts.pop_back();
    }
    std::string right = c_condition_text();
    set_result_text("((integer)((" + left + ")!=0)^(integer)((" + right + ")!=0))");
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
