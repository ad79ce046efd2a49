// The assembly file around the statement code: head, externals, macros,
// entry point, start-up and end code, data section and bss section.
#include "backend_x64/program_output.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "backend_x64/assembler_names.h"
#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_float_pools.h"
#include "backend_x64/emit_jumps.h"
#include "backend_x64/emit_library_calls.h"
#include "backend_x64/program_parallel.h"
#include "backend_x64/program_runtime.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/program_threads.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/file_helpers.h"
#include "forge/library_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/literal_strings.h"
#include "frontend/libraries.h"
#include "frontend/procedures.h"

std::vector<StaticStringEntry> program_literal_strings;
int32_t null_literal_number = -1;
std::vector<BssVariable> program_global_variables;
std::vector<BssVariable> program_array_labels;
std::vector<BssVariable> program_container_labels;

// The front end owns the string-use mark; this weak definition stands only
// while the front end's own definition is not linked in.
__attribute__((weak)) int32_t strings_used = 0;
int32_t threaded_items_used = 0;
int64_t threaded_object_size = 0;
int32_t data_section_used = 0;
int32_t runtime_declarations_used = 0;

namespace {

// Names declared with "extrn" in this compilation.
std::set<std::string> declared_externs;

// Runtime routines that make the program use the string stack.
const int32_t string_routines[] = {
    RT_SYS_CopyString,         RT_SYS_CopyFixedString,   RT_SYS_SkipString,         RT_SYS_ToAscii,
    RT_SYS_BufferToAscii,      RT_SYS_ToUnicode,         RT_SYS_BufferToUnicode,    RT_SYS_ToBSTR,
    RT_SYS_BufferToBSTR,       RT_SYS_ToUTF8,            RT_SYS_BufferToUTF8,       RT_SYS_StringEqual,
    RT_SYS_StringSuperior,     RT_SYS_StringInferior,    RT_SYS_AllocateString4,    RT_SYS_FastAllocateString4,
    RT_SYS_FastAllocateStringFree4, RT_SYS_CheckStringBuffer,
};

void blank_comment()
{
    emit_comment("");
}

bool equal_ignoring_case(const char* a, const char* b)
{
    for (;; a++, b++) {
        char x = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (x != y) return false;
        if (*a == 0) return true;
    }
}

const char* subsystem_name(ListNode* node)
{
    return *reinterpret_cast<char**>(node + 1);
}

int32_t opengl_subsystem_value()
{
    bool directx9 = false;
    bool directx11 = false;
    for (ListNode* node = subsystem_list ? subsystem_list->first : nullptr; node; node = node->next) {
        const char* name = subsystem_name(node);
        if (!name) continue;
        if (equal_ignoring_case(name, "directx11")) directx11 = true;
        if (equal_ignoring_case(name, "directx9")) directx9 = true;
    }
    if (directx11) return 2;
    if (directx9) return 0;
    return 1;
}

LibraryRecord* library_at(ListNode* node)
{
    return *reinterpret_cast<LibraryRecord**>(node + 1);
}

// The program runs from the temporary build folder: it starts in the folder
// of its source.
bool changes_to_source_folder()
{
    bool at_output_path = !dll_mode && output_file && *output_file;
    return !dll_mode && !commented_output && !at_output_path;
}

}  // namespace

// The string stack is in use when an emitter named it or called a string
// routine, or when a literal is written into the program.
void settle_strings_used()
{
    for (int32_t routine : string_routines) {
        if (runtime_routine_used[routine]) strings_used = 1;
    }
    if (!program_literal_strings.empty()) strings_used = 1;
    if (strings_used || !code_buffer || !code_buffer->start) return;
    // One pass over the code: "_S<digit>" names a static string,
    // "ZD_StringBase..." the stack.
    const char* text = code_buffer->start;
    static const char stack_name[] = "ZD_StringBase";
    for (const char* p = std::strstr(text, "_S"); p; p = std::strstr(p + 2, "_S")) {
        bool static_string =
            p[2] >= '0' && p[2] <= '9' && (p == text || !(std::isalnum(uint8_t(p[-1])) || p[-1] == '_'));
        bool stack = p - text >= 2 && std::strncmp(p - 2, stack_name, sizeof stack_name - 1) == 0;
        if (static_string || stack) {
            strings_used = 1;
            return;
        }
    }
}

