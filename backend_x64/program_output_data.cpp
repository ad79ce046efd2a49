// Storage of the program's variables: initialised Static numbers in the data
// section, global variables and the remaining Static items in the bss
// section, and the start-up initialisation of the items that need it.
#include <set>
#include <string>
#include <vector>

#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_threads.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "core/output_buffers.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

std::vector<StaticDataItem> program_data_items;

namespace {

constexpr uint8_t type_byte = 1;
constexpr uint8_t type_word = 3;
constexpr uint8_t type_long = 5;
constexpr uint8_t type_string = 8;
constexpr uint8_t type_float = 9;
constexpr uint8_t type_fixed_string = 10;
constexpr uint8_t type_character = 11;
constexpr uint8_t type_double = 12;
constexpr uint8_t type_quad = 13;
constexpr uint8_t type_list = 14;
constexpr uint8_t type_array = 15;
constexpr uint8_t type_integer = 21;
constexpr uint8_t type_map = 22;
constexpr uint8_t type_ascii = 24;
constexpr uint8_t type_unicode = 25;
constexpr uint8_t type_structure_item = 0xFF;

void emit_value_line(const std::string& label, const char* directive, int64_t value)
{
    emit_line2((label + directive).c_str(), std::to_string(value).c_str());
}

// Writes the data line(s) of one numeric item; false for other types.
bool emit_numeric_item(const StaticDataItem& item)
{
    switch (item.type) {
    case type_byte: emit_value_line(item.label, " db ", int8_t(item.value)); return true;
    case type_ascii: emit_value_line(item.label, " db ", uint8_t(item.value)); return true;
    case type_word: emit_value_line(item.label, " dw ", int16_t(item.value)); return true;
    case type_character:
    case type_unicode: emit_value_line(item.label, " dw ", uint16_t(item.value)); return true;
    case type_long:
    case type_float: emit_value_line(item.label, " dd ", int32_t(item.value)); return true;
    case type_double:
    case type_quad:
    case type_integer:
        emit_value_line(item.label, " dd ", int32_t(uint32_t(uint64_t(item.value))));
        emit_value_line("", " dd ", int32_t(uint32_t(uint64_t(item.value) >> 32)));
        return true;
    default: return false;
    }
}

bool stays_for_bss(uint8_t type)
{
    return type == type_string || type == type_fixed_string || type == type_list || type == type_array ||
           type == type_map;
}

const char* reserve_directive(int32_t size)
{
    switch (size) {
    case 8: return " rq 1";
    case 4: return " rd 1";
    case 2: return " rw 1";
    default: return " rb 1";
    }
}

bool simple_size(int32_t size)
{
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// With the debugger the slots of Static arrays are written with the
// procedure's local map, in the data section.
bool reserved_elsewhere(const StaticDataItem& item)
{
    return debugger_enabled && item.type == type_array;
}

}  // namespace

void emit_initialised_data_items(int32_t size)
{
    for (size_t i = 0; i < program_data_items.size();) {
        StaticDataItem& item = program_data_items[i];
        if (item.size != size || item.type == type_structure_item) {
            i++;
            continue;
        }
        emit_numeric_item(item);
        if (stays_for_bss(item.type)) i++;
        else program_data_items.erase(program_data_items.begin() + long(i));
    }
}

void emit_data_items()
{
    emit_line("zd_bssalign 8");
    for (int32_t size : {8, 4, 2, 1}) {
        for (size_t i = 0; i < program_data_items.size();) {
            if (program_data_items[i].size != size || reserved_elsewhere(program_data_items[i])) {
                i++;
                continue;
            }
            emit_line2(program_data_items[i].label.c_str(), reserve_directive(size));
            program_data_items.erase(program_data_items.begin() + long(i));
        }
    }
    emit_line("zd_bssalign 8");
    for (const StaticDataItem& item : program_data_items) {
        if (reserved_elsewhere(item)) continue;
        emit_line3(item.label.c_str(), " rb ", std::to_string(item.size).c_str());
        if (item.size & 3) emit_line("zd_bssalign 8");
    }
}

void emit_module_variables()
{
    emit_line("zd_bssalign 8");
    for (int32_t size : {8, 4, 2, 1}) {
        for (const BssVariable& variable : program_global_variables) {
            if (variable.size != size) continue;
            emit_line2(variable.symbol.c_str(), reserve_directive(size));
            if (purifier_enabled) emit_line(" rd 1");
        }
    }
    emit_line("zd_bssalign 8");
    for (const BssVariable& variable : program_global_variables) {
        if (simple_size(variable.size)) continue;
        emit_line3(variable.symbol.c_str(), " rb ", std::to_string(variable.size).c_str());
        if (purifier_enabled) emit_line(" rd 1");
        if (variable.size & 3) emit_line("zd_bssalign 8");
    }
    emit_data_items();
}

void emit_global_inits()
{
    // The numeric items need no code: their value is in the data section.
    for (const StaticDataItem& item : program_data_items) {
        sync_output_buffer();
        switch (item.type) {
        case type_string:
        case type_fixed_string:
            if (item.initialised) emit_object_initial_value(item.type, static_cast<VariableRecord*>(item.object), item.value);
            break;
        case type_list:
        case type_array:
        case type_map: emit_object_creation(item.type, item.object); break;
        case type_structure_item: emit_object_creation(TYPE_STRUCTURE, item.object); break;
        default: break;
        }
    }
}

void emit_global_structure_inits()
{
    auto visit = [](HashTable* table) {
        if (!table) return;
        std::vector<VariableRecord*> variables;
        hash_reset_iterator(table);
        while (HashEntry* entry = hash_next(table)) variables.push_back(reinterpret_cast<VariableRecord*>(entry));
        hash_reset_iterator(table);
        for (VariableRecord* variable : variables) {
            // Threaded ones are set up by the thread callback, Static ones by
            // their item, locals by their procedure.
            if (variable->type != TYPE_STRUCTURE || is_local_variable(variable)) continue;
            if (variable->flags & (VAR_THREADED | VAR_STATIC | VAR_OWN_SYMBOL)) continue;
            sync_output_buffer();
            emit_object_creation(TYPE_STRUCTURE, variable);
        }
    };
    std::set<HashTable*> seen;
    if (variable_table) {
        seen.insert(variable_table);
        visit(variable_table);
    }
    if (!module_table) return;
    hash_reset_iterator(module_table);
    std::vector<HashTable*> tables;
    while (HashEntry* entry = hash_next(module_table)) tables.push_back(reinterpret_cast<ModuleRecord*>(entry)->variables);
    hash_reset_iterator(module_table);
    for (HashTable* table : tables)
        if (table && seen.insert(table).second) visit(table);
}
