// The stubs and string-parameter maps of parallel procedures.
#include "backend_x64/program_parallel.h"

#include <cstdint>
#include <set>

#include "backend_x64/emit_common.h"
#include "backend_x64/emit_procedures.h"
#include "core/hash_table.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/symbols.h"

namespace {

// The last entry of a string-parameter map.
constexpr int32_t string_parameter_map_end = -1;

void collect_from_table(HashTable* table, std::set<HashTable*>& visited, std::vector<ProcedureRecord*>& found)
{
    if (!table || !visited.insert(table).second) return;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
        if ((procedure->second_flags & PROC_SECOND_PARALLEL) && is_procedure_code_appended(procedure))
            found.push_back(procedure);
    }
    hash_reset_iterator(table);
}

}  // namespace

std::vector<ProcedureRecord*> collect_parallel_procedures()
{
    std::vector<ProcedureRecord*> found;
    std::set<HashTable*> visited;
    collect_from_table(procedure_table, visited, found);
    if (!module_table) return found;
    std::vector<ModuleRecord*> modules;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
    hash_reset_iterator(module_table);
    for (ModuleRecord* module : modules) collect_from_table(module->procedures, visited, found);
    return found;
}

void emit_parallel_stubs()
{
    for (ProcedureRecord* procedure : collect_parallel_procedures()) emit_parallel_stub(procedure);
}

void emit_string_parameter_maps()
{
    for (ProcedureRecord* procedure : collect_parallel_procedures()) {
        emit_linef("PAM%d:", procedure->id);
        for (int32_t i = 0; i < procedure->parameter_count; i++) {
            if (procedure->parameters[i].type == TYPE_STRING) emit_linef(" dd %d", parallel_job_slot_bytes * i);
        }
        emit_linef(" dd %d", string_parameter_map_end);
    }
}
