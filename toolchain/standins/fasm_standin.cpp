// "FAsm.exe": the flat assembler, "FAsm.exe SOURCE OBJECT". Runs fasm with
// enough memory for large generated files (its default is 16 MiB).
#include <string>
#include <vector>

#include "toolchain/standins/standin_common.h"

int main(int argc, char** argv)
{
    std::vector<std::string> files;
    std::vector<std::string> options;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        if (argument.size() == 2 && argument[0] == '-' && (argument[1] == 'm' || argument[1] == 'p' || argument[1] == 'd') &&
            i + 1 < argc) {
            options.push_back(argument);
            options.push_back(argv[++i]);
        } else if (argument.size() > 2 && argument[0] == '-' && argument[1] == 'd') {
            options.push_back(argument);
        } else if (!argument.empty() && argument[0] != '-') {
            files.push_back(native_path(argument));
        }
    }
    std::vector<std::string> command = {"fasm"};
    command.insert(command.end(), files.begin(), files.end());
    bool memory_given = false;
    for (const std::string& option : options) memory_given = memory_given || option == "-m";
    if (!memory_given) {
        command.push_back("-m");
        command.push_back("524288");
    }
    command.insert(command.end(), options.begin(), options.end());
    return run_program(command);
}
