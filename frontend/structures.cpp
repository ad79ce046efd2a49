// Structures: the global structure table and the resident index, the lookup
// by scope, Structure/EndStructure and Interface/EndInterface blocks, field
// lines with their offsets, sizes and alignment, StructureUnion, Extends and
// Align, and the type suffix that names a structure or a prototype.
#include "frontend/structures.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/core_globals.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/interfaces.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"
#include "frontend/residents.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

HashTable* structure_table = nullptr;
HashTable* resident_structure_table = nullptr;
int32_t structure_id_counter = 0;
int32_t structure_id_base = 0;
InterfaceMethod* interface_methods = nullptr;
int32_t interface_method_room = 0;
int32_t interface_method_count = 0;

namespace {

// State of the block being declared.
StructureRecord* current_structure = nullptr;
FieldRecord* last_field = nullptr;
int32_t current_offset = 0;
int32_t member_count = 0;
// StructureUnion state.
int32_t union_open = 0;
FieldRecord* union_first = nullptr;
int32_t union_largest_size = 0;
int32_t union_first_type = -1;
// The module name written with "::" in the last type suffix ("" when none).
char type_module_written[STATEMENT_WORD_SIZE];

bool names_equal(const char* a, const char* b)
{
    return strcasecmp(a, b) == 0;
}

StructureRecord* find_in_table(HashTable* table, const char* name)
{
    if (!table) return nullptr;
    return reinterpret_cast<StructureRecord*>(hash_find(table, name));
}

// The table that a new structure goes into here: the current module's
// (created on first use) inside a module section, else the global one.
HashTable* declaration_table()
{
    if (current_module && module_section_state() != 0) {
        if (!current_module->structures) current_module->structures = create_hash_table(sizeof(StructureRecord), 0);
        return current_module->structures;
    }
    return structure_table;
}

// Offsets within a structure are 32-bit: a layout that passes the largest
// one is error 59.
int32_t checked_offset(int64_t offset)
{
    if (offset <= INT32_MAX) return static_cast<int32_t>(offset);
    set_error(ERROR_NUMBER_TOO_BIG);
    return 0;
}

int32_t round_up(int32_t value, int32_t multiple)
{
    if (multiple <= 1) return value;
    int32_t rest = value % multiple;
    return rest ? checked_offset(int64_t(value) + (multiple - rest)) : value;
}

// Reads an integer constant expression; false with the error state set
// (error n when the expression is no integer constant).
bool read_integer_constant(int n, int64_t* value)
{
    no_output_depth++;
    compile_expression(0, 0);
    no_output_depth--;
    if (error_number) return false;
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & (OP_FLOAT | OP_STRING))) {
        set_error(n);
        return false;
    }
    *value = current_operand.constant;
    return true;
}

FieldRecord* copy_field(const FieldRecord* field)
{
    FieldRecord* copy = static_cast<FieldRecord*>(pool_alloc(sizeof(FieldRecord)));
    *copy = *field;
    copy->next = nullptr;
    return copy;
}

void append_field(FieldRecord* field)
{
    if (last_field) last_field->next = field;
    else current_structure->first_field = field;
    last_field = field;
}

// Extends: the base's fields (or methods) become the first members.
void extend_structure(bool is_interface)
{
    read_token();
    if (error_number) return;
    // "Module::Base": the lookup is made in that module only.
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return;
    StructureRecord* base = statement_word[0] ? find_structure(statement_word) : nullptr;
    explicit_module = nullptr;
    if (error_number) return;
    if (base == current_structure) {
        set_error(is_interface ? ERROR_INTERFACE_EXTENDS_ITSELF : ERROR_STRUCTURE_EXTENDS_ITSELF);
        return;
    }
    bool base_is_interface = base && (base->flags & STRUCT_INTERFACE);
    if (!base || base_is_interface != is_interface) {
        set_error(ERROR_EXTENDS_NEEDS_STRUCTURE_OR_INTERFACE);
        return;
    }
    member_count = base->member_count;
    current_structure->flags |= base->flags & STRUCT_DYNAMIC;
    if (is_interface) {
        reserve_interface_methods(base->member_count);
        for (int i = 0; i < base->member_count; i++) {
            interface_methods[i] = base->methods[i];
        }
        interface_method_count = base->member_count;
        return;
    }
    for (const FieldRecord* field = base->first_field; field; field = field->next) {
        append_field(copy_field(field));
    }
    current_offset = base->size;
    if (base->largest_alignment > current_structure->largest_alignment) {
        current_structure->largest_alignment = base->largest_alignment;
    }
}

