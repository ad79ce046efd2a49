// Macros: the macro tables, the Macro ... EndMacro capture, the expansion of
// a statement's macros into the expansion buffer, UndefineMacro and the
// "Macro.out" file written when an error stops an expanded statement.
//
// An expansion is built in a growing text first and then copied into the
// expansion buffer, so a runaway expansion is stopped by its size before it
// can pass the buffer's end.
#include "frontend/macros.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"
#include "frontend/modules.h"
#include "frontend/variables.h"
#include "frontend/statement_dispatcher.h"
#include "platform/platform.h"

HashTable* macro_table = nullptr;
// Macros defined in module tables this compilation (the module tables go
// with the compilation); with none anywhere, statements skip the expander.
static int64_t module_macros_defined = 0;
HashTable* resident_macro_table = nullptr;
MacroRecord* macro_being_defined = nullptr;

namespace {

char* expansion_buffer = nullptr;
char* expansion_write = nullptr;
int64_t macro_expansion_length = 0;
int32_t macro_out_written = 0;
// The body of the macro being captured, statements separated by 0x01.
std::string captured_body;

// Nesting of expansions (a macro call inside an argument inside a body ...);
// deeper is refused rather than risking the stack.
constexpr int max_expansion_depth = 256;

inline unsigned char byte_of(const char* p)
{
    return static_cast<unsigned char>(*p);
}

inline bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool same_name(const char* a, const char* b)
{
    for (; *a && *b; a++, b++) {
        if (uppercase_table[byte_of(a)] != uppercase_table[byte_of(b)]) {
            return false;
        }
    }
    return *a == 0 && *b == 0;
}

bool same_name(const std::string& a, const char* b)
{
    return same_name(a.c_str(), b);
}

MacroRecord* find_in(HashTable* table, const char* name)
{
    return table ? reinterpret_cast<MacroRecord*>(hash_find(table, name)) : nullptr;
}

// The lookup without an explicit module: modules in use (public macros),
// then the global table outside module sections, or the resident macros and
// the current module's table inside one.
MacroRecord* find_macro_in_scope(const char* name)
{
    if (modules_in_use) {
        for (ListNode* node = modules_in_use->first; node; node = node->next) {
            ModuleRecord* module = reinterpret_cast<ModuleUse*>(node)->module;
            MacroRecord* macro = find_in(module->macros, name);
            if (macro && (macro->flags & macro_flag_public)) {
                return macro;
            }
        }
    }
    if (!current_module) {
        return find_in(macro_table, name);
    }
    if (resident_macro_table) {
        HashEntry* reference = hash_find(resident_macro_table, name);
        if (reference) {
            return reinterpret_cast<ResidentMacroReference*>(reference)->macro;
        }
    }
    return find_in(current_module->macros, name);
}

// A macro named after an explicit module prefix: only public ones.
MacroRecord* find_macro_in_module(ModuleRecord* module, const char* name)
{
    MacroRecord* macro = find_in(module->macros, name);
    if (macro && !(macro->flags & macro_flag_public)) {
        set_error_format_always(ERROR_MODULE_ITEM_NOT_PUBLIC, name);
        return nullptr;
    }
    return macro;
}

// Skips a string literal or character constant at p (p at its opening
// quote); in a string opened by ~" a backslash escapes the next byte.
const char* skip_quoted(const char* start_of_text, const char* p)
{
    char quote = *p;
    bool escaped = quote == '"' && p > start_of_text && p[-1] == '~';
    p++;
    while (*p && *p != quote && *p != '\r' && *p != '\n') {
        if (escaped && *p == '\\' && p[1]) {
            p++;
        }
        p++;
    }
    if (*p == quote) {
        p++;
    }
    return p;
}

bool is_name_start(unsigned char c)
{
    return identifier_chars[c] != 0;
}

// Reads a name (name characters and an optional '$') at p.
const char* read_name(const char* p, std::string& name)
{
    name.clear();
    while (identifier_chars[byte_of(p)]) {
        name += *p++;
    }
    if (*p == '$') {
        name += *p++;
    }
    return p;
}

// ---------------------------------------------------------------------------
// Expansion.

struct ExpansionContext {
    MacroRecord* macro;                    // the macro whose body is expanded, or null
    const std::vector<std::string>* arguments;  // its arguments, already expanded
};

bool expansion_too_big(const std::string& out)
{
    if (static_cast<int64_t>(out.size()) > macro_buffer_size) {
        set_error_always(ERROR_MACRO_TOO_BIG);
        return true;
    }
    return false;
}

bool expand_text(const char* text, const ExpansionContext& context, std::string& out, int depth, int* replaced);

// Expands a macro's body with its arguments into out.
bool expand_body(MacroRecord* macro, const std::vector<std::string>& arguments, std::string& out, int depth,
                 int* replaced)
{
    if (macro->flags & macro_flag_expanding) {
        set_error_always(ERROR_MACRO_ENDLESS_RECURSION);
        return false;
    }
    macro->flags |= macro_flag_expanding;
    macro->expansion_count++;
    ExpansionContext inner{macro, &arguments};
    bool ok = expand_text(macro->body ? macro->body : "", inner, out, depth + 1, replaced);
    macro->flags &= ~macro_flag_expanding;
    return ok;
}

// Reads the arguments of a macro call; p is just after '('. Returns the
// position after ')' or null on error.
const char* read_call_arguments(MacroRecord* macro, const char* text, const char* p,
                                const ExpansionContext& context, std::vector<std::string>& arguments, int depth,
                                int* replaced)
{
    const char* name = macro->entry.key;
    const char* q = p;
    while (is_blank(*q)) {
        q++;
    }
    if (*q == ')') {
        if (macro->parameter_count - macro->optional_count > 0) {
            set_error_format_always(ERROR_NOT_ENOUGH_MACRO_PARAMETERS, name);
            return nullptr;
        }
    } else {
        for (;;) {
            while (is_blank(*q)) {
                q++;
            }
            const char* start = q;
            int nesting = 0;
            for (;;) {
                char c = *q;
                if (c == 0 || c == '\r' || c == '\n' || c == STATEMENT_SEPARATOR || c == ';') {
                    set_error_always(ERROR_CLOSE_PARENTHESIS_EXPECTED);
                    return nullptr;
                }
                if (c == '"' || c == '\'') {
                    q = skip_quoted(text, q);
                    continue;
                }
                if (c == '(' || c == '[') {
                    nesting++;
                } else if (c == ']' && nesting > 0) {
                    nesting--;
                } else if (c == ')') {
                    if (nesting == 0) {
                        break;
                    }
                    nesting--;
                } else if (c == ',' && nesting == 0) {
                    break;
                }
                q++;
            }
            const char* end = q;
            while (end > start && is_blank(end[-1])) {
                end--;
            }
            if (end == start) {
                set_error_always(ERROR_EMPTY_MACRO_PARAMETER);
                return nullptr;
            }
            if (static_cast<int32_t>(arguments.size()) >= macro->parameter_count) {
                set_error_format_always(ERROR_TOO_MANY_PARAMETERS, name);
                return nullptr;
            }
            // The argument is expanded where it is written: with the
            // parameters of the macro whose body holds the call.
            std::string raw(start, end);
            std::string expanded;
            if (!expand_text(raw.c_str(), context, expanded, depth + 1, replaced)) {
                return nullptr;
            }
            arguments.push_back(expanded);
            if (*q == ')') {
                break;
            }
            q++;
        }
    }
    q++;  // ')'
    int32_t mandatory = macro->parameter_count - macro->optional_count;
    if (static_cast<int32_t>(arguments.size()) < mandatory) {
        set_error_format_always(ERROR_NOT_ENOUGH_MACRO_PARAMETERS, name);
        return nullptr;
    }
    while (static_cast<int32_t>(arguments.size()) < macro->parameter_count) {
        int32_t index = static_cast<int32_t>(arguments.size()) - mandatory;
        arguments.emplace_back(macro->default_texts[index]);
    }
    return q;
}

// After a replaced item: a '#' joins the replacement with what follows; a
// blank or tab becomes one blank.
const char* after_replacement(const char* p, std::string& out, bool* join)
{
    if (*p == '#') {
        *join = true;
        return p + 1;
    }
    if (is_blank(*p)) {
        out += ' ';
        while (is_blank(*p)) {
            p++;
        }
    }
    return p;
}

bool expand_text(const char* text, const ExpansionContext& context, std::string& out, int depth, int* replaced)
{
    if (depth > max_expansion_depth) {
        set_error_always(ERROR_MACRO_TOO_BIG);
        return false;
    }
    const char* p = text;
    bool joined = false;  // the item before was a joining '#'
    std::string name;
    while (*p && *p != '\r' && *p != '\n') {
        char c = *p;
        if (c == '"' || c == '\'') {
            const char* end = skip_quoted(text, p);
            out.append(p, end);
            p = end;
            joined = false;
            continue;
        }
        if (c == ';') {
            // A comment runs to the next statement of the expansion.
            const char* end = p;
            while (*end && *end != STATEMENT_SEPARATOR && *end != '\r' && *end != '\n') {
                end++;
            }
            out.append(p, end);
            p = end;
            continue;
        }
        if (!is_name_start(byte_of(p))) {
            out += c;
            p++;
            joined = false;
            continue;
        }

        // A name, possibly behind a module prefix "module::".
        const char* item_start = p;
        p = read_name(p, name);
        ModuleRecord* prefix = nullptr;
        std::string prefix_text;
        if (p[0] == ':' && p[1] == ':' && identifier_start_chars[byte_of(p + 2)]) {
            ModuleRecord* module = find_module(name.c_str());
            if (!module) {
                // Left for the statement, which reports the unknown module.
                out.append(item_start, p + 2);
                p += 2;
                joined = false;
                continue;
            }
            prefix = module;
            prefix_text.assign(item_start, p + 2);
            p = read_name(p + 2, name);
        }
        bool was_joined = joined;
        joined = false;

        // Parameters and MacroExpandedCount of the body being expanded.
        if (context.macro) {
            int32_t found = -1;
            for (int32_t i = 0; i < context.macro->parameter_count; i++) {
                if (same_name(name, context.macro->parameter_names[i])) {
                    found = i;
                    break;
                }
            }
            if (found >= 0 && found < static_cast<int32_t>(context.arguments->size())) {
                out += prefix_text;
                out += (*context.arguments)[found];
                (*replaced)++;
                p = after_replacement(p, out, &joined);
                if (expansion_too_big(out)) {
                    return false;
                }
                continue;
            }
            if (!prefix && same_name(name, "MacroExpandedCount")) {
                out += std::to_string(context.macro->expansion_count);
                (*replaced)++;
                p = after_replacement(p, out, &joined);
                continue;
            }
        }

        MacroRecord* macro = nullptr;
        if (!was_joined) {
            macro = prefix ? find_macro_in_module(prefix, name.c_str()) : find_macro_in_scope(name.c_str());
            if (error_number) {
                return false;
            }
        }
        if (macro && !(macro->flags & macro_flag_no_parameters)) {
            const char* q = p;
            while (is_blank(*q)) {
                q++;
            }
            if (*q != '(') {
                macro = nullptr;  // named without a call: left as written
            } else {
                if (macro->flags & macro_flag_expanding) {
                    set_error_always(ERROR_MACRO_ENDLESS_RECURSION);
                    return false;
                }
                std::vector<std::string> arguments;
                const char* after = read_call_arguments(macro, text, q + 1, context, arguments, depth, replaced);
                if (!after) {
                    return false;
                }
                if (!expand_body(macro, arguments, out, depth, replaced)) {
                    return false;
                }
                (*replaced)++;
                p = after;
                if (is_blank(*p)) {
                    out += ' ';
                    while (is_blank(*p)) {
                        p++;
                    }
                }
                if (expansion_too_big(out)) {
                    return false;
                }
                continue;
            }
        }
        if (macro) {
            std::vector<std::string> none;
            if (!expand_body(macro, none, out, depth, replaced)) {
                return false;
            }
            (*replaced)++;
            p = after_replacement(p, out, &joined);
            if (expansion_too_big(out)) {
                return false;
            }
            continue;
        }
        out.append(item_start, p);
        // Inside a body a name written directly before '#' is joined with
        // what follows (a parameter after it is replaced).
        if (context.macro && *p == '#' && identifier_chars[byte_of(p + 1)]) {
            p++;
            joined = true;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Definition.

// Reads a default text up to ',' or ')' outside nesting and quotes.
const char* read_default_text(const char* text, const char* p, std::string& value)
{
    const char* start = p;
    int nesting = 0;
    while (*p) {
        char c = *p;
        if (c == '"' || c == '\'') {
            p = skip_quoted(text, p);
            continue;
        }
        if (c == '(' || c == '[') {
            nesting++;
        } else if ((c == ')' || c == ']') && nesting > 0) {
            nesting--;
        } else if ((c == ',' || c == ')') && nesting == 0) {
            break;
        }
        p++;
    }
    const char* end = p;
    while (end > start && is_blank(end[-1])) {
        end--;
    }
    value.assign(start, end);
    return p;
}

bool parse_parameters(MacroRecord* macro)
{
    std::vector<std::string> names;
    std::vector<std::string> defaults;
    const char* text = statement_start;
    const char* p = parse_pointer;
    while (is_blank(*p)) {
        p++;
    }
    if (*p == ')') {
        p++;
    } else {
        for (;;) {
            while (is_blank(*p)) {
                p++;
            }
            if (!identifier_start_chars[byte_of(p)]) {
                set_error_always(ERROR_SYNTAX);
                return false;
            }
            std::string name;
            while (identifier_chars[byte_of(p)]) {
                name += *p++;
            }
            if (*p == '$') {
                set_error_always(ERROR_SYNTAX);
                return false;
            }
            for (const std::string& earlier : names) {
                if (same_name(earlier, name.c_str())) {
                    set_error_format_always(ERROR_MACRO_PARAMETER_DECLARED_TWICE, name.c_str());
                    return false;
                }
            }
            names.push_back(name);
            while (is_blank(*p)) {
                p++;
            }
            if (*p == '=') {
                p++;
                while (is_blank(*p)) {
                    p++;
                }
                std::string value;
                p = read_default_text(text, p, value);
                if (value.empty()) {
                    set_error_always(ERROR_DEFAULT_PARAMETER_VALUE_MISSING);
                    return false;
                }
                defaults.push_back(value);
            } else if (!defaults.empty()) {
                set_error_always(ERROR_OPTIONAL_PARAMETERS_NOT_LAST);
                return false;
            }
            while (is_blank(*p)) {
                p++;
            }
            if (*p == ')') {
                p++;
                break;
            }
            if (*p != ',') {
                set_error_always(ERROR_SYNTAX);
                return false;
            }
            p++;
        }
    }
    macro->parameter_count = static_cast<int32_t>(names.size());
    macro->optional_count = static_cast<int32_t>(defaults.size());
    macro->parameter_names = static_cast<char**>(pool_alloc(sizeof(char*) * (names.size() + 1)));
    macro->default_texts = static_cast<char**>(pool_alloc(sizeof(char*) * (defaults.size() + 1)));
    for (size_t i = 0; i < names.size(); i++) {
        macro->parameter_names[i] = pool_strdup(names[i].c_str());
    }
    for (size_t i = 0; i < defaults.size(); i++) {
        macro->default_texts[i] = pool_strdup(defaults[i].c_str());
    }
    parse_pointer = const_cast<char*>(p);
    return true;
}

bool starts_with_word(const char* text, const char* upper_word)
{
    size_t i = 0;
    for (; upper_word[i]; i++) {
        if (uppercase_table[byte_of(text + i)] != static_cast<unsigned char>(upper_word[i])) {
            return false;
        }
    }
    return !identifier_chars[byte_of(text + i)] && text[i] != '$';
}

}  // namespace

// ---------------------------------------------------------------------------

void init_macros()
{
    macro_table = create_hash_table(sizeof(MacroRecord), hash_flag_permanent);
    resident_macro_table = create_hash_table(sizeof(ResidentMacroReference), hash_flag_permanent);
    expansion_buffer = static_cast<char*>(os_heap_alloc(permanent_heap, macro_buffer_size + 2, true));
    reset_macro_state();
}

void reset_macro_state()
{
    module_macros_defined = 0;
    expansion_write = expansion_buffer;
    macro_error_line = 0;
    macro_out_written = 0;
    macro_expansion_text = nullptr;
    macro_expansion_length = 0;
    expansion_pending = 0;
    macro_being_defined = nullptr;
    captured_body.clear();
    if (resident_macro_table) {
        hash_reset_iterator(resident_macro_table);
        while (HashEntry* entry = hash_next(resident_macro_table)) {
            reinterpret_cast<ResidentMacroReference*>(entry)->macro->expansion_count = 0;
        }
    }
}

void free_user_macros()
{
    if (!macro_table) {
        return;
    }
    hash_reset_iterator(macro_table);
    while (HashEntry* entry = hash_next(macro_table)) {
        MacroRecord* macro = reinterpret_cast<MacroRecord*>(entry);
        if (!(macro->flags & macro_flag_resident)) {
            hash_unlink_current(macro_table);
            hash_free_entry(macro_table, entry);
        }
    }
}

MacroRecord* find_macro(const char* name)
{
    if (explicit_module) {
        MacroRecord* macro = find_macro_in_module(explicit_module, name);
        if (macro) {
            explicit_module = nullptr;
        }
        return macro;
    }
    return find_macro_in_scope(name);
}

MacroRecord* define_macro(const char* name_text)
{
    std::string name = name_text ? name_text : "";
    if (!identifier_start_chars[static_cast<unsigned char>(name[0])]) {
        set_error_always(ERROR_CONSTANT_NAME_START);
        return nullptr;
    }
    if (!macro_table) {
        init_macros();
    }
    if (find_macro(name.c_str())) {
        set_error_format_always(ERROR_MACRO_ALREADY_DECLARED, name.c_str());
        return nullptr;
    }
    if (error_number) {
        return nullptr;
    }
    if (token_code == TOKEN_END) {
        if (find_variable_scoped(name.c_str(), false)) {
            set_error_format_always(ERROR_MACRO_NAMED_AS_VARIABLE, name.c_str());
            return nullptr;
        }
        if (is_keyword(name.c_str())) {
            set_error_format_always(ERROR_MACRO_NAMED_AS_KEYWORD, name.c_str());
            return nullptr;
        }
    } else if (token_code != '(') {
        set_error_always(ERROR_SYNTAX);
        return nullptr;
    }

    HashTable* table = current_module && current_module->macros ? current_module->macros : macro_table;
    if (table != macro_table) module_macros_defined++;
    MacroRecord* macro = static_cast<MacroRecord*>(hash_add(table, pool_strdup(name.c_str())));
    HashEntry entry = macro->entry;
    std::memset(macro, 0, sizeof *macro);
    macro->entry = entry;
    macro->owner = table;
    macro->body = pool_strdup("");
    if (module_section_state() == 1) {
        macro->flags |= macro_flag_public;
    }
    if (token_code == TOKEN_END) {
        macro->flags |= macro_flag_no_parameters;
    } else {
        if (!parse_parameters(macro)) {
            hash_remove(table, &macro->entry);
            return nullptr;
        }
        read_operator();
        refuse_word_operator();
        if (token_code != TOKEN_END) {
            hash_remove(table, &macro->entry);
            set_error_always(ERROR_GARBAGE_AT_END_OF_LINE);
            return nullptr;
        }
    }
    macro_being_defined = macro;
    captured_body.clear();
    expansion_pending = 0;
    return macro;
}

int capture_macro_body()
{
    char* start = parse_pointer;
    char* p = start;
    bool at_separator = false;
    if (*p == '!') {
        while (*p && *p != STATEMENT_SEPARATOR) {
            p++;
        }
    } else {
        while (*p && *p != ';' && *p != STATEMENT_SEPARATOR) {
            if (*p == '"' || *p == '\'') {
                p = const_cast<char*>(skip_quoted(start, p));
                continue;
            }
            if (*p == ':') {
                if (p[1] == ':') {
                    p += 2;
                    continue;
                }
                at_separator = true;
                break;
            }
            p++;
        }
    }
    char* end = p;
    while (end > start && is_blank(end[-1])) {
        end--;
    }
    if (at_separator) {
        parse_pointer = p + 1;
        more_statements = 1;
    } else {
        parse_pointer = p + std::strlen(p);
        more_statements = 0;
    }
    token_code = TOKEN_END;

    if (starts_with_word(start, "ENDMACRO")) {
        macro_capture_mode = 0;
        if (suppress_errors > 0) {
            suppress_errors--;
        }
        if (macro_being_defined) {
            macro_being_defined->body = pool_strndup(captured_body.data(), captured_body.size());
        }
        macro_being_defined = nullptr;
        captured_body.clear();
        char* rest = start + 8;
        while (rest < end && is_blank(*rest)) {
            rest++;
        }
        if (rest < end) {
            set_error_always(ERROR_SYNTAX);
        }
        return more_statements;
    }
    if (end > start) {
        if (!captured_body.empty()) {
            captured_body += STATEMENT_SEPARATOR;
        }
        captured_body.append(start, end);
    }
    return more_statements;
}

char* expand_statement_macros(char* statement)
{
    if (!expansion_buffer) {
        init_macros();
    }
    // Without any macro there is nothing to expand.
    if (macro_table->count == 0 && resident_macro_table->count == 0 && module_macros_defined == 0) return nullptr;
    int64_t used = expansion_write - expansion_buffer;
    if (used > macro_buffer_limit) {
        set_error_always(ERROR_MACRO_TOO_BIG);
        expansion_pending = 0;
        return nullptr;
    }
    std::string out;
    int replaced = 0;
    ExpansionContext top{nullptr, nullptr};
    if (!expand_text(statement, top, out, 0, &replaced)) {
        return nullptr;
    }
    if (replaced == 0) {
        return nullptr;
    }
    if (used + static_cast<int64_t>(out.size()) + 2 > macro_buffer_size) {
        set_error_always(ERROR_MACRO_TOO_BIG);
        expansion_pending = 0;
        return nullptr;
    }
    char* result = expansion_write;
    std::memcpy(result, out.data(), out.size());
    result[out.size()] = 0;
    result[out.size() + 1] = 0;
    expansion_write = result + out.size() + 2;
    macro_expansion_text = result;
    macro_expansion_length = static_cast<int64_t>(out.size());
    return result;
}

void compile_undefinemacro_statement()
{
    read_token();
    refuse_word_operator();
    if (statement_word[0] == 0) {
        set_error(ERROR_SYNTAX);
        return;
    }
    std::string name = statement_word;
    ModuleRecord* module = nullptr;
    if (token_code == TOKEN_MODULE_SEPARATOR) {
        module = find_module(name.c_str());
        if (!module) {
            set_error_format(ERROR_MODULE_NOT_FOUND, name.c_str());
            return;
        }
        read_token();
        refuse_word_operator();
        name = statement_word;
    }
    MacroRecord* macro = module ? find_in(module->macros, name.c_str()) : find_macro_in_scope(name.c_str());
    if (!macro) {
        return;
    }
    if (macro->flags & macro_flag_resident) {
        set_error(ERROR_UNDEFINEMACRO_RESIDENT_MACRO);
        return;
    }
    hash_remove(macro->owner, &macro->entry);
}

char* macro_expansion_write_position()
{
    return expansion_write;
}

void set_macro_expansion_write_position(char* position)
{
    if (position) {
        expansion_write = position;
    }
}

void write_macro_out_file()
{
    if (macro_out_written) {
        return;
    }
    macro_out_written = 1;
    std::string path = current_folder + "Macro.out";
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    os_delete_file(path.c_str());
    if (!expansion_pending || !macro_expansion_text) {
        return;
    }
    char* text = macro_expansion_text;
    int64_t length = macro_expansion_length;
    int32_t separators = 0;
    const char* position = error_position;
    // The lexer may stand just past the text's closing NULs.
    if (position && position > text + length && position <= text + length + 2) {
        position = text + length;
    }
    for (int64_t i = 0; i < length; i++) {
        if (text[i] == STATEMENT_SEPARATOR || text[i] == 0) {
            if (position && position > text + i && position <= text + length) {
                separators++;
            }
            text[i] = '\n';
        }
    }
    text[length] = 0;
    macro_error_line = 1 + separators;
    os_write_file(path.c_str(), text, static_cast<size_t>(length));
}
