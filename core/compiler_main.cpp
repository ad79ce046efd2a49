#include "core/compiler_main.h"

int compiler_main(int, char**)
{
    return 0;
}
