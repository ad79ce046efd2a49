#include "core/catalog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core_globals.h"
#include "platform/platform.h"

CatalogGroup* catalog_groups = nullptr;
CatalogGroup* catalog_last_group = nullptr;
int32_t catalog_generation = 0;
std::vector<char*> catalog_owned_texts;

namespace {

constexpr int catalog_message_count = 360;
constexpr int catalog_info_capacity = 100;
constexpr int catalog_read_size = 200;
const char* const string_not_found = "### String not found ###";
const char* const builtin_group_name = "ErrorCodes";

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool equal_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (lowercase_table[uint8_t(*a)] != lowercase_table[uint8_t(*b)]) return false;
    }
    return *a == *b;
}

CatalogGroup* add_catalog_group(char* name)
{
    CatalogGroup* group = static_cast<CatalogGroup*>(std::calloc(1, sizeof(CatalogGroup)));
    group->name = name;
    group->next = catalog_groups;
    catalog_groups = group;
    catalog_last_group = group;
    return group;
}

// Makes the group "ErrorCodes" of the English texts, keys "1" to "360".
void build_builtin_group()
{
    CatalogGroup* group = find_catalog_group(builtin_group_name);
    if (group && group->builtin_pairs) return;
    if (!group) {
        char* name = static_cast<char*>(std::malloc(std::strlen(builtin_group_name) + 1));
        std::strcpy(name, builtin_group_name);
        catalog_owned_texts.push_back(name);
        group = add_catalog_group(name);
    }
    // Keys of at most three digits, each in an 4-byte slot of one block.
    char* keys = static_cast<char*>(std::malloc(size_t(catalog_message_count) * 4));
    catalog_owned_texts.push_back(keys);
    group->builtin_pairs = static_cast<CatalogPair*>(std::malloc(sizeof(CatalogPair) * catalog_message_count));
    for (int n = 1; n <= catalog_message_count; ++n) {
        char* key = keys + size_t(n - 1) * 4;
        std::snprintf(key, 4, "%i", n);
        group->builtin_pairs[n - 1] = CatalogPair{key, english_message_text(n)};
    }
    group->builtin_count = catalog_message_count;
}

const char* find_pair_value(const CatalogPair* pairs, int32_t count, const char* key)
{
    for (int32_t i = 0; i < count; ++i) {
        if (std::strcmp(pairs[i].key, key) == 0) return pairs[i].value;
    }
    return nullptr;
}

void add_catalog_pair(CatalogGroup* group, const char* key, const char* value)
{
    if (group->pair_count == group->pair_capacity) {
        group->pair_capacity = group->pair_capacity ? group->pair_capacity * 2 : 64;
        group->pairs = static_cast<CatalogPair*>(
            std::realloc(group->pairs, sizeof(CatalogPair) * size_t(group->pair_capacity)));
    }
    group->pairs[group->pair_count++] = CatalogPair{key, value};
}

// Copies text[0, length) into a buffer of catalog_info_capacity + 1 bytes.
void copy_info_value(char* out, const char* text, size_t length)
{
    if (length > size_t(catalog_info_capacity)) length = catalog_info_capacity;
    std::memcpy(out, text, length);
    out[length] = 0;
}

// The bounds of a "[name]" line's name without surrounding blanks; false when
// the line is not a group line.
bool group_name_bounds(const char* line, const char* end, const char** name, const char** name_end)
{
    if (line >= end || *line != '[') return false;
    const char* close = static_cast<const char*>(std::memchr(line, ']', size_t(end - line)));
    if (!close) return false;
    const char* first = line + 1;
    while (first < close && is_blank(*first)) ++first;
    const char* last = close;
    while (last > first && is_blank(last[-1])) --last;
    *name = first;
    *name_end = last;
    return true;
}

// The bounds of a key "=" value line's key and value without surrounding
// blanks; false when the line holds no '=' or an empty key.
bool pair_bounds(const char* line, const char* end, const char** key_end, const char** value,
                 const char** value_end)
{
    const char* equal = static_cast<const char*>(std::memchr(line, '=', size_t(end - line)));
    if (!equal) return false;
    const char* k = equal;
    while (k > line && is_blank(k[-1])) --k;
    if (k == line) return false;
    const char* v = equal + 1;
    while (v < end && is_blank(*v)) ++v;
    const char* e = end;
    while (e > v && is_blank(e[-1])) --e;
    *key_end = k;
    *value = v;
    *value_end = e;
    return true;
}

}  // namespace

CatalogGroup* find_catalog_group(const char* group_name)
{
    if (catalog_last_group && equal_ignoring_case(catalog_last_group->name, group_name)) {
        return catalog_last_group;
    }
    for (CatalogGroup* group = catalog_groups; group; group = group->next) {
        if (equal_ignoring_case(group->name, group_name)) {
            catalog_last_group = group;
            return group;
        }
    }
    return nullptr;
}

const char* catalog_string(const char* group_name, int n)
{
    CatalogGroup* group = find_catalog_group(group_name);
    if (!group) return string_not_found;
    char key[16];
    std::snprintf(key, sizeof key, "%i", n);
    const char* value = find_pair_value(group->pairs, group->pair_count, key);
    if (!value) value = find_pair_value(group->builtin_pairs, group->builtin_count, key);
    return value ? value : string_not_found;
}

