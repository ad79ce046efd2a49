#include "backend_x64/peephole.h"

#include <cstdio>
#include <cstring>

#include "backend_x64/program_output.h"
#include "backend_x64/x64_globals.h"
#include "core/core_globals.h"
#include "platform/platform.h"

namespace {

// A located line: its text without leading blanks and the start of the next.
struct PeepholeLine {
    const char* text;
    size_t length;        // up to the line feed (or the zero byte)
    const char* next;     // the byte after the line feed
    bool emitted;         // began with a blank: written by the code emitters
};

// The lines looked at from one position; located on demand.
constexpr int peephole_window = 8;

struct PeepholeWindow {
    PeepholeLine lines[peephole_window];
    int located;
};

PeepholeLine locate_line(const char* p)
{
    PeepholeLine line;
    line.emitted = *p == ' ';
    while (*p == ' ') ++p;
    line.text = p;
    while (*p && *p != '\n') ++p;
    line.length = size_t(p - line.text);
    line.next = *p ? p + 1 : p;
    return line;
}

// Line k of the window (0 is the current line). Lines that the emitters did
// not write (labels, directives, user text at column 0) come back empty so
// that no rule reaches over them.
const PeepholeLine& window_line(PeepholeWindow& window, int k)
{
    while (window.located <= k) {
        const PeepholeLine& previous = window.lines[window.located - 1];
        PeepholeLine line = locate_line(previous.next);
        if (!line.emitted) line.length = 0;
        window.lines[window.located++] = line;
    }
    return window.lines[k];
}

bool starts_with(const PeepholeLine& line, const char* prefix)
{
    size_t n = std::strlen(prefix);
    return line.length >= n && std::memcmp(line.text, prefix, n) == 0;
}

bool is_word_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// The general register a name belongs to (0 rax ... 15 r15), or -1.
int register_family(const char* name, size_t length)
{
    static const char* const legacy[8][5] = {
        {"rax", "eax", "ax", "al", "ah"}, {"rcx", "ecx", "cx", "cl", "ch"},
        {"rdx", "edx", "dx", "dl", "dh"}, {"rbx", "ebx", "bx", "bl", "bh"},
        {"rsp", "esp", "sp", "spl", ""},  {"rbp", "ebp", "bp", "bpl", ""},
        {"rsi", "esi", "si", "sil", ""},  {"rdi", "edi", "di", "dil", ""},
    };
    char text[8];
    if (length == 0 || length >= sizeof text) return -1;
    for (size_t i = 0; i < length; ++i) text[i] = lower(name[i]);
    text[length] = 0;
    for (int family = 0; family < 8; ++family) {
        for (const char* candidate : legacy[family]) {
            if (*candidate && std::strcmp(text, candidate) == 0) return family;
        }
    }
    // r8 to r15 with an optional size letter.
    if (text[0] != 'r') return -1;
    size_t i = 1;
    int number = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') number = number * 10 + (text[i++] - '0');
    if (i == 1 || number < 8 || number > 15) return -1;
    if (i < length && !(i + 1 == length && std::strchr("dwbl", text[i]))) return -1;
    return number;
}

// True when the text names a register of one of the families in `mask`.
bool mentions_registers(const char* text, size_t length, uint32_t mask)
{
    size_t i = 0;
    while (i < length) {
        if (!is_word_char(text[i])) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < length && is_word_char(text[i])) ++i;
        int family = register_family(text + start, i - start);
        if (family >= 0 && (mask & (1u << family))) return true;
    }
    return false;
}

constexpr uint32_t family_bit(int family)
{
    return 1u << family;
}

constexpr int family_rax = 0;
constexpr int family_rcx = 1;
constexpr int family_rdx = 2;
constexpr int family_rsp = 4;
constexpr int family_r8 = 8;
constexpr int family_r9 = 9;

void put_text(char*& out, const char* text, size_t length)
{
    std::memcpy(out, text, length);
    out += length;
}

void put_text(char*& out, const char* text)
{
    put_text(out, text, std::strlen(text));
}

// ---------------------------------------------------------------------------
// Family M

// L1 "MOV reg,mem", L2 "INC reg"/"DEC reg" or "ADD reg,digit..."/"SUB reg,...",
// L3 "MOV mem,reg": the common conditions of the two memory rules. The
// memory operand may not name the register, which the original sequence
// changes before it stores.
bool same_memory_operand(const PeepholeLine& l1, const PeepholeLine& l3)
{
    if (!starts_with(l1, "MOV ") || !starts_with(l3, "MOV ")) return false;
    if (l1.length != l3.length || l1.length < 9) return false;
    size_t n = l1.length;
    if (std::memcmp(l1.text + 4, l3.text + n - 3, 3) != 0) return false;
    if (std::memcmp(l1.text + 8, l3.text + 4, n - 8) != 0) return false;
    int family = register_family(l1.text + 4, 3);
    if (family >= 0 && mentions_registers(l1.text + 8, n - 8, family_bit(family))) return false;
    return true;
}

