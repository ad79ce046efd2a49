// Named enumerations: the header of an Enumeration block, its constant lines
// and the tables that let a later block of the same name continue numbering.
#include "frontend/enumerations.h"

#include <cstdio>
#include <cstring>

#include "core/core_globals.h"
#include "frontend/constants.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"

HashTable* enumeration_table = nullptr;
EnumerationRecord* current_enumeration = nullptr;
int32_t runtime_statement_flag = 0;

namespace {

// The record of an unnamed block, filled anew by each unnamed header.
EnumerationRecord unnamed_enumeration;

// Module scope entered by a header written "Module::Name", left at EndEnumeration.
// The block counts as part of the module's declaration section, so that its
// constants are public.
bool enumeration_scope_entered = false;
ModuleRecord* enumeration_saved_module = nullptr;
int32_t enumeration_saved_module_flags = 0;

HashTable* global_enumerations()
{
    if (!enumeration_table) {
        enumeration_table = create_hash_table(sizeof(EnumerationRecord), hash_flag_permanent);
    }
    return enumeration_table;
}

// The enumeration table of a module (".Main" shares the global one); made on
// first use.
HashTable* module_enumerations(ModuleRecord* module)
{
    if (!module || module == main_module) {
        return global_enumerations();
    }
    if (!module->enumerations) {
        module->enumerations = create_hash_table(sizeof(EnumerationRecord), 0);
    }
    return module->enumerations;
}

EnumerationRecord* find_in(HashTable* table, const char* name)
{
    return table ? reinterpret_cast<EnumerationRecord*>(hash_find(table, name)) : nullptr;
}

void set_enumeration_value_constant(int64_t value)
{
    if (constant_compiler_enumeration_value) {
        constant_compiler_enumeration_value->value.integer_value = value;
    }
}

bool is_operator_word_token(int32_t token)
{
    return token == TOKEN_TO || token == TOKEN_STEP || token == TOKEN_EXTENDS || token == TOKEN_AS ||
           token == TOKEN_XOR || token == TOKEN_NOT || token == TOKEN_AND || token == TOKEN_OR;
}

// The value of a constant expression at the parse pointer. Returns false
// with the error set when it is not an integer constant; `kind_error` is the
// error for a result of another kind, and with `failure_as_garbage` an
// expression that does not compile is error 4.
bool compile_integer_constant(int kind_error, int64_t* value, bool failure_as_garbage = true)
{
    no_output_depth++;
    compile_expression(EXPR_RESET_REGISTERS | EXPR_CONSTANT, MODE_PRESCAN);
    no_output_depth--;
    if (error_number) {
        if (failure_as_garbage && error_number != kind_error) {
            clear_error_state();
            set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        }
        return false;
    }
    if (current_operand.kind != OPERAND_CONSTANT || (current_operand.flags & OP_FLOAT)) {
        set_error(kind_error);
        return false;
    }
    *value = current_operand.constant;
    return true;
}

// Puts the parse pointer back on the single-character token just read, so
// that the expression compiler reads it again.
void step_back_to_token()
{
    if (token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END) {
        parse_pointer--;
    }
}

// The start value and Step after the name (or after the keyword).
void parse_start_and_step()
{
    if (token_code == TOKEN_END) {
        return;
    }
    if (token_code != TOKEN_STEP) {
        step_back_to_token();
        int64_t start = 0;
        if (!compile_integer_constant(ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED, &start)) {
            return;
        }
        current_enumeration->value = start;
    }
    if (token_code != TOKEN_STEP) {
        return;
    }
    if (current_enumeration->flags & enumeration_flag_binary) {
        set_error(ERROR_STEP_IN_ENUMERATIONBINARY);
        return;
    }
    read_operator();
    if (token_code == TOKEN_END) {
        set_error(ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP);
        return;
    }
    step_back_to_token();
    int64_t step = 0;
    if (!compile_integer_constant(ERROR_INTEGER_CONSTANT_EXPECTED_AFTER_STEP, &step)) {
        return;
    }
    current_enumeration->step = step;
}

}  // namespace

EnumerationRecord* find_public_module_item(const char* name)
{
    if (explicit_module) {
        EnumerationRecord* record = find_in(module_enumerations(explicit_module), name);
        if (!record) {
            return nullptr;
        }
        if (!(record->flags & enumeration_flag_public) && explicit_module != main_module) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
            return nullptr;
        }
        explicit_module = nullptr;
        return record;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module->enumerations) {
                continue;
            }
            EnumerationRecord* record = find_in(module->enumerations, name);
            if (record && (record->flags & enumeration_flag_public)) {
                return record;
            }
        }
    }
    if (!current_module) {
        return find_in(enumeration_table, name);
    }
    EnumerationRecord* global = find_in(enumeration_table, name);
    if (global && (global->flags & enumeration_flag_resident)) {
        return global;
    }
    return find_in(current_module->enumerations, name);
}

