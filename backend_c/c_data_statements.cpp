// Data values, Read, Restore, Swap and IncludeBinary for the C file, and the
// data offsets of the labels declared in a DataSection.
#include "backend_c/c_data_statements.h"

#include <cstring>
#include <string>

#include "backend_c/c_data_section.h"
#include "backend_c/c_fixups.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/data_sections.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

namespace {

// Bytes of the data buffer that the writers of this file know about; text
// after them was written by someone else (the label declarations).
int64_t data_text_known = 0;
// The type of the Data line being written and whether it has a value yet.
int32_t data_line_type = 0;
bool data_line_empty = true;
// Swap: the first element kept aside when the front end saves its address.
std::string swap_saved_first;

int64_t data_text_length()
{
    return data_buffer_start && data_write_pointer ? data_write_pointer - data_buffer_start : 0;
}

void note_data_text()
{
    data_text_known = data_text_length();
}

void lower_ascii(std::string& text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
}

// A line that the label declaration writes: a name without blanks or C
// punctuation, then ':'.
bool is_label_line(const char* start, const char* end)
{
    if (end - start < 2 || end[-1] != ':') return false;
    for (const char* p = start; p < end - 1; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || std::strchr(",;:{}()[]=\"'#/*", c)) return false;
    }
    return true;
}

// The name the label declaration wrote for a label of `list`.
std::string declared_name(const LabelRecord* label, bool procedure_list)
{
    std::string name;
    if (label->module) name = std::string(label->module) + "$";
    if (procedure_list) name += std::string("ll_") + (label_scope_procedure ? label_scope_procedure : "") + "_";
    else name += "l_";
    name += label->name;
    lower_ascii(name);
    return name;
}

// The newest data label of the open scopes that was written as `name`.
LabelRecord* find_declared_label(const std::string& name)
{
    if (label_scope_procedure && procedure_labels) {
        for (ListNode* node = procedure_labels->last; node; node = node->previous) {
            auto* label = reinterpret_cast<LabelRecord*>(node);
            if ((label->flags & LABEL_DATA) && declared_name(label, true) == name) return label;
        }
    }
    for (CursorList* list : declared_label_lists()) {
        for (ListNode* node = list->last; node; node = node->previous) {
            auto* label = reinterpret_cast<LabelRecord*>(node);
            if ((label->flags & LABEL_DATA) && declared_name(label, false) == name) return label;
        }
    }
    return nullptr;
}

// "," between two values of the data array.
void begin_value()
{
    c_settle_data_labels();
    if (!data_line_empty || data_offset > 0) emit_data_text(",");
    data_line_empty = false;
}

// The C name of a label from the front end's name ("l_x", "m.l_x",
// "ll_p_x", "m.ll_p_x"): the module separator is '$'.
std::string c_label_symbol(const char* symbol)
{
    std::string name = symbol ? symbol : "";
    for (char& c : name)
        if (c == '.') c = '$';
    lower_ascii(name);
    return name;
}

void data_start()
{
    c_settle_data_labels();
    c_begin_data_section();
    note_data_text();
}

void begin_data_line(int32_t type)
{
    c_settle_data_labels();
    if (!data_array_open) c_begin_data_section();
    data_line_type = type;
    data_line_empty = true;
    note_data_text();
}

void append_data_number(int64_t value)
{
    begin_value();
    if (data_line_type == TYPE_QUAD || data_line_type == TYPE_INTEGER) c_data_quad(uint64_t(value));
    else c_data_value(data_line_type, uint32_t(uint64_t(value)));
    note_data_text();
}

void append_data_real(double value, int32_t type)
{
    begin_value();
    if (type == TYPE_FLOAT) {
        c_data_float(value);
    } else {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        c_data_quad(bits);
    }
    note_data_text();
}

void append_data_literal(int32_t type, const char* text, int64_t length)
{
    (void)length;
    begin_value();
    c_append_data_literal(type, text);
    note_data_text();
}

// A label's address: eight zero bytes filled at start-up (a label of a
// procedure at the procedure's entry).
void append_data_symbol(const char* symbol)
{
    begin_value();
    std::string target = "la_" + c_label_symbol(symbol);
    c_note_label_address();
    c_add_pointer_fixup(label_scope_procedure ? local_fixup_list : global_fixup_list, "zd_data", data_offset,
                        target.c_str());
    emit_data_text("0,0,0,0,0,0,0,0");
    data_offset += 8;
    note_data_text();
}

// A pointer to a procedure or a literal: eight zero bytes filled at
// start-up from the global fixups.
void append_data_pointer(const std::string& target)
{
    begin_value();
    c_add_pointer_fixup(global_fixup_list, "zd_data", data_offset, target.c_str());
    emit_data_text("0,0,0,0,0,0,0,0");
    data_offset += 8;
    note_data_text();
}

