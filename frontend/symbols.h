// Symbol records of a compilation that the statement and expression compiler
// and the emitters read: type codes, the current type, variables and the
// static data and run-time init items.
#pragma once

#include <cstdint>

#include "core/cursor_list.h"
#include "core/hash_table.h"

struct StructureRecord;
struct ProcedureRecord;
struct ModuleRecord;

// Type codes (one byte).
enum : uint8_t {
    TYPE_BYTE = 1,
    TYPE_WORD = 3,
    TYPE_LONG = 5,
    TYPE_STRUCTURE = 7,
    TYPE_STRING = 8,
    TYPE_FLOAT = 9,
    TYPE_FIXED_STRING = 10,
    TYPE_CHARACTER = 11,
    TYPE_DOUBLE = 12,
    TYPE_QUAD = 13,
    TYPE_LIST = 14,
    TYPE_ARRAY = 15,
    TYPE_P_ASCII = 16,
    TYPE_P_UNICODE = 17,
    TYPE_P_BSTR = 18,
    TYPE_P_UTF8 = 19,
    TYPE_P_VARIANT = 20,
    TYPE_INTEGER = 21,
    TYPE_MAP = 22,
    TYPE_ASCII = 24,
    TYPE_UNICODE = 25,
};

constexpr int TYPE_NAME_SIZE = 130;

// The type last read by parse_field_type (and the default type of untyped
// new variables, which has the same shape).
struct CurrentType {
    int32_t size;
    int32_t code;
    ProcedureRecord* prototype;
    StructureRecord* structure;
    char name[TYPE_NAME_SIZE];
    ModuleRecord* module;
    int32_t given;          // a type was written
};

// VariableRecord flags.
enum : uint16_t {
    VAR_SHARED = 0x0001,         // shared into the current procedure
    VAR_GLOBAL = 0x0002,
    VAR_PARAMETER = 0x0004,
    VAR_STATIC = 0x0010,
    VAR_STACK_PARAMETER = 0x0080,
    VAR_PROTOTYPE = 0x0100,
    VAR_OWN_SYMBOL = 0x0400,
    VAR_EQUATE_WRITTEN = 0x0800,
    VAR_THREADED = 0x1000,
    VAR_RUNTIME = 0x2000,
    VAR_PUBLIC = 0x4000,
};

struct DataItem;
struct InitItem;

struct VariableRecord {
    HashEntry entry;            // key: "+" for a local, "p_" or "v_", the name as written
    int32_t offset;             // frame, global data or thread-local offset
    StructureRecord* structure;
    ProcedureRecord* prototype;
    void* item;                 // DataItem (Static) or InitItem (Threaded), else null
    ModuleRecord* module;       // module of a non-local variable, else null
    int32_t size;
    int32_t width;              // access size as an operand
    uint16_t flags;
    uint8_t type;
    uint8_t pointer;
    const char* symbol;         // own assembler symbol (flag VAR_OWN_SYMBOL)
};

inline const char* variable_key(const VariableRecord* v) { return v->entry.key; }
inline bool is_local_variable(const VariableRecord* v) { return v->entry.key[0] == '+'; }

// One Static object of a procedure (element of data_item_list).
struct DataItem {
    ListNode link;
    char* label;                // "so_<procedure>.<name>"
    int32_t size;
    uint8_t kind;               // 255 variable, 14 list, 22 map
    uint8_t initialised;
    int64_t value;
    void* object;
    ProcedureRecord* procedure;
};

// One global object that needs code at program or thread start (element of
// init_item_list).
struct InitItem {
    ListNode link;
    uint8_t kind;
    uint8_t initialised;
    int64_t value;
    void* object;
};

// Size in bytes of a one-letter type code (0 for the others).
int32_t native_type_size(int32_t code);
// The suffix text of a type code (".b", ".w", ...; "" for 5, 7, 8, 10, 14, 15, 22).
const char* get_type_suffix(int32_t code);
