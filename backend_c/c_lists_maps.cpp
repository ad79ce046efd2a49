// Linked lists and maps in the C file: variable names, the current element
// texts, NewList, NewMap, the keyed map lookup, the ForEach heads and the
// releases. A ForEach head resets the container and opens the C loop
// "while (ZD_NextElement(...)) {" that the shared Next closes ("}" and
// "il_next<N>:;").
#include "backend_c/c_lists_maps.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_structure_fields.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "frontend/lists_maps.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

std::string c_list_map_element_text;

namespace {

std::string module_prefix(const ModuleRecord* module)
{
    if (!module || !module->entry.key || module->entry.key[0] == '.' || module->entry.key[0] == 0) return "";
    return std::string(c_identifier_name(module->entry.key)) + "X";
}

// The C form of a Static item's label "so_<procedure>.<name>".
std::string static_item_name(const void* item)
{
    std::string name = item ? static_cast<const DataItem*>(item)->label : "";
    for (char& c : name)
        if (c == '.') c = 'X';
    return name;
}

std::string format_address(uint32_t flags, int32_t offset, void* item, const ModuleRecord* module,
                           const char* prefix, const char* pointer_prefix, const char* type, const char* name)
{
    if ((flags & CONTAINER_THREADED) == CONTAINER_THREADED) {
        c_note_threaded_object();
        if (!no_output_depth) forget_cached_list();
        return "((" + std::string(type) + " *)(tls+" + std::to_string(offset) + "))[0]";
    }
    if (flags & CONTAINER_FIELD) return c_container_field_lvalue();
    if ((flags & CONTAINER_STATIC) == CONTAINER_STATIC && item) return static_item_name(item);
    // One step after the other: both parts come from the one buffer of
    // c_identifier_name.
    std::string text = module_prefix(module);
    text += (flags & CONTAINER_POINTERS) ? pointer_prefix : prefix;
    text += c_identifier_name(name);
    return text;
}

void register_fixed_string_size(int32_t length)
{
    if (std::find(fixed_string_size_table.begin(), fixed_string_size_table.end(), length) == fixed_string_size_table.end())
        fixed_string_size_table.push_back(length);
}

// The element's C type: interface "<name>**", fixed string "ft_<size>",
// pointer elements "<type>*", structure "<name>", else the type's name.
std::string element_type_text(uint32_t flags, int32_t type, int32_t size, const StructureRecord* structure)
{
    if (structure && (structure->flags & STRUCT_INTERFACE)) return std::string(c_structure_name(structure)) + "**";
    if (!structure || type != TYPE_STRUCTURE) {
        if (flags & CONTAINER_POINTERS) return "integer";
        if (type == TYPE_FIXED_STRING) {
            register_fixed_string_size(size);
            return "ft_" + std::to_string(size);
        }
        return c_type_name(type);
    }
    if (flags & CONTAINER_POINTERS) return std::string(c_structure_name(structure)) + "*";
    return c_structure_name(structure);
}

// The structure map argument: "ms_s" for strings, "m<name>" for value
// structures with dynamic members, else "0".
std::string structure_map_text(uint32_t flags, int32_t type, const StructureRecord* structure)
{
    if (flags & CONTAINER_POINTERS) return "0";
    if (type == TYPE_STRING) return "ms_s";
    if (type == TYPE_STRUCTURE && structure && (structure->flags & STRUCT_NEEDS_INIT))
        return "m" + std::string(c_structure_name(structure));
    return "0";
}

// A library command of the runtime called by the code: its prototype is
// written with the library's others.
void use_command(const char* name)
{
    LibraryCommand* command = find_library_command(name);
    if (!command || (command->flags & command_hidden_flags)) return;
    command->use_count++;
    if (!no_output_depth && command->library) command->library->used = 1;
}

void emit_text(const std::string& text)
{
    if (!no_output_depth) emit_line(text.c_str());
}

}  // namespace

const char* c_format_list_address(ListRecord* list)
{
    static std::string text;
    text = format_address(list->flags, list->offset, list->item, list->module, "t_", "tp_", "zd_list", list->name);
    return text.c_str();
}

