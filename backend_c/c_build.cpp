#include "backend_c/c_build.h"

#include <cstdio>
#include <cstring>
#include <strings.h>
#include <iterator>
#include <vector>

#include "backend_c/c_globals.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "driver/reassembly.h"
#include "frontend/imports.h"
#include "frontend/libraries.h"
#include "platform/platform.h"

// Whether the standby COMPILE asked for PROGRESS lines (weak until the
// standby loop keeps that option).
bool standby_progress_enabled() __attribute__((weak));

namespace {

constexpr size_t gcc_message_limit = 256;

const char* const fixed_link_names[] = {
    "Zandrel.obj", "SystemBase.lib", "StringUtility.lib", "UnicodeFunctions.lib", "libcmt.lib", "libcpmt.lib",
    "libucrt.lib", "libvcruntime.lib", "KERNEL32.lib", "USER32.lib", "GDI32.lib", "COMDLG32.lib",
    "ADVAPI32.lib", "COMCTL32.lib", "OLEAUT32.lib",
};

bool has_text(const char* text)
{
    return text && text[0];
}

void print_progress(const char* line)
{
    if (!standby_mode || !standby_progress_enabled || !standby_progress_enabled()) return;
    std::printf("%s", line);
    std::fflush(stdout);
}

void free_tool_output(char* output)
{
    if (output) os_heap_free(permanent_heap, output);
}

// Resources: a script when an icon, the skin, DLL protection, a resource
// file or an execution level asks for one (the DPI option alone does not).
bool build_resources(std::string& line)
{
    bool icon = has_text(icon_file);
    if (!(icon || xp_skin || dll_protection || has_text(resource_file) || run_as_user || run_as_administrator)) return true;
    bool with_manifest = false;
    std::string script = build_resource_script(with_manifest);
    if (script.empty()) return true;
    if (!os_write_file((work_folder + "Zandrel.rc").c_str(), script.data(), script.size())) return true;
    if (with_manifest) {
        std::string manifest = build_manifest();
        os_write_file((work_folder + "Manifest").c_str(), manifest.data(), manifest.size());
    }
    if (error_number) return false;
    if (!run_resource_compiler()) return false;
    line += " Zandrel.res";
    return true;
}

}  // namespace

const char* c_optimization_flags()
{
    // -frounding-math: a floating-point operation is not folded at compile
    // time in more precision than the x87 gives it at run time.
    if (optimizer_enabled)
        return "-O2 -fno-tree-vrp -freorder-blocks-algorithm=simple -fno-schedule-insns -fno-schedule-insns2 "
               "-fno-strict-aliasing -frounding-math";
    if (debugger_enabled) return "-O0 -g";
    return "-O0";
}

std::string c_build_gcc_command(const std::string& source_path)
{
    return std::string("gcc ") + c_optimization_flags() +
           " -fsigned-char -Wno-discarded-qualifiers -Wno-incompatible-pointer-types -Wno-overflow -Wno-int-conversion -c -o "
           "Zandrel.obj \"" +
           source_path + "\"";
}

bool c_append_link_libraries(std::string& line)
{
    std::vector<std::string> names_on_line;
    append_link_library_head(line, fixed_link_names, std::size(fixed_link_names), names_on_line);
    line += "\"" + home_folder + "Compilers\\gcc\\libgcc.a\" ";
    append_library_objects_and_imports(line, names_on_line);
    line += " \"" + home_folder + "compilers/stringmanagerc" + (thread_safe ? "thread" : "") + (purifier_enabled ? "purifier" : "") +
            ".lib\" ";
    if (debugger_enabled) line += " Debugger.lib ";
    if (!append_import_library_list(line)) {
        set_error(ERROR_TOO_MANY_LINKER_PARAMETERS);
        return false;
    }
    return true;
}

