#include "backend_c/c_runtime_registration.h"

#include <cstdio>
#include <string>
#include <vector>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_program_blocks.h"
#include "core/core_globals.h"
#include "core/hash_table.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

const char* c_float_literal(double value) __attribute__((weak));

namespace {

constexpr uint32_t procedure_runtime = 0x1000;  // second flags

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module;
}

std::vector<ModuleRecord*> modules_in_order()
{
    std::vector<ModuleRecord*> modules;
    if (!module_table) return modules;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
    hash_reset_iterator(module_table);
    return modules;
}

// Every record of each module's table (the main module's being `main_table`),
// each table once.
template <typename Visit>
void for_each_module_record(HashTable* main_table, HashTable* ModuleRecord::*slot, Visit visit)
{
    std::vector<HashTable*> seen;
    auto walk = [&](ModuleRecord* module, HashTable* table) {
        if (!table) return;
        for (HashTable* done : seen)
            if (done == table) return;
        seen.push_back(table);
        std::vector<HashEntry*> entries;
        hash_reset_iterator(table);
        while (HashEntry* entry = hash_next(table)) entries.push_back(entry);
        hash_reset_iterator(table);
        for (HashEntry* entry : entries) visit(module, entry);
    };
    std::vector<ModuleRecord*> modules = modules_in_order();
    if (modules.empty()) walk(main_module, main_table);
    for (ModuleRecord* module : modules) walk(module, is_main_module(module) ? main_table : module->*slot);
}

// "<module>::<text>" or the text alone in the main module.
std::string key_text(const ModuleRecord* module, const std::string& text)
{
    if (is_main_module(module)) return text;
    return std::string(module_name(module)) + "::" + text;
}

}  // namespace

const char* c_literal_name(const char* text)
{
    static char name[24];
    int32_t before = literal_string_count;
    int32_t number = intern_literal_string(text);
    if (number > before) c_literal_table.push_back({number, text});
    if (number == 0 || (null_string_number && number == null_string_number)) return "0";
    std::snprintf(name, sizeof name, "_S%d", number);
    return name;
}

void c_emit_runtime_procedure_entry(ModuleRecord* module, ProcedureRecord* procedure)
{
    std::string key = c_literal_name(key_text(module, std::string(procedure_name(procedure)) + "()").c_str());
    std::string name = c_procedure_name(procedure);
    emit_format("ZD_Runtime_AddInteger(%s,&%s);", key.c_str(), name.c_str());
}

void c_emit_runtime_constant_entry(ModuleRecord* module, ConstantRecord* constant)
{
    std::string key = c_literal_name(key_text(module, std::string("#") + constant->entry.key).c_str());
    if (constant->flags & constant_flag_string) {
        std::string text = c_literal_name(constant->value.text ? constant->value.text : "");
        emit_format("ZD_Runtime_AddString(%s,%s);", key.c_str(), text.c_str());
    } else if (constant->flags & constant_flag_float) {
        char value[160];
        if (c_float_literal) std::snprintf(value, sizeof value, "%s", c_float_literal(constant->value.float_value));
        else std::snprintf(value, sizeof value, "%.17g", constant->value.float_value);
        emit_format("ZD_Runtime_AddDouble(%s,%s);", key.c_str(), value);
    } else {
        char value[32];
        int64_t number = constant->value.integer_value;
        if (number == INT64_MIN) std::snprintf(value, sizeof value, "(-9223372036854775807LL-1)");
        else std::snprintf(value, sizeof value, "%lld", (long long)number);
        emit_format("ZD_Runtime_AddInteger(%s,%s);", key.c_str(), value);
    }
}

void c_emit_runtime_variable_entry(ModuleRecord* module, VariableRecord* variable)
{
    std::string key = c_literal_name(key_text(module, get_variable_display_name(variable)).c_str());
    if (!c_format_variable_operand) return;
    std::string lvalue = c_format_variable_operand(variable);
    emit_format("ZD_Runtime_AddVariable(%s,&%s,%d);", key.c_str(), lvalue.c_str(), int32_t(variable->type));
}

void c_emit_runtime_procedures()
{
    // The main module's slot holds the global procedures.
    for_each_module_record(main_module ? main_module->procedures : nullptr, &ModuleRecord::procedures, [](ModuleRecord* module, HashEntry* entry) {
        auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
        if (procedure->second_flags & procedure_runtime) c_emit_runtime_procedure_entry(module, procedure);
    });
}

void c_emit_runtime_constant()
{
    for_each_module_record(constants_table, &ModuleRecord::constants, [](ModuleRecord* module, HashEntry* entry) {
        auto* constant = reinterpret_cast<ConstantRecord*>(entry);
        if (constant->flags & constant_flag_runtime) c_emit_runtime_constant_entry(module, constant);
    });
}

void c_emit_runtime_variable()
{
    for_each_module_record(variable_table, &ModuleRecord::variables, [](ModuleRecord* module, HashEntry* entry) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!(variable->flags & VAR_RUNTIME) || is_local_variable(variable)) return;
        // One table holds every module's variables; each names its module.
        c_emit_runtime_variable_entry(variable->module ? variable->module : module, variable);
    });
}

void c_settle_runtime_used()
{
    bool found = false;
    for_each_module_record(main_module ? main_module->procedures : nullptr, &ModuleRecord::procedures,
                           [&found](ModuleRecord*, HashEntry* entry) {
                               if (reinterpret_cast<ProcedureRecord*>(entry)->second_flags & procedure_runtime) found = true;
                           });
    for_each_module_record(constants_table, &ModuleRecord::constants, [&found](ModuleRecord*, HashEntry* entry) {
        if (reinterpret_cast<ConstantRecord*>(entry)->flags & constant_flag_runtime) found = true;
    });
    for_each_module_record(variable_table, &ModuleRecord::variables, [&found](ModuleRecord*, HashEntry* entry) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if ((variable->flags & VAR_RUNTIME) && !is_local_variable(variable)) found = true;
    });
    if (found) runtime_used = 1;
}
