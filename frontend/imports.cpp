// Import files of operating-system functions, the Import statement's list of
// library files and the sorted list of external symbols.
#include "frontend/imports.h"

#include <algorithm>
#include <cstring>

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/import_file_format.h"
#include "frontend/source_reader.h"
#include "platform/platform.h"

CursorList* import_library_entries = nullptr;
HashTable* os_function_table = nullptr;
std::vector<std::string> ImportLibraryList;
std::vector<std::string> ExternSymbolList;

namespace {

constexpr uint8_t type_long = 5;
constexpr uint8_t type_float = 9;
constexpr uint8_t type_string = 8;

void create_import_tables()
{
    if (!import_library_entries) import_library_entries = create_list(sizeof(ImportLibraryEntry), 1);
    if (!os_function_table) os_function_table = create_hash_table(sizeof(ImportedFunction), hash_flag_permanent);
}

template <typename T>
T* permanent_array(size_t count)
{
    if (count == 0) return nullptr;
    return static_cast<T*>(permanent_pool_alloc(count * sizeof(T)));
}

void add_imported_function(ImportLibraryEntry* library, const ImportFunctionSpec& spec)
{
    char* name = permanent_pool_strdup(spec.name.c_str());
    ImportedFunction* f = static_cast<ImportedFunction*>(hash_add(os_function_table, name));
    HashEntry saved = f->entry;
    std::memset(f, 0, sizeof *f);
    f->entry = saved;
    f->symbol = permanent_pool_strdup(spec.symbol.c_str());
    f->parameter_text = permanent_pool_strdup(spec.parameter_text.c_str());
    f->flags = spec.flags;
    f->second_flags = spec.second_flags;
    f->stack_size = spec.stack_size;
    f->string_parameter_count = spec.string_parameter_count;
    f->pseudo_parameter_count = spec.pseudo_parameter_count;
    f->parameter_count = static_cast<int16_t>(spec.parameter_types.size());
    f->optional_parameter_count = spec.optional_parameter_count;
    size_t count = spec.parameter_types.size();
    f->parameter_types = permanent_array<uint8_t>(count);
    f->parameter_sizes = permanent_array<uint8_t>(count);
    for (size_t i = 0; i < count; i++) {
        f->parameter_types[i] = spec.parameter_types[i];
        f->parameter_sizes[i] = (spec.parameter_types[i] == type_long || spec.parameter_types[i] == type_float) ? 4 : 8;
    }
    f->default_values = permanent_array<int64_t>(spec.defaults.size());
    for (size_t i = 0; i < spec.defaults.size(); i++) {
        size_t parameter = count - spec.defaults.size() + i;
        if (spec.parameter_types[parameter] == type_string) {
            f->default_values[i] = reinterpret_cast<int64_t>(permanent_pool_strdup(spec.defaults[i].text.c_str()));
        } else {
            f->default_values[i] = spec.defaults[i].value;
        }
    }
    f->use_count = 0;
    f->library = library;
}

}  // namespace

void reset_imports()
{
    create_import_tables();
    ImportLibraryList.clear();
    ExternSymbolList.clear();
    for (ListNode* node = import_library_entries->first; node; node = node->next) {
        reinterpret_cast<ImportLibraryEntry*>(node)->used = 0;
    }
    hash_reset_iterator(os_function_table);
    while (HashEntry* entry = hash_next(os_function_table)) {
        reinterpret_cast<ImportedFunction*>(entry)->use_count = 0;
    }
    hash_reset_iterator(os_function_table);
}

void import_library_file_read(const char* path)
{
    create_import_tables();
    std::string bytes;
    if (!os_read_file(path, bytes)) return;
    std::string library_name;
    std::vector<ImportFunctionSpec> functions;
    if (!parse_import_file(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), library_name, functions)) {
        return;
    }
    // Append at the tail: the cursor ends on the last element after a walk.
    import_library_entries->current = import_library_entries->last;
    ImportLibraryEntry* library = static_cast<ImportLibraryEntry*>(list_add(import_library_entries));
    library->name = permanent_pool_strdup(library_name.c_str());
    library->used = 0;
    for (const ImportFunctionSpec& spec : functions) add_imported_function(library, spec);
}

ImportedFunction* find_imported_function(const char* name)
{
    if (!os_function_table) return nullptr;
    return reinterpret_cast<ImportedFunction*>(hash_find(os_function_table, name));
}

void mark_imported_function_used(const char* name, const char* fallback_symbol)
{
    ImportedFunction* f = find_imported_function(name);
    if (!f) {
        if (fallback_symbol) add_extern_symbol(fallback_symbol);
        return;
    }
    f->use_count++;
    if (f->library) f->library->used = 1;
}

void mark_startup_imports()
{
    if (!dll_mode) mark_imported_function_used("ExitProcess_", "ExitProcess");
    mark_imported_function_used("HeapCreate_", "HeapCreate");
    mark_imported_function_used("HeapDestroy_", "HeapDestroy");
    mark_imported_function_used("GetModuleHandle_", "GetModuleHandleW");
    if (debugger_enabled) {
        mark_imported_function_used("Sleep_", "Sleep");
        mark_imported_function_used("GetCurrentThreadId_", "GetCurrentThreadId");
    }
    add_extern_symbol("memset");
}

std::vector<std::string> used_import_library_names()
{
    std::vector<std::string> names;
    if (!import_library_entries) return names;
    for (ListNode* node = import_library_entries->first; node; node = node->next) {
        ImportLibraryEntry* library = reinterpret_cast<ImportLibraryEntry*>(node);
        if (library->used) names.push_back(library->name);
    }
    return names;
}

void add_extern_symbol(const char* name)
{
    auto at = std::lower_bound(ExternSymbolList.begin(), ExternSymbolList.end(), name,
                               [](const std::string& a, const char* b) { return std::strcmp(a.c_str(), b) < 0; });
    if (at != ExternSymbolList.end() && *at == name) return;
    ExternSymbolList.insert(at, name);
}

void add_import_library()
{
    if (in_procedure) {
        set_error(222);
        return;
    }
    if (literal_text[0] == 0) return;
    std::string resolved = resolve_source_path(literal_text);
    ImportLibraryList.push_back(os_file_exists(resolved.c_str()) ? resolved : std::string(literal_text));
}

void write_import_file()
{
    if (ImportLibraryList.size() != 1) {
        current_line = -1;
        set_error(ImportLibraryList.empty() ? 323 : 324);
        return;
    }
    // The functions come from the Import block's declarations; the file
    // carries the library named by the block.
    std::vector<ImportFunctionSpec> functions;
    std::string bytes = build_import_file(ImportLibraryList.front(), functions);
    if (!import_file || !os_write_file(import_file, bytes.data(), bytes.size())) {
        current_line = -1;
        set_error_format_always(316, import_file ? import_file : "");
        return;
    }
    console_print("Import library '%s' created.\n", import_file);
}
