#include "backend_x64/emit_data_read.h"

#include <cstdio>
#include <cmath>
#include <cstring>
#include <string>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_operands.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"
#include "platform/platform.h"

namespace {

// The directive line of the Data statement being compiled.
std::string data_line;
bool data_line_empty = true;

const char* data_pointer_operand = "qword [ZD_DataPointer]";

const char* without_size_prefix(const char* text) {
    const char* bracket = std::strchr(text, '[');
    return bracket ? bracket : text;
}

void next_data_value() {
    data_line += data_line_empty ? " " : ",";
    data_line_empty = false;
}

void emit_data_start_label() { emit_data_text("ZD_DataSectionStart:\n"); }

void begin_data_line(int32_t type) {
    switch (type) {
    case TYPE_BYTE:
    case TYPE_ASCII: data_line = " db"; break;
    case TYPE_WORD:
    case TYPE_CHARACTER:
    case TYPE_UNICODE:
    case TYPE_STRING: data_line = " dw"; break;
    case TYPE_LONG:
    case TYPE_FLOAT: data_line = " dd"; break;
    default: data_line = " dq"; break;
    }
    data_line_empty = true;
}

void append_data_number(int64_t value) {
    next_data_value();
    data_line += std::to_string((long long)value);
}

// A real in a form the assembler reads as floating point: with a decimal
// point or an exponent, since a bare "3" would store the integer 3.
// A double beyond the float range is the infinity of its sign, which has
// no decimal form: its bits are written instead.
void append_data_real(double value, int32_t type) {
    char text[64];
    float single = float(value);
    if (type == TYPE_FLOAT && !std::isfinite(single)) {
        int32_t bits;
        std::memcpy(&bits, &single, sizeof bits);
        snprintf(text, sizeof text, "%d", bits);
        next_data_value();
        data_line += text;
        return;
    }
    // A float is written as the single it becomes: one too small for it is
    // 0, which the assembler would otherwise refuse as out of range.
    snprintf(text, sizeof text, type == TYPE_FLOAT ? "%.9g" : "%.17g", type == TYPE_FLOAT ? double(single) : value);
    if (!std::strpbrk(text, ".e")) std::strcat(text, ".0");
    next_data_value();
    data_line += text;
}

// One code point from UTF-8 text; an invalid byte stands for itself.
uint32_t next_code_point(const unsigned char*& p, const unsigned char* end) {
    unsigned char c = *p++;
    int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c >= 0xF8) extra = 0;
    if (end - p < extra) return c;
    uint32_t code = extra == 3 ? (c & 0x07u) : extra == 2 ? (c & 0x0Fu) : extra == 1 ? (c & 0x1Fu) : c;
    for (int i = 0; i < extra; i++) {
        if ((p[i] & 0xC0) != 0x80) return c;
    }
    for (int i = 0; i < extra; i++) code = (code << 6) | (*p++ & 0x3Fu);
    return code;
}

void append_data_literal(int32_t type, const char* text, int64_t length) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    if (type == TYPE_ASCII) {
        while (p < end) append_data_number(*p++);
    } else {
        while (p < end) {
            uint32_t code = next_code_point(p, end);
            if (code >= 0x10000) {
                code -= 0x10000;
                append_data_number(0xD800 + (code >> 10));
                append_data_number(0xDC00 + (code & 0x3FF));
            } else {
                append_data_number(code);
            }
        }
    }
    append_data_number(0);
}

void append_data_symbol(const char* symbol) {
    next_data_value();
    data_line += symbol;
}

void append_data_procedure(ProcedureRecord* procedure) {
    next_data_value();
    data_line += "_Procedure" + std::to_string(procedure->id);
}

void append_data_literal_label(int32_t number) {
    next_data_value();
    // The null string is the null pointer.
    if (number <= 0 || number == null_string_number) data_line += "0";
    else data_line += "_S" + std::to_string(number);
}

void end_data_line() {
    if (!data_line_empty) emit_data_text((data_line + "\n").c_str());
    data_line.clear();
    data_line_empty = true;
}

