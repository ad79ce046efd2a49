// The build of the final program by the external tools of the tools folder:
// assembler, resource compiler, linker and, for a DLL, librarian; then the
// launch of the program. Also the import library of /WINDOWSIMPORT.
#include "core/build_tools.h"

#include <cctype>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "platform/platform.h"

std::vector<LinkLibrary> link_library_list;
std::vector<std::string> link_system_libraries;
std::vector<std::string> link_import_libraries;
std::string export_definition_text;

void reset_link_lists()
{
    link_library_list.clear();
    link_system_libraries.clear();
    link_import_libraries.clear();
}

namespace {

constexpr size_t library_list_limit = 32000;

const char* const fixed_libraries[] = {
    "Zandrel.obj", "SystemBase.lib", "StringUtility.lib", "UnicodeFunctions.lib", "libcmt.lib", "libcpmt.lib",
    "libucrt.lib", "libvcruntime.lib", "KERNEL32.lib", "USER32.lib", "GDI32.lib", "COMDLG32.lib",
    "ADVAPI32.lib", "COMCTL32.lib", "OLEAUT32.lib",
};

const char* const protected_dlls[] = {
    "WINMMBASE.dll", "FONTSUB.dll", "USP10.dll", "PROPSYS.dll", "IPHLPAPI.dll", "URLMON.dll", "MSISO.dll",
    "MLANG.dll", "WININET.dll", "D3D10WARP.dll", "WINMM.dll", "MSIMG32.dll", "CRYPTBASE.dll", "SSPICLI.dll",
    "WLDP.dll", "PROFAPI.dll", "MPR.dll", "VERSION.dll", "NETAPI32.dll", "SRVCLI.dll", "TEXTSHAPING.dll",
    "WINDOWSCODECS.dll", "CRYPTSP.dll", "MSVCP110_WIN.dll", "WSOCK32.dll", "ATL.dll", "IMAGERES.dll",
    "MSFTEDIT.dll", "RICHED20.dll", "MSLS31.dll", "GLU32.dll", "OPENGL32.dll", "SECUR32.dll", "ODBC32.dll",
    "DPAPI.dll",
};

bool progress_enabled()
{
    return standby_mode && report_progress != 0;
}

bool has_text(const char* text)
{
    return text && text[0];
}

// Shows a failing tool's text, in protocol form in standby mode.
void show_tool_failure(const char* protocol_word, const char* console_title, const std::string& text)
{
    if (standby_mode) {
        std::string clean;
        for (char c : text)
            if (c != '\r') clean += c;
        std::printf("ERROR\t%s\n", protocol_word);
        std::printf("%s", clean.c_str());
        std::printf("\n");
        std::printf("OUTPUT\tCOMPLETE\n");
        std::fflush(stdout);
    } else {
        std::printf("Error: %s\n%s", console_title, text.c_str());
        std::fflush(stdout);
    }
}

// Records an error whose text the build has shown itself.
void set_reported_error(int number)
{
    set_error(number);
    error_reported = 2;
}

// Appends the system library names of one library that the line does not
// hold yet: a name without extension gets ".LIB".
void append_library_names(std::string& line, std::vector<std::string>& names_on_line, const char* packed, int count)
{
    const char* name = packed;
    for (int i = 0; i < count && name; i++) {
        std::string item = name;
        name += item.size() + 1;
        if (item.empty()) continue;
        bool has_extension = path_file_part(item.c_str()).find('.') != std::string::npos;
        std::string file = has_extension ? item : item + ".LIB";
        if (line_holds_name(names_on_line, file)) continue;
        names_on_line.push_back(file);
        line += file + " ";
    }
}

// Object files of the used libraries, written into the work folder under
// the names the line gives them, with their system libraries.
void append_library_objects(std::string& line, std::vector<std::string>& names_on_line)
{
    bool object_library = false;
    for (const LinkLibrary& library : link_library_list) {
        bool debug = debugger_enabled && library.debug_data;
        std::string object = std::string(library.name) + (debugger_enabled ? "_Debug.obj" : ".obj");
        const void* data = debug ? library.debug_data : library.object_data;
        uint64_t size = debug ? library.debug_size : library.object_size;
        if (data) {
            os_write_file(combine_path(work_folder.c_str(), object.c_str()).c_str(), data, size);
            line += object + " ";
            names_on_line.push_back(object);
        }
        append_library_names(line, names_on_line, library.system_names, library.system_name_count);
        if (library.uses_object_manager) object_library = true;
    }
    if (object_library) line += thread_safe ? "compilers/objectmanagerthread.lib " : "compilers/objectmanager.lib ";
}

// The import libraries: used system libraries and the files of Import
// blocks, each in double quotes. False once the part reaches the limit.
bool build_library_list(std::string& part)
{
    for (const std::string& name : link_system_libraries) {
        bool has_extension = path_file_part(name.c_str()).find('.') != std::string::npos;
        part += " \"" + (has_extension ? name : name + ".lib") + "\"";
        if (part.size() >= library_list_limit) return false;
    }
    for (const std::string& name : link_import_libraries) {
        part += " \"" + name + "\"";
        if (part.size() >= library_list_limit) return false;
    }
    return true;
}

bool is_absolute_icon_path(const char* path)
{
    return path[0] == '\\' || path[0] == '/' || (path[0] && path[1] == ':');
}

std::string double_backslashes(const std::string& text)
{
    std::string result;
    for (char c : text) {
        result += c;
        if (c == '\\') result += '\\';
    }
    return result;
}

// Runs the resource compiler in the source folder; false after a failure.
bool compile_resources()
{
    os_set_current_folder(current_folder_short.c_str());
    std::string command = "\"" + tools_folder + "porc.exe\" \"" + work_folder + "Zandrel.rc\" /Fo\"" + work_folder + "Zandrel.res\"";
    char* output = nullptr;
    int ok = run_tool_capture_output(command.c_str(), &output);
    os_set_current_folder(work_folder.c_str());
    if (ok) return true;
    show_tool_failure("RESOURCE", "Resource", tool_failure_text(1, output));
    if (output) os_heap_free(permanent_heap, output);
    // The tool's text is the whole report.
    set_reported_error(ERROR_RESOURCE_FILE_NOT_CREATED);
    return false;
}

void launch_program(const std::string& launch_path)
{
    if (debugger_enabled && std::strcmp(executable_subsystem_name, "Console") != 0) {
        std::string parameters = "\"" + launch_path + "\" ";
        os_shell_open("zddebugger.exe", parameters.c_str(), tools_folder.c_str());
    } else {
        os_shell_open(launch_path.c_str(), "", tools_folder.c_str());
    }
}

}  // namespace

