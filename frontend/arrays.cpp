#include "frontend/arrays.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/debug_statement.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/lists_maps.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structure_fields.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

CursorList* array_list = nullptr;
int32_t element_address_saved = 0;

namespace {

// Flags of library commands that are not real commands for the name check.
constexpr uint32_t command_not_a_name = 0x2600;

const ArrayHooks* hooks() { return backend->arrays; }

bool same_pointer_kind(const ArrayRecord* array) {
    return ((array->flags & ARRAY_POINTERS) != 0) == (pointer_flag != 0);
}

bool name_matches(const ArrayRecord* array, const char* name) {
    return same_pointer_kind(array) && strcasecmp(array_display_name(array), name) == 0;
}

// The list of the scope being compiled: the open module's, else the global one.
CursorList* scope_array_list() {
    if (current_module) {
        if (!current_module->arrays) current_module->arrays = create_list(sizeof(ArrayRecord), 0);
        return current_module->arrays;
    }
    return array_list;
}

ArrayRecord* find_in_list(CursorList* list, const char* name, uint32_t wanted) {
    if (!list) return nullptr;
    for (ListNode* node = list->first; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (!name_matches(array, name)) continue;
        if (wanted == 0 || (array->flags & wanted)) return array;
    }
    return nullptr;
}

ArrayRecord* find_local_array(const char* name) {
    return find_in_list(scope_array_list(), name, ARRAY_LOCAL);
}


bool operand_is_integer_constant() {
    return current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT);
}

// Compiles one size or index as an integer expression with the declaration
// flags cleared.
bool compile_integer_argument() {
    int32_t saved_mode = declaration_mode;
    declaration_mode = DECLARE_NONE;
    compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
    declaration_mode = saved_mode;
    return error_number == 0;
}

void append_constant_size(ArrayRecord* array, int32_t k, int64_t count) {
    auto* sizes = static_cast<int64_t*>(pool_alloc(sizeof(int64_t) * (size_t)k));
    if (array->constant_sizes && k > 1) memcpy(sizes, array->constant_sizes, sizeof(int64_t) * (size_t)(k - 1));
    sizes[k - 1] = count;
    array->constant_sizes = sizes;
}

bool declared_with_constant_sizes(const ArrayRecord* array) {
    return (array->flags & (ARRAY_STATIC | ARRAY_THREADED)) || in_structure;
}

const char* statement_name(int redim) { return redim ? "ReDim" : "Dim"; }

// The right side of an assignment may overwrite rbp (other elements,
// threaded variables, structure fields) when it holds a call, an index or a
// field, or when threaded variables exist.
bool right_side_may_move_base() {
    if (thread_local_offset > 0) return true;
    for (const char* p = parse_pointer; *p && *p != 1; p++) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"') p++;
            if (!*p) break;
        } else if (*p == '(' || *p == '\\') {
            return true;
        }
    }
    return false;
}

}  // namespace

// The number of comma-separated arguments between the "(" already read and
// its ")", at bracket depth 0; string literals are skipped.
int32_t count_dimensions() {
    int32_t count = 1;
    int32_t depth = 0;
    for (const char* p = parse_pointer; *p && *p != 1; p++) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"') p++;
            if (!*p) break;
        } else if (*p == '(' || *p == '[' || *p == '{') {
            depth++;
        } else if (*p == ')' || *p == ']' || *p == '}') {
            if (depth == 0) break;
            depth--;
        } else if (*p == ',' && depth == 0) {
            count++;
        }
    }
    return count;
}

void reset_arrays() {
    array_list = create_list(sizeof(ArrayRecord), 0);
    element_address_saved = 0;
}

const char* array_display_name(const ArrayRecord* array) {
    const char* name = array->name;
    if (name[0] == '[') {
        const char* close = strchr(name, ']');
        if (close) return close + 1;
    }
    return name;
}

ArrayRecord* module_find_symbol(ModuleRecord* module, const char* name, int report) {
    if (!module) return nullptr;
    ArrayRecord* array = find_in_list(module->arrays, name, 0);
    if (!array) return nullptr;
    if ((array->flags & ARRAY_PUBLIC) || (module == current_module && report == 0)) return array;
    if (report) set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
    return nullptr;
}

