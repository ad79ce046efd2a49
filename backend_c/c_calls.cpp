// Calls in the C file. The front end compiles the arguments from the last
// to the first and hands each one over as the current operand; its C text
// is kept in the call's frame (nested calls get frames of their own). The
// call is written when the list is complete: arguments that are not plain
// names, numbers, literals or earlier results are hoisted, first to last,
// into "p<n>" locals of the parameter's type, so that C evaluates them in a
// fixed order; the result goes at once into a fresh "r<n>" local.
#include "backend_c/c_calls.h"
#include "backend_c/c_lists_maps.h"
#include "backend_c/c_arrays.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "backend_c/c_debugger.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "backend_c/c_structures.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "forge/library_format.h"
#include "frontend/call_arguments.h"
#include "frontend/interface_calls.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/libraries.h"
#include "frontend/literal_strings.h"
#include "frontend/operand_state.h"
#include "frontend/procedures.h"
#include "frontend/strings.h"
#include "frontend/symbols.h"

int32_t pt_temporary_counter = 0;
std::vector<int32_t> pt_release_queue;
std::vector<CCallFrame> c_call_frames;

namespace {

constexpr const char* pop_argument_text = "SYS_PopStringBasePositionValueNoUpdate()";

bool is_string_parameter(int type) { return type == TYPE_STRING || (type >= TYPE_P_ASCII && type <= TYPE_P_UTF8); }

// A library command that takes and returns floats as doubles.
bool command_double_mode(const CallRecord* call)
{
    const uint32_t both = LIBRARY_FLAG_DOUBLE | LIBRARY_FLAG_FLOAT;
    return call->callee_kind == CALLEE_LIBRARY && (call->result_flags & both) == both;
}

CCallFrame* frame_of(CallRecord* call)
{
    for (size_t i = c_call_frames.size(); i > 0; i--)
        if (c_call_frames[i - 1].call == call) return &c_call_frames[i - 1];
    return nullptr;
}

// The text that C may evaluate in any order: a number, a literal, an
// earlier result, a procedure name or a plain variable.
bool is_plain_argument(const std::string& text)
{
    if (text.empty()) return true;
    char c = text[0];
    if (c == '-' || (c >= '0' && c <= '9')) return true;
    if (text.compare(0, 2, "_S") == 0 || text.compare(0, 2, "f_") == 0) return true;
    if (c == 'r' && text.size() > 1 && text[1] >= '0' && text[1] <= '9') return true;
    return text.compare(0, 2, "v_") == 0 && text.find('(') == std::string::npos;
}

// C type of a parameter for a hoisted argument.
std::string parameter_type_text(const CallRecord* call, int type)
{
    if (type == TYPE_FLOAT && command_double_mode(call)) return "double";
    return c_type_name(type);
}

void note_strings()
{
    if (no_output_depth) return;
    string_manager_used = 1;
    procedure_uses_strings = 1;
}

// "char *pt<k>=<function>(<text>);" for a pseudo-type parameter; the
// temporary is freed after the call.
std::string convert_string_argument(const char* function, CRuntimeRoutine routine, const std::string& text)
{
    int32_t k = pt_temporary_counter++;
    char line[256];
    std::snprintf(line, sizeof line, "char *pt%d=%s(%s);", k, function, text.c_str());
    emit_line(line);
    if (!no_output_depth) c_runtime_used[routine] = 1;
    note_strings();
    pt_release_queue.push_back(k);
    return "pt" + std::to_string(k);
}

// The C text of a string argument; `more` when arguments before it are
// still to be built on the string stack.
std::string string_argument_text(int type, bool more)
{
    bool literal = (current_operand.flags & OP_LITERAL) != 0;
    if (!literal && (current_operand.flags & OP_FIXED_STRING) && !(current_operand.flags & (OP_COMPUTED | OP_STRING_STACK))) {
        // A fixed string need not end with a terminator: a copy on the stack.
        c_copy_string_to_stack(1);
        current_operand.flags = OP_STRING | OP_COMPUTED;
    }
    bool on_stack = !literal && (current_operand.flags & (OP_COMPUTED | OP_STRING_STACK)) != 0;
    std::string text;
    if (literal) text = c_string_literal_name(static_cast<int32_t>(current_operand.constant));
    else if (on_stack) text = pop_argument_text;
    else text = current_operand.text;
    if (on_stack) {
        note_strings();
        if (more) emit_line(thread_safe ? "SYS_IncrementStringBasePosition();" : "ZD_StringBasePosition+=2;");
    }
    switch (type) {
    case TYPE_P_ASCII:
        return on_stack ? convert_string_argument("SYS_BufferToAscii", C_SYS_BufferToAscii, "SYS_PopStringBasePosition()")
                        : convert_string_argument("SYS_ToAscii", C_SYS_ToAscii, text);
    case TYPE_P_BSTR:
        return on_stack ? convert_string_argument("SYS_BufferToBSTR", C_SYS_BufferToBSTR, "SYS_PopStringBasePosition()")
                        : convert_string_argument("SYS_ToBSTR", C_SYS_ToBSTR, text);
    case TYPE_P_UTF8:
        return on_stack ? convert_string_argument("SYS_BufferToUTF8", C_SYS_BufferToUTF8, "SYS_PopStringBasePosition()")
                        : convert_string_argument("SYS_ToUTF8", C_SYS_ToUTF8, text);
    default:
        return text;
    }
}

// The C text of a numeric argument for a parameter type.
std::string numeric_argument_text(int type)
{
    std::string text = c_operand_text();
    bool floating = (current_operand.flags & OP_FLOAT) != 0;
    if (floating && type != TYPE_FLOAT && type != TYPE_DOUBLE)
        text = (type == TYPE_QUAD ? "SYS_BankerRoundQuad(" : "SYS_BankerRound(") + text + ")";
    return text;
}

// An exported procedure takes no string position: it returns the address
// of its result.
bool returns_own_string(const CallRecord* call)
{
    return call->callee_kind != CALLEE_LIBRARY && (call->result_flags & PROC_DLL) != 0;
}

// The text itself, or the "p<n>" local of the type that it is hoisted into.
std::string hoisted_argument(const std::string& text, const std::string& type)
{
    if (is_plain_argument(text)) return text;
    int32_t n = p_temporary_counter++;
    char head[96];
    std::snprintf(head, sizeof head, " p%d=(", n);
    emit_line((type + head + type + ")" + text + ";").c_str());
    return "p" + std::to_string(n);
}

// "<name>(<arguments>)" with the hoisting lines written first; a method
// call passes its object first.
std::string build_call_expression(const std::string& name, CCallFrame& frame)
{
    CallRecord* call = frame.call;
    std::string list;
    if (call->callee_kind == CALLEE_INTERFACE) list = hoisted_argument(frame.object, "integer");
    for (int32_t i = 0; i < call->parameter_count; i++) {
        std::string text = frame.verbatim[size_t(i)] ? frame.arguments[size_t(i)]
                                                     : hoisted_argument(frame.arguments[size_t(i)],
                                                                        parameter_type_text(call, call->parameter_types[i]));
        if (!list.empty() || i) list += ",";
        list += text;
    }
    if (call->result == CALL_RESULT_STRING && !returns_own_string(call)) {
        if (!list.empty()) list += ",";
        if (debugger_code) {
            int32_t n = p_temporary_counter++;
            char line[96];
            std::snprintf(line, sizeof line, "integer p%d=SYS_PopStringBasePosition();", n);
            emit_line(line);
            list += "p" + std::to_string(n);
        } else {
            list += "SYS_PopStringBasePosition()";
        }
    }
    if (debugger_code && call->callee_kind == CALLEE_LIBRARY && (call->result_flags & LIBRARY_FLAG_DEBUGGERCHECK)) {
        std::string check = std::string("ZD_") + command_name(call->command) + "_DEBUG(" + list + ");";
        emit_line(check.c_str());
    }
    return name + "(" + list + ")";
}

// Frees the converted pseudo-type arguments: the first parameter took the
// last number queued.
void release_pseudo_type_arguments(const CallRecord* call)
{
    for (int32_t i = 0; i < call->parameter_count; i++) {
        int type = call->parameter_types[i];
        if (type != TYPE_P_ASCII && type != TYPE_P_UTF8 && type != TYPE_P_BSTR) continue;
        if (pt_release_queue.empty()) return;
        int32_t k = pt_release_queue.back();
        pt_release_queue.pop_back();
        char line[96];
        if (type == TYPE_P_BSTR) {
            std::snprintf(line, sizeof line, "f_sysfreestring_(pt%d);", k);
            if (!no_output_depth) mark_imported_function_used("SysFreeString_", nullptr);
        } else {
            std::snprintf(line, sizeof line, "SYS_FreeStringNoCheck(pt%d);", k);
            if (!no_output_depth) c_runtime_used[C_SYS_FreeStringNoCheck] = 1;
        }
        emit_line(line);
    }
}

const char* processor_suffix(const LibraryCommand* command)
{
    switch (cpu_mode) {
    case cpu_mode_mmx: return (command->flags & LIBRARY_FLAG_MMX) ? "_MMX" : "";
    case cpu_mode_3dnow: return (command->flags & LIBRARY_FLAG_3DNOW) ? "_3DNOW" : "";
    case cpu_mode_sse: return (command->flags & LIBRARY_FLAG_SSE) ? "_SSE" : "";
    case cpu_mode_sse2: return (command->flags & LIBRARY_FLAG_SSE2) ? "_SSE2" : "";
    default: return "";
    }
}

// The object of the method call that begins next (one that is not a
// variable is named before the arguments).
std::string pending_object_text;

}  // namespace

