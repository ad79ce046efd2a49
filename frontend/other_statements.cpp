// Runtime: the items whose names the program can look up while it runs.
#include "frontend/other_statements.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/core_globals.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

int32_t debug_level = 0;
int32_t data_section_label_written = 0;

namespace {

// A word that begins a statement Runtime hands on whole.
bool is_runtime_statement_word(const char* word)
{
    static const char* const words[] = {"Procedure",      "ProcedureC",      "ProcedureDLL",
                                        "ProcedureCDLL",  "Procedure$",      "ProcedureC$",
                                        "ProcedureDLL$",  "ProcedureCDLL$",  "Enumeration",
                                        "EnumerationBinary"};
    for (const char* candidate : words) {
        if (strcasecmp(candidate, word) == 0) {
            return true;
        }
    }
    return false;
}

// The word at the parse pointer (without reading it).
std::string word_at(const char* p)
{
    std::string word;
    while (identifier_chars[static_cast<unsigned char>(*p)] || *p == '$') {
        word += *p++;
    }
    return word;
}

// A procedure of that name in the explicit or current module, or the main scope.
ProcedureRecord* find_runtime_procedure(const char* name)
{
    ModuleRecord* modules[2] = {explicit_module ? explicit_module : current_module, main_module};
    for (ModuleRecord* module : modules) {
        if (module && module->procedures) {
            if (HashEntry* entry = hash_find(module->procedures, name)) {
                return reinterpret_cast<ProcedureRecord*>(entry);
            }
        }
    }
    return nullptr;
}

// One item of the list; the current token is its first.
void compile_runtime_item()
{
    bool constant = false;
    bool pointer = false;
    // The '#' or '*' of the item, in front of its name or after its module
    // prefix ("Cfg::#Level").
    auto read_item_mark = [&]() {
        if (!statement_word[0] && token_code == '#') {
            constant = true;
            read_token();
        } else if (!statement_word[0] && token_code == '*') {
            pointer = true;
            read_token();
        }
    };
    read_item_mark();
    if (error_number) {
        return;
    }
    bool prefixed = resolve_word_module_prefix();
    if (prefixed && !error_number && !constant && !pointer) {
        read_item_mark();
    }
    if (error_number) {
        return;
    }
    if (!statement_word[0]) {
        set_error(ERROR_SYNTAX);
        return;
    }
    char name[STATEMENT_WORD_SIZE];
    std::snprintf(name, sizeof name, "%s", statement_word);
    if (constant) {
        ConstantRecord* record = find_constant(name);
        explicit_module = nullptr;
        if (error_number) {
            return;
        }
        if (!record) {
            char shown[STATEMENT_WORD_SIZE + 1];
            std::snprintf(shown, sizeof shown, "#%s", name);
            set_error_format(ERROR_RUNTIME_ITEM_NOT_DECLARED, shown);
            return;
        }
        record->flags |= constant_flag_runtime;
        return;
    }
    if (token_code == '(') {
        read_operator();
        if (token_code != ')') {
            set_error(ERROR_SYNTAX);
            return;
        }
        ProcedureRecord* procedure = find_runtime_procedure(name);
        explicit_module = nullptr;
        if (!procedure) {
            char shown[STATEMENT_WORD_SIZE + 2];
            std::snprintf(shown, sizeof shown, "%s()", name);
            set_error_format(ERROR_RUNTIME_ITEM_NOT_DECLARED, shown);
            return;
        }
        // Registered by the program output (the second flag); not exported.
        procedure->second_flags |= PROC_SECOND_RUNTIME;
        procedure->use_count++;
        read_operator();
        return;
    }
    VariableRecord* variable = find_variable_scoped(name, pointer);
    explicit_module = nullptr;
    if (!variable) {
        set_error_format(ERROR_RUNTIME_ITEM_NOT_DECLARED, get_key_display_name(make_variable_key(name, false, pointer)));
        return;
    }
    if (variable->type == TYPE_STRUCTURE && !pointer) {
        set_error_format(ERROR_RUNTIME_STRUCTURED_VARIABLE, name);
        return;
    }
    if (variable->type == TYPE_FIXED_STRING) {
        set_error_format(ERROR_RUNTIME_FIXED_STRING, name);
        return;
    }
    variable->flags |= VAR_RUNTIME;
}

}  // namespace

void reset_other_statements()
{
    debug_level = 0;
    data_section_label_written = 0;
    runtime_statement_flag = 0;
}

void compile_runtime_statement()
{
    if (token_code == TOKEN_END) {
        set_error(ERROR_SYNTAX);
        return;
    }
    // Put back the first byte of an item that the keyword's read took as
    // its operator ('#' or '*').
    if (token_code != TOKEN_NO_OPERATOR) {
        parse_pointer--;
    }
    while (*parse_pointer == ' ' || *parse_pointer == '\t') {
        parse_pointer++;
    }
    std::string word = word_at(parse_pointer);
    if (!word.empty() && is_runtime_statement_word(word.c_str())) {
        runtime_statement_flag = 1;
        compile_statement();
        runtime_statement_flag = 0;
        return;
    }
    for (;;) {
        read_token();
        if (error_number) {
            return;
        }
        compile_runtime_item();
        if (error_number || token_code == TOKEN_END) {
            return;
        }
        if (token_code != ',') {
            set_error(ERROR_SYNTAX);
            return;
        }
    }
}