ArrayRecord* find_array_global(const char* name) {
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            ArrayRecord* array = module ? find_in_list(module->arrays, name, 0) : nullptr;
            if (array && (module == current_module || (array->flags & ARRAY_PUBLIC))) return array;
        }
    }
    if (current_module) return find_in_list(current_module->arrays, name, 0);
    if (!array_list) return nullptr;
    for (ListNode* node = array_list->first; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (name_matches(array, name) && !(array->flags & ARRAY_LOCAL)) return array;
    }
    return nullptr;
}

ArrayRecord* find_array(const char* name) {
    if (explicit_module) {
        ArrayRecord* array = module_find_symbol(explicit_module, name, 1);
        if (array) explicit_module = nullptr;
        return array;
    }
    if (!in_procedure) return find_array_global(name);
    if (ArrayRecord* array = find_in_list(scope_array_list(), name, ARRAY_LOCAL | ARRAY_SHARED)) return array;
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module) continue;
            uint32_t wanted = module == current_module ? ARRAY_GLOBAL : ARRAY_PUBLIC;
            if (ArrayRecord* array = find_in_list(module->arrays, name, wanted)) return array;
        }
    }
    if (current_module) return nullptr;
    return find_in_list(array_list, name, ARRAY_GLOBAL);
}

int check_array_name(const char* name) {
    if (is_keyword(name)) {
        set_error_format(ERROR_ARRAY_NAMED_AS_KEYWORD, name);
        return 0;
    }
    if (!explicit_module) {
        LibraryCommand* command = find_library_command(name);
        if (command && !(command->flags & command_not_a_name)) {
            set_error_format(ERROR_NAME_SAME_AS_COMMAND, command->library ? command->library->name : "");
            return 0;
        }
    }
    if (find_list(name)) {
        set_error(ERROR_NAME_SAME_AS_LIST);
        return 0;
    }
    if (error_number) return 0;
    if (find_procedure_quietly(name)) {
        set_error(ERROR_NAME_SAME_AS_PROCEDURE);
        return 0;
    }
    if (find_map(name)) {
        set_error(ERROR_NAME_SAME_AS_MAP);
        return 0;
    }
    return error_number ? 0 : 1;
}

