#include "frontend/lists_maps.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <type_traits>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/arrays.h"
#include "frontend/blocks.h"
#include "frontend/debug_statement.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/strings.h"
#include "frontend/structure_fields.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

CursorList* list_list = nullptr;
CursorList* map_list = nullptr;

namespace {

// A record of either kind matches when its name is the wanted one (any
// case) and it has the pointer flag of the name as read.
template <typename Record>
Record* find_record(CursorList* list, const char* name, uint32_t wanted) {
    if (!list) return nullptr;
    for (ListNode* node = list->first; node; node = node->next) {
        auto* record = reinterpret_cast<Record*>(node);
        if (((record->flags & CONTAINER_POINTERS) != 0) != (pointer_flag != 0)) continue;
        if (strcasecmp(record->name, name) != 0) continue;
        if (wanted == 0 || (record->flags & wanted)) return record;
    }
    return nullptr;
}

// Modules in use, then (outside module sections) the global list; inside a
// procedure first the scope's locals and shared records, then only the
// Global records of the open module and the main scope and the public ones
// of the other modules.
template <typename Record>
Record* find_scoped(CursorList* global, CursorList* ModuleRecord::*slot, const char* name) {
    if (explicit_module) {
        // "Module::name" reaches only what the module made public, unless
        // it is the module being compiled.
        Record* record = find_record<Record>(explicit_module->*slot, name, 0);
        if (record && !(record->flags & CONTAINER_PUBLIC) && explicit_module != current_module) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
            return nullptr;
        }
        // Found, the prefix is used up; else it stays for the lookup of
        // the other kind.
        if (record) explicit_module = nullptr;
        return record;
    }
    CursorList* scope = current_module ? current_module->*slot : global;
    if (in_procedure) {
        if (Record* record = find_record<Record>(scope, name, CONTAINER_LOCAL | CONTAINER_SHARED)) return record;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module) continue;
            uint32_t wanted = 0;
            if (in_procedure) wanted = module == current_module ? CONTAINER_GLOBAL : CONTAINER_PUBLIC;
            Record* record = find_record<Record>(module->*slot, name, wanted);
            if (record && (module == current_module || (record->flags & CONTAINER_PUBLIC))) return record;
        }
    }
    if (current_module) return in_procedure ? nullptr : find_record<Record>(scope, name, 0);
    if (in_procedure) return find_record<Record>(global, name, CONTAINER_GLOBAL);
    return find_record<Record>(global, name, 0);
}

// The main-scope lookup: the modules in use, then (outside module
// sections) the global records that are not locals of a procedure.
template <typename Record>
Record* find_main_scope(CursorList* global, CursorList* ModuleRecord::*slot, const char* name) {
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module) continue;
            Record* record = find_record<Record>(module->*slot, name, 0);
            if (record && !(record->flags & CONTAINER_LOCAL) &&
                (module == current_module || (record->flags & CONTAINER_PUBLIC)))
                return record;
        }
    }
    if (current_module) return nullptr;
    if (!global) return nullptr;
    for (ListNode* node = global->first; node; node = node->next) {
        auto* record = reinterpret_cast<Record*>(node);
        if (((record->flags & CONTAINER_POINTERS) != 0) != (pointer_flag != 0)) continue;
        if (record->flags & CONTAINER_LOCAL) continue;
        if (strcasecmp(record->name, name) == 0) return record;
    }
    return nullptr;
}

}  // namespace

ListRecord* find_global_list(const char* name) {
    return find_main_scope<ListRecord>(list_list, &ModuleRecord::lists, name);
}

MapRecord* find_global_map(const char* name) { return find_main_scope<MapRecord>(map_list, &ModuleRecord::maps, name); }

