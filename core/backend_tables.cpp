#include "core/backend_tables.h"

const char* RegisterNameTable[operand_size_count][register_index_count];
const char* ConditionJumpTable[condition_table_size];
const char* SetccTable[condition_table_size];
const char* SizePrefixTable[operand_size_count];
DataDirectiveTexts DataDirectives;