void c_reset_call_state()
{
    pt_temporary_counter = 0;
    pt_release_queue.clear();
    c_call_frames.clear();
    pending_object_text.clear();
}

const char* c_library_routine_name(const LibraryCommand* command)
{
    static std::string name;
    // /DYNAMICCPU: the pointer that the start-up code set to the variant.
    if (cpu_mode == cpu_mode_dynamic && (command->flags & LIBRARY_FLAG_PROCESSOR) && !(command->flags & LIBRARY_FLAG_LEFT_OUT))
        name = std::string("zdf_") + command_name(command);
    else
        name = std::string("ZD_") + command_name(command) + get_routine_suffix(command) + processor_suffix(command);
    return name.c_str();
}

void c_begin_call(CallRecord* call)
{
    c_round_pending_float_values();
    CCallFrame frame;
    frame.call = call;
    frame.arguments.assign(size_t(call->parameter_count), std::string());
    frame.verbatim.assign(size_t(call->parameter_count), 0);
    frame.next_index = call->parameter_count - 1;
    frame.pushed = 0;
    if (call->callee_kind == CALLEE_INTERFACE || call->target_text) {
        // The object of a method, or the function value of a field.
        frame.object = call->object_variable ? c_format_variable_operand(call->object_variable) : pending_object_text;
        pending_object_text.clear();
    }
    bool string_arguments = false;
    for (int32_t i = 0; i < call->parameter_count; i++)
        if (is_string_parameter(call->parameter_types[i]) || call->parameter_types[i] == PARAMETER_ANY) string_arguments = true;
    if (call->result == CALL_RESULT_STRING || string_arguments) {
        frame.pushed = 1;
        c_push_string_base_position();
    }
    // A string result starts at the saved position, which stays saved for
    // the reader of the result; the callee gets a second copy of it.
    if (call->result == CALL_RESULT_STRING) c_push_string_base_position();
    c_call_frames.push_back(frame);
}

