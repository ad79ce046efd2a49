#pragma once

#include "core/backend_hooks.h"

// The hooks of the C back end.
extern const BackendHooks c_backend_hooks;
