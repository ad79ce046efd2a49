#include "backend_c/c_expressions.h"
#include "backend_c/c_program_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_program_blocks.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "forge/library_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

constexpr uint32_t procedure_exported = PROC_DLL;
constexpr uint32_t procedure_imported = PROC_IMPORTED;
constexpr uint32_t procedure_declared_only = PROC_DECLARE_ONLY;
constexpr uint32_t procedure_prototype = PROC_PROTOTYPE;
// Threaded arrays and field arrays are declared where their thread block or
// structure is, not among the program's arrays.
constexpr uint32_t array_skip_flags = ARRAY_THREADED | ARRAY_FIELD;
// The same for lists and maps: the threaded bit (without the global one it
// carries) and fields.
constexpr uint32_t container_skip_flags = (CONTAINER_THREADED & ~CONTAINER_GLOBAL) | CONTAINER_FIELD;
// Variables with a symbol of their own and threaded ones are declared apart.
constexpr uint16_t variable_skip_flags = VAR_OWN_SYMBOL | VAR_THREADED;
constexpr uint32_t command_no_declaration = LIBRARY_FLAG_LEFT_OUT;
constexpr uint32_t command_returns_string = LIBRARY_FLAG_STRING;

// Re-reads the current buffer after a block that may have filled it.
void grow_current_buffer()
{
    sync_output_buffer();
}

// The modules in table order, taken before any block writer walks the table.
std::vector<ModuleRecord*> module_list()
{
    std::vector<ModuleRecord*> modules;
    if (!module_table) return modules;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
    hash_reset_iterator(module_table);
    return modules;
}

// The main program's table and each module's own, a table once.
std::vector<HashTable*> module_tables(HashTable* main_table, HashTable* ModuleRecord::*slot)
{
    std::vector<HashTable*> tables;
    if (main_table) tables.push_back(main_table);
    for (ModuleRecord* module : module_list())
        if (module->*slot && std::find(tables.begin(), tables.end(), module->*slot) == tables.end())
            tables.push_back(module->*slot);
    return tables;
}

std::vector<HashTable*> procedure_tables() { return module_tables(procedure_table, &ModuleRecord::procedures); }
std::vector<HashTable*> variable_tables() { return module_tables(variable_table, &ModuleRecord::variables); }

template <typename Visit>
void for_each_entry(HashTable* table, Visit visit)
{
    if (!table) return;
    std::vector<HashEntry*> entries;
    hash_reset_iterator(table);
    while (HashEntry* entry = hash_next(table)) entries.push_back(entry);
    hash_reset_iterator(table);
    for (HashEntry* entry : entries) visit(entry);
}

template <typename Visit>
void for_each_node(CursorList* list, Visit visit)
{
    for (ListNode* node = list ? list->first : nullptr; node; node = node->next) visit(node);
}

LibraryRecord* used_library_at(ListNode* node)
{
    return *reinterpret_cast<LibraryRecord**>(node + 1);
}

const char* subsystem_name(ListNode* node)
{
    return *reinterpret_cast<char**>(node + 1);
}

void emit_text_number(const char* text, int64_t value)
{
    char number[24];
    std::string line = std::string(text) + c_int64_to_text(number, value) + ";";
    emit_line(line.c_str());
}

// Used structures (0x40) that are interfaces (`interfaces`) or not.
template <typename Visit>
void for_each_used_structure(bool interfaces, Visit visit)
{
    for (const CStructureTable& scope : c_structure_tables()) {
        for_each_entry(scope.table, [&](HashEntry* entry) {
            auto* structure = reinterpret_cast<StructureRecord*>(entry);
            if (!(structure->flags & STRUCT_USED)) return;
            if (((structure->flags & STRUCT_INTERFACE) != 0) != interfaces) return;
            visit(structure);
        });
    }
}

ProcedureRecord* find_exported_procedure(const char* name)
{
    if (!main_module || !main_module->procedures) return nullptr;
    auto* procedure = reinterpret_cast<ProcedureRecord*>(hash_find(main_module->procedures, name));
    if (procedure && (procedure->flags & procedure_exported)) return procedure;
    return nullptr;
}

std::string procedure_c_name(ProcedureRecord* procedure)
{
    return c_procedure_name(procedure);
}

void emit_entry_procedure_call(ProcedureRecord* procedure)
{
    if (!procedure) return;
    std::string line = procedure_c_name(procedure) + "(instance);";
    emit_line(line.c_str());
}

template <typename Visit>
void for_each_dynamic_command(Visit visit)
{
    for_each_node(library_command_list, [&](ListNode* node) {
        auto* command = reinterpret_cast<LibraryCommand*>(node);
        // Only the commands the program calls: init and end routines are
        // called by their own names.
        if (command->use_count > 0 && command_in_dynamic_table(command)) visit(command);
    });
}

bool has_dynamic_commands()
{
    bool found = false;
    for_each_dynamic_command([&found](LibraryCommand*) { found = true; });
    return found;
}

