// The x64 back end's fixed tables and the register state they start with.
#include <gtest/gtest.h>

#include <string>

#include "backend_x64/x64_globals.h"
#include "backend_x64/x64_tables.h"
#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/operand_state.h"

namespace {

TEST(X64TablesTest, RegisterNamesBySizeAndIndex)
{
    init_backend_tables();
    const char* expected[4][18] = {
        {"al", "r13b", "r14b", "r15b", "qword [ZD_StringBasePosition]", "BAD", "dl", "cl", "", "BAD",
         "r8b", "r9b", "r10b", "r11b", "r12b", "BAD", "BAD", "bl"},
        {"ax", "r13w", "r14w", "r15w", "qword [ZD_StringBasePosition]", "bp", "dx", "cx", "", "BAD",
         "r8w", "r9w", "r10w", "r11w", "r12w", "si", "di", "bx"},
        {"eax", "r13d", "r14d", "r15d", "qword [ZD_StringBasePosition]", "ebp", "edx", "ecx", "", "BAD",
         "r8d", "r9d", "r10d", "r11d", "r12d", "esi", "edi", "ebx"},
        {"rax", "r13", "r14", "r15", "qword [ZD_StringBasePosition]", "rbp", "rdx", "rcx", "", "rsp",
         "r8", "r9", "r10", "r11", "r12", "rsi", "rdi", "rbx"},
    };
    const int sizes[4] = {1, 2, 4, 8};
    for (int row = 0; row < 4; row++) {
        for (int index = 0; index < 18; index++) {
            ASSERT_NE(nullptr, RegisterNameTable[sizes[row]][index]);
            EXPECT_STREQ(expected[row][index], RegisterNameTable[sizes[row]][index])
                << "size " << sizes[row] << " index " << index;
        }
    }
    // The rows of the other sizes hold empty texts, never null pointers.
    for (int size : {0, 3, 5, 6, 7}) {
        for (int index = 0; index < 18; index++) EXPECT_STREQ("", RegisterNameTable[size][index]);
    }
}

TEST(X64TablesTest, ConditionAndSetByteTables)
{
    init_backend_tables();
    const char* jumps[24] = {" JE", " JNE", " JA", " JB", " JAE", " JBE",
                             " JE", " JNE", " JG", " JL", " JGE", " JLE",
                             " JNE", " JE", " JBE", " JAE", " JB", " JA",
                             " JNE", " JE", " JLE", " JGE", " JL", " JG"};
    const char* sets[24] = {" BAD", " BAD", " BAD", " BAD", " BAD", " BAD",
                            " SETE", " SETNE", " SETG", " SETL", " SETGE", " SETLE",
                            " BAD", " BAD", " BAD", " BAD", " BAD", " BAD",
                            " SETNE", " SETE", " SETLE", " SETGE", " SETL", " SETG"};
    for (int slot = 0; slot < 24; slot++) {
        EXPECT_STREQ(jumps[slot], ConditionJumpTable[slot]) << slot;
        EXPECT_STREQ(sets[slot], SetccTable[slot]) << slot;
    }
    EXPECT_STREQ(" JGE", ConditionJumpTable[CONDITION_SIGNED * 6 + 4]);
    EXPECT_STREQ(" JAE", ConditionJumpTable[CONDITION_UNSIGNED_NEGATED * 6 + 3]);
}

TEST(X64TablesTest, SizePrefixesAndDataDirectives)
{
    init_backend_tables();
    EXPECT_STREQ("byte ", SizePrefixTable[1]);
    EXPECT_STREQ("word ", SizePrefixTable[2]);
    EXPECT_STREQ("dword ", SizePrefixTable[4]);
    EXPECT_STREQ("qword ", SizePrefixTable[8]);
    for (int size : {0, 3, 5, 6, 7}) EXPECT_STREQ("", SizePrefixTable[size]);

    EXPECT_STREQ(" db ", DataDirectives.db);
    EXPECT_STREQ(" dw ", DataDirectives.dw);
    EXPECT_STREQ(" dd ", DataDirectives.dd);
    EXPECT_STREQ(" dq ", DataDirectives.dq);
    EXPECT_STREQ(" rb 1", DataDirectives.reserve_byte);
    EXPECT_STREQ(" rw 1", DataDirectives.reserve_word);
    EXPECT_STREQ(" rd 1", DataDirectives.reserve_dword);
    EXPECT_STREQ(" rq 1", DataDirectives.reserve_qword);
    EXPECT_STREQ(" rb ", DataDirectives.rb);
    EXPECT_STREQ(" rq ", DataDirectives.rq);
    EXPECT_STREQ("zd_align 8", DataDirectives.data_align);
    EXPECT_STREQ("zd_bssalign 8", DataDirectives.bss_align);
    EXPECT_STREQ("", DataDirectives.empty);
    EXPECT_STREQ("rbp", DataDirectives.frame_register);
    EXPECT_STREQ("[rbp]", DataDirectives.frame_operand);
    for (int depth = 0; depth < 8; depth++)
        EXPECT_EQ("st" + std::to_string(depth), DataDirectives.fpu_register[depth]);
}

TEST(X64TablesTest, StartsTheRegisterAndX87State)
{
    register_stack.top = 0;
    register_stack.lowest = 1;
    register_stack.depth = 5;
    for (int32_t& live : register_stack.live) live = 1;
    emitter_stack.fpu_depth = 4;
    init_backend_tables();
    EXPECT_EQ(3, register_stack.top);
    EXPECT_EQ(3, register_stack.lowest);
    EXPECT_EQ(0, register_stack.depth);
    for (int32_t live : register_stack.live) EXPECT_EQ(0, live);
    EXPECT_EQ(0, emitter_stack.fpu_depth);

    // While output is suppressed the x87 count stands still.
    emitter_stack.fpu_depth = 2;
    no_output_depth = 1;
    init_backend_tables();
    no_output_depth = 0;
    EXPECT_EQ(2, emitter_stack.fpu_depth);
    EXPECT_EQ(3, register_stack.top);
}

}  // namespace
