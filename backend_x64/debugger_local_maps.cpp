// The per-procedure tables of a program built with the debugger: the local
// maps "LM_<id>" (variables "LMV_", arrays "LMA_", lists "LML_", maps
// "LMM_") in the debugger's buffer, the slots of the procedure's Static
// arrays, and with the purifier the table "PM_<id>" of the guards after its
// locals. They are gathered at the end of the body, while the locals are
// still declared, and written once the frame size is known.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/arrays.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

// Frame sizes ("PS<id>") of the procedures compiled so far, by id.
std::map<int32_t, int32_t> procedure_frames;
// Labels of the Static arrays whose slots are written (once each).
std::set<std::string> static_array_slots;

// The local maps of the procedure being closed. A local that lives in the
// caller's home area is addressed from the frame, whose size is known only
// at the end: its offset waits in `frame_relative` as the text's position.
struct PendingMaps {
    bool open = false;
    std::string text;
    std::vector<std::pair<size_t, int32_t>> frame_relative;
    std::vector<int32_t> guard_offsets;
};
PendingMaps pending;

void add_line(std::string& text, const std::string& line)
{
    text += line;
    text += '\n';
}

std::string entry_head(int32_t type, int32_t kind, const char* name)
{
    return " db " + std::to_string(type) + "," + std::to_string(kind) + ",\"" + name + "\",0";
}

// The local form of the type reference (the type byte masked with 0x2f).
void add_type_reference(std::string& text, int32_t type, StructureRecord* structure, int32_t length)
{
    if ((type & 0x2f) == TYPE_STRUCTURE && structure) {
        if (!no_output_depth) structure->flags |= STRUCT_USED;
        add_line(text, " dq SM_" + std::to_string(structure->id));
    } else if ((type & 0x2f) == TYPE_FIXED_STRING) {
        add_line(text, " dd " + std::to_string(length));
    }
}

// Records of the thread's own block stay out of the local maps: the
// debugger finds them in the global banks.
void add_variable_entries(std::string& text)
{
    for (VariableRecord* variable : list_procedure_variables()) {
        if (variable->flags & VAR_THREADED) continue;
        int32_t type = variable->type + ((variable->flags & VAR_STACK_PARAMETER) ? 0x40 : 0) + (variable->pointer ? 0x80 : 0);
        const char* name = get_variable_display_name(variable);
        if (!is_local_variable(variable)) {
            if (!(variable->flags & VAR_SHARED)) continue;
            add_line(text, entry_head(type, 3, name));
            add_line(text, std::string(" dq ") + format_variable_symbol(variable));
        } else if ((variable->flags & VAR_STATIC) && variable->item) {
            add_line(text, entry_head(type, 2, name));
            add_line(text, std::string(" dq ") + static_cast<DataItem*>(variable->item)->label);
        } else {
            add_line(text, entry_head(type, 1, name));
            if (variable->flags & VAR_STACK_PARAMETER) {
                text += " dq ";
                pending.frame_relative.push_back({text.size(), variable->offset});
                text += '\n';
            } else {
                add_line(text, " dq " + std::to_string(variable->offset));
            }
        }
        if (variable->type == TYPE_STRUCTURE) add_type_reference(text, TYPE_STRUCTURE, variable->structure, 0);
        else if (type == TYPE_FIXED_STRING) add_line(text, " dd " + std::to_string(variable->size));
    }
}

int32_t container_kind(uint32_t flags, uint32_t shared, uint32_t is_static)
{
    if (flags & shared) return 3;
    if (flags & is_static) return 2;
    return 1;
}

void add_array_entries(std::string& text, CursorList* arrays)
{
    for (ListNode* node = arrays ? arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (!(array->flags & (ARRAY_SHARED | ARRAY_LOCAL)) || (array->flags & ARRAY_THREADED)) continue;
        int32_t type = array->element_type + ((array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) ? 0x80 : 0) +
                       ((array->flags & ARRAY_PARAMETER) ? 0x40 : 0);
        int32_t kind = container_kind(array->flags, ARRAY_SHARED, ARRAY_STATIC);
        add_line(text, entry_head(type, kind, array_display_name(array)));
        if (kind == 1) add_line(text, " dq " + std::to_string(array->offset));
        else add_line(text, std::string(" dq ") + ((kind == 2 && array->item) ? static_cast<DataItem*>(array->item)->label
                                                                              : format_array_symbol(array)));
        add_type_reference(text, type, array->element_structure, array->element_size);
        add_line(text, " db " + std::to_string(array->dimension_count));
    }
}

