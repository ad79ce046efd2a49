// Runtime registration in the start-up code, and the exports of a DLL.
#include "backend_x64/program_runtime.h"

#include <cinttypes>
#include <cstdio>
#include <set>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_variables.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

constexpr uint32_t procedure_flag_dll = 0x1000;
constexpr uint32_t procedure_flag_declared_only = 0x4000;
constexpr uint32_t procedure_flag_prototype = 0x10000000;
constexpr uint32_t procedure_flag_imported = 0x40000000;

struct RuntimeConstant {
    ModuleRecord* module;
    ConstantRecord* constant;
};

struct RuntimeVariable {
    ModuleRecord* module;
    VariableRecord* variable;
};

struct RuntimeProcedure {
    ModuleRecord* module;
    ProcedureRecord* procedure;
};

// Every marked item, module by module in the order of the module table and
// of each module's tables. The main module's slots may still be empty while
// its items sit in the global tables; a table shared by two slots is walked
// once.
struct RuntimeItems {
    std::vector<RuntimeProcedure> procedures;
    std::vector<RuntimeConstant> constants;
    std::vector<RuntimeVariable> variables;
};

std::vector<ModuleRecord*> modules_in_table_order()
{
    std::vector<ModuleRecord*> modules;
    if (module_table) {
        hash_reset_iterator(module_table);
        while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
        hash_reset_iterator(module_table);
    }
    bool main_seen = false;
    for (ModuleRecord* module : modules) main_seen = main_seen || module == main_module;
    if (!main_seen && main_module) modules.insert(modules.begin(), main_module);
    return modules;
}

template <typename Visit>
void walk_table(HashTable* table, std::set<HashTable*>& visited, Visit visit)
{
    if (!table || !visited.insert(table).second) return;
    std::vector<HashEntry*> entries;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) entries.push_back(entry);
    hash_reset_iterator(table);
    for (HashEntry* entry : entries) visit(entry);
}

RuntimeItems collect_runtime_items()
{
    RuntimeItems items;
    std::set<HashTable*> procedure_tables;
    std::set<HashTable*> constant_tables;
    std::set<HashTable*> variable_tables;
    for (ModuleRecord* module : modules_in_table_order()) {
        bool main = module == main_module;
        walk_table(module->procedures, procedure_tables, [&](HashEntry* entry) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            if (procedure->second_flags & procedure_second_flag_runtime) items.procedures.push_back({module, procedure});
        });
        HashTable* constants = module->constants ? module->constants : (main ? constants_table : nullptr);
        walk_table(constants, constant_tables, [&](HashEntry* entry) {
            auto* constant = reinterpret_cast<ConstantRecord*>(entry);
            if (constant->flags & constant_flag_runtime) items.constants.push_back({module, constant});
        });
        HashTable* variables = module->variables ? module->variables : (main ? variable_table : nullptr);
        walk_table(variables, variable_tables, [&](HashEntry* entry) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            // A local has no address while the start-up code runs.
            if ((variable->flags & VAR_RUNTIME) && !is_local_variable(variable))
                items.variables.push_back({variable->module ? variable->module : module, variable});
        });
    }
    return items;
}

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module;
}

// Interns a name or value text and returns its static-string number.
int32_t intern_text(const std::string& text)
{
    return intern_literal_string(text.c_str());
}

}  // namespace

std::string runtime_constant_name(const ModuleRecord* module, const ConstantRecord* constant)
{
    if (is_main_module(module)) return std::string("#") + constant->entry.key;
    return std::string(module_name(module)) + "::#" + constant->entry.key;
}

std::string runtime_variable_name(const ModuleRecord* module, const VariableRecord* variable)
{
    std::string shown = get_variable_display_name(variable);
    if (is_main_module(module)) return shown;
    return std::string(module_name(module)) + "::" + shown;
}

std::string runtime_procedure_name(const ModuleRecord* module, const ProcedureRecord* procedure)
{
    if (is_main_module(module)) return std::string(procedure_name(procedure)) + "()";
    return std::string(module_name(module)) + "::" + procedure_name(procedure) + "()";
}

