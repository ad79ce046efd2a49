#include "fuzz_support.h"

#include "driver/compilation_driver.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "frontend/residents.h"
#include "platform/platform.h"

namespace fuzz {

namespace {

char output_name[] = "program.exe";

void remove_private_folder()
{
    std::error_code ignored;
    std::filesystem::remove_all(private_folder(), ignored);
}

// Stand-ins for the assembler, resource compiler, linkers, librarian and
// C compiler: each succeeds and writes nothing.
void make_tool_stand_ins(const std::string& tools)
{
    std::filesystem::create_directories(tools + "gcc");
    for (const char* name : {"FAsm.exe", "porc.exe", "polink", "polink.exe", "polib.exe", "gcc/gcc"}) {
        std::error_code ignored;
        std::filesystem::create_symlink("/bin/true", tools + name, ignored);
    }
    std::string path = tools + "gcc:" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    setenv("PATH", path.c_str(), 1);
}

void unlink_from_bucket(HashTable* table, HashEntry* entry)
{
    HashEntry** link = &table->buckets[hash_bucket(entry->key)];
    while (*link && *link != entry) link = &(*link)->next_in_bucket;
    if (*link) {
        *link = entry->next_in_bucket;
        table->count--;
    }
    table->iter_current = nullptr;
}

}  // namespace

const std::string& private_folder()
{
    // Never destroyed: the exit handler that removes the folder needs it.
    static const std::string* folder = [] {
        char pattern[] = "/tmp/zd_fuzz_XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        auto* made = new std::string(std::string(pattern) + "/");
        std::atexit(remove_private_folder);
        return made;
    }();
    return *folder;
}

std::string write_input(const char* name, const uint8_t* data, size_t size)
{
    std::string path = private_folder() + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}

void start_compiler(const BackendHooks* hooks, bool with_residents)
{
    install_backend(hooks);
    compiler_init();
    home_folder = std::string(ZANDREL_HOME) + "/";
    quiet_mode = 1;
    // The loading of compiler_main.
    if (with_residents) scan_library_folder("Residents\\", 2, 0);
    scan_library_folder("ZandLibraries\\Windows\\", 1, 0);
    resolve_resident_structure_refs();
    scan_library_folder("ZandLibraries\\", 0, 0);
    scan_library_folder("ZandLibraries\\UserLibraries\\", 0, 0);
    if (error_number) {
        std::fprintf(stderr, "fuzz: the installation in %s does not load: %s\n", ZANDREL_HOME, error_message);
        std::abort();
    }
    tools_folder = private_folder() + "tools/";
    make_tool_stand_ins(tools_folder);
    os_set_current_folder(private_folder().c_str());
    compiler_reset();
}

void compile_text(const uint8_t* data, size_t size, bool check_only)
{
    std::string path = write_input("main.zd", data, size);
    current_folder = current_folder_short = private_folder();
    source_file = path.data();
    output_file = output_name;
    check_syntax_only = check_only ? 1 : 0;
    load_source_file(path.c_str());
    if (!error_number) {
        main_source_folder = private_folder();
        compile_program();
    }
    compiler_reset();
    source_file = nullptr;
    output_file = nullptr;
    check_syntax_only = 0;
    os_set_current_folder(private_folder().c_str());
}

PoolMark mark_permanent_pool()
{
    return {permanent_pool.blocks->last, permanent_pool.current_block, permanent_pool.used};
}

void release_permanent_pool(const PoolMark& mark)
{
    CursorList* blocks = permanent_pool.blocks;
    while (blocks->last && blocks->last != mark.last_block) {
        blocks->current = blocks->last;
        list_delete_current(blocks);
    }
    blocks->current = blocks->last;
    permanent_pool.current_block = mark.current_block;
    permanent_pool.used = mark.used;
}

void forget_libraries_after(ListNode* known)
{
    for (;;) {
        ListNode* node = library_list->last;
        if (!node || node == known) break;
        LibraryRecord* library = reinterpret_cast<LibraryRecord*>(node);
        ListNode* command_node = library_command_list->first;
        while (command_node) {
            ListNode* next = command_node->next;
            LibraryCommand* command = reinterpret_cast<LibraryCommand*>(command_node);
            if (command->library == library) {
                unlink_from_bucket(library_command_hash, &command->entry);
                library_command_list->current = command_node;
                list_delete_current(library_command_list);
            }
            command_node = next;
        }
        if (library->unpacked_data) os_heap_free(permanent_heap, library->unpacked_data);
        if (library->file_data) os_heap_free(permanent_heap, library->file_data);
        library_list->current = node;
        list_delete_current(library_list);
    }
    library_list->current = library_list->last;
    library_command_list->current = library_command_list->last;
}

}  // namespace fuzz
