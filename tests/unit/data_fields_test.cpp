// DataSection values, Read, Restore, Swap and structure fields through the
// dispatcher and the x64 back end: golden code that assembles, the data
// lines, and the errors of each statement.
#include <string>

#include "backend_x64/emit_data_read.h"
#include "emit_test_support.h"
#include "frontend/arrays.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/structure_fields.h"
#include "frontend/variables.h"

namespace {

class DataFieldsTest : public EmitterTest {
protected:
    void TearDown() override {
        in_procedure = 0;
        in_datasection = 0;
    }

    // Compiles each statement (one per line) and returns the code written by
    // the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        reset_arrays();
        reset_lists_maps();
        begin_data_section();
        data_start = data_write_pointer - data_buffer_start;
        return compile_last_statement(statements);
    }

    // The DataSection text written by the statements.
    std::string data_text() const { return std::string(data_buffer_start + data_start, data_write_pointer); }

    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) {
            EXPECT_EQ(assemble_fragment(code), "") << statements;
        }
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
        EXPECT_EQ(emitter_stack.fpu_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    int64_t data_start = 0;
};

const char* const point_structures =
    "Structure Point\nx.l\ny.w\nz.d\nEndStructure\n"
    "Structure Box\nid.b\ncorner.Point\ncodes.l[4]\n*next.Box\nEndStructure\n";

// ---------------------------------------------------------------------------
// Data

