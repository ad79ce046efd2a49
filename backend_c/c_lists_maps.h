// Linked lists and maps in the C file. A list variable is a "zd_list" (the
// runtime's list object `a` and the current element `b`, whose data starts
// at its member `c`); a map variable is a "zd_map" whose object's first
// field is the current element (data at `a->a->c`). The shared front end
// (frontend/lists_maps.cpp) parses; these emitters write the C text.
#pragma once

#include <cstdint>

struct ListRecord;
struct MapRecord;
struct ListMapHooks;

// The C lvalue of the list or map variable (static buffer).
const char* c_format_list_address(ListRecord* list);
const char* c_format_map_address(MapRecord* map);
// The lvalue followed by "." or, reached through a pointer, "->".
const char* c_list_member(ListRecord* list);
const char* c_map_member(MapRecord* map);
// "(*(<type>*)&<member>b->c)" (a fixed-string list: the address itself).
const char* c_list_current_element(ListRecord* list);
// "(*(<type>*)&<member>a->a->c)".
const char* c_map_current_element(MapRecord* map);
void c_emit_new_list(ListRecord* list);
// `slot_text` null: the map's slot count.
void c_emit_new_map(MapRecord* map, const char* slot_text);
void c_emit_free_list(ListRecord* list);
void c_emit_free_map(MapRecord* map);

extern const ListMapHooks c_list_map_hooks;
