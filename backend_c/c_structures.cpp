#include "backend_c/c_lists_maps.h"
#include "backend_c/c_structures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "backend_c/c_expressions.h"
#include "backend_c/c_fixups.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_program_blocks.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/hash_table.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

// Set-up emitters of other parts of the C back end, called when linked in.
void c_emit_new_list(ListRecord* list) __attribute__((weak));
void c_emit_array_alloc(ArrayRecord* array) __attribute__((weak));
const char* c_format_array_address(ArrayRecord* array) __attribute__((weak));
void c_emit_string_variable_init(VariableRecord* variable, int32_t literal_number) __attribute__((weak));
void c_emit_assign_fixed_string(VariableRecord* variable, int32_t length, int32_t literal_number) __attribute__((weak));
const char* c_float_literal(double value) __attribute__((weak));

namespace {

constexpr uint16_t visited = STRUCT_MARK_8;
constexpr uint16_t map_wanted = STRUCT_MARK_800;
constexpr uint16_t descriptor = STRUCT_NEEDS_INIT;
constexpr uint16_t dynamic_init = STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS;

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module;
}

template <typename Visit>
void for_each_structure(Visit visit)
{
    for (const CStructureTable& scope : c_structure_tables()) {
        std::vector<StructureRecord*> records;
        hash_reset_iterator(scope.table);
        while (HashEntry* entry = hash_next(scope.table)) records.push_back(reinterpret_cast<StructureRecord*>(entry));
        hash_reset_iterator(scope.table);
        for (StructureRecord* structure : records) visit(scope.module, structure);
    }
}

StructureRecord* find_in(HashTable* table, const char* name)
{
    if (!table || !name || !*name) return nullptr;
    return reinterpret_cast<StructureRecord*>(hash_find(table, name));
}

// The structure that a structure-typed field without a record (a pointer)
// names: in the type's module, else in the owner's module, the global table
// and the residents' index.
StructureRecord* named_field_structure(const FieldRecord* field, const ModuleRecord* scope)
{
    const char* name = field->type_name;
    if (!name || !*name) return nullptr;
    if (field->type_module_name) {
        ModuleRecord* module = find_module(field->type_module_name);
        if (StructureRecord* found = module ? find_in(module->structures, name) : nullptr) return found;
    }
    if (!is_main_module(scope)) {
        if (StructureRecord* found = find_in(scope->structures, name)) return found;
    }
    if (StructureRecord* found = find_in(structure_table, name)) return found;
    if (resident_structure_table) {
        struct IndexEntry {
            HashEntry entry;
            StructureRecord* structure;
        };
        auto* index = reinterpret_cast<IndexEntry*>(hash_find(resident_structure_table, name));
        if (index) return index->structure;
    }
    return nullptr;
}

bool container_of_pointers(const FieldRecord* field)
{
    if (!field->container) return (field->flags & (FIELD_POINTER | FIELD_INTERFACE)) != 0;
    if (field->type == TYPE_ARRAY) return (static_cast<ArrayRecord*>(field->container)->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) != 0;
    if (field->type == TYPE_LIST) return (static_cast<ListRecord*>(field->container)->flags & CONTAINER_POINTERS) != 0;
    if (field->type == TYPE_MAP) return (static_cast<MapRecord*>(field->container)->flags & CONTAINER_POINTERS) != 0;
    return false;
}

StructureRecord* container_element_structure(const FieldRecord* field)
{
    if (!field->container) return nullptr;
    if (field->type == TYPE_ARRAY) return static_cast<ArrayRecord*>(field->container)->element_structure;
    if (field->type == TYPE_LIST) return static_cast<ListRecord*>(field->container)->element_structure;
    if (field->type == TYPE_MAP) return static_cast<MapRecord*>(field->container)->element_structure;
    return nullptr;
}

