// The source driver: logical lines, include files and the end-of-source checks.
#include "frontend/source_reader.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unordered_set>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "core/file_helpers.h"
#include "frontend/blocks.h"
#include "frontend/directives.h"
#include "frontend/expressions.h"
#include "frontend/labels.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "platform/platform.h"

namespace {

inline bool is_blank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

inline bool is_line_break(unsigned char c)
{
    return c == '\r' || c == '\n';
}

// Case-insensitive compare of `text` with an upper-case word, stopping at NUL.
bool starts_with_word(const char* text, const char* upper)
{
    for (; *upper; text++, upper++) {
        if (*text == 0 || uppercase_table[static_cast<unsigned char>(*text)] != static_cast<unsigned char>(*upper)) {
            return false;
        }
    }
    return true;
}

// The bytes the logical-line reader must look at one by one; a run of any
// other bytes only moves the scan on (its last byte that is no blank is what
// a continuation check looks at).
struct LineScanStops {
    bool stop[256] = {};
    constexpr LineScanStops()
    {
        for (unsigned char c : {'\0', '"', '\\', '\'', ';', '\r', '\n'}) stop[c] = true;
    }
};
constexpr LineScanStops line_scan_stops;

bool is_word_stop(unsigned char c)
{
    return is_blank(c) || c == '$' || c == ')' || c == ']';
}

// Case-insensitive registry of the full paths recorded for XIncludeFile.
std::unordered_set<std::string>& include_registry()
{
    static std::unordered_set<std::string> registry;
    return registry;
}

std::string folded_path(const std::string& path)
{
    std::string folded = path;
    for (char& c : folded) {
        c = static_cast<char>(lowercase_table[static_cast<unsigned char>(c)]);
        if (c == '/') {
            c = '\\';
        }
    }
    return folded;
}

void set_constant_text(ConstantRecord* record, const char* text)
{
    if (record) {
        record->value.text = pool_strdup(text);
    }
}

void set_constant_integer(ConstantRecord* record, int64_t value)
{
    if (record) {
        record->value.integer_value = value;
    }
}

// The main source's full name: the alias or the source name, against the
// current folder.
std::string main_source_name()
{
    // In standby mode the editor may compile a copy under the name it shows:
    // the file constants and the folder of the include files follow that name.
    const char* name = source_alias ? source_alias : source_file;
    return combine_path(current_folder.c_str(), name ? name : "");
}

// The standby PROGRESS compile option.
bool standby_progress_wanted()
{
    return report_progress != 0;
}

void emit_debugger_line_entry()
{
    if (debugger_enabled) {
        backend->add_debugger_line_entry();
    }
}

void emit_debugger_line_marker()
{
    if (debugger_enabled) {
        backend->emit_line_marker("DBL");
    }
}

// Appends "; " + the physical line at `line` to the current output buffer
// (preprocessed output with /COMMENTED).
void append_commented_source_line(const char* line)
{
    const char* end = line;
    while (*end && !is_line_break(static_cast<unsigned char>(*end))) {
        end++;
    }
    append_preprocessed_text("; ", 2);
    append_preprocessed_text(line, end - line);
    append_preprocessed_text("\n", 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Paths.

std::string resolve_source_path(const char* name)
{
    std::string directory = current_source_file ? current_source_file : "";
    size_t cut = directory.find_last_of("\\/");
    directory = cut == std::string::npos ? std::string() : directory.substr(0, cut + 1);
    std::string folder = combine_path(directory.c_str(), include_directory.c_str());
    if (!folder.empty() && folder.back() != '\\' && !include_directory.empty()) {
        folder += '\\';
    }
    return combine_path(folder.c_str(), name);
}

bool record_include_once(const std::string& full_path)
{
    return include_registry().insert(folded_path(full_path)).second;
}

void reset_include_registry()
{
    include_registry().clear();
}

int register_include_once(const char* path, int no_include)
{
    if (!path || !path[0]) {
        set_error_format(ERROR_FILE_NOT_FOUND, path ? path : "");
        return 0;
    }
    std::string full = os_is_absolute_path(path) ? combine_path(nullptr, path) : combine_path(os_current_folder().c_str(), path);
    list_reset_cursor(IncludeFileList);
    while (ListNode* node = static_cast<ListNode*>(list_next(IncludeFileList))) {
        const char* known = *reinterpret_cast<char**>(node + 1);
        if (strcasecmp(known, full.c_str()) == 0) return 0;
    }
    ListNode* node = static_cast<ListNode*>(list_add(IncludeFileList));
    *reinterpret_cast<char**>(node + 1) = pool_strdup(full.c_str());
    if (no_include == 0) include_file(path, path);
    return 1;
}

void set_file_constants(const char* file_name)
{
    const char* last = nullptr;
    for (const char* p = file_name; *p; p++) {
        if (*p == '\\' || *p == '/') {
            last = p;
        }
    }
    std::string directory = last ? std::string(file_name, last + 1 - file_name) : std::string();
    set_constant_text(constant_compiler_file, file_name);
    set_constant_text(constant_compiler_file_path, directory.c_str());
    set_constant_text(constant_compiler_filename, last ? last + 1 : file_name);
    set_constant_text(constant_compiler_home, home_folder.c_str());
}

// ---------------------------------------------------------------------------
// Logical lines.

void cut_editor_options_tail(char* text, int64_t length)
{
    bool semicolon = false;
    for (int64_t i = length - 1; i > 0; i--) {
        char c = text[i];
        if (c == '\n') {
            if (!semicolon) {
                return;
            }
            if (starts_with_word(text + i + 1, "; IDE OPTIONS")) {
                if (text[i - 1] == '\r') {
                    text[i - 1] = 0;
                } else {
                    text[i] = 0;
                }
                return;
            }
            semicolon = false;  // a blank line (LF only) stops the scan
        } else if (c == ';') {
            semicolon = true;
        } else {
            semicolon = false;
        }
    }
}

bool check_line_continuation(unsigned char last, const char* line_start, const char* end)
{
    if (last == '+' || last == ',' || last == '|') {
        return true;
    }
    const char* p = end;
    while (p > line_start && is_word_stop(static_cast<unsigned char>(p[-1]))) {
        p--;
    }
    if (p <= line_start) {
        return false;
    }
    const char* word_end = p;
    while (p > line_start && !is_word_stop(static_cast<unsigned char>(p[-1]))) {
        p--;
    }
    size_t length = word_end - p;
    if (length == 3) {
        return starts_with_word(p, "AND") || starts_with_word(p, "XOR");
    }
    if (length == 2) {
        return starts_with_word(p, "OR");
    }
    return false;
}

char* read_logical_line(char* start)
{
    bool in_string = false;
    bool escaped_string = false;
    bool in_character = false;
    unsigned char last = 0;
    char* physical_start = start;
    char* p = start;
    continuation_count = 0;
    // A '!' line of C is copied as written: its ';' belongs to the C text,
    // and it never continues on the next line.
    bool inline_c_line = false;
    if (backend->inline_lines_are_c) {
        const char* first = start;
        while (is_blank(static_cast<unsigned char>(*first))) first++;
        inline_c_line = *first == '!';
    }

    auto finish = [&](char* result, char* measured_end) {
        int64_t length = measured_end - parse_pointer;
        if (length > longest_line) {
            longest_line = length;
        }
        return result;
    };

    for (;;) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!line_scan_stops.stop[c]) {
            const char* run = p;
            do {
                p++;
            } while (!line_scan_stops.stop[static_cast<unsigned char>(*p)]);
            const char* last_of_run = p - 1;
            while (last_of_run > run && is_blank(static_cast<unsigned char>(*last_of_run))) {
                last_of_run--;
            }
            if (!is_blank(static_cast<unsigned char>(*last_of_run))) {
                last = static_cast<unsigned char>(*last_of_run);
            }
            continue;
        }
        if (c == 0) {
            return finish(nullptr, p);
        }
        if (c == '"') {
            if (!in_character) {
                if (!in_string) {
                    in_string = true;
                    escaped_string = last == '~';
                } else {
                    in_string = false;
                }
            }
            last = c;
            p++;
            continue;
        }
        if (in_string && escaped_string && c == '\\') {
            // '\' escapes exactly the next byte, so "\\" is one escaped backslash.
            last = c;
            p++;
            unsigned char next = static_cast<unsigned char>(*p);
            if (next != 0 && !is_line_break(next)) {
                if (!is_blank(next)) {
                    last = next;
                }
                p++;
            }
            continue;
        }
        if (c == '\'') {
            if (!in_string) {
                in_character = !in_character;
                last = c;
            }
            p++;
            continue;
        }
        if (c == ';' && !in_string && !in_character && !inline_c_line) {
            char* comment = p;
            char* line_end = p;
            while (*line_end && !is_line_break(static_cast<unsigned char>(*line_end))) {
                line_end++;
            }
            if (continuation_candidate_chars[last] && check_line_continuation(last, physical_start, comment)) {
                std::memset(comment, ' ', line_end - comment);
            } else {
                *comment = 0;
                last = ';';
            }
            p = line_end;
            continue;
        }
        if (is_line_break(c)) {
            bool continues = !inline_c_line && continuation_candidate_chars[last] &&
                             check_line_continuation(last, physical_start, p) && !(suppress_errors && !macro_capture_mode);
            if (!continues) {
                char* after = p + 1;
                if (c == '\r' && *after == '\n') {
                    *after++ = 0;
                }
                *p = 0;
                return finish(after, after);
            }
            if (in_string || in_character) {
                set_error_always(in_string ? ERROR_UNFINISHED_DOUBLE_QUOTE : ERROR_UNFINISHED_SINGLE_QUOTE);
                return finish(nullptr, p);
            }
            char* break_start = p;
            if (c == '\r' && p[1] == '\n') {
                *p++ = ' ';
            }
            *p++ = ' ';
            while (is_blank(static_cast<unsigned char>(*p))) {
                p++;
            }
            if (starts_with_word(p, "ENDMACRO") && !identifier_chars[static_cast<unsigned char>(p[8])]) {
                // The EndMacro line is a logical line of its own.
                *break_start = 0;
                return finish(p, p);
            }
            if (continuation_count + 1 >= max_continuation_lines) {
                set_error_always(ERROR_TOO_MANY_CONTINUATION_LINES);
                return nullptr;
            }
            continuation_starts[continuation_count] = p;
            continuation_count++;
            physical_start = p;
            continue;
        }
        last = c;
        p++;
    }
}

// ---------------------------------------------------------------------------
// Source driver.

void compile_source(char* text, int64_t length, const char* file_name, int include_flag)
{
    int32_t saved_continuation_count = continuation_count;
    cut_editor_options_tail(text, length);

    std::string name;
    if (!include_flag) {
        name = main_source_name();
        record_include_once(name);
    } else {
        name = file_name ? file_name : "";
    }

    source_is_utf8_bom = 0;
    if (length >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
        static_cast<unsigned char>(text[2]) == 0xBF) {
        text += 3;
        source_is_utf8_bom = 1;
    }

    current_source_file = pool_strdup(name.c_str());
    set_file_constants(current_source_file);
    current_line = 0;
    set_constant_integer(constant_compiler_line, 1);

    char* line = text;
    while (line && error_number == 0) {
        // The empty rest after a final line break is no line of the file:
        // the end-of-source checks then lie one past the last line, with
        // or without that break.
        const bool after_last_line = *line == 0;
        parse_pointer = line;
        if (commented_output && preprocess_file) {
            append_commented_source_line(line);
        }
        char* next = read_logical_line(line);
        emit_comment(line);

        more_statements = 1;
        expansion_pending = 0;
        char* written_before = output_write_pointer;
        char* expansion_before = macro_expansion_write_position();
        if (error_number == 0) {
            while (more_statements == 1 && error_number == 0) {
                compile_statement();
            }
        }
        set_macro_expansion_write_position(expansion_before);

        if (output_write_pointer != written_before) {
            emit_debugger_line_entry();
        }
        if (!after_last_line) current_line += continuation_count + 1;
        total_lines += continuation_count + 1;

        if (standby_mode) {
            progress_line_counter++;
            if (progress_line_counter >= 1000) {
                if (standby_progress_wanted()) {
                    std::printf("PROGRESS\tLINES\t%d\n", total_lines);
                    std::fflush(stdout);
                }
                progress_line_counter = 0;
            }
        }
        set_constant_integer(constant_compiler_line, current_line + 1);

        if (error_number != 0 && include_flag) {
            error_include_line = current_line;
            std::snprintf(error_include_file, sizeof error_include_file, "%s", name.c_str());
        }
        report_error();
        line = next;
    }

    if (debugger_enabled) {
        emit_debugger_line_marker();
        emit_debugger_line_entry();
    }
    continuation_count = saved_continuation_count;
    if (!include_flag) {
        suppress_errors = 0;
    }
}

namespace {

// The including file's place in its text, which the included file's reading
// replaces and which is taken back when that file ends (include files nest).
struct IncludingFile {
    uint8_t more_statements;
    int32_t utf8_bom;
    char* include_name;
    char* source_file;
    std::string include_directory;
    int32_t file_index;
    int32_t line;
    int32_t token;
    char* position;
};

IncludingFile hold_including_file()
{
    return IncludingFile{more_statements, source_is_utf8_bom, current_include_name, current_source_file,
                         include_directory, current_file_index, current_line, token_code, parse_pointer};
}

void return_to_including_file(const IncludingFile& file)
{
    more_statements = file.more_statements;
    source_is_utf8_bom = file.utf8_bom;
    current_include_name = file.include_name;
    current_source_file = file.source_file;
    include_directory = file.include_directory;
    current_file_index = file.file_index;
    current_line = file.line;
    token_code = file.token;
    parse_pointer = file.position;
}

}  // namespace

void include_file(const char* path, const char* written_name)
{
    const IncludingFile including = hold_including_file();
    include_directory.clear();

    if (include_depth >= 128) {
        set_error(ERROR_INCLUDEFILE_TOO_DEEPLY_NESTED);
    } else if (included_file_count >= 8192) {
        set_error(ERROR_TOO_MANY_INCLUDED_FILES);
    }

    if (path && path[0] && error_number == 0) {
        // The editor may give another file for it (its unsaved text).
        std::string resolved = standby_mode ? query_redirect("INCLUDEFILE", path) : path;
        std::string contents;
        if (!os_read_file(resolved.c_str(), contents)) {
            set_error_format(ERROR_FILE_NOT_FOUND, resolved.c_str());
        } else {
            char* stored_name = pool_strdup(resolved.c_str());
            char** entry = static_cast<char**>(list_add(IncludeFileList)) ;
            entry[2] = stored_name;
            if (standby_mode && standby_progress_wanted()) {
                std::printf("PROGRESS\tINCLUDES\t%s\n", resolved.c_str());
                std::fflush(stdout);
            }
            include_depth++;
            included_file_count++;
            current_file_index = included_file_count;
            current_include_name = stored_name;

            int64_t size = static_cast<int64_t>(contents.size());
            char* block = static_cast<char*>(os_heap_alloc(compilation_heap, size + 2));
            std::memcpy(block, contents.data(), size);
            block[size] = 0;
            block[size + 1] = 0;
            contents.clear();
            contents.shrink_to_fit();

            set_constant_integer(constant_compiler_is_include_file, 1);
            set_constant_integer(constant_compiler_is_main_file, 0);
            if (!standby_mode) {
                console_print("Including source: %s\n", written_name ? written_name : resolved.c_str());
            }

            current_line = 0;
            if (debugger_enabled) {
                emit_debugger_line_marker();
                emit_debugger_line_entry();
            }
            compile_source(block, size, stored_name, 1);

            os_heap_free(compilation_heap, block);
            include_depth--;
            if (include_depth == 0) {
                set_constant_integer(constant_compiler_is_include_file, 0);
                set_constant_integer(constant_compiler_is_main_file, 1);
            }
        }
    }

    return_to_including_file(including);
    set_file_constants(current_source_file ? current_source_file : "");
    set_constant_integer(constant_compiler_line, current_line + 1);
}

void check_unclosed_blocks()
{
    if (error_number == 0) {
        if (compiler_if_depth > 0) {
            set_error_always(ERROR_COMPILERIF_WITHOUT_COMPILERENDIF);
        } else if (compiler_select_depth > 0) {
            set_error_always(ERROR_COMPILERSELECT_WITHOUT_COMPILERENDSELECT);
        } else {
            report_open_block();
        }
    }
    if (error_number == 0) {
        const char* missing = nullptr;
        int section = module_section_state();
        if (macro_capture_mode) {
            set_error_format_always(ERROR_END_KEYWORD_MISSING, "Macro");
        } else if (in_structure) {
            missing = "Structure";
        } else if (in_procedure) {
            missing = "Procedure";
        } else if (in_enumeration) {
            missing = "Enumeration";
        } else if (in_interface) {
            missing = "Interface";
        } else if (in_import) {
            missing = "Import";
        } else if (section == 1) {
            missing = "DeclareModule";
        } else if (section == 2) {
            missing = "Module";
        }
        if (missing) {
            set_error_format(ERROR_END_KEYWORD_MISSING, missing);
        }
    }
    if (error_number == 0) {
        if (open_parentheses_count() > 0) {
            set_error(ERROR_TOO_MANY_OPEN_PARENTHESES);
        } else if (token_code == ')') {
            set_error(ERROR_TOO_MANY_CLOSE_PARENTHESES);
        } else if (token_code != TOKEN_END) {
            set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        }
    }
    if (error_number == 0) {
        check_gosub_return();
    }
    if (error_number == 0) {
        check_label_references();
    }
    if (error_number == 0) {
        check_declared_procedures();
        if (error_number != 0) {
            current_line = -1;
        }
    }
    if (error_number == 0) {
        check_declared_modules();
        if (error_number != 0) {
            current_line = -1;
        }
    }
    if (current_line != -1) {
        current_line++;
    }
    report_error();
}
