#include "core/listings.h"

int write_test_file()
{
    return 1;
}

int write_structure_list_file()
{
    return 1;
}

int write_interface_list_file()
{
    return 1;
}

int write_function_list_file()
{
    return 1;
}

int write_structure_file()
{
    return 1;
}