int32_t container_element_type(const FieldRecord* field)
{
    if (field->type == TYPE_ARRAY) return static_cast<ArrayRecord*>(field->container)->element_type;
    if (field->type == TYPE_LIST) return static_cast<ListRecord*>(field->container)->element_type;
    return static_cast<MapRecord*>(field->container)->element_type;
}

bool is_container(const FieldRecord* field)
{
    return field->container && (field->type == TYPE_ARRAY || field->type == TYPE_LIST || field->type == TYPE_MAP);
}

// The structure a field reaches: its own, the element structure of a
// container, or the one a pointer field names.
StructureRecord* reached_structure(const FieldRecord* field, const StructureRecord* owner)
{
    if (is_container(field)) return container_element_structure(field);
    if (field->type != TYPE_STRUCTURE) return nullptr;
    if (field->structure) return field->structure;
    return named_field_structure(field, owner ? owner->module : nullptr);
}

void register_fixed_string_type(int32_t length)
{
    if (std::find(fixed_string_size_table.begin(), fixed_string_size_table.end(), length) == fixed_string_size_table.end())
        fixed_string_size_table.push_back(length);
}

// The member line of one field (empty when the field has none).
std::string member_line(const FieldRecord* field, const StructureRecord* owner)
{
    std::string member = c_field_member_name(field);
    bool pointer = (field->flags & FIELD_POINTER) != 0;
    if (field->static_count >= 0) {
        std::string type;
        if (field->flags & FIELD_INTERFACE) type = "struct " + c_pointed_structure_name(field, owner->module) + " **";
        else if (field->type == TYPE_STRUCTURE && !field->structure) type = "struct " + c_pointed_structure_name(field, owner->module) + " *";
        else if (field->type == TYPE_STRUCTURE && !pointer) type = c_structure_name(field->structure);
        else if (field->type == TYPE_STRUCTURE) type = "integer";
        else if (field->type == TYPE_FIXED_STRING) {
            register_fixed_string_type(field->element_size);
            type = "ft_" + std::to_string(field->element_size);
        } else if (pointer || (field->flags & FIELD_PROTOTYPE)) type = "integer";
        else type = c_type_name(field->type);
        return type + " " + member + "[" + std::to_string(field->static_count) + "];";
    }
    // A prototype-typed field holds an address the program computes with
    // like any integer; a call through it casts it to the prototype's type.
    if (field->flags & FIELD_PROTOTYPE) return "integer " + member + ";";
    switch (field->type) {
    case TYPE_STRUCTURE:
        if (field->flags & FIELD_INTERFACE) return "struct " + c_pointed_structure_name(field, owner->module) + " **" + member + ";";
        if (!field->structure) return "struct " + c_pointed_structure_name(field, owner->module) + " *" + member + ";";
        if (!field->structure->first_field) return "";
        return std::string(c_structure_name(field->structure)) + " " + member + ";";
    case TYPE_FIXED_STRING:
        register_fixed_string_type(field->element_size);
        return "ft_" + std::to_string(field->element_size) + " " + member + ";";
    case TYPE_LIST:
        return "zd_list " + member + ";";
    case TYPE_ARRAY: {
        int32_t dimensions = field->container ? static_cast<ArrayRecord*>(field->container)->dimension_count : 1;
        if (dimensions <= 1) return "zd_array " + member + ";";
        return "zd_array" + std::to_string(dimensions) + " " + member + ";";
    }
    case TYPE_MAP:
        return "zd_map " + member + ";";
    default:
        // A pointer takes 8 bytes whatever type the default type gave it.
        if (pointer) return "integer " + member + ";";
        return std::string(c_type_name(field->type)) + " " + member + ";";
    }
}