namespace {

void emit_call_line(const char* prefix, const char* name, const char* suffix)
{
    std::string line = std::string(prefix) + name + suffix;
    emit_line(line.c_str());
}

// The routine's address into the register; a routine held in a pointer of
// its library (0x800000) is read from it.
void load_routine(LibraryCommand* command, const std::string& routine, const char* name, int r)
{
    if (command->flags & LIBRARY_FLAG_VIRTUAL) emit_linef(" MOV %s,qword [%s]", name, routine.c_str());
    else emit_load_symbol_address(routine.c_str(), r);
}

void emit_library_command_call(LibraryCommand* command)
{
    if (!command) return;
    const char* name = command_name(command);
    if (debugger_enabled && (command->flags & LIBRARY_FLAG_DEBUGGERCHECK)) emit_call_line(" CALL ZD_", name, "_DEBUG");
    std::string suffix = get_routine_suffix(command);
    emit_call_line(" CALL ZD_", name, suffix.c_str());
}

}  // namespace

void reset_program_output()
{
    declared_externs.clear();
    program_literal_strings.clear();
    null_literal_number = -1;
    program_global_variables.clear();
    program_array_labels.clear();
    program_container_labels.clear();
    program_data_items.clear();
    strings_used = 0;
    threaded_items_used = 0;
    threaded_object_size = 0;
    data_section_used = 0;
    runtime_declarations_used = 0;
    // A DLL is loaded anywhere: its code takes addresses relative to rip.
    dll_symbol_addresses = dll_mode;
    reset_procedure_debugger_tables();
    reset_jump_state();
}

bool declare_extern(const char* name)
{
    if (no_output_depth) return false;
    if (!declared_externs.insert(name).second) return false;
    emit_line(extern_declaration(name).c_str());
    return true;
}

void emit_library_externs()
{
    // The creation routines of lists and maps lead the commands' block.
    for (const char* routine : {"ZD_NewList", "ZD_NewMap"})
        if (std::binary_search(ExternSymbolList.begin(), ExternSymbolList.end(), std::string(routine)))
            declare_extern(routine);
    if (!library_command_list) return;
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->flags & LIBRARY_FLAG_LEFT_OUT) continue;
        if (command->use_count == 0 || !command->library || !command->library->used) continue;
        // The name the call uses, with its build-mode and processor suffixes.
        declare_extern(library_routine_name(command));
        if (cpu_mode == cpu_mode_dynamic && command_in_dynamic_table(command)) {
            // Every variant: the start-up code picks one.
            std::string base = library_routine_name(command);
            for (const ProcessorVariant& variant : processor_variants)
                if (command->flags & variant.flag) declare_extern((base + variant.suffix).c_str());
            declare_extern("SYS_ProcessorFeatures");
        }
        std::string name = std::string("ZD_") + command_name(command);
        if (debugger_enabled && (command->flags & LIBRARY_FLAG_DEBUGGERCHECK)) declare_extern((name + "_DEBUG").c_str());
    }
}