void read_alignment()
{
    int64_t value = 0;
    if (token_code == TOKEN_END) {
        set_error(ERROR_ALIGN_INTEGER_CONSTANT_EXPECTED);
        return;
    }
    if (!read_integer_constant(ERROR_ALIGN_INTEGER_CONSTANT_EXPECTED, &value)) return;
    current_structure->alignment = (int32_t)value;
}

void skip_blank_bytes()
{
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

// Array field: "(" the literal element counts ")"; each count is the upper
// bound + 1.
ArrayRecord* parse_array_field(const char* field_name)
{
    if (token_code != '(') {
        set_error(ERROR_SYNTAX);
        return nullptr;
    }
    int64_t sizes[255];
    int32_t count = 0;
    for (;;) {
        no_output_depth++;
        compile_expression(0, 0);
        no_output_depth--;
        if (error_number) return nullptr;
        if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & (OP_FLOAT | OP_STRING))) {
            set_error(ERROR_ARRAY_SIZE_NOT_LITERAL);
            return nullptr;
        }
        if (current_operand.constant < 0) {
            set_error(ERROR_NEGATIVE_VALUE);
            return nullptr;
        }
        if (count >= 255) {
            set_error_format(ERROR_ARRAY_DIMENSION_COUNT, field_name);
            return nullptr;
        }
        sizes[count++] = current_operand.constant + 1;
        if (token_code == ',') continue;
        if (token_code == ')') break;
        set_error(ERROR_SYNTAX);
        return nullptr;
    }
    read_operator();
    refuse_word_operator();
    auto* array = static_cast<ArrayRecord*>(pool_alloc(sizeof(ArrayRecord)));
    std::memset(array, 0, sizeof *array);
    array->dimension_count = count;
    array->constant_sizes = static_cast<int64_t*>(pool_alloc(sizeof(int64_t) * count));
    std::memcpy(array->constant_sizes, sizes, sizeof(int64_t) * count);
    return array;
}

// List field: "()".
ListRecord* parse_list_field()
{
    if (token_code != '(') {
        set_error(ERROR_NEWLIST_SYNTAX);
        return nullptr;
    }
    read_token();
    refuse_word_operator();
    if (statement_word[0] || token_code != ')') {
        set_error(ERROR_NEWLIST_SYNTAX);
        return nullptr;
    }
    read_operator();
    refuse_word_operator();
    auto* list = static_cast<ListRecord*>(pool_alloc(sizeof(ListRecord)));
    std::memset(list, 0, sizeof *list);
    return list;
}

// Map field: "(" an optional literal slot count ")".
MapRecord* parse_map_field()
{
    if (token_code != '(') {
        set_error(ERROR_NEWMAP_SYNTAX);
        return nullptr;
    }
    int32_t slots = 512;
    skip_blank_bytes();
    if (*parse_pointer == ')') {
        parse_pointer++;
    } else {
        no_output_depth++;
        compile_expression(0, 0);
        no_output_depth--;
        if (error_number) return nullptr;
        if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & (OP_FLOAT | OP_STRING))) {
            set_error(ERROR_STATIC_NEEDS_LITERAL);
            return nullptr;
        }
        if (token_code != ')') {
            set_error(ERROR_NEWMAP_SYNTAX);
            return nullptr;
        }
        slots = (int32_t)current_operand.constant;
    }
    read_operator();
    refuse_word_operator();
    auto* map = static_cast<MapRecord*>(pool_alloc(sizeof(MapRecord)));
    std::memset(map, 0, sizeof *map);
    map->slot_count = slots;
    return map;
}

