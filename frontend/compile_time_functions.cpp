// SizeOf, OffsetOf, TypeOf, Defined, Subsystem and Bool: read their argument
// with the lexer and fold to a constant operand.
#include "frontend/compile_time_functions.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/arrays.h"
#include "frontend/conditions.h"
#include "frontend/constants.h"
#include "frontend/enumerations.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/interfaces.h"
#include "frontend/labels.h"
#include "frontend/lists_maps.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/residents.h"
#include "frontend/structures.h"
#include "frontend/variables.h"

namespace {

// The name of the argument: an optional "*" (pointer), an optional module
// prefix, then the word. Returns false with error 1 when no name follows.
bool read_argument_name(char* name, size_t capacity, bool* pointer)
{
    *pointer = false;
    read_token();
    if (error_number) {
        return false;
    }
    if (!statement_word[0] && token_code == '*') {
        *pointer = true;
        read_token();
        if (error_number) {
            return false;
        }
    }
    resolve_word_module_prefix();
    if (error_number) {
        return false;
    }
    if (!statement_word[0]) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    std::snprintf(name, capacity, "%s", statement_word);
    return true;
}

const FieldRecord* find_field(const StructureRecord* structure, const char* name)
{
    for (const FieldRecord* field = structure->first_field; field; field = field->next) {
        if (strcasecmp(field->name, name) == 0) {
            return field;
        }
    }
    return nullptr;
}

bool is_interface(const StructureRecord* structure)
{
    return structure && (structure->flags & STRUCT_INTERFACE);
}

// Reads the name after "\" into statement_word (with its operator).
bool read_member_name()
{
    read_token();
    if (error_number) {
        return false;
    }
    if (!statement_word[0]) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    return true;
}

// "(" and ")" after an interface method name; the token after them is read.
bool read_method_parentheses()
{
    if (token_code != '(') {
        set_error(ERROR_SYNTAX);
        return false;
    }
    read_operator();
    if (token_code != ')') {
        set_error(ERROR_SYNTAX);
        return false;
    }
    read_operator();
    return error_number == 0;
}

// The size of one field, times its element count for a static array.
int64_t field_size(const FieldRecord* field)
{
    if (field->flags & FIELD_INTERFACE) {
        return 8;
    }
    int64_t size = field->element_size;
    if (field->static_count >= 0) {
        size *= field->static_count;
    }
    return size;
}

int64_t type_of_field(const FieldRecord* field)
{
    if ((field->flags & FIELD_INTERFACE) || is_interface(field->structure)) {
        return 52;
    }
    return field->type;
}

// The structure behind a variable (a structured variable or a pointer to one).
StructureRecord* variable_structure(const VariableRecord* variable)
{
    return variable ? variable->structure : nullptr;
}

// "\field" (or "\method()") after a structure: the size, offset or type.
enum MemberQuery { MEMBER_SIZE, MEMBER_OFFSET, MEMBER_TYPE };

int64_t query_member(StructureRecord* structure, MemberQuery query)
{
    if (!read_member_name()) {
        return 0;
    }
    char member[STATEMENT_WORD_SIZE];
    std::snprintf(member, sizeof member, "%s", statement_word);
    if (is_interface(structure)) {
        int index = find_interface_method(structure);
        if (index <= 0) {
            if (query == MEMBER_SIZE) {
                set_error(ERROR_SYNTAX);
            } else {
                set_error_format(ERROR_INTERFACE_METHOD_NOT_FOUND, member);
            }
            return 0;
        }
        if (query == MEMBER_OFFSET) {
            if (!read_method_parentheses()) {
                return 0;
            }
            return static_cast<int64_t>(index) * 8 - 8;
        }
        if (token_code == '(' && !read_method_parentheses()) {
            return 0;
        }
        return query == MEMBER_SIZE ? 8 : 21;
    }
    const FieldRecord* field = find_field(structure, member);
    if (!field) {
        if (query == MEMBER_SIZE) {
            set_error(ERROR_SYNTAX);
        } else {
            set_error_format(ERROR_STRUCTURE_FIELD_NOT_FOUND, member);
        }
        return 0;
    }
    switch (query) {
    case MEMBER_SIZE:
        return field_size(field);
    case MEMBER_OFFSET:
        return field->offset;
    default:
        return type_of_field(field);
    }
}

// The argument of SizeOf and TypeOf: a structure type or, failing that, a
// variable (a pointer name is always a variable). Gives `not_found` when it
// is neither.
bool read_structure_or_variable(int32_t not_found, StructureRecord** structure, VariableRecord** variable)
{
    char name[STATEMENT_WORD_SIZE];
    bool pointer = false;
    if (!read_argument_name(name, sizeof name, &pointer)) {
        return false;
    }
    *structure = pointer ? nullptr : find_structure(name);
    *variable = nullptr;
    if (error_number) {
        return false;
    }
    if (!*structure) {
        *variable = find_variable_scoped(name, pointer);
        if (!*variable) {
            set_error(not_found);
            return false;
        }
    }
    return true;
}

int64_t eval_sizeof()
{
    StructureRecord* structure;
    VariableRecord* variable;
    if (!read_structure_or_variable(ERROR_SIZEOF_NEEDS_DECLARED_ITEM, &structure, &variable)) {
        return 0;
    }
    if (token_code == '\\') {
        StructureRecord* owner = structure ? structure : variable_structure(variable);
        if (!owner) {
            set_error(ERROR_SYNTAX);
            return 0;
        }
        return query_member(owner, MEMBER_SIZE);
    }
    if (structure) {
        return is_interface(structure) ? static_cast<int64_t>(structure->member_count) * 8 : structure->size;
    }
    return variable->size;
}

int64_t eval_offsetof()
{
    char name[STATEMENT_WORD_SIZE];
    bool pointer = false;
    if (!read_argument_name(name, sizeof name, &pointer)) {
        return 0;
    }
    StructureRecord* structure = find_structure(name);
    if (error_number) {
        return 0;
    }
    if (!structure) {
        set_error_format(ERROR_STRUCTURE_NOT_FOUND, name);
        return 0;
    }
    if (token_code != '\\') {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    return query_member(structure, MEMBER_OFFSET);
}

bool procedure_defined(const char* name)
{
    // Where a call finds it: after the prefix, in the modules in use, then in
    // the current module or the main code.
    return find_procedure_quietly(name) != nullptr;
}

}  // namespace

LibraryCommand* find_compiler_function(const char* name)
{
    static const char* const names[] = {"sizeof", "offsetof", "typeof", "defined", "subsystem", "bool"};
    if (!library_command_list || !name) {
        return nullptr;
    }
    // Every variable reference asks: most names are ruled out by their
    // first letter.
    switch (name[0] | 0x20) {
    case 's': case 'o': case 't': case 'd': case 'b': break;
    default: return nullptr;
    }
    bool known = false;
    for (const char* candidate : names) {
        known = known || strcasecmp(candidate, name) == 0;
    }
    if (!known) {
        return nullptr;
    }
    // The compiler functions are the commands that belong to no library.
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (!command->library && strcasecmp(command_name(command), name) == 0) {
            return command;
        }
    }
    return nullptr;
}

