// Modules: the module table, the sections DeclareModule ... EndDeclareModule
// and Module ... EndModule, UseModule and UnuseModule, and the module prefix.
#include "frontend/modules.h"

#include <cstdio>
#include <cstring>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/labels.h"
#include "frontend/lexer.h"
#include "frontend/macros.h"
#include "frontend/arrays.h"
#include "frontend/lists_maps.h"
#include "frontend/procedures.h"
#include "frontend/variables.h"

HashTable* module_table = nullptr;
ModuleRecord* main_module = nullptr;
ModuleRecord* current_module = nullptr;
ModuleRecord* explicit_module = nullptr;
CursorList* modules_in_use = nullptr;

namespace {

// The global list of modules in use, kept while a section has its own list.
CursorList* global_modules_in_use = nullptr;

// Scope settings saved at the start of a section.
struct SavedScope {
    int32_t explicit_enabled;
    int32_t inline_asm_enabled;
    uint8_t debugger_code;
    CursorList* modules_in_use;
    CurrentType default_type;
};
SavedScope saved_scope;

void set_module_name_constant(const char* name)
{
    if (constant_compiler_module) {
        constant_compiler_module->value.text = pool_strdup(name);
    }
}

void set_explicit(int32_t value)
{
    explicit_enabled = value;
    if (constant_compiler_enable_explicit) {
        constant_compiler_enable_explicit->value.integer_value = value;
    }
}

void set_inline_asm(int32_t value)
{
    inline_asm_enabled = value;
    if (constant_compiler_inline_assembly) {
        constant_compiler_inline_assembly->value.integer_value = value;
    }
}

// Inside a module section untyped variables are integers.
void set_integer_default_type()
{
    default_type = CurrentType{};
    default_type.size = 8;
    default_type.code = TYPE_INTEGER;
    default_type.name[0] = 'i';
    default_type.name[1] = 0;
}

CursorList* create_use_list()
{
    return create_list(sizeof(ModuleUse), 0);
}

void add_use(CursorList* list, ModuleRecord* module)
{
    while (list_next(list)) {
    }
    ModuleUse* use = static_cast<ModuleUse*>(list_add(list));
    use->module = module;
}

bool list_holds(CursorList* list, const ModuleRecord* module)
{
    if (!list) {
        return false;
    }
    for (ListNode* node = list->first; node; node = node->next) {
        if (reinterpret_cast<ModuleUse*>(node)->module == module) {
            return true;
        }
    }
    return false;
}

// Name checks shared by DeclareModule and Module.
bool check_section_name(const char* name)
{
    size_t length = std::strlen(name);
    if (length == 0 || name[length - 1] == '$') {
        set_error(ERROR_SYNTAX);
        return false;
    }
    if (in_procedure) {
        set_error(ERROR_MODULE_INSIDE_PROCEDURE);
        return false;
    }
    return true;
}

void format_earlier_section(int n, const char* name, const char* file, int32_t line)
{
    char text[1024];
    std::snprintf(text, sizeof text, "%s (%s line %d)", name, file ? file : "", line + 1);
    set_error_format(n, text);
}

// A record of the debugger's code-context table of a CODE_CONTEXT_* kind:
// the start or end of a module section, UseModule, UnuseModule.
void add_module_context(int32_t kind, const ModuleRecord* module)
{
    if (debugger_enabled)
        backend->add_code_context_entry(kind, module_name(module));
}

// UseModule records for the modules of a list in use, all but `except`.
void add_use_contexts(const CursorList* list, const ModuleRecord* except)
{
    if (!list) return;
    for (ListNode* node = list->first; node; node = node->next) {
        const ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
        if (module != except) add_module_context(CODE_CONTEXT_USE_MODULE, module);
    }
}

ModuleRecord* new_module_record(const char* name)
{
    ModuleRecord* module = static_cast<ModuleRecord*>(hash_add(module_table, pool_strdup(name)));
    HashEntry entry = module->entry;
    std::memset(module, 0, sizeof *module);
    module->entry = entry;
    return module;
}

// The public constants of `module` against the constants visible in the
// global scope: the same name with another kind or value is error 63.
bool check_public_constants(ModuleRecord* module)
{
    if (!module->constants) {
        return true;
    }
    HashTable* table = module->constants;
    // find_constant walks other tables only; this iterator stays valid.
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        ConstantRecord* record = reinterpret_cast<ConstantRecord*>(entry);
        if (!(record->flags & constant_flag_public)) {
            continue;
        }
        ConstantRecord* existing = find_constant(entry->key);
        if (existing && existing != record && !constants_have_same_value(existing, record)) {
            set_error_format(ERROR_CONSTANT_DECLARED_WITH_OTHER_VALUE, entry->key);
            return false;
        }
    }
    return true;
}

