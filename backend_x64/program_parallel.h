// Parallel procedures: a procedure that a parallel call runs as a job
// carries PROC_SECOND_PARALLEL. A job enters it through its stub
// "Parallel<id>", written after the procedures' code, and the runtime finds
// the job's string arguments by the procedure's map "PAM<id>" in the data
// section: the offset of each string parameter's slot in the job's block,
// ended by -1. A program without such a procedure gets neither.
#pragma once

#include <vector>

struct ProcedureRecord;

// The flagged procedures whose code the file holds: those of the global
// table, then those of each module's table in the module table's order.
std::vector<ProcedureRecord*> collect_parallel_procedures();
// The stub of every flagged procedure.
void emit_parallel_stubs();
// The string-parameter map of every flagged procedure.
void emit_string_parameter_maps();
