#pragma once

#include "core/backend_hooks.h"

// The hooks of the x64 back end.
extern const BackendHooks x64_backend_hooks;
