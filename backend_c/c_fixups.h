// Static byte-array blocks of the C file and the pointer fixups that patch
// their address slots at run time.
//
// The debugger banks, the procedures' local tables and the structure maps are
// C arrays of bytes that a runtime reads field by field. A block is opened by
// name, filled one value a line (decimal bytes, least significant first, each
// line ending in ","), and closed by its caller. An 8-byte slot that must
// hold an address gets eight zero bytes and a PointerFixup; the start-up code
// applies the global list, each procedure body the local list.
#pragma once

#include <cstdint>

struct CursorList;
struct StructureRecord;

// "unsigned char <name>[] __attribute__((aligned(4)))={" + the 4 bytes of
// count + ","; the offset starts at 4. The name is kept, not copied.
void c_static_block_begin_aligned(const char* name, uint32_t count);
// "static unsigned char <prefix><number>[]={"; the offset starts at 0.
void c_static_block_begin(const char* prefix, int32_t number);
void c_static_byte(uint8_t value);
void c_static_word(uint16_t value);
void c_static_long(uint32_t value);
void c_static_quad(uint64_t value);
// The text's bytes and a 0.
void c_static_string(const char* text);
// A record's name as c_static_string; a null name is the lone byte 0.
void c_static_name(const char* name);
// An address slot of the current block filled with "&" + symbol at procedure
// entry (local list).
void c_static_pointer(const char* symbol);
// After a typed entry: a structure (type & 127 == 7) gives a slot for its
// map "sm_<id>" (global list), a fixed string (10) its 4-byte length.
void c_static_type_info(int32_t type, const StructureRecord* structure, uint32_t fixed_length);
// The same with type & 47 compared (the local tables' type byte).
void c_static_local_type_info(int32_t type, const StructureRecord* structure, uint32_t fixed_length);

// "%d,%d,%d,%d,%d,%d,%d,%d": the value's eight bytes, low first (buffer of at
// least 40 bytes); returns buffer.
char* c_format_quad_bytes(char* buffer, uint64_t value);
// Records a fixup: the 8-byte slot at `offset` of `array` receives `target`
// (both copied into the compilation pool).
void c_add_pointer_fixup(CursorList* list, const char* array, int32_t offset, const char* target);
// The local list's assignments at the start of a procedure body, then the
// list is emptied.
void c_emit_local_fixups();
