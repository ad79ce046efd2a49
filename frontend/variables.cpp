#include "frontend/variables.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "core/text_format.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/procedures.h"
#include "frontend/structure_fields.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/literal_strings.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/other_statements.h"
#include "frontend/procedures.h"
#include "frontend/residents.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/strings.h"
#include "frontend/structures.h"

HashTable* variable_table = nullptr;
CursorList* data_item_list = nullptr;
CursorList* init_item_list = nullptr;
int32_t global_data_offset = 0;
int32_t local_frame_offset = 40;
int32_t thread_local_offset = 0;
int32_t declaration_mode = DECLARE_NONE;
int32_t pointer_flag = 0;
CurrentType current_type;
CurrentType default_type;
VariableRecord* current_variable = nullptr;
char current_procedure_name[130] = {};
int32_t current_procedure_id = 0;
int32_t structures_need_init = 0;
int32_t strings_used = 0;
int32_t init_items_exist = 0;

namespace {

void set_integer_type(CurrentType* type) {
    memset(type, 0, sizeof *type);
    type->size = 8;
    type->code = TYPE_INTEGER;
    strcpy(type->name, "i");
}

void set_string_type(CurrentType* type) {
    memset(type, 0, sizeof *type);
    type->size = 8;
    type->code = TYPE_STRING;
    strcpy(type->name, "s");
}

// The statement's keyword was written with '$' ("Define$", "Procedure$").
bool keyword_has_dollar() {
    const char* p = statement_start;
    if (!p) return false;
    while (*p == ' ' || *p == '\t') p++;
    while (identifier_chars[(unsigned char)*p]) p++;
    return *p == '$';
}

// The name of a key: after "+" and the two-letter prefix.
const char* key_name(const char* key) {
    if (key[0] == '+') key++;
    return key + 2;
}

bool key_is_pointer(const char* key) {
    if (key[0] == '+') key++;
    return key[0] == 'p';
}

bool is_one_letter_type(const char* name) {
    return name[0] && (!name[1] || (name[1] == '{'));
}

}  // namespace

int32_t native_type_size(int32_t code) {
    switch (code) {
    case TYPE_BYTE: case TYPE_ASCII: return 1;
    case TYPE_WORD: case TYPE_CHARACTER: case TYPE_UNICODE: return 2;
    case TYPE_LONG: case TYPE_FLOAT: return 4;
    case TYPE_STRING: case TYPE_DOUBLE: case TYPE_QUAD: case TYPE_INTEGER: return 8;
    default: return 0;
    }
}

const char* get_type_suffix(int32_t code) {
    switch (code) {
    case TYPE_BYTE: return ".b";
    case TYPE_WORD: return ".w";
    case TYPE_FLOAT: return ".f";
    case TYPE_CHARACTER: return ".c";
    case TYPE_DOUBLE: return ".d";
    case TYPE_QUAD: return ".q";
    case TYPE_P_ASCII: return ".p-ascii";
    case TYPE_P_UNICODE: return ".p-unicode";
    case TYPE_P_BSTR: return ".p-bstr";
    case TYPE_P_UTF8: return ".p-utf8";
    case TYPE_P_VARIANT: return ".p-variant";
    case TYPE_INTEGER: return ".i";
    case TYPE_ASCII: return ".a";
    case TYPE_UNICODE: return ".u";
    default: return "";
    }
}

void init_variables() {
    data_item_list = create_list(sizeof(DataItem), 0);
    init_item_list = create_list(sizeof(InitItem), 0);
    variable_table = create_hash_table(sizeof(VariableRecord), 0);
    global_data_offset = 0;
    local_frame_offset = 40;
    thread_local_offset = 0;
    declaration_mode = DECLARE_NONE;
    pointer_flag = 0;
    current_variable = nullptr;
    current_procedure_name[0] = 0;
    current_procedure_id = 0;
    structures_need_init = 0;
    strings_used = 0;
    init_items_exist = 0;
    set_integer_type(&default_type);
    set_integer_type(&current_type);
}

VariableRecord* declare_data_pointer_variable() {
    CurrentType type;
    set_integer_type(&type);
    VariableRecord* variable = declare_variable("v_ZD_DataPointer", type, DECLARE_NONE);
    if (variable) variable->flags |= VAR_DATA_POINTER | VAR_GLOBAL;
    return variable;
}

// The key of a variable: "+" for a local one, then "p_" or "v_", then the name.
// The name is `name_length` bytes long; it is cut to what the key holds.
static void build_variable_key(char* key, size_t size, const char* name, size_t name_length, bool local, bool pointer) {
    size_t used = 0;
    if (local) key[used++] = '+';
    key[used++] = pointer ? 'p' : 'v';
    key[used++] = '_';
    if (name_length > size - used - 1) name_length = size - used - 1;
    memcpy(key + used, name, name_length);
    key[used + name_length] = 0;
}