int64_t eval_typeof()
{
    StructureRecord* structure;
    VariableRecord* variable;
    if (!read_structure_or_variable(ERROR_TYPEOF_NEEDS_VARIABLE_OR_STRUCTURE, &structure, &variable)) {
        return 0;
    }
    if (token_code == '\\') {
        StructureRecord* owner = structure ? structure : variable_structure(variable);
        if (!owner) {
            set_error(ERROR_TYPEOF_NEEDS_VARIABLE_OR_STRUCTURE);
            return 0;
        }
        return query_member(owner, MEMBER_TYPE);
    }
    if (structure) {
        return is_interface(structure) ? 52 : 7;
    }
    if (is_interface(variable->structure)) {
        return 52;
    }
    return variable->type;
}

int64_t eval_defined()
{
    char name[STATEMENT_WORD_SIZE];
    bool pointer = false;
    bool module_prefix = false;
    bool constant_mark = false;
    read_token();
    if (error_number) {
        return 0;
    }
    if (!statement_word[0] && token_code == '#') {
        constant_mark = true;
        read_token();
    } else if (!statement_word[0] && token_code == '*') {
        pointer = true;
        read_token();
    }
    if (error_number) {
        return 0;
    }
    ModuleRecord* prefix = nullptr;
    if (resolve_word_module_prefix()) {
        if (error_number) {
            return 0;
        }
        module_prefix = true;
        prefix = explicit_module;
    }
    if (!statement_word[0] || token_code != ',') {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    std::snprintf(name, sizeof name, "%s", statement_word);

    // The kind: a numeric constant expression. The module prefix waits for
    // the lookup below, not for the names of the kind's expression.
    explicit_module = nullptr;
    no_output_depth++;
    compile_expression(EXPR_CONSTANT, MODE_PRESCAN);
    no_output_depth--;
    if (error_number) {
        return 0;
    }
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & OP_FLOAT)) {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    int64_t kind = current_operand.constant;
    explicit_module = prefix;

    bool found = false;
    switch (kind) {
    case DEFINED_STRUCTURE:
    case DEFINED_INTERFACE: {
        StructureRecord* structure = find_structure(name);
        found = structure && (is_interface(structure) == (kind == DEFINED_INTERFACE));
        break;
    }
    case DEFINED_LIST:
        found = find_list(name) != nullptr;
        break;
    case DEFINED_ARRAY:
        found = find_array(name) != nullptr;
        break;
    case DEFINED_MAP:
        found = find_map(name) != nullptr;
        break;
    case DEFINED_CONSTANT:
        found = find_constant(name) != nullptr;
        break;
    case DEFINED_VARIABLE:
        found = !constant_mark && find_variable_scoped(name, pointer) != nullptr;
        break;
    case DEFINED_PROCEDURE:
        found = procedure_defined(name);
        break;
    case DEFINED_LIBRARY_FUNCTION: {
        LibraryCommand* command = module_prefix ? nullptr : find_library_command(name);
        found = command && !(command->flags & command_hidden_flags);
        break;
    }
    case DEFINED_IMPORTED_FUNCTION:
        // A function found is counted as used, and its import library with it.
        found = find_imported_function(name) != nullptr;
        if (found) mark_imported_function_used(name, nullptr);
        break;
    case DEFINED_LABEL:
        found = find_label(name) != nullptr;
        break;
    case DEFINED_PROTOTYPE:
        found = find_prototype(name) != nullptr;
        break;
    case DEFINED_MACRO:
        found = find_macro(name) != nullptr;
        break;
    case DEFINED_ENUMERATION:
        found = find_public_module_item(name) != nullptr;
        break;
    default:
        set_error(ERROR_SYNTAX);
        return 0;
    }
    // A lookup that found nothing leaves a pending prefix behind.
    explicit_module = nullptr;
    if (error_number) {
        return 0;
    }
    return found ? 1 : 0;
}

