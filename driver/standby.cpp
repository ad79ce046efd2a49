// Standby mode: the editor sends one tab-separated command per line on
// standard input; the compiler stores options, compiles on request and
// answers with protocol lines on standard output, flushed after each answer.
#include "driver/standby.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/compilation_driver.h"
#include "driver/compiler_main.h"
#include "driver/listings.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/libraries.h"
#include "platform/platform.h"

namespace {

char* field_cursor = nullptr;
char empty_field[1] = {0};
char empty_source_file[1] = {0};
char empty_include_path[1] = {0};

// Library commands that HELPDIRECTORY does not answer for.
constexpr uint32_t command_deprecated_flag = 0x80000000;

// Longest value text of a CONSTANTLIST line.
constexpr size_t constant_text_limit = 2047;

void send(const char* text)
{
    std::fputs(text, stdout);
}

void finish_answer()
{
    send("OUTPUT\tCOMPLETE\n");
    std::fflush(stdout);
}

[[noreturn]] void end_process()
{
    std::fflush(stdout);
    std::exit(0);
}

char* store_field(const char* text)
{
    return pool_strdup(text);
}

// ---------------------------------------------------------------------------
// List answers

void send_function_list()
{
    write_standby_function_list();
    finish_answer();
}

// A string constant's text with LF, CR and backslash escaped, cut to the limit.
std::string escape_constant_text(const char* text)
{
    std::string escaped;
    for (const char* p = text; *p && escaped.size() < constant_text_limit; p++) {
        if (*p == '\n') escaped += "\\n";
        else if (*p == '\r') escaped += "\\r";
        else if (*p == '\\') escaped += "\\\\";
        else escaped += *p;
    }
    if (escaped.size() > constant_text_limit) escaped.resize(constant_text_limit);
    return escaped;
}

void send_constant_list()
{
    declare_builtin_constants();
    init_constants();
    int count = 0;
    hash_reset_iterator(constants_table);
    while (hash_next(constants_table)) count++;
    std::printf("%d\n", count);
    hash_reset_iterator(constants_table);
    while (HashEntry* entry = hash_next(constants_table)) {
        const ConstantRecord* constant = reinterpret_cast<ConstantRecord*>(entry);
        if (constant->flags & constant_flag_float) {
            std::printf("1\t%s\t%.16f\n", entry->key, constant->value.float_value);
        } else if (constant->flags & constant_flag_string) {
            std::string text = std::strcmp(entry->key, "Null$") == 0 ? std::string()
                                                                    : escape_constant_text(constant->value.text);
            std::printf("2\t%s\t%s\n", entry->key, text.c_str());
        } else {
            std::printf("0\t%s\t%lld\n", entry->key, static_cast<long long>(constant->value.integer_value));
        }
    }
    finish_answer();
    // The built-in constants (and those of CONSTANT commands) go again: a
    // compilation declares them anew.
    free_user_constants();
}

void send_help_directory(const char* name)
{
    const LibraryCommand* command = find_library_command(name);
    if (command && !(command->flags & command_hidden_flags) && command->library &&
        !(command->flags & command_deprecated_flag)) {
        const LibraryRecord* library = command->library;
        std::printf("%s\n", library->help_line && library->help_line[0] ? library->help_line : library->name);
    } else if (mark_imported_function_for_help(name)) {
        send("API\n");
    } else {
        send("UNKNOWN\n");
    }
    std::fflush(stdout);
}

void send_import_list()
{
    write_standby_import_list();
    finish_answer();
}

void send_structure_list(int interfaces)
{
    write_standby_structure_list(interfaces);
    finish_answer();
}

void send_structure(const char* name, int interfaces_only)
{
    write_standby_structure(name, interfaces_only);
    finish_answer();
}

// ---------------------------------------------------------------------------
// COMPILE

// Reads the main file (asking the editor for its name with REDIRECT) and
// compiles it; the error state tells the outcome.
void standby_compile()
{
    standby_include_line = -1;
    standby_include_file[0] = 0;
    const char* file = query_redirect("MAINFILE", source_file);
    load_source_file(file);
    if (error_number) {
        report_error();
        return;
    }
    main_source_folder = include_path ? include_path : "";
    compile_program();
}

void run_compile_command()
{
    for (;;) {
        char* word = next_standby_field();
        if (!word[0]) break;
        set_compile_option_word(word);
    }
    // A relative source name is taken from the process's current folder.
    // The compilation moves into the work folder and then into the source's
    // folder; the next command starts from here again.
    std::string process_folder = os_current_folder();
    const char* main_name = source_alias ? source_alias : source_file;
    std::string main_path = combine_path(process_folder.c_str(), main_name ? main_name : "");
    current_folder = path_directory_part(main_path.c_str());
    current_folder_short = get_short_path_ansi(current_folder.c_str());

    standby_compile();
    // The reset clears the error state: decide on the answer before it.
    bool failed = error_number != 0;
    compiler_reset();
    os_set_current_folder(process_folder.c_str());
    if (!failed) send("SUCCESS\n");
    std::fflush(stdout);
    reset_compile_options();
}

void run_constant_command(const char* definition)
{
    bool error_before = error_number != 0;
    define_constant_option("CONSTANT", definition, 1);
    // A bad definition is ignored without a word.
    if (!error_before && error_number) clear_error_state();
}

}  // namespace

