// The fixed text that a program built with the debugger carries: the
// external debugger routines, the routines that the line markers, checks and
// prints call, and the data items that the debugger reads.
#include <cstring>
#include <string>

#include "backend_x64/debugger_output.h"
#include "backend_x64/emit_arrays.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/program_output.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "core/cursor_list.h"
#include "core/file_helpers.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"

namespace {

void emit_lines(const char* const* lines, size_t count)
{
    for (size_t i = 0; i < count; i++) emit_line(lines[i]);
}

template <size_t N>
void emit_lines(const char* const (&lines)[N])
{
    emit_lines(lines, N);
}

void routine_comment()
{
    emit_comment("");
}

// The two lines that report an error code, then the ".Skip:" exit.
void emit_error_exit(const char* mov_prefix, const char* jump, const char* error, const char* exit_line)
{
    emit_line2(mov_prefix, error);
    emit_line(jump);
    emit_line(".Skip:");
    emit_line(exit_line);
}

// DBL and DBLA share the call of the debugger's line check.
void emit_line_check_call()
{
    static const char* const lines[] = {
        " MOV rdx,rsp", " MOV r15,rsp",   " AND r15,0xF",       " SUB rsp,r15",
        " SUB rsp,32",  " CALL ZD_DEBUGGER_Check", " ADD rsp,32", " ADD rsp,r15",
    };
    emit_lines(lines);
}

void emit_dbl_routines()
{
    routine_comment();
    emit_line("DBL:");
    emit_save_all_registers();
    emit_line_check_call();
    emit_restore_all_registers();
    emit_line(" RET");

    // The caller pushed the flags and its rcx: the pushed rcx takes the rcx
    // slot of the save block and "RET 8" drops it.
    emit_line("DBLA:");
    static const char* const save[] = {
        " SUB rsp,8", " PUSH r15", " PUSH r14", " PUSH r13", " PUSH r12", " PUSH r11", " PUSH r10", " PUSH r9",
        " PUSH r8",   " PUSH rsp", " PUSH rbp", " PUSH rbx", " PUSH rax", " PUSH rdi", " PUSH rsi", " PUSH rdx",
        " PUSH qword [rsp+8+8+8*15]",
    };
    emit_lines(save);
    emit_line_check_call();
    static const char* const restore[] = {
        " POP rcx", " POP rdx", " POP rsi", " POP rdi", " POP rax", " POP rbx", " POP rbp", " POP rsp", " POP r8",
        " POP r9",  " POP r10", " POP r11", " POP r12", " POP r13", " POP r14", " POP r15", " ADD rsp,8", " RET 8",
    };
    emit_lines(restore);

    emit_line("DBG:");
    emit_line(" MOV rcx,-1");
    emit_line(" CALL DBL");
    emit_line(" RET");
}

void emit_check_routines()
{
    routine_comment();
    static const char* const fatal[] = {
        "_DBG_FatalMessage:", " PUSH r15",   " MOV r15,rsp", " AND r15,0xF", " SUB rsp,r15",
        " MOV  rcx,6",        " SUB rsp,32", " CALL ZD_DEBUGGER_ErrorCode",   " ADD rsp,32",
        " ADD rsp,r15",       " POP r15",    " JMP  DBG",
    };
    emit_lines(fatal);

    routine_comment();
    emit_line("_DBG_DIV:");
    emit_line(" CMP  qword [rsp+8],0");
    emit_line(" JNE .Skip");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_ZeroDivideError", " RET 8");

    routine_comment();
    emit_line("_DBG_MOD:");
    emit_line(" CMP  qword [rsp+8],0");
    emit_line(" JNE .Skip");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_ZeroModuloError", " RET 8");

    routine_comment();
    emit_line("_DBG_M:");
    emit_line(" CMP  rbp,0");
    emit_line(" JNE .Skip");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_NullPointerError", " RET");

    routine_comment();
    emit_line("_DBG_AD:");
    emit_line(" CMP  rcx,1");
    emit_line(" JGE .Skip");
    emit_error_exit(" MOV  rdx,qword ", " JMP _DBG_FatalMessage", "DBG_NegativeArraySizeError", " RET");

    routine_comment();
    // rdx: the array's data, whose element count lies 16 bytes before it;
    // an array whose Dim never ran has none.
    emit_line("_DBG_A:");
    emit_line(" CMP  rdx,0");
    emit_line(" JE  .Error");
    emit_line(" MOV  rdx,[rdx-16]");
    emit_line(" CMP  rax,0");
    emit_line(" JL  .Error");
    emit_line(" CMP  rax,rdx");
    emit_line(" JL  .Skip");
    emit_line(".Error:");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_ArrayOutOfBoundsError", " RET");

    routine_comment();
    emit_line("_DBG_EL:");
    emit_line(" CMP   rax,0");
    emit_line(" JNE  .Skip");
    emit_error_exit(" MOV   rdx,", " JMP  _DBG_FatalMessage", "DBG_LinkedListNoCurrentElementError", " RET");

    routine_comment();
    emit_line("_DBG_MU:");
    emit_line(" CMP   rcx,0");
    emit_line(" JNE  .Skip");
    emit_error_exit(" MOV   rdx,", " JMP  _DBG_FatalMessage", "DBG_MapUninitializedError", " RET");

    routine_comment();
    emit_line("_DBG_ML:");
    emit_line(" CMP   rbp,0");
    emit_line(" JNE  .Skip");
    emit_error_exit(" MOV   rdx,", " JMP  _DBG_FatalMessage", "DBG_MapNoCurrentElementError", " RET");

    routine_comment();
    emit_line("_DBG_SA:");
    emit_line(" CMP  rax,0");
    emit_line(" JL  .Error");
    emit_line(" CMP  rax,rdx");
    emit_line(" JL  .Skip");
    emit_line(".Error:");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_StructureArrayOufOfBoundError", " RET");

    routine_comment();
    emit_line("_DBG_D:");
    emit_line(" CMP  qword [ZD_DataPointer],0");
    emit_line(" JE  .Error");
    emit_line(" MOV  rax,SYS_EndDataSection");
    emit_line(" CMP  qword [ZD_DataPointer],rax");
    emit_line(" JL  .Skip");
    emit_line(".Error:");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_ReadDataError", " RET");

    routine_comment();
    emit_line("_DBG_MHS:");
    emit_line(" CMP  dword [rsp+8],0");
    emit_line(" JG  .Skip");
    emit_error_exit(" MOV  rdx,", " JMP _DBG_FatalMessage", "DBG_MapHashSizeError", " RET");

    // Called at any push depth: the stack is aligned as in _DBG_FatalMessage.
    static const char* const set_line[] = {
        "_DBG_SL:",    " PUSH rax",   " PUSH r15",                " MOV r15,rsp", " AND r15,0xF", " SUB rsp,r15",
        " SUB rsp,32", " CALL ZD_DEBUGGER_SetLine", " ADD rsp,32", " ADD rsp,r15",  " POP r15",     " POP  rax",
        " RET ",
    };
    emit_lines(set_line);

    routine_comment();
    static const char* const change_string[] = {
        "zd_public ZD_DEBUGGER_ChangeString", " SUB rsp,40", " CALL SYS_FastAllocateStringFree4", " ADD rsp,40", " RET",
    };
    emit_lines(change_string);
}

void emit_call_debug_routine()
{
    static const char* const lines[] = {
        "FUNCTION_POINTER_PARAMETER equ r10",
        "NB_PUSHED_ATTRIBUTES_PARAMETER equ r11",
        "STACK_SIZE_REGISTER equ r12",
        "NB_PUSHED_ATTRIBUTES_REGISTER equ r13",
        "_DBG_CallDebug:",
        " PUSH STACK_SIZE_REGISTER",
        " PUSH NB_PUSHED_ATTRIBUTES_REGISTER",
        " MOV NB_PUSHED_ATTRIBUTES_REGISTER,NB_PUSHED_ATTRIBUTES_PARAMETER",
        " SUB rsp,72",
        " MOVSD qword [rsp+64],xmm3",
        " MOVSD qword [rsp+56],xmm2",
        " MOVSD qword [rsp+48],xmm1",
        " MOVSD qword [rsp+40],xmm0",
        " MOV qword [rsp+32],r9",
        " MOV qword [rsp+24],r8",
        " MOV qword [rsp+16],rdx",
        " MOV qword [rsp+8],rcx",
        " MOV rax,NB_PUSHED_ATTRIBUTES_REGISTER",
        " MOV STACK_SIZE_REGISTER,rax",
        " IMUL STACK_SIZE_REGISTER,8",
        " CMP rax,0",
        " JLE .NoStack",
        ".StackLoop:",
        " PUSH qword [rsp+STACK_SIZE_REGISTER+72+16+32]",
        " DEC rax",
        " JNZ .StackLoop",
        ".NoStack:",
        " SUB rsp,32",
        " CALL FUNCTION_POINTER_PARAMETER",
        " ADD rsp,32",
        " ADD rsp,STACK_SIZE_REGISTER",
        " MOVSD xmm3,qword [rsp+64]",
        " MOVSD xmm2,qword [rsp+56]",
        " MOVSD xmm1,qword [rsp+48]",
        " MOVSD xmm0,qword [rsp+40]",
        " MOV r9,qword [rsp+32]",
        " MOV r8,qword [rsp+24]",
        " MOV rdx,qword [rsp+16]",
        " MOV rcx,qword [rsp+8]",
        " ADD rsp,72",
        " POP NB_PUSHED_ATTRIBUTES_REGISTER",
        " POP STACK_SIZE_REGISTER",
        " RET",
    };
    emit_lines(lines);
}

// `text` between double quotes and ",0" (bytes as numbers when the text
// holds a double quote or a line break, which cannot stand inside quotes).
std::string db_text(const std::string& text)
{
    if (text.find_first_of("\"\r\n") == std::string::npos) return "\"" + text + "\",0";
    std::string numbers;
    for (unsigned char c : text) numbers += std::to_string(c) + ",";
    return numbers + "0";
}

void emit_db_item(const char* symbol, const std::string& text)
{
    emit_line(("zd_public " + std::string(symbol) + "\n db " + db_text(text)).c_str());
}

const char* include_file_name(ListNode* node)
{
    const char* name = reinterpret_cast<char* const*>(node)[2];
    return name ? name : "";
}

void emit_line_number_block()
{
    emit_line("CLN:\nzd_public ZD_DEBUGGER_LineNumber\n dd 0");
    const char* main_name = source_alias && *source_alias ? source_alias : (source_file ? source_file : "");
    emit_db_item("ZD_DEBUGGER_FileName", debugger_enabled ? program_side_path(main_name) : path_file_part(main_name));

    int32_t count = 0;
    for (ListNode* node = IncludeFileList ? IncludeFileList->first : nullptr; node; node = node->next) count++;
    emit_format("zd_public ZD_DEBUGGER_NbIncludedFiles\n dd %d", count);
    emit_line("zd_public ZD_DEBUGGER_IncludedFiles");
    for (int32_t i = 1; i <= count; i++) emit_linef(" dq ZD_DEBUGGER_IncludedFile%d", i);
    int32_t i = 1;
    for (ListNode* node = IncludeFileList ? IncludeFileList->first : nullptr; node; node = node->next, i++) {
        const char* name = include_file_name(node);
        std::string shown = debugger_enabled ? program_side_path(name) : path_file_part(name);
        emit_linef("ZD_DEBUGGER_IncludedFile%d: db %s", i, db_text(shown).c_str());
    }
}

}  // namespace