namespace {

int64_t eval_subsystem()
{
    reset_literal_text();
    read_token();
    if (error_number) {
        return 0;
    }
    if (literal_length < 0 || statement_word[0]) {
        set_error_format(ERROR_LITERAL_STRING_EXPECTED_AFTER, "Subsystem");
        return 0;
    }
    const char* wanted = literal_text;
    if (subsystem_list) {
        for (ListNode* node = subsystem_list->first; node; node = node->next) {
            const char* given = *reinterpret_cast<char**>(reinterpret_cast<char*>(node) + sizeof(ListNode));
            if (given && strcasecmp(given, wanted) == 0) {
                return 1;
            }
        }
    }
    return 0;
}

// Bool folds a constant condition into *value and returns 1; a condition
// known only at run time becomes the 0 or 1 value of a register (the
// back end's Bool emission) and the result is 0.
int eval_bool(int64_t* value)
{
    token_code = '(';
    compile_expression(EXPR_CONDITION | EXPR_KEEP_FPU_RESULT | EXPR_KEEP_STRING_BASE, MODE_INTEGER);
    if (error_number || !prepare_truth_value_operand()) {
        return 1;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        if (current_operand.flags & OP_FLOAT) *value = current_operand.constant_float != 0.0 ? 1 : 0;
        else *value = current_operand.constant != 0 ? 1 : 0;
        return 1;
    }
    int32_t number = ++bool_label_counter;
    backend->take_evaluation_place();
    backend->emit_bool(number);
    backend->release_evaluation_place();
    if (!no_output_depth) forget_cached_list();
    return 0;
}

}  // namespace

void eval_compiler_function(const LibraryCommand* command)
{
    const char* name = command_name(command);
    int64_t value = 0;
    if (strcasecmp(name, "sizeof") == 0) {
        value = eval_sizeof();
    } else if (strcasecmp(name, "offsetof") == 0) {
        value = eval_offsetof();
    } else if (strcasecmp(name, "typeof") == 0) {
        value = eval_typeof();
    } else if (strcasecmp(name, "defined") == 0) {
        value = eval_defined();
    } else if (strcasecmp(name, "subsystem") == 0) {
        value = eval_subsystem();
    } else if (strcasecmp(name, "bool") == 0) {
        if (!eval_bool(&value)) {
            // A run-time value: the register the back end named.
            if (error_number) return;
            if (token_code != ')') {
                set_error(ERROR_SYNTAX);
                return;
            }
            current_operand.kind = OPERAND_REGISTER;
            current_operand.size = 8;
            current_operand.flags = OP_COMPILE_TIME_RESULT;
            read_operator();
            return;
        }
    } else {
        set_error(ERROR_SYNTAX);
    }
    if (error_number) {
        return;
    }
    if (token_code != ')') {
        set_error(ERROR_SYNTAX);
        return;
    }
    std::snprintf(statement_word, STATEMENT_WORD_SIZE, "%lld", static_cast<long long>(value));
    std::snprintf(current_operand.text, sizeof current_operand.text, "%lld", static_cast<long long>(value));
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.size = 8;
    current_operand.constant = value;
    current_operand.constant_float = static_cast<double>(value);
    current_operand.flags = OP_COMPILE_TIME_RESULT | (fits_int32(value) ? 0u : static_cast<uint32_t>(OP_QUAD));
    // The operator after ")".
    read_operator();
}
