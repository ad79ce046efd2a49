// Library loading: the folder scans at start-up, the reader of library files,
// the library-command table, use marks and the object files for the linker.
#include "frontend/libraries.h"

#include "core/core_globals.h"
#include "forge/library_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/residents.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

CursorList* library_list = nullptr;
CursorList* library_command_list = nullptr;
HashTable* library_command_hash = nullptr;
CursorList* used_library_list = nullptr;
CursorList* loaded_library_names = nullptr;
CursorList* loaded_import_names = nullptr;
CursorList* loaded_resident_names = nullptr;

namespace {

// Largest object data a compressed library may unpack to.
constexpr uint64_t max_unpacked_size = 1ull << 30;

struct NameSlot {
    ListNode link;
    char* name;
};

struct LibraryPointerSlot {
    ListNode link;
    LibraryRecord* library;
};

struct CompilerFunction {
    const char* name;
    int8_t parameter_count;
    uint32_t flags;
    const char* help;
};

// Entered first into the command list, in this order; only Subsystem is hashed.
const CompilerFunction compiler_functions[] = {
    {"Bool", 1, 128, "(Expression) - Test the expression and return #True or #False."},
    {"Defined", 2, 0, "(Name, Type) - Returns 1 if the object is defined, or 0 if not."},
    {"OffsetOf", 2, 0, "(Structure\\Field) - Returns the offset of the specified structure field."},
    {"SizeOf", 1, 0, "(Structure) - Returns the size of the given structure."},
    {"TypeOf", 1, 0, "(Object) - Returns the type of the given object."},
    {"Subsystem", 1, 0, "(Name) - Check if a subsystem is in use."},
};

char fold_case(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Byte order after folding ASCII letters to lower case.
int compare_names(const char* a, const char* b)
{
    for (;; a++, b++) {
        unsigned char x = static_cast<unsigned char>(fold_case(*a));
        unsigned char y = static_cast<unsigned char>(fold_case(*b));
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

bool name_list_contains(CursorList* list, const char* name)
{
    for (ListNode* node = list->first; node; node = node->next)
        if (compare_names(reinterpret_cast<NameSlot*>(node)->name, name) == 0) return true;
    return false;
}

void name_list_add(CursorList* list, const char* name)
{
    list->current = list->last;
    NameSlot* slot = static_cast<NameSlot*>(list_add(list));
    slot->name = permanent_pool_strdup(name);
}

template <typename Record>
Record* add_zeroed(CursorList* list)
{
    Record* record = static_cast<Record*>(list_add(list));
    std::memset(reinterpret_cast<char*>(record) + sizeof(ListNode), 0, sizeof(Record) - sizeof(ListNode));
    return record;
}

uint32_t load_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void store_u32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A reader over [position, end) whose reads fail instead of passing the end.
struct ByteCursor {
    uint8_t* position;
    uint8_t* end;
    bool failed;
};

bool read_u8(ByteCursor& cursor, uint8_t& value)
{
    if (cursor.failed || cursor.position >= cursor.end) return !(cursor.failed = true);
    value = *cursor.position++;
    return true;
}

bool read_u32(ByteCursor& cursor, uint32_t& value)
{
    if (cursor.failed || cursor.end - cursor.position < 4) return !(cursor.failed = true);
    value = load_u32(cursor.position);
    cursor.position += 4;
    return true;
}

bool skip_bytes(ByteCursor& cursor, size_t count)
{
    if (cursor.failed || static_cast<size_t>(cursor.end - cursor.position) < count) return !(cursor.failed = true);
    cursor.position += count;
    return true;
}

// A NUL-terminated text that ends inside the cursor's range.
bool read_text(ByteCursor& cursor, char*& text)
{
    if (cursor.failed) return false;
    void* nul = std::memchr(cursor.position, 0, static_cast<size_t>(cursor.end - cursor.position));
    if (!nul) return !(cursor.failed = true);
    text = reinterpret_cast<char*>(cursor.position);
    cursor.position = static_cast<uint8_t*>(nul) + 1;
    return true;
}

bool read_texts(ByteCursor& cursor, uint8_t count, char*& first)
{
    first = nullptr;
    for (int i = 0; i < count; i++) {
        char* text;
        if (!read_text(cursor, text)) return false;
        if (i == 0) first = text;
    }
    return true;
}

// The library name becomes a file name in the work folder.
bool is_plain_file_name(const char* name)
{
    if (!name[0] || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    return std::strpbrk(name, "/\\:") == nullptr;
}

// Type code of a parameter byte of a command record.
uint8_t translate_parameter_code(uint8_t code)
{
    switch (code) {
    case 0x08:
    case 0x10: return TYPE_LIST;
    case 0x20: return TYPE_ARRAY;
    case '@': return TYPE_STRING;
    case 'A': return TYPE_FLOAT;
    case 'B': return PARAMETER_ANY;
    case 'C': return TYPE_DOUBLE;
    case 'D': return TYPE_QUAD;
    case 'E': return TYPE_MAP;
    case 'F': return TYPE_STRUCTURE;
    case 'G': return PARAMETER_ARRAY_THEN_MAP;
    case 'H': return PARAMETER_MAP_THEN_MAP;
    case 'I': return PARAMETER_LIST_THEN_MAP;
    case 'J': return PARAMETER_STRUCTURE_POINTER;
    case 'K': return PARAMETER_ARRAY_ELEMENT_MAP;
    case 'L': return PARAMETER_MAP_ELEMENT_MAP;
    case 'M': return PARAMETER_LIST_ELEMENT_MAP;
    case 'N': return PARAMETER_STRUCTURE_MAP;
    case 'O': return PARAMETER_STRUCTURE_DESCRIPTOR;
    default: return TYPE_INTEGER;
    }
}

// The text after the last separator.
std::string file_part(const char* path)
{
    const char* slash = std::strrchr(path, '\\');
    const char* other = std::strrchr(path, '/');
    if (!slash || (other && other > slash)) slash = other;
    return slash ? std::string(slash + 1) : std::string(path);
}

void record_unreadable(const char* path)
{
    set_error_format(ERROR_LIBRARY_NOT_LOADED, file_part(path).c_str());
}

// Chunk head at `offset`: 0 when no chunk starts there (end of file or other
// bytes), 1 with its type and size, -1 when a 'ZAND' head is cut short (also
// inside its tag).
int read_chunk_head(const uint8_t* data, uint64_t size, uint64_t offset, uint32_t& type, uint32_t& chunk_size)
{
    if (offset >= size) return 0;
    uint8_t tag[4];
    store_u32(tag, LIBRARY_TAG_ZAND);
    uint64_t left = size - offset;
    if (std::memcmp(data + offset, tag, left < 4 ? left : 4) != 0) return 0;
    if (left < LIBRARY_CHUNK_HEAD_SIZE) return -1;
    chunk_size = load_u32(data + offset + 4);
    type = load_u32(data + offset + 8);
    return 1;
}

// Everything of a library file found before it is committed to the tables.
struct ParsedLibrary {
    uint8_t format_version;
    uint32_t options;
    uint32_t unpacked_size;
    char* name;
    uint8_t language;
    uint8_t link_library_count;
    char* link_libraries;
    uint8_t object_type;
    char* help_line;
    uint8_t dependency_count;
    char* dependencies;
    uint8_t* commands;        // first command record
    uint8_t* header_end;
    uint8_t* object_data;
    uint32_t object_size;
    uint8_t* unpacked_data;
    uint8_t* debugger_data;
    uint32_t debugger_size;
};

// Checks the header chunk: every field, count, text and command record must
// end inside it.
bool parse_library_header(uint8_t* data, uint64_t size, ParsedLibrary& parsed)
{
    uint64_t header_end = uint64_t(LIBRARY_CHUNK_HEAD_SIZE) + load_u32(data + LIBRARY_OFFSET_HEADER_SIZE);
    if (header_end > size) return false;
    ByteCursor cursor{data + LIBRARY_CHUNK_HEAD_SIZE, data + header_end, false};
    read_u32(cursor, parsed.options);
    parsed.unpacked_size = 0;
    if (parsed.format_version == 4) read_u32(cursor, parsed.unpacked_size);
    read_text(cursor, parsed.name);
    read_u8(cursor, parsed.language);
    read_u8(cursor, parsed.link_library_count);
    read_texts(cursor, parsed.link_library_count, parsed.link_libraries);
    read_u8(cursor, parsed.object_type);
    read_text(cursor, parsed.help_line);
    read_u8(cursor, parsed.dependency_count);
    read_texts(cursor, parsed.dependency_count, parsed.dependencies);
    if (cursor.failed || !is_plain_file_name(parsed.name)) return false;

    parsed.commands = cursor.position;
    parsed.header_end = cursor.end;
    while (cursor.position < cursor.end) {
        char* text;
        uint8_t count = 0;
        uint32_t flags;
        read_text(cursor, text);
        read_u8(cursor, count);
        if (static_cast<int8_t>(count) > 0) skip_bytes(cursor, count);
        read_u32(cursor, flags);
        read_text(cursor, text);
        if (cursor.failed) return false;
    }
    return true;
}

// Finds DAT1 and DBG1 after the header chunk; unpacks or unscrambles the
// object data. Records its own error and returns false on failure.
bool parse_library_chunks(uint8_t* data, uint64_t size, ParsedLibrary& parsed, const char* path)
{
    uint64_t offset = parsed.header_end - data;
    uint32_t type = 0;
    uint32_t chunk_size = 0;
    int head = read_chunk_head(data, size, offset, type, chunk_size);
    if (head < 0) return false;
    if (head > 0 && type == LIBRARY_TAG_DAT1) {
        uint64_t step = chunk_size;
        if (parsed.format_version == 3) step = (step + 3) & ~uint64_t(3);
        if (size - offset - LIBRARY_CHUNK_HEAD_SIZE < step) return false;
        uint8_t* chunk = data + offset + LIBRARY_CHUNK_HEAD_SIZE;
        parsed.object_data = chunk;
        parsed.object_size = chunk_size;
        if (parsed.format_version == 3) {
            uint32_t key = LIBRARY_LIB3_KEY_START;
            for (uint64_t i = 0; i < step; i += 4) {
                store_u32(chunk + i, ~load_u32(chunk + i) - key);
                key += chunk_size;
            }
            if (parsed.options & LIBRARY_OPTION_COMPRESSED) {
                set_error_format(ERROR_COMPRESSED_LIBRARY, file_part(path).c_str());
                return false;
            }
        } else if (parsed.options & LIBRARY_OPTION_COMPRESSED) {
            if (parsed.unpacked_size == 0 || parsed.unpacked_size > max_unpacked_size) return false;
            uint8_t* unpacked = static_cast<uint8_t*>(os_heap_alloc(permanent_heap, parsed.unpacked_size));
            uLongf unpacked_size = parsed.unpacked_size;
            if (uncompress(unpacked, &unpacked_size, chunk, chunk_size) != Z_OK || unpacked_size != parsed.unpacked_size) {
                os_heap_free(permanent_heap, unpacked);
                return false;
            }
            parsed.unpacked_data = unpacked;
            parsed.object_data = unpacked;
            parsed.object_size = parsed.unpacked_size;
        }
        offset += LIBRARY_CHUNK_HEAD_SIZE + step;
        head = read_chunk_head(data, size, offset, type, chunk_size);
        if (head < 0) return false;
    }
    if (head > 0 && type == LIBRARY_TAG_DBG1) {
        if (size - offset - LIBRARY_CHUNK_HEAD_SIZE < chunk_size) return false;
        parsed.debugger_data = data + offset + LIBRARY_CHUNK_HEAD_SIZE;
        parsed.debugger_size = chunk_size;
    }
    return true;
}

void mark_chr_command()
{
    LibraryCommand* chr = find_library_command("Chr");
    if (chr && !(chr->flags & command_hidden_flags)) chr->second_flags |= command_second_chr;
}

}  // namespace

void init_libraries()
{
    library_list = create_list(sizeof(LibraryRecord), 1);
    library_command_list = create_list(sizeof(LibraryCommand), 1);
    library_command_hash = create_hash_table(sizeof(LibraryCommand), hash_flag_permanent);
    used_library_list = create_list(sizeof(LibraryPointerSlot), 1);
    loaded_library_names = create_list(sizeof(NameSlot), 1);
    loaded_import_names = create_list(sizeof(NameSlot), 1);
    loaded_resident_names = create_list(sizeof(NameSlot), 1);

    for (const CompilerFunction& function : compiler_functions) {
        LibraryCommand* command = add_zeroed<LibraryCommand>(library_command_list);
        command->entry.key = function.name;
        command->parameter_count = function.parameter_count;
        command->flags = function.flags;
        command->stack_bytes = 8 * function.parameter_count;
        command->help = const_cast<char*>(function.help);
        if (std::strcmp(function.name, "Subsystem") == 0) {
            command->use_count = -1;
            hash_insert_command(library_command_hash, &command->entry);
        }
    }
}

LibraryCommand* find_library_command(const char* name)
{
    if (!library_command_hash) return nullptr;
    return reinterpret_cast<LibraryCommand*>(hash_find(library_command_hash, name));
}

LibraryRecord* find_library(const char* name)
{
    if (!library_list) return nullptr;
    for (ListNode* node = library_list->first; node; node = node->next) {
        LibraryRecord* library = reinterpret_cast<LibraryRecord*>(node);
        if (compare_names(library->name, name) == 0) return library;
    }
    return nullptr;
}

LibraryCommand* library_parse_command(LibraryRecord* library, uint8_t** cursor)
{
    uint8_t* p = *cursor;
    char* name = reinterpret_cast<char*>(p);
    p += std::strlen(name) + 1;
    int8_t count = static_cast<int8_t>(*p++);
    uint8_t* codes = p;
    for (int i = 0; i < count; i++) codes[i] = translate_parameter_code(codes[i]);
    if (count > 0) p += count;
    uint32_t flags = load_u32(p);
    p += 4;
    char* help = reinterpret_cast<char*>(p);
    p += std::strlen(help) + 1;
    *cursor = p;

    // A name already taken: by a hashed command, or by a compiler function
    // that the hash does not hold.
    const char* other_owner = nullptr;
    if (LibraryCommand* other = find_library_command(name))
        other_owner = other->library ? other->library->name : compiler_function_owner;
    for (const CompilerFunction& function : compiler_functions)
        if (!other_owner && compare_names(function.name, name) == 0) other_owner = compiler_function_owner;
    if (other_owner) set_error_format(ERROR_DUPLICATED_LIBRARY_COMMAND, name, library->name, other_owner);

    // Before the first entry whose name is not smaller, or at the end.
    ListNode* before = nullptr;
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        if (compare_names(command_name(reinterpret_cast<LibraryCommand*>(node)), name) >= 0) {
            before = node;
            break;
        }
    }
    library_command_list->current = before ? before->previous : library_command_list->last;
    LibraryCommand* command = add_zeroed<LibraryCommand>(library_command_list);

    command->entry.key = name;
    hash_insert_command(library_command_hash, &command->entry);
    command->library = library;
    command->parameter_count = count;
    command->parameter_codes = codes;
    command->stack_bytes = count > 0 ? 8 * count : 0;
    command->flags = flags;
    command->help = help;
    if (flags & LIBRARY_FLAG_INITFUNCTION) {
        library->init_command = command;
        command->use_count = -1;
    }
    if (flags & LIBRARY_FLAG_ENDFUNCTION) {
        library->end_command = command;
        command->use_count = -1;
    }
    if (flags & LIBRARY_FLAG_STRING) command->stack_bytes += 8;
    return command;
}

void library_load_file(const char* path)
{
    FILE* file = os_fopen(path, "rb");
    if (!file) {
        record_unreadable(path);
        return;
    }
    long file_size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) file_size = std::ftell(file);
    if (file_size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        record_unreadable(path);
        return;
    }
    uint64_t size = static_cast<uint64_t>(file_size);
    uint8_t* data = static_cast<uint8_t*>(os_heap_alloc(permanent_heap, size + 8, true));
    bool read = std::fread(data, 1, size, file) == size;
    std::fclose(file);
    if (!read) {
        os_heap_free(permanent_heap, data);
        record_unreadable(path);
        return;
    }

    if (size < 4 || load_u32(data) != LIBRARY_TAG_ZAND) {
        os_heap_free(permanent_heap, data);
        return;
    }
    if (size < LIBRARY_CHUNK_HEAD_SIZE) {
        os_heap_free(permanent_heap, data);
        record_unreadable(path);
        return;
    }
    uint32_t type = load_u32(data + 8);
    if (type != LIBRARY_TAG_LIB4 && type != LIBRARY_TAG_LIB3) {
        os_heap_free(permanent_heap, data);
        set_error_format(ERROR_LIBRARY_TOO_OLD, file_part(path).c_str());
        return;
    }

    ParsedLibrary parsed{};
    parsed.format_version = type == LIBRARY_TAG_LIB4 ? 4 : 3;
    int32_t error_before = error_number;
    if (!parse_library_header(data, size, parsed) || !parse_library_chunks(data, size, parsed, path)) {
        if (parsed.unpacked_data) os_heap_free(permanent_heap, parsed.unpacked_data);
        os_heap_free(permanent_heap, data);
        if (error_number == error_before) record_unreadable(path);
        return;
    }

    library_list->current = library_list->last;
    LibraryRecord* library = add_zeroed<LibraryRecord>(library_list);
    library->name = parsed.name;
    library->format_version = parsed.format_version;
    library->language = parsed.language;
    library->link_library_count = parsed.link_library_count;
    library->link_libraries = parsed.link_libraries;
    library->object_type = parsed.object_type;
    library->help_line = parsed.help_line;
    library->dependency_count = parsed.dependency_count;
    library->dependencies = parsed.dependencies;
    library->object_data = parsed.object_data;
    library->object_size = parsed.object_size;
    library->debugger_data = parsed.debugger_data;
    library->debugger_size = parsed.debugger_size;
    library->file_data = data;
    library->unpacked_data = parsed.unpacked_data;
    if (library->dependencies)
        for (char* c = library->dependencies; *c; c++)
            if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');

    bool debugger_library = compare_names(library->name, "debuggerfunctions") == 0;
    uint8_t* cursor = parsed.commands;
    while (cursor < parsed.header_end && !error_number) {
        LibraryCommand* command = library_parse_command(library, &cursor);
        library->command_count++;
        if (debugger_library) command->second_flags |= command_second_debugger_library;
    }
}

void scan_library_folder(const char* folder, int kind, int error_number_if_missing)
{
    std::string relative = folder;
    for (char& c : relative)
        if (c == '/') c = '\\';
    std::string full = home_folder + relative;
    std::vector<DirectoryEntry> entries;
    if (!os_list_directory(full.c_str(), entries)) {
        if (error_number_if_missing) set_error(error_number_if_missing);
        return;
    }
    if (!full.empty() && !os_is_separator(full.back())) full += '\\';
    for (const DirectoryEntry& entry : entries) {
        if (entry.is_directory) continue;
        std::string path = full + entry.name;
        // Only files are read: a dangling link, a link to a folder, a pipe
        // (which would wait for a writer for ever) or a device is passed by.
        if (!os_file_exists(path.c_str())) continue;
        const char* name = entry.name.c_str();
        if (kind == 0) {
            if (name_list_contains(loaded_library_names, name)) continue;
            name_list_add(loaded_library_names, name);
            library_load_file(path.c_str());
        } else if (kind == 1) {
            if (name_list_contains(loaded_import_names, name)) continue;
            name_list_add(loaded_import_names, name);
            import_library_file_read(path.c_str());
        } else {
            if (ignored_resident && compare_names(ignored_resident, name) == 0) continue;
            if (name_list_contains(loaded_resident_names, name)) continue;
            name_list_add(loaded_resident_names, name);
            load_resident(path.c_str());
        }
    }
    mark_chr_command();
}

void load_subsystems()
{
    for (ListNode* node = subsystem_list ? subsystem_list->first : nullptr; node; node = node->next) {
        const char* name = *reinterpret_cast<char**>(node + 1);
        std::string folder = std::string("Subsystems\\") + name;
        for (char& c : folder)
            if (c == '/') c = '\\';
        if (!os_directory_exists((home_folder + folder).c_str())) {
            if (standby_mode) {
                std::printf("ERROR\tSUBSYSTEM\t%s\n", name);
                std::fflush(stdout);
                std::exit(1);
            }
            set_error_format(ERROR_SUBSYSTEM_NOT_LOADED, name);
            continue;
        }
        console_print("Loading '%s' subsystem\n", name);
        scan_library_folder((folder + "\\ZandLibraries\\").c_str(), 0, 0);
        scan_library_folder((folder + "\\ZandLibraries\\UserLibraries\\").c_str(), 0, 0);
        scan_library_folder((folder + "\\ZandLibraries\\Windows\\").c_str(), 1, 0);
        scan_library_folder((folder + "\\Residents\\").c_str(), 2, 0);
    }
    resolve_resident_structure_refs();
}

void reset_usage_marks()
{
    if (!library_list) return;
    for (ListNode* node = library_list->first; node; node = node->next) {
        reinterpret_cast<LibraryRecord*>(node)->used = 0;
        reinterpret_cast<LibraryRecord*>(node)->visited = 0;
    }
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->use_count > 0) command->use_count = 0;
        command->second_flags &= ~command_second_per_compilation;
    }
    list_clear(used_library_list);
}

