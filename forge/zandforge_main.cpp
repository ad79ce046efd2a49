// Zandforge: the library builder program.
#include "forge/forge.h"
#include "platform/dialog_toolkit.h"

int main(int argc, char** argv)
{
    // The headless toolkit takes its user's actions from a script, if named.
    os_load_dialog_script_from_environment();
    return RunForge(argc, argv);
}