bool line_holds_name(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& known : names)
        if (strcasecmp(known.c_str(), name.c_str()) == 0) return true;
    return false;
}

std::string build_assembler_command(const std::string& source_path)
{
    return "\"" + tools_folder + "FAsm.exe\" \"" + source_path + "\" Zandrel.obj";
}

std::string build_output_path(const char* name)
{
    return combine_path(current_folder_short.c_str(), name);
}

std::string build_link_head(const std::string& output_path, bool vc_linker)
{
    if (dll_mode) return "\"" + tools_folder + "polink.exe\" /FORCE:MULTIPLE /DLL /DEF:Zandrel.def /OUT:\"" + output_path + "\"";
    std::string line;
    if (vc_linker) line = "\"" + tools_folder + "vc\\link.exe\" /NOLOGO /FORCE:MULTIPLE /OUT:\"";
    else line = "\"" + tools_folder + "polink\" /NOLOGO /FORCE:MULTIPLE /LARGEADDRESSAWARE /HIGHENTROPYVA /DYNAMICBASE /OUT:\"";
    line += output_path + "\" /SUBSYSTEM:" + executable_subsystem_name;
    if (!vc_linker) line += ",5.0";
    return line;
}

void append_link_library_head(std::string& line, const char* const* fixed_names, size_t fixed_count,
                              std::vector<std::string>& names_on_line)
{
    // The tools folder goes without its trailing backslash: "\"" would quote.
    std::string tools = tools_folder;
    if (!tools.empty() && (tools.back() == '\\' || tools.back() == '/')) tools.pop_back();
    line += " /LIBPATH:\"" + home_folder + "ZandLibraries\\Windows\\Libraries\"";
    line += " /NODEFAULTLIB /LIBPATH:\"" + tools + "\"";
    line += " ";
    for (size_t i = 0; i < fixed_count; i++) {
        line += std::string(fixed_names[i]) + " ";
        names_on_line.push_back(fixed_names[i]);
    }
}

