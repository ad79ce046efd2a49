// Linked lists and maps: their declaration (NewList, NewMap), lookup
// through modules and scopes, element references in expressions, the
// ForEach loop over either, and their release at the end of a procedure.
// The code itself is written by the back end through `ListMapHooks`.
#pragma once

#include <cstdint>

struct ListRecord;
struct MapRecord;
struct BlockLevel;

// The back end's list and map emitters.
struct ListMapHooks {
    // NewList: the runtime creates the list into the 16-byte head.
    void (*emit_new_list)(ListRecord* list);
    // The slot count of a NewMap, computed at run time: the current operand
    // (an integer value) is kept for emit_new_map.
    void (*emit_new_map_slot_count)();
    // NewMap: the slot count is the pushed value (`pushed` 1) or the map's
    // `slot_count`.
    void (*emit_new_map)(MapRecord* map, int32_t pushed);
    // Release at the end of a procedure.
    void (*emit_free_list)(ListRecord* list);
    void (*emit_free_map)(MapRecord* map);
    // ForEach: the reset and the loop label, then the step to the next
    // element, which leaves the loop at "_Next<label>" after the last one.
    void (*emit_foreach_list_start)(ListRecord* list, int32_t label);
    void (*emit_foreach_map_start)(MapRecord* map, int32_t label);
    void (*emit_foreach_list_next)(ListRecord* list, int32_t label);
    void (*emit_foreach_map_next)(MapRecord* map, int32_t label);
    // The current element's address into rbp.
    void (*emit_load_list_element)(ListRecord* list);
    void (*emit_load_map_current)(MapRecord* map);
    // The element of the key (the current operand, a string) into rbp; the
    // element is created when the key is new.
    void (*emit_find_map_element)(MapRecord* map);
    // Debugger checks: a current list element exists, a current map element
    // exists.
    void (*emit_check_list_element)(ListRecord* list);
    void (*emit_check_map_element)(MapRecord* map);
    // "<size prefix>[rbp]": the element operand.
    const char* (*format_element_operand)(int32_t size);
    // A map field reached from a structure (base in rbp): the base is kept
    // while the key is compiled (x64 " PUSH rbp"), the map's slot is then
    // read through it, and it is dropped after the element was found.
    void (*emit_keep_field_map_base)(MapRecord* map);
    void (*emit_drop_field_map_base)(MapRecord* map);
};

void compile_dim_statement(int redim);
void compile_newlist_statement();
void compile_newmap_statement();
void compile_foreach_statement();
// Next of a ForEach level (already taken off the block stack); `named` when
// a list or map follows the keyword.
void compile_foreach_next(BlockLevel* level, bool named);

// Per compilation: the global list and map lists are made anew.
void reset_lists_maps();
// The visible list or map of the name (pointer flag of the name as read).
ListRecord* find_list(const char* name);
MapRecord* find_map(const char* name);
// The main-scope lookup (modules in use, then the global records that are
// not procedure locals), as Shared and the Global checks use it.
ListRecord* find_global_list(const char* name);
MapRecord* find_global_map(const char* name);
// Shared: marks the main-scope array, list or map of the name as shared
// into the open procedure; false when there is none.
bool share_main_scope_container(const char* name);
// Declarations of the name in the declaration mode in force (0 statement);
// an existing record of the scope only gets its syntax checked. The token
// after the name and type is "(".
ListRecord* declare_list(const char* name);
MapRecord* declare_map(const char* name);
// A List or Map parameter of the procedure header being read (its type just
// read): a local record whose frame slot receives the address of the
// caller's list head or map slot. Null after an error.
ListRecord* declare_list_parameter(const char* name);
MapRecord* declare_map_parameter(const char* name);
// A name followed by "(" in an expression: when it names a list or a map,
// the element (or at statement start its assignment) is compiled and true is
// returned; otherwise nothing is read and false is returned.
bool compile_list_map_reference(const char* name, bool statement_start);
void emit_list_element_access(ListRecord* list);
void emit_map_element_access(MapRecord* map);
// End of a procedure's scope: locals are released and unlinked.
void free_scope_lists();
void free_scope_maps();
