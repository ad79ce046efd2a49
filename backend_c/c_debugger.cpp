// Debugger support of the C file: line markers, the valid-lines and
// code-context tables, the Debug printers, the head declarations, variables
// and support functions that a program built with the debugger carries.
#include "backend_c/c_debugger.h"
#include "backend_c/c_program_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "backend_c/c_arrays.h"
#include "backend_c/c_backend.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_data_section.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_fixups.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_lists_maps.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/hash_table.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/procedures.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

// Entries written on the current row of the valid-lines table; -1 once at
// start-up, kept across compilations.
int32_t c_valid_lines_row_count = -1;

namespace {

const char valid_lines_head[] = "\nint ZD_DEBUGGER_ValidLines[]={";
const char code_context_head[] = "\nunsigned char ZD_DEBUGGER_CodeContextBank[]={";

// Structure and Interface blocks hold no statements: no store, no call.
bool inside_declaration_block()
{
    return in_structure || in_interface;
}

bool debugger_calls_active()
{
    return debugger_code && !inside_declaration_block();
}

bool table_has_head(const TextBuffer* table, const char* head)
{
    size_t length = std::strlen(head);
    return table->start && size_t(table->write - table->start) >= length && std::memcmp(table->start, head, length) == 0;
}

// Empties a table to its C head (`force`), or only when it lacks the head.
void set_table_head(TextBuffer* table, const char* head, bool force)
{
    if (!table || (!force && table_has_head(table, head))) return;
    size_t length = std::strlen(head);
    grow_text_buffer(table, int64_t(length) + 1);
    std::memcpy(table->start, head, length + 1);
    table->write = table->start + length;
}

// Appends text at a table's end, growing the table first.
void append_to_table(TextBuffer* table, const char* text)
{
    size_t length = std::strlen(text);
    grow_text_buffer(table, table->write - table->start + int64_t(length) + 1);
    std::memcpy(table->write, text, length + 1);
    table->write += length;
}

void emit_lines(const char* const* lines, size_t count)
{
    for (size_t i = 0; i < count; i++) emit_line(lines[i]);
}

// "<head><text><tail>" as one line.
void emit_text_line(const char* head, const std::string& text, const char* tail)
{
    emit_line3(head, text.c_str(), tail);
}

std::string escaped(const char* text)
{
    return c_escape_backslashes(text ? text : "");
}

// The part of a path after its last '\' or '/'.
const char* file_part(const char* path)
{
    const char* part = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/') part = p + 1;
    return part;
}

const char* include_file_name(ListNode* node)
{
    const char* name = reinterpret_cast<char* const*>(node)[2];
    return name ? name : "";
}

// The file names of the line-number block: full paths with the debugger
// (in the Windows form of every path of the debugger's tables), the file
// part otherwise; backslashes doubled.
std::string shown_file_name(const char* name)
{
    return debugger_enabled ? c_source_path_literal(name) : escaped(file_part(name));
}

void emit_line_number_block()
{
    emit_line("volatile int ZD_DEBUGGER_LineNumber=0;");
    int32_t count = 0;
    for (ListNode* node = IncludeFileList ? IncludeFileList->first : nullptr; node; node = node->next) count++;
    emit_format("volatile int ZD_DEBUGGER_NbIncludedFiles=%d;", count);
    const char* main_name = source_alias && *source_alias ? source_alias : (source_file ? source_file : "");
    emit_text_line("const char ZD_DEBUGGER_FileName[]=\"", shown_file_name(main_name), "\";");
    emit_line("char *ZD_DEBUGGER_IncludedFiles[]={");
    for (ListNode* node = IncludeFileList ? IncludeFileList->first : nullptr; node; node = node->next)
        emit_text_line("\"", shown_file_name(include_file_name(node)), "\",");
    emit_line("0};");
}

// The text a Debug printer wraps: a constant's own form, else the operand.
std::string constant_or_operand(std::string (*constant_text)(const CurrentOperand&))
{
    if (current_operand.kind == OPERAND_CONSTANT) return constant_text(current_operand);
    return c_operand_text();
}

double constant_as_double(const CurrentOperand& operand)
{
    return (operand.flags & OP_FLOAT) ? operand.constant_float : double(operand.constant);
}

std::string quad_constant_text(const CurrentOperand& operand)
{
    if (operand.flags & OP_FLOAT) return c_decimal_text(int64_t(operand.constant_float));
    return c_decimal_text(operand.constant);
}

std::string float_constant_text(const CurrentOperand& operand)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.100g", double(float(constant_as_double(operand))));
    return text;
}

