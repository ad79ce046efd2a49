// The x64 entries of the expression seam that are not emitters of their own:
// the register allocator, the dry-run state and the assignment store.
#include "backend_x64/x64_expression_hooks.h"

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_compare.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/emit_operands.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

void x64_reset_expression_state() {
    reset_emitter_state();
    create_float_pools();
    thread_object_used = 0;
    procedure_uses_rbp = 0;
    local_equates_depth = 0;
}

void x64_take_evaluation_place() { register_push(); }
void x64_release_evaluation_place() { register_pop(); }

// The marks hold the four registers' and, after them, the x87 count.
enum : int32_t { MARK_FPU_DEPTH = 4 };

void x64_save_evaluation_state(EvaluationState* state) {
    for (int i = 0; i < 8; i++) state->marks[i] = i < 4 ? register_stack.live[i] : 0;
    state->marks[MARK_FPU_DEPTH] = emitter_stack.fpu_depth;
    state->push_depth = emitter_stack.push_depth;
}

void x64_restore_evaluation_state(const EvaluationState* state, int restore_marks) {
    emitter_stack.push_depth = state->push_depth;
    // A call read without output saves the x87 values it finds and does not
    // count them back: the values are still there once the reading is done.
    emitter_stack.fpu_depth = state->marks[MARK_FPU_DEPTH];
    if (restore_marks)
        for (int i = 0; i < 4; i++) register_stack.live[i] = state->marks[i];
}

// Block and condition labels are the x64 code's only numbers.
enum : int32_t { NUMBER_BLOCK_LABEL, NUMBER_CONDITION_LABEL };

void x64_read_numbering(NumberingState* state) {
    *state = NumberingState{};
    state->numbers[NUMBER_BLOCK_LABEL] = label_counter;
    state->numbers[NUMBER_CONDITION_LABEL] = condition_label_counter;
}

void x64_advance_numbering(const NumberingState* by) {
    label_counter += by->numbers[NUMBER_BLOCK_LABEL];
    condition_label_counter += by->numbers[NUMBER_CONDITION_LABEL];
}

void x64_copy_structure(const ExpressionTarget* target, StructureRecord* structure) {
    const char* descriptor = nullptr;
    if (structure->flags & STRUCT_DYNAMIC) {
        structure->flags |= STRUCT_NEEDS_INIT;
        mark_structure_descriptor_needed(structure);
        descriptor = format_structure_symbol(structure);
    }
    emit_copy_structure(target->text, descriptor, structure->size);
}

void x64_assign_result(const ExpressionTarget* target) {
    AssignTarget store;
    store.text = target->text;
    store.size = target->size;
    store.flags = target->flags;
    store.fixed_length = target->fixed_length;
    store.in_procedure = in_procedure != 0;
    store.base_saved = target->base_saved;
    emit_assign_result(&store, false);
}