// The C layout of a structure. The dialect places every field at the offset
// the front end gave it, and C must agree, or the descriptor tables, SizeOf
// and OffsetOf would name other bytes than the C members. A packing pragma
// alone does not do it: "#pragma pack(n)" aligns a member to the smaller of
// its own alignment and n, while Align n puts every field on a multiple of
// n; a nested structure or a fixed string also aligns otherwise in C than in
// the dialect's natural layout. So the layout is planned: under the pragma
// the Align value asks for, a member that C would place too early gets
// filler bytes before it ("char zd_pad<k>[<bytes>];") and the end gets
// filler up to the structure's size; where C would place a member too late,
// the whole structure is packed to 1 and laid out by filler alone.
struct StructureLayout {
    int32_t pack = 0;                // 0: no pragma (natural alignment), else the pragma's value
    std::vector<int32_t> padding;    // filler bytes before each field (by index)
    int32_t tail = 0;                // filler bytes after the last member
    int32_t alignment = 1;           // the alignment C gives the typedef
};

int64_t round_up(int64_t value, int64_t to)
{
    return to > 1 ? (value + to - 1) / to * to : value;
}

StructureLayout plan_layout(const StructureRecord* structure);

bool writes_member(const FieldRecord* field)
{
    if (field->type != TYPE_STRUCTURE || field->static_count >= 0) return true;
    if (field->flags & (FIELD_PROTOTYPE | FIELD_INTERFACE)) return true;
    return !field->structure || field->structure->first_field;
}

// The natural C alignment of a field's member type.
int32_t member_alignment(const FieldRecord* field)
{
    if (field->flags & (FIELD_POINTER | FIELD_INTERFACE | FIELD_PROTOTYPE)) return 8;
    switch (field->type) {
    case TYPE_STRUCTURE: return field->structure ? plan_layout(field->structure).alignment : 8;
    case TYPE_FIXED_STRING:
    case TYPE_BYTE:
    case TYPE_ASCII: return 1;
    case TYPE_WORD:
    case TYPE_CHARACTER:
    case TYPE_UNICODE: return 2;
    case TYPE_LONG:
    case TYPE_FLOAT: return 4;
    default: return 8;
    }
}

int64_t member_size(const FieldRecord* field)
{
    return field->static_count >= 0 ? int64_t(field->element_size) * field->static_count : field->element_size;
}

// Lays the fields out as C does under `pack` and records the filler that
// brings each member to its offset; false when C would place a member or the
// end beyond the dialect's.
bool simulate_layout(const StructureRecord* structure, int32_t pack, StructureLayout& layout)
{
    std::vector<const FieldRecord*> fields;
    for (const FieldRecord* field = structure->first_field; field; field = field->next) fields.push_back(field);
    layout = StructureLayout{};
    layout.pack = pack;
    layout.padding.assign(fields.size(), 0);
    int64_t running = 0;
    int32_t largest = 1;
    for (size_t i = 0; i < fields.size();) {
        // A group is one member, or one union as the typedef writes it: the
        // union members and whatever follows them at the union's offset.
        size_t end = i + 1;
        bool in_union = (fields[i]->flags & FIELD_UNION_MEMBER) != 0;
        if (in_union)
            while (end < fields.size() && fields[end]->offset <= fields[i]->offset) end++;
        int64_t size = 0;
        int32_t alignment = 0;
        for (size_t k = i; k < end; k++) {
            if (!writes_member(fields[k])) continue;
            int32_t member = member_alignment(fields[k]);
            if (pack && member > pack) member = pack;
            alignment = std::max(alignment, member);
            size = std::max(size, member_size(fields[k]));
        }
        if (alignment) {
            if (in_union) size = round_up(size, alignment);
            int64_t target = fields[i]->offset;
            int64_t at = round_up(running, alignment);
            if (at > target) {
                if (pack != 1) return false;
            } else if (at < target) {
                if (round_up(target, alignment) != target) return false;
                layout.padding[i] = int32_t(target - running);
                at = target;
            }
            running = at + size;
            largest = std::max(largest, alignment);
        }
        i = end;
    }
    int64_t size = round_up(running, largest);
    if (structure->size > size) {
        layout.tail = int32_t(structure->size - running);
        size = round_up(structure->size, largest);
    }
    if (size != structure->size && pack != 1) return false;
    layout.alignment = largest;
    return true;
}

