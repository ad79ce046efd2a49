// "gcc": the C compiler of the C-back-end compiler, found through PATH in the
// tools folder's "gcc" subfolder. Compiles the generated C file with clang
// for 64-bit Windows (GNU object conventions, which link with our runtime
// and lld-link). The generated file declares everything it uses, so no
// system header is searched. Options that only gcc's optimiser knows are
// dropped; gcc's warning names are given their clang names.
#include <cstring>
#include <string>
#include <vector>

#include "toolchain/standins/standin_common.h"

#ifndef ZANDREL_CLANG_PATH
#define ZANDREL_CLANG_PATH "clang"
#endif

namespace {

// gcc optimiser tuning without a clang counterpart.
const char* const dropped_options[] = {
    "-fno-tree-vrp", "-freorder-blocks-algorithm=simple", "-fno-schedule-insns", "-fno-schedule-insns2",
};

struct WarningName {
    const char* gcc;
    const char* clang;
};
const WarningName warning_names[] = {
    {"-Wno-discarded-qualifiers", "-Wno-incompatible-pointer-types-discards-qualifiers"},
    {"-Wno-overflow", "-Wno-constant-conversion"},
};

bool is_dropped(const std::string& argument)
{
    for (const char* option : dropped_options)
        if (argument == option) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> command = {ZANDREL_CLANG_PATH, "--target=x86_64-w64-windows-gnu", "-nostdinc",
                                        "-fno-stack-protector", "-Wno-unknown-pragmas", "-Wno-implicit-function-declaration"};
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        if (argument.empty() || is_dropped(argument)) continue;
        if (argument == "-o" && i + 1 < argc) {
            command.push_back("-o");
            command.push_back(native_path(argv[++i]));
            continue;
        }
        if (argument[0] == '-') {
            bool renamed = false;
            for (const WarningName& name : warning_names) {
                if (argument == name.gcc) {
                    command.push_back(name.clang);
                    renamed = true;
                }
            }
            if (!renamed) command.push_back(argument);
            continue;
        }
        command.push_back(native_path(argument));
    }
    return run_program(command);
}
