// Error state, error and warning reports, console progress messages.
#include "core/error_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "platform/platform.h"

ErrorState error_state = {};
int32_t standby_include_line = -1;
char standby_include_file[4096] = {};
int32_t standby_loop_started = 0;

extern const char* const english_messages[message_table_size];
const char* message_table[message_table_size];

// The message table starts as the English texts; the catalog may replace entries.
static bool fill_message_table() {
    for (int n = 0; n < message_table_size; ++n) message_table[n] = english_messages[n];
    return true;
}
static const bool message_table_filled = fill_message_table();

// The macro expander writes "Macro.out" for an error inside an expansion.
// This stand-in is used until the macro expander is linked in.
__attribute__((weak)) void write_macro_out_file() {}

// ---------------------------------------------------------------------------
// Console progress messages

void console_print(const char* format, ...) {
    if (quiet_mode || standby_mode) return;
    char text[2048];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) return;
    if (length > int(sizeof text) - 1) length = int(sizeof text) - 1;
    // Only text that is valid UTF-8 is written.
    char16_t* units = static_cast<char16_t*>(std::malloc(size_t(2 * length + 2)));
    if (!units) return;
    int64_t out_bytes = 2 * int64_t(length);
    int64_t in_bytes = length;
    int result = utf8_to_utf16(units, &out_bytes, text, &in_bytes);
    std::free(units);
    if (result != 0) return;
    os_console_write(text, size_t(in_bytes));
}

// ---------------------------------------------------------------------------
// Messages

const char* message_text(int n) {
    if (n < 0 || n >= message_table_size || !message_table[n]) return "";
    return message_table[n];
}

const char* english_message_text(int n) {
    if (n < 0 || n >= message_table_size) return "";
    if (backend) {
        for (const MessageText* own = backend->own_message_texts; own->number != 0; ++own)
            if (own->number == n) return own->text;
    }
    return english_messages[n];
}

void set_message_text(int n, const char* text) {
    if (n >= 0 && n < message_table_size && text) message_table[n] = text;
}

// The printf conversions of a format, "%%" left out, e.g. "%s|%d|".
static std::string conversions_of(const char* format) {
    std::string result;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        const char* q = p + 1;
        while (*q && !std::strchr("diouxXeEfFgGaAcspn", *q)) ++q;
        result.append(p + 1, size_t(q - p - 1) + (*q ? 1 : 0));
        result.push_back('|');
        if (!*q) break;
        p = q;
    }
    return result;
}

// The format for message n: the catalog text when its conversions are those
// of the English text, else the English text (arguments are typed for it).
static const char* safe_message_format(int n) {
    const char* text = message_text(n);
    const char* english = english_message_text(n);
    if (text == english || conversions_of(text) == conversions_of(english)) return text;
    return english;
}

static void copy_text(char* buffer, size_t capacity, const char* text) {
    size_t length = std::strlen(text);
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(buffer, text, length);
    buffer[length] = 0;
}

// ---------------------------------------------------------------------------
// Recording errors

static inline bool may_record(bool always) {
    return error_number == 0 && (always || suppress_errors == 0);
}

void set_error(int n) {
    if (!may_record(false)) return;
    error_position = parse_pointer;
    error_number = n;
    copy_text(error_message, sizeof error_message, message_text(n));
}

void set_error_always(int n) {
    if (!may_record(true)) return;
    error_position = parse_pointer;
    error_number = n;
    copy_text(error_message, sizeof error_message, message_text(n));
}

static void record_formatted(int n, va_list args) {
    error_position = parse_pointer;
    error_number = n;
    std::vsnprintf(error_message, sizeof error_message, safe_message_format(n), args);
}

void set_error_format(int n, ...) {
    if (!may_record(false)) return;
    va_list args;
    va_start(args, n);
    record_formatted(n, args);
    va_end(args);
}

void set_error_format_always(int n, ...) {
    if (!may_record(true)) return;
    va_list args;
    va_start(args, n);
    record_formatted(n, args);
    va_end(args);
}

void set_error_at(int n, char* position) {
    if (!may_record(false)) return;
    error_position = position;
    error_number = n;
    copy_text(error_message, sizeof error_message, message_text(n));
}

void set_error_text(int n, const char* text) {
    if (!may_record(false)) return;
    error_position = parse_pointer;
    error_number = n;
    copy_text(error_message, sizeof error_message, text);
}

void set_error_text_always(int n, const char* text) {
    if (!may_record(true)) return;
    error_position = parse_pointer;
    error_number = n;
    copy_text(error_message, sizeof error_message, text);
}

void clear_error_state() {
    error_number = 0;
    error_message[0] = 0;
    error_position = nullptr;
    error_reported = 0;
}

