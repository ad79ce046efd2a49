// Arrays in the C file. An array variable is a "zd_array" (the data pointer
// `a`) or, with N dimensions, a "zd_array<N>" whose bounds `b` hold the
// element count of each dimension until the runtime turns all but the last
// into strides. An element is read through a cast of `a` to the element
// type and an index. The front end (frontend/arrays.cpp) reads and checks
// the index and size lists; this file writes their text.
#include "backend_c/c_arrays.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_structure_fields.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/output_buffers.h"
#include "frontend/arrays.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/strings.h"
#include "frontend/structure_fields.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"


namespace {

std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char buffer[1024];
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < static_cast<int>(sizeof buffer)) return buffer;
    std::string out(static_cast<size_t>(length), '\0');
    va_start(args, format);
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    va_end(args);
    return out;
}

// "<module>X" in lower case for a record of a named module.
std::string module_prefix(const ModuleRecord* module)
{
    if (!module || !module->entry.key || module->entry.key[0] == '.' || module->entry.key[0] == 0) return "";
    return std::string(c_identifier_name(module->entry.key)) + "X";
}

// The C form of a Static item's label "so_<procedure>.<name>".
std::string static_item_name(const void* item)
{
    std::string name = item ? static_cast<const DataItem*>(item)->label : "";
    for (char& c : name)
        if (c == '.') c = 'X';
    return name;
}


// The name as messages show it (the part after "]" for a field array).
const char* display_name(const ArrayRecord* array) { return array_display_name(array); }

bool reached_through_pointer(const ArrayRecord* array) { return (array->flags & ARRAY_PARAMETER) != 0; }

// "r<n>", the next numbered result local (advances only while output is on).
std::string take_temporary()
{
    std::string name = "r" + std::to_string(result_local_counter);
    if (!no_output_depth) result_local_counter++;
    return name;
}

// A fixed-string length gets its "ft_<n>" typedef in the file head.
void register_fixed_string_size(int32_t length)
{
    if (std::find(fixed_string_size_table.begin(), fixed_string_size_table.end(), length) == fixed_string_size_table.end())
        fixed_string_size_table.push_back(length);
}

// The element's C type: interface "<name>**", fixed string "ft_<size>",
// pointer to structure "<name>*", structure "<name>", else the type's name.
std::string element_type_text(ArrayRecord* array)
{
    const StructureRecord* structure = array->element_structure;
    if (structure && (structure->flags & STRUCT_INTERFACE)) return std::string(c_structure_name(structure)) + "**";
    if (!structure || array->element_type != TYPE_STRUCTURE) {
        if (array->element_type == TYPE_FIXED_STRING && !(array->flags & ARRAY_POINTERS)) {
            register_fixed_string_size(array->element_size);
            return "ft_" + std::to_string(array->element_size);
        }
        if (array->flags & ARRAY_POINTERS) return "integer";
        return c_type_name(array->element_type);
    }
    if (array->flags & ARRAY_POINTERS) return std::string(c_structure_name(structure)) + "*";
    return c_structure_name(structure);
}

// The lvalue for the "(integer *)" argument of the debugger checks.
std::string checked_address(ArrayRecord* array)
{
    return reached_through_pointer(array) ? std::string(c_format_array_address(array))
                                          : "&" + std::string(c_format_array_address(array));
}

// The debugger's copy of an index: "integer r<n>=<index>;" and the name.
std::string checked_index(const std::string& index)
{
    std::string temporary = take_temporary();
    emit_format("integer %s=%s;", temporary.c_str(), index.c_str());
    return temporary;
}

}  // namespace

// ---------------------------------------------------------------------------
// Names

const char* c_format_array_address(ArrayRecord* array)
{
    static std::string text;
    if (array->flags & ARRAY_THREADED) {
        text = format_text("((zd_array *)(tls+%d))[0]", array->offset);
        c_note_threaded_object();
        if (!no_output_depth) forget_cached_list();
    } else if ((array->flags & ARRAY_STATIC) && array->item) {
        text = static_item_name(array->item);
    } else if (array->flags & ARRAY_FIELD) {
        text = c_container_field_lvalue();
    } else {
        // One step after the other: both parts come from the one buffer of
        // c_identifier_name.
        text = module_prefix(array->module);
        text += (array->flags & ARRAY_POINTERS) ? "ap_" : "a_";
        text += c_identifier_name(display_name(array));
    }
    return text.c_str();
}

const char* c_array_member(ArrayRecord* array)
{
    static std::string text;
    text = std::string(c_format_array_address(array)) + (reached_through_pointer(array) ? "->" : ".");
    return text.c_str();
}

