// The assembler command of the tests: the installation's "FAsm.exe"
// stand-in, so that tests assemble the way the compiler does (directly or
// under the emulator, whichever this machine needs).
#pragma once

#include <string>

inline std::string assembler_command(const std::string& source, const std::string& object)
{
    return std::string("\"") + ZANDREL_HOME + "/Compilers/FAsm.exe\" -m 524288 " + source + " " + object;
}