StructureLayout plan_layout(const StructureRecord* structure)
{
    int32_t align = structure->alignment;
    // No Align clause keeps the fields packed (alignment 0); -1 is the
    // natural alignment; the pragma takes only 1, 2, 4, 8 and 16.
    int32_t pack = align == -1 ? 0 : align <= 1 ? 1 : align;
    if (pack > 16 || (pack & (pack - 1))) pack = 1;
    StructureLayout layout;
    if (!structure->first_field) return layout;
    if (!simulate_layout(structure, pack, layout)) simulate_layout(structure, 1, layout);
    return layout;
}

void emit_filler(int32_t bytes, int32_t& count)
{
    if (bytes > 0) emit_format("char zd_pad%d[%d];", ++count, bytes);
}

// Descriptor marking: the structure and the dynamic structures its fields
// hold by value or as elements of containers of values.
void mark_descriptor_needed(StructureRecord* structure)
{
    if (!structure || (structure->flags & (visited | STRUCT_INTERFACE)) || !(structure->flags & STRUCT_DYNAMIC)) return;
    structure->flags |= visited | descriptor;
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (field->type == TYPE_STRUCTURE && field->structure && !(field->flags & FIELD_POINTER))
            mark_descriptor_needed(field->structure);
        else if (is_container(field) && !container_of_pointers(field))
            mark_descriptor_needed(container_element_structure(field));
    }
}

// Map marking: the mask map_wanted (with the debugger also STRUCT_USED) on
// the structure and the structures its fields reach.
void mark_for_map(StructureRecord* structure, uint16_t mask)
{
    if (!structure || (structure->flags & visited)) return;
    structure->flags |= visited | mask;
    if ((structure->flags & map_wanted) && (structure->flags & STRUCT_DYNAMIC) && !(structure->flags & STRUCT_INTERFACE))
        structure->flags |= descriptor;
    if (structure->flags & STRUCT_INTERFACE) return;
    for (FieldRecord* field = structure->first_field; field; field = field->next)
        mark_for_map(reached_structure(field, structure), mask);
}

std::string element_map(int32_t element_type, bool pointers, const StructureRecord* element)
{
    if (pointers) return "0";
    if (element_type == TYPE_STRING) return "ms_s";
    if (element && (element->flags & descriptor) && !(element->flags & STRUCT_INTERFACE))
        return std::string("m") + c_structure_name(element);
    return "0";
}

