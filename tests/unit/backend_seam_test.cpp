// Both back ends give every entry of the seam: the shared code calls them
// without testing them, so an entry left null would crash a compilation
// (or, with a test, silently write nothing in one back end).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>

#include "backend_c/c_backend.h"
#include "backend_x64/x64_backend.h"
#include "core/backend_hooks.h"
#include "frontend/arrays.h"
#include "frontend/data_sections.h"
#include "frontend/interface_calls.h"
#include "frontend/lists_maps.h"
#include "frontend/structure_fields.h"

namespace {

// The tables hold pointers, and a few integers; each integer shares its
// pointer-sized word with padding only. Every word other than the listed
// integers' must be set, so an entry added to a table and left out of a
// back end's is found without this test knowing its name (an integer
// entry added to BackendHooks goes into `integer_entries`).
template <typename Table>
void expect_every_entry_set(const Table& table, const char* label, std::initializer_list<size_t> integer_offsets = {})
{
    static_assert(sizeof(Table) % sizeof(void*) == 0, "a table of pointer-sized words");
    const char* bytes = reinterpret_cast<const char*>(&table);
    for (size_t offset = 0; offset < sizeof(Table); offset += sizeof(void*)) {
        bool integer = false;
        for (size_t skipped : integer_offsets) integer = integer || skipped / sizeof(void*) == offset / sizeof(void*);
        if (integer) continue;
        void* word = nullptr;
        std::memcpy(&word, bytes + offset, sizeof word);
        EXPECT_NE(word, nullptr) << label << ": the entry at byte " << offset << " is null";
    }
}

const std::initializer_list<size_t> integer_entries = {
    offsetof(BackendHooks, backend_constant),
    offsetof(BackendHooks, inline_lines_are_c),
    offsetof(BackendHooks, outer_label_jumps),
};

void expect_complete(const BackendHooks& hooks)
{
    std::string name = hooks.name;
    expect_every_entry_set(hooks, name.c_str(), integer_entries);
    expect_every_entry_set(*hooks.arrays, (name + " arrays").c_str());
    expect_every_entry_set(*hooks.data, (name + " data").c_str());
    expect_every_entry_set(*hooks.fields, (name + " fields").c_str());
    expect_every_entry_set(*hooks.lists_maps, (name + " lists and maps").c_str());
    expect_every_entry_set(*hooks.interfaces, (name + " interfaces").c_str());
}

TEST(BackendSeam, BothTablesGiveEveryEntry)
{
    expect_complete(x64_backend_hooks);
    expect_complete(c_backend_hooks);
}

TEST(BackendSeam, ANullEntryIsFound)
{
    BackendHooks table = x64_backend_hooks;
    table.emit_goto = nullptr;
    EXPECT_NONFATAL_FAILURE(expect_every_entry_set(table, "probe", integer_entries), "is null");
}

}  // namespace
