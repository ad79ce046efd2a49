#include "core/backend_hooks.h"

const BackendHooks* backend = nullptr;

void install_backend(const BackendHooks* hooks)
{
    backend = hooks;
}
