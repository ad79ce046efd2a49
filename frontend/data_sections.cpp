// Data and Data$ inside a DataSection, Read and Read$, Restore, Swap and
// IncludeBinary. The values of a Data line are constants: nothing is
// compiled into the code, the back end appends them to the data section.
#include "frontend/data_sections.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/file_helpers.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/literal_strings.h"
#include "frontend/procedures.h"
#include "frontend/lexer.h"
#include "frontend/operand_state.h"
#include "frontend/other_statements.h"
#include "frontend/source_reader.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"
#include "platform/platform.h"

namespace {

const DataHooks* hooks() { return backend->data; }

void write_statement_marker() {
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
}

void skip_blanks() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

// The keyword (or its type suffix) was read with the operator after it: a
// one-byte operator such as '-' or '*' begins the first operand, so the
// parse pointer goes back to it.
void step_back_to_operand() {
    bool single_byte = token_code > ' ' && token_code < 127 && token_code != ',';
    if (single_byte && parse_pointer > statement_start && parse_pointer[-1] == char(token_code)) parse_pointer--;
    token_code = TOKEN_NO_OPERATOR;
}

bool type_takes_pointer(int32_t type) { return type == TYPE_QUAD || type == TYPE_INTEGER; }

// The range check of an integer Data value; 0 or the error number.
int integer_range_error(int32_t type, int64_t value) {
    switch (type) {
    case TYPE_BYTE: return (value < -128 || value > 255) ? ERROR_BYTE_OVERFLOW : ERROR_NONE;
    case TYPE_WORD: return (value < -32768 || value > 65535) ? ERROR_WORD_OVERFLOW : ERROR_NONE;
    case TYPE_LONG: return (value < -2147483648LL || value > 4294967295LL) ? ERROR_LONG_OVERFLOW : ERROR_NONE;
    case TYPE_ASCII: return (value < 0 || value > 255) ? ERROR_ASCII_OVERFLOW : ERROR_NONE;
    case TYPE_CHARACTER:
    case TYPE_UNICODE: return (value < 0 || value > 65535) ? ERROR_CHARACTER_OVERFLOW : ERROR_NONE;
    case TYPE_STRING: return (value < 0 || value > 255) ? ERROR_ASCII_NUMBER_OUT_OF_RANGE : ERROR_NONE;
    default: return 0;
    }
}

// One literal string value of a Data line (parse pointer at its quote).
void append_literal_value(int32_t type) {
    reset_literal_text();
    read_token();
    if (error_number) return;
    if (type != TYPE_STRING && type != TYPE_UNICODE && type != TYPE_ASCII) {
        set_error(ERROR_DATASECTION_LITERAL_STRING_TYPE);
        return;
    }
    const DataHooks* h = hooks();
    h->append_data_literal(type, literal_text, literal_length < 0 ? 0 : literal_length);
}

// '?' and a label name: the label's address.
void append_label_value(int32_t type) {
    parse_pointer++;
    read_token();
    if (error_number) return;
    if (!statement_word[0]) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (!type_takes_pointer(type)) {
        set_error(ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER);
        return;
    }
    std::string target = resolve_label_reference(true);
    if (error_number) return;
    const DataHooks* h = hooks();
    h->append_data_symbol(target.c_str());
}

// "@" and a literal string or a procedure name with "()": an address,
// which needs an 8-byte type (error 201).
void append_address_value(int32_t type) {
    parse_pointer++;
    skip_blanks();
    const DataHooks* h = hooks();
    if (*parse_pointer == '"' || (*parse_pointer == '~' && parse_pointer[1] == '"')) {
        if (*parse_pointer == '~') {
            escape_mode = 1;
            parse_pointer++;
        }
        reset_literal_text();
        read_token();
        if (error_number) return;
        if (!type_takes_pointer(type)) {
            set_error(ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER);
            return;
        }
        int32_t number = intern_gathered_literal();
        h->append_data_literal_label(number);
        return;
    }
    read_token();
    if (error_number) return;
    // Only a procedure's address is a constant here.
    if (!statement_word[0] || token_code != '(') {
        set_error(ERROR_SYNTAX);
        return;
    }
    std::string name = statement_word;
    ProcedureRecord* procedure = find_procedure(name.c_str());
    if (error_number) return;
    if (!procedure) {
        set_error_format(ERROR_NOT_DECLARED, name.c_str());
        return;
    }
    skip_blanks();
    if (*parse_pointer != ')') {
        set_error(ERROR_SYNTAX);
        return;
    }
    parse_pointer++;
    read_operator();
    if (error_number) return;
    if (!type_takes_pointer(type)) {
        set_error(ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER);
        return;
    }
    if (!no_output_depth) procedure->use_count++;
    h->append_data_procedure(procedure);
}

// A numeric constant value.
void append_constant_value(int32_t type) {
    uint32_t mode = MODE_INTEGER;
    if (type == TYPE_FLOAT) mode = MODE_FLOAT;
    else if (type == TYPE_DOUBLE) mode = MODE_DOUBLE;
    else if (type_takes_pointer(type)) mode = MODE_QUAD;
    compile_expression(EXPR_CONSTANT | EXPR_DRY_RUN | EXPR_RESET_REGISTERS, mode);
    if (error_number) return;
    if (current_operand.kind == OPERAND_STRING) {
        set_error(ERROR_DATASECTION_LITERAL_STRING_TYPE);
        return;
    }
    if (current_operand.kind != OPERAND_CONSTANT) {
        set_error(ERROR_SYNTAX);
        return;
    }
    const DataHooks* h = hooks();
    bool is_float = (current_operand.flags & OP_FLOAT) != 0;
    if (type == TYPE_FLOAT || type == TYPE_DOUBLE) {
        double value = is_float ? current_operand.constant_float : double(current_operand.constant);
        if (!std::isfinite(value)) {
            set_error(ERROR_SYNTAX);
            return;
        }
        h->append_data_real(value, type);
        return;
    }
    // A float given for an integer type is taken at its nearest integer,
    // the value the constant already carries.
    int64_t value = current_operand.constant;
    if (int error = integer_range_error(type, value)) {
        set_error(error);
        return;
    }
    h->append_data_number(value);
}

// The type of a Data or Read statement from the keyword's suffix; -1 after an error.
int32_t read_keyword_type(int string_form, bool required) {
    if (string_form) {
        return TYPE_STRING;
    }
    if (token_code != '.') {
        if (required) {
            set_error(ERROR_DATA_TYPE_EXPECTED);
            return -1;
        }
    }
    parse_field_type(TYPE_SUFFIX_PLAIN);
    if (error_number) return -1;
    return current_type.code;
}

// The right side of a Swap may move rbp (another element, field or a
// threaded variable) or push onto the machine stack.
bool second_element_may_move_base() {
    if (thread_local_offset > 0) return true;
    for (const char* p = parse_pointer; *p && *p != STATEMENT_SEPARATOR; p++)
        if (*p == '(' || *p == '\\') return true;
    return false;
}

// A Swap element: a variable of a native type, not a string or structure.
bool check_swap_element() {
    if (error_number) return false;
    if (current_operand.kind != OPERAND_VARIABLE ||
        (current_operand.flags & (OP_STRUCTURE | OP_STRING | OP_FIXED_STRING | OP_COMPUTED))) {
        set_error(ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
        return false;
    }
    return true;
}

// The marks two Swap elements must share. An 8-byte integer is one type
// whether its operand carries the quad mark (elements, fields) or not
// (variables).
uint32_t swap_type_marks(uint32_t flags, int32_t size) {
    uint32_t marks = flags & (OP_FLOAT | OP_DOUBLE | OP_UNSIGNED | OP_QUAD | OP_POINTER);
    if (size == 8 && !(marks & (OP_FLOAT | OP_POINTER))) marks |= OP_QUAD;
    return marks;
}

}  // namespace

int32_t data_type_size(int32_t type) {
    switch (type) {
    case TYPE_BYTE:
    case TYPE_ASCII: return 1;
    case TYPE_WORD:
    case TYPE_CHARACTER:
    case TYPE_UNICODE: return 2;
    case TYPE_LONG:
    case TYPE_FLOAT: return 4;
    case TYPE_QUAD:
    case TYPE_DOUBLE:
    case TYPE_INTEGER:
    case TYPE_STRING: return 8;
    default: return 0;
    }
}

void compile_data_statement(int string_form) {
    if (!in_datasection) {
        set_error(ERROR_DATA_OUTSIDE_DATASECTION);
        return;
    }
    int32_t type = read_keyword_type(string_form, true);
    if (type < 0) return;
    if (type == TYPE_STRUCTURE || type == TYPE_FIXED_STRING || data_type_size(type) == 0) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    const DataHooks* h = hooks();
    if (!data_section_label_written) {
        h->emit_data_start_label();
        data_section_label_written = 1;
    }
    h->begin_data_line(type);
    step_back_to_operand();
    for (;;) {
        skip_blanks();
        if (*parse_pointer == '"') append_literal_value(type);
        else if (*parse_pointer == '?') append_label_value(type);
        else if (*parse_pointer == '@') append_address_value(type);
        else append_constant_value(type);
        if (error_number) break;
        if (token_code == TOKEN_END) break;
        if (token_code != ',') {
            set_error(ERROR_SYNTAX);
            break;
        }
    }
    // The line is closed even after an error so that the data text stays whole.
    h->end_data_line();
}

void compile_read_statement(int string_form) {
    write_statement_marker();
    int32_t type = read_keyword_type(string_form, false);
    if (type < 0) return;
    if (type == TYPE_STRUCTURE || type == TYPE_FIXED_STRING || data_type_size(type) == 0) {
        set_error(ERROR_SYNTAX);
        return;
    }
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    step_back_to_operand();
    compile_operand();
    if (error_number) return;
    const DataHooks* h = hooks();
    uint32_t flags = current_operand.flags;
    if (current_operand.kind == OPERAND_STRING) {
        if (type != TYPE_STRING) {
            set_error(ERROR_READ_NUMBER_INTO_STRING);
            return;
        }
        // A variable, element or field; a temporary or a literal is none.
        if (flags & (OP_COMPUTED | OP_STRING_STACK | OP_LITERAL)) {
            set_error(ERROR_SYNTAX);
            return;
        }
        int32_t fixed = (flags & OP_FIXED_STRING) ? current_operand.size / 2 : 0;
        h->emit_read_data_string(current_operand.text, fixed);
        return;
    }
    if (current_operand.kind != OPERAND_VARIABLE || (flags & OP_STRUCTURE) || type == TYPE_STRING) {
        set_error(ERROR_SYNTAX);
        return;
    }
    h->emit_read_data_number(type, data_type_size(type), current_operand.text, current_operand.size, flags);
    current_operand.kind = OPERAND_NONE;
}

void compile_restore_statement() {
    read_token();
    if (error_number) return;
    if (statement_word[0] == 0) {
        set_error(ERROR_SYNTAX);
        return;
    }
    write_statement_marker();
    std::string target = resolve_label_reference(true);
    if (error_number) return;
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return;
    }
    const DataHooks* h = hooks();
    h->emit_restore_data_pointer(target.c_str());
}

