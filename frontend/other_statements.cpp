// Debug, DebugLevel, CallDebugger, Runtime, Swap, IncludeBinary and Restore.
#include "frontend/other_statements.h"

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"

int32_t debug_level = 0;
int32_t data_section_label_written = 0;

void reset_other_statements()
{
    debug_level = 0;
    data_section_label_written = 0;
    runtime_statement_flag = 0;
}
