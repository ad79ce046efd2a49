// The seam between the shared compiler (core and front end) and the two back
// ends. Each compiler's main installs one table; the shared code reaches
// every back-end service through `backend`.
#pragma once

struct BackendHooks {
    const char* name;                 // "x64" or "C"
    // Fills the back end's fixed tables (register names, jump tables, ...).
    void (*init_backend_tables)();
};

extern const BackendHooks* backend;

void install_backend(const BackendHooks* hooks);