// Rounds the current offset up as the structure's alignment asks for a
// field of the given kind and sizes.
void align_field_offset(int container_kind, bool pointer, int32_t code, int32_t value_size,
                        const StructureRecord* nested)
{
    int32_t alignment = current_structure->alignment;
    if (alignment > 1) {
        current_offset = round_up(current_offset, alignment);
        return;
    }
    if (alignment != -1) return;
    int32_t to = 1;
    if (container_kind) {
        to = 8;
    } else if (pointer) {
        to = 8;
    } else if (code == TYPE_STRUCTURE) {
        to = nested && nested->largest_alignment >= 2 ? nested->largest_alignment : 1;
    } else if (code == TYPE_FIXED_STRING) {
        to = 2;
    } else if (value_size == 2 || value_size == 4) {
        to = value_size;
    } else if (value_size >= 8) {
        to = 8;
    }
    current_offset = round_up(current_offset, to);
}

}  // namespace

// ---------------------------------------------------------------------------
// Type suffix

int parse_type_suffix(int mode)
{
    type_module_written[0] = 0;
    if (token_code != '.') return parse_field_type(mode);
    LexerMark mark = mark_lexer();   // at the '.'
    read_token();
    if (error_number) return 0;
    char name[TYPE_NAME_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (!name[0]) {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    ModuleRecord* module = nullptr;
    bool module_named = false;
    if (token_code == TOKEN_MODULE_SEPARATOR) {
        module_named = true;
        module = find_module(name);
        std::snprintf(type_module_written, sizeof type_module_written, "%s", name);
        read_token();
        if (error_number) return 0;
        std::snprintf(name, sizeof name, "%s", statement_word);
        if (!name[0]) {
            set_error(ERROR_SYNTAX);
            return 0;
        }
    } else if (is_native_type_letter(name)) {
        // One-letter types, fixed strings included, are read by the plain parser.
        rewind_lexer(mark);
        return parse_field_type(mode);
    }

    current_type.prototype = nullptr;
    current_type.structure = nullptr;
    current_type.module = nullptr;
    current_type.given = 1;
    current_type.code = 0;
    current_type.size = 0;
    std::snprintf(current_type.name, sizeof current_type.name, "%s", name);

    if (mode == TYPE_SUFFIX_PARAMETER && !module_named) {
        int code = parse_pseudo_type();
        if (error_number) return 0;
        if (code) return 1;
    }

    ProcedureRecord* prototype = nullptr;
    if (module_named) {
        prototype = module ? reinterpret_cast<ProcedureRecord*>(
                                 module->prototypes ? hash_find(module->prototypes, name) : nullptr)
                           : nullptr;
        if (prototype && !(prototype->second_flags & PROC_SECOND_PUBLIC) && module != current_module) {
            set_error_format(ERROR_MODULE_PROTOTYPE_NOT_PUBLIC, name);
            return 0;
        }
    } else {
        prototype = find_prototype(name);
        if (error_number) return 0;
    }
    if (prototype) {
        current_type.code = TYPE_INTEGER;
        current_type.size = 8;
        current_type.prototype = prototype;
        current_type.module = prototype->module;
        return 1;
    }

    StructureRecord* structure = nullptr;
    if (module_named) {
        structure = module ? find_in_table(module->structures, name) : nullptr;
        if (structure && !(structure->flags & STRUCT_PUBLIC) && module != current_module) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
            return 0;
        }
    } else {
        structure = find_structure(name);
        if (error_number) return 0;
    }
    if (structure) {
        current_type.code = TYPE_STRUCTURE;
        current_type.size = structure->size;
        current_type.structure = structure;
        current_type.module = structure->module;
        structure->flags |= STRUCT_USED;
        return 1;
    }
    set_error_format(module_named ? ERROR_MODULE_STRUCTURE_NOT_FOUND : ERROR_STRUCTURE_NOT_FOUND, name);
    return 0;
}

// ---------------------------------------------------------------------------
// Blocks

void begin_structure(int is_interface)
{
    if (is_interface) in_interface = 1;
    else in_structure = 1;
    union_open = 0;
    union_first = nullptr;
    union_largest_size = 0;
    union_first_type = -1;
    interface_method_count = 0;
    current_structure = nullptr;
    last_field = nullptr;

    // The lexer stopped in front of the name (no operator after the keyword);
    // anything else where the name belongs is a bad name.
    const int bad_name = is_interface ? ERROR_INTERFACE_NAME_START : ERROR_STRUCTURE_NAME_START;
    if (token_code != TOKEN_NO_OPERATOR) {
        set_error(bad_name);
        return;
    }
    read_token();
    if (error_number) return;
    char name[STATEMENT_WORD_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])] || word_has_dollar) {
        set_error(bad_name);
        return;
    }
    if (is_native_type_letter(name)) {
        set_error_format(ERROR_NATIVE_TYPE_NAME, name);
        return;
    }
    // Only the scope the new record goes into decides a conflict.
    HashTable* table = declaration_table();
    StructureRecord* existing = find_in_table(table, name);
    if (!existing && table != structure_table && resident_structure_table) {
        auto* index = reinterpret_cast<StructureIndexEntry*>(hash_find(resident_structure_table, name));
        if (index) existing = index->structure;
    }
    if (existing) {
        const char* where = error_location_text(name, existing->line, existing->file,
                                                (existing->flags & STRUCT_RESIDENT) != 0);
        set_error_format((existing->flags & STRUCT_INTERFACE) ? ERROR_INTERFACE_ALREADY_DECLARED : ERROR_STRUCTURE_ALREADY_DECLARED, where);
        return;
    }
    ProcedureRecord* prototype = find_prototype(name);
    if (error_number) return;
    if (prototype) {
        set_error_format(ERROR_PROTOTYPE_ALREADY_DECLARED, error_location_text(name, prototype->line, prototype->file,
                                                  prototype->second_flags == PROC_SECOND_RESIDENT));
        return;
    }

    StructureRecord* structure = new_structure(pool_strdup(name), table);
    structure->size = 0;
    structure->module = module_section_state() != 0 ? current_module : nullptr;
    structure->file = pool_strdup(current_source_file ? current_source_file : "");
    structure->line = current_line;
    if (module_section_state() == 1) structure->flags |= STRUCT_PUBLIC;
    if (is_interface) structure->flags |= STRUCT_INTERFACE;
    current_structure = structure;

    if (token_code == TOKEN_EXTENDS) {
        extend_structure(is_interface != 0);
        if (error_number) return;
    }
    if (token_code == TOKEN_ALIGN) {
        if (is_interface) {
            set_error(ERROR_SYNTAX);
            return;
        }
        read_alignment();
    }
}

