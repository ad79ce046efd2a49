#include "core/standby.h"

void run_standby_loop()
{
}
