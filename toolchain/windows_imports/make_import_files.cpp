// Build step: turns the function lists of this folder into the import files
// that the compilers load from "ZandLibraries\Windows\" at start.
//   make_import_files OUTPUT_FOLDER LIST...
// Each LIST is "<LIBRARY>.txt"; the import file is OUTPUT_FOLDER/<LIBRARY>.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/import_file_format.h"

namespace {

// TypeCode of a parameter letter; 0 for an unknown letter.
uint8_t type_of_letter(char letter)
{
    switch (letter) {
    case 'b': return 1;
    case 'w': return 3;
    case 'l': return 5;
    case 's': return 8;
    case 'u': return 8;
    case 'f': return 9;
    case 'd': return 12;
    case 'q': return 13;
    case 'i': return 21;
    default: return 0;
    }
}

bool convert(const std::string& list_path, const std::string& output_folder)
{
    std::ifstream in(list_path);
    if (!in) {
        std::fprintf(stderr, "make_import_files: cannot read %s\n", list_path.c_str());
        return false;
    }
    std::string file = list_path.substr(list_path.find_last_of('/') + 1);
    std::string library = file.substr(0, file.find('.'));
    std::vector<ImportFunctionSpec> functions;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        number++;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        ImportFunctionSpec f;
        if (!(words >> f.name >> f.symbol)) {
            std::fprintf(stderr, "%s:%d: name and symbol expected\n", list_path.c_str(), number);
            return false;
        }
        std::string letter;
        while (words >> letter) {
            uint8_t type = letter.size() == 1 ? type_of_letter(letter[0]) : 0;
            if (!type) {
                std::fprintf(stderr, "%s:%d: unknown parameter type '%s'\n", list_path.c_str(), number, letter.c_str());
                return false;
            }
            // The text an editor shows for the call: "a.l, b.s".
            if (!f.parameter_types.empty()) f.parameter_text += ", ";
            f.parameter_text += static_cast<char>('a' + f.parameter_types.size() % 26);
            f.parameter_text += '.';
            f.parameter_text += letter[0] == 'u' ? 's' : letter[0];
            f.parameter_types.push_back(type);
            if (letter[0] == 's' || letter[0] == 'u') f.string_parameter_count++;
        }
        f.stack_size = static_cast<int16_t>(8 * f.parameter_types.size());
        functions.push_back(f);
    }
    std::string bytes = build_import_file(library, functions);
    std::string output = output_folder + "/" + library;
    std::ofstream out(output, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_import_files: cannot write %s\n", output.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_import_files OUTPUT_FOLDER LIST...\n");
        return 2;
    }
    for (int i = 2; i < argc; i++) {
        if (!convert(argv[i], argv[1])) return 1;
    }
    return 0;
}
