// Per-thread objects (the two generated callbacks, the start-up lines and the
// bss qword of the main thread's block) and DllMain.
#include "backend_x64/program_threads.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/emit_operands.h"
#include "backend_x64/emit_lists_maps.h"
#include "backend_x64/emit_strings.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"
#include "frontend/symbols.h"

// Stands while the procedure front end is not linked in; its own definition
// replaces this one.
__attribute__((weak)) HashTable* procedure_table = nullptr;

int32_t thread_callback_code = 0;

namespace {

constexpr uint32_t exported_procedure = 0x1000;  // ProcedureDLL, ProcedureCDLL
constexpr uint32_t declared_only = 0x4000;

const char* const saved_registers[8] = {"rbx", "rbp", "rsi", "rdi", "r12", "r13", "r14", "r15"};

bool same_name_ignoring_case(const char* a, const char* b)
{
    for (;; a++, b++) {
        char x = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (x != y) return false;
        if (*a == 0) return true;
    }
}

void emit_procedure_call_with_instance(ProcedureRecord* procedure)
{
    if (!procedure) return;
    emit_line(" MOV rcx,[_ZD_Instance]");
    emit_linef(" CALL _Procedure%d", procedure->id);
}

bool has_threaded_objects()
{
    return threaded_items_used || debugger_enabled;
}

// A variable's operand, formatted once (the rbp reload is written then) and
// kept, since the formatter's buffer is reused.
std::string variable_operand(VariableRecord* variable)
{
    return format_variable_operand(variable);
}

void emit_init_structure_item(VariableRecord* variable)
{
    StructureRecord* structure = variable ? variable->structure : nullptr;
    if (!variable || variable->pointer || !structure || !(structure->flags & STRUCT_DYNAMIC_INIT)) return;
    structure->flags |= STRUCT_NEEDS_INIT;
    emit_load_symbol_address(format_structure_symbol(structure), REGISTER_RDX);
    std::string operand = variable_operand(variable);
    emit_lea_operand(operand.c_str(), REGISTER_RCX);
    mark_runtime_used(RT_SYS_InitDynamicStructure);
    emit_line(" CALL SYS_InitDynamicStructure");
}

// Dim of the stored sizes: the counts of the dimensions after the first in
// their slots, then the allocation with the first one.
void emit_init_array_item(ArrayRecord* array)
{
    if (!array || array->dimension_count < 1 || !array->constant_sizes) return;
    for (int32_t k = 2; k <= array->dimension_count; k++)
        emit_array_dim_size(array, k, std::to_string(array->constant_sizes[k - 1]).c_str());
    current_operand.kind = OPERAND_CONSTANT;
    if (array->dimension_count == 1) emit_dim_array(array, 0, array->constant_sizes[0]);
    else {
        emit_array_dim_size(array, 1, std::to_string(array->constant_sizes[0]).c_str());
        emit_dim_multi_array(array, 0);
    }
}

}  // namespace

void emit_object_creation(uint8_t kind, void* object)
{
    switch (kind) {
    case TYPE_STRUCTURE: emit_init_structure_item(static_cast<VariableRecord*>(object)); break;
    case TYPE_LIST:
        if (object) emit_new_list(static_cast<ListRecord*>(object));
        break;
    case TYPE_ARRAY: emit_init_array_item(static_cast<ArrayRecord*>(object)); break;
    case TYPE_MAP:
        if (object) emit_new_map(static_cast<MapRecord*>(object), 0);
        break;
    default: break;
    }
}

void emit_object_initial_value(uint8_t kind, VariableRecord* variable, int64_t value)
{
    if (!variable) return;
    switch (kind) {
    case TYPE_BYTE:
        emit_store_int_to_variable(variable_operand(variable).c_str(), int8_t(value));
        break;
    case TYPE_WORD:
        emit_store_int_to_variable(variable_operand(variable).c_str(), int16_t(value));
        break;
    case TYPE_LONG:
    case TYPE_FLOAT:
        emit_store_int_to_variable(variable_operand(variable).c_str(), int32_t(value));
        break;
    case TYPE_CHARACTER:
    case TYPE_UNICODE:
        emit_store_int_to_variable(variable_operand(variable).c_str(), uint16_t(value));
        break;
    case TYPE_ASCII:
        emit_store_int_to_variable(variable_operand(variable).c_str(), uint8_t(value));
        break;
    case TYPE_DOUBLE:
    case TYPE_QUAD:
    case TYPE_INTEGER:
        emit_store_quad_to_variable(variable_operand(variable).c_str(), value);
        break;
    case TYPE_STRING: {
        // The literal's address into rdx, the variable's address into rcx.
        emit_load_static_string(REGISTER_RDX, int32_t(value), false);
        std::string operand = variable_operand(variable);
        emit_lea_operand(operand.c_str(), REGISTER_RCX);
        mark_runtime_used(RT_SYS_FastAllocateString4);
        emit_line(" CALL SYS_FastAllocateString4");
        break;
    }
    case TYPE_FIXED_STRING: {
        std::string operand = variable_operand(variable);
        emit_lea_operand(operand.c_str(), REGISTER_RAX);
        emit_assign_fixed_string(variable->size, int32_t(value));
        break;
    }
    default:
        break;
    }
}

