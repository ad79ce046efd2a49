// Structure descriptor tables and structure maps.
#include "backend_x64/program_structures.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

namespace {

constexpr uint16_t STRUCT_VISITED = STRUCT_MARK_8;
constexpr uint16_t STRUCT_MAP_WANTED = STRUCT_MARK_800;
constexpr uint16_t STRUCT_DESCRIPTOR = STRUCT_NEEDS_INIT;  // 0x20: a descriptor table is written

struct StructureScope {
    ModuleRecord* module;
    HashTable* table;
};

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module || std::strcmp(module_name(module), ".Main") == 0;
}

// Every module's structure table once, the global one first.
std::vector<StructureScope> structure_scopes()
{
    std::vector<StructureScope> scopes;
    auto add = [&scopes](ModuleRecord* module, HashTable* table) {
        if (!table) return;
        for (const StructureScope& scope : scopes)
            if (scope.table == table) return;
        scopes.push_back({module, table});
    };
    add(main_module, structure_table);
    if (module_table) {
        hash_reset_iterator(module_table);
        while (HashEntry* entry = hash_next(module_table)) {
            auto* module = reinterpret_cast<ModuleRecord*>(entry);
            add(module, module->structures);
        }
        hash_reset_iterator(module_table);
    }
    return scopes;
}

// Runs `visit` on every structure of every module (the table's iterator is
// not touched by the marking, which never walks a table).
template <typename Visit>
void for_each_structure(Visit visit)
{
    for (const StructureScope& scope : structure_scopes()) {
        hash_reset_iterator(scope.table);
        while (HashEntry* entry = hash_next(scope.table)) visit(scope.module, reinterpret_cast<StructureRecord*>(entry));
        hash_reset_iterator(scope.table);
    }
}

StructureRecord* find_in_table(HashTable* table, const char* name)
{
    if (!table || !name || !*name) return nullptr;
    return reinterpret_cast<StructureRecord*>(hash_find(table, name));
}

// The structure a pointer field names by its type, when it exists.
StructureRecord* pointer_field_structure(const FieldRecord* field, const StructureRecord* owner)
{
    const char* name = field->type_name;
    if (!name || !*name) return nullptr;
    if (field->type_module_name && module_table) {
        ModuleRecord* module = find_module(field->type_module_name);
        return module ? find_in_table(module->structures, name) : nullptr;
    }
    if (owner->module && !is_main_module(owner->module)) {
        if (StructureRecord* found = find_in_table(owner->module->structures, name)) return found;
    }
    return find_in_table(structure_table, name);
}

// The structure a field holds: its own, a pointer field's by name, or the
// element structure of an array, list or map field.
StructureRecord* field_structure(const FieldRecord* field, const StructureRecord* owner)
{
    if (field->type == TYPE_ARRAY && field->container)
        return static_cast<ArrayRecord*>(field->container)->element_structure;
    if (field->type == TYPE_LIST && field->container)
        return static_cast<ListRecord*>(field->container)->element_structure;
    if (field->type == TYPE_MAP && field->container)
        return static_cast<MapRecord*>(field->container)->element_structure;
    if (field->type != TYPE_STRUCTURE) return nullptr;
    if (field->structure) return field->structure;
    if (field->flags & FIELD_POINTER) return pointer_field_structure(field, owner);
    return nullptr;
}

bool field_elements_are_pointers(const FieldRecord* field)
{
    if (field->type == TYPE_ARRAY && field->container)
        return (static_cast<ArrayRecord*>(field->container)->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) != 0;
    if (field->type == TYPE_LIST && field->container)
        return (static_cast<ListRecord*>(field->container)->flags & CONTAINER_POINTERS) != 0;
    if (field->type == TYPE_MAP && field->container)
        return (static_cast<MapRecord*>(field->container)->flags & CONTAINER_POINTERS) != 0;
    return (field->flags & (FIELD_POINTER | FIELD_INTERFACE)) != 0;
}

