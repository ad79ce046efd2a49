#include "frontend/residents.h"

int load_resident(const char*)
{
    return 1;
}

void resolve_resident_structure_refs()
{
}