void emit_object_release(uint8_t kind, void* object)
{
    switch (kind) {
    case TYPE_MAP:
        if (object) emit_free_map(static_cast<MapRecord*>(object));
        break;
    case TYPE_ARRAY:
        if (object) emit_free_array(static_cast<ArrayRecord*>(object));
        break;
    case TYPE_LIST:
        if (object) emit_free_list(static_cast<ListRecord*>(object));
        break;
    case TYPE_STRING: {
        auto* variable = static_cast<VariableRecord*>(object);
        if (!variable || variable->pointer) break;
        std::string operand = variable_operand(variable);
        emit_free_string(operand.c_str());
        break;
    }
    case TYPE_STRUCTURE: {
        auto* variable = static_cast<VariableRecord*>(object);
        if (!variable || variable->pointer || !variable->structure || !(variable->structure->flags & STRUCT_DYNAMIC)) break;
        variable->structure->flags |= STRUCT_NEEDS_INIT;
        std::string qword_symbol = format_variable_qword_symbol(variable);
        emit_free_structure_strings(format_structure_symbol(variable->structure), qword_symbol.c_str());
        break;
    }
    default:
        break;
    }
}

namespace {

// Runs `body` with the emitter state of a callback: output from depth 0, rbp
// reloads read the routine's own slot.
template <typename Body>
void emit_callback(const char* name, Body body)
{
    EmitterStackState saved = emitter_stack;
    emitter_stack.push_depth = 0;
    emitter_stack.call_frame_pad = 0;
    thread_callback_code = 1;
    emit_line2("zd_public ", name);
    emit_helper_prologue();
    body();
    emit_helper_epilogue();
    thread_callback_code = 0;
    emitter_stack = saved;
}

}  // namespace

void settle_threaded_items()
{
    if (init_items_exist || thread_object_used || runtime_routine_used[RT_SYS_InitThreadedObject] ||
        runtime_routine_used[RT_SYS_GetThreadedObject])
        threaded_items_used = 1;
    threaded_object_size = (int64_t(thread_local_offset) + 7) & ~int64_t(7);
}

void emit_dll_main(ProcedureRecord* attach_thread, ProcedureRecord* detach_thread, ProcedureRecord* attach_process,
                   ProcedureRecord* detach_process)
{
    emit_line("DllMain:");
    // The start-up and end code and the procedures use rbx, rbp, rsi, rdi
    // and r12 to r15 freely; the loader expects them kept. Eight pushes keep
    // the stack's alignment.
    for (const char* name : saved_registers) emit_line2(" PUSH ", name);
    emit_line(" SUB rsp,40");
    emit_line(" CMP rdx,1");
    emit_line(" JNE .SkipProcessAttach");
    emit_line(" MOV [_ZD_Instance],rcx");
    emit_line(" CALL ZD_DllInit");
    emit_procedure_call_with_instance(attach_process);
    emit_line(" JMP .End");
    emit_line(".SkipProcessAttach:");
    emit_line(" CMP rdx,2");
    emit_line(" JNE .SkipThreadAttach");
    emit_procedure_call_with_instance(attach_thread);
    emit_line(" JMP .End");
    emit_line(".SkipThreadAttach:");
    emit_line(" CMP rdx,0");
    emit_line(" JNE .SkipProcessDetach");
    emit_procedure_call_with_instance(detach_process);
    emit_line(" CALL _ZD_EOP");
    emit_line(" JMP .End");
    emit_line(".SkipProcessDetach:");
    emit_line(" CMP rdx,3");
    emit_line(" JNE .SkipThreadDetach");
    emit_procedure_call_with_instance(detach_thread);
    emit_line(".SkipThreadDetach:");
    emit_line(".End:");
    emit_line(" MOV rax,1");
    emit_line(" ADD rsp,40");
    for (int i = 7; i >= 0; i--) emit_line2(" POP ", saved_registers[i]);
    emit_line(" RET");
    emit_comment("");
}

void emit_dll_entry()
{
    ProcedureRecord* found[4] = {nullptr, nullptr, nullptr, nullptr};
    static const char* const names[4] = {"AttachThread", "DetachThread", "AttachProcess", "DetachProcess"};
    if (procedure_table) {
        hash_reset_iterator(procedure_table);
        while (HashEntry* entry = hash_next(procedure_table)) {
            auto* procedure = reinterpret_cast<ProcedureRecord*>(entry);
            // A procedure that is only declared has no code to call.
            if ((procedure->flags & (exported_procedure | declared_only)) != exported_procedure) continue;
            for (int i = 0; i < 4; i++) {
                if (same_name_ignoring_case(procedure_name(procedure), names[i])) found[i] = procedure;
            }
        }
        hash_reset_iterator(procedure_table);
    }
    emit_dll_main(found[0], found[1], found[2], found[3]);
}

void emit_thread_object_start()
{
    if (!has_threaded_objects()) return;
    emit_line(" CALL SYS_InitThreadedObject");
    emit_line(" MOV [rsp+32],rax");
    emit_linef(" MOV [%s],rax", main_thread_object_symbol);
}

void emit_thread_object_init()
{
    emit_callback("SYS_InitThreadObjectCallback", [] {
        if (!init_item_list) return;
        for (ListNode* node = init_item_list->first; node; node = node->next) {
            auto* item = reinterpret_cast<InitItem*>(node);
            emit_object_creation(item->kind, item->object);
            bool variable = item->kind != TYPE_LIST && item->kind != TYPE_ARRAY && item->kind != TYPE_MAP;
            if (item->initialised && variable)
                emit_object_initial_value(item->kind, static_cast<VariableRecord*>(item->object), item->value);
        }
    });
}

void emit_thread_object_free()
{
    emit_callback("SYS_FreeThreadObjectCallback", [] {
        if (!init_item_list) return;
        for (ListNode* node = init_item_list->first; node; node = node->next) {
            auto* item = reinterpret_cast<InitItem*>(node);
            emit_object_release(item->kind, item->object);
        }
    });
}

void emit_thread_object_callbacks()
{
    if (!has_threaded_objects()) return;
    emit_thread_object_init();
    emit_thread_object_free();
}

void emit_thread_object_bss()
{
    if (!has_threaded_objects()) return;
    emit_linef("%s: rq 1", main_thread_object_symbol);
}
