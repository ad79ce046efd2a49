// Call arguments: the prescan of an argument list, the count check, the
// defaults of missing optional parameters, the arguments compiled from the
// last to the first with their type checks, and the whole call of a
// procedure or library command through the back end.

#include "frontend/call_arguments.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/char_tables.h"
#include "core/text_format.h"
#include "core/memory_pools.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/arrays.h"
#include "frontend/conditions.h"
#include "frontend/imports.h"
#include "frontend/interface_calls.h"
#include "frontend/lists_maps.h"
#include "frontend/modules.h"
#include "frontend/lexer.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/strings.h"
#include "frontend/structure_fields.h"
#include "frontend/structures.h"
#include "frontend/variables.h"
#include "forge/library_format.h"

namespace {

void skip_blanks() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

bool is_string_type(int type) { return type == TYPE_STRING || (type >= TYPE_P_ASCII && type <= TYPE_P_UTF8); }

// Parameters that take a string, a list, an array or a map (any kind).
bool takes_string_or_container(int type) {
    return type == TYPE_STRING || type == TYPE_LIST || type == TYPE_ARRAY || type == TYPE_MAP ||
           (type >= PARAMETER_ARRAY_THEN_MAP && type <= PARAMETER_MAP_ELEMENT_MAP) || (type >= TYPE_P_ASCII && type <= TYPE_P_VARIANT) || type == PARAMETER_ANY;
}

// The arithmetic an argument is compiled in, by its parameter type.
uint32_t argument_mode(int type) {
    switch (type) {
    case TYPE_FLOAT: return MODE_FLOAT;
    case TYPE_DOUBLE: return MODE_DOUBLE;
    case TYPE_QUAD: return MODE_QUAD;
    case TYPE_LIST: case PARAMETER_LIST_THEN_MAP: case PARAMETER_LIST_ELEMENT_MAP: return 16;
    case TYPE_MAP: case PARAMETER_MAP_THEN_MAP: case PARAMETER_MAP_ELEMENT_MAP: return 64;
    case TYPE_STRUCTURE: case PARAMETER_STRUCTURE_POINTER: case PARAMETER_STRUCTURE_MAP: case PARAMETER_STRUCTURE_DESCRIPTOR: return MODE_STRUCTURE_NAME;
    case PARAMETER_ANY: return MODE_PRESCAN;
    default: return MODE_INTEGER;
    }
}

// Sets the operand's kind and flags from the call's result (the back end
// has named the place).
void set_call_result_operand(const CallRecord* call) {
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    switch (call->result) {
    case CALL_RESULT_FLOAT: current_operand.flags = OP_FLOAT; break;
    case CALL_RESULT_DOUBLE: current_operand.flags = OP_FLOAT | OP_DOUBLE; break;
    case CALL_RESULT_QUAD: current_operand.flags = OP_QUAD; break;
    case CALL_RESULT_STRING:
        current_operand.kind = OPERAND_STRING;
        current_operand.flags = OP_STRING | OP_COMPUTED | OP_STRING_STACK;
        break;
    default: current_operand.flags = 0; break;
    }
}

// The operand just compiled is a string that the call must put on the
// string stack (a temporary there already, or a fixed string).
bool uses_string_stack() {
    if (current_operand.kind != OPERAND_STRING && !(current_operand.flags & OP_STRING)) return false;
    return (current_operand.flags & (OP_COMPUTED | OP_FIXED_STRING)) != 0;
}

// Parameter kinds that take a whole array, list or map: the kind of record
// they take (0 for the others).
int container_kind(int type) {
    switch (type) {
    case TYPE_ARRAY: case PARAMETER_ARRAY_THEN_MAP: case PARAMETER_ARRAY_ELEMENT_MAP: return TYPE_ARRAY;
    case TYPE_LIST: case PARAMETER_LIST_THEN_MAP: case PARAMETER_LIST_ELEMENT_MAP: return TYPE_LIST;
    case TYPE_MAP: case PARAMETER_MAP_THEN_MAP: case PARAMETER_MAP_ELEMENT_MAP: return TYPE_MAP;
    default: return 0;
    }
}

// Parameter kinds that take a structure type name: its size, its map or
// its descriptor table.
bool is_structure_kind(int type) {
    return type == TYPE_STRUCTURE || (type >= PARAMETER_STRUCTURE_POINTER && type <= PARAMETER_STRUCTURE_DESCRIPTOR);
}

// Library parameter kinds whose argument also fills the parameter after
// them (an array, list or map with the map of its elements; a structure
// name with its descriptor or map): the argument is written once.
bool fills_two_entries(int type) {
    return type == TYPE_STRUCTURE || type == PARAMETER_ARRAY_THEN_MAP || type == PARAMETER_LIST_THEN_MAP ||
           type == PARAMETER_MAP_THEN_MAP || type == PARAMETER_STRUCTURE_POINTER;
}

// Reads "[Module::]Name" of a structure type at the parse pointer, and the
// token after it: the structure, or null with the error set (326 for a name
// that is no structure, 1 for no name at all).
StructureRecord* read_structure_type_argument() {
    skip_blanks();
    if (!identifier_start_chars[(unsigned char)*parse_pointer]) {
        set_error(ERROR_SYNTAX);
        return nullptr;
    }
    ModuleRecord* saved_module = explicit_module;
    read_token();
    if (!error_number && resolve_word_module_prefix()) refuse_word_operator();
    StructureRecord* structure = nullptr;
    if (!error_number) {
        structure = find_structure(statement_word);
        if (!structure && !error_number) set_error_format(ERROR_NOT_STRUCTURE, statement_word);
    }
    explicit_module = saved_module;
    return error_number ? nullptr : structure;
}

// "[*][Module::]name" followed by "()" at the parse pointer: the name in
// `name` (the prefix resolved), pointer_flag set by the "*", the parse
// pointer after the ")". False when the text has another form (nothing is
// reported then, but a wrong module prefix sets its error).
bool read_whole_container_name(char* name, size_t size) {
    skip_blanks();
    pointer_flag = 0;
    if (*parse_pointer == '*') {
        parse_pointer++;
        pointer_flag = 1;
    }
    if (!identifier_start_chars[(unsigned char)*parse_pointer]) return false;
    read_token();
    if (error_number) return false;
    if (resolve_word_module_prefix()) refuse_word_operator();
    if (error_number) return false;
    if (!statement_word[0] || token_code != '(') return false;
    snprintf(name, size, "%s", statement_word);
    skip_blanks();
    if (*parse_pointer != ')') return false;
    parse_pointer++;
    return true;
}

// The record of a whole container of the kind, or null.
void* find_container(int kind, const char* name) {
    switch (kind) {
    case TYPE_ARRAY: return find_array(name);
    case TYPE_LIST: return find_list(name);
    default: return find_map(name);
    }
}

// The elements of an array, list or map record.
struct ContainerElements {
    int32_t type;
    StructureRecord* structure;
    bool pointers;
};

ContainerElements container_elements(int kind, void* record) {
    if (kind == TYPE_ARRAY) {
        auto* array = static_cast<ArrayRecord*>(record);
        return {array->element_type, array->element_structure, (array->flags & ARRAY_POINTERS) != 0};
    }
    if (kind == TYPE_LIST) {
        auto* list = static_cast<ListRecord*>(record);
        return {list->element_type, list->element_structure, (list->flags & CONTAINER_POINTERS) != 0};
    }
    auto* map = static_cast<MapRecord*>(record);
    return {map->element_type, map->element_structure, (map->flags & CONTAINER_POINTERS) != 0};
}

// The element type of a container argument against the parameter's
// descriptor (procedures of the source and interface methods).
bool container_matches(int kind, void* record, const ParameterDescriptor* wanted) {
    if (!wanted) return true;
    if (kind == TYPE_ARRAY && static_cast<ArrayRecord*>(record)->dimension_count != wanted->dimension_count) return false;
    ContainerElements elements = container_elements(kind, record);
    if (elements.pointers != (wanted->pointer != 0)) return false;
    if (elements.pointers) return true;
    if (elements.type != wanted->type) return false;
    return elements.type != TYPE_STRUCTURE || elements.structure == wanted->structure;
}

// The structure of a container's elements, or null for pointers and plain
// elements.
StructureRecord* element_structure(int kind, void* record) {
    ContainerElements elements = container_elements(kind, record);
    return elements.pointers || elements.type != TYPE_STRUCTURE ? nullptr : elements.structure;
}

// The token after an argument: `expected`, or for the first entry of an
// argument that fills two (`expected` 0) either separator.
bool argument_ends(int expected) {
    return expected ? token_code == expected : token_code == ',' || token_code == ')';
}

const ParameterDescriptor* parameter_descriptor(const CallRecord* call, int32_t i) {
    if (call->callee_kind == CALLEE_INTERFACE)
        return call->method && i < call->method->parameter_count ? call->method->parameters[i].element_type : nullptr;
    if (call->callee_kind == CALLEE_LIBRARY || call->callee_kind == CALLEE_IMPORTED || !call->procedure) return nullptr;
    return i < call->procedure->parameter_count ? call->procedure->parameters[i].element_type : nullptr;
}

// The structure a structure entry hands to the back end, with the marks
// its output needs: for a descriptor only one with strings, arrays, lists
// or maps, marked as needing its set-up code; for a map (of the structure
// or of a container's elements) the mark that has the map written.
StructureRecord* mark_structure_argument(int type, StructureRecord* structure) {
    if (!structure || type == TYPE_STRUCTURE || type == PARAMETER_STRUCTURE_POINTER) return structure;
    if (type == PARAMETER_STRUCTURE_DESCRIPTOR) {
        if (!(structure->flags & STRUCT_DYNAMIC) || (structure->flags & STRUCT_INTERFACE)) return nullptr;
        structure->flags |= STRUCT_NEEDS_INIT;
        return structure;
    }
    if (!no_output_depth) structure->flags |= STRUCT_MARK_800;
    return structure;
}

// One argument of a container parameter: the whole array, list or map,
// checked and handed to the back end.
void compile_container_argument(CallRecord* call, int32_t i, int type, int expected) {
    int kind = container_kind(type);
    char name[STATEMENT_WORD_SIZE];
    ModuleRecord* saved_module = explicit_module;
    char* start = parse_pointer;
    bool whole = read_whole_container_name(name, sizeof name);
    if (error_number) return;
    // "list()\field()": a field of the current element.
    skip_blanks();
    if (whole && *parse_pointer == '\\') whole = false;
    void* record = whole ? find_container(kind, name) : nullptr;
    explicit_module = saved_module;
    if (error_number) return;
    pointer_flag = 0;
    // A container field of a structure ("b\list()").
    bool field = false;
    if (!record) {
        parse_pointer = start;
        record = compile_whole_container_field(kind, nullptr);
        if (error_number) return;
        field = record != nullptr;
    }
    if (!record) {
        set_error(kind == TYPE_ARRAY ? ERROR_ARRAY_PARAMETER_EXPECTED : kind == TYPE_LIST ? ERROR_LIST_PARAMETER_EXPECTED : ERROR_MAP_PARAMETER_EXPECTED);
        return;
    }
    if (!container_matches(kind, record, parameter_descriptor(call, i))) {
        set_error(kind == TYPE_ARRAY ? ERROR_ARRAY_PARAMETER_MISMATCH : kind == TYPE_LIST ? ERROR_LIST_PARAMETER_MISMATCH : ERROR_MAP_PARAMETER_MISMATCH);
        return;
    }
    if (!field) read_operator();
    if (error_number) return;
    if (!argument_ends(expected)) {
        set_error(ERROR_SYNTAX);
        return;
    }
    call->argument_index = i;
    if (type == PARAMETER_ARRAY_ELEMENT_MAP || type == PARAMETER_LIST_ELEMENT_MAP || type == PARAMETER_MAP_ELEMENT_MAP) {
        // The map of the elements' structure (none for pointers or plain
        // elements).
        backend->push_structure_argument(call, type, mark_structure_argument(type, element_structure(kind, record)));
        return;
    }
    backend->push_container_argument(call, type, kind, record);
    if (field) leave_container_field();
}

// One entry of a structure parameter of a library command: the structure
// type named by the argument, handed to the back end (its size, map or
// descriptor by the parameter type).
void compile_structure_argument(CallRecord* call, int32_t i, int type, int expected) {
    StructureRecord* structure = read_structure_type_argument();
    if (error_number) return;
    if (!argument_ends(expected)) {
        set_error(ERROR_SYNTAX);
        return;
    }
    call->argument_index = i;
    backend->push_structure_argument(call, type, mark_structure_argument(type, structure));
}

// The prescan's view of an argument that is a whole array, list or map
// ("name()" of an existing container followed by "," or ")"): it is
// skipped, since it is no expression. False leaves the parse state as it was.
bool skip_whole_container_argument() {
    char* start = parse_pointer;
    ModuleRecord* saved_module = explicit_module;
    char name[STATEMENT_WORD_SIZE];
    bool whole = read_whole_container_name(name, sizeof name);
    bool found = whole && !error_number &&
                 (find_array(name) || find_list(name) || find_map(name)) && !error_number;
    explicit_module = saved_module;
    pointer_flag = 0;
    if (found) {
        const char* p = parse_pointer;
        while (*p == ' ' || *p == '\t') p++;
        if (*p == ',' || *p == ')') {
            read_operator();
            return true;
        }
    }
    if (error_number) clear_error_state();
    parse_pointer = start;
    return false;
}

// The prescan's view of an argument beyond the parameters of the form the
// list is read for, when it is a structure type name followed by "," or
// ")": skipped (another form may take it; read as a variable it would be
// declared). False leaves the parse state as it was.
bool skip_structure_name_argument() {
    char* start = parse_pointer;
    skip_blanks();
    bool found = false;
    if (identifier_start_chars[(unsigned char)*parse_pointer]) {
        ModuleRecord* saved_module = explicit_module;
        int32_t saved_suppress = suppress_errors;
        suppress_errors++;
        read_token();
        refuse_word_operator();
        if (!error_number && resolve_word_module_prefix()) refuse_word_operator();
        found = !error_number && (token_code == ',' || token_code == ')') && find_structure(statement_word) &&
                !error_number;
        suppress_errors = saved_suppress;
        explicit_module = saved_module;
    }
    if (error_number) clear_error_state();
    if (!found) parse_pointer = start;
    return found;
}

// A call inside the arguments of another is read once by the prescan of
// the outer list and once more when the outer arguments are compiled, and
// each reading prescans its own list: read so, every level of nesting would
// double the work. A list prescanned inside another prescan is therefore
// kept for the statement. Read again from the same place for the same form,
// it gives what it gave the first time, and the numbers the first reading
// handed out (labels, temporaries) are handed out again, so that every
// number written after it is what reading it again would give. Read so,
// the numbers too would double with every level: a list whose reading
// handed out more than a few thousand has them handed out once only (a
// nesting that deep took minutes to compile before its lists were kept).
constexpr int32_t REPLAYED_NUMBERS_AT_MOST = 1 << 16;

struct KeptPrescan {
    const char* start;
    std::string name;
    std::vector<uint8_t> types;  // the parameter codes the list was read for
    int capacity;
    bool string_stack_asked;
    int count;
    int32_t string_stack;
    std::vector<char*> starts;  // count + 1: the argument starts and the end
    NumberingState numbers_advanced;
    int32_t bool_labels_advanced;
    bool numbers_replayed;  // few enough numbers to hand out again
};

std::vector<KeptPrescan> kept_prescans;
int32_t prescan_depth = 0;

KeptPrescan* find_kept_prescan(const char* start, const char* name, const uint8_t* types, int32_t type_count,
                               int capacity, bool string_stack_asked) {
    size_t type_length = types && type_count > 0 ? static_cast<size_t>(type_count) : 0;
    for (KeptPrescan& kept : kept_prescans)
        if (kept.start == start && kept.capacity == capacity && kept.string_stack_asked == string_stack_asked &&
            kept.types.size() == type_length &&
            (type_length == 0 || std::memcmp(kept.types.data(), types, type_length) == 0) &&
            kept.name == (name ? name : ""))
            return &kept;
    return nullptr;
}

int read_call_arguments(char** starts, int capacity, const char* name, int32_t* string_stack,
                        const uint8_t* types, int32_t type_count, bool* closed);

}  // namespace