bool share_main_scope_container(const char* name) {
    if (ArrayRecord* array = find_array_global(name)) {
        if (array->flags & ARRAY_LOCAL) return false;
        array->flags |= ARRAY_SHARED;
        return true;
    }
    if (ListRecord* list = find_global_list(name)) {
        list->flags |= CONTAINER_SHARED;
        return true;
    }
    if (MapRecord* map = find_global_map(name)) {
        map->flags |= CONTAINER_SHARED;
        return true;
    }
    return false;
}

void reset_lists_maps() {
    list_list = create_list(sizeof(ListRecord), 0);
    map_list = create_list(sizeof(MapRecord), 0);
}

ListRecord* find_list(const char* name) { return find_scoped<ListRecord>(list_list, &ModuleRecord::lists, name); }

MapRecord* find_map(const char* name) { return find_scoped<MapRecord>(map_list, &ModuleRecord::maps, name); }

namespace {

// Flags of library commands that are not real commands for the name check.
constexpr uint32_t command_not_a_name = 0x2600;

const ListMapHooks* hooks() { return backend->lists_maps; }

// The list of the scope being compiled: the open module's, else the global one.
CursorList* scope_list(CursorList* global, CursorList* ModuleRecord::*slot, size_t record_size) {
    if (current_module) {
        if (!(current_module->*slot)) current_module->*slot = create_list(record_size, 0);
        return current_module->*slot;
    }
    return global;
}

CursorList* scope_list_list() { return scope_list(list_list, &ModuleRecord::lists, sizeof(ListRecord)); }
CursorList* scope_map_list() { return scope_list(map_list, &ModuleRecord::maps, sizeof(MapRecord)); }

// Skips blanks; true (and past it) when ")" follows.
bool take_close_bracket() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (*parse_pointer != ')') return false;
    parse_pointer++;
    return true;
}

// The operator after a closing bracket.
bool read_after_bracket() {
    read_operator();
    return error_number == 0;
}

// The name checks shared by lists and maps: keywords, library commands,
// arrays and the other container kind.
bool check_container_name(const char* name, bool is_map) {
    if (is_keyword(name)) {
        set_error_format(ERROR_LIST_NAMED_AS_KEYWORD, name);
        return false;
    }
    if (!explicit_module) {
        LibraryCommand* command = find_library_command(name);
        if (command && !(command->flags & command_not_a_name)) {
            set_error_format(ERROR_NAME_SAME_AS_COMMAND, command->library ? command->library->name : "");
            return false;
        }
    }
    if (find_array(name)) {
        set_error(ERROR_NAME_SAME_AS_ARRAY);
        return false;
    }
    if (error_number) return false;
    if (is_map ? find_list(name) != nullptr : find_map(name) != nullptr) {
        set_error(is_map ? ERROR_NAME_SAME_AS_LIST : ERROR_NAME_SAME_AS_MAP);
        return false;
    }
    if (error_number) return false;
    if (find_procedure_quietly(name)) {
        set_error(ERROR_NAME_SAME_AS_PROCEDURE);
        return false;
    }
    return true;
}

// A new record at the end of the scope's list, its fields after the link
// cleared.
template <typename Record>
Record* append_record(CursorList* list) {
    list_reset_cursor(list);
    while (list_next(list)) {}
    auto* record = static_cast<Record*>(list_add(list));
    memset(reinterpret_cast<char*>(record) + sizeof(ListNode), 0, sizeof(Record) - sizeof(ListNode));
    return record;
}

