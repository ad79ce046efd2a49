// Output text buffers, the buffer stack and the line emitters.
#include "core/output_buffers.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/char_tables.h"
#include "core/core_globals.h"
#include "core/text_format.h"
#include "platform/platform.h"

TextBuffer* head_buffer = nullptr;
TextBuffer* label_buffer = nullptr;
TextBuffer* code_buffer = nullptr;
TextBuffer* procedure_buffer = nullptr;
TextBuffer* valid_lines_buffer = nullptr;
TextBuffer* code_context_buffer = nullptr;

char* data_buffer_start = nullptr;
char* data_write_pointer = nullptr;
char* data_buffer_end = nullptr;
char* debugger_data_start = nullptr;
char* debugger_data_write = nullptr;
char* debugger_data_end = nullptr;

char* output_buffer_start = nullptr;
char* output_write_pointer = nullptr;
char* output_buffer_end = nullptr;
BufferStackEntry buffer_stack[buffer_stack_capacity];
int32_t buffer_stack_depth = -1;
uint32_t no_output_depth = 0;

static const char valid_lines_head[] = "zd_public ZD_DEBUGGER_ValidLines";
static const char code_context_head[] = "zd_public ZD_DEBUGGER_CodeContextBank";
static const char data_section_head[] = "section '.data' data readable writeable\n";
static const char table_end[] = "\n dd -1\n";

// ---------------------------------------------------------------------------
// Buffer management

static TextBuffer* alloc_text_buffer(int64_t size, int64_t margin) {
    TextBuffer* buffer = static_cast<TextBuffer*>(os_heap_alloc(permanent_heap, sizeof(TextBuffer), true));
    buffer->heap_kind = 1;
    buffer->margin = margin;
    buffer->size = size;
    buffer->start = static_cast<char*>(os_heap_alloc(permanent_heap, size_t(size)));
    buffer->start[0] = 0;
    buffer->write = buffer->start;
    return buffer;
}

static void set_buffer_text(TextBuffer* buffer, const char* text) {
    size_t length = std::strlen(text);
    std::memcpy(buffer->start, text, length + 1);
    buffer->write = buffer->start + length;
}

void alloc_output_buffers() {
    head_buffer = alloc_text_buffer(1024000, 512000);
    label_buffer = alloc_text_buffer(128000, 64000);
    code_buffer = alloc_text_buffer(2000000, 1000000);
    procedure_buffer = alloc_text_buffer(2000000, 1000000);
    valid_lines_buffer = alloc_text_buffer(1024000, 512000);
    code_context_buffer = alloc_text_buffer(256000, 128000);
    reset_output_buffers();
}

void reset_output_buffers() {
    set_buffer_text(valid_lines_buffer, valid_lines_head);
    set_buffer_text(code_context_buffer, code_context_head);
    set_buffer_text(head_buffer, "");
    set_buffer_text(label_buffer, "");
    set_buffer_text(code_buffer, "");
    set_buffer_text(procedure_buffer, "");
    output_buffer_start = nullptr;
    output_write_pointer = nullptr;
    output_buffer_end = nullptr;
    buffer_stack_depth = -1;
    push_output_buffer(code_buffer);
}

void grow_text_buffer(TextBuffer* buffer, int64_t used) {
    if (used <= buffer->size - buffer->margin) return;
    int64_t new_size = std::max(used, buffer->size) + buffer->margin;
    PrivateHeap* heap = heap_for_kind(buffer->heap_kind);
    int64_t write_offset = buffer->start ? buffer->write - buffer->start : 0;
    char* block = buffer->size == 0 || !buffer->start
                      ? static_cast<char*>(os_heap_alloc(heap, size_t(new_size)))
                      : static_cast<char*>(os_heap_realloc(heap, buffer->start, size_t(new_size)));
    if (buffer->size == 0 || !buffer->start) block[0] = 0;
    buffer->start = block;
    buffer->write = block + write_offset;
    buffer->size = new_size;
}

TextBuffer* current_output_buffer() {
    return buffer_stack_depth >= 0 ? buffer_stack[buffer_stack_depth].buffer : nullptr;
}