void forget_kept_prescans() { kept_prescans.clear(); }

int prescan_call_arguments(char** starts, int capacity, const char* name, int32_t* string_stack,
                           const uint8_t* types, int32_t type_count) {
    const char* start = parse_pointer;
    while (*start == ' ' || *start == '\t') start++;
    bool string_stack_asked = string_stack != nullptr;
    if (!kept_prescans.empty()) {
        if (KeptPrescan* kept = find_kept_prescan(start, name, types, type_count, capacity, string_stack_asked)) {
            for (int i = 0; i <= kept->count; i++) starts[i] = kept->starts[i];
            if (string_stack && kept->string_stack) *string_stack = 1;
            if (kept->numbers_replayed) {
                backend->advance_numbering(&kept->numbers_advanced);
                bool_label_counter += kept->bool_labels_advanced;
            }
            return kept->count;
        }
    }
    bool keep = prescan_depth > 0;
    NumberingState before{};
    int32_t bool_labels_before = bool_label_counter;
    if (keep) backend->read_numbering(&before);
    int32_t own_string_stack = 0;
    prescan_depth++;
    bool closed = false;
    int count = read_call_arguments(starts, capacity, name, string_stack ? &own_string_stack : nullptr, types,
                                    type_count, &closed);
    prescan_depth--;
    if (string_stack && own_string_stack) *string_stack = 1;
    // Only a list read to its end without an error is kept: a reading that
    // stopped may go another way the next time.
    if (keep && closed && !error_number) {
        KeptPrescan kept{};
        kept.start = start;
        kept.name = name ? name : "";
        if (types && type_count > 0) kept.types.assign(types, types + type_count);
        kept.capacity = capacity;
        kept.string_stack_asked = string_stack_asked;
        kept.count = count;
        kept.string_stack = own_string_stack;
        kept.starts.assign(starts, starts + count + 1);
        NumberingState after{};
        backend->read_numbering(&after);
        for (int i = 0; i < NUMBERING_COUNT; i++)
            kept.numbers_advanced.numbers[i] = after.numbers[i] - before.numbers[i];
        kept.bool_labels_advanced = bool_label_counter - bool_labels_before;
        kept.numbers_replayed = kept.bool_labels_advanced <= REPLAYED_NUMBERS_AT_MOST;
        for (int32_t advanced : kept.numbers_advanced.numbers)
            if (advanced > REPLAYED_NUMBERS_AT_MOST) kept.numbers_replayed = false;
        kept_prescans.push_back(std::move(kept));
    }
    return count;
}

