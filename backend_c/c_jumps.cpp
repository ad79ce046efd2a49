// Goto, Gosub, Return, FakeReturn and End in C. Labels are C labels of the
// function that holds the main code; Gosub pushes the address of a return
// label ("&&lg_<n>", gcc's label-address operator) on the runtime's Gosub
// stack, Return jumps to the address popped from it.
#include "backend_c/c_jumps.h"

#include <string>

#include "backend_c/c_backend.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/number_literals.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"

void c_emit_goto(const char* label)
{
    if (no_output_depth) return;
    emit_format("goto %s;", label);
}

void c_emit_code_label(const char* name)
{
    emit_format("%s:;", name);
    // A "nop" that names the label: without it an optimising C compiler
    // gives two labels one address when the dead code between them goes,
    // or merges labels whose code is alike.
    emit_format("__asm__ volatile(\"nop # %s\");", name);
}

void c_note_label_address()
{
    c_function_takes_label_addresses = 1;
}

const char* c_label_jump_line()
{
    if (!c_function_takes_label_addresses) return nullptr;
    if (!no_output_depth) c_label_jump_written = 1;
    // zd_label_jump is never set, but the C compiler cannot know it: the
    // jump may reach any label whose address the function takes. The
    // line's own label gives the function such an address in every case (a
    // Return compiled where no Gosub is), and a jump that can reach no
    // other label (a Return with no Gosub open) ends the program there.
    return "if (zd_label_jump==&&zd_labels) { goto *zd_label_jump; zd_labels:; SYS_Quit(); }";
}

bool c_program_jumps_by_label()
{
    return c_label_jump_written || c_function_takes_label_addresses;
}

void c_emit_gosub(const char* label)
{
    if (no_output_depth) return;
    gosub_used = 1;
    c_note_label_address();
    emit_format("SYS_PushGosub(&&lg_%d); goto %s; lg_%d:;", c_gosub_counter, label, c_gosub_counter);
    c_gosub_counter++;
}

void c_emit_return_from_gosub()
{
    if (no_output_depth) return;
    gosub_used = 1;
    c_note_label_address();
    emit_line("goto *SYS_PopGosub();");
}

// The return address of the Gosub is dropped, so that a later Return jumps
// to the address of the Gosub that is still open.
void c_emit_fake_return()
{
    if (no_output_depth) return;
    gosub_used = 1;
    emit_line("SYS_PopGosub();");
}

void c_emit_end_statement(int with_value)
{
    if (no_output_depth) return;
    if (with_value) {
        if (current_operand.kind == OPERAND_CONSTANT) {
            int64_t value = (current_operand.flags & OP_FLOAT) ? round_double_to_int64(current_operand.constant_float)
                                                                : current_operand.constant;
            emit_format("ZD_ExitCode=%s;", c_decimal_text(static_cast<int32_t>(value)).c_str());
        } else if (current_operand.flags & OP_FLOAT) {
            // A float exit code is rounded to the nearest integer, ties to even.
            emit_format("ZD_ExitCode=SYS_BankerRound(%s);", c_operand_text().c_str());
        } else {
            emit_format("ZD_ExitCode=%s;", c_operand_text().c_str());
        }
    }
    emit_line("SYS_Quit();");
}