ConstantRecord* parse_enumeration_header()
{
    unnamed_enumeration.flags = runtime_statement_flag ? enumeration_flag_runtime : 0;
    unnamed_enumeration.step = 1;
    unnamed_enumeration.value = 0;
    if (in_enumeration == 2) {
        unnamed_enumeration.value = 1;
        unnamed_enumeration.flags |= enumeration_flag_binary;
    }
    current_enumeration = &unnamed_enumeration;
    enumeration_scope_entered = false;

    if (is_operator_word_token(token_code)) {
        set_error(ERROR_SYNTAX);
    } else if (token_code == TOKEN_NO_OPERATOR) {
        // A name follows the keyword.
        read_token();
        if (error_number) {
            set_enumeration_value_constant(current_enumeration->value);
            return constant_compiler_enumeration_value;
        }
        char name[STATEMENT_WORD_SIZE];
        std::snprintf(name, sizeof name, "%s", statement_word);
        ModuleRecord* prefix_module = nullptr;
        if (token_code == TOKEN_MODULE_SEPARATOR) {
            resolve_module_prefix(name);
            prefix_module = explicit_module;
            std::snprintf(name, sizeof name, "%s", statement_word);
        }
        if (!error_number && (!name[0] || !identifier_start_chars[static_cast<unsigned char>(name[0])])) {
            set_error(ERROR_SYNTAX);
        }
        if (!error_number) {
            EnumerationRecord* record = find_public_module_item(name);
            if (record) {
                current_enumeration = record;
                if (token_code != TOKEN_END) {
                    set_error_format(ERROR_ENUMERATION_ATTRIBUTES_CHANGED, name);
                }
                if (prefix_module && prefix_module != main_module) {
                    enumeration_saved_module = current_module;
                    enumeration_saved_module_flags = prefix_module->flags;
                    current_module = prefix_module;
                    current_module->flags |= module_flag_declared_only;
                    enumeration_scope_entered = true;
                }
            } else if (!error_number) {
                HashTable* table = module_section_state() ? module_enumerations(current_module)
                                                          : global_enumerations();
                record = static_cast<EnumerationRecord*>(hash_add(table, pool_strdup(name)));
                record->flags = unnamed_enumeration.flags;
                record->step = 1;
                record->value = unnamed_enumeration.value;
                if (module_section_state() == 1) {
                    record->flags |= enumeration_flag_public;
                }
                current_enumeration = record;
                parse_start_and_step();
            }
        }
    } else {
        parse_start_and_step();
    }
    set_enumeration_value_constant(current_enumeration->value);
    return constant_compiler_enumeration_value;
}

void end_named_enumeration()
{
    current_enumeration = nullptr;
    if (enumeration_scope_entered) {
        current_module->flags = enumeration_saved_module_flags;
        current_module = enumeration_saved_module;
        enumeration_scope_entered = false;
        enumeration_saved_module = nullptr;
    }
}

void compile_enumeration_constant_line()
{
    EnumerationRecord* record = current_enumeration ? current_enumeration : &unnamed_enumeration;
    while (*parse_pointer == ' ' || *parse_pointer == '\t') {
        parse_pointer++;
    }
    if (*parse_pointer != '#') {
        set_error(ERROR_ENUMERATION_ONLY_CONSTANTS);
        return;
    }
    parse_pointer++;
    read_token();
    if (error_number) {
        return;
    }
    char name[STATEMENT_WORD_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (!name[0] || !identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error(ERROR_CONSTANT_NAME_START);
        return;
    }
    int64_t value = record->value;
    if (token_code == '=') {
        if (!compile_integer_constant(ERROR_ENUMERATION_INTEGER_CONSTANT_EXPECTED, &value, false)) {
            return;
        }
    }
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return;
    }
    pending_constant.kind = pending_kind_integer;
    pending_constant.integer_value = value;
    ConstantRecord* constant = declare_constant(name);
    if (!constant) {
        return;
    }
    if (record->flags & enumeration_flag_runtime) {
        constant->flags |= constant_flag_runtime;
    }
    // The next value: plus the step, or doubled (1 after 0). Unsigned
    // arithmetic wraps instead of overflowing.
    uint64_t current = static_cast<uint64_t>(value);
    if (record->flags & enumeration_flag_binary) {
        record->value = current == 0 ? 1 : static_cast<int64_t>(current * 2);
    } else {
        record->value = static_cast<int64_t>(current + static_cast<uint64_t>(record->step));
    }
    set_enumeration_value_constant(record->value);
}

void free_user_enumerations()
{
    current_enumeration = nullptr;
    enumeration_scope_entered = false;
    if (!enumeration_table) {
        return;
    }
    hash_reset_iterator(enumeration_table);
    while (HashEntry* entry = hash_next(enumeration_table)) {
        EnumerationRecord* record = reinterpret_cast<EnumerationRecord*>(entry);
        if (!(record->flags & enumeration_flag_resident)) {
            hash_unlink_current(enumeration_table);
            hash_free_entry(enumeration_table, entry);
        }
    }
}
