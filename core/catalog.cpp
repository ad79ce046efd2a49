#include "core/catalog.h"

int load_catalog()
{
    return 0;
}