// ---------------------------------------------------------------------------

void set_field_cursor(char* line)
{
    field_cursor = line;
}

char* next_standby_field()
{
    if (!field_cursor || !*field_cursor) return empty_field;
    char* field = field_cursor;
    char* end = field + std::strcspn(field, "\t\n");
    if (*end) {
        *end = 0;
        field_cursor = end + 1;
    } else {
        field_cursor = end;
    }
    return field;
}

void reset_compile_options()
{
    source_file = empty_source_file;
    include_path = empty_include_path;
    resource_file = nullptr;
    source_alias = nullptr;
    icon_file = nullptr;
    output_file = nullptr;
    linker_file = nullptr;
    executable_subsystem_name = "Windows";
    xp_skin = 0;
    dll_protection = 0;
    dpi_aware = 0;
    debugger_enabled = 0;
    thread_safe = 0;
    dll_mode = 0;
    line_numbering = 0;
    cpu_mode = 0;
    report_progress = 0;
    run_as_user = 0;
    run_as_administrator = 0;
    report_warnings = 0;
    purifier_enabled = 0;
    redirect_files = 0;
    check_syntax_only = 0;
    console_mode = 0;
    optimizer_enabled = 0;
}

void set_compile_option_word(const char* word)
{
    struct FlagWord {
        const char* word;
        int32_t* option;
    };
    static const FlagWord flag_words[] = {
        {"DEBUGGER", &debugger_enabled},   {"DLL", &dll_mode},
        {"XPSKIN", &xp_skin},              {"DLLPROTECTION", &dll_protection},
        {"DPIAWARE", &dpi_aware},          {"ONERROR", &line_numbering},
        {"THREAD", &thread_safe},          {"PROGRESS", &report_progress},
        {"USER", &run_as_user},            {"ADMINISTRATOR", &run_as_administrator},
        {"WARNINGS", &report_warnings},    {"REDIRECT", &redirect_files},
        {"CHECKSYNTAX", &check_syntax_only}, {"OPTIMIZER", &optimizer_enabled},
    };
    struct CpuWord {
        const char* word;
        int32_t mode;
    };
    static const CpuWord cpu_words[] = {
        {"MMX", cpu_mode_mmx}, {"3DNOW", cpu_mode_3dnow}, {"SSE", cpu_mode_sse},
        {"SSE2", cpu_mode_sse2}, {"DYNAMICCPU", cpu_mode_dynamic},
    };
    for (const FlagWord& flag : flag_words) {
        if (std::strcmp(word, flag.word) == 0) {
            *flag.option = 1;
            return;
        }
    }
    for (const CpuWord& cpu : cpu_words) {
        if (std::strcmp(word, cpu.word) == 0) {
            cpu_mode = cpu.mode;
            return;
        }
    }
    if (std::strcmp(word, "CONSOLE") == 0) {
        console_mode = 1;
        executable_subsystem_name = "Console";
    } else if (std::strcmp(word, "PURIFIER") == 0) {
        purifier_enabled = 1;
    }
}

bool run_standby_command(char* line)
{
    set_field_cursor(line);
    const char* command = next_standby_field();
    if (std::strcmp(command, "END") == 0) return false;

    struct StoredField {
        const char* command;
        char** option;
    };
    static const StoredField stored_fields[] = {
        {"SOURCE", &source_file},     {"SOURCEALIAS", &source_alias}, {"INCLUDEPATH", &include_path},
        {"RESOURCE", &resource_file}, {"ICON", &icon_file},           {"TARGET", &output_file},
        {"LINKER", &linker_file},
    };
    for (const StoredField& stored : stored_fields) {
        if (std::strcmp(command, stored.command) == 0) {
            *stored.option = store_field(next_standby_field());
            return true;
        }
    }

    if (std::strcmp(command, "CONSTANT") == 0) run_constant_command(next_standby_field());
    else if (std::strcmp(command, "COMPILE") == 0) run_compile_command();
    else if (std::strcmp(command, "IMPORTLIST") == 0) send_import_list();
    else if (std::strcmp(command, "FUNCTIONLIST") == 0) send_function_list();
    else if (std::strcmp(command, "STRUCTURELIST") == 0) send_structure_list(0);
    else if (std::strcmp(command, "STRUCTURE") == 0) send_structure(next_standby_field(), 0);
    else if (std::strcmp(command, "INTERFACELIST") == 0) send_structure_list(1);
    else if (std::strcmp(command, "INTERFACE") == 0) send_structure(next_standby_field(), 1);
    else if (std::strcmp(command, "CONSTANTLIST") == 0) send_constant_list();
    else if (std::strcmp(command, "HELPDIRECTORY") == 0) send_help_directory(next_standby_field());
    return true;
}

bool standby_progress_enabled()
{
    return report_progress != 0;
}

void run_standby_loop()
{
    os_ignore_broken_pipe();
    reset_compile_options();
    send("READY\n");
    std::fflush(stdout);
    standby_loop_started = 1;

    std::string line;
    while (os_read_input_line(line)) {
        if (!run_standby_command(line.data())) break;
    }
    end_process();
}
