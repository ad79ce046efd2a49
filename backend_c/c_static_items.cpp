#include "backend_c/c_lists_maps.h"
#include "backend_c/c_static_items.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_expressions.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_labels.h"
#include "backend_c/c_program_blocks.h"
#include "backend_c/c_structures.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "backend_c/c_strings.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/symbols.h"

// Emitters of other parts of the C back end, called when linked in.
void c_emit_new_list(ListRecord* list) __attribute__((weak));
void c_emit_array_alloc(ArrayRecord* array) __attribute__((weak));
const char* c_format_array_address(ArrayRecord* array) __attribute__((weak));
void c_emit_string_variable_init(VariableRecord* variable, int32_t literal_number) __attribute__((weak));
void c_emit_assign_fixed_string(VariableRecord* variable, int32_t length, int32_t literal_number) __attribute__((weak));
const char* c_float_literal(double value) __attribute__((weak));

namespace {

constexpr uint8_t variable_item = 255;
constexpr uint32_t procedure_exported = 0x1000;
constexpr uint32_t procedure_declared_only = 0x4000;
constexpr uint16_t dynamic_init = STRUCT_HAS_ARRAYS | STRUCT_HAS_LISTS | STRUCT_HAS_MAPS;

bool item_is_used(const DataItem* item)
{
    if (debugger_enabled || !item->procedure) return true;
    const ProcedureRecord* procedure = item->procedure;
    if (procedure->use_count != 0) return true;
    return (procedure->flags & (procedure_exported | procedure_declared_only)) == procedure_exported;
}

// The type an item is declared by: its kind, or for a variable the
// variable's type (7 only for a pointer to a structure; -1 for a structure
// that needs set-up, 0 for another structure).
int32_t item_type(const DataItem* item)
{
    if (item->kind != variable_item) return item->kind;
    const auto* variable = static_cast<const VariableRecord*>(item->object);
    if (!variable) return 0;
    if (variable->type == TYPE_STRUCTURE) {
        if (variable->pointer) return TYPE_STRUCTURE;
        if (variable->structure && (variable->structure->flags & dynamic_init)) return -1;
        return 0;
    }
    return variable->type;
}

template <typename Visit>
void for_each_used_item(Visit visit)
{
    for (ListNode* node = data_item_list ? data_item_list->first : nullptr; node; node = node->next) {
        auto* item = reinterpret_cast<DataItem*>(node);
        if (item_is_used(item)) visit(item);
    }
}

std::string lvalue_of(const DataItem* item)
{
    auto* variable = static_cast<VariableRecord*>(item->object);
    return c_format_variable_operand ? std::string(c_format_variable_operand(variable)) : std::string();
}

void emit_declaration(DataItem* item)
{
    int32_t type = item_type(item);
    const char* c_type = nullptr;
    switch (type) {
    case TYPE_BYTE: c_type = "char "; break;
    case TYPE_ASCII: c_type = "unsigned char "; break;
    case TYPE_WORD: c_type = "short "; break;
    case TYPE_CHARACTER:
    case TYPE_UNICODE: c_type = "unsigned short "; break;
    case TYPE_LONG: c_type = "int "; break;
    case TYPE_QUAD:
    case TYPE_INTEGER: c_type = "quad "; break;
    case TYPE_FLOAT: c_type = "float "; break;
    case TYPE_DOUBLE: c_type = "double "; break;
    default: break;
    }
    if (c_type) {
        std::string lvalue = lvalue_of(item);
        if (lvalue.empty()) return;
        emit_line((c_type + lvalue + "=" + c_initial_value_text(type, item->value) + ";").c_str());
        return;
    }
    if (type == TYPE_STRUCTURE) {
        auto* variable = static_cast<VariableRecord*>(item->object);
        std::string lvalue = lvalue_of(item);
        if (lvalue.empty() || !variable->structure) return;
        emit_line((std::string(c_structure_name(variable->structure)) + "*" + lvalue + "=" + c_initial_value_text(TYPE_INTEGER, item->value) + ";").c_str());
    } else if (type == TYPE_LIST) {
        if (c_format_list_address) emit_line3("zd_list ", c_format_list_address(static_cast<ListRecord*>(item->object)), "={0};");
    } else if (type == TYPE_MAP) {
        if (c_format_map_address) emit_line3("zd_map ", c_format_map_address(static_cast<MapRecord*>(item->object)), "={0};");
    } else if (type == TYPE_ARRAY) {
        c_emit_array_declaration(static_cast<ArrayRecord*>(item->object));
    } else if (c_emit_variable_declaration) {
        c_emit_variable_declaration(static_cast<VariableRecord*>(item->object));
    }
}

void emit_array_init(ArrayRecord* array)
{
    if (!array || !c_emit_array_alloc) return;
    if (array->dimension_count > 1 && array->constant_sizes && c_format_array_address) {
        std::string address = c_format_array_address(array);
        for (int32_t d = 0; d < array->dimension_count; d++)
            emit_format("%s%sb[%d]=%d; ", address.c_str(), (array->flags & ARRAY_PARAMETER) ? "->" : ".", d,
                        int32_t(array->constant_sizes[d]));
    }
    current_operand.kind = OPERAND_CONSTANT;
    c_emit_array_alloc(array);
}

}  // namespace

