// Calls in the C file: the arguments of a procedure, imported function or
// library command, each kept as C text while the front end compiles them
// from the last to the first; the call written once every argument is known,
// with the complex argument texts hoisted into typed "p<n>" locals so that
// their order is fixed, and its result stored at once in a fresh "r<n>".
#pragma once

#include <cstdint>

struct CallRecord;
struct LibraryCommand;
struct ProcedureRecord;
struct StructureRecord;

// Per compilation: the call stack, the "r<n>" and "pt<n>" counters.
void c_reset_call_state();

// The call seam: the string base saved for a string result or string
// arguments; one argument's text (the current operand, or a default); the
// call line and the result as the current operand text.
void c_begin_call(CallRecord* call);
void c_push_call_argument(CallRecord* call, int type);
void c_push_container_argument(CallRecord* call, int type, int kind, void* record);
// A structure entry of a library command: its size (7; "(void*)<size>" for
// 32), its map "sm_<id>" (33, and 27, 29, 31 for elements; the structure is
// marked for it), its descriptor "m<name>" (34), or "0".
void c_push_structure_argument(CallRecord* call, int type, StructureRecord* structure);
void c_push_default_argument(CallRecord* call, int type, int64_t value);
void c_finish_call(CallRecord* call);

// The link name of a library command: "ZD_" + name + build-mode suffix +
// the processor variant that the C file declares (static buffer).
const char* c_library_routine_name(const LibraryCommand* command);

// Interface method calls (frontend/interface_calls.h).
extern const struct InterfaceCallHooks c_interface_call_hooks;