namespace {

int read_call_arguments(char** starts, int capacity, const char* name, int32_t* string_stack,
                        const uint8_t* types, int32_t type_count, bool* closed) {
    char* saved_pointer = parse_pointer;
    int32_t saved_token = token_code;
    int32_t saved_precedence = token_precedence;
    uint32_t saved_mode = expression_mode;
    EvaluationState state;
    backend->save_evaluation_state(&state);
    no_output_depth++;
    int count = 0;
    skip_blanks();
    if (*parse_pointer == ')') {
        parse_pointer++;
        starts[0] = parse_pointer;
        *closed = true;
    } else {
        for (;;) {
            if (count >= capacity) {
                set_error_format(ERROR_INCORRECT_PARAMETER_COUNT, name);
                break;
            }
            skip_blanks();
            int type = types && count < type_count ? types[count] : 0;
            char* start = parse_pointer;
            starts[count++] = start;
            bool expression = false;
            if (is_structure_kind(type)) {
                read_structure_type_argument();
            } else if (types && count > type_count && skip_structure_name_argument()) {
            } else if (!skip_whole_container_argument()) {
                // Each argument is a literal of its own: the text gathered
                // for the one before (or around the call, which the caller
                // keeps) does not count towards its length.
                reset_literal_text();
                expression_mode = MODE_PRESCAN;
                compile_expression_level(EXPRESSION_LEVEL_FRESH_OPERAND);
                compile_expression_level(EXPRESSION_LEVEL_CHAIN);
                expression = true;
            }
            if (error_number) break;
            if (fills_two_entries(type)) {
                if (count >= capacity) {
                    set_error_format(ERROR_INCORRECT_PARAMETER_COUNT, name);
                    break;
                }
                starts[count++] = start;
            }
            if (expression && string_stack && uses_string_stack()) *string_stack = 1;
            if (token_code == ',') continue;
            if (token_code == ')') {
                starts[count] = parse_pointer;
                *closed = true;
                break;
            }
            if (token_code == TOKEN_END) set_error_format(ERROR_INCORRECT_PARAMETER_COUNT, name);
            else set_error(ERROR_SYNTAX);
            break;
        }
        // A list left open ends where the reading stopped: its error may go
        // unrecorded while errors are suppressed, and the call is then still
        // compiled from these starts.
        if (!*closed) starts[count] = parse_pointer;
    }
    no_output_depth--;
    backend->restore_evaluation_state(&state, 0);
    parse_pointer = saved_pointer;
    token_code = saved_token;
    token_precedence = saved_precedence;
    expression_mode = saved_mode;
    return count;
}

}  // namespace