ArrayRecord* declare_array(const char* name_in, int redim, ArrayRecord* record) {
    if (record) {
        compile_array_dimensions(record, redim, 0);
        return error_number ? nullptr : record;
    }
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", name_in);
    if (!check_array_name(name) || token_code != '(') {
        if (!error_number) set_error(ERROR_DIM_SYNTAX);
        return nullptr;
    }
    if (declaration_mode == DECLARE_GLOBAL) {
        ArrayRecord* global = find_array_global(name);
        if (global && !(global->flags & ARRAY_GLOBAL)) {
            set_error_format(ERROR_ARRAY_REDECLARED_GLOBAL, name);
            return nullptr;
        }
    }
    ArrayRecord* existing = find_array(name);
    if (error_number) return nullptr;
    if (declaration_mode == DECLARE_PROTECTED && find_local_array(name)) {
        set_error_format(ERROR_ARRAY_ALREADY_DECLARED, name);
        return nullptr;
    }
    if (redim && !existing) {
        set_error_format(ERROR_REDIM_UNDECLARED_ARRAY, name);
        return nullptr;
    }
    if (current_type.prototype) {
        set_error(ERROR_PROTOTYPE_WITH_ARRAY);
        return nullptr;
    }
    bool shadowing = existing && (existing->flags & (ARRAY_GLOBAL | ARRAY_PUBLIC)) &&
                     (declaration_mode == DECLARE_PROTECTED || declaration_mode == DECLARE_STATIC);
    if (!existing || shadowing) {
        int32_t size = current_type.size;
        if (pointer_flag) {
            if (current_type.given && current_type.code != TYPE_STRUCTURE && native_type_size(current_type.code)) {
                set_error(ERROR_NATIVE_TYPE_POINTER);
                return nullptr;
            }
            size = 8;
        }
        CursorList* list = scope_array_list();
        list_reset_cursor(list);
        while (list_next(list)) {}
        auto* array = static_cast<ArrayRecord*>(list_add(list));
        memset(reinterpret_cast<char*>(array) + sizeof(ListNode), 0, sizeof(ArrayRecord) - sizeof(ListNode));
        array->module = current_module;
        array->name = pool_strdup(name);
        array->flags = 0;
        if (module_section_state() == 1) array->flags |= ARRAY_PUBLIC;
        if (pointer_flag) array->flags |= ARRAY_POINTERS;
        array->element_size = size;
        array->element_type = current_type.code;
        if (declaration_mode == DECLARE_GLOBAL) {
            array->flags |= ARRAY_GLOBAL;
            array->offset = global_data_offset;
        } else if (declaration_mode == DECLARE_STATIC) {
            char label[STATEMENT_WORD_SIZE + 4];
            snprintf(label, sizeof label, "%s_%s", pointer_flag ? "ap" : "a", name);
            array->item = add_data_item(label, 8, TYPE_ARRAY, array);
            array->flags |= ARRAY_STATIC | ARRAY_LOCAL;
            array->offset = global_data_offset;
        } else if (declaration_mode == DECLARE_THREADED) {
            array->item = register_init_item(TYPE_ARRAY, array);
            array->flags |= ARRAY_THREADED | ARRAY_GLOBAL;
            thread_local_offset = (thread_local_offset + 7) & ~7;
            array->offset = thread_local_offset;
        } else if (in_structure) {
            array->flags |= ARRAY_FIELD;
        } else if (in_procedure || in_interface) {
            array->flags |= ARRAY_LOCAL;
            local_frame_offset = (local_frame_offset + 7) & ~7;
            array->offset = local_frame_offset;
        } else {
            array->offset = global_data_offset;
        }
        if (array->element_type == TYPE_STRUCTURE && current_type.structure) {
            array->element_structure = current_type.structure;
            if (current_type.structure->flags & STRUCT_DYNAMIC)
                current_type.structure->flags |= STRUCT_NEEDS_INIT;
            if (current_type.structure->flags & STRUCT_INTERFACE) array->flags |= ARRAY_INTERFACES;
        }
        compile_array_dimensions(array, redim, 0);
        existing = array;
    } else {
        if (current_type.given) {
            bool same = existing->element_type == current_type.code;
            if (same && current_type.code == TYPE_STRUCTURE && existing->element_structure != current_type.structure)
                same = false;
            if (!same) {
                set_error_format(ERROR_ARRAY_TYPE_CHANGED, statement_name(redim));
                return nullptr;
            }
        }
        compile_array_dimensions(existing, redim, 1);
    }
    if (error_number) return nullptr;
    if ((existing->flags & ARRAY_THREADED) && existing->dimension_count > 1) {
        set_error(ERROR_THREADED_MULTIDIMENSIONAL_ARRAY);
        return nullptr;
    }
    return existing;
}

ArrayRecord* declare_array_parameter(const char* name, const ParameterDescriptor* descriptor) {
    if (!check_array_name(name)) return nullptr;
    if (find_local_array(name)) {
        set_error_format(ERROR_ARRAY_ALREADY_DECLARED, name);
        return nullptr;
    }
    CursorList* list = scope_array_list();
    list_reset_cursor(list);
    while (list_next(list)) {}
    auto* array = static_cast<ArrayRecord*>(list_add(list));
    memset(reinterpret_cast<char*>(array) + sizeof(ListNode), 0, sizeof(ArrayRecord) - sizeof(ListNode));
    array->module = current_module;
    array->name = pool_strdup(name);
    array->flags = ARRAY_LOCAL | ARRAY_PARAMETER;
    if (pointer_flag) array->flags |= ARRAY_POINTERS;
    array->element_type = descriptor->type;
    array->element_size = pointer_flag ? 8 : current_type.size;
    array->dimension_count = descriptor->dimension_count;
    if (array->element_type == TYPE_STRUCTURE && descriptor->structure) {
        array->element_structure = descriptor->structure;
        if (descriptor->structure->flags & STRUCT_INTERFACE) array->flags |= ARRAY_INTERFACES;
    }
    // The slot holds the address of the caller's array variable.
    local_frame_offset = (local_frame_offset + 7) & ~7;
    array->offset = local_frame_offset;
    local_frame_offset += 8;
    return array;
}