bool check_public_macros(ModuleRecord* module)
{
    if (!module->macros) {
        return true;
    }
    HashTable* table = module->macros;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) {
        MacroRecord* record = reinterpret_cast<MacroRecord*>(entry);
        if (!(record->flags & macro_flag_public)) {
            continue;
        }
        MacroRecord* existing = find_macro(entry->key);
        if (existing && existing != record) {
            set_error_format(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE, entry->key);
            return false;
        }
    }
    return true;
}

// The public variables and structures of `module` against the global
// tables (301, 302), its public procedures, arrays, lists and maps against
// what the ordinary lookups find (287).
bool check_public_items(ModuleRecord* module)
{
    if (module->variables) {
        hash_reset_iterator(module->variables);
        while (HashEntry* entry = hash_next(module->variables)) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!(variable->flags & VAR_PUBLIC) || !variable_table || !hash_find(variable_table, entry->key)) continue;
            hash_reset_iterator(module->variables);
            set_error_format(ERROR_MODULE_VARIABLE_IN_GLOBAL_SCOPE, get_key_display_name(entry->key));
            return false;
        }
    }
    if (module->structures && structure_table) {
        hash_reset_iterator(module->structures);
        while (HashEntry* entry = hash_next(module->structures)) {
            auto* structure = reinterpret_cast<StructureRecord*>(entry);
            if (!(structure->flags & STRUCT_PUBLIC) || !hash_find(structure_table, entry->key)) continue;
            hash_reset_iterator(module->structures);
            set_error_format(ERROR_MODULE_STRUCTURE_IN_GLOBAL_SCOPE, entry->key);
            return false;
        }
    }
    auto found_elsewhere = [](const char* name, bool pointer) {
        int32_t saved_pointer = pointer_flag;
        pointer_flag = pointer ? 1 : 0;
        bool found = find_array(name) || find_list(name) || find_map(name) || (!pointer && find_procedure_quietly(name));
        pointer_flag = saved_pointer;
        if (error_number) clear_error_state();
        return found;
    };
    if (module->procedures) {
        hash_reset_iterator(module->procedures);
        while (HashEntry* entry = hash_next(module->procedures)) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            if (!(procedure->second_flags & PROC_SECOND_PUBLIC) || !found_elsewhere(entry->key, false)) continue;
            hash_reset_iterator(module->procedures);
            set_error_format(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE, entry->key);
            return false;
        }
    }
    for (ListNode* node = module->arrays ? module->arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if ((array->flags & ARRAY_PUBLIC) && found_elsewhere(array->name, array->flags & ARRAY_POINTERS)) {
            set_error_format(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE, array->name);
            return false;
        }
    }
    for (CursorList* list : {module->lists, module->maps}) {
        for (ListNode* node = list ? list->first : nullptr; node; node = node->next) {
            // Lists and maps share the head of their records.
            auto* record = reinterpret_cast<ListRecord*>(node);
            if (list == module->maps) {
                auto* map = reinterpret_cast<MapRecord*>(node);
                if ((map->flags & CONTAINER_PUBLIC) && found_elsewhere(map->name, map->flags & CONTAINER_POINTERS)) {
                    set_error_format(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE, map->name);
                    return false;
                }
                continue;
            }
            if ((record->flags & CONTAINER_PUBLIC) && found_elsewhere(record->name, record->flags & CONTAINER_POINTERS)) {
                set_error_format(ERROR_MODULE_ITEM_IN_GLOBAL_SCOPE, record->name);
                return false;
            }
        }
    }
    return true;
}