void mark_command_used(const char* name)
{
    LibraryCommand* command = find_library_command(name);
    if (!command || (command->flags & command_hidden_flags)) return;
    command->use_count++;
    if (command->library && !no_output_depth) command->library->used = 1;
}

void mark_library_used(const char* name)
{
    if (LibraryRecord* library = find_library(name)) library->used = 1;
}

void mark_library_dependencies(LibraryRecord* library)
{
    library->visited = 1;
    used_library_list->current = used_library_list->last;
    static_cast<LibraryPointerSlot*>(list_add(used_library_list))->library = library;
    const char* dependency = library->dependencies;
    for (int i = 0; i < library->dependency_count; i++, dependency += std::strlen(dependency) + 1) {
        LibraryRecord* needed = find_library(dependency);
        if (!needed) {
            set_error_format(ERROR_LIBRARY_MISSING, dependency, library->name);
            current_line = -1;
            continue;
        }
        needed->used = 1;
        if (!needed->visited) mark_library_dependencies(needed);
    }
}

const ProcessorVariant processor_variants[4] = {
    {"_MMX", LIBRARY_FLAG_MMX}, {"_3DNOW", LIBRARY_FLAG_3DNOW}, {"_SSE", LIBRARY_FLAG_SSE}, {"_SSE2", LIBRARY_FLAG_SSE2}};