const char* make_variable_key(const char* name, bool local, bool pointer) {
    static char key[MAX_WORD_LENGTH + 8];
    build_variable_key(key, sizeof key, name, strlen(name), local, pointer);
    return key;
}

namespace {

VariableRecord* find_in_table(HashTable* table, const char* key) {
    return table ? reinterpret_cast<VariableRecord*>(hash_find(table, key)) : nullptr;
}

// The table a new variable of the key goes into: a module section's own
// for the module's variables, the global one for the main scope and every
// procedure local.
HashTable* declaration_table(const char* key) {
    if (key[0] != '+' && current_module && module_section_state() != 0) {
        if (!current_module->variables) current_module->variables = create_hash_table(sizeof(VariableRecord), 0);
        return current_module->variables;
    }
    return variable_table;
}

}  // namespace

VariableRecord* find_variable(const char* key) {
    if (!variable_table) return nullptr;
    if (key[0] == '+') return explicit_module ? nullptr : find_in_table(variable_table, key);
    if (explicit_module) {
        // Only the named module's table; its private items are the
        // module's own.
        VariableRecord* variable = find_in_table(explicit_module->variables, key);
        if (variable && !(variable->flags & VAR_PUBLIC) && explicit_module != current_module) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, get_key_display_name(key));
            return nullptr;
        }
        if (variable) explicit_module = nullptr;
        return variable;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module) continue;
            VariableRecord* variable = find_in_table(module->variables, key);
            if (variable && (module == current_module || (variable->flags & VAR_PUBLIC))) return variable;
        }
    }
    if (current_module && module_section_state() != 0) return nullptr;
    return find_in_table(variable_table, key);
}

VariableRecord* find_local_variable(const char* name, bool pointer) {
    return find_variable(make_variable_key(name, true, pointer));
}

VariableRecord* find_global_variable(const char* name, bool pointer) {
    return find_variable(make_variable_key(name, false, pointer));
}

VariableRecord* find_variable_scoped(const char* name, bool pointer) {
    if (in_procedure) {
        if (VariableRecord* local = find_local_variable(name, pointer)) return local;
    }
    VariableRecord* global = find_global_variable(name, pointer);
    if (global && in_procedure && !(global->flags & (VAR_GLOBAL | VAR_SHARED))) return nullptr;
    return global;
}

const char* get_key_display_name(const char* key) {
    static char text[MAX_WORD_LENGTH + 8];
    format_to_buffer(text, sizeof text, "%s%s", key_is_pointer(key) ? "*" : "", key_name(key));
    return text;
}

const char* get_variable_display_name(const VariableRecord* variable) {
    return get_key_display_name(variable_key(variable));
}

