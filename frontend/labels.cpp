// Labels and the jump statements that name them.
#include "frontend/labels.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"

CursorList* main_labels = nullptr;
CursorList* main_label_references = nullptr;
CursorList* procedure_labels = nullptr;
CursorList* procedure_label_references = nullptr;
CursorList* module_label_references = nullptr;
const char* label_scope_procedure = nullptr;
const char* label_scope_module = nullptr;

namespace {

constexpr int label_name_capacity = 1024;

// The first Gosub of the compilation (line -1: none) and whether a Return
// was compiled.
LabelRecord first_gosub;
bool return_compiled = false;

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

CursorList* labels_of(ModuleRecord* module)
{
    if (!module->labels) module->labels = create_list(sizeof(LabelRecord), 0);
    return module->labels;
}

CursorList* scope_labels()
{
    if (label_scope_procedure) return procedure_labels;
    return current_module ? labels_of(current_module) : main_labels;
}

const char* module_separator()
{
    return backend->label_module_separator;
}

// The name of a label declared at the level of `module` ("m.l_x").
std::string module_label_asm_name(const ModuleRecord* module, const char* name)
{
    std::string text = std::string(module_name(module)) + module_separator() + "l_" + name;
    lower_in_place(text.data());
    return text;
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
    if (!line_markers_suppressed) backend->emit_line_marker("DBL");
}

// The first line of the statement (current_line stays there until the
// whole logical line is compiled).
int32_t reference_line()
{
    return current_line;
}

// Reports an error at the line and file of a label reference. The line is
// counted from 0, as current_line is while a statement compiles; the reader
// steps it to the printed line after the statement (and at the source end).
void report_at(const LabelRecord* place, int number, const char* name)
{
    continuation_count = 0;
    current_line = place->line;
    if (name) set_error_format(number, name);
    else set_error(number);
    if (place->file && error_number == number) {
        error_include_line = place->line + 1;
        std::snprintf(error_include_file, sizeof error_include_file, "%s", place->file);
    }
}

void report_missing_label(const LabelRecord* reference)
{
    report_at(reference, ERROR_LABEL_NOT_FOUND, reference->name);
}

// Checks one scope's references against its labels; moves fallback
// references of a procedure to the enclosing scope.
void check_scope(CursorList* labels, CursorList* references, bool in_procedure_scope)
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
        report_missing_label(reference);
    }
}

// Reads the label name after Goto or Gosub and records the reference;
// returns the assembly name, or null after an error.
const char* read_jump_target()
{
    read_token();
    // A word after the label ("Goto a b") is garbage, not an operator.
    if (error_number) return nullptr;
    if (statement_word[0] == 0) {
        set_error(ERROR_SYNTAX);
        return nullptr;
    }
    emit_statement_marker();
    static std::string target;
    // A back end whose labels belong to their function finds a jump's
    // label in the procedure alone.
    target = resolve_label_reference(true, !backend->outer_label_jumps);
    if (error_number) return nullptr;
    if (token_code != TOKEN_END) {
        set_error(ERROR_GARBAGE_AT_END_OF_LINE);
        return nullptr;
    }
    return target.c_str();
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
    first_gosub = LabelRecord{};
    first_gosub.line = -1;
    return_compiled = false;
}

LabelRecord* find_label(const char* name)
{
    return find_in(scope_labels(), name);
}

std::vector<CursorList*> declared_label_lists()
{
    std::vector<CursorList*> lists;
    if (main_labels) lists.push_back(main_labels);
    if (!module_table) return lists;
    hash_reset_iterator(module_table);
    while (HashEntry* entry = hash_next(module_table)) {
        auto* module = reinterpret_cast<ModuleRecord*>(entry);
        if (module != main_module && module->labels) lists.push_back(module->labels);
    }
    return lists;
}

bool same_label_name(const char* a, const char* b)
{
    return a && b && same_name(a, b);
}