void emit_descriptor_lines(StructureRecord* structure)
{
    std::string head = std::string("static integer m") + c_structure_name(structure) + "[]={";
    emit_line(head.c_str());
    char line[256];
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (field->flags & FIELD_UNION_MEMBER) continue;
        bool pointer = (field->flags & FIELD_POINTER) != 0;
        line[0] = 0;
        if (field->type == TYPE_STRUCTURE && !pointer && field->structure && (field->structure->flags & STRUCT_DYNAMIC) &&
            !(field->structure->flags & STRUCT_INTERFACE)) {
            std::string name = c_structure_name(field->structure);
            if (field->static_count >= 0)
                std::snprintf(line, sizeof line, "-2,%d,%d,%d,m%s,", field->static_count, field->offset, field->element_size, name.c_str());
            else
                std::snprintf(line, sizeof line, "-3,%d,%d,m%s,", field->offset, field->element_size, name.c_str());
        } else if (field->type == TYPE_STRING && !pointer) {
            if (field->static_count >= 0)
                std::snprintf(line, sizeof line, "-2,%d,%d,%d,ms_s,", field->static_count, field->offset, field->element_size);
            else
                std::snprintf(line, sizeof line, "%d,", field->offset);
        } else if (field->type == TYPE_LIST && field->container) {
            auto* list = static_cast<ListRecord*>(field->container);
            std::string map = element_map(list->element_type, container_of_pointers(field), list->element_structure);
            std::snprintf(line, sizeof line, "-5,%d,%d,%s,%d,", field->offset, list->element_size, map.c_str(), list->element_type);
        } else if (field->type == TYPE_ARRAY && field->container) {
            auto* array = static_cast<ArrayRecord*>(field->container);
            std::string map = element_map(array->element_type, container_of_pointers(field), array->element_structure);
            if (array->dimension_count <= 1) {
                long long count = array->constant_sizes ? (long long)array->constant_sizes[0] : 0;
                std::snprintf(line, sizeof line, "-4,%d,%d,%lld,%d,%s,", field->offset, array->element_size, count,
                              array->element_type, map.c_str());
            } else {
                std::snprintf(line, sizeof line, "-7,%d,%d,%d,%d,%s,", field->offset, array->dimension_count,
                              array->element_size, array->element_type, map.c_str());
                emit_line(line);
                for (int32_t d = 0; d < array->dimension_count; d++) {
                    long long count = array->constant_sizes ? (long long)array->constant_sizes[d] : 0;
                    std::snprintf(line, sizeof line, "%lld,", count);
                    emit_line(line);
                }
                continue;
            }
        } else if (field->type == TYPE_MAP && field->container) {
            auto* map_record = static_cast<MapRecord*>(field->container);
            std::string map = element_map(map_record->element_type, container_of_pointers(field), map_record->element_structure);
            std::snprintf(line, sizeof line, "-6,%d,%d,%d,%s,%d,", field->offset, map_record->element_size,
                          map_record->element_type, map.c_str(), map_record->slot_count);
        }
        if (line[0]) emit_line(line);
    }
    emit_line("-1};");
}

// An 8-byte slot that receives the address of `symbol` at start-up (none
// when symbol is empty).
void map_pointer_slot(const std::string& symbol)
{
    if (!symbol.empty()) c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, ("&" + symbol).c_str());
    c_static_quad(0);
}

std::string map_symbol(const StructureRecord* structure)
{
    return structure ? "sm_" + std::to_string(structure->id) : std::string();
}

void emit_structure_map(StructureRecord* structure, ModuleRecord* module)
{
    std::string name = map_symbol(structure);
    static_block_name = pool_strdup(name.c_str());
    static_block_offset = 0;
    std::string head = "unsigned char " + name + "[]={";
    emit_line(head.c_str());
    c_static_string(structure_name(structure));
    if (is_main_module(module)) c_static_byte(0);
    else c_static_string(module_name(module));
    map_pointer_slot((structure->flags & descriptor) ? std::string("m") + c_structure_name(structure) : std::string());
    if (structure->flags & STRUCT_INTERFACE) {
        for (int32_t i = 0; i < structure->member_count; i++) {
            c_static_byte(133);
            c_static_long(uint32_t(8 * i));
            c_static_string(structure->methods && structure->methods[i].name ? structure->methods[i].name : "");
        }
    } else {
        for (FieldRecord* field = structure->first_field; field; field = field->next) {
            bool pointer = (field->flags & FIELD_POINTER) != 0;
            int32_t p = pointer ? 0x80 : 0;
            StructureRecord* concerned = reached_structure(field, structure);
            int32_t type = field->type;
            if (pointer && !is_container(field)) {
                concerned = named_field_structure(field, structure->module);
                if (!concerned) type = TYPE_INTEGER;
            }
            int32_t last_type;
            if (field->static_count >= 0) {
                last_type = type + p;
                c_static_byte(254);
                c_static_byte(uint8_t(last_type));
                c_static_long(uint32_t(field->offset));
                c_static_long(uint32_t(field->static_count));
                c_static_long(uint32_t(field->element_size));
            } else if (is_container(field)) {
                last_type = container_element_type(field) + (container_of_pointers(field) ? 0x80 : 0);
                c_static_byte(uint8_t(field->type));
                c_static_byte(uint8_t(last_type));
                if (field->type == TYPE_ARRAY) c_static_byte(uint8_t(static_cast<ArrayRecord*>(field->container)->dimension_count));
                c_static_long(uint32_t(field->offset));
            } else {
                last_type = type + p;
                c_static_byte(uint8_t(last_type));
                c_static_long(uint32_t(field->offset));
            }
            c_static_string(field->name);
            if ((last_type & 0x7F) == TYPE_STRUCTURE) map_pointer_slot(map_symbol(concerned));
            else if (last_type == TYPE_FIXED_STRING) c_static_long(uint32_t(field->element_size));
        }
    }
    emit_line("-1};");
}