DataItem* add_data_item(const char* name, int32_t size, uint8_t kind, void* object) {
    char procedure[sizeof current_procedure_name];
    size_t i = 0;
    for (; current_procedure_name[i] && i + 1 < sizeof procedure; i++) {
        char c = current_procedure_name[i];
        procedure[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    }
    procedure[i] = 0;
    // Inside a module the module's name goes in front, as for labels, so
    // that same-named procedures of two modules keep their own items.
    char module[MAX_WORD_LENGTH + 2] = "";
    if (current_module && current_module->entry.key && current_module->entry.key[0] != '.') {
        size_t j = 0;
        for (const char* c = current_module->entry.key; *c && j + 2 < sizeof module; c++, j++)
            module[j] = (*c >= 'A' && *c <= 'Z') ? (char)(*c - 'A' + 'a') : *c;
        module[j++] = '.';
        module[j] = 0;
    }
    char label[512];
    format_to_buffer(label, sizeof label, "%sso_%s.%s", module, procedure, name);
    list_reset_cursor(data_item_list);
    while (list_next(data_item_list)) {}
    auto* item = static_cast<DataItem*>(list_add(data_item_list));
    item->label = pool_strdup(label);
    item->size = size;
    item->kind = kind;
    item->initialised = 0;
    item->value = 0;
    item->object = object;
    item->procedure = open_procedure();
    return item;
}

InitItem* register_init_item(uint8_t kind, void* object) {
    list_reset_cursor(init_item_list);
    while (list_next(init_item_list)) {}
    auto* item = static_cast<InitItem*>(list_add(init_item_list));
    item->kind = kind;
    item->initialised = 0;
    item->value = 0;
    item->object = object;
    if (kind == TYPE_STRUCTURE) structures_need_init = 1;
    if (kind == TYPE_STRING) strings_used = 1;
    init_items_exist = 1;
    return item;
}

bool grow_data_area(int32_t& area_end, int64_t bytes) {
    int64_t end = int64_t(area_end) + bytes;
    if (bytes < 0 || end > largest_data_area) {
        set_error(ERROR_NUMBER_TOO_BIG);
        return false;
    }
    area_end = static_cast<int32_t>(end);
    return true;
}

VariableRecord* declare_variable(const char* key, const CurrentType& type, int32_t mode) {
    bool pointer = key_is_pointer(key);
    if (!pointer && is_keyword(key_name(key))) {
        set_error_format(ERROR_VARIABLE_NAMED_AS_KEYWORD, key_name(key));
        return nullptr;
    }
    int32_t size = type.size;
    if (pointer) {
        if (type.given && type.code != TYPE_STRUCTURE && !type.prototype &&
            is_one_letter_type(type.name)) {
            set_error(ERROR_NATIVE_TYPE_POINTER);
            return nullptr;
        }
        size = 8;
    }
    // A variable that would end past the largest data area (a huge
    // structure, which a resident file can bring) is refused.
    const bool in_data_area = key[0] != '+' || mode == DECLARE_STATIC;
    const int64_t purifier_gap = purifier_enabled ? 4 : 0;
    int64_t area_end;
    if (in_data_area && mode == DECLARE_THREADED)
        area_end = ((int64_t(thread_local_offset) + 7) & ~int64_t(7)) + size;
    else if (in_data_area) area_end = int64_t(global_data_offset) + size + purifier_gap;
    else area_end = ((int64_t(local_frame_offset) + 7) & ~int64_t(7)) + size + purifier_gap;
    if (size < 0 || area_end > largest_data_area) {
        set_error(ERROR_NUMBER_TOO_BIG);
        return nullptr;
    }
    auto* variable = static_cast<VariableRecord*>(hash_add(declaration_table(key), pool_strdup(key)));
    variable->type = (uint8_t)type.code;
    variable->size = size;
    variable->pointer = pointer ? 1 : 0;
    variable->flags = module_section_state() == 1 ? VAR_PUBLIC : 0;
    variable->structure = type.code == TYPE_STRUCTURE ? type.structure : nullptr;
    variable->prototype = nullptr;
    variable->item = nullptr;
    variable->module = nullptr;
    variable->symbol = nullptr;
    // A module's variable carries the module (its symbols get the prefix).
    if (key[0] != '+' && current_module && module_section_state() != 0) variable->module = current_module;

    if (in_data_area) {
        if (mode == DECLARE_THREADED) {
            variable->offset = (thread_local_offset + 7) & ~7;
            variable->flags |= VAR_THREADED | VAR_GLOBAL;
            thread_local_offset = variable->offset + size;
            variable->item = register_init_item(variable->type, variable);
        } else {
            variable->offset = global_data_offset;
            global_data_offset += size + (purifier_enabled ? 4 : 0);
        }
    } else {
        variable->offset = (local_frame_offset + 7) & ~7;
        local_frame_offset = variable->offset + size;
        if (purifier_enabled) local_frame_offset += 4;
    }
    if (mode == DECLARE_GLOBAL) variable->flags |= VAR_GLOBAL;
    if (mode == DECLARE_STATIC) {
        variable->item = add_data_item(key_name(key), size, 255, variable);
        variable->flags |= VAR_STATIC;
    }
    variable->width = size;
    if ((variable->type == TYPE_STRUCTURE && !pointer) || variable->type == TYPE_P_VARIANT) variable->width = 8;
    if (pointer) variable->width = 8;
    return variable;
}

// The current operand names the variable.
static void set_operand_to_variable(VariableRecord* variable) {
    const char* text = backend->format_variable_operand(variable);
    copy_text(current_operand.text, sizeof current_operand.text, text);
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.size = variable->width;
    current_operand.constant = 0;
    uint32_t flags = current_operand.flags & OP_COMPUTED;
    if (variable->pointer) {
        flags |= OP_POINTER;
    } else {
        switch (variable->type) {
        case TYPE_FLOAT: flags |= OP_FLOAT; break;
        case TYPE_DOUBLE: flags |= OP_FLOAT | OP_DOUBLE; break;
        case TYPE_QUAD: flags |= OP_QUAD; break;
        case TYPE_CHARACTER: case TYPE_UNICODE: case TYPE_ASCII: flags |= OP_UNSIGNED; break;
        case TYPE_STRING: flags |= OP_STRING; current_operand.kind = OPERAND_STRING; break;
        case TYPE_FIXED_STRING:
            flags |= OP_STRING | OP_FIXED_STRING;
            current_operand.kind = OPERAND_STRING;
            break;
        case TYPE_STRUCTURE:
            // An interface variable holds an object's address: a plain value.
            if (variable->structure && (variable->structure->flags & STRUCT_INTERFACE)) flags |= OP_POINTER;
            else flags |= OP_STRUCTURE;
            break;
        default: break;
        }
    }
    current_operand.flags = flags;
}

VariableRecord* resolve_variable(int mode) { return resolve_variable_as(mode, declaration_mode, pointer_flag != 0); }

VariableRecord* resolve_variable_as(int mode, int32_t declaring, bool pointer) {
    const char* name = statement_word;
    if (mode == VARIABLE_FIND_OR_CREATE && !identifier_start_chars[(unsigned char)name[0]]) {
        set_error_format(ERROR_INVALID_NAME, name);
        return nullptr;
    }
    if (explicit_enabled && declaring == DECLARE_NONE) mode = VARIABLE_FIND;
    // A name written with '$' is a string.
    size_t name_length = strlen(name);
    if (name_length > 1 && name[name_length - 1] == '$' && !current_type.given) {
        current_type.code = TYPE_STRING;
        current_type.size = 8;
        current_type.structure = nullptr;
        current_type.prototype = nullptr;
    }
    bool local_scope = in_procedure != 0;
    char global_key[MAX_WORD_LENGTH + 8];
    char local_key_text[MAX_WORD_LENGTH + 8];
    build_variable_key(global_key, sizeof global_key, name, name_length, false, pointer);
    // The procedure-local key, built only where a lookup needs it (the main
    // code's references never do).
    bool local_key_built = false;
    auto local_key = [&]() -> const char* {
        if (!local_key_built) {
            build_variable_key(local_key_text, sizeof local_key_text, name, name_length, true, pointer);
            local_key_built = true;
        }
        return local_key_text;
    };
    const bool prefixed = explicit_module != nullptr;
    VariableRecord* variable = find_variable(global_key);
    if (error_number) return nullptr;
    bool created = false;
    if (prefixed) {
        // "Module::name": the module's variable or nothing.
        explicit_module = nullptr;
        if (!variable) {
            set_error_format(ERROR_MODULE_VARIABLE_NOT_FOUND, name);
            return nullptr;
        }
    }

    if (local_scope && (declaring == DECLARE_PROTECTED || declaring == DECLARE_STATIC)) {
        if (variable && (variable->flags & VAR_SHARED)) {
            set_error_format(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED, get_key_display_name(global_key));
            return nullptr;
        }
        variable = find_variable(local_key());
        if (variable && declaring == DECLARE_PROTECTED) {
            set_error_format(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED, get_key_display_name(global_key));
            return nullptr;
        }
        if (!variable) {
            variable = declare_variable(local_key(), current_type, declaring);
            created = true;
        }
    } else if (variable) {
        if (declaring == DECLARE_GLOBAL &&
            (!(variable->flags & VAR_GLOBAL) || (variable->flags & VAR_THREADED))) {
            set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE, get_key_display_name(global_key));
            return nullptr;
        }
        if (declaring == DECLARE_DEFINE && (variable->flags & (VAR_GLOBAL | VAR_THREADED))) {
            set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE, get_key_display_name(global_key));
            return nullptr;
        }
        if (local_scope && !prefixed) {
            // Another module's variable is seen from a procedure as a
            // Global one is.
            bool visible = (variable->flags & (VAR_GLOBAL | VAR_SHARED)) != 0 || variable->module != current_module;
            if (!visible && declaring != DECLARE_SHARED) {
                VariableRecord* local = find_variable(local_key());
                if (!local && mode == VARIABLE_FIND_OR_CREATE) {
                    local = declare_variable(local_key(), current_type, declaring);
                    created = true;
                }
                variable = local;
            } else if ((variable->flags & VAR_GLOBAL) && declaring != DECLARE_SHARED &&
                       !(variable->flags & VAR_SHARED)) {
                if (VariableRecord* local = find_variable(local_key())) variable = local;
            }
        }
    } else {
        if (!local_scope || declaring == DECLARE_SHARED || declaring == DECLARE_GLOBAL) {
            if (local_scope && declaring == DECLARE_GLOBAL && find_variable(local_key())) {
                set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE, get_key_display_name(global_key));
                return nullptr;
            }
            if (mode == VARIABLE_FIND_OR_CREATE) {
                variable = declare_variable(global_key, current_type, declaring);
                created = true;
            }
        } else {
            variable = find_variable(local_key());
            if (!variable && mode == VARIABLE_FIND_OR_CREATE) {
                variable = declare_variable(local_key(), current_type, declaring);
                created = true;
            }
        }
    }
    if (error_number) return nullptr;
    if (!variable) {
        if (explicit_enabled) set_error_format(ERROR_EXPLICIT_VARIABLE_NOT_DECLARED, get_key_display_name(global_key));
        return nullptr;
    }

    if (!created && (current_type.given || declaring == DECLARE_PROTECTED)) {
        bool same = variable->type == current_type.code;
        if (variable->type == TYPE_FIXED_STRING && current_type.code == TYPE_STRING) same = true;
        if (same && variable->type == TYPE_STRUCTURE && variable->structure != current_type.structure) same = false;
        if (!same) {
            set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE, get_variable_display_name(variable));
            return nullptr;
        }
        if (variable->type == TYPE_FIXED_STRING && current_type.code == TYPE_FIXED_STRING &&
            variable->size != current_type.size) {
            set_error(ERROR_FIXED_STRING_SIZE_CHANGED);
            return nullptr;
        }
    }
    if (current_type.prototype) {
        if (!created && variable->prototype && variable->prototype != current_type.prototype) {
            set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE, get_variable_display_name(variable));
            return nullptr;
        }
        if (find_procedure(name)) {
            set_error_format(ERROR_PROCEDURE_ALREADY_DECLARED, name);
            return nullptr;
        }
        variable->flags |= VAR_PROTOTYPE;
        variable->prototype = current_type.prototype;
    }

    current_type.code = variable->type;
    current_type.size = variable->size;
    current_type.structure = variable->structure;
    current_variable = variable;
    if (address_of_depth) variable->flags |= VAR_ADDRESS_TAKEN;
    if (token_code == '\\') {
        if (variable->type != TYPE_STRUCTURE) {
            set_error_format(ERROR_VARIABLE_WITHOUT_STRUCTURE, get_variable_display_name(variable));
            return nullptr;
        }
        compile_variable_field_access(variable);
        return error_number ? nullptr : variable;
    }
    set_operand_to_variable(variable);
    return variable;
}

