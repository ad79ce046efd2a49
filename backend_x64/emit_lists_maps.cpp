// Linked lists and maps in x64 code. Every operation is a call of the
// runtime (toolchain/runtime/lists_maps.c); the code keeps only the head of
// a list and the slot of a map, and reaches elements through rbp.
#include "backend_x64/emit_lists_maps.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/call_arguments.h"
#include "frontend/imports.h"
#include "frontend/lists_maps.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

namespace {

void use_routine(const char* name) {
    if (!no_output_depth) add_extern_symbol(name);
}

// "[module.]<prefix><name>".
const char* format_symbol(const ModuleRecord* module, const char* prefix, const char* name) {
    static char text[600];
    size_t used = 0;
    text[0] = 0;
    if (module) {
        for (const char* p = module_name(module); *p && used + 2 < sizeof text; p++)
            text[used++] = (char)tolower((unsigned char)*p);
        text[used++] = '.';
        text[used] = 0;
    }
    snprintf(text + used, sizeof text - used, "%s%s", prefix, name);
    return text;
}

// The address rules shared by lists and maps.
const char* format_address(uint32_t flags, int32_t offset, void* item, const char* symbol,
                           int32_t saved_depth = 0) {
    static char text[640];
    if ((flags & CONTAINER_FIELD) && saved_depth > 0) {
        // rbp has moved since the structure's base was pushed.
        int32_t distance = emitter_stack.push_depth - saved_depth;
        if (distance) emit_linef(" MOV rcx,[rsp+%d]", distance);
        else emit_line(" MOV rcx,[rsp]");
        snprintf(text, sizeof text, "rcx+%d", offset);
        return text;
    }
    if ((flags & CONTAINER_THREADED) == CONTAINER_THREADED) {
        emit_reload_frame_pointer();
        procedure_uses_rbp = 1;
        snprintf(text, sizeof text, "rbp+%d", offset);
    } else if (flags & CONTAINER_FIELD) {
        snprintf(text, sizeof text, "rbp+%d", offset);
    } else if ((flags & CONTAINER_STATIC) == CONTAINER_STATIC && item) {
        snprintf(text, sizeof text, "%s", static_cast<DataItem*>(item)->label);
    } else if (flags & CONTAINER_PARAMETER) {
        // The parameter's slot holds the address of the caller's head or
        // slot.
        emit_linef(" MOV rcx,qword [rsp+%d]", emitter_stack.push_depth + offset);
        snprintf(text, sizeof text, "rcx");
    } else if (flags & CONTAINER_LOCAL) {
        snprintf(text, sizeof text, "rsp+%d", emitter_stack.push_depth + offset);
    } else {
        snprintf(text, sizeof text, "%s", symbol);
    }
    return text;
}

int32_t element_type_code(uint32_t flags, int32_t type) { return (flags & CONTAINER_POINTERS) ? TYPE_INTEGER : type; }

// A runtime call at statement level: a call frame is written only when
// something is pushed (a Select's selector), so that the call is aligned
// and its shadow space never covers pushed values.
void emit_statement_call(const char* routine) {
    emit_call_frame_begin();
    emit_linef(" CALL %s", routine);
    emit_call_frame_end();
    use_routine(routine);
}

}  // namespace

const char* format_list_symbol(const ListRecord* list) {
    return format_symbol(list->module, (list->flags & CONTAINER_POINTERS) ? "tp_" : "t_", list->name);
}

const char* format_map_symbol(const MapRecord* map) {
    return format_symbol(map->module, (map->flags & CONTAINER_POINTERS) ? "mp_" : "m_", map->name);
}

const char* format_list_address(ListRecord* list) {
    return format_address(list->flags, list->offset, list->item, format_list_symbol(list));
}

const char* format_map_address(MapRecord* map) {
    return format_address(map->flags, map->offset, map->item, format_map_symbol(map), map->saved_push_depth);
}

const char* format_list_element_operand(ListRecord* list) {
    static char text[700];
    snprintf(text, sizeof text, "qword [%s+8]", format_list_address(list));
    return text;
}

void emit_new_list(ListRecord* list) {
    emit_linef(" MOV r9,%d", element_type_code(list->flags, list->element_type));
    emit_element_descriptor((list->flags & CONTAINER_POINTERS) != 0, list->element_type, list->element_structure, REGISTER_R8);
    emit_linef(" LEA rdx,[%s]", format_list_address(list));
    emit_linef(" MOV rcx,%d", list->element_size);
    emit_statement_call("ZD_NewList");
    use_routine("ZD_FreeList");
}

