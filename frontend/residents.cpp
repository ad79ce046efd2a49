// Resident files. A resident keeps the global structures, interfaces,
// constants, macros and prototypes of a compilation in binary form:
//
//   'ZAND' 0 'RESn'  then the chunks 'SRCT' 'CNST' 'MACR' 'PROT'
//
// each chunk a tag, a uint32 length and its records. Tags are 32-bit values
// with the first letter most significant, stored little-endian. The reader
// takes versions RES1 to RES9 and checks every read against the end of the
// chunk, so a truncated or damaged file stops with an error naming it.
#include "frontend/residents.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/structures.h"
#include "platform/platform.h"

HashTable* prototype_table = nullptr;
HashTable* resident_prototype_table = nullptr;
CursorList* resident_structure_refs = nullptr;

namespace {

constexpr uint32_t tag_zand = 0x5A414E44;
constexpr uint32_t tag_res1 = 0x52455331;
constexpr uint32_t tag_res9 = 0x52455339;
constexpr uint32_t tag_srct = 0x53524354;
constexpr uint32_t tag_cnst = 0x434E5354;
constexpr uint32_t tag_macr = 0x5243414D;
constexpr uint32_t tag_prot = 0x544F5250;

// The resident mark of a macro as the file stores it.
constexpr int32_t file_macro_resident = 0x0001;

// A file is read twice: first only to check it (records are made in the
// compilation pool and entered nowhere), then to take its declarations, so
// that nothing of a damaged file is kept.
bool checking_pass = false;

// ---------------------------------------------------------------------------
// Reading

struct Reader {
    const uint8_t* data;
    size_t size;        // bytes of the file
    size_t position;
    size_t end;         // end of the current chunk
    bool damaged;
    int version;        // 1 to 9
};

bool take(Reader& r, size_t n)
{
    if (r.damaged || n > r.end - r.position) {
        r.damaged = true;
        return false;
    }
    return true;
}

uint64_t read_unsigned(Reader& r, size_t n)
{
    if (!take(r, n)) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < n; i++) value |= uint64_t(r.data[r.position + i]) << (8 * i);
    r.position += n;
    return value;
}

uint8_t read_u8(Reader& r) { return (uint8_t)read_unsigned(r, 1); }
int16_t read_i16(Reader& r) { return (int16_t)(uint16_t)read_unsigned(r, 2); }
int32_t read_i32(Reader& r) { return (int32_t)(uint32_t)read_unsigned(r, 4); }
uint32_t read_u32(Reader& r) { return (uint32_t)read_unsigned(r, 4); }
int64_t read_i64(Reader& r) { return (int64_t)read_unsigned(r, 8); }

void skip(Reader& r, size_t n)
{
    if (take(r, n)) r.position += n;
}

char* kept_text(const char* text)
{
    return checking_pass ? pool_strdup(text) : permanent_pool_strdup(text);
}

// A NUL-terminated text inside the chunk, copied to the permanent pool.
char* read_text(Reader& r)
{
    if (r.damaged) return kept_text("");
    const void* nul = std::memchr(r.data + r.position, 0, r.end - r.position);
    if (!nul) {
        r.damaged = true;
        return kept_text("");
    }
    const char* text = reinterpret_cast<const char*>(r.data + r.position);
    r.position = static_cast<const uint8_t*>(nul) - r.data + 1;
    return kept_text(text);
}

// One optional parameter's default: a text for strings and fixed strings,
// else 8 bytes.
void read_value(Reader& r, int64_t* destination, int32_t parameter_type)
{
    if (parameter_type == TYPE_STRING || parameter_type == TYPE_FIXED_STRING) {
        char* text = read_text(r);
        std::memcpy(destination, &text, sizeof text);
    } else {
        *destination = read_i64(r);
    }
}

template <typename T>
T* permanent_zeroed(size_t count)
{
    if (count == 0) return nullptr;
    void* block = checking_pass ? pool_alloc(sizeof(T) * count) : permanent_pool_alloc(sizeof(T) * count);
    std::memset(block, 0, sizeof(T) * count);
    return static_cast<T*>(block);
}

void add_structure_reference(const char* name, StructureRecord** place)
{
    *place = nullptr;
    if (checking_pass || !resident_structure_refs) return;
    while (list_next(resident_structure_refs)) {
    }
    auto* reference = static_cast<StructureReference*>(list_add(resident_structure_refs));
    reference->name = pool_strdup(name);
    reference->place = place;
}