// Places a new list or map by the DECLARE_* `mode` and the body being
// compiled; `bytes` is the storage of its head (16) or slot (8), `kind` the
// item kind of its Static or Threaded item.
template <typename Record>
bool place_record(Record* record, const char* name, int32_t bytes, uint8_t kind, const char* symbol_prefix, int32_t mode) {
    record->module = current_module;
    record->name = pool_strdup(name);
    record->element_size = current_type.size;
    record->element_type = current_type.code;
    record->element_structure = current_type.structure;
    if (pointer_flag) {
        if (current_type.given && current_type.code != TYPE_STRUCTURE && native_type_size(current_type.code)) {
            set_error(ERROR_NATIVE_TYPE_POINTER);
            return false;
        }
        record->element_size = 8;
    }
    if (mode == DECLARE_THREADED) {
        record->flags = CONTAINER_THREADED;
        thread_local_offset = (thread_local_offset + 7) & ~7;
        record->offset = thread_local_offset;
        grow_data_area(thread_local_offset, bytes);
        record->item = register_init_item(kind, record);
    } else if (in_structure) {
        record->flags = CONTAINER_FIELD;
    } else if ((in_procedure && mode != DECLARE_SHARED && mode != DECLARE_STATIC &&
                mode != DECLARE_GLOBAL) ||
               in_interface) {
        record->flags = CONTAINER_LOCAL;
        local_frame_offset = (local_frame_offset + 7) & ~7;
        record->offset = local_frame_offset;
        grow_data_area(local_frame_offset, bytes);
        record->module = nullptr;
    } else {
        record->flags = 0;
        record->offset = global_data_offset;
        grow_data_area(global_data_offset, bytes);
    }
    if (module_section_state() == 1) record->flags |= CONTAINER_PUBLIC;
    if (pointer_flag) record->flags |= CONTAINER_POINTERS;
    if (mode == DECLARE_GLOBAL) record->flags |= CONTAINER_GLOBAL;
    if (mode == DECLARE_STATIC) {
        char label[STATEMENT_WORD_SIZE + 8];
        snprintf(label, sizeof label, "%s%s", symbol_prefix, name);
        record->item = add_data_item(label, bytes, kind, record);
        record->flags |= CONTAINER_STATIC;
    }
    if (record->element_structure && record->element_type == TYPE_STRUCTURE && !pointer_flag &&
        (record->element_structure->flags & STRUCT_DYNAMIC)) {
        record->element_structure->flags |= STRUCT_NEEDS_INIT;
    }
    return true;
}

// A type written for an existing record must be its element type.
template <typename Record>
bool same_element_type(const Record* record) {
    if (!current_type.given) return true;
    if (current_type.code != record->element_type) return false;
    return current_type.code != TYPE_STRUCTURE || current_type.structure == record->element_structure;
}

// The shared part of declare_list and declare_map: the checks and the new
// record (or the existing one).
template <typename Record>
Record* declare_container(const char* name_in, bool is_map) {
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", name_in);
    const int syntax_error = is_map ? ERROR_NEWMAP_SYNTAX : ERROR_NEWLIST_SYNTAX;
    if (!check_container_name(name, is_map)) return nullptr;
    Record* existing = nullptr;
    if constexpr (std::is_same_v<Record, MapRecord>) existing = find_map(name);
    else existing = find_list(name);
    if (error_number) return nullptr;
    CursorList* list = is_map ? scope_map_list() : scope_list_list();
    if (declaration_mode == DECLARE_PROTECTED && existing && (existing->flags & CONTAINER_LOCAL) &&
        (existing->flags & CONTAINER_STATIC) != CONTAINER_STATIC) {
        set_error_format(is_map ? ERROR_MAP_ALREADY_DECLARED : ERROR_LIST_ALREADY_DECLARED, name);
        return nullptr;
    }
    bool shadowing = existing && (existing->flags & (CONTAINER_GLOBAL | CONTAINER_PUBLIC)) &&
                     (declaration_mode == DECLARE_PROTECTED || declaration_mode == DECLARE_STATIC);
    if (existing && !shadowing) {
        if (!same_element_type(existing)) {
            set_error_format(is_map ? ERROR_MAP_DECLARED_WITH_OTHER_TYPE : ERROR_LIST_DECLARED_WITH_OTHER_TYPE, name);
            return nullptr;
        }
        if (token_code != '(') {
            set_error(syntax_error);
            return nullptr;
        }
        return existing;
    }
    if (declaration_mode == DECLARE_GLOBAL && in_procedure) {
        CursorList* main_scope = is_map ? map_list : list_list;
        for (ListNode* node = main_scope ? main_scope->first : nullptr; node; node = node->next) {
            if (strcasecmp(reinterpret_cast<Record*>(node)->name, name) == 0) {
                set_error_format(is_map ? ERROR_MAP_ALREADY_DECLARED : ERROR_LIST_ALREADY_DECLARED, name);
                return nullptr;
            }
        }
    }
    if (current_type.prototype) {
        set_error(ERROR_PROTOTYPE_WITH_LIST_OR_MAP);
        return nullptr;
    }
    if (token_code != '(') {
        set_error(syntax_error);
        return nullptr;
    }
    auto* record = append_record<Record>(list);
    if (!place_record(record, name, is_map ? 8 : 16, is_map ? TYPE_MAP : TYPE_LIST,
                      is_map ? (pointer_flag ? "mp_" : "m_") : (pointer_flag ? "tp_" : "t_"), declaration_mode)) {
        list->current = reinterpret_cast<ListNode*>(record);
        list_delete_current(list);
        list_reset_cursor(list);
        return nullptr;
    }
    return record;
}