void write_asm_header()
{
    if (debugger_enabled) {
        if (LibraryRecord* object = find_library("object")) object->used = 1;
    }
    select_runtime_libraries();

    emit_comment("");
    emit_comment("    Zandrel 6.10 LTS (Windows - x64) generated code");
    emit_comment("    Zandrel toolchain, assembly output for the flat assembler");
    emit_comment("");
    emit_comment("The header must remain intact for Re-Assembly");
    emit_comment("");
    if (dll_mode) emit_comment(":DLL");
    for (ListNode* node = used_library_list ? used_library_list->first : nullptr; node; node = node->next) {
        emit_comment(library_at(node)->name);
    }
    emit_comment(":System");
    link_system_libraries.clear();
    for (const std::string& name : used_import_library_names()) {
        emit_comment(name.c_str());
        link_system_libraries.push_back(name);
    }
    emit_comment(":Import");
    link_import_libraries.clear();
    for (const std::string& path : ImportLibraryList) {
        emit_comment(path.c_str());
        link_import_libraries.push_back(path);
    }
    emit_comment("");
    emit_line("format MS64 COFF");
    emit_comment("");

    if (os_function_table) {
        hash_reset_iterator(os_function_table);
        while (HashEntry* entry = hash_next(os_function_table)) {
            ImportedFunction* function = reinterpret_cast<ImportedFunction*>(entry);
            if (function->use_count != 0 && function->symbol) add_extern_symbol(function->symbol);
        }
        hash_reset_iterator(os_function_table);
    }
    emit_library_externs();
    for (const std::string& name : ExternSymbolList) declare_extern(name.c_str());
}

void emit_runtime_externs()
{
    if (debugger_enabled) {
        runtime_routine_used[RT_SYS_AllocateString4] = 1;
        runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 1;
        strings_used = 1;
    } else if (thread_safe || runtime_declarations_used) {
        strings_used = 1;
    }
    settle_strings_used();
    if (threaded_items_used || debugger_enabled) runtime_routine_used[RT_SYS_InitThreadedObject] = 1;
    for (int32_t routine = 0; routine < RUNTIME_ROUTINE_COUNT; routine++) {
        if (runtime_routine_used[routine]) declare_extern(runtime_routine_names[routine]);
    }
    if (runtime_declarations_used) {
        for (const char* name : {"ZD_Runtime_AddInteger", "ZD_Runtime_AddDouble", "ZD_Runtime_AddVariable", "ZD_Runtime_AddString"})
            declare_extern(name);
    }
    if (strings_used) {
        if (!thread_safe) declare_extern("ZD_StringBase");
        declare_extern("SYS_InitString");
        declare_extern("SYS_FreeStrings");
        blank_comment();
        if (thread_safe) {
            for (const char* name : {"SYS_GetStringBase", "SYS_GetStringBasePointer", "SYS_GetStringBaseNoResult",
                                     "SYS_GetStringBasePosition", "SYS_SetStringBasePosition",
                                     "SYS_RestoreStringBasePosition", "SYS_IncrementStringBasePosition"})
                declare_extern(name);
        } else {
            declare_extern("ZD_StringBasePosition");
        }
    }
}

void emit_dynamic_jump_table()
{
    emit_comment("");
    emit_comment(" Dynamic functions jump table");
    emit_comment("");
    if (!library_command_list) return;
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (command->flags & LIBRARY_FLAG_LEFT_OUT) continue;
        if (command->use_count == 0 || !command->library || !command->library->used) continue;
        if (!(command->flags & LIBRARY_FLAG_PROCESSOR)) continue;
        // A 64-bit address; the table starts with the plain routine, which
        // every processor runs, until the start-up code picks the variant
        // for the processor (emit_dynamic_function_selection).
        emit_line3("f_", command_name(command), (std::string(": dq ") + library_routine_name(command)).c_str());
    }
}

void emit_dynamic_function_selection()
{
    if (!library_command_list) return;
    bool features_read = false;
    for (ListNode* node = library_command_list->first; node; node = node->next) {
        LibraryCommand* command = reinterpret_cast<LibraryCommand*>(node);
        if (!command_in_dynamic_table(command)) continue;
        if (!features_read) {
            emit_line(" CALL SYS_ProcessorFeatures");
            features_read = true;
        }
        std::string base = library_routine_name(command);
        load_routine(command, base, "rcx", REGISTER_RCX);
        for (const ProcessorVariant& variant : processor_variants) {
            if (!(command->flags & variant.flag)) continue;
            load_routine(command, base + variant.suffix, "rdx", REGISTER_RDX);
            emit_linef(" TEST eax,%u", variant.flag);
            emit_line(" CMOVNZ rcx,rdx");
        }
        emit_line3(" MOV qword [f_", command_name(command), "],rcx");
    }
}