const char* c_array_address(ArrayRecord* array)
{
    static std::string text;
    text = reached_through_pointer(array) ? std::string(c_format_array_address(array))
                                          : "&" + std::string(c_format_array_address(array));
    return text.c_str();
}

const char* c_array_element_pointer(ArrayRecord* array)
{
    static std::string text;
    std::string type = element_type_text(array);
    text = "((" + type + "*)" + c_array_member(array) + "a)";
    return text.c_str();
}

void c_emit_array_declaration(ArrayRecord* array)
{
    std::string lvalue = c_format_array_address(array);
    if (array->dimension_count <= 1) emit_format("zd_array %s={0};", lvalue.c_str());
    else emit_format("zd_array%d %s={0};", array->dimension_count, lvalue.c_str());
}

void c_emit_free_array(ArrayRecord* array)
{
    if (reached_through_pointer(array)) return;
    emit_format("SYS_FreeArray(%s);", c_array_element_pointer(array));
    c_runtime_used[C_SYS_FreeArray] = 1;
}

// ---------------------------------------------------------------------------
// Element access and the size lists of Dim and ReDim (read by the front end)

namespace {

bool fixed_string_elements(const ArrayRecord* array)
{
    return array->element_type == TYPE_FIXED_STRING && !(array->flags & ARRAY_POINTERS);
}

// The whole array: its element pointer as an integer.
const char* c_format_whole_array(ArrayRecord* array)
{
    static std::string text;
    flush_pending_literal();
    text = "(integer)" + std::string(c_array_element_pointer(array));
    return text.c_str();
}

void c_open_element_index(ElementAccess* access)
{
    if (access->index != 1) return;
    flush_pending_literal();
    ArrayRecord* array = access->array;
    if (array->dimension_count > 1)
        access->place = std::string(fixed_string_elements(array) ? "&" : "") + c_array_element_pointer(array) + "[";
}

// An index's C text; with the debugger, its copy in a numbered local that
// the check and the element read alike.
std::string index_text()
{
    std::string index = c_operand_text();
    if (debugger_code && !no_output_depth) index = checked_index(index);
    return index;
}

// One dimension: "<pointer>[(integer)<index>]". Several: the indexes joined
// as i1*b[0]+i2*b[1]+...+iD inside one pair of brackets.
void c_take_element_index(ElementAccess* access)
{
    ArrayRecord* array = access->array;
    std::string index = index_text();
    if (array->dimension_count <= 1) {
        if (debugger_code && !no_output_depth)
            emit_format("SYS_CheckArray((integer *)%s,%s);", checked_address(array).c_str(), index.c_str());
        access->place = format_text(fixed_string_elements(array) ? "&%s[(integer)%s]" : "%s[(integer)%s]",
                                    c_array_element_pointer(array), index.c_str());
        return;
    }
    if (debugger_code && !no_output_depth)
        emit_format("SYS_CheckMultiArrayDimension(%d,%s,(integer *)%s);", access->index - 1, index.c_str(),
                    checked_address(array).c_str());
    access->place += index;
    if (!access->last) {
        access->place += format_text("*%sb[%d]+", c_array_member(array), access->index - 1);
        return;
    }
    access->place += "]";
    if (!no_output_depth) forget_cached_list();
}

const char* c_format_element(ElementAccess* access, int32_t) { return access->place.c_str(); }

void c_begin_dimension_sizes(ArrayDimensions* dimensions)
{
    if (dimensions->count > 1) c_runtime_used[C_SYS_AllocateMultiArray] = 1;
}

// The structure's field is a C lvalue, which the sizes cannot move: nothing
// is kept across them.
void c_end_dimension_sizes(ArrayDimensions*) {}

void c_keep_single_size(ArrayDimensions* dimensions)
{
    dimensions->single_size = "(" + c_operand_text() + "+1)";
}

void c_store_dimension_size(ArrayDimensions* dimensions)
{
    const char* member = c_array_member(dimensions->array);
    const int32_t index = dimensions->position - 1;
    if (dimensions->size_constant)
        emit_format("%sb[%d]=%s; ", member, index, c_decimal_text(dimensions->size_count).c_str());
    else
        emit_format("%sb[%d]=%s+1; ", member, index, c_operand_text().c_str());
}

void c_check_redim_size(ArrayDimensions* dimensions)
{
    ArrayRecord* array = dimensions->array;
    const int32_t index = dimensions->position - 1;
    if (dimensions->size_constant)
        emit_format("SYS_CheckRedimDimension(%d,%s,(integer *)%s);", index, c_decimal_text(dimensions->size_count).c_str(),
                    checked_address(array).c_str());
    else
        c_emit_redim_check(array, index, c_operand_text().c_str());
}

void c_write_dimensions(ArrayDimensions* dimensions)
{
    // Static and Threaded arrays are allocated when the program or a thread
    // starts, structure arrays with their structure; all are released.
    if (dimensions->constant_only) {
        c_runtime_used[C_SYS_FreeArray] = 1;
        return;
    }
    std::string first = dimensions->single_count >= 0 ? c_decimal_text(dimensions->single_count) : dimensions->single_size;
    c_emit_array_allocation(dimensions->array, dimensions->redim, first.c_str());
}

}  // namespace

