// "porc.exe": the resource compiler, "porc.exe SCRIPT /FoRESOURCE". Runs
// llvm-rc on a copy of the script in which every file name is made an
// absolute Linux path (an #include against the current folder, a resource
// file against the script's folder first) and MANIFEST is written as its
// numeric type 24. A failed run leaves no resource file behind.
#include <cctype>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/platform.h"
#include "toolchain/standins/standin_common.h"

namespace {

std::string absolute_from(const std::string& folder, const std::string& name)
{
    if (!name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'))) return native_path(name);
    std::string candidate = native_path(folder + name);
    return candidate;
}

std::string unescape(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') i++;
        result += text[i];
    }
    return result;
}

std::string quote_for_script(const std::string& path)
{
    std::string result = "\"";
    for (char c : path) {
        if (c == '\\' || c == '"') result += '\\';
        result += c;
    }
    return result + "\"";
}

// Rewrites one line of the script; `script_folder` and `work_folder` end in '/'.
std::string rewrite_line(const std::string& line, const std::string& script_folder, const std::string& work_folder)
{
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) return line;
    size_t open = line.find('"');
    size_t close = line.rfind('"');
    if (open == std::string::npos || close <= open) return line;
    std::string head = line.substr(0, open);
    std::string name = line.substr(open + 1, close - open - 1);
    if (line.compare(first, 8, "#include") == 0) {
        return "#include " + quote_for_script(absolute_from(work_folder, name)) + line.substr(close + 1);
    }
    // "<id> <TYPE> "<file>"": resource statements that name a file.
    std::vector<std::string> words;
    size_t pos = first;
    while (pos < open) {
        size_t end = head.find_first_of(" \t", pos);
        if (end == std::string::npos) end = head.size();
        if (end > pos) words.push_back(head.substr(pos, end - pos));
        pos = head.find_first_not_of(" \t", end);
        if (pos == std::string::npos) break;
    }
    if (words.size() != 2) return line;
    std::string type = words[1];
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (type == "MANIFEST") type = "24";
    std::string file = unescape(name);
    std::string path = absolute_from(script_folder, file);
    if (!os_file_exists(path.c_str()) && file[0] != '/' && file[0] != '\\') path = absolute_from(work_folder, file);
    return words[0] + " " + type + " " + quote_for_script(path) + line.substr(close + 1);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string script;
    std::string resource;
    std::vector<std::string> include_folders;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        // "/Fo<file>" glued (an existing file named "/fo..." is the script instead).
        if (argument.size() > 3 && (argument[0] == '/' || argument[0] == '-') && (argument[1] == 'F' || argument[1] == 'f') &&
            (argument[2] == 'o' || argument[2] == 'O') && !os_file_exists(argument.c_str())) {
            resource = argument.substr(3);
            continue;
        }
        if ((argument == "/Fo" || argument == "/fo" || argument == "-fo" || argument == "-Fo") && i + 1 < argc) {
            resource = argv[++i];
        } else if ((argument == "/I" || argument == "-I" || argument == "/i") && i + 1 < argc) {
            include_folders.push_back(native_path(argv[++i]));
        } else if (is_option(argument) && !(argument[0] == '/' && os_file_exists(argument.c_str()))) {
            continue;  // options llvm-rc can't take
        } else {
            script = argument;
        }
    }
    if (script.empty() || resource.empty()) {
        std::fprintf(stderr, "error: usage: porc.exe SCRIPT /FoRESOURCE\n");
        return 1;
    }
    std::string script_path = native_path(script);
    std::string resource_path = native_path(resource);
    std::string text;
    if (!read_text_file(script_path, text)) {
        std::fprintf(stderr, "error: can't open %s\n", script_path.c_str());
        return 1;
    }
    std::string work_folder = current_directory() + "/";
    std::string script_folder = folder_of(script_path);
    if (script_folder.empty()) script_folder = work_folder;
    std::string rewritten;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        bool cr = !line.empty() && line.back() == '\r';
        if (cr) line.pop_back();
        rewritten += rewrite_line(line, script_folder, work_folder) + (cr ? "\r" : "") + (end < text.size() ? "\n" : "");
        pos = end + 1;
    }
    std::string copy = resource_path + ".rc";
    if (!write_text_file(copy, rewritten)) {
        std::fprintf(stderr, "error: can't write %s\n", copy.c_str());
        return 1;
    }
    std::vector<std::string> command = {"llvm-rc", "/C", "65001", "/I", work_folder, "/I", script_folder};
    for (const std::string& folder : include_folders) {
        command.push_back("/I");
        command.push_back(folder);
    }
    command.push_back("/FO");
    command.push_back(resource_path);
    command.push_back(copy);
    int code = run_program(command);
    unlink(copy.c_str());
    if (code != 0) unlink(resource_path.c_str());
    return code;
}
