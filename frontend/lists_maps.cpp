#include "frontend/lists_maps.h"

#include <strings.h>

#include "core/cursor_list.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

CursorList* list_list = nullptr;
CursorList* map_list = nullptr;

namespace {

// A record of either kind matches when its name is the wanted one (any
// case) and it has the pointer flag of the name as read.
template <typename Record>
Record* find_record(CursorList* list, const char* name, uint32_t wanted) {
    if (!list) return nullptr;
    for (ListNode* node = list->first; node; node = node->next) {
        auto* record = reinterpret_cast<Record*>(node);
        if (((record->flags & CONTAINER_POINTERS) != 0) != (pointer_flag != 0)) continue;
        if (strcasecmp(record->name, name) != 0) continue;
        if (wanted == 0 || (record->flags & wanted)) return record;
    }
    return nullptr;
}

// Modules in use, then (outside module sections) the global list; inside a
// procedure first the scope's locals and shared records, and only Global
// records of the main scope.
template <typename Record>
Record* find_scoped(CursorList* global, CursorList* ModuleRecord::*slot, const char* name) {
    if (explicit_module) return find_record<Record>(explicit_module->*slot, name, 0);
    CursorList* scope = current_module ? current_module->*slot : global;
    if (in_procedure) {
        if (Record* record = find_record<Record>(scope, name, CONTAINER_LOCAL | CONTAINER_SHARED)) return record;
    }
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            if (!module) continue;
            Record* record = find_record<Record>(module->*slot, name, 0);
            if (record && (module == current_module || (record->flags & CONTAINER_PUBLIC))) return record;
        }
    }
    if (current_module) return in_procedure ? nullptr : find_record<Record>(scope, name, 0);
    if (in_procedure) return find_record<Record>(global, name, CONTAINER_GLOBAL);
    return find_record<Record>(global, name, 0);
}

}  // namespace

void reset_lists_maps() {
    list_list = create_list(sizeof(ListRecord), 0);
    map_list = create_list(sizeof(MapRecord), 0);
}

ListRecord* find_list(const char* name) { return find_scoped<ListRecord>(list_list, &ModuleRecord::lists, name); }

MapRecord* find_map(const char* name) { return find_scoped<MapRecord>(map_list, &ModuleRecord::maps, name); }
