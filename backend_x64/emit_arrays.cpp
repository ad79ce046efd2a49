// Array variables in x64 code. A variable is one slot with the pointer to
// the element data, then one slot per dimension. Dim stores the element
// counts in the dimension slots; the runtime's allocation of several
// dimensions turns slot k (k < D) into the stride of dimension k (the product
// of the counts after it), so that the element of (i1, ..., iD) lies at
// i1 * slot1 + ... + i(D-1) * slot(D-1) + iD elements from the pointer.
#include "backend_x64/emit_arrays.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arith.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_procedures.h"
#include "backend_x64/program_output.h"
#include "backend_x64/program_structures.h"
#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_variables.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/arrays.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

namespace {

// Kinds addressed by their symbol inside a procedure: Static, Global,
// shared, public.
constexpr uint32_t symbol_kinds = ARRAY_STATIC | ARRAY_GLOBAL | ARRAY_SHARED | ARRAY_PUBLIC;

bool is_frame_array(const ArrayRecord* array) {
    return in_procedure && !(array->flags & (symbol_kinds | ARRAY_THREADED | ARRAY_FIELD));
}

const char* without_prefix(const char* text) {
    const char* bracket = strchr(text, '[');
    return bracket ? bracket : text;
}

// Push depth at which an element's address was saved for an assignment.
int32_t saved_element_depth = 0;

}  // namespace

const char* format_array_symbol(const ArrayRecord* array) {
    static char text[600];
    size_t used = 0;
    text[0] = 0;
    if (array->module) {
        for (const char* p = module_name(array->module); *p && used + 2 < sizeof text; p++)
            text[used++] = (char)tolower((unsigned char)*p);
        text[used++] = '.';
        text[used] = 0;
    }
    snprintf(text + used, sizeof text - used, "%s%s", (array->flags & ARRAY_POINTERS) ? "ap_" : "a_",
             array_display_name(array));
    return text;
}

const char* format_array_address(ArrayRecord* array) {
    static char text[640];
    if ((array->flags & ARRAY_STATIC) && array->item) {
        snprintf(text, sizeof text, "%s", static_cast<DataItem*>(array->item)->label);
    } else if (array->flags & ARRAY_FIELD) {
        snprintf(text, sizeof text, "rbp+%d", array->offset);
    } else if (is_frame_array(array)) {
        snprintf(text, sizeof text, "rsp+%d", emitter_stack.push_depth + array->offset);
    } else {
        snprintf(text, sizeof text, "%s", format_array_symbol(array));
    }
    return text;
}

const char* format_array_slot_operand(ArrayRecord* array, int32_t d) {
    static char text[700];
    if (array->flags & ARRAY_THREADED) {
        emit_reload_frame_pointer();
        snprintf(text, sizeof text, "qword [rbp+%d]", array->offset + d);
    } else if (array->flags & ARRAY_FIELD) {
        if (array->saved_push_depth > 0) {
            // rbp has moved since the structure's base was pushed.
            int32_t distance = emitter_stack.push_depth - array->saved_push_depth;
            if (distance) emit_linef(" MOV rdx,[rsp+%d]", distance);
            else emit_line(" MOV rdx,[rsp]");
            snprintf(text, sizeof text, "qword [rdx+%d]", array->offset + d);
        } else {
            snprintf(text, sizeof text, "qword [rbp+%d]", array->offset + d);
        }
    } else if (!is_frame_array(array)) {
        if (d) snprintf(text, sizeof text, "qword [%s+%d]", format_array_address(array), d);
        else snprintf(text, sizeof text, "qword [%s]", format_array_address(array));
    } else if (array->flags & ARRAY_PARAMETER) {
        emit_linef(" MOV rcx,qword [rsp+%d]", array->offset + emitter_stack.push_depth);
        if (d) snprintf(text, sizeof text, "qword [rcx+%d]", d);
        else snprintf(text, sizeof text, "qword [rcx]");
    } else {
        int32_t at = array->offset + emitter_stack.push_depth + d;
        if (at) snprintf(text, sizeof text, "qword [rsp+%d]", at);
        else snprintf(text, sizeof text, "qword [rsp]");
    }
    return text;
}