std::string double_constant_text(const CurrentOperand& operand)
{
    return c_float_literal(constant_as_double(operand));
}

void restore_string_base()
{
    if (backend && backend->restore_string_base_position) backend->restore_string_base_position();
    else emit_line("SYS_PopStringBasePositionUpdate();");
}

}  // namespace

int32_t c_current_line_code()
{
    return int32_t((uint32_t(current_file_index) << 20) + uint32_t(current_line) + uint32_t(continuation_count));
}

void c_emit_line_marker(const char* routine)
{
    (void)routine;
    // A statement starts: it has touched no list or map element yet.
    c_list_or_map_touched = 0;
    if (line_numbering && !inside_declaration_block()) emit_format("ZD_DEBUGGER_LineNumber=%d;", c_current_line_code() + 1);
    if (debugger_calls_active()) emit_format("DBG_Check(%d);", c_current_line_code());
}

int32_t c_list_or_map_touched = 0;

void c_reset_debugger_tables()
{
    c_list_or_map_touched = 0;
    c_reset_procedure_local_tables();
    set_table_head(valid_lines_buffer, valid_lines_head, true);
    set_table_head(code_context_buffer, code_context_head, true);
}

void c_add_debugger_line_entry()
{
    TextBuffer* table = valid_lines_buffer;
    if (!table) return;
    set_table_head(table, valid_lines_head, false);
    if (c_valid_lines_row_count > 64) {
        append_to_table(table, "\n");
        c_valid_lines_row_count = 0;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%d,", c_current_line_code());
    append_to_table(table, text);
    c_valid_lines_row_count++;
}

void c_add_code_context_entry(int32_t kind, const char* name)
{
    TextBuffer* table = code_context_buffer;
    if (!table) return;
    set_table_head(table, code_context_head, false);
    uint32_t code = uint32_t(c_current_line_code());
    char text[64];
    std::snprintf(text, sizeof text, "%u,%u,%u,%u,%d,", code & 0xFF, (code >> 8) & 0xFF, (code >> 16) & 0xFF, code >> 24,
                  kind);
    std::string record = text;
    for (const char* p = name ? name : ""; *p; p++) {
        record += std::to_string(unsigned(static_cast<unsigned char>(*p)));
        record += ',';
    }
    record += "0,";
    append_to_table(table, record.c_str());
}

void c_begin_debug_value()
{
    if (backend && backend->push_string_base_position) backend->push_string_base_position();
    else emit_line("SYS_PushStringBasePosition();");
}

void c_emit_debug_value()
{
    uint32_t flags = current_operand.flags;
    if (current_operand.kind == OPERAND_STRING || (flags & OP_STRING)) {
        // A fixed string need not end with a terminator: a copy on the
        // string stack is printed instead.
        if ((flags & OP_FIXED_STRING) && backend && backend->copy_string_to_stack) {
            backend->copy_string_to_stack(1);
            current_operand.flags = (flags & ~uint32_t(OP_FIXED_STRING | OP_LITERAL)) | OP_STRING_STACK;
        }
        c_emit_debug_print_string();
    } else if (current_operand.kind == OPERAND_CONSTANT) {
        if (flags & OP_FLOAT) c_emit_debug_print_double();
        else c_emit_debug_print_quad();
    } else if (flags & OP_DOUBLE) {
        c_emit_debug_print_double();
    } else if (flags & OP_FLOAT) {
        c_emit_debug_print_float();
    } else {
        c_emit_debug_print_quad();
    }
    restore_string_base();
}

void c_emit_debug_print_string()
{
    uint32_t flags = current_operand.flags;
    std::string text;
    if (flags & OP_LITERAL) text = c_string_literal_name(int32_t(current_operand.constant));
    else if (flags & (OP_COMPUTED | OP_STRING_STACK)) text = "SYS_PopStringBasePositionValue()";
    else text = current_operand.text[0] ? current_operand.text : "0";
    if (!no_output_depth) string_manager_used = 1;
    emit_text_line("ZD_DEBUGGER_PrintString(", text, ");");
}

void c_emit_debug_print_quad()
{
    emit_text_line("ZD_DEBUGGER_PrintQuad((quad)", constant_or_operand(quad_constant_text), ");");
}

void c_emit_debug_print_float()
{
    emit_text_line("ZD_DEBUGGER_PrintFloat((float)", constant_or_operand(float_constant_text), ");");
}

void c_emit_debug_print_double()
{
    emit_text_line("ZD_DEBUGGER_PrintDouble((double)", constant_or_operand(double_constant_text), ");");
}

void c_emit_call_debugger()
{
    c_emit_line_marker("DBL");
    if (debugger_calls_active()) emit_line("ZD_DEBUGGER_Break(0);");
}

std::string c_checked_divisor(const std::string& divisor, bool constant, int32_t error_code)
{
    if (!debugger_calls_active() || (constant && current_operand.constant != 0)) return divisor;
    return "SYS_CheckDivisor(" + divisor + "," +
           (error_code == MODULO_BY_ZERO ? "DBG_ZeroModuloError" : "DBG_ZeroDivideError") + ")";
}

void c_emit_debugger_enter_procedure(ProcedureRecord* procedure)
{
    if (!debugger_calls_active()) return;
    if (!no_output_depth) procedure->second_flags |= PROC_SECOND_DEBUGGER_ENTRY;
    emit_format("ZD_DEBUGGER_EnterProcedure(%d,0);", procedure->id / 2);
    if (purifier_enabled) emit_line("ZD_PURIFIER_EnterProcedure(0,0);");
}

void c_emit_purifier_check(int)
{
    if (c_list_or_map_touched) emit_line("ZD_PURIFIER_Check(0,0,0);");
    c_list_or_map_touched = 0;
}

void c_emit_debugger_set_line()
{
    emit_format("ZD_DEBUGGER_SetLine(%d);", c_current_line_code());
}

void c_emit_debugger_defines()
{
    static const char* const lines[] = {
        "#define DBG_ZeroDivideError 1",
        "#define DBG_ZeroModuloError 2",
        "#define DBG_NullPointerError 3",
        "#define DBG_ArrayOutOfBoundsError 4",
        "#define DBG_LinkedListNoCurrentElementError 5",
        "#define DBG_StructureArrayOufOfBoundError 6",
        "#define DBG_NegativeArraySizeError 7",
        "#define DBG_LastDimensionRedimOnlyError 8",
        "#define DBG_ReadDataError 9",
        "#define DBG_MapHashSizeError 10",
        "#define DBG_MapNoCurrentElementError 11",
        "#define DBG_MapUninitializedError 12",
        "typedef integer unsigned_integer;",
        "void ZD_DEBUGGER_Start(unsigned_integer StackPosition, int Flags);",
        "void ZD_DEBUGGER_End();",
        "integer ZD_DEBUGGER_Check(int LineNumber, integer *registers);",
        "void ZD_DEBUGGER_EnterProcedure(int ProcedureID, char *VariablesOffset);",
        "void ZD_DEBUGGER_LeaveProcedure();",
        "integer ZD_DEBUGGER_Error(int Control, const char *Description);",
        "integer ZD_DEBUGGER_ErrorCode(int Control, int ErrorCode);",
        "void ZD_DEBUGGER_PrintString(void *String);",
        "void ZD_DEBUGGER_PrintFloat(float Float);",
        "void ZD_DEBUGGER_PrintLong(int Long);",
        "void ZD_DEBUGGER_PrintQuad(quad Quad);",
        "void ZD_DEBUGGER_PrintDouble(double Double);",
        "void ZD_DEBUGGER_Break(integer *registers);",
        "void ZD_DEBUGGER_SetLine(int LineNumber);",
        "M_SYSFUNCTION(void) SYS_CheckArray(integer *ArrayAddress, integer Index);",
        "M_SYSFUNCTION(integer) SYS_CheckMultiArrayDimension(int DimensionIndex, integer Value, integer *ArrayAddress);",
        "M_SYSFUNCTION(void) SYS_CheckRedimDimension(int DimensionIndex, integer Value, integer *ArrayAddress);",
        "M_SYSFUNCTION(void) SYS_CheckCurrentListElement(zd_list *List);",
        "M_SYSFUNCTION(void) SYS_CheckCurrentMapElement(zd_zdmap *Map);",
        "M_SYSFUNCTION(void) SYS_CheckMap(zd_zdmap *Map);",
        "M_SYSFUNCTION(void) SYS_CheckMapHashSize(integer Value);",
        "M_SYSFUNCTION(void) SYS_CheckStructureArrayIndex(int ArraySize, integer Index);",
        "M_SYSFUNCTION(integer) SYS_CheckDivisor(integer Divisor, int ErrorCode);",
        "M_SYSFUNCTION(void) SYS_CheckPointer(const void *Pointer);",
        "M_SYSFUNCTION(void) SYS_CheckArraySize(integer Count);",
        "void ZD_PURIFIER_Start(int **GlobalMap);",
        "void ZD_PURIFIER_EnterProcedure(int *LocalOffsetMap, char *Stack);",
        "void ZD_PURIFIER_Check(int **GlobalMap, int *LocalOffsetMap, const char *Stack);",
        "void DBG_Check(int Line) { ZD_DEBUGGER_Check(Line, 0); }",
    };
    if (!debugger_enabled) return;
    emit_lines(lines, sizeof lines / sizeof lines[0]);
}

void c_emit_debugger_variables()
{
    if (debugger_enabled) {
        static const char* const lines[] = {
            "int ZD_DEBUGGER_Control=0;",     "int ZD_DEBUGGER_CurrentLine=0;", "int ZD_DEBUGGER_ErrorDescription=0;",
            "int ZD_DEBUGGER_FullScreen=0;",  "int ZD_DEBUGGER_StartDrawing=0;",
        };
        emit_lines(lines, sizeof lines / sizeof lines[0]);
        emit_format("int ZD_DEBUGGER_Unicode=%d;", 1);
        emit_format("int ZD_DEBUGGER_Thread=%d;", int32_t(thread_safe));
        emit_format("int ZD_DEBUGGER_Purifier=%d;", int32_t(purifier_enabled));
        emit_format("int ZD_DEBUGGER_Version=%d;", c_compiler_version_number());
        emit_text_line("const char ZD_DEBUGGER_SourcePath[]=\"", c_source_path_literal(main_source_folder), "\";");
        emit_text_line("const char ZD_DEBUGGER_ZandrelPath[]=\"", c_source_path_literal(home_folder), "\";");
        emit_text_line("const char ZD_DEBUGGER_Language[]=\"", escaped(language_name), "\";");
    }
    if (debugger_enabled || line_numbering) {
        emit_line_number_block();
        return;
    }
    emit_line("volatile int ZD_DEBUGGER_LineNumber=-1;");
    emit_line("volatile int ZD_DEBUGGER_IncludedFiles=0;");
    emit_line("char *ZD_DEBUGGER_FileName=0;");
}

void c_emit_debugger_support_code()
{
    if (commented_output && !error_number && !no_output_depth) emit_line("// ");
    append_procedure_code();
    // Tables without entries still need their C heads.
    set_table_head(valid_lines_buffer, valid_lines_head, false);
    set_table_head(code_context_buffer, code_context_head, false);
    if (!debugger_enabled) return;
    emit_line("void ZD_DEBUGGER_ChangeString(TCHAR** Target, TCHAR *Value) { SYS_FastAllocateStringFree4(Target, Value); }");
    emit_line("void DBG_FatalMessage(int ErrorCode) { ZD_DEBUGGER_ErrorCode(6, ErrorCode); ZD_DEBUGGER_Check(-1, 0); } ");
    emit_format("#define ZD_DATASECTION_SIZE %d", data_offset);
    if (data_array_open) {
        emit_line("void DBG_CheckDataSection() {  if (((integer)zd_datapointer-(integer)zd_data) >= ZD_DATASECTION_SIZE)  "
                  "{     DBG_FatalMessage(DBG_ReadDataError);  }}");
    } else {
        // No data at all: every Read reads past the end. The head declares
        // the routine with the debugger, so it is always defined.
        emit_line("void DBG_CheckDataSection() { DBG_FatalMessage(DBG_ReadDataError); }");
    }
}

// ---------------------------------------------------------------------------
// Symbol banks.

namespace {

std::vector<ModuleRecord*> bank_modules()
{
    std::vector<ModuleRecord*> modules;
    if (!module_table) return modules;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
    hash_reset_iterator(module_table);
    return modules;
}

bool is_main_module(const ModuleRecord* module)
{
    return !module || module == main_module || std::strcmp(module_name(module), ".Main") == 0;
}

// The Module item: the module's name, or a lone 0 for the main program.
void static_module(const ModuleRecord* module)
{
    c_static_name(is_main_module(module) ? nullptr : module_name(module));
}

// Each table once with the module it belongs to: the main program's, then
// every module's own.
std::vector<std::pair<HashTable*, ModuleRecord*>> scope_tables(HashTable* main_table, HashTable* ModuleRecord::*slot)
{
    std::vector<std::pair<HashTable*, ModuleRecord*>> tables;
    auto listed = [&](HashTable* table) {
        for (auto& pair : tables)
            if (pair.first == table) return true;
        return false;
    };
    if (main_table) tables.push_back({main_table, nullptr});
    for (ModuleRecord* module : bank_modules())
        if (module->*slot && !listed(module->*slot)) tables.push_back({module->*slot, module});
    return tables;
}

bool variable_in_bank(const VariableRecord* variable)
{
    return !(variable->flags & (VAR_OWN_SYMBOL | VAR_DATA_POINTER));
}

// The key without its "+" and its prefix "p_" or "v_" ("*" for a pointer).
std::string variable_display_name(const VariableRecord* variable)
{
    const char* key = variable->entry.key;
    if (*key == '+') key++;
    if (std::strncmp(key, "p_", 2) == 0) return std::string("*") + (key + 2);
    if (std::strncmp(key, "v_", 2) == 0) return key + 2;
    return key;
}

void variable_entry(VariableRecord* variable, ModuleRecord* module)
{
    bool pointer = variable->entry.key[(variable->entry.key[0] == '+') ? 1 : 0] == 'p';
    uint8_t type = uint8_t(variable->type + (pointer ? 0x80 : 0));
    c_static_byte(type);
    c_static_byte((variable->flags & VAR_THREADED) ? 2 : (variable->flags & VAR_GLOBAL) ? 1 : 0);
    c_static_byte((variable->flags & VAR_PUBLIC) ? 1 : 0);
    c_static_string(variable_display_name(variable).c_str());
    static_module(module ? module : variable->module);
    if (variable->flags & VAR_THREADED) {
        c_static_quad(uint64_t(int64_t(variable->offset)));
    } else {
        std::string target = std::string("&") + c_format_variable_operand(variable);
        c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, target.c_str());
        c_static_quad(0);
    }
    if (!(pointer && variable->type == TYPE_FIXED_STRING))
        c_static_type_info(variable->type, variable->structure, uint32_t(variable->size));
}

void two_halves(uint64_t value)
{
    c_static_long(uint32_t(value));
    c_static_long(uint32_t(value >> 32));
}

void constant_entry(const ConstantRecord* constant, const ModuleRecord* module)
{
    c_static_byte((constant->flags & predefined_constant_flag) ? 2 : (constant->flags & constant_flag_public) ? 1 : 0);
    c_static_string(constant->entry.key);
    static_module(module);
    if (constant->flags & constant_flag_float) {
        uint64_t bits;
        std::memcpy(&bits, &constant->value.float_value, sizeof bits);
        c_static_byte(5);
        two_halves(bits);
    } else if (constant->flags & constant_flag_string) {
        c_static_byte(6);
        int32_t units = 0;
        std::string bytes = c_emit_utf16_hex(constant->value.text ? constant->value.text : "", &units);
        emit_line((bytes + ",").c_str());
        static_block_offset += 2 * units;
    } else {
        c_static_byte(3);
        two_halves(uint64_t(constant->value.integer_value));
    }
}

// An empty bank: the count 0 and its closing line.
void empty_bank(const char* name)
{
    c_static_block_begin_aligned(name, 0);
    emit_line("};");
}

}  // namespace

