// Modules: DeclareModule/EndDeclareModule, Module/EndModule, UseModule,
// UnuseModule and the module prefix "name::". A module is a named scope with
// its own symbol tables; the lookups of constants, macros and the other
// declaration tables consult the explicit module, the current module, the
// modules in use and the global tables, in that order.
#pragma once

#include <cstdint>

#include "core/cursor_list.h"
#include "core/hash_table.h"
#include "frontend/symbols.h"

// ModuleRecord flags.
constexpr int32_t module_flag_declared_only = 0x1;  // from DeclareModule until Module

// One module (element of module_table; per-compilation heap). The ".Main"
// module's slots point to the global tables.
struct ModuleRecord {
    HashEntry entry;              // key: the module name (pool copy)
    CursorList* arrays;
    CursorList* lists;
    CursorList* maps;
    CursorList* labels;
    HashTable* procedures;
    HashTable* variables;
    HashTable* constants;
    HashTable* structures;
    HashTable* prototypes;
    HashTable* macros;
    HashTable* enumerations;
    CursorList* used_modules;     // ModuleUse elements
    int32_t module_line;          // Module statement
    char* module_file;
    int32_t declare_line;         // DeclareModule statement
    char* declare_file;
    int32_t flags;
    // Scope settings stored at EndDeclareModule and loaded at Module.
    uint8_t saved_explicit_enabled;
    uint8_t saved_inline_asm_enabled;
    uint8_t saved_debugger_code;
    CurrentType saved_default_type;
};

// Element of a list of modules in use.
struct ModuleUse {
    ListNode link;
    ModuleRecord* module;
};

inline const char* module_name(const ModuleRecord* module) { return module->entry.key; }

// Start of each compilation: the module table with ".Main", an empty global
// list of modules in use, no current or explicit module.
void init_modules();
// The module of that name (any case), or null.
ModuleRecord* find_module(const char* name);
// True when the module is in the current list of modules in use.
bool module_in_use(const ModuleRecord* module);

void declare_module(const char* name);
void end_declare_module();
void begin_module(const char* name);
void end_module();
void use_module(const char* name);
void unuse_module(const char* name);
// A name followed by "::": selects the module for the next lookup and reads
// the next token.
void resolve_module_prefix(const char* name);
// The same for the word just read, when "::" follows it; true when it was a
// module prefix. A failure is left in the error state.
bool resolve_word_module_prefix();
// 0 outside module sections, 1 inside DeclareModule, 2 inside Module.
int module_section_state();
// End of source: error 300 for a module that was only declared.
void check_declared_modules();
// Scope settings around a module section.
void module_save_state();
void module_restore_state();
