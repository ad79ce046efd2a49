// Linked lists and maps in x64 code: the address texts of list heads
// (16 bytes: the list object, then the current element's data pointer) and
// map slots (8 bytes: the map object, whose first field is the current
// element's data pointer), and the calls of the runtime that creates,
// walks, searches and frees them.
#pragma once

#include <cstdint>

struct CallRecord;

struct ListRecord;
struct MapRecord;
struct ListMapHooks;

// The list and map emitters behind the front end's ListMapHooks.
extern const ListMapHooks x64_list_map_hooks;

// "[module.]t_<name>" ("tp_" for pointer elements) and "[module.]m_<name>"
// ("mp_").
const char* format_list_symbol(const ListRecord* list);
const char* format_map_symbol(const MapRecord* map);
// The address of the head or slot, without brackets.
const char* format_list_address(ListRecord* list);
const char* format_map_address(MapRecord* map);
// "qword [<head>+8]": the current element's data pointer.
const char* format_list_element_operand(ListRecord* list);
void emit_new_list(ListRecord* list);
void emit_new_map(MapRecord* map, int32_t pushed);
void emit_free_list(ListRecord* list);
void emit_free_map(MapRecord* map);
void emit_foreach_list_start(ListRecord* list, int32_t label);
void emit_foreach_map_start(MapRecord* map, int32_t label);
void emit_foreach_list_next(ListRecord* list, int32_t label);
void emit_foreach_map_next(MapRecord* map, int32_t label);
void emit_find_map_element(MapRecord* map);
// Creation of a list (kind TYPE_LIST), map (TYPE_MAP) or array (TYPE_ARRAY,
// literal sizes) whose
// record is `object`: the Static items at program start and the Threaded
// objects at thread start.
void emit_container_creation(uint8_t kind, void* object);
// A whole array, list or map as a call argument, pushed.
void emit_push_container_argument(CallRecord* call, int type, int kind, void* record);
// Hands the global list heads and map slots of every module to the bss
// writer.
void collect_list_map_labels();
