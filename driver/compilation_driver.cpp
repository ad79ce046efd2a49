// The compilation driver: one compilation of the loaded main source, the
// built-in constants and the /CONSTANT switch.
#include "driver/compilation_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/backend_hooks.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/compiler_main.h"
#include "frontend/blocks.h"
#include "frontend/constants.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/lexer.h"
#include "frontend/procedures.h"
#include "frontend/residents.h"
#include "frontend/source_reader.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"
#include "frontend/arrays.h"
#include "frontend/lists_maps.h"
#include "platform/platform.h"

namespace {

// Names that /CONSTANT may not define: every built-in constant.
const char* const protected_constant_names[] = {
    "ZD_Compiler_OS",           "ZD_Compiler_Processor",     "ZD_Compiler_Backend",
    "ZD_Compiler_Date",         "ZD_Compiler_Debugger",      "ZD_Compiler_LineNumbering",
    "ZD_Compiler_Optimizer",    "ZD_Compiler_Line",          "ZD_Compiler_EnumerationValue",
    "ZD_Compiler_ExecutableFormat", "ZD_Compiler_InlineAssembly", "ZD_Compiler_Unicode",
    "ZD_Compiler_Thread",       "ZD_Compiler_DPIAware",      "ZD_Compiler_32Bit",
    "ZD_Compiler_64Bit",        "ZD_Compiler_Version",       "ZD_Compiler_File",
    "ZD_Compiler_FilePath",     "ZD_Compiler_Filename",      "ZD_Compiler_Home",
    "ZD_Compiler_Procedure",    "ZD_Compiler_Module",        "ZD_Compiler_EnableExplicit",
    "ZD_Compiler_IsMainFile",   "ZD_Compiler_IsIncludeFile", "Null$",
    "ZD_Compiler_InlineJavaScript",
};

bool equal_ignoring_case(const char* a, const char* b)
{
    for (;; a++, b++) {
        if (lowercase_table[static_cast<unsigned char>(*a)] != lowercase_table[static_cast<unsigned char>(*b)]) {
            return false;
        }
        if (*a == 0) {
            return true;
        }
    }
}

bool is_protected_constant(const char* name)
{
    for (const char* protected_name : protected_constant_names) {
        if (equal_ignoring_case(name, protected_name)) {
            return true;
        }
    }
    return false;
}

ConstantRecord* declare_predefined(const char* name)
{
    ConstantRecord* record = declare_constant(name);
    if (record) {
        record->flags |= predefined_constant_flag;
    }
    return record;
}

ConstantRecord* declare_integer(const char* name, int64_t value)
{
    pending_constant.kind = pending_kind_integer;
    pending_constant.integer_value = value;
    return declare_predefined(name);
}

ConstantRecord* declare_text(const char* name, const char* text)
{
    pending_constant.kind = pending_kind_string;
    std::snprintf(pending_constant.text, sizeof pending_constant.text, "%s", text);
    return declare_predefined(name);
}

// The local date and time counted as if it were universal time, in 32 bits.
int64_t compiler_date()
{
    std::tm local{};
    os_local_time(&local);
    int64_t seconds = static_cast<int64_t>(timegm(&local));
    return static_cast<int32_t>(static_cast<uint32_t>(seconds & 0xFFFFFFFF));
}

// Classifies the value of a /CONSTANT definition: 0 integer, 1 string, 2 float.
int classify_constant_value(const char* value)
{
    if (*value == 0) {
        return 1;
    }
    const char* p = value;
    if (*p == '+' || *p == '-') {
        p++;
    }
    if (*p == 0) {
        return 1;  // a sign alone is a text
    }
    int kind = 0;
    for (; *p; p++) {
        if (*p >= '0' && *p <= '9') {
            continue;
        }
        if (*p == '.' && kind == 0) {
            kind = 2;
            continue;
        }
        return 1;
    }
    return kind;
}

void print_option_message(const char* format, const char* argument)
{
    if (!standby_mode) {
        std::printf(format, argument);
        std::fflush(stdout);
    }
}

// The main source as a block with two NULs after it (the lexer may step past
// the first one), for the caller to free. The block load_source_file read is
// handed over as it stands, so the source is not held twice.
char* take_main_source(int64_t* length)
{
    char* block = source_text_start;
    int64_t size = block ? source_text_end - block : 0;
    source_text_start = nullptr;
    source_text_end = nullptr;
    if (!block) {
        block = static_cast<char*>(os_heap_alloc(compilation_heap, 2));
        block[0] = 0;
        block[1] = 0;
    }
    *length = size;
    return block;
}

// Finishing an executable: the back end's program output writes the
// start-up code, the end code, data and bss around the compiled code.
void finish_program()
{
    backend->finish_program();
}

void write_and_build_program()
{
    console_print("%d lines processed.\n", total_lines);
    set_no_source_line();
    std::string work_folder = create_work_directory();
    if (error_number || work_folder.empty()) {
        return;
    }
    if (!os_set_current_folder(work_folder.c_str())) {
        delete_directory_tree(work_folder.c_str());
        set_error_format(ERROR_EXECUTABLE_NOT_CREATED, work_folder.c_str());
        return;
    }
    const char* file_name = backend->program_file_name;
    std::string asm_path = work_folder + file_name;
    if (preprocess_file) {
        std::string target = combine_path(current_folder_short.c_str(), preprocess_file);
        backend->write_program_file(target.c_str(), 1);
        console_print("Preprocessed file created (%s)\n", target.c_str());
    } else {
        backend->write_program_file(asm_path.c_str(), 0);
        if (commented_output) {
            std::string copy = combine_path(current_folder_short.c_str(), file_name);
            os_copy_file(asm_path.c_str(), copy.c_str());
        }
        backend->build_program();
    }
    os_set_current_folder(current_folder_short.c_str());
    delete_directory_tree(work_folder.c_str());
    if (error_number == 0) {
        console_print("\n- Feel the ..ZaNd.. Power -\n");
    }
}

// /WINDOWSIMPORT: the import library of the imported functions of the
// global procedure table.
void create_windows_import_library()
{
    std::vector<ImportedFunctionName> functions;
    collect_imported_functions(functions);
    create_windows_import_library_from(functions);
}

}  // namespace

