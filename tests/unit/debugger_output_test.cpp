// Debugger instrumentation: line markers and the line-number store, the
// valid-lines and code-context tables, the register blocks and the aligned
// call, the Debug printers, the array checks, the bank headers and the
// constant bank, the runtime text and the data block; whole generated files
// with the debugger or line numbering are run through the flat assembler.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program_file_test_support.h"
#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_backend.h"
#include "backend_x64/x64_globals.h"
#include "core/backend_hooks.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/output_buffers.h"
#include "frontend/constants.h"
#include "frontend/frontend_globals.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/modules.h"
#include "frontend/operand_state.h"
#include "frontend/variables.h"

namespace {

class DebuggerOutputTest : public ProgramFileTest {
protected:
    void SetUp() override
    {
        start_program_file();
        init_modules();
        debugger_code = 0;
        line_numbering = 0;
        in_structure = 0;
        in_interface = 0;
        current_file_index = 0;
        current_line = 0;
        continuation_count = 0;
    }
    void TearDown() override
    {
        debugger_enabled = 0;
        debugger_code = 0;
        line_numbering = 0;
        console_mode = 0;
        executable_subsystem_name = "Windows";
        in_structure = 0;
    }

    void enable_debugger()
    {
        debugger_enabled = 1;
        debugger_code = 1;
    }


};

// ---------------------------------------------------------------------------
// Line markers

TEST_F(DebuggerOutputTest, LineCodeJoinsFileLineAndContinuations)
{
    current_file_index = 2;
    current_line = 9;
    continuation_count = 1;
    EXPECT_EQ(current_line_code(), 2097162);
    line_numbering = 1;
    emit_line_marker("DBL");
    EXPECT_EQ(output(), " MOV dword [CLN],2097163\n");
}

TEST_F(DebuggerOutputTest, MarkerWritesStoreOrCallByOption)
{
    current_line = 4;
    line_numbering = 1;
    emit_line_marker("DBL");
    EXPECT_EQ(output(), " MOV dword [CLN],5\n");
    clear_output();
    line_numbering = 0;
    enable_debugger();
    emit_line_marker("DBL");
    EXPECT_EQ(output(), " MOV rcx,4\n CALL DBL\n");
    clear_output();
    line_numbering = 1;
    emit_line_marker("DBLA");
    EXPECT_EQ(output(), " MOV dword [CLN],5\n MOV rcx,4\n CALL DBLA\n");
}

TEST_F(DebuggerOutputTest, NoMarkerInsideStructureOrWithoutOutput)
{
    enable_debugger();
    line_numbering = 1;
    in_structure = 1;
    emit_line_marker("DBL");
    in_structure = 0;
    in_interface = 1;
    emit_line_marker("DBL");
    in_interface = 0;
    EXPECT_EQ(output(), "");
    no_output_depth = 1;
    emit_line_marker("DBL");
    no_output_depth = 0;
    EXPECT_EQ(output(), "");
    debugger_code = 0;
    line_numbering = 0;
    emit_line_marker("DBL");
    EXPECT_EQ(output(), "");
}

TEST_F(DebuggerOutputTest, SetLineEnterProcedureAndBreak)
{
    enable_debugger();
    current_line = 7;
    emit_debugger_set_line();
    EXPECT_EQ(output(), " MOV rcx,7\n CALL _DBG_SL\n");
    clear_output();
    emit_debugger_enter_procedure(6);
    EXPECT_EQ(output(), " MOV rdx,rsp\n MOV rcx,3\n CALL ZD_DEBUGGER_EnterProcedure\n");
    clear_output();
    emit_call_debugger();
    std::string text = output();
    EXPECT_EQ(text.rfind(" MOV rcx,7\n CALL DBL\n SUB rsp,8\n PUSHFQ \n PUSH r15\n", 0), 0u) << text;
    EXPECT_NE(text.find(" PUSH rcx\n MOV rcx,rsp\n SUB rsp,32\n CALL ZD_DEBUGGER_Break\n ADD rsp,32\n POP rcx\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" POPFQ \n ADD rsp,8\n"), std::string::npos);
    EXPECT_EQ(count_of(text, " PUSH "), count_of(text, " POP "));
}

TEST_F(DebuggerOutputTest, BreakAfterDisableWritesOnlyTheStore)
{
    debugger_enabled = 1;
    debugger_code = 0;
    line_numbering = 1;
    emit_call_debugger();
    EXPECT_EQ(output(), " MOV dword [CLN],1\n");
}

TEST_F(DebuggerOutputTest, AlignedCallPadsByPushDepth)
{
    emitter_stack.push_depth = 8;
    emit_aligned_call("ZD_DEBUGGER_Break", 0);
    EXPECT_EQ(output(), " SUB rsp,40\n CALL ZD_DEBUGGER_Break\n ADD rsp,40\n");
    for (int32_t depth : {0, 16}) {
        clear_output();
        emitter_stack.push_depth = depth;
        emit_aligned_call("ZD_DEBUGGER_Break", 0);
        EXPECT_EQ(output(), " SUB rsp,32\n CALL ZD_DEBUGGER_Break\n ADD rsp,32\n");
    }
    emitter_stack.push_depth = 0;
}

TEST_F(DebuggerOutputTest, SaveAndRestoreMoveTheStackBy144)
{
    emit_save_all_registers();
    std::string save = output();
    EXPECT_EQ(count_of(save, "\n"), 18u);
    EXPECT_EQ(count_of(save, " PUSH"), 17u);
    clear_output();
    emit_restore_all_registers();
    std::string restore = output();
    EXPECT_EQ(count_of(restore, "\n"), 18u);
    EXPECT_EQ(restore.substr(restore.size() - 19), " POPFQ \n ADD rsp,8\n");
}

// ---------------------------------------------------------------------------
// Line tables

TEST_F(DebuggerOutputTest, ValidLinesRowsHoldThirtyFourCodes)
{
    for (int32_t line = 0; line < 35; line++) {
        current_line = line;
        add_debugger_line_entry();
    }
    std::string expected = "zd_public ZD_DEBUGGER_ValidLines\n dd 0";
    for (int32_t line = 1; line < 34; line++) expected += "," + std::to_string(line);
    expected += "\n dd 34";
    EXPECT_EQ(std::string(valid_lines_buffer->start, valid_lines_buffer->write), expected);
}

TEST_F(DebuggerOutputTest, ValidLinesStartAFreshRowAfterReset)
{
    add_debugger_line_entry();
    add_debugger_line_entry();
    reset_output_buffers();
    current_line = 3;
    add_debugger_line_entry();
    EXPECT_EQ(std::string(valid_lines_buffer->start, valid_lines_buffer->write),
              "zd_public ZD_DEBUGGER_ValidLines\n dd 3");
}

TEST_F(DebuggerOutputTest, TablesAreWrittenWithOutputOff)
{
    no_output_depth = 1;
    current_line = 2;
    add_debugger_line_entry();
    add_code_context_entry(CODE_CONTEXT_MODULE_START, "Geometry");
    no_output_depth = 0;
    EXPECT_EQ(std::string(valid_lines_buffer->start, valid_lines_buffer->write),
              "zd_public ZD_DEBUGGER_ValidLines\n dd 2");
    EXPECT_EQ(std::string(code_context_buffer->start, code_context_buffer->write),
              "zd_public ZD_DEBUGGER_CodeContextBank\n dd 2\n db 3,\"Geometry\",0");
}

TEST_F(DebuggerOutputTest, LongTablesGrow)
{
    for (int32_t i = 0; i < 200000; i++) {
        current_line = i & 0xFFFFF;
        add_debugger_line_entry();
    }
    for (int32_t i = 0; i < 20000; i++) add_code_context_entry(CODE_CONTEXT_PROCEDURE_START, "SomeLongProcedureName");
    EXPECT_GT(valid_lines_buffer->size, 1024000);
    EXPECT_LT(valid_lines_buffer->write - valid_lines_buffer->start, valid_lines_buffer->size);
    EXPECT_LT(code_context_buffer->write - code_context_buffer->start, code_context_buffer->size);
}

// ---------------------------------------------------------------------------
// Debug printers and checks

TEST_F(DebuggerOutputTest, PrintersDropThePushedValue)
{
    emitter_stack.push_depth = 8;
    emit_debug_print_double();
    EXPECT_EQ(output(), " MOVSD XMM0,[rsp]\n SUB rsp,40\n CALL ZD_DEBUGGER_PrintDouble\n ADD rsp,48\n");
    clear_output();
    emitter_stack.push_depth = 16;
    emit_debug_print_quad();
    EXPECT_EQ(output(), " MOV rcx,[rsp]\n SUB rsp,32\n CALL ZD_DEBUGGER_PrintQuad\n ADD rsp,40\n");
    clear_output();
    emit_debug_print_float();
    EXPECT_EQ(output(), " MOVSS XMM0,[rsp]\n SUB rsp,32\n CALL ZD_DEBUGGER_PrintFloat\n ADD rsp,40\n");
    clear_output();
    thread_safe = 1;
    emit_debug_print_string(1);
    thread_safe = 0;
    EXPECT_EQ(output(), " CALL SYS_GetStringBase\n ADD [rsp],rax\n MOV rcx,[rsp]\n SUB rsp,32\n"
                        " CALL ZD_DEBUGGER_PrintString\n ADD rsp,40\n");
    clear_output();
    emit_debug_print_string(1);
    EXPECT_EQ(output().rfind(" MOV rax,[ZD_StringBase]\n ADD [rsp],rax\n", 0), 0u);
    emitter_stack.push_depth = 0;
}

TEST_F(DebuggerOutputTest, DebugValueByOperandKind)
{
    // Saved string position, pushed value, print, position restored: the
    // push depth ends where it began.
    emitter_stack.push_depth = 0;
    begin_debug_value();
    set_operand_integer_constant(5);
    current_operand.flags = 0;
    emit_debug_value();
    EXPECT_NE(output().find(" PUSH qword 5\n MOV rcx,[rsp]\n SUB rsp,"), std::string::npos) << output();
    EXPECT_NE(output().find(" CALL ZD_DEBUGGER_PrintQuad\n"), std::string::npos);
    EXPECT_EQ(emitter_stack.push_depth, 0);
    clear_output();
    begin_debug_value();
    std::snprintf(current_operand.text, sizeof current_operand.text, "dword [v_f]");
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.size = 4;
    current_operand.flags = OP_FLOAT;
    emit_debug_value();
    EXPECT_NE(output().find("CALL ZD_DEBUGGER_PrintFloat"), std::string::npos) << output();
    EXPECT_EQ(emitter_stack.push_depth, 0);
    clear_output();
    begin_debug_value();
    set_operand_float_constant(2.5, true);
    emit_debug_value();
    EXPECT_NE(output().find("CALL ZD_DEBUGGER_PrintDouble"), std::string::npos) << output();
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(DebuggerOutputTest, ArrayChecks)
{
    set_operand_integer_constant(5);
    emit_array_index_check("qword [a_values]");
    EXPECT_EQ(output(), " MOV rax,5\n MOV rdx,qword [a_values]\n CALL _DBG_A\n");
    clear_output();
    emit_array_index_check_register("qword [a_values]", "r15");
    EXPECT_EQ(output().rfind(" MOV rax,r15\n", 0), 0u);
    clear_output();
    std::snprintf(current_operand.text, sizeof current_operand.text, "word [v_w]");
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.size = 2;
    current_operand.flags = 0;
    emit_multi_array_dimension_check("qword [a_grid]", 1);
    std::string text = output();
    EXPECT_EQ(text.rfind(" MOVSX rax,word [v_w]\n LEA rdx,[a_grid]\n MOV r8,rdx\n MOV rdx,rax\n MOV rcx,1\n", 0), 0u)
        << text;
    EXPECT_NE(text.find(" CALL SYS_CheckMultiArrayDimension\n"), std::string::npos);
    clear_output();
    current_operand.flags = OP_UNSIGNED;
    emit_structure_array_check(20);
    EXPECT_EQ(output(), " MOVZX rax,word [v_w]\n MOV rdx,20\n CALL _DBG_SA\n");
    clear_output();
    current_operand.size = 4;
    emit_multi_array_dimension_check("qword [a_grid]", 0);
    EXPECT_EQ(output().rfind(" MOVSXD rax,word [v_w]\n", 0), 0u);
    clear_output();
    for (int32_t dimension = 0; dimension < 2; dimension++) emit_redim_dimension_check("qword [a_grid]", dimension, "rax");
    text = output();
    EXPECT_EQ(count_of(text, " CALL SYS_CheckRedimDimension\n"), 2u);
    EXPECT_EQ(count_of(text, " MOV rax,rax\n"), 2u);
    EXPECT_NE(text.find(" MOV rcx,0\n"), std::string::npos);
    EXPECT_NE(text.find(" MOV rcx,1\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Banks

TEST_F(DebuggerOutputTest, EmptyConstantBankAndHeaders)
{
    emit_debugger_constant_bank_header(0);
    EXPECT_EQ(output(), "zd_align 8\npublic ZD_DEBUGGER_ConstantBank\nZD_DEBUGGER_ConstantBank:\n dd 0\n");
    clear_output();
    emit_debugger_procedure_bank_header(2, 5);
    EXPECT_EQ(output(), "public ZD_DEBUGGER_ProcedureBank\nZD_DEBUGGER_ProcedureBank:\n dd 2\n dw 5\n");
}

TEST_F(DebuggerOutputTest, TypeReferences)
{
    StructureRecord structure{};
    structure.id = 12;
    emit_type_map_reference(TYPE_STRUCTURE, &structure, 0);
    emit_type_map_reference(TYPE_STRUCTURE | 0x80, &structure, 0);
    emit_type_map_reference(TYPE_FIXED_STRING, nullptr, 20);
    emit_type_map_reference(TYPE_FIXED_STRING | 0x80, nullptr, 20);
    emit_type_map_reference(TYPE_BYTE, nullptr, 0);
    EXPECT_EQ(output(), " dq SM_12\n dq SM_12\n dd 20\n");
    char* before = data_write_pointer;
    emit_type_map_reference_data(TYPE_STRUCTURE | 0x40 | 0x80, &structure, 0);
    EXPECT_EQ(std::string(before, data_write_pointer), " dq SM_12\n");
}

TEST_F(DebuggerOutputTest, ConstantBankEntries)
{
    // Only this test's constants: a fresh main table.
    HashTable* saved = main_module->constants;
    main_module->constants = create_hash_table(sizeof(ConstantRecord), 0);
    auto add = [](const char* name, uint32_t flags) {
        ConstantRecord* record = static_cast<ConstantRecord*>(hash_add(main_module->constants, name));
        record->flags = flags;
        return record;
    };
    add("Minus", 0)->value.integer_value = -2;
    add("Text", constant_flag_string)->value.text = const_cast<char*>("Hi");
    add("Resident", constant_flag_resident)->value.integer_value = 1;
    add("Half", constant_flag_float | constant_flag_public)->value.float_value = 0.5;
    emit_debugger_constant_bank();
    main_module->constants = saved;
    std::string text = output();
    EXPECT_NE(text.find(" dd 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" db 0\n db \"Minus\",0\n db 0\n db 3\n dd -2\n dd -1\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" db 0\n db \"Text\",0\n db 0\n db 6\n dw 72,105,0\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" db 1\n db \"Half\",0\n db 0\n db 5\n dd 0\n dd 1071644672\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Resident"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Runtime text and data

TEST_F(DebuggerOutputTest, ExternListWithAndWithoutPurifier)
{
    emit_debugger_externs();
    std::string text = output();
    EXPECT_EQ(text.rfind("\nmacro debugger_extrn symbol\n{\n extrn symbol\n}\n\n", 0), 0u);
    EXPECT_EQ(count_of(text, "debugger_extrn ZD_"), 14u);
    EXPECT_NE(text.find("extrn SYS_CheckMultiArrayDimension\nextrn SYS_CheckRedimDimension\n"), std::string::npos);
    clear_output();
    reset_program_output();
    purifier_enabled = 1;
    emit_debugger_externs();
    purifier_enabled = 0;
    EXPECT_EQ(count_of(output(), "debugger_extrn ZD_"), 17u);
}

TEST_F(DebuggerOutputTest, RuntimeTextIsFixedAndCommentedBeforeFourteenRoutines)
{
    emit_debugger_runtime();
    std::string first = output();
    EXPECT_EQ(first.rfind("DBG_ZeroDivideError equ 1\nDBG_ZeroModuloError equ 2\n", 0), 0u);
    EXPECT_NE(first.find("DBG_MapUninitializedError equ 12\nDBL:\n SUB rsp,8\n"), std::string::npos);
    EXPECT_NE(first.find("_DBG_A:\n CMP  rdx,0\n JE  .Error\n MOV  rdx,[rdx-16]\n CMP  rax,0\n JL  .Error\n CMP  rax,rdx\n JL  .Skip\n.Error:\n"
                         " MOV  rdx,DBG_ArrayOutOfBoundsError\n JMP _DBG_FatalMessage\n.Skip:\n RET\n"),
              std::string::npos);
    EXPECT_NE(first.find(" PUSH qword [rsp+8+8+8*15]\n MOV rdx,rsp\n"), std::string::npos);
    EXPECT_NE(first.find(" ADD rsp,8\n RET 8\nDBG:\n MOV rcx,-1\n CALL DBL\n RET\n"), std::string::npos);
    // The line is set from any push depth: the library is called with the
    // stack aligned, rax and r15 kept.
    EXPECT_NE(first.find("_DBG_SL:\n PUSH rax\n PUSH r15\n MOV r15,rsp\n AND r15,0xF\n SUB rsp,r15\n SUB rsp,32\n"
                         " CALL ZD_DEBUGGER_SetLine\n ADD rsp,32\n ADD rsp,r15\n POP r15\n POP  rax\n RET \n"),
              std::string::npos);
    EXPECT_NE(first.find("_DBG_EL:\n CMP   rax,0\n JNE  .Skip\n MOV   rdx,DBG_LinkedListNoCurrentElementError\n"
                         " JMP  _DBG_FatalMessage\n"),
              std::string::npos);
    clear_output();
    emit_debugger_runtime();
    EXPECT_EQ(output(), first);
    clear_output();
    commented_output = 1;
    emit_debugger_runtime();
    commented_output = 0;
    EXPECT_EQ(count_of(output(), "\n; \n") + (output().rfind("; \n", 0) == 0 ? 1 : 0), 14u);
}

TEST_F(DebuggerOutputTest, DataBlockByOptions)
{
    emit_debugger_data();
    EXPECT_EQ(output(), "zd_public ZD_DEBUGGER_LineNumber\n dd -1\nzd_public ZD_DEBUGGER_IncludedFiles\n dd 0\n"
                        "zd_public ZD_DEBUGGER_FileName\n db 0\n");
    clear_output();
    char name[] = "C:\\proj\\main.src";
    char* saved_source = source_file;
    source_file = name;
    line_numbering = 1;
    emit_debugger_data();
    EXPECT_EQ(output(), "CLN:\nzd_public ZD_DEBUGGER_LineNumber\n dd 0\nzd_public ZD_DEBUGGER_FileName\n db \"main.src\",0\n"
                        "zd_public ZD_DEBUGGER_NbIncludedFiles\n dd 0\nzd_public ZD_DEBUGGER_IncludedFiles\n");
    clear_output();
    debugger_enabled = 1;
    emit_debugger_data();
    std::string text = output();
    source_file = saved_source;
    EXPECT_EQ(text.rfind("zd_public ZD_DEBUGGER_Control\n dd 0\n_CL:\n", 0), 0u);
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_Version\n dd 610\n"), std::string::npos);
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_FileName\n db \"C:\\proj\\main.src\",0\n"), std::string::npos);
    const std::string tail = " dd 0\nzd_public ZD_DEBUGGER_IncludedFiles\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // A path of this machine names the drive the program sees, as the source
    // folder does; a network path stays as it is.
    clear_output();
    char rooted[] = "\\proj\\main.src";
    source_file = rooted;
    emit_debugger_data();
    text = output();
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_FileName\n db \"Z:\\proj\\main.src\",0\n"), std::string::npos);
    clear_output();
    char network[] = "\\\\host\\main.src";
    source_file = network;
    emit_debugger_data();
    text = output();
    source_file = saved_source;
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_FileName\n db \"\\\\host\\main.src\",0\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Whole files

TEST_F(DebuggerOutputTest, DebuggerProgramAssembles)
{
    enable_debugger();
    current_line = 1;
    emit_line_marker("DBL");
    add_debugger_line_entry();
    add_code_context_entry(CODE_CONTEXT_MODULE_START, "Geometry");
    emit_call_debugger();
    emitter_stack.push_depth = 0;
    begin_debug_value();
    set_operand_integer_constant(7);
    current_operand.flags = 0;
    emit_debug_value();
    emit_debugger_set_line();
    std::string text = finish();
    EXPECT_EQ(count_of(text, "debugger_extrn ZD_DEBUGGER_Start\n"), 1u);
    EXPECT_EQ(count_of(text, "\nDBL:\n"), 1u);
    EXPECT_NE(text.find("public ZD_DEBUGGER_ModuleBank\nZD_DEBUGGER_ModuleBank:\n dd 0\n"), std::string::npos);
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_ValidLines\n dd 1\n dd -1\n"), std::string::npos);
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_CodeContextBank\n dd 1\n db 3,\"Geometry\",0\n dd -1\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(DebuggerOutputTest, LineNumberingProgramAssembles)
{
    line_numbering = 1;
    current_line = 3;
    emit_line_marker("DBL");
    std::string text = finish();
    EXPECT_EQ(text.find("DBL:"), std::string::npos);
    EXPECT_NE(text.find(" MOV dword [CLN],4\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(DebuggerOutputTest, PlainProgramHasTheLineNumberStubs)
{
    std::string text = finish();
    EXPECT_NE(text.find("zd_public ZD_DEBUGGER_LineNumber\n dd -1\n"), std::string::npos);
    EXPECT_EQ(text.find("ZD_DEBUGGER_ValidLines"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

}  // namespace
