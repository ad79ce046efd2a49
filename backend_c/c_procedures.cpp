// Procedures in the C file. The front end makes the procedure's own code
// buffer current from the Procedure line to EndProcedure, so the body is
// written there; the head needs the complete local scope and is put in
// front of the body at EndProcedure. Each procedure returns through one exit:
// ProcedureReturn stores "r" and jumps to "end:", where the locals are
// released and "r" returned.
#include "backend_c/c_procedures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "backend_c/c_arrays.h"
#include "backend_c/c_blocks.h"
#include "backend_c/c_debugger.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_labels.h"
#include "backend_c/c_lists_maps.h"
#include "backend_c/c_structures.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/hash_table.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/procedures.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

int32_t result_local_counter = 0;
std::string c_prototypes_text;
std::vector<ProcedureRecord*> c_used_resident_prototypes;
int32_t procedure_debugger_on = 0;
int32_t procedure_uses_threaded = 0;

namespace {

constexpr uint16_t dynamic_members = STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS;

// The counters of the code around the procedure (main code), restored at
// EndProcedure: the "r<n>" and "p<n>" numbers resume after the body.
int32_t saved_result_counter = 0;
int32_t saved_p_counter = 0;
// The head built at the start of the epilogue (the locals are dropped
// before the function is closed).
std::string pending_head;

void build_procedure_name(ProcedureRecord* procedure, std::string& out)
{
    out.clear();
    const ModuleRecord* module = procedure->module;
    if (module && module->entry.key && module->entry.key[0] && module->entry.key[0] != '.') {
        for (const char* p = module->entry.key; *p; p++) out += (*p >= 'A' && *p <= 'Z') ? char(*p - 'A' + 'a') : *p;
        out += 'X';
    }
    out += "f_";
    for (const char* p = procedure_name(procedure); *p; p++) out += (*p >= 'A' && *p <= 'Z') ? char(*p - 'A' + 'a') : *p;
}

// The procedure hands a string to the caller's string stack (an exported
// procedure never takes the hidden base position).
bool returns_stack_string(const ProcedureRecord* procedure)
{
    return (procedure->flags & (PROC_RETURNS_STRING | PROC_DLL)) == PROC_RETURNS_STRING;
}

// "r" set to the empty string on the caller's stack, or to 0.
void emit_default_result(const ProcedureRecord* procedure)
{
    if (procedure->flags & PROC_RETURNS_STRING) {
        if (!no_output_depth) {
            c_runtime_used[C_SYS_CopyString] = 1;
            string_manager_used = 1;
            procedure_uses_strings = 1;
        }
        emit_line("SYS_PushStringBasePosition();");
        emit_line("SYS_CopyString(\"\\0\");");
        emit_line("r=SYS_PopStringBasePositionValueNoUpdate();");
    } else {
        emit_line("r=0;");
    }
}

void append_line(std::string& out, const std::string& line)
{
    out += line;
    out += '\n';
}

// The arrays, lists and maps of the procedure's own frame (not Static,
// not parameters): C locals of the function, so that each call has its own.
void emit_local_container_declarations()
{
    CursorList* arrays = current_module ? current_module->arrays : array_list;
    for (ListNode* node = arrays ? arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if ((array->flags & (ARRAY_LOCAL | ARRAY_STATIC | ARRAY_PARAMETER)) == ARRAY_LOCAL)
            c_emit_array_declaration(array);
    }
    CursorList* lists = current_module ? current_module->lists : list_list;
    for (ListNode* node = lists ? lists->first : nullptr; node; node = node->next) {
        auto* list = reinterpret_cast<ListRecord*>(node);
        if ((list->flags & (CONTAINER_STATIC | CONTAINER_PARAMETER)) == CONTAINER_LOCAL)
            emit_line3("zd_list ", c_format_list_address(list), "={0};");
    }
    CursorList* maps = current_module ? current_module->maps : map_list;
    for (ListNode* node = maps ? maps->first : nullptr; node; node = node->next) {
        auto* map = reinterpret_cast<MapRecord*>(node);
        if ((map->flags & (CONTAINER_STATIC | CONTAINER_PARAMETER)) == CONTAINER_LOCAL)
            emit_line3("zd_map ", c_format_map_address(map), "={0};");
    }
}

// The function head: prototype opened with " {", result, string base,
// thread object, string buffer check, private copies of the string
// parameters, the locals.
std::string build_head(ProcedureRecord* procedure)
{
    std::string head;
    std::string prototype = c_procedure_prototype_text(procedure);
    if (!prototype.empty() && prototype.back() == ';') prototype.pop_back();
    append_line(head, prototype + " {");
    append_line(head, std::string(c_procedure_result_type(procedure)) + " r=0;");
    if (returns_stack_string(procedure))
        append_line(head, thread_safe ? "SYS_SetStringBasePosition(sbp);" : "ZD_StringBasePosition=sbp;");
    if (procedure_uses_threaded) {
        append_line(head, "char *tls=SYS_GetThreadedObject();");
        c_runtime_used[C_SYS_GetThreadedObject] = 1;
    }
    if (thread_safe && procedure_uses_strings) {
        append_line(head, "SYS_CheckStringBuffer();");
        c_runtime_used[C_SYS_CheckStringBuffer] = 1;
    }
    for (int32_t i = 0; i < procedure->parameter_count; i++) {
        const ParameterRecord& parameter = procedure->parameters[i];
        if (parameter.type != TYPE_STRING || !parameter.object) continue;
        std::string name = c_format_variable_operand(static_cast<VariableRecord*>(parameter.object));
        append_line(head, "SYS_FastAllocateString4(&" + name + "," + name + ");");
        c_runtime_used[C_SYS_FastAllocateString4] = 1;
        string_manager_used = 1;
    }
    // The locals of the scope (parameters and Static items are declared
    // elsewhere); the declaration writer emits lines, so it runs into a
    // scratch buffer.
    if (variable_table) {
        TextBuffer* scratch = procedure_buffer;
        scratch->write = scratch->start;
        scratch->start[0] = 0;
        push_output_buffer(scratch);
        hash_reset_iterator(variable_table);
        while (HashEntry* entry = hash_next(variable_table)) {
            auto* variable = reinterpret_cast<VariableRecord*>(entry);
            if (!is_local_variable(variable) || (variable->flags & (VAR_PARAMETER | VAR_STATIC))) continue;
            c_emit_variable_declaration(variable);
            // A local structure's arrays, lists and maps are created here.
            if (!variable->pointer && variable->type == TYPE_STRUCTURE && variable->structure &&
                (variable->structure->flags & dynamic_members)) {
                variable->structure->flags |= STRUCT_NEEDS_INIT;
                c_emit_init_dynamic_structure(variable);
            }
        }
        hash_reset_iterator(variable_table);
        emit_local_container_declarations();
        head.append(output_buffer_start, size_t(output_write_pointer - output_buffer_start));
        pop_output_buffer();
    }
    // Pointer fixups of the procedure's static blocks.
    if (local_fixup_list) {
        for (ListNode* node = local_fixup_list->first; node; node = node->next) {
            auto* fixup = reinterpret_cast<PointerFixup*>(node);
            char line[512];
            std::snprintf(line, sizeof line, "*(integer *)(&%s[%d])=(integer *)%s;", fixup->array, fixup->offset,
                          fixup->target);
            append_line(head, line);
        }
        local_fixup_list->first = local_fixup_list->last = local_fixup_list->current = nullptr;
    }
    if (const char* line = c_label_jump_line()) append_line(head, line);
    return head;
}

// Puts `text` in front of the current buffer's content.
void insert_in_front(const std::string& text)
{
    TextBuffer* body = current_output_buffer();
    if (!body || text.empty()) return;
    body->write = output_write_pointer;
    int64_t used = body->write - body->start;
    int64_t length = static_cast<int64_t>(text.size());
    grow_text_buffer(body, used + length + 1);
    std::memmove(body->start + length, body->start, size_t(used + 1));
    std::memcpy(body->start, text.data(), size_t(length));
    body->write = body->start + used + length;
    output_write_pointer = body->write;
    sync_output_buffer();
}

}  // namespace

