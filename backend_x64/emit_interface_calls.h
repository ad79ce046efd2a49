// Interface method calls on x64: the object pointer in rcx, the method's
// arguments in rdx, r8, r9 (xmm1 to xmm3 for floats and doubles) and on
// the stack after them, the call through the slot of the object's method
// table.
#pragma once

#include <cstdint>

struct CallRecord;
struct VariableRecord;

// " PUSH <text>": the object, kept below the arguments.
void emit_keep_interface_object(CallRecord* call, const char* text);
// After the call: drops the object or function pointer pushed below the
// arguments (under a string result's offset, which stays on top).
void emit_drop_pushed_callee(bool string_result);
// Argument `index` of a method call popped into register position index + 1.
void emit_load_method_argument(const CallRecord* call, int index);
// After the arguments: register loads, the object into rcx, " CALL qword
// [rax]" for slot 1, else " CALL qword [rax+<8 * slot - 8>]", the release,
// the result's place; a pushed object is dropped, under a string result's
// saved position.
void emit_interface_call(CallRecord* call);
// The address of method `slot` of the object (the variable, or the value
// `text`) into rax.
void emit_load_interface_method(VariableRecord* object, const char* text, int32_t slot);

extern const struct InterfaceCallHooks x64_interface_call_hooks;
