#include "backend_x64/x64_backend.h"

#include "backend_x64/emit_jumps.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_tables.h"

const BackendHooks x64_backend_hooks = {
    .name = "x64",
    .init_backend_tables = init_backend_tables,
    .reset_program_output = reset_program_output,
    .finish_program = finish_x64_program,
    .emit_goto = x64_emit_goto,
    .emit_gosub = emit_gosub,
    .emit_return_from_gosub = emit_return_from_gosub,
    .emit_fake_return = emit_fake_return,
    .emit_end_statement = x64_emit_end_statement,
};
