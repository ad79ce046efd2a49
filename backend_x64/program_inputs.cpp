// What the program output takes from the front end once the source has
// compiled: the global variables of every module's table, the live Static
// items of procedures with their data type and initial value.
#include <set>

#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

constexpr uint8_t structure_item_type = 0xFF;
constexpr uint8_t variable_item_kind = 255;
constexpr uint32_t procedure_exported = 0x1000;
constexpr uint32_t procedure_declared_only = 0x4000;

// The variable lives in the bss under its own symbol: not a local, not a
// Static item (reserved by its data item), not the data pointer (reserved by
// the program end under "ZD_DataPointer") and not an item with a symbol of
// its own.
bool reserved_in_bss(const VariableRecord* variable)
{
    if (is_local_variable(variable)) return false;
    if (variable->flags & (VAR_STATIC | VAR_OWN_SYMBOL | VAR_DATA_POINTER)) return false;
    return true;
}

void collect_table_variables(HashTable* table)
{
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!reserved_in_bss(variable)) continue;
        program_global_variables.push_back({format_variable_symbol(variable), variable->size});
    }
    hash_reset_iterator(table);
}

void collect_global_variables()
{
    std::set<HashTable*> visited;
    if (variable_table) {
        visited.insert(variable_table);
        collect_table_variables(variable_table);
    }
    if (!module_table) return;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) {
        HashTable* table = reinterpret_cast<ModuleRecord*>(entry)->variables;
        if (table && visited.insert(table).second) collect_table_variables(table);
    }
    hash_reset_iterator(module_table);
}

}  // namespace

// An item is written when its procedure is called, when the debugger shows
// it, or when its procedure is an exported one that is defined. An item
// recorded without its procedure is always written.
bool item_is_live(const DataItem* item)
{
    if (debugger_enabled || !item->procedure) return true;
    const ProcedureRecord* procedure = item->procedure;
    if (procedure->use_count != 0) return true;
    return (procedure->flags & (procedure_exported | procedure_declared_only)) == procedure_exported;
}

namespace {

// The data type of an item: its kind, or for a Static variable the
// variable's own type (a pointer is an integer, a structure takes the
// structure path).
uint8_t item_data_type(const DataItem* item)
{
    if (item->kind != variable_item_kind) return item->kind;
    const auto* variable = static_cast<const VariableRecord*>(item->object);
    if (!variable) return structure_item_type;
    if (variable->pointer) return TYPE_INTEGER;
    if (variable->type == TYPE_STRUCTURE) return structure_item_type;
    return variable->type;
}

void collect_data_items()
{
    if (!data_item_list) return;
    for (ListNode* node = data_item_list->first; node; node = node->next) {
        const auto* item = reinterpret_cast<const DataItem*>(node);
        if (!item_is_live(item)) continue;
        program_data_items.push_back(
            {item->label, item->size, item_data_type(item), item->value, item->initialised != 0, item->object});
    }
}

}  // namespace

void collect_program_inputs()
{
    collect_global_variables();
    collect_array_labels();
    collect_list_map_labels();
    collect_data_items();
}
