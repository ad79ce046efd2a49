// Zandforge descriptors: the input is a descriptor, parsed as Zandforge
// parses it; when it has no error the library is written (from a small
// object file, compressed every other time) and loaded by the compiler's
// reader, and then taken out of its tables again.
#include <filesystem>
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "forge/forge.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    std::filesystem::create_directories(fuzz::private_folder() + "forge");
    std::string object(600, '\x5A');
    fuzz::write_input("forge/Fuzzed.obj", reinterpret_cast<const uint8_t*>(object.data()), object.size());
    fuzz::write_input("forge/Fuzzed.lib", reinterpret_cast<const uint8_t*>(object.data()), 300);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int runs = 0;
    InitForge();
    BatchMode = true;
    NoLogFlag = true;
    if (size & 1) DefineConstant("Unicode");
    ForgeOptions = (runs++ & 1) ? 1 : 0;
    SourcePath = DestinationPath = fuzz::private_folder() + "forge/";
    LibName = "Fuzzed";
    DescFile = SourcePath + "Fuzzed.desc";
    ParseDescriptorText(std::string(reinterpret_cast<const char*>(data), size));
    if (!ErrorFlag) {
        WriteLibrary();
        ListNode* known = library_list->last;
        library_load_file((DestinationPath + LibName).c_str());
        compiler_reset();
        fuzz::forget_libraries_after(known);
        std::filesystem::remove(DestinationPath + LibName);
    }
    InitForge();
    return 0;
}
