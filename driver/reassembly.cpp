// The /REASM run mode: reads the header of the kept generated file, marks the
// libraries it names and runs the build again.
#include "driver/reassembly.h"

#include <cstdio>
#include <strings.h>

#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "frontend/libraries.h"
#include "platform/platform.h"

void read_reassembly_header(const std::string& text, size_t mark_length, void (*add_system_library)(const std::string& name))
{
    enum { libraries, system_libraries, import_libraries } section = libraries;
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ';' || text[pos] == '/')) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size() && text[pos] == '\r') pos++;
        if (pos < text.size() && text[pos] == '\n') pos++;
        if (line.size() <= mark_length) continue;
        std::string name = line.substr(mark_length);
        if (name == ":DLL") {
            dll_mode = 1;
        } else if (strcasecmp(name.c_str(), ":System") == 0) {
            section = system_libraries;
        } else if (strcasecmp(name.c_str(), ":Import") == 0) {
            section = import_libraries;
        } else if (section == system_libraries) {
            add_system_library(name);
        } else if (section == import_libraries) {
            link_import_libraries.push_back(name);
        } else {
            mark_library_used(name.c_str());
        }
    }
}

void reassemble()
{
    commented_output = 1;
    os_set_current_folder(current_folder.c_str());
    std::string text;
    if (!os_read_file(combine_path(current_folder.c_str(), "zandrel.asm").c_str(), text)) {
        std::printf("The file 'zandrel.asm' isn't found or can't be opened !\n");
        std::fflush(stdout);
        set_build_error_reported(ERROR_ASSEMBLER_FAILED);
        return;
    }
    console_print("ReAssembling source code...\n");

    read_reassembly_header(text, 2, [](const std::string& name) {
        if (!line_holds_name(link_system_libraries, name)) link_system_libraries.push_back(name);
    });

    if (create_work_directory().empty()) {
        report_error();
        return;
    }
    select_runtime_libraries();
    set_no_source_line();
    if (!error_number) build_executable();
    os_set_current_folder(current_folder.c_str());
    delete_directory_tree(work_folder.c_str());
    report_error();
}
