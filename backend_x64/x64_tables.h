// The x64 back end's fixed tables (register names, jump and set-byte
// mnemonics, size prefixes, data directives).
#pragma once

#include "core/backend_tables.h"

// Fills the tables once at start-up and puts the evaluation registers and the
// x87 depth into their starting state.
void init_backend_tables();