bool constant_element_count(const ArrayRecord* array, int64_t size, int64_t* count) {
    if (size < 0) {
        set_error(ERROR_NEGATIVE_VALUE);
        return false;
    }
    int64_t element_size = array->element_size > 0 ? array->element_size : 1;
    if (size >= INT64_MAX / element_size) {
        set_error(ERROR_NUMBER_TOO_BIG);
        return false;
    }
    *count = size + 1;
    return true;
}

void compile_array_dimensions(ArrayRecord* array, int redim, int redeclared) {
    if (error_number) return;
    const ArrayHooks* h = hooks();
    int32_t n = count_dimensions();
    if (n > 255) {
        set_error_format(ERROR_ARRAY_DIMENSION_COUNT, array_display_name(array));
        return;
    }
    if (!redeclared) {
        int32_t slots = 8 * (n + 1);
        if (array->flags & ARRAY_THREADED) {
            grow_data_area(thread_local_offset, debugger_code ? 2 * slots : slots);
        } else if ((array->flags & ARRAY_LOCAL) && !(array->flags & (ARRAY_STATIC | ARRAY_PARAMETER))) {
            grow_data_area(local_frame_offset, (debugger_code && !redim) ? 2 * slots : slots);
        } else if (!(array->flags & ARRAY_FIELD)) {
            grow_data_area(global_data_offset, slots);
        }
    }
    ArrayDimensions dimensions{};
    dimensions.array = array;
    dimensions.redim = redim;
    dimensions.count = n;
    dimensions.constant_only = declared_with_constant_sizes(array);
    // A field array's Dim outside its structure: the sizes may move the
    // structure's base.
    dimensions.field_base = (array->flags & ARRAY_FIELD) && !in_structure;
    dimensions.single_count = -1;
    int32_t saved_depth = array->saved_push_depth;
    h->begin_dimension_sizes(&dimensions);
    int32_t k = 0;
    if (n == 1) {
        k = 1;
        dimensions.position = 1;
        if (!compile_integer_argument()) return;
        if (token_code != ')') {
            if (token_code == ',') n = 2;  // a miscount: reported below
        }
        if (operand_is_integer_constant()) {
            if (!constant_element_count(array, current_operand.constant, &dimensions.single_count)) return;
            // A field array's sizes are its structure's: a Dim outside the
            // structure body does not change them.
            if (!redim && !dimensions.field_base) {
                array->constant_sizes = nullptr;
                append_constant_size(array, 1, dimensions.single_count);
            }
        } else if (dimensions.constant_only) {
            set_error(ERROR_ARRAY_SIZE_NOT_LITERAL);
            return;
        } else {
            h->keep_single_size(&dimensions);
        }
    } else {
        if (!redeclared) array->constant_sizes = nullptr;
        for (;;) {
            k++;
            dimensions.position = k;
            if (!compile_integer_argument()) return;
            bool last = token_code != ',';
            dimensions.size_constant = operand_is_integer_constant();
            if (dimensions.size_constant) {
                if (!constant_element_count(array, current_operand.constant, &dimensions.size_count)) return;
                if (dimensions.constant_only) {
                    append_constant_size(array, k, dimensions.size_count);
                } else if (!redim || last) {
                    h->store_dimension_size(&dimensions);
                } else if (debugger_code) {
                    h->check_redim_size(&dimensions);
                }
            } else if (dimensions.constant_only) {
                set_error(ERROR_ARRAY_SIZE_NOT_LITERAL);
                return;
            } else if (!redim || last) {
                h->store_dimension_size(&dimensions);
            } else if (debugger_code) {
                h->check_redim_size(&dimensions);
            }
            if (last || error_number) break;
        }
        if (k != n && !error_number) {
            set_error(ERROR_SYNTAX);
            return;
        }
    }
    if (error_number) return;
    h->end_dimension_sizes(&dimensions);
    array->saved_push_depth = saved_depth;
    if (token_code != ')') {
        set_error(ERROR_DIM_SYNTAX);
        return;
    }
    read_operator();
    if (error_number) return;
    if (token_code != TOKEN_END) {
        bool list_allowed = declaration_mode == DECLARE_DEFINE || declaration_mode == DECLARE_GLOBAL ||
                            declaration_mode == DECLARE_PROTECTED || declaration_mode == DECLARE_STATIC;
        if (token_code != ',' || !list_allowed) {
            set_error(ERROR_GARBAGE_AT_END_OF_LINE);
            return;
        }
    }
    if (redeclared && array->dimension_count != n) {
        set_error(ERROR_SYNTAX);
        return;
    }
    array->dimension_count = n;
    if (!dimensions.constant_only) {
        h->write_dimensions(&dimensions);
    } else if (redeclared) {
        set_error_format(ERROR_STATIC_ARRAY_DECLARED_TWICE, array_display_name(array));
    } else {
        if (!in_structure && array->item && (array->flags & ARRAY_STATIC))
            static_cast<DataItem*>(array->item)->size = 8 * n + 8;
        h->write_dimensions(&dimensions);
    }
}