// Storage that the runtime fills at start (Static and Threaded items) or
// that belongs to a structure: no creation code at the statement.
bool created_at_statement(uint32_t flags) {
    return !in_structure && (flags & CONTAINER_STATIC) != CONTAINER_STATIC &&
           (flags & CONTAINER_THREADED) != CONTAINER_THREADED && !(flags & CONTAINER_FIELD);
}

// Reads the optional "*", the name (with its module prefix) and its type;
// leaves the token after the type. Returns false with an error set.
bool read_container_name(int name_error, char* name, size_t size) {
    pointer_flag = 0;
    bool star_read = token_code == '*';
    // Any other character the keyword's reader took as an operator (a digit
    // of "1x") cannot begin a name.
    if (!star_read && token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END) {
        set_error(name_error);
        return false;
    }
    if (!star_read)
        while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (star_read || *parse_pointer == '*') {
        if (!star_read) parse_pointer++;
        pointer_flag = 1;
    }
    read_token();
    if (error_number) return false;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return false;
    if (!identifier_start_chars[(unsigned char)statement_word[0]]) {
        set_error(name_error);
        return false;
    }
    snprintf(name, size, "%s", statement_word);
    parse_field_type(TYPE_SUFFIX_PLAIN);
    return error_number == 0;
}

// What may follow a complete declaration: the end, or a "," in the item
// lists of Global, Protected, Static and Define.
void check_declaration_end() {
    if (token_code == TOKEN_END) return;
    bool list_allowed = declaration_mode == DECLARE_DEFINE || declaration_mode == DECLARE_GLOBAL ||
                        declaration_mode == DECLARE_PROTECTED || declaration_mode == DECLARE_STATIC;
    if (token_code != ',' || !list_allowed) set_error(ERROR_GARBAGE_AT_END_OF_LINE);
}

// The operand of an element: its type, size and flags by the element type.
template <typename Record>
void set_element_operand(const Record* record) {
    const ListMapHooks* h = hooks();
    current_type.code = record->element_type;
    current_type.size = record->element_size;
    current_type.structure = record->element_structure;
    current_type.given = 0;
    int32_t size = record->element_size;
    uint32_t flags = 0;
    int32_t kind = OPERAND_VARIABLE;
    const bool interface = record->element_structure && (record->element_structure->flags & STRUCT_INTERFACE);
    if (record->flags & CONTAINER_POINTERS) {
        size = 8;
        flags |= OP_POINTER;
    } else if (interface) {
        size = 8;  // an object's address, a plain value
    } else {
        switch (record->element_type) {
        case TYPE_STRING: kind = OPERAND_STRING; flags |= OP_STRING; size = 8; break;
        case TYPE_FIXED_STRING: kind = OPERAND_STRING; flags |= OP_STRING | OP_FIXED_STRING; break;
        case TYPE_STRUCTURE: size = 8; flags |= OP_STRUCTURE; break;
        case TYPE_FLOAT: flags |= OP_FLOAT; break;
        case TYPE_DOUBLE: flags |= OP_FLOAT | OP_DOUBLE; break;
        case TYPE_QUAD: case TYPE_INTEGER: flags |= OP_QUAD; break;
        case TYPE_CHARACTER: case TYPE_ASCII: case TYPE_UNICODE: flags |= OP_UNSIGNED; break;
        default: break;
        }
    }
    const char* text = h->format_element_operand(size > 8 ? 8 : size);
    snprintf(current_operand.text, sizeof current_operand.text, "%s", text);
    current_operand.kind = kind;
    current_operand.size = size;
    current_operand.constant = 0;
    current_operand.flags = flags;
    current_variable = nullptr;
}

