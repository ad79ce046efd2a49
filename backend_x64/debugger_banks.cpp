// The debugger's symbol banks: packed byte streams in the data section that
// name the program's constants, variables, arrays, lists, maps, labels,
// procedures and modules; the head of each structure map and the type
// references into those maps.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "core/output_buffers.h"
#include "frontend/arrays.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

// Modules in the iteration order of the module table.
std::vector<ModuleRecord*> modules_in_table_order()
{
    std::vector<ModuleRecord*> modules;
    if (!module_table) return modules;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
    hash_reset_iterator(module_table);
    return modules;
}

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module || std::strcmp(module_name(module), ".Main") == 0;
}

// The Module item: the module's name, or " db 0" for the main program.
void emit_module_item(const ModuleRecord* module)
{
    if (is_main_module(module)) emit_line(" db 0");
    else emit_db_string(module_name(module));
}

std::vector<ConstantRecord*> bank_constants(HashTable* table)
{
    std::vector<ConstantRecord*> constants;
    if (!table) return constants;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        ConstantRecord* constant = reinterpret_cast<ConstantRecord*>(entry);
        if (!(constant->flags & constant_flag_resident)) constants.push_back(constant);
    }
    hash_reset_iterator(table);
    return constants;
}

void emit_two_halves(int64_t value)
{
    emit_linef(" dd %d", int32_t(uint32_t(uint64_t(value))));
    emit_linef(" dd %d", int32_t(uint32_t(uint64_t(value) >> 32)));
}

void emit_constant_entry(const ConstantRecord* constant, const ModuleRecord* module)
{
    int32_t scope = (constant->flags & predefined_constant_flag) ? 2 : (constant->flags & constant_flag_public) ? 1 : 0;
    emit_linef(" db %d", scope);
    emit_db_string(constant->entry.key);
    emit_module_item(module);
    if (constant->flags & constant_flag_float) {
        int64_t bits;
        std::memcpy(&bits, &constant->value.float_value, sizeof bits);
        emit_line(" db 5");
        emit_two_halves(bits);
    } else if (constant->flags & constant_flag_string) {
        emit_line(" db 6");
        emit_line2(" dw ", utf8_to_dw_list(constant->value.text ? constant->value.text : ""));
    } else {
        emit_line(" db 3");
        emit_two_halves(constant->value.integer_value);
    }
}

void emit_bank_header(const char* symbol, int32_t count)
{
    emit_line2("public ", symbol);
    emit_linef("%s:", symbol);
    emit_linef(" dd %d", count);
}

// A text between double quotes for a " db " line of the data-section buffer.
void emit_data_line(const std::string& text)
{
    emit_data_text(text.c_str());
}

}  // namespace

void emit_db_string(const char* text)
{
    emit_line3(" db \"", text, "\",0");
}

void emit_type_map_reference(int32_t type_byte, const StructureRecord* structure, int32_t length)
{
    if ((type_byte & 0x7f) == TYPE_STRUCTURE && structure) {
        // The reference needs the structure's map.
        if (!no_output_depth) const_cast<StructureRecord*>(structure)->flags |= STRUCT_USED;
        emit_linef(" dq SM_%d", structure->id);
    } else if (type_byte == TYPE_FIXED_STRING) {
        emit_linef(" dd %d", length);
    }
}

void emit_type_map_reference_data(int32_t type_byte, const StructureRecord* structure, int32_t length)
{
    if ((type_byte & 0x2f) == TYPE_STRUCTURE && structure) {
        emit_data_line(" dq SM_" + std::to_string(structure->id) + "\n");
    } else if ((type_byte & 0x2f) == TYPE_FIXED_STRING) {
        emit_data_line(" dd " + std::to_string(length) + "\n");
    }
}

void emit_debugger_constant_bank_header(int32_t count)
{
    emit_line("zd_align 8");
    emit_bank_header("ZD_DEBUGGER_ConstantBank", count);
}

void emit_debugger_variable_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_VariableBank", count); }
void emit_debugger_array_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_ArrayBank", count); }
void emit_debugger_list_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_LinkedListBank", count); }
void emit_debugger_map_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_MapBank", count); }
void emit_debugger_label_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_LabelBank", count); }
void emit_debugger_module_bank_header(int32_t count) { emit_bank_header("ZD_DEBUGGER_ModuleBank", count); }

void emit_debugger_procedure_bank_header(int32_t count, int32_t procedure_ids)
{
    emit_bank_header("ZD_DEBUGGER_ProcedureBank", count);
    emit_linef(" dw %d", procedure_ids);
}