// "(<parameter types>)" of a command's routine.
std::string library_parameter_list(const LibraryCommand* command)
{
    std::string list = "(";
    int count = command->parameter_count > 0 ? command->parameter_count : 0;
    for (int i = 0; i < count; i++) {
        if (i) list += ",";
        list += c_type_name(command->parameter_codes ? command->parameter_codes[i] : 0);
    }
    if (command->flags & command_returns_string) list += count ? ",int" : "int";
    return list + ")";
}

void emit_library_command_call(LibraryCommand* command, const char* suffix)
{
    std::string line = std::string("ZD_") + command_name(command) + suffix + "();";
    emit_line(line.c_str());
}

// The start-up code changes to the source folder: a program made in the
// temporary build folder and started from there.
bool changes_to_source_folder()
{
    return executable_at_output_path == 0 && !commented_output && !dll_mode;
}

// Declaration of one imported function: "<result> <name>(<types>) asm("<symbol>");".
void emit_import_declaration(const char* result, const std::string& name, const uint8_t* types, int count, const char* symbol)
{
    std::string line = std::string(result) + " " + name + "(";
    for (int i = 0; i < count; i++) {
        if (i) line += ",";
        line += c_type_name(types ? types[i] : 0);
    }
    line += ") asm(\"";
    line += symbol;
    line += "\");";
    emit_line(line.c_str());
}

// The system functions that the start-up and exit code call, declared even
// when no import file lists them.
struct StartupFunction {
    const char* name;
    const char* declaration;
};
const StartupFunction startup_functions[] = {
    {"ExitProcess_", "integer f_exitprocess_(int) asm(\"ExitProcess\");"},
    {"HeapCreate_", "integer f_heapcreate_(int,integer,integer) asm(\"HeapCreate\");"},
    {"HeapDestroy_", "integer f_heapdestroy_(integer) asm(\"HeapDestroy\");"},
    {"GetModuleHandle_", "integer f_getmodulehandle_(integer) asm(\"GetModuleHandleW\");"},
};

const char* const runtime_prototypes[C_RUNTIME_ROUTINE_COUNT] = {
    "M_SYSFUNCTION(void) SYS_CopyStructure(void *Destination, integer Length, integer *StructureMap, const void *Source);",
    "M_SYSFUNCTION(void) SYS_CopyString(const void *String);",
    "M_SYSFUNCTION(void) SYS_CopyFixedString(const void *String, int FixedLength);",
    "M_SYSFUNCTION(void) SYS_AssignFixedString(void *FixedString, int FixedStringLength, int PreviousPosition);",
    "M_SYSFUNCTION(void) SYS_AssignFixedStringFast(void *FixedString, int FixedStringLength, const void *String);",
    "M_SYSFUNCTION(void) SYS_CheckStringBuffer(void);",
    "M_SYSFUNCTION(void) SYS_InitDynamicStructure(void *Address, integer *StructureMap);",
    "M_SYSFUNCTION(void *) SYS_ToAscii(const void *String);",
    "M_SYSFUNCTION(void *) SYS_BufferToAscii(int PreviousPosition);",
    "M_SYSFUNCTION(void *) SYS_ToUnicode(const void *String);",
    "M_SYSFUNCTION(void *) SYS_BufferToUnicode(int PreviousPosition);",
    "M_SYSFUNCTION(void *) SYS_ToBSTR(const void *String);",
    "M_SYSFUNCTION(void *) SYS_BufferToBSTR(int PreviousPosition);",
    "M_SYSFUNCTION(void *) SYS_ToUTF8(const void *String);",
    "M_SYSFUNCTION(void *) SYS_BufferToUTF8(int PreviousPosition);",
    "M_SYSFUNCTION(void) SYS_FreeStructureStrings(void *Buffer, integer *StructureMap);",
    "int M_CDECL SYS_StringEqual(TCHAR *String1, TCHAR *String2);",
    "int M_CDECL SYS_StringSuperior(TCHAR *String1, TCHAR *String2);",
    "int M_CDECL SYS_StringInferior(TCHAR *String1, TCHAR *String2);",
    "M_SYSFUNCTION(void) SYS_AllocateString4(TCHAR **String, int PreviousPosition);",
    "M_SYSFUNCTION(void) SYS_FastAllocateString4(TCHAR **Address, const TCHAR *String);",
    "M_SYSFUNCTION(integer) SYS_FastAllocateStringFree4(TCHAR **Address, const TCHAR *String);",
    "M_SYSFUNCTION(void) SYS_FreeString(TCHAR *String);",
    "M_SYSFUNCTION(void) SYS_FreeStringNoCheck(TCHAR *String);",
    "M_ZDFUNCTION(void *) ZD_NewList(integer ElementSize, void *Object, integer *StructureMap, int ElementType);",
    "M_SYSFUNCTION(void *) SYS_AllocateArray(integer ElementSize, integer NbElements, int Type, integer *StructureMap, zd_array *Address);",
    "M_SYSFUNCTION(void *) SYS_AllocateMultiArray(integer NbDimensions, integer ElementSize, int Type, integer *StructureMap, void *Address);",
    "M_SYSFUNCTION(void) SYS_ReAllocateArray(integer NbElements, zd_array *Address);",
    "M_SYSFUNCTION(void) SYS_ReAllocateMultiArray(int NbDimensions, void *ArrayBase);",
    "M_SYSFUNCTION(void) SYS_FreeArray(zd_array *Array);",
    "M_ZDFUNCTION(void *) ZD_NewMap(integer ElementSize, int ElementType, integer *StructureMap, void *Address, int HashSize);",
    "M_ZDFUNCTION(void *) ZD_GetMapElement(void *Map, void *Key);",
    nullptr,  // SYS_GetThreadedObject: written after SYS_InitThreadedObject
};