void begin_structure_union()
{
    union_open = 1;
    union_first = nullptr;
    union_largest_size = 0;
    union_first_type = -1;
}

int structure_union_open()
{
    return union_open;
}

void end_structure_union()
{
    int32_t largest_offset = current_offset;
    for (FieldRecord* field = union_first; field && (field->flags & FIELD_UNION_MEMBER); field = field->next) {
        if (field->offset > largest_offset) largest_offset = field->offset;
    }
    for (FieldRecord* field = union_first; field && (field->flags & FIELD_UNION_MEMBER); field = field->next) {
        field->offset = largest_offset;
    }
    current_offset = checked_offset(int64_t(largest_offset) + union_largest_size);
    union_open = 0;
    union_first = nullptr;
    union_largest_size = 0;
    union_first_type = -1;
}

void end_structure()
{
    in_structure = 0;
    in_interface = 0;
    StructureRecord* structure = current_structure;
    current_structure = nullptr;
    last_field = nullptr;
    union_open = 0;
    if (!structure) return;
    if (structure->flags & STRUCT_INTERFACE) {
        structure->member_count = (int16_t)interface_method_count;
        structure->size = 8;
        if (interface_method_count) {
            size_t bytes = sizeof(InterfaceMethod) * interface_method_count;
            structure->methods = static_cast<InterfaceMethod*>(pool_alloc(bytes));
            std::memcpy(structure->methods, interface_methods, bytes);
        }
        interface_method_count = 0;
        return;
    }
    structure->member_count = (int16_t)member_count;
    int32_t size = current_offset;
    if (structure->alignment == -1) size = round_up(size, structure->largest_alignment);
    else if (structure->alignment >= 2) size = round_up(size, structure->alignment);
    structure->size = size;
    // Containers of the structure's own type learn its size now.
    for (FieldRecord* field = structure->first_field; field; field = field->next) {
        if (!field->container) continue;
        if (field->type == TYPE_LIST) {
            auto* list = static_cast<ListRecord*>(field->container);
            if (list->element_structure == structure && !(list->flags & CONTAINER_POINTERS)) list->element_size = size;
        } else if (field->type == TYPE_MAP) {
            auto* map = static_cast<MapRecord*>(field->container);
            if (map->element_structure == structure && !(map->flags & CONTAINER_POINTERS)) map->element_size = size;
        } else if (field->type == TYPE_ARRAY) {
            auto* array = static_cast<ArrayRecord*>(field->container);
            if (array->element_structure == structure && !(array->flags & ARRAY_POINTERS)) array->element_size = size;
        }
    }
}

