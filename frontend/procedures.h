// Procedures and prototypes.
#pragma once

#include <cstdint>

// Procedure, ProcedureC/DLL/CDLL, Declare* and Prototype* with their kind flags.
void compile_procedure_statement(uint32_t kind_flags);
void compile_endprocedure_statement();
// End of source: error 148 for a used procedure that was declared only.
void check_declared_procedures();