// A structure variable (not a pointer) whose structure holds arrays, lists
// or maps: they are created when the variable is.
bool holds_containers(const VariableRecord* variable)
{
    return !variable->pointer && variable->type == TYPE_STRUCTURE && variable->structure &&
           (variable->structure->flags & (STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS));
}

// What the start-up and thread callbacks will call for structure variables,
// marked before the prototypes and descriptor tables are written: the set-up
// of their containers, the release of a thread's structures.
void settle_structure_variables()
{
    for (HashTable* table : variable_tables()) {
        for_each_entry(table, [](HashEntry* entry) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (variable->pointer || variable->type != TYPE_STRUCTURE || !variable->structure) return;
            if (is_local_variable(variable) && !(variable->flags & VAR_THREADED)) return;
            if (holds_containers(variable)) {
                variable->structure->flags |= STRUCT_NEEDS_INIT;
                c_runtime_used[C_SYS_InitDynamicStructure] = 1;
            }
            if ((variable->flags & VAR_THREADED) && (variable->structure->flags & STRUCT_DYNAMIC)) {
                variable->structure->flags |= STRUCT_NEEDS_INIT;
                c_runtime_used[C_SYS_FreeStructureStrings] = 1;
            }
        });
    }
    c_settle_static_structures();
}

// Releases of the Threaded objects at the end of a thread.
void emit_thread_object_releases()
{
    for_each_node(init_item_list, [](ListNode* node) {
        auto* item = reinterpret_cast<InitItem*>(node);
        switch (item->kind) {
        case TYPE_STRUCTURE: {
            auto* variable = static_cast<VariableRecord*>(item->object);
            if (!variable || variable->pointer || !variable->structure) break;
            if (!(variable->structure->flags & STRUCT_NEEDS_INIT) || !c_format_variable_operand) break;
            std::string operand = c_format_variable_operand(variable);
            emit_format("SYS_FreeStructureStrings(&%s,m%s);", operand.c_str(), c_structure_name(variable->structure));
            break;
        }
        case TYPE_STRING:
            c_emit_free_string(static_cast<VariableRecord*>(item->object));
            break;
        case TYPE_LIST:
            if (c_emit_free_list) c_emit_free_list(static_cast<ListRecord*>(item->object));
            break;
        case TYPE_ARRAY:
            emit_format("SYS_FreeArray(%s);", c_array_element_pointer(static_cast<ArrayRecord*>(item->object)));
            c_runtime_used[C_SYS_FreeArray] = 1;
            break;
        case TYPE_MAP:
            if (c_emit_free_map) c_emit_free_map(static_cast<MapRecord*>(item->object));
            break;
        default:
            break;
        }
    });
    emit_line("}");
}

}  // namespace

std::string c_source_path_literal(const std::string& folder)
{
    std::string path = program_side_path(folder);
    std::string text;
    for (char c : path) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '"') {
            text += "\\\"";
        } else if (byte < 32) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

int c_opengl_subsystem_value()
{
    bool directx9 = false;
    bool directx11 = false;
    for_each_node(subsystem_list, [&](ListNode* node) {
        const char* name = subsystem_name(node);
        if (!name) return;
        if (strcasecmp(name, "directx9") == 0) directx9 = true;
        if (strcasecmp(name, "directx11") == 0) directx11 = true;
    });
    return ((directx9 || directx11) ? 0 : 1) | (directx11 ? 2 : 0);
}