void c_reset_procedure_state()
{
    c_prototypes_text.clear();
    c_used_resident_prototypes.clear();
    result_local_counter = 0;
    procedure_debugger_on = 0;
    procedure_uses_threaded = 0;
    saved_result_counter = 0;
    saved_p_counter = 0;
    pending_head.clear();
}

const char* c_procedure_name(ProcedureRecord* procedure)
{
    static std::string name;
    build_procedure_name(procedure, name);
    return name.c_str();
}

const char* c_prototype_name(ProcedureRecord* procedure)
{
    static std::string name;
    build_procedure_name(procedure, name);
    return name.c_str();
}

const char* c_procedure_result_type(const ProcedureRecord* procedure)
{
    return c_procedure_return_type(procedure->flags, procedure->second_flags);
}

// A byte or word result leaves the function widened to a whole register,
// as an x64 procedure leaves it in rax: a caller that reads it through a
// wider slot (an interface's method table filled with procedure addresses)
// gets the value, not the bits the C compiler left above it. The local r
// keeps the declared type, so the value is still cut to it.
const char* c_procedure_function_type(const ProcedureRecord* procedure)
{
    const char* result = c_procedure_result_type(procedure);
    if (procedure->flags & PROC_PROTOTYPE) return result;
    for (const char* narrow : {"char", "short", "unsigned char", "unsigned short"})
        if (std::strcmp(result, narrow) == 0) return "integer";
    return result;
}