void c_push_call_argument(CallRecord* call, int type)
{
    CCallFrame* frame = frame_of(call);
    if (!frame || frame->next_index < 0) return;
    int32_t index = frame->next_index--;
    bool value_is_string = current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING);
    std::string text;
    if (value_is_string) text = string_argument_text(type, index > 0);
    else text = numeric_argument_text(type);
    frame->arguments[size_t(index)] = text;
}

void c_push_container_argument(CallRecord* call, int, int kind, void* record)
{
    CCallFrame* frame = frame_of(call);
    if (!frame || frame->next_index < 0) return;
    int32_t index = frame->next_index--;
    // A library command takes the list or map object (or the array's data),
    // a procedure of the source the container itself, by address.
    bool by_value = call->callee_kind == CALLEE_LIBRARY;
    std::string text;
    if (kind == TYPE_ARRAY) {
        auto* array = static_cast<ArrayRecord*>(record);
        text = by_value ? std::string(c_array_member(array)) + "a" : std::string(c_array_address(array));
    } else if (kind == TYPE_LIST) {
        auto* list = static_cast<ListRecord*>(record);
        if (by_value) text = std::string(c_list_member(list)) + "a";
        else text = (list->flags & CONTAINER_PARAMETER) ? std::string(c_format_list_address(list))
                                                         : "&" + std::string(c_format_list_address(list));
    } else {
        auto* map = static_cast<MapRecord*>(record);
        if (by_value) text = std::string(c_map_member(map)) + "a";
        else text = (map->flags & CONTAINER_PARAMETER) ? std::string(c_format_map_address(map))
                                                        : "&" + std::string(c_format_map_address(map));
    }
    // An address expression of a variable: passed as it stands.
    frame->arguments[size_t(index)] = text;
    frame->verbatim[size_t(index)] = 1;
}

void c_push_structure_argument(CallRecord* call, int type, StructureRecord* structure)
{
    CCallFrame* frame = frame_of(call);
    if (!frame || frame->next_index < 0) return;
    int32_t index = frame->next_index--;
    std::string text = "0";
    if (type == TYPE_STRUCTURE) {
        if (structure) text = std::to_string(structure->size);
    } else if (type == PARAMETER_STRUCTURE_POINTER) {
        // The parameter is declared as a pointer.
        if (structure) text = "(void*)" + std::to_string(structure->size);
    } else if (type == PARAMETER_STRUCTURE_DESCRIPTOR) {
        // The descriptor table (the front end passes none for a structure
        // without strings, arrays, lists or maps).
        if (structure) text = c_structure_map_name(structure);
    } else if (structure) {
        // A structure map, written for the marked structures.
        text = "sm_" + std::to_string(structure->id);
    }
    frame->arguments[size_t(index)] = text;
    frame->verbatim[size_t(index)] = 1;
}