namespace {

// The module variables shared into the procedure being compiled: `Shared`
// marks a module's own record, which lives in that module's table.
std::vector<VariableRecord*> shared_module_variables() {
    std::vector<VariableRecord*> shared;
    for (HashEntry* entry : list_table_entries(module_table)) {
        HashTable* table = reinterpret_cast<ModuleRecord*>(entry)->variables;
        if (!table || table == variable_table) continue;
        for (HashEntry* item : list_table_entries(table)) {
            auto* variable = reinterpret_cast<VariableRecord*>(item);
            if (variable->flags & VAR_SHARED) shared.push_back(variable);
        }
    }
    return shared;
}

}  // namespace

std::vector<VariableRecord*> list_procedure_variables() {
    std::vector<VariableRecord*> variables;
    for (HashEntry* entry : list_table_entries(variable_table)) variables.push_back(reinterpret_cast<VariableRecord*>(entry));
    for (VariableRecord* variable : shared_module_variables()) variables.push_back(variable);
    return variables;
}

void drop_procedure_locals() {
    // A module variable shared into this procedure is not shared into the next.
    for (VariableRecord* variable : shared_module_variables()) variable->flags &= (uint16_t)~VAR_SHARED;
    if (!variable_table) return;
    hash_reset_iterator(variable_table);
    HashEntry* entry = hash_next(variable_table);
    while (entry) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        HashEntry* following;
        if (is_local_variable(variable)) {
            hash_unlink_current(variable_table);
            following = hash_next(variable_table);
            if (!(variable->flags & VAR_STATIC)) {
                backend->emit_local_cleanup(variable);
                hash_free_entry(variable_table, entry);
            }
        } else {
            variable->flags &= (uint16_t)~VAR_SHARED;
            following = hash_next(variable_table);
        }
        entry = following;
    }
}