void c_emit_debugger_variable_bank()
{
    auto tables = scope_tables(variable_table, &ModuleRecord::variables);
    uint32_t count = 0;
    for (auto& [table, module] : tables)
        for (HashEntry* entry : list_table_entries(table))
            if (variable_in_bank(reinterpret_cast<VariableRecord*>(entry))) count++;
    c_static_block_begin_aligned("ZD_DEBUGGER_VariableBank", count);
    for (auto& [table, module] : tables) {
        for (HashEntry* entry : list_table_entries(table)) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!variable_in_bank(variable)) continue;
            variable_entry(variable, module);
            sync_output_buffer();
        }
    }
    emit_line("0};");
}

namespace {

// The ids of the procedures whose local tables were written (the tables
// come after the code; they are declared ahead of it).
std::vector<int32_t> local_table_ids;

const char* const local_table_prefixes[] = {"lmv_", "lma_", "lml_", "lmm_"};

bool procedure_in_bank(const ProcedureRecord* procedure)
{
    return procedure->use_count != 0 && !(procedure->flags & (PROC_IMPORTED | PROC_DECLARE_ONLY | PROC_PROTOTYPE));
}

void procedure_entry(ProcedureRecord* procedure, ModuleRecord* module)
{
    c_static_byte(uint8_t(procedure->parameter_count));
    for (int32_t i = 0; i < procedure->parameter_count; i++) {
        c_static_byte(procedure->parameters[i].type);
        c_static_long(0);
    }
    uint8_t result = (procedure->flags & PROC_RETURNS_STRING) ? TYPE_STRING
                     : (procedure->flags & PROC_RETURNS_FLOAT) ? TYPE_FLOAT
                                                               : TYPE_INTEGER;
    c_static_byte(result);
    c_static_byte((procedure->second_flags & PROC_SECOND_PUBLIC) ? 1 : 0);
    c_static_string(procedure_name(procedure));
    static_module(procedure->module ? procedure->module : module);
    std::string function = std::string("&") + c_procedure_name(procedure);
    c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, function.c_str());
    c_static_quad(0);
    for (const char* prefix : local_table_prefixes) {
        std::string table = "&" + std::string(prefix) + std::to_string(procedure->id);
        c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, table.c_str());
        c_static_quad(0);
    }
    c_static_word(uint16_t(int16_t(procedure->id / 2)));
}