void describe_procedure_call(CallRecord* call, ProcedureRecord* procedure, int32_t kind) {
    call->callee_kind = kind;
    call->procedure = procedure;
    call->name = procedure_name(procedure);
    call->parameter_count = procedure->parameter_count;
    call->optional_count = procedure->optional_count;
    call->default_values = procedure->default_values;
    for (int32_t i = 0; i < procedure->parameter_count && i < MAX_CALL_ARGUMENTS; i++)
        call->parameter_types[i] = procedure->parameters[i].type;
    call->result_flags = procedure->flags;
    call->result_second_flags = procedure->second_flags;
    if (procedure->flags & PROC_RETURNS_STRING) call->result = CALL_RESULT_STRING;
    else if (procedure->flags & PROC_RETURNS_DOUBLE) call->result = CALL_RESULT_DOUBLE;
    else if (procedure->flags & PROC_RETURNS_FLOAT) call->result = CALL_RESULT_FLOAT;
    else if (procedure->flags & PROC_RETURNS_QUAD) call->result = CALL_RESULT_QUAD;
    else call->result = CALL_RESULT_INTEGER;
}

void describe_library_call(CallRecord* call, LibraryCommand* command) {
    call->callee_kind = CALLEE_LIBRARY;
    call->command = command;
    call->name = command_name(command);
    int32_t count = command->parameter_count < 0 ? 0 : command->parameter_count;
    call->parameter_count = count;
    call->optional_count = 0;
    call->default_values = nullptr;
    for (int32_t i = 0; i < count && i < MAX_CALL_ARGUMENTS; i++) call->parameter_types[i] = command->parameter_codes[i];
    call->result_flags = command->flags;
    call->result_second_flags = command->second_flags;
    if (command->flags & LIBRARY_FLAG_STRING) call->result = CALL_RESULT_STRING;
    else if (command->flags & LIBRARY_FLAG_DOUBLE) call->result = CALL_RESULT_DOUBLE;
    else if (command->flags & LIBRARY_FLAG_FLOAT) call->result = CALL_RESULT_FLOAT;
    else if (command->flags & LIBRARY_FLAG_QUAD) call->result = CALL_RESULT_QUAD;
    else call->result = CALL_RESULT_INTEGER;
}

