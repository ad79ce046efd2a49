// The C file of the C-back-end compiler: head, fixed declarations, runtime
// prototypes, string table, program parameters, entry functions, exit
// function, DllMain, library declarations; C type names and the small text
// writers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "backend_c/c_backend.h"
#include "backend_c/c_calls.h"
#include "backend_c/c_compile_program.h"
#include "backend_c/c_globals.h"
#include "backend_c/c_jumps.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_program_file.h"
#include "backend_c/c_type_names.h"
#include "core/backend_hooks.h"
#include "core/core_globals.h"
#include "core/output_buffers.h"
#include "emit_test_support.h"
#include "frontend/frontend_globals.h"
#include "frontend/libraries.h"
#include "frontend/modules.h"
#include "frontend/residents.h"
#include "frontend/symbols.h"
#include "frontend/variables.h"
#include "c_test_support.h"
#include "platform/platform.h"

namespace {

class CProgramFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_backend = install_c_backend_on_empty_buffers();
        // A program of its own: no variable an earlier test declared.
        init_variables();
        clear_error_state();
        saved_modules = module_table;
        saved_libraries = used_library_list;
        saved_all_libraries = library_list;
        saved_commands = library_command_list;
        saved_subsystems = subsystem_list;
        module_table = nullptr;
        used_library_list = nullptr;
        library_list = nullptr;
        library_command_list = nullptr;
        subsystem_list = create_list(sizeof(ListNode) + sizeof(char*), 2);
        no_output_depth = 0;
        suppress_errors = 0;
        commented_output = 0;
        dll_mode = 0;
        console_mode = 1;
        executable_subsystem_name = "Console";
        output_file = const_cast<char*>("prog.exe");
        debugger_enabled = 0;
        thread_safe = 0;
        purifier_enabled = 0;
        dpi_aware = 0;
        xp_skin = 0;
        cpu_mode = 0;
        main_source_folder = "/home/user/project/";
    }
    void TearDown() override
    {
        module_table = saved_modules;
        used_library_list = saved_libraries;
        library_list = saved_all_libraries;
        library_command_list = saved_commands;
        subsystem_list = saved_subsystems;
        commented_output = 0;
        dll_mode = 0;
        console_mode = 0;
        executable_subsystem_name = "Windows";
        output_file = nullptr;
        reset_output_buffers();
        install_backend(saved_backend);
    }

    // The generated file as c_write_output_file writes it: header buffer,
    // code buffer, data buffer.
    std::string finished_file()
    {
        c_finish_program();
        std::string text(head_buffer->start, head_buffer->write);
        text.append(output_buffer_start, output_write_pointer);
        text.append(data_buffer_start, data_write_pointer);
        return text;
    }
    std::string head_text() { return std::string(head_buffer->start, head_buffer->write); }
    std::string code_text() { return std::string(output_buffer_start, output_write_pointer); }

    void add_subsystem(const char* name)
    {
        auto* node = static_cast<ListNode*>(list_add(subsystem_list));
        *reinterpret_cast<const char**>(node + 1) = name;
    }

    const BackendHooks* saved_backend = nullptr;
    HashTable* saved_modules = nullptr;
    CursorList* saved_libraries = nullptr;
    CursorList* saved_all_libraries = nullptr;
    CursorList* saved_commands = nullptr;
    CursorList* saved_subsystems = nullptr;
};

const char* const fixed_declarations =
    "#pragma warning(disable: 4024)\n"
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "#define ZD_INFINITY (1.0 / 0.0)\n"
    "#define ZD_NEG_INFINITY (-1.0 / 0.0)\n"
    "typedef struct zd_array { void *a; } zd_array;\n"
    "typedef struct zd_array2 { void *a; integer b[2]; } zd_array2;\n"
    "typedef struct zd_array3 { void *a; integer b[3]; } zd_array3;\n"
    "typedef struct zd_array4 { void *a; integer b[4]; } zd_array4;\n"
    "typedef struct zd_array5 { void *a; integer b[5]; } zd_array5;\n"
    "typedef struct zd_array6 { void *a; integer b[6]; } zd_array6;\n"
    "typedef struct zd_array7 { void *a; integer b[7]; } zd_array7;\n"
    "typedef struct zd_array8 { void *a; integer b[8]; } zd_array8;\n"
    "typedef struct zd_array9 { void *a; integer b[9]; } zd_array9;\n"
    "typedef struct zd_listitem { void *a; void *b; void *c;} zd_listitem;\n"
    "typedef struct zd_list { void *a; zd_listitem *b; } zd_list;\n"
    "typedef struct zd_mapitem { void *a; void *b; void *c;} zd_mapitem;\n"
    "typedef struct zd_zdmap { zd_mapitem *a; } zd_zdmap;\n"
    "typedef struct zd_map { zd_zdmap *a; } zd_map;\n"
    "static integer s_s[]={0, -1};\n"
    "#define M_SYSFUNCTION(a) a\n"
    "#define M_ZDFUNCTION(a) a\n"
    "#define M_CDECL\n"
    "typedef void TCHAR;\n"
    "static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : \"=m\" "
    "(out) : \"m\" (x)); return out; }\n"
    "static inline int zd_lrint(long double x) { int out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpl %0\" : \"=m\" "
    "(out) : \"m\" (x)); return out; }\n"
    "static inline short zd_wrint(long double x) { short out; __asm__ __volatile__(\"fldt %1\\n\" \"fistps %0\" : \"=m\" "
    "(out) : \"m\" (x)); return out; }\n"
    "#define SYS_BankerRound(x) zd_llrint(x)\n"
    "#define SYS_BankerRoundQuad(x) zd_llrint(x)\n";

}  // namespace

