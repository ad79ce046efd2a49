#include "core/compilation_driver.h"

void compile_program()
{
}

void declare_builtin_constants()
{
}

int define_constant_option(const char*, const char*, int answer)
{
    return answer;
}