void compile_call_arguments(CallRecord* call, char** starts) {
    // rax is live: the call would overwrite it.
    if (register_stack.top < 1 && register_stack.live[0]) {
        set_error(ERROR_OUT_OF_CPU_REGISTERS);
        return;
    }
    int32_t n = call->argument_count;
    if (n > call->parameter_count || n < call->parameter_count - call->optional_count) {
        set_error_format(ERROR_INCORRECT_PARAMETER_COUNT, call->name);
        return;
    }
    call->slot_count = call->parameter_count + (call->result == CALL_RESULT_STRING ? 1 : 0);
    if (call->callee_kind == CALLEE_INTERFACE) call->slot_count++;  // the object's register
    backend->begin_call(call);

    // Missing optional arguments, from the last parameter down.
    int32_t first_optional = call->parameter_count - call->optional_count;
    for (int32_t i = call->parameter_count - 1; i >= n; i--) {
        int64_t value = call->default_values ? call->default_values[i - first_optional] : 0;
        call->argument_index = i;
        backend->push_default_argument(call, call->parameter_types[i], value);
    }

    // The given arguments, from the last to the first.
    uint32_t saved_mode = expression_mode;
    for (int32_t i = n - 1; i >= 0 && !error_number; i--) {
        int type = call->parameter_types[i];
        parse_pointer = starts[i];
        // The first entry of an argument that fills two shares its text with
        // the second, which checks what follows.
        int expected = fills_two_entries(type) && call->callee_kind == CALLEE_LIBRARY ? 0 : i == n - 1 ? ')' : ',';
        if (container_kind(type)) {
            compile_container_argument(call, i, type, expected);
            continue;
        }
        if (is_structure_kind(type) && call->callee_kind == CALLEE_LIBRARY) {
            compile_structure_argument(call, i, type, expected);
            continue;
        }
        expression_mode = argument_mode(type);
        // The prescan gathered the literals of the list: each argument
        // starts with an empty literal text.
        reset_literal_text();
        compile_expression_level(EXPRESSION_LEVEL_FRESH_OPERAND);
        compile_expression_level(EXPRESSION_LEVEL_CHAIN);
        if (error_number) break;
        if (token_code != expected) {
            set_error(ERROR_SYNTAX);
            break;
        }
        bool value_is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
        if (current_operand.kind == OPERAND_NONE) {
            set_error(ERROR_SYNTAX);
            break;
        }
        if (type == PARAMETER_ANY) {
            if (value_is_string) type = TYPE_STRING;
            else if (current_operand.flags & OP_FLOAT) type = TYPE_FLOAT;
        }
        if (call->callee_kind == CALLEE_IMPORTED && type == TYPE_INTEGER && value_is_string) type = TYPE_STRING;
        if (is_string_type(type) && !value_is_string) {
            set_error(ERROR_STRING_PARAMETER_EXPECTED);
            break;
        }
        if (value_is_string && !takes_string_or_container(type)) {
            set_error(ERROR_NUMBER_PARAMETER_EXPECTED);
            break;
        }
        if (current_operand.flags & OP_STRUCTURE) {
            // A whole structured item can only be copied: its address is
            // passed with "@".
            set_error(ERROR_SYNTAX);
            break;
        }
        // A literal is interned, an expression under way finished on the
        // string stack, its offset kept on the machine stack.
        if (value_is_string) close_string_result(true);
        take_comparison_value();
        expression_mode = argument_mode(type);
        call->argument_index = i;
        backend->push_call_argument(call, type);
    }
    expression_mode = saved_mode;
    if (error_number) return;
    parse_pointer = starts[n];
    read_operator();
}