void set_no_source_line() {
    current_line = -1;
    continuation_count = 0;
}

const char* error_location_text(const char* name, int32_t line, const char* file, int from_resident) {
    static char text[2048];
    if (from_resident) std::snprintf(text, sizeof text, "%s (in a resident file)", name);
    else std::snprintf(text, sizeof text, "%s (%s line %d)", name, file ? file : "", line + 1);
    return text;
}

// ---------------------------------------------------------------------------
// Reports

void report_warning(int n, const char* argument) {
    char text[warning_message_capacity];
    const char* format = safe_message_format(n);
    std::string conversions = conversions_of(format);
    // Only a message that takes at most one text is formatted with the argument.
    if (argument && (conversions == "s|" || conversions.empty()))
        std::snprintf(text, sizeof text, format, argument);
    else
        copy_text(text, sizeof text, format);
    if (!standby_mode) {
        std::printf("Warning: Line %d - %s\n", current_line + 1, text);
        return;
    }
    if (!report_warnings) return;
    std::printf("WARNING\t%d\n", current_line + 1);
    std::printf("MESSAGE\t%s\n", text);
    if (include_depth != 0 && current_include_name && *current_include_name)
        std::printf("INCLUDEFILE\t%s\t%d\n", current_include_name, current_line + 1);
    std::printf("OUTPUT\tCOMPLETE\n");
    std::fflush(stdout);
}

// The physical line (0 = the first) of the logical line that holds the error.
static int32_t error_physical_index() {
    if (continuation_count <= 0 || !error_position) return 0;
    uintptr_t position = reinterpret_cast<uintptr_t>(error_position);
    // The logical line is one NUL-terminated text, so a position outside it
    // lies before every continuation start or after its end: index 0. The
    // lexer steps over the terminating NUL when it reads the end of the
    // statement, so the byte after the NUL still belongs to the last line.
    const char* last_start = continuation_starts[continuation_count - 1];
    if (!last_start) return 0;
    uintptr_t line_end = reinterpret_cast<uintptr_t>(last_start) + std::strlen(last_start);
    if (position > line_end + 1) return 0;
    int32_t index = 0;
    for (int32_t k = 1; k <= continuation_count; ++k) {
        const char* start = continuation_starts[k - 1];
        if (start && reinterpret_cast<uintptr_t>(start) <= position) index = k;
    }
    return index;
}

static int count_lines(const char* text) {
    int lines = 1;
    for (const char* p = text; p && *p; ++p)
        if (*p == '\n') ++lines;
    return lines;
}

void report_error() {
    if (error_reported != 0 || error_number == 0) return;
    if (!compiler_error_raised) write_macro_out_file();
    int32_t index = error_physical_index();
    int32_t line;
    if (error_include_line >= 0) {
        error_include_line += index - continuation_count;
        if (standby_mode) {
            copy_text(standby_include_file, sizeof standby_include_file, error_include_file);
            standby_include_line = error_include_line;
        } else {
            char rewritten[sizeof error_include_file + error_message_capacity + 64];
            std::snprintf(rewritten, sizeof rewritten, "in included file '%s'\nLine %d - %s", error_include_file,
                          error_include_line, error_message);
            copy_text(error_message, sizeof error_message, rewritten);
        }
        include_depth = 0;
        line = -1;
    } else if (include_depth != 0) {
        error_reported = 1;
        return;
    } else {
        line = current_line - continuation_count + index;
    }
    current_line = line;

    if (standby_mode) {
        if (!standby_loop_started) {
            std::printf("ERROR\t%s", error_message);
        } else {
            std::printf("ERROR\tSYNTAX\t%d\n", line);
            std::printf("MESSAGE\t%s\n", error_message);
            if (standby_include_line >= 0)
                std::printf("INCLUDEFILE\t%s\t%d\n", standby_include_file, standby_include_line);
            if (macro_error_line != 0) {
                const char* text = macro_expansion_text ? macro_expansion_text : "";
                std::printf("MACRO\t%d\t%d\n", macro_error_line, count_lines(text));
                std::printf("%s\n", text);
                std::printf("MACRO\tCOMPLETE\n");
            }
            std::printf("OUTPUT\tCOMPLETE\n");
        }
        std::fflush(stdout);
    } else {
        if (line == -1) std::printf("Error: %s\n", error_message);
        else std::printf("Error: Line %d - %s\n", line, error_message);
        if (macro_error_line != 0) std::printf("at line %d of the expanded macro (Macro.out)\n", macro_error_line);
    }
    error_reported = 1;
}

void internal_error(const char* what) {
    std::printf("Internal error: %s\n", what);
    std::fflush(stdout);
    std::exit(1);
}