// ---------------------------------------------------------------------------
// Fields

void parse_structure_field(int container_kind)
{
    if (!current_structure) {
        set_error(ERROR_SYNTAX);
        return;
    }
    skip_blank_bytes();
    bool pointer = false;
    if (*parse_pointer == '*') {
        pointer = true;
        parse_pointer++;
    }
    read_token();
    if (error_number) return;
    char name[STATEMENT_WORD_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error_format(ERROR_INVALID_NAME, name);
        return;
    }
    for (const FieldRecord* field = current_structure->first_field; field; field = field->next) {
        if (names_equal(field->name, name)) {
            set_error(ERROR_STRUCTURE_FIELD_DECLARED_TWICE);
            return;
        }
    }

    // Type.
    bool unknown_pointer_structure = false;
    parse_type_suffix(TYPE_SUFFIX_FIELD);
    if (error_number == ERROR_STRUCTURE_NOT_FOUND && pointer && token_code != TOKEN_MODULE_SEPARATOR) {
        clear_error_state();
        unknown_pointer_structure = true;
        current_type.code = 0;
        current_type.structure = nullptr;
        current_type.prototype = nullptr;
        current_type.size = 0;
    }
    if (error_number) return;
    bool typed = current_type.given != 0;
    if (!typed && !pointer) {
        set_error(ERROR_FIELD_TYPE_EXPECTED);
        return;
    }
    if (pointer && typed && !unknown_pointer_structure && current_type.name[0] && !current_type.name[1] &&
        is_native_type_letter(current_type.name)) {
        set_error(ERROR_NATIVE_TYPE_POINTER);
        return;
    }
    int32_t code = typed ? current_type.code : 0;
    StructureRecord* type_structure = current_type.structure;
    ProcedureRecord* prototype = current_type.prototype;
    int32_t value_size = typed ? current_type.size : 0;

    FieldRecord field{};
    field.name = pool_strdup(name);
    field.type_name = pool_strdup(typed ? current_type.name : "");
    // The module the type is read in: written with "::", or the one the
    // structure or prototype was found in, or (a pointer to a structure
    // declared later in a module) the open module; so the type is found
    // again wherever the structure is used.
    if (type_module_written[0]) {
        field.type_module_name = pool_strdup(type_module_written);
    } else if ((type_structure || prototype) && current_type.module && current_type.module != main_module) {
        field.type_module_name = pool_strdup(module_name(current_type.module));
    } else if (unknown_pointer_structure && current_module && module_section_state() != 0) {
        field.type_module_name = pool_strdup(module_name(current_module));
    }
    field.static_count = -1;
    if (prototype) field.flags |= FIELD_PROTOTYPE;

    // Element size.
    bool interface_field = false;
    int32_t element_size;
    if (container_kind == 2) element_size = 16;
    else if (container_kind == 1 || container_kind == 3 || pointer) element_size = 8;
    else element_size = value_size;

    int32_t field_alignment = 1;
    StructureRecord* nested = nullptr;
    if (code == TYPE_STRUCTURE && type_structure) {
        if (type_structure->flags & STRUCT_INTERFACE) {
            interface_field = true;
            field.flags |= FIELD_INTERFACE;
            if (!container_kind) element_size = 8;
            field_alignment = 8;
        } else if (!pointer) {
            // An Array of its own structure would set up arrays without end;
            // only a list or a map starts empty.
            if (type_structure == current_structure && container_kind != 2 && container_kind != 3) {
                set_error(ERROR_ENDLESS_RECURSION);
                return;
            }
            if (type_structure != current_structure) {
                nested = type_structure;
                current_structure->flags |= type_structure->flags & STRUCT_DYNAMIC;
                field_alignment = type_structure->largest_alignment;
            }
        }
    } else if (!pointer) {
        field_alignment = code == TYPE_FIXED_STRING ? 2 : value_size;
        if (code == TYPE_STRING && !container_kind) current_structure->flags |= STRUCT_HAS_STRINGS;
    }
    if (pointer) {
        field.flags |= FIELD_POINTER;
        field_alignment = 8;
        if (!typed) code = default_type.code;
        else if (unknown_pointer_structure) code = TYPE_STRUCTURE;
    }
    if (container_kind) field_alignment = 8;
    if (field_alignment > current_structure->largest_alignment) {
        current_structure->largest_alignment = (uint8_t)(field_alignment > 255 ? 255 : field_alignment);
    }
    if (!container_kind && !interface_field) field.structure = nested;

    align_field_offset(container_kind, pointer || interface_field, code, value_size, nested);
    field.offset = current_offset;
    field.type = (uint8_t)code;

    // Containers and static arrays.
    char container_name[2 * STATEMENT_WORD_SIZE + 4];
    std::snprintf(container_name, sizeof container_name, "[%s]%s", structure_name(current_structure), name);
    int32_t container_element_size = pointer || interface_field ? 8 : value_size;
    uint32_t element_flags = 0;
    if (pointer) element_flags |= CONTAINER_POINTERS;
    if (container_kind == 1) {
        ArrayRecord* array = parse_array_field(name);
        if (!array) return;
        array->name = pool_strdup(container_name);
        array->offset = field.offset;
        array->element_size = container_element_size;
        array->element_type = code;
        array->element_structure = type_structure;
        array->flags = ARRAY_FIELD;
        if (pointer) array->flags |= ARRAY_POINTERS;
        if (interface_field) array->flags |= ARRAY_INTERFACES;
        array->module = current_structure->module;
        // A multi-dimension array keeps its dimension sizes behind its pointer.
        if (array->dimension_count > 1) element_size += 8 * array->dimension_count;
        field.container = array;
        field.type = TYPE_ARRAY;
        current_structure->flags |= STRUCT_HAS_ARRAYS;
    } else if (container_kind == 2) {
        ListRecord* list = parse_list_field();
        if (!list) return;
        list->name = pool_strdup(container_name);
        list->offset = field.offset;
        list->element_size = container_element_size;
        list->element_type = code;
        list->element_structure = type_structure;
        list->flags = CONTAINER_FIELD | element_flags;
        list->module = current_structure->module;
        field.container = list;
        field.type = TYPE_LIST;
        current_structure->flags |= STRUCT_HAS_LISTS;
    } else if (container_kind == 3) {
        MapRecord* map = parse_map_field();
        if (!map) return;
        map->name = pool_strdup(container_name);
        map->offset = field.offset;
        map->element_size = container_element_size;
        map->element_type = code;
        map->element_structure = type_structure;
        map->flags = CONTAINER_FIELD | element_flags;
        map->module = current_structure->module;
        field.container = map;
        field.type = TYPE_MAP;
        current_structure->flags |= STRUCT_HAS_MAPS;
    } else if (token_code == '[') {
        int64_t count = 0;
        no_output_depth++;
        compile_expression(0, 0);
        no_output_depth--;
        if (error_number) return;
        if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & (OP_FLOAT | OP_STRING))) {
            set_error(ERROR_SYNTAX);
            return;
        }
        count = current_operand.constant;
        if (count < 0) {
            set_error(ERROR_NEGATIVE_VALUE);
            return;
        }
        if (token_code != ']') {
            set_error(ERROR_SYNTAX);
            return;
        }
        if (count > 0x7FFFFFFF / (element_size > 0 ? element_size : 1)) {
            set_error(ERROR_SYNTAX);
            return;
        }
        read_operator();
        refuse_word_operator();
        field.static_count = (int32_t)count;
    }
    field.element_size = element_size;
    int32_t total_size = field.static_count >= 0 ? element_size * field.static_count : element_size;

    if (union_open) {
        if (!pointer && !interface_field && nested && (nested->flags & STRUCT_DYNAMIC)) {
            set_error(ERROR_STRUCTUREUNION_DYNAMIC_STRUCTURE);
            return;
        }
        if (container_kind) {
            set_error(ERROR_STRUCTUREUNION_CONTAINER);
            return;
        }
        if (union_first_type == -1) {
            union_first_type = code;
        } else if (!pointer && ((code == TYPE_STRING) != (union_first_type == TYPE_STRING))) {
            set_error(ERROR_STRUCTUREUNION_MIXES_STRING_AND_NUMBER);
            return;
        }
        field.flags |= FIELD_UNION_MEMBER;
        if (total_size > union_largest_size) union_largest_size = total_size;
    } else {
        current_offset = checked_offset(int64_t(current_offset) + total_size);
    }

    FieldRecord* record = copy_field(&field);
    if (union_open && !union_first) union_first = record;
    append_field(record);
    member_count++;
}

