// Procedures and prototypes: headers, parameters and default values, the
// body between Procedure and EndProcedure, ProcedureReturn, the lookup of
// procedure names and the procedure code appended after the main code.

#include "frontend/procedures.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/backend_hooks.h"
#include "core/char_tables.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/hash_table.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/blocks.h"
#include "frontend/call_arguments.h"
#include "frontend/debug_statement.h"
#include "frontend/expressions.h"
#include "frontend/interfaces.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/lexer.h"
#include "frontend/arrays.h"
#include "frontend/lists_maps.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"
#include "frontend/variables.h"
#include "platform/platform.h"

HashTable* procedure_table = nullptr;
int32_t procedure_id_counter = 0;

namespace {

ProcedureRecord* current_procedure = nullptr;
// Defined procedures in the order of their definitions (the order of the
// appended code).
std::vector<ProcedureRecord*> defined_procedures;

// What a Declare fixed, compared with the definition that follows it.
struct DeclaredShape {
    bool present;
    int32_t parameter_count;
    int32_t optional_count;
    uint32_t flags;
    uint32_t second_flags;
    ParameterRecord* parameters;
    int64_t* default_values;
};

// Just after the statement's keyword (and its '$').
char* after_keyword() {
    char* p = statement_start;
    while (*p == ' ' || *p == '\t') p++;
    while (identifier_chars[(unsigned char)*p]) p++;
    if (*p == '$') p++;
    return p;
}

// The string compiler's mark of a literal operand.
constexpr uint32_t literal_operand_flag = 0x200000;

const char* const operator_word_names[] = {"To", "Step", "Extends", "As", "XOr", "Not", "And", "Or", "Align"};

void skip_blanks() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

bool word_equals(const char* word, const char* upper) {
    for (; *word && *upper; word++, upper++) {
        char c = *word;
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        if (c != *upper) return false;
    }
    return *word == 0 && *upper == 0;
}

HashTable* scope_procedure_table() {
    if (module_section_state() != 0 && current_module) {
        if (!current_module->procedures) current_module->procedures = create_hash_table(sizeof(ProcedureRecord), 0);
        return current_module->procedures;
    }
    return procedure_table;
}

HashTable* scope_prototype_table() {
    if (module_section_state() != 0 && current_module) {
        if (!current_module->prototypes)
            current_module->prototypes = create_hash_table(sizeof(ProcedureRecord), hash_flag_permanent);
        return current_module->prototypes;
    }
    return prototype_table;
}

ProcedureRecord* find_in(HashTable* table, const char* name) {
    return table ? reinterpret_cast<ProcedureRecord*>(hash_find(table, name)) : nullptr;
}

// "%s (in a resident file)" or "%s (%s line %d)".
const char* location_text(const ProcedureRecord* record) {
    static char text[1024];
    if (!record->file) snprintf(text, sizeof text, "%s (in a resident file)", procedure_name(record));
    else snprintf(text, sizeof text, "%s (%s line %d)", procedure_name(record), record->file, record->line + 1);
    return text;
}

// A default value after "=" (the token). Returns false on an error.
bool parameter_parse_default(uint8_t type, int64_t* value) {
    no_output_depth++;
    // The value's literal text starts empty, whatever earlier statements gathered.
    reset_literal_text();
    compile_expression(EXPR_RESET_REGISTERS | EXPR_CONSTANT, MODE_PRESCAN);
    no_output_depth--;
    if (error_number) return false;
    bool is_text = type == TYPE_STRING || type == TYPE_FIXED_STRING;
    if (current_operand.kind == OPERAND_CONSTANT && !is_text) {
        if (type >= TYPE_P_ASCII && type <= TYPE_P_VARIANT) {
            if (current_operand.constant != 0 || current_operand.constant_float != 0.0) {
                set_error(ERROR_PSEUDOTYPE_DEFAULT_NOT_ZERO);
                return false;
            }
            *value = 0;
        } else if (type == TYPE_FLOAT || type == TYPE_DOUBLE) {
            double real = (current_operand.flags & OP_FLOAT) ? current_operand.constant_float
                                                              : (double)current_operand.constant;
            std::memcpy(value, &real, sizeof real);
        } else {
            *value = current_operand.constant;
        }
        return true;
    }
    // A literal: read by the lexer (literal_length) or marked by the string
    // compiler, whose text stays in the literal buffer in constant mode.
    bool literal = literal_length >= 0 || (current_operand.flags & literal_operand_flag);
    if (is_text && current_operand.kind == OPERAND_STRING && literal && !(current_operand.flags & OP_STRING_STACK)) {
        char* text = pool_strdup(literal_text);
        std::memcpy(value, &text, sizeof text);
        return true;
    }
    set_error(ERROR_SYNTAX);
    return false;
}

bool same_default(uint8_t type, int64_t a, int64_t b) {
    if (type == TYPE_STRING || type == TYPE_FIXED_STRING) {
        const char* ta;
        const char* tb;
        std::memcpy(&ta, &a, sizeof ta);
        std::memcpy(&tb, &b, sizeof tb);
        if (!ta || !tb) return ta == tb;
        return std::strcmp(ta, tb) == 0;
    }
    return a == b;
}

// An Array, List or Map parameter after its kind word: an optional "*",
// the name, the element type and "(...)". The local record takes an 8-byte
// frame slot; the parameter is 8 bytes of the parameter area.
bool parse_container_parameter_item(ProcedureRecord* record, int kind, bool typed_pseudo, int32_t optional,
                                    ParameterRecord* parameter) {
    skip_blanks();
    pointer_flag = 0;
    if (*parse_pointer == '*') {
        parse_pointer++;
        pointer_flag = 1;
    }
    read_token();
    if (error_number) return false;
    if (literal_length >= 0) {
        set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
        return false;
    }
    if (!identifier_start_chars[(unsigned char)statement_word[0]]) {
        set_error(statement_word[0] ? ERROR_PROCEDURE_ARGUMENTS_SYNTAX : ERROR_SYNTAX);
        return false;
    }
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", statement_word);
    int pointer = pointer_flag;
    pointer_flag = 0;
    parse_field_type(typed_pseudo ? TYPE_SUFFIX_PARAMETER : TYPE_SUFFIX_PLAIN);
    if (error_number) return false;
    if (record->flags & PROC_DLL) report_warning(WARNING_DLL_CONTAINER_PARAMETERS, nullptr);
    if (optional > 0) {
        set_error(ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
        return false;
    }
    ParameterDescriptor* descriptor = parse_container_parameter(kind, name);
    if (!descriptor) return false;
    descriptor->pointer = (uint8_t)pointer;
    pointer_flag = pointer;
    void* object = nullptr;
    if (kind == TYPE_ARRAY) {
        object = declare_array_parameter(name, descriptor);
    } else if (kind == TYPE_LIST) {
        object = declare_list_parameter(name);
    } else {
        object = declare_map_parameter(name);
    }
    pointer_flag = 0;
    if (!object) {
        if (!error_number) set_error(ERROR_SYNTAX);
        return false;
    }
    int32_t offset = kind == TYPE_ARRAY   ? static_cast<ArrayRecord*>(object)->offset
                     : kind == TYPE_LIST ? static_cast<ListRecord*>(object)->offset
                                         : static_cast<MapRecord*>(object)->offset;
    parameter->element_type = descriptor;
    parameter->object = object;
    parameter->offset = (int16_t)offset;
    parameter->type = (uint8_t)kind;
    parameter->size = 8;
    return true;
}

// A parameter's type against the Declare before the definition: error 118
// when they differ.
bool parameter_matches_declaration(const DeclaredShape* declared, int32_t index, uint8_t type) {
    if (declared->present && index < declared->parameter_count && declared->parameters[index].type != type) {
        set_error(ERROR_DECLARE_MISMATCH);
        return false;
    }
    return true;
}

// The token after a parameter: "," gives 1 (another follows), ")" gives 0
// (the list ends; the token after it is read), anything else an error and -1.
int read_parameter_separator() {
    if (token_code == ',') return 1;
    if (token_code == ')') {
        read_operator();
        return 0;
    }
    set_error(token_code == TOKEN_END ? ERROR_PROCEDURE_CLOSE_PARENTHESIS_EXPECTED : ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
    return -1;
}

// The parameter list after "(" (the parse pointer is just after it).
// Fills the record's parameters; returns false on an error.
bool parse_parameters(ProcedureRecord* record, bool typed_pseudo, const DeclaredShape* declared) {
    ParameterRecord parameters[MAX_CALL_ARGUMENTS];
    int64_t defaults[MAX_CALL_ARGUMENTS];
    int32_t count = 0;
    int32_t optional = 0;
    int32_t pseudo = 0;
    int32_t strings = 0;
    skip_blanks();
    if (*parse_pointer == ')') {
        parse_pointer++;
        read_operator();
    } else {
        for (;;) {
            if (count >= MAX_CALL_ARGUMENTS) {
                set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
                return false;
            }
            skip_blanks();
            bool pointer = false;
            if (*parse_pointer == '*') {
                parse_pointer++;
                pointer = true;
            }
            read_token();
            if (error_number) return false;
            if (literal_length >= 0) {
                set_error(ERROR_PROCEDURE_ARGUMENTS_SYNTAX);
                return false;
            }
            int kind = 0;
            if (!pointer && statement_word[0] && (token_code == TOKEN_NO_OPERATOR || token_code == '*')) {
                if (word_equals(statement_word, "ARRAY")) kind = TYPE_ARRAY;
                else if (word_equals(statement_word, "LIST")) kind = TYPE_LIST;
                else if (word_equals(statement_word, "MAP")) kind = TYPE_MAP;
            }
            if (kind) {
                // The name follows the kind word (a '*' read as its operator
                // is taken back).
                if (token_code == '*') parse_pointer--;
                if (!parse_container_parameter_item(record, kind, typed_pseudo, optional, &parameters[count]))
                    return false;
                if (!parameter_matches_declaration(declared, count, parameters[count].type)) return false;
                count++;
                int next = read_parameter_separator();
                if (next < 0) return false;
                if (next == 0) break;
                continue;
            }
            if (!identifier_start_chars[(unsigned char)statement_word[0]]) {
                set_error(statement_word[0] ? ERROR_PROCEDURE_ARGUMENTS_SYNTAX : ERROR_SYNTAX);
                return false;
            }
            char name[STATEMENT_WORD_SIZE];
            snprintf(name, sizeof name, "%s", statement_word);
            parse_field_type(typed_pseudo ? TYPE_SUFFIX_PARAMETER : TYPE_SUFFIX_PLAIN);
            if (error_number) return false;
            if (current_type.code == TYPE_STRUCTURE && !pointer) {
                set_error(ERROR_SYNTAX);
                return false;
            }
            if (current_type.code == TYPE_FIXED_STRING) {
                set_error(ERROR_FIXED_STRING_PARAMETER);
                return false;
            }
            if (find_local_variable(name, pointer)) {
                set_error_format(ERROR_PARAMETER_DECLARED_TWICE, get_key_display_name(make_variable_key(name, false, pointer)));
                return false;
            }
            uint8_t type = (uint8_t)current_type.code;
            int32_t size = current_type.size;
            snprintf(statement_word, sizeof statement_word, "%s", name);
            pointer_flag = pointer ? 1 : 0;
            int32_t saved_offset = local_frame_offset;
            int32_t saved_token = token_code;
            VariableRecord* variable = resolve_variable(VARIABLE_FIND_OR_CREATE);
            token_code = saved_token;
            pointer_flag = 0;
            if (error_number) return false;
            if (!variable) {
                set_error(ERROR_SYNTAX);
                return false;
            }
            variable->flags |= VAR_PARAMETER;
            bool is_string = !pointer && type == TYPE_STRING;
            if (!is_string) {
                // Used in place: the parameter's own slot in the caller's area.
                variable->flags |= VAR_STACK_PARAMETER;
                variable->offset = 8 * count;
                local_frame_offset = saved_offset;
            }
            ParameterRecord& parameter = parameters[count];
            parameter.element_type = nullptr;
            parameter.object = variable;
            parameter.offset = (int16_t)variable->offset;
            parameter.type = type;
            if (pointer) parameter.type = TYPE_INTEGER;
            parameter.size = (uint8_t)(pointer ? 8 : size);
            if (parameter.type >= TYPE_P_ASCII && parameter.type <= TYPE_P_UTF8) pseudo++;
            if (parameter.type == TYPE_STRING) strings++;
            if (!parameter_matches_declaration(declared, count, parameter.type)) return false;
            if (token_code == '=') {
                if (!parameter_parse_default(parameter.type, &defaults[optional])) return false;
                optional++;
            } else if (optional > 0) {
                set_error(ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
                return false;
            }
            count++;
            int next = read_parameter_separator();
            if (next < 0) return false;
            if (next == 0) break;
        }
    }
    record->parameter_count = count;
    record->optional_count = (uint8_t)optional;
    record->pseudo_type_count = (int16_t)pseudo;
    record->string_parameter_count = strings;
    record->stack_size = (int16_t)(8 * count);
    record->parameters = nullptr;
    record->default_values = nullptr;
    if (count) {
        record->parameters = static_cast<ParameterRecord*>(pool_alloc(sizeof(ParameterRecord) * (size_t)count));
        std::memcpy(record->parameters, parameters, sizeof(ParameterRecord) * (size_t)count);
    }
    if (optional) {
        record->default_values = static_cast<int64_t*>(pool_alloc(sizeof(int64_t) * (size_t)optional));
        std::memcpy(record->default_values, defaults, sizeof(int64_t) * (size_t)optional);
    }
    return true;
}

// The definition (or a repeated Declare) against the Declare before it.
bool matches_declaration(const ProcedureRecord* record, const DeclaredShape* declared) {
    if (record->parameter_count != declared->parameter_count) return false;
    if (record->optional_count != declared->optional_count) return false;
    if ((record->flags & ~PROC_DECLARE_ONLY) != (declared->flags & ~PROC_DECLARE_ONLY)) return false;
    const uint32_t scope_marks = PROC_SECOND_PUBLIC | PROC_SECOND_RUNTIME;
    if ((record->second_flags & ~scope_marks) != (declared->second_flags & ~scope_marks)) return false;
    int32_t first_optional = record->parameter_count - record->optional_count;
    for (int32_t i = 0; i < record->optional_count; i++) {
        uint8_t type = record->parameters[first_optional + i].type;
        if (!same_default(type, record->default_values[i], declared->default_values[i])) return false;
    }
    return true;
}

TextBuffer* new_code_buffer() {
    auto* buffer = static_cast<TextBuffer*>(os_heap_alloc(compilation_heap, sizeof(TextBuffer), true));
    buffer->heap_kind = 0;
    buffer->margin = 4096;
    buffer->size = 8192;
    buffer->start = static_cast<char*>(os_heap_alloc(compilation_heap, 8192));
    buffer->start[0] = 0;
    buffer->write = buffer->start;
    return buffer;
}

}  // namespace

void set_return_flags(ProcedureRecord* record, const CurrentType* type, bool pointer) {
    if (pointer) {
        record->second_flags |= PROC_SECOND_INTEGER;
        return;
    }
    switch (type->code) {
    case TYPE_BYTE: record->flags |= PROC_RETURNS_BYTE; break;
    case TYPE_LONG: record->flags |= PROC_RETURNS_LONG; break;
    case TYPE_STRING: record->flags |= PROC_RETURNS_STRING; break;
    case TYPE_FLOAT: record->flags |= PROC_RETURNS_FLOAT; break;
    case TYPE_DOUBLE: record->flags |= PROC_RETURNS_DOUBLE; break;
    case TYPE_QUAD: record->flags |= PROC_RETURNS_QUAD; break;
    case TYPE_CHARACTER: record->second_flags |= PROC_SECOND_CHARACTER; break;
    case TYPE_ASCII: record->second_flags |= PROC_SECOND_ASCII; break;
    case TYPE_UNICODE: record->second_flags |= PROC_SECOND_UNICODE; break;
    case TYPE_WORD: break;
    default: record->second_flags |= PROC_SECOND_INTEGER; break;
    }
}


ProcedureRecord* open_procedure() { return current_procedure; }

void reset_procedures() {
    procedure_table = create_hash_table(sizeof(ProcedureRecord), 0);
    if (main_module) main_module->procedures = procedure_table;
    procedure_id_counter = 0;
    current_procedure = nullptr;
    defined_procedures.clear();
}

ProcedureRecord* find_procedure(const char* name) {
    if (explicit_module) {
        ProcedureRecord* record = find_in(explicit_module->procedures, name);
        if (record && !(record->second_flags & PROC_SECOND_PUBLIC)) {
            set_error_format(ERROR_MODULE_FUNCTION_NOT_PUBLIC, name);
            return nullptr;
        }
        if (record) explicit_module = nullptr;
        return record;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module || module == current_module) continue;
            ProcedureRecord* record = find_in(module->procedures, name);
            if (record && (record->second_flags & PROC_SECOND_PUBLIC)) return record;
        }
    }
    if (module_section_state() != 0 && current_module) return find_in(current_module->procedures, name);
    return find_in(procedure_table, name);
}

ProcedureRecord* find_procedure_quietly(const char* name) {
    if (explicit_module) return find_in(explicit_module->procedures, name);
    return find_procedure(name);
}

ProcedureRecord* procedure_declare(uint32_t kind_flags) {
    const bool is_import = (kind_flags & PROC_IMPORTED) != 0;
    const bool is_prototype = (kind_flags & PROC_PROTOTYPE) != 0;
    CurrentType return_type = {};
    bool pointer_return = false;
    if (!is_import) {
        // The header is read again from right after the keyword: the
        // operator the dispatcher read after it may have taken a character
        // of the name.
        parse_pointer = after_keyword();
        bool typed = *parse_pointer == '.';
        if (typed) {
            parse_pointer++;
            token_code = '.';
        } else {
            token_code = TOKEN_NO_OPERATOR;
        }
        parse_field_type(TYPE_SUFFIX_RETURN);
        if (error_number) return nullptr;
        // A "*" before the name returns a pointer: after a type, the type's
        // reader has taken it as its operator.
        if (typed && token_code == '*') {
            pointer_return = true;
            token_code = TOKEN_NO_OPERATOR;
        } else if (!typed) {
            skip_blanks();
            if (*parse_pointer == '*') {
                pointer_return = true;
                parse_pointer++;
            }
        }
        // After a return type, the type's reader has taken what follows it
        // as its operator: an operator word is the name, and any other byte
        // (the digit of "1P", a "$") would be lost from the name.
        if (typed && token_code >= TOKEN_TO && token_code <= TOKEN_ALIGN) {
            set_error_format(ERROR_PROCEDURE_NAMED_AS_OPERATOR, operator_word_names[token_code - TOKEN_TO]);
            return nullptr;
        }
        if (typed && token_code != TOKEN_NO_OPERATOR && token_code != TOKEN_END) {
            set_error(ERROR_PROCEDURE_NAME_START);
            return nullptr;
        }
        take_keyword_string_type();
        return_type = current_type;
        if (pointer_return) return_type.size = 8;
    }
    read_token();
    if (error_number) return nullptr;
    if (!statement_word[0] && token_code >= TOKEN_TO && token_code <= TOKEN_ALIGN) {
        set_error_format(ERROR_PROCEDURE_NAMED_AS_OPERATOR, operator_word_names[token_code - TOKEN_TO]);
        return nullptr;
    }
    // "To(" reads the operator word as a name.
    auto same_word = [](const char* a, const char* b) {
        for (;; a++, b++) {
            char x = (*a >= 'a' && *a <= 'z') ? char(*a - 32) : *a;
            char y = (*b >= 'a' && *b <= 'z') ? char(*b - 32) : *b;
            if (x != y) return false;
            if (!x) return true;
        }
    };
    for (const char* word : operator_word_names) {
        if (same_word(word, statement_word)) {
            set_error_format(ERROR_PROCEDURE_NAMED_AS_OPERATOR, word);
            return nullptr;
        }
    }
    if (!identifier_start_chars[(unsigned char)statement_word[0]] || (statement_word[0] >= '0' && statement_word[0] <= '9')) {
        set_error(ERROR_PROCEDURE_NAME_START);
        return nullptr;
    }
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", statement_word);
    if (token_code != '(') {
        set_error(ERROR_PROCEDURE_OPEN_PARENTHESIS_EXPECTED);
        return nullptr;
    }

    DeclaredShape declared = {};
    ProcedureRecord* record = nullptr;
    if (is_prototype) {
        if (is_native_type_letter(name)) {
            set_error_format(ERROR_NATIVE_TYPE_NAME, name);
            return nullptr;
        }
        if (StructureRecord* structure = explicit_module ? nullptr : find_structure(name)) {
            const char* where = error_location_text(name, structure->line, structure->file,
                                                    (structure->flags & STRUCT_RESIDENT) != 0);
            set_error_format((structure->flags & STRUCT_INTERFACE) ? ERROR_INTERFACE_ALREADY_DECLARED : ERROR_STRUCTURE_ALREADY_DECLARED, where);
            return nullptr;
        }
        HashTable* table = scope_prototype_table();
        if (ProcedureRecord* existing = find_in(table, name)) {
            set_error_format(ERROR_PROTOTYPE_ALREADY_DECLARED, location_text(existing));
            return nullptr;
        }
        record = static_cast<ProcedureRecord*>(pool_alloc(sizeof(ProcedureRecord)));
        std::memset(record, 0, sizeof *record);
        record->entry.key = pool_strdup(name);
    } else {
        if (is_keyword(name)) {
            set_error_format(ERROR_PROCEDURE_NAMED_AS_KEYWORD, name);
            return nullptr;
        }
        if (!explicit_module) {
            LibraryCommand* command = find_library_command(name);
            if (command && !(command->flags & command_hidden_flags)) {
                set_error_format(ERROR_NAME_SAME_AS_COMMAND, command->library ? command->library->name : compiler_function_owner);
                return nullptr;
            }
        }
        if (!explicit_module) {
            // The containers of the main scope (a procedure's own are not
            // seen from a header).
            int32_t saved_pointer = pointer_flag;
            pointer_flag = 0;
            int clash = find_array_global(name) ? ERROR_NAME_SAME_AS_ARRAY : find_global_list(name) ? ERROR_NAME_SAME_AS_LIST : find_global_map(name) ? ERROR_NAME_SAME_AS_MAP : ERROR_NONE;
            pointer_flag = saved_pointer;
            if (clash) {
                set_error(clash);
                return nullptr;
            }
        }
        HashTable* table = scope_procedure_table();
        ProcedureRecord* existing = find_in(table, name);
        if (!existing || (existing->flags & PROC_DECLARE_ONLY)) {
            VariableRecord* variable = find_global_variable(name, false);
            if (variable && (variable->flags & VAR_PROTOTYPE)) {
                set_error_format(ERROR_PROTOTYPE_VARIABLE_ALREADY_DECLARED, name);
                return nullptr;
            }
        }
        if (existing && !(existing->flags & PROC_DECLARE_ONLY)) {
            set_error_format(ERROR_PROCEDURE_IS_ALREADY_DECLARED, location_text(existing));
            return nullptr;
        }
        if (existing) {
            declared.present = true;
            declared.parameter_count = existing->parameter_count;
            declared.optional_count = existing->optional_count;
            declared.flags = existing->flags;
            declared.second_flags = existing->second_flags;
            declared.parameters = existing->parameters;
            declared.default_values = existing->default_values;
            if ((existing->flags & PROC_DLL) != (kind_flags & PROC_DLL)) {
                set_error(ERROR_DLL_ATTRIBUTE_MISMATCH);
                return nullptr;
            }
            // The definition takes over the Declare's record: calls compiled
            // before it already name its id.
            record = existing;
        } else {
            record = static_cast<ProcedureRecord*>(hash_add(table, pool_strdup(name)));
            HashEntry entry = record->entry;
            std::memset(record, 0, sizeof *record);
            record->entry = entry;
            record->id = procedure_id_counter;
            procedure_id_counter += 2;
        }
    }
    record->module = module_section_state() != 0 ? current_module : nullptr;
    // The main source has no include name: its own name stands there (a
    // record without a file comes from a resident).
    const char* file = current_include_name ? current_include_name : current_source_file;
    record->file = pool_strdup(file ? file : "");
    record->line = current_line + continuation_count;
    uint32_t was_public = declared.present ? (declared.second_flags & (PROC_SECOND_PUBLIC | PROC_SECOND_RUNTIME)) : 0;
    record->flags = kind_flags | PROC_DECLARED;
    record->second_flags = was_public;
    if (module_section_state() == 1) record->second_flags |= PROC_SECOND_PUBLIC;
    // "Runtime Procedure": the start-up code registers its address, so its
    // code is written even when nothing calls it.
    if (runtime_statement_flag && !is_import && !is_prototype && !(record->second_flags & PROC_SECOND_RUNTIME)) {
        record->second_flags |= PROC_SECOND_RUNTIME;
        record->use_count++;
    }
    if (!is_import) {
        if (return_type.code == TYPE_STRUCTURE && !pointer_return) {
            set_error(ERROR_STRUCTURE_PROCEDURE_RETURN);
            return nullptr;
        }
        set_return_flags(record, &return_type, pointer_return);
    }

    int32_t saved_mode = declaration_mode;
    declaration_mode = DECLARE_PROTECTED;
    bool parsed = parse_parameters(record, is_prototype || is_import, &declared);
    declaration_mode = saved_mode;
    if (!parsed) return nullptr;
    if (declared.present && !matches_declaration(record, &declared)) {
        set_error(ERROR_DECLARE_MISMATCH);
        return nullptr;
    }
    return record;
}

// The locals of the scope that ends: variables, then arrays, lists and
// maps, each with its clean-up.
static void drop_scope_symbols() {
    drop_procedure_locals();
    free_scope_arrays();
    free_scope_lists();
    free_scope_maps();
}

void clear_local_symbols() {
    no_output_depth++;
    drop_scope_symbols();
    no_output_depth--;
}

void compile_procedure_statement(uint32_t kind_flags) {
    const bool definition = !(kind_flags & PROC_DECLARE_ONLY);
    if (!definition) {
        // The parameter list creates locals that go again at once.
        int32_t saved_in_procedure = in_procedure;
        int32_t saved_offset = local_frame_offset;
        in_procedure = 1;
        local_frame_offset = 40;
        ProcedureRecord* record = procedure_declare(kind_flags);
        if (record && !error_number && (kind_flags & PROC_PROTOTYPE)) backend->declare_prototype(record);
        clear_local_symbols();
        // The locals the list created are gone with the scope: only the
        // types stay.
        if (record)
            for (int32_t i = 0; i < record->parameter_count; i++) record->parameters[i].object = nullptr;
        in_procedure = saved_in_procedure;
        local_frame_offset = saved_offset;
        if (!record || error_number) return;
        if (kind_flags & PROC_PROTOTYPE) {
            HashTable* table = scope_prototype_table();
            auto* prototype = static_cast<ProcedureRecord*>(hash_add(table, record->entry.key));
            HashEntry entry = prototype->entry;
            *prototype = *record;
            prototype->entry = entry;
        }
        return;
    }
    local_frame_offset = 40;
    current_procedure = nullptr;
    ProcedureRecord* record = procedure_declare(kind_flags);
    if (!record || error_number) return;
    current_procedure = record;
    defined_procedures.push_back(record);
    snprintf(current_procedure_name, sizeof current_procedure_name, "%s", procedure_name(record));
    current_procedure_id = record->id;
    labels_enter_procedure(procedure_name(record));
    record->code_buffer = new_code_buffer();
    // The preprocessed source keeps a body where it stands.
    if (!preprocess_file) push_output_buffer(record->code_buffer);
    backend->begin_procedure(record);
    emit_procedure_start_debugger(record);
}

void compile_endprocedure_statement() {
    ProcedureRecord* record = current_procedure;
    if (!record) {
        set_error(ERROR_ENDPROCEDURE_WITHOUT_PROCEDURE);
        return;
    }
    emit_procedure_end_marker();
    backend->begin_procedure_epilogue(record);
    drop_scope_symbols();
    backend->finish_procedure(record);
    if (!preprocess_file) pop_output_buffer();
    add_procedure_end_context(record);
    record->code_size = record->code_buffer->write - record->code_buffer->start;
    labels_end_procedure();
    current_procedure = nullptr;
    current_procedure_name[0] = 0;
    local_frame_offset = 40;
}

void compile_procedurereturn_statement() {
    ProcedureRecord* record = current_procedure;
    if (!in_procedure || !record) {
        set_error_format(ERROR_ONLY_INSIDE_PROCEDURE, "ProcedureReturn");
        return;
    }
    emit_statement_line_marker();
    if (error_number) return;
    if (token_code >= TOKEN_TO && token_code <= TOKEN_OR) {
        set_error(ERROR_SYNTAX);
        return;
    }
    int with_value = 0;
    backend->emit_leave_string_selects();
    if (token_code != TOKEN_END) {
        // The value starts right after the keyword.
        parse_pointer = after_keyword();
        uint32_t mode = MODE_INTEGER;
        if (record->flags & PROC_RETURNS_DOUBLE) mode = MODE_DOUBLE;
        else if (record->flags & PROC_RETURNS_FLOAT) mode = MODE_FLOAT;
        else if (record->flags & PROC_RETURNS_QUAD) mode = MODE_QUAD;
        token_precedence = PRECEDENCE_NONE;
        token_code = TOKEN_EXPRESSION_START;
        // A string result stays on the string stack for the epilogue.
        uint32_t keep = (record->flags & PROC_RETURNS_STRING) ? EXPR_KEEP_STRING_BASE : 0;
        compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_FPU_RESULT | EXPR_WHOLE_STATEMENT | keep, mode);
        if (error_number) return;
        bool value_is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
        if (record->flags & PROC_RETURNS_STRING) {
            if (!value_is_string) {
                set_error_format(ERROR_STRING_EXPECTED_NOT_NUMBER, "ProcedureReturn");
                return;
            }
            backend->emit_procedure_return(record, 1);
            expression_mode = MODE_INTEGER;
            current_operand.kind = OPERAND_NONE;
            current_operand.flags = 0;
            expression_finished = 1;
            return;
        }
        if (value_is_string) {
            set_error_format(ERROR_NUMBER_EXPECTED_NOT_STRING, "ProcedureReturn");
            return;
        }
        if (current_operand.kind == OPERAND_NONE || (current_operand.flags & OP_STRUCTURE)) {
            set_error(ERROR_SYNTAX);
            return;
        }
        with_value = 1;
        expression_mode = mode;
    }
    backend->emit_procedure_return(record, with_value);
    expression_mode = MODE_INTEGER;
    current_operand.kind = OPERAND_NONE;
    current_operand.flags = 0;
    expression_finished = 1;
}

