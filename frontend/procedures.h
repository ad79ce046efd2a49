// Procedures and prototypes: the headers Procedure, ProcedureC/DLL/CDLL,
// Declare* and Prototype* with their parameters and default values, the
// per-procedure state between Procedure and EndProcedure, ProcedureReturn,
// the scoped lookup of procedure names and the call of a procedure.
#pragma once

#include <cstdint>

#include "frontend/symbols.h"

// ProcedureRecord flags.
constexpr uint32_t PROC_RETURNS_BYTE = 0x00000004;
constexpr uint32_t PROC_RETURNS_LONG = 0x00000008;
constexpr uint32_t PROC_RETURNS_STRING = 0x00000010;
constexpr uint32_t PROC_RETURNS_FLOAT = 0x00000020;
constexpr uint32_t PROC_DECLARED = 0x00000800;        // always set
constexpr uint32_t PROC_DLL = 0x00001000;
constexpr uint32_t PROC_DECLARE_ONLY = 0x00004000;
constexpr uint32_t PROC_C_CALL = 0x00200000;
constexpr uint32_t PROC_RETURNS_DOUBLE = 0x08000000;
constexpr uint32_t PROC_RETURNS_QUAD = 0x20000000;
constexpr uint32_t PROC_IMPORTED = 0x40000000;
// ProcedureRecord second flags.
constexpr uint32_t PROC_SECOND_CHARACTER = 0x0002;
constexpr uint32_t PROC_SECOND_INTEGER = 0x0004;
constexpr uint32_t PROC_SECOND_ASCII = 0x0020;
constexpr uint32_t PROC_SECOND_UNICODE = 0x0040;
constexpr uint32_t PROC_SECOND_RUNTIME = 0x1000;

// Before each compilation: the procedure table, the id counter and the
// per-procedure state.
void reset_procedures();

// Procedure, ProcedureC/DLL/CDLL, Declare* and Prototype* with their kind flags.
void compile_procedure_statement(uint32_t kind_flags);
void compile_endprocedure_statement();
// End of source: error 148 for a used procedure that was declared only.
void check_declared_procedures();

// Scoped lookup: the explicit module prefix (error 285 for a record that is
// not public), the modules in use, then the current module or global table.
ProcedureRecord* find_procedure(const char* name);
// The same lookup as a name check: an explicit module's record whether
// public or not, no error and the prefix left pending.
ProcedureRecord* find_procedure_quietly(const char* name);
// Parses the header after the keyword; null with the error set.
ProcedureRecord* procedure_declare(uint32_t kind_flags);
// Sets the result flags of a procedure or imported function that returns
// `type` (a pointer returns a full integer).
void set_return_flags(ProcedureRecord* record, const CurrentType* type, bool pointer);
// Removes the locals that a header without body created.
void clear_local_symbols();

// A call of a user procedure whose name was just read; the token is "(".
// The current operand becomes the call's result.
void compile_procedure_call(ProcedureRecord* procedure);

// The procedure whose body is being compiled, or null.
ProcedureRecord* open_procedure();

// The code of every used procedure (and every defined DLL procedure), each
// as its code buffer, appended at the current output position.
void append_procedure_code();
// Whether append_procedure_code writes the procedure's code (it is used or
// a defined DLL procedure, and has a body).
bool is_procedure_code_appended(const ProcedureRecord* record);
