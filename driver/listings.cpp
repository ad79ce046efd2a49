// Listing run modes: the structures, interfaces and library commands that
// are loaded, one structure's definition, and a test program that calls
// every library command. The standby STRUCTURELIST, STRUCTURE,
// INTERFACELIST and INTERFACE answers share the same writers.
#include "driver/listings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/standby.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"

namespace {

// Library commands left out of the function list, and out of the test file.
constexpr uint32_t function_list_hidden_flags = 0x80002600;
constexpr uint32_t test_file_hidden_flags = 0x680;
constexpr uint32_t command_numbered_variant = 0x2000;

bool is_interface(const StructureRecord* structure)
{
    return (structure->flags & STRUCT_INTERFACE) != 0;
}

// The names of the structures that are interfaces (1) or are not (0), in
// hash-table order; the standby answer puts their count in front.
void print_structure_names(FILE* out, int interfaces, bool with_count)
{
    if (with_count) {
        int count = 0;
        if (structure_table) {
            hash_reset_iterator(structure_table);
            while (HashEntry* entry = hash_next(structure_table)) {
                if (is_interface(reinterpret_cast<StructureRecord*>(entry)) == (interfaces != 0)) count++;
            }
        }
        std::fprintf(out, "%d\n", count);
    }
    if (!structure_table) return;
    hash_reset_iterator(structure_table);
    while (HashEntry* entry = hash_next(structure_table)) {
        auto* structure = reinterpret_cast<StructureRecord*>(entry);
        if (is_interface(structure) == (interfaces != 0)) std::fprintf(out, "%s\n", structure_name(structure));
    }
}

void print_field(FILE* out, const FieldRecord* field, const char* indent)
{
    std::string line = indent;
    if (field->flags & FIELD_POINTER) line += '*';
    line += field->name;
    if (field->type_name && field->type_name[0]) {
        line += '.';
        line += field->type_name;
    }
    if (field->static_count >= 0) line += "[" + std::to_string(field->static_count) + "]";
    std::fprintf(out, "%s\n", line.c_str());
}

// One line per field; a run of fields at one offset is a StructureUnion.
void print_structure_fields(FILE* out, const StructureRecord* structure)
{
    const FieldRecord* field = structure->first_field;
    while (field) {
        if (field->next && field->next->offset == field->offset) {
            std::fprintf(out, "StructureUnion\n");
            int32_t offset = field->offset;
            while (field && field->offset == offset) {
                print_field(out, field, "    ");
                field = field->next;
            }
            std::fprintf(out, "EndStructureUnion\n");
            continue;
        }
        print_field(out, field, "");
        field = field->next;
    }
}

// The type name of an interface method's parameter, with its point: every
// native type has one (also long and string, which get_type_suffix leaves
// out as the default types), containers their kind word.
std::string parameter_type_name(int32_t code)
{
    switch (code) {
    case TYPE_LONG: return ".l";
    case TYPE_STRING: return ".s";
    case TYPE_ARRAY: return ".Array";
    case TYPE_LIST: return ".List";
    case TYPE_MAP: return ".Map";
    default: return get_type_suffix(code);
    }
}

// One line per method: name, ".s" or ".f" for a string or float result,
// then the parameters as letters from 'a' with their type names.
void print_interface_methods(FILE* out, const StructureRecord* structure)
{
    for (int m = 0; m < structure->member_count && structure->methods; m++) {
        const InterfaceMethod* method = &structure->methods[m];
        std::string line = method->name;
        if (method->flags & METHOD_RETURNS_STRING) line += ".s";
        else if (method->flags & METHOD_RETURNS_FLOAT) line += ".f";
        line += '(';
        for (int p = 0; p < method->parameter_count; p++) {
            if (p) line += ", ";
            line += (char)('a' + p % 26);
            line += parameter_type_name(method->parameters[p].type);
        }
        line += ')';
        std::fprintf(out, "%s\n", line.c_str());
    }
}

const StructureRecord* find_global_structure(const char* name)
{
    if (!structure_table || !name) return nullptr;
    return reinterpret_cast<const StructureRecord*>(hash_find(structure_table, name));
}

void print_structure_definition(FILE* out, const char* name, int interfaces_only)
{
    const StructureRecord* structure = find_global_structure(name);
    if (!structure) return;
    if (is_interface(structure)) print_interface_methods(out, structure);
    else if (!interfaces_only) print_structure_fields(out, structure);
}

void print_function_list(FILE* out)
{
    int count = 0;
    for (ListNode* node = library_command_list ? library_command_list->first : nullptr; node; node = node->next) {
        if (!(reinterpret_cast<LibraryCommand*>(node)->flags & function_list_hidden_flags)) count++;
    }
    std::fprintf(out, "%d\n", count);
    for (ListNode* node = library_command_list ? library_command_list->first : nullptr; node; node = node->next) {
        const LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->flags & function_list_hidden_flags) continue;
        if (command->help && command->help[0]) std::fprintf(out, "%s %s\n", command_name(command), command->help);
        else std::fprintf(out, "%s\n", command_name(command));
    }
}