void compile_call(CallRecord* call) {
    // A string result is written on the string stack: literal text still
    // gathered in front of the call goes there first.
    if (call->result == CALL_RESULT_STRING) flush_pending_literal();
    // The expression around the call waits while the arguments, each an
    // expression of its own, use the literal buffer.
    OuterExpression outer = hold_outer_expression();
    // The argument starts are needed during the call only.
    std::vector<char*> argument_starts(MAX_CALL_ARGUMENTS + 2);
    char** starts = argument_starts.data();
    skip_blanks();
    int count;
    if (call->callee_kind == CALLEE_LIBRARY) {
        count = prescan_library_arguments(call, starts);
        if (error_number) return;
        note_library_command_use(call->command);
    } else {
        count = prescan_call_arguments(starts, MAX_CALL_ARGUMENTS, call->name, &call->string_stack_arguments);
        if (error_number) return;
    }
    call->argument_count = count;
    if (call->target_text) {
        // The value is read before the arguments can change what its text
        // names (a base register).
        backend->interfaces->keep_interface_object(call, call->target_text);
    }
    compile_call_arguments(call, starts);
    if (error_number) return;
    backend->finish_call(call);
    give_back_outer_expression(outer);
    set_call_result_operand(call);
}

void compile_library_call(LibraryCommand* command) {
    // The record lives for this call only (a long program's calls do not
    // pile up in the compilation pool).
    std::unique_ptr<CallRecord> call(new CallRecord());
    describe_library_call(call.get(), command);
    compile_call(call.get());
}

