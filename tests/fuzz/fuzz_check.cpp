// Source text through the syntax check (/CHECK), x64 compiler.
#include "backend_x64/x64_backend.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::compile_text(data, size, true);
    return 0;
}
