// Arrays through the dispatcher and the x64 back end: Dim and ReDim of one
// and several dimensions, element reads and writes, and the errors of the
// declarations and of the element access. Every golden fragment assembles.
#include <string>

#include "emit_test_support.h"
#include "frontend/arrays.h"
#include "frontend/expressions.h"
#include "frontend/lexer.h"
#include "frontend/lists_maps.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class ArraysTest : public EmitterTest {
protected:
    void TearDown() override {
        in_procedure = 0;
        debugger_enabled = 0;
        debugger_code = 0;
    }

    void fresh() {
        compiler_reset();
        reset_statement_state();
        reset_arrays();
        reset_lists_maps();
        clear_output();
    }

    // Compiles each statement (one per line) and returns the code written by
    // the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        fresh();
        debugger_code = with_debugger;
        return compile_last_statement(statements);
    }

    // The golden text of the last statement, which must also assemble (with
    // the array variables declared beside it); the stack is balanced.
    void expect_code(const std::string& statements, const std::string& expected) {
        std::string code = compile(statements);
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && !code.empty()) {
            std::string data = "\nalign 8\na_a rq 4\na_b rq 4\na_m rq 4\nap_p rq 4\n";
            EXPECT_EQ(assemble_fragment(code + data), "") << statements;
        }
        EXPECT_EQ(emitter_stack.push_depth, 0) << statements;
        EXPECT_EQ(emitter_stack.fpu_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    uint8_t with_debugger = 0;
};

TEST_F(ArraysTest, DimOfAConstantSizeAllocatesElevenElements) {
    expect_code("Dim a(10)",
                " SUB rsp,24\n MOV rdx,11\n MOV rax,a_a\n PUSH rax\n XOR r9,r9\n MOV r8,21\n MOV rcx,8\n"
                " SUB rsp,32\n CALL SYS_AllocateArray\n ADD rsp,64\n MOV qword [a_a],rax\n");
    ArrayRecord* array = find_array("a");
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->dimension_count, 1);
    ASSERT_NE(array->constant_sizes, nullptr);
    EXPECT_EQ(array->constant_sizes[0], 11);
}

TEST_F(ArraysTest, DimOfAVariableSizeCountsInRax) {
    expect_code("n = 4\nDim a.w(n)",
                " MOV rax,qword [v_n]\n INC rax\n SUB rsp,24\n MOV rdx,rax\n MOV rax,a_a\n PUSH rax\n"
                " XOR r9,r9\n MOV r8,3\n MOV rcx,2\n SUB rsp,32\n CALL SYS_AllocateArray\n ADD rsp,64\n"
                " MOV qword [a_a],rax\n");
}

TEST_F(ArraysTest, EveryNumericTypeHasItsElementSizeAndType) {
    struct Case {
        const char* suffix;
        int size;
        int type;
    } cases[] = {{".b", 1, 1}, {".a", 1, 24}, {".w", 2, 3}, {".c", 2, 11}, {".u", 2, 25}, {".l", 4, 5},
                 {".f", 4, 9}, {".q", 8, 13}, {".d", 8, 12}, {".i", 8, 21}, {"", 8, 21}};
    for (const Case& c : cases) {
        std::string code = compile(std::string("Dim a") + c.suffix + "(3)");
        EXPECT_NE(code.find(" MOV r8," + std::to_string(c.type) + "\n"), std::string::npos) << c.suffix;
        EXPECT_NE(code.find(" MOV rcx," + std::to_string(c.size) + "\n"), std::string::npos) << c.suffix;
    }
}

TEST_F(ArraysTest, ElementsWithStringsComeWithTheirDescriptor) {
    // FreeArray, ReDim and a second Dim release what the descriptor names.
    std::string code = compile("Dim a.s(3)");
    EXPECT_NE(code.find(" MOV r9,s_s\n MOV r8,8\n"), std::string::npos) << code;
    code = compile("Structure Named\nname.s\nid.l\nEndStructure\nDim a.Named(3)");
    EXPECT_NE(code.find(" MOV r9,s_named\n MOV r8,7\n"), std::string::npos) << code;
    code = compile("Structure Plain\nx.l\nEndStructure\nDim a.Plain(3)");
    EXPECT_NE(code.find(" XOR r9,r9\n"), std::string::npos) << code;
    code = compile("Dim m.s(2,3)");
    EXPECT_NE(code.find(" MOV r9,s_s\n"), std::string::npos) << code;
}

TEST_F(ArraysTest, PointerArraysHaveTheirOwnSymbolAndIntegerElements) {
    std::string code = compile("Dim *p(3)");
    EXPECT_NE(code.find(" MOV rax,ap_p\n"), std::string::npos) << code;
    EXPECT_NE(code.find(" MOV r8,21\n"), std::string::npos) << code;
    EXPECT_EQ(compile("Dim *p(3)\nDim p(2)\nx = *p(1) + p(1)").rfind("error", 0), std::string::npos);
    EXPECT_EQ(error_of("Dim *p.l(3)"), ERROR_NATIVE_TYPE_POINTER);
}