// An address slot: a thread-local item's offset, else a global fixup.
void static_address(bool threaded, int32_t offset, const std::string& lvalue)
{
    if (threaded) {
        c_static_quad(uint64_t(int64_t(offset)));
        return;
    }
    c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, ("&" + lvalue).c_str());
    c_static_quad(0);
}

// A procedure's own arrays, lists and maps are in its local tables.
bool array_in_bank(const ArrayRecord* array)
{
    return !(array->flags & (ARRAY_FIELD | ARRAY_LOCAL));
}

bool container_in_bank(uint32_t flags)
{
    return !(flags & (CONTAINER_FIELD | CONTAINER_LOCAL));
}

void array_entry(ArrayRecord* array, ModuleRecord* module)
{
    bool threaded = (array->flags & ARRAY_THREADED) != 0;
    int32_t type = array->element_type + ((array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) ? 0x80 : 0);
    c_static_byte(uint8_t(type));
    c_static_byte(threaded ? 2 : (array->flags & ARRAY_GLOBAL) ? 1 : 0);
    c_static_byte((array->flags & ARRAY_PUBLIC) ? 1 : 0);
    c_static_string(array->name);
    static_module(array->module ? array->module : module);
    static_address(threaded, array->offset, c_format_array_address(array));
    c_static_type_info(type, array->element_structure, uint32_t(array->element_size));
    c_static_byte(uint8_t(array->dimension_count));
    if (array->dimension_count > 1)
        for (int32_t i = 0; i < array->dimension_count; i++) c_static_quad(0);
}