const char* c_format_map_address(MapRecord* map)
{
    static std::string text;
    text = format_address(map->flags, map->offset, map->item, map->module, "m_", "mp_", "zd_map", map->name);
    return text.c_str();
}

const char* c_list_member(ListRecord* list)
{
    static std::string text;
    text = std::string(c_format_list_address(list)) + ((list->flags & CONTAINER_PARAMETER) ? "->" : ".");
    return text.c_str();
}

const char* c_map_member(MapRecord* map)
{
    static std::string text;
    text = std::string(c_format_map_address(map)) + ((map->flags & CONTAINER_PARAMETER) ? "->" : ".");
    return text.c_str();
}

const char* c_list_current_element(ListRecord* list)
{
    static std::string text;
    std::string type = element_type_text(list->flags, list->element_type, list->element_size, list->element_structure);
    bool fixed = list->element_type == TYPE_FIXED_STRING && !(list->flags & CONTAINER_POINTERS);
    text = (fixed ? "((" : "(*(") + type + "*)&" + c_list_member(list) + "b->c)";
    return text.c_str();
}

const char* c_map_current_element(MapRecord* map)
{
    static std::string text;
    std::string type = element_type_text(map->flags, map->element_type, map->element_size, map->element_structure);
    bool fixed = map->element_type == TYPE_FIXED_STRING && !(map->flags & CONTAINER_POINTERS);
    text = (fixed ? "((" : "(*(") + type + "*)&" + c_map_member(map) + "a->a->c)";
    return text.c_str();
}

void c_emit_new_list(ListRecord* list)
{
    int32_t type = (list->flags & CONTAINER_POINTERS) ? 21 : list->element_type;
    std::string map_text = structure_map_text(list->flags, list->element_type, list->element_structure);
    std::string lvalue = c_format_list_address(list);
    emit_text("ZD_NewList(" + std::to_string(list->element_size) + ",&" + lvalue + "," + map_text + "," +
              std::to_string(type) + ");");
    c_runtime_used[C_ZD_NewList] = 1;
    lists_created = 1;
}

void c_emit_new_map(MapRecord* map, const char* slot_text)
{
    std::string slots = slot_text ? slot_text : std::to_string(map->slot_count > 0 ? map->slot_count : 512);
    std::string map_text = structure_map_text(map->flags, map->element_type, map->element_structure);
    std::string lvalue = c_format_map_address(map);
    emit_text("ZD_NewMap(" + std::to_string(map->element_size) + "," + std::to_string(map->element_type) + "," +
              map_text + ",&" + lvalue + "," + slots + ");");
    c_runtime_used[C_ZD_NewMap] = 1;
}

void c_emit_free_list(ListRecord* list)
{
    emit_text("ZD_FreeList(" + std::string(c_list_member(list)) + "a);");
    use_command("FreeList");
}

void c_emit_free_map(MapRecord* map)
{
    emit_text("ZD_FreeMap(" + std::string(c_format_map_address(map)) + ".a);");
    use_command("FreeMap");
}

// ---------------------------------------------------------------------------
// The hooks of the shared list and map code

