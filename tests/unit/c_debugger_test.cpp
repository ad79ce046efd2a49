// Golden C text of the debugger support and of the data statements in the
// C back end: line markers and the two line tables, Debug printers,
// CallDebugger, the debugger's head, variables, support code and banks;
// Data values in zd_data, data labels, Read, Restore, Swap. Whole files are
// written by the C file writer and compiled by clang as the gcc stand-in
// runs it.
#include <cstring>
#include <string>

#include "backend_c/c_compile_program.h"
#include "backend_c/c_data_statements.h"
#include "backend_c/c_debugger.h"
#include "backend_c/c_program_file.h"
#include "c_test_support.h"
#include "frontend/expressions.h"
#include "frontend/labels.h"

namespace {

class CDebuggerTest : public CBackendTest {
protected:
    void SetUp() override
    {
        CBackendTest::SetUp();
        fresh_compilation();
    }
    void TearDown() override
    {
        debugger_enabled = 0;
        debugger_code = 0;
        line_numbering = 0;
        console_mode = 0;
        output_file = nullptr;
        current_line = 0;
        current_file_index = 0;
        continuation_count = 0;
        CBackendTest::TearDown();
        c_backend_reset();
    }

    void fresh_compilation(int with_debugger = 0)
    {
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        c_backend_reset();
        clear_error_state();
        clear_output();
        debugger_enabled = uint8_t(with_debugger);
        debugger_code = uint8_t(with_debugger);
        console_mode = 1;
        output_file = const_cast<char*>("prog.exe");
        current_line = 0;
        current_file_index = 0;
        continuation_count = 0;
    }

    // Compiles each statement (one per line, its number as the line) and
    // returns all the code written, or "error <n>".
    std::string compile(const std::string& statements)
    {
        clear_error_state();
        std::string code;
        int64_t before = 0;
        std::string failure = compile_each_line(
            statements,
            [&](int32_t line) {
                before = output_write_pointer - output_buffer_start;
                current_line = line;
            },
            [&] { code.append(output_buffer_start + before, output_write_pointer); });
        return failure.empty() ? code : failure;
    }

    std::string data_text() const { return std::string(data_buffer_start, data_write_pointer); }

    // The whole C file as the writer writes it, after the main code.
    std::string finished_file()
    {
        c_finish_program();
        TemporaryFolder folder;
        if (folder.path().empty()) return "";
        std::string path = folder.path() + "/zandrel.c";
        c_write_output_file(path.c_str(), 0);
        return read_whole_file(path);
    }

    // clang with the gcc stand-in's target on a whole file; "" when it
    // compiles, else its messages.
    static std::string compile_with_clang(const std::string& file) { return clang_messages(file); }

