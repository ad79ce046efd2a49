// x64 emitters of DataSection values, Read, Restore, Swap and IncludeBinary
// (the `DataHooks` of frontend/data_sections.h).
#pragma once

#include <cstdint>

#include "frontend/data_sections.h"

extern const DataHooks x64_data_hooks;

// The text of the Data line being gathered (tests).
const char* current_data_line();
