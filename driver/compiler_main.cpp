#include "driver/compiler_main.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/backend_hooks.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/command_line.h"
#include "driver/compilation_driver.h"
#include "driver/listings.h"
#include "driver/standby.h"
#include "frontend/constants.h"
#include "frontend/directives.h"
#include "frontend/enumerations.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/arrays.h"
#include "frontend/labels.h"
#include "frontend/lists_maps.h"
#include "frontend/procedures.h"
#include "frontend/libraries.h"
#include "frontend/macros.h"
#include "frontend/modules.h"
#include "frontend/other_statements.h"
#include "frontend/residents.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structures.h"
#include "frontend/variables.h"
#include "platform/platform.h"

const char* const version_text = "6.10 LTS";

namespace {

constexpr size_t heap_initial_size = 4096;

// Element of subsystem_list: the link, then the name.
constexpr uint64_t subsystem_element_size = sizeof(ListNode) + sizeof(char*);

void find_installation()
{
    home_folder = derive_home_folder(os_module_path());
    tools_folder = home_folder + "Compilers\\";
}

void set_current_folder_from_process()
{
    current_folder = os_current_folder();
    if (current_folder.empty() || !os_is_separator(current_folder.back())) current_folder += '\\';
    current_folder_short = current_folder;
}

// Runs the listing mode that was asked for: -1 when none was, else 1 when
// its file was written and 0 when it could not be created.
int run_listing_mode()
{
    if (list_structures_mode) return write_structure_list_file();
    if (list_interfaces_mode) return write_interface_list_file();
    if (list_functions_mode) return write_function_list_file();
    if (query_structure_mode) return write_structure_file();
    return -1;
}

void destroy_heaps()
{
    if (compilation_heap) {
        os_heap_destroy(compilation_heap);
        compilation_heap = nullptr;
    }
    if (permanent_heap) {
        os_heap_destroy(permanent_heap);
        permanent_heap = nullptr;
    }
}

}  // namespace

std::string derive_home_folder(const std::string& program_path)
{
    size_t last = os_last_separator(program_path);
    if (last == std::string::npos || last == 0) return "/";
    size_t previous = os_last_separator(program_path.substr(0, last));
    if (previous == std::string::npos) return "/";
    return program_path.substr(0, previous + 1);
}

int compiler_version_number()
{
    int major = 0;
    int minor = 0;
    std::sscanf(version_text, "%d.%d", &major, &minor);
    return major * 100 + minor;
}

void compile_state_init()
{
    static char empty_name[1] = {0};
    current_source_file = empty_name;
    current_line = 0;
    continuation_count = 0;
    total_lines = 0;
    progress_line_counter = 0;
    longest_line = 0;
    source_is_utf8_bom = 0;
    include_depth = 0;
    included_file_count = 0;
    current_file_index = 0;
    current_include_name = nullptr;
    include_directory.clear();
    error_include_line = -1;
    error_include_file[0] = 0;
    suppress_errors = 0;
    compiler_error_raised = 0;
    // A dry run or a /CHECK compilation may have left output switched off.
    no_output_depth = 0;
    // The compilation driver sets the instrumentation flag from the options
    // of the compilation that starts; none is left over from the last one.
    debugger_code = 0;
    // The include list holds pool copies of names: a link and a text pointer.
    IncludeFileList = create_list(sizeof(ListNode) + sizeof(char*), 0);
    front_end_list = create_list(sizeof(ListNode) + sizeof(char*), 0);
}

void compile_state_first_init()
{
    compile_state_init();
    std::memset(statement_start_chars, 0, sizeof statement_start_chars);
    statement_start_chars[0] = 1;
    statement_start_chars[1] = 1;
    for (unsigned char c : {'!', '#', '*', ':', ';', '_'}) statement_start_chars[c] = 1;
    for (int c = 'A'; c <= 'Z'; ++c) statement_start_chars[c] = 1;
    for (int c = 'a'; c <= 'z'; ++c) statement_start_chars[c] = 1;
    std::memset(continuation_candidate_chars, 0, sizeof continuation_candidate_chars);
    for (unsigned char c : {'+', ',', '|', 'R', 'r', 'D', 'd'}) continuation_candidate_chars[c] = 1;
}

