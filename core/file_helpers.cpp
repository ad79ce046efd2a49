#include "core/file_helpers.h"

void load_source_file(const char*)
{
}