// A procedure that the module declared and never defined (293).
void check_module_procedures_defined(ModuleRecord* module)
{
    if (!module->procedures) return;
    hash_reset_iterator(module->procedures);
    while (HashEntry* entry = hash_next(module->procedures)) {
        auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
        if ((procedure->flags & (PROC_DECLARE_ONLY | PROC_IMPORTED)) != PROC_DECLARE_ONLY) continue;
        hash_reset_iterator(module->procedures);
        set_error_format(ERROR_MODULE_PROCEDURE_DECLARED_NOT_DEFINED, entry->key);
        return;
    }
}

}  // namespace

void init_modules()
{
    module_table = create_hash_table(sizeof(ModuleRecord), 0);
    main_module = new_module_record(".Main");
    main_module->constants = constants_table;
    main_module->macros = macro_table;
    modules_in_use = create_use_list();
    global_modules_in_use = modules_in_use;
    current_module = nullptr;
    explicit_module = nullptr;
    saved_scope = SavedScope{};
}

ModuleRecord* find_module(const char* name)
{
    if (!module_table || !name || !name[0]) {
        return nullptr;
    }
    return reinterpret_cast<ModuleRecord*>(hash_find(module_table, name));
}

bool module_in_use(const ModuleRecord* module)
{
    return list_holds(modules_in_use, module);
}

int module_section_state()
{
    if (!current_module) {
        return 0;
    }
    return (current_module->flags & module_flag_declared_only) ? 1 : 2;
}

void module_save_state()
{
    saved_scope.explicit_enabled = explicit_enabled;
    saved_scope.inline_asm_enabled = inline_asm_enabled;
    saved_scope.debugger_code = debugger_code;
    saved_scope.modules_in_use = modules_in_use;
    saved_scope.default_type = default_type;
    set_integer_default_type();
    set_explicit(0);
    set_inline_asm(0);
    if (debugger_enabled) {
        debugger_code = 1;
    }
}

void module_restore_state()
{
    current_module = nullptr;
    label_scope_module = nullptr;
    set_module_name_constant("");
    set_explicit(saved_scope.explicit_enabled);
    set_inline_asm(saved_scope.inline_asm_enabled);
    debugger_code = saved_scope.debugger_code;
    default_type = saved_scope.default_type;
    modules_in_use = saved_scope.modules_in_use ? saved_scope.modules_in_use : global_modules_in_use;
}

void declare_module(const char* name)
{
    if (!check_section_name(name)) {
        return;
    }
    if (!module_table) {
        init_modules();
    }
    ModuleRecord* existing = find_module(name);
    if (existing) {
        format_earlier_section(ERROR_MODULE_ALREADY_DECLARED, module_name(existing), existing->declare_file, existing->declare_line);
        return;
    }
    module_save_state();
    ModuleRecord* module = new_module_record(name);
    // The tables of constants and macros are built here; the owners of the
    // other declaration tables create their slot on first use.
    module->constants = create_hash_table(sizeof(ConstantRecord), 0);
    module->macros = create_hash_table(sizeof(MacroRecord), 0);
    module->flags = module_flag_declared_only;
    module->declare_line = current_line;
    module->declare_file = pool_strdup(current_source_file ? current_source_file : "");
    module->used_modules = create_use_list();
    add_use(module->used_modules, module);
    current_module = module;
    label_scope_module = module_name(module);
    modules_in_use = module->used_modules;
    set_module_name_constant(name);
    add_module_context(CODE_CONTEXT_MODULE_START, module);
}

