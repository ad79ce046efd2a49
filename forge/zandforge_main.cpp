// Zandforge: the library builder program.
#include "forge/forge.h"

int main(int argc, char** argv)
{
    return RunForge(argc, argv);
}
