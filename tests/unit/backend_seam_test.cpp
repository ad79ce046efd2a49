// Both back ends give every entry of the seam: the shared code calls them
// without testing them, so an entry left null would crash a compilation
// (or, with a test, silently write nothing in one back end).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>

#include "backend_c/c_arrays.h"
#include "backend_c/c_backend.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/x64_backend.h"
#include "c_test_support.h"
#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/arrays.h"
#include "frontend/data_sections.h"
#include "frontend/interface_calls.h"
#include "frontend/lists_maps.h"
#include "frontend/structure_fields.h"
#include "frontend/symbols.h"

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

// The array entries that must write: each is called on a global Integer
// array with a constant index or size as the front end calls it, and the
// names of those that left neither code in the output nor text behind are
// returned. An entry that wrote nothing would leave an element without its
// operand or a Dim without its code.
std::string array_entries_that_wrote_nothing(const ArrayHooks& hooks)
{
    static char name[] = "grid";
    ArrayRecord array{};
    array.name = name;
    array.flags = ARRAY_GLOBAL;
    array.element_type = TYPE_INTEGER;
    array.element_size = 8;
    array.dimension_count = 1;
    std::string silent;
    auto output_size = [] { return output_write_pointer - output_buffer_start; };
    auto expect_written = [&](const char* entry, auto call) {
        auto before = output_size();
        std::string text = call();
        if (output_size() == before && text.empty()) silent += std::string(entry) + " ";
    };
    auto constant_operand = [](int64_t value) {
        current_operand.kind = OPERAND_CONSTANT;
        current_operand.flags = 0;
        current_operand.constant = value;
        std::snprintf(current_operand.text, sizeof current_operand.text, "%lld", static_cast<long long>(value));
    };
    expect_written("format_whole_array", [&] { return std::string(hooks.format_whole_array(&array)); });
    for (int32_t dimensions : {1, 2}) {
        array.dimension_count = dimensions;
        ElementAccess access{};
        access.array = &array;
        access.register_index = register_stack.top;
        std::string label = dimensions == 1 ? "take_element_index" : "take_element_index (2 dimensions)";
        bool took_every_index = true;
        for (access.index = 1; access.index <= dimensions; access.index++) {
            hooks.open_element_index(&access);
            constant_operand(access.index);
            access.last = access.index == dimensions;
            auto before = output_size();
            std::string place = access.place;
            hooks.take_element_index(&access);
            took_every_index = took_every_index && (output_size() != before || access.place != place);
        }
        if (!took_every_index) silent += label + " ";
        expect_written("format_element", [&] { return std::string(hooks.format_element(&access, 8)); });
    }
    ArrayDimensions sizes{};
    sizes.array = &array;
    sizes.count = 1;
    sizes.position = 1;
    sizes.single_count = -1;
    array.dimension_count = 1;
    expect_written("keep_single_size", [&] {
        current_operand.kind = OPERAND_VARIABLE;
        current_operand.flags = 0;
        std::snprintf(current_operand.text, sizeof current_operand.text, "qword [v_n]");
        hooks.keep_single_size(&sizes);
        return sizes.single_size;
    });
    sizes.single_count = 10;
    expect_written("write_dimensions", [&] {
        hooks.write_dimensions(&sizes);
        return std::string();
    });
    array.dimension_count = 2;
    sizes.count = 2;
    sizes.size_constant = 1;
    sizes.size_count = 3;
    expect_written("store_dimension_size", [&] {
        hooks.store_dimension_size(&sizes);
        return std::string();
    });
    debugger_code = 1;
    expect_written("check_redim_size", [&] {
        hooks.check_redim_size(&sizes);
        return std::string();
    });
    debugger_code = 0;
    expect_written("emit_free_array", [&] {
        hooks.emit_free_array(&array);
        return std::string();
    });
    return silent;
}

class ArraySeamTest : public CBackendTest {};

TEST_F(ArraySeamTest, EntriesThatMustWriteDoInBothBackEnds)
{
    install_backend(&x64_backend_hooks);
    EXPECT_EQ(array_entries_that_wrote_nothing(x64_array_hooks), "");
    install_backend(&c_backend_hooks);
    EXPECT_EQ(array_entries_that_wrote_nothing(c_array_hooks), "");
}

TEST_F(ArraySeamTest, AnEntryThatWritesNothingIsNamed)
{
    install_backend(&c_backend_hooks);
    ArrayHooks table = c_array_hooks;
    table.store_dimension_size = [](ArrayDimensions*) {};
    table.format_element = [](ElementAccess*, int32_t) { return ""; };
    table.take_element_index = [](ElementAccess*) {};
    EXPECT_EQ(array_entries_that_wrote_nothing(table),
              "take_element_index format_element take_element_index (2 dimensions) format_element store_dimension_size ");
}

// The C back end never keeps an element's address: a caller that reads one
// back is a fault of the compiler, not empty C text.
TEST(BackendSeam, AnEntryTheCBackEndNeverExpectsEndsTheCompilation)
{
    EXPECT_EXIT(c_array_hooks.emit_reload_element_address(), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(c_array_hooks.emit_drop_element_address(), ::testing::ExitedWithCode(1), "");
}

}  // namespace