void append_data_procedure(ProcedureRecord* procedure)
{
    append_data_pointer(c_procedure_name(procedure));
}

void append_data_literal_label(int32_t number)
{
    append_data_pointer(c_string_literal_name(number));
}

// Each Data statement's values end with a line feed.
void end_data_line()
{
    c_settle_data_labels();
    if (data_line_empty) return;
    emit_data_text("\n");
    note_data_text();
}

void emit_data_check()
{
    if (debugger_code) emit_line("DBG_CheckDataSection();");
}

void emit_read_data_number(int32_t item_type, int32_t item_size, const char* target, int32_t target_size,
                           uint32_t target_flags)
{
    (void)target_size;
    emit_data_check();
    bool real_item = item_type == TYPE_FLOAT || item_type == TYPE_DOUBLE;
    if (real_item && !(target_flags & (OP_FLOAT | OP_DOUBLE))) {
        // A float value read into an integer is rounded to the nearest,
        // ties to even, as every float-to-integer store is.
        const char* source = item_type == TYPE_FLOAT ? "*(float *)zd_datapointer" : "*(double *)zd_datapointer";
        std::string line = std::string(target) + "=SYS_BankerRound(" + source + "); zd_datapointer+=" +
                           std::to_string(item_size) + ";";
        emit_line(line.c_str());
        return;
    }
    c_emit_read(item_type, target);
}

void emit_read_data_string(const char* target, int32_t fixed_length)
{
    emit_data_check();
    if (!no_output_depth) string_manager_used = 1;
    if (fixed_length > 0) c_emit_read_fixed_string(target, fixed_length * 2);
    else c_emit_read_string(target);
}

void emit_restore_data_pointer(const char* symbol)
{
    std::string line = "zd_datapointer=&zd_data[" + c_label_symbol(symbol) + "];";
    emit_line(line.c_str());
}

void emit_swap_save_address(const char* operand)
{
    swap_saved_first = operand ? operand : "";
}

// Addresses of C lvalues do not move: the exchange names both directly,
// through a temporary of the second element's arithmetic type.
void emit_swap(const char* first, int32_t size)
{
    (void)size;
    std::string left = first ? first : swap_saved_first;
    std::string right = current_operand.text;
    const char* type = (current_operand.flags & OP_DOUBLE) ? "double"
                       : (current_operand.flags & OP_FLOAT) ? "float"
                       : (current_operand.flags & OP_QUAD)  ? "quad"
                                                            : "integer";
    std::string line = std::string("{ ") + type + " zds_swap=" + left + "; " + left + "=" + right + "; " + right +
                       "=zds_swap; }";
    emit_line(line.c_str());
}

void emit_include_binary(const char* path)
{
    c_settle_data_labels();
    c_emit_include_binary(path);
    note_data_text();
}

}  // namespace

const DataHooks c_data_hooks = {
    .emit_data_start_label = data_start,
    .begin_data_line = begin_data_line,
    .append_data_number = append_data_number,
    .append_data_real = append_data_real,
    .append_data_literal = append_data_literal,
    .append_data_symbol = append_data_symbol,
    .append_data_procedure = append_data_procedure,
    .append_data_literal_label = append_data_literal_label,
    .end_data_line = end_data_line,
    .emit_read_data_number = emit_read_data_number,
    .emit_read_data_string = emit_read_data_string,
    .emit_restore_data_pointer = emit_restore_data_pointer,
    .emit_swap_save_address = emit_swap_save_address,
    .emit_swap = emit_swap,
    .emit_include_binary = emit_include_binary,
};

void c_reset_data_statements()
{
    data_text_known = 0;
    data_line_type = 0;
    data_line_empty = true;
    swap_saved_first.clear();
}

void c_settle_data_labels()
{
    int64_t length = data_text_length();
    if (length <= data_text_known) {
        // The shared reset emptied the buffer since.
        if (length < data_text_known) data_text_known = length;
        return;
    }
    char* start = data_buffer_start + data_text_known;
    char* end = data_write_pointer;
    char* out = start;
    for (char* line = start; line < end;) {
        char* feed = static_cast<char*>(std::memchr(line, '\n', size_t(end - line)));
        char* line_end = feed ? feed : end;
        char* next = feed ? feed + 1 : end;
        if (feed && is_label_line(line, line_end)) {
            if (LabelRecord* label = find_declared_label(std::string(line, line_end - 1))) label->data_offset = data_offset;
        } else {
            std::memmove(out, line, size_t(next - line));
            out += next - line;
        }
        line = next;
    }
    *out = 0;
    data_write_pointer = out;
    note_data_text();
}

std::string c_label_address_name(const char* label)
{
    return "la_" + c_label_symbol(label);
}
