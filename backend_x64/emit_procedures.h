// Procedure frames and calls on x64: the prologue written in front of a
// procedure's body once its frame is known, the epilogue, ProcedureReturn,
// and the pieces of a call (pad, argument pushes, register loads, the call,
// the release of its stack and the result's place).
#pragma once

#include <cstdint>

struct ProcedureRecord;
struct CallRecord;
struct StructureRecord;

// Stores register parameter `position` (0-based) into its home slot when
// the position is below `count` (MOVSD/MOVSS for double/float, else MOV).
void emit_store_register_parameter(int count, int position, int type, const char* register_name);
// Pops argument `index` of a call into its register (positions 0 to 3);
// a later position only counts one more stack argument.
void emit_load_register_argument(const CallRecord* call, int index);
// The entry "Parallel<id>" of a parallel procedure's jobs: rcx points to
// the job's block of argument slots (argument i at i slots); the stub calls
// the procedure with them as a call passes arguments and returns.
constexpr int32_t parallel_job_slot_bytes = 8;
void emit_parallel_stub(const ProcedureRecord* procedure);
// Clears the local area above the reserved bottom 40 bytes, then reserves those.
void emit_clear_locals(int32_t locals_size);
// The widening of a small integer result in rax after a call.
void emit_return_extension(uint32_t flags, uint32_t second_flags);
// A constant argument pushed for a parameter type (float bits, a double
// from the pool, an integer).
void emit_push_constant(int type, int64_t value);
// After the call of a string procedure or command, whose result's address
// is in rax: the write position goes back to the one saved before the call
// (at [rsp]) and the result is copied there.
void emit_procedure_string_result();
// A string argument (the current operand): a literal's or variable's
// address pushed; a temporary on the string stack keeps its offset pushed
// (made an address before the register loads); a fixed string is copied.
void emit_push_string_argument(CallRecord* call, int type);
// A string argument of a p-ascii, p-bstr or p-utf8 parameter: converted by
// the runtime ("SYS_To..." from an address, "SYS_BufferTo..." from a
// string-stack offset), the result pushed as the argument and kept in the
// parameter's conversion slot, which is freed after the call.
void emit_convert_string_argument(CallRecord* call, int type, bool literal, bool on_stack);
// Stack bytes the release after a call removes, as pushed since its start.
int32_t call_release_bytes(const CallRecord* call);

// The hooks of the back-end seam.
void x64_begin_procedure(ProcedureRecord* procedure);
void x64_begin_procedure_epilogue(ProcedureRecord* procedure);
void x64_finish_procedure(ProcedureRecord* procedure);
// In the epilogue, before the first release of a local: " PUSH rax" keeps
// the result (once per procedure end; " POP rax" follows the releases).
void x64_keep_return_value();
void x64_emit_procedure_return(ProcedureRecord* procedure, int with_value);
void x64_begin_call(CallRecord* call);
void x64_push_call_argument(CallRecord* call, int type);
// A structure entry of a library command: " PUSH qword <size>" (7, 32), the
// address of "SM_<id>" (33, and 27, 29, 31 for elements; the structure is
// marked for its map), of its descriptor table (34), or 0.
void x64_push_structure_argument(CallRecord* call, int type, StructureRecord* structure);
void x64_push_default_argument(CallRecord* call, int type, int64_t value);
void x64_finish_call(CallRecord* call);