// Opens the chunk with the given tag at the reader's position; false when
// another tag stands there. A file that ends where a chunk should stand (it
// has all four), or a length past its end, damages the reader.
bool open_chunk(Reader& r, uint32_t tag)
{
    if (r.damaged) return false;
    r.end = r.size;
    if (r.size - r.position < 8) {
        r.damaged = true;
        return false;
    }
    if (read_u32(r) != tag) {
        r.position -= 4;
        return false;
    }
    uint32_t length = read_u32(r);
    if (length > r.size - r.position) {
        r.damaged = true;
        return false;
    }
    r.end = r.position + length;
    return true;
}

void read_field_container(Reader& r, FieldRecord* field)
{
    if (field->type == TYPE_LIST) {
        auto* list = permanent_zeroed<ListRecord>(1);
        list->element_type = read_u8(r);
        list->flags = read_u32(r);
        list->element_size = read_i32(r);
        list->offset = field->offset;
        list->name = field->name;
        if (list->element_type == TYPE_STRUCTURE) add_structure_reference(read_text(r), &list->element_structure);
        field->container = list;
    } else if (field->type == TYPE_ARRAY) {
        auto* array = permanent_zeroed<ArrayRecord>(1);
        array->element_type = read_u8(r);
        array->dimension_count = read_u8(r);
        array->element_size = read_i32(r);
        array->flags = read_u32(r);
        array->offset = field->offset;
        array->name = field->name;
        array->constant_sizes = permanent_zeroed<int64_t>(array->dimension_count);
        for (int i = 0; i < array->dimension_count; i++) array->constant_sizes[i] = read_i32(r);
        if (array->element_type == TYPE_STRUCTURE) add_structure_reference(read_text(r), &array->element_structure);
        field->container = array;
    } else if (field->type == TYPE_MAP) {
        auto* map = permanent_zeroed<MapRecord>(1);
        map->element_type = read_u8(r);
        map->flags = read_u32(r);
        map->slot_count = read_i32(r);
        map->element_size = read_i32(r);
        map->offset = field->offset;
        map->name = field->name;
        if (map->element_type == TYPE_STRUCTURE) add_structure_reference(read_text(r), &map->element_structure);
        field->container = map;
    }
}

FieldRecord* read_field(Reader& r)
{
    auto* field = permanent_zeroed<FieldRecord>(1);
    if (r.version <= 5) {
        // Older forms: a length, then a fixed part and the two texts.
        uint32_t length = read_u32(r);
        if (!take(r, length)) return nullptr;
        size_t saved_end = r.end;
        size_t next = r.position + length;
        r.end = next;
        skip(r, 8);
        field->type = read_u8(r);
        if (r.version <= 2) {
            field->flags = read_u8(r) ? FIELD_POINTER : 0;
            skip(r, 2);
            field->offset = read_i16(r);
            field->element_size = read_u8(r);
            skip(r, 3);
            field->static_count = read_i16(r);
        } else {
            skip(r, 1);
            field->flags = (uint16_t)read_i16(r);
            field->offset = read_i32(r);
            field->element_size = read_i32(r);
            field->static_count = read_i32(r);
            skip(r, 8);
        }
        field->name = read_text(r);
        field->type_name = read_text(r);
        r.end = saved_end;
        if (r.damaged) return nullptr;
        r.position = next;
    } else {
        field->name = read_text(r);
        field->type = read_u8(r);
        field->flags = (uint16_t)read_i16(r);
        field->type_name = read_text(r);
        field->offset = read_i32(r);
        field->element_size = read_i32(r);
        field->static_count = read_i32(r);
        read_field_container(r, field);
        if (r.damaged) return nullptr;
    }
    if (field->type == TYPE_STRUCTURE && !(field->flags & FIELD_POINTER) && !(field->flags & FIELD_INTERFACE)) {
        add_structure_reference(field->type_name, &field->structure);
    }
    return field;
}

