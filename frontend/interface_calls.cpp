// Interface method calls: the method looked up by name in the interface,
// its arguments compiled by the shared call path (the object takes the
// first register position, so the method's own arguments start at the
// second), then the call through the object's method table written by the
// back end; or, after "@", the address of the method.
#include "frontend/interface_calls.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/call_arguments.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/interfaces.h"
#include "frontend/lexer.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

namespace {

const InterfaceCallHooks* hooks() { return backend->interfaces; }

void skip_blanks() {
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
}

// The call record of a method: its parameters and how its result comes back.
void describe_method_call(CallRecord* call, InterfaceMethod* method, int32_t slot) {
    call->callee_kind = CALLEE_INTERFACE;
    call->method = method;
    call->method_slot = slot;
    call->name = method->name;
    call->parameter_count = method->parameter_count;
    call->optional_count = method->optional_count;
    call->default_values = method->default_values;
    for (int32_t i = 0; i < method->parameter_count && i < MAX_CALL_ARGUMENTS; i++)
        call->parameter_types[i] = method->parameters[i].type;
    call->result_flags = method->flags;
    if (method->flags & METHOD_RETURNS_STRING) call->result = CALL_RESULT_STRING;
    else if (method->flags & METHOD_RETURNS_DOUBLE) call->result = CALL_RESULT_DOUBLE;
    else if (method->flags & METHOD_RETURNS_FLOAT) call->result = CALL_RESULT_FLOAT;
    else if (method->flags & METHOD_RETURNS_QUAD) call->result = CALL_RESULT_QUAD;
    else call->result = CALL_RESULT_INTEGER;
}

// The current operand from the call's result (the back end named its place).
void set_method_result_operand(const CallRecord* call) {
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.constant = 0;
    switch (call->result) {
    case CALL_RESULT_FLOAT: current_operand.flags = OP_FLOAT; break;
    case CALL_RESULT_DOUBLE: current_operand.flags = OP_FLOAT | OP_DOUBLE; break;
    case CALL_RESULT_QUAD: current_operand.flags = OP_QUAD; break;
    case CALL_RESULT_STRING:
        current_operand.kind = OPERAND_STRING;
        current_operand.flags = OP_STRING | OP_COMPUTED | OP_STRING_STACK;
        break;
    default: current_operand.flags = 0; break;
    }
}

// "()" after the method name of an address: nothing may stand between.
int compile_method_address(const InterfaceCallHooks* h, VariableRecord* object, const char* object_text,
                           int32_t slot) {
    skip_blanks();
    if (*parse_pointer != ')') {
        set_error(ERROR_SYNTAX);
        return 0;
    }
    parse_pointer++;
    read_operator();
    if (error_number) return 0;
    h->load_interface_method(object, object_text, slot);
    current_operand.kind = OPERAND_REGISTER;
    current_operand.size = 8;
    current_operand.constant = 0;
    current_operand.flags = 0;
    return slot;
}

int compile_method_call(const InterfaceCallHooks* h, VariableRecord* object, const char* object_text,
                        InterfaceMethod* method, int32_t slot) {
    // The record lives for this call only (a long program's calls do not
    // pile up in the compilation pool).
    std::unique_ptr<CallRecord> record(new CallRecord());
    CallRecord* call = record.get();
    describe_method_call(call, method, slot);
    call->object_variable = object;
    // A string result is written on the string stack: literal text still
    // gathered in front of the call goes there first (before the object is
    // pushed, so that nothing lies between the object and the call).
    if (call->result == CALL_RESULT_STRING) flush_pending_literal();
    if (error_number) return 0;
    OuterExpression outer = hold_outer_expression();
    std::vector<char*> argument_starts(MAX_CALL_ARGUMENTS + 2);
    char** starts = argument_starts.data();
    skip_blanks();
    int count = prescan_call_arguments(starts, MAX_CALL_ARGUMENTS, call->name, &call->string_stack_arguments);
    if (error_number) return 0;
    call->argument_count = count;
    if (!object) h->keep_interface_object(call, object_text);
    compile_call_arguments(call, starts);
    if (error_number) return 0;
    h->finish_interface_call(call);
    give_back_outer_expression(outer);
    set_method_result_operand(call);
    return slot;
}

}  // namespace

int emit_interface_method_call(VariableRecord* object, StructureRecord* interface, const char* object_text,
                               int address) {
    // The object's text is the back end's static buffer: keep a copy.
    char text[sizeof current_operand.text];
    std::snprintf(text, sizeof text, "%s", object_text ? object_text : "");
    int result = 0;
    read_token();
    const InterfaceCallHooks* h = hooks();
    if (error_number) {
        // reported below
    } else if (!statement_word[0] || token_code != '(') {
        set_error(ERROR_SYNTAX);
    } else if (int32_t slot = find_interface_method(interface); !slot) {
        set_error_format(ERROR_INTERFACE_METHOD_NOT_FOUND, statement_word);
    } else if (address) {
        result = compile_method_address(h, object, text, slot);
    } else {
        result = compile_method_call(h, object, text, &interface->methods[slot - 1], slot);
    }
    current_variable = nullptr;
    if (debugger_code) backend->emit_debugger_set_line();
    return error_number ? 0 : result;
}
