// Shared set-up of the C back-end tests: a fixture that installs the C back
// end for each test and the x64 one again after it, the statement-by-
// statement compilation of a few lines, the declarations the C file writes
// for the variables, and the check that a piece of generated C compiles with
// clang the way the gcc stand-in runs it (Windows target, no system headers,
// the same warnings off).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "backend_c/c_backend.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "core/memory_pools.h"
#include "core/hash_table.h"
#include "emit_test_support.h"
#include "frontend/lexer.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"
#include "platform/platform.h"

// A fresh folder under /tmp for the length of one check, removed with all it
// holds at the end; its path is "" when it could not be made.
class TemporaryFolder {
public:
    TemporaryFolder() {
        char name[] = "/tmp/zandrel_c_test_XXXXXX";
        if (mkdtemp(name)) path_ = name;
    }
    ~TemporaryFolder() {
        if (!path_.empty()) std::system(("rm -rf " + path_).c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The whole content of a file ("" when it cannot be read).
inline std::string read_whole_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Runs clang as the gcc stand-in does on a whole C file; "" when it
// compiles, else clang's messages.
inline std::string clang_messages(const std::string& c_file) {
    TemporaryFolder folder;
    if (folder.path().empty()) return "no temporary folder";
    std::string source = folder.path() + "/zandrel.c";
    std::string log = folder.path() + "/clang.log";
    {
        std::ofstream file(source);
        file << c_file;
    }
    std::string command = "clang --target=x86_64-w64-windows-gnu -nostdinc -fsyntax-only -fsigned-char "
                          "-Wno-incompatible-pointer-types -Wno-int-conversion -Werror=implicit-function-declaration "
                          "-Wno-unused-label " + source + " > " + log + " 2>&1";
    int status = std::system(command.c_str());
    std::string messages = read_whole_file(log);
    return status == 0 ? "" : messages;
}

// The same for `code` as the body of a function after the file-level text
// `top`.
inline std::string clang_messages_for_fragment(const std::string& top, const std::string& code) {
    return clang_messages(top + "void fragment(void) {\n" + code + "}\n");
}

// Installs the C back end over the compiler's heaps, pools and buffers
// (made when no earlier test made them), with the buffers and the back
// end's own state empty; returns the back end installed before, for the
// test to put back. For the tests that set up no more of the compiler.
inline const BackendHooks* install_c_backend_on_empty_buffers() {
    const BackendHooks* saved = backend;
    install_backend(&c_backend_hooks);
    if (!permanent_heap) permanent_heap = os_heap_create(4096);
    if (!compilation_heap) compilation_heap = os_heap_create(4096);
    if (!compilation_pool.blocks) init_memory_pools();
    if (!head_buffer) alloc_output_buffers();
    if (!data_buffer_start) grow_data_buffer();
    if (!debugger_data_start) grow_debugger_data_buffer();
    reset_output_buffers();
    c_backend_reset();
    return saved;
}

class CBackendTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        install_backend(&c_backend_hooks);
        c_init_backend_tables();
    }
    // The x64 back end again for the tests that come later in the process.
    void TearDown() override {
        install_backend(&x64_backend_hooks);
        x64_backend_hooks.init_backend_tables();
        compiler_reset();
    }

    // What `emit` writes to the output, which is left empty.
    template <typename Emit>
    std::string written_by(Emit emit) {
        clear_output();
        emit();
        std::string lines = output();
        clear_output();
        return lines;
    }

    // Writes the declarations of the compilation's variables (those outside
    // procedures only, with `globals_only`) as the C file writes them.
    static void emit_variable_declarations(bool globals_only = false) {
        hash_reset_iterator(variable_table);
        while (HashEntry* entry = hash_next(variable_table)) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!globals_only || !is_local_variable(variable)) c_emit_variable_declaration(variable);
        }
        hash_reset_iterator(variable_table);
    }

    // The declarations of every variable of the compilation.
    std::string declarations() {
        return written_by([] { emit_variable_declarations(); });
    }

};