void read_method_parameters(Reader& r, InterfaceMethod* method, bool with_elements)
{
    method->parameters = permanent_zeroed<ParameterRecord>(method->parameter_count);
    for (int p = 0; p < method->parameter_count; p++) {
        ParameterRecord* parameter = &method->parameters[p];
        parameter->type = read_u8(r);
        if (!with_elements) continue;
        if (parameter->type == TYPE_LIST || parameter->type == TYPE_MAP || parameter->type == TYPE_ARRAY) {
            auto* descriptor = permanent_zeroed<ParameterDescriptor>(1);
            descriptor->type = read_u8(r);
            if (parameter->type == TYPE_ARRAY) descriptor->dimension_count = read_u8(r);
            if (descriptor->type == TYPE_STRUCTURE) add_structure_reference(read_text(r), &descriptor->structure);
            parameter->element_type = descriptor;
        }
    }
}

void read_method_defaults(Reader& r, InterfaceMethod* method)
{
    if (method->optional_count > method->parameter_count) {
        r.damaged = true;
        return;
    }
    method->default_values = permanent_zeroed<int64_t>(method->optional_count);
    int first = method->parameter_count - method->optional_count;
    for (int i = 0; i < method->optional_count && !r.damaged; i++) {
        read_value(r, &method->default_values[i], method->parameters[first + i].type);
    }
}

// Methods of an interface; returns how many were read whole.
int read_methods(Reader& r, StructureRecord* structure, int count)
{
    InterfaceMethod* methods = permanent_zeroed<InterfaceMethod>(count);
    structure->methods = methods;
    if (r.version >= 6) {
        for (int m = 0; m < count; m++) {
            InterfaceMethod* method = &methods[m];
            method->parameter_count = read_u8(r);
            method->flags = read_u8(r);
            method->optional_count = read_u8(r);
            method->name = read_text(r);
            read_method_parameters(r, method, true);
            read_method_defaults(r, method);
            if (r.damaged) return m;
        }
        return count;
    }
    // RES2 to RES5: the fixed parts of all methods first.
    size_t fixed_size = r.version <= 3 ? 24 : 32;
    for (int m = 0; m < count; m++) {
        if (!take(r, fixed_size)) return 0;
        const uint8_t* fixed = r.data + r.position;
        methods[m].parameter_count = fixed[16];
        methods[m].flags = fixed[17];
        methods[m].optional_count = r.version >= 4 ? fixed[18] : 0;
        r.position += fixed_size;
    }
    for (int m = 0; m < count; m++) {
        InterfaceMethod* method = &methods[m];
        method->name = read_text(r);
        read_method_parameters(r, method, false);
        if (r.version >= 4) read_method_defaults(r, method);
        else method->optional_count = 0;
        if (r.damaged) return m;
    }
    return count;
}

void read_structures(Reader& r)
{
    while (r.position < r.end && !r.damaged) {
        char* name = read_text(r);
        int32_t size = read_i32(r);
        int16_t members = read_i16(r);
        uint16_t flags;
        if (r.version == 1) {
            skip(r, 2);
            flags = STRUCT_RESIDENT;
        } else if (r.version <= 7) {
            flags = (uint16_t)(int16_t)(int8_t)read_u8(r);
        } else {
            flags = (uint16_t)read_i16(r);
        }
        int largest = -1;
        if (r.version >= 7) largest = read_u8(r);
        else if (r.version >= 2) largest = 4;
        int32_t alignment = r.version >= 9 ? read_i32(r) : 0;
        if (r.damaged || members < 0 || size < 0) {
            r.damaged = true;
            return;
        }

        StructureRecord checked{};
        StructureRecord* structure = &checked;
        if (!checking_pass) {
            structure = new_structure(name, structure_table);
            auto* index = static_cast<StructureIndexEntry*>(hash_add(resident_structure_table, name));
            index->structure = structure;
        }
        structure->size = size;
        structure->flags = (uint16_t)(flags | STRUCT_RESIDENT);
        if (largest >= 0) structure->largest_alignment = (uint8_t)largest;
        structure->alignment = alignment;
        structure->line = -1;

        int read = 0;
        if (structure->flags & STRUCT_INTERFACE) {
            read = read_methods(r, structure, members);
        } else {
            FieldRecord* last = nullptr;
            for (; read < members; read++) {
                FieldRecord* field = read_field(r);
                if (!field) break;
                if (last) last->next = field;
                else structure->first_field = field;
                last = field;
            }
        }
        structure->member_count = (int16_t)read;
    }
}