void emit_debugger_constant_bank()
{
    std::vector<ModuleRecord*> modules = modules_in_table_order();
    int32_t count = 0;
    for (ModuleRecord* module : modules) count += int32_t(bank_constants(module->constants).size());
    emit_debugger_constant_bank_header(count);
    for (ModuleRecord* module : modules) {
        for (ConstantRecord* constant : bank_constants(module->constants)) {
            sync_output_buffer();
            emit_constant_entry(constant, module);
        }
    }
}


void emit_debugger_module_bank()
{
    std::vector<ModuleRecord*> modules = modules_in_table_order();
    int32_t count = 0;
    for (ModuleRecord* module : modules) {
        if (!is_main_module(module)) count++;
    }
    emit_debugger_module_bank_header(count);
    for (ModuleRecord* module : modules) {
        if (!is_main_module(module)) emit_db_string(module_name(module));
    }
}

void emit_structure_map_head(const StructureRecord* structure, const ModuleRecord* module)
{
    emit_linef("SM_%d:", structure->id);
    emit_db_string(structure->entry.key);
    emit_module_item(module);
    if (structure->flags & STRUCT_NEEDS_INIT) {
        // The descriptor table: "s_" + lower-cased module name and "." + name.
        std::string symbol = "s_";
        if (!is_main_module(module)) symbol += std::string(module_name(module)) + ".";
        for (char& c : symbol) c = char((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
        emit_line3(" dq ", symbol.c_str(), structure->entry.key);
    } else {
        emit_line(" dq 0");
    }
}

// ---------------------------------------------------------------------------
// The banks of variables, procedures, arrays, lists, maps and labels. Each
// writer counts its entries with the same rule it writes them by.

namespace {

// Each table or list of the modules once, with the module that owns it
// (".Main" holds the global ones), in the module table's order.
template <typename Slot>
std::vector<std::pair<Slot, ModuleRecord*>> module_slots(Slot ModuleRecord::*member)
{
    std::vector<std::pair<Slot, ModuleRecord*>> slots;
    for (ModuleRecord* module : modules_in_table_order()) {
        Slot slot = module->*member;
        if (!slot) continue;
        bool seen = false;
        for (auto& pair : slots) seen = seen || pair.first == slot;
        if (!seen) slots.push_back({slot, module});
    }
    return slots;
}

template <typename Record, typename Visit>
void for_each_in_lists(CursorList* ModuleRecord::*member, CursorList* global, Visit visit)
{
    auto slots = module_slots(member);
    bool global_seen = false;
    for (auto& pair : slots) global_seen = global_seen || pair.first == global;
    if (global && !global_seen) slots.insert(slots.begin(), {global, nullptr});
    for (auto& [list, module] : slots) {
        for (ListNode* node = list->first; node; node = node->next) visit(reinterpret_cast<Record*>(node), module);
    }
}

template <typename Visit>
void for_each_in_tables(HashTable* ModuleRecord::*member, HashTable* global, Visit visit)
{
    auto slots = module_slots(member);
    bool global_seen = false;
    for (auto& pair : slots) global_seen = global_seen || pair.first == global;
    if (global && !global_seen) slots.insert(slots.begin(), {global, nullptr});
    for (auto& [table, module] : slots) {
        std::vector<HashEntry*> entries;
        hash_reset_iterator(table);
        while (HashEntry* entry = hash_next(table)) entries.push_back(entry);
        hash_reset_iterator(table);
        for (HashEntry* entry : entries) visit(entry, module);
    }
}

// The module of a record: its own, else that of the table holding it.
const ModuleRecord* record_module(const ModuleRecord* own, const ModuleRecord* holder)
{
    return own ? own : holder;
}

bool variable_in_bank(const VariableRecord* variable)
{
    return !(variable->flags & (VAR_OWN_SYMBOL | VAR_DATA_POINTER)) && !is_local_variable(variable);
}

void emit_variable_entry(VariableRecord* variable, const ModuleRecord* module)
{
    bool threaded = (variable->flags & VAR_THREADED) != 0;
    int32_t type = variable->type + (variable->pointer ? 0x80 : 0);
    emit_linef(" db %d", type);
    emit_linef(" db %d", threaded ? 2 : (variable->flags & VAR_GLOBAL) ? 1 : 0);
    emit_linef(" db %d", (variable->flags & VAR_PUBLIC) ? 1 : 0);
    emit_db_string(get_variable_display_name(variable));
    emit_module_item(record_module(variable->module, module));
    if (threaded) emit_linef(" dq %d", variable->offset);
    else emit_line2(" dq ", format_variable_symbol(variable));
    emit_type_map_reference(type, variable->structure, variable->size);
}

bool procedure_in_bank(const ProcedureRecord* procedure)
{
    return procedure->use_count != 0 && !(procedure->flags & (PROC_IMPORTED | PROC_DECLARE_ONLY)) &&
           !(procedure->flags & PROC_PROTOTYPE);
}

int32_t procedure_result_type(const ProcedureRecord* procedure)
{
    if (procedure->flags & PROC_RETURNS_STRING) return TYPE_STRING;
    if (procedure->flags & PROC_RETURNS_FLOAT) return TYPE_FLOAT;
    return TYPE_INTEGER;
}

void emit_procedure_entry(ProcedureRecord* procedure, const ModuleRecord* module)
{
    emit_linef(" db %d", procedure->parameter_count);
    int32_t frame = procedure_frame_size(procedure);
    for (int32_t i = 0; i < procedure->parameter_count; i++) {
        const ParameterRecord& parameter = procedure->parameters[i];
        emit_linef(" db %d", parameter.type);
        // A string parameter is copied into a local slot; the others stay
        // in the caller's home area above the frame.
        emit_linef(" dd %d", parameter.type == TYPE_STRING ? parameter.offset : parameter.offset + frame);
    }
    emit_linef(" db %d", procedure_result_type(procedure));
    emit_linef(" db %d", (procedure->second_flags & PROC_SECOND_PUBLIC) ? 1 : 0);
    emit_db_string(procedure_name(procedure));
    emit_module_item(record_module(procedure->module, module));
    int32_t id = procedure->id;
    emit_linef(" dq _Procedure%d", id);
    for (const char* map : {"LMV_", "LMA_", "LML_", "LMM_"}) emit_linef(" dq %s%d", map, id);
    emit_linef(" dw %d", int32_t(int16_t(id / 2)));
}

// Type bytes of the banks: 0x80 for pointer or interface elements.
int32_t array_type_byte(const ArrayRecord* array)
{
    return array->element_type + ((array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) ? 0x80 : 0);
}

template <typename Container>
int32_t container_type_byte(const Container* container)
{
    bool interface = container->element_structure && (container->element_structure->flags & STRUCT_INTERFACE);
    return container->element_type + (((container->flags & CONTAINER_POINTERS) || interface) ? 0x80 : 0);
}

// Threaded containers: their offset in the thread's block.
bool container_threaded(uint32_t flags)
{
    return (flags & CONTAINER_THREADED) == CONTAINER_THREADED;
}

// Fields belong to their structures; a procedure's own arrays, lists and
// maps are in its local map.
bool array_in_bank(const ArrayRecord* array)
{
    return !(array->flags & (ARRAY_FIELD | ARRAY_LOCAL));
}

bool container_in_bank(uint32_t flags)
{
    return !(flags & (CONTAINER_FIELD | CONTAINER_LOCAL));
}

void emit_array_entry(ArrayRecord* array, const ModuleRecord* module)
{
    bool threaded = (array->flags & ARRAY_THREADED) != 0;
    int32_t type = array_type_byte(array);
    emit_linef(" db %d", type);
    emit_linef(" db %d", threaded ? 2 : (array->flags & ARRAY_GLOBAL) ? 1 : 0);
    emit_linef(" db %d", (array->flags & ARRAY_PUBLIC) ? 1 : 0);
    emit_db_string(array_display_name(array));
    emit_module_item(record_module(array->module, module));
    std::string symbol = format_array_symbol(array);
    if (threaded) emit_linef(" dq %d", array->offset);
    else emit_line2(" dq ", symbol.c_str());
    emit_type_map_reference(type, array->element_structure, array->element_size);
    emit_linef(" db %d", array->dimension_count);
    if (array->dimension_count > 1) {
        emit_linef("d%s:", symbol.c_str());
        for (int32_t i = 0; i < array->dimension_count; i++) emit_line(" dq 0");
    }
}

template <typename Container>
void emit_container_entry(Container* container, const ModuleRecord* module, const char* symbol)
{
    bool threaded = container_threaded(container->flags);
    int32_t type = container_type_byte(container);
    emit_linef(" db %d", type);
    emit_linef(" db %d", threaded ? 2 : (container->flags & CONTAINER_GLOBAL) ? 1 : 0);
    emit_linef(" db %d", (container->flags & CONTAINER_PUBLIC) ? 1 : 0);
    emit_db_string(container->name);
    emit_module_item(record_module(container->module, module));
    if (threaded) emit_linef(" dq %d", container->offset);
    else emit_line2(" dq ", symbol);
    emit_type_map_reference(type, container->element_structure, container->element_size);
}

std::string lower_case(std::string text)
{
    for (char& c : text) c = char((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    return text;
}

void emit_label_entry(const LabelRecord* label, const ModuleRecord* module)
{
    emit_linef(" db %d", (label->flags & LABEL_PUBLIC) ? 1 : 0);
    emit_db_string(label->name);
    const char* module_text = label->module ? label->module : (module && !is_main_module(module) ? module_name(module) : nullptr);
    emit_module_item(module_text ? find_module(module_text) : nullptr);
    std::string symbol = module_text ? lower_case(std::string(module_text) + ".l_" + label->name) : lower_case(std::string("l_") + label->name);
    emit_line2(" dq ", symbol.c_str());
}

}  // namespace

void emit_module_global_map()
{
    int32_t count = 0;
    auto count_one = [&](HashEntry* entry, ModuleRecord*) {
        if (variable_in_bank(reinterpret_cast<VariableRecord*>(entry))) count++;
    };
    for_each_in_tables(&ModuleRecord::variables, variable_table, count_one);
    emit_debugger_variable_bank_header(count);
    for_each_in_tables(&ModuleRecord::variables, variable_table, [](HashEntry* entry, ModuleRecord* module) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!variable_in_bank(variable)) return;
        sync_output_buffer();
        emit_variable_entry(variable, module);
    });
}

void emit_procedure_locals_info()
{
    int32_t count = 0;
    for_each_in_tables(&ModuleRecord::procedures, procedure_table, [&](HashEntry* entry, ModuleRecord*) {
        if (procedure_in_bank(reinterpret_cast<ProcedureRecord*>(entry))) count++;
    });
    emit_debugger_procedure_bank_header(count, procedure_id_counter / 2);
    for_each_in_tables(&ModuleRecord::procedures, procedure_table, [](HashEntry* entry, ModuleRecord* module) {
        auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
        if (!procedure_in_bank(procedure)) return;
        sync_output_buffer();
        emit_procedure_entry(procedure, module);
    });
}

void emit_debugger_array_bank()
{
    int32_t count = 0;
    for_each_in_lists<ArrayRecord>(&ModuleRecord::arrays, array_list, [&](ArrayRecord* array, ModuleRecord*) {
        if (array_in_bank(array)) count++;
    });
    emit_debugger_array_bank_header(count);
    for_each_in_lists<ArrayRecord>(&ModuleRecord::arrays, array_list, [](ArrayRecord* array, ModuleRecord* module) {
        if (!array_in_bank(array)) return;
        sync_output_buffer();
        emit_array_entry(array, module);
    });
}

void emit_list_declarations()
{
    int32_t count = 0;
    for_each_in_lists<ListRecord>(&ModuleRecord::lists, list_list, [&](ListRecord* list, ModuleRecord*) {
        if (container_in_bank(list->flags)) count++;
    });
    emit_debugger_list_bank_header(count);
    for_each_in_lists<ListRecord>(&ModuleRecord::lists, list_list, [](ListRecord* list, ModuleRecord* module) {
        if (!container_in_bank(list->flags)) return;
        sync_output_buffer();
        std::string symbol = format_list_symbol(list);
        emit_container_entry(list, module, symbol.c_str());
    });
}

void emit_map_declarations()
{
    int32_t count = 0;
    for_each_in_lists<MapRecord>(&ModuleRecord::maps, map_list, [&](MapRecord* map, ModuleRecord*) {
        if (container_in_bank(map->flags)) count++;
    });
    emit_debugger_map_bank_header(count);
    for_each_in_lists<MapRecord>(&ModuleRecord::maps, map_list, [](MapRecord* map, ModuleRecord* module) {
        if (!container_in_bank(map->flags)) return;
        sync_output_buffer();
        std::string symbol = format_map_symbol(map);
        emit_container_entry(map, module, symbol.c_str());
    });
}

void emit_label_table()
{
    int32_t count = 0;
    for_each_in_lists<LabelRecord>(&ModuleRecord::labels, main_labels, [&](LabelRecord*, ModuleRecord*) { count++; });
    emit_debugger_label_bank_header(count);
    for_each_in_lists<LabelRecord>(&ModuleRecord::labels, main_labels, [](LabelRecord* label, ModuleRecord* module) {
        sync_output_buffer();
        emit_label_entry(label, module);
    });
}

void emit_debugger_banks()
{
    emit_module_global_map();
    emit_procedure_locals_info();
    emit_debugger_array_bank();
    emit_list_declarations();
    emit_map_declarations();
    emit_debugger_constant_bank();
    emit_label_table();
    emit_debugger_module_bank();
}