ModuleRecord* find_module_label(const char* name)
{
    if (ModuleRecord* module = explicit_module) {
        explicit_module = nullptr;
        LabelRecord* label = find_in(module->labels, name);
        if (!label || !((label->flags & LABEL_PUBLIC) || module == current_module)) {
            set_error_format(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
            return nullptr;
        }
        return module;
    }
    ModuleRecord* result = current_module;
    for (ListNode* node = modules_in_use ? modules_in_use->first : nullptr; node; node = node->next) {
        ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
        if (module == current_module) continue;
        LabelRecord* label = find_in(module->labels, name);
        if (label && (label->flags & LABEL_PUBLIC)) result = module;
    }
    return result;
}

std::string resolve_label_reference(bool record, bool own_scope_only)
{
    bool prefixed = token_code == TOKEN_MODULE_SEPARATOR;
    if (prefixed) {
        resolve_module_prefix(statement_word);
        // A word after the label is the caller's garbage, not an operator.
        if (error_number) return {};
        if (!statement_word[0]) {
            set_error(ERROR_SYNTAX);
            return {};
        }
    }
    std::string name = statement_word;
    ModuleRecord* module = find_module_label(name.c_str());
    if (error_number) return {};
    // A label of another module, or one the prefix names, is declared
    // already; the current scope's own labels are checked when it ends.
    if (prefixed || module != current_module) return module_label_asm_name(module, name.c_str());
    if (record) add_label_reference(name.c_str(), label_scope_procedure && !own_scope_only ? LABEL_FALLBACK : 0);
    return make_label_asm_name(name.c_str());
}

const char* make_label_asm_name(const char* name)
{
    static char buffer[label_name_capacity];
    const char* separator = module_separator();
    if (label_scope_procedure) {
        if (label_scope_module)
            std::snprintf(buffer, sizeof buffer, "%s%sll_%s_%s", label_scope_module, separator, label_scope_procedure, name);
        else std::snprintf(buffer, sizeof buffer, "ll_%s_%s", label_scope_procedure, name);
    } else if (label_scope_module) {
        std::snprintf(buffer, sizeof buffer, "%s%sl_%s", label_scope_module, separator, name);
    } else {
        std::snprintf(buffer, sizeof buffer, "l_%s", name);
    }
    lower_in_place(buffer);
    return buffer;
}

LabelRecord* label_declare(const char* name)
{
    if (find_label(name)) {
        set_error(ERROR_DUPLICATE_LABEL);
        return nullptr;
    }
    std::string asm_name = make_label_asm_name(name);
    if (asm_name_taken(asm_name.c_str())) {
        set_error(ERROR_DUPLICATE_LABEL);
        return nullptr;
    }
    remember_asm_name(asm_name.c_str());
    LabelRecord* label = append_label(scope_labels());
    label->name = pool_strdup(name);
    label->line = reference_line();
    label->file = current_include_name ? pool_strdup(current_include_name) : nullptr;
    label->module = label_scope_module ? pool_strdup(label_scope_module) : nullptr;
    // A DeclareModule section's labels are public.
    if (current_module && !label_scope_procedure && module_section_state() == 1) label->flags |= LABEL_PUBLIC;
    if (in_datasection) {
        label->flags |= LABEL_DATA;
        emit_data_text((asm_name + ":\n").c_str());
    } else {
        backend->emit_code_label(asm_name.c_str());
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
        set_error(ERROR_SYNTAX);
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
    if (label_scope_procedure) check_scope(procedure_labels, procedure_label_references, true);
    else check_scope(main_labels, main_label_references, false);
}

void check_label_references()
{
    if (!main_labels) return;
    check_scope(main_labels, main_label_references, false);
}

void labels_end_module()
{
    if (!current_module || !label_scope_module || !module_label_references) return;
    CursorList* labels = labels_of(current_module);
    for (ListNode* node = module_label_references->first; node && !error_number; node = node->next) {
        LabelRecord* reference = reinterpret_cast<LabelRecord*>(node);
        if (!same_label_name(reference->module, label_scope_module) || find_in(labels, reference->name)) continue;
        if (reference->flags & LABEL_SKIP_CHECK) continue;
        report_missing_label(reference);
    }
    if (error_number) return;
    backend->emit_module_label_aliases(label_scope_module);
    // The module's references are settled.
    list_reset_cursor(module_label_references);
    while (LabelRecord* reference = static_cast<LabelRecord*>(list_next(module_label_references))) {
        if (same_label_name(reference->module, label_scope_module)) list_delete_current(module_label_references);
    }
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

void emit_module_label_aliases(const char* module)
{
    push_output_buffer(label_buffer);
    for (ListNode* node = module_label_references->first; node; node = node->next) {
        LabelRecord* reference = reinterpret_cast<LabelRecord*>(node);
        if (!(reference->flags & LABEL_FALLBACK) || !reference->procedure || !same_label_name(reference->module, module))
            continue;
        char line[label_name_capacity * 3];
        std::snprintf(line, sizeof line, "define %s.ll_%s_%s %s.l_%s", module, reference->procedure, reference->name,
                      module, reference->name);
        lower_in_place(line);
        emit_line(line);
    }
    pop_output_buffer();
}

// ---------------------------------------------------------------------------
// Jump statements.

void compile_goto_statement()
{
    const char* target = read_jump_target();
    if (!target) return;
    backend->emit_goto(target);
}

void compile_gosub_statement()
{
    if (in_procedure) {
        set_error(ERROR_GOSUB_INSIDE_PROCEDURE);
        return;
    }
    if (first_gosub.line < 0) {
        first_gosub.line = reference_line();
        first_gosub.file = current_include_name ? pool_strdup(current_include_name) : nullptr;
    }
    const char* target = read_jump_target();
    if (!target) return;
    std::string label = target;
    backend->emit_gosub(label.c_str());
}

void compile_return_statement()
{
    if (in_procedure) {
        set_error(ERROR_GOSUB_INSIDE_PROCEDURE);
        return;
    }
    return_compiled = true;
    emit_statement_marker();
    backend->emit_return_from_gosub();
}

void check_gosub_return()
{
    if (first_gosub.line < 0 || return_compiled) return;
    report_at(&first_gosub, ERROR_GOSUB_WITHOUT_RETURN, nullptr);
}

void compile_fakereturn_statement()
{
    // A subroutine that leaves through FakeReturn and Goto has its return.
    return_compiled = true;
    emit_statement_marker();
    backend->emit_fake_return();
}

void compile_end_statement()
{
    if (dll_mode) {
        set_error_format(ERROR_COMMAND_NOT_IN_DLL, "End");
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
        // The exit code is a number: a string's text has none, and its
        // address is not the same from one build to the next.
        if (current_operand.kind == OPERAND_STRING || (current_operand.flags & OP_STRING)) {
            set_error_format(ERROR_NUMBER_EXPECTED_NOT_STRING, "End");
            return;
        }
    }
    backend->emit_end_statement(with_value ? 1 : 0);
}