// ---------------------------------------------------------------------------
// Whole files

TEST_F(CProgramFile, EmptyConsoleProgramAtOutputPath)
{
    std::string expected = std::string(fixed_declarations) +
                           "integer f_exitprocess_(int) asm(\"ExitProcess\");\n"
                           "integer f_heapcreate_(int,integer,integer) asm(\"HeapCreate\");\n"
                           "integer f_heapdestroy_(integer) asm(\"HeapDestroy\");\n"
                           "integer f_getmodulehandle_(integer) asm(\"GetModuleHandleW\");\n"
                           "static char *tls;\n"
                           "int ZD_ExitCode=0;\n"
                           "integer ZD_MemoryBase=0;\n"
                           "integer ZD_Instance=0;\n"
                           "unsigned char *zd_datapointer;\n"
                           "integer f_internal_setcurrentdirectory_(integer) asm(\"SetCurrentDirectoryW\");\n"
                           "void SYS_Quit();\n"
                           "M_SYSFUNCTION(void) SYS_InitZandrel();\n"
                           "volatile int ZD_DEBUGGER_LineNumber=-1;\n"
                           "volatile int ZD_DEBUGGER_IncludedFiles=0;\n"
                           "char *ZD_DEBUGGER_FileName=0;\n"
                           "\n"
                           "static integer ms_s[]={0,-1};\n"
                           "char ZD_OpenGLSubsystem=1;\n"
                           "int ZD_Compiler_Unicode=1;\n"
                           "int ZD_Compiler_Thread=0;\n"
                           "int ZD_Compiler_Purifier=0;\n"
                           "int ZD_Compiler_Debugger=0;\n"
                           "int ZD_Compiler_DPIAware=0;\n"
                           "int ZD_Compiler_XPSkins=0;\n"
                           "int ZD_ExecutableType=1;\n"
                           "void ZD_EndFunctions() {\n"
                           "}\n"
                           "int main(int argc, char* argv[]) {\n"
                           "ZD_Instance = f_getmodulehandle_(0);\n"
                           "ZD_MemoryBase = f_heapcreate_(0,4096,0);\n"
                           "SYS_InitZandrel();\n"
                           "SYS_Quit();\n"
                           "}\n"
                           "\n"
                           "void SYS_Quit() {\n"
                           "ZD_EndFunctions();\n"
                           "f_heapdestroy_(ZD_MemoryBase);\n"
                           "f_exitprocess_(ZD_ExitCode);\n"
                           "}\n";
    EXPECT_EQ(finished_file(), expected);
    EXPECT_EQ(executable_at_output_path, 1);
}

TEST_F(CProgramFile, CommentedHeadBlockAndSeparators)
{
    commented_output = 1;
    dll_mode = 1;
    std::string text = finished_file();
    EXPECT_EQ(text.rfind("// \n"
                         "// Zandrel 6.10 LTS - C Backend (Windows - x64) generated code\n"
                         "// \n"
                         "// Zandrel toolchain, C output for gcc\n"
                         "// \n"
                         "// The header must remain intact for Re-Assembly\n"
                         "// \n"
                         "// :DLL\n"
                         "// :System\n"
                         "// \n"
                         "#pragma warning(disable: 4024)\n"
                         "// \n"
                         "typedef long long quad;\n",
                         0),
              0u)
        << text;
    // Blank comment lines stand between the blocks.
    // The three label blocks each open with one.
    EXPECT_NE(text.find("unsigned char *zd_datapointer;\n"
                        "// \n// \n// \n"
                        "integer f_internal_setcurrentdirectory_(integer) asm(\"SetCurrentDirectoryW\");\n"
                        "// \n"
                        "void SYS_Quit();\n"),
              std::string::npos);
    EXPECT_NE(text.find("// \nvoid ZD_EndFunctions() {\n}\n// \n"), std::string::npos);
    // Commented mode never changes to the source folder.
    EXPECT_EQ(text.find("ZD_SourceCodePath"), std::string::npos);
}

