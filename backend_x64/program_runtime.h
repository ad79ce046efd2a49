// Runtime registration and DLL exports.
//
// Procedures, constants and variables marked with Runtime are registered in
// the program's start-up code, one call of a runtime routine per item, under
// a name the running program can look up ("#Size", "M::#Size", "count",
// "M::*where", "Work()", "M::Work()"). The names are static strings.
//
// A DLL publishes each procedure declared with ProcedureDLL or
// ProcedureCDLL under its own name ("public _Procedure<id> as '<Name>'") and
// lists it in the module-definition file "Zandrel.def" that the DLL's link
// line names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ModuleRecord;
struct ConstantRecord;
struct VariableRecord;
struct ProcedureRecord;

// Second flag of a procedure marked with Runtime.
constexpr uint32_t procedure_second_flag_runtime = 0x1000;

// Decides whether the program uses Runtime declarations (sets
// runtime_declarations_used) and interns every name and string value the
// registrations will write, so that they are among the static strings
// handed to the data section. Call before the literals are handed over.
void settle_runtime_declarations();

// The registrations of one constant and one variable (into the current
// output buffer; nothing while no_output_depth is raised).
void emit_runtime_constant(ModuleRecord* module, ConstantRecord* constant);
void emit_runtime_variable(ModuleRecord* module, VariableRecord* variable);
// The registrations of every procedure marked with Runtime.
void emit_runtime_procedures();
// When the program uses Runtime declarations: the procedures, then every
// marked constant and variable, module by module.
void emit_runtime_registrations();

// The names under which items are registered.
std::string runtime_constant_name(const ModuleRecord* module, const ConstantRecord* constant);
std::string runtime_variable_name(const ModuleRecord* module, const VariableRecord* variable);
std::string runtime_procedure_name(const ModuleRecord* module, const ProcedureRecord* procedure);

// The procedures a DLL exports: defined (not declared only), of the DLL
// kind, neither imported nor prototypes, in table order.
std::vector<ProcedureRecord*> collect_exported_procedures();
// For a DLL: one "public _Procedure<id> as '<Name>'" line per exported
// procedure, and the text of "Zandrel.def" kept in export_definition_text.
void emit_dll_exports();
// The module-definition text for the names given: "EXPORTS" and one line
// per name.
std::string build_export_definitions(const std::vector<std::string>& names);