// ---------------------------------------------------------------------------
// Type suffix

void take_keyword_string_type() {
    if (!current_type.given && keyword_has_dollar()) set_string_type(&current_type);
}

int parse_field_type(int mode) {
    current_type.prototype = nullptr;
    current_type.structure = nullptr;
    current_type.module = nullptr;
    current_type.given = 0;
    if (token_code != '.') {
        if (mode == TYPE_SUFFIX_RETURN) set_integer_type(&current_type);
        else if (mode != TYPE_SUFFIX_FIELD) current_type = default_type;
        // A name written with '$' (a parameter, an array, a list or a map)
        // is a string without a suffix.
        size_t length = strlen(statement_word);
        if (mode != TYPE_SUFFIX_RETURN && mode != TYPE_SUFFIX_FIELD && length > 1 && statement_word[length - 1] == '$') set_string_type(&current_type);
        current_type.given = 0;
        return 0;
    }
    LexerMark mark = mark_lexer();   // at the '.'
    read_token();
    if (error_number) return 0;
    char name[TYPE_NAME_SIZE];
    copy_text(name, sizeof name, statement_word);
    if (name[0] == 0) {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    if (token_code == TOKEN_MODULE_SEPARATOR) {
        // "Module::Type": the module's prototype or structure (read again
        // from the ".").
        rewind_lexer(mark);
        return parse_type_suffix(mode);
    }
    copy_text(current_type.name, sizeof current_type.name, name);
    current_type.given = 1;
    // Parameters of Import lines and prototypes may take a pseudo-type
    // ("p-ascii", ...): tried first.
    if (mode == TYPE_SUFFIX_PARAMETER) {
        if (parse_pseudo_type()) return 1;
        if (error_number) return 0;
    }
    int32_t code = 0;
    if (!name[1]) {
        switch (name[0] | 0x20) {
        case 'a': code = TYPE_ASCII; break;
        case 'b': code = TYPE_BYTE; break;
        case 'c': code = TYPE_CHARACTER; break;
        case 'd': code = TYPE_DOUBLE; break;
        case 'f': code = TYPE_FLOAT; break;
        case 'i': code = TYPE_INTEGER; break;
        case 'l': code = TYPE_LONG; break;
        case 'q': code = TYPE_QUAD; break;
        case 's': code = TYPE_STRING; break;
        case 'u': code = TYPE_UNICODE; break;
        case 'w': code = TYPE_WORD; break;
        default: break;
        }
    }
    if (code == TYPE_STRING && token_code == '{') {
        int64_t length = 0;
        compile_expression(EXPR_INTEGER_ONLY, 0);
        if (error_number) return 0;
        bool constant = current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT);
        length = current_operand.constant;
        if (token_code != '}') {
            set_error(ERROR_CLOSE_BRACE_EXPECTED_AFTER_FIXED_STRING);
            return 0;
        }
        if (!constant || length <= 0 || length > 0x3FFFFFFF) {
            set_error(ERROR_FIXED_STRING_SIZE);
            return 0;
        }
        read_operator();
        refuse_word_operator();
        current_type.code = TYPE_FIXED_STRING;
        current_type.size = (int32_t)(2 * length);
        return 1;
    }
    if (code) {
        current_type.code = code;
        current_type.size = native_type_size(code);
        return 1;
    }
    // A prototype or a structure named by its type.
    if (ProcedureRecord* prototype = find_prototype(name)) {
        current_type.code = TYPE_INTEGER;
        current_type.size = 8;
        current_type.prototype = prototype;
        current_type.module = prototype->module;
        return 1;
    }
    if (error_number) return 0;
    if (StructureRecord* structure = find_structure(name)) {
        current_type.code = TYPE_STRUCTURE;
        current_type.size = structure->size;
        current_type.structure = structure;
        current_type.module = structure->module;
        structure->flags |= STRUCT_USED;
        return 1;
    }
    if (error_number) return 0;
    set_error_format(ERROR_STRUCTURE_NOT_FOUND, name);
    return 0;
}