void settle_runtime_declarations()
{
    RuntimeItems items = collect_runtime_items();
    runtime_declarations_used =
        !(items.procedures.empty() && items.constants.empty() && items.variables.empty());
    if (!runtime_declarations_used) return;
    // The same texts in the same order as the registrations intern them.
    for (const RuntimeProcedure& item : items.procedures) intern_text(runtime_procedure_name(item.module, item.procedure));
    for (const RuntimeConstant& item : items.constants) {
        intern_text(runtime_constant_name(item.module, item.constant));
        if (item.constant->flags & constant_flag_string)
            intern_text(item.constant->value.text ? item.constant->value.text : "");
    }
    for (const RuntimeVariable& item : items.variables) intern_text(runtime_variable_name(item.module, item.variable));
}

void emit_runtime_constant(ModuleRecord* module, ConstantRecord* constant)
{
    if (no_output_depth) return;
    int32_t name = intern_text(runtime_constant_name(module, constant));
    if (constant->flags & constant_flag_string) {
        int32_t value = intern_text(constant->value.text ? constant->value.text : "");
        emit_load_static_string(REGISTER_RDX, value, false);
        emit_load_static_string(REGISTER_RCX, name, false);
        emit_line(" CALL ZD_Runtime_AddString");
    } else if (constant->flags & constant_flag_float) {
        emit_line2(" MOVSD xmm1, qword [", (std::string(intern_double_constant(constant->value.float_value)) + "]").c_str());
        emit_load_static_string(REGISTER_RCX, name, false);
        emit_line(" CALL ZD_Runtime_AddDouble");
    } else {
        emit_linef(" MOV rdx, qword %" PRId64, constant->value.integer_value);
        emit_load_static_string(REGISTER_RCX, name, false);
        emit_line(" CALL ZD_Runtime_AddInteger");
    }
}

void emit_runtime_variable(ModuleRecord* module, VariableRecord* variable)
{
    if (no_output_depth) return;
    int32_t name = intern_text(runtime_variable_name(module, variable));
    emit_linef(" MOV r8, %d", int(variable->type));
    std::string operand = format_variable_operand(variable);
    emit_line2(" LEA rax,", operand.c_str());
    emit_line(" MOV rdx, rax");
    emit_load_static_string(REGISTER_RCX, name, false);
    emit_line(" CALL ZD_Runtime_AddVariable");
}

void emit_runtime_procedures()
{
    if (no_output_depth) return;
    for (const RuntimeProcedure& item : collect_runtime_items().procedures) {
        int32_t name = intern_text(runtime_procedure_name(item.module, item.procedure));
        emit_linef(" MOV rdx, qword _Procedure%d", item.procedure->id);
        emit_load_static_string(REGISTER_RCX, name, false);
        emit_line(" CALL ZD_Runtime_AddInteger");
    }
}

void emit_runtime_registrations()
{
    if (!runtime_declarations_used) return;
    emit_runtime_procedures();
    RuntimeItems items = collect_runtime_items();
    for (const RuntimeConstant& item : items.constants) emit_runtime_constant(item.module, item.constant);
    for (const RuntimeVariable& item : items.variables) emit_runtime_variable(item.module, item.variable);
}

std::vector<ProcedureRecord*> collect_exported_procedures()
{
    std::vector<ProcedureRecord*> exported;
    std::set<HashTable*> visited;
    for (ModuleRecord* module : modules_in_table_order()) {
        walk_table(module->procedures, visited, [&](HashEntry* entry) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            uint32_t flags = procedure->flags;
            if ((flags & (procedure_flag_dll | procedure_flag_declared_only)) != procedure_flag_dll) return;
            if (flags & (procedure_flag_prototype | procedure_flag_imported)) return;
            exported.push_back(procedure);
        });
    }
    return exported;
}

std::string build_export_definitions(const std::vector<std::string>& names)
{
    std::string text = "EXPORTS\n";
    for (const std::string& name : names) text += "    " + name + "\n";
    return text;
}

void emit_dll_exports()
{
    export_definition_text.clear();
    if (!dll_mode) return;
    std::vector<std::string> names;
    for (ProcedureRecord* procedure : collect_exported_procedures()) {
        names.push_back(procedure_name(procedure));
        emit_linef("public _Procedure%d as '%s'", procedure->id, procedure_name(procedure));
    }
    export_definition_text = build_export_definitions(names);
}
