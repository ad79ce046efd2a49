// Runtime registration in the C file: every procedure, constant and variable
// declared with Runtime is registered by name in the start-up code, under a
// key text stored as a literal of the program ("Module::#Name", "Name()", ...).
#pragma once

struct ModuleRecord;
struct ProcedureRecord;
struct ConstantRecord;
struct VariableRecord;

// Sets runtime_used when a procedure, constant or variable is marked by
// Runtime.
void c_settle_runtime_used();
// Walkers over every module (table order) and its records (table order).
void c_emit_runtime_procedures();
void c_emit_runtime_constant();
void c_emit_runtime_variable();

// One registration line each; the key (and a string constant's text) are
// interned as literals even while output is off.
void c_emit_runtime_procedure_entry(ModuleRecord* module, ProcedureRecord* procedure);
void c_emit_runtime_constant_entry(ModuleRecord* module, ConstantRecord* constant);
void c_emit_runtime_variable_entry(ModuleRecord* module, VariableRecord* variable);

// Interns a text as a literal of the program and enters it in the C string
// table when new; returns its C name ("_S<n>", or "0" for the null string).
const char* c_literal_name(const char* text);