const char* format_array_pointer_operand(ArrayRecord* array) {
    return format_array_slot_operand(array, 0);
}

void emit_array_dim_size(ArrayRecord* array, int32_t k, const char* value) {
    const char* slot = format_array_slot_operand(array, 8 * k);
    emit_linef(" MOV %s,%s", slot, value);
}

void emit_free_array(ArrayRecord* array) {
    emit_linef(" MOV rcx,%s", format_array_pointer_operand(array));
    emit_call_frame_begin();
    emit_line(" CALL SYS_FreeArray");
    emit_call_frame_end();
    mark_runtime_used(RT_SYS_FreeArray);
}

namespace {

// The variable's address into register r: LEA for frame and per-thread
// variables, the symbol-address form for the others.
void emit_array_variable_address(ArrayRecord* array, int r) {
    bool by_symbol = !(array->flags & (ARRAY_THREADED | ARRAY_FIELD | ARRAY_PARAMETER)) && !is_frame_array(array);
    if (by_symbol) emit_load_symbol_address(format_array_address(array), r);
    else emit_linef(" LEA %s,%s", register_name(8, r), without_prefix(format_array_pointer_operand(array)));
}

}  // namespace

void emit_array_argument_to_rax(ArrayRecord* array, bool data_pointer) {
    if (data_pointer) emit_linef(" MOV rax,%s", format_array_pointer_operand(array));
    else emit_array_variable_address(array, REGISTER_RAX);
}

namespace {

// Dim: the allocation call with the fifth argument (the variable's address)
// on the stack; `second` is the count or the dimension count in rdx.
void emit_allocation_call(ArrayRecord* array, const char* second, const char* routine) {
    int32_t depth = emitter_stack.push_depth;
    int32_t m = (16 - (depth + 40) % 16) % 16;
    emit_linef(" SUB rsp,%d", m + 16);
    emitter_stack.push_depth += m + 16;
    emit_linef(" MOV rdx,%s", second);
    if (debugger_code) {
        emit_line(" MOV rcx,rdx");
        emit_line(" CALL _DBG_AD");
    }
    emit_array_variable_address(array, REGISTER_RAX);
    emit_line(" PUSH rax");
    emitter_stack.push_depth += 8;
    // With the element descriptor the runtime releases the elements' strings
    // and containers on FreeArray, ReDim and a later Dim.
    emit_element_descriptor((array->flags & ARRAY_POINTERS) != 0, array->element_type, array->element_structure,
                            REGISTER_R9);
    emit_linef(" MOV r8,%d", (array->flags & ARRAY_POINTERS) ? TYPE_INTEGER : array->element_type);
    emit_linef(" MOV rcx,%d", array->element_size);
    emit_line(" SUB rsp,32");
    emit_linef(" CALL %s", routine);
    emit_linef(" ADD rsp,%d", m + 56);
    emitter_stack.push_depth = depth;
    emit_linef(" MOV %s,rax", format_array_pointer_operand(array));
    procedure_uses_rbp = procedure_uses_rbp || (array->flags & ARRAY_THREADED) != 0;
}

}  // namespace

void emit_dim_array(ArrayRecord* array, int32_t redim, int64_t count) {
    char count_text[32];
    if (count < 0) snprintf(count_text, sizeof count_text, "rax");
    else snprintf(count_text, sizeof count_text, "%lld", (long long)count);
    if (redim) {
        emit_array_variable_address(array, REGISTER_RDX);
        emit_linef(" MOV rcx,%s", count_text);
        if (debugger_code) emit_line(" CALL _DBG_AD");
        emit_call_frame_begin();
        emit_line(" CALL SYS_ReAllocateArray");
        emit_call_frame_end();
        mark_runtime_used(RT_SYS_ReAllocateArray);
        return;
    }
    emit_allocation_call(array, count_text, "SYS_AllocateArray");
    mark_runtime_used(RT_SYS_AllocateArray);
    mark_runtime_used(RT_SYS_FreeArray);
}