int emit_array_element_access(ArrayRecord* array) {
    const ArrayHooks* h = hooks();
    if (current_type.given) {
        bool same = current_type.code == array->element_type ||
                    (array->element_type == TYPE_FIXED_STRING && current_type.code == TYPE_STRING);
        if (!same) {
            set_error(ERROR_ARRAY_TYPE_DIFFERS);
            return 0;
        }
    }
    register_push();
    int32_t r = register_stack.top;
    if (token_code != '(') {
        set_error_format(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_ARRAY, array_display_name(array));
        return r;
    }
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (*parse_pointer == ')') {
        // The whole array: its element pointer.
        parse_pointer++;
        read_operator();
        if (error_number) return r;
        if (token_code == '\\') {
            set_error_format(ERROR_MISSING_ARRAY_PARAMETERS, array_display_name(array));
            return r;
        }
        const char* text = h->format_whole_array(array);
        if (error_number) return r;
        snprintf(current_operand.text, sizeof current_operand.text, "%s", text);
        current_operand.kind = OPERAND_VARIABLE;
        current_operand.size = 8;
        // After "@" the pointer gives the array's data.
        current_operand.flags = 0;
        if (address_of_depth) current_operand.flags |= OP_CONTAINER_SLOT;
        current_variable = nullptr;
        register_pop();
        return r;
    }
    uint32_t saved_mode = expression_mode;
    CurrentType saved_type = current_type;
    const int32_t saved_depth = array->saved_push_depth;
    ElementAccess access{};
    access.array = array;
    access.register_index = r;
    // One index, or as many as the array has dimensions; a list of another
    // length is reported once it is read.
    const int32_t wanted = array->dimension_count <= 1 ? 1 : array->dimension_count;
    for (;;) {
        access.index++;
        h->open_element_index(&access);
        if (error_number) return r;
        if (!compile_integer_argument()) return r;
        expression_mode = MODE_INTEGER;
        access.last = wanted == 1 || token_code != ',' || access.index >= wanted;
        h->take_element_index(&access);
        if (access.last || error_number) break;
    }
    if (error_number) return r;
    if (wanted > 1 && (token_code == ',' || access.index != wanted)) {
        set_error_format(ERROR_ARRAY_DIMENSION_COUNT, array_display_name(array));
        return r;
    }
    array->saved_push_depth = saved_depth;
    expression_mode = saved_mode;
    if (token_code != ')') {
        set_error(ERROR_CLOSE_PARENTHESIS_EXPECTED);
        return r;
    }
    read_operator();
    if (error_number) return r;
    current_type = saved_type;
    if (token_code == '\\') {
        if (array->element_type != TYPE_STRUCTURE || !array->element_structure) {
            set_error_format(ERROR_ARRAY_WITHOUT_STRUCTURE, array_display_name(array));
            return r;
        }
        // A field chain (or a method call) from the element.
        std::string text = h->format_element(&access, 8);
        compile_element_field_chain(array->element_structure, text.c_str(), (array->flags & ARRAY_POINTERS) != 0);
        register_pop();
        return r;
    }
    current_type.code = array->element_type;
    current_type.size = array->element_size;
    current_type.structure = array->element_structure;
    int32_t size = array->element_size;
    uint32_t flags = 0;
    int32_t kind = OPERAND_VARIABLE;
    if (array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) {
        size = 8;
        if (array->flags & ARRAY_POINTERS) flags |= OP_POINTER;
    } else {
        switch (array->element_type) {
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
    const char* text = h->format_element(&access, size > 8 ? 8 : size);
    snprintf(current_operand.text, sizeof current_operand.text, "%s", text);
    current_operand.kind = kind;
    current_operand.size = size;
    current_operand.constant = 0;
    current_operand.flags = flags;
    current_variable = nullptr;
    register_pop();
    return r;
}

void free_scope_arrays() {
    CursorList* list = scope_array_list();
    if (!list) return;
    const ArrayHooks* h = hooks();
    bool kept = false;
    list_reset_cursor(list);
    ListNode* node = list->first;
    while (node) {
        ListNode* following = node->next;
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (array->flags & ARRAY_STATIC) {
            // Unlinked but kept: its data item still refers to it.
            if (node->previous) node->previous->next = node->next;
            else list->first = node->next;
            if (node->next) node->next->previous = node->previous;
            else list->last = node->previous;
            list->current = nullptr;
        } else if (array->flags & ARRAY_LOCAL) {
            if (!(array->flags & ARRAY_PARAMETER) && array->dimension_count > 0) {
                if (!kept) h->emit_keep_return_value();
                kept = true;
                h->emit_free_array(array);
            }
            list->current = node;
            list_delete_current(list);
        } else {
            array->flags &= ~(uint32_t)ARRAY_SHARED;
        }
        node = following;
    }
    list_reset_cursor(list);
}

bool compile_array_reference(const char* name, bool statement_start) {
    ArrayRecord* array = find_array(name);
    if (!array || error_number) return false;
    emit_array_element_access(array);
    if (error_number || !statement_start) return true;
    bool update = is_update_operator();
    if ((token_code == '=' || update) && operand_is_call_result()) {
        set_error(ERROR_SYNTAX);
        return true;
    }
    if (token_code == '=' || update) {
        hooks()->prepare_element_target();
        // An update reads the element again, which moves rbp.
        if (update || right_side_may_move_base()) save_target_element_address();
        compile_statement_expression();
        element_address_saved = 0;
        return true;
    }
    if (token_code == TOKEN_END && !operand_is_call_result()) set_error(ERROR_SYNTAX);
    return true;
}

void save_target_element_address() {
    element_address_saved = hooks()->emit_save_element_address();
}

void reload_saved_element_address() {
    const ArrayHooks* h = hooks();
    if (element_address_saved) h->emit_reload_element_address();
}

void drop_saved_element_address() {
    const ArrayHooks* h = hooks();
    if (element_address_saved) h->emit_drop_element_address();
    element_address_saved = 0;
}

// ---------------------------------------------------------------------------
// Dim and ReDim

void compile_dim_statement(int redim) {
    emit_statement_line_marker();
    pointer_flag = 0;
    bool star_read = token_code == '*';
    // Any other byte the keyword's reader took as an operator (the digit of
    // "1abc", a "$") cannot begin a name.
    if (!star_read && token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END) {
        set_error(ERROR_ARRAY_NAME_START);
        return;
    }
    if (!star_read)
        while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (star_read || *parse_pointer == '*') {
        if (!star_read) parse_pointer++;
        pointer_flag = 1;
    }
    char* name_start = parse_pointer;
    read_token();
    if (error_number) return;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return;
    if (!identifier_start_chars[(unsigned char)statement_word[0]]) {
        set_error(ERROR_ARRAY_NAME_START);
        return;
    }
    if (token_code == '\\') {
        // "Dim b\a(n)": an array field of a structured item.
        parse_pointer = name_start;
        if (star_read || pointer_flag) parse_pointer--;
        compile_field_dim_statement(redim);
        return;
    }
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", statement_word);
    parse_field_type(TYPE_SUFFIX_PLAIN);
    if (error_number) return;
    if (token_code != '(') {
        set_error(ERROR_DIM_SYNTAX);
        return;
    }
    // The item of a declaration statement keeps its mode (Global, Static, ...).
    declare_array(name, redim, nullptr);
}
