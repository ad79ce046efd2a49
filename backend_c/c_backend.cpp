#include "backend_c/c_backend.h"

static void c_init_backend_tables() {}

const BackendHooks c_backend_hooks = {
    "C",
    c_init_backend_tables,
};
