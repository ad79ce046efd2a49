#include "backend_c/c_fixups.h"

#include <cstdio>
#include <string>

#include "backend_c/c_globals.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/memory_pools.h"
#include "core/output_buffers.h"
#include "frontend/symbols.h"

const char* static_block_name = "";
int32_t static_block_offset = 0;

namespace {

// Writes the bytes of `value` (count of them, low first), then ",".
void emit_value_bytes(uint64_t value, int count)
{
    char line[48];
    int length = 0;
    for (int i = 0; i < count; i++) {
        length += std::snprintf(line + length, sizeof line - size_t(length), i ? ",%u" : "%u",
                                unsigned((value >> (8 * i)) & 0xFF));
    }
    line[length++] = ',';
    line[length] = 0;
    emit_line(line);
}

void emit_type_info(bool structure_type, bool fixed_string, const StructureRecord* structure, uint32_t fixed_length)
{
    if (structure_type) {
        if (structure) {
            char target[32];
            std::snprintf(target, sizeof target, "&sm_%d", structure->id);
            c_add_pointer_fixup(global_fixup_list, static_block_name, static_block_offset, target);
        }
        c_static_quad(0);
    } else if (fixed_string) {
        c_static_long(fixed_length);
    }
}

}  // namespace

char* c_format_quad_bytes(char* buffer, uint64_t value)
{
    int length = 0;
    for (int i = 0; i < 8; i++)
        length += std::snprintf(buffer + length, 40 - size_t(length), i ? ",%u" : "%u", unsigned((value >> (8 * i)) & 0xFF));
    return buffer;
}

void c_add_pointer_fixup(CursorList* list, const char* array, int32_t offset, const char* target)
{
    if (!list) return;
    list->current = list->last;
    auto* fixup = static_cast<PointerFixup*>(list_add(list));
    fixup->array = pool_strdup(array ? array : "");
    fixup->offset = offset;
    fixup->target = pool_strdup(target ? target : "0");
}

void c_emit_local_fixups()
{
    if (!local_fixup_list) return;
    for (ListNode* node = local_fixup_list->first; node; node = node->next) {
        auto* fixup = reinterpret_cast<PointerFixup*>(node);
        emit_format("*(integer *)(&%s[%d])=(integer *)%s;", fixup->array, fixup->offset, fixup->target);
        sync_output_buffer();
    }
    list_clear(local_fixup_list);
}

void c_static_block_begin_aligned(const char* name, uint32_t count)
{
    static_block_name = name;
    char bytes[24];
    std::snprintf(bytes, sizeof bytes, "%u,%u,%u,%u,", count & 0xFF, (count >> 8) & 0xFF, (count >> 16) & 0xFF, count >> 24);
    std::string line = std::string("unsigned char ") + name + "[] __attribute__((aligned(4)))={" + bytes;
    emit_line(line.c_str());
    static_block_offset = 4;
}

void c_static_block_begin(const char* prefix, int32_t number)
{
    std::string name = std::string(prefix) + std::to_string(number);
    static_block_name = pool_strdup(name.c_str());
    std::string line = "static unsigned char " + name + "[]={";
    emit_line(line.c_str());
    static_block_offset = 0;
}

void c_static_byte(uint8_t value)
{
    emit_value_bytes(value, 1);
    static_block_offset += 1;
}

void c_static_word(uint16_t value)
{
    emit_value_bytes(value, 2);
    static_block_offset += 2;
}

void c_static_long(uint32_t value)
{
    emit_value_bytes(value, 4);
    static_block_offset += 4;
}

void c_static_quad(uint64_t value)
{
    emit_value_bytes(value, 8);
    static_block_offset += 8;
}

void c_static_string(const char* text)
{
    if (!text) text = "";
    std::string line;
    int32_t length = 0;
    for (const char* p = text; *p; p++, length++) {
        line += std::to_string(unsigned(static_cast<unsigned char>(*p)));
        line += ',';
    }
    line += "0,";
    emit_line(line.c_str());
    static_block_offset += length + 1;
}

void c_static_name(const char* name)
{
    if (!name) {
        c_static_byte(0);
        return;
    }
    c_static_string(name);
}

void c_static_pointer(const char* symbol)
{
    std::string target = std::string("&") + symbol;
    c_add_pointer_fixup(local_fixup_list, static_block_name, static_block_offset, target.c_str());
    c_static_quad(0);
}

void c_static_type_info(int32_t type, const StructureRecord* structure, uint32_t fixed_length)
{
    emit_type_info((type & 127) == TYPE_STRUCTURE, type == TYPE_FIXED_STRING, structure, fixed_length);
}

void c_static_local_type_info(int32_t type, const StructureRecord* structure, uint32_t fixed_length)
{
    emit_type_info((type & 47) == TYPE_STRUCTURE, (type & 47) == TYPE_FIXED_STRING, structure, fixed_length);
}