void swap_statement() {
    write_statement_marker();
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    step_back_to_operand();
    compile_operand();
    // A second name where the ',' belongs ("Swap a b") is a syntax error, not
    // the operand's refused operator.
    if (error_number && token_code == TOKEN_NO_OPERATOR) {
        clear_error_state();
        set_error(ERROR_SYNTAX);
        return;
    }
    if (!check_swap_element()) return;
    if (token_code != ',') {
        set_error(ERROR_SYNTAX);
        return;
    }
    std::string first = current_operand.text;
    int32_t size = current_operand.size;
    uint32_t flags = current_operand.flags;
    const DataHooks* h = hooks();
    // An element addressed through rbp (a field or an array element) is
    // kept by its address; so is any element when the second one may move
    // rbp or the stack.
    bool saved = first.find("rbp") != std::string::npos || second_element_may_move_base();
    if (saved) h->emit_swap_save_address(first.c_str());
    compile_operand();
    if (!check_swap_element()) return;
    if (current_operand.size != size || swap_type_marks(current_operand.flags, size) != swap_type_marks(flags, size)) {
        set_error(ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
        return;
    }
    h->emit_swap(saved ? nullptr : first.c_str(), size);
    current_operand.kind = OPERAND_NONE;
}

void compile_includebinary_statement() {
    if (!read_literal_string_arg("IncludeBinary")) return;
    std::string written = literal_text;
    std::string full = resolve_source_path(written.c_str());
    if (standby_mode && redirect_files) full = query_redirect("INCLUDEBINARY", full.c_str());
    // A double quote would end the file name of the inclusion line early.
    if (!file_exists(full.c_str()) || full.find('"') != std::string::npos) {
        set_error_format(ERROR_INCLUDED_FILE_NOT_FOUND, full.c_str());
        return;
    }
    // Outside a DataSection the bytes would stand in the code and be run.
    if (!in_datasection) {
        set_error(ERROR_INCLUDEBINARY_OUTSIDE_DATASECTION);
        return;
    }
    const DataHooks* h = hooks();
    h->emit_include_binary(full.c_str());
}
