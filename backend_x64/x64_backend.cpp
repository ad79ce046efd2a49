#include "backend_x64/x64_backend.h"

#include "backend_x64/x64_tables.h"

const BackendHooks x64_backend_hooks = {
    .name = "x64",
    .init_backend_tables = init_backend_tables,
};
