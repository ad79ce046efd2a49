// Structure fields in C: the shared field compiler walks a chain
// "a\b\c[i]" and tells each step; here the steps become one C lvalue,
// "v_a.f_b.f_c[v_i]", "p_p->f_next->f_value" or, for a fixed-string field,
// its address "&v_a.f_name". Chains nest (a field inside an index of
// another), so the open chains are kept on a stack.
#include "backend_c/c_structure_fields.h"

#include <cstdio>
#include <string>
#include <vector>

#include "backend_c/c_expressions.h"
#include "backend_c/c_structures.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/structure_fields.h"
#include "frontend/symbols.h"

namespace {

struct FieldChain {
    std::string path;             // the lvalue so far
    const char* separator;        // "." or "->" before the next member
    const FieldRecord* last;      // the field named last
    size_t index_depth;           // open chains when a computed index began
    std::string index_text;       // that index, once compiled
};

std::vector<FieldChain> chains;
// The container fields being accessed, innermost last.
std::vector<std::string> container_fields;
// The chain depth at each computed index still open, innermost last.
std::vector<size_t> index_marks;

FieldChain* current_chain() { return chains.empty() ? nullptr : &chains.back(); }

// A pointer member that C declares as an integer (an element of a static
// array of pointers) is cast to the structure it points to.
bool member_is_integer_pointer(const FieldRecord* field)
{
    return field && (field->flags & FIELD_POINTER) && field->static_count >= 0 && field->type == TYPE_STRUCTURE &&
           !(field->flags & (FIELD_INTERFACE | FIELD_PROTOTYPE)) && field->type_name && field->type_name[0];
}

void load_structure_base(const char* operand, int32_t is_pointer)
{
    chains.push_back({operand ? operand : "", is_pointer ? "->" : ".", nullptr, 0, std::string()});
}

// With the debugger checks, every pointer the chain goes through is
// checked before it is used; the pointer is named once, so a long chain
// stays linear.
void check_pointer_base(FieldChain* chain)
{
    if (!debugger_code || no_output_depth) return;
    chain->path = "({__auto_type zd_checked=(" + chain->path + ");SYS_CheckPointer(zd_checked);zd_checked;})";
}

void name_field(const FieldRecord* field)
{
    FieldChain* chain = current_chain();
    if (!chain) return;
    if (chain->separator[0] == '-') check_pointer_base(chain);
    chain->path += chain->separator;
    chain->path += c_field_member_name(field);
    chain->separator = ".";
    chain->last = field;
}

void name_field_index(int64_t index)
{
    FieldChain* chain = current_chain();
    if (!chain) return;
    chain->path += "[" + std::to_string(index) + "]";
}

// A computed index: chains opened by the index itself come and go above
// this one.
void keep_field_base() { index_marks.push_back(chains.size()); }

void scale_field_index(int32_t, int64_t)
{
    std::string index = c_operand_text();
    size_t depth = index_marks.empty() ? chains.size() : index_marks.back();
    if (depth > 0 && depth <= chains.size()) chains[depth - 1].index_text = index;
}

void apply_field_index(int32_t)
{
    size_t depth = chains.size();
    if (!index_marks.empty()) {
        depth = index_marks.back();
        index_marks.pop_back();
    }
    if (depth < chains.size()) chains.resize(depth);
    FieldChain* chain = current_chain();
    if (!chain) return;
    chain->path += "[" + chain->index_text + "]";
    chain->index_text.clear();
}

void load_pointer_field(int64_t)
{
    FieldChain* chain = current_chain();
    if (!chain) return;
    if (member_is_integer_pointer(chain->last))
        chain->path = "((" + c_pointed_structure_name(chain->last, current_module) + "*)" + chain->path + ")";
    chain->separator = "->";
}

void add_field_offset(int64_t) {}

void field_check() {}

// A computed index of a static array field, checked against its count
// before the statement uses it.
void structure_array_check(int64_t element_count)
{
    if (no_output_depth) return;
    std::string line = "SYS_CheckStructureArrayIndex(" + std::to_string(element_count) + "," + c_operand_text() + ");";
    emit_line(line.c_str());
}

// The finished chain: its lvalue (a fixed string by its address).
const char* format_field_operand(int32_t, int64_t)
{
    static std::string text;
    FieldChain* chain = current_chain();
    if (!chain) {
        text.clear();
        return text.c_str();
    }
    const FieldRecord* field = chain->last;
    bool fixed = field && field->type == TYPE_FIXED_STRING && !(field->flags & FIELD_POINTER);
    text = fixed ? "&" + chain->path : chain->path;
    chains.pop_back();
    return text.c_str();
}

// The chain so far names the container: it becomes the container's lvalue.
void enter_container_field(int64_t)
{
    FieldChain* chain = current_chain();
    container_fields.push_back(chain ? chain->path : std::string());
    if (chain) chains.pop_back();
}

void leave_container_field_chain(int32_t kept)
{
    if (container_fields.size() <= static_cast<size_t>(kept)) return;
    container_fields.erase(container_fields.end() - 1 - kept);
}

}  // namespace

void c_reset_field_chains()
{
    chains.clear();
    index_marks.clear();
    container_fields.clear();
}

const char* c_container_field_lvalue() { return container_fields.empty() ? "" : container_fields.back().c_str(); }

const FieldHooks c_field_hooks = {
    .emit_load_structure_base = load_structure_base,
    .emit_keep_field_base = keep_field_base,
    .emit_scale_field_index = scale_field_index,
    .emit_apply_field_index = apply_field_index,
    .emit_load_pointer_field = load_pointer_field,
    .emit_add_field_offset = add_field_offset,
    .emit_field_check = field_check,
    .emit_structure_array_check = structure_array_check,
    .format_field_operand = format_field_operand,
    .name_field = name_field,
    .name_field_index = name_field_index,
    .emit_enter_container_field = enter_container_field,
    .emit_leave_container_field = leave_container_field_chain,
};