template <typename Container>
void container_entry(Container* container, ModuleRecord* module, const std::string& lvalue)
{
    bool threaded = (container->flags & CONTAINER_THREADED) == CONTAINER_THREADED;
    bool interface = container->element_structure && (container->element_structure->flags & STRUCT_INTERFACE);
    int32_t type = container->element_type + (((container->flags & CONTAINER_POINTERS) || interface) ? 0x80 : 0);
    c_static_byte(uint8_t(type));
    c_static_byte(threaded ? 2 : (container->flags & CONTAINER_GLOBAL) ? 1 : 0);
    c_static_byte((container->flags & CONTAINER_PUBLIC) ? 1 : 0);
    c_static_string(container->name);
    static_module(container->module ? container->module : module);
    static_address(threaded, container->offset, lvalue);
    c_static_type_info(type, container->element_structure, uint32_t(container->element_size));
}

// Each list of the modules once with its module, the global one first.
std::vector<std::pair<CursorList*, ModuleRecord*>> scope_lists(CursorList* main_list, CursorList* ModuleRecord::*slot)
{
    std::vector<std::pair<CursorList*, ModuleRecord*>> lists;
    auto listed = [&](CursorList* list) {
        for (auto& pair : lists)
            if (pair.first == list) return true;
        return false;
    };
    if (main_list) lists.push_back({main_list, nullptr});
    for (ModuleRecord* module : bank_modules())
        if (module->*slot && !listed(module->*slot)) lists.push_back({module->*slot, module});
    return lists;
}