// After the element: "\" starts a field chain (or a method call) of a
// structure or interface element. Returns false when it did (or failed).
template <typename Record>
bool compile_element_fields(const Record* record) {
    if (token_code != '\\') return true;
    if (record->element_type != TYPE_STRUCTURE || !record->element_structure) {
        set_error(ERROR_LIST_WITHOUT_STRUCTURE);
        return false;
    }
    const ListMapHooks* h = hooks();
    const char* text = h->format_element_operand(8);
    compile_element_field_chain(record->element_structure, text, (record->flags & CONTAINER_POINTERS) != 0);
    return false;
}

// Unlinks a node from its list without freeing it.
void unlink_node(CursorList* list, ListNode* node) {
    if (node->previous) node->previous->next = node->next;
    else list->first = node->next;
    if (node->next) node->next->previous = node->previous;
    else list->last = node->previous;
    list->current = nullptr;
}

template <typename Record, typename Free>
void free_scope(CursorList* list, Free emit_free) {
    if (!list) return;
    const ArrayHooks* array_hooks = backend->arrays;
    bool kept = false;
    ListNode* node = list->first;
    while (node) {
        ListNode* following = node->next;
        auto* record = reinterpret_cast<Record*>(node);
        if ((record->flags & CONTAINER_STATIC) == CONTAINER_STATIC) {
            // Unlinked but kept: its data item still refers to it.
            unlink_node(list, node);
        } else if (record->flags & (CONTAINER_LOCAL | CONTAINER_PARAMETER)) {
            if (!(record->flags & CONTAINER_PARAMETER)) {
                if (!kept) array_hooks->emit_keep_return_value();
                kept = true;
                emit_free(record);
            }
            list->current = node;
            list_delete_current(list);
        } else {
            record->flags &= ~(uint32_t)CONTAINER_SHARED;
        }
        node = following;
    }
    list_reset_cursor(list);
}

}  // namespace

namespace {

// A List or Map parameter: a local record in parameter mode whose 8-byte
// frame slot receives the address of the caller's head or slot.
template <typename Record>
Record* declare_container_parameter(const char* name_in, bool is_map) {
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", name_in);
    if (!check_container_name(name, is_map)) return nullptr;
    CursorList* list = is_map ? scope_map_list() : scope_list_list();
    if (find_record<Record>(list, name, CONTAINER_LOCAL)) {
        set_error_format(is_map ? ERROR_MAP_ALREADY_DECLARED : ERROR_LIST_ALREADY_DECLARED, name);
        return nullptr;
    }
    auto* record = append_record<Record>(list);
    bool placed = place_record(record, name, 8, is_map ? TYPE_MAP : TYPE_LIST, "", DECLARE_PROTECTED);
    if (!placed) {
        list->current = reinterpret_cast<ListNode*>(record);
        list_delete_current(list);
        list_reset_cursor(list);
        return nullptr;
    }
    record->flags |= CONTAINER_PARAMETER;
    return record;
}

}  // namespace

ListRecord* declare_list_parameter(const char* name) { return declare_container_parameter<ListRecord>(name, false); }