// The managed structures a descriptor reaches: nested structures (not
// pointers) and the element structures of containers whose elements are
// not pointers.
void mark_field_descriptors(StructureRecord* structure)
{
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (field->type == TYPE_STRUCTURE && field->structure && !(field->flags & FIELD_POINTER)) {
            mark_structure_descriptor_needed(field->structure);
        } else if ((field->type == TYPE_ARRAY || field->type == TYPE_LIST || field->type == TYPE_MAP) &&
                   !field_elements_are_pointers(field)) {
            if (StructureRecord* element = field_structure(field, structure)) mark_structure_descriptor_needed(element);
        }
    }
}

// The descriptor text of a container's elements.
std::string element_descriptor(int32_t element_type, bool pointers, const StructureRecord* element)
{
    if (pointers) return "0";
    if (element_type == TYPE_STRING) return "s_s";
    if (!element || !(element->flags & STRUCT_DESCRIPTOR) || (element->flags & STRUCT_INTERFACE)) return "0";
    return format_structure_symbol(element);
}

}  // namespace

void emit_element_descriptor(bool pointers, int32_t type, const StructureRecord* structure, int r)
{
    if (pointers) {
        emit_linef(" XOR %s,%s", register_name(8, r), register_name(8, r));
    } else if (type == TYPE_STRING) {
        emit_load_symbol_address("s_s", r);
    } else if (type == TYPE_STRUCTURE && structure && (structure->flags & STRUCT_NEEDS_INIT)) {
        auto* needed = const_cast<StructureRecord*>(structure);
        mark_structure_descriptor_needed(needed);
        emit_load_symbol_address(format_structure_symbol(needed), r);
    } else {
        emit_linef(" XOR %s,%s", register_name(8, r), register_name(8, r));
    }
}

namespace {

void emit_descriptor_lines(const StructureRecord* structure)
{
    emit_line2(format_structure_symbol(structure), ":");
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (field->flags & FIELD_UNION_MEMBER) continue;
        bool pointer = (field->flags & FIELD_POINTER) != 0;
        bool static_array = field->static_count >= 0;
        if (field->type == TYPE_STRING && !pointer) {
            if (static_array)
                emit_linef(" dq -2,%d,%d,%d,s_s", field->static_count, field->offset, field->element_size);
            else
                emit_linef(" dq %d", field->offset);
        } else if (field->type == TYPE_STRUCTURE && !pointer && field->structure &&
                   (field->structure->flags & STRUCT_DYNAMIC) && !(field->structure->flags & STRUCT_INTERFACE)) {
            std::string descriptor = format_structure_symbol(field->structure);
            if (static_array)
                emit_linef(" dq -2,%d,%d,%d,%s", field->static_count, field->offset, field->element_size,
                           descriptor.c_str());
            else
                emit_linef(" dq -3,%d,%d,%s", field->offset, field->element_size, descriptor.c_str());
        } else if (field->type == TYPE_ARRAY && field->container) {
            auto* array = static_cast<ArrayRecord*>(field->container);
            std::string element = element_descriptor(array->element_type, field_elements_are_pointers(field),
                                                     array->element_structure);
            if (array->dimension_count <= 1) {
                int64_t size = array->constant_sizes ? array->constant_sizes[0] : 0;
                emit_linef(" dq -4,%d,%d,%lld,%d,%s", array->offset, array->element_size, (long long)size,
                           array->element_type, element.c_str());
            } else {
                emit_linef(" dq -7,%d,%d,%d,%d,%s", array->offset, array->dimension_count, array->element_size,
                           array->element_type, element.c_str());
                for (int32_t k = 0; k < array->dimension_count; k++) {
                    int64_t size = array->constant_sizes ? array->constant_sizes[k] : 0;
                    emit_linef(" dq %lld", (long long)size);
                }
            }
        } else if (field->type == TYPE_LIST && field->container) {
            auto* list = static_cast<ListRecord*>(field->container);
            std::string element =
                element_descriptor(list->element_type, field_elements_are_pointers(field), list->element_structure);
            emit_linef(" dq -5,%d,%d,%s,%d", list->offset, list->element_size, element.c_str(), list->element_type);
        } else if (field->type == TYPE_MAP && field->container) {
            auto* map = static_cast<MapRecord*>(field->container);
            std::string element =
                element_descriptor(map->element_type, field_elements_are_pointers(field), map->element_structure);
            emit_linef(" dq -6,%d,%d,%d,%s,%d", map->offset, map->element_size, map->element_type, element.c_str(),
                       map->slot_count);
        }
    }
    emit_line(" dq -1");
}

