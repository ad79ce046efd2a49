// Labels: declarations, references resolved when their scope ends, the
// assembly names of labels, the alias lines of references that fall back from
// a procedure to the main program, and the jump statements that name labels
// (Goto, Gosub, Return, FakeReturn, End).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/cursor_list.h"

// Label flags.
constexpr uint16_t LABEL_DATA = 0x0002;          // declared inside a DataSection
constexpr uint16_t LABEL_FALLBACK = 0x0004;      // reference may fall back to the enclosing scope
constexpr uint16_t LABEL_PUBLIC = 0x0008;        // declared inside a DeclareModule section
constexpr uint16_t LABEL_SKIP_CHECK = 0x0010;    // reference skipped by the check

struct LabelRecord {
    ListNode link;
    char* name;              // as written (compilation pool)
    uint16_t flags;
    int32_t line;            // line of the declaration or reference
    char* file;              // include file name, or null in the main source
    int32_t data_offset;
    char* module;            // module name, or null
    char* procedure;         // procedure of a moved reference, or null
};

// Lists of the compilation (compilation heap).
extern CursorList* main_labels;
extern CursorList* main_label_references;
extern CursorList* procedure_labels;
extern CursorList* procedure_label_references;
extern CursorList* module_label_references;
// The procedure whose body is being compiled (null in the main program),
// and the module section that is open (null when none).
extern const char* label_scope_procedure;
extern const char* label_scope_module;

// Start of each compilation: the five lists, empty.
void create_label_lists();

// The label of that name in the current scope (ASCII case folding), or null.
LabelRecord* find_label(const char* name);
// The assembly name of a label in the current scope ("l_x", "ll_p_x",
// "m.l_x", "m.ll_p_x"), lower-cased; static buffer.
const char* make_label_asm_name(const char* name);
// Declares a label in the current scope and writes "name:"; error 107 for a
// duplicate (also for a name that another scope turns into the same symbol).
LabelRecord* label_declare(const char* name);
// Records a reference in the current scope's reference list.
LabelRecord* add_label_reference(const char* name, uint16_t flags);

// The label lists that hold declarations: the main program's, then each
// module's.
std::vector<CursorList*> declared_label_lists();
// Two label or module names that are one (ASCII case folding; null never
// matches).
bool same_label_name(const char* a, const char* b);
// The module whose label `name` means: with a module prefix pending, that
// module (error 280 when it has no such label, or a private one of another
// module); else the current module (null: the main program), replaced by
// each module in use that has a public label of the name.
struct ModuleRecord* find_module_label(const char* name);
// The label that a Goto, Gosub, Restore, "?" or a Data address names: the
// word read last, or "Module::" and the next word. Returns its assembly name
// and, for a label of the current scope, records the reference (when
// `record`) that the scope's end checks; inside a procedure the reference
// may fall back to the enclosing scope's labels unless `own_scope_only`.
// Empty after an error.
std::string resolve_label_reference(bool record, bool own_scope_only = false);

// A statement "name:" declares a label.
void compile_label_name(const char* name);

// Procedure scope: the owner of procedures calls these at Procedure and at
// EndProcedure (the end runs the check and empties the procedure lists).
void labels_enter_procedure(const char* name);
void labels_end_procedure();
// End of source: every referenced main label must be defined.
void check_label_references();
// The check of the scope that ends (procedure or main).
void labels_check_references();
// EndModule: the module's references against its labels (101), its
// fallen-back procedure references as aliases (back end), then they go.
void labels_end_module();
// x64: the "define" lines of a module's fallen-back procedure references,
// into the label buffer (written before the code).
void emit_module_label_aliases(const char* module);

// The "define" lines that map a procedure's name of a fallen-back main label
// to the main label (current output buffer).
void emit_label_aliases();