MapRecord* declare_map_parameter(const char* name) { return declare_container_parameter<MapRecord>(name, true); }

ListRecord* declare_list(const char* name) { return declare_container<ListRecord>(name, false); }

MapRecord* declare_map(const char* name) { return declare_container<MapRecord>(name, true); }

// ---------------------------------------------------------------------------
// NewList and NewMap

void compile_newlist_statement() {
    emit_statement_line_marker();
    char name[STATEMENT_WORD_SIZE];
    if (!read_container_name(ERROR_LIST_NAME_START, name, sizeof name)) return;
    ListRecord* list = declare_list(name);
    if (!list || error_number) return;
    if (!take_close_bracket()) {
        set_error(ERROR_NEWLIST_SYNTAX);
        return;
    }
    if (!read_after_bracket()) return;
    check_declaration_end();
    if (error_number) return;
    const ListMapHooks* h = hooks();
    if (created_at_statement(list->flags)) h->emit_new_list(list);
}

void compile_newmap_statement() {
    emit_statement_line_marker();
    char name[STATEMENT_WORD_SIZE];
    if (!read_container_name(ERROR_MAP_NAME_START, name, sizeof name)) return;
    MapRecord* map = declare_map(name);
    if (!map || error_number) return;
    const ListMapHooks* h = hooks();
    bool created = created_at_statement(map->flags);
    int32_t pushed = 0;
    if (map->slot_count == 0) map->slot_count = 512;
    if (!take_close_bracket()) {
        int32_t saved_mode = declaration_mode;
        declaration_mode = DECLARE_NONE;
        if (!created) no_output_depth++;
        compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
        if (!created) no_output_depth--;
        declaration_mode = saved_mode;
        if (error_number) return;
        bool constant = current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT);
        if (constant) {
            // A count below 1 would leave the map without a bucket: the
            // default is taken instead.
            int64_t count = current_operand.constant;
            map->slot_count = (count < 1 || count > 0x7FFFFFFF) ? 512 : (int32_t)count;
        }
        if (!constant && !created) {
            set_error(ERROR_STATIC_NEEDS_LITERAL);
            return;
        }
        // With the debugger's checks a literal count is checked at run time
        // like a computed one.
        if (created && (!constant || debugger_code)) {
            h->emit_new_map_slot_count();
            pushed = 1;
        }
        if (token_code != ')') {
            set_error(ERROR_NEWMAP_SYNTAX);
            return;
        }
    }
    if (!read_after_bracket()) return;
    check_declaration_end();
    if (error_number) return;
    if (created) h->emit_new_map(map, pushed);
}

// ---------------------------------------------------------------------------
// Element access

namespace {

// The name as messages show it: a field's without its "[structure]".
const char* display_name(const char* name) {
    const char* bracket = name[0] == '[' ? strchr(name, ']') : nullptr;
    return bracket ? bracket + 1 : name;
}

}  // namespace

void emit_list_element_access(ListRecord* list) {
    if (token_code != '(') {
        set_error_format(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_LIST, display_name(list->name));
        return;
    }
    if (!take_close_bracket()) {
        set_error(ERROR_PARENTHESES_EXPECTED_AFTER_LIST);
        return;
    }
    if (!read_after_bracket()) return;
    const ListMapHooks* h = hooks();
    if (debugger_code) h->emit_check_list_element(list);
    if (token_code == '\\' && (list->element_type != TYPE_STRUCTURE || !list->element_structure)) {
        set_error(ERROR_LIST_WITHOUT_STRUCTURE);
        return;
    }
    h->emit_load_list_element(list);
    if (!compile_element_fields(list)) return;
    set_element_operand(list);
}