void emit_debugger_externs()
{
    emit_line("\nmacro debugger_extrn symbol\n{\n extrn symbol\n}\n");
    static const char* const routines[] = {
        "ZD_DEBUGGER_Start",       "ZD_DEBUGGER_End",        "ZD_DEBUGGER_Check",     "ZD_DEBUGGER_EnterProcedure",
        "ZD_DEBUGGER_LeaveProcedure", "ZD_DEBUGGER_Error",   "ZD_DEBUGGER_ErrorCode", "ZD_DEBUGGER_PrintString",
        "ZD_DEBUGGER_PrintFloat",  "ZD_DEBUGGER_PrintLong",  "ZD_DEBUGGER_PrintQuad", "ZD_DEBUGGER_PrintDouble",
        "ZD_DEBUGGER_Break",       "ZD_DEBUGGER_SetLine",
    };
    for (const char* name : routines) emit_line2("debugger_extrn ", name);
    // Through the extern set: an emitter may have declared them already,
    // and the assembler refuses a second declaration.
    declare_extern("SYS_CheckMultiArrayDimension");
    declare_extern("SYS_CheckRedimDimension");
    if (purifier_enabled) {
        emit_line("debugger_extrn ZD_PURIFIER_Start");
        emit_line("debugger_extrn ZD_PURIFIER_EnterProcedure");
        emit_line("debugger_extrn ZD_PURIFIER_Check");
    }
}

