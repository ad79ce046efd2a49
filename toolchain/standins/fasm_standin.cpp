// "FAsm.exe": the flat assembler, "FAsm.exe SOURCE OBJECT". Runs fasm with
// enough memory for large generated files (its default is 16 MiB).
//
// Debian's fasm is a 32-bit i386 program, which kernels built without 32-bit
// support refuse to execute. Then the same command runs under the user-mode
// emulator qemu-i386. ZANDREL_FASM_EMULATOR names an emulator to use from
// the start (the tests force the emulator path this way).
#include <cstdlib>
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
    const char* forced = std::getenv("ZANDREL_FASM_EMULATOR");
    if (!forced || !*forced) {
        bool refused = false;
        int rc = run_program_unless_refused(command, refused);
        if (!refused) return rc;
        forced = "qemu-i386";
    }
    // The emulator takes the program's own path, not a name to search.
    command[0] = find_in_path(command[0]);
    command.insert(command.begin(), forced);
    return run_program(command);
}
