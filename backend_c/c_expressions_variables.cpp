// Variables in the C file: the C lvalue that names a variable in an
// expression, and its declaration line among the program's globals.
#include <cstdio>
#include <cstring>
#include <string>

#include "backend_c/c_expressions.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_structures.h"
#include "backend_c/c_type_names.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "core/text_format.h"
#include "frontend/frontend_globals.h"
#include "frontend/modules.h"
#include "frontend/symbols.h"

namespace {

// "<module>X" in lower case for a variable of a named module; nothing for
// the main program (".Main") and for locals.
void append_module_prefix(std::string& out, const VariableRecord* variable)
{
    const ModuleRecord* module = variable->module;
    if (!module || !module->entry.key || module->entry.key[0] == '.' || module->entry.key[0] == 0) return;
    c_append_identifier_name(out, module->entry.key);
    out += 'X';
}

// The label of a Static item in C form: "so_<procedure>X<name>".
std::string static_item_name(const char* label)
{
    std::string name = label;
    for (char& c : name)
        if (c == '.') c = 'X';
    return name;
}

}  // namespace

void c_note_threaded_object()
{
    if (!no_output_depth) c_threaded_items_used = 1;
    if (in_procedure) procedure_uses_threaded = 1;
}

const char* c_format_variable_operand(VariableRecord* variable)
{
    static std::string text;
    const char* key = variable_key(variable);
    if (variable->flags & VAR_THREADED) {
        // The thread's block: the program's "tls", or the procedure's own
        // copy of it (declared by the prologue).
        c_note_threaded_object();
        char buffer[320];
        if (variable->type == TYPE_FIXED_STRING && !variable->pointer) {
            format_to_buffer(buffer, sizeof buffer, "&((%s*)(tls+%d))[0]", c_type_name(variable->type), variable->offset);
        } else if (variable->type == TYPE_STRUCTURE && variable->structure) {
            const char* stars = (variable->structure->flags & STRUCT_INTERFACE) ? "**" : variable->pointer ? "*" : "";
            format_to_buffer(buffer, sizeof buffer, "((%s%s*)(tls+%d))[0]", c_structure_name(variable->structure), stars,
                             variable->offset);
        } else {
            const char* type = variable->pointer ? "integer" : c_type_name(variable->type);
            format_to_buffer(buffer, sizeof buffer, "((%s*)(tls+%d))[0]", type, variable->offset);
        }
        text = buffer;
        return text.c_str();
    }
    if ((variable->flags & VAR_STATIC) && variable->item) {
        text = static_item_name(static_cast<DataItem*>(variable->item)->label);
        return text.c_str();
    }
    text.clear();
    append_module_prefix(text, variable);
    if (variable->flags & VAR_OWN_SYMBOL) {
        c_append_identifier_name(text, key);
    } else if (key[0] == '+') {
        c_append_identifier_name(text, key + 1);
    } else if (!(variable->flags & VAR_GLOBAL)) {
        c_append_identifier_name(text, key);
    } else {
        text += variable->pointer ? "gp" : "g";
        c_append_identifier_name(text, key + 1);
    }
    return text.c_str();
}

void c_emit_variable_declaration(VariableRecord* variable)
{
    const std::string name = c_format_variable_operand(variable);
    const std::string qualifier = (variable->flags & VAR_ADDRESS_TAKEN) ? "volatile " : "";
    std::string line;
    if (variable->type == TYPE_STRUCTURE && variable->structure) {
        std::string structure = c_structure_name(variable->structure);
        if (variable->structure->flags & STRUCT_INTERFACE) line = qualifier + structure + "**" + name + "=0;";
        else if (variable->pointer) line = qualifier + structure + "*" + name + "=0;";
        else line = qualifier + structure + " " + name + "={0};";
    } else if (variable->type == TYPE_STRING && !variable->pointer) {
        line = qualifier + "void* " + name + "=0;";
    } else if (variable->type == TYPE_FIXED_STRING && !variable->pointer) {
        line = qualifier + "unsigned short " + name + "[" + std::to_string(variable->size / 2) + "]={0};";
    } else if (variable->pointer) {
        line = qualifier + "integer " + name + "=0;";
    } else {
        line = qualifier + c_type_name(variable->type) + " " + name + "=0;";
    }
    emit_line(line.c_str());
}

void c_emit_free_string(VariableRecord* variable)
{
    if (!no_output_depth) {
        c_runtime_used[C_SYS_FreeString] = 1;
        string_manager_used = 1;
    }
    emit_format("SYS_FreeString(%s);", c_format_variable_operand(variable));
}

void c_emit_local_cleanup(VariableRecord* variable)
{
    if (variable->pointer || (variable->flags & VAR_STATIC)) return;
    if (variable->type == TYPE_STRING) {
        c_emit_free_string(variable);
    } else if (variable->type == TYPE_STRUCTURE && !(variable->flags & VAR_PARAMETER) && variable->structure &&
               (variable->structure->flags & STRUCT_DYNAMIC)) {
        variable->structure->flags |= STRUCT_NEEDS_INIT;
        std::string line = "SYS_FreeStructureStrings(&" + std::string(c_format_variable_operand(variable)) + ",m" +
                           c_structure_name(variable->structure) + ");";
        emit_line(line.c_str());
        if (!no_output_depth) c_runtime_used[C_SYS_FreeStructureStrings] = 1;
    }
}
