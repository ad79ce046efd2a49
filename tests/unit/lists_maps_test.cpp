// Lists and maps through the dispatcher and the x64 back end: NewList and
// NewMap, ForEach/Next, element reads and writes, and the errors of the
// declarations, the element references and the loops. Every golden
// fragment assembles.
#include <string>

#include "backend_x64/emit_lists_maps.h"
#include "emit_test_support.h"
#include "frontend/arrays.h"
#include "frontend/blocks.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"

namespace {

class ListsMapsTest : public EmitterTest {
protected:
    void TearDown() override {
        in_procedure = 0;
        debugger_code = 0;
        declaration_mode = DECLARE_NONE;
    }

    void fresh() {
        compiler_reset();
        reset_statement_state();
        reset_block_state();
        reset_arrays();
        reset_lists_maps();
        clear_output();
    }

    // Compiles each statement (one per line) and returns the code written by
    // the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        fresh();
        return compile_last_statement(statements);
    }

    // The heads, slots and loop labels the fragments name, for fasm.
    static std::string declarations() {
        return "\nalign 8\nt_l rq 2\nt_a rq 2\nt_b rq 2\ntp_p rq 2\nm_m rq 1\nm_n rq 1\nmp_q rq 1\n";
    }

    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) expect_assembles(code);
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
    }

    void expect_assembles(const std::string& code) {
        std::string labels;
        for (const char* label : {"_ForEach1", "_Next1"})
            if (code.find(std::string(label) + ":") == std::string::npos) labels += std::string(label) + ":\n";
        EXPECT_EQ(assemble_fragment(code + declarations() + labels), "") << code;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

};

// ---------------------------------------------------------------------------
// NewList and NewMap

TEST_F(ListsMapsTest, NewListOfStringsPassesTheStringDescriptor) {
    expect_code("NewList l.s()", " MOV r9,8\n MOV r8,s_s\n LEA rdx,[t_l]\n MOV rcx,8\n CALL ZD_NewList\n");
    ListRecord* list = find_list("l");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->element_type, TYPE_STRING);
    EXPECT_EQ(list->flags, 0u);
}

TEST_F(ListsMapsTest, NewListOfLongsAndOfPointers) {
    expect_code("NewList l.l()", " MOV r9,5\n XOR r8,r8\n LEA rdx,[t_l]\n MOV rcx,4\n CALL ZD_NewList\n");
    expect_code("NewList *p()", " MOV r9,21\n XOR r8,r8\n LEA rdx,[tp_p]\n MOV rcx,8\n CALL ZD_NewList\n");
}

TEST_F(ListsMapsTest, HeadsTakeSixteenBytesAndSlotsEight) {
    compile("NewList a.i()\nNewMap m.i()\nNewList b.i()");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(find_map("m")->offset - find_list("a")->offset, 16);
    EXPECT_EQ(find_list("b")->offset - find_map("m")->offset, 8);
}

TEST_F(ListsMapsTest, NewMapAtDepthZeroPadsByEight) {
    expect_code("NewMap m.l()",
                " MOV rcx,512\n SUB rsp,8\n PUSH rcx\n LEA r9,[m_m]\n XOR r8,r8\n MOV rdx,5\n MOV rcx,4\n"
                " SUB rsp,32\n CALL ZD_NewMap\n ADD rsp,40\n ADD rsp,8\n");
    EXPECT_EQ(find_map("m")->slot_count, 512);
}

TEST_F(ListsMapsTest, NewMapWithAConstantSlotCount) {
    std::string code = compile("NewMap m.i(64)");
    EXPECT_EQ(code.rfind(" MOV rcx,64\n", 0), 0u) << code;
    EXPECT_EQ(find_map("m")->slot_count, 64);
    expect_assembles(code);
}

TEST_F(ListsMapsTest, NewMapWithASlotCountBelowOneTakesTheDefault) {
    std::string code = compile("NewMap m.i(0)");
    EXPECT_EQ(code.rfind(" MOV rcx,512\n", 0), 0u) << code;
    compile("NewMap m.i(-5)");
    EXPECT_EQ(find_map("m")->slot_count, 512);
}

