#include "backend_c/c_compile_program.h"

#include <cstring>
#include <string>

#include "backend_c/c_globals.h"
#include "backend_c/c_program_file.h"
#include "backend_c/c_runtime_registration.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"

namespace {

bool has_text(const char* text)
{
    return text && text[0];
}

void write_range(FILE* file, const char* start, const char* end)
{
    if (start && end > start) std::fwrite(start, 1, static_cast<size_t>(end - start), file);
}

// Appends "-1};\n" to a debugger line table, which closes its C array.
void close_line_table(TextBuffer* table)
{
    if (!table || !table->start) return;
    grow_text_buffer(table, table->write - table->start + 8);
    std::memcpy(table->write, "-1};\n", 6);
    table->write += 5;
}

// The parts after the code buffer: data buffer, then with the debugger the
// debugger buffer and the two line tables.
template <typename Writer>
void write_tail(Writer write)
{
    write(data_buffer_start, data_write_pointer);
    if (!debugger_enabled) return;
    write(debugger_data_start, debugger_data_write);
    close_line_table(valid_lines_buffer);
    write(valid_lines_buffer->start, valid_lines_buffer->write);
    close_line_table(code_context_buffer);
    write(code_context_buffer->start, code_context_buffer->write);
}

}  // namespace

void c_finish_program()
{
    executable_at_output_path = (!dll_mode && has_text(output_file)) ? 1 : 0;

    // What the start-up and exit code call of the system.
    if (!dll_mode) mark_imported_function_used("ExitProcess_", nullptr);
    mark_imported_function_used("HeapCreate_", nullptr);
    mark_imported_function_used("HeapDestroy_", nullptr);
    mark_imported_function_used("GetModuleHandle_", nullptr);
    if (debugger_enabled) {
        mark_imported_function_used("Sleep_", nullptr);
        mark_imported_function_used("GetCurrentThreadId_", nullptr);
    }

    // Threaded objects: one block per thread, sized for every item.
    if (init_items_exist || c_runtime_used[C_SYS_GetThreadedObject]) c_threaded_items_used = 1;
    c_threaded_object_size = (int64_t(thread_local_offset) + 7) & ~int64_t(7);

    c_settle_runtime_used();
    // The exports of a DLL, written as "Zandrel.def" for the linker.
    export_definition_text = dll_mode ? c_export_definitions() : std::string();

    push_output_buffer(head_buffer);
    c_generate_program();
    c_emit_startup_tail();
    pop_output_buffer();
    c_emit_sys_quit();
}

void c_write_program_file(const char* path, int preprocessed)
{
    if (preprocessed) {
        c_write_output_file(path, 1);
        return;
    }
    if (commented_output != 1) {
        c_write_output_file(path, 0);
        return;
    }
    FILE* file = create_file_utf8(path);
    if (!file) return;
    c_write_commented_output(file, head_buffer->start, head_buffer->write);
    c_write_commented_output(file, output_buffer_start, output_write_pointer);
    write_tail([file](const char* start, const char* end) { c_write_commented_output(file, start, end); });
    std::fclose(file);
}

void c_write_output_file(const char* path, int with_bom)
{
    FILE* file = create_file_utf8(path);
    if (!file) return;
    if (with_bom == 1) std::fwrite("\xEF\xBB\xBF", 1, 3, file);
    write_range(file, head_buffer->start, head_buffer->write);
    write_range(file, output_buffer_start, output_write_pointer);
    if (!preprocess_file) write_tail([file](const char* start, const char* end) { write_range(file, start, end); });
    std::fclose(file);
}

void c_write_commented_output(FILE* file, const char* start, const char* end)
{
    if (!start || end <= start) return;
    const char* line = start;
    while (line < end) {
        const char* feed = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (!feed) {
            write_range(file, line, end);
            return;
        }
        write_range(file, line, feed);
        std::fwrite("\r\n", 1, 2, file);
        line = feed + 1;
    }
}

void c_emit_comment(const char* text)
{
    if (commented_output == 0 || suppress_errors || no_output_depth) return;
    while (*text == ' ' || *text == '\t') text++;
    std::string line;
    if (*text == ';') {
        line = "//";
        text++;
    } else {
        line = "// ";
    }
    for (; *text; text++) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c < 32 && c != '\t') continue;
        line += static_cast<char>(c);
    }
    // A backslash at the end would join the next generated line to the
    // comment.
    size_t last = line.find_last_not_of(" \t");
    if (last != std::string::npos && line[last] == '\\') {
        line.erase(last + 1);
        line += '.';
    }
    emit_line(line.c_str());
}

void c_emit_empty_line()
{
    if (commented_output == 0 || suppress_errors || no_output_depth) return;
    emit_line("");
}

void c_append_identifier_name(std::string& out, const char* name)
{
    if (!name) return;
    size_t start = out.size();
    out.append(name);
    for (char* c = out.data() + start; *c; c++) {
        if (*c >= 'A' && *c <= 'Z') *c = char(*c - 'A' + 'a');
        else if (*c == '$') *c = 'S';
    }
}

const char* c_identifier_name(const char* name)
{
    static std::string buffer;
    buffer.clear();
    c_append_identifier_name(buffer, name);
    return buffer.c_str();
}

char* c_escape_backslashes(const char* text)
{
    size_t length = 0;
    for (const char* p = text; *p; p++) length += *p == '\\' ? 2 : 1;
    char* copy = static_cast<char*>(pool_alloc(length + 1));
    char* out = copy;
    for (const char* p = text; *p; p++) {
        *out++ = *p;
        if (*p == '\\') *out++ = '\\';
    }
    *out = 0;
    return copy;
}

char* c_int64_to_text(char* buffer, int64_t value)
{
    char digits[24];
    int count = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    char* out = buffer;
    if (value < 0) *out++ = '-';
    while (count) *out++ = digits[--count];
    *out = 0;
    return buffer;
}
