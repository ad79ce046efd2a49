// What the fuzz targets share: the compiler started once in-process over
// the build's installation folder, a private folder for everything an input
// makes (removed at exit), external tools that do nothing, and the helpers
// that take what one input loaded out of the process-wide tables again, so
// that every input starts from the same state.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/backend_hooks.h"
#include "driver/compiler_main.h"
#include "core/cursor_list.h"
#include "core/hash_table.h"
#include "core/memory_pools.h"

namespace fuzz {

// The run's own folder ("/tmp/zd_fuzz_XXXXXX/"), made on first use.
const std::string& private_folder();

// Writes the bytes into the private folder; returns the file's path.
std::string write_input(const char* name, const uint8_t* data, size_t size);

// Installs the back end and initialises the compiler once: libraries,
// import files and (when `with_residents`) residents of the installation
// are loaded, the tools folder holds stand-ins that succeed without doing
// anything, the process stands in the private folder, nothing is printed.
void start_compiler(const BackendHooks* hooks, bool with_residents = true);

// One compilation of the source text as standby mode runs it (the syntax
// check only when `check_only`), then the reset that follows every one.
void compile_text(const uint8_t* data, size_t size, bool check_only);

// The permanent pool's fill, so that what one input allocated there can be
// handed back once nothing refers to it any more.
struct PoolMark {
    ListNode* last_block;
    char* current_block;
    uint64_t used;
};
PoolMark mark_permanent_pool();
void release_permanent_pool(const PoolMark& mark);

// Takes the libraries loaded after `known` (a node of library_list, or null
// for none) out of the library list, the command list and the command hash.
void forget_libraries_after(ListNode* known);

}  // namespace fuzz