bool constant_differs(const ConstantRecord* existing, uint32_t flags, int64_t integer, double real, const char* text)
{
    if (flags & constant_flag_float) {
        double old = (existing->flags & constant_flag_float) ? existing->value.float_value
                                                              : (double)existing->value.integer_value;
        return (existing->flags & constant_flag_string) || old != real;
    }
    if (flags & constant_flag_string) {
        return !(existing->flags & constant_flag_string) || std::strcmp(existing->value.text, text) != 0;
    }
    return (existing->flags & (constant_flag_string | constant_flag_float)) || existing->value.integer_value != integer;
}

void read_constants(Reader& r)
{
    while (r.position < r.end && !r.damaged && (checking_pass || error_number == 0)) {
        char* name = read_text(r);
        uint32_t flags = 0;
        int64_t integer = 0;
        double real = 0;
        char* text = nullptr;
        if (r.version == 1) {
            integer = read_i32(r);
        } else if (r.version <= 3) {
            flags = read_u8(r);
            if ((flags & constant_flag_string) && !(flags & constant_flag_float)) text = read_text(r);
            else integer = read_i32(r);
        } else {
            uint8_t kind = read_u8(r);
            switch (kind) {
            case 0: integer = (int8_t)read_u8(r); break;
            case 1: integer = read_i16(r); break;
            case 2: integer = read_i32(r); break;
            case 3: integer = read_i64(r); break;
            case 4: {
                uint64_t bits = (uint32_t)read_i32(r);
                std::memcpy(&real, &bits, sizeof real);
                flags = constant_flag_float;
                break;
            }
            case 5: {
                int64_t bits = read_i64(r);
                std::memcpy(&real, &bits, sizeof real);
                flags = constant_flag_float;
                break;
            }
            case 6:
                text = read_text(r);
                flags = constant_flag_string;
                break;
            default:
                r.damaged = true;
                break;
            }
        }
        if (r.damaged) return;
        if ((flags & constant_flag_float) && r.version <= 3) {
            // The older forms keep a float's value as an integer.
            real = (double)integer;
        }
        if (checking_pass) continue;
        if (ConstantRecord* existing = find_constant(name)) {
            if (constant_differs(existing, flags, integer, real, text)) set_error_format(ERROR_CONSTANT_DECLARED_IN_RESIDENT, name);
            continue;
        }
        auto* constant = static_cast<ConstantRecord*>(hash_add(constants_table, name));
        constant->flags = flags | constant_flag_resident;
        if (flags & constant_flag_string) constant->value.text = text ? text : permanent_pool_strdup("");
        else if (flags & constant_flag_float) constant->value.float_value = real;
        else constant->value.integer_value = integer;
    }
}

void read_macros(Reader& r, const char* path)
{
    while (r.position < r.end && !r.damaged && (checking_pass || error_number == 0)) {
        char* name = read_text(r);
        int32_t flags = read_i32(r);
        int parameters = read_u8(r);
        char** names = permanent_zeroed<char*>(parameters);
        for (int i = 0; i < parameters; i++) names[i] = read_text(r);
        int optional = read_u8(r);
        char** defaults = permanent_zeroed<char*>(optional);
        for (int i = 0; i < optional; i++) defaults[i] = read_text(r);
        char* body = read_text(r);
        if (r.damaged) return;
        if (optional > parameters) {
            r.damaged = true;
            return;
        }
        if (checking_pass) continue;
        if (hash_find(macro_table, name)) {
            set_error_format(ERROR_MACRO_DECLARED_IN_RESIDENT, name, path);
            return;
        }
        auto* macro = static_cast<MacroRecord*>(hash_add(macro_table, name));
        macro->parameter_names = names;
        macro->default_texts = defaults;
        macro->body = body;
        macro->owner = macro_table;
        macro->flags = (flags & ~file_macro_resident & ~macro_flag_expanding) | macro_flag_resident;
        // The parameter list the file holds decides: a macro with parameters
        // is always called with its list.
        if (parameters > 0) macro->flags &= ~macro_flag_no_parameters;
        macro->parameter_count = parameters;
        macro->optional_count = optional;
        macro->expansion_count = 0;
        auto* index = static_cast<ResidentMacroReference*>(hash_add(resident_macro_table, name));
        index->macro = macro;
    }
}