bool rule_increment_in_memory(PeepholeWindow& window, char*& out, const char*& next)
{
    const PeepholeLine& l1 = window_line(window, 0);
    const PeepholeLine& l2 = window_line(window, 1);
    const PeepholeLine& l3 = window_line(window, 2);
    bool increment = starts_with(l2, "INC ");
    if (!increment && !starts_with(l2, "DEC ")) return false;
    if (l2.length < 7 || l3.length < 3) return false;
    if (std::memcmp(l2.text + 4, l3.text + l3.length - 3, 3) != 0) return false;
    if (!same_memory_operand(l1, l3)) return false;
    put_text(out, increment ? " INC " : " DEC ");
    put_text(out, l1.text + 8, l1.length - 8);
    put_text(out, "\n");
    next = l3.next;
    return true;
}

bool rule_add_constant_in_memory(PeepholeWindow& window, char*& out, const char*& next)
{
    const PeepholeLine& l1 = window_line(window, 0);
    const PeepholeLine& l2 = window_line(window, 1);
    const PeepholeLine& l3 = window_line(window, 2);
    bool add = starts_with(l2, "ADD ");
    if (!add && !starts_with(l2, "SUB ")) return false;
    if (l2.length < 9 || l2.text[8] < '0' || l2.text[8] > '9') return false;
    if (l1.length < 7 || std::memcmp(l1.text + 4, l2.text + 4, 3) != 0) return false;
    if (std::memcmp(l1.text + 4, "rbp", 3) == 0) return false;
    if (!same_memory_operand(l1, l3)) return false;
    put_text(out, add ? " ADD " : " SUB ");
    put_text(out, l1.text + 8, l1.length - 8);
    put_text(out, ",");
    put_text(out, l2.text + 8, l2.length - 8);
    put_text(out, "\n");
    next = l3.next;
    return true;
}

bool rule_string_copy_then_allocation(PeepholeWindow& window, char*& out, const char*& next)
{
    if (!starts_with(window_line(window, 1), "P")) return false;
    if (!starts_with(window_line(window, 2), "CALL SYS_CopyString")) return false;
    if (!starts_with(window_line(window, 3), "L")) return false;
    if (!starts_with(window_line(window, 4), "P")) return false;
    if (!starts_with(window_line(window, 5), "CALL SYS_AllocateString")) return false;
    const PeepholeLine& l1 = window.lines[0];
    const PeepholeLine& l4 = window.lines[3];
    put_text(out, " ");
    put_text(out, l1.text, l1.length);
    put_text(out, "\n ");
    if (starts_with(l4, "LEA ecx,[esp")) {
        put_text(out, l4.text, l4.length - 1);
        put_text(out, "-4");
        put_text(out, l4.text + l4.length - 1, 1);
    } else {
        put_text(out, l4.text, l4.length);
    }
    // The routine the call names is the one the extern list declares.
    put_text(out, "\n CALL SYS_FastAllocateStringFree4\n");
    runtime_routine_used[RT_SYS_FastAllocateStringFree4] = 1;
    next = window.lines[5].next;
    return true;
}

// "MOV r,r" of a 64-bit register does nothing; a 32-bit move to itself
// clears the upper half of the register and stays.
bool rule_move_to_itself(PeepholeWindow& window, const char*& next)
{
    const PeepholeLine& l1 = window_line(window, 0);
    if (!starts_with(l1, "MOV ") || l1.length < 11) return false;
    if (std::memcmp(l1.text + 4, l1.text + 8, 3) != 0) return false;
    if (l1.length > 11 && is_word_char(l1.text[11])) return false;
    const char* name = l1.text + 4;
    int family = register_family(name, 3);
    if (family < 0 || lower(name[0]) != 'r' || std::strchr("dwbl", lower(name[2]))) return false;
    next = l1.next;
    return true;
}

bool try_family_m(PeepholeWindow& window, char*& out, const char*& next)
{
    return rule_increment_in_memory(window, out, next) || rule_add_constant_in_memory(window, out, next) ||
           rule_string_copy_then_allocation(window, out, next) || rule_move_to_itself(window, next);
}

// ---------------------------------------------------------------------------
// Family P

// The register named at `offset` of a line, followed by the end of the line,
// a blank or a comment.
bool names_register(const PeepholeLine& line, size_t offset, const char* name)
{
    size_t n = std::strlen(name);
    if (line.length < offset + n || std::memcmp(line.text + offset, name, n) != 0) return false;
    return line.length == offset + n || !is_word_char(line.text[offset + n]);
}

