#include "backend_c/c_labels.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_data_statements.h"
#include "backend_c/c_globals.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/labels.h"

CursorList* c_referenced_procedure_labels = nullptr;

namespace {

// One formatted line, lower-cased as a whole (A to Z only).
void emit_lowered(const char* format, ...)
{
    if (no_output_depth) return;
    char line[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    for (char* p = line; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
    emit_line(line);
}

template <typename Visit>
void for_each_label(CursorList* list, Visit visit)
{
    for (ListNode* node = list ? list->first : nullptr; node; node = node->next) visit(reinterpret_cast<LabelRecord*>(node));
}

bool is_data_label(const LabelRecord* label)
{
    return (label->flags & LABEL_DATA) != 0;
}

}  // namespace

TextBuffer* c_deferred_declarations_buffer()
{
    return label_buffer;
}

void c_add_referenced_procedure_label(const char* module, const char* procedure, const char* name, uint16_t flags,
                                      int32_t data_offset)
{
    if (!c_referenced_procedure_labels) c_referenced_procedure_labels = create_list(sizeof(LabelRecord), 0);
    CursorList* list = c_referenced_procedure_labels;
    list->current = list->last;
    auto* label = static_cast<LabelRecord*>(list_add(list));
    std::memset(reinterpret_cast<char*>(label) + sizeof(ListNode), 0, sizeof(LabelRecord) - sizeof(ListNode));
    label->name = pool_strdup(name);
    label->flags = flags;
    label->data_offset = data_offset;
    label->module = module ? pool_strdup(module) : nullptr;
    label->procedure = pool_strdup(procedure);
}

void c_keep_procedure_labels()
{
    if (!label_scope_procedure || !procedure_labels) return;
    // The offsets of data labels declared after the procedure's last value.
    c_settle_data_labels();
    for_each_label(procedure_labels, [](LabelRecord* label) {
        c_add_referenced_procedure_label(label->module, label_scope_procedure, label->name, label->flags,
                                         label->data_offset);
    });
}

void c_emit_label_address_defines()
{
    // The offsets of labels declared after the last Data value.
    c_settle_data_labels();
    c_emit_comment("");
    // A module label carries its module.
    for (CursorList* list : declared_label_lists()) for_each_label(list, [](LabelRecord* label) {
        char name[1100];
        if (label->module) std::snprintf(name, sizeof name, "%s$l_%s", label->module, label->name);
        else std::snprintf(name, sizeof name, "l_%s", label->name);
        if (is_data_label(label)) {
            emit_lowered("#define %s %d", name, label->data_offset);
            emit_lowered("#define la_%s (&zd_data[%d])", name, label->data_offset);
        } else {
            emit_lowered("#define la_%s (&&%s)", name, name);
        }
    });
}

void c_emit_label_defines()
{
    c_emit_comment("");
    for_each_label(c_referenced_procedure_labels, [](LabelRecord* label) {
        const char* procedure = label->procedure ? label->procedure : "";
        if (is_data_label(label)) {
            if (label->module) {
                emit_lowered("#define %s$ll_%s_%s %d", label->module, procedure, label->name, label->data_offset);
                emit_lowered("#define la_%s$ll_%s_%s (&zd_data[%d])", label->module, procedure, label->name, label->data_offset);
            } else {
                emit_lowered("#define ll_%s_%s %d", procedure, label->name, label->data_offset);
                emit_lowered("#define la_ll_%s_%s (&zd_data[%d])", procedure, label->name, label->data_offset);
            }
        } else if (label->module) {
            emit_lowered("#define la_%s$ll_%s_%s (&&%s$ll_%s_%s)", label->module, procedure, label->name, label->module,
                         procedure, label->name);
        } else {
            emit_lowered("#define la_ll_%s_%s (&&ll_%s_%s)", procedure, label->name, procedure, label->name);
        }
    });
}

void c_emit_label_aliases()
{
    c_emit_comment("");
    for_each_label(main_label_references, [](LabelRecord* reference) {
        if (!(reference->flags & LABEL_FALLBACK) || !reference->procedure) return;
        emit_lowered("#define ll_%s_%s l_%s", reference->procedure, reference->name, reference->name);
        emit_lowered("#define la_ll_%s_%s (&zd_data[l_%s])", reference->procedure, reference->name, reference->name);
    });
}

void c_labels_emit_module(const char* module)
{
    push_output_buffer(c_deferred_declarations_buffer());
    for_each_label(module_label_references, [module](LabelRecord* reference) {
        if (!(reference->flags & LABEL_FALLBACK) || !reference->procedure || !reference->module) return;
        if (!same_label_name(reference->module, module)) return;
        emit_lowered("#define %s$ll_%s_%s %s$l_%s", reference->module, reference->procedure, reference->name,
                     reference->module, reference->name);
        emit_lowered("#define la_%s$ll_%s_%s (&zd_data[%s$l_%s])", reference->module, reference->procedure,
                     reference->name, reference->module, reference->name);
    });
    pop_output_buffer();
}
