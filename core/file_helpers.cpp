// File, path and process helpers: path pieces, whole-file reading of the main
// source, the private work folder and running an external tool with its
// output captured.
#include "core/file_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/core_globals.h"
#include "platform/platform.h"

std::string main_source_folder;
char* source_text_start = nullptr;
char* source_text_end = nullptr;
std::string work_folder;

static std::string backslashed(const char* text)
{
    std::string result = text ? text : "";
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

// Folds "." and ".." components of a backslash path; a ".." never climbs
// above the root or the drive.
static std::string fold_dot_components(const std::string& path)
{
    size_t root_length = 0;
    if (path.size() >= 2 && path[1] == ':') root_length = 2;
    if (path.size() > root_length && path[root_length] == '\\') root_length++;
    if (root_length == 1 && path.size() > 1 && path[1] == '\\') root_length = 2;  // "\\server"
    std::string root = path.substr(0, root_length);
    std::vector<std::string> parts;
    size_t pos = root_length;
    bool trailing = !path.empty() && path.back() == '\\' && path.size() > root_length;
    while (pos <= path.size()) {
        size_t next = path.find('\\', pos);
        if (next == std::string::npos) next = path.size();
        std::string part = path.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (root.empty()) parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::string result = root;
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) result += '\\';
        result += parts[i];
    }
    if (trailing && !parts.empty()) result += '\\';
    return result;
}

std::string combine_path(const char* folder, const char* name)
{
    std::string base = backslashed(folder);
    std::string file = backslashed(name);
    if (file.empty()) {
        if (!base.empty() && base.back() != '\\') base += '\\';
        return fold_dot_components(base);
    }
    if (base.empty() || os_is_absolute_path(file.c_str())) return fold_dot_components(file);
    if (base.back() != '\\') base += '\\';
    return fold_dot_components(base + file);
}