void emit_map_element_access(MapRecord* map) {
    if (token_code != '(') {
        set_error_format(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_MAP, display_name(map->name));
        return;
    }
    const ListMapHooks* h = hooks();
    if (take_close_bracket()) {
        if (!read_after_bracket()) return;
        h->emit_load_map_current(map);
        if (debugger_code) h->emit_check_map_element(map);
    } else {
        CurrentType saved_type = current_type;
        // A map field: the key may move rbp, which holds the structure.
        const bool field_base = (map->flags & CONTAINER_FIELD) != 0;
        const int32_t saved_depth = map->saved_push_depth;
        if (field_base) h->emit_keep_field_map_base(map);
        // The expression in front of the element ("[" + m("k")) waits
        // while the key gathers its own literal text.
        OuterExpression outer = hold_outer_expression();
        compile_expression(EXPR_KEEP_STRING_BASE, 0);
        give_back_outer_expression(outer);
        current_type = saved_type;
        if (error_number) return;
        if (current_operand.kind != OPERAND_STRING) {
            set_error(ERROR_MAP_PARAMETER_EXPECTED);
            return;
        }
        h->emit_find_map_element(map);
        if (field_base) h->emit_drop_field_map_base(map);
        map->saved_push_depth = saved_depth;
        if (token_code != ')') {
            set_error(ERROR_CLOSE_PARENTHESIS_EXPECTED);
            return;
        }
        if (!read_after_bracket()) return;
    }
    if (!compile_element_fields(map)) return;
    set_element_operand(map);
}

bool compile_list_map_reference(const char* name, bool statement_start) {
    ListRecord* list = find_list(name);
    if (error_number) return false;
    MapRecord* map = list ? nullptr : find_map(name);
    if (error_number) return false;
    if (!list && !map) return false;
    const bool keyed = map && [] {
        const char* p = parse_pointer;
        while (*p == ' ' || *p == '\t') p++;
        return *p != ')';
    }();
    if (list) emit_list_element_access(list);
    else emit_map_element_access(map);
    if (error_number || !statement_start) return true;
    if ((token_code == '=' || is_update_operator()) && operand_is_call_result()) {
        set_error(ERROR_SYNTAX);
        return true;
    }
    if (token_code == '=' || is_update_operator()) {
        // The right side may call the runtime or reach other elements, which
        // moves rbp: a keyed map element's address is kept on the machine
        // stack and read back before the store.
        save_target_element_address();
        (void)keyed;
        compile_statement_expression();
        element_address_saved = 0;
        return true;
    }
    if (token_code == TOKEN_END && !operand_is_call_result()) set_error(ERROR_SYNTAX);
    return true;
}

void free_scope_lists() {
    const ListMapHooks* h = hooks();
    free_scope<ListRecord>(scope_list_list(), [h](ListRecord* list) {
        h->emit_free_list(list);
    });
}

void free_scope_maps() {
    const ListMapHooks* h = hooks();
    free_scope<MapRecord>(scope_map_list(), [h](MapRecord* map) {
        h->emit_free_map(map);
    });
}

// ---------------------------------------------------------------------------
// ForEach

namespace {

// The container after ForEach or Next: "name()" with an optional "*" and
// module prefix. Exactly one of the results is set on success.
// A list or map field ("b\\list()") at the parse position: its chain is
// compiled (the base set for the back end, which is left with
// leave_container_field()) and its record returned in one of the results.
bool compile_foreach_field(ListRecord** list, MapRecord** map, int error) {
    char* start = parse_pointer;
    int32_t type = 0;
    void* record = compile_whole_container_field(CONTAINER_FIELD_LIST_OR_MAP, &type);
    if (error_number) return false;
    if (!record) {
        parse_pointer = start;
        set_error(error);
        return false;
    }
    if (type == TYPE_LIST) *list = static_cast<ListRecord*>(record);
    else *map = static_cast<MapRecord*>(record);
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return false;
    }
    return true;
}

