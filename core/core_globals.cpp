// Definitions of the core globals that no single core file owns (see core_globals.h).
#include "core/core_globals.h"

// Command-line options
int32_t standby_mode = 0;
int32_t quiet_mode = 0;
int32_t commented_output = 0;
int32_t debugger_enabled = 0;
char* preprocess_file = nullptr;
int32_t report_warnings = 0;
