// Procedures in the C file: each becomes one C function. Its body is
// compiled into the procedure's own code buffer; at EndProcedure, once the
// whole local scope is known, the function head (the prototype line opened
// with " {", the result "r", the string base, the string parameter copies
// and the locals) is put in front of the body and the common exit behind
// it. The prototypes of every procedure go ahead of all code.
#pragma once

#include <cstdint>
#include <string>

struct ParameterRecord;
struct ProcedureRecord;

// Per compilation: the prototypes text and the per-procedure state.
void c_reset_procedure_state();

// "f_" + the lower-cased name, "<module>Xf_" inside a module (static buffer;
// c_prototype_name has a second one).
const char* c_procedure_name(ProcedureRecord* procedure);
const char* c_prototype_name(ProcedureRecord* procedure);
// "p" + the C name of a prototype: the type of what it types (a resident's
// prototype is noted as used, so that its typedef is written).
std::string c_prototype_type_name(ProcedureRecord* prototype);
// One C parameter declaration ("integer v_a", "double v_x", ...) appended.
void c_parameter_declaration(const ParameterRecord* parameter, std::string& out);
// The prototype line ("static integer f_x(integer v_a);"), or for a
// Prototype the pointer typedef; without line feed.
std::string c_procedure_prototype_text(ProcedureRecord* procedure);
// C return type of the procedure's result.
const char* c_procedure_result_type(const ProcedureRecord* procedure);
// C return type of the procedure's function: its result type, a byte or
// word result widened to "integer" (a Prototype's typedef keeps it narrow).
const char* c_procedure_function_type(const ProcedureRecord* procedure);

// The procedure seam.
// A Prototype: its typedef, with the parameters' names, among the prototypes.
void c_declare_prototype(ProcedureRecord* prototype);
void c_begin_procedure(ProcedureRecord* procedure);
void c_begin_procedure_epilogue(ProcedureRecord* procedure);
void c_finish_procedure(ProcedureRecord* procedure);
void c_emit_procedure_return(ProcedureRecord* procedure, int with_value);

// The C file's block of every prototype (ahead of the variables); the
// functions themselves follow the main code with the debugger support code.
void c_emit_procedure_prototypes();
