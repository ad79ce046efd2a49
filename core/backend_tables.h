// The fixed text tables through which the shared compiler and the emitters
// name registers, condition codes, operand sizes and data directives. The
// installed back end fills them once at start-up (its init_backend_tables
// hook); they stay unchanged for the life of the process.
#pragma once

#include <cstdint>

constexpr int register_index_count = 18;
constexpr int condition_table_size = 24;   // four groups of six: = <> > < >= <=
constexpr int operand_size_count = 9;      // indexed by operand size 0..8

// Condition groups of ConditionJumpTable and SetccTable (slot = group * 6 + column).
enum : int32_t {
    CONDITION_UNSIGNED = 0,
    CONDITION_SIGNED = 1,
    CONDITION_UNSIGNED_NEGATED = 2,
    CONDITION_SIGNED_NEGATED = 3,
};

// Shared texts of the data writers, so that every data line is spelled alike.
struct DataDirectiveTexts {
    const char* db;              // " db "
    const char* dw;              // " dw "
    const char* dd;              // " dd "
    const char* dq;              // " dq "
    const char* reserve_byte;    // " rb 1"
    const char* reserve_word;    // " rw 1"
    const char* reserve_dword;   // " rd 1"
    const char* reserve_qword;   // " rq 1"
    const char* rb;              // " rb " (a count follows)
    const char* rq;              // " rq " (a count follows)
    const char* data_align;      // "zd_align 8"
    const char* bss_align;       // "zd_bssalign 8"
    const char* empty;           // ""
    const char* frame_register;  // "rbp"
    const char* frame_operand;   // "[rbp]"
    const char* fpu_register[8]; // "st0" .. "st7" by x87 depth
};

// Register names by operand size (1, 2, 4, 8) and register index; "BAD" where
// a register has no name of that size; index 8 and the other size rows are "".
extern const char* RegisterNameTable[operand_size_count][register_index_count];
extern const char* ConditionJumpTable[condition_table_size];
extern const char* SetccTable[condition_table_size];
// "byte ", "word ", "dword ", "qword " by operand size; "" for other sizes.
extern const char* SizePrefixTable[operand_size_count];
extern DataDirectiveTexts DataDirectives;

// Fills the register names from one row per operand size (1, 2, 4, 8), the
// size prefixes and the condition tables, which both back ends share; the
// back end's init hook calls it before it sets its own data directives.
void install_shared_backend_tables(const char* const register_rows[4][register_index_count]);