// ---------------------------------------------------------------------------
// The variable statements

namespace {

bool word_equals_upper(const char* word, const char* upper) {
    for (; *word && *upper; word++, upper++) {
        char c = *word;
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        if (c != *upper) return false;
    }
    return *word == 0 && *upper == 0;
}

bool word_is_container_keyword() {
    return word_equals_upper(statement_word, "DIM") || word_equals_upper(statement_word, "NEWLIST") ||
           word_equals_upper(statement_word, "NEWMAP");
}

// A Dim, NewList or NewMap item: declared by its own statement in the
// declaration mode in force, which leaves the token after the item (","
// or the end). The keyword's reader has taken the byte after it as its
// operator.
void compile_container_item() {
    if (word_equals_upper(statement_word, "DIM")) compile_dim_statement(0);
    else if (word_equals_upper(statement_word, "NEWLIST")) compile_newlist_statement();
    else compile_newmap_statement();
}

// "Shared name()": an array, list or map of the main scope, marked as
// shared into the procedure until its end. The token is "(".
void share_main_container(const char* name) {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (*parse_pointer != ')') {
        set_error(ERROR_SYNTAX);
        return;
    }
    parse_pointer++;
    if (!share_main_scope_container(name)) {
        if (!error_number) set_error_format(ERROR_NOT_DECLARED_IN_MAIN_SCOPE, name);
        return;
    }
    read_operator();
}

// Reads an optional '*', then the name and its type; leaves the name in
// statement_word and the token after the type. Returns false on an error.
bool read_item_name() {
    pointer_flag = 0;
    // After the keyword the lexer has already read the '*' as its operator.
    bool star_read = token_code == '*';
    // A digit or a '$' there was taken as the keyword's operator: the name
    // starts with it (and is refused as a name).
    if (((token_code >= '0' && token_code <= '9') || token_code == '$') && parse_pointer[-1] == token_code)
        parse_pointer--;
    if (!star_read)
        while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (star_read || *parse_pointer == '*') {
        if (!star_read) parse_pointer++;
        if (*parse_pointer == ' ' || *parse_pointer == '\t') {
            set_error(ERROR_SYNTAX);
            return false;
        }
        pointer_flag = 1;
    }
    read_token();
    if (error_number) return false;
    if (statement_word[0] == 0) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    return true;
}

// The statement-level type suffix ("Define.q a, b"): the default type for
// the statement's untyped items. Returns false on an error.
bool read_statement_type(CurrentType* saved) {
    *saved = default_type;
    if (token_code != '.') {
        // "Define$", "Global$", "Protected$": String is the suffix.
        if (keyword_has_dollar()) {
            set_string_type(&default_type);
            if (token_code == TOKEN_END) {
                set_error(ERROR_SYNTAX);
                return false;
            }
        }
        return true;
    }
    parse_field_type(TYPE_SUFFIX_PLAIN);
    if (error_number) return false;
    default_type = current_type;
    default_type.given = 0;
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return false;
    }
    return true;
}