static void load_current_buffer(TextBuffer* buffer) {
    output_buffer_start = buffer->start;
    output_write_pointer = buffer->write;
    output_buffer_end = buffer->start + buffer->size;
}

void push_output_buffer(TextBuffer* buffer) {
    if (buffer_stack_depth + 1 >= buffer_stack_capacity) internal_error("output buffer stack overflow");
    BufferStackEntry& entry = buffer_stack[++buffer_stack_depth];
    entry.saved_start = output_buffer_start;
    entry.saved_write = output_write_pointer;
    entry.buffer = buffer;
    grow_text_buffer(buffer, buffer->write - buffer->start);
    load_current_buffer(buffer);
}

void pop_output_buffer() {
    if (buffer_stack_depth < 0) internal_error("output buffer stack underflow");
    BufferStackEntry& entry = buffer_stack[buffer_stack_depth--];
    entry.buffer->write = output_write_pointer;
    output_buffer_start = entry.saved_start;
    output_write_pointer = entry.saved_write;
    TextBuffer* below = current_output_buffer();
    output_buffer_end = below ? below->start + below->size : nullptr;
}

void sync_output_buffer() {
    TextBuffer* buffer = current_output_buffer();
    if (!buffer) return;
    buffer->write = output_write_pointer;
    grow_text_buffer(buffer, buffer->write - buffer->start);
    load_current_buffer(buffer);
}

// Makes room for `length` bytes, a line feed and the closing 0 at the write
// pointer. The buffer moves when it grows; kept positions must be offsets.
static void ensure_output_room(size_t length) {
    if (output_write_pointer && int64_t(length) + 2 <= output_buffer_end - output_write_pointer) return;
    TextBuffer* buffer = current_output_buffer();
    if (!buffer) internal_error("no current output buffer");
    buffer->write = output_write_pointer;
    int64_t used = buffer->write - buffer->start;
    grow_text_buffer(buffer, used + int64_t(length) + 2);
    load_current_buffer(buffer);
}

// ---------------------------------------------------------------------------
// Line emitters

static inline void put_text(const char* text, size_t length) {
    std::memcpy(output_write_pointer, text, length);
    output_write_pointer += length;
}

static inline void end_line() {
    output_write_pointer[0] = '\n';
    output_write_pointer[1] = 0;
    output_write_pointer += 1;
}

void emit_line(const char* text) {
    if (no_output_depth) return;
    size_t length = std::strlen(text);
    ensure_output_room(length);
    put_text(text, length);
    end_line();
}

void emit_line_of_length(const char* text, size_t length) {
    if (no_output_depth) return;
    ensure_output_room(length);
    put_text(text, length);
    end_line();
}

void emit_formatted_line_v(const char* format, va_list args) {
    if (no_output_depth) return;
    const size_t longest = formatted_line_size - 1;
    // Formatted in place while the buffer has room for the longest line; a
    // buffer that must grow first is grown after formatting, since a text
    // argument may lie in the buffer that moves.
    if (output_write_pointer && int64_t(longest) + 2 <= output_buffer_end - output_write_pointer) {
        int length = format_to_buffer_v(output_write_pointer, formatted_line_size, format, args);
        output_write_pointer += length < int(longest) ? size_t(length) : longest;
        end_line();
        return;
    }
    char line[formatted_line_size];
    int length = format_to_buffer_v(line, sizeof line, format, args);
    emit_line_of_length(line, length < int(longest) ? size_t(length) : longest);
}

void emit_line_from_pieces(const char* text, const FormatPiece* pieces, int count, const FormatArgument* args) {
    if (no_output_depth) return;
    const size_t longest = formatted_line_size - 1;
    // Written in place while the buffer has room for the longest line; a
    // buffer that must grow first is grown after the line is written
    // elsewhere, since a text argument may lie in the buffer that moves.
    if (output_write_pointer && int64_t(longest) + 2 <= output_buffer_end - output_write_pointer) {
        output_write_pointer += write_format_pieces(output_write_pointer, longest, text, pieces, count, args);
        end_line();
        return;
    }
    char line[formatted_line_size];
    size_t length = write_format_pieces(line, longest, text, pieces, count, args);
    emit_line_of_length(line, length);
}