void check_declared_procedures() {
    if (!procedure_table) return;
    std::vector<HashTable*> tables = {procedure_table};
    if (module_table) {
        hash_reset_iterator(module_table);
        while (HashEntry* entry = hash_next(module_table)) {
            auto* module = reinterpret_cast<ModuleRecord*>(entry);
            if (module->procedures && module->procedures != procedure_table) tables.push_back(module->procedures);
        }
    }
    for (HashTable* table : tables) {
        hash_reset_iterator(table);
        while (HashEntry* entry = hash_next(table)) {
            auto* record = reinterpret_cast<ProcedureRecord*>(entry);
            if ((record->flags & (PROC_DECLARE_ONLY | PROC_IMPORTED)) == PROC_DECLARE_ONLY && record->use_count > 0) {
                set_error_format(ERROR_PROCEDURE_DECLARED_NOT_DEFINED, procedure_name(record));
                return;
            }
        }
    }
}

void compile_procedure_call(ProcedureRecord* procedure) {
    // The record lives for this call only (a long program's calls do not
    // pile up in the compilation pool).
    std::unique_ptr<CallRecord> call(new CallRecord());
    int32_t kind = CALLEE_PROCEDURE;
    if (procedure->flags & PROC_IMPORTED) kind = CALLEE_IMPORTED;
    describe_procedure_call(call.get(), procedure, kind);
    procedure->use_count++;
    compile_call(call.get());
}