int prescan_library_arguments(CallRecord* call, char** starts) {
    // Structure names and containers fill two parameter entries, so the
    // count is that of the form the list is read for: the command's own
    // first, then its alternative forms in turn. The forms of a command are
    // named after it with a number from 2 on (Foo2, Foo3, ...), each with
    // the alternative mark.
    char* start = parse_pointer;
    auto prescan = [&](CallRecord* form) {
        parse_pointer = start;
        form->string_stack_arguments = 0;
        return prescan_call_arguments(starts, MAX_CALL_ARGUMENTS, form->name, &form->string_stack_arguments,
                                      form->parameter_types, form->parameter_count);
    };
    int count = prescan(call);
    if (!error_number && count == call->parameter_count) return count;
    const char* base = command_name(call->command);
    char name[STATEMENT_WORD_SIZE + 8];
    bool other_form_tried = false;
    for (int number = 2; number < 256; number++) {
        format_to_buffer(name, sizeof name, "%s%d", base, number);
        LibraryCommand* form = find_library_command(name);
        if (!form || !(form->flags & LIBRARY_FLAG_VARIANT) || form->library != call->command->library) break;
        std::unique_ptr<CallRecord> trial(new CallRecord());
        describe_library_call(trial.get(), form);
        trial->name = call->name;
        if (error_number) clear_error_state();
        other_form_tried = true;
        int form_count = prescan(trial.get());
        if (!error_number && form_count == trial->parameter_count) {
            describe_library_call(call, form);
            call->name = trial->name;
            call->string_stack_arguments = trial->string_stack_arguments;
            return form_count;
        }
        clear_error_state();
    }
    // No form takes the list: the command's own reading gives the error
    // (the count check names the command). With no other form it stands
    // as it is: read again, every call inside the list would be read twice.
    if (!other_form_tried) return count;
    if (error_number) clear_error_state();
    return prescan(call);
}

