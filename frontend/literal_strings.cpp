// The literal-string table and the gathered literal text.
#include "frontend/literal_strings.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/core_globals.h"
#include "core/error_state.h"
#include "core/memory_pools.h"
#include "frontend/frontend_globals.h"
#include "frontend/lexer.h"

HashTable* literal_string_table = nullptr;
HashTable* literal_second_table = nullptr;
int32_t literal_string_count = 0;
int32_t null_string_number = 0;
int64_t current_literal_length = 0;
uint8_t literal_used_mark = 0;
LiteralString* current_literal = nullptr;
int32_t constant_expression_mode = 0;

namespace {

// The literals by number (index number - 1), for the static string table.
std::vector<LiteralString*> literals_in_order;

// Byte-exact lookup ("abc" and "ABC" are two literals). A program can hold
// hundreds of thousands of literals, more than the table's fixed buckets
// serve well, so the lookup goes through an index that grows with them; the
// keys are the literals' own copies in the compilation pool.
std::unordered_map<std::string_view, LiteralString*> literal_index;

LiteralString* find_literal_text(const char* text)
{
    auto found = literal_index.find(std::string_view(text));
    return found == literal_index.end() ? nullptr : found->second;
}

}  // namespace

void reset_parser_state()
{
    literal_string_count = 0;
    null_string_number = 0;
    current_literal_length = 0;
    literal_used_mark = 0;
    current_literal = nullptr;
    constant_expression_mode = 0;
    literals_in_order.clear();
    literal_index.clear();
    literal_string_table = create_hash_table(sizeof(LiteralString), 0);
    literal_second_table = create_hash_table(sizeof(LiteralString), 0);
    reset_literal_text();
}

int32_t intern_literal_string(const char* text)
{
    size_t length = std::strlen(text);
    current_literal_length = static_cast<int64_t>(length);
    if (!no_output_depth) literal_used_mark = 1;
    if (constant_expression_mode) {
        // Only the text is kept, at the start of the buffer.
        const char* source = std::strcmp(text, null_string_marker) == 0 ? "" : text;
        size_t bytes = std::strlen(source);
        if (source != literal_text) std::memmove(literal_text, source, bytes + 1);
        literal_write_pointer = literal_text;
        current_literal = nullptr;
        return 0;
    }
    if (!literal_string_table) reset_parser_state();
    LiteralString* literal = find_literal_text(text);
    if (!literal) {
        char* key = pool_strdup(text);
        literal = static_cast<LiteralString*>(hash_add(literal_string_table, key));
        literal->length = static_cast<int64_t>(length);
        literal->number = ++literal_string_count;
        literals_in_order.push_back(literal);
        literal_index.emplace(std::string_view(key), literal);
        if (std::strcmp(text, null_string_marker) == 0) null_string_number = literal->number;
    }
    current_literal = literal;
    reset_literal_text();
    return literal->number;
}

int32_t intern_gathered_literal()
{
    *literal_write_pointer = 0;
    // The text is copied into the pool before the buffer is emptied.
    return intern_literal_string(literal_text);
}

void append_literal_text(const char* text)
{
    size_t gathered = static_cast<size_t>(literal_write_pointer - literal_text);
    if (std::strcmp(text, null_string_marker) == 0) {
        // The null string stands alone as its marker (interned, it records
        // the null-string number); joined to other text it adds nothing.
        if (gathered != 0) return;
    }
    size_t length = std::strlen(text);
    if (gathered + length > static_cast<size_t>(MAX_LITERAL_LENGTH)) {
        set_error(ERROR_LITERAL_STRING_TOO_LONG);
        return;
    }
    std::memcpy(literal_write_pointer, text, length);
    literal_write_pointer += length;
    *literal_write_pointer = 0;
}

std::string hold_literal_text()
{
    *literal_write_pointer = 0;
    std::string held(literal_text);
    reset_literal_text();
    return held;
}

void give_back_literal_text(const std::string& held)
{
    reset_literal_text();
    if (!held.empty()) append_literal_text(held.c_str());
}

LiteralString* find_literal_by_number(int32_t number)
{
    if (number < 1 || static_cast<size_t>(number) > literals_in_order.size()) return nullptr;
    return literals_in_order[static_cast<size_t>(number) - 1];
}

void for_each_literal_string(void (*visit)(const LiteralString* literal, void* context), void* context)
{
    for (const LiteralString* literal : literals_in_order) visit(literal, context);
}
