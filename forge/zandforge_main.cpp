// Zandforge: the library builder program.
#include "forge/forge.h"
#include "platform/dialog_toolkit.h"

int main(int argc, char** argv)
{
#ifdef ZANDREL_HAVE_FLTK
    os_install_native_toolkit(os_fltk_dialog_toolkit());
#endif
    // A script named in the environment stands in for the user (tests).
    os_load_dialog_script_from_environment();
    return RunForge(argc, argv);
}
