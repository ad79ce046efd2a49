#include "core/build_tools.h"

void build_executable()
{
}

void reassemble()
{
}