// ---------------------------------------------------------------------------
// Tables

void init_structures()
{
    if (!structure_table) structure_table = create_hash_table(sizeof(StructureRecord), hash_flag_permanent);
    if (!resident_structure_table) {
        resident_structure_table = create_hash_table(sizeof(StructureIndexEntry), hash_flag_permanent);
    }
    reserve_interface_methods(interface_method_capacity);
    interface_method_count = 0;
}

void reserve_interface_methods(int32_t count)
{
    if (interface_methods && count <= interface_method_room) return;
    int32_t room = interface_method_room ? interface_method_room : interface_method_capacity;
    while (room < count) room *= 2;
    auto* methods = static_cast<InterfaceMethod*>(permanent_pool_alloc(sizeof(InterfaceMethod) * room));
    if (interface_methods && interface_method_count > 0)
        std::memcpy(methods, interface_methods, sizeof(InterfaceMethod) * interface_method_count);
    interface_methods = methods;
    interface_method_room = room;
}

void free_user_structures()
{
    if (!structure_table) return;
    hash_reset_iterator(structure_table);
    while (HashEntry* entry = hash_next(structure_table)) {
        auto* structure = reinterpret_cast<StructureRecord*>(entry);
        if (structure->flags & STRUCT_RESIDENT) continue;
        hash_unlink_current(structure_table);
        hash_free_entry(structure_table, entry);
    }
}

