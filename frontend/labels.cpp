// Labels and the jump statements that name them.
#include "frontend/labels.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"

CursorList* main_labels = nullptr;
CursorList* main_label_references = nullptr;
CursorList* procedure_labels = nullptr;
CursorList* procedure_label_references = nullptr;
CursorList* module_label_references = nullptr;
const char* label_scope_procedure = nullptr;
const char* label_scope_module = nullptr;

namespace {

constexpr int label_name_capacity = 1024;

// Assembly names declared in this compilation, to catch two scopes whose
// names give the same symbol ("a_b" + "c" and "a" + "b_c").
CursorList* declared_asm_names = nullptr;

struct NameSlot {
    ListNode link;
    char* text;
};

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(const char* a, const char* b)
{
    for (;; a++, b++) {
        if (fold(*a) != fold(*b)) return false;
        if (*a == 0) return true;
    }
}

void lower_in_place(char* text)
{
    for (; *text; text++) *text = fold(*text);
}

CursorList* scope_labels()
{
    return label_scope_procedure ? procedure_labels : main_labels;
}

CursorList* scope_references()
{
    if (label_scope_procedure) return procedure_label_references;
    return label_scope_module ? module_label_references : main_label_references;
}

LabelRecord* append_label(CursorList* list)
{
    list->current = list->last;
    LabelRecord* record = static_cast<LabelRecord*>(list_add(list));
    std::memset(reinterpret_cast<char*>(record) + sizeof(ListNode), 0, sizeof(LabelRecord) - sizeof(ListNode));
    return record;
}

LabelRecord* find_in(CursorList* list, const char* name)
{
    for (ListNode* node = list ? list->first : nullptr; node; node = node->next) {
        LabelRecord* label = reinterpret_cast<LabelRecord*>(node);
        if (same_name(label->name, name)) return label;
    }
    return nullptr;
}

bool asm_name_taken(const char* asm_name)
{
    for (ListNode* node = declared_asm_names->first; node; node = node->next) {
        if (std::strcmp(reinterpret_cast<NameSlot*>(node)->text, asm_name) == 0) return true;
    }
    return false;
}

void remember_asm_name(const char* asm_name)
{
    declared_asm_names->current = declared_asm_names->last;
    NameSlot* slot = static_cast<NameSlot*>(list_add(declared_asm_names));
    slot->text = pool_strdup(asm_name);
}

void emit_statement_marker()
{
    if (!line_markers_suppressed && backend && backend->emit_line_marker) backend->emit_line_marker("DBL");
}

int32_t reference_line()
{
    return current_line - continuation_count;
}

// Reports error 101 for a reference at its own line and file.
void report_missing_label(const LabelRecord* reference, bool at_source_end)
{
    continuation_count = 0;
    // The end-of-source check is followed by the reader's own line step.
    current_line = at_source_end ? reference->line - 1 : reference->line;
    set_error_format(101, reference->name);
    if (reference->file && error_number == 101) {
        error_include_line = reference->line;
        std::snprintf(error_include_file, sizeof error_include_file, "%s", reference->file);
    }
}

// Checks one scope's references against its labels; moves fallback
// references of a procedure to the enclosing scope.
void check_scope(CursorList* labels, CursorList* references, bool in_procedure_scope, bool at_source_end)
{
    for (ListNode* node = references->first; node && !error_number; node = node->next) {
        LabelRecord* reference = reinterpret_cast<LabelRecord*>(node);
        if (find_in(labels, reference->name)) continue;
        if (in_procedure_scope && (reference->flags & LABEL_FALLBACK)) {
            CursorList* outer = label_scope_module ? module_label_references : main_label_references;
            LabelRecord* moved = append_label(outer);
            moved->name = reference->name;
            moved->flags = (reference->flags & LABEL_SKIP_CHECK) ? (LABEL_SKIP_CHECK | LABEL_FALLBACK) : LABEL_FALLBACK;
            moved->line = reference->line;
            moved->file = reference->file;
            moved->module = reference->module;
            moved->procedure = pool_strdup(label_scope_procedure);
            continue;
        }
        if (reference->flags & LABEL_SKIP_CHECK) continue;
        report_missing_label(reference, at_source_end);
    }
}

// Reads the label name after Goto or Gosub and records the reference;
// returns the assembly name, or null after an error.
const char* read_jump_target()
{
    read_token();
    if (statement_word[0] == 0) {
        set_error(1);
        return nullptr;
    }
    if (token_code == TOKEN_MODULE_SEPARATOR) {
        // Modules are not declared in this compilation model yet.
        set_error_format(278, statement_word);
        return nullptr;
    }
    std::string name = statement_word;
    emit_statement_marker();
    add_label_reference(name.c_str(), label_scope_procedure ? LABEL_FALLBACK : 0);
    if (token_code != TOKEN_END) {
        set_error(4);
        return nullptr;
    }
    return make_label_asm_name(name.c_str());
}

}  // namespace

void create_label_lists()
{
    main_labels = create_list(sizeof(LabelRecord), 0);
    main_label_references = create_list(sizeof(LabelRecord), 0);
    procedure_labels = create_list(sizeof(LabelRecord), 0);
    procedure_label_references = create_list(sizeof(LabelRecord), 0);
    module_label_references = create_list(sizeof(LabelRecord), 0);
    declared_asm_names = create_list(sizeof(NameSlot), 0);
    label_scope_procedure = nullptr;
    label_scope_module = nullptr;
}

