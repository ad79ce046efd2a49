// Source text through a whole compilation of the x64 compiler: the program
// text is written and the build runs, with tools that do nothing.
#include "backend_x64/x64_backend.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::compile_text(data, size, false);
    return 0;
}