void parse_catalog_text(char* text)
{
    ++catalog_generation;
    CatalogGroup* group = nullptr;
    char* p = text;
    while (*p) {
        while (is_blank(*p)) ++p;
        char* line = p;
        char* end = line;
        while (*end && *end != '\r' && *end != '\n') ++end;
        p = end;
        while (*p == '\r' || *p == '\n') ++p;

        const char* name;
        const char* name_end;
        const char* key_end;
        const char* value;
        const char* value_end;
        if (group_name_bounds(line, end, &name, &name_end)) {
            char* name_text = const_cast<char*>(name);
            name_text[name_end - name] = 0;
            group = find_catalog_group(name_text);
            if (!group) group = add_catalog_group(name_text);
            // A group met again in a later file takes that file's pairs only.
            if (group->loaded_generation != catalog_generation) {
                group->pair_count = 0;
                group->loaded_generation = catalog_generation;
            }
        } else if (group && line < end && *line != ';' &&
                   pair_bounds(line, end, &key_end, &value, &value_end)) {
            line[key_end - line] = 0;
            line[value_end - line] = 0;
            add_catalog_pair(group, line, value);
        }
    }
}

bool read_catalog_info(const char* path, char* language, char* application)
{
    language[0] = 0;
    application[0] = 0;
    FILE* file = os_fopen(path, "rb");
    if (!file) return false;
    char buffer[catalog_read_size + 1];
    bool in_info = false;
    bool line_start = true;
    while (std::fgets(buffer, sizeof buffer, file)) {
        size_t length = std::strlen(buffer);
        bool whole = length > 0 && buffer[length - 1] == '\n';
        // The tail of a line longer than the buffer is not a line of its own.
        bool skip = !line_start;
        line_start = whole;
        if (skip) continue;
        const char* line = buffer;
        while (is_blank(*line)) ++line;
        const char* end = line;
        while (*end && *end != '\r' && *end != '\n') ++end;

        const char* name;
        const char* name_end;
        const char* key_end;
        const char* value;
        const char* value_end;
        if (group_name_bounds(line, end, &name, &name_end)) {
            if (in_info) break;
            std::string group(name, name_end);
            in_info = equal_ignoring_case(group.c_str(), "LanguageInfo");
        } else if (in_info && *line != ';' && pair_bounds(line, end, &key_end, &value, &value_end)) {
            std::string key(line, key_end);
            if (equal_ignoring_case(key.c_str(), "Language")) {
                copy_info_value(language, value, size_t(value_end - value));
            } else if (equal_ignoring_case(key.c_str(), "Application")) {
                copy_info_value(application, value, size_t(value_end - value));
            }
        }
    }
    std::fclose(file);
    return true;
}

bool load_catalog_file(const char* path, const char* language)
{
    char file_language[catalog_info_capacity + 1];
    char application[catalog_info_capacity + 1];
    if (!read_catalog_info(path, file_language, application)) return false;
    if (!equal_ignoring_case(file_language, language)) return false;
    if (!equal_ignoring_case(application, "ZD_Compiler")) return false;

    std::string contents;
    if (!os_read_file(path, contents) || contents.empty()) return false;
    char* text = static_cast<char*>(std::malloc(contents.size() + 1));
    std::memcpy(text, contents.data(), contents.size());
    text[contents.size()] = 0;
    catalog_owned_texts.push_back(text);
    parse_catalog_text(text);
    return true;
}

bool find_catalog_in_directory(const char* folder, const char* language)
{
    std::vector<DirectoryEntry> entries;
    if (!os_list_directory(folder, entries)) return false;
    for (const DirectoryEntry& entry : entries) {
        std::string path = std::string(folder) + "\\" + entry.name;
        if (entry.is_directory) {
            if (find_catalog_in_directory(path.c_str(), language)) return true;
        } else if (!entry.is_link || os_file_exists(path.c_str())) {
            // Linked folders are never entered, so a loop of links ends.
            if (load_catalog_file(path.c_str(), language)) return true;
        }
    }
    return false;
}

int load_catalog()
{
    if (!language_name || !*language_name) return 0;
    build_builtin_group();

    std::string catalogs = home_folder + "catalogs";
    for (char& c : catalogs) {
        if (c == '/') c = '\\';
    }
    std::string path = catalogs + "\\" + language_name + "\\compiler.catalog";
    if (!load_catalog_file(path.c_str(), language_name) &&
        !find_catalog_in_directory(catalogs.c_str(), language_name)) {
        return 0;
    }

    CatalogGroup* x64_group = find_catalog_group("ErrorCodes x64");
    for (int n = 1; n <= catalog_message_count; ++n) {
        const char* text = catalog_string(builtin_group_name, n);
        if (x64_group) {
            char key[16];
            std::snprintf(key, sizeof key, "%i", n);
            const char* x64_text = find_pair_value(x64_group->pairs, x64_group->pair_count, key);
            if (x64_text) text = x64_text;
        }
        set_message_text(n, text);
    }
    return 1;
}

void clear_catalog()
{
    while (catalog_groups) {
        CatalogGroup* next = catalog_groups->next;
        std::free(catalog_groups->pairs);
        std::free(catalog_groups->builtin_pairs);
        std::free(catalog_groups);
        catalog_groups = next;
    }
    catalog_last_group = nullptr;
    for (char* text : catalog_owned_texts) std::free(text);
    catalog_owned_texts.clear();
    for (int n = 0; n < message_table_size; ++n) set_message_text(n, english_message_text(n));
}