void read_prototypes(Reader& r, const char* path)
{
    while (r.position < r.end && !r.damaged && (checking_pass || error_number == 0)) {
        char* name = read_text(r);
        int string_parameters = read_u8(r);
        int16_t stack_size = read_i16(r);
        int parameters = read_u8(r);
        int optional = read_u8(r);
        uint32_t flags = read_u32(r);
        if (r.damaged) return;
        if (optional > parameters) {
            r.damaged = true;
            return;
        }
        ParameterRecord* records = permanent_zeroed<ParameterRecord>(parameters);
        int pseudo = 0;
        for (int i = 0; i < parameters; i++) {
            records[i].type = read_u8(r);
            records[i].size = read_u8(r);
            records[i].offset = read_i16(r);
            skip(r, 8);
            if (records[i].type >= TYPE_P_ASCII && records[i].type <= TYPE_P_UTF8) pseudo++;
        }
        int64_t* defaults = permanent_zeroed<int64_t>(optional);
        for (int i = 0; i < optional; i++) read_value(r, &defaults[i], records[parameters - optional + i].type);
        if (r.damaged) return;
        if (checking_pass) continue;
        if (hash_find(prototype_table, name)) {
            set_error_format(ERROR_PROTOTYPE_DECLARED_IN_RESIDENT, name, path);
            return;
        }
        auto* prototype = static_cast<ProcedureRecord*>(hash_add(prototype_table, name));
        HashEntry entry = prototype->entry;
        std::memset(prototype, 0, sizeof *prototype);
        prototype->entry = entry;
        prototype->string_parameter_count = string_parameters;
        prototype->stack_size = stack_size;
        prototype->parameter_count = parameters;
        prototype->optional_count = (uint8_t)optional;
        prototype->flags = flags;
        prototype->second_flags = PROC_SECOND_RESIDENT;
        prototype->parameters = records;
        prototype->pseudo_type_count = (int16_t)pseudo;
        prototype->default_values = defaults;
        prototype->line = -1;
        auto* index = static_cast<PrototypeIndexEntry*>(hash_add(resident_prototype_table, name));
        index->prototype = prototype;
    }
}

// The chunks in their order; after an error of the tables no further chunk
// is looked for.
void read_chunks(Reader& r, const char* path)
{
    r.position = 12;
    r.end = r.size;
    if (open_chunk(r, tag_srct)) {
        read_structures(r);
        if (!r.damaged) r.position = r.end;
    }
    if ((checking_pass || error_number == 0) && open_chunk(r, tag_cnst)) {
        read_constants(r);
        if (!r.damaged && (checking_pass || error_number == 0)) r.position = r.end;
    }
    if ((checking_pass || error_number == 0) && open_chunk(r, tag_macr)) {
        read_macros(r, path);
        if (!r.damaged && (checking_pass || error_number == 0)) r.position = r.end;
    }
    if ((checking_pass || error_number == 0) && open_chunk(r, tag_prot)) read_prototypes(r, path);
}

// ---------------------------------------------------------------------------
// Writing

void put_unsigned(std::string& out, uint64_t value, int n)
{
    for (int i = 0; i < n; i++) out.push_back((char)((value >> (8 * i)) & 0xFF));
}

void put_text(std::string& out, const char* text)
{
    out.append(text ? text : "");
    out.push_back(0);
}

void patch_u32(std::string& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++) out[at + i] = (char)((value >> (8 * i)) & 0xFF);
}

void put_value(std::string& out, int64_t value, int32_t parameter_type)
{
    if (parameter_type == TYPE_STRING || parameter_type == TYPE_FIXED_STRING) {
        const char* text = nullptr;
        std::memcpy(&text, &value, sizeof text);
        put_text(out, text);
    } else {
        put_unsigned(out, (uint64_t)value, 8);
    }
}

const char* element_structure_name(const StructureRecord* structure, const char* fallback)
{
    return structure ? structure_name(structure) : fallback;
}

