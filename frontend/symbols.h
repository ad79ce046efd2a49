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

// Parameter kinds of library commands beside the type codes. A kind marked
// "then" also fills the parameter after it, whose kind names what it gets.
enum : uint8_t {
    PARAMETER_ANY = 23,                    // a number or a string, as the argument is
    PARAMETER_ARRAY_THEN_MAP = 26,         // a whole array
    PARAMETER_ARRAY_ELEMENT_MAP = 27,      // the map of an array's element structure
    PARAMETER_LIST_THEN_MAP = 28,          // a whole list
    PARAMETER_LIST_ELEMENT_MAP = 29,       // the map of a list's element structure
    PARAMETER_MAP_THEN_MAP = 30,           // a whole map
    PARAMETER_MAP_ELEMENT_MAP = 31,        // the map of a map's element structure
    PARAMETER_STRUCTURE_POINTER = 32,      // a structure type name: its size, as a pointer
    PARAMETER_STRUCTURE_MAP = 33,          // a structure type name: its map
    PARAMETER_STRUCTURE_DESCRIPTOR = 34,   // a structure type name: its descriptor table
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
    VAR_ADDRESS_TAKEN = 0x0008,  // "@" was applied to it (the C file declares it volatile)
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

// ---------------------------------------------------------------------------
// Structures, interfaces, containers, procedures and prototypes.

struct FieldRecord;
struct InterfaceMethod;

// StructureRecord flags.
enum : uint16_t {
    STRUCT_RESIDENT = 0x0002,        // loaded from a resident
    STRUCT_INTERFACE = 0x0004,
    STRUCT_MARK_8 = 0x0008,          // per-compilation mark
    STRUCT_HAS_STRINGS = 0x0010,
    STRUCT_NEEDS_INIT = 0x0020,      // needs run-time initialisation and clean-up code
    STRUCT_USED = 0x0040,
    STRUCT_HAS_ARRAYS = 0x0080,
    STRUCT_HAS_LISTS = 0x0100,
    STRUCT_HAS_MAPS = 0x0200,
    STRUCT_PUBLIC = 0x0400,
    STRUCT_MARK_800 = 0x0800,        // per-compilation mark
};
constexpr uint16_t STRUCT_DYNAMIC = 0x0390;          // strings, arrays, lists or maps
constexpr uint16_t STRUCT_KEPT_FLAGS = 0xF797;       // all but the per-compilation marks

struct StructureRecord {
    HashEntry entry;                // key: the name
    int32_t size;                   // total size (8 for an interface)
    int16_t member_count;           // fields, or interface methods
    uint16_t flags;
    FieldRecord* first_field;       // chain of fields in declaration order
    InterfaceMethod* methods;       // array of member_count methods (interfaces)
    ModuleRecord* module;
    int32_t alignment;              // 0 packed, -1 natural, n > 1 every field to n
    int32_t line;                   // 0-based line of the declaration
    const char* file;               // file of the declaration
    int32_t id;
    uint8_t largest_alignment;      // starts at 1
};

inline const char* structure_name(const StructureRecord* s) { return s->entry.key; }

// FieldRecord flags.
enum : uint16_t {
    FIELD_POINTER = 0x0001,
    FIELD_UNION_MEMBER = 0x0002,
    FIELD_PROTOTYPE = 0x0008,
    FIELD_INTERFACE = 0x0080,
};

struct FieldRecord {
    char* name;
    FieldRecord* next;
    char* type_name;                // as written after the point ("" when none)
    char* type_module_name;         // module the type is read in (written with "::" or found in), or null
    void* container;                // ArrayRecord, ListRecord or MapRecord of a container field
    StructureRecord* structure;     // nested structure (not for pointer or interface fields)
    int32_t offset;
    int32_t element_size;
    int32_t static_count;           // count of a "[n]" field, -1 for none
    uint16_t flags;
    uint8_t type;
};

// ArrayRecord flags.
enum : uint32_t {
    ARRAY_GLOBAL = 0x0001,
    ARRAY_SHARED = 0x0002,
    ARRAY_STATIC = 0x0004,
    ARRAY_POINTERS = 0x0008,
    ARRAY_LOCAL = 0x0010,
    ARRAY_INTERFACES = 0x0020,
    ARRAY_PARAMETER = 0x0040,
    ARRAY_EQUATE_WRITTEN = 0x0080,
    ARRAY_THREADED = 0x0100,
    ARRAY_FIELD = 0x0200,
    ARRAY_PUBLIC = 0x0400,
};

struct ArrayRecord {
    ListNode link;
    char* name;                     // "[structure]field" for an array field
    int32_t offset;
    int32_t element_size;
    int32_t element_type;
    int32_t dimension_count;
    StructureRecord* element_structure;
    uint32_t flags;
    void* item;                     // DataItem (Static) or InitItem (Threaded)
    int64_t* constant_sizes;        // element counts per dimension when literal, else null
    int32_t saved_push_depth;
    ModuleRecord* module;
};

// ListRecord and MapRecord flags.
enum : uint32_t {
    CONTAINER_GLOBAL = 0x0001,
    CONTAINER_SHARED = 0x0002,
    CONTAINER_POINTERS = 0x0008,
    CONTAINER_LOCAL = 0x0010,
    CONTAINER_STATIC = 0x0014,
    CONTAINER_PARAMETER = 0x0020,
    CONTAINER_EQUATE_WRITTEN = 0x0040,
    CONTAINER_THREADED = 0x0081,
    CONTAINER_FIELD = 0x0100,
    CONTAINER_PUBLIC = 0x0200,
};

struct ListRecord {
    ListNode link;
    char* name;
    int32_t element_size;
    int32_t offset;                 // of the 16-byte head
    int32_t element_type;
    StructureRecord* element_structure;
    uint32_t flags;
    void* item;
    ModuleRecord* module;
};

struct MapRecord {
    ListNode link;
    char* name;
    int32_t element_size;
    int32_t slot_count;             // 512 when none is given
    int32_t offset;                 // of the 8-byte slot
    int32_t element_type;
    StructureRecord* element_structure;
    uint32_t flags;
    void* item;
    ModuleRecord* module;
    int32_t saved_push_depth;       // a map field: where its structure's base was pushed, or 0
};

// Element type of an array, list or map parameter (16 bytes).
struct ParameterDescriptor {
    uint8_t type;
    uint8_t dimension_count;
    StructureRecord* structure;
    uint8_t pointer;                // elements are pointers ("*name")
};

struct ParameterRecord {
    ParameterDescriptor* element_type;  // array, list and map parameters, else null
    void* object;                   // the local VariableRecord, ArrayRecord, ListRecord or MapRecord
    int16_t offset;                 // frame offset of the object
    uint8_t type;                   // type code; TYPE_INTEGER for a pointer, TYPE_ARRAY, TYPE_LIST
                                    // or TYPE_MAP for a container
    uint8_t size;
};

// ProcedureRecord flags and second flags used outside the procedure code.
constexpr uint32_t PROC_PROTOTYPE = 0x10000000;
constexpr uint32_t PROC_SECOND_RESIDENT = 0x0001;    // prototype loaded from a resident (exact value)
constexpr uint32_t PROC_SECOND_PARALLEL = 0x0010;    // a parallel call runs it as a job
constexpr uint32_t PROC_SECOND_DEBUGGER_ENTRY = 0x0400;  // the debugger entry call was written
constexpr uint32_t PROC_SECOND_PUBLIC = 0x0800;

struct TextBuffer;

// Procedures, prototypes, imported functions (one layout).
struct ProcedureRecord {
    HashEntry entry;                // key: the name
    char* parameter_text;
    int32_t use_count;
    int32_t parameter_count;
    uint32_t flags;
    uint32_t second_flags;
    ParameterRecord* parameters;
    int32_t string_parameter_count;
    int32_t id;
    int16_t stack_size;
    int64_t* default_values;        // one 8-byte slot per optional parameter
    uint8_t optional_count;
    int16_t pseudo_type_count;      // parameters of type TYPE_P_ASCII to TYPE_P_UTF8
    int32_t line;
    char* file;
    ModuleRecord* module;
    TextBuffer* code_buffer;
    int64_t code_size;
    char* symbol_name;              // imported function: the linker symbol it calls
};

inline const char* procedure_name(const ProcedureRecord* p) { return p->entry.key; }

// InterfaceMethod return flags.
enum : uint8_t {
    METHOD_RETURNS_STRING = 0x01,
    METHOD_RETURNS_FLOAT = 0x02,
    METHOD_RETURNS_OTHER = 0x04,
    METHOD_RETURNS_QUAD = 0x08,
    METHOD_RETURNS_DOUBLE = 0x10,
    METHOD_RETURNS_INTEGER = 0x20,
};

struct InterfaceMethod {
    char* name;
    uint8_t parameter_count;
    uint8_t flags;                  // return flags
    uint8_t optional_count;
    int64_t* default_values;        // one per optional parameter
    ParameterRecord* parameters;
};