std::string c_gcc_failure_text(const char* output, int end_signal)
{
    std::string text;
    if (output && output[0]) {
        text = output;
        size_t error = text.find("error:");
        if (error != std::string::npos) text = text.substr(error, gcc_message_limit);
    }
    // A compiler that crashed says nothing of it itself.
    if (end_signal != 0) {
        if (!text.empty() && text.back() != '\n') text += '\n';
        return text + "The C compiler was killed by signal " + std::to_string(end_signal) + " (" +
               os_signal_name(end_signal) + ").\n";
    }
    if (text.empty()) return "Unknown error\n";
    return text;
}

void c_build_executable()
{
    print_progress("PROGRESS\tASSEMBLING\n");
    os_set_current_folder(work_folder.c_str());

    std::string source = "zandrel.c";
    if (reassemble_mode) {
        source = combine_path(current_folder_short.c_str(), "zandrel.c");
        for (char& c : source)
            if (c == '/') c = '\\';
    }
    char* output = nullptr;
    int end_signal = 0;
    if (!run_tool_capture_output(c_build_gcc_command(source).c_str(), &output, &end_signal)) {
        show_build_tool_failure("ASSEMBLER", "Assembler", c_gcc_failure_text(output, end_signal));
        free_tool_output(output);
        set_build_error_reported(ERROR_ASSEMBLER_FAILED);
        return;
    }

    if (dll_mode) {
        if (!has_text(output_file)) output_file = heap_strdup("Zandrel.dll");
        icon_file = nullptr;
        run_as_user = 0;
        run_as_administrator = 0;
    }
    std::string output_path;
    std::string launch_path;
    std::string line = begin_link_line(output_path, launch_path);
    if (!launch_path.empty()) output_file = heap_strdup("Zandrel.exe");
    if (!c_append_link_libraries(line)) return;
    if (!build_resources(line)) return;
    if (has_text(linker_file)) line += " @\"" + combine_path(current_folder_short.c_str(), linker_file) + "\"";
    if (error_number) return;

    print_progress("PROGRESS\tLINKING\n");
    if (!run_tool_capture_output(line.c_str(), &output)) {
        show_build_tool_failure("LINKER", "Linker", tool_failure_text(2, output));
        free_tool_output(output);
        // The tool's text is the whole report.
        set_build_error_reported(ERROR_EXECUTABLE_NOT_CREATED);
        return;
    }
    if (dll_mode) {
        std::string command =
            "\"" + tools_folder + "polib.exe\" /MACHINE:X64 /DEF:Zandrel.def /OUT:\"" + import_library_path(output_path) + "\"";
        if (!run_tool_capture_output(command.c_str(), &output)) free_tool_output(output);
        return;
    }
    if (!launch_path.empty() && !standby_mode) launch_built_program(launch_path);
}

void c_read_reassembly_header(const std::string& text)
{
    read_reassembly_header(text, 3, [](const std::string& name) {
        for (ListNode* node = import_library_entries ? import_library_entries->first : nullptr; node; node = node->next) {
            auto* library = reinterpret_cast<ImportLibraryEntry*>(node);
            if (library->name && strcasecmp(library->name, name.c_str()) == 0) library->used = 1;
        }
    });
}

void c_reassemble()
{
    commented_output = 1;
    os_set_current_folder(current_folder.c_str());
    std::string text;
    if (!os_read_file(combine_path(current_folder.c_str(), "zandrel.c").c_str(), text)) {
        std::printf("The file 'zandrel.c' isn't found or can't be opened !\n");
        std::fflush(stdout);
        // The run fails with the message alone, as the x64 rebuild does.
        set_build_error_reported(ERROR_ASSEMBLER_FAILED);
        return;
    }
    console_print("ReAssembling source code...\n");
    c_read_reassembly_header(text);
    link_system_libraries = used_import_library_names();

    if (create_work_directory().empty()) {
        report_error();
        return;
    }
    select_runtime_libraries();
    set_no_source_line();
    if (!error_number) c_build_executable();
    os_set_current_folder(current_folder.c_str());
    delete_directory_tree(work_folder.c_str());
    report_error();
}
