// Source text through a whole compilation of the C compiler: the C file is
// written and the build runs, with tools that do nothing.
#include "backend_c/c_backend.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&c_backend_hooks);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::compile_text(data, size, false);
    return 0;
}
