// Import files: one is loaded beside the installation's, a small program
// calls its first functions, and its library and functions are taken out of
// the tables again.
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "frontend/imports.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::write_input("Fuzzed.imp", data, size);
    ListNode* known = import_library_entries ? import_library_entries->last : nullptr;
    fuzz::PoolMark mark = fuzz::mark_permanent_pool();
    import_library_file_read(path.c_str());
    ImportLibraryEntry* library = nullptr;
    if (import_library_entries->last != known) library = reinterpret_cast<ImportLibraryEntry*>(import_library_entries->last);

    if (library) {
        std::string program;
        int calls = 0;
        hash_reset_iterator(os_function_table);
        while (HashEntry* entry = hash_next(os_function_table)) {
            ImportedFunction* function = reinterpret_cast<ImportedFunction*>(entry);
            if (function->library != library || calls++ == 4) continue;
            program += "x = " + std::string(entry->key) + "(1, \"a\", 2.5)\n";
        }
        hash_reset_iterator(os_function_table);
        compiler_reset();
        fuzz::compile_text(reinterpret_cast<const uint8_t*>(program.data()), program.size(), false);

        hash_reset_iterator(os_function_table);
        while (HashEntry* entry = hash_next(os_function_table)) {
            if (reinterpret_cast<ImportedFunction*>(entry)->library != library) continue;
            hash_unlink_current(os_function_table);
            hash_free_entry(os_function_table, entry);
        }
        hash_reset_iterator(os_function_table);
        import_library_entries->current = import_library_entries->last;
        list_delete_current(import_library_entries);
        import_library_entries->current = import_library_entries->last;
    }
    compiler_reset();
    fuzz::release_permanent_pool(mark);
    return 0;
}