void reset_structures()
{
    current_structure = nullptr;
    last_field = nullptr;
    current_offset = 0;
    member_count = 0;
    union_open = 0;
    union_first = nullptr;
    union_largest_size = 0;
    union_first_type = -1;
    interface_method_count = 0;
    structure_id_counter = structure_id_base;
    if (!structure_table) return;
    hash_reset_iterator(structure_table);
    while (HashEntry* entry = hash_next(structure_table)) {
        auto* structure = reinterpret_cast<StructureRecord*>(entry);
        if (structure->flags & STRUCT_RESIDENT) structure->flags &= STRUCT_KEPT_FLAGS;
    }
}

StructureRecord* structure_being_declared()
{
    return current_structure;
}

StructureRecord* find_structure(const char* name)
{
    if (explicit_module) {
        StructureRecord* found = find_in_table(explicit_module->structures, name);
        if (found && !(found->flags & STRUCT_PUBLIC) && explicit_module != current_module) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
            return nullptr;
        }
        if (found) explicit_module = nullptr;
        return found;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            StructureRecord* found = find_in_table(module->structures, name);
            if (found && ((found->flags & STRUCT_PUBLIC) || module == current_module)) return found;
        }
    }
    if (current_module && module_section_state() != 0) {
        auto* index = reinterpret_cast<StructureIndexEntry*>(
            resident_structure_table ? hash_find(resident_structure_table, name) : nullptr);
        if (index) return index->structure;
        return find_in_table(current_module->structures, name);
    }
    return find_in_table(structure_table, name);
}

StructureRecord* new_structure(const char* name, HashTable* table)
{
    if (!table) table = structure_table;
    auto* structure = static_cast<StructureRecord*>(hash_add(table, name));
    HashEntry entry = structure->entry;
    std::memset(structure, 0, sizeof *structure);
    structure->entry = entry;
    structure->id = structure_id_counter++;
    structure->largest_alignment = 1;
    current_offset = 0;
    member_count = 0;
    return structure;
}

int32_t type_value_size(int32_t code, const StructureRecord* structure)
{
    if (code == TYPE_STRUCTURE) return structure ? structure->size : 0;
    if (code == TYPE_P_VARIANT) return 16;
    if (code >= TYPE_P_ASCII && code <= TYPE_P_UTF8) return 8;
    return native_type_size(code);
}