std::string variable_lvalue(VariableRecord* variable)
{
    return c_format_variable_operand ? std::string(c_format_variable_operand(variable)) : std::string();
}

void emit_initial_value(InitItem* item)
{
    if (item->kind == TYPE_STRING) {
        if (c_emit_string_variable_init) c_emit_string_variable_init(static_cast<VariableRecord*>(item->object), int32_t(item->value));
        return;
    }
    if (item->kind == TYPE_FIXED_STRING) {
        auto* variable = static_cast<VariableRecord*>(item->object);
        if (c_emit_assign_fixed_string) c_emit_assign_fixed_string(variable, variable->size, int32_t(item->value));
        return;
    }
    std::string lvalue = variable_lvalue(static_cast<VariableRecord*>(item->object));
    if (lvalue.empty()) return;
    switch (item->kind) {
    case TYPE_BYTE: case TYPE_WORD: case TYPE_LONG: case TYPE_ASCII: case TYPE_CHARACTER: case TYPE_UNICODE:
    case TYPE_FLOAT: case TYPE_DOUBLE: case TYPE_QUAD: case TYPE_INTEGER: break;
    default: return;
    }
    std::string value = c_initial_value_text(item->kind, item->value);
    emit_line((lvalue + "=" + value + ";").c_str());
}

}  // namespace

std::string c_pointed_structure_name(const FieldRecord* field, const ModuleRecord* scope)
{
    if (StructureRecord* named = named_field_structure(field, scope)) return c_structure_name(named);
    return c_field_structure_name(field);
}

std::vector<CStructureTable> c_structure_tables()
{
    std::vector<CStructureTable> tables;
    auto add = [&tables](ModuleRecord* module, HashTable* table) {
        if (!table) return;
        for (const CStructureTable& scope : tables)
            if (scope.table == table) return;
        tables.push_back({module, table});
    };
    add(main_module, structure_table);
    if (module_table) {
        std::vector<ModuleRecord*> modules;
        hash_reset_iterator(module_table);
        while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
        hash_reset_iterator(module_table);
        for (ModuleRecord* module : modules) add(module, module->structures);
    }
    return tables;
}

void c_clear_structure_marks()
{
    for_each_structure([](ModuleRecord*, StructureRecord* structure) { structure->flags &= uint16_t(~visited); });
}

void c_mark_structure_used(StructureRecord* structure)
{
    if (!structure || (structure->flags & visited)) return;
    structure->flags |= visited | STRUCT_USED;
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        // The "ft_" typedefs are written before the structures: their sizes
        // are known from here.
        if (field->type == TYPE_FIXED_STRING) register_fixed_string_type(field->element_size);
        if (field->structure) {
            c_mark_structure_used(field->structure);
        } else if (field->type == TYPE_STRUCTURE) {
            StructureRecord* named = named_field_structure(field, structure->module);
            if (!named) continue;
            if (named->flags & STRUCT_INTERFACE) named->flags |= STRUCT_USED;
            else c_mark_structure_used(named);
        }
    }
}

void c_emit_structure_typedefs()
{
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        if (!(structure->flags & STRUCT_USED) || (structure->flags & STRUCT_INTERFACE)) return;
        std::string name = c_structure_name(structure);
        emit_line(("typedef struct " + name + " " + name + ";").c_str());
    });
}