void emit_new_map(MapRecord* map, int32_t pushed) {
    if (pushed) {
        emit_line(" POP rcx");
        emitter_stack.push_depth -= 8;
    } else {
        emit_linef(" MOV rcx,%d", map->slot_count > 0 ? map->slot_count : 512);
    }
    int32_t pad = (16 - (emitter_stack.push_depth + 8) % 16) % 16;
    emitter_stack.call_frame_pad = pad;
    if (pad) {
        emitter_stack.push_depth += pad;
        emit_linef(" SUB rsp,%d", pad);
    }
    emit_line(" PUSH rcx");
    emitter_stack.push_depth += 8;
    emit_linef(" LEA r9,[%s]", format_map_address(map));
    emit_element_descriptor((map->flags & CONTAINER_POINTERS) != 0, map->element_type, map->element_structure, REGISTER_R8);
    emit_linef(" MOV rdx,%d", element_type_code(map->flags, map->element_type));
    emit_linef(" MOV rcx,%d", map->element_size);
    emit_line(" SUB rsp,32");
    emit_line(" CALL ZD_NewMap");
    emit_line(" ADD rsp,40");
    emitter_stack.push_depth -= 8;
    emit_call_frame_end();
    use_routine("ZD_NewMap");
    use_routine("ZD_FreeMap");
}

void emit_free_list(ListRecord* list) {
    emit_linef(" MOV rcx,qword [%s]", format_list_address(list));
    emit_statement_call("ZD_FreeList");
}

void emit_free_map(MapRecord* map) {
    emit_linef(" MOV rcx,qword [%s]", format_map_address(map));
    emit_statement_call("ZD_FreeMap");
}

void emit_foreach_list_start(ListRecord* list, int32_t label) {
    emit_linef(" MOV rcx,qword [%s]", format_list_address(list));
    emit_statement_call("ZD_ResetList");
    emit_linef("_ForEach%d:", label);
}

void emit_foreach_map_start(MapRecord* map, int32_t label) {
    emit_linef(" MOV rcx,qword [%s]", format_map_address(map));
    emit_statement_call("ZD_ResetMap");
    emit_linef("_ForEach%d:", label);
}

void emit_foreach_list_next(ListRecord* list, int32_t label) {
    emit_linef(" MOV rcx,qword [%s]", format_list_address(list));
    emit_statement_call("ZD_NextElement");
    emit_line(" OR rax,rax");
    emit_linef(" JZ _Next%d", label);
}

void emit_foreach_map_next(MapRecord* map, int32_t label) {
    emit_linef(" MOV rcx,qword [%s]", format_map_address(map));
    emit_statement_call("ZD_NextMapElement");
    emit_line(" OR rax,rax");
    emit_linef(" JZ _Next%d", label);
}

void emit_find_map_element(MapRecord* map) {
    if (current_operand.flags & OP_COMPUTED) {
        // The key lies on the string stack, its offset on the machine stack:
        // the write position goes back to it (the runtime copies the key
        // before anything writes there again) and the offset becomes its
        // address.
        emit_line(" MOV rcx,[rsp]");
        if (thread_safe) {
            emit_call_frame_begin();
            emit_line(" CALL SYS_SetStringBasePosition");
            emit_call_frame_end();
        } else {
            emit_line(" MOV qword [ZD_StringBasePosition],rcx");
        }
        emit_add_string_base_to_stack(0);
        emit_line(" POP rdx");
        emitter_stack.push_depth -= 8;
    } else {
        emit_load_string_address(REGISTER_RDX);
    }
    emit_linef(" MOV rcx,qword [%s]", format_map_address(map));
    emit_call_frame_begin();
    if (debugger_code) emit_line(" CALL _DBG_MU");
    emit_line(" CALL ZD_GetMapElement");
    emit_line(" MOV rbp,rax");
    emit_call_frame_end();
    procedure_uses_rbp = 1;
    use_routine("ZD_GetMapElement");
}

void emit_push_container_argument(CallRecord* call, int type, int kind, void* record) {
    // A library command takes the list or map object (or the array's data);
    // a procedure of the source the address of the head, slot or array
    // variable, which its parameter slot keeps.
    bool by_value = call->callee_kind == CALLEE_LIBRARY;
    if (kind == TYPE_ARRAY) {
        emit_array_argument_to_rax(static_cast<ArrayRecord*>(record), by_value);
    } else {
        const char* address = kind == TYPE_LIST ? format_list_address(static_cast<ListRecord*>(record))
                                                : format_map_address(static_cast<MapRecord*>(record));
        if (by_value) emit_linef(" MOV rax,qword [%s]", address);
        else if (strcmp(address, "rcx") == 0) emit_line(" MOV rax,rcx");
        else emit_linef(" LEA rax,[%s]", address);
    }
    (void)type;
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
}