void declare_builtin_constants()
{
    if (dll_mode) {
        debugger_enabled = 0;
        purifier_enabled = 0;
    }
    if (!debugger_enabled) {
        purifier_enabled = 0;
    }
    init_constants();

    declare_integer("ZD_Compiler_OS", 1);
    declare_integer("ZD_Compiler_Processor", 4);
    declare_integer("ZD_Compiler_Backend", backend->backend_constant);
    declare_integer("ZD_Compiler_Date", compiler_date());
    declare_integer("ZD_Compiler_Debugger", debugger_enabled);
    declare_integer("ZD_Compiler_LineNumbering", line_numbering);
    declare_integer("ZD_Compiler_Optimizer", optimizer_enabled);
    constant_compiler_line = declare_integer("ZD_Compiler_Line", 1);
    constant_compiler_enumeration_value = declare_integer("ZD_Compiler_EnumerationValue", 0);
    int64_t format = 0;
    if (dll_mode) {
        format = 1;
    } else if (executable_subsystem_name && std::strcmp(executable_subsystem_name, "Console") == 0) {
        format = 2;
    }
    declare_integer("ZD_Compiler_ExecutableFormat", format);
    constant_compiler_inline_assembly = declare_integer("ZD_Compiler_InlineAssembly", 0);
    declare_integer("ZD_Compiler_Unicode", 1);
    declare_integer("ZD_Compiler_Thread", thread_safe);
    declare_integer("ZD_Compiler_DPIAware", dpi_aware);
    declare_integer("ZD_Compiler_32Bit", 0);
    declare_integer("ZD_Compiler_64Bit", 1);
    declare_integer("ZD_Compiler_Version", compiler_version_number());
    constant_compiler_file = declare_text("ZD_Compiler_File", "");
    constant_compiler_file_path = declare_text("ZD_Compiler_FilePath", "");
    constant_compiler_filename = declare_text("ZD_Compiler_Filename", "");
    constant_compiler_home = declare_text("ZD_Compiler_Home", "");
    constant_compiler_procedure = declare_text("ZD_Compiler_Procedure", "");
    constant_compiler_module = declare_text("ZD_Compiler_Module", "");
    constant_compiler_enable_explicit = declare_integer("ZD_Compiler_EnableExplicit", explicit_enabled);
    constant_compiler_is_main_file = declare_integer("ZD_Compiler_IsMainFile", 1);
    constant_compiler_is_include_file = declare_integer("ZD_Compiler_IsIncludeFile", 0);
    declare_text("Null$", "!_ZD_NullConstant_!");
}