void c_emit_header()
{
    if (debugger_enabled) {
        for_each_node(library_list, [](ListNode* node) {
            auto* library = reinterpret_cast<LibraryRecord*>(node);
            if (library->name && strcasecmp(library->name, "object") == 0) library->used = 1;
        });
    }
    select_runtime_libraries();
    for_each_used_structure(false, [](StructureRecord* structure) { c_mark_structure_used(structure); });
    c_clear_structure_marks();

    c_emit_comment("");
    c_emit_comment("    Zandrel 6.10 LTS - C Backend (Windows - x64) generated code");
    c_emit_comment("");
    c_emit_comment("Zandrel toolchain, C output for gcc");
    c_emit_comment("");
    c_emit_comment("The header must remain intact for Re-Assembly");
    c_emit_comment("");
    if (dll_mode) c_emit_comment(":DLL");
    for_each_node(used_library_list, [](ListNode* node) { c_emit_comment(used_library_at(node)->name); });
    // The system and Import-block libraries follow their section lines, so
    // that a rebuild from this file (/REASM) links them again.
    c_emit_comment(":System");
    link_system_libraries.clear();
    for (const std::string& name : used_import_library_names()) {
        c_emit_comment(name.c_str());
        link_system_libraries.push_back(name);
    }
    link_import_libraries.clear();
    if (!ImportLibraryList.empty()) {
        c_emit_comment(":Import");
        for (const std::string& path : ImportLibraryList) {
            c_emit_comment(path.c_str());
            link_import_libraries.push_back(path);
        }
    }
    c_emit_comment("");

    emit_line("#pragma warning(disable: 4024)");
    c_emit_comment("");
    emit_line("typedef long long quad;");
    emit_line("typedef unsigned long long uquad;");
    emit_line("typedef quad integer;");
    emit_line("#define ZD_INFINITY (1.0 / 0.0)");
    emit_line("#define ZD_NEG_INFINITY (-1.0 / 0.0)");
    emit_line("typedef struct zd_array { void *a; } zd_array;");
    for (int n = 2; n <= 9; n++) emit_format("typedef struct zd_array%d { void *a; integer b[%d]; } zd_array%d;", n, n, n);
    emit_line("typedef struct zd_listitem { void *a; void *b; void *c;} zd_listitem;");
    emit_line("typedef struct zd_list { void *a; zd_listitem *b; } zd_list;");
    emit_line("typedef struct zd_mapitem { void *a; void *b; void *c;} zd_mapitem;");
    emit_line("typedef struct zd_zdmap { zd_mapitem *a; } zd_zdmap;");
    emit_line("typedef struct zd_map { zd_zdmap *a; } zd_map;");
    emit_line("static integer s_s[]={0, -1};");
    emit_line("#define M_SYSFUNCTION(a) a");
    emit_line("#define M_ZDFUNCTION(a) a");
    emit_line("#define M_CDECL");
    emit_line("typedef void TCHAR;");
    emit_line("static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : "
              "\"=m\" (out) : \"m\" (x)); return out; }");
    emit_line("static inline int zd_lrint(long double x) { int out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpl %0\" : "
              "\"=m\" (out) : \"m\" (x)); return out; }");
    emit_line("static inline short zd_wrint(long double x) { short out; __asm__ __volatile__(\"fldt %1\\n\" \"fistps %0\" : "
              "\"=m\" (out) : \"m\" (x)); return out; }");
    emit_line("#define SYS_BankerRound(x) zd_llrint(x)");
    emit_line("#define SYS_BankerRoundQuad(x) zd_llrint(x)");

    for (int32_t length : fixed_string_size_table) emit_format("typedef struct { char a[%d]; } ft_%d;", length, length);

    c_emit_import_externs();
    c_emit_library_externs();
    if (cpu_mode == cpu_mode_dynamic) c_emit_dynamic_function_pointers();

    for_each_used_structure(true, [](StructureRecord* interface) {
        c_emit_interface_declaration(interface);
        grow_current_buffer();
    });

    emit_line("static char *tls;");
    emit_line("int ZD_ExitCode=0;");
    emit_line("integer ZD_MemoryBase=0;");
    emit_line("integer ZD_Instance=0;");
    emit_line("unsigned char *zd_datapointer;");
    if (c_program_jumps_by_label()) emit_line("static void* volatile zd_label_jump=0;");
    if (data_array_open) {
        emit_line("unsigned char zd_data[];");
        emit_data_text("};");
    }
    c_emit_label_address_defines();
    c_emit_label_defines();
    c_emit_label_aliases();
    if (debugger_enabled) emit_line("void DBG_CheckDataSection();");
}

void c_emit_runtime_prototypes()
{
    c_emit_comment("");
    emit_line("void SYS_Quit();");
    emit_line("M_SYSFUNCTION(void) SYS_InitZandrel();");
    for (int32_t routine = 0; routine < C_RUNTIME_ROUTINE_COUNT; routine++) {
        if (c_runtime_used[routine] && runtime_prototypes[routine]) emit_line(runtime_prototypes[routine]);
    }
    if (c_threaded_items_used || debugger_enabled) emit_line("M_SYSFUNCTION(void *) SYS_InitThreadedObject();");
    if (c_runtime_used[C_SYS_GetThreadedObject]) emit_line("M_SYSFUNCTION(void *) SYS_GetThreadedObject();");
    if (runtime_used) {
        emit_line("M_SYSFUNCTION(void) ZD_Runtime_AddInteger(const void *Name, integer Value);");
        emit_line("M_SYSFUNCTION(void) ZD_Runtime_AddDouble(const void *Name, double Value);");
        emit_line("M_SYSFUNCTION(void) ZD_Runtime_AddVariable(const void *Name, void *Address, integer Type);");
        emit_line("M_SYSFUNCTION(void) ZD_Runtime_AddString(const void *Name, const void *Value);");
    }
    if (gosub_used) {
        emit_line("M_SYSFUNCTION(void) SYS_InitGosubManager();");
        emit_line("M_SYSFUNCTION(void) SYS_PushGosub(void *ReturnAddress);");
        emit_line("M_SYSFUNCTION(void *) SYS_PopGosub();");
    }
    if (!string_manager_used) return;
    if (!thread_safe) {
        emit_line("extern void *ZD_StringBase;");
        emit_line("extern integer ZD_StringBasePosition;");
    } else {
        emit_line("M_SYSFUNCTION(void) SYS_IncrementStringBasePosition(void);");
    }
    emit_line("M_SYSFUNCTION(void) SYS_InitString(void);");
    emit_line("M_SYSFUNCTION(void) SYS_FreeStrings(void);");
    c_emit_comment("");
    emit_line("M_SYSFUNCTION(void) SYS_PushStringBasePosition(void);");
    emit_line("M_SYSFUNCTION(integer) SYS_PopStringBasePosition(void);");
    emit_line("M_SYSFUNCTION(integer) SYS_PopStringBasePositionUpdate(void);");
    emit_line("M_SYSFUNCTION(void *) SYS_PopStringBasePositionValue(void);");
    emit_line("M_SYSFUNCTION(void *) SYS_PopStringBasePositionValueNoUpdate(void);");
    emit_line("M_SYSFUNCTION(integer) SYS_GetStringBasePosition(void);");
    emit_line("M_SYSFUNCTION(void) SYS_SetStringBasePosition(integer Position);");
    emit_line("M_SYSFUNCTION(integer) SYS_StringBasePositionNoPop(void);");
    emit_line("M_SYSFUNCTION(char *) SYS_GetStringBase(void);");
}

