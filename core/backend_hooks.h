// The seam between the shared compiler (core and front end) and the two back
// ends. Each compiler's main installs one table; the shared code reaches
// every back-end service through `backend`.
#pragma once

struct BackendHooks {
    const char* name;                 // "x64" or "C"
    // Fills the back end's fixed tables (register names, jump tables, ...).
    void (*init_backend_tables)();
    // Debugger instrumentation of the source reader and the statement
    // dispatcher; null while a back end does not provide them.
    // The line marker of the current line ("DBL" or "DBLA").
    void (*emit_line_marker)(const char* routine);
    // Appends the current LineCode to the debugger's valid-lines table.
    void (*add_debugger_line_entry)();

    // Program output and jumps (null while a back end lacks them).
    // Per compilation: the program output's extern set and the Gosub counter.
    void (*reset_program_output)();
    // After the whole source compiled without error: the start-up code, the
    // library and global initialisations, the end code, data and bss.
    void (*finish_program)();
    // " JMP <label>"; Gosub, Return, FakeReturn; End with the value (if any)
    // in the current operand.
    void (*emit_goto)(const char* label);
    void (*emit_gosub)(const char* label);
    void (*emit_return_from_gosub)();
    void (*emit_fake_return)();
    void (*emit_end_statement)(int with_value);
};

extern const BackendHooks* backend;

void install_backend(const BackendHooks* hooks);