void emit_dim_multi_array(ArrayRecord* array, int32_t redim) {
    char count_text[32];
    snprintf(count_text, sizeof count_text, "%d", array->dimension_count);
    if (redim) {
        emit_array_variable_address(array, REGISTER_RDX);
        emit_linef(" MOV rcx,%s", count_text);
        emit_call_frame_begin();
        emit_line(" CALL SYS_ReAllocateMultiArray");
        emit_call_frame_end();
        mark_runtime_used(RT_SYS_ReAllocateMultiArray);
        return;
    }
    emit_allocation_call(array, count_text, "SYS_AllocateMultiArray");
    mark_runtime_used(RT_SYS_AllocateMultiArray);
    mark_runtime_used(RT_SYS_FreeArray);
}

void emit_constant_array_allocation(ArrayRecord* array) {
    if (!array->constant_sizes || array->dimension_count < 1) return;
    if (array->dimension_count == 1) {
        emit_dim_array(array, 0, array->constant_sizes[0]);
        return;
    }
    for (int32_t k = 1; k <= array->dimension_count; k++) {
        char value[32];
        snprintf(value, sizeof value, "%lld", (long long)array->constant_sizes[k - 1]);
        emit_array_dim_size(array, k, value);
    }
    emit_dim_multi_array(array, 0);
}

void collect_array_labels() {
    auto collect = [](CursorList* list) {
        if (!list) return;
        for (ListNode* node = list->first; node; node = node->next) {
            auto* array = reinterpret_cast<ArrayRecord*>(node);
            if (array->flags & (ARRAY_THREADED | ARRAY_FIELD | ARRAY_LOCAL | ARRAY_STATIC)) continue;
            int32_t slots = array->dimension_count > 0 ? array->dimension_count + 1 : 2;
            program_array_labels.push_back({format_array_symbol(array), 8 * slots});
        }
    };
    collect(array_list);
    if (!module_table) return;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) {
        auto* module = reinterpret_cast<ModuleRecord*>(entry);
        if (module->arrays != array_list) collect(module->arrays);
    }
    hash_reset_iterator(module_table);
}

void emit_array_labels() {
    // With the debugger the slots lie in the data section.
    emit_line(debugger_enabled ? "zd_align 8" : "zd_bssalign 8");
    for (const BssVariable& array : program_array_labels) {
        emit_line2(array.symbol.c_str(), ":");
        for (int32_t slot = 0; slot < array.size / 8; slot++) emit_line(debugger_enabled ? " dq 0" : " rq 1");
    }
}

// ---------------------------------------------------------------------------
// Element access

