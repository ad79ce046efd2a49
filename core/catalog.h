// The message catalog: translated compiler messages read from
// "compiler.catalog" files under the installation's "catalogs" folder.
#pragma once

#include <cstdint>

// One key "=" value line of a catalog; both texts point into the catalog
// text (or into the English message table for the built-in pairs).
struct CatalogPair {
    const char* key;
    const char* value;
};

// A "[name]" group: the pairs of the catalog file and the built-in pairs.
struct CatalogGroup {
    CatalogGroup* next;
    char* name;
    CatalogPair* pairs;           // from the loaded catalog file
    int32_t pair_count;
    int32_t pair_capacity;
    int32_t loaded_generation;    // the file load that last gave this group pairs
    CatalogPair* builtin_pairs;
    int32_t builtin_count;
};

// Loads the catalog of `language_name`; 1 when one was loaded, 0 when none
// was found (the English texts stay).
int load_catalog();

// The text of key n (written in decimal) in a group: the file's pairs first,
// then the built-in pairs, else "### String not found ###".
const char* catalog_string(const char* group_name, int n);

// The group of that name (case ignored), or null.
CatalogGroup* find_catalog_group(const char* group_name);

// Reads the "LanguageInfo" group of a catalog file: its Language and
// Application keys, each cut at 100 characters. False when the file cannot
// be read.
bool read_catalog_info(const char* path, char* language, char* application);

// Loads a catalog file when it is for `language` and the compiler; true when
// its groups were taken over.
bool load_catalog_file(const char* path, const char* language);

// Searches a folder and its sub-folders for a catalog file that loads.
bool find_catalog_in_directory(const char* folder, const char* language);

// Splits a catalog text in place into groups and pairs; the text must stay
// alive as long as the catalog.
void parse_catalog_text(char* text);

// Drops every group and catalog text and restores the English messages.
void clear_catalog();