void c_emit_string_table()
{
    if (!string_manager_used) return;
    for (const CLiteralString& literal : c_literal_table) {
        grow_current_buffer();
        if (literal.number == empty_literal_number || no_output_depth) continue;
        char number[24];
        std::string line = std::string("static unsigned short _S") + c_int64_to_text(number, literal.number) + "[]={";
        if (!literal.text.empty()) {
            const char* units = utf8_to_dw_list(literal.text.c_str());
            // The list ends in ",0" already.
            line += units;
        } else {
            line += "0";
        }
        line += "};";
        emit_line(line.c_str());
    }
}

void c_generate_program()
{
    settle_structure_variables();
    c_emit_header();
    emit_line("integer f_internal_setcurrentdirectory_(integer) asm(\"SetCurrentDirectoryW\");");
    if (debugger_enabled) {
        c_runtime_used[C_SYS_AllocateString4] = 1;
        c_runtime_used[C_SYS_FastAllocateStringFree4] = 1;
        string_manager_used = 1;
    } else if (thread_safe || runtime_used) {
        string_manager_used = 1;
    }
    c_emit_runtime_prototypes();
    if (debugger_enabled) c_emit_debugger_defines();
    c_emit_debugger_variables();
    c_emit_structure_typedefs();
    c_emit_deferred_declarations();
    c_emit_prototype_typedefs();
    c_emit_procedure_prototypes();
    for_each_used_structure(false, [](StructureRecord* structure) {
        c_emit_structure_declaration(structure);
        grow_current_buffer();
    });
    // Imported variables may be typed by the structures just declared.
    c_emit_imported_variables();
    if (runtime_used) {
        // Bookkeeping only: the registrations are written in the start-up code.
        no_output_depth++;
        c_emit_runtime_procedures();
        c_emit_runtime_constant();
        c_emit_runtime_variable();
        no_output_depth--;
    }
    c_record_static_item_literals();
    c_record_thread_object_literals();
    c_emit_string_table();
    if (debugger_enabled) c_emit_debugger_banks();
    c_emit_structure_maps();
    c_emit_structure_descriptors();

    std::vector<ModuleRecord*> modules = module_list();
    // The main program's arrays, lists and maps, then each module's own.
    auto scope_lists = [&](CursorList* main_list, CursorList* ModuleRecord::*slot) {
        std::vector<CursorList*> lists{main_list};
        for (ModuleRecord* module : modules)
            if (std::find(lists.begin(), lists.end(), module->*slot) == lists.end()) lists.push_back(module->*slot);
        return lists;
    };
    for (CursorList* arrays : scope_lists(array_list, &ModuleRecord::arrays)) {
        for_each_node(arrays, [](ListNode* node) {
            auto* array = reinterpret_cast<ArrayRecord*>(node);
            if (!(array->flags & array_skip_flags)) c_emit_array_declaration(array);
        });
    }
    for (CursorList* lists : scope_lists(list_list, &ModuleRecord::lists)) {
        for_each_node(lists, [](ListNode* node) {
            auto* list = reinterpret_cast<ListRecord*>(node);
            if (!(list->flags & container_skip_flags) && c_format_list_address)
                emit_line3("static zd_list ", c_format_list_address(list), "={0};");
        });
    }
    for (CursorList* maps : scope_lists(map_list, &ModuleRecord::maps)) {
        for_each_node(maps, [](ListNode* node) {
            auto* map = reinterpret_cast<MapRecord*>(node);
            if (!(map->flags & container_skip_flags) && c_format_map_address)
                emit_line3("static zd_map ", c_format_map_address(map), "={0};");
        });
    }
    // The main program's table, then each module's own (a table once).
    for (HashTable* table : variable_tables()) {
        for_each_entry(table, [](HashEntry* entry) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (variable->flags & variable_skip_flags) return;
            if (c_emit_variable_declaration) {
                c_emit_variable_declaration(variable);
                grow_current_buffer();
            }
        });
    }
    c_emit_static_items();
    // The debugger support code also appends the used procedures.
    c_emit_debugger_support_code();

    if (c_threaded_items_used || debugger_enabled) {
        c_emit_thread_object_init();
        emit_line("M_SYSFUNCTION(void) SYS_FreeThreadObjectCallback(char *tls) {");
        emit_thread_object_releases();
    }
    c_emit_comment("");

    if (changes_to_source_folder()) {
        // UTF-16 units for the wide call, which takes the folder whatever
        // its characters.
        std::string line = "const unsigned short ZD_SourceCodePath[]={" +
                           std::string(utf8_to_dw_list(program_side_path(main_source_folder).c_str())) + "};";
        emit_line(line.c_str());
    }
    emit_text_number("char ZD_OpenGLSubsystem=", c_opengl_subsystem_value());
    emit_text_number("int ZD_Compiler_Unicode=", 1);
    emit_text_number("int ZD_Compiler_Thread=", thread_safe);
    emit_text_number("int ZD_Compiler_Purifier=", purifier_enabled);
    emit_text_number("int ZD_Compiler_Debugger=", debugger_enabled);
    emit_text_number("int ZD_Compiler_DPIAware=", dpi_aware);
    emit_text_number("int ZD_Compiler_XPSkins=", xp_skin);
    emit_text_number("int ZD_ExecutableType=", console_mode);
    if (c_threaded_items_used || debugger_enabled) emit_text_number("integer ZD_ThreadedObjectSize=", c_threaded_object_size);
    if (cpu_mode == cpu_mode_dynamic) c_emit_dynamic_jump_table();
    c_emit_comment("");

    emit_line("void ZD_EndFunctions() {");
    for (int pass = 0; pass < 2; pass++) {
        for_each_node(used_library_list, [pass](ListNode* node) {
            LibraryRecord* library = used_library_at(node);
            if (!library->end_command) return;
            bool late = (library->end_command->flags & LIBRARY_FLAG_LAST) != 0;
            if (late == (pass == 1)) c_emit_library_end(library);
        });
    }
    emit_line("}");
    c_emit_comment("");

    if (dll_mode) {
        c_emit_dllmain(find_exported_procedure("AttachThread"), find_exported_procedure("DetachThread"),
                       find_exported_procedure("AttachProcess"), find_exported_procedure("DetachProcess"));
        emit_line("static void zd_dllinit() {");
    } else {
        if (console_mode == 0) emit_line("int WinMain(void *instance, void *prevInstance, void *cmdLine, int cmdShow) {");
        else emit_line("int main(int argc, char* argv[]) {");
        emit_line("ZD_Instance = f_getmodulehandle_(0);");
    }
    emit_line("ZD_MemoryBase = f_heapcreate_(0,4096,0);");
    emit_line("SYS_InitZandrel();");
    if (data_array_open) emit_line("zd_datapointer = &zd_data;");
    if (changes_to_source_folder()) emit_line("f_internal_setcurrentdirectory_(ZD_SourceCodePath);");
    if (gosub_used) emit_line("SYS_InitGosubManager();");
    if (string_manager_used) emit_line("SYS_InitString();");
    for_each_node(global_fixup_list, [](ListNode* node) {
        auto* fixup = reinterpret_cast<PointerFixup*>(node);
        emit_format("*(integer *)(&%s[%d])=(integer)%s;", fixup->array, fixup->offset, fixup->target);
        grow_current_buffer();
    });
}

