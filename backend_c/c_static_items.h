// Static variables, arrays, lists and maps of procedures in the C file: one
// file-scope declaration per item whose procedure is used, and their set-up
// in the start-up code; and the deferred declarations (module label aliases,
// the procedures' debugger tables) placed in the file head.
#pragma once

#include <cstdint>
#include <string>

// Marks the structures of the used Static structure variables whose
// containers the start-up code creates: they need descriptor tables.
void c_settle_static_structures();
// The declarations of the used Static items, in list order.
void c_emit_static_items();
// Their set-up in the start-up code (dynamic structures, strings, fixed
// strings, lists, maps, arrays).
// The initial texts of Static string items go into the string table,
// which is written before the start-up code that assigns them.
void c_record_static_item_literals();
void c_emit_static_item_inits();
// The deferred-declarations buffer appended to the current output.
void c_emit_deferred_declarations();
// The C text of an item's initial value of this type code (a float value
// holds its single-precision bits, a double its bits).
std::string c_initial_value_text(int32_t type, int64_t value);