void emit_line2(const char* a, const char* b) {
    if (no_output_depth) return;
    size_t la = std::strlen(a), lb = std::strlen(b);
    ensure_output_room(la + lb);
    put_text(a, la);
    put_text(b, lb);
    end_line();
}

void emit_line3(const char* a, const char* b, const char* c) {
    if (no_output_depth) return;
    size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
    ensure_output_room(la + lb + lc);
    put_text(a, la);
    put_text(b, lb);
    put_text(c, lc);
    end_line();
}

void emit_numbered_label(const char* prefix, int32_t n) {
    if (no_output_depth) return;
    const char* digits = int_to_text(n);
    size_t count = std::strlen(digits);
    size_t lp = std::strlen(prefix);
    ensure_output_room(lp + count + 1);
    put_text(prefix, lp);
    put_text(digits, count);
    put_text(":", 1);
    end_line();
}

void emit_string_data(const char* text) {
    if (no_output_depth) return;
    if (!text) {
        ensure_output_room(5);
        put_text(" db 0", 5);
    } else {
        size_t length = std::strlen(text);
        ensure_output_room(length + 8);
        put_text(" db \"", 5);
        put_text(text, length);
        put_text("\",0", 3);
    }
    end_line();
}

// Walks an emit_format format; with `out` null it only measures.
static size_t format_line(char* out, const char* format, va_list args) {
    size_t length = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            if (out) out[length] = *p;
            ++length;
            continue;
        }
        char conversion = *++p;
        if (!conversion) break;
        if (conversion == 'd') {
            const char* digits = int_to_text(va_arg(args, int32_t));
            size_t count = std::strlen(digits);
            if (out) std::memcpy(out + length, digits, count);
            length += count;
        } else if (conversion == 's') {
            const char* text = va_arg(args, const char*);
            size_t count = std::strlen(text);
            if (out) std::memcpy(out + length, text, count);
            length += count;
        }
    }
    return length;
}

void emit_format(const char* format, ...) {
    if (no_output_depth) return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    size_t length = format_line(nullptr, format, measure);
    va_end(measure);
    ensure_output_room(length);
    format_line(output_write_pointer, format, args);
    va_end(args);
    output_write_pointer += length;
    end_line();
}

int64_t emit_placeholder_line(int n) {
    if (no_output_depth) return output_write_pointer - output_buffer_start;
    ensure_output_room(size_t(n));
    int64_t offset = output_write_pointer - output_buffer_start;
    std::memset(output_write_pointer, ' ', size_t(n));
    output_write_pointer += n;
    end_line();
    return offset;
}

void remove_last_line() {
    if (no_output_depth) return;
    if (output_write_pointer - output_buffer_start <= 2) return;
    char* p = output_write_pointer - 2;  // before the line feed that ends the last line
    while (p >= output_buffer_start && *p != '\n') --p;
    output_write_pointer = p + 1;
    *output_write_pointer = 0;
}

void emit_comment(const char* source_text) {
    if (!commented_output || suppress_errors || no_output_depth) return;
    backend->emit_comment(source_text);
}

// ---------------------------------------------------------------------------
// Data section

// Reallocates a plain buffer to used + extra bytes, keeping text and write offset.
static void grow_plain_buffer(char*& start, char*& write, char*& end, int64_t extra) {
    int64_t used = start ? write - start : 0;
    size_t new_size = size_t(used + extra);
    char* block = start ? static_cast<char*>(os_heap_realloc(permanent_heap, start, new_size))
                        : static_cast<char*>(os_heap_alloc(permanent_heap, new_size));
    if (!start) block[0] = 0;
    start = block;
    write = block + used;
    end = block + new_size;
}

void grow_data_buffer() { grow_plain_buffer(data_buffer_start, data_write_pointer, data_buffer_end, data_buffer_step); }

void grow_debugger_data_buffer() {
    grow_plain_buffer(debugger_data_start, debugger_data_write, debugger_data_end, data_buffer_step);
}

