// The structure of the generated assembly file: head, externals, macros,
// entry points, start-up and end code, data and bss sections, static
// strings; Gosub/Return/End sequences; labels; import files. Whole files are
// also run through the flat assembler.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program_file_test_support.h"
#include "backend_x64/assembler_names.h"
#include "backend_x64/emit_common.h"
#include "backend_x64/emit_jumps.h"
#include "backend_x64/program_output.h"
#include "backend_x64/x64_backend.h"
#include "backend_x64/x64_globals.h"
#include "core/backend_hooks.h"
#include "driver/compiler_main.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "frontend/frontend_globals.h"
#include "frontend/import_file_format.h"
#include "frontend/imports.h"
#include "frontend/labels.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"
#include "forge/library_format.h"
#include "frontend/variables.h"
#include "platform/platform.h"

namespace {

class ProgramOutputTest : public ProgramFileTest {
protected:
    void SetUp() override
    {
        start_program_file();
    }
    void TearDown() override
    {
        commented_output = 0;
        dll_mode = 0;
        console_mode = 0;
        executable_subsystem_name = "Windows";
        list_clear(subsystem_list);
    }


    void add_subsystem(const char* name)
    {
        subsystem_list->current = subsystem_list->last;
        char** slot = reinterpret_cast<char**>(static_cast<ListNode*>(list_add(subsystem_list)) + 1);
        *slot = permanent_pool_strdup(name);
    }

};

TEST_F(ProgramOutputTest, ConsoleProgramHasEveryPartOnceAndAssembles)
{
    std::string text = finish();
    EXPECT_EQ(text.rfind("format MS64 COFF\n", 0), 0u) << text.substr(0, 200);
    EXPECT_EQ(count_of(text, "extrn SetCurrentDirectoryW\n"), 1u);
    EXPECT_EQ(count_of(text, "extrn memset\n"), 1u);
    EXPECT_EQ(count_of(text, "extrn SYS_InitZandrel\n"), 1u);
    EXPECT_NE(text.find("public _ZD_Instance\npublic ZD_ExecutableType\npublic ZD_OpenGLSubsystem\npublic _ZD_MemoryBase\n"
                        "public ZD_Instance\npublic ZD_MemoryBase\npublic ZD_EndFunctions\n"),
              std::string::npos);
    EXPECT_NE(text.find("\nmacro zd_public symbol\n{\n public  _#symbol\n public symbol\n_#symbol:\nsymbol:\n}\n\n"
                        "macro    zd_align value { rb (value-1) - ($-_ZD_DataSection + value-1) mod value }\n"
                        "macro zd_bssalign value { rb (value-1) - ($-_ZD_BSSSection  + value-1) mod value }\n"),
              std::string::npos);
    EXPECT_NE(text.find("public main\nsection '.code' code readable executable align 4096\nmain:\n SUB rsp,40\n"
                        " MOV r8,I_BSSEnd-I_BSSStart\n XOR rdx,rdx\n MOV rcx,I_BSSStart\n CALL memset\n"
                        " XOR rcx,rcx\n CALL GetModuleHandleW\n MOV [ZD_Instance],rax\n"
                        " XOR r8,r8\n MOV rdx,4096\n XOR rcx,rcx\n CALL HeapCreate\n MOV [ZD_MemoryBase],rax\n"
                        " MOV rcx,_ZD_SourceCodePath\n CALL SetCurrentDirectoryW\n CALL SYS_InitZandrel\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("_ZD_EOP:\n CALL ZD_EndFunctions\n MOV rcx,[ZD_MemoryBase]\n CALL HeapDestroy\n"
                        " MOV rcx,[ZD_ExitCode]\n CALL ExitProcess\nZD_EndFunctions:\n SUB rsp,40\n ADD rsp,40\n RET\n"),
              std::string::npos);
    // UTF-16 units of "Z:\\home\\user\\project\\" for SetCurrentDirectoryW.
    EXPECT_NE(text.find("_ZD_SourceCodePath: dw 90,58,92,104,111,109,101,92,117,115,101,114,92,112,114,111,106,101,99,"
                        "116,92,0\n"),
              std::string::npos);
    EXPECT_NE(text.find("ZD_OpenGLSubsystem: db 1\n"
                        "zd_public ZD_Compiler_Unicode\n dd 1\nzd_public ZD_Compiler_Thread\n dd 0\n"
                        "zd_public ZD_Compiler_Purifier\n dd 0\nzd_public ZD_Compiler_Debugger\n dd 0\n"
                        "zd_public ZD_Compiler_DPIAware\n dd 0\nzd_public ZD_Compiler_XPSkins\n dd 0\n"
                        "ZD_ExecutableType: dd 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("section '.bss' readable writeable\n_ZD_BSSSection:\nzd_bssalign 8\nI_BSSStart:\n"
                        "_ZD_MemoryBase:\nZD_MemoryBase: rq 1\n_ZD_Instance:\nZD_Instance: rq 1\nZD_ExitCode: rq 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("SYS_EndDataSection:\n"), std::string::npos);
    // No string at all: no string-stack symbol, no static string table.
    EXPECT_EQ(text.find("ZD_StringBase"), std::string::npos);
    EXPECT_EQ(text.find("SYS_InitString"), std::string::npos);
    EXPECT_EQ(text.find("_SYS_StaticStringStart"), std::string::npos);
    EXPECT_EQ(text.find('\xEF'), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, StringUseIsFoundAnywhereInTheCode)
{
    struct Case {
        const char* code;
        int used;
    };
    const Case cases[] = {
        {" MOV rax,1\n MOV [ZD_StringBase],rax", 1},
        {" LEA rcx,[_S12]", 1},
        {"_S3:", 1},
        {" MOV rax,[v_S1]\n MOV rax,[_Sx]\n MOV rax,[ZD_String]", 0},
        {" MOV rax,[v_S1]\n MOV rcx,_S7", 1},
        {" MOV rax,1", 0},
    };
    for (const Case& c : cases) {
        reset_output_buffers();
        emit_line(c.code);
        strings_used = 0;
        settle_strings_used();
        EXPECT_EQ(strings_used, c.used) << c.code;
    }
}

TEST_F(ProgramOutputTest, CommentedHeadBlockAndNoSourceFolderChange)
{
    commented_output = 1;
    std::string text = finish();
    EXPECT_EQ(text.rfind("; \r\n; Zandrel 6.10 LTS (Windows - x64) generated code\r\n", 0), 0u) << text.substr(0, 300);
    EXPECT_NE(text.find("; The header must remain intact for Re-Assembly\r\n"), std::string::npos);
    EXPECT_NE(text.find("; :System\r\n"), std::string::npos);
    EXPECT_NE(text.find("; :Import\r\n"), std::string::npos);
    EXPECT_EQ(text.find("_ZD_SourceCodePath"), std::string::npos);
    EXPECT_EQ(text.find("CALL SetCurrentDirectory"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, ExplicitOutputPathKeepsTheStartFolder)
{
    output_file = const_cast<char*>("program.exe");
    std::string text = finish();
    EXPECT_EQ(text.find("_ZD_SourceCodePath"), std::string::npos);
    EXPECT_EQ(count_of(text, "extrn SetCurrentDirectoryW\n"), 1u);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, GuiProgramStartsAtWinMain)
{
    console_mode = 0;
    executable_subsystem_name = "Windows";
    std::string text = finish();
    EXPECT_NE(text.find("public WinMain\n"), std::string::npos);
    EXPECT_NE(text.find("\nWinMain:\n"), std::string::npos);
    EXPECT_EQ(text.find("public main"), std::string::npos);
    EXPECT_NE(text.find("ZD_ExecutableType: dd 0\n"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, DllEntryReturnsAndEndIsARoutine)
{
    dll_mode = 1;
    console_mode = 0;
    std::string text = finish();
    EXPECT_NE(text.find("extrn SYS_CleanupThreadCallbacks\npublic DllMain\n"), std::string::npos);
    // DllMain keeps the registers the loader expects preserved.
    EXPECT_NE(text.find("DllMain:\n PUSH rbx\n PUSH rbp\n PUSH rsi\n PUSH rdi\n PUSH r12\n PUSH r13\n PUSH r14\n PUSH r15\n"
                        " SUB rsp,40\n CMP rdx,1\n JNE .SkipProcessAttach\n MOV [_ZD_Instance],rcx\n"
                        " CALL ZD_DllInit\n"),
              std::string::npos);
    EXPECT_NE(text.find("ZD_DllInit:\n SUB rsp,40\n XOR r8,r8\n"), std::string::npos);
    EXPECT_EQ(text.find("CALL memset"), std::string::npos);
    EXPECT_EQ(text.find("CALL GetModuleHandleW"), std::string::npos);
    EXPECT_EQ(text.find("ExitProcess"), std::string::npos);
    EXPECT_EQ(text.find("_ZD_SourceCodePath"), std::string::npos);
    EXPECT_NE(text.find(" ADD rsp,40\n RET\n_ZD_EOP:\n SUB rsp,40\n CALL ZD_EndFunctions\n MOV rcx,[ZD_MemoryBase]\n CALL HeapDestroy\n"
                        " ADD rsp,40\n RET\n"),
              std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, StaticStringsAndStringStackSymbols)
{
    program_literal_strings = {{1, "Hi \xC3\xA9"}, {2, ""}, {3, "!_ZD_NullConstant_!"}};
    null_literal_number = 3;
    std::string text = finish();
    EXPECT_NE(text.find("zd_align 8\npublic _SYS_StaticStringStart\n_SYS_StaticStringStart:\n_S1: dw 72,105,32,233,0\n"
                        "_S2: dw 0\nzd_public ZD_NullString\n dw 0\npublic _SYS_StaticStringEnd\n_SYS_StaticStringEnd:\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("_S3"), std::string::npos);
    EXPECT_NE(text.find("extrn ZD_StringBase\nextrn SYS_InitString\nextrn SYS_FreeStrings\nextrn ZD_StringBasePosition\n"),
              std::string::npos);
    EXPECT_NE(text.find(" CALL SYS_InitZandrel\n CALL SYS_InitString\n"), std::string::npos);
    EXPECT_NE(text.find(" CALL SYS_FreeStrings\n MOV rcx,[ZD_MemoryBase]"), std::string::npos);
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, CodeNamingTheStringStackUsesStrings)
{
    emit_line(" MOV rax,qword [ZD_StringBasePosition]");
    std::string text = finish();
    EXPECT_NE(text.find("extrn ZD_StringBasePosition\n"), std::string::npos);
    EXPECT_NE(text.find(" CALL SYS_InitString\n"), std::string::npos);
}

TEST_F(ProgramOutputTest, ThreadSafeStringsDeclareTheSevenRoutines)
{
    thread_safe = 1;
    std::string text = finish();
    EXPECT_EQ(text.find("extrn ZD_StringBase\n"), std::string::npos);
    EXPECT_EQ(text.find("ZD_StringBasePosition"), std::string::npos);
    EXPECT_NE(text.find("extrn SYS_GetStringBase\nextrn SYS_GetStringBasePointer\nextrn SYS_GetStringBaseNoResult\n"
                        "extrn SYS_GetStringBasePosition\nextrn SYS_SetStringBasePosition\n"
                        "extrn SYS_RestoreStringBasePosition\nextrn SYS_IncrementStringBasePosition\n"),
              std::string::npos);
    EXPECT_NE(text.find("zd_public ZD_Compiler_Thread\n dd 1\n"), std::string::npos);
}

TEST_F(ProgramOutputTest, OpenGlSubsystemValue)
{
    add_subsystem("DirectX9");
    add_subsystem("directX11");
    EXPECT_NE(finish().find("ZD_OpenGLSubsystem: db 2\n"), std::string::npos);
    SetUp();
    add_subsystem("DIRECTX9");
    EXPECT_NE(finish().find("ZD_OpenGLSubsystem: db 0\n"), std::string::npos);
    SetUp();
    executable_subsystem_name = "console";
    EXPECT_NE(finish().find("ZD_ExecutableType: dd 0\n"), std::string::npos);
}

TEST_F(ProgramOutputTest, DataItemsAndGlobalVariables)
{
    program_data_items = {{"so_p.v_q", 8, 13, int64_t(1) << 32},
                          {"so_p.v_b", 1, 1, 200},
                          {"so_p.v_a", 1, 24, 200},
                          {"so_p.v_s", 8, 8, 0},
                          {"so_p.v_w", 4, 5, -7}};
    program_global_variables = {{"v_a", 4}, {"v_s", 6}, {"v_q", 8}, {"v_c", 1}, {"v_big", 16}};
    program_array_labels = {{"a_a", 16}};
    program_container_labels = {{"t_l", 16}, {"m_m", 8}};
    std::string text = finish();
    EXPECT_NE(text.find("zd_align 8\nso_p.v_q dd 0\n dd 1\nso_p.v_w dd -7\nso_p.v_b db -56\nso_p.v_a db 200\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("zd_bssalign 8\nv_q rq 1\nv_a rd 1\nv_c rb 1\nzd_bssalign 8\nv_s rb 6\nzd_bssalign 8\nv_big rb 16\n"
                        "zd_bssalign 8\nso_p.v_s rq 1\nzd_bssalign 8\n"
                        "zd_bssalign 8\na_a:\n rq 1\n rq 1\nt_l rq 2\nm_m rq 1\nI_BSSEnd:\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(assemble(), "");
}

TEST_F(ProgramOutputTest, ExternIsWrittenOncePerCompilation)
{
    push_output_buffer(head_buffer);
    EXPECT_TRUE(declare_extern("ExitProcess"));
    EXPECT_FALSE(declare_extern("ExitProcess"));
    pop_output_buffer();
    EXPECT_EQ(count_of(std::string(head_buffer->start, head_buffer->write), "extrn ExitProcess\n"), 1u);
    reset_program_output();
    push_output_buffer(head_buffer);
    EXPECT_TRUE(declare_extern("ExitProcess"));
    pop_output_buffer();
}

// The creation routines of lists and maps lead the library commands' block;
// the names gathered for the end of the head are not declared twice.
TEST_F(ProgramOutputTest, ListAndMapCreationLeadTheCommandDeclarations)
{
    LibraryRecord library{};
    library.used = 1;
    char free_name[] = "FreeList";
    LibraryCommand free_list{};
    free_list.entry.key = free_name;
    CursorList commands{};
    link_used_commands(&commands, &library, {&free_list});
    CursorList* saved_commands = library_command_list;
    library_command_list = &commands;
    add_extern_symbol("ZD_NewMap");
    add_extern_symbol("ZD_NewList");
    push_output_buffer(head_buffer);
    emit_library_externs();
    for (const std::string& name : ExternSymbolList) declare_extern(name.c_str());
    pop_output_buffer();
    library_command_list = saved_commands;
    std::string text(head_buffer->start, head_buffer->write);
    EXPECT_EQ(text, "extrn ZD_NewList\nextrn ZD_NewMap\nextrn ZD_FreeList\n");
}

// An outside name that the assembler takes for one of its own words (in any
// case), or that holds characters which end a name, is declared under an
// alias, and every use names the alias; other names stand as written.
TEST_F(ProgramOutputTest, OutsideNamesThatTheAssemblerReadsAsItsOwnStandUnderAliases)
{
    ASSERT_TRUE(compile("Import \"ops.lib\"\n Add(a, b)\n Byte.l()\n Plain()\n rax.i\n"
                        " Renamed() As \"Mov\"\n Spaced() As \"it's a name\"\nEndImport\n"
                        "x = Add(1, 2) + Byte() + Plain() + rax + Renamed() + Spaced()\n*p = @Add()\n"))
        << error_message;
    std::string text = finish();
    for (const char* line : {"extrn 'Add' as _ZD_Extern_Add\n", "extrn 'Byte' as _ZD_Extern_Byte\n",
                             "extrn 'rax' as _ZD_Extern_rax\n", "extrn 'Mov' as _ZD_Extern_Mov\n",
                             "extrn 'it''s a name' as _ZD_Extern_it_27s_20a_20name\n", "extrn Plain\n"})
        EXPECT_EQ(count_of(text, line), 1u) << line << text;
    for (const char* use : {" CALL _ZD_Extern_Add\n", " CALL _ZD_Extern_Byte\n", " CALL _ZD_Extern_Mov\n",
                            " CALL _ZD_Extern_it_27s_20a_20name\n", " CALL Plain\n", "[_ZD_Extern_rax]",
                            ",_ZD_Extern_Add\n"})
        EXPECT_NE(text.find(use), std::string::npos) << use << text;
    EXPECT_EQ(assemble(), "");
    EXPECT_TRUE(is_assembler_reserved_word("DWORD"));
    EXPECT_TRUE(is_assembler_reserved_word("label"));
    EXPECT_FALSE(is_assembler_reserved_word("MessageBoxW"));
    EXPECT_FALSE(is_assembler_reserved_word("macro"));
}

// /DYNAMICCPU: every variant of a command with processor variants is
// declared, and the start-up code puts the best one the processor runs into
// the command's table entry; a routine held in a pointer of its library is
// read from that pointer.
TEST_F(ProgramOutputTest, DynamicCpuTableIsFilledAtStartUp)
{
    LibraryRecord library{};
    library.used = 1;
    char blend_name[] = "Blend", held_name[] = "Held", plain_name[] = "Plain";
    LibraryCommand blend{};
    blend.entry.key = blend_name;
    blend.flags = LIBRARY_FLAG_MMX | LIBRARY_FLAG_SSE2 | LIBRARY_FLAG_PROCESSOR;
    LibraryCommand held{};
    held.entry.key = held_name;
    held.flags = LIBRARY_FLAG_SSE | LIBRARY_FLAG_PROCESSOR | LIBRARY_FLAG_VIRTUAL;
    LibraryCommand plain{};
    plain.entry.key = plain_name;
    CursorList commands{};
    link_used_commands(&commands, &library, {&blend, &held, &plain});
    CursorList* saved_commands = library_command_list;
    library_command_list = &commands;
    cpu_mode = cpu_mode_dynamic;
    push_output_buffer(head_buffer);
    emit_library_externs();
    emit_dynamic_jump_table();
    emit_dynamic_function_selection();
    pop_output_buffer();
    cpu_mode = 0;
    library_command_list = saved_commands;
    std::string text(head_buffer->start, head_buffer->write);
    for (const char* name : {"ZD_Blend", "ZD_Blend_MMX", "ZD_Blend_SSE2", "ZD_Held", "ZD_Held_SSE", "ZD_Plain",
                             "SYS_ProcessorFeatures"})
        EXPECT_EQ(count_of(text, std::string("extrn ") + name + "\n"), 1u) << name;
    EXPECT_EQ(count_of(text, "extrn ZD_Plain_"), 0u);
    EXPECT_NE(text.find("f_Blend: dq ZD_Blend\nf_Held: dq ZD_Held\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("f_Plain"), std::string::npos);
    EXPECT_NE(text.find(" CALL SYS_ProcessorFeatures\n"
                        " MOV rcx,ZD_Blend\n"
                        " MOV rdx,ZD_Blend_MMX\n TEST eax,65536\n CMOVNZ rcx,rdx\n"
                        " MOV rdx,ZD_Blend_SSE2\n TEST eax,262144\n CMOVNZ rcx,rdx\n"
                        " MOV qword [f_Blend],rcx\n"
                        " MOV rcx,qword [ZD_Held]\n"
                        " MOV rdx,qword [ZD_Held_SSE]\n TEST eax,131072\n CMOVNZ rcx,rdx\n"
                        " MOV qword [f_Held],rcx\n"),
              std::string::npos)
        << text;
}

TEST_F(ProgramOutputTest, RoutinesFirstCalledAfterTheHeadAreDeclaredAtTheEnd)
{
    std::string text = finish();
    EXPECT_EQ(text.find("SYS_FreeArray"), std::string::npos);
    SetUp();
    push_output_buffer(head_buffer);
    emit_program_start();
    mark_runtime_used(RT_SYS_FreeArray);
    pop_output_buffer();
    emit_program_end();
    emit_late_runtime_externs();
    std::string code(output_buffer_start, output_write_pointer);
    EXPECT_NE(code.find("extrn SYS_FreeArray\n"), std::string::npos);
}

TEST_F(ProgramOutputTest, SourcePathForWine)
{
    EXPECT_EQ(format_source_path_data("/tmp/a b/"), "\"Z:\\tmp\\a b\\\",0");
    EXPECT_EQ(format_source_path_data("C:\\Project\\"), "\"C:\\Project\\\",0");
    EXPECT_EQ(format_source_path_data("/x\"y/"), "90,58,92,120,34,121,92,0");
}

// --- Parallel procedures ---------------------------------------------------

class ParallelProcedureTest : public ProgramFileTest {
protected:
    void SetUp() override
    {
        ProgramFileTest::SetUp();
        start_console_program();
        reset_procedures();
    }
    void TearDown() override
    {
        console_mode = 0;
        executable_subsystem_name = "Windows";
        output_file = nullptr;
        reset_program_output();
    }

    static ProcedureRecord* procedure_of(HashTable* table, const char* name)
    {
        return reinterpret_cast<ProcedureRecord*>(hash_find(table, name));
    }
};

// A flagged procedure whose code the file holds gets its job stub after the
// procedures and its string-parameter map after the structure tables; the
// map gives each string parameter's slot in the job's block. Procedures of
// modules count too; an unflagged or unused procedure gets neither.
TEST_F(ParallelProcedureTest, FlaggedProceduresGetStubAndStringMap)
{
    ASSERT_TRUE(compile("Procedure Worker(a.b, s$, l.l, t$)\nEndProcedure\nProcedure Plain(s$)\nEndProcedure\n"
                        "Procedure Unused(x)\nEndProcedure\nWorker(1, \"a\", 2, \"b\")\nPlain(\"c\")\n"
                        "DeclareModule M\nEndDeclareModule\nModule M\nProcedure Inner(n, t$)\nEndProcedure\n"
                        "Inner(3, \"d\")\nEndModule"))
        << error_message;
    auto* module = reinterpret_cast<ModuleRecord*>(hash_find(module_table, "M"));
    ASSERT_NE(module, nullptr);
    ProcedureRecord* flagged[] = {procedure_of(procedure_table, "Worker"), procedure_of(procedure_table, "Unused"),
                                  procedure_of(module->procedures, "Inner")};
    for (ProcedureRecord* procedure : flagged) {
        ASSERT_NE(procedure, nullptr);
        procedure->second_flags |= PROC_SECOND_PARALLEL;
    }
    std::string text = finish();
    size_t worker_stub = text.find("\nParallel0:\n SUB rsp,8\n PUSH qword [rcx+24]\n");
    size_t inner_stub = text.find("\nParallel6:\n SUB rsp,8\n PUSH qword [rcx+8]\n");
    ASSERT_NE(worker_stub, std::string::npos) << text;
    ASSERT_NE(inner_stub, std::string::npos) << text;
    EXPECT_LT(text.find("\n_Procedure6:"), worker_stub);
    EXPECT_LT(inner_stub, text.find("section '.data'"));
    EXPECT_NE(text.find("PAM0:\n dd 8\n dd 24\n dd -1\nPAM6:\n dd 8\n dd -1\nzd_align 8\n"), std::string::npos) << text;
    for (const char* absent : {"Parallel2", "PAM2", "Parallel4", "PAM4", "_Procedure4"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    EXPECT_EQ(assemble(), "");
}

// --- Gosub, Return, FakeReturn, End -------------------------------------

class JumpTest : public ProgramOutputTest {
protected:
    std::string code() const { return std::string(output_buffer_start, output_write_pointer); }
    void clear_output()
    {
        output_write_pointer = output_buffer_start;
        *output_write_pointer = 0;
    }
};

TEST_F(JumpTest, GosubKeepsTheStackAlignedFromAnyDepth)
{
    emit_gosub("l_sub");
    emitter_stack.push_depth = 8;
    emit_gosub("l_sub");
    EXPECT_EQ(code(), " LEA rax,[g_0]\n PUSH rax\n PUSH qword 0\n SUB rsp,32\n JMP l_sub\ng_0:\n"
                      " SUB rsp,8\n LEA rax,[g_1]\n PUSH rax\n PUSH qword 8\n SUB rsp,32\n JMP l_sub\ng_1:\n");
    EXPECT_EQ(emitter_stack.push_depth, 8);
}

TEST_F(JumpTest, ReturnAndFakeReturnDropTheWholeFrame)
{
    emit_return_from_gosub();
    emit_fake_return();
    EXPECT_EQ(code(), " ADD rsp,32\n POP rax\n POP rdx\n ADD rsp,rax\n JMP rdx\n"
                      " ADD rsp,32\n POP rax\n POP rdx\n ADD rsp,rax\n");
}

TEST_F(JumpTest, EndWithoutValueAlignsAndJumps)
{
    emitter_stack.push_depth = 8;
    emit_end_statement(false);
    EXPECT_EQ(code(), " ADD rsp,-8\n JMP _ZD_EOP\n");
    EXPECT_EQ(emitter_stack.push_depth, 8);
}

// --- Labels --------------------------------------------------------------

TEST_F(JumpTest, LabelNamesAreLowerCasedAndScoped)
{
    EXPECT_STREQ(make_label_asm_name("Skip"), "l_skip");
    labels_enter_procedure("MyProc");
    EXPECT_STREQ(make_label_asm_name("Loop_1"), "ll_myproc_loop_1");
    labels_end_procedure();
    EXPECT_STREQ(make_label_asm_name("\xC3\x89t"), "l_\xC3\x89t");
}

TEST_F(JumpTest, DuplicateLabelsAndClashingSymbols)
{
    ASSERT_NE(label_declare("Here"), nullptr);
    EXPECT_EQ(label_declare("HERE"), nullptr);
    EXPECT_EQ(error_number, ERROR_DUPLICATE_LABEL);
    error_number = 0;
    labels_enter_procedure("a_b");
    ASSERT_NE(label_declare("c"), nullptr);
    labels_end_procedure();
    labels_enter_procedure("a");
    EXPECT_EQ(label_declare("b_c"), nullptr);
    EXPECT_EQ(error_number, ERROR_DUPLICATE_LABEL);
}

TEST_F(JumpTest, ProcedureReferenceFallsBackToTheMainLabel)
{
    labels_enter_procedure("P");
    add_label_reference("Done", LABEL_FALLBACK);
    labels_end_procedure();
    EXPECT_EQ(error_number, 0);
    label_declare("done");
    check_label_references();
    EXPECT_EQ(error_number, 0);
    clear_output();
    emit_label_aliases();
    EXPECT_EQ(code(), "define ll_p_done l_done\n");
}

TEST_F(JumpTest, MissingLabelIsError101)
{
    add_label_reference("Nowhere", 0);
    check_label_references();
    EXPECT_EQ(error_number, ERROR_LABEL_NOT_FOUND);
}

// --- Import files and external symbols ---------------------------------

TEST(ImportFiles, WrittenFileReadsBackTheSame)
{
    ImportFunctionSpec f;
    f.name = "MessageBox_";
    f.symbol = "MessageBoxW";
    f.parameter_text = "(hwnd, text$, title$, flags=0)";
    f.stack_size = 32;
    f.string_parameter_count = 2;
    f.optional_parameter_count = 2;
    f.parameter_types = {21, 8, 8, 5};
    f.defaults = {{0, "none"}, {-3, ""}};
    std::string bytes = build_import_file("USER32", {f});
    std::string name;
    std::vector<ImportFunctionSpec> read;
    ASSERT_TRUE(parse_import_file(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), name, read));
    EXPECT_EQ(name, "USER32");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, "MessageBox_");
    EXPECT_EQ(read[0].symbol, "MessageBoxW");
    EXPECT_EQ(read[0].parameter_text, f.parameter_text);
    EXPECT_EQ(read[0].flags, IMPORTED_FUNCTION_FLAG);
    EXPECT_EQ(read[0].parameter_types, f.parameter_types);
    ASSERT_EQ(read[0].defaults.size(), 2u);
    EXPECT_EQ(read[0].defaults[0].text, "none");
    EXPECT_EQ(read[0].defaults[1].value, -3);
    // Every truncation is rejected whole.
    for (size_t cut = 0; cut < bytes.size(); cut++) {
        std::string part = bytes.substr(0, cut);
        if (cut >= 20) {
            uint32_t payload = uint32_t(cut - 20);
            for (int i = 0; i < 4; i++) part[16 + i] = char((payload >> (8 * i)) & 0xFF);
        }
        bool ok = parse_import_file(reinterpret_cast<const uint8_t*>(part.data()), part.size(), name, read);
        if (ok) {
            EXPECT_TRUE(read.empty()) << cut;
        }
    }
}

TEST_F(ProgramOutputTest, ImportFileLoadsAndMarksItsLibrary)
{
    ImportFunctionSpec f;
    f.name = "ZdTestFunction_";
    f.symbol = "ZdTestFunctionW";
    f.parameter_types = {5, 9, 21};
    std::string bytes = build_import_file("ZDTEST", {f});
    char dir[] = "/tmp/zdimpXXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string path = std::string(dir) + "/ZDTEST";
    ASSERT_TRUE(os_write_file(path.c_str(), bytes.data(), bytes.size()));
    import_library_file_read(path.c_str());
    import_library_file_read((std::string(dir) + "/missing").c_str());
    ImportedFunction* function = find_imported_function("zdtestfunction_");
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(function->parameter_sizes[0], 4);
    EXPECT_EQ(function->parameter_sizes[1], 4);
    EXPECT_EQ(function->parameter_sizes[2], 8);
    mark_imported_function_used("ZdTestFunction_", nullptr);
    std::vector<std::string> used = used_import_library_names();
    EXPECT_NE(std::find(used.begin(), used.end(), "ZDTEST"), used.end());
    reset_imports();
    EXPECT_EQ(function->use_count, 0);
    std::string cleanup = std::string("rm -rf ") + dir;
    if (std::system(cleanup.c_str()) != 0) {}
}

TEST_F(ProgramOutputTest, ExternSymbolsSortedByBytesWithoutDuplicates)
{
    add_extern_symbol("memset");
    add_extern_symbol("SetCurrentDirectoryA");
    add_extern_symbol("memset");
    add_extern_symbol("ExitProcess");
    EXPECT_EQ(ExternSymbolList, (std::vector<std::string>{"ExitProcess", "SetCurrentDirectoryA", "memset"}));
}

}  // namespace