void c_emit_startup_tail()
{
    if (debugger_enabled) {
        emit_line("ZD_DEBUGGER_Start(0, 1);");
        if (purifier_enabled) emit_line("ZD_PURIFIER_Start(0);");
    }
    // From the last library to the first: a library comes before the ones
    // it needs in the list, so these are started before it.
    for (ListNode* node = used_library_list ? used_library_list->last : nullptr; node; node = node->previous) {
        LibraryRecord* library = used_library_at(node);
        if (library->init_command) c_emit_library_init_calls(library);
    }
    if (cpu_mode == cpu_mode_dynamic) c_emit_dynamic_function_selection();
    c_emit_static_item_inits();
    // The arrays, lists and maps inside global structures.
    for (HashTable* table : variable_tables()) {
        for_each_entry(table, [](HashEntry* entry) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!holds_containers(variable) || (variable->flags & VAR_THREADED) || is_local_variable(variable)) return;
            grow_current_buffer();
            c_emit_init_dynamic_structure(variable);
        });
    }
    if (c_threaded_items_used || debugger_enabled) emit_line("tls=SYS_InitThreadedObject();");
    if (runtime_used) {
        c_emit_runtime_procedures();
        c_emit_runtime_constant();
        c_emit_runtime_variable();
    }
    if (const char* line = c_label_jump_line()) emit_line(line);
}

void c_emit_sys_quit()
{
    // A DLL's start-up function returns to DllMain after the main code; the
    // end runs at process detach and must not end the process.
    if (!dll_mode) emit_line("SYS_Quit();");
    emit_line("}\n");
    emit_line("void SYS_Quit() {");
    emit_line("ZD_EndFunctions();");
    if (debugger_enabled) emit_line("ZD_DEBUGGER_End();");
    emit_line("f_heapdestroy_(ZD_MemoryBase);");
    if (!dll_mode) emit_line("f_exitprocess_(ZD_ExitCode);");
    emit_line("}");
}

