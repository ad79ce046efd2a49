// Structure field access. A chain "\a\b\c" over embedded structures only
// adds offsets; rbp is moved only by a pointer field used as a structure, a
// computed index of a static array field, or an offset beyond a 32767-byte
// displacement.
#include "frontend/structure_fields.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "frontend/arrays.h"
#include "frontend/call_arguments.h"
#include "frontend/data_sections.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/interface_calls.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/residents.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

// A caller's request on the chain it is about to compile: a container field
// taken whole, or the dimensions of an array field (Dim, ReDim).
struct FieldChainState {
    int32_t wanted = 0;         // kind of container wanted whole; 0 for none
    void* record = nullptr;     // the container taken whole, once found
    int32_t type = 0;           // and its kind
    int32_t depth = 0;          // the expression depth of the caller
    int32_t dim = 0;            // 1 Dim, 2 ReDim; -1 once done; 0 for none
};

// The bridge to the chain: the caller reaches it through the expression
// compiler (compile_expression, then compile_variable_field_access from
// the operand reader), which carries no chain parameter, so the request
// in force is found here. It points at the caller's own record while that
// caller compiles, at an empty one otherwise.
FieldChainState no_request;
FieldChainState* chain_request = &no_request;

const FieldHooks* hooks() { return backend->fields; }

constexpr int64_t max_displacement = 32767;

FieldRecord* find_field(StructureRecord* structure, const char* name) {
    for (FieldRecord* field = structure->first_field; field; field = field->next)
        if (strcasecmp(field->name, name) == 0) return field;
    return nullptr;
}

// The module whose tables a field's type name is read in: the one written
// in the type ("Other::Lat"), else that of the structure holding the field,
// so that a module structure's fields name its own items from anywhere.
// Null for the main scope.
ModuleRecord* field_type_module(const StructureRecord* owner, const FieldRecord* field) {
    if (field->type_module_name) return find_module(field->type_module_name);
    return owner ? owner->module : nullptr;
}

// The structure or interface a field's type names (a pointer field's
// target, an interface field): in the field's module or the main scope,
// else as the scope being compiled sees the name (residents, modules in use).
StructureRecord* field_type_structure(const StructureRecord* owner, const FieldRecord* field) {
    if (!field->type_name || !field->type_name[0]) return nullptr;
    ModuleRecord* module = field_type_module(owner, field);
    HashTable* table = module ? module->structures : structure_table;
    if (StructureRecord* found = table ? reinterpret_cast<StructureRecord*>(hash_find(table, field->type_name)) : nullptr)
        return found;
    if (field->type_module_name) return nullptr;
    return find_structure(field->type_name);
}

// The structure a pointer field points to, or its nested structure.
StructureRecord* field_structure(const StructureRecord* owner, const FieldRecord* field) {
    if (field->flags & FIELD_POINTER) return field_type_structure(owner, field);
    return field->type == TYPE_STRUCTURE ? field->structure : nullptr;
}

