// Interface method calls: "object\Method(arguments)" on an item whose type
// is an interface. The object is a pointer to a block whose first qword
// points to the table of method addresses, one 8-byte slot per method in
// declaration order. The object pointer travels in the first register
// argument and the method's arguments follow it; the code is written by
// the back end through `InterfaceCallHooks`.
#pragma once

#include <cstdint>

struct CallRecord;
struct StructureRecord;
struct VariableRecord;

struct InterfaceCallHooks {
    // An object that is not a variable is kept while the arguments are
    // compiled (x64: on the machine stack below them, its depth goes into
    // the call).
    void (*keep_interface_object)(CallRecord* call, const char* text);
    // After the arguments: the register loads (argument i into register
    // position i + 1), the object into rcx, the call through its method
    // slot, the release of the stack and the result's place.
    void (*finish_interface_call)(CallRecord* call);
    // The address of method `slot` (1-based) of the object into rax; the
    // object is the variable, or the value named by `text`.
    void (*load_interface_method)(VariableRecord* object, const char* text, int32_t slot);
};

// The token "\" after an item of an interface type has just been read.
// Compiles the method call (or, with `address`, the method's address:
// empty parentheses only). The object is `object`, or, when it is null,
// the value named by the operand text `object_text`. The current operand
// becomes the result. Returns the 1-based method number, 0 on error.
int emit_interface_method_call(VariableRecord* object, StructureRecord* interface, const char* object_text,
                               int address);