void c_push_default_argument(CallRecord* call, int type, int64_t value)
{
    CCallFrame* frame = frame_of(call);
    if (!frame || frame->next_index < 0) return;
    int32_t index = frame->next_index--;
    std::string text;
    if (type == TYPE_STRING) {
        const char* literal;
        std::memcpy(&literal, &value, sizeof literal);
        text = (literal && literal[0]) ? c_string_literal_name(intern_literal_string(literal)) : "0";
    } else if (type == TYPE_FLOAT || type == TYPE_DOUBLE) {
        double real;
        std::memcpy(&real, &value, sizeof real);
        if (type == TYPE_FLOAT) real = static_cast<double>(static_cast<float>(real));
        text = c_float_literal(real);
    } else {
        text = c_decimal_text(value);
    }
    frame->arguments[size_t(index)] = text;
}

void c_finish_call(CallRecord* call)
{
    CCallFrame* found = frame_of(call);
    if (!found) return;
    CCallFrame frame = *found;
    c_call_frames.erase(c_call_frames.begin() + (found - c_call_frames.data()));

    std::string name;
    switch (call->callee_kind) {
    case CALLEE_LIBRARY: name = c_library_routine_name(call->command); break;
    case CALLEE_IMPORTED: name = c_prototype_name(call->procedure); break;
    case CALLEE_PROTOTYPE:
        // The variable's value is the function, of the prototype's type.
        name = "((" + c_prototype_type_name(call->procedure) + ")" +
               (call->prototype_variable ? c_format_variable_operand(call->prototype_variable) : "(" + frame.object + ")") +
               ")";
        break;
    case CALLEE_INTERFACE: {
        // Through the method table that the object points to.
        char text[sizeof current_operand.text + 64];
        std::snprintf(text, sizeof text, "(*%s)->%s", frame.object.c_str(), c_interface_method_name(call->method));
        name = text;
        break;
    }
    default: name = c_procedure_name(call->procedure); break;
    }
    std::string result_text;
    if (no_output_depth) {
        result_text = "0";
    } else {
        std::string expression = build_call_expression(name, frame);
        if (call->result == CALL_RESULT_STRING && returns_own_string(call)) {
            // The procedure leaves its result on its own string stack: the
            // caller copies it to the position it saved.
            int32_t k = result_local_counter++;
            emit_line(("void* r" + std::to_string(k) + "=" + expression + ";").c_str());
            emit_line("SYS_PopStringBasePositionUpdate();");
            emit_line(("SYS_CopyString(r" + std::to_string(k) + ");").c_str());
            if (!no_output_depth) c_runtime_used[C_SYS_CopyString] = 1;
            note_strings();
        } else if (call->result == CALL_RESULT_STRING) {
            emit_line((expression + ";").c_str());
            note_strings();
        } else {
            const char* type = command_double_mode(call) ? "double"
                               : call->callee_kind == CALLEE_INTERFACE ? c_method_return_type(call->method)
                               : call->callee_kind == CALLEE_LIBRARY
                                   ? c_library_return_type(call->command)
                                   : c_procedure_return_type(call->result_flags, call->result_second_flags);
            int32_t k = result_local_counter++;
            result_text = "r" + std::to_string(k);
            emit_line((std::string(type) + " " + result_text + "=" + expression + ";").c_str());
        }
        // The procedure's statements moved the debugger's line away.
        if (debugger_code && call->callee_kind == CALLEE_PROCEDURE) c_emit_debugger_set_line();
    }
    if (frame.pushed && call->result != CALL_RESULT_STRING) c_restore_string_base_position();
    release_pseudo_type_arguments(call);
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", result_text.c_str());
}

// ---------------------------------------------------------------------------
// Interface method calls: "<type> r<n>=(*<object>)->m_<method>(<object>,...);".

namespace {

void c_keep_interface_object(CallRecord*, const char* text) { pending_object_text = text ? text : ""; }

void c_finish_interface_call(CallRecord* call) { c_finish_call(call); }

void c_load_interface_method(VariableRecord* object, const char* text, int32_t slot)
{
    std::string object_text = object ? c_format_variable_operand(object) : (text ? text : "");
    // Slot k of the table the object points to.
    std::snprintf(current_operand.text, sizeof current_operand.text, "(((integer*)(*%s))[%d])", object_text.c_str(),
                  slot - 1);
}

}  // namespace

const InterfaceCallHooks c_interface_call_hooks = {
    .keep_interface_object = c_keep_interface_object,
    .finish_interface_call = c_finish_interface_call,
    .load_interface_method = c_load_interface_method,
};
