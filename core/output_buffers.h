// Growing in-memory text buffers that hold the generated assembly program,
// the 16-entry buffer stack and the line emitters that append to the current
// buffer at `output_write_pointer`.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/line_format.h"

struct TextBuffer {
    char* start;      // first byte of the text
    char* write;      // end of the text; the byte there is always 0
    int64_t size;     // allocated bytes
    int64_t margin;   // bytes that must stay free; growth step
    int32_t heap_kind;  // 1 = permanent heap, else per-compilation heap
};

struct BufferStackEntry {
    char* saved_start;   // output_buffer_start before the push
    char* saved_write;   // output_write_pointer before the push
    TextBuffer* buffer;  // the pushed buffer
};

constexpr int buffer_stack_capacity = 16;
constexpr int64_t data_buffer_step = 128000;

// ---------------------------------------------------------------------------
// Buffer management.

// Start-up: allocates the six text buffers, then resets them.
void alloc_output_buffers();
// Before each compilation: writes the debugger table heads, empties the other
// buffers and makes code_buffer the only pushed buffer.
void reset_output_buffers();
// Grows a buffer when `used` leaves less than its margin free; start and
// write move to the new block (re-read them afterwards).
void grow_text_buffer(TextBuffer* buffer, int64_t used);
// Makes a buffer current (16 levels at most; deeper is an internal error).
void push_output_buffer(TextBuffer* buffer);
// Stores the write position into the top buffer and restores the previous one.
void pop_output_buffer();
// Stores the write position into the current buffer and grows it when its
// margin is used up; reloads output_buffer_start and output_write_pointer.
void sync_output_buffer();
// The pushed buffer that receives output, or null when none.
TextBuffer* current_output_buffer();

// ---------------------------------------------------------------------------
// Line emitters. Each writes one line ended by a line feed at
// output_write_pointer, leaves a 0 after it and does nothing while
// no_output_depth is non-zero.

void emit_line(const char* text);
// The same for a text of known length (no end byte needed).
void emit_line_of_length(const char* text, size_t length);
// A line formatted as format_to_buffer does, written straight into the
// buffer and cut to formatted_line_size - 1 bytes.
constexpr size_t formatted_line_size = 2048;
void emit_formatted_line_v(const char* format, va_list args);
// The same for a format split at compile time (core/line_format.h): the
// pieces are appended at the write pointer, nothing is parsed.
void emit_line_from_pieces(const char* text, const FormatPiece* pieces, int count, const FormatArgument* args);
void emit_line2(const char* a, const char* b);
void emit_line3(const char* a, const char* b, const char* c);
void emit_numbered_label(const char* prefix, int32_t n);
// " db \"text\",0", or " db 0" for a null text.
void emit_string_data(const char* text);
// "%d" (int32) and "%s" only; "%" with any other character writes nothing.
void emit_format(const char* format, ...);
// n blanks and a line feed, to be overwritten later; returns the line's
// offset from output_buffer_start (also while output is off).
int64_t emit_placeholder_line(int n);
void remove_last_line();
// A source line as an assembly comment (commented mode only).
void emit_comment(const char* source_text);

// ---------------------------------------------------------------------------
// Data section.

void begin_data_section();
// Appends a text (no line feed) to the data-section buffer, growing it as needed.
void emit_data_text(const char* text);
void grow_data_buffer();
// The same growth for the debugger data buffer.
void grow_debugger_data_buffer();

// ---------------------------------------------------------------------------
// Writing the assembly file.

// Writes head, labels, code and (unless preprocessing) the data section and
// the debugger tables; in commented mode each range goes through
// write_formatted_asm. Returns false when the file can't be created.
bool write_output_file(const char* path, int with_bom);
// Writes a range of generated text with aligned operands and CR LF line ends.
void write_formatted_asm(FILE* file, const char* text_start, const char* text_end);