namespace {

void x64_emit_keep_return_value() { x64_keep_return_value(); }

// The current operand (an integer value) into rax, plus one: an element
// count from its size.
void emit_count_to_rax() {
    emit_load_operand_to_register(REGISTER_RAX);
    emit_line(" INC rax");
    set_operand_register_text("rax");
}

void emit_load_element_base(ArrayRecord* array) {
    const char* pointer = format_array_pointer_operand(array);
    emit_linef(" MOV rbp,%s", pointer);
    procedure_uses_rbp = 1;
}

void emit_push_base() {
    emit_line(" PUSH rbp");
    emitter_stack.push_depth += 8;
}

void emit_pop_base() {
    // An index read from memory is addressed from rsp (a local, a parameter)
    // or rbp (a per-thread variable, a field), which the POP moves: it is
    // loaded first.
    if (current_operand.kind == OPERAND_VARIABLE) emit_load_operand_to_register(REGISTER_RAX);
    emit_line(" POP rbp");
    emitter_stack.push_depth -= 8;
}

// An array field reached from a structure whose base is in rbp: the base
// waits on the machine stack while the indexes or sizes are compiled (they
// may move rbp), its push depth in the record so that the slots are read
// through it; then it is taken back into rbp or dropped.
void emit_push_field_array_base(ArrayRecord* array) {
    emit_push_base();
    array->saved_push_depth = emitter_stack.push_depth;
}

void emit_pop_field_array_base(ArrayRecord* array, bool into_rbp) {
    emit_line(into_rbp ? " POP rbp" : " POP rax");
    emitter_stack.push_depth -= 8;
    array->saved_push_depth = 0;
}

// rbp times the element size plus the pointer slot.
void emit_scale_base_to_element(ArrayRecord* array) {
    int64_t size = array->element_size;
    if (size > 1) {
        if ((size & (size - 1)) == 0) {
            int k = 0;
            while ((int64_t(1) << k) != size) k++;
            emit_linef(" SAL rbp,%d", k);
        } else {
            emit_linef(" IMUL rbp,%lld", (long long)size);
        }
    }
    emit_linef(" ADD rbp,%s", format_array_pointer_operand(array));
}

const char* x64_format_whole_array(ArrayRecord* array) { return format_array_pointer_operand(array); }

void x64_open_element_index(ElementAccess* access) {
    ArrayRecord* array = access->array;
    if (access->index == 1) {
        if (array->flags & ARRAY_FIELD) emit_push_field_array_base(array);
        if (array->dimension_count > 1) forget_cached_list();
    } else {
        // rbp holds the sum of the earlier indexes.
        emit_push_base();
    }
}

// The only index of a one-dimension array: the element lies at rbp (the
// data pointer) plus the constant offset or the scaled index register.
void take_single_index(ElementAccess* access) {
    ArrayRecord* array = access->array;
    const bool field_base = (array->flags & ARRAY_FIELD) != 0;
    access->place.clear();
    if (current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT)) {
        if (field_base) emit_pop_field_array_base(array, true);
        if (debugger_code) x64_emit_index_check(array, nullptr);
        emit_load_element_base(array);
        access->offset = current_operand.constant * array->element_size;
    } else {
        emit_load_operand(access->register_index);
        access->place = register_name(8, access->register_index);
        if (field_base) emit_pop_field_array_base(array, true);
        if (debugger_code) x64_emit_index_check(array, access->place.c_str());
        emit_load_element_base(array);
        if (array->element_size != 1) emit_integer_multiply_by_constant(array->element_size, access->register_index);
    }
    forget_cached_list();
    bool inline_structure = array->element_type == TYPE_STRUCTURE && !(array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES));
    // A field array's element is the end of a chain that does not keep the
    // index register: the index goes into rbp.
    const bool by_register = !access->place.empty();
    if ((inline_structure && access->offset != 0) || ((inline_structure || field_base) && by_register)) {
        if (by_register) emit_linef(" ADD rbp,%s", access->place.c_str());
        else emit_linef(" ADD rbp,%lld", (long long)access->offset);
        access->offset = 0;
        access->place.clear();
    }
}

// Index k of several: rbp sums index times stride (slot k) for k < D, then
// the last index; the sum is scaled to the element's address.
void take_one_of_several_indexes(ElementAccess* access) {
    ArrayRecord* array = access->array;
    const int32_t k = access->index;
    if (k > 1) emit_pop_base();
    if (debugger_code) x64_emit_multi_index_check(array, k - 1);
    if (access->last) {
        if (k != array->dimension_count) return;  // a miscount, reported by the caller
        emit_load_operand_to_register(REGISTER_RAX);
        emit_line(" ADD rbp,rax");
        emit_scale_base_to_element(array);
        if (array->flags & ARRAY_FIELD) emit_pop_field_array_base(array, false);
        return;
    }
    if (current_operand.kind == OPERAND_CONSTANT) {
        emit_linef(" MOV rax,%s", format_array_slot_operand(array, 8 * k));
        if (current_operand.constant == 0) emit_line(" XOR rax,rax");
        else if (current_operand.constant != 1) emit_integer_multiply_by_constant(current_operand.constant, REGISTER_RAX);
    } else {
        emit_load_operand_to_register(REGISTER_RAX);
        emit_linef(" IMUL rax,%s", format_array_slot_operand(array, 8 * k));
    }
    emit_linef(" %s rbp,rax", k == 1 ? "MOV" : "ADD");
    procedure_uses_rbp = 1;
}

void x64_take_element_index(ElementAccess* access) {
    if (access->array->dimension_count <= 1) take_single_index(access);
    else take_one_of_several_indexes(access);
}

const char* x64_format_element(ElementAccess* access, int32_t size) {
    static char text[128];
    const char* prefix = size_prefix(size);
    int64_t c = access->offset;
    if (!access->place.empty()) snprintf(text, sizeof text, "%s[rbp+%s]", prefix, access->place.c_str());
    else if (c > 0) snprintf(text, sizeof text, "%s[rbp+%lld]", prefix, (long long)c);
    else if (c < 0) snprintf(text, sizeof text, "%s[rbp%lld]", prefix, (long long)c);
    else snprintf(text, sizeof text, "%s[rbp]", prefix);
    return text;
}

