#include "core/backend_hooks.h"

#include "core/error_state.h"

const BackendHooks* backend = nullptr;

void install_backend(const BackendHooks* hooks)
{
    backend = hooks;
    // The messages start from this back end's English texts.
    for (int n = 0; n < message_table_size; ++n) set_message_text(n, english_message_text(n));
}
