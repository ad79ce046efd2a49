#include "backend_c/c_backend.h"

void c_init_backend_tables()
{
}

const BackendHooks c_backend_hooks = {
    .name = "C",
    .init_backend_tables = c_init_backend_tables,
    // The C compiler optimises the C file itself.
    .optimize_code = nullptr,
};