void note_library_command_use(LibraryCommand* command) {
    // A deprecated command is reported once per compilation, at its first use.
    if ((command->flags & LIBRARY_FLAG_DEPRECATED) && !(command->second_flags & command_second_deprecation_reported)) {
        command->second_flags |= command_second_deprecation_reported;
        report_warning(WARNING_DEPRECATED_FUNCTION, command_name(command));
    }
    command->use_count++;
    if (!no_output_depth && command->library) command->library->used = 1;
}

void compile_prototype_call(VariableRecord* variable) {
    // The record lives for this call only.
    std::unique_ptr<CallRecord> call(new CallRecord());
    describe_procedure_call(call.get(), variable->prototype, CALLEE_PROTOTYPE);
    call->name = get_variable_display_name(variable);
    call->prototype_variable = variable;
    compile_call(call.get());
}

void compile_prototype_value_call(ProcedureRecord* prototype, const char* name, const char* target_text) {
    // The text is the back end's static buffer: keep a copy.
    std::string target = target_text ? target_text : "";
    std::unique_ptr<CallRecord> call(new CallRecord());
    describe_procedure_call(call.get(), prototype, CALLEE_PROTOTYPE);
    call->name = name;
    call->target_text = target.c_str();
    compile_call(call.get());
}

int compile_named_call(const char* name) {
    if (ProcedureRecord* procedure = find_procedure(name)) {
        compile_procedure_call(procedure);
        return 1;
    }
    if (error_number) return 1;
    LibraryCommand* command = find_library_command(name);
    if (command && command->library && !(command->flags & command_hidden_flags)) {
        // Chr() of a constant is its character, a literal.
        if ((command->second_flags & command_second_chr) && compile_chr_literal()) return 1;
        compile_library_call(command);
        return 1;
    }
    // A function of the loaded import files (the operating-system lists).
    if (compile_imported_function_call(name)) return 1;
    // A variable or parameter typed by a prototype holds the function.
    VariableRecord* variable = find_variable_scoped(name, false);
    if (variable && (variable->flags & VAR_PROTOTYPE) && variable->prototype && !variable->pointer) {
        compile_prototype_call(variable);
        return 1;
    }
    return 0;
}