void compiler_init()
{
    // A second initialisation keeps the permanent heap: tables made once stay in it.
    if (!permanent_heap) permanent_heap = os_heap_create(heap_initial_size);
    if (compilation_heap) os_heap_destroy(compilation_heap);
    compilation_heap = os_heap_create(heap_initial_size);

    // Both pools; the compilation pool gets its first block here, since the
    // reset that renews it only runs after a compilation.
    init_memory_pools();

    alloc_output_buffers();
    init_emitter_tables();
    compile_state_first_init();

    init_constants();
    init_libraries();
    build_keyword_index();
    create_label_lists();
    init_structures();
    init_residents();
    backend->init_backend_tables();
    init_macros();
    reset_imports();
    // The per-compilation tables live on the compilation heap made above: a
    // second initialisation must not leave them in the heap it destroyed.
    reset_expression_compiler();
    init_variables();
    reset_arrays();
    reset_lists_maps();
    backend->reset_expression_state();
    init_modules();
    reset_procedures();

    subsystem_list = create_list(subsystem_element_size, 1);
}

void compiler_reset()
{
    // User constants have their names in the compilation pool: drop them first.
    free_user_constants();
    free_user_enumerations();
    reset_other_statements();
    free_user_structures();
    free_user_macros();
    free_user_prototypes();
    os_heap_destroy(compilation_heap);
    compilation_heap = os_heap_create(heap_initial_size);
    pool_reset();

    reset_output_buffers();
    begin_data_section();

    compile_state_init();
    reset_imports();
    reset_macro_state();
    reset_directive_state();
    // The parser state, the variable tables and the float pools.
    reset_expression_compiler();
    init_variables();
    reset_arrays();
    reset_lists_maps();
    create_label_lists();
    backend->reset_expression_state();
    // Libraries stay loaded, but what one compilation used and linked does not.
    reset_usage_marks();
    reset_link_lists();
    init_modules();
    // After the module table: the new ".Main" record takes the procedure table.
    reset_procedures();
    reset_structures();

    source_alias = nullptr;
    clear_error_state();
    if (!no_output_depth) emit_line(backend->reset_line);
}

int compiler_main(int argc, char** argv)
{
    os_create_named_mutex("Zandrel_Running");
    compiler_init();
    find_installation();

    if (!parse_command_line(argc, argv)) return 1;

    if (standby_mode) {
        std::printf("STARTING\t%s\t%s", backend->standby_version, backend->banner);
        std::fflush(stdout);
    }
    console_print("%s", backend->banner);

    load_subsystems();
    scan_library_folder("Residents\\", 2, ERROR_RESIDENTS_NOT_LOADED);
    if (!import_mode) scan_library_folder("ZandLibraries\\Windows\\", 1, 0);
    resolve_resident_structure_refs();

    bool list_mode = list_structures_mode || list_functions_mode || list_interfaces_mode ||
                     query_structure_mode;
    if (!standby_mode && source_file && !list_mode) {
        console_print("Compiling %s\n", source_file);
        set_current_folder_from_process();
        if (!reassemble_mode) load_source_file(source_file);
    }

    console_print("Loading external libraries...\n");
    scan_library_folder("ZandLibraries\\", 0, ERROR_BUILT_IN_LIBRARIES_NOT_LOADED);
    scan_library_folder("ZandLibraries\\UserLibraries\\", 0, 0);

    if (error_number) {
        report_error();
        return 1;
    }

    if (test_file_mode) return write_test_file() ? 0 : 1;
    // A listing whose file cannot be created fails the run.
    int listing = run_listing_mode();
    if (listing < 0) {
        if (standby_mode) run_standby_loop();
        else if (reassemble_mode) backend->reassemble_program();
        else compile_program();
    }

    bool failed = error_number != 0 || listing == 0;
    compiler_reset();
    destroy_heaps();
    return failed ? 1 : 0;
}