void emit_library_init_calls(LibraryRecord* library)
{
    if (library) emit_library_command_call(library->init_command);
}

void emit_library_end_calls(LibraryRecord* library)
{
    if (library) emit_library_command_call(library->end_command);
}

void emit_program_start()
{
    write_asm_header();

    if (data_buffer_end - data_write_pointer < 64000) grow_data_buffer();
    std::strcpy(data_write_pointer, "SYS_EndDataSection:\n");
    data_write_pointer += std::strlen(data_write_pointer);

    declare_extern("SetCurrentDirectoryW");
    emit_runtime_externs();
    declare_extern("SYS_InitZandrel");
    for (const char* name : {"_ZD_Instance", "ZD_ExecutableType", "ZD_OpenGLSubsystem", "_ZD_MemoryBase", "ZD_Instance",
                             "ZD_MemoryBase", "ZD_EndFunctions"})
        emit_line2("public ", name);

    emit_line("\nmacro zd_public symbol\n{\n public  _#symbol\n public symbol\n_#symbol:\nsymbol:\n}\n");
    emit_line("macro    zd_align value { rb (value-1) - ($-_ZD_DataSection + value-1) mod value }");
    emit_line("macro zd_bssalign value { rb (value-1) - ($-_ZD_BSSSection  + value-1) mod value }");

    emit_label_aliases();
    if (debugger_enabled) emit_debugger_externs();

    if (dll_mode) {
        declare_extern("SYS_CleanupThreadCallbacks");
        emit_line("public DllMain");
    } else if (console_mode) {
        emit_line("public main");
    } else {
        emit_line("public WinMain");
    }

    blank_comment();
    emit_line("section '.code' code readable executable align 4096");
    blank_comment();
    blank_comment();

    if (dll_mode) {
        emit_dll_entry();
        emit_line("ZD_DllInit:");
        emit_line(" SUB rsp,40");
    } else {
        emit_line(console_mode ? "main:" : "WinMain:");
        blank_comment();
        emit_line(" SUB rsp,40");
        emit_line(" MOV r8,I_BSSEnd-I_BSSStart");
        emit_line(" XOR rdx,rdx");
        emit_line(" MOV rcx,I_BSSStart");
        emit_line(" CALL memset");
        emit_line(" XOR rcx,rcx");
        emit_line(" CALL GetModuleHandleW");
        emit_line(" MOV [ZD_Instance],rax");
    }
    emit_line(" XOR r8,r8");
    emit_line(" MOV rdx,4096");
    emit_line(" XOR rcx,rcx");
    emit_line(" CALL HeapCreate");
    emit_line(" MOV [ZD_MemoryBase],rax");
    if (changes_to_source_folder()) {
        // The wide call takes the folder whatever its characters.
        emit_line(" MOV rcx,_ZD_SourceCodePath");
        emit_line(" CALL SetCurrentDirectoryW");
    }
    if (data_section_used) {
        emit_line(" MOV rax,ZD_DataSectionStart");
        emit_line(" MOV qword [ZD_DataPointer],rax");
    }
    emit_line(" CALL SYS_InitZandrel");
    if (strings_used) emit_line(" CALL SYS_InitString");
}