bool command_in_dynamic_table(const LibraryCommand* command)
{
    if (command->flags & LIBRARY_FLAG_LEFT_OUT) return false;
    if (command->use_count == 0 || !command->library || !command->library->used) return false;
    return (command->flags & LIBRARY_FLAG_PROCESSOR) != 0;
}

const char* get_routine_suffix(const LibraryCommand* command)
{
    static char suffix[32];
    suffix[0] = 0;
    if (thread_safe && (command->flags & LIBRARY_FLAG_THREAD)) std::strcat(suffix, "_THREAD");
    if (parallel_enabled && (command->flags & LIBRARY_FLAG_PARALLEL)) std::strcat(suffix, "_PARALLEL");
    if (purifier_enabled && (command->flags & LIBRARY_FLAG_PURIFIER)) std::strcat(suffix, "_PURIFIER");
    return suffix;
}

void select_runtime_libraries()
{
    if (!library_list) return;
    for (ListNode* node = library_list->first; node; node = node->next)
        reinterpret_cast<LibraryRecord*>(node)->visited = 0;
    if (debugger_enabled) {
        for (const char* name : {"Array", "Date", "Memory", "String", "StringExtension", "Map", "Network", "CipherMD5"})
            mark_library_used(name);
    }
    if (parallel_enabled) mark_library_used("Parallel");
    list_clear(used_library_list);
    for (ListNode* node = library_list->first; node; node = node->next) {
        LibraryRecord* library = reinterpret_cast<LibraryRecord*>(node);
        if (library->used && !library->visited) mark_library_dependencies(library);
    }
    for (ListNode* node = used_library_list->first; node; node = node->next) {
        const LibraryRecord* library = reinterpret_cast<LibraryPointerSlot*>(node)->library;
        LinkLibrary link{};
        link.name = library->name;
        link.object_data = library->object_data;
        link.object_size = library->object_size;
        link.debug_data = library->debugger_data ? library->debugger_data : library->object_data;
        link.debug_size = library->debugger_data ? library->debugger_size : library->object_size;
        link.system_names = library->link_libraries;
        link.system_name_count = library->link_library_count;
        link.uses_object_manager = library->object_type == LIBRARY_OBJECT_OBJ;
        link_library_list.push_back(link);
    }
}