TEST_F(ArraysTest, TwoDimensionsStoreTheCountsThenAllocate) {
    expect_code("Dim m(2,3)",
                " MOV qword [a_m+8],3\n MOV qword [a_m+16],4\n SUB rsp,24\n MOV rdx,2\n MOV rax,a_m\n"
                " PUSH rax\n XOR r9,r9\n MOV r8,21\n MOV rcx,8\n SUB rsp,32\n CALL SYS_AllocateMultiArray\n"
                " ADD rsp,64\n MOV qword [a_m],rax\n");
}

TEST_F(ArraysTest, ReDimOfTwoDimensionsStoresOnlyTheLastCount) {
    expect_code("Dim m(2,3)\nReDim m(2,5)",
                " MOV qword [a_m+16],6\n MOV rdx,a_m\n MOV rcx,2\n CALL SYS_ReAllocateMultiArray\n");
    EXPECT_EQ(error_of("Dim m(2,3)\nReDim m(4)"), ERROR_SYNTAX);
}

TEST_F(ArraysTest, ReDimOfOneDimension) {
    expect_code("Dim a(10)\nReDim a(20)", " MOV rdx,a_a\n MOV rcx,21\n CALL SYS_ReAllocateArray\n");
    expect_code("Dim a(10)\nn = 3\nReDim a(n)",
                " MOV rax,qword [v_n]\n INC rax\n MOV rdx,a_a\n MOV rcx,rax\n CALL SYS_ReAllocateArray\n");
}

TEST_F(ArraysTest, ConstantIndexIsAnOffset) {
    expect_code("Dim a.l(10)\nx = a(3)",
                " MOV rbp,qword [a_a]\n MOVSXD r15,dword [rbp+12]\n MOV qword [v_x],r15\n");
}

TEST_F(ArraysTest, VariableIndexIsScaledInItsRegister) {
    expect_code("Dim a(10)\ni = 2\nx = a(i)",
                " MOV r15,qword [v_i]\n MOV rbp,qword [a_a]\n SAL r15,3\n MOV r15,qword [rbp+r15]\n"
                " MOV qword [v_x],r15\n");
}

TEST_F(ArraysTest, ElementTargetFoldsItsIndexBeforeTheRightSide) {
    expect_code("Dim a(10)\ni = 2\na(i) = i * 2",
                " MOV r15,qword [v_i]\n MOV rbp,qword [a_a]\n SAL r15,3\n ADD rbp,r15\n MOV r15,qword [v_i]\n"
                " ADD r15,r15\n MOV qword [rbp],r15\n");
}

TEST_F(ArraysTest, ElementTargetSurvivesAnotherElementOnTheRightSide) {
    expect_code("Dim a(10)\nDim b(10)\ni = 2\na(i) = b(i + 1)",
                " MOV r15,qword [v_i]\n MOV rbp,qword [a_a]\n SAL r15,3\n ADD rbp,r15\n PUSH rbp\n"
                " MOV r15,qword [v_i]\n INC r15\n MOV rbp,qword [a_b]\n SAL r15,3\n MOV r15,qword [rbp+r15]\n"
                " MOV rbp,[rsp]\n MOV qword [rbp],r15\n ADD rsp,8\n");
}

TEST_F(ArraysTest, TwoDimensionElement) {
    expect_code("Dim m.w(2,3)\ni = 1\nx = m(i,2)",
                " MOV rax,qword [v_i]\n IMUL rax,qword [a_m+8]\n MOV rbp,rax\n PUSH rbp\n POP rbp\n"
                " MOV rax,2\n ADD rbp,rax\n SAL rbp,1\n ADD rbp,qword [a_m]\n"
                " MOVSX r15,word [rbp]\n MOV qword [v_x],r15\n");
}

TEST_F(ArraysTest, FloatElementsInFloatArithmetic) {
    std::string code = compile("Dim f.d(4)\ny.d = f(2) * 1.5");
    EXPECT_NE(code.find(" FLD qword [rbp+16]\n"), std::string::npos) << code;
}

