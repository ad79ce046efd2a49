#include "backend_x64/x64_backend.h"

static void x64_init_backend_tables() {}

const BackendHooks x64_backend_hooks = {
    "x64",
    x64_init_backend_tables,
};