void c_parameter_declaration(const ParameterRecord* parameter, std::string& out)
{
    if (parameter->type == TYPE_ARRAY || parameter->type == TYPE_LIST || parameter->type == TYPE_MAP) {
        // The caller's container, by address.
        int32_t dimensions = parameter->element_type ? parameter->element_type->dimension_count : 1;
        if (parameter->type == TYPE_LIST) out += "zd_list *";
        else if (parameter->type == TYPE_MAP) out += "zd_map *";
        else out += dimensions <= 1 ? std::string("zd_array *") : "zd_array" + std::to_string(dimensions) + " *";
        if (!parameter->object) return;
        if (parameter->type == TYPE_LIST) out += c_format_list_address(static_cast<ListRecord*>(parameter->object));
        else if (parameter->type == TYPE_MAP) out += c_format_map_address(static_cast<MapRecord*>(parameter->object));
        else out += c_format_array_address(static_cast<ArrayRecord*>(parameter->object));
        return;
    }
    auto* variable = static_cast<VariableRecord*>(parameter->object);
    if (!variable) {
        out += c_type_name(parameter->type);
        return;
    }
    std::string name = c_format_variable_operand(variable);
    if (variable->structure && variable->pointer) {
        out += c_structure_name(variable->structure);
        out += (variable->structure->flags & STRUCT_INTERFACE) ? "** " : "* ";
        out += name;
    } else if (variable->pointer) {
        out += "integer " + name;
    } else {
        out += std::string(c_type_name(parameter->type)) + " " + name;
    }
}

std::string c_prototype_type_name(ProcedureRecord* prototype)
{
    if ((prototype->second_flags & PROC_SECOND_RESIDENT) &&
        std::find(c_used_resident_prototypes.begin(), c_used_resident_prototypes.end(), prototype) ==
            c_used_resident_prototypes.end())
        c_used_resident_prototypes.push_back(prototype);
    return std::string("p") + c_procedure_name(prototype);
}