void emit_static_strings()
{
    if (!strings_used) return;
    emit_line("zd_align 8");
    emit_line("public _SYS_StaticStringStart");
    emit_line("_SYS_StaticStringStart:");
    for (const StaticStringEntry& entry : program_literal_strings) {
        if (entry.number == null_literal_number) continue;
        std::string line = "_S" + std::to_string(entry.number) + ": dw ";
        line += entry.text.empty() ? std::string("0") : std::string(utf8_to_dw_list(entry.text.c_str()));
        emit_line(line.c_str());
    }
    emit_line("zd_public ZD_NullString");
    emit_line(" dw 0");
    emit_line("public _SYS_StaticStringEnd");
    emit_line("_SYS_StaticStringEnd:");
}

std::string format_source_path_data(const std::string& folder)
{
    std::string path = program_side_path(folder);
    if (path.find('"') == std::string::npos) return "\"" + path + "\",0";
    // A double quote cannot stand inside a quoted fasm text: bytes as numbers.
    std::string numbers;
    for (unsigned char c : path) numbers += std::to_string(c) + ",";
    return numbers + "0";
}

std::string format_source_path_units(const std::string& folder)
{
    return utf8_to_dw_list(program_side_path(folder).c_str());
}

void emit_program_end()
{
    if (dll_mode) {
        // The DLL's start-up code returns to DllMain after the main code.
        emit_line(" ADD rsp,40");
        emit_line(" RET");
    }
    emit_line("_ZD_EOP:");
    if (dll_mode) {
        // The DLL's start-up returns to DllMain; the end runs on process
        // detach as a routine of its own with an aligned stack.
        emit_line(" SUB rsp,40");
    }
    emit_line(" CALL ZD_EndFunctions");
    if (debugger_enabled) emit_line(" CALL ZD_DEBUGGER_End");
    if (strings_used) emit_line(" CALL SYS_FreeStrings");
    emit_line(" MOV rcx,[ZD_MemoryBase]");
    emit_line(" CALL HeapDestroy");
    if (dll_mode) {
        emit_line(" ADD rsp,40");
        emit_line(" RET");
    } else {
        emit_line(" MOV rcx,[ZD_ExitCode]");
        emit_line(" CALL ExitProcess");
    }

    emit_line("ZD_EndFunctions:");
    emit_line(" SUB rsp,40");
    for (int pass = 0; pass < 2; pass++) {
        for (ListNode* node = used_library_list ? used_library_list->first : nullptr; node; node = node->next) {
            LibraryRecord* library = library_at(node);
            if (!library->end_command) continue;
            bool late = (library->end_command->flags & LIBRARY_FLAG_LAST) != 0;
            if (late == (pass == 1)) emit_library_end_calls(library);
        }
    }
    emit_line(" ADD rsp,40");
    emit_line(" RET");

    if (debugger_enabled) emit_debugger_runtime();
    emit_thread_object_callbacks();
    blank_comment();

    // The used procedures, after every piece of code that can fall through,
    // and the entries of the parallel ones' jobs.
    append_procedure_code();
    emit_parallel_stubs();

    blank_comment();
    emit_line("section '.data' data readable writeable");
    blank_comment();
    emit_line("_ZD_DataSection:");
    if (changes_to_source_folder()) {
        emit_line2("_ZD_SourceCodePath: dw ", format_source_path_units(main_source_folder).c_str());
    }
    emit_debugger_data();
    emit_line2("ZD_OpenGLSubsystem: db ", std::to_string(opengl_subsystem_value()).c_str());
    emit_format("zd_public ZD_Compiler_Unicode\n dd %d", 1);
    emit_format("zd_public ZD_Compiler_Thread\n dd %d", thread_safe);
    emit_format("zd_public ZD_Compiler_Purifier\n dd %d", int32_t(purifier_enabled));
    emit_format("zd_public ZD_Compiler_Debugger\n dd %d", debugger_enabled);
    emit_format("zd_public ZD_Compiler_DPIAware\n dd %d", dpi_aware);
    emit_format("zd_public ZD_Compiler_XPSkins\n dd %d", xp_skin);
    bool console = executable_subsystem_name && std::strcmp(executable_subsystem_name, "Console") == 0;
    emit_line(console ? "ZD_ExecutableType: dd 1" : "ZD_ExecutableType: dd 0");
    if (threaded_items_used || debugger_enabled) {
        emit_line("public ZD_ThreadedObjectSize");
        emit_line2("ZD_ThreadedObjectSize: dq ", std::to_string(threaded_object_size).c_str());
    }
    if (cpu_mode == cpu_mode_dynamic) {
        emit_line("zd_align 8");
        emit_dynamic_jump_table();
    }
    emit_static_strings();
    emit_float_pools();
    if (debugger_enabled) emit_debugger_banks();
    emit_structure_maps();
    emit_structure_descriptors();
    emit_string_parameter_maps();
    emit_line("zd_align 8");
    for (int32_t size : {8, 4, 2, 1}) emit_initialised_data_items(size);
    if (purifier_enabled) emit_purifier_global_map();

    blank_comment();
    emit_line("section '.bss' readable writeable");
    emit_line("_ZD_BSSSection:");
    emit_line("zd_bssalign 8");
    blank_comment();
    emit_line("I_BSSStart:");
    emit_line("_ZD_MemoryBase:");
    emit_line("ZD_MemoryBase: rq 1");
    emit_line("_ZD_Instance:");
    emit_line("ZD_Instance: rq 1");
    emit_line("ZD_ExitCode: rq 1");
    emit_line("ZD_DataPointer: rq 1");
    emit_thread_object_bss();
    blank_comment();
    emit_module_variables();
    if (!debugger_enabled) emit_array_labels();
    for (const BssVariable& container : program_container_labels)
        emit_line3(container.symbol.c_str(), " rq ", std::to_string(container.size / 8).c_str());
    emit_line("I_BSSEnd:");
}