// The item loop of Define, Global, Protected and Shared.
void compile_variable_items(int32_t mode) {
    CurrentType saved_default;
    if (!read_statement_type(&saved_default)) return;
    for (;;) {
        char* item_start = parse_pointer;
        while (*item_start == ' ' || *item_start == '\t') item_start++;
        // A '*' the keyword's read took as its operator belongs to the item.
        if (token_code == '*' && item_start > statement_start && item_start[-1] == '*') item_start--;
        declaration_mode = mode;
        if (!read_item_name()) break;
        if (word_is_container_keyword() && mode != DECLARE_SHARED && token_code != '=' && token_code != '.' &&
            token_code != '(' && token_code != ',' && token_code != TOKEN_END) {
            compile_container_item();
            if (error_number) break;
            if (token_code == ',') continue;
            break;
        }
        char name[STATEMENT_WORD_SIZE];
        copy_text(name, sizeof name, statement_word);
        if (mode == DECLARE_SHARED && token_code == '(') {
            share_main_container(name);
            if (error_number) break;
            if (token_code == ',') continue;
            if (token_code != TOKEN_END) set_error(ERROR_SYNTAX);
            break;
        }
        parse_field_type(TYPE_SUFFIX_PLAIN);
        if (error_number) break;
        copy_text(statement_word, sizeof statement_word, name);
        if (in_procedure && (mode == DECLARE_DEFINE || mode == DECLARE_GLOBAL)) {
            VariableRecord* existing = find_local_variable(statement_word, pointer_flag != 0);
            if (existing && (existing->flags & VAR_PARAMETER)) {
                set_error_format(ERROR_VARIABLE_DECLARED_AS_PARAMETER, get_variable_display_name(existing));
                break;
            }
        }
        if (mode == DECLARE_SHARED) {
            if (find_local_variable(statement_word, pointer_flag != 0)) {
                set_error_format(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED, get_key_display_name(make_variable_key(statement_word, false, pointer_flag)));
                break;
            }
            VariableRecord* global = find_global_variable(statement_word, pointer_flag != 0);
            if (!global && explicit_enabled) {
                set_error_format(ERROR_EXPLICIT_VARIABLE_NOT_DECLARED, get_key_display_name(make_variable_key(statement_word, false, pointer_flag)));
                break;
            }
        }
        no_output_depth++;
        VariableRecord* variable = resolve_variable(VARIABLE_FIND_OR_CREATE);
        no_output_depth--;
        if (error_number || !variable) {
            if (!error_number) set_error(ERROR_SYNTAX);
            break;
        }
        if (mode == DECLARE_SHARED) variable->flags |= VAR_SHARED;
        if (token_code == '=') {
            if (mode == DECLARE_SHARED) {
                set_error(ERROR_SYNTAX);
                break;
            }
            // The initial value is an ordinary assignment of the item.
            declaration_mode = DECLARE_NONE;
            parse_pointer = item_start;
            token_code = TOKEN_STATEMENT_START;
            compile_expression(EXPR_RESET_REGISTERS | EXPR_NEW_STATEMENT, 0);
            if (error_number) break;
        }
        if (token_code == ',') continue;
        if (token_code != TOKEN_END) set_error(mode == DECLARE_DEFINE ? ERROR_ILLEGAL_DEFINE_OPERATOR : ERROR_SYNTAX);
        break;
    }
    declaration_mode = DECLARE_NONE;   // the statement is over
    default_type = saved_default;
}

}  // namespace