void put_field(std::string& out, const FieldRecord* field)
{
    put_text(out, field->name);
    put_unsigned(out, field->type, 1);
    put_unsigned(out, field->flags, 2);
    put_text(out, field->type_name);
    put_unsigned(out, (uint32_t)field->offset, 4);
    put_unsigned(out, (uint32_t)field->element_size, 4);
    put_unsigned(out, (uint32_t)field->static_count, 4);
    if (field->type == TYPE_LIST && field->container) {
        auto* list = static_cast<const ListRecord*>(field->container);
        put_unsigned(out, (uint8_t)list->element_type, 1);
        put_unsigned(out, list->flags, 4);
        put_unsigned(out, (uint32_t)list->element_size, 4);
        if (list->element_type == TYPE_STRUCTURE) put_text(out, element_structure_name(list->element_structure, field->type_name));
    } else if (field->type == TYPE_ARRAY && field->container) {
        auto* array = static_cast<const ArrayRecord*>(field->container);
        put_unsigned(out, (uint8_t)array->element_type, 1);
        put_unsigned(out, (uint8_t)array->dimension_count, 1);
        put_unsigned(out, (uint32_t)array->element_size, 4);
        put_unsigned(out, array->flags, 4);
        for (int i = 0; i < (uint8_t)array->dimension_count; i++) {
            put_unsigned(out, array->constant_sizes ? (uint32_t)array->constant_sizes[i] : 0, 4);
        }
        if (array->element_type == TYPE_STRUCTURE) put_text(out, element_structure_name(array->element_structure, field->type_name));
    } else if (field->type == TYPE_MAP && field->container) {
        auto* map = static_cast<const MapRecord*>(field->container);
        put_unsigned(out, (uint8_t)map->element_type, 1);
        put_unsigned(out, map->flags, 4);
        put_unsigned(out, (uint32_t)map->slot_count, 4);
        put_unsigned(out, (uint32_t)map->element_size, 4);
        if (map->element_type == TYPE_STRUCTURE) put_text(out, element_structure_name(map->element_structure, field->type_name));
    }
}

void put_method(std::string& out, const InterfaceMethod* method)
{
    put_unsigned(out, method->parameter_count, 1);
    put_unsigned(out, method->flags, 1);
    put_unsigned(out, method->optional_count, 1);
    put_text(out, method->name);
    for (int p = 0; p < method->parameter_count; p++) {
        const ParameterRecord* parameter = &method->parameters[p];
        put_unsigned(out, parameter->type, 1);
        if (parameter->type == TYPE_LIST || parameter->type == TYPE_MAP || parameter->type == TYPE_ARRAY) {
            const ParameterDescriptor* descriptor = parameter->element_type;
            uint8_t type = descriptor ? descriptor->type : 0;
            put_unsigned(out, type, 1);
            if (parameter->type == TYPE_ARRAY) put_unsigned(out, descriptor ? descriptor->dimension_count : 0, 1);
            if (type == TYPE_STRUCTURE) put_text(out, element_structure_name(descriptor->structure, ""));
        }
    }
    int first = method->parameter_count - method->optional_count;
    for (int i = 0; i < method->optional_count; i++) {
        put_value(out, method->default_values[i], method->parameters[first + i].type);
    }
}

void put_structures(std::string& out)
{
    hash_reset_iterator(structure_table);
    while (HashEntry* entry = hash_next(structure_table)) {
        auto* structure = reinterpret_cast<const StructureRecord*>(entry);
        if (structure->flags & STRUCT_RESIDENT) continue;
        put_text(out, structure_name(structure));
        put_unsigned(out, (uint32_t)structure->size, 4);
        put_unsigned(out, (uint16_t)structure->member_count, 2);
        put_unsigned(out, (uint16_t)(structure->flags & STRUCT_KEPT_FLAGS), 2);
        put_unsigned(out, structure->largest_alignment, 1);
        put_unsigned(out, (uint32_t)structure->alignment, 4);
        if (structure->flags & STRUCT_INTERFACE) {
            for (int m = 0; m < structure->member_count; m++) put_method(out, &structure->methods[m]);
        } else {
            for (const FieldRecord* field = structure->first_field; field; field = field->next) put_field(out, field);
        }
    }
}

void put_constants(std::string& out)
{
    hash_reset_iterator(constants_table);
    while (HashEntry* entry = hash_next(constants_table)) {
        auto* constant = reinterpret_cast<const ConstantRecord*>(entry);
        if (constant->flags & (constant_flag_resident | predefined_constant_flag)) continue;
        put_text(out, constant->entry.key);
        if (constant->flags & constant_flag_float) {
            uint64_t bits;
            std::memcpy(&bits, &constant->value.float_value, sizeof bits);
            if ((bits >> 32) == 0) {
                put_unsigned(out, 4, 1);
                put_unsigned(out, bits, 4);
            } else {
                put_unsigned(out, 5, 1);
                put_unsigned(out, bits, 8);
            }
        } else if (constant->flags & constant_flag_string) {
            put_unsigned(out, 6, 1);
            put_text(out, constant->value.text);
        } else {
            int64_t value = constant->value.integer_value;
            if (value >= -128 && value <= 127) {
                put_unsigned(out, 0, 1);
                put_unsigned(out, (uint64_t)value, 1);
            } else if (value >= -32768 && value <= 32767) {
                put_unsigned(out, 1, 1);
                put_unsigned(out, (uint64_t)value, 2);
            } else if (value >= INT32_MIN && value <= INT32_MAX) {
                put_unsigned(out, 2, 1);
                put_unsigned(out, (uint64_t)value, 4);
            } else {
                put_unsigned(out, 3, 1);
                put_unsigned(out, (uint64_t)value, 8);
            }
        }
    }
}