void emit_purifier_global_map()
{
    // The guard of every variable the bss reserves, 4 bytes after it.
    std::string text = "PMG:\n";
    for (const BssVariable& variable : program_global_variables)
        text += " dq " + variable.symbol + "+" + std::to_string(variable.size) + "\n";
    text += " dq 0\n";
    emit_data_text(text.c_str());
}

void emit_late_runtime_externs()
{
    for (int32_t routine = 0; routine < RUNTIME_ROUTINE_COUNT; routine++) {
        if (runtime_routine_used[routine]) declare_extern(runtime_routine_names[routine]);
    }
    // Symbols first named by the start-up code or the thread callbacks (the
    // creation of Static and Threaded lists and maps).
    for (const std::string& name : ExternSymbolList) declare_extern(name.c_str());
}

void finish_x64_program()
{
    data_section_used = data_buffer_start && std::strstr(data_buffer_start, "ZD_DataSectionStart") != nullptr;
    collect_program_inputs();
    settle_runtime_declarations();
    if (literal_used_mark) hand_over_literal_strings();
    mark_startup_imports();
    settle_threaded_items();

    push_output_buffer(head_buffer);
    emit_program_start();
    if (debugger_enabled) {
        emit_line(" MOV rdx,0");
        emit_line(" MOV rcx,rsp");
        emit_line(" CALL ZD_DEBUGGER_Start");
        if (purifier_enabled) {
            emit_line(" MOV rcx,qword PMG");
            emit_line(" CALL ZD_PURIFIER_Start");
        }
    }
    if (used_library_list) {
        for (ListNode* node = used_library_list->last; node; node = node->previous) {
            LibraryRecord* library = library_at(node);
            if (library->init_command) emit_library_init_calls(library);
        }
    }
    if (cpu_mode == cpu_mode_dynamic) emit_dynamic_function_selection();
    emit_global_inits();
    emit_global_structure_inits();
    emit_thread_object_start();
    emit_runtime_registrations();
    pop_output_buffer();

    emit_program_end();
    emit_late_runtime_externs();
    emit_dll_exports();
}
