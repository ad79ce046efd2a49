// zdcompilerc: the compiler with the C back end.
#include "backend_c/c_backend.h"

int main(int argc, char** argv)
{
    return c_main(argc, argv);
}