template <typename Container>
void add_container_entries(std::string& text, CursorList* containers, const char* (*symbol)(const Container*))
{
    for (ListNode* node = containers ? containers->first : nullptr; node; node = node->next) {
        auto* container = reinterpret_cast<Container*>(node);
        uint32_t flags = container->flags;
        if (!(flags & (CONTAINER_SHARED | CONTAINER_LOCAL))) continue;
        if ((flags & CONTAINER_THREADED) == CONTAINER_THREADED) continue;
        bool interface = container->element_structure && (container->element_structure->flags & STRUCT_INTERFACE);
        int32_t type = container->element_type + (((flags & CONTAINER_POINTERS) || interface) ? 0x80 : 0) +
                       ((flags & CONTAINER_PARAMETER) ? 0x40 : 0);
        int32_t kind = (flags & CONTAINER_SHARED) ? 3 : ((flags & CONTAINER_STATIC) == CONTAINER_STATIC) ? 2 : 1;
        add_line(text, entry_head(type, kind, container->name));
        if (kind == 1) add_line(text, " dq " + std::to_string(container->offset));
        else add_line(text, std::string(" dq ") + ((kind == 2 && container->item) ? static_cast<DataItem*>(container->item)->label
                                                                                  : symbol(container)));
        add_type_reference(text, type, container->element_structure, container->element_size);
    }
}

// With the debugger the slots of a Static array are data of the local map:
// the pointer and one slot per dimension.
void add_static_array_slots(std::string& text, CursorList* arrays)
{
    for (ListNode* node = arrays ? arrays->first : nullptr; node; node = node->next) {
        auto* array = reinterpret_cast<ArrayRecord*>(node);
        if (!(array->flags & ARRAY_STATIC) || !array->item) continue;
        const char* label = static_cast<DataItem*>(array->item)->label;
        if (!static_array_slots.insert(label).second) continue;
        add_line(text, std::string(label) + ":");
        int32_t slots = (array->dimension_count > 0 ? array->dimension_count : 1) + 1;
        for (int32_t i = 0; i < slots; i++) add_line(text, " dq 0");
    }
}

// The purifier's guards: 4 bytes after every local in the frame (stack
// parameters live in the caller's home area, Static ones in the data).
std::vector<int32_t> local_guard_offsets()
{
    std::vector<int32_t> offsets;
    if (!variable_table) return offsets;
    hash_reset_iterator(variable_table);
    while (HashEntry* entry = hash_next(variable_table)) {
        auto* variable = reinterpret_cast<VariableRecord*>(entry);
        if (!is_local_variable(variable) || (variable->flags & (VAR_STATIC | VAR_STACK_PARAMETER))) continue;
        offsets.push_back(variable->offset + variable->size);
    }
    hash_reset_iterator(variable_table);
    return offsets;
}

void append_debugger_data(const std::string& text)
{
    int64_t room = debugger_data_end - debugger_data_write;
    while (room < int64_t(text.size()) + 64000) {
        grow_debugger_data_buffer();
        room = debugger_data_end - debugger_data_write;
    }
    std::memcpy(debugger_data_write, text.c_str(), text.size() + 1);
    debugger_data_write += text.size();
}

}  // namespace

void reset_procedure_debugger_tables()
{
    procedure_frames.clear();
    static_array_slots.clear();
    pending = PendingMaps();
}

int32_t procedure_frame_size(const ProcedureRecord* procedure)
{
    auto found = procedure_frames.find(procedure->id);
    return found == procedure_frames.end() ? 0 : found->second;
}

void emit_procedure_debugger_tables(ProcedureRecord* procedure)
{
    pending = PendingMaps();
    if (!debugger_enabled || no_output_depth) return;
    pending.open = true;
    if (purifier_enabled) pending.guard_offsets = local_guard_offsets();
    CursorList* arrays = current_module ? current_module->arrays : array_list;
    CursorList* lists = current_module ? current_module->lists : list_list;
    CursorList* maps = current_module ? current_module->maps : map_list;
    std::string& text = pending.text;
    int32_t n = procedure->id;
    add_line(text, "LM_" + std::to_string(n) + ":");
    add_line(text, "LMV_" + std::to_string(n) + ":");
    add_variable_entries(text);
    add_line(text, " db -1");
    add_line(text, "LMA_" + std::to_string(n) + ":");
    add_array_entries(text, arrays);
    add_line(text, " db -1");
    add_line(text, "LML_" + std::to_string(n) + ":");
    add_container_entries<ListRecord>(text, lists, format_list_symbol);
    add_line(text, " db -1");
    add_line(text, "LMM_" + std::to_string(n) + ":");
    add_container_entries<MapRecord>(text, maps, format_map_symbol);
    add_line(text, " db -1");
    add_static_array_slots(text, arrays);
}

void finish_procedure_debugger_tables(ProcedureRecord* procedure, int32_t frame)
{
    if (no_output_depth) return;
    procedure_frames[procedure->id] = frame;
    if (!pending.open) return;
    std::string text = pending.text;
    // From the last position back, so the earlier ones stay valid.
    for (auto it = pending.frame_relative.rbegin(); it != pending.frame_relative.rend(); ++it)
        text.insert(it->first, std::to_string(it->second + frame));
    append_debugger_data(text);
    if (purifier_enabled) emit_purifier_local_map(procedure, pending.guard_offsets);
    pending = PendingMaps();
}