void put_macros(std::string& out)
{
    if (!macro_table) return;
    hash_reset_iterator(macro_table);
    while (HashEntry* entry = hash_next(macro_table)) {
        auto* macro = reinterpret_cast<const MacroRecord*>(entry);
        if (macro->flags & macro_flag_resident) continue;
        put_text(out, macro->entry.key);
        put_unsigned(out, (uint32_t)((macro->flags & ~macro_flag_expanding) | file_macro_resident), 4);
        put_unsigned(out, (uint8_t)macro->parameter_count, 1);
        for (int i = 0; i < (uint8_t)macro->parameter_count; i++) put_text(out, macro->parameter_names[i]);
        put_unsigned(out, (uint8_t)macro->optional_count, 1);
        for (int i = 0; i < (uint8_t)macro->optional_count; i++) put_text(out, macro->default_texts[i]);
        put_text(out, macro->body);
    }
}

void put_prototypes(std::string& out)
{
    hash_reset_iterator(prototype_table);
    while (HashEntry* entry = hash_next(prototype_table)) {
        auto* prototype = reinterpret_cast<const ProcedureRecord*>(entry);
        if (prototype->second_flags & PROC_SECOND_RESIDENT) continue;
        put_text(out, prototype->entry.key);
        put_unsigned(out, (uint8_t)prototype->string_parameter_count, 1);
        put_unsigned(out, (uint16_t)prototype->stack_size, 2);
        put_unsigned(out, (uint8_t)prototype->parameter_count, 1);
        put_unsigned(out, prototype->optional_count, 1);
        put_unsigned(out, prototype->flags, 4);
        for (int i = 0; i < (uint8_t)prototype->parameter_count; i++) {
            const ParameterRecord* parameter = &prototype->parameters[i];
            put_unsigned(out, parameter->type, 1);
            put_unsigned(out, parameter->size, 1);
            put_unsigned(out, (uint16_t)parameter->offset, 2);
            put_unsigned(out, 0, 8);
        }
        int first = prototype->parameter_count - prototype->optional_count;
        for (int i = 0; i < prototype->optional_count; i++) {
            put_value(out, prototype->default_values[i], prototype->parameters[first + i].type);
        }
    }
}

