#include "backend_c/c_type_names.h"

#include <string>

#include "forge/library_format.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

namespace {

constexpr uint16_t structure_is_interface = 0x4;
constexpr uint16_t field_type_is_interface = 0x80;

// Result bits of a procedure's flags word and second flags word.
constexpr uint32_t result_double = 0x08000000;
constexpr uint32_t result_float = 0x20;
constexpr uint32_t result_quad = 0x20000000;
constexpr uint32_t result_string = 0x10;
constexpr uint32_t result_byte = 0x4;
constexpr uint32_t result_long = 0x8;
constexpr uint32_t result_word = 0x800;
constexpr uint32_t second_ascii = 0x20;
constexpr uint32_t second_unicode = 0x40;
constexpr uint32_t second_character = 0x2;
constexpr uint32_t second_integer = 0x4;

// Interface method result bits.
constexpr uint8_t method_string = 0x1;
constexpr uint8_t method_float = 0x2;
constexpr uint8_t method_long = 0x4;
constexpr uint8_t method_quad = 0x8;
constexpr uint8_t method_double = 0x10;

// A-Z lowered, every other byte kept.
void append_lower(std::string& out, const char* text)
{
    if (!text) return;
    for (; *text; text++) {
        char c = *text;
        out += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
}

const char* owning_module_name(const ModuleRecord* module)
{
    return module ? module->entry.key : nullptr;
}

void build_structure_name(std::string& out, const char* module, bool interface, const char* name)
{
    out.clear();
    if (module) {
        append_lower(out, module);
        out += 'X';
    }
    out += interface ? "i_" : "s_";
    append_lower(out, name);
}

}  // namespace

const char* c_type_name(int32_t type_code)
{
    switch (type_code) {
    case TYPE_BYTE: return "char";
    case TYPE_WORD: return "short";
    case TYPE_LONG: return "int";
    case TYPE_STRUCTURE:
    case TYPE_INTEGER: return "integer";
    case TYPE_FLOAT: return "float";
    case TYPE_CHARACTER:
    case TYPE_UNICODE: return "unsigned short";
    case TYPE_DOUBLE: return "double";
    case TYPE_QUAD: return "quad";
    case TYPE_ASCII: return "unsigned char";
    default: return "void*";
    }
}

const char* c_procedure_return_type(uint32_t flags, uint32_t second_flags)
{
    if (flags & result_double) return "double";
    if (flags & result_float) return "float";
    if (flags & result_quad) return "quad";
    if (flags & result_string) return "void*";
    if (flags & result_byte) return "char";
    if (flags & result_long) return (flags & result_word) ? "int" : "integer";
    if (second_flags & second_ascii) return "unsigned char";
    if (second_flags & (second_unicode | second_character)) return "unsigned short";
    if (second_flags & second_integer) return "integer";
    if (flags & result_word) return "short";
    return "integer";
}

const char* c_method_return_type(const InterfaceMethod* method)
{
    uint8_t flags = method ? method->flags : 0;
    if (flags & method_float) return "float";
    if (flags & method_double) return "double";
    if (flags & method_quad) return "quad";
    if (flags & method_string) return "void*";
    if (flags & method_long) return "int";
    return "integer";
}

const char* c_structure_name(const StructureRecord* structure)
{
    static std::string buffer;
    build_structure_name(buffer, owning_module_name(structure->module), (structure->flags & structure_is_interface) != 0,
                         structure->entry.key);
    return buffer.c_str();
}

const char* c_field_structure_name(const FieldRecord* field)
{
    static std::string buffer;
    build_structure_name(buffer, field->type_module_name, (field->flags & field_type_is_interface) != 0, field->type_name);
    return buffer.c_str();
}

const char* c_field_member_name(const FieldRecord* field)
{
    static std::string buffer;
    buffer = "f_";
    for (const char* p = field->name; p && *p; p++) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        else if (c == '$') c = 'S';
        buffer += c;
    }
    return buffer.c_str();
}

const char* c_interface_method_name(const InterfaceMethod* method)
{
    static std::string buffer;
    buffer = "m_";
    append_lower(buffer, method->name);
    return buffer.c_str();
}

const char* c_library_return_type(const LibraryCommand* command)
{
    const uint32_t wider = LIBRARY_FLAG_DOUBLE | LIBRARY_FLAG_FLOAT | LIBRARY_FLAG_QUAD | LIBRARY_FLAG_STRING | LIBRARY_FLAG_BYTE;
    if ((command->flags & LIBRARY_FLAG_LONG) && !(command->flags & wider)) return "int";
    return c_procedure_return_type(command->flags, command->second_flags);
}