template <typename Record, typename Keep, typename Write>
void list_bank(const char* name, CursorList* main_list, CursorList* ModuleRecord::*slot, Keep keep, Write write)
{
    auto lists = scope_lists(main_list, slot);
    uint32_t count = 0;
    for (auto& [list, module] : lists)
        for (ListNode* node = list->first; node; node = node->next)
            if (keep(reinterpret_cast<Record*>(node))) count++;
    c_static_block_begin_aligned(name, count);
    for (auto& [list, module] : lists) {
        for (ListNode* node = list->first; node; node = node->next) {
            auto* record = reinterpret_cast<Record*>(node);
            if (!keep(record)) continue;
            write(record, module);
            sync_output_buffer();
        }
    }
    emit_line("};");
}

}  // namespace

void c_emit_debugger_procedure_bank()
{
    // The local tables follow the code: they are declared here.
    for (int32_t id : local_table_ids)
        for (const char* prefix : local_table_prefixes) emit_format("static unsigned char %s%d[];", prefix, id);
    auto tables = scope_tables(procedure_table, &ModuleRecord::procedures);
    uint32_t count = 0;
    for (auto& [table, module] : tables)
        for (HashEntry* entry : list_table_entries(table))
            if (procedure_in_bank(reinterpret_cast<ProcedureRecord*>(entry))) count++;
    c_static_block_begin_aligned("ZD_DEBUGGER_ProcedureBank", count);
    c_static_word(uint16_t(procedure_id_counter / 2));
    for (auto& [table, module] : tables) {
        for (HashEntry* entry : list_table_entries(table)) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            if (!procedure_in_bank(procedure)) continue;
            procedure_entry(procedure, module);
            sync_output_buffer();
        }
    }
    emit_line("};");
}

