// Import files of operating-system functions, the Import statement's list of
// library files and the sorted list of external symbols.
#include "frontend/imports.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/build_tools.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/call_arguments.h"
#include "frontend/frontend_globals.h"
#include "frontend/import_file_format.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/source_reader.h"
#include "frontend/variables.h"
#include "platform/platform.h"

CursorList* import_library_entries = nullptr;
HashTable* os_function_table = nullptr;
std::vector<std::string> ImportLibraryList;
std::vector<std::string> ExternSymbolList;

namespace {

constexpr uint8_t type_long = 5;
constexpr uint8_t type_float = 9;
constexpr uint8_t type_string = 8;

// Kind flags of the open Import block's functions (the C form adds its bit).
uint32_t import_calling_flags = 0;
// debugger_code before the open Import block.
uint8_t import_saved_debugger_code = 0;

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
        // Its call record lived in the pool of the last compilation.
        reinterpret_cast<ImportedFunction*>(entry)->call_record = nullptr;
    }
    hash_reset_iterator(os_function_table);
    import_calling_flags = 0;
    import_saved_debugger_code = 0;
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

void write_standby_import_list()
{
    std::printf("%u\n", os_function_table ? os_function_table->count : 0u);
    if (!os_function_table) return;
    hash_reset_iterator(os_function_table);
    while (HashEntry* entry = hash_next(os_function_table)) {
        const ImportedFunction* f = reinterpret_cast<ImportedFunction*>(entry);
        if (f->parameter_text && f->parameter_text[0]) std::printf("%s(%s)\n", entry->key, f->parameter_text);
        else std::printf("%s\n", entry->key);
    }
    hash_reset_iterator(os_function_table);
}

int mark_imported_function_for_help(const char* name)
{
    if (!name || !name[0] || !find_imported_function(name)) return 0;
    mark_imported_function_used(name, nullptr);
    return 1;
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
    collect_import_externs();
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
        set_error(ERROR_IMPORT_INSIDE_PROCEDURE);
        return;
    }
    if (literal_text[0] == 0) return;
    std::string resolved = resolve_source_path(literal_text);
    ImportLibraryList.push_back(os_file_exists(resolved.c_str()) ? resolved : std::string(literal_text));
    // The name is used up: the next literal of the program starts empty.
    reset_literal_text();
}


// ---------------------------------------------------------------------------
// Import blocks

void begin_import_block(int c_convention)
{
    in_import = 1;
    import_calling_flags = PROC_IMPORTED | (c_convention ? PROC_C_CALL : 0);
    import_saved_debugger_code = debugger_code;
    debugger_code = 0;
    line_markers_suppressed++;
}

void end_import_block()
{
    debugger_code = import_saved_debugger_code;
}