TEST_F(DataFieldsTest, DataLinesCarryTheDirectiveOfTheirType) {
    compile("DataSection\nData.b -3, 255\nData.w 7\nData.l -1\nData.q 5000000000\nData.a 200\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(data_text(), "ZD_DataSectionStart:\n db -3,255\n dw 7\n dd -1\n dq 5000000000\n db 200\n");
}

TEST_F(DataFieldsTest, FloatDataIsWrittenAsRealNumbers) {
    compile("DataSection\nData.f 2.5, 3\nData.d -0.25, 1e300\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    // A whole number gets its decimal point: " dd 3" would be the integer 3.
    EXPECT_EQ(data_text(), "ZD_DataSectionStart:\n dd 2.5,3.0\n dq -0.25,1.0000000000000001e+300\n");
    EXPECT_EQ(assemble_fragment(data_text().substr(data_text().find('\n') + 1)), "");
    // Beyond the float range: the infinity's bits; below it: 0.
    compile("DataSection\nData.f 1e39, -1e39, 1e-50\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(data_text(), "ZD_DataSectionStart:\n dd 2139095040,-8388608,0.0\n");
    EXPECT_EQ(assemble_fragment(data_text().substr(data_text().find('\n') + 1)), "");
}

TEST_F(DataFieldsTest, LiteralStringsAreWrittenInline) {
    compile("DataSection\nData.s \"Hi\", \"\"\nData.a \"AB\"\nData$ \"z\"\nData.u \"q\"\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(data_text(), "ZD_DataSectionStart:\n dw 72,105,0,0\n db 65,66,0\n dw 122,0\n dw 113,0\n");
}

TEST_F(DataFieldsTest, WideLiteralsAreUtf16Units) {
    // UTF-8 text: a two-byte character, a character beyond 16 bits (a
    // surrogate pair) and a stray continuation byte, which stands for itself.
    const char text[] = "A\xC3\xA9\xF0\x9F\x98\x80\x80";
    x64_data_hooks.begin_data_line(TYPE_STRING);
    x64_data_hooks.append_data_literal(TYPE_STRING, text, sizeof text - 1);
    EXPECT_STREQ(current_data_line(), " dw 65,233,55357,56832,128,0");
    x64_data_hooks.end_data_line();
    x64_data_hooks.begin_data_line(TYPE_ASCII);
    x64_data_hooks.append_data_literal(TYPE_ASCII, text, 3);
    EXPECT_STREQ(current_data_line(), " db 65,195,169,0");
    x64_data_hooks.end_data_line();
}

TEST_F(DataFieldsTest, TheStartLabelIsWrittenOnce) {
    compile("DataSection\nData.b 1\nEndDataSection\nDataSection\nData.b 2\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(data_text(), "ZD_DataSectionStart:\n db 1\n db 2\n");
}

TEST_F(DataFieldsTest, LabelAddressesNeedAQuadOrInteger) {
    compile("DataSection\nfirst:\nData.i ?first, 2\nEndDataSection");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(data_text(), "l_first:\nZD_DataSectionStart:\n dq l_first,2\n");
    EXPECT_EQ(error_of("DataSection\nfirst:\nData.l ?first\nEndDataSection"), ERROR_INTEGER_TYPE_TOO_SMALL_FOR_POINTER);
}

TEST_F(DataFieldsTest, DataErrors) {
    EXPECT_EQ(error_of("Data.b 1"), ERROR_DATA_OUTSIDE_DATASECTION);
    EXPECT_EQ(error_of("DataSection\nData 1\nEndDataSection"), ERROR_DATA_TYPE_EXPECTED);
    EXPECT_EQ(error_of("DataSection\nData.a 256\nEndDataSection"), ERROR_ASCII_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.a -1\nEndDataSection"), ERROR_ASCII_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.b 256\nEndDataSection"), ERROR_BYTE_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.b -129\nEndDataSection"), ERROR_BYTE_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.w 65536\nEndDataSection"), ERROR_WORD_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.l 4294967296\nEndDataSection"), ERROR_LONG_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.c 65536\nEndDataSection"), ERROR_CHARACTER_OVERFLOW);
    EXPECT_EQ(error_of("DataSection\nData.s 256\nEndDataSection"), ERROR_ASCII_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(error_of("DataSection\nData.l \"text\"\nEndDataSection"), ERROR_DATASECTION_LITERAL_STRING_TYPE);
    EXPECT_EQ(error_of("Structure P\nx.l\nEndStructure\nDataSection\nData.P 1\nEndDataSection"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("DataSection\nData.l 1 2\nEndDataSection"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("DataSection\nData.l\nEndDataSection"), ERROR_SYNTAX);
}

TEST_F(DataFieldsTest, DataRangesAcceptTheirLimits) {
    EXPECT_EQ(error_of("DataSection\nData.b -128, 255\nData.w -32768, 65535\n"
                       "Data.l -2147483648, 4294967295\nData.u 0, 65535\nData.s 255\nEndDataSection"),
              0);
}

// ---------------------------------------------------------------------------
// Read and Restore

TEST_F(DataFieldsTest, ReadOfALongIntoALong) {
    expect_code("Define x.l\nRead.l x",
                " MOV rax,qword [ZD_DataPointer]\n MOVSXD rax,dword [rax]\n MOV dword [v_x],eax\n"
                " ADD qword [ZD_DataPointer],4\n");
}

TEST_F(DataFieldsTest, ReadOfAByteIntoADoubleGoesThroughTheStack) {
    expect_code("Define d.d\nRead.b d",
                " MOV rax,qword [ZD_DataPointer]\n MOVSX rax,byte [rax]\n MOV qword [rsp-8],rax\n"
                " FILD qword [rsp-8]\n FSTP qword [v_d]\n INC qword [ZD_DataPointer]\n");
}

TEST_F(DataFieldsTest, ReadOfAQuadIntoAFloatKeepsTheUpperHalf) {
    expect_code("Define f.f\nRead.q f",
                " MOV rax,qword [ZD_DataPointer]\n MOV rax,qword [rax]\n MOV qword [rsp-8],rax\n"
                " FILD qword [rsp-8]\n FSTP dword [v_f]\n ADD qword [ZD_DataPointer],8\n");
}

TEST_F(DataFieldsTest, ReadOfADoubleIntoIntegers) {
    expect_code("Define q.q\nRead.d q",
                " MOV rax,qword [ZD_DataPointer]\n FLD qword [rax]\n FISTP qword [rsp-8]\n MOV rax,[rsp-8]\n"
                " MOV qword [v_q],rax\n ADD qword [ZD_DataPointer],8\n");
    expect_code("Define w.w\nRead.f w",
                " MOV rax,qword [ZD_DataPointer]\n FLD dword [rax]\n FISTP dword [rsp-4]\n MOV eax,[rsp-4]\n"
                " MOV word [v_w],ax\n ADD qword [ZD_DataPointer],4\n");
}

TEST_F(DataFieldsTest, ReadOfUnsignedItemsWidensWithZeros) {
    expect_code("Define c.l\nRead.c c",
                " MOV rax,qword [ZD_DataPointer]\n MOVZX rax,word [rax]\n MOV dword [v_c],eax\n"
                " ADD qword [ZD_DataPointer],2\n");
}

TEST_F(DataFieldsTest, ReadIntoAStructureField) {
    expect_code(std::string(point_structures) + "Define pt.Point\nRead.w pt\\y",
                " LEA rbp,[v_pt]\n MOV rax,qword [ZD_DataPointer]\n MOVSX rax,word [rax]\n"
                " MOV word [rbp+4],ax\n ADD qword [ZD_DataPointer],2\n");
}

// A string variable takes a copy and the pointer steps over the text; a
// fixed string is filled up to its length and the pointer skips the text.
TEST_F(DataFieldsTest, ReadOfStrings) {
    expect_code("Define t.s\nRead.s t",
                " MOV rdx,qword [ZD_DataPointer]\n LEA rcx,[v_t]\n CALL SYS_FastAllocateStringFree4\n"
                " ADD qword [ZD_DataPointer],rax\n");
    expect_code("Define f.s{3}\nRead.s f",
                " LEA rcx,[v_f]\n MOV rdx,3\n MOV r8,qword [ZD_DataPointer]\n CALL SYS_AssignFixedStringFast\n"
                " MOV rcx,qword [ZD_DataPointer]\n CALL SYS_SkipString\n MOV qword [ZD_DataPointer],rax\n");
}

TEST_F(DataFieldsTest, ReadErrors) {
    EXPECT_EQ(error_of("Define s.s\nRead.l s"), ERROR_READ_NUMBER_INTO_STRING);
    EXPECT_EQ(error_of("Read.l 5"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Read.l"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Define x.l\nRead$ x"), ERROR_SYNTAX);
}

TEST_F(DataFieldsTest, RestoreLoadsTheLabelAddress) {
    std::string code = compile("Restore here");
    EXPECT_EQ(code, " MOV rax,l_here\n MOV qword [ZD_DataPointer],rax\n");
    EXPECT_EQ(assemble_fragment(code + "l_here:\n"), "");
    EXPECT_EQ(error_of("Restore"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Restore a b"), ERROR_GARBAGE_AT_END_OF_LINE);
}

// ---------------------------------------------------------------------------
// Swap

TEST_F(DataFieldsTest, SwapOfTwoLongs) {
    expect_code("Define a.l, b.l\nSwap a, b",
                " MOV eax,dword [v_b]\n MOV edx,dword [v_a]\n MOV dword [v_b],edx\n MOV dword [v_a],eax\n");
}

TEST_F(DataFieldsTest, SwapOfFieldsKeepsTheFirstAddress) {
    expect_code(std::string(point_structures) + "Define p.Point, q.Point\nSwap p\\x, q\\x",
                " LEA rbp,[v_p]\n LEA rax,[rbp]\n PUSH rax\n LEA rbp,[v_q]\n POP rcx\n"
                " MOV eax,dword [rbp]\n MOV edx,[rcx]\n MOV dword [rbp],edx\n MOV [rcx],eax\n");
}

TEST_F(DataFieldsTest, SwapErrors) {
    EXPECT_EQ(error_of("Define a.l, q.q\nSwap a, q"), ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
    EXPECT_EQ(error_of("Define a.l, f.f\nSwap a, f"), ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
    EXPECT_EQ(error_of("Define a.l\nSwap a, 5"), ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
    EXPECT_EQ(error_of("Define s.s, t.s\nSwap s, t"), ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
    EXPECT_EQ(error_of("Define a.l, b.l\nSwap a b"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Define a.l\nSwap a"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("Swap"), ERROR_SYNTAX);
    EXPECT_EQ(error_of(std::string(point_structures) + "Define p.Point, q.Point\nSwap p, q"), ERROR_SWAP_NEEDS_SAME_NATIVE_TYPES);
}

// ---------------------------------------------------------------------------
// Structure fields

TEST_F(DataFieldsTest, NestedFieldsOnlyAddOffsets) {
    expect_code(std::string(point_structures) + "Define b.Box\nb\\corner\\y = 3",
                " LEA rbp,[v_b]\n MOV word [rbp+5],3\n");
}

TEST_F(DataFieldsTest, FieldReadIntoAVariable) {
    expect_code(std::string(point_structures) + "Define p.Point, k.l\nk = p\\x",
                " LEA rbp,[v_p]\n MOVSXD r15,dword [rbp]\n MOV dword [v_k],r15d\n");
}

TEST_F(DataFieldsTest, ConstantIndexOfAStaticArrayWritesNoIndexCode) {
    expect_code(std::string(point_structures) + "Define b.Box\nb\\codes[3] = 1",
                " LEA rbp,[v_b]\n MOV dword [rbp+27],1\n");
}

TEST_F(DataFieldsTest, ComputedIndexPushesTheBase) {
    std::string code = compile(std::string(point_structures) + "Define b.Box, i.l\nb\\codes[i] = 1");
    EXPECT_EQ(code, " LEA rbp,[v_b]\n PUSH rbp\n MOVSXD r15,dword [v_i]\n SAL r15,2\n POP rbp\n ADD rbp,r15\n"
                    " MOV dword [rbp+15],1\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(DataFieldsTest, PointerFieldLoadsTheNextBase) {
    expect_code(std::string(point_structures) + "Define *p.Box\n*p\\next\\id = 4",
                " MOV rbp,qword [p_p]\n MOV rbp,[rbp+31]\n MOV byte [rbp],4\n");
}

TEST_F(DataFieldsTest, FieldOffsetsBeyondADisplacementMoveTheBase) {
    expect_code("Structure Big\npad.b[40000]\nv.l\nEndStructure\nDefine g.Big\ng\\v = 1",
                " LEA rbp,[v_g]\n ADD rbp,40000\n MOV dword [rbp],1\n");
}

TEST_F(DataFieldsTest, FieldToFieldAssignmentKeepsTheTargetAddress) {
    std::string code = compile(std::string(point_structures) + "Define p.Point, q.Point\np\\x = q\\x");
    EXPECT_EQ(code, " LEA rbp,[v_p]\n PUSH rbp\n LEA rbp,[v_q]\n MOVSXD r15,dword [rbp]\n MOV rbp,[rsp]\n"
                    " MOV dword [rbp],r15d\n ADD rsp,8\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(emitter_stack.push_depth, 0);
}

TEST_F(DataFieldsTest, FieldErrors) {
    std::string s = point_structures;
    EXPECT_EQ(error_of(s + "Define p.Point\np\\w = 1"), ERROR_STRUCTURE_FIELD_NOT_FOUND);
    EXPECT_EQ(error_of(s + "Define p.Point\np\\ = 1"), ERROR_STRUCTURE_FIELD_MISSING);
    EXPECT_EQ(error_of(s + "Define p.Point\np\\x\\y = 1"), ERROR_NOT_STRUCTURED_FIELD);
    EXPECT_EQ(error_of(s + "Define p.Point\np\\x.w = 1"), ERROR_FIELD_TYPE_MISMATCH);
    EXPECT_EQ(error_of(s + "Define b.Box\nb\\codes[1"), ERROR_CLOSE_BRACKET_MISSING);
    EXPECT_EQ(error_of(s + "Define k.l\nk\\x = 1"), ERROR_VARIABLE_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of(s + "Define p.Point, q.Point\np\\x = q\\corner"), ERROR_STRUCTURE_FIELD_NOT_FOUND);
    EXPECT_EQ(error_of(s + "Define b.Box, k.l\nk = b\\corner"), ERROR_VALUE_ASSIGNED_TO_STRUCTURE);
    EXPECT_EQ(error_of("Structure N\n*link.Unknown\nEndStructure\nDefine n.N\nn\\link\\x = 1"), ERROR_UNDEFINED_STRUCTURE);
}

TEST_F(DataFieldsTest, AFieldWithItsOwnTypeSuffix) {
    expect_code(std::string(point_structures) + "Define p.Point\np\\x.l = 2", " LEA rbp,[v_p]\n MOV dword [rbp],2\n");
}

}  // namespace