void c_emit_dllmain(ProcedureRecord* attach_thread, ProcedureRecord* detach_thread, ProcedureRecord* attach_process,
                    ProcedureRecord* detach_process)
{
    // zd_dllinit is defined after DllMain: declared first, or the call would
    // declare it implicitly as an external function.
    emit_line("static void zd_dllinit();");
    emit_line("int DllMain(integer instance, int reason, void *reserved) {");
    emit_line("switch (reason) {\ncase 1:");
    emit_line("ZD_Instance=instance;");
    emit_line("zd_dllinit();");
    emit_entry_procedure_call(attach_process);
    emit_line("break;");
    emit_line("case 2:");
    emit_entry_procedure_call(attach_thread);
    emit_line("break;");
    emit_line("case 0:");
    emit_entry_procedure_call(detach_process);
    emit_line("SYS_Quit();");
    emit_line("break;");
    emit_line("case 3:");
    emit_entry_procedure_call(detach_thread);
    emit_line("break;");
    emit_line("} return 1; }");
}

void c_emit_library_init_calls(LibraryRecord* library)
{
    LibraryCommand* command = library ? library->init_command : nullptr;
    if (!command) return;
    if (debugger_enabled && (command->flags & LIBRARY_FLAG_DEBUGGERCHECK)) emit_library_command_call(command, "_DEBUG");
    emit_library_command_call(command, get_routine_suffix(command));
}

void c_emit_library_end(LibraryRecord* library)
{
    if (library && library->end_command) emit_library_command_call(library->end_command, "");
}

void c_emit_library_prototype(LibraryCommand* command, const char* s1, const char* s2, const char* s3)
{
    const char* name = command_name(command);
    const char* result = c_library_return_type(command);
    bool pointer_form = (command->flags & LIBRARY_FLAG_VIRTUAL) && std::strcmp(s1, "_DEBUG") != 0;
    std::string suffixes = std::string(s1) + s2 + s3;
    std::string line = std::string(result) + " ";
    if (pointer_form) line = "typedef " + line + "(*zdv_" + name + suffixes + ")";
    else line += std::string("ZD_") + name + suffixes;
    line += library_parameter_list(command) + ";";
    emit_line(line.c_str());
    if (pointer_form) {
        std::string extern_line = "extern zdv_" + std::string(name) + suffixes + " ZD_" + name + suffixes + ";";
        emit_line(extern_line.c_str());
    }
}

void c_emit_library_externs()
{
    c_emit_comment("");
    // The release of lists and maps at the end comes from their library.
    const char* release_commands[2] = {c_runtime_used[C_ZD_NewList] ? "FreeList" : nullptr,
                                       c_runtime_used[C_ZD_NewMap] ? "FreeMap" : nullptr};
    for (const char* release : release_commands) {
        if (!release) continue;
        LibraryCommand* command = find_library_command(release);
        if (!command || (command->flags & command_hidden_flags)) continue;
        command->use_count++;
        if (!no_output_depth && command->library) command->library->used = 1;
    }
    for_each_node(library_command_list, [&](ListNode* node) {
        auto* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->flags & command_no_declaration) return;
        if (command->use_count <= 0 || !command->library || !command->library->used) return;
        grow_current_buffer();
        std::string s1 = get_routine_suffix(command);
        if (cpu_mode == cpu_mode_dynamic) {
            for (const ProcessorVariant& variant : processor_variants)
                if (command->flags & variant.flag) c_emit_library_prototype(command, s1.c_str(), variant.suffix, "");
            c_emit_library_prototype(command, s1.c_str(), "", "");
        } else if (cpu_mode) {
            const char* chosen = "";
            for (const ProcessorVariant& variant : processor_variants)
                if (static_cast<uint32_t>(cpu_mode) == variant.flag && (command->flags & variant.flag)) chosen = variant.suffix;
            c_emit_library_prototype(command, s1.c_str(), chosen, "");
        } else {
            c_emit_library_prototype(command, s1.c_str(), "", "");
        }
        if (debugger_enabled && (command->flags & LIBRARY_FLAG_DEBUGGERCHECK)) c_emit_library_prototype(command, "_DEBUG", "", "");
    });
}

void c_emit_dynamic_function_pointers()
{
    if (!has_dynamic_commands()) return;
    emit_line("int SYS_ProcessorFeatures(void);");
    for_each_dynamic_command([](LibraryCommand* command) {
        grow_current_buffer();
        std::string name = command_name(command);
        std::string s1 = get_routine_suffix(command);
        std::string line;
        if (command->flags & LIBRARY_FLAG_VIRTUAL)
            line = "static zdv_" + name + s1 + " zdf_" + name + ";";
        else
            line = std::string("static ") + c_library_return_type(command) + " (*zdf_" +
                   name + ")" + library_parameter_list(command) + ";";
        emit_line(line.c_str());
    });
}

