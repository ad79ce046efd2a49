#include "core/backend_tables.h"

const char* RegisterNameTable[operand_size_count][register_index_count];
const char* ConditionJumpTable[condition_table_size];
const char* SetccTable[condition_table_size];
const char* SizePrefixTable[operand_size_count];
DataDirectiveTexts DataDirectives;

namespace {

const int row_sizes[4] = {1, 2, 4, 8};

const char* const condition_jumps[condition_table_size] = {
    " JE", " JNE", " JA", " JB", " JAE", " JBE",     // unsigned
    " JE", " JNE", " JG", " JL", " JGE", " JLE",     // signed
    " JNE", " JE", " JBE", " JAE", " JB", " JA",     // unsigned, negated
    " JNE", " JE", " JLE", " JGE", " JL", " JG",     // signed, negated
};

// The set-byte forms exist only for signed compares.
const char* const set_conditions[condition_table_size] = {
    " BAD", " BAD", " BAD", " BAD", " BAD", " BAD",
    " SETE", " SETNE", " SETG", " SETL", " SETGE", " SETLE",
    " BAD", " BAD", " BAD", " BAD", " BAD", " BAD",
    " SETNE", " SETE", " SETLE", " SETGE", " SETL", " SETG",
};

}  // namespace

void install_shared_backend_tables(const char* const register_rows[4][register_index_count])
{
    for (int size = 0; size < operand_size_count; size++) {
        SizePrefixTable[size] = "";
        for (int index = 0; index < register_index_count; index++) RegisterNameTable[size][index] = "";
    }
    for (int row = 0; row < 4; row++) {
        for (int index = 0; index < register_index_count; index++)
            RegisterNameTable[row_sizes[row]][index] = register_rows[row][index];
    }
    SizePrefixTable[1] = "byte ";
    SizePrefixTable[2] = "word ";
    SizePrefixTable[4] = "dword ";
    SizePrefixTable[8] = "qword ";
    for (int slot = 0; slot < condition_table_size; slot++) {
        ConditionJumpTable[slot] = condition_jumps[slot];
        SetccTable[slot] = set_conditions[slot];
    }
}
