// Conventions shared by every x64 emitter: the line helpers, the register
// names, call frames aligned to 16 bytes and the release of converted
// pseudo-type arguments after a call.
#pragma once

#include <cstdint>

#include "core/core_globals.h"
#include "core/output_buffers.h"

// Register indexes of the x64 back end.
enum : int32_t {
    REGISTER_RAX = 0,
    REGISTER_R13 = 1,
    REGISTER_R14 = 2,
    REGISTER_R15 = 3,
    REGISTER_STRING_BASE = 4,
    REGISTER_RBP = 5,
    REGISTER_RDX = 6,
    REGISTER_RCX = 7,
    REGISTER_RSP = 9,
    REGISTER_R8 = 10,
    REGISTER_R9 = 11,
    REGISTER_R10 = 12,
    REGISTER_R11 = 13,
    REGISTER_R12 = 14,
    REGISTER_RSI = 15,
    REGISTER_RDI = 16,
    REGISTER_RBX = 17,
};

// The name of register `index` at operand size 1, 2, 4 or 8 ("BAD" when it
// has none).
const char* register_name(int size, int index);
// The index of the 64-bit register named `text` (rsp, index 8, is never
// one), or `fallback` when the text names none.
int register_index_of(const char* text, int fallback);
// Size prefix of a memory operand ("byte ", "word ", "dword ", "qword ").
const char* size_prefix(int size);

// Writes one formatted line unless output is suppressed. The format is a
// literal with printf's plain conversions, checked and packed at compile
// time (core/line_format.h). A packed line is written straight at the write
// pointer while the buffer has room for the longest line; any other line
// goes through the cutting writer, which also grows the buffer. One
// instance serves all formats of one argument list.
template <typename... Args>
[[gnu::noinline]] void emit_linef(LineFormatOf<Args...> format, Args... args) {
    if (no_output_depth) return;
    constexpr size_t longest = formatted_line_size - 1;
    if constexpr (sizeof...(Args) <= packed_conversions) {
        if (format.packed && output_write_pointer &&
            int64_t(longest) + 2 <= output_buffer_end - output_write_pointer) {
            size_t length = write_packed_line(output_write_pointer, longest, format.text, format.packed, args...);
            if (length != line_does_not_fit) {
                output_write_pointer[length] = '\n';
                output_write_pointer[length + 1] = 0;
                output_write_pointer += length + 1;
                return;
            }
        }
    }
    FormatPiece pieces[LineFormatOf<Args...>::capacity];
    int count = split_line_format(format.text, pieces, LineFormatOf<Args...>::capacity);
    FormatArgument values[sizeof...(Args) + 1] = {to_format_argument(args)...};
    emit_line_from_pieces(format.text, pieces, count, values);
}

// Marks a runtime routine as called (only while output is on).
void mark_runtime_used(int32_t routine);
// Clears the emitters' per-compilation state (used flags, depth, x87 count).
void reset_emitter_state();

int32_t emit_call_frame_begin();
void emit_call_frame_end();
int32_t emit_align_stack16();
// Frees the converted pseudo-type arguments (16 p-ascii, 18 p-bstr,
// 19 p-utf8; 17 p-unicode is passed unconverted) after a call and drops the
// slots of all of them. `types` lists the call's pseudo-type parameter codes
// in declaration order; slot j (at rsp+8+8j) belongs to the j-th of them
// counted from the last.
void emit_release_pseudo_types(const int* types, int count);
void emit_free_pseudo_arg(int type, int j);