TEST_F(CProgramFile, GuiProgramStartedFromTheBuildFolderChangesToItsSource)
{
    console_mode = 0;
    executable_subsystem_name = "Windows";
    output_file = nullptr;
    main_source_folder = "/home/user/my \"quoted\" d\xC3\xA9/";
    std::string text = finished_file();
    EXPECT_EQ(executable_at_output_path, 0);
    // The UTF-16 units of "Z:\\home\\user\\my \"quoted\" dé\\" for SetCurrentDirectoryW.
    EXPECT_NE(text.find("const unsigned short ZD_SourceCodePath[]={90,58,92,104,111,109,101,92,117,115,101,114,92,109,121,"
                        "32,34,113,117,111,116,101,100,34,32,100,233,92,0};\n"
                        "char ZD_OpenGLSubsystem=1;\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("int ZD_ExecutableType=0;\n"), std::string::npos);
    EXPECT_NE(text.find("int WinMain(void *instance, void *prevInstance, void *cmdLine, int cmdShow) {\n"
                        "ZD_Instance = f_getmodulehandle_(0);\n"
                        "ZD_MemoryBase = f_heapcreate_(0,4096,0);\n"
                        "SYS_InitZandrel();\n"
                        "f_internal_setcurrentdirectory_(ZD_SourceCodePath);\n"
                        "SYS_Quit();\n"),
              std::string::npos)
        << text;
}

TEST_F(CProgramFile, SourcePathLiteralEscapesControlCharacters)
{
    EXPECT_EQ(c_source_path_literal("/a/b\nc/"), "Z:\\\\a\\\\b\\012c\\\\");
    EXPECT_EQ(c_source_path_literal("C:\\x\\"), "C:\\\\x\\\\");
}

TEST_F(CProgramFile, DllGetsDllMainAndAnInitFunctionThatReturns)
{
    dll_mode = 1;
    output_file = nullptr;
    std::string text = finished_file();
    EXPECT_NE(text.find("static void zd_dllinit();\n"
                        "int DllMain(integer instance, int reason, void *reserved) {\n"
                        "switch (reason) {\ncase 1:\n"
                        "ZD_Instance=instance;\n"
                        "zd_dllinit();\n"
                        "break;\n"
                        "case 2:\n"
                        "break;\n"
                        "case 0:\n"
                        "SYS_Quit();\n"
                        "break;\n"
                        "case 3:\n"
                        "break;\n"
                        "} return 1; }\n"
                        "static void zd_dllinit() {\n"
                        "ZD_MemoryBase = f_heapcreate_(0,4096,0);\n"
                        "SYS_InitZandrel();\n"
                        "}\n\n"
                        "void SYS_Quit() {\n"
                        "ZD_EndFunctions();\n"
                        "f_heapdestroy_(ZD_MemoryBase);\n"
                        "}\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("f_getmodulehandle_(0)"), std::string::npos);
    EXPECT_EQ(text.find("f_exitprocess_"), std::string::npos);
    EXPECT_EQ(text.find("ZD_SourceCodePath"), std::string::npos);
}

TEST_F(CProgramFile, WithoutStringsNoStringManagerWithDebuggerAll)
{
    std::string text = finished_file();
    EXPECT_EQ(text.find("SYS_InitString"), std::string::npos);
    EXPECT_EQ(text.find("ZD_StringBase"), std::string::npos);

    reset_output_buffers();
    c_backend_reset();
    debugger_enabled = 1;
    text = finished_file();
    debugger_enabled = 0;
    EXPECT_NE(text.find("M_SYSFUNCTION(void) SYS_AllocateString4(TCHAR **String, int PreviousPosition);\n"
                        "M_SYSFUNCTION(integer) SYS_FastAllocateStringFree4(TCHAR **Address, const TCHAR *String);\n"
                        "M_SYSFUNCTION(void *) SYS_InitThreadedObject();\n"
                        "extern void *ZD_StringBase;\n"
                        "extern integer ZD_StringBasePosition;\n"
                        "M_SYSFUNCTION(void) SYS_InitString(void);\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("SYS_InitString();\nZD_DEBUGGER_Start(0, 1);\ntls=SYS_InitThreadedObject();\n"), std::string::npos);
    EXPECT_NE(text.find("integer ZD_ThreadedObjectSize=0;\n"), std::string::npos);
    EXPECT_NE(text.find("ZD_EndFunctions();\nZD_DEBUGGER_End();\n"), std::string::npos);
    EXPECT_NE(text.find("void DBG_CheckDataSection();\n"), std::string::npos);
}

TEST_F(CProgramFile, ThreadSafeStringManagerPrototypes)
{
    thread_safe = 1;
    string_manager_used = 1;
    c_emit_runtime_prototypes();
    thread_safe = 0;
    std::string text = code_text();
    EXPECT_EQ(text.find("extern void *ZD_StringBase;"), std::string::npos);
    EXPECT_NE(text.find("M_SYSFUNCTION(void) SYS_IncrementStringBasePosition(void);\n"
                        "M_SYSFUNCTION(void) SYS_InitString(void);\n"
                        "M_SYSFUNCTION(void) SYS_FreeStrings(void);\n"
                        "M_SYSFUNCTION(void) SYS_PushStringBasePosition(void);\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("M_SYSFUNCTION(char *) SYS_GetStringBase(void);\n"), std::string::npos);
}

TEST_F(CProgramFile, RuntimePrototypesOnlyForUsedRoutinesInOrder)
{
    c_runtime_used[C_SYS_FreeArray] = 1;
    c_runtime_used[C_SYS_CopyString] = 1;
    c_runtime_used[C_ZD_GetMapElement] = 1;
    gosub_used = 1;
    runtime_used = 1;
    c_emit_runtime_prototypes();
    EXPECT_EQ(code_text(),
              "void SYS_Quit();\n"
              "M_SYSFUNCTION(void) SYS_InitZandrel();\n"
              "M_SYSFUNCTION(void) SYS_CopyString(const void *String);\n"
              "M_SYSFUNCTION(void) SYS_FreeArray(zd_array *Array);\n"
              "M_ZDFUNCTION(void *) ZD_GetMapElement(void *Map, void *Key);\n"
              "M_SYSFUNCTION(void) ZD_Runtime_AddInteger(const void *Name, integer Value);\n"
              "M_SYSFUNCTION(void) ZD_Runtime_AddDouble(const void *Name, double Value);\n"
              "M_SYSFUNCTION(void) ZD_Runtime_AddVariable(const void *Name, void *Address, integer Type);\n"
              "M_SYSFUNCTION(void) ZD_Runtime_AddString(const void *Name, const void *Value);\n"
              "M_SYSFUNCTION(void) SYS_InitGosubManager();\n"
              "M_SYSFUNCTION(void) SYS_PushGosub(void *ReturnAddress);\n"
              "M_SYSFUNCTION(void *) SYS_PopGosub();\n");
}

TEST_F(CProgramFile, StringTableSkipsTheEmptyLiteralOnly)
{
    c_emit_string_table();
    EXPECT_EQ(code_text(), "");
    string_manager_used = 1;
    c_literal_table = {{1, "Hi"}, {2, ""}, {3, ""}, {4, "\xC3\xA9\xF0\x9F\x98\x80"}};
    empty_literal_number = 2;
    c_emit_string_table();
    EXPECT_EQ(code_text(),
              "static unsigned short _S1[]={72,105,0};\n"
              "static unsigned short _S3[]={0};\n"
              "static unsigned short _S4[]={233,55357,56832,0};\n");
    // Nothing while output is off.
    reset_output_buffers();
    no_output_depth = 1;
    c_emit_string_table();
    no_output_depth = 0;
    EXPECT_EQ(code_text(), "");
}

TEST_F(CProgramFile, ProgramParametersAndOpenGlSubsystem)
{
    EXPECT_EQ(c_opengl_subsystem_value(), 1);
    add_subsystem("DirectX9");
    EXPECT_EQ(c_opengl_subsystem_value(), 0);
    add_subsystem("directx11");
    EXPECT_EQ(c_opengl_subsystem_value(), 2);
    list_clear(subsystem_list);
    add_subsystem("DIRECTX11");
    EXPECT_EQ(c_opengl_subsystem_value(), 2);

    thread_safe = 1;
    purifier_enabled = 1;
    dpi_aware = 1;
    xp_skin = 1;
    // The block of Threaded items is rounded up to whole quads.
    c_threaded_items_used = 1;
    thread_local_offset = 44;
    std::string text = finished_file();
    thread_local_offset = 0;
    thread_safe = 0;
    purifier_enabled = 0;
    EXPECT_NE(text.find("char ZD_OpenGLSubsystem=2;\n"
                        "int ZD_Compiler_Unicode=1;\n"
                        "int ZD_Compiler_Thread=1;\n"
                        "int ZD_Compiler_Purifier=1;\n"
                        "int ZD_Compiler_Debugger=0;\n"
                        "int ZD_Compiler_DPIAware=1;\n"
                        "int ZD_Compiler_XPSkins=1;\n"
                        "int ZD_ExecutableType=1;\n"
                        "integer ZD_ThreadedObjectSize=48;\n"),
              std::string::npos)
        << text;
    // Threaded objects: the release callback and the thread object.
    EXPECT_NE(text.find("M_SYSFUNCTION(void) SYS_FreeThreadObjectCallback(char *tls) {\n}\n"), std::string::npos);
    EXPECT_NE(text.find("SYS_InitString();\ntls=SYS_InitThreadedObject();\nSYS_Quit();\n"), std::string::npos) << text;
}

TEST_F(CProgramFile, FixedStringTypesDataArrayAndFixups)
{
    fixed_string_size_table = {10, 256};
    data_array_open = 1;
    auto* fixup = static_cast<PointerFixup*>(list_add(global_fixup_list));
    fixup->array = "zd_data";
    fixup->offset = 16;
    fixup->target = "&_S3";
    std::string text = finished_file();
    EXPECT_NE(text.find("typedef struct { char a[10]; } ft_10;\ntypedef struct { char a[256]; } ft_256;\n"), std::string::npos);
    EXPECT_NE(text.find("unsigned char *zd_datapointer;\nunsigned char zd_data[];\n"), std::string::npos);
    EXPECT_NE(text.find("SYS_InitZandrel();\nzd_datapointer = &zd_data;\n*(integer *)(&zd_data[16])=(integer)&_S3;\n"),
              std::string::npos)
        << text;
    // The data buffer closes the array after the code.
    EXPECT_EQ(text.substr(text.size() - 3), "\n};");
}

TEST_F(CProgramFile, EndStatementStoresAConstantExitCode)
{
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.flags = 0;
    current_operand.constant = -42;
    c_emit_end_statement(1);
    c_emit_end_statement(0);
    current_operand.flags = OP_FLOAT | OP_DOUBLE;
    current_operand.constant_float = 2.5;
    c_emit_end_statement(1);
    EXPECT_EQ(code_text(), "ZD_ExitCode=-42;\nSYS_Quit();\nSYS_Quit();\nZD_ExitCode=2;\nSYS_Quit();\n");
    EXPECT_EQ(error_number, 0);
    // A computed value is the operand's C text.
    reset_output_buffers();
    current_operand.kind = OPERAND_VARIABLE;
    current_operand.flags = 0;
    std::snprintf(current_operand.text, sizeof current_operand.text, "%s", "v_x");
    c_emit_end_statement(1);
    EXPECT_EQ(code_text(), "ZD_ExitCode=v_x;\nSYS_Quit();\n");
    // Nothing is written while output is off.
    reset_output_buffers();
    no_output_depth = 1;
    c_backend_hooks.emit_goto("l_a");
    c_emit_end_statement(1);
    no_output_depth = 0;
    EXPECT_EQ(code_text(), "");
}

// ---------------------------------------------------------------------------
// DllMain, library init and end calls, library declarations

TEST_F(CProgramFile, DllMainWithEntryProcedures)
{
    ProcedureRecord attach{};
    attach.entry.key = "AttachProcess";
    ProcedureRecord detach{};
    detach.entry.key = "DetachThread";
    c_emit_dllmain(nullptr, &detach, &attach, nullptr);
    std::string text = code_text();
    EXPECT_NE(text.find("zd_dllinit();\nf_attachprocess(instance);\nbreak;\ncase 2:\nbreak;\ncase 0:\nSYS_Quit();\nbreak;\n"
                        "case 3:\nf_detachthread(instance);\nbreak;\n"),
              std::string::npos)
        << text;
}

TEST_F(CProgramFile, LibraryInitAndEndCalls)
{
    LibraryCommand init{};
    init.entry.key = "Gadget_Init";
    init.flags = 0x100;
    LibraryCommand end{};
    end.entry.key = "Gadget_End";
    LibraryRecord library{};
    library.init_command = &init;
    library.end_command = &end;
    c_emit_library_init_calls(&library);
    debugger_enabled = 1;
    c_emit_library_init_calls(&library);
    debugger_enabled = 0;
    c_emit_library_end(&library);
    EXPECT_EQ(code_text(), "ZD_Gadget_Init();\nZD_Gadget_Init_DEBUG();\nZD_Gadget_Init();\nZD_Gadget_End();\n");
}

TEST_F(CProgramFile, LibraryPrototypes)
{
    LibraryCommand text_command{};
    text_command.entry.key = "Str";
    text_command.flags = 0x10;
    text_command.parameter_count = 0;
    c_emit_library_prototype(&text_command, "", "", "");

    uint8_t codes[] = {TYPE_INTEGER, TYPE_DOUBLE, TYPE_STRING};
    LibraryCommand mixed{};
    mixed.entry.key = "Mix";
    mixed.flags = 0x10;
    mixed.parameter_count = 3;
    mixed.parameter_codes = codes;
    c_emit_library_prototype(&mixed, "_THREAD", "_SSE2", "");

    LibraryCommand pointer{};
    pointer.entry.key = "Fast";
    pointer.flags = 0x800000 | 0x08000000;
    pointer.parameter_count = 1;
    pointer.parameter_codes = codes + 1;
    c_emit_library_prototype(&pointer, "", "_SSE", "");
    // The debugger variant is never a pointer.
    c_emit_library_prototype(&pointer, "_DEBUG", "", "");

    // A long result is a 32-bit int: the routine leaves the upper half of
    // the register undefined (a negative result read as 64 bits is wrong).
    LibraryCommand count{};
    count.entry.key = "Count";
    count.flags = 0x8;
    count.parameter_count = 1;
    count.parameter_codes = codes;
    c_emit_library_prototype(&count, "", "", "");
    EXPECT_STREQ(c_library_return_type(&count), "int");
    EXPECT_STREQ(c_library_return_type(&pointer), "double");
    EXPECT_EQ(code_text(),
              "void* ZD_Str(int);\n"
              "void* ZD_Mix_THREAD_SSE2(integer,double,void*,int);\n"
              "typedef double (*zdv_Fast_SSE)(double);\n"
              "extern zdv_Fast_SSE ZD_Fast_SSE;\n"
              "double ZD_Fast_DEBUG(double);\n"
              "int ZD_Count(integer);\n");
}

TEST_F(CProgramFile, LibraryExternsByProcessorMode)
{
    LibraryRecord library{};
    library.used = 1;
    LibraryCommand with_variant{};
    with_variant.entry.key = "Blend";
    with_variant.flags = 0x40000 | 0x10000 | 0x100;
    with_variant.use_count = 1;
    with_variant.library = &library;
    with_variant.parameter_count = -1;
    LibraryCommand plain{};
    plain.entry.key = "Plain";
    plain.use_count = 1;
    plain.library = &library;
    LibraryCommand unused{};
    unused.entry.key = "Unused";
    unused.library = &library;
    CursorList commands{};
    init_list(&commands, sizeof(LibraryCommand), 1);
    auto link = [&commands](LibraryCommand* command) {
        ListNode* node = &command->entry.link;
        node->next = nullptr;
        node->previous = commands.last;
        if (commands.last) commands.last->next = node;
        else commands.first = node;
        commands.last = node;
    };
    link(&with_variant);
    link(&plain);
    link(&unused);
    library_command_list = &commands;

    cpu_mode = cpu_mode_sse2;
    c_emit_library_externs();
    EXPECT_EQ(code_text(), "integer ZD_Blend_SSE2();\ninteger ZD_Plain();\n");

    reset_output_buffers();
    cpu_mode = cpu_mode_dynamic;
    debugger_enabled = 1;
    c_emit_library_externs();
    debugger_enabled = 0;
    cpu_mode = 0;
    EXPECT_EQ(code_text(),
              "integer ZD_Blend_MMX();\ninteger ZD_Blend_SSE2();\ninteger ZD_Blend();\ninteger ZD_Blend_DEBUG();\n"
              "integer ZD_Plain();\n");
    library_command_list = nullptr;
}

// /DYNAMICCPU: a command with processor variants is called through a
// pointer of the program, which the start-up code sets to the best variant
// the processor runs; a routine held in a pointer of its library is read
// from that pointer.
TEST_F(CProgramFile, DynamicFunctionPointersAndTheirSelection)
{
    LibraryRecord library{};
    library.used = 1;
    uint8_t codes[] = {TYPE_INTEGER, TYPE_DOUBLE};
    LibraryCommand blend{};
    blend.entry.key = "Blend";
    blend.flags = 0x10000 | 0x40000 | 0x100000 | 0x8;
    blend.parameter_count = 2;
    blend.parameter_codes = codes;
    LibraryCommand held{};
    held.entry.key = "Held";
    held.flags = 0x20000 | 0x100000 | 0x800000;
    LibraryCommand plain{};
    plain.entry.key = "Plain";
    CursorList commands{};
    link_used_commands(&commands, &library, {&blend, &held, &plain});
    library_command_list = &commands;
    cpu_mode = cpu_mode_dynamic;
    EXPECT_STREQ(c_library_routine_name(&blend), "zdf_Blend");
    EXPECT_STREQ(c_library_routine_name(&plain), "ZD_Plain");
    c_emit_dynamic_function_pointers();
    c_emit_dynamic_jump_table();
    c_emit_dynamic_function_selection();
    cpu_mode = 0;
    EXPECT_STREQ(c_library_routine_name(&blend), "ZD_Blend");
    EXPECT_EQ(code_text(),
              "int SYS_ProcessorFeatures(void);\n"
              "static int (*zdf_Blend)(integer,double);\n"
              "static zdv_Held zdf_Held;\n"
              "static void zd_dynamicfunctions() {\n"
              "int features=SYS_ProcessorFeatures();\n"
              "zdf_Blend=ZD_Blend;\n"
              "if (features&65536) zdf_Blend=ZD_Blend_MMX;\n"
              "if (features&262144) zdf_Blend=ZD_Blend_SSE2;\n"
              "zdf_Held=ZD_Held;\n"
              "if (features&131072) zdf_Held=ZD_Held_SSE;\n"
              "}\n"
              "zd_dynamicfunctions();\n");
    // Nothing to choose: nothing written.
    reset_output_buffers();
    blend.use_count = held.use_count = 0;
    cpu_mode = cpu_mode_dynamic;
    c_emit_dynamic_function_pointers();
    c_emit_dynamic_jump_table();
    c_emit_dynamic_function_selection();
    cpu_mode = 0;
    EXPECT_EQ(code_text(), "");
    library_command_list = nullptr;
}

// ---------------------------------------------------------------------------
// C type names

TEST(CTypeNames, TypeCodes)
{
    EXPECT_STREQ(c_type_name(TYPE_BYTE), "char");
    EXPECT_STREQ(c_type_name(TYPE_WORD), "short");
    EXPECT_STREQ(c_type_name(TYPE_LONG), "int");
    EXPECT_STREQ(c_type_name(TYPE_STRUCTURE), "integer");
    EXPECT_STREQ(c_type_name(TYPE_INTEGER), "integer");
    EXPECT_STREQ(c_type_name(TYPE_FLOAT), "float");
    EXPECT_STREQ(c_type_name(TYPE_CHARACTER), "unsigned short");
    EXPECT_STREQ(c_type_name(TYPE_UNICODE), "unsigned short");
    EXPECT_STREQ(c_type_name(TYPE_DOUBLE), "double");
    EXPECT_STREQ(c_type_name(TYPE_QUAD), "quad");
    EXPECT_STREQ(c_type_name(TYPE_ASCII), "unsigned char");
    for (int code : {0, 8, 10, 14, 15, 16, 17, 18, 19, 20, 22, 23, 255}) EXPECT_STREQ(c_type_name(code), "void*") << code;
}

TEST(CTypeNames, ProcedureAndMethodResults)
{
    EXPECT_STREQ(c_procedure_return_type(0x08000000 | 0x20, 0), "double");
    EXPECT_STREQ(c_procedure_return_type(0x20, 0), "float");
    EXPECT_STREQ(c_procedure_return_type(0x20000000, 0), "quad");
    EXPECT_STREQ(c_procedure_return_type(0x10 | 0x4, 0), "void*");
    EXPECT_STREQ(c_procedure_return_type(0x4, 0), "char");
    EXPECT_STREQ(c_procedure_return_type(0x8, 0), "integer");
    EXPECT_STREQ(c_procedure_return_type(0x8 | 0x800, 0), "int");
    EXPECT_STREQ(c_procedure_return_type(0, 0x20), "unsigned char");
    EXPECT_STREQ(c_procedure_return_type(0, 0x40), "unsigned short");
    EXPECT_STREQ(c_procedure_return_type(0, 0x2), "unsigned short");
    EXPECT_STREQ(c_procedure_return_type(0, 0x4), "integer");
    EXPECT_STREQ(c_procedure_return_type(0x800, 0), "short");
    EXPECT_STREQ(c_procedure_return_type(0, 0), "integer");

    InterfaceMethod method{};
    method.flags = 0x2 | 0x1;
    EXPECT_STREQ(c_method_return_type(&method), "float");
    method.flags = 0x10;
    EXPECT_STREQ(c_method_return_type(&method), "double");
    method.flags = 0x8;
    EXPECT_STREQ(c_method_return_type(&method), "quad");
    method.flags = 0x1;
    EXPECT_STREQ(c_method_return_type(&method), "void*");
    method.flags = 0x4;
    EXPECT_STREQ(c_method_return_type(&method), "int");
    method.flags = 0;
    EXPECT_STREQ(c_method_return_type(&method), "integer");
}

TEST(CTypeNames, StructureFieldAndMethodNames)
{
    ModuleRecord module{};
    module.entry.key = "MyMod";
    StructureRecord structure{};
    structure.entry.key = "ABC_x";
    structure.module = &module;
    EXPECT_STREQ(c_structure_name(&structure), "mymodXs_abc_x");
    structure.flags = STRUCT_INTERFACE;
    EXPECT_STREQ(c_structure_name(&structure), "mymodXi_abc_x");
    StructureRecord point{};
    point.entry.key = "Point";
    const char* first = c_structure_name(&point);
    EXPECT_STREQ(first, "s_point");
    c_structure_name(&structure);
    EXPECT_STREQ(first, "mymodXi_abc_x");  // one buffer: the second call replaces the first

    FieldRecord field{};
    field.name = const_cast<char*>("Name$");
    field.type_name = const_cast<char*>("IStream");
    field.type_module_name = const_cast<char*>("Io");
    field.flags = FIELD_INTERFACE;
    EXPECT_STREQ(c_field_structure_name(&field), "ioXi_istream");
    field.type_module_name = nullptr;
    field.flags = 0;
    EXPECT_STREQ(c_field_structure_name(&field), "s_istream");
    EXPECT_STREQ(c_field_member_name(&field), "f_nameS");

    InterfaceMethod method{};
    method.name = const_cast<char*>("GetSize$");
    EXPECT_STREQ(c_interface_method_name(&method), "m_getsize$");
}

// ---------------------------------------------------------------------------
// Text writers

TEST_F(CProgramFile, ResidentPrototypesAreTypedWhenTheProgramCallsThroughThem)
{
    HashTable* saved_prototypes = prototype_table;
    prototype_table = create_hash_table(sizeof(ProcedureRecord), 0);
    ParameterRecord parameter{};
    parameter.type = TYPE_INTEGER;
    auto add_resident = [&parameter](const char* name) {
        auto* prototype = static_cast<ProcedureRecord*>(hash_add(prototype_table, name));
        HashEntry entry = prototype->entry;
        std::memset(prototype, 0, sizeof *prototype);
        prototype->entry = entry;
        prototype->flags = PROC_PROTOTYPE;
        prototype->second_flags = PROC_SECOND_RESIDENT;
        prototype->parameter_count = 1;
        prototype->parameters = &parameter;
        return prototype;
    };
    ProcedureRecord* called = add_resident("Called");
    add_resident("Unused");
    EXPECT_EQ(c_prototype_type_name(called), "pf_called");
    c_emit_prototype_typedefs();
    std::string text = code_text();
    EXPECT_NE(text.find(" (*pf_called)(integer);\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("pf_unused"), std::string::npos) << text;
    prototype_table = saved_prototypes;
}

TEST_F(CProgramFile, IdentifierEscapeAndNumberTexts)
{
    EXPECT_STREQ(c_identifier_name("My$Var_9"), "mySvar_9");
    EXPECT_STREQ(c_identifier_name(""), "");
    EXPECT_STREQ(c_escape_backslashes("C:\\a\\\\b"), "C:\\\\a\\\\\\\\b");
    char buffer[24];
    EXPECT_STREQ(c_int64_to_text(buffer, 0), "0");
    EXPECT_STREQ(c_int64_to_text(buffer, -17), "-17");
    EXPECT_STREQ(c_int64_to_text(buffer, INT64_MIN), "-9223372036854775808");
    EXPECT_STREQ(c_int64_to_text(buffer, INT64_MAX), "9223372036854775807");
}

TEST_F(CProgramFile, CommentLinesOnlyInCommentedMode)
{
    c_emit_comment("x = 1");
    EXPECT_EQ(code_text(), "");
    commented_output = 1;
    c_emit_comment("  \tx = 1\x01");
    c_emit_comment(";; tail");
    c_emit_comment("");
    c_emit_empty_line();
    suppress_errors = 1;
    c_emit_comment("silent");
    suppress_errors = 0;
    no_output_depth = 1;
    c_emit_empty_line();
    no_output_depth = 0;
    EXPECT_EQ(code_text(), "// x = 1\n//; tail\n// \n\n");
    // The shared source echo writes C comments through the hook.
    reset_output_buffers();
    emit_comment("a = 5");
    EXPECT_EQ(code_text(), "// a = 5\n");
    // A line ending in a backslash must not join the next line to the
    // comment.
    reset_output_buffers();
    c_emit_comment("path$ = \"C:\\\" ; dir \\  ");
    EXPECT_EQ(code_text(), "// path$ = \"C:\\\" ; dir \\.\n");
}

TEST_F(CProgramFile, CommentedOutputHasCrLfLineEnds)
{
    char path[] = "/tmp/zandrel_c_commented_XXXXXX";
    int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    FILE* file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr);
    const char text[] = "a\n\nb\nlast";
    c_write_commented_output(file, text, text + sizeof text - 1);
    c_write_commented_output(file, text, text);
    std::fclose(file);
    std::string written;
    os_read_file(path, written);
    std::remove(path);
    EXPECT_EQ(written, "a\r\n\r\nb\r\nlast");
}
