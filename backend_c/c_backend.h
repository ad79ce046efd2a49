#pragma once

#include "core/backend_hooks.h"

// The hooks of the C back end.
extern const BackendHooks c_backend_hooks;

// Fills the shared back-end tables with the C back end's texts.
void c_init_backend_tables();