// The right side of an assignment may move rbp (another field, an element
// or a call) or the threaded variables reload it.
bool right_side_may_move_rbp() {
    if (thread_local_offset > 0) return true;
    for (const char* p = parse_pointer; *p && *p != STATEMENT_SEPARATOR; p++) {
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

// "[index]" of a static array field (token "["). Returns the constant part
// of the byte offset; a computed index leaves rbp pushed and the scaled
// index in register *r (-1 when the index was constant).
int64_t compile_static_index(const FieldRecord* field, int32_t* r) {
    *r = -1;
    const FieldHooks* h = hooks();
    // A dry run tells a constant index (no code at all) from a computed one.
    LexerMark mark = mark_lexer();
    compile_expression(EXPR_INTEGER_ONLY | EXPR_DRY_RUN, MODE_INTEGER);
    if (error_number) return 0;
    if (current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT)) {
        if (token_code != ']') {
            set_error(ERROR_CLOSE_BRACKET_MISSING);
            return 0;
        }
        // A constant index lies inside the field; a field of no elements
        // (a variable-length tail) takes any index whose offset fits.
        int64_t index = current_operand.constant;
        int64_t element_size = field->element_size > 0 ? field->element_size : 1;
        if (field->static_count > 0 && (index < 0 || index >= field->static_count)) {
            char text[STATEMENT_WORD_SIZE + 96];
            snprintf(text, sizeof text, "Structure array index out of bounds: %s[%lld] (%d elements).",
                     field->name, (long long)index, field->static_count);
            set_error_text(ERROR_SYNTAX, text);
            return 0;
        }
        if (index > INT32_MAX / element_size || index < INT32_MIN / element_size) {
            set_error(ERROR_NUMBER_TOO_BIG);
            return 0;
        }
        h->name_field_index(index);
        return index * element_size;
    }
    rewind_lexer(mark);
    register_push();
    *r = register_stack.top;
    h->emit_keep_field_base();
    compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
    if (error_number) return 0;
    if (token_code != ']') {
        set_error(ERROR_CLOSE_BRACKET_MISSING);
        return 0;
    }
    if (debugger_code && field->static_count > 0)
        h->emit_structure_array_check(field->static_count);
    h->emit_scale_field_index(*r, field->element_size);
    return 0;
}

// The current operand for the field at rbp + pending offset.
void set_field_operand(const FieldRecord* field, bool whole_item, int64_t* pending) {
    const FieldHooks* h = hooks();
    int32_t type = field->type;
    bool pointer = (field->flags & FIELD_POINTER) != 0;
    uint32_t flags = 0;
    int32_t kind = OPERAND_VARIABLE;
    int32_t size = data_type_size(type);
    int32_t text_size = size;
    if (whole_item) {
        size = 8;
        text_size = 0;
        flags = OP_STRUCTURE;
    } else if (pointer || type == TYPE_STRUCTURE) {
        size = text_size = 8;
        flags = OP_POINTER;
    } else {
        switch (type) {
        case TYPE_FLOAT: flags = OP_FLOAT; break;
        case TYPE_DOUBLE: flags = OP_FLOAT | OP_DOUBLE; break;
        case TYPE_QUAD:
        case TYPE_INTEGER: flags = OP_QUAD; break;
        case TYPE_CHARACTER:
        case TYPE_ASCII:
        case TYPE_UNICODE: flags = OP_UNSIGNED; break;
        case TYPE_STRING: kind = OPERAND_STRING; flags = OP_STRING; break;
        case TYPE_FIXED_STRING:
            kind = OPERAND_STRING;
            flags = OP_STRING | OP_FIXED_STRING;
            size = field->element_size;
            text_size = 8;
            break;
        default: break;
        }
        if (size == 0) size = text_size = 8;
    }
    if (!whole_item) {
        if (debugger_code) h->emit_field_check();
        if (*pending > max_displacement) {
            h->emit_add_field_offset(*pending);
            *pending = 0;
        }
    }
    const char* text = h->format_field_operand(text_size, *pending);
    snprintf(current_operand.text, sizeof current_operand.text, "%s", text);
    current_operand.kind = kind;
    current_operand.size = size;
    current_operand.constant = 0;
    current_operand.flags = flags;
    current_type.code = pointer ? TYPE_INTEGER : type;
    current_type.size = size;
    current_type.structure = field->structure;
}

// The operand of the qword at the pending offset (an object or function
// pointer the field holds); a large offset is added to the base first.
const char* field_qword_text(int64_t* pending) {
    const FieldHooks* h = hooks();
    if (*pending > max_displacement) {
        h->emit_add_field_offset(*pending);
        *pending = 0;
    }
    return h->format_field_operand(8, *pending);
}

// The prototype that types a field ("cb.Pr" or "cb.Module::Pr"), read
// where the field's structure was declared as its structures are.
ProcedureRecord* field_prototype(const StructureRecord* owner, const FieldRecord* field) {
    if (!field->type_name) return nullptr;
    ModuleRecord* module = field_type_module(owner, field);
    HashTable* table = module ? module->prototypes : prototype_table;
    if (ProcedureRecord* found = table ? reinterpret_cast<ProcedureRecord*>(hash_find(table, field->type_name)) : nullptr)
        return found;
    if (field->type_module_name) return nullptr;
    ProcedureRecord* prototype = find_prototype(field->type_name);
    if (error_number) clear_error_state();
    return prototype;
}

// "(" right after the field name, and ")" next: the container as a whole.
bool empty_brackets_follow() {
    if (token_code != '(') return false;
    const char* p = parse_pointer;
    while (*p == ' ' || *p == '\t') p++;
    return *p == ')';
}

// An array, list or map field (the token after its name read): its
// element, the whole container for a caller that wants one, or its Dim.
void compile_container_field(const FieldRecord* field, FieldChainState* request, int64_t* pending) {
    const FieldHooks* h = hooks();
    if (!field->container) {
        set_error(ERROR_SYNTAX);
        return;
    }
    h->emit_enter_container_field(*pending);
    *pending = 0;
    current_variable = nullptr;
    current_type.given = 0;
    if (request->dim > 0 && field->type == TYPE_ARRAY && token_code == '(' &&
        current_expression_depth() == request->depth + 1 && !field_chain_follows_brackets(parse_pointer)) {
        auto* array = static_cast<ArrayRecord*>(field->container);
        int redim = request->dim - 1;
        request->dim = -1;  // done
        request->wanted = 0;
        compile_array_dimensions(array, redim, 1);
        leave_container_field();
        return;
    }
    // Only the chain itself, not one inside an index or key of it.
    const bool wanted = (request->wanted == field->type ||
                         (request->wanted == CONTAINER_FIELD_LIST_OR_MAP && field->type != TYPE_ARRAY)) &&
                        current_expression_depth() == request->depth + 1;
    // "a\\list()\\inner()": the current element of list, not the list.
    if (wanted && empty_brackets_follow() && !field_chain_follows_brackets(parse_pointer)) {
        // Taken whole: the caller checks the kind and leaves the field.
        request->wanted = 0;
        request->record = field->container;
        request->type = field->type;
        while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
        parse_pointer++;
        read_operator();
        current_operand.kind = OPERAND_VARIABLE;
        current_operand.size = 8;
        current_operand.flags = 0;
        current_operand.constant = 0;
        current_operand.text[0] = 0;
        return;
    }
    const bool taken_before = request->record != nullptr;
    switch (field->type) {
    case TYPE_ARRAY: emit_array_element_access(static_cast<ArrayRecord*>(field->container)); break;
    case TYPE_LIST: emit_list_element_access(static_cast<ListRecord*>(field->container)); break;
    default: emit_map_element_access(static_cast<MapRecord*>(field->container)); break;
    }
    // "b\\bags(2)\\list()": the list taken whole stays entered for the caller.
    const bool taken_inside = !taken_before && request->record != nullptr;
    h->emit_leave_container_field(taken_inside ? 1 : 0);
}

// The offsets not yet added to the base are `*pending`, the caller's
// request `*request`.
void compile_field_chain(StructureRecord* structure, FieldChainState* request, int64_t* pending) {
    const FieldHooks* h = hooks();
    for (;;) {
        read_token();
        if (error_number) return;
        if (!statement_word[0]) {
            set_error(ERROR_STRUCTURE_FIELD_MISSING);
            return;
        }
        FieldRecord* field = find_field(structure, statement_word);
        if (!field) {
            set_error_format(ERROR_STRUCTURE_FIELD_NOT_FOUND, statement_word);
            return;
        }
        if (token_code == '.') {
            char name[STATEMENT_WORD_SIZE];
            snprintf(name, sizeof name, "%s", field->name);
            read_token();
            if (error_number) return;
            const char* declared = field->type_name ? field->type_name : "";
            if (strcasecmp(statement_word, declared) != 0) {
                set_error_format(ERROR_FIELD_TYPE_MISMATCH, name);
                return;
            }
        }
        h->name_field(field);
        bool pointer = (field->flags & FIELD_POINTER) != 0;
        int64_t index_offset = 0;
        int32_t index_register = -1;
        if (field->static_count >= 0) {
            if (token_code != '[') {
                // The whole static array, as an item that only copies.
                *pending += field->offset;
                set_field_operand(field, true, pending);
                return;
            }
            index_offset = compile_static_index(field, &index_register);
            if (error_number) return;
            read_operator();
            if (error_number) return;
        }
        // A container's pointer mark is that of its elements.
        if (field->type == TYPE_ARRAY || field->type == TYPE_LIST || field->type == TYPE_MAP) {
            compile_container_field(field, request, pending);
            return;
        }
        *pending += field->offset + index_offset;
        if (index_register >= 0) {
            h->emit_apply_field_index(index_register);
            register_pop();
        }
        if (token_code == '\\' &&
            ((field->flags & FIELD_INTERFACE) || (pointer && field->type == TYPE_STRUCTURE))) {
            // A method call: the field's qword is the object.
            StructureRecord* interface = field_type_structure(structure, field);
            if (interface && (interface->flags & STRUCT_INTERFACE)) {
                emit_interface_method_call(nullptr, interface, field_qword_text(pending), address_of_depth > 0);
                if (address_of_depth && !error_number) current_operand.flags |= OP_ADDRESS;
                return;
            }
        }
        if (token_code == '\\') {
            if (pointer) {
                StructureRecord* target = field_structure(structure, field);
                if (!target) {
                    set_error_format(ERROR_UNDEFINED_STRUCTURE, field->type_name ? field->type_name : "");
                    return;
                }
                h->emit_load_pointer_field(*pending);
                *pending = 0;
                structure = target;
            } else if (field->type == TYPE_STRUCTURE && field->structure) {
                structure = field->structure;
            } else {
                set_error_format(ERROR_NOT_STRUCTURED_FIELD, field->name);
                return;
            }
            continue;
        }
        if ((field->flags & FIELD_PROTOTYPE) && !pointer && token_code == '(' && !address_of_depth) {
            // A call through the function the field holds.
            ProcedureRecord* prototype = field_prototype(structure, field);
            if (!prototype) {
                set_error_format(ERROR_STRUCTURE_NOT_FOUND, field->type_name ? field->type_name : "");
                return;
            }
            compile_prototype_value_call(prototype, field->name, field_qword_text(pending));
            return;
        }
        // An interface field holds an object's address: a plain value.
        bool interface_field = (field->flags & FIELD_INTERFACE) ||
                               (field->structure && (field->structure->flags & STRUCT_INTERFACE));
        set_field_operand(field, field->type == TYPE_STRUCTURE && !pointer && !interface_field, pending);
        return;
    }
}

}  // namespace