// The container after ForEach or Next: "name()" with an optional "*" and
// module prefix, or a list or map field of a structured item (then
// `*field_start` is where its chain begins, the chain is compiled and
// leave_container_field() is due). Exactly one of the results is set on
// success.
bool read_foreach_container(ListRecord** list, MapRecord** map, int error, char** field_start = nullptr) {
    *list = nullptr;
    *map = nullptr;
    if (field_start) *field_start = nullptr;
    char name[STATEMENT_WORD_SIZE];
    pointer_flag = 0;
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    char* start = parse_pointer;
    if (*parse_pointer == '*') {
        parse_pointer++;
        pointer_flag = 1;
    }
    read_token();
    if (error_number) return false;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return false;
    snprintf(name, sizeof name, "%s", statement_word);
    if (name[0] && (token_code == '\\' || token_code == '(') && field_start) {
        // "b\\l()", "a(i)\\l()": a field of a structured item.
        bool chain = token_code == '\\' || field_chain_follows_brackets(parse_pointer);
        if (chain) {
            explicit_module = nullptr;
            pointer_flag = 0;
            parse_pointer = start;
            *field_start = start;
            return compile_foreach_field(list, map, error);
        }
    }
    if (name[0]) {
        *list = find_list(name);
        if (!*list && !error_number) *map = find_map(name);
    }
    if (error_number) return false;
    if ((!*list && !*map) || token_code != '(' || !take_close_bracket()) {
        set_error(error);
        return false;
    }
    if (!read_after_bracket()) return false;
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return false;
    }
    return true;
}

void write_marker() {
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
}

}  // namespace

void compile_foreach_statement() {
    write_marker();
    if (token_code != TOKEN_END && token_code != TOKEN_NO_OPERATOR) parse_pointer--;
    ListRecord* list = nullptr;
    MapRecord* map = nullptr;
    char* field_start = nullptr;
    if (!read_foreach_container(&list, &map, ERROR_FOREACH_NEEDS_LIST_OR_MAP, &field_start)) return;
    if (block_stack.depth >= max_block_depth) {
        set_error(ERROR_SYNTAX);
        return;
    }
    int32_t label = take_block_label_number();
    BlockLevel& level = block_stack.levels[block_stack.depth++];
    level.kind = BLOCK_FOREACH;
    level.flags = 0;
    level.label = label;
    // The loop object is the container; the step tells a map (1) from a list.
    level.counter = list ? reinterpret_cast<VariableRecord*>(list) : reinterpret_cast<VariableRecord*>(map);
    level.step = list ? 0 : 1;
    const ListMapHooks* h = hooks();
    if (list) {
        h->emit_foreach_list_start(list, label);
    } else {
        h->emit_foreach_map_start(map, label);
    }
    if (field_start) {
        // The body moves rbp: each step reaches the field again.
        leave_container_field();
        char* end = parse_pointer;
        parse_pointer = field_start;
        ListRecord* again_list = nullptr;
        MapRecord* again_map = nullptr;
        if (!compile_foreach_field(&again_list, &again_map, ERROR_FOREACH_NEEDS_LIST_OR_MAP)) return;
        parse_pointer = end;
    }
    if (list) {
        h->emit_foreach_list_next(list, label);
    } else {
        h->emit_foreach_map_next(map, label);
    }
    if (field_start) leave_container_field();
    write_marker();
}

void compile_foreach_next(BlockLevel* level, bool named) {
    if (named) {
        ListRecord* list = nullptr;
        MapRecord* map = nullptr;
        char* field_start = nullptr;
        // A field's chain is only read here.
        no_output_depth++;
        bool read = read_foreach_container(&list, &map, ERROR_FOREACH_NEXT_NEEDS_LIST_OR_MAP, &field_start);
        if (field_start && read) leave_container_field();
        no_output_depth--;
        if (!read) return;
        void* object = list ? static_cast<void*>(list) : static_cast<void*>(map);
        if (object != static_cast<void*>(level->counter)) {
            set_error(list ? ERROR_FOREACH_LIST_MISMATCH : ERROR_FOREACH_MAP_MISMATCH);
            return;
        }
    }
    backend->emit_foreach_end(level->label);
}
