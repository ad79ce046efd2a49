// The build of the final program by the external tools (assembler, resource
// compiler, linker, librarian) and the import library of /WINDOWSIMPORT.
#pragma once

#include <string>
#include <vector>

// Assembles and links the written "zandrel.asm" in the work folder (the
// current folder); results through the error state.
void build_executable();

// The module-definition text of a DLL ("EXPORTS" and the exported names),
// filled by the program output; written as "Zandrel.def" into the work
// folder before the DLL is linked.
extern std::string export_definition_text;

// One imported function of the global procedure table: its name and the
// symbol it stands for.
struct ImportedFunctionName {
    std::string name;
    std::string symbol;
};

// /WINDOWSIMPORT: writes windows_import_file + ".def" from the imported
// functions given and has the librarian make the import library named by the
// first library of link_import_libraries.
void create_windows_import_library_from(const std::vector<ImportedFunctionName>& functions);

// The pieces of the build, exposed for tests.

// The assembler's command line for a source path.
std::string build_assembler_command(const std::string& source_path);
// The head of the link line up to and including the subsystem (executable)
// or the output (DLL). `output_path` is the full output path.
std::string build_link_head(const std::string& output_path, bool vc_linker);
// The output path and the head of the link line. A DLL's definition file is
// written (or, when reassembling, copied) into the work folder first; an
// executable without an output name is launched after its build and gets
// its path in `launch_path`.
std::string begin_link_line(std::string& output_path, std::string& launch_path);
// Appends the library part (library paths, fixed libraries, library objects,
// string manager, debugger, import libraries). False (error 270 set) when the
// import libraries reach 32000 characters.
bool append_link_libraries(std::string& line);
// The resource script text and whether it needs the manifest; "" when the
// program gets no resources. Sets error 104 for a missing icon.
std::string build_resource_script(bool& with_manifest);
// The manifest text for the current options.
std::string build_manifest();
// The full output path: current_folder_short combined with the name.
std::string build_output_path(const char* name);
// The import library beside a DLL: the path without the extension of its
// file part, + ".lib".
std::string import_library_path(const std::string& dll_path);
// The text shown for a failing tool: kind 0 assembler, 1 resource compiler,
// 2 linker.
std::string tool_failure_text(int kind, const char* output);

// Shared with the C back end's build.
// Shows a failing tool's text (standby: "ERROR\t<word>" block; console:
// "Error: <title>\n<text>").
void show_build_tool_failure(const char* protocol_word, const char* console_title, const std::string& text);
// Records the error as one whose text the build has shown itself.
void set_build_error_reported(int number);
// Whether a name is already on the link line: compared whole and without
// regard to case.
bool line_holds_name(const std::vector<std::string>& names, const std::string& name);
// The start of the link line's library part: the system library folder, the
// tools folder (without its trailing separator) and the fixed libraries,
// each name also recorded in `names_on_line`.
void append_link_library_head(std::string& line, const char* const* fixed_names, size_t fixed_count,
                              std::vector<std::string>& names_on_line);
// The used libraries' object files (written into the work folder), their
// system libraries and the object manager; `names_on_line` holds the names
// already on the line (whole names, any case) and receives the new ones.
void append_library_objects_and_imports(std::string& line, std::vector<std::string>& names_on_line);
// The quoted used system libraries and Import-block files; false once the
// part reaches 32000 characters.
bool append_import_library_list(std::string& line);
// Runs the resource compiler on the work folder's "Zandrel.rc"; false after a
// failure (shown, error 173 recorded).
bool run_resource_compiler();
// Starts the built program, or the debugger with it.
void launch_built_program(const std::string& launch_path);