// Creates output_file, lets `write` fill it and reports the outcome.
template <typename Writer>
int write_listing_file(Writer write)
{
    const char* path = output_file ? output_file : "";
    FILE* out = create_file_utf8(path);
    if (!out) {
        console_print("Can't create file '%s'.\n", path);
        return 0;
    }
    write(out);
    // A write that failed (a full disk) is a file that was not made.
    bool written = !std::ferror(out);
    if (std::fclose(out) != 0 || !written) {
        console_print("Can't create file '%s'.\n", path);
        return 0;
    }
    console_print("File '%s' successfully created.\n", path);
    return 1;
}

// The argument that the test program passes for a parameter type code;
// null for the codes that take none.
const char* test_argument(uint8_t code)
{
    switch (code) {
    case 7: case 32: return "TestStructure";
    case 8: return "a$";
    case 14: case 28: return "List()";
    case 15: case 26: return "Array()";
    case 22: case 30: return "Map()";
    case 27: case 29: case 31: case 33: case 34: return nullptr;
    default: return "a";
    }
}

}  // namespace

int write_structure_list_file()
{
    return write_listing_file([](FILE* out) { print_structure_names(out, 0, false); });
}

int write_interface_list_file()
{
    return write_listing_file([](FILE* out) { print_structure_names(out, 1, false); });
}

int write_function_list_file()
{
    return write_listing_file([](FILE* out) { print_function_list(out); });
}

int write_structure_file()
{
    return write_listing_file([](FILE* out) { print_structure_definition(out, query_structure_name, 0); });
}

int write_test_file()
{
    const char* path = test_file ? test_file : "";
    FILE* out = create_file_utf8(path);
    if (!out) {
        console_print("Test file '%s' creation failed.\n", path);
        return 0;
    }
    std::fputs("Procedure TestProcedure()\n"
               "Dim Array(1)\n"
               "NewList List()\n"
               "NewMap Map()\n"
               "Structure TestStructure : a.i : EndStructure\n",
               out);
    for (ListNode* node = library_command_list ? library_command_list->first : nullptr; node; node = node->next) {
        const LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->flags & test_file_hidden_flags) continue;
        std::string name = command_name(command);
        if ((command->flags & command_numbered_variant) && !name.empty() && name.back() >= '0' && name.back() <= '9') {
            name.pop_back();
        }
        std::string line = name + "(";
        // The compiler functions carry a parameter count but no type codes:
        // each of their parameters gets the plain argument.
        for (int p = 0; p < command->parameter_count; p++) {
            const char* argument = command->parameter_codes ? test_argument(command->parameter_codes[p]) : "a";
            if (!argument) continue;
            if (p) line += ',';
            line += argument;
        }
        line += ")\n";
        std::fputs(line.c_str(), out);
    }
    std::fputs("EndProcedure\n", out);
    bool written = !std::ferror(out);
    if (std::fclose(out) != 0 || !written) {
        console_print("Test file '%s' creation failed.\n", path);
        return 0;
    }
    console_print("Test file '%s' successfully created.\n", path);
    return 1;
}

// ---------------------------------------------------------------------------
// Standby answers

void write_standby_function_list()
{
    print_function_list(stdout);
}

void write_standby_structure_list(int interfaces)
{
    print_structure_names(stdout, interfaces, true);
}

void write_standby_structure(const char* name, int interfaces_only)
{
    print_structure_definition(stdout, name, interfaces_only);
}
