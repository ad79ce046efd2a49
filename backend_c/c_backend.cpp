#include "backend_c/c_backend.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "backend_c/c_build.h"
#include "backend_c/c_compile_program.h"
#include "core/compiler_main.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/number_literals.h"
#include "platform/platform.h"

namespace {

const char* const c_version_text = "6.10 LTS - C Backend";

// Statements whose C emitters are not built yet: a clear error while code is
// written, nothing during syntax checks and dry runs (output off).
void report_unsupported()
{
    if (no_output_depth) return;
    set_error_text(1, "This statement can't be compiled by the C back end yet.");
}

void unsupported_jump(const char*) { report_unsupported(); }
void unsupported_statement() { report_unsupported(); }
void unsupported_operator(int) { report_unsupported(); }
void unsupported_left_constant(int, int64_t, double) { report_unsupported(); }
void unsupported_assignment(const ExpressionTarget*) { report_unsupported(); }

}  // namespace

const BackendHooks c_backend_hooks = {
    .name = "C",
    .init_backend_tables = c_init_backend_tables,
    .reset_program_output = c_backend_reset,
    .finish_program = c_finish_program,
    .emit_goto = unsupported_jump,
    .emit_gosub = unsupported_jump,
    .emit_return_from_gosub = unsupported_statement,
    .emit_fake_return = unsupported_statement,
    .emit_end_statement = c_emit_end_statement,
    .load_left_operand = unsupported_statement,
    .apply_operator = unsupported_operator,
    .apply_operator_left_constant = unsupported_left_constant,
    .negate_operand = unsupported_statement,
    .complement_operand = unsupported_statement,
    .assign_result = unsupported_assignment,
    // The C compiler optimises the C file itself.
    .optimize_code = nullptr,
    .backend_constant = 1,
    .banner = "Zandrel 6.10 LTS - C Backend (Windows - x64)\n",
    .standby_version = c_version_text,
    .program_file_name = "zandrel.c",
    .write_program_file = c_write_program_file,
    .build_program = c_build_executable,
    .reassemble_program = c_reassemble,
    .reset_line = "//",
    .emit_comment = c_emit_comment,
};

int c_compiler_version_number()
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s", c_version_text);
    for (char* p = buffer; *p; p++) {
        if (*p == ' ') {
            *p = 0;
            break;
        }
    }
    int major = 0;
    int minor = 0;
    std::sscanf(buffer, "%d.%d", &major, &minor);
    return major * 100 + minor;
}

void c_extend_tool_path(const std::string& tools)
{
    const char* path = std::getenv("PATH");
    if (!path) return;
    // Linux form: a native folder, ':' between the entries.
    std::string folder = os_native_path((tools + "gcc").c_str());
    std::string value = folder + ":" + path;
    setenv("PATH", value.c_str(), 1);
}

void c_emit_end_statement(int with_value)
{
    if (with_value) {
        char number[24];
        if (current_operand.kind == OPERAND_CONSTANT) {
            int64_t value = (current_operand.flags & OP_FLOAT) ? round_double_to_int64(current_operand.constant_float)
                                                                : current_operand.constant;
            emit_format("ZD_ExitCode=%s;", c_int64_to_text(number, value));
        } else {
            // Values other than constants come with the C expression emitters.
            report_unsupported();
            return;
        }
    }
    emit_line("SYS_Quit();");
}

int c_main(int argc, char** argv)
{
    install_backend(&c_backend_hooks);
    c_extend_tool_path(derive_home_folder(os_module_path()) + "Compilers\\");
    return compiler_main(argc, argv);
}