void emit_debugger_runtime()
{
    static const char* const equates[] = {
        "DBG_ZeroDivideError equ 1",
        "DBG_ZeroModuloError equ 2",
        "DBG_NullPointerError equ 3",
        "DBG_ArrayOutOfBoundsError equ 4",
        "DBG_LinkedListNoCurrentElementError equ 5",
        "DBG_StructureArrayOufOfBoundError equ 6",
        "DBG_NegativeArraySizeError equ 7",
        "DBG_LastDimensionRedimOnlyError equ 8",
        "DBG_ReadDataError equ 9",
        "DBG_MapHashSizeError equ 10",
        "DBG_MapNoCurrentElementError equ 11",
        "DBG_MapUninitializedError equ 12",
    };
    emit_lines(equates);
    emit_dbl_routines();
    emit_check_routines();
    emit_call_debug_routine();
}

void emit_debugger_data()
{
    if (debugger_enabled) {
        emit_line("zd_public ZD_DEBUGGER_Control\n dd 0");
        emit_line("_CL:");
        emit_line("zd_public ZD_DEBUGGER_CurrentLine\n dd 0");
        emit_line("zd_public ZD_DEBUGGER_ErrorDescription\n dd 0");
        emit_line("zd_public ZD_DEBUGGER_FullScreen\n dd 0");
        emit_line("zd_public ZD_DEBUGGER_StartDrawing\n dd 0");
        emit_format("zd_public ZD_DEBUGGER_Unicode\n dd %d", 1);
        emit_format("zd_public ZD_DEBUGGER_Thread\n dd %d", thread_safe);
        emit_format("zd_public ZD_DEBUGGER_Purifier\n dd %d", int32_t(purifier_enabled));
        emit_format("zd_public ZD_DEBUGGER_Version\n dd %d", compiler_version_number());
        std::string folder = main_source_folder;
        emit_line(("zd_public ZD_DEBUGGER_SourcePath\n db " + format_source_path_data(folder)).c_str());
        emit_line(("zd_public ZD_DEBUGGER_ZandrelPath\n db " + format_source_path_data(home_folder)).c_str());
        emit_db_item("ZD_DEBUGGER_Language", language_name ? language_name : "");
        emit_array_labels();
        emit_line_number_block();
    } else if (line_numbering) {
        emit_line_number_block();
    } else {
        emit_line("zd_public ZD_DEBUGGER_LineNumber\n dd -1");
        emit_line("zd_public ZD_DEBUGGER_IncludedFiles\n dd 0");
        emit_line("zd_public ZD_DEBUGGER_FileName\n db 0");
    }
}