void begin_data_section() {
    if (!data_buffer_start) grow_data_buffer();
    if (!debugger_data_start) grow_debugger_data_buffer();
    std::memcpy(data_buffer_start, data_section_head, sizeof data_section_head);
    data_write_pointer = data_buffer_start + (sizeof data_section_head - 1);
    debugger_data_write = debugger_data_start;
    *debugger_data_write = 0;
}

void emit_data_text(const char* text) {
    size_t length = std::strlen(text);
    if (data_buffer_end - data_write_pointer < 64000) grow_data_buffer();
    // A text longer than the free room gets room for itself and the step.
    if (int64_t(length) + 1 > data_buffer_end - data_write_pointer)
        grow_plain_buffer(data_buffer_start, data_write_pointer, data_buffer_end, int64_t(length) + 1 + data_buffer_step);
    std::memcpy(data_write_pointer, text, length + 1);
    data_write_pointer += length;
}

// ---------------------------------------------------------------------------
// Writing the assembly file

void write_formatted_asm(FILE* file, const char* text_start, const char* text_end) {
    std::string line;
    const char* p = text_start;
    while (p < text_end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(text_end - p)));
        const char* line_end = eol ? eol : text_end;
        line.clear();
        bool blank_only = true;
        for (const char* q = p; q < line_end; ++q)
            if (*q != ' ') blank_only = false;
        if (p < line_end && *p == ' ' && !blank_only) {
            const char* mnemonic = p + 1;
            const char* q = mnemonic;
            while (q < line_end && *q != ' ') ++q;
            line.append("  ");
            line.append(mnemonic, size_t(q - mnemonic));
            if (q < line_end) {
                const char* operands = q + 1;
                if (operands < line_end) {
                    size_t column = line.size();
                    size_t target = (*operands == '_' || *operands == '.') ? 8 : 9;
                    line.append(column < target ? target - column : 1, ' ');
                    line.append(operands, size_t(line_end - operands));
                }
            }
        } else {
            line.append(p, size_t(line_end - p));
        }
        if (eol) line.append("\r\n");
        std::fwrite(line.data(), 1, line.size(), file);
        p = eol ? eol + 1 : text_end;
    }
}

// Appends a text at a buffer's write pointer, growing the buffer when needed.
static void append_to_buffer(TextBuffer* buffer, const char* text) {
    size_t length = std::strlen(text);
    int64_t used = buffer->write - buffer->start;
    if (used + int64_t(length) + 1 > buffer->size) grow_text_buffer(buffer, used + int64_t(length) + 1);
    std::memcpy(buffer->write, text, length + 1);
    buffer->write += length;
}

// Writes a range as it stands, or through the formatted writer.
static void write_range(FILE* file, const char* start, const char* end, bool formatted) {
    if (!start || end <= start) return;
    if (formatted) write_formatted_asm(file, start, end);
    else std::fwrite(start, 1, size_t(end - start), file);
}

bool write_output_file(const char* path, int with_bom) {
    FILE* file = os_fopen(path, "wb");
    if (!file) return false;
    // Commented mode lays out the assembly file; a preprocessed source is
    // written as it stands.
    bool formatted = commented_output && !preprocess_file;
    if (with_bom == 1) std::fwrite("\xEF\xBB\xBF", 1, 3, file);
    write_range(file, head_buffer->start, head_buffer->write, formatted);
    write_range(file, label_buffer->start, label_buffer->write, formatted);
    write_range(file, output_buffer_start, output_write_pointer, formatted);
    if (!preprocess_file) {
        write_range(file, data_buffer_start, data_write_pointer, formatted);
        if (debugger_enabled) {
            write_range(file, debugger_data_start, debugger_data_write, formatted);
            append_to_buffer(code_context_buffer, table_end);
            write_range(file, code_context_buffer->start, code_context_buffer->write, formatted);
            append_to_buffer(valid_lines_buffer, table_end);
            write_range(file, valid_lines_buffer->start, valid_lines_buffer->write, formatted);
        }
    }
    std::fclose(file);
    return true;
}