void c_emit_debugger_array_bank()
{
    list_bank<ArrayRecord>("ZD_DEBUGGER_ArrayBank", array_list, &ModuleRecord::arrays, array_in_bank, array_entry);
}

void c_emit_debugger_list_bank()
{
    list_bank<ListRecord>(
        "ZD_DEBUGGER_LinkedListBank", list_list, &ModuleRecord::lists,
        [](ListRecord* list) { return container_in_bank(list->flags); },
        [](ListRecord* list, ModuleRecord* module) { container_entry(list, module, c_format_list_address(list)); });
}

void c_emit_debugger_map_bank()
{
    list_bank<MapRecord>(
        "ZD_DEBUGGER_MapBank", map_list, &ModuleRecord::maps, [](MapRecord* map) { return container_in_bank(map->flags); },
        [](MapRecord* map, ModuleRecord* module) { container_entry(map, module, c_format_map_address(map)); });
}

void c_emit_debugger_label_bank() { empty_bank("ZD_DEBUGGER_LabelBank"); }

void c_emit_debugger_constant_bank()
{
    auto tables = scope_tables(constants_table, &ModuleRecord::constants);
    uint32_t count = 0;
    for (auto& [table, module] : tables)
        for (HashEntry* entry : list_table_entries(table))
            if (!(reinterpret_cast<ConstantRecord*>(entry)->flags & constant_flag_resident)) count++;
    c_static_block_begin_aligned("ZD_DEBUGGER_ConstantBank", count);
    for (auto& [table, module] : tables) {
        for (HashEntry* entry : list_table_entries(table)) {
            auto* constant = reinterpret_cast<ConstantRecord*>(entry);
            if (constant->flags & constant_flag_resident) continue;
            constant_entry(constant, module);
            sync_output_buffer();
        }
    }
    emit_line("};");
}

void c_emit_debugger_module_bank()
{
    std::vector<ModuleRecord*> modules = bank_modules();
    uint32_t count = 0;
    for (ModuleRecord* module : modules)
        if (!is_main_module(module)) count++;
    c_static_block_begin_aligned("ZD_DEBUGGER_ModuleBank", count);
    for (ModuleRecord* module : modules)
        if (!is_main_module(module)) c_static_string(module_name(module));
    emit_line("};");
}

void c_emit_debugger_banks()
{
    if (!debugger_enabled) return;
    c_emit_debugger_variable_bank();
    c_emit_debugger_procedure_bank();
    c_emit_debugger_array_bank();
    c_emit_debugger_list_bank();
    c_emit_debugger_map_bank();
    c_emit_debugger_constant_bank();
    c_emit_debugger_label_bank();
    c_emit_debugger_module_bank();
}

