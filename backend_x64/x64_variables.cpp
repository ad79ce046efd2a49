#include "backend_x64/x64_variables.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "backend_x64/assembler_names.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_operands.h"
#include "backend_x64/emit_procedures.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "core/text_format.h"
#include "frontend/arrays.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

int32_t thread_object_used = 0;
int32_t procedure_uses_rbp = 0;
int32_t local_equates_depth = 0;

// The module a variable belongs to, or null for the main program's.
static const char* module_name_of(const VariableRecord* variable) {
    return variable->module ? module_name(variable->module) : nullptr;
}

static void append_lowered(char* out, size_t size, const char* text) {
    size_t used = strlen(out);
    for (; *text && used + 1 < size; text++) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        out[used++] = c;
    }
    out[used] = 0;
}

const char* format_variable_symbol(const VariableRecord* variable) {
    const char* key = variable_key(variable);
    if (key[0] == '+') key++;
    const char* module = module_name_of(variable);
    // Outside modules the key is the symbol as it stands.
    if (!module) return key;
    static char text[512];
    text[0] = 0;
    append_lowered(text, sizeof text, module);
    strcat(text, ".");
    size_t used = strlen(text);
    copy_text(text + used, sizeof text - used, key);
    return text;
}

static const char* storage_symbol(const VariableRecord* variable) {
    if ((variable->flags & VAR_STATIC) && variable->item) return static_cast<DataItem*>(variable->item)->label;
    if ((variable->flags & VAR_OWN_SYMBOL) && variable->symbol) return assembly_symbol(variable->symbol);
    if (variable->flags & VAR_DATA_POINTER) return "ZD_DataPointer";
    return format_variable_symbol(variable);
}

static bool is_frame_variable(const VariableRecord* variable) {
    return in_procedure && !variable->module &&
           !(variable->flags & (VAR_GLOBAL | VAR_SHARED | VAR_STATIC)) && is_local_variable(variable);
}

void emit_reload_frame_pointer() {
    if (in_procedure)
        emit_linef(" MOV rbp,[rsp+TS%d+%d]", current_procedure_id, emitter_stack.push_depth);
    else if (thread_callback_code)
        emit_linef(" MOV rbp,[rsp+%d]", emitter_stack.push_depth + 32);
    else
        // Main code: a Gosub's frame covers the start-up slot [rsp+32], so
        // the main thread's object comes from its own qword.
        emit_line(" MOV rbp,[ZD_MainThreadObject]");
    procedure_uses_rbp = 1;
    thread_object_used = 1;
    if (!no_output_depth) forget_cached_list();
}

const char* format_variable_operand(VariableRecord* variable) {
    static char text[600];
    int width = variable->width;
    if (variable->flags & VAR_THREADED) {
        emit_reload_frame_pointer();
        format_to_buffer(text, sizeof text, "%s[rbp+%d]", size_prefix(width), variable->offset);
        return text;
    }
    if (is_frame_variable(variable)) {
        int32_t depth = emitter_stack.push_depth;
        if (variable->flags & VAR_STACK_PARAMETER)
            format_to_buffer(text, sizeof text, "%s[rsp+PS%d+%d]", size_prefix(width), current_procedure_id,
                     depth + variable->offset);
        else if (variable->offset + depth == 0)
            format_to_buffer(text, sizeof text, "%s[rsp]", size_prefix(width));
        else
            format_to_buffer(text, sizeof text, "%s[rsp+%d]", size_prefix(width), variable->offset + depth);
        return text;
    }
    // "<size>[<symbol>]", the commonest operand: joined directly.
    const char* prefix = width < 5 ? size_prefix(width) : "qword ";
    size_t used = copy_text(text, sizeof text - 1, prefix);
    text[used++] = '[';
    used += copy_text(text + used, sizeof text - 1 - used, storage_symbol(variable));
    text[used++] = ']';
    text[used] = 0;
    return text;
}

