// "polib.exe": the librarian. With /DEF it makes an import library through
// llvm-dlltool, else a static library of the given objects through llvm-ar.
// An export "A"=B of the definition file (symbol B imports A) is written for
// llvm-dlltool as a plain import of A, and a small object added to the
// library gives B and __imp_B in terms of A.
#include <cctype>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "toolchain/standins/standin_common.h"

namespace {

struct Alias {
    std::string symbol;   // what programs refer to
    std::string target;   // the import it stands for
};

std::string trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string unquote(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

// Rewrites the definition file for llvm-dlltool; notes whether it names its
// library and which exports are aliases.
std::string rewrite_definition(const std::string& text, bool& has_library, std::vector<Alias>& aliases)
{
    std::string result;
    bool in_exports = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        std::string keyword = line.substr(0, line.find_first_of(" \t"));
        for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (keyword == "LIBRARY" || keyword == "NAME") {
            has_library = true;
            in_exports = false;
            result += line + "\n";
            continue;
        }
        if (keyword == "EXPORTS") {
            in_exports = true;
            result += "EXPORTS\n";
            std::string rest = trim(line.substr(7));
            if (rest.empty()) continue;
            line = rest;
        } else if (!in_exports) {
            result += line + "\n";
            continue;
        }
        size_t equal = line.find('=');
        if (equal != std::string::npos && line.compare(equal, 2, "==") != 0) {
            std::string name = unquote(trim(line.substr(0, equal)));
            std::string rest = trim(line.substr(equal + 1));
            size_t blank = rest.find_first_of(" \t");
            std::string symbol = unquote(rest.substr(0, blank));
            std::string tail = blank == std::string::npos ? std::string() : rest.substr(blank);
            if (symbol != name && !symbol.empty()) aliases.push_back({symbol, name});
            result += "  " + name + tail + "\n";
        } else {
            result += "  " + line + "\n";
        }
    }
    return result;
}

std::string alias_assembly(const std::vector<Alias>& aliases)
{
    std::string text = "\t.text\n";
    for (const Alias& alias : aliases) {
        text += "\t.globl " + alias.symbol + "\n" + alias.symbol + ":\n\tjmpq *__imp_" + alias.target + "(%rip)\n";
    }
    text += "\t.data\n\t.p2align 3\n";
    for (const Alias& alias : aliases) {
        text += "\t.globl __imp_" + alias.symbol + "\n__imp_" + alias.symbol + ":\n\t.quad " + alias.symbol + "\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string definition;
    std::string output;
    std::vector<std::string> objects;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        std::string value;
        if (match_option(argument, "DEF", value)) definition = native_path(value);
        else if (match_option(argument, "OUT", value)) output = native_path(value);
        else if (is_option(argument) && !(argument[0] == '/' && argument.find('/', 1) != std::string::npos)) continue;
        else objects.push_back(native_path(argument));
    }
    if (output.empty()) {
        std::fprintf(stderr, "error: no /OUT: library given\n");
        return 1;
    }
    if (definition.empty()) {
        std::vector<std::string> command = {"llvm-ar", "rcs", output};
        command.insert(command.end(), objects.begin(), objects.end());
        unlink(output.c_str());
        return run_program(command);
    }

    std::string text;
    if (!read_text_file(definition, text)) {
        std::fprintf(stderr, "error: can't open %s\n", definition.c_str());
        return 1;
    }
    bool has_library = false;
    std::vector<Alias> aliases;
    std::string rewritten = rewrite_definition(text, has_library, aliases);
    std::string copy = output + ".def";
    if (!write_text_file(copy, rewritten)) {
        std::fprintf(stderr, "error: can't write %s\n", copy.c_str());
        return 1;
    }
    std::vector<std::string> command = {"llvm-dlltool", "-m", "i386:x86-64", "-d", copy, "-l", output};
    if (!has_library) {
        std::string stem = output.substr(output.rfind('/') == std::string::npos ? 0 : output.rfind('/') + 1);
        size_t dot = stem.rfind('.');
        if (dot != std::string::npos) stem.erase(dot);
        command.push_back("-D");
        command.push_back(stem + ".dll");
    }
    int code = run_program(command);
    unlink(copy.c_str());
    if (code != 0 || aliases.empty()) return code;

    std::string source = output + ".aliases.s";
    std::string object = output + ".aliases.obj";
    if (!write_text_file(source, alias_assembly(aliases))) return 1;
    code = run_program({"clang", "--target=x86_64-pc-windows-msvc", "-c", source, "-o", object});
    if (code == 0) code = run_program({"llvm-ar", "rs", output, object});
    unlink(source.c_str());
    unlink(object.c_str());
    return code;
}