void x64_begin_dimension_sizes(ArrayDimensions* dimensions) {
    if (dimensions->field_base) emit_push_field_array_base(dimensions->array);
}

void x64_end_dimension_sizes(ArrayDimensions* dimensions) {
    if (dimensions->field_base) emit_pop_field_array_base(dimensions->array, true);
}

void x64_keep_single_size(ArrayDimensions*) { emit_count_to_rax(); }

// The count of the size handed over: the constant's text, or "rax".
const char* dimension_count_text(const ArrayDimensions* dimensions) {
    static char text[32];
    if (dimensions->size_constant) {
        snprintf(text, sizeof text, "%lld", (long long)dimensions->size_count);
    } else {
        emit_count_to_rax();
        snprintf(text, sizeof text, "rax");
    }
    return text;
}

void x64_store_dimension_size(ArrayDimensions* dimensions) {
    const char* value = dimension_count_text(dimensions);
    emit_array_dim_size(dimensions->array, dimensions->position, value);
}

void x64_check_redim_size(ArrayDimensions* dimensions) {
    const char* value = dimension_count_text(dimensions);
    x64_emit_redim_check(dimensions->array, dimensions->position - 1, value);
}

void x64_write_dimensions(ArrayDimensions* dimensions) {
    // Static and Threaded arrays are allocated when the program or a thread
    // starts, structure arrays with their structure.
    if (dimensions->constant_only) return;
    if (dimensions->count == 1) emit_dim_array(dimensions->array, dimensions->redim, dimensions->single_count);
    else emit_dim_multi_array(dimensions->array, dimensions->redim);
}

// An index register in the operand is added into rbp: the right side takes
// the evaluation registers from the top again.
void x64_prepare_element_target() {
    char* index = strstr(current_operand.text, "[rbp+r");
    if (!index) return;
    char name[16];
    size_t n = 0;
    for (const char* p = index + 5; *p && *p != ']' && n + 1 < sizeof name; p++) name[n++] = *p;
    name[n] = 0;
    emit_linef(" ADD rbp,%s", name);
    snprintf(index, sizeof current_operand.text - (size_t)(index - current_operand.text), "[rbp]");
}

int x64_emit_save_element_address() {
    char* operand = current_operand.text;
    const char* address = without_prefix(operand);
    if (strcmp(address, "[rbp]") != 0) emit_linef(" LEA rbp,%s", address);
    emit_line(" PUSH rbp");
    emitter_stack.push_depth += 8;
    saved_element_depth = emitter_stack.push_depth;
    // The target is read back into rbp itself before the store.
    char* bracket = strchr(operand, '[');
    if (bracket) snprintf(bracket, sizeof current_operand.text - (size_t)(bracket - operand), "[rbp]");
    return 1;
}

void x64_emit_reload_element_address() {
    int32_t distance = emitter_stack.push_depth - saved_element_depth;
    if (distance) emit_linef(" MOV rbp,[rsp+%d]", distance);
    else emit_line(" MOV rbp,[rsp]");
}

void x64_emit_drop_element_address() {
    emit_line(" ADD rsp,8");
    emitter_stack.push_depth -= 8;
}

}  // namespace

const ArrayHooks x64_array_hooks = {
    .format_whole_array = x64_format_whole_array,
    .open_element_index = x64_open_element_index,
    .take_element_index = x64_take_element_index,
    .format_element = x64_format_element,
    .begin_dimension_sizes = x64_begin_dimension_sizes,
    .end_dimension_sizes = x64_end_dimension_sizes,
    .keep_single_size = x64_keep_single_size,
    .store_dimension_size = x64_store_dimension_size,
    .check_redim_size = x64_check_redim_size,
    .write_dimensions = x64_write_dimensions,
    .emit_free_array = emit_free_array,
    .emit_keep_return_value = x64_emit_keep_return_value,
    .prepare_element_target = x64_prepare_element_target,
    .emit_save_element_address = x64_emit_save_element_address,
    .emit_reload_element_address = x64_emit_reload_element_address,
    .emit_drop_element_address = x64_emit_drop_element_address,
};
