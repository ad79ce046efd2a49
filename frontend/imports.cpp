#include "frontend/imports.h"

void reset_imports()
{
}

void import_library_file_read(const char*)
{
}