    static bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

// ---------------------------------------------------------------------------
// Line markers and line tables

TEST_F(CDebuggerTest, LineMarkersByOption)
{
    fresh_compilation(1);
    line_numbering = 1;
    current_line = 12;
    c_emit_line_marker("DBL");
    EXPECT_EQ(output(), "ZD_DEBUGGER_LineNumber=13;\nDBG_Check(12);\n");

    // Line 5 of the first included file.
    clear_output();
    current_file_index = 1;
    current_line = 5;
    c_emit_line_marker("DBL");
    EXPECT_EQ(output(), "ZD_DEBUGGER_LineNumber=1048582;\nDBG_Check(1048581);\n");

    // Continuation lines count into the code.
    clear_output();
    current_file_index = 0;
    current_line = 7;
    continuation_count = 2;
    line_numbering = 0;
    c_emit_line_marker("DBL");
    EXPECT_EQ(output(), "DBG_Check(9);\n");

    // Nothing without either option; nothing while output is off.
    clear_output();
    debugger_code = 0;
    c_emit_line_marker("DBL");
    EXPECT_EQ(output(), "");
    debugger_code = 1;
    no_output_depth = 1;
    c_emit_line_marker("DBL");
    no_output_depth = 0;
    EXPECT_EQ(output(), "");
}

TEST_F(CDebuggerTest, ListAndMapElementsAreCheckedAndThePurifierLooksAfterThem)
{
    fresh_compilation(1);
    purifier_enabled = 1;
    std::string code = compile("NewList l.l()\nl() = 4\nx = 1\nNewMap m.l()\nm(\"a\") = x");
    purifier_enabled = 0;
    EXPECT_TRUE(contains(code, "(*(int*)&t_l.b->c)=4;\nZD_PURIFIER_Check(0,0,0);\nDBG_Check(2);\nv_x=1;\nDBG_Check(3);\n"))
        << code;
    // A keyed access first checks that the map was created.
    EXPECT_TRUE(contains(code, "SYS_CheckMap(m_m.a);\nint* r0=(int*)ZD_GetMapElement(m_m.a,_S1);\n(*r0)=v_x;\n"
                               "ZD_PURIFIER_Check(0,0,0);\n"))
        << code;
}

TEST_F(CDebuggerTest, DisableDebuggerKeepsTheLineStoreOnly)
{
    fresh_compilation(1);
    line_numbering = 1;
    std::string code = compile("a.i = 1\nDisableDebugger\na = 2\nEnableDebugger\na = 3");
    EXPECT_EQ(code,
              "ZD_DEBUGGER_LineNumber=1;\nDBG_Check(0);\nv_a=1;\n"
              "ZD_DEBUGGER_SetLine(1);\n"
              "ZD_DEBUGGER_LineNumber=3;\nv_a=2;\n"
              "ZD_DEBUGGER_LineNumber=5;\nDBG_Check(4);\nv_a=3;\n");
}

TEST_F(CDebuggerTest, ValidLinesRowsAndTableHead)
{
    fresh_compilation(1);
    c_valid_lines_row_count = -1;
    for (int32_t line = 0; line < 140; line++) {
        current_line = line;
        c_add_debugger_line_entry();
    }
    std::string table(valid_lines_buffer->start, valid_lines_buffer->write);
    ASSERT_EQ(table.rfind("\nint ZD_DEBUGGER_ValidLines[]={0,1,2,", 0), 0u);
    // The first row holds 66 entries, the next ones 65.
    size_t first_feed = table.find('\n', 1);
    ASSERT_NE(first_feed, std::string::npos);
    EXPECT_EQ(table.substr(first_feed - 6, 7), "64,65,\n");
    size_t second_feed = table.find('\n', first_feed + 1);
    EXPECT_EQ(table.substr(first_feed + 1, 4), "66,6");
    EXPECT_EQ(table.substr(second_feed - 4, 5), "130,\n");

    // A new compilation starts the table again; the row count goes on.
    c_backend_reset();
    std::string head(valid_lines_buffer->start, valid_lines_buffer->write);
    EXPECT_EQ(head, "\nint ZD_DEBUGGER_ValidLines[]={");
}

TEST_F(CDebuggerTest, CodeContextRecords)
{
    fresh_compilation(1);
    current_line = 3;
    c_add_code_context_entry(1, "Main");
    current_file_index = 2;
    current_line = 0x1234;
    c_add_code_context_entry(6, "");
    std::string table(code_context_buffer->start, code_context_buffer->write);
    EXPECT_EQ(table,
              "\nunsigned char ZD_DEBUGGER_CodeContextBank[]={"
              "3,0,0,0,1,77,97,105,110,0,"
              "52,18,32,0,6,0,");
    // Bytes above 127 are written unsigned.
    c_backend_reset();
    current_file_index = 0;
    current_line = 0;
    c_add_code_context_entry(3, "\xC3\xA9");
    table.assign(code_context_buffer->start, code_context_buffer->write);
    EXPECT_TRUE(contains(table, "0,0,0,0,3,195,169,0,")) << table;
}

// ---------------------------------------------------------------------------
// Debug, DebugLevel, CallDebugger

TEST_F(CDebuggerTest, DebugPrintersByValueKind)
{
    fresh_compilation(1);
    EXPECT_EQ(compile("a.i = 2\nf.f = 1\nd.d = 2"), "DBG_Check(0);\nv_a=2;\nDBG_Check(1);\nv_f=1.0;\nDBG_Check(2);\nv_d=2.0;\n");
    EXPECT_EQ(compile("Debug a"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintQuad((quad)v_a);\n"
                                  "SYS_PopStringBasePositionUpdate();\n");
    EXPECT_EQ(compile("Debug f"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintFloat((float)v_f);\n"
                                  "SYS_PopStringBasePositionUpdate();\n");
    EXPECT_EQ(compile("Debug d"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintDouble((double)v_d);\n"
                                  "SYS_PopStringBasePositionUpdate();\n");
    EXPECT_EQ(compile("Debug 7 * 6"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintQuad((quad)42);\n"
                                      "SYS_PopStringBasePositionUpdate();\n");
    EXPECT_EQ(compile("Debug 2.5"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintDouble((double)2.5);\n"
                                    "SYS_PopStringBasePositionUpdate();\n");
    std::string literal = compile("Debug \"text\"");
    EXPECT_TRUE(contains(literal, "ZD_DEBUGGER_PrintString(_S")) << literal;
}

TEST_F(CDebuggerTest, DebugFloatConstantsInTheirPrinterForm)
{
    fresh_compilation(1);
    current_operand.kind = OPERAND_CONSTANT;
    current_operand.flags = OP_FLOAT;
    current_operand.constant_float = 0.1;
    c_emit_debug_print_float();
    c_emit_debug_print_double();
    current_operand.flags = 0;
    current_operand.constant = -5;
    c_emit_debug_print_quad();
    EXPECT_EQ(output(),
              "ZD_DEBUGGER_PrintFloat((float)0.100000001490116119384765625);\n"
              "ZD_DEBUGGER_PrintDouble((double)0.1);\n"
              "ZD_DEBUGGER_PrintQuad((quad)-5);\n");
}

TEST_F(CDebuggerTest, DebugAboveTheLevelLeavesNoTrace)
{
    fresh_compilation(1);
    EXPECT_EQ(compile("a.i = 1\nDebugLevel 1"), "DBG_Check(0);\nv_a=1;\n");
    EXPECT_EQ(compile("Debug a, 2"), "");
    EXPECT_EQ(compile("Debug a, 1"), "DBG_Check(0);\nSYS_PushStringBasePosition();\nZD_DEBUGGER_PrintQuad((quad)v_a);\n"
                                     "SYS_PopStringBasePositionUpdate();\n");
}

TEST_F(CDebuggerTest, DebugWithoutTheDebuggerWritesAndReportsNothing)
{
    fresh_compilation(0);
    EXPECT_EQ(compile("Debug undefined_name + \"x\""), "");
    EXPECT_EQ(error_number, 0);
}

TEST_F(CDebuggerTest, CallDebugger)
{
    fresh_compilation(1);
    EXPECT_EQ(compile("CallDebugger"), "DBG_Check(0);\nZD_DEBUGGER_Break(0);\n");
    fresh_compilation(0);
    EXPECT_EQ(compile("CallDebugger"), "");
}

// ---------------------------------------------------------------------------
// Head, variables, support code

TEST_F(CDebuggerTest, DefinesOnlyWithTheDebugger)
{
    fresh_compilation(0);
    c_emit_debugger_defines();
    EXPECT_EQ(output(), "");
    fresh_compilation(1);
    c_emit_debugger_defines();
    std::string head = output();
    EXPECT_EQ(head.rfind("#define DBG_ZeroDivideError 1\n", 0), 0u);
    EXPECT_TRUE(contains(head, "#define DBG_StructureArrayOufOfBoundError 6\n#define DBG_NegativeArraySizeError 7\n"));
    EXPECT_TRUE(contains(head, "#define DBG_MapUninitializedError 12\ntypedef integer unsigned_integer;\n"
                               "void ZD_DEBUGGER_Start(unsigned_integer StackPosition, int Flags);\n"));
    EXPECT_TRUE(contains(head, "void ZD_DEBUGGER_SetLine(int LineNumber);\n"
                               "M_SYSFUNCTION(void) SYS_CheckArray(integer *ArrayAddress, integer Index);\n"));
    EXPECT_TRUE(contains(head, "void ZD_PURIFIER_Check(int **GlobalMap, int *LocalOffsetMap, const char *Stack);\n"
                               "void DBG_Check(int Line) { ZD_DEBUGGER_Check(Line, 0); }\n"));
}

TEST_F(CDebuggerTest, VariablesByOption)
{
    fresh_compilation(0);
    c_emit_debugger_variables();
    EXPECT_EQ(output(),
              "volatile int ZD_DEBUGGER_LineNumber=-1;\nvolatile int ZD_DEBUGGER_IncludedFiles=0;\n"
              "char *ZD_DEBUGGER_FileName=0;\n");

    // Line numbering alone: file parts only.
    clear_output();
    line_numbering = 1;
    source_file = const_cast<char*>("C:\\work\\game.zd");
    c_emit_debugger_variables();
    EXPECT_EQ(output(),
              "volatile int ZD_DEBUGGER_LineNumber=0;\nvolatile int ZD_DEBUGGER_NbIncludedFiles=0;\n"
              "const char ZD_DEBUGGER_FileName[]=\"game.zd\";\nchar *ZD_DEBUGGER_IncludedFiles[]={\n0};\n");

    // The debugger: full paths with doubled backslashes, every one in the
    // Windows form ("Z:" for a path rooted in this machine).
    fresh_compilation(1);
    line_numbering = 0;
    source_file = const_cast<char*>("C:\\work\\game.zd");
    std::string saved_source_folder = main_source_folder;
    std::string saved_home = home_folder;
    main_source_folder = "/home/user/project\\";
    home_folder = "/opt/zandrel/";
    c_emit_debugger_variables();
    main_source_folder = saved_source_folder;
    home_folder = saved_home;
    std::string lines = output();
    EXPECT_EQ(lines.rfind("int ZD_DEBUGGER_Control=0;\nint ZD_DEBUGGER_CurrentLine=0;\n", 0), 0u);
    EXPECT_TRUE(contains(lines, "int ZD_DEBUGGER_Unicode=1;\nint ZD_DEBUGGER_Thread=0;\nint ZD_DEBUGGER_Purifier=0;\n"
                                "int ZD_DEBUGGER_Version=610;\n"));
    EXPECT_TRUE(contains(lines, "const char ZD_DEBUGGER_FileName[]=\"C:\\\\work\\\\game.zd\";\n")) << lines;
    EXPECT_TRUE(contains(lines, "const char ZD_DEBUGGER_SourcePath[]=\"Z:\\\\home\\\\user\\\\project\\\\\";\n"
                                "const char ZD_DEBUGGER_ZandrelPath[]=\"Z:\\\\opt\\\\zandrel\\\\\";\n"))
        << lines;
    source_file = nullptr;
}

TEST_F(CDebuggerTest, SupportCodeChecksTheDataSectionEvenWithoutData)
{
    fresh_compilation(1);
    c_emit_debugger_support_code();
    std::string lines = output();
    EXPECT_TRUE(contains(lines, "void DBG_FatalMessage(int ErrorCode) { ZD_DEBUGGER_ErrorCode(6, ErrorCode); "
                                "ZD_DEBUGGER_Check(-1, 0); } \n#define ZD_DATASECTION_SIZE 0\n"));
    EXPECT_TRUE(contains(lines, "void DBG_CheckDataSection() { DBG_FatalMessage(DBG_ReadDataError); }\n")) << lines;

    fresh_compilation(0);
    c_emit_debugger_support_code();
    EXPECT_EQ(output(), "");
}

// ---------------------------------------------------------------------------
// Data statements

TEST_F(CDebuggerTest, DataValuesBecomeBytesOfOneArray)
{
    fresh_compilation(0);
    EXPECT_EQ(compile("DataSection\nnumbers:\nData.b -3, 200\nData.w -1000\nEndDataSection"), "");
    // Each Data statement's values end with a line feed.
    EXPECT_EQ(data_text(), "unsigned char zd_data[] = {253,200\n,24,252\n");
    EXPECT_EQ(data_offset, 4);
    // A second DataSection continues the array.
    EXPECT_EQ(compile("DataSection\nmore:\nData.l -70000\nData.q 5000000000\nData.f 2.5\nData.d 0.25\nEndDataSection"), "");
    EXPECT_EQ(data_text(),
              "unsigned char zd_data[] = {253,200\n,24,252\n,144,238,254,255\n,0,242,5,42,1,0,0,0\n,0,0,32,64\n"
              ",0,0,0,0,0,0,208,63\n");
    LabelRecord* numbers = find_label("numbers");
    LabelRecord* more = find_label("more");
    ASSERT_TRUE(numbers && more);
    EXPECT_EQ(numbers->data_offset, 0);
    EXPECT_EQ(more->data_offset, 4);
}

TEST_F(CDebuggerTest, DataLiteralsAndRangeErrors)
{
    fresh_compilation(0);
    EXPECT_EQ(compile("DataSection\nData$ \"Hi\", 65\nData.a \"ok\"\nEndDataSection"), "");
    EXPECT_EQ(data_text(), "unsigned char zd_data[] = {0x48,0x0,0x69,0x0,0,0,65,0\n,111,107,0\n");
    EXPECT_EQ(compile("DataSection\nData.b 256"), "error " + std::to_string(ERROR_BYTE_OVERFLOW));
    EXPECT_EQ(compile("DataSection\nData.w \"x\""), "error " + std::to_string(ERROR_SYNTAX));
    EXPECT_EQ(compile("EndDataSection\nData.l 1"), "error " + std::to_string(ERROR_DATA_OUTSIDE_DATASECTION));
}

TEST_F(CDebuggerTest, LabelsAfterTheLastValueGetTheFinalOffset)
{
    fresh_compilation(0);
    EXPECT_EQ(compile("DataSection\nfirst:\nData.l 1, 2\nlast:\nEndDataSection\nRestore last"),
              "zd_datapointer=&zd_data[l_last];\n");
    std::string file = finished_file();
    EXPECT_TRUE(contains(file, "#define l_first 0\n#define la_l_first (&zd_data[0])\n"
                               "#define l_last 8\n#define la_l_last (&zd_data[8])\n")) << file;
    EXPECT_TRUE(contains(file, "unsigned char zd_data[] = {1,0,0,0,2,0,0,0\n};")) << file;
    EXPECT_FALSE(contains(file, "l_last:"));
    EXPECT_EQ(compile_with_clang(file), "");
}

TEST_F(CDebuggerTest, ReadLinesByTypeAndRounding)
{
    fresh_compilation(0);
    compile("Define b.b, l.l, f.f, s.s");
    EXPECT_EQ(compile("Read.b b"), "v_b=*(char *)zd_datapointer; zd_datapointer++;\n");
    EXPECT_EQ(compile("Read.f l"), "v_l=SYS_BankerRound(*(float *)zd_datapointer); zd_datapointer+=4;\n");
    EXPECT_EQ(compile("Read.d b"), "v_b=SYS_BankerRound(*(double *)zd_datapointer); zd_datapointer+=8;\n");
    EXPECT_EQ(compile("Read.w f"), "v_f=*(short *)zd_datapointer; zd_datapointer+=2;\n");
    EXPECT_EQ(compile("Read$ s"), "zd_datapointer+=SYS_FastAllocateStringFree4(&v_s,zd_datapointer);\n");
    EXPECT_EQ(compile("Read.l s"), "error " + std::to_string(ERROR_READ_NUMBER_INTO_STRING));

    // With the debugger every Read checks the data pointer first.
    fresh_compilation(1);
    compile("Define q.q");
    EXPECT_EQ(compile("Read.q q"),
              "DBG_Check(0);\nDBG_CheckDataSection();\nv_q=*(quad *)zd_datapointer; zd_datapointer+=8;\n");
}

TEST_F(CDebuggerTest, SwapNamesBothLvalues)
{
    fresh_compilation(0);
    compile("Define a.l, b.l, d.d, e.d, f.f, g.f, q.q, r.q");
    EXPECT_EQ(compile("Swap a, b"), "{ integer zds_swap=v_a; v_a=v_b; v_b=zds_swap; }\n");
    EXPECT_EQ(compile("Swap d, e"), "{ double zds_swap=v_d; v_d=v_e; v_e=zds_swap; }\n");
    EXPECT_EQ(compile("Swap f, g"), "{ float zds_swap=v_f; v_f=v_g; v_g=zds_swap; }\n");
    EXPECT_EQ(compile("Swap q, r"), "{ quad zds_swap=v_q; v_q=v_r; v_r=zds_swap; }\n");
}

// ---------------------------------------------------------------------------
// Whole files with the debugger

TEST_F(CDebuggerTest, DebuggerProgramCompiles)
{
    fresh_compilation(1);
    line_numbering = 1;
    std::string code = compile("a.i = 2\nf.f = 1.5\nCallDebugger\nDebug a\nDebug f * 2\nDebug \"text\"\n"
                               "DebugLevel 1\nDebug a, 2\nDisableDebugger\nEnableDebugger\n"
                               "#Answer = 40\n#Ratio = 2.5\nDefine q.q\nRead.q q\n"
                               "DataSection\nvalues:\nData.q 1, 2\nEndDataSection\nRestore values\nEnd a");
    ASSERT_EQ(code.rfind("error", 0), std::string::npos) << code;
    for (int32_t line = 0; line < 4; line++) {
        current_line = line;
        c_add_debugger_line_entry();
    }
    c_add_code_context_entry(1, "Main");
    std::string file = finished_file();
    EXPECT_TRUE(contains(file, "\nint ZD_DEBUGGER_ValidLines[]={")) << file;
    EXPECT_TRUE(contains(file, "3,-1};\n")) << file;
    EXPECT_TRUE(contains(file, "\nunsigned char ZD_DEBUGGER_CodeContextBank[]={")) << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_ConstantBank[] __attribute__((aligned(4)))={")) << file;
    EXPECT_TRUE(contains(file, "#define ZD_DATASECTION_SIZE 16\n")) << file;
    EXPECT_TRUE(contains(file, "void DBG_CheckDataSection() {  if (((integer)zd_datapointer-(integer)zd_data) >= "
                               "ZD_DATASECTION_SIZE)")) << file;
    EXPECT_EQ(compile_with_clang(file), "");
    line_numbering = 0;
}

TEST_F(CDebuggerTest, ProgramWithoutVariablesHasAnEmptyVariableBank)
{
    fresh_compilation(1);
    compile("End 3");
    std::string file = finished_file();
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_VariableBank[] __attribute__((aligned(4)))={0,0,0,0,\n0};\n"))
        << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_LabelBank[] __attribute__((aligned(4)))={0,0,0,0,\n};\n"));
    EXPECT_EQ(compile_with_clang(file), "");
}

TEST_F(CDebuggerTest, ConstantBankEntries)
{
    fresh_compilation(1);
    compile("#Minus = -2");
    clear_output();
    c_emit_debugger_constant_bank();
    std::string bank = output();
    EXPECT_TRUE(contains(bank, "0,\n77,105,110,117,115,0,\n0,\n3,\n254,255,255,255,\n255,255,255,255,\n")) << bank;
}

// A procedure's bank entry names its function and its four local tables,
// whose slots the start-up code fills; the tables are declared ahead of the
// code and their locals' slots are filled at the start of the body. Arrays,
// lists and maps get their entries; the whole file compiles.
TEST_F(CDebuggerTest, ProcedureArrayListAndMapBanks)
{
    fresh_compilation(1);
    // The procedure's lines go to its own buffer: only the file is read.
    std::string failure = compile_each_line(
        "Dim grid.w(3, 4)\nNewList items.i()\nNewMap table.l()\n"
        "Procedure Work(n)\nProtected k.i\nk = n + 1\nProcedureReturn k\nEndProcedure\nx = Work(2)\nx = x / n",
        [&](int32_t line) { current_line = line; }, [] {});
    ASSERT_EQ(failure, "");
    std::string file = finished_file();
    EXPECT_TRUE(contains(file, "ZD_DEBUGGER_EnterProcedure(0,0);")) << file;
    EXPECT_TRUE(contains(file, "ZD_DEBUGGER_SetLine(8);")) << file;
    // An integer divisor that may be 0 is checked.
    EXPECT_TRUE(contains(file, "SYS_CheckDivisor(v_n,DBG_ZeroDivideError)")) << file;
    EXPECT_TRUE(contains(file, "static unsigned char lmv_0[];\n")) << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_ProcedureBank[] __attribute__((aligned(4)))={1,0,0,0,\n1,0,\n"
                               "1,\n21,\n0,0,0,0,\n21,\n0,\n87,111,114,107,0,\n0,\n"))
        << file;
    EXPECT_TRUE(contains(file, "*(integer *)(&ZD_DEBUGGER_ProcedureBank[20])=(integer)&f_work;")) << file;
    EXPECT_TRUE(contains(file, "*(integer *)(&ZD_DEBUGGER_ProcedureBank[28])=(integer)&lmv_0;")) << file;
    EXPECT_TRUE(contains(file, "static unsigned char lmv_0[]={\n")) << file;
    EXPECT_TRUE(contains(file, "*(integer *)(&lmv_0[")) << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_ArrayBank[] __attribute__((aligned(4)))={1,0,0,0,\n3,\n0,\n0,\n"
                               "103,114,105,100,0,\n0,\n0,0,0,0,0,0,0,0,\n2,\n0,0,0,0,0,0,0,0,\n0,0,0,0,0,0,0,0,\n};"))
        << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_LinkedListBank[] __attribute__((aligned(4)))={1,0,0,0,\n21,\n"))
        << file;
    EXPECT_TRUE(contains(file, "unsigned char ZD_DEBUGGER_MapBank[] __attribute__((aligned(4)))={1,0,0,0,\n5,\n")) << file;
    EXPECT_EQ(compile_with_clang(file), "");
}

}  // namespace

TEST_F(CDebuggerTest, StructureFieldChecks)
{
    fresh_compilation(1);
    std::string failure = compile_each_line(
        "Structure Node\nv.i[4]\n*next.Node\nw.i\nEndStructure\nDefine s.Node\nDefine *p.Node\nk = 2\n"
        "s\\v[k] = 1\ns\\v[3] = 2\n*p\\next\\w = 3\nx = s\\w",
        [&](int32_t line) { current_line = line; }, [] {});
    ASSERT_EQ(failure, "");
    std::string file = finished_file();
    // A computed index is checked against the field's count, a constant one
    // was checked by the compiler.
    EXPECT_TRUE(contains(file, "SYS_CheckStructureArrayIndex(4,v_k);")) << file;
    EXPECT_FALSE(contains(file, "SYS_CheckStructureArrayIndex(4,3)")) << file;
    // Each pointer of a chain is checked before it is followed; a structure
    // variable needs no check.
    EXPECT_TRUE(contains(file, "({__auto_type zd_checked=(({__auto_type zd_checked=(p_p);SYS_CheckPointer(zd_checked);"
                               "zd_checked;})->f_next);SYS_CheckPointer(zd_checked);zd_checked;})->f_w=3;"))
        << file;
    EXPECT_TRUE(contains(file, "v_x=v_s.f_w;")) << file;
    EXPECT_EQ(compile_with_clang(file), "");
}

TEST_F(CDebuggerTest, StructureFieldsUncheckedWithoutTheDebugger)
{
    fresh_compilation(0);
    std::string code = compile("Structure Node\nv.i[4]\n*next.Node\nEndStructure\nDefine *p.Node\nk = 2\n*p\\next\\v[k] = 1");
    EXPECT_FALSE(contains(code, "SYS_Check")) << code;
    EXPECT_TRUE(contains(code, "p_p->f_next->f_v[v_k]=1;")) << code;
}