int define_constant_option(const char* switch_text, const char* definition, int answer)
{
    const char* equals = definition ? std::strchr(definition, '=') : nullptr;
    if (!equals) {
        print_option_message("Error in constant definition: %s.\n", definition ? definition : "no value specified");
        return 0;
    }
    const char* value = equals + 1;
    int kind = classify_constant_value(value);
    if (equals == definition) {
        print_option_message("A constant name must be specified after %s.\n", switch_text);
        return 0;
    }
    std::string name(definition, equals - definition);
    if (is_protected_constant(name.c_str())) {
        print_option_message("Can't define a value for a built-in constant: %s\n", name.c_str());
        return 0;
    }
    if (kind == 1) {
        pending_constant.kind = pending_kind_string;
        std::snprintf(pending_constant.text, sizeof pending_constant.text, "%s", value);
    } else if (kind == 2) {
        pending_constant.kind = pending_kind_float;
        pending_constant.float_value = std::strtod(value, nullptr);
    } else {
        errno = 0;
        long long parsed = std::strtoll(value, nullptr, 10);
        if (errno == ERANGE) {
            print_option_message("Error in constant definition: %s.\n", definition);
            return 0;
        }
        pending_constant.kind = pending_kind_integer;
        pending_constant.integer_value = parsed;
    }
    init_constants();
    ConstantRecord* record = declare_constant(name.c_str());
    if (!record) {
        return 0;
    }
    record->flags |= predefined_constant_flag;
    return answer;
}

void compile_program()
{
    if (preprocess_file) {
        no_output_depth++;
        debugger_enabled = 0;
    }
    if (check_syntax_only) {
        console_print("Starting syntax check...\n");
        no_output_depth++;
    } else {
        console_print("Starting compilation...\n");
    }
    current_folder_short = current_folder;

    reset_statement_state();
    create_label_lists();
    reset_expression_compiler();
    reset_block_state();
    init_variables();
    reset_procedures();
    reset_arrays();
    reset_lists_maps();
    backend->reset_expression_state();
    backend->reset_program_output();
    declare_data_pointer_variable();
    declare_builtin_constants();
    // The debugger instrumentation follows this compilation's options, after
    // a DLL build has switched the debugger off.
    debugger_code = debugger_enabled ? 1 : 0;

    if (error_number == 0) {
        int64_t length = 0;
        char* text = take_main_source(&length);
        compile_source(text, length, source_file, 0);
        os_heap_free(compilation_heap, text);
        check_unclosed_blocks();
    }

    if (error_number == 0 && standby_mode && report_progress) {
        std::printf("PROGRESS\tLINES\t%d\n", total_lines);
        std::fflush(stdout);
    }

    if (error_number == 0) {
        if (check_syntax_only) {
            console_print("Syntax check finished without error (%d lines).\n", total_lines);
        } else if (resident_mode) {
            write_resident_file(resident_file);
        } else if (import_mode) {
            write_import_file();
            if (error_number == 0 && windows_import_mode) create_windows_import_library();
        } else {
            finish_program();
            if (error_number == 0 && optimizer_enabled && !debugger_enabled) {
                backend->optimize_code();
            }
            if (error_number == 0) {
                write_and_build_program();
            }
        }
    }
    report_error();
}