void emit_structure_field_access(StructureRecord* structure) {
    int64_t pending = 0;
    uint32_t saved_mode = expression_mode;
    expression_mode = MODE_INTEGER;
    compile_field_chain(structure, chain_request, &pending);
    expression_mode = saved_mode;
}

void compile_element_field_chain(StructureRecord* structure, const char* element_operand, bool pointer_element) {
    if (!structure) {
        set_error(ERROR_SYNTAX);
        return;
    }
    char text[sizeof current_operand.text];
    snprintf(text, sizeof text, "%s", element_operand ? element_operand : "");
    current_variable = nullptr;
    if (structure->flags & STRUCT_INTERFACE) {
        // The element's qword is the object.
        emit_interface_method_call(nullptr, structure, text, address_of_depth > 0);
        if (address_of_depth && !error_number) current_operand.flags |= OP_ADDRESS;
        return;
    }
    const FieldHooks* h = hooks();
    h->emit_load_structure_base(text, pointer_element);
    emit_structure_field_access(structure);
}

void compile_variable_field_access(VariableRecord* variable) {
    StructureRecord* structure = variable->structure;
    if (!structure) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (structure->flags & STRUCT_INTERFACE) {
        emit_interface_method_call(variable, structure, nullptr, address_of_depth > 0);
        if (address_of_depth && !error_number) current_operand.flags |= OP_ADDRESS;
        return;
    }
    bool statement_start = previous_token == TOKEN_STATEMENT_START;
    const FieldHooks* h = hooks();
    const char* operand = backend->format_variable_operand(variable);
    h->emit_load_structure_base(operand, variable->pointer);
    current_variable = nullptr;
    emit_structure_field_access(structure);
    if (error_number) return;
    bool update = statement_start && is_update_operator();
    if (!statement_start || (token_code != '=' && !update)) return;
    // An assignment: its target's address waits on the machine stack when
    // the right side may move rbp (an update reads the field again), and is
    // read back before the store.
    if (update || right_side_may_move_rbp()) save_target_element_address();
}

