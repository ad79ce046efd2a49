#include "backend_c/c_data_section.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_fixups.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_program_blocks.h"
#include "core/char_tables.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/file_helpers.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/literal_strings.h"
#include "frontend/symbols.h"

int32_t data_offset = 0;

namespace {

void append_bytes(uint64_t value, int count)
{
    char text[48];
    int length = 0;
    for (int i = 0; i < count; i++)
        length += std::snprintf(text + length, sizeof text - size_t(length), i ? ",%u" : "%u", unsigned((value >> (8 * i)) & 0xFF));
    emit_data_text(text);
    data_offset += count;
}

void lower_ascii(std::string& text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
}

// Eight zero bytes whose address slot receives `target`.
void append_address_slot(CursorList* list, const char* target)
{
    c_add_pointer_fixup(list, "zd_data", data_offset, target);
    emit_data_text("0,0,0,0,0,0,0,0");
    data_offset += 8;
}

}  // namespace

void c_reset_program_blocks()
{
    data_offset = 0;
    static_block_name = "";
    static_block_offset = 0;
    c_referenced_procedure_labels = create_list(sizeof(LabelRecord), 0);
}

void c_begin_data_section()
{
    if (data_array_open) return;
    emit_data_text("unsigned char zd_data[] = {");
    data_array_open = 1;
}

void c_data_quad(uint64_t value)
{
    append_bytes(value, 8);
}

void c_data_value(int32_t type, uint32_t value)
{
    switch (type) {
    case TYPE_BYTE:
    case TYPE_ASCII:
        append_bytes(value, 1);
        break;
    case TYPE_WORD:
    case TYPE_STRING:
    case TYPE_CHARACTER:
    case TYPE_UNICODE:
        append_bytes(value, 2);
        break;
    case TYPE_LONG:
        append_bytes(value, 4);
        break;
    default:
        break;
    }
}

void c_data_float(double value)
{
    float single = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &single, sizeof bits);
    append_bytes(bits, 4);
}

std::string c_emit_utf16_hex(const char* text, int32_t* count)
{
    std::string out;
    int32_t units = 1;
    char16_t* converted = utf8_to_utf16_alloc(text ? text : "");
    if (converted) {
        char pair[24];
        for (const char16_t* p = converted; *p; p++, units++) {
            std::snprintf(pair, sizeof pair, "0x%X,0x%X,", unsigned(*p & 0xFF), unsigned(*p >> 8));
            out += pair;
        }
        std::free(converted);
    }
    out += "0,0";
    if (count) *count = units;
    return out;
}

void c_append_data_literal(int32_t type, const char* text)
{
    if (!text) text = "";
    if (type == TYPE_STRING || type == TYPE_UNICODE) {
        int32_t units = 0;
        std::string bytes = c_emit_utf16_hex(text, &units);
        emit_data_text(bytes.c_str());
        data_offset += 2 * units;
        return;
    }
    std::string bytes;
    int32_t length = 0;
    for (const char* p = text; *p; p++, length++) {
        bytes += std::to_string(unsigned(static_cast<unsigned char>(*p)));
        bytes += ',';
    }
    bytes += '0';
    emit_data_text(bytes.c_str());
    data_offset += length + 1;
}

void c_append_data_literal_label(int32_t literal_number)
{
    char target[24] = "0";
    if (!(null_string_number && literal_number == null_string_number))
        std::snprintf(target, sizeof target, "_S%d", literal_number);
    append_address_slot(global_fixup_list, target);
}

void c_data_procedure_pointer(ProcedureRecord* procedure)
{
    std::string name = c_procedure_name(procedure);
    append_address_slot(global_fixup_list, name.c_str());
}

std::string c_label_c_name(const char* label)
{
    std::string name;
    if (label_scope_module) name = std::string(label_scope_module) + "$";
    if (label_scope_procedure) name += std::string("ll_") + label_scope_procedure + "_" + label;
    else name += std::string("l_") + label;
    lower_ascii(name);
    return name;
}

void c_data_label_pointer(const char* label)
{
    std::string target = "la_" + c_label_c_name(label);
    c_note_label_address();
    append_address_slot(label_scope_procedure ? local_fixup_list : global_fixup_list, target.c_str());
}

void c_emit_read(int32_t type, const char* target)
{
    const char* rest = nullptr;
    switch (type) {
    case TYPE_BYTE: rest = "=*(char *)zd_datapointer; zd_datapointer++;"; break;
    case TYPE_ASCII: rest = "=*(unsigned char *)zd_datapointer; zd_datapointer++;"; break;
    case TYPE_WORD: rest = "=*(short *)zd_datapointer; zd_datapointer+=2;"; break;
    case TYPE_CHARACTER:
    case TYPE_UNICODE: rest = "=*(unsigned short *)zd_datapointer; zd_datapointer+=2;"; break;
    case TYPE_LONG: rest = "=*(int *)zd_datapointer; zd_datapointer+=4;"; break;
    case TYPE_FLOAT: rest = "=*(float *)zd_datapointer; zd_datapointer+=4;"; break;
    case TYPE_DOUBLE: rest = "=*(double *)zd_datapointer; zd_datapointer+=8;"; break;
    case TYPE_QUAD: rest = "=*(quad *)zd_datapointer; zd_datapointer+=8;"; break;
    case TYPE_INTEGER: rest = "=*(integer *)zd_datapointer; zd_datapointer+=8;"; break;
    default: return;
    }
    emit_line2(target, rest);
}

void c_emit_read_string(const char* target)
{
    emit_line3("zd_datapointer+=SYS_FastAllocateStringFree4(&", target, ",zd_datapointer);");
    if (!no_output_depth) c_runtime_used[C_SYS_FastAllocateStringFree4] = 1;
}

void c_emit_read_fixed_string(const char* target, int32_t fixed_length_bytes)
{
    emit_format("SYS_AssignFixedStringFast(%s,%d,zd_datapointer);", target, fixed_length_bytes / 2);
    emit_line("while (*(short *)zd_datapointer != 0) { zd_datapointer+=2; } zd_datapointer += 2;");
    if (!no_output_depth) c_runtime_used[C_SYS_AssignFixedStringFast] = 1;
}

void c_emit_include_binary(const char* path)
{
    FILE* file = open_file_utf8(path);
    if (!file) return;
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (size < 0) size = 0;
    auto* bytes = static_cast<unsigned char*>(std::malloc(size_t(size) + 1));
    if (!bytes) {
        std::fclose(file);
        return;
    }
    size_t read = std::fread(bytes, 1, size_t(size), file);
    std::fclose(file);
    c_begin_data_section();
    // One text per line of at most 200 values.
    std::string line;
    for (size_t i = 0; i < read; i++) {
        if (data_offset > 0) line += ',';
        line += std::to_string(unsigned(bytes[i]));
        data_offset += 1;
        if (i % 200 == 199) {
            line += '\n';
            emit_data_text(line.c_str());
            line.clear();
        }
    }
    line += '\n';
    emit_data_text(line.c_str());
    std::free(bytes);
}