void c_emit_static_items()
{
    c_emit_comment("");
    for_each_used_item([](DataItem* item) {
        emit_declaration(item);
        sync_output_buffer();
    });
}

void c_record_static_item_literals()
{
    for_each_used_item([](DataItem* item) {
        int32_t type = item_type(item);
        if ((type == TYPE_STRING || type == TYPE_FIXED_STRING) && item->initialised && item->value)
            c_string_literal_name(int32_t(item->value));
    });
}

void c_settle_static_structures()
{
    for_each_used_item([](DataItem* item) {
        if (item_type(item) != -1) return;
        static_cast<VariableRecord*>(item->object)->structure->flags |= STRUCT_NEEDS_INIT;
        c_runtime_used[C_SYS_InitDynamicStructure] = 1;
    });
}

void c_emit_static_item_inits()
{
    for_each_used_item([](DataItem* item) {
        int32_t type = item_type(item);
        auto* variable = static_cast<VariableRecord*>(item->object);
        switch (type) {
        case -1:
            c_emit_init_dynamic_structure(variable);
            break;
        case TYPE_STRING:
            if (c_emit_string_variable_init) c_emit_string_variable_init(variable, int32_t(item->value));
            break;
        case TYPE_FIXED_STRING:
            if (c_emit_assign_fixed_string) c_emit_assign_fixed_string(variable, variable->size, int32_t(item->value));
            break;
        case TYPE_LIST:
            if (c_emit_new_list) c_emit_new_list(static_cast<ListRecord*>(item->object));
            break;
        case TYPE_MAP:
            c_emit_new_map(static_cast<MapRecord*>(item->object), nullptr);
            break;
        case TYPE_ARRAY:
            emit_array_init(static_cast<ArrayRecord*>(item->object));
            break;
        default:
            break;
        }
        sync_output_buffer();
    });
}

void c_emit_deferred_declarations()
{
    c_emit_comment("");
    TextBuffer* deferred = c_deferred_declarations_buffer();
    if (!deferred || !deferred->start || deferred->write <= deferred->start) return;
    // Appended as it stands: the text holds whole lines.
    std::string text(deferred->start, deferred->write);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    emit_line(text.c_str());
}

std::string c_initial_value_text(int32_t type, int64_t value)
{
    char text[128];
    switch (type) {
    case TYPE_BYTE: std::snprintf(text, sizeof text, "%d", int(int8_t(value))); break;
    case TYPE_WORD: std::snprintf(text, sizeof text, "%d", int(int16_t(value))); break;
    case TYPE_LONG: std::snprintf(text, sizeof text, "%d", int(int32_t(value))); break;
    case TYPE_ASCII: std::snprintf(text, sizeof text, "%u", unsigned(uint8_t(value))); break;
    case TYPE_CHARACTER:
    case TYPE_UNICODE: std::snprintf(text, sizeof text, "%u", unsigned(uint16_t(value))); break;
    case TYPE_FLOAT: {
        // A float item holds the bits of the single-precision value.
        float single;
        int32_t bits = int32_t(value);
        std::memcpy(&single, &bits, sizeof single);
        return c_float_literal(double(single));
    }
    case TYPE_DOUBLE: {
        double real;
        std::memcpy(&real, &value, sizeof real);
        return c_float_literal(real);
    }
    default:
        if (value == INT64_MIN) return "(-9223372036854775807LL-1)";
        std::snprintf(text, sizeof text, "%lld", (long long)value);
        break;
    }
    return text;
}
