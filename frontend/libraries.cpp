#include "frontend/libraries.h"

void init_libraries()
{
}

void load_subsystems()
{
}

void scan_library_folder(const char*, int, int)
{
}