bool rule_push_pop_same_register(PeepholeWindow& window, const char*& next)
{
    const PeepholeLine& p1 = window_line(window, 0);
    const PeepholeLine& p2 = window_line(window, 1);
    if (!starts_with(p1, "PUSH ") || !starts_with(p2, "POP ")) return false;
    bool rax = names_register(p1, 5, "rax") && names_register(p2, 4, "rax");
    bool rbp = names_register(p1, 5, "rbp") && names_register(p2, 4, "rbp");
    if (!rax && !rbp) return false;
    next = p2.next;
    return true;
}

// The pushed value goes through rax, so the target may not be addressed
// through rax.
bool rule_memory_to_memory(PeepholeWindow& window, char*& out, const char*& next)
{
    const PeepholeLine& p1 = window_line(window, 0);
    const PeepholeLine& p2 = window_line(window, 1);
    if (!starts_with(p1, "PUSH qword") || !starts_with(p2, "POP qword")) return false;
    if (mentions_registers(p2.text + 4, p2.length - 4, family_bit(family_rax))) return false;
    put_text(out, " MOV rax,");
    put_text(out, p1.text + 5, p1.length - 5);
    put_text(out, "\n MOV ");
    put_text(out, p2.text + 4, p2.length - 4);
    put_text(out, ",rax\n");
    next = p2.next;
    return true;
}

// The value stays on the stack and rcx still receives it.
bool rule_pop_push_rcx(PeepholeWindow& window, char*& out, const char*& next)
{
    const PeepholeLine& p1 = window_line(window, 0);
    const PeepholeLine& p2 = window_line(window, 1);
    if (!starts_with(p1, "POP rcx") || !starts_with(p2, "PUSH rcx")) return false;
    put_text(out, " MOV rcx,[rsp]\n");
    next = p2.next;
    return true;
}

bool rule_string_position_twice(PeepholeWindow& window, char*& out, const char*& next)
{
    const char* push = "PUSH qword [ZD_StringBasePosition]";
    if (!starts_with(window_line(window, 0), push) || !starts_with(window_line(window, 1), push)) return false;
    put_text(out, " MOV rdx,[ZD_StringBasePosition]\n PUSH rdx\n PUSH rdx\n");
    next = window.lines[1].next;
    return true;
}

// The reservation must be exactly 8 bytes: the replacement writes it anew.
bool rule_string_position_around_reservation(PeepholeWindow& window, char*& out, const char*& next)
{
    const PeepholeLine& p1 = window_line(window, 0);
    const PeepholeLine& p2 = window_line(window, 1);
    const PeepholeLine& p3 = window_line(window, 2);
    const char* position = "PUSH qword [ZD_StringBasePosition]";
    if (!starts_with(p1, position) || !starts_with(p3, position)) return false;
    if (!starts_with(p2, "SUB ") || !names_register(p2, 4, "rsp,8")) return false;
    put_text(out, " MOV rax,[ZD_StringBasePosition]\n PUSH rax\n SUB rsp,8\n PUSH rax\n");
    next = p3.next;
    return true;
}

// Whether the operand of the k-th push can become a move. An operand on the
// stack is addressed against rsp before the k pushes lowered it, so one that
// reads a slot pushed by the sequence itself cannot; nor can one that names
// a register an earlier move of the sequence has already set.
bool operand_movable(const PeepholeLine& push, int k, uint32_t written)
{
    const char* operand = push.text + 5;
    size_t length = push.length - 5;
    if (mentions_registers(operand, length, written)) return false;
    if (k == 0) return true;
    if (length >= 10 && std::memcmp(operand, "qword [rsp", 10) == 0) {
        const char* p = operand + 10;
        const char* end = operand + length;
        if (p >= end || *p != '+') return false;
        ++p;
        int64_t offset = 0;
        const char* digits = p;
        while (p < end && *p >= '0' && *p <= '9' && offset < (int64_t(1) << 40)) offset = offset * 10 + (*p++ - '0');
        if (p == digits || p >= end || *p != ']') return false;
        return offset >= int64_t(8) * k;
    }
    return !mentions_registers(operand, length, family_bit(family_rsp));
}

void put_argument_move(char*& out, const char* target, const PeepholeLine& push, int k)
{
    const char* operand = push.text + 5;
    size_t length = push.length - 5;
    put_text(out, " MOV ");
    put_text(out, target);
    put_text(out, ",");
    if (length >= 10 && std::memcmp(operand, "qword [rsp", 10) == 0) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "[rsp-%d", 8 * k);
        put_text(out, offset);
        put_text(out, operand + 10, length - 10);
    } else {
        put_text(out, operand, length);
    }
    put_text(out, "\n");
}

