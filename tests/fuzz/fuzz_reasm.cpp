// /REASM headers: the input is a "zandrel.asm" whose header lines name the
// libraries, system libraries and import files of the link; the program is
// built again from it with tools that do nothing.
#include <filesystem>
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/build_tools.h"
#include "core/core_globals.h"
#include "driver/reassembly.h"
#include "fuzz_support.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    std::filesystem::create_directories(fuzz::private_folder() + "reasm");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char output_name[] = "program.exe";
    fuzz::write_input("reasm/zandrel.asm", data, size);
    current_folder = current_folder_short = fuzz::private_folder() + "reasm/";
    reassemble_mode = 1;
    output_file = output_name;
    reassemble();
    reassemble_mode = 0;
    dll_mode = 0;
    commented_output = 0;
    output_file = nullptr;
    compiler_reset();
    os_set_current_folder(fuzz::private_folder().c_str());
    return 0;
}
