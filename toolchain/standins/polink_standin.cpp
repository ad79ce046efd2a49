// "polink" / "polink.exe": the linker. Runs lld-link with the options it
// understands; a library or object is resolved here, ignoring case, against
// the current folder and every /LIBPATH folder (lld-link searches /LIBPATH
// only for names without a folder part, and case-sensitively on Linux).
// Response files ("@file") are read here and split by the Windows rules.
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "toolchain/standins/standin_common.h"

namespace {

// Options passed on, with whether their value is a path.
struct KnownOption {
    const char* name;
    bool path_value;
};

const KnownOption known_options[] = {
    {"OUT", true},         {"DEF", true},          {"IMPLIB", true},          {"MAP", true},
    {"LIBPATH", true},     {"SUBSYSTEM", false},   {"NODEFAULTLIB", false},   {"DEFAULTLIB", false},
    {"FORCE", false},      {"DLL", false},         {"LARGEADDRESSAWARE", false}, {"HIGHENTROPYVA", false},
    {"DYNAMICBASE", false}, {"ENTRY", false},      {"MACHINE", false},        {"NOLOGO", false},
    {"RELEASE", false},    {"STACK", false},       {"HEAP", false},           {"BASE", false},
    {"FIXED", false},      {"MERGE", false},       {"SECTION", false},        {"OPT", false},
    {"DEBUG", false},      {"VERSION", false},     {"EXPORT", false},         {"NOENTRY", false},
    {"INCLUDE", false},    {"ALIGN", false},       {"FILEALIGN", false},      {"NXCOMPAT", false},
    {"ALTERNATENAME", false}, {"IGNORE", false},   {"VERBOSE", false},        {"TSAWARE", false},
};

struct LinkState {
    std::vector<std::string> options;
    std::vector<std::string> files;
    std::vector<std::string> library_folders;
};

void add_argument(LinkState& state, const std::string& argument, int depth);

void add_response_file(LinkState& state, const std::string& name, int depth)
{
    std::string text;
    if (depth > 8 || !read_text_file(native_path(name), text)) {
        state.files.push_back(name);  // lld-link reports the missing file
        return;
    }
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    std::vector<std::string> arguments = os_split_command_line(("x " + text).c_str(), true);
    for (size_t i = 1; i < arguments.size(); i++) add_argument(state, arguments[i], depth + 1);
}

void add_argument(LinkState& state, const std::string& argument, int depth)
{
    if (argument.empty()) return;
    if (argument[0] == '@') {
        add_response_file(state, argument.substr(1), depth);
        return;
    }
    if (is_option(argument)) {
        for (const KnownOption& option : known_options) {
            std::string value;
            if (!match_option(argument, option.name, value)) continue;
            if (option.path_value && !value.empty()) {
                value = native_path(value);
                if (std::strcmp(option.name, "LIBPATH") == 0) state.library_folders.push_back(value);
                state.options.push_back("/" + std::string(option.name) + ":" + value);
            } else {
                state.options.push_back(argument[0] == '-' ? "/" + argument.substr(1) : argument);
            }
            return;
        }
        // A Linux absolute path rather than an option: a file.
        if (argument[0] == '/' && argument.find('/', 1) != std::string::npos) {
            state.files.push_back(argument);
        }
        return;  // an option lld-link can't take
    }
    state.files.push_back(argument);
}

bool exists_as_file(const std::string& path)
{
    return os_file_exists(path.c_str());
}

std::string resolve_input(const LinkState& state, const std::string& name)
{
    std::string direct = native_path(name);
    if (exists_as_file(direct)) return direct;
    if (name[0] != '/') {
        for (const std::string& folder : state.library_folders) {
            std::string candidate = native_path(folder + "/" + name);
            if (exists_as_file(candidate)) return candidate;
        }
    }
    return name;
}

}  // namespace

int main(int argc, char** argv)
{
    LinkState state;
    for (int i = 1; i < argc; i++) add_argument(state, argv[i], 0);
    std::vector<std::string> command = {"lld-link"};
    command.insert(command.end(), state.options.begin(), state.options.end());
    for (const std::string& file : state.files) command.push_back(resolve_input(state, file));
    return run_program(command);
}