LabelRecord* find_label(const char* name)
{
    return find_in(scope_labels(), name);
}

const char* make_label_asm_name(const char* name)
{
    static char buffer[label_name_capacity];
    if (label_scope_procedure) {
        if (label_scope_module) std::snprintf(buffer, sizeof buffer, "%s.ll_%s_%s", label_scope_module, label_scope_procedure, name);
        else std::snprintf(buffer, sizeof buffer, "ll_%s_%s", label_scope_procedure, name);
    } else if (label_scope_module) {
        std::snprintf(buffer, sizeof buffer, "%s.l_%s", label_scope_module, name);
    } else {
        std::snprintf(buffer, sizeof buffer, "l_%s", name);
    }
    lower_in_place(buffer);
    return buffer;
}

LabelRecord* label_declare(const char* name)
{
    if (find_label(name)) {
        set_error(107);
        return nullptr;
    }
    std::string asm_name = make_label_asm_name(name);
    if (asm_name_taken(asm_name.c_str())) {
        set_error(107);
        return nullptr;
    }
    remember_asm_name(asm_name.c_str());
    LabelRecord* label = append_label(scope_labels());
    label->name = pool_strdup(name);
    label->line = reference_line();
    label->file = current_include_name ? pool_strdup(current_include_name) : nullptr;
    label->module = label_scope_module ? pool_strdup(label_scope_module) : nullptr;
    if (in_datasection) {
        label->flags |= LABEL_DATA;
        emit_data_text((asm_name + ":\n").c_str());
    } else {
        emit_line2(asm_name.c_str(), backend && backend->label_line_end ? backend->label_line_end : ":");
    }
    return label;
}

LabelRecord* add_label_reference(const char* name, uint16_t flags)
{
    LabelRecord* reference = append_label(scope_references());
    reference->name = pool_strdup(name);
    reference->flags = flags;
    reference->line = reference_line();
    reference->file = current_include_name ? pool_strdup(current_include_name) : nullptr;
    reference->module = label_scope_module ? pool_strdup(label_scope_module) : nullptr;
    return reference;
}

void compile_label_name(const char* name)
{
    // The statement is "name:" with nothing between the name and the colon.
    if (parse_pointer < statement_start + 2 || parse_pointer[-1] != ':' || parse_pointer[-2] == ' ' ||
        parse_pointer[-2] == '\t') {
        set_error(1);
        return;
    }
    label_declare(name);
}

void labels_enter_procedure(const char* name)
{
    label_scope_procedure = pool_strdup(name);
    list_clear(procedure_labels);
    list_clear(procedure_label_references);
}

void labels_end_procedure()
{
    labels_check_references();
    list_clear(procedure_labels);
    list_clear(procedure_label_references);
    label_scope_procedure = nullptr;
}

void labels_check_references()
{
    if (label_scope_procedure) check_scope(procedure_labels, procedure_label_references, true, false);
    else check_scope(main_labels, main_label_references, false, false);
}

void check_label_references()
{
    if (!main_labels) return;
    check_scope(main_labels, main_label_references, false, true);
}

void emit_label_aliases()
{
    if (commented_output) emit_comment(";");
    for (ListNode* node = main_label_references ? main_label_references->first : nullptr; node; node = node->next) {
        LabelRecord* reference = reinterpret_cast<LabelRecord*>(node);
        if (!(reference->flags & LABEL_FALLBACK) || !reference->procedure) continue;
        char line[label_name_capacity * 3];
        std::snprintf(line, sizeof line, "define ll_%s_%s l_%s", reference->procedure, reference->name, reference->name);
        lower_in_place(line);
        if (commented_output) emit_comment(line);
        emit_line(line);
    }
}

// ---------------------------------------------------------------------------
// Jump statements.

void compile_goto_statement()
{
    const char* target = read_jump_target();
    if (!target) return;
    if (backend && backend->emit_goto) backend->emit_goto(target);
}

void compile_gosub_statement()
{
    if (in_procedure) {
        set_error(105);
        return;
    }
    const char* target = read_jump_target();
    if (!target) return;
    std::string label = target;
    if (backend && backend->emit_gosub) backend->emit_gosub(label.c_str());
}

void compile_return_statement()
{
    if (in_procedure) {
        set_error(105);
        return;
    }
    emit_statement_marker();
    if (backend && backend->emit_return_from_gosub) backend->emit_return_from_gosub();
}

void compile_fakereturn_statement()
{
    emit_statement_marker();
    if (backend && backend->emit_fake_return) backend->emit_fake_return();
}

void compile_end_statement()
{
    if (dll_mode) {
        set_error_format(211, "End");
        return;
    }
    emit_statement_marker();
    bool with_value = !(token_code == TOKEN_END);
    if (with_value) {
        // The byte after the keyword was read as its operator: the value
        // starts there. A float value stays on the x87 stack for the store.
        bool operator_word = token_code >= TOKEN_TO && token_code <= TOKEN_OR;
        if (!operator_word && parse_pointer > statement_start) parse_pointer--;
        if (!compile_expression(EXPR_RESET_REGISTERS | EXPR_KEEP_FPU_RESULT, 0)) return;
    }
    if (backend && backend->emit_end_statement) backend->emit_end_statement(with_value ? 1 : 0);
}
