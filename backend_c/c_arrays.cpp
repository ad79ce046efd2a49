// Arrays in the C file. An array variable is a "zd_array" (the data pointer
// `a`) or, with N dimensions, a "zd_array<N>" whose bounds `b` hold the
// element count of each dimension until the runtime turns all but the last
// into strides. An element is read through a cast of `a` to the element
// type and an index; the parse and the checks follow the shared front end
// (frontend/arrays.cpp), only the text differs.
#include "backend_c/c_arrays.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_structure_fields.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/arrays.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
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


// One size or index as an integer expression with the declaration state
// cleared; its C text, or false with an error set.
bool compile_integer_text(std::string& text)
{
    int32_t saved_mode = declaration_mode;
    declaration_mode = DECLARE_NONE;
    compile_expression(EXPR_INTEGER_ONLY, MODE_INTEGER);
    declaration_mode = saved_mode;
    if (error_number) return false;
    text = c_operand_text();
    return true;
}

bool operand_is_integer_constant()
{
    return current_operand.kind == OPERAND_CONSTANT && !(current_operand.flags & OP_FLOAT);
}

void append_constant_size(ArrayRecord* array, int32_t k, int64_t count)
{
    auto* sizes = static_cast<int64_t*>(pool_alloc(sizeof(int64_t) * static_cast<size_t>(k)));
    if (array->constant_sizes && k > 1) std::memcpy(sizes, array->constant_sizes, sizeof(int64_t) * static_cast<size_t>(k - 1));
    sizes[k - 1] = count;
    array->constant_sizes = sizes;
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

// Reads the operator after a closing bracket (error 79 is no error there).
bool read_after_bracket()
{
    read_operator();
    return error_number == 0;
}

// The operand of an element by its type, as the expression compiler takes it.
void set_element_operand(ArrayRecord* array, const std::string& text)
{
    current_type.code = array->element_type;
    current_type.size = array->element_size;
    current_type.structure = array->element_structure;
    int32_t size = array->element_size;
    uint32_t flags = 0;
    int32_t kind = OPERAND_VARIABLE;
    if (array->flags & (ARRAY_POINTERS | ARRAY_INTERFACES)) {
        size = 8;
        if (array->flags & ARRAY_POINTERS) flags |= OP_POINTER;
    } else {
        switch (array->element_type) {
        case TYPE_STRING: kind = OPERAND_STRING; flags |= OP_STRING; size = 8; break;
        case TYPE_FIXED_STRING: kind = OPERAND_STRING; flags |= OP_STRING | OP_FIXED_STRING; break;
        case TYPE_STRUCTURE: size = 8; flags |= OP_STRUCTURE; break;
        case TYPE_FLOAT: flags |= OP_FLOAT; break;
        case TYPE_DOUBLE: flags |= OP_FLOAT | OP_DOUBLE; break;
        case TYPE_QUAD: case TYPE_INTEGER: flags |= OP_QUAD; break;
        case TYPE_CHARACTER: case TYPE_ASCII: case TYPE_UNICODE: flags |= OP_UNSIGNED; break;
        default: break;
        }
    }
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", text.c_str());
    current_operand.kind = kind;
    current_operand.size = size;
    current_operand.constant = 0;
    current_operand.flags = flags;
    current_variable = nullptr;
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
// Element access

int c_emit_array_element(ArrayRecord* array)
{
    flush_pending_literal();
    if (error_number) return 0;
    if (current_type.given) {
        bool same = current_type.code == array->element_type ||
                    (array->element_type == TYPE_FIXED_STRING && current_type.code == TYPE_STRING);
        if (!same) {
            set_error(ERROR_ARRAY_TYPE_DIFFERS);
            return 0;
        }
    }
    register_push();
    int32_t r = register_stack.top;
    auto finish = [r]() {
        register_pop();
        return r;
    };
    if (token_code != '(') {
        set_error_format(ERROR_OPEN_PARENTHESIS_MISSING_AFTER_ARRAY, display_name(array));
        return finish();
    }
    while (*parse_pointer == ' ' || *parse_pointer == '\t') parse_pointer++;
    if (*parse_pointer == ')') {
        // The whole array: its element pointer as an integer.
        parse_pointer++;
        if (!read_after_bracket()) return finish();
        if (token_code == '\\') {
            set_error_format(ERROR_MISSING_ARRAY_PARAMETERS, display_name(array));
            return finish();
        }
        std::string text = "(integer)" + std::string(c_array_element_pointer(array));
        std::snprintf(current_operand.text, sizeof current_operand.text, "%s", text.c_str());
        current_operand.kind = OPERAND_VARIABLE;
        current_operand.size = 8;
        // After "@" the pointer is the address itself.
        current_operand.flags = 0;
        if (address_of_depth) current_operand.flags |= OP_CONTAINER_SLOT;
        current_variable = nullptr;
        return finish();
    }
    uint32_t saved_mode = expression_mode;
    CurrentType saved_type = current_type;
    const bool fixed = array->element_type == TYPE_FIXED_STRING && !(array->flags & ARRAY_POINTERS);
    std::string text;
    if (array->dimension_count <= 1) {
        std::string index;
        if (!compile_integer_text(index)) return finish();
        if (debugger_code && !no_output_depth) {
            index = checked_index(index);
            emit_format("SYS_CheckArray((integer *)%s,%s);", checked_address(array).c_str(), index.c_str());
        }
        text = format_text(fixed ? "&%s[(integer)%s]" : "%s[(integer)%s]", c_array_element_pointer(array), index.c_str());
    } else {
        text = std::string(fixed ? "&" : "") + c_array_element_pointer(array) + "[";
        int32_t indexes = 0;
        for (;;) {
            std::string index;
            if (!compile_integer_text(index)) return finish();
            if (debugger_code && !no_output_depth) {
                index = checked_index(index);
                emit_format("SYS_CheckMultiArrayDimension(%d,%s,(integer *)%s);", indexes, index.c_str(),
                            checked_address(array).c_str());
            }
            text += index;
            indexes++;
            if (token_code != ',' || indexes >= array->dimension_count) break;
            text += format_text("*%sb[%d]+", c_array_member(array), indexes - 1);
        }
        text += "]";
        if (token_code == ',' || indexes != array->dimension_count) {
            set_error_format(ERROR_ARRAY_DIMENSION_COUNT, display_name(array));
            return finish();
        }
        if (!no_output_depth) forget_cached_list();
    }
    expression_mode = saved_mode;
    current_type = saved_type;
    if (token_code != ')') {
        set_error(ERROR_CLOSE_PARENTHESIS_EXPECTED);
        return finish();
    }
    if (!read_after_bracket()) return finish();
    if (token_code == '\\') {
        if (array->element_type != TYPE_STRUCTURE || !array->element_structure) {
            set_error_format(ERROR_ARRAY_WITHOUT_STRUCTURE, display_name(array));
            return finish();
        }
        // A field chain (or a method call) from the element's lvalue.
        compile_element_field_chain(array->element_structure, text.c_str(), (array->flags & ARRAY_POINTERS) != 0);
        return finish();
    }
    set_element_operand(array, text);
    return finish();
}

// ---------------------------------------------------------------------------
// Dim and ReDim

void c_compile_array_dimensions(ArrayRecord* array, int redim, int redeclared)
{
    if (error_number) return;
    int32_t n = count_dimensions();
    if (n > 255) {
        set_error_format(ERROR_ARRAY_DIMENSION_COUNT, display_name(array));
        return;
    }
    if (!redeclared) {
        int32_t slots = 8 * (n + 1);
        if (array->flags & ARRAY_THREADED) {
            grow_data_area(thread_local_offset, debugger_code ? 2 * slots : slots);
        } else if ((array->flags & ARRAY_LOCAL) && !(array->flags & (ARRAY_STATIC | ARRAY_PARAMETER))) {
            grow_data_area(local_frame_offset, (debugger_code && !redim) ? 2 * slots : slots);
        } else if (!(array->flags & ARRAY_FIELD)) {
            grow_data_area(global_data_offset, slots);
        }
    }
    const bool constant_only = (array->flags & (ARRAY_STATIC | ARRAY_THREADED)) || in_structure;
    std::vector<std::string> dimension_texts;
    int32_t k = 0;
    if (n == 1) {
        k = 1;
        std::string size;
        if (!compile_integer_text(size)) return;
        if (operand_is_integer_constant()) {
            int64_t count = 0;
            if (!constant_element_count(array, current_operand.constant, &count)) return;
            dimension_texts.push_back(c_decimal_text(count));
            if (!redim && !((array->flags & ARRAY_FIELD) && !in_structure && !(array->flags & ARRAY_STATIC))) {
                array->constant_sizes = nullptr;
                append_constant_size(array, 1, count);
            }
        } else if (constant_only) {
            set_error(ERROR_ARRAY_SIZE_NOT_LITERAL);
            return;
        } else {
            dimension_texts.push_back("(" + size + "+1)");
        }
    } else {
        c_runtime_used[C_SYS_AllocateMultiArray] = 1;
        if (!redeclared) array->constant_sizes = nullptr;
        for (;;) {
            k++;
            std::string size;
            if (!compile_integer_text(size)) return;
            const bool last = token_code != ',';
            const int32_t index = k - 1;
            dimension_texts.push_back(size);
            if (operand_is_integer_constant()) {
                int64_t count = 0;
                if (!constant_element_count(array, current_operand.constant, &count)) return;
                dimension_texts.back() = c_decimal_text(count);
                if (constant_only) {
                    append_constant_size(array, k, count);
                } else if (!redim || last) {
                    emit_format("%sb[%d]=%s; ", c_array_member(array), index, c_decimal_text(count).c_str());
                } else if (debugger_code) {
                    emit_format("SYS_CheckRedimDimension(%d,%s,(integer *)%s);", index, c_decimal_text(count).c_str(),
                                checked_address(array).c_str());
                }
            } else if (constant_only) {
                set_error(ERROR_ARRAY_SIZE_NOT_LITERAL);
                return;
            } else if (!redim || last) {
                emit_format("%sb[%d]=%s+1; ", c_array_member(array), index, size.c_str());
            } else if (debugger_code) {
                c_emit_redim_check(array, index, size.c_str());
            }
            if (last || error_number) break;
        }
        if (error_number) return;
        if (k != n) {
            set_error(ERROR_SYNTAX);
            return;
        }
    }
    if (token_code != ')') {
        set_error(ERROR_DIM_SYNTAX);
        return;
    }
    if (!read_after_bracket()) return;
    if (token_code != TOKEN_END) {
        bool list_allowed = declaration_mode == DECLARE_DEFINE || declaration_mode == DECLARE_GLOBAL ||
                            declaration_mode == DECLARE_PROTECTED || declaration_mode == DECLARE_STATIC;
        if (token_code != ',' || !list_allowed) {
            set_error(ERROR_GARBAGE_AT_END_OF_LINE);
            return;
        }
    }
    if (redeclared && array->dimension_count != n) {
        set_error(ERROR_SYNTAX);
        return;
    }
    array->dimension_count = n;
    if (!constant_only) {
        c_emit_array_allocation(array, redim, dimension_texts.front().c_str());
    } else if (redeclared) {
        set_error_format(ERROR_STATIC_ARRAY_DECLARED_TWICE, display_name(array));
    } else {
        if (!in_structure && array->item && (array->flags & ARRAY_STATIC))
            static_cast<DataItem*>(array->item)->size = 8 * n + 8;
        c_runtime_used[C_SYS_FreeArray] = 1;
    }
}

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
void c_hook_dimensions(ArrayRecord* array, int32_t redim, int32_t redeclared)
{
    c_compile_array_dimensions(array, redim, redeclared);
}

// A procedure's result waits in the C function's local "r", which the
// releases at its end leave alone.
void c_keep_return_value() {}

// An assignment's target is a C lvalue, which the right side's code cannot
// move: nothing is kept.
int c_keep_target_address() { return 0; }

// The C back end writes an element access and a dimension list whole
// (above), so the shared step compiler, the only caller of these entries,
// never runs with it.
template <typename Result, typename... Arguments>
Result c_array_step_not_used(Arguments...)
{
    if constexpr (std::is_same_v<Result, const char*>) return "";
    else return Result();
}

}  // namespace

const ArrayHooks c_array_hooks = {
    .format_array_pointer_operand = c_array_step_not_used<const char*, ArrayRecord*>,
    .emit_array_dim_size = c_array_step_not_used<void, ArrayRecord*, int32_t, const char*>,
    .emit_dim_array = c_array_step_not_used<void, ArrayRecord*, int32_t, int64_t>,
    .emit_dim_multi_array = c_array_step_not_used<void, ArrayRecord*, int32_t>,
    .emit_free_array = c_hook_free_array,
    .emit_keep_return_value = c_keep_return_value,
    .emit_size_to_rax = c_array_step_not_used<void>,
    .emit_index_to_register = c_array_step_not_used<const char*, int32_t>,
    .emit_load_element_base = c_array_step_not_used<void, ArrayRecord*>,
    .emit_scale_index = c_array_step_not_used<void, int32_t, int64_t>,
    .emit_add_to_base = c_array_step_not_used<void, const char*>,
    .emit_multi_index = c_array_step_not_used<void, ArrayRecord*, int32_t, int32_t>,
    .emit_multi_last_index = c_array_step_not_used<void>,
    .emit_multi_finish = c_array_step_not_used<void, ArrayRecord*>,
    .emit_push_base = c_array_step_not_used<void>,
    .emit_pop_base = c_array_step_not_used<void>,
    .format_element_operand = c_array_step_not_used<const char*, int32_t, int64_t, const char*>,
    .emit_save_element_address = c_keep_target_address,
    .emit_reload_element_address = c_array_step_not_used<void>,
    .emit_drop_element_address = c_array_step_not_used<void>,
    .emit_index_check = c_array_step_not_used<void, ArrayRecord*, const char*>,
    .emit_multi_index_check = c_array_step_not_used<void, ArrayRecord*, int32_t>,
    .emit_redim_check = c_array_step_not_used<void, ArrayRecord*, int32_t, const char*>,
    .compile_element_access = c_emit_array_element,
    .compile_dimensions = c_hook_dimensions,
    .emit_push_field_array_base = c_array_step_not_used<void, ArrayRecord*>,
    .emit_pop_field_array_base = c_array_step_not_used<void, ArrayRecord*, int32_t>,
};
