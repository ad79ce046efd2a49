// Interfaces: the method lines of an Interface block (name, return type and
// parameter list), collected into the method table under construction that
// end_structure copies into the interface's record; the method lookup.
#include "frontend/interfaces.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/core_globals.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/structures.h"
#include "frontend/variables.h"

namespace {

constexpr int max_method_parameters = 255;

void skip_blank_bytes()
{
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}


// The default value after "=": a constant number (0 only for pseudo-types)
// or, for string parameters, a literal string.
bool parse_default_value(int32_t type, int64_t* value)
{
    if (type == TYPE_STRING || type == TYPE_FIXED_STRING) {
        // The literal is gathered after what the buffer holds; take it out again.
        char* literal_start = literal_write_pointer;
        read_token();
        refuse_word_operator();
        if (literal_length < 0) {
            literal_write_pointer = literal_start;
            set_error(ERROR_SYNTAX);
            return false;
        }
        char* text = pool_strndup(literal_start, (size_t)(literal_write_pointer - literal_start));
        literal_write_pointer = literal_start;
        *literal_write_pointer = 0;
        std::memcpy(value, &text, sizeof text);
        return true;
    }
    no_output_depth++;
    compile_expression(0, 0);
    no_output_depth--;
    if (error_number) return false;
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & OP_STRING)) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    bool is_float = (current_operand.flags & OP_FLOAT) != 0;
    if (type >= TYPE_P_ASCII && type <= TYPE_P_VARIANT && (is_float || current_operand.constant != 0)) {
        set_error(ERROR_PSEUDOTYPE_DEFAULT_NOT_ZERO);
        return false;
    }
    if (type == TYPE_FLOAT || type == TYPE_DOUBLE) {
        double real = is_float ? current_operand.constant_float : (double)current_operand.constant;
        std::memcpy(value, &real, sizeof real);
    } else if (is_float) {
        std::memcpy(value, &current_operand.constant_float, sizeof *value);
    } else {
        *value = current_operand.constant;
    }
    return true;
}

}  // namespace

// The container form after the name of an Array, List or Map parameter:
// "(" and ")", for an array with its dimension count between. Returns the
// element descriptor, or null with the error state set.
ParameterDescriptor* parse_container_parameter(int kind, const char* name)
{
    if (token_code != '(') {
        set_error(ERROR_SYNTAX);
        return nullptr;
    }
    int64_t dimensions = 0;
    skip_blank_bytes();
    if (kind == TYPE_ARRAY) {
        no_output_depth++;
        compile_expression(0, 0);
        no_output_depth--;
        if (error_number) return nullptr;
        bool constant = current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & (OP_FLOAT | OP_STRING));
        if (!constant || current_operand.constant < 1 || current_operand.constant > 255) {
            set_error_format(ERROR_ARRAY_DIMENSION_COUNT, name);
            return nullptr;
        }
        dimensions = current_operand.constant;
        if (token_code != ')') {
            set_error(ERROR_SYNTAX);
            return nullptr;
        }
    } else {
        if (*parse_pointer != ')') {
            set_error(ERROR_SYNTAX);
            return nullptr;
        }
        parse_pointer++;
    }
    read_operator();
    refuse_word_operator();
    auto* descriptor = static_cast<ParameterDescriptor*>(pool_alloc(sizeof(ParameterDescriptor)));
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->type = (uint8_t)current_type.code;
    descriptor->dimension_count = (uint8_t)dimensions;
    descriptor->structure = current_type.structure;
    return descriptor;
}

uint8_t method_return_flags(int32_t code)
{
    switch (code) {
    case TYPE_STRING: return METHOD_RETURNS_STRING;
    case TYPE_FLOAT: return METHOD_RETURNS_FLOAT;
    case TYPE_INTEGER: return METHOD_RETURNS_INTEGER;
    case TYPE_QUAD: return METHOD_RETURNS_QUAD;
    case TYPE_DOUBLE: return METHOD_RETURNS_DOUBLE;
    default: return METHOD_RETURNS_OTHER;
    }
}

void compile_interface_method_line()
{
    read_token();
    if (error_number) return;
    declare_interface_method();
}

