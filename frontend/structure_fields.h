// Structure field access: "var\field", "*p\field", nested fields, static
// array fields "[index]" and pointer fields followed by "\". The base
// address of the structured item goes into rbp; the offsets of a chain of
// plain fields are summed into a pending offset so that they cost no code.
// The code is written by the back end through `FieldHooks`.
#pragma once

#include <cstdint>

struct FieldRecord;
struct StructureRecord;
struct VariableRecord;

struct FieldHooks {
    // rbp := address of the structured variable (its operand text); a
    // pointer variable is loaded, a structure is addressed.
    void (*emit_load_structure_base)(const char* operand, int32_t is_pointer);
    // The structure's address kept while a computed index of a static
    // array field is compiled (x64 " PUSH rbp").
    void (*emit_keep_field_base)();
    // The index (current operand) times the element size into register r.
    void (*emit_scale_field_index)(int32_t r, int64_t element_size);
    // " POP rbp", " ADD rbp,<register r>": the computed index applied.
    void (*emit_apply_field_index)(int32_t r);
    // rbp := the pointer stored at rbp + offset.
    void (*emit_load_pointer_field)(int64_t offset);
    // " ADD rbp,<offset>" (an offset too large for a displacement).
    void (*emit_add_field_offset)(int64_t offset);
    // The debugger's memory check of rbp before a field is used.
    void (*emit_field_check)();
    // The debugger's bound check of a static array field's index (the
    // current operand) against its element count.
    void (*emit_structure_array_check)(int64_t element_count);
    // "<prefix>[rbp+<offset>]" (or "[rbp]"); size 0 writes no prefix.
    const char* (*format_field_operand)(int32_t size, int64_t offset);
    // Each field of the chain as it is found, and a constant index of a
    // static array field (a computed one comes through
    // emit_scale_field_index), for a back end that names the fields.
    void (*name_field)(const FieldRecord* field);
    void (*name_field_index)(int64_t index);
    // An array, list or map field reached by the chain: its structure lies
    // `offset` bytes from rbp (x64 moves rbp there; C takes the chain's
    // lvalue as the container's), and after the container's access the
    // chain is left; `kept` fields entered after this one are still in use
    // (a whole container taken at the end of the element's own chain).
    void (*emit_enter_container_field)(int64_t offset);
    void (*emit_leave_container_field)(int32_t kept);
};

// A caller that takes a container field as a whole ("b\l()" as an
// argument of a call, after ForEach) names the kind wanted (TYPE_ARRAY,
// TYPE_LIST, TYPE_MAP or CONTAINER_FIELD_LIST_OR_MAP) to
// compile_whole_container_field; a chain that ends on "field()" of that
// kind gives its record and type and leaves the parse after the ")", and
// the caller finishes with leave_container_field().
constexpr int32_t CONTAINER_FIELD_LIST_OR_MAP = -1;  // ForEach: either kind
void leave_container_field();
// The "(" just before `p` closes and a "\\" follows it: a field chain goes
// on after the brackets (strings inside them are skipped).
bool field_chain_follows_brackets(const char* p);
// A whole container field at the parse position ("[*]name...\field()"):
// its record, with the base set for the back end, and its kind in *type
// when `type` is given. Null when the text holds no "\" (nothing is read
// then) or when the chain ends otherwise (the caller reports it).
void* compile_whole_container_field(int32_t kind, int32_t* type);
// "Dim b\a(n)" / "ReDim b\a(n)": the chain from the parse position (the
// variable name first); a chain that does not end on an array field is
// error 77.
void compile_field_dim_statement(int redim);

// Called by the variable lookup when "\" follows a structured variable: the
// field chain is compiled and the current operand left describing the
// field. At the start of an assignment, the field's address is kept on the
// machine stack when the right side may move rbp.
void compile_variable_field_access(VariableRecord* variable);

// "\" after an element of an array, list or map: the element's operand
// text (as the back end formatted it) is the base of a field chain over
// `structure`, or, for an interface element, the object of a method call.
// A pointer element holds the structure's address. Leaves the current
// operand describing the field (or the call's result).
void compile_element_field_chain(StructureRecord* structure, const char* element_operand, bool pointer_element);

// One field chain over `structure`, the base address in rbp, the token "\"
// just read; the offsets it adds up are its own (a chain inside an index
// starts again at 0).
void emit_structure_field_access(StructureRecord* structure);