void emit_read_data_number(int32_t item_type, int32_t item_size, const char* target, int32_t target_size,
                           uint32_t target_flags) {
    if (debugger_code) emit_line(" CALL _DBG_D");
    emit_linef(" MOV rax,%s", data_pointer_operand);
    bool float_target = (target_flags & OP_FLOAT) != 0;
    if (item_type == TYPE_FLOAT || item_type == TYPE_DOUBLE) {
        emit_linef(" FLD %s[rax]", item_type == TYPE_FLOAT ? "dword " : "qword ");
        if (float_target) {
            emit_linef(" FSTP %s", target);
        } else if (target_size == 8) {
            emit_line(" FISTP qword [rsp-8]");
            emit_line(" MOV rax,[rsp-8]");
            emit_store_accumulator(target, target_size);
        } else {
            emit_line(" FISTP dword [rsp-4]");
            emit_line(" MOV eax,[rsp-4]");
            emit_store_accumulator(target, target_size);
        }
    } else {
        char source[32];
        snprintf(source, sizeof source, "%s[rax]", size_prefix(item_size));
        if (item_size == 8) emit_linef(" MOV rax,%s", source);
        else {
            bool is_unsigned = item_type == TYPE_CHARACTER || item_type == TYPE_ASCII || item_type == TYPE_UNICODE;
            emit_load_widened(REGISTER_RAX, source, is_unsigned);
        }
        if (float_target) {
            // The whole 64-bit value is converted, for float targets too, so
            // that a quad item keeps its upper half.
            emit_line(" MOV qword [rsp-8],rax");
            emit_line(" FILD qword [rsp-8]");
            emit_linef(" FSTP %s", target);
        } else {
            emit_store_accumulator(target, target_size);
        }
    }
    emit_add_constant_to_variable(item_size, data_pointer_operand, 8);
    current_operand.kind = OPERAND_NONE;
}

void emit_read_data_string(const char* target, int32_t fixed_length) {
    if (debugger_code) emit_line(" CALL _DBG_D");
    if (fixed_length <= 0) {
        // A string variable gets a copy of the text; the routine answers
        // the bytes the text takes with its terminator, the step to the
        // next value.
        emit_linef(" MOV rdx,%s", data_pointer_operand);
        emit_linef(" LEA rcx,%s", without_size_prefix(target));
        mark_runtime_used(RT_SYS_FastAllocateStringFree4);
        emit_call_frame_begin();
        emit_line(" CALL SYS_FastAllocateStringFree4");
        emit_call_frame_end();
        emit_linef(" ADD %s,rax", data_pointer_operand);
        return;
    }
    emit_linef(" LEA rcx,%s", without_size_prefix(target));
    emit_linef(" MOV rdx,%d", fixed_length);
    emit_linef(" MOV r8,%s", data_pointer_operand);
    mark_runtime_used(RT_SYS_AssignFixedStringFast);
    emit_call_frame_begin();
    emit_line(" CALL SYS_AssignFixedStringFast");
    emit_call_frame_end();
    emit_linef(" MOV rcx,%s", data_pointer_operand);
    mark_runtime_used(RT_SYS_SkipString);
    emit_call_frame_begin();
    emit_line(" CALL SYS_SkipString");
    emit_call_frame_end();
    emit_linef(" MOV %s,rax", data_pointer_operand);
}

void emit_restore_data_pointer(const char* symbol) {
    emit_load_symbol_address(symbol, REGISTER_RAX);
    emit_store_accumulator(data_pointer_operand, 8);
}

void emit_swap_save_address(const char* operand) {
    emit_linef(" LEA rax,%s", without_size_prefix(operand));
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
}

void emit_swap(const char* first, int32_t size) { emit_swap_values(first, size); }

void emit_include_binary(const char* path) {
    std::string line = "file \"" + os_native_path(path) + "\"\n";
    emit_data_text(line.c_str());
}

}  // namespace

const char* current_data_line() { return data_line.c_str(); }

const DataHooks x64_data_hooks = {
    .emit_data_start_label = emit_data_start_label,
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