void c_emit_dynamic_jump_table()
{
    c_emit_comment("");
    c_emit_comment(" Dynamic functions jump table");
    c_emit_comment("");
    if (!has_dynamic_commands()) return;
    emit_line("static void zd_dynamicfunctions() {");
    emit_line("int features=SYS_ProcessorFeatures();");
    for_each_dynamic_command([](LibraryCommand* command) {
        grow_current_buffer();
        std::string name = command_name(command);
        std::string routine = "ZD_" + name + get_routine_suffix(command);
        emit_line(("zdf_" + name + "=" + routine + ";").c_str());
        for (const ProcessorVariant& variant : processor_variants) {
            if (!(command->flags & variant.flag)) continue;
            std::string line = "if (features&" + std::to_string(variant.flag) + ") zdf_" + name + "=" + routine +
                               variant.suffix + ";";
            emit_line(line.c_str());
        }
    });
    emit_line("}");
}

void c_emit_dynamic_function_selection()
{
    if (has_dynamic_commands()) emit_line("zd_dynamicfunctions();");
}

void c_emit_import_externs()
{
    if (os_function_table) {
        for_each_entry(os_function_table, [](HashEntry* entry) {
            auto* function = reinterpret_cast<ImportedFunction*>(entry);
            if (function->use_count <= 0 || !function->symbol) return;
            std::string name = std::string("f_") + c_identifier_name(function->entry.key);
            emit_import_declaration(c_procedure_return_type(function->flags, function->second_flags), name,
                                    function->parameter_types, function->parameter_count, function->symbol);
        });
    }
    for (const StartupFunction& function : startup_functions) {
        if (dll_mode && std::strcmp(function.name, "ExitProcess_") == 0) continue;
        if (!find_imported_function(function.name)) emit_line(function.declaration);
    }
    // The used functions of Import blocks, of the main program and each module.
    for (HashTable* procedures : procedure_tables()) {
        for_each_entry(procedures, [](HashEntry* entry) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            if (!(procedure->flags & procedure_imported) || procedure->use_count <= 0) return;
            std::vector<uint8_t> types;
            for (int32_t i = 0; i < procedure->parameter_count; i++) types.push_back(procedure->parameters[i].type);
            const char* symbol = procedure->symbol_name ? procedure->symbol_name : procedure_name(procedure);
            emit_import_declaration(c_procedure_return_type(procedure->flags, procedure->second_flags),
                                    c_prototype_name(procedure), types.data(), int(types.size()), symbol);
        });
    }
}

std::string c_export_definitions()
{
    std::string text = "EXPORTS\n";
    for (HashTable* procedures : procedure_tables()) {
        for_each_entry(procedures, [&text](HashEntry* entry) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            if ((procedure->flags & (procedure_exported | procedure_declared_only)) != procedure_exported) return;
            if (procedure->flags & (procedure_imported | procedure_prototype)) return;
            text += std::string("    \"") + procedure_name(procedure) + "\"=" + c_procedure_name(procedure) + "\n";
        });
    }
    return text;
}

void c_emit_prototype_typedefs()
{
    std::vector<HashTable*> tables;
    if (prototype_table) tables.push_back(prototype_table);
    for (ModuleRecord* module : module_list())
        if (module->prototypes && std::find(tables.begin(), tables.end(), module->prototypes) == tables.end())
            tables.push_back(module->prototypes);
    for (HashTable* table : tables) {
        for_each_entry(table, [](HashEntry* entry) {
            auto* prototype = reinterpret_cast<ProcedureRecord*>(entry);
            // A resident's prototype only when the program uses it.
            if ((prototype->second_flags & PROC_SECOND_RESIDENT) &&
                std::find(c_used_resident_prototypes.begin(), c_used_resident_prototypes.end(), prototype) ==
                    c_used_resident_prototypes.end())
                return;
            std::string name = std::string("p") + c_procedure_name(prototype);
            if (c_prototypes_text.find(" (*" + name + ")(") != std::string::npos) return;
            std::string list;
            for (int32_t i = 0; i < prototype->parameter_count; i++) {
                if (i) list += ",";
                c_parameter_declaration(&prototype->parameters[i], list);
            }
            if ((prototype->flags & (PROC_RETURNS_STRING | procedure_exported)) == PROC_RETURNS_STRING)
                list += prototype->parameter_count ? ",int sbp" : "int sbp";
            std::string line = std::string("typedef ") + c_procedure_return_type(prototype->flags, prototype->second_flags) +
                               " (*" + name + ")(" + list + ");";
            emit_line(line.c_str());
        });
    }
}

void c_emit_imported_variables()
{
    for (HashTable* variables : variable_tables()) {
        for_each_entry(variables, [](HashEntry* entry) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!(variable->flags & VAR_OWN_SYMBOL) || (variable->flags & VAR_DATA_POINTER) || !variable->symbol) return;
            std::string type;
            if (variable->structure && (variable->structure->flags & STRUCT_INTERFACE))
                type = std::string(c_structure_name(variable->structure)) + "**";
            else if (variable->structure && variable->pointer)
                type = std::string(c_structure_name(variable->structure)) + "*";
            else if (variable->structure && variable->type == TYPE_STRUCTURE)
                type = c_structure_name(variable->structure);
            else if (variable->pointer)
                type = "integer";
            else
                type = c_type_name(variable->type);
            std::string line = "extern " + type + " " + c_format_variable_operand(variable) + " asm(\"" +
                               variable->symbol + "\");";
            emit_line(line.c_str());
        });
    }
}