namespace {

// The link names that the generated program defines itself (both back
// ends): an imported function or variable can't be bound to one of them.
bool is_program_own_symbol(const char* symbol)
{
    static const char* const names[] = {
        "ZD_MemoryBase",   "ZD_Instance",     "ZD_ExitCode",        "ZD_DataPointer",      "ZD_DataSectionStart",
        "ZD_DllInit",      "ZD_EndFunctions", "ZD_ExecutableType",  "ZD_OpenGLSubsystem",  "ZD_ThreadedObjectSize",
        "ZD_MainThreadObject", "ZD_SourceCodePath", "SYS_EndDataSection",
    };
    for (const char* name : names)
        if (std::strcmp(symbol, name) == 0) return true;
    static const char* const prefixes[] = {"ZD_Compiler_", "ZD_DEBUGGER_", "_ZD_", "_SYS_"};
    for (const char* prefix : prefixes)
        if (std::strncmp(symbol, prefix, std::strlen(prefix)) == 0) return true;
    return false;
}

// The link name of an imported item; error 188 for a name of the program's own.
bool check_import_symbol(const char* symbol)
{
    if (!is_program_own_symbol(symbol)) return true;
    set_error_format(ERROR_INVALID_NAME, symbol);
    return false;
}

// "As" and a literal string after a declaration (the token is the one after
// it): the symbol text, or null when there is no "As". Error 25 when
// something else than a literal string follows.
const char* read_symbol_after_as(bool* failed)
{
    *failed = false;
    if (token_code != TOKEN_AS) return nullptr;
    // The literal's text starts empty, whatever earlier statements gathered.
    reset_literal_text();
    read_token();
    if (error_number || literal_length < 0 || statement_word[0]) {
        if (!error_number) set_error_format(ERROR_LITERAL_STRING_EXPECTED_AFTER, "As");
        *failed = true;
        return nullptr;
    }
    // A literal is a whole operand: the token after it ends the line. The
    // name is used up: the next literal of the program starts empty.
    const char* symbol = pool_strdup(literal_text);
    reset_literal_text();
    return symbol;
}

void declare_imported_variable(const char* name, bool pointer)
{
    if (find_global_variable(name, pointer) || find_global_variable(name, !pointer)) {
        set_error_format(ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE, name);
        return;
    }
    // parse_field_type read the type and the token after it.
    CurrentType type = current_type;
    bool failed = false;
    const char* symbol = read_symbol_after_as(&failed);
    if (failed || !check_import_symbol(symbol ? symbol : name)) return;
    snprintf(statement_word, STATEMENT_WORD_SIZE, "%s", name);
    CurrentType saved_type = current_type;
    current_type = type;
    int32_t saved_token = token_code;
    VariableRecord* variable = resolve_variable_as(VARIABLE_FIND_OR_CREATE, DECLARE_GLOBAL, pointer);
    token_code = saved_token;
    current_type = saved_type;
    if (!variable || error_number) return;
    variable->flags |= VAR_OWN_SYMBOL | VAR_GLOBAL;
    variable->symbol = pool_strdup(symbol ? symbol : name);
    if (token_code == TOKEN_AS) {
        read_token();
        refuse_word_operator();
    }
}

}  // namespace

void compile_import_function_line()
{
    read_token();
    if (error_number) return;
    bool pointer = false;
    if (token_code == '*' && !statement_word[0]) {
        skip_star();
        if (error_number) return;
        pointer = true;
    }
    unsigned char first = static_cast<unsigned char>(statement_word[0]);
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || first == '_')) return;
    char name[STATEMENT_WORD_SIZE];
    snprintf(name, sizeof name, "%s", statement_word);
    parse_field_type(token_code == '(' ? TYPE_SUFFIX_RETURN : TYPE_SUFFIX_PLAIN);
    if (error_number) return;
    if (token_code != '(') {
        declare_imported_variable(name, pointer);
        return;
    }
    if (pointer) {
        set_error(ERROR_SYNTAX);
        return;
    }
    CurrentType return_type = current_type;
    size_t name_length = std::strlen(name);
    if (!return_type.given && name_length > 1 && name[name_length - 1] == '$') {
        // A name written with '$' returns a string.
        return_type.code = TYPE_STRING;
    } else if (!return_type.given) {
        return_type.code = TYPE_INTEGER;
        return_type.size = 8;
    }
    if (return_type.code == TYPE_STRING) {
        set_error(ERROR_STRING_RETURN_IN_IMPORT);
        return;
    }

    // The procedure-line parser reads the name and "(" itself: it is given
    // the name joined to the parameter list, and the parse position is put
    // back into the statement afterwards.
    char* list_start = parse_pointer;
    static std::string header;
    header.assign(name);
    header += '(';
    size_t joined_at = header.size();
    header += list_start;
    char* joined = header.data();
    parse_pointer = joined;

    int32_t saved_in_procedure = in_procedure;
    int32_t saved_offset = local_frame_offset;
    in_procedure++;
    local_frame_offset = 40;
    ProcedureRecord* record = procedure_declare(import_calling_flags ? import_calling_flags : PROC_IMPORTED);
    bool failed = false;
    const char* symbol = nullptr;
    if (record && !error_number) {
        set_return_flags(record, &return_type, false);
        symbol = read_symbol_after_as(&failed);
        if (!failed && check_import_symbol(symbol ? symbol : name)) record->symbol_name = pool_strdup(symbol ? symbol : name);
    }
    clear_local_symbols();
    in_procedure = saved_in_procedure;
    local_frame_offset = saved_offset;
    if (parse_pointer >= joined + joined_at && parse_pointer <= joined + header.size()) {
        parse_pointer = list_start + (parse_pointer - (joined + joined_at));
    }
}