void compile_define_statement() { compile_variable_items(DECLARE_DEFINE); }

void compile_global_statement() { compile_variable_items(DECLARE_GLOBAL); }

void compile_protected_statement() {
    if (!in_procedure) {
        set_error_format(ERROR_ONLY_INSIDE_PROCEDURE, "Protected");
        return;
    }
    compile_variable_items(DECLARE_PROTECTED);
}

void compile_shared_statement() {
    if (!in_procedure) {
        set_error_format(ERROR_ONLY_INSIDE_PROCEDURE, "Shared");
        return;
    }
    compile_variable_items(DECLARE_SHARED);
}

void compile_variable_declaration(int threaded) {
    CurrentType saved_default;
    if (!read_statement_type(&saved_default)) return;
    int32_t mode = threaded ? DECLARE_THREADED : DECLARE_STATIC;
    for (;;) {
        declaration_mode = mode;
        if (!read_item_name()) break;
        if (word_is_container_keyword() && token_code != '=' && token_code != '.' && token_code != ',' &&
            token_code != TOKEN_END) {
            compile_container_item();
            if (error_number) break;
            if (token_code == ',') continue;
            break;
        }
        char name[STATEMENT_WORD_SIZE];
        copy_text(name, sizeof name, statement_word);
        parse_field_type(TYPE_SUFFIX_PLAIN);
        if (error_number) break;
        copy_text(statement_word, sizeof statement_word, name);
        bool pointer = pointer_flag != 0;
        if (!threaded && find_local_variable(statement_word, pointer)) {
            set_error_format(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED, get_key_display_name(make_variable_key(statement_word, false, pointer)));
            break;
        }
        if (threaded && find_global_variable(statement_word, pointer)) {
            set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE, get_key_display_name(make_variable_key(statement_word, false, pointer)));
            break;
        }
        no_output_depth++;
        VariableRecord* variable = resolve_variable(VARIABLE_FIND_OR_CREATE);
        no_output_depth--;
        if (error_number || !variable) {
            if (!error_number) set_error(ERROR_SYNTAX);
            break;
        }
        if (token_code == '=') {
            declaration_mode = DECLARE_NONE;
            compile_expression(EXPR_CONSTANT, 1);
            if (error_number) break;
            bool is_string_target = !variable->pointer &&
                                    (variable->type == TYPE_STRING || variable->type == TYPE_FIXED_STRING);
            if (current_operand.kind == OPERAND_CONSTANT && !is_string_target) {
                int64_t value = current_operand.constant;
                bool float_value = (current_operand.flags & OP_FLOAT) != 0;
                if (!variable->pointer && variable->type == TYPE_FLOAT) {
                    float f = (float)(float_value ? current_operand.constant_float : (double)value);
                    int32_t bits;
                    memcpy(&bits, &f, 4);
                    value = bits;
                } else if (!variable->pointer && variable->type == TYPE_DOUBLE) {
                    double d = float_value ? current_operand.constant_float : (double)value;
                    memcpy(&value, &d, 8);
                }
                if (variable->item) {
                    if (threaded) {
                        auto* item = static_cast<InitItem*>(variable->item);
                        item->value = value;
                        item->initialised = 1;
                        if (variable->pointer) item->kind = TYPE_INTEGER;
                    } else {
                        auto* item = static_cast<DataItem*>(variable->item);
                        item->value = value;
                        item->initialised = 1;
                    }
                }
            } else if (current_operand.kind == OPERAND_STRING && !(current_operand.flags & OP_COMPUTED)) {
                if (!is_string_target) {
                    set_error(ERROR_STRING_ASSIGNED_TO_NUMBER);
                    break;
                }
                if (!(current_operand.flags & OP_LITERAL)) {
                    set_error(ERROR_STATIC_NEEDS_LITERAL);
                    break;
                }
                // The literal (its text is kept at the start of the literal buffer)
                // by number: the start-up code gives the item its text.
                if (current_operand.constant == 0) current_operand.constant = intern_literal_string(literal_text);
                if (error_number) break;
                if (variable->item) {
                    if (threaded) {
                        auto* item = static_cast<InitItem*>(variable->item);
                        item->value = current_operand.constant;
                        item->initialised = 1;
                    } else {
                        auto* item = static_cast<DataItem*>(variable->item);
                        item->value = current_operand.constant;
                        item->initialised = 1;
                    }
                }
            } else {
                set_error(ERROR_STATIC_NEEDS_LITERAL);
                break;
            }
        }
        if (token_code == ',') continue;
        if (token_code != TOKEN_END) set_error(ERROR_SYNTAX);
        break;
    }
    declaration_mode = DECLARE_NONE;   // the statement is over
    default_type = saved_default;
}