void c_emit_structure_declaration(StructureRecord* structure)
{
    if (!structure || (structure->flags & visited)) return;
    structure->flags |= visited;
    for (FieldRecord* field = structure->first_field; field; field = field->next)
        if (field->structure) c_emit_structure_declaration(field->structure);
    std::string name = c_structure_name(structure);
    emit_line("");
    if (!structure->first_field) {
        emit_line("#pragma pack(1)");
        emit_line(("typedef struct " + name + " {} " + name + ";").c_str());
        emit_line("#pragma pack()");
        return;
    }
    StructureLayout layout = plan_layout(structure);
    if (layout.pack) emit_format("#pragma pack(%d)", layout.pack);
    emit_line(("typedef struct " + name + " {").c_str());
    bool union_open = false;
    int32_t union_offset = 0;
    int32_t fillers = 0;
    size_t index = 0;
    for (FieldRecord* field = structure->first_field; field; field = field->next, index++) {
        if (union_open && field->offset > union_offset) {
            emit_line("};");
            union_open = false;
        }
        emit_filler(layout.padding[index], fillers);
        if (!union_open && (field->flags & FIELD_UNION_MEMBER)) {
            emit_line("union {");
            union_open = true;
            union_offset = field->offset;
        }
        std::string line = member_line(field, structure);
        if (!line.empty()) emit_line(line.c_str());
    }
    if (union_open) emit_line("};");
    emit_filler(layout.tail, fillers);
    emit_line(("} " + name + ";").c_str());
    if (layout.pack) emit_line("#pragma pack()");
}

void c_emit_interface_declaration(StructureRecord* interface)
{
    if (!interface || (interface->flags & visited)) return;
    interface->flags |= visited;
    emit_line("");
    std::string name = c_structure_name(interface);
    if (interface->member_count <= 0 || !interface->methods) {
        // No method table: the name still types the pointers to its objects.
        emit_line(("typedef struct " + name + " " + name + ";").c_str());
        return;
    }
    emit_line(("typedef struct " + name + " {").c_str());
    for (int32_t i = 0; i < interface->member_count; i++) {
        const InterfaceMethod& method = interface->methods[i];
        std::string parameters = "integer";
        for (int32_t k = 0; k < method.parameter_count; k++) {
            const ParameterRecord& parameter = method.parameters[k];
            parameters += ",";
            int32_t dimensions = parameter.element_type ? parameter.element_type->dimension_count : 1;
            if (parameter.type == TYPE_LIST) parameters += "zd_list *";
            else if (parameter.type == TYPE_ARRAY) parameters += dimensions <= 1 ? std::string("zd_array *") : "zd_array" + std::to_string(dimensions) + " *";
            else if (parameter.type == TYPE_MAP) parameters += "zd_map *";
            else parameters += c_type_name(parameter.type);
        }
        if (method.flags & METHOD_RETURNS_STRING) parameters += ",int sbp";
        std::string line = std::string(c_method_return_type(&method)) + " (*" + c_interface_method_name(&method) + ")(" + parameters + ");";
        emit_line(line.c_str());
    }
    emit_line(("} " + name + ";").c_str());
    interface->flags &= uint16_t(~STRUCT_INTERFACE);
    std::string structure_form = c_structure_name(interface);
    interface->flags |= STRUCT_INTERFACE;
    emit_format("#define %s %s*", structure_form.c_str(), name.c_str());
}

void c_emit_structure_descriptors()
{
    emit_line("static integer ms_s[]={0,-1};");
    c_clear_structure_marks();
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        uint16_t flags = structure->flags;
        if (!(flags & descriptor) || (flags & (STRUCT_INTERFACE | visited)) || !(flags & STRUCT_DYNAMIC)) return;
        mark_descriptor_needed(structure);
    });
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        if (!(structure->flags & descriptor) || (structure->flags & STRUCT_INTERFACE)) return;
        emit_line((std::string("static integer m") + c_structure_name(structure) + "[];").c_str());
    });
    for_each_structure([](ModuleRecord*, StructureRecord* structure) {
        if (!(structure->flags & descriptor) || (structure->flags & STRUCT_INTERFACE)) return;
        emit_descriptor_lines(structure);
        sync_output_buffer();
    });
    c_clear_structure_marks();
}