TEST_F(ListsMapsTest, NewMapWithAComputedSlotCountPopsIt) {
    std::string code = compile("k = 100\nNewMap m.i(k * 2)");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_NE(code.find(" POP rcx\n SUB rsp,8\n PUSH rcx\n"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    expect_assembles(code);
}

TEST_F(ListsMapsTest, DeclaringTheSameListTwiceWithItsTypeIsAccepted) {
    EXPECT_EQ(error_of("NewList l.i()\nNewList l.i()"), 0);
    EXPECT_EQ(error_of("NewList l.i()\nNewList l()"), 0);
}

TEST_F(ListsMapsTest, StaticAndThreadedSlotCountsMustBeLiterals) {
    fresh();
    clear_error_state();
    declaration_mode = DECLARE_THREADED;
    text = std::string("NewMap m.i(64)") + '\0' + '\0';
    parse_pointer = text.data();
    compile_statement();
    EXPECT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");  // created by the runtime, not at the statement
    MapRecord* map = find_map("m");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->slot_count, 64);
    EXPECT_EQ(map->flags & CONTAINER_THREADED, (uint32_t)CONTAINER_THREADED);
    text = std::string("NewMap n.i(v)") + '\0' + '\0';
    parse_pointer = text.data();
    compile_statement();
    EXPECT_EQ(error_number, ERROR_STATIC_NEEDS_LITERAL);
}

TEST_F(ListsMapsTest, DeclarationErrors) {
    EXPECT_EQ(error_of("NewList l.i"), ERROR_NEWLIST_SYNTAX);
    EXPECT_EQ(error_of("NewList l.i(5)"), ERROR_NEWLIST_SYNTAX);
    EXPECT_EQ(error_of("NewMap m.i(10"), ERROR_NEWMAP_SYNTAX);
    EXPECT_EQ(error_of("NewMap m.i"), ERROR_NEWMAP_SYNTAX);
    EXPECT_EQ(error_of("NewList 1x()"), ERROR_LIST_NAME_START);
    EXPECT_EQ(error_of("NewMap 1x()"), ERROR_MAP_NAME_START);
    EXPECT_EQ(error_of("NewList"), ERROR_LIST_NAME_START);
    EXPECT_EQ(error_of("NewList l.i()\nNewList l.s()"), ERROR_LIST_DECLARED_WITH_OTHER_TYPE);
    EXPECT_EQ(error_of("NewMap m.i()\nNewMap m.d()"), ERROR_MAP_DECLARED_WITH_OTHER_TYPE);
    EXPECT_EQ(error_of("Dim a(5)\nNewList a()"), ERROR_NAME_SAME_AS_ARRAY);
    EXPECT_EQ(error_of("NewMap a.i()\nNewList a()"), ERROR_NAME_SAME_AS_MAP);
    EXPECT_EQ(error_of("NewList a.i()\nNewMap a()"), ERROR_NAME_SAME_AS_LIST);
    EXPECT_EQ(error_of("NewList While()"), ERROR_LIST_NAMED_AS_KEYWORD);
    EXPECT_EQ(error_of("NewList *l.i()"), ERROR_NATIVE_TYPE_POINTER);
    EXPECT_EQ(error_of("NewList l.i() 5"), ERROR_GARBAGE_AT_END_OF_LINE);
}

TEST_F(ListsMapsTest, MapDeclarationErrorsSayWhatIsWrong) {
    EXPECT_EQ(error_of("NewMap 9m()"), ERROR_MAP_NAME_START);
    EXPECT_STREQ(error_message, "A map name needs to start with a character (a-z or _).");
    EXPECT_EQ(error_of("NewMap m.i()\nNewMap m.s()"), ERROR_MAP_DECLARED_WITH_OTHER_TYPE);
    EXPECT_STREQ(error_message, "Map already declared with a different type: m.");
    EXPECT_EQ(error_of("NewMap m.i()\nProcedure P()\nGlobal NewMap m.i()\nEndProcedure"), ERROR_MAP_ALREADY_DECLARED);
    EXPECT_STREQ(error_message, "Map already declared: m().");
}

TEST_F(ListsMapsTest, AFailedDeclarationLeavesNoRecord) {
    EXPECT_EQ(error_of("NewList *l.i()"), ERROR_NATIVE_TYPE_POINTER);
    EXPECT_EQ(find_list("l"), nullptr);
    pointer_flag = 1;
    EXPECT_EQ(find_list("l"), nullptr);
    pointer_flag = 0;
}

// ---------------------------------------------------------------------------
// Elements

TEST_F(ListsMapsTest, ListElementReadGoesThroughTheCurrentPointer) {
    std::string code = compile("NewList l.i()\nx = l()");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_NE(code.find(" MOV rbp,qword [t_l+8]\n"), std::string::npos) << code;
    EXPECT_NE(code.find("qword [rbp]"), std::string::npos) << code;
    expect_assembles(code);
}

TEST_F(ListsMapsTest, ListElementWriteKeepsItsAddressAcrossTheRightSide) {
    std::string code = compile("NewList l.w()\nl() = 7");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_NE(code.find(" MOV rbp,qword [t_l+8]\n"), std::string::npos) << code;
    EXPECT_NE(code.find("word [rbp],"), std::string::npos) << code;
    EXPECT_EQ(emitter_stack.push_depth, 0);
    expect_assembles(code);
}

TEST_F(ListsMapsTest, MapElementByLiteralKey) {
    std::string code = compile("NewMap m.l()\nx = m(\"key\")");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_NE(code.find(" MOV rcx,qword [m_m]\n CALL ZD_GetMapElement\n MOV rbp,rax\n"), std::string::npos) << code;
    EXPECT_NE(code.find("dword [rbp]"), std::string::npos) << code;
    expect_assembles(code);
}

TEST_F(ListsMapsTest, MapCurrentElementLoadsTheMapsFirstField) {
    std::string code = compile("NewMap m.i()\nx = m()");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_EQ(code.rfind(" MOV rbp,qword [m_m]\n MOV rbp,[rbp]\n", 0), 0u) << code;
    expect_assembles(code);
}

TEST_F(ListsMapsTest, MapElementWithTheDebuggerChecksTheMapFirst) {
    fresh();
    std::string code;
    clear_error_state();
    for (const char* line : {"NewMap m.i()", "x = m(\"a\")"}) {
        text = std::string(line) + '\0' + '\0';
        clear_output();
        parse_pointer = text.data();
        debugger_code = 1;
        compile_statement();
        ASSERT_EQ(error_number, 0) << line;
        code = output();
    }
    size_t check = code.find(" CALL _DBG_MU\n");
    size_t call = code.find(" CALL ZD_GetMapElement\n");
    ASSERT_NE(check, std::string::npos) << code;
    ASSERT_NE(call, std::string::npos) << code;
    EXPECT_LT(check, call);
}

TEST_F(ListsMapsTest, ListElementWithTheDebuggerChecksTheCurrentElement) {
    fresh();
    clear_error_state();
    std::string code;
    for (const char* line : {"NewList l.i()", "x = l()"}) {
        text = std::string(line) + '\0' + '\0';
        clear_output();
        parse_pointer = text.data();
        debugger_code = 1;
        compile_statement();
        ASSERT_EQ(error_number, 0) << line;
        code = output();
    }
    EXPECT_NE(code.find(" MOV rax,qword [t_l+8]\n CALL _DBG_EL\n"), std::string::npos) << code;
}

TEST_F(ListsMapsTest, ElementErrors) {
    EXPECT_EQ(error_of("NewList l.i()\nx = l(1)"), ERROR_PARENTHESES_EXPECTED_AFTER_LIST);
    EXPECT_EQ(error_of("NewMap m.i()\nx = m(5)"), ERROR_MAP_PARAMETER_EXPECTED);
    EXPECT_EQ(error_of("NewList l.i()\nx = l()\\a"), ERROR_LIST_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of("NewMap m.i()\nx = m(\"a\"\\b"), ERROR_CLOSE_PARENTHESIS_EXPECTED);
}

// ---------------------------------------------------------------------------
// ForEach

TEST_F(ListsMapsTest, ForEachOverAListResetsThenStepsAtTheLoopLabel) {
    expect_code("NewList l.i()\nForEach l()",
                " MOV rcx,qword [t_l]\n CALL ZD_ResetList\n_ForEach1:\n MOV rcx,qword [t_l]\n CALL ZD_NextElement\n"
                " OR rax,rax\n JZ _Next1\n");
}

TEST_F(ListsMapsTest, ForEachOverAMap) {
    std::string code = compile("NewMap m.i()\nForEach m()");
    EXPECT_EQ(code,
              " MOV rcx,qword [m_m]\n CALL ZD_ResetMap\n_ForEach1:\n MOV rcx,qword [m_m]\n CALL ZD_NextMapElement\n"
              " OR rax,rax\n JZ _Next1\n");
}

TEST_F(ListsMapsTest, NextJumpsBackAndWritesTheExitLabel) {
    EXPECT_EQ(compile("NewList l.i()\nForEach l()\nNext"), " JMP _ForEach1\n_Next1:\n");
    EXPECT_EQ(compile("NewList l.i()\nForEach l()\nNext l()"), " JMP _ForEach1\n_Next1:\n");
    EXPECT_EQ(block_stack_depth(), 0);
}

TEST_F(ListsMapsTest, BreakLeavesAForEachAtItsNextLabel) {
    std::string code = compile("NewList l.i()\nForEach l()\nBreak");
    EXPECT_EQ(code, " JMP _Next1\n");
}

TEST_F(ListsMapsTest, ForEachInsideACaseAlignsItsCalls) {
    std::string code = compile("NewList l.i()\nSelect 1\nCase 1\nForEach l()");
    ASSERT_EQ(error_number, 0) << code;
    EXPECT_NE(code.find(" SUB rsp,40\n CALL ZD_ResetList\n ADD rsp,40\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" SUB rsp,40\n CALL ZD_NextElement\n ADD rsp,40\n"), std::string::npos) << code;
}

TEST_F(ListsMapsTest, ForEachErrors) {
    EXPECT_EQ(error_of("x = 1\nForEach x()"), ERROR_FOREACH_NEEDS_LIST_OR_MAP);
    EXPECT_EQ(error_of("ForEach"), ERROR_FOREACH_NEEDS_LIST_OR_MAP);
    EXPECT_EQ(error_of("NewList l.i()\nForEach l"), ERROR_FOREACH_NEEDS_LIST_OR_MAP);
    EXPECT_EQ(error_of("NewList a.i()\nNewList b.i()\nForEach a()\nNext b()"), ERROR_FOREACH_LIST_MISMATCH);
    EXPECT_EQ(error_of("NewMap a.i()\nNewMap b.i()\nForEach a()\nNext b()"), ERROR_FOREACH_MAP_MISMATCH);
    EXPECT_EQ(error_of("NewList a.i()\nForEach a()\nNext 5"), ERROR_FOREACH_NEXT_NEEDS_LIST_OR_MAP);
    EXPECT_EQ(error_of("NewList a.i()\nForEach a()"), 0);
    EXPECT_EQ(error_of("NewList a.i()\nFor i = 1 To 2\nNext a()"), ERROR_WRONG_NEXT_VARIABLE);
}

// ---------------------------------------------------------------------------
// Address texts

TEST_F(ListsMapsTest, LocalListIsAddressedOnTheStackAtTheCurrentDepth) {
    ListRecord list{};
    char name[] = "l";
    list.name = name;
    list.flags = CONTAINER_LOCAL;
    list.offset = 40;
    in_procedure = 1;
    emitter_stack.push_depth = 16;
    EXPECT_STREQ(format_list_address(&list), "rsp+56");
    list.flags = CONTAINER_GLOBAL;
    EXPECT_STREQ(format_list_address(&list), "t_l");
    list.flags = CONTAINER_POINTERS | CONTAINER_GLOBAL;
    EXPECT_STREQ(format_list_symbol(&list), "tp_l");
    list.flags = CONTAINER_FIELD;
    list.offset = 24;
    EXPECT_STREQ(format_list_address(&list), "rbp+24");
    emitter_stack.push_depth = 0;
}

TEST_F(ListsMapsTest, FreeListAtTheEndOfAProcedureSkipsStaticOnes) {
    fresh();
    clear_error_state();
    in_procedure = 1;
    local_frame_offset = 40;
    text = std::string("NewList l.i()") + '\0' + '\0';
    parse_pointer = text.data();
    compile_statement();
    ASSERT_EQ(error_number, 0);
    ListRecord* local = find_list("l");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->flags, (uint32_t)CONTAINER_LOCAL);
    EXPECT_EQ(local->offset, 40);
    EXPECT_EQ(local_frame_offset, 56);
    declaration_mode = DECLARE_STATIC;
    text = std::string("NewList s.i()") + '\0' + '\0';
    parse_pointer = text.data();
    clear_output();
    compile_statement();
    declaration_mode = DECLARE_NONE;
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(output(), "");
    clear_output();
    free_scope_lists();
    std::string code = output();
    EXPECT_NE(code.find(" CALL ZD_FreeList\n"), std::string::npos) << code;
    EXPECT_EQ(code.find("ZD_FreeList", code.find("ZD_FreeList") + 1), std::string::npos) << code;
    EXPECT_EQ(find_list("l"), nullptr);
    EXPECT_EQ(find_list("s"), nullptr);
}

}  // namespace