ProcedureRecord* imported_function_record(ImportedFunction* function)
{
    if (function->call_record) return function->call_record;
    auto* record = static_cast<ProcedureRecord*>(pool_alloc(sizeof(ProcedureRecord)));
    std::memset(record, 0, sizeof *record);
    record->entry.key = function->entry.key;
    record->parameter_text = function->parameter_text;
    record->flags = function->flags | PROC_IMPORTED | PROC_DECLARED;
    record->second_flags = function->second_flags;
    // A function of the import files returns a full integer unless its
    // entry names another result type.
    const uint32_t result_bits = PROC_RETURNS_BYTE | PROC_RETURNS_LONG | PROC_RETURNS_STRING | PROC_RETURNS_FLOAT |
                                 PROC_RETURNS_DOUBLE | PROC_RETURNS_QUAD;
    const uint32_t second_result_bits = PROC_SECOND_CHARACTER | PROC_SECOND_ASCII | PROC_SECOND_UNICODE;
    if (!(function->flags & result_bits) && !(function->second_flags & second_result_bits))
        record->second_flags |= PROC_SECOND_INTEGER;
    record->stack_size = function->stack_size;
    record->string_parameter_count = function->string_parameter_count;
    record->pseudo_type_count = function->pseudo_parameter_count;
    int32_t count = function->parameter_count < 0 ? 0 : function->parameter_count;
    if (count > MAX_CALL_ARGUMENTS) count = MAX_CALL_ARGUMENTS;
    record->parameter_count = count;
    if (count) {
        record->parameters = static_cast<ParameterRecord*>(pool_alloc(sizeof(ParameterRecord) * size_t(count)));
        std::memset(record->parameters, 0, sizeof(ParameterRecord) * size_t(count));
        for (int32_t i = 0; i < count; i++) {
            record->parameters[i].type = function->parameter_types[i];
            record->parameters[i].size = function->parameter_sizes[i];
        }
    }
    int32_t optional = function->optional_parameter_count;
    if (optional < 0 || optional > count) optional = 0;
    record->optional_count = static_cast<uint8_t>(optional);
    record->default_values = optional ? function->default_values : nullptr;
    record->symbol_name = function->symbol;
    record->id = -1;
    function->call_record = record;
    return record;
}

int compile_imported_function_call(const char* name)
{
    ImportedFunction* function = find_imported_function(name);
    if (!function) return 0;
    function->use_count++;
    if (function->library) function->library->used = 1;
    compile_procedure_call(imported_function_record(function));
    return 1;
}

namespace {

void add_used_import_symbols(HashTable* procedures)
{
    if (!procedures) return;
    hash_reset_iterator(procedures);
    while (HashEntry* entry = hash_next(procedures)) {
        auto* record = reinterpret_cast<ProcedureRecord*>(entry);
        if ((record->flags & PROC_IMPORTED) && record->use_count > 0)
            add_extern_symbol(record->symbol_name ? record->symbol_name : procedure_name(record));
    }
    hash_reset_iterator(procedures);
}

void add_imported_variable_symbols(HashTable* variables)
{
    if (!variables) return;
    hash_reset_iterator(variables);
    while (HashEntry* entry = hash_next(variables)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if ((variable->flags & VAR_OWN_SYMBOL) && !(variable->flags & VAR_DATA_POINTER) && variable->symbol)
            add_extern_symbol(variable->symbol);
    }
    hash_reset_iterator(variables);
}

}  // namespace

