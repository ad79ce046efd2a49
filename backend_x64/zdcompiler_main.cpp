// zdcompiler: the compiler with the x64 assembly back end.
#include "backend_x64/x64_backend.h"
#include "driver/compiler_main.h"

int main(int argc, char** argv)
{
    install_backend(&x64_backend_hooks);
    return compiler_main(argc, argv);
}