void declare_interface_method()
{
    char name[STATEMENT_WORD_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error_format(ERROR_INVALID_NAME, name);
        return;
    }
    for (int i = 0; i < interface_method_count; i++) {
        if (strcasecmp(interface_methods[i].name, name) == 0) {
            set_error_format(ERROR_DUPLICATED_INTERFACE_METHOD, name);
            return;
        }
    }
    reserve_interface_methods(interface_method_count + 1);
    InterfaceMethod method{};
    method.name = pool_strdup(name);
    parse_type_suffix(TYPE_SUFFIX_RETURN);
    if (error_number) return;
    if (current_type.code == TYPE_STRUCTURE) {
        set_error(ERROR_STRUCTURE_PROCEDURE_RETURN);
        return;
    }
    method.flags = method_return_flags(current_type.code);
    if (token_code != '(') {
        set_error(ERROR_SYNTAX);
        return;
    }

    ParameterRecord parameters[max_method_parameters];
    int64_t defaults[max_method_parameters];
    int count = 0;
    int optional = 0;
    for (;;) {
        char* parameter_start = parse_pointer;
        read_token();
        int kind = 0;
        if (statement_word[0] && (token_code == TOKEN_NO_OPERATOR || token_code == '*')) {
            if (strcasecmp(statement_word, "Array") == 0) kind = TYPE_ARRAY;
            else if (strcasecmp(statement_word, "List") == 0) kind = TYPE_LIST;
            else if (strcasecmp(statement_word, "Map") == 0) kind = TYPE_MAP;
        }
        if (error_number) return;
        if (kind) {
            // Reading restarts at the name (a '*' already read stays read).
            if (token_code == '*') parse_pointer--;
        } else {
            parse_pointer = parameter_start;
        }
        skip_blank_bytes();
        if (*parse_pointer == '"' || (*parse_pointer == '~' && parse_pointer[1] == '"')) {
            set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
            return;
        }
        bool pointer = false;
        if (*parse_pointer == '*') {
            pointer = true;
            parse_pointer++;
        }
        read_token();
        if (error_number) return;
        if (literal_length >= 0) {
            set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
            return;
        }
        if (!statement_word[0]) {
            if (token_code == ')' && count == 0 && !pointer && !kind) break;
            set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
            return;
        }
        char parameter_name[STATEMENT_WORD_SIZE];
        std::snprintf(parameter_name, sizeof parameter_name, "%s", statement_word);
        if (!identifier_start_chars[static_cast<unsigned char>(parameter_name[0])]) {
            set_error_format(ERROR_INVALID_NAME, parameter_name);
            return;
        }
        parse_type_suffix(TYPE_SUFFIX_PARAMETER);
        if (error_number) return;
        if (count >= max_method_parameters) {
            set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
            return;
        }
        ParameterRecord parameter{};
        if (kind) {
            ParameterDescriptor* descriptor = parse_container_parameter(kind, parameter_name);
            if (!descriptor) return;
            descriptor->pointer = (uint8_t)pointer;
            parameter.type = (uint8_t)kind;
            parameter.size = 8;
            parameter.element_type = descriptor;
            if (optional) {
                set_error(ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
                return;
            }
        } else {
            if (current_type.code == TYPE_STRUCTURE && !pointer) {
                set_error(ERROR_SYNTAX);
                return;
            }
            int32_t code = current_type.code;
            if (pointer || code == TYPE_STRUCTURE || code == TYPE_FIXED_STRING) code = TYPE_INTEGER;
            parameter.type = (uint8_t)code;
            parameter.size = (uint8_t)(code == TYPE_INTEGER ? 8 : type_value_size(code, nullptr));
            if (token_code == '=') {
                if (!parse_default_value(current_type.code == TYPE_FIXED_STRING ? TYPE_STRING : code, &defaults[optional])) {
                    return;
                }
                optional++;
            } else if (optional) {
                set_error(ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
                return;
            }
        }
        parameters[count++] = parameter;
        if (token_code == ',') continue;
        if (token_code == ')' || token_code == TOKEN_END) break;
        set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
        return;
    }
    if (error_number) return;
    if (token_code == ')') {
        read_operator();
        refuse_word_operator();
    }
    method.parameter_count = (uint8_t)count;
    method.optional_count = (uint8_t)optional;
    if (count) {
        method.parameters = static_cast<ParameterRecord*>(pool_alloc(sizeof(ParameterRecord) * count));
        std::memcpy(method.parameters, parameters, sizeof(ParameterRecord) * count);
    }
    if (optional) {
        method.default_values = static_cast<int64_t*>(pool_alloc(sizeof(int64_t) * optional));
        std::memcpy(method.default_values, defaults, sizeof(int64_t) * optional);
    }
    interface_methods[interface_method_count++] = method;
}

int find_interface_method(const StructureRecord* interface)
{
    if (!interface || !interface->methods) return 0;
    for (int i = 0; i < interface->member_count; i++) {
        if (strcasecmp(interface->methods[i].name, statement_word) == 0) return i + 1;
    }
    return 0;
}

int count_pseudotype_parameters(const InterfaceMethod* method)
{
    int count = 0;
    for (int i = 0; i < method->parameter_count; i++) {
        if (method->parameters[i].type >= TYPE_P_ASCII && method->parameters[i].type <= TYPE_P_UTF8) count++;
    }
    return count;
}