bool append_link_libraries(std::string& line)
{
    std::vector<std::string> names_on_line;
    append_link_library_head(line, fixed_libraries, std::size(fixed_libraries), names_on_line);
    append_library_objects(line, names_on_line);
    line += "\"" + tools_folder + "compilers/stringmanager" + (thread_safe ? "thread" : "") + (purifier_enabled ? "purifier" : "") +
            ".lib\"";
    if (debugger_enabled) line += " Debugger.lib ";
    std::string part;
    if (!build_library_list(part)) {
        set_error(ERROR_TOO_MANY_LINKER_PARAMETERS);
        return false;
    }
    line += part;
    return true;
}

std::string build_manifest()
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n";
    if (dll_protection) {
        for (const char* dll : protected_dlls) {
            text += "  <file name=\"";
            text += dll;
            text += "\" loadFrom=\"%SystemRoot%\\system32\\";
            text += dll;
            text += "\"/>\n";
        }
    }
    text += "  <assemblyIdentity version=\"1.0.0.0\" processorArchitecture=\"amd64\" name=\"CompanyName.ProductName.YourApp\" "
            "type=\"win32\"/>\n"
            "  <description></description>\n";
    if (xp_skin) {
        text += "  <dependency>\n"
                "    <dependentAssembly>\n"
                "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
                "processorArchitecture=\"amd64\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
                "    </dependentAssembly>\n"
                "  </dependency>\n";
    }
    text += "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\n"
            "    <application>\n"
            "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"
            "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"
            "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"
            "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"
            "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"
            "    </application>\n"
            "  </compatibility>\n";
    // A DLL gets no execution-level request.
    bool user = run_as_user && !dll_mode;
    bool administrator = run_as_administrator && !dll_mode;
    if (administrator || user) {
        text += "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v2\">\n"
                "    <security>\n"
                "      <requestedPrivileges>\n"
                "        <requestedExecutionLevel level=\"";
        text += administrator ? "requireAdministrator" : "asInvoker";
        text += "\" uiAccess=\"false\"/>\n"
                "      </requestedPrivileges>\n"
                "    </security>\n"
                "  </trustInfo>\n";
    }
    if (dpi_aware) {
        text += "  <asmv3:application xmlns:asmv3=\"urn:schemas-microsoft-com:asm.v3\">\n"
                "    <asmv3:windowsSettings xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">\n"
                "      <dpiAware>true</dpiAware>\n"
                "    </asmv3:windowsSettings>\n"
                "  </asmv3:application>\n";
    }
    text += "</assembly>\n";
    return text;
}

