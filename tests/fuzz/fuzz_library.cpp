// Library files: one is loaded beside the installation's libraries, a small
// program calls its first commands, and the library is taken out again.
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks, false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::write_input("Fuzzed", data, size);
    ListNode* known = library_list->last;
    library_load_file(path.c_str());
    std::string program;
    if (!error_number && library_list->last != known) {
        LibraryRecord* library = reinterpret_cast<LibraryRecord*>(library_list->last);
        int calls = 0;
        for (ListNode* node = library_command_list->first; node && calls < 4; node = node->next) {
            LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
            if (command->library != library) continue;
            get_routine_suffix(command);
            program += "x = " + std::string(command_name(command)) + "(1, \"a\", 2.5)\n" +
                       command_name(command) + "()\n";
            calls++;
        }
    }
    compiler_reset();
    if (!program.empty()) {
        // Each statement on its own: the first error would stop the rest.
        size_t start = 0;
        while (start < program.size()) {
            size_t end = program.find('\n', start) + 1;
            fuzz::compile_text(reinterpret_cast<const uint8_t*>(program.data() + start), end - start, false);
            start = end;
        }
    }
    fuzz::forget_libraries_after(known);
    return 0;
}