// n pushes followed by the pops of the first n argument registers become
// n moves, last argument register first.
bool rule_arguments(PeepholeWindow& window, int n, char*& out, const char*& next)
{
    static const char* const pops[4] = {"POP rcx", "POP rdx", "POP r8", "POP r9"};
    static const char* const targets[4] = {"rcx", "rdx", "r8", "r9"};
    static const int families[4] = {family_rcx, family_rdx, family_r8, family_r9};
    for (int k = 0; k < n; ++k) {
        if (!starts_with(window_line(window, k), "PUSH ")) return false;
    }
    for (int k = 0; k < n; ++k) {
        if (!starts_with(window_line(window, n + k), pops[k])) return false;
    }
    // The k-th push lands in the argument register n-1-k; moves run in push order.
    uint32_t written = 0;
    for (int k = 0; k < n; ++k) {
        if (!operand_movable(window.lines[k], k, written)) return false;
        written |= family_bit(families[n - 1 - k]);
    }
    for (int k = 0; k < n; ++k) put_argument_move(out, targets[n - 1 - k], window.lines[k], k);
    next = window.lines[2 * n - 1].next;
    return true;
}

bool try_family_p(PeepholeWindow& window, char*& out, const char*& next)
{
    return rule_push_pop_same_register(window, next) || rule_memory_to_memory(window, out, next) ||
           rule_pop_push_rcx(window, out, next) || rule_string_position_twice(window, out, next) ||
           rule_string_position_around_reservation(window, out, next) || rule_arguments(window, 4, out, next) ||
           rule_arguments(window, 3, out, next) || rule_arguments(window, 2, out, next) ||
           rule_arguments(window, 1, out, next);
}

}  // namespace

char* optimize_asm_output(const char* source, char* destination, int64_t length)
{
    (void)length;
    const char* p = source;
    char* out = destination;
    while (*p) {
        const char* line_end = std::strchr(p, '\n');
        const char* after = line_end ? line_end + 1 : p + std::strlen(p);
        if (*p == ' ' && (p[1] == 'M' || p[1] == 'P')) {
            PeepholeWindow window;
            // The current line loses its one leading blank only.
            window.lines[0].text = p + 1;
            window.lines[0].length = size_t(after - p - 1) - (line_end ? 1 : 0);
            window.lines[0].next = after;
            window.lines[0].emitted = true;
            window.located = 1;
            const char* next = nullptr;
            bool matched = p[1] == 'M' ? try_family_m(window, out, next) : try_family_p(window, out, next);
            if (matched) {
                p = next;
                continue;
            }
        }
        put_text(out, p, size_t(after - p));
        p = after;
    }
    *out = 0;
    return out;
}

// Line feeds after the text the rewrite reads, and the bytes the gap in
// front of it has on top of half the text's length.
constexpr int64_t peephole_padding = 20;
constexpr int64_t peephole_gap_reserve = 64;

void optimize_code_buffer()
{
    console_print("Optimizing asm output...\n");
    // Buffers pushed above the code buffer keep pointers into it.
    if (!code_buffer || current_output_buffer() != code_buffer) return;
    sync_output_buffer();
    int64_t n = code_buffer->write - code_buffer->start;
    if (n <= 0) return;

    // The text moves to the back of the buffer and the rewrite fills it from
    // the front, so no second copy of the program is made. Moves through rax
    // are longer than the push and pop they replace: the gap in front takes
    // up that growth, and the rewrite never reaches the text still to be
    // read. The text is padded with line feeds: the first ends the last line
    // when the text lacks one, the 19 others come through as empty lines and
    // are cut.
    int64_t pad_start = code_buffer->start[n - 1] == '\n' ? n - 1 : n;
    int64_t gap = n / 2 + peephole_gap_reserve;
    grow_text_buffer(code_buffer, gap + pad_start + peephole_padding + 1);
    char* text = code_buffer->start + gap;
    std::memmove(text, code_buffer->start, size_t(pad_start));
    std::memset(text + pad_start, '\n', peephole_padding);
    text[pad_start + peephole_padding] = 0;
    char* end = optimize_asm_output(text, code_buffer->start, pad_start + peephole_padding);
    code_buffer->write = end - (peephole_padding - 1);
    *code_buffer->write = 0;

    output_write_pointer = code_buffer->write;
    sync_output_buffer();
    // A rewrite may call a routine that the extern list has not declared.
    if (runtime_routine_used[RT_SYS_FastAllocateStringFree4]) declare_extern("SYS_FastAllocateStringFree4");
}
