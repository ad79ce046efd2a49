// The debugger's symbol banks: packed byte streams in the data section that
// name the program's constants, variables, arrays, lists, maps, labels,
// procedures and modules; the head of each structure map and the type
// references into those maps.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_common.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

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

void emit_debugger_array_bank()
{
    // The entries need the arrays' address texts, which the array emitters
    // own; until they write their entries the bank stands empty.
    emit_debugger_array_bank_header(0);
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
    if (structure->flags & 0x20) {
        // The descriptor table: "s_" + lower-cased module name and "." + name.
        std::string symbol = "s_";
        if (!is_main_module(module)) symbol += std::string(module_name(module)) + ".";
        for (char& c : symbol) c = char((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
        emit_line3(" dq ", symbol.c_str(), structure->entry.key);
    } else {
        emit_line(" dq 0");
    }
}

void emit_debugger_banks()
{
    // Banks whose entries their owners write with the records they keep;
    // until then each one is an empty bank, which the debugger reads as such.
    emit_debugger_variable_bank_header(0);
    emit_debugger_procedure_bank_header(0, 0);
    emit_debugger_array_bank();
    emit_debugger_list_bank_header(0);
    emit_debugger_map_bank_header(0);
    emit_debugger_constant_bank();
    emit_debugger_label_bank_header(0);
    emit_debugger_module_bank();
}