void c_emit_structure_maps()
{
    emit_line("");
    uint16_t mask = debugger_enabled ? uint16_t(map_wanted | STRUCT_USED) : map_wanted;
    c_clear_structure_marks();
    for_each_structure([mask](ModuleRecord*, StructureRecord* structure) {
        if (structure->flags & mask) mark_for_map(structure, mask);
    });
    for_each_structure([mask](ModuleRecord* module, StructureRecord* structure) {
        if (!(structure->flags & mask)) return;
        emit_structure_map(structure, structure->module ? structure->module : module);
        sync_output_buffer();
        structure->flags &= uint16_t(~(mask | visited));
    });
    c_clear_structure_marks();
}

void c_emit_init_dynamic_structure(VariableRecord* variable)
{
    if (!variable || !variable->structure) return;
    std::string lvalue = variable_lvalue(variable);
    if (lvalue.empty()) return;
    std::string line = "SYS_InitDynamicStructure(&" + lvalue + ",m" + c_structure_name(variable->structure) + ");";
    emit_line(line.c_str());
    if (!no_output_depth) c_runtime_used[C_SYS_InitDynamicStructure] = 1;
}

const char* c_structure_map_name(StructureRecord* structure)
{
    static std::string name;
    if (!structure || !(structure->flags & descriptor) || (structure->flags & STRUCT_INTERFACE)) return "0";
    name = std::string("m") + c_structure_name(structure);
    return name.c_str();
}

void c_record_thread_object_literals()
{
    for (ListNode* node = init_item_list ? init_item_list->first : nullptr; node; node = node->next) {
        auto* item = reinterpret_cast<InitItem*>(node);
        if ((item->kind == TYPE_STRING || item->kind == TYPE_FIXED_STRING) && item->initialised)
            c_string_literal_name(int32_t(item->value));
    }
}

void c_emit_thread_object_init()
{
    emit_line("M_SYSFUNCTION(void) SYS_InitThreadObjectCallback(char *tls) {");
    for (ListNode* node = init_item_list ? init_item_list->first : nullptr; node; node = node->next) {
        auto* item = reinterpret_cast<InitItem*>(node);
        switch (item->kind) {
        case TYPE_STRUCTURE: {
            auto* variable = static_cast<VariableRecord*>(item->object);
            if (variable && !variable->pointer && variable->structure && (variable->structure->flags & dynamic_init))
                c_emit_init_dynamic_structure(variable);
            break;
        }
        case TYPE_LIST:
            if (c_emit_new_list) c_emit_new_list(static_cast<ListRecord*>(item->object));
            break;
        case TYPE_MAP:
            c_emit_new_map(static_cast<MapRecord*>(item->object), nullptr);
            break;
        case TYPE_ARRAY: {
            auto* array = static_cast<ArrayRecord*>(item->object);
            if (!array || !c_emit_array_alloc) break;
            if (array->dimension_count >= 2 && array->constant_sizes && c_format_array_address) {
                std::string address = c_format_array_address(array);
                for (int32_t d = 0; d < array->dimension_count; d++) {
                    std::string line = address + ((array->flags & ARRAY_PARAMETER) ? "->" : ".") + "b[" + std::to_string(d) +
                                       "]=" + std::to_string(array->constant_sizes[d]) + "; ";
                    emit_line(line.c_str());
                }
            }
            current_operand.kind = OPERAND_CONSTANT;
            c_emit_array_alloc(array);
            break;
        }
        default:
            break;
        }
        if (item->initialised) emit_initial_value(item);
        sync_output_buffer();
    }
    emit_line("}");
}