void collect_import_externs()
{
    add_used_import_symbols(procedure_table);
    add_imported_variable_symbols(variable_table);
    if (!module_table) return;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) {
        auto* module = reinterpret_cast<ModuleRecord*>(entry);
        if (module->procedures != procedure_table) add_used_import_symbols(module->procedures);
        if (module->variables != variable_table) add_imported_variable_symbols(module->variables);
    }
    hash_reset_iterator(module_table);
}

// ---------------------------------------------------------------------------
// /IMPORT and /WINDOWSIMPORT

namespace {

// The imported functions of the global procedure table, in table order.
std::vector<ProcedureRecord*> global_imported_functions()
{
    std::vector<ProcedureRecord*> records;
    if (!procedure_table) return records;
    hash_reset_iterator(procedure_table);
    while (HashEntry* entry = hash_next(procedure_table)) {
        auto* record = reinterpret_cast<ProcedureRecord*>(entry);
        if (record->flags & PROC_IMPORTED) records.push_back(record);
    }
    hash_reset_iterator(procedure_table);
    return records;
}

ImportFunctionSpec import_spec_of(const ProcedureRecord* record)
{
    ImportFunctionSpec spec;
    spec.name = procedure_name(record);
    spec.symbol = record->symbol_name ? record->symbol_name : procedure_name(record);
    spec.parameter_text = record->parameter_text ? record->parameter_text : "";
    spec.flags = record->flags;
    spec.second_flags = record->second_flags;
    spec.stack_size = record->stack_size;
    spec.string_parameter_count = static_cast<int16_t>(record->string_parameter_count);
    spec.pseudo_parameter_count = record->pseudo_type_count;
    spec.optional_parameter_count = record->optional_count;
    for (int32_t i = 0; i < record->parameter_count; i++) spec.parameter_types.push_back(record->parameters[i].type);
    int32_t first_optional = record->parameter_count - record->optional_count;
    for (int32_t i = 0; i < record->optional_count; i++) {
        ImportDefault value = {};
        value.value = record->default_values ? record->default_values[i] : 0;
        if (record->parameters[first_optional + i].type == TYPE_STRING) {
            const char* text = nullptr;
            std::memcpy(&text, &value.value, sizeof text);
            value.text = text ? text : "";
            value.value = 0;
        }
        spec.defaults.push_back(value);
    }
    return spec;
}

}  // namespace

void collect_imported_functions(std::vector<ImportedFunctionName>& functions)
{
    for (ProcedureRecord* record : global_imported_functions()) {
        functions.push_back({procedure_name(record), record->symbol_name ? record->symbol_name : procedure_name(record)});
    }
}

void write_import_file()
{
    if (ImportLibraryList.size() != 1) {
        current_line = -1;
        set_error(ImportLibraryList.empty() ? ERROR_NO_IMPORT_DEFINITION : ERROR_MORE_THAN_ONE_IMPORT_DEFINITION);
        return;
    }
    // The file carries the library named by the block and the block's
    // functions, from the global procedure table.
    std::vector<ImportFunctionSpec> functions;
    for (ProcedureRecord* record : global_imported_functions()) functions.push_back(import_spec_of(record));
    std::string bytes = build_import_file(ImportLibraryList.front(), functions);
    if (!import_file || !os_write_file(import_file, bytes.data(), bytes.size())) {
        current_line = -1;
        set_error_format_always(ERROR_IMPORT_LIBRARY_NOT_CREATED, import_file ? import_file : "");
        return;
    }
    console_print("Import library '%s' created.\n", import_file);
    // The Windows import library that may follow is named by the same block.
    link_import_libraries.assign(1, ImportLibraryList.front());
}