const char* format_variable_qword_symbol(VariableRecord* variable) {
    static char text[600];
    if ((variable->flags & VAR_THREADED) || is_frame_variable(variable)) {
        copy_text(text, sizeof text, format_variable_operand(variable));
        return text;
    }
    format_to_buffer(text, sizeof text, "qword %s", storage_symbol(variable));
    return text;
}

void emit_local_equ(const char* prefix, const char* name, const char* format, ...) {
    char value[1024];
    va_list args;
    va_start(args, format);
    format_to_buffer_v(value, sizeof value, format, args);
    va_end(args);
    emit_linef("p.%s%s equ %s", prefix, name, value);
}

void emit_procedure_local_equates() {
    if (!in_procedure || !variable_table) return;
    int32_t depth = emitter_stack.push_depth;
    bool rewrite = depth != local_equates_depth;
    hash_reset_iterator(variable_table);
    while (HashEntry* entry = hash_next(variable_table)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!is_local_variable(variable) || (variable->flags & VAR_STATIC)) continue;
        if (rewrite) variable->flags &= (uint16_t)~VAR_EQUATE_WRITTEN;
        if (variable->flags & VAR_EQUATE_WRITTEN) continue;
        const char* symbol = format_variable_symbol(variable);
        if (variable->flags & VAR_STACK_PARAMETER)
            emit_local_equ("", symbol, "rsp+PS%d+%d", current_procedure_id, depth + variable->offset);
        else
            emit_local_equ("", symbol, "rsp+%d", variable->offset + depth);
        variable->flags |= VAR_EQUATE_WRITTEN;
    }
    // The procedure's own arrays and lists in its frame (a Static one lives
    // in the data).
    CursorList* arrays = current_module ? current_module->arrays : array_list;
    for (ListNode* node = arrays ? arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (!(array->flags & ARRAY_LOCAL) || (array->flags & (ARRAY_STATIC | ARRAY_PARAMETER))) continue;
        if (rewrite) array->flags &= ~ARRAY_EQUATE_WRITTEN;
        if (array->flags & ARRAY_EQUATE_WRITTEN) continue;
        emit_local_equ("a_", array_display_name(array), "rsp+%d", depth + array->offset);
        array->flags |= ARRAY_EQUATE_WRITTEN;
    }
    CursorList* lists = current_module ? current_module->lists : list_list;
    for (ListNode* node = lists ? lists->first : nullptr; node; node = node->next) {
        auto* list = reinterpret_cast<ListRecord*>(node);
        if (!(list->flags & CONTAINER_LOCAL) || (list->flags & (CONTAINER_STATIC & ~CONTAINER_LOCAL)) ||
            (list->flags & CONTAINER_PARAMETER))
            continue;
        if (rewrite) list->flags &= ~CONTAINER_EQUATE_WRITTEN;
        if (list->flags & CONTAINER_EQUATE_WRITTEN) continue;
        emit_local_equ("t_", list->name, "rsp+%d", depth + list->offset);
        list->flags |= CONTAINER_EQUATE_WRITTEN;
    }
    local_equates_depth = depth;
}

void x64_emit_local_cleanup(VariableRecord* variable) {
    if (variable->pointer || (variable->flags & VAR_PARAMETER && variable->type != TYPE_STRING)) return;
    if (variable->type == TYPE_STRING) {
        x64_keep_return_value();
        emit_free_string(format_variable_operand(variable));
    } else if (variable->type == TYPE_STRUCTURE && variable->structure &&
               (variable->structure->flags & STRUCT_DYNAMIC)) {
        // The strings, arrays, lists and maps inside a local structure.
        x64_keep_return_value();
        variable->structure->flags |= STRUCT_NEEDS_INIT;
        mark_structure_descriptor_needed(variable->structure);
        emit_free_structure_strings(format_structure_symbol(variable->structure),
                                    format_variable_qword_symbol(variable));
    }
}