namespace {

// The local tables' entries: the address of a local is filled at the start
// of the procedure's body (local list). Records of the thread's own block
// are left out: the debugger finds them in the global banks.
void local_variable_entries()
{
    for (VariableRecord* variable : list_procedure_variables()) {
        if (variable->flags & VAR_THREADED) continue;
        bool local = is_local_variable(variable);
        if (!local && !(variable->flags & VAR_SHARED)) continue;
        int32_t type = variable->type + ((variable->flags & VAR_STACK_PARAMETER) ? 0x40 : 0) + (variable->pointer ? 0x80 : 0);
        c_static_byte(uint8_t(type));
        c_static_byte(!local ? 3 : (variable->flags & VAR_STATIC) ? 2 : 1);
        c_static_string(variable_display_name(variable).c_str());
        c_static_pointer(c_format_variable_operand(variable));
        if (variable->type == TYPE_STRUCTURE) c_static_type_info(TYPE_STRUCTURE, variable->structure, 0);
        else if (type == TYPE_FIXED_STRING) c_static_long(uint32_t(variable->size));
        sync_output_buffer();
    }
}

int32_t local_kind(uint32_t flags, uint32_t shared, bool is_static)
{
    if (flags & shared) return 3;
    return is_static ? 2 : 1;
}

void local_array_entries(CursorList* arrays)
{
    for (ListNode* node = arrays ? arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (!(array->flags & (ARRAY_SHARED | ARRAY_LOCAL)) || (array->flags & ARRAY_THREADED)) continue;
        int32_t type = array->element_type + ((array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) ? 0x80 : 0) +
                       ((array->flags & ARRAY_PARAMETER) ? 0x40 : 0);
        c_static_byte(uint8_t(type));
        c_static_byte(uint8_t(local_kind(array->flags, ARRAY_SHARED, (array->flags & ARRAY_STATIC) != 0)));
        c_static_string(array->name);
        c_static_pointer(c_format_array_address(array));
        c_static_local_type_info(type, array->element_structure, uint32_t(array->element_size));
        c_static_byte(uint8_t(array->dimension_count));
        sync_output_buffer();
    }
}

template <typename Container>
void local_container_entries(CursorList* containers, const char* (*address)(Container*))
{
    for (ListNode* node = containers ? containers->first : nullptr; node; node = node->next) {
        auto* container = reinterpret_cast<Container*>(node);
        uint32_t flags = container->flags;
        if (!(flags & (CONTAINER_SHARED | CONTAINER_LOCAL))) continue;
        if ((flags & CONTAINER_THREADED) == CONTAINER_THREADED) continue;
        bool interface = container->element_structure && (container->element_structure->flags & STRUCT_INTERFACE);
        int32_t type = container->element_type + (((flags & CONTAINER_POINTERS) || interface) ? 0x80 : 0) +
                       ((flags & CONTAINER_PARAMETER) ? 0x40 : 0);
        c_static_byte(uint8_t(type));
        c_static_byte(uint8_t(local_kind(flags, CONTAINER_SHARED, (flags & CONTAINER_STATIC) == CONTAINER_STATIC)));
        c_static_string(container->name);
        c_static_pointer(address(container));
        c_static_local_type_info(type, container->element_structure, uint32_t(container->element_size));
        sync_output_buffer();
    }
}

void append_debugger_data(const char* text, size_t length)
{
    while (debugger_data_end - debugger_data_write < int64_t(length) + 64000) grow_debugger_data_buffer();
    std::memcpy(debugger_data_write, text, length);
    debugger_data_write += length;
    *debugger_data_write = 0;
}

}  // namespace

void c_emit_procedure_local_tables(ProcedureRecord* procedure)
{
    if (!debugger_enabled || !procedure || no_output_depth) return;
    CursorList* arrays = current_module ? current_module->arrays : array_list;
    CursorList* lists = current_module ? current_module->lists : list_list;
    CursorList* maps = current_module ? current_module->maps : map_list;
    // Written into a scratch buffer, then moved behind the code.
    TextBuffer* scratch = procedure_buffer;
    scratch->write = scratch->start;
    scratch->start[0] = 0;
    push_output_buffer(scratch);
    int32_t id = procedure->id;
    c_static_block_begin("lmv_", id);
    local_variable_entries();
    emit_line("-1};");
    c_static_block_begin("lma_", id);
    local_array_entries(arrays);
    emit_line("-1};");
    c_static_block_begin("lml_", id);
    local_container_entries<ListRecord>(lists, c_format_list_address);
    emit_line("-1};");
    c_static_block_begin("lmm_", id);
    local_container_entries<MapRecord>(maps, c_format_map_address);
    emit_line("-1};");
    append_debugger_data(output_buffer_start, size_t(output_write_pointer - output_buffer_start));
    pop_output_buffer();
    local_table_ids.push_back(id);
}

void c_reset_procedure_local_tables()
{
    local_table_ids.clear();
}