std::string build_resource_script(bool& with_manifest)
{
    with_manifest = false;
    bool icon = has_text(icon_file) && !dll_mode;
    bool user = run_as_user && !dll_mode;
    bool administrator = run_as_administrator && !dll_mode;
    if (!(icon || xp_skin || dll_protection || dpi_aware || has_text(resource_file) || user || administrator)) return std::string();

    std::string script = "\xEF\xBB\xBF";
    if (has_text(resource_file)) script += "#include \"" + std::string(resource_file) + "\"\n";
    if (icon) {
        std::string path = is_absolute_icon_path(icon_file) ? std::string(icon_file) : combine_path(current_folder_short.c_str(), icon_file);
        if (!file_exists(path.c_str())) set_error(ERROR_ICON_FILE_NOT_FOUND);
        else script += "1 ICON \"" + double_backslashes(path) + "\"\n";
    }
    if (xp_skin || dll_protection || user || administrator || dpi_aware) {
        with_manifest = true;
        script += "1 MANIFEST \"Manifest\"\n";
    }
    return script;
}

std::string import_library_path(const std::string& dll_path)
{
    size_t separator = os_last_separator(dll_path);
    size_t dot = dll_path.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) return dll_path.substr(0, dot) + ".lib";
    return dll_path + ".lib";
}

std::string tool_failure_text(int kind, const char* output)
{
    if (!output || !output[0]) return "Unknown error\n";
    std::string text = output;
    if (kind == 0) {
        size_t line_feed = text.find('\n');
        if (line_feed == std::string::npos) return text;
        size_t start = text.find_first_not_of("\n\r ", line_feed);
        return start == std::string::npos ? std::string() : text.substr(start);
    }
    if (kind == 2) {
        size_t error = text.find("error:");
        if (error != std::string::npos) return text.substr(error);
    }
    return text;
}

std::string begin_link_line(std::string& output_path, std::string& launch_path)
{
    if (dll_mode) {
        const char* name = has_text(output_file) ? output_file : "Zandrel.dll";
        console_print("Creating DLL \"%s\"\n", name);
        output_path = build_output_path(name);
        if (!reassemble_mode)
            os_write_file((work_folder + "Zandrel.def").c_str(), export_definition_text.data(), export_definition_text.size());
        if (reassemble_mode) os_copy_file((current_folder_short + "Zandrel.def").c_str(), (work_folder + "Zandrel.def").c_str());
        else if (commented_output) os_copy_file((work_folder + "Zandrel.def").c_str(), (current_folder_short + "Zandrel.def").c_str());
        return build_link_head(output_path, false);
    }
    bool vc_linker = file_exists((tools_folder + "vc\\link.exe").c_str());
    if (has_text(output_file)) {
        output_path = build_output_path(output_file);
        console_print("Creating executable \"%s\".\n", output_file);
    } else {
        output_path = build_output_path("Zandrel.exe");
        launch_path = output_path;
        console_print("Creating and launching executable.\n");
    }
    return build_link_head(output_path, vc_linker);
}

void build_executable()
{
    if (progress_enabled()) {
        std::printf("PROGRESS\tASSEMBLING\n");
        std::fflush(stdout);
    }
    os_set_current_folder(work_folder.c_str());

    // Assemble.
    std::string source = work_folder + "zandrel.asm";
    if (reassemble_mode) {
        source = current_folder_short + "zandrel.asm";
        for (char& c : source)
            if (c == '/') c = '\\';
    }
    char* output = nullptr;
    if (!run_tool_capture_output(build_assembler_command(source).c_str(), &output)) {
        show_tool_failure("ASSEMBLER", "Assembler", tool_failure_text(0, output));
        if (output) os_heap_free(permanent_heap, output);
        set_reported_error(ERROR_ASSEMBLER_FAILED);
        return;
    }

    std::string output_path;
    std::string launch_path;
    std::string line = begin_link_line(output_path, launch_path);
    if (!append_link_libraries(line)) {
        return;
    }

    // Resources.
    bool with_manifest = false;
    std::string script = build_resource_script(with_manifest);
    if (!script.empty()) {
        os_write_file((work_folder + "Zandrel.rc").c_str(), script.data(), script.size());
        if (with_manifest) {
            std::string manifest = build_manifest();
            os_write_file((work_folder + "Manifest").c_str(), manifest.data(), manifest.size());
        }
        // After "Icon file not found." the resource compiler does not run.
        if (!error_number && !compile_resources()) return;
        line += " Zandrel.res";
    }
    // The link runs in the work folder: a relative commands file is the
    // user's, next to where the compilation started.
    if (has_text(linker_file)) line += " @\"" + combine_path(current_folder_short.c_str(), linker_file) + "\"";
    if (error_number) return;

    // Link.
    if (progress_enabled()) {
        std::printf("PROGRESS\tLINKING\n");
        std::fflush(stdout);
    }
    if (!run_tool_capture_output(line.c_str(), &output)) {
        show_tool_failure("LINKER", "Linker", tool_failure_text(2, output));
        if (output) os_heap_free(permanent_heap, output);
        // The tool's text is the whole report.
        set_reported_error(ERROR_EXECUTABLE_NOT_CREATED);
        return;
    }

    if (dll_mode) {
        std::string command = "\"" + tools_folder + "polib.exe\" /MACHINE:X64 /DEF:Zandrel.def /OUT:\"" + import_library_path(output_path) + "\"";
        if (!run_tool_capture_output(command.c_str(), &output) && output) os_heap_free(permanent_heap, output);
        return;
    }
    if (!launch_path.empty() && !standby_mode) launch_program(launch_path);
}

