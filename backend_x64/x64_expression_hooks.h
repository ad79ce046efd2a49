// The x64 entries of the expression seam (see core/backend_hooks.h).
#pragma once

#include "core/backend_hooks.h"

void x64_reset_expression_state();
void x64_take_evaluation_place();
void x64_release_evaluation_place();
void x64_save_evaluation_state(EvaluationState* state);
void x64_restore_evaluation_state(const EvaluationState* state, int restore_marks);
void x64_read_numbering(NumberingState* state);
void x64_advance_numbering(const NumberingState* by);
void x64_assign_result(const ExpressionTarget* target);
// Structure copy: the source's address in rax, the target's in rcx, then
// SYS_CopyStructure (r9 source, r8 the descriptor or 0, rdx the size).
void x64_copy_structure(const ExpressionTarget* target, StructureRecord* structure);