namespace {

void c_hook_new_list(ListRecord* list) { c_emit_new_list(list); }

// A slot count computed at run time: its C text waits for the NewMap call.
void c_hook_new_map_slot_count()
{
    c_list_map_element_text = c_operand_text();
    if (debugger_code) emit_text("SYS_CheckMapHashSize(" + c_list_map_element_text + ");");
}

void c_hook_new_map(MapRecord* map, int32_t pushed)
{
    c_emit_new_map(map, pushed ? c_list_map_element_text.c_str() : nullptr);
}

void c_hook_free_list(ListRecord* list)
{
    if (!(list->flags & CONTAINER_PARAMETER)) c_emit_free_list(list);
}

void c_hook_free_map(MapRecord* map)
{
    if (!(map->flags & CONTAINER_PARAMETER)) c_emit_free_map(map);
}

void c_hook_foreach_list_start(ListRecord* list, int32_t)
{
    emit_text("ZD_ResetList(" + std::string(c_list_member(list)) + "a);");
    use_command("ResetList");
}

void c_hook_foreach_map_start(MapRecord* map, int32_t)
{
    emit_text("ZD_ResetMap(" + std::string(c_map_member(map)) + "a);");
    use_command("ResetMap");
}

void c_hook_foreach_list_next(ListRecord* list, int32_t)
{
    emit_text("while (ZD_NextElement(" + std::string(c_list_member(list)) + "a)) {");
    use_command("NextElement");
}

void c_hook_foreach_map_next(MapRecord* map, int32_t)
{
    emit_text("while (ZD_NextMapElement(" + std::string(c_map_member(map)) + "a)) {");
    use_command("NextMapElement");
}

void c_hook_load_list_element(ListRecord* list)
{
    c_list_or_map_touched = 1;
    c_list_map_element_text = c_list_current_element(list);
}

void c_hook_load_map_current(MapRecord* map)
{
    c_list_or_map_touched = 1;
    c_list_map_element_text = c_map_current_element(map);
}

// The keyed lookup: "<type>* r<n>=(<type>*)ZD_GetMapElement(<member>a,<key>);"
// and the element "(*r<n>)" (a fixed-string element: the pointer itself).
void c_hook_find_map_element(MapRecord* map)
{
    std::string key;
    if (current_operand.flags & OP_LITERAL) key = c_string_literal_name(static_cast<int32_t>(current_operand.constant));
    else if (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) key = "SYS_PopStringBasePositionValue()";
    else key = current_operand.text;
    std::string type = element_type_text(map->flags, map->element_type, map->element_size, map->element_structure);
    std::string temporary = "r" + std::to_string(result_local_counter);
    if (!no_output_depth) result_local_counter++;
    c_list_or_map_touched = 1;
    // A map whose NewMap never ran has no object yet.
    if (debugger_code) emit_text("SYS_CheckMap(" + std::string(c_map_member(map)) + "a);");
    emit_text(type + "* " + temporary + "=(" + type + "*)ZD_GetMapElement(" + c_map_member(map) + "a," + key + ");");
    bool fixed = map->element_type == TYPE_FIXED_STRING && !(map->flags & CONTAINER_POINTERS);
    c_list_map_element_text = fixed ? temporary : "(*" + temporary + ")";
    c_runtime_used[C_ZD_GetMapElement] = 1;
}

void c_hook_check_list_element(ListRecord* list)
{
    // The head itself: it holds the current element.
    std::string head = c_format_list_address(list);
    if (!(list->flags & CONTAINER_PARAMETER)) head = "&" + head;
    emit_text("SYS_CheckCurrentListElement(" + head + ");");
}

void c_hook_check_map_element(MapRecord* map)
{
    emit_text("SYS_CheckCurrentMapElement(" + std::string(c_map_member(map)) + "a);");
}

const char* c_hook_format_element_operand(int32_t) { return c_list_map_element_text.c_str(); }

// A map field is named by its chain's C lvalue, which the key's code cannot
// move: there is no base to keep while the key is compiled.
void c_keep_no_map_base(MapRecord*) {}

}  // namespace

const ListMapHooks c_list_map_hooks = {
    .emit_new_list = c_hook_new_list,
    .emit_new_map_slot_count = c_hook_new_map_slot_count,
    .emit_new_map = c_hook_new_map,
    .emit_free_list = c_hook_free_list,
    .emit_free_map = c_hook_free_map,
    .emit_foreach_list_start = c_hook_foreach_list_start,
    .emit_foreach_map_start = c_hook_foreach_map_start,
    .emit_foreach_list_next = c_hook_foreach_list_next,
    .emit_foreach_map_next = c_hook_foreach_map_next,
    .emit_load_list_element = c_hook_load_list_element,
    .emit_load_map_current = c_hook_load_map_current,
    .emit_find_map_element = c_hook_find_map_element,
    .emit_check_list_element = c_hook_check_list_element,
    .emit_check_map_element = c_hook_check_map_element,
    .format_element_operand = c_hook_format_element_operand,
    .emit_keep_field_map_base = c_keep_no_map_base,
    .emit_drop_field_map_base = c_keep_no_map_base,
};