void end_declare_module()
{
    ModuleRecord* module = current_module;
    if (!module) {
        set_error(ERROR_ENDDECLAREMODULE_WITHOUT_DECLAREMODULE);
        return;
    }
    module->saved_explicit_enabled = static_cast<uint8_t>(explicit_enabled);
    module->saved_inline_asm_enabled = static_cast<uint8_t>(inline_asm_enabled);
    module->saved_debugger_code = debugger_code;
    module->saved_default_type = default_type;
    module_restore_state();
    add_module_context(CODE_CONTEXT_MODULE_END, module);
    add_use_contexts(modules_in_use, nullptr);
}

void begin_module(const char* name)
{
    if (!check_section_name(name)) {
        return;
    }
    ModuleRecord* module = find_module(name);
    if (!module) {
        set_error_format(ERROR_MODULE_WITHOUT_DECLAREMODULE, name);
        return;
    }
    if (!(module->flags & module_flag_declared_only)) {
        format_earlier_section(ERROR_MODULE_ALREADY_DECLARED, module_name(module), module->module_file, module->module_line);
        return;
    }
    module_save_state();
    module->flags &= ~module_flag_declared_only;
    module->module_line = current_line;
    module->module_file = pool_strdup(current_source_file ? current_source_file : "");
    current_module = module;
    label_scope_module = module_name(module);
    set_module_name_constant(module_name(module));
    modules_in_use = module->used_modules;
    set_explicit(module->saved_explicit_enabled);
    set_inline_asm(module->saved_inline_asm_enabled);
    debugger_code = module->saved_debugger_code;
    default_type = module->saved_default_type;
    add_module_context(CODE_CONTEXT_MODULE_START, module);
    add_use_contexts(modules_in_use, module);
}

void end_module()
{
    ModuleRecord* module = current_module;
    if (!module) {
        set_error(ERROR_ENDMODULE_WITHOUT_MODULE);
        return;
    }
    labels_end_module();
    if (!error_number) check_module_procedures_defined(module);
    list_clear(module->used_modules);
    module_restore_state();
    add_module_context(CODE_CONTEXT_MODULE_END, module);
    add_use_contexts(modules_in_use, nullptr);
}

bool resolve_word_module_prefix()
{
    if (!statement_word[0] || token_code != TOKEN_MODULE_SEPARATOR) return false;
    // The lookup reads the next token into statement_word.
    char module[STATEMENT_WORD_SIZE];
    snprintf(module, sizeof module, "%s", statement_word);
    resolve_module_prefix(module);
    return true;
}

void resolve_module_prefix(const char* name)
{
    if (!name || !name[0]) {
        set_error(ERROR_SYNTAX);
        return;
    }
    ModuleRecord* module = find_module(name);
    if (!module) {
        set_error_format(ERROR_MODULE_NOT_FOUND, name);
        return;
    }
    explicit_module = module;
    read_token();
}

void use_module(const char* name)
{
    ModuleRecord* module = find_module(name);
    if (!module || module == main_module) {
        set_error_format(ERROR_MODULE_NOT_FOUND, name);
        return;
    }
    if (module_in_use(module)) {
        return;
    }
    if (!check_public_items(module) || !check_public_macros(module) || !check_public_constants(module)) {
        return;
    }
    add_use(modules_in_use, module);
    add_module_context(CODE_CONTEXT_USE_MODULE, module);
}

void unuse_module(const char* name)
{
    ModuleRecord* module = find_module(name);
    if (!module || module == main_module) {
        set_error_format(ERROR_MODULE_NOT_FOUND, name);
        return;
    }
    list_reset_cursor(modules_in_use);
    while (ModuleUse* use = static_cast<ModuleUse*>(list_next(modules_in_use))) {
        if (use->module == module) {
            list_delete_current(modules_in_use);
            add_module_context(CODE_CONTEXT_UNUSE_MODULE, module);
            return;
        }
    }
}

void check_declared_modules()
{
    if (!module_table) {
        return;
    }
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) {
        ModuleRecord* module = reinterpret_cast<ModuleRecord*>(entry);
        if (module->flags & module_flag_declared_only) {
            set_error_format(ERROR_MODULE_ONLY_DECLARED, entry->key);
            return;
        }
    }
}