bool is_procedure_code_appended(const ProcedureRecord* record) {
    bool used = record->use_count > 0 && !(record->flags & (PROC_IMPORTED | PROC_DECLARE_ONLY));
    bool exported = (record->flags & (PROC_DLL | PROC_DECLARE_ONLY)) == PROC_DLL;
    return (used || exported) && record->code_buffer;
}

// Bytes of appended procedure text after which their freed pages go back
// to the system: the program's code grows by as much as they free.
constexpr int64_t procedure_text_release_step = 1 << 20;

void append_procedure_code() {
    if (no_output_depth) return;
    int64_t freed = 0;
    for (ProcedureRecord* record : defined_procedures) {
        if (!is_procedure_code_appended(record)) continue;
        TextBuffer* buffer = record->code_buffer;
        int64_t length = buffer->write - buffer->start;
        if (length <= 0) continue;
        // The text ends with a line feed; emit_line adds it again.
        bool line_feed = buffer->start[length - 1] == '\n';
        if (line_feed) buffer->start[length - 1] = 0;
        emit_line(buffer->start);
        // The text now stands in the program's code: its own copy goes, so
        // the bodies are not held twice while the rest of the program is
        // written. The record keeps its empty buffer.
        os_heap_free(heap_for_kind(buffer->heap_kind), buffer->start);
        buffer->start = nullptr;
        buffer->write = nullptr;
        buffer->size = 0;
        freed += length;
        if (freed >= procedure_text_release_step) {
            os_heap_release_free_pages();
            freed = 0;
        }
    }
    if (freed) os_heap_release_free_pages();
}