TEST_F(ArraysTest, LocalArraysAreReleasedAtTheEndOfTheirProcedure) {
    compile("Procedure P()\nDim a(3)\nDim b(2)\na(1) = b(1)\nEndProcedure");
    ASSERT_EQ(error_number, 0);
    ProcedureRecord* procedure = find_procedure("P");
    ASSERT_NE(procedure, nullptr);
    std::string body(procedure->code_buffer->start, procedure->code_buffer->write);
    // One PUSH rax keeps the result across both releases, which address the
    // slots at the depth it made.
    EXPECT_NE(body.find("_EndProcedure1:\n PUSH rax\n MOV rcx,qword [rsp+48]\n SUB rsp,40\n CALL SYS_FreeArray\n"
                        " ADD rsp,40\n MOV rcx,qword [rsp+64]\n SUB rsp,40\n CALL SYS_FreeArray\n ADD rsp,40\n"
                        " POP rax\n"),
              std::string::npos)
        << body;
    // Gone with the procedure: no later code can name them.
    EXPECT_EQ(find_array("a"), nullptr);
    EXPECT_EQ(error_of("Procedure P()\nDim a(3)\nEndProcedure\nProcedure Q()\na(1) = 5\nEndProcedure"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
}

TEST_F(ArraysTest, DeclarationErrors) {
    EXPECT_EQ(error_of("Dim a(-1)"), ERROR_NEGATIVE_VALUE);
    EXPECT_EQ(error_of("Dim a"), ERROR_DIM_SYNTAX);
    EXPECT_EQ(error_of("Dim a(3"), ERROR_DIM_SYNTAX);
    EXPECT_EQ(error_of("Dim a(3) x"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(error_of("Dim a(3), b(4)"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(error_of("ReDim z(3)"), ERROR_REDIM_UNDECLARED_ARRAY);
    EXPECT_EQ(error_of("Dim a(3)\nDim a.w(3)"), ERROR_ARRAY_TYPE_CHANGED);
    EXPECT_EQ(error_of("Dim If(3)"), ERROR_ARRAY_NAMED_AS_KEYWORD);
    EXPECT_EQ(error_of("Dim a(2.5)"), ERROR_INTEGER_EXPRESSION_EXPECTED);
}

TEST_F(ArraysTest, AccessErrors) {
    EXPECT_EQ(error_of("Dim m(2,3)\nx = m(1)"), ERROR_ARRAY_DIMENSION_COUNT);
    EXPECT_EQ(error_of("Dim m(2,3)\nx = m(1,2,3)"), ERROR_ARRAY_DIMENSION_COUNT);
    EXPECT_EQ(error_of("Dim w.w(3)\nx = w.l(0)"), ERROR_ARRAY_TYPE_DIFFERS);
    EXPECT_EQ(error_of("Dim a(3)\nx = a(1"), ERROR_CLOSE_PARENTHESIS_EXPECTED);
    EXPECT_EQ(error_of("Dim a(3)\nx = a(\"s\")"), ERROR_INTEGER_EXPRESSION_EXPECTED);
    EXPECT_EQ(error_of("Dim a(3)\nx = a()\\f"), ERROR_MISSING_ARRAY_PARAMETERS);
    EXPECT_EQ(error_of("x = nothing(1)"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
}

TEST_F(ArraysTest, TheWholeArrayIsItsPointerSlot) {
    compile("Dim a(3)\nx = a()");
    EXPECT_EQ(error_number, 0);
    EXPECT_NE(output().find(" MOV r15,qword [a_a]\n"), std::string::npos) << output();
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

// With the debugger every index is checked before the element is reached:
// one dimension against the element count 16 bytes before the data,
// several through the runtime, and ReDim's other dimensions too.
TEST_F(ArraysTest, DebuggerChecksIndexesAndReDim) {
    with_debugger = 1;
    std::string constant = compile("Dim a(3)\na(5) = 1");
    EXPECT_NE(constant.find(" MOV rax,5\n MOV rdx,qword [a_a]\n CALL _DBG_A\n MOV rbp,qword [a_a]\n"),
              std::string::npos) << constant;
    std::string computed = compile("Dim a(3)\ni = 2\na(i) = 1");
    EXPECT_NE(computed.find(" MOV rax,r15\n MOV rdx,qword [a_a]\n CALL _DBG_A\n MOV rbp,qword [a_a]\n"),
              std::string::npos) << computed;
    std::string multi = compile("Dim m(2, 3)\ni = 1\nm(i, 2) = 1");
    EXPECT_NE(multi.find(" MOV rax,qword [v_i]\n LEA rdx,[a_m]\n MOV r8,rdx\n MOV rdx,rax\n MOV rcx,0\n"), std::string::npos)
        << multi;
    EXPECT_NE(multi.find(" MOV rax,2\n LEA rdx,[a_m]\n MOV r8,rdx\n MOV rdx,rax\n MOV rcx,1\n"), std::string::npos) << multi;
    EXPECT_EQ(count_of(multi, " CALL SYS_CheckMultiArrayDimension\n"), 2u);
    // Only the dimensions before the last: their new count must stay.
    std::string redim = compile("Dim m(2, 3)\nReDim m(2, 5)");
    EXPECT_NE(redim.find(" MOV rax,3\n LEA rdx,[a_m]\n MOV r8,rdx\n MOV rdx,rax\n MOV rcx,0\n"), std::string::npos) << redim;
    EXPECT_EQ(count_of(redim, " CALL SYS_CheckRedimDimension\n"), 1u);
    with_debugger = 0;
    EXPECT_EQ(compile("Dim a(3)\na(5) = 1").find("_DBG_A"), std::string::npos);
    EXPECT_EQ(compile("Dim m(2, 3)\nReDim m(2, 5)").find("SYS_CheckRedimDimension"), std::string::npos);
}

}  // namespace