// " db \"text\",0": the text's bytes as they stand.
void emit_name_line(const char* text)
{
    std::string line = std::string(" db \"") + text + "\",0";
    emit_line(line.c_str());
}

// The type reference after a map entry: the structure's map for a
// structure type, the length for a fixed string.
void emit_map_type_reference(int32_t type_byte, const StructureRecord* structure, int32_t length)
{
    if ((type_byte & 0x7F) == TYPE_STRUCTURE) {
        if (structure) emit_linef(" dq SM_%d", structure->id);
        else emit_line(" dq 0");
    } else if (type_byte == TYPE_FIXED_STRING) {
        emit_linef(" dd %d", length);
    }
}

void emit_map_head(const StructureRecord* structure, const ModuleRecord* module)
{
    emit_linef("SM_%d:", structure->id);
    emit_name_line(structure_name(structure));
    if (is_main_module(module)) emit_line(" db 0");
    else emit_name_line(module_name(module));
    if (structure->flags & STRUCT_DESCRIPTOR) emit_line2(" dq ", format_structure_symbol(structure));
    else emit_line(" dq 0");
}

void emit_structure_map(StructureRecord* structure, const ModuleRecord* module)
{
    emit_map_head(structure, module);
    if (structure->flags & STRUCT_INTERFACE) {
        for (int32_t i = 0; i < structure->member_count; i++) {
            emit_line(" db 133");
            emit_linef(" dd %d", i * 8);
            emit_name_line(structure->methods && structure->methods[i].name ? structure->methods[i].name : "");
        }
    } else {
        for (FieldRecord* field = structure->first_field; field; field = field->next) {
            bool pointer = (field->flags & FIELD_POINTER) != 0;
            int32_t type = field->type + (pointer ? 0x80 : 0);
            StructureRecord* target = field_structure(field, structure);
            if (pointer && field->type == TYPE_STRUCTURE && !target) type = TYPE_INTEGER;
            int32_t reference_type = type;
            if (field->static_count >= 0 && field->type != TYPE_ARRAY && field->type != TYPE_LIST &&
                field->type != TYPE_MAP) {
                emit_line(" db -2");
                emit_linef(" db %d", type);
                emit_linef(" dd %d", field->offset);
                emit_linef(" dd %d", field->static_count);
                emit_linef(" dd %d", field->element_size);
            } else if (field->type == TYPE_ARRAY && field->container) {
                auto* array = static_cast<ArrayRecord*>(field->container);
                reference_type = array->element_type + (field_elements_are_pointers(field) ? 0x80 : 0);
                emit_line(" db 15");
                emit_linef(" db %d", reference_type);
                emit_linef(" db %d", array->dimension_count);
                emit_linef(" dd %d", field->offset);
            } else if ((field->type == TYPE_LIST || field->type == TYPE_MAP) && field->container) {
                int32_t element_type = field->type == TYPE_LIST
                                           ? static_cast<ListRecord*>(field->container)->element_type
                                           : static_cast<MapRecord*>(field->container)->element_type;
                reference_type = element_type + (field_elements_are_pointers(field) ? 0x80 : 0);
                emit_linef(" db %d", int32_t(field->type));
                emit_linef(" db %d", reference_type);
                emit_linef(" dd %d", field->offset);
            } else {
                emit_linef(" db %d", type);
                emit_linef(" dd %d", field->offset);
            }
            emit_name_line(field->name ? field->name : "");
            emit_map_type_reference(reference_type, target, field->element_size);
        }
    }
    emit_line(" db -1");
}

}  // namespace

