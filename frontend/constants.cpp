// Constants: lookup through the module scopes, declaration from the pending
// value, removal of user constants between compilations, and the loading of
// a constant as the current operand.
#include "frontend/constants.h"

#include <cstdio>
#include <cstring>

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"

HashTable* constants_table = nullptr;

void init_constants()
{
    if (!constants_table) {
        constants_table = create_hash_table(sizeof(ConstantRecord), hash_flag_permanent);
    }
}

namespace {

constexpr uint32_t kind_mask = constant_flag_float | constant_flag_string;

ConstantRecord* find_in(HashTable* table, const char* name)
{
    return table ? reinterpret_cast<ConstantRecord*>(hash_find(table, name)) : nullptr;
}

// Kind bits of the pending value, in the record's flag form.
uint32_t pending_kind_flags()
{
    if (pending_constant.kind == pending_kind_string) {
        return constant_flag_string;
    }
    if (pending_constant.kind == pending_kind_float) {
        return constant_flag_float;
    }
    return 0;
}

bool same_as_pending(const ConstantRecord* record)
{
    uint32_t kind = record->flags & kind_mask;
    if (kind != pending_kind_flags()) {
        return false;
    }
    if (kind == constant_flag_string) {
        return std::strcmp(record->value.text, pending_constant.text) == 0;
    }
    if (kind == constant_flag_float) {
        return record->value.float_value == pending_constant.float_value;
    }
    return record->value.integer_value == pending_constant.integer_value;
}

// The table that receives a new constant.
HashTable* declaration_table()
{
    if (current_module && current_module->constants) {
        return current_module->constants;
    }
    return constants_table;
}

}  // namespace

ConstantRecord* find_constant(const char* name)
{
    if (explicit_module) {
        ConstantRecord* record = find_in(explicit_module->constants, name);
        if (!record) {
            return nullptr;
        }
        if (!(record->flags & constant_flag_public)) {
            set_error_format(ERROR_MODULE_CONSTANT_NOT_PUBLIC, name);
            return nullptr;
        }
        explicit_module = nullptr;
        return record;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            ConstantRecord* record = find_in(module->constants, name);
            if (record && (record->flags & constant_flag_public)) {
                return record;
            }
        }
    }
    ConstantRecord* global = find_in(constants_table, name);
    if (!current_module) {
        return global;
    }
    if (global && (global->flags & (predefined_constant_flag | constant_flag_resident))) {
        return global;
    }
    return find_in(current_module->constants, name);
}

bool constants_have_same_value(const ConstantRecord* a, const ConstantRecord* b)
{
    uint32_t kind = a->flags & kind_mask;
    if (kind != (b->flags & kind_mask)) {
        return false;
    }
    if (kind == constant_flag_string) {
        return std::strcmp(a->value.text, b->value.text) == 0;
    }
    if (kind == constant_flag_float) {
        return a->value.float_value == b->value.float_value;
    }
    return a->value.integer_value == b->value.integer_value;
}

ConstantRecord* declare_constant(const char* name)
{
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error(ERROR_CONSTANT_NAME_START);
        return nullptr;
    }
    init_constants();
    ConstantRecord* existing = find_constant(name);
    if (error_number) {
        return nullptr;
    }
    if (existing) {
        if (!same_as_pending(existing)) {
            set_error_format(ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE, name);
            return nullptr;
        }
        bool redeclare_resident = module_section_state() == 1 && (existing->flags & constant_flag_resident);
        if (!redeclare_resident) {
            return error_number ? nullptr : existing;
        }
    }
    size_t length = std::strlen(name);
    uint32_t kind = pending_kind_flags();
    if (length > 0 && name[length - 1] == '$' && kind != constant_flag_string) {
        set_error(ERROR_NUMBER_ASSIGNED_TO_STRING_CONSTANT);
        return nullptr;
    }
    HashTable* table = declaration_table();
    const char* key = pool_strdup(name);
    ConstantRecord* record = static_cast<ConstantRecord*>(hash_add(table, key));
    record->flags = kind;
    if (kind == constant_flag_string) {
        record->value.text = pool_strdup(pending_constant.text);
    } else if (kind == constant_flag_float) {
        record->value.float_value = pending_constant.float_value;
    } else {
        record->value.integer_value = pending_constant.integer_value;
    }
    if (module_section_state() == 1) {
        record->flags |= constant_flag_public;
    }
    return record;
}

void free_user_constants()
{
    if (!constants_table) {
        return;
    }
    hash_reset_iterator(constants_table);
    while (HashEntry* entry = hash_next(constants_table)) {
        ConstantRecord* record = reinterpret_cast<ConstantRecord*>(entry);
        if (!(record->flags & constant_flag_resident)) {
            hash_unlink_current(constants_table);
            hash_free_entry(constants_table, entry);
        }
    }
    // The built-in constants went with them: nothing may write through the
    // references to their records until declare_builtin_constants renews them.
    constant_compiler_file = nullptr;
    constant_compiler_file_path = nullptr;
    constant_compiler_filename = nullptr;
    constant_compiler_home = nullptr;
    constant_compiler_procedure = nullptr;
    constant_compiler_module = nullptr;
    constant_compiler_line = nullptr;
    constant_compiler_enumeration_value = nullptr;
    constant_compiler_inline_assembly = nullptr;
    constant_compiler_enable_explicit = nullptr;
    constant_compiler_is_main_file = nullptr;
    constant_compiler_is_include_file = nullptr;
}

void load_constant_operand(const ConstantRecord* record)
{
    if (record->flags & constant_flag_float) {
        double value = record->value.float_value;
        int64_t truncated = 0;
        // Truncation toward zero; values beyond the int64 range keep the
        // nearest end instead of the undefined conversion.
        if (value != value) {
            truncated = 0;
        } else if (value >= 9223372036854775807.0) {
            truncated = INT64_MAX;
        } else if (value <= -9223372036854775808.0) {
            truncated = INT64_MIN;
        } else {
            truncated = static_cast<int64_t>(value);
        }
        current_operand.flags = OP_FLOAT | OP_DOUBLE;
        current_operand.kind = OPERAND_CONSTANT;
        current_operand.size = 4;
        current_operand.constant_float = value;
        current_operand.constant = truncated;
        std::snprintf(statement_word, STATEMENT_WORD_SIZE, "%lld", static_cast<long long>(truncated));
        return;
    }
    if (record->flags & constant_flag_string) {
        const char* text = record->value.text ? record->value.text : "";
        if (literal_write_pointer == literal_text) {
            size_t length = std::strlen(text);
            if (length > MAX_LITERAL_LENGTH) {
                length = MAX_LITERAL_LENGTH;
            }
            std::memcpy(literal_text, text, length);
            literal_text[length] = 0;
            literal_write_pointer = literal_text + length;
        }
        current_operand.flags = OP_STRING;
        current_operand.kind = OPERAND_STRING;
        return;
    }
    int64_t value = record->value.integer_value;
    current_operand.constant = value;
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.size = 8;
    current_operand.flags = fits_int32(value) ? 0u : static_cast<uint32_t>(OP_QUAD);
    current_operand.constant_float = static_cast<double>(value);
    std::snprintf(statement_word, STATEMENT_WORD_SIZE, "%lld", static_cast<long long>(value));
}