bool field_chain_follows_brackets(const char* p) {
    int depth = 1;
    for (; *p && depth; p++) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"') p++;
            if (!*p) break;
        } else if (*p == '(') {
            depth++;
        } else if (*p == ')') {
            depth--;
        }
    }
    while (*p == ' ' || *p == '\t') p++;
    return *p == '\\';
}

void leave_container_field() {
    const FieldHooks* h = hooks();
    h->emit_leave_container_field(0);
}

namespace {

// A "\" at bracket depth 0 before the end of the argument or statement.
bool chain_follows(const char* p) {
    int depth = 0;
    for (; *p && *p != STATEMENT_SEPARATOR; p++) {
        if (*p == '"') {
            p++;
            while (*p && *p != '"') p++;
            if (!*p) break;
        } else if (*p == '(') {
            depth++;
        } else if (*p == ')') {
            if (--depth < 0) return false;
        } else if (*p == ',' && depth == 0) {
            return false;
        } else if (*p == '\\' && depth == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void* compile_whole_container_field(int32_t kind, int32_t* type) {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (!chain_follows(parse_pointer)) return nullptr;
    FieldChainState request;
    request.wanted = kind;
    request.depth = current_expression_depth();
    FieldChainState* saved_request = chain_request;
    chain_request = &request;
    uint32_t saved_mode = expression_mode;
    token_code = TOKEN_EXPRESSION_START;  // no statement start: an element is no assignment target here
    compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
    expression_mode = saved_mode;
    chain_request = saved_request;
    if (type) *type = request.type;
    return error_number ? nullptr : request.record;
}

void compile_field_dim_statement(int redim) {
    FieldChainState request;
    request.dim = redim + 1;
    request.depth = current_expression_depth();
    FieldChainState* saved_request = chain_request;
    chain_request = &request;
    token_code = TOKEN_EXPRESSION_START;
    compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
    chain_request = saved_request;
    bool done = request.dim == -1;
    if (!error_number && !done) set_error(ERROR_DIM_SYNTAX);
}
