// Resident files: one is loaded (with no other resident), a small program
// uses its first structures, macros and prototypes, and everything it
// brought is taken out of the tables again.
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/macros.h"
#include "frontend/residents.h"
#include "frontend/structures.h"
#include "frontend/symbols.h"
#include "fuzz_support.h"

namespace {

template <typename Keep>
void remove_entries(HashTable* table, Keep keep)
{
    if (!table) return;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        if (keep(entry)) continue;
        hash_unlink_current(table);
        hash_free_entry(table, entry);
    }
    hash_reset_iterator(table);
}

bool is_plain_name(const char* name)
{
    if (!name[0]) return false;
    for (const char* p = name; *p; p++) {
        char c = *p;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// Statements that use what the resident brought, a few of each kind.
std::string program_using_residents()
{
    std::string program;
    int count = 0;
    hash_reset_iterator(resident_structure_table);
    while (HashEntry* entry = hash_next(resident_structure_table)) {
        if (count++ == 4) break;
        if (!is_plain_name(entry->key)) continue;
        std::string name = entry->key;
        program += "Define v" + std::to_string(count) + "." + name + "\nx = SizeOf(" + name + ")\n";
    }
    count = 0;
    hash_reset_iterator(resident_macro_table);
    while (HashEntry* entry = hash_next(resident_macro_table)) {
        if (count++ == 4) break;
        if (is_plain_name(entry->key)) program += std::string(entry->key) + "(1, 2)\n";
    }
    count = 0;
    hash_reset_iterator(resident_prototype_table);
    while (HashEntry* entry = hash_next(resident_prototype_table)) {
        if (count++ == 4) break;
        if (is_plain_name(entry->key)) program += "Define *p" + std::to_string(count) + "." + entry->key + "\n";
    }
    return program;
}

void forget_residents()
{
    remove_entries(resident_structure_table, [](HashEntry*) { return false; });
    remove_entries(resident_macro_table, [](HashEntry*) { return false; });
    remove_entries(resident_prototype_table, [](HashEntry*) { return false; });
    remove_entries(structure_table, [](HashEntry* entry) {
        return !(reinterpret_cast<StructureRecord*>(entry)->flags & STRUCT_RESIDENT);
    });
    remove_entries(constants_table, [](HashEntry* entry) {
        return !(reinterpret_cast<ConstantRecord*>(entry)->flags & constant_flag_resident);
    });
    remove_entries(macro_table, [](HashEntry* entry) {
        return !(reinterpret_cast<MacroRecord*>(entry)->flags & macro_flag_resident);
    });
    remove_entries(prototype_table, [](HashEntry* entry) {
        return reinterpret_cast<ProcedureRecord*>(entry)->second_flags != PROC_SECOND_RESIDENT;
    });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::write_input("fuzzed.res", data, size);
    fuzz::PoolMark mark = fuzz::mark_permanent_pool();
    load_resident(path.c_str());
    resolve_resident_structure_refs();
    bool loaded = error_number == 0;
    compiler_reset();
    if (loaded) {
        std::string program = program_using_residents();
        fuzz::compile_text(reinterpret_cast<const uint8_t*>(program.data()), program.size(), false);
    }
    forget_residents();
    fuzz::release_permanent_pool(mark);
    return 0;
}