const char* format_structure_symbol(const StructureRecord* structure)
{
    static std::string text;
    text = "s_";
    if (structure->module && !is_main_module(structure->module)) {
        text += module_name(structure->module);
        text += ".";
    }
    text += structure_name(structure);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text.c_str();
}

void mark_structure_descriptor_needed(StructureRecord* structure)
{
    if (!structure || !(structure->flags & STRUCT_DYNAMIC) || (structure->flags & STRUCT_VISITED)) return;
    if (structure->flags & STRUCT_INTERFACE) return;
    structure->flags |= STRUCT_VISITED | STRUCT_DESCRIPTOR;
    mark_field_descriptors(structure);
}

void mark_structure_used(StructureRecord* structure, uint16_t mask)
{
    if (!structure || (structure->flags & STRUCT_VISITED)) return;
    structure->flags |= STRUCT_VISITED;
    if (debugger_enabled) structure->flags |= STRUCT_USED;
    if (mask & STRUCT_MAP_WANTED) structure->flags |= STRUCT_MAP_WANTED;
    if ((structure->flags & STRUCT_MAP_WANTED) && (structure->flags & STRUCT_DYNAMIC))
        structure->flags |= STRUCT_DESCRIPTOR;
    if (structure->flags & STRUCT_INTERFACE) return;
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (StructureRecord* target = field_structure(field, structure)) mark_structure_used(target, mask);
    }
}

void emit_structure_maps()
{
    uint16_t mask = debugger_enabled ? uint16_t(STRUCT_MAP_WANTED | STRUCT_USED) : STRUCT_MAP_WANTED;
    emit_line("zd_align 8");
    // A descriptor marked while the code was written carries a visit mark
    // that would stop the walk into its fields here.
    for_each_structure([](ModuleRecord*, StructureRecord* structure) { structure->flags &= uint16_t(~STRUCT_VISITED); });
    for_each_structure([mask](ModuleRecord*, StructureRecord* structure) {
        if (structure->flags & mask) mark_structure_used(structure, mask);
    });
    for_each_structure([mask](ModuleRecord* module, StructureRecord* structure) {
        if (!(structure->flags & mask)) return;
        emit_structure_map(structure, structure->module ? structure->module : module);
        uint16_t cleared = STRUCT_VISITED | STRUCT_MAP_WANTED | (debugger_enabled ? STRUCT_USED : 0);
        structure->flags &= uint16_t(~cleared);
    });
    // Structures reached only through fields keep no visit mark either.
    for_each_structure([](ModuleRecord*, StructureRecord* structure) { structure->flags &= uint16_t(~STRUCT_VISITED); });
}

void emit_structure_descriptors()
{
    emit_line("zd_align 8");
    emit_line("s_s:");
    emit_line(" dq 0");
    emit_line(" dq -1");
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        uint16_t flags = structure->flags;
        if (!(flags & STRUCT_DESCRIPTOR) || (flags & STRUCT_INTERFACE) || !(flags & STRUCT_DYNAMIC) ||
            (flags & STRUCT_VISITED))
            return;
        structure->flags |= STRUCT_VISITED | STRUCT_DESCRIPTOR;
        mark_field_descriptors(structure);
    });
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        if (!(structure->flags & STRUCT_DESCRIPTOR)) return;
        if (structure->flags & STRUCT_INTERFACE) return;
        emit_descriptor_lines(structure);
    });
    // The visit marks belong to this pass only.
    for_each_structure([](ModuleRecord*, StructureRecord* structure) { structure->flags &= uint16_t(~STRUCT_VISITED); });
}