void create_windows_import_library_from(const std::vector<ImportedFunctionName>& functions)
{
    std::string definition = std::string(windows_import_file ? windows_import_file : "") + ".def";
    FILE* file = create_file_utf8(definition.c_str());
    if (!file) {
        set_error_format(ERROR_DEF_FILE_NOT_CREATED, definition.c_str());
        return;
    }
    std::string library = link_import_libraries.empty() ? std::string() : link_import_libraries.front();
    if (library.size() < 5 || strcasecmp(library.c_str() + library.size() - 4, ".lib") != 0) {
        std::fclose(file);
        os_delete_file(definition.c_str());
        return;
    }
    // The DLL's own name: the file part of the (possibly resolved) entry.
    std::string dll = path_file_part(library.c_str());
    dll = dll.substr(0, dll.size() - 4) + ".dll";
    for (char& c : dll) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::fprintf(file, "LIBRARY \"%s\"\n", dll.c_str());
    std::fprintf(file, "EXPORTS\n");
    for (const ImportedFunctionName& function : functions) {
        std::string name = function.name;
        if (name.size() > 1 && name.back() == '_') name.pop_back();
        std::fprintf(file, "\"%s\"=%s\n", name.c_str(), function.symbol.c_str());
    }
    std::fclose(file);

    std::string command = "\"" + tools_folder + "polib.exe\" /MACHINE:X64 /DEF:\"" + definition + "\" /OUT:\"" + windows_import_file + "\"";
    char* output = nullptr;
    if (run_tool_capture_output(command.c_str(), &output)) {
        console_print("Windows import library '%s' created.\n", windows_import_file);
    } else {
        // The message buffer cuts a long tool text.
        set_error_format(ERROR_RESIDENT_FILE_NOT_CREATED, output ? output : "");
        if (output) os_heap_free(permanent_heap, output);
    }
    os_delete_file(definition.c_str());
}

// ---------------------------------------------------------------------------
// Pieces of the build that the C back end's build shares.

void show_build_tool_failure(const char* protocol_word, const char* console_title, const std::string& text)
{
    show_tool_failure(protocol_word, console_title, text);
}

void set_build_error_reported(int number)
{
    set_reported_error(number);
}

void append_library_objects_and_imports(std::string& line, std::vector<std::string>& names_on_line)
{
    append_library_objects(line, names_on_line);
}

bool append_import_library_list(std::string& line)
{
    std::string part;
    if (!build_library_list(part)) return false;
    line += part;
    return true;
}

bool run_resource_compiler()
{
    return compile_resources();
}

void launch_built_program(const std::string& launch_path)
{
    launch_program(launch_path);
}