void emit_container_creation(uint8_t kind, void* object) {
    if (!object) return;
    switch (kind) {
    case TYPE_LIST: emit_new_list(static_cast<ListRecord*>(object)); break;
    case TYPE_MAP: emit_new_map(static_cast<MapRecord*>(object), 0); break;
    case TYPE_ARRAY: emit_constant_array_allocation(static_cast<ArrayRecord*>(object)); break;
    default: break;
    }
}

void collect_list_map_labels() {
    // Every module's lists first, then every module's maps.
    auto collect_lists = [](CursorList* lists) {
        for (ListNode* node = lists ? lists->first : nullptr; node; node = node->next) {
            auto* list = reinterpret_cast<ListRecord*>(node);
            if (list->flags & (CONTAINER_LOCAL | CONTAINER_FIELD | (CONTAINER_THREADED & ~CONTAINER_GLOBAL))) continue;
            program_container_labels.push_back({format_list_symbol(list), 16});
        }
    };
    auto collect_maps = [](CursorList* maps) {
        for (ListNode* node = maps ? maps->first : nullptr; node; node = node->next) {
            auto* map = reinterpret_cast<MapRecord*>(node);
            if (map->flags & (CONTAINER_LOCAL | CONTAINER_FIELD | (CONTAINER_THREADED & ~CONTAINER_GLOBAL))) continue;
            program_container_labels.push_back({format_map_symbol(map), 8});
        }
    };
    std::vector<ModuleRecord*> modules;
    if (module_table) {
        hash_reset_iterator(module_table);
        while (HashEntry* entry = hash_next(module_table)) modules.push_back(reinterpret_cast<ModuleRecord*>(entry));
        hash_reset_iterator(module_table);
    }
    collect_lists(list_list);
    for (ModuleRecord* module : modules)
        if (module->lists != list_list) collect_lists(module->lists);
    collect_maps(map_list);
    for (ModuleRecord* module : modules)
        if (module->maps != map_list) collect_maps(module->maps);
}

// ---------------------------------------------------------------------------
// The hooks

namespace {

// A slot count computed at run time; the debugger checks it on the stack.
void x64_emit_new_map_slot_count() {
    emit_push_operand(expression_mode);
    if (debugger_code) emit_line(" CALL _DBG_MHS");
}

void x64_emit_load_list_element(ListRecord* list) {
    emit_linef(" MOV rbp,%s", format_list_element_operand(list));
    procedure_uses_rbp = 1;
}

void x64_emit_load_map_current(MapRecord* map) {
    emit_linef(" MOV rbp,qword [%s]", format_map_address(map));
    if (debugger_code) {
        // A map whose NewMap never ran has no object to read.
        emit_line(" MOV rcx,rbp");
        emit_line(" CALL _DBG_MU");
    }
    emit_line(" MOV rbp,[rbp]");
    procedure_uses_rbp = 1;
}

void x64_emit_check_list_element(ListRecord* list) {
    emit_linef(" MOV rax,%s", format_list_element_operand(list));
    emit_line(" CALL _DBG_EL");
}

void x64_emit_check_map_element(MapRecord*) { emit_line(" CALL _DBG_ML"); }

void x64_emit_keep_field_map_base(MapRecord* map) {
    emit_line(" PUSH rbp");
    emitter_stack.push_depth += 8;
    map->saved_push_depth = emitter_stack.push_depth;
}

void x64_emit_drop_field_map_base(MapRecord* map) {
    emit_line(" POP rax");
    emitter_stack.push_depth -= 8;
    map->saved_push_depth = 0;
}

const char* x64_format_element_operand(int32_t size) {
    static char text[64];
    snprintf(text, sizeof text, "%s[rbp]", size_prefix(size));
    return text;
}

}  // namespace

const ListMapHooks x64_list_map_hooks = {
    .emit_new_list = emit_new_list,
    .emit_new_map_slot_count = x64_emit_new_map_slot_count,
    .emit_new_map = emit_new_map,
    .emit_free_list = emit_free_list,
    .emit_free_map = emit_free_map,
    .emit_foreach_list_start = emit_foreach_list_start,
    .emit_foreach_map_start = emit_foreach_map_start,
    .emit_foreach_list_next = emit_foreach_list_next,
    .emit_foreach_map_next = emit_foreach_map_next,
    .emit_load_list_element = x64_emit_load_list_element,
    .emit_load_map_current = x64_emit_load_map_current,
    .emit_find_map_element = emit_find_map_element,
    .emit_check_list_element = x64_emit_check_list_element,
    .emit_check_map_element = x64_emit_check_map_element,
    .format_element_operand = x64_format_element_operand,
    .emit_keep_field_map_base = x64_emit_keep_field_map_base,
    .emit_drop_field_map_base = x64_emit_drop_field_map_base,
};
