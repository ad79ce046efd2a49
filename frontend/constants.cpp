// Constants: lookup and declaration over the global constants table.
// Module scopes (DeclareModule/Module/UseModule) are not built yet; until
// they are, every constant lives in the global table.
#include "frontend/constants.h"

#include <cstring>

#include "core/compilation_driver.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"

HashTable* constants_table = nullptr;

void init_constants()
{
    if (!constants_table) {
        constants_table = create_hash_table(sizeof(ConstantRecord), hash_flag_permanent);
    }
}

ConstantRecord* find_constant(const char* name)
{
    if (!constants_table) {
        return nullptr;
    }
    return reinterpret_cast<ConstantRecord*>(hash_find(constants_table, name));
}

namespace {

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

bool same_value(const ConstantRecord* record)
{
    uint32_t kind = record->flags & (constant_flag_float | constant_flag_string);
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

}  // namespace

ConstantRecord* declare_constant(const char* name)
{
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error(64);
        return nullptr;
    }
    init_constants();
    ConstantRecord* existing = find_constant(name);
    if (existing) {
        if (!same_value(existing)) {
            set_error_format(63, name);
            return nullptr;
        }
        return error_number ? nullptr : existing;
    }
    size_t length = std::strlen(name);
    uint32_t kind = pending_kind_flags();
    if (length > 0 && name[length - 1] == '$' && kind != constant_flag_string) {
        set_error(237);
        return nullptr;
    }
    const char* key = pool_strdup(name);
    ConstantRecord* record = static_cast<ConstantRecord*>(hash_add(constants_table, key));
    record->flags = kind;
    if (kind == constant_flag_string) {
        record->value.text = pool_strdup(pending_constant.text);
    } else if (kind == constant_flag_float) {
        record->value.float_value = pending_constant.float_value;
    } else {
        record->value.integer_value = pending_constant.integer_value;
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
}