std::string program_side_path(const std::string& folder)
{
    std::string path = folder;
    // A path of this machine's root is the Z: drive of the program's.
    bool rooted = !path.empty() && (path[0] == '/' || path[0] == '\\');
    bool network = path.size() > 1 && (path[1] == '/' || path[1] == '\\');
    if (rooted && !network) path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string path_file_part(const char* path)
{
    std::string text = path ? path : "";
    size_t separator = os_last_separator(text);
    return separator == std::string::npos ? text : text.substr(separator + 1);
}

std::string path_directory_part(const char* path)
{
    std::string text = path ? path : "";
    size_t separator = os_last_separator(text);
    return separator == std::string::npos ? std::string() : text.substr(0, separator + 1);
}

FILE* create_file_utf8(const char* name)
{
    return os_fopen(name, "wb");
}

FILE* open_file_utf8(const char* name)
{
    return os_fopen(name, "rb");
}

int64_t get_file_size(FILE* file)
{
    if (!file || std::fseek(file, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    return size < 0 ? 0 : size;
}

void write_file_line(FILE* file, const char* text)
{
    std::fputs(text, file);
    std::fputc('\n', file);
}

bool file_exists(const char* path)
{
    return path && path[0] && os_file_exists(path);
}

std::string get_short_path_ansi(const char* path)
{
    return path ? path : "";
}

char* heap_strdup(const char* text)
{
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(os_heap_alloc(permanent_heap, length + 2));
    std::memcpy(copy, text, length + 1);
    return copy;
}

char* utf8_to_dw_list(const char* text)
{
    std::string list;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    char number[16];
    auto add_unit = [&](uint32_t unit) {
        std::snprintf(number, sizeof number, "%u,", unit);
        list += number;
    };
    while (*p) {
        uint32_t c = *p;
        int extra = 0;
        if (c >= 0xF0 && c < 0xF8) {
            c &= 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            extra = 1;
        }
        const unsigned char* start = p++;
        for (int i = 0; i < extra; i++) {
            if ((*p & 0xC0) != 0x80) {
                // A broken sequence: its lead byte stands for itself.
                c = *start;
                p = start + 1;
                extra = 0;
                break;
            }
            c = (c << 6) | (*p++ & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            add_unit(0xD800 + (c >> 10));
            add_unit(0xDC00 + (c & 0x3FF));
        } else {
            add_unit(c);
        }
    }
    list += '0';
    return pool_strndup(list.data(), list.size());
}

std::string create_work_directory()
{
    std::string temp = os_temp_folder();
    uint32_t number = os_tick_count();
    for (int attempt = 0; attempt < 1000; attempt++, number++) {
        std::string folder = temp + "Zandrel" + std::to_string(number);
        if (!os_create_directory(folder.c_str(), 0700)) continue;
        // Make sure what we created is a real folder of ours, not a planted link.
        if (!os_is_private_directory(folder.c_str())) continue;
        work_folder = backslashed(folder.c_str()) + "\\";
        return work_folder;
    }
    set_error(ERROR_EXECUTABLE_NOT_CREATED);
    return std::string();
}

static bool delete_tree(const std::string& folder)
{
    os_make_directory_writable(folder.c_str());
    std::vector<DirectoryEntry> entries;
    if (!os_list_directory(folder.c_str(), entries)) return false;
    bool ok = true;
    for (const DirectoryEntry& entry : entries) {
        std::string path = folder + "/" + entry.name;
        if (entry.is_directory && !entry.is_link) ok = delete_tree(path) && ok;
        else ok = os_delete_file(path.c_str()) && ok;
    }
    return os_remove_directory(folder.c_str()) && ok;
}

bool delete_directory_tree(const char* folder)
{
    if (!folder || !folder[0] || work_folder.empty()) return false;
    if (backslashed(folder) != work_folder && backslashed(folder) + "\\" != work_folder) return false;
    std::string native = os_native_path(folder);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (!os_is_private_directory(native.c_str())) return false;
    bool ok = delete_tree(native);
    if (ok) work_folder.clear();
    return ok;
}

int run_tool_capture_output(const char* command_line, char** out_text, int* end_signal)
{
    *out_text = nullptr;
    if (end_signal) *end_signal = 0;
    ToolProcess process;
    if (!os_start_tool(command_line, process)) return 0;

    size_t capacity = 1024;
    size_t length = 0;
    char* text = static_cast<char*>(os_heap_alloc(permanent_heap, capacity));
    for (;;) {
        if (capacity - length < 256) {
            capacity *= 2;
            text = static_cast<char*>(os_heap_realloc(permanent_heap, text, capacity));
        }
        size_t n = os_read_tool_output(process, text + length, 255);
        if (n == 0) break;
        for (size_t i = 0; i < n; i++)
            if (text[length + i] == 0) text[length + i] = ' ';
        length += n;
    }
    text[length] = 0;
    int exit_code = os_wait_tool(process);
    if (end_signal) *end_signal = process.end_signal;
    if (exit_code == 0) {
        os_heap_free(permanent_heap, text);
        return 1;
    }
    *out_text = text;
    return 0;
}

void load_source_file(const char* name)
{
    FILE* file = open_file_utf8(name);
    if (!file) {
        set_error_format(ERROR_FILE_NOT_FOUND, name);
        return;
    }
    int64_t size = get_file_size(file);
    // Two NULs after the text, as the lexer reads it.
    char* text = static_cast<char*>(os_heap_alloc(compilation_heap, static_cast<size_t>(size) + 2));
    size_t got = std::fread(text, 1, static_cast<size_t>(size), file);
    std::fclose(file);
    text[got] = 0;
    text[got + 1] = 0;
    source_text_start = text;
    source_text_end = text + got;

    std::string folder = path_directory_part(name);
    if (os_is_absolute_path(name)) main_source_folder = folder;
    else main_source_folder = current_folder + folder;
}

const char* query_redirect(const char* kind, const char* name)
{
    if (!redirect_files) return name;
    std::printf("REDIRECT\t%s\t%s\n", kind, name ? name : "");
    std::fflush(stdout);
    std::string reply;
    if (!os_read_input_line(reply)) {
        // The editor has gone: nothing is left to answer.
        std::fflush(stdout);
        std::exit(0);
    }
    // The reply's first field, kept until the compilation's reset.
    reply.resize(std::strcspn(reply.c_str(), "\t"));
    return pool_strdup(reply.c_str());
}