void c_emit_redim_check(ArrayRecord* array, int32_t index, const char* size_text)
{
    std::string temporary = take_temporary();
    emit_format("integer %s=%s;", temporary.c_str(), size_text);
    emit_format("SYS_CheckRedimDimension(%d,(%s)+1,(integer *)%s);", index, temporary.c_str(),
                checked_address(array).c_str());
}

void c_emit_array_allocation(ArrayRecord* array, int redim, const char* first_dimension)
{
    std::string address = c_array_address(array);
    // The debugger refuses a count below 1 as the assembly programs do.
    if (debugger_code && array->dimension_count <= 1) emit_format("SYS_CheckArraySize(%s);", first_dimension);
    if (redim) {
        if (array->dimension_count <= 1) {
            emit_format("SYS_ReAllocateArray(%s,%s);", first_dimension, address.c_str());
            c_runtime_used[C_SYS_ReAllocateArray] = 1;
        } else {
            emit_format("SYS_ReAllocateMultiArray(%d,%s);", array->dimension_count, address.c_str());
            c_runtime_used[C_SYS_ReAllocateMultiArray] = 1;
        }
        return;
    }
    std::string map = "0";
    const StructureRecord* structure = array->element_structure;
    if (array->element_type == TYPE_STRING && !(array->flags & ARRAY_POINTERS)) {
        map = "s_s";
    } else if (array->element_type == TYPE_STRUCTURE && structure && !(array->flags & ARRAY_POINTERS) &&
               (structure->flags & STRUCT_NEEDS_INIT)) {
        map = "m" + std::string(c_structure_name(structure));
    }
    int32_t type = (array->flags & ARRAY_POINTERS) ? TYPE_INTEGER : array->element_type;
    if (array->dimension_count <= 1) {
        emit_format("SYS_AllocateArray(%d,%s,%d,%s,%s);", array->element_size, first_dimension, type, map.c_str(),
                    address.c_str());
        c_runtime_used[C_SYS_AllocateArray] = 1;
    } else {
        emit_format("SYS_AllocateMultiArray(%d,%d,%d,%s,%s);", array->dimension_count, array->element_size, type,
                    map.c_str(), address.c_str());
        c_runtime_used[C_SYS_AllocateMultiArray] = 1;
    }
    c_runtime_used[C_SYS_FreeArray] = 1;
}

void c_emit_array_alloc(ArrayRecord* array)
{
    std::string first = array->constant_sizes ? c_decimal_text(array->constant_sizes[0]) : "0";
    c_emit_array_allocation(array, 0, first.c_str());
}

// ---------------------------------------------------------------------------
// The hooks of the shared array code

namespace {

void c_hook_free_array(ArrayRecord* array) { c_emit_free_array(array); }

// A procedure's result waits in the C function's local "r", which the
// releases at its end leave alone.
void c_keep_return_value() {}

// An assignment's target element is a C lvalue, which neither the right
// side's code moves nor its evaluation registers touch: it is left as it is
// and nothing is kept.
void c_prepare_element_target() {}
int c_keep_target_address() { return 0; }

// Called only after an address was kept, which never happens here.
void c_reload_target_address() { internal_error("emit_reload_element_address called, but the C back end keeps no element address"); }
void c_drop_target_address() { internal_error("emit_drop_element_address called, but the C back end keeps no element address"); }

}  // namespace

const ArrayHooks c_array_hooks = {
    .format_whole_array = c_format_whole_array,
    .open_element_index = c_open_element_index,
    .take_element_index = c_take_element_index,
    .format_element = c_format_element,
    .begin_dimension_sizes = c_begin_dimension_sizes,
    .end_dimension_sizes = c_end_dimension_sizes,
    .keep_single_size = c_keep_single_size,
    .store_dimension_size = c_store_dimension_size,
    .check_redim_size = c_check_redim_size,
    .write_dimensions = c_write_dimensions,
    .emit_free_array = c_hook_free_array,
    .emit_keep_return_value = c_keep_return_value,
    .prepare_element_target = c_prepare_element_target,
    .emit_save_element_address = c_keep_target_address,
    .emit_reload_element_address = c_reload_target_address,
    .emit_drop_element_address = c_drop_target_address,
};