std::string c_procedure_prototype_text(ProcedureRecord* procedure)
{
    std::string list;
    for (int32_t i = 0; i < procedure->parameter_count; i++) {
        if (i) list += ",";
        c_parameter_declaration(&procedure->parameters[i], list);
    }
    if (returns_stack_string(procedure)) list += procedure->parameter_count ? ",int sbp" : "int sbp";
    const char* result = c_procedure_function_type(procedure);
    if (procedure->flags & PROC_PROTOTYPE)
        return std::string("typedef ") + result + " (*p" + c_procedure_name(procedure) + ")(" + list + ");";
    // Exported from a DLL, or registered by Runtime: visible outside the file.
    bool exported = (procedure->flags & (PROC_DLL | PROC_DECLARE_ONLY)) == PROC_DLL ||
                    (procedure->second_flags & PROC_SECOND_RUNTIME);
    return std::string(exported ? "" : "static ") + result + " " + c_procedure_name(procedure) + "(" + list + ");";
}

void c_declare_prototype(ProcedureRecord* prototype)
{
    if (!no_output_depth) append_line(c_prototypes_text, c_procedure_prototype_text(prototype));
}

void c_begin_procedure(ProcedureRecord*)
{
    procedure_debugger_on = debugger_code;
    saved_result_counter = result_local_counter;
    saved_p_counter = p_temporary_counter;
    result_local_counter = 0;
    p_temporary_counter = 0;
    c_main_takes_label_addresses = c_function_takes_label_addresses;
    c_function_takes_label_addresses = 0;
    procedure_uses_strings = 0;
    procedure_uses_threaded = 0;
    pending_head.clear();
    c_enter_function_labels();
}

void c_begin_procedure_epilogue(ProcedureRecord* procedure)
{
    emit_default_result(procedure);
    emit_line("end:");
    if (debugger_enabled && procedure_debugger_on) emit_line("ZD_DEBUGGER_LeaveProcedure();");
    if (!no_output_depth) append_line(c_prototypes_text, c_procedure_prototype_text(procedure));
    // Before the head, whose local fixups fill the tables' address slots.
    c_emit_procedure_local_tables(procedure);
    pending_head = build_head(procedure);
}

void c_finish_procedure(ProcedureRecord*)
{
    c_keep_procedure_labels();
    emit_line("return r;");
    emit_line("}");
    // With output off (a syntax check, a preprocessed source) the body was
    // not written, and the head must not land in the main text either.
    if (!no_output_depth) insert_in_front(pending_head);
    pending_head.clear();
    result_local_counter = saved_result_counter;
    p_temporary_counter = saved_p_counter;
    c_function_takes_label_addresses = c_main_takes_label_addresses;
    c_leave_function_labels();
}

void c_emit_procedure_return(ProcedureRecord* procedure, int with_value)
{
    if (!with_value) {
        emit_default_result(procedure);
    } else if (procedure->flags & PROC_RETURNS_STRING) {
        // The result is handed over on the string stack, from the position
        // saved last; a literal or a variable is copied there first.
        bool literal = (current_operand.flags & OP_LITERAL) != 0;
        bool on_stack = !literal && (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) != 0;
        if (!on_stack) c_copy_string_to_stack(1);
        emit_line("r=SYS_PopStringBasePositionValueNoUpdate();");
    } else {
        std::string value = c_operand_text();
        bool floating = (current_operand.flags & OP_FLOAT) != 0;
        bool float_result = (procedure->flags & (PROC_RETURNS_FLOAT | PROC_RETURNS_DOUBLE)) != 0;
        if (floating && !float_result) {
            const char* round = (procedure->flags & PROC_RETURNS_QUAD) ? "SYS_BankerRoundQuad(" : "SYS_BankerRound(";
            value = round + value + ")";
        }
        emit_line(("r=" + value + ";").c_str());
    }
    emit_line("goto end;");
}

void c_emit_procedure_prototypes()
{
    if (c_prototypes_text.empty()) return;
    c_emit_comment("");
    std::string text = c_prototypes_text;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    emit_line(text.c_str());
}
