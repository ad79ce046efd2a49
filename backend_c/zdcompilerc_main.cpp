// zdcompilerc: the compiler with the C back end.
#include "backend_c/c_backend.h"
#include "core/compiler_main.h"

int main(int argc, char** argv)
{
    install_backend(&c_backend_hooks);
    return compiler_main(argc, argv);
}