bool in_module_section()
{
    return current_module && module_section_state() != 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Tables

void init_residents()
{
    if (!prototype_table) prototype_table = create_hash_table(sizeof(ProcedureRecord), hash_flag_permanent);
    if (!resident_prototype_table) {
        resident_prototype_table = create_hash_table(sizeof(PrototypeIndexEntry), hash_flag_permanent);
    }
    if (!resident_structure_refs) resident_structure_refs = create_list(sizeof(StructureReference), 1);
}

void free_user_prototypes()
{
    if (prototype_table) {
        hash_reset_iterator(prototype_table);
        while (HashEntry* entry = hash_next(prototype_table)) {
            auto* prototype = reinterpret_cast<ProcedureRecord*>(entry);
            if (prototype->second_flags == PROC_SECOND_RESIDENT) continue;
            hash_unlink_current(prototype_table);
            hash_free_entry(prototype_table, entry);
        }
    }
    if (resident_structure_refs) list_clear(resident_structure_refs);
}

// ---------------------------------------------------------------------------
// Reading

int load_resident(const char* path)
{
    std::string contents;
    if (!os_read_file(path, contents)) return 0;
    Reader r{};
    r.data = reinterpret_cast<const uint8_t*>(contents.data());
    r.size = contents.size();
    r.end = r.size;
    uint32_t zand = r.size >= 4 ? read_u32(r) : 0;
    if (zand == tag_zand && r.size < 12) {
        r.damaged = true;
    } else {
        read_u32(r);
        uint32_t version = read_u32(r);
        if (zand != tag_zand || version < tag_res1 || version > tag_res9) return 1;
        r.version = (int)(version - tag_res1) + 1;
        checking_pass = true;
        read_chunks(r, path);
        checking_pass = false;
        if (!r.damaged) read_chunks(r, path);
    }
    if (r.damaged) {
        std::string text = "Damaged or truncated resident file: " + std::string(path) + ".";
        set_error_text(ERROR_SYNTAX, text.c_str());
    }
    return 1;
}

void resolve_resident_structure_refs()
{
    if (resident_structure_refs) {
        for (ListNode* node = resident_structure_refs->first; node; node = node->next) {
            auto* reference = reinterpret_cast<StructureReference*>(node);
            *reference->place = find_structure(reference->name);
        }
        list_clear(resident_structure_refs);
    }
    structure_id_base = structure_id_counter;
}

// ---------------------------------------------------------------------------
// Writing

void write_resident_file(const char* path)
{
    FILE* file = create_file_utf8(path);
    if (!file) {
        current_line = -1;
        set_error_format(ERROR_RESIDENT_FILE_NOT_CREATED, path);
        return;
    }
    std::string out;
    put_unsigned(out, tag_zand, 4);
    put_unsigned(out, 0, 4);
    put_unsigned(out, tag_res9, 4);
    put_unsigned(out, tag_srct, 4);
    put_unsigned(out, 0, 4);
    put_structures(out);
    size_t constants_at = out.size();
    put_unsigned(out, tag_cnst, 4);
    put_unsigned(out, 0, 4);
    put_constants(out);
    size_t macros_at = out.size();
    put_unsigned(out, tag_macr, 4);
    put_unsigned(out, 0, 4);
    put_macros(out);
    size_t prototypes_at = out.size();
    put_unsigned(out, tag_prot, 4);
    put_unsigned(out, 0, 4);
    put_prototypes(out);
    patch_u32(out, 16, (uint32_t)(constants_at - 20));
    patch_u32(out, constants_at + 4, (uint32_t)(macros_at - constants_at - 8));
    patch_u32(out, macros_at + 4, (uint32_t)(prototypes_at - macros_at - 8));
    patch_u32(out, prototypes_at + 4, (uint32_t)(out.size() - prototypes_at - 8));
    bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !written) {
        current_line = -1;
        set_error_format(ERROR_RESIDENT_FILE_NOT_CREATED, path);
        return;
    }
    console_print("Resident '%s' created.\n", path);
}

// ---------------------------------------------------------------------------
// Pseudo-types and prototypes

int parse_pseudo_type()
{
    current_type.code = 0;
    if (token_code != '-' || strcasecmp(statement_word, "p") != 0) return 0;
    char saved[STATEMENT_WORD_SIZE];
    std::memcpy(saved, statement_word, sizeof saved);
    read_token();
    struct PseudoType {
        const char* word;
        int32_t code;
        int32_t size;
    };
    static const PseudoType pseudo_types[] = {
        {"ascii", TYPE_P_ASCII, 8}, {"unicode", TYPE_P_UNICODE, 8}, {"bstr", TYPE_P_BSTR, 8},
        {"utf8", TYPE_P_UTF8, 8},   {"variant", TYPE_P_VARIANT, 16},
    };
    int32_t code = 0;
    for (const PseudoType& pseudo : pseudo_types) {
        if (statement_word[0] && strcasecmp(statement_word, pseudo.word) == 0) {
            code = pseudo.code;
            current_type.code = pseudo.code;
            current_type.size = pseudo.size;
            break;
        }
    }
    if (!code && error_number == 0) set_error(ERROR_SYNTAX);
    std::memcpy(statement_word, saved, sizeof saved);
    return code;
}

ProcedureRecord* find_prototype(const char* name)
{
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module->prototypes) continue;
            auto* found = reinterpret_cast<ProcedureRecord*>(hash_find(module->prototypes, name));
            if (found && (found->second_flags & PROC_SECOND_PUBLIC)) return found;
        }
    }
    if (!in_module_section()) {
        return prototype_table ? reinterpret_cast<ProcedureRecord*>(hash_find(prototype_table, name)) : nullptr;
    }
    if (resident_prototype_table) {
        auto* index = reinterpret_cast<PrototypeIndexEntry*>(hash_find(resident_prototype_table, name));
        if (index) return index->prototype;
    }
    if (!current_module->prototypes) return nullptr;
    return reinterpret_cast<ProcedureRecord*>(hash_find(current_module->prototypes, name));
}
