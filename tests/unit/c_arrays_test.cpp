// Golden C lines of arrays compiled through the dispatcher and the C back
// end: Dim and ReDim of one and several dimensions, element access with and
// without the debugger's index checks, the whole array as a pointer, the
// declarations of the array variables and the errors of the dimension and
// index lists. Every fragment is also compiled by clang for the Windows
// target, after the declarations of the variables and arrays it names.
#include <string>

#include "backend_c/c_arrays.h"
#include "c_test_support.h"

namespace {

// What the C file's head gives the code: the array typedefs and the
// prototypes of the runtime routines, as the generated program has them.
const char* const c_array_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "#define SYS_BankerRound(x) zd_llrint(x)\n"
    "#define SYS_BankerRoundQuad(x) zd_llrint(x)\n"
    "typedef struct zd_array { void *a; } zd_array;\n"
    "typedef struct zd_array2 { void *a; integer b[2]; } zd_array2;\n"
    "typedef struct zd_array3 { void *a; integer b[3]; } zd_array3;\n"
    "static integer s_s[]={0, -1};\n"
    "int ZD_ExitCode=0;\n"
    "void *SYS_AllocateArray(integer ElementSize, integer NbElements, int Type, integer *StructureMap, zd_array *Address);\n"
    "void *SYS_AllocateMultiArray(integer NbDimensions, integer ElementSize, int Type, integer *StructureMap, void *Address);\n"
    "void SYS_ReAllocateArray(integer NbElements, zd_array *Address);\n"
    "void SYS_ReAllocateMultiArray(int NbDimensions, void *ArrayBase);\n"
    "void SYS_FreeArray(zd_array *Array);\n"
    "void SYS_CheckArray(integer *Array, integer Index);\n"
    "void DBG_Check(int Line);\n"
    "void SYS_CheckMultiArrayDimension(int Dimension, integer Index, integer *Array);\n"
    "void SYS_CheckRedimDimension(int Dimension, integer Count, integer *Array);\n"
    "void SYS_CheckArraySize(integer Count);\n";

class CArrayTest : public CBackendTest {
protected:
    void SetUp() override {
        CBackendTest::SetUp();
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        clear_output();
    }
    void TearDown() override {
        debugger_code = 0;
        CBackendTest::TearDown();
    }

    // Compiles each statement (one per line); returns the code of the last
    // one, or "error <n>".
    std::string compile(const std::string& statements) { return compile_last_statement(statements); }

    // The declarations of the compilation's variables and arrays, as the C
    // file writes them.
    std::string declarations() {
        return written_by([] {
            emit_variable_declarations();
            for (ListNode* node = array_list ? array_list->first : nullptr; node; node = node->next)
                c_emit_array_declaration(reinterpret_cast<ArrayRecord*>(node));
        });
    }

    void start() {
        compiler_reset();
        reset_statement_state();
        c_reset_expression_state();
        result_local_counter = 0;
    }

    void expect_code(const std::string& statements, const std::string& expected, bool checks = false) {
        start();
        debugger_code = checks ? 1 : 0;
        std::string code = compile(statements);
        debugger_code = 0;
        EXPECT_EQ(code, expected) << statements;
        if (code == expected && code.rfind("error", 0) != 0) {
            EXPECT_EQ(compile_with_clang(declarations(), code), "") << statements;
        }
        EXPECT_EQ(c_slot_stack_depth, 0) << statements;
    }

    int error_of(const std::string& statements) {
        start();
        compile(statements);
        return error_number;
    }

    // clang on the fragment inside a function, after the prelude and
    // `globals`; "" when it compiles, else clang's messages.
    static std::string compile_with_clang(const std::string& globals, const std::string& code) {
        return clang_messages_for_fragment(c_array_prelude + globals, code);
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Dim and ReDim

TEST_F(CArrayTest, DimOfOneDimensionPassesTheElementCount) {
    expect_code("Dim a(9)", "SYS_AllocateArray(8,10,21,0,&a_a);\n");
    expect_code("Dim w.w(0)", "SYS_AllocateArray(2,1,3,0,&a_w);\n");
    expect_code("n = 4\nDim a.l(n)", "SYS_AllocateArray(4,(v_n+1),5,0,&a_a);\n");
    expect_code("n = 4\nDim a.d(n * 2)", "SYS_AllocateArray(8,(((quad)((uquad)v_n*2LL))+1),12,0,&a_a);\n");
    expect_code("Dim s.s(3)", "SYS_AllocateArray(8,4,8,s_s,&a_s);\n");
    expect_code("Dim *p(3)", "SYS_AllocateArray(8,4,21,0,&ap_p);\n");
}

TEST_F(CArrayTest, DimOfSeveralDimensionsStoresEveryBound) {
    expect_code("Dim m.l(2, 3)", "a_m.b[0]=3; \na_m.b[1]=4; \nSYS_AllocateMultiArray(2,4,5,0,&a_m);\n");
    expect_code("n = 1\nDim m(n, 3, 4)",
                "a_m.b[0]=v_n+1; \na_m.b[1]=4; \na_m.b[2]=5; \nSYS_AllocateMultiArray(3,8,21,0,&a_m);\n");
    EXPECT_TRUE(c_runtime_used[C_SYS_AllocateMultiArray]);
    EXPECT_TRUE(c_runtime_used[C_SYS_FreeArray]);
}

TEST_F(CArrayTest, ReDimStoresOnlyTheLastBound) {
    expect_code("Dim a(4)\nReDim a(9)", "SYS_ReAllocateArray(10,&a_a);\n");
    expect_code("Dim m(1, 2, 3)\nReDim m(1, 2, 7)", "a_m.b[2]=8; \nSYS_ReAllocateMultiArray(3,&a_m);\n");
    EXPECT_TRUE(c_runtime_used[C_SYS_ReAllocateMultiArray]);
    // With the debugger's checks the other dimensions are checked against
    // the array's, a computed one through a result local; the statement
    // has its line marker.
    expect_code("n = 1\nDim m(1, 2, 3)\nReDim m(1, n, 7)",
                "DBG_Check(0);\nSYS_CheckRedimDimension(0,2,(integer *)&a_m);\ninteger r0=v_n;\n"
                "SYS_CheckRedimDimension(1,(r0)+1,(integer *)&a_m);\na_m.b[2]=8; \nSYS_ReAllocateMultiArray(3,&a_m);\n",
                true);
    // The count of one dimension is checked before the allocation, as the
    // assembly programs do; several dimensions are not.
    expect_code("n = -5\nDim a(n)",
                "DBG_Check(0);\nSYS_CheckArraySize((v_n+1));\nSYS_AllocateArray(8,(v_n+1),21,0,&a_a);\n", true);
    expect_code("n = 3\nDim a(4)\nReDim a(n)",
                "DBG_Check(0);\nSYS_CheckArraySize((v_n+1));\nSYS_ReAllocateArray((v_n+1),&a_a);\n", true);
    expect_code("n = 3\nDim m(n, 2)", "DBG_Check(0);\na_m.b[0]=v_n+1; \na_m.b[1]=3; \nSYS_AllocateMultiArray(2,8,21,0,&a_m);\n", true);
}

TEST_F(CArrayTest, DeclarationsByDimensionCount) {
    start();
    compile("Dim a(3)\nDim m(1, 2)\nDim t.b(1, 2, 3)");
    EXPECT_EQ(declarations(), "zd_array a_a={0};\nzd_array2 a_m={0};\nzd_array3 a_t={0};\n");
}

TEST_F(CArrayTest, DimensionErrors) {
    EXPECT_EQ(error_of("Dim a(-1)"), ERROR_NEGATIVE_VALUE);
    EXPECT_EQ(error_of("Dim m(2, -3)"), ERROR_NEGATIVE_VALUE);
    EXPECT_EQ(error_of("Dim a(3"), ERROR_DIM_SYNTAX);
    EXPECT_EQ(error_of("Dim a(3) x"), ERROR_GARBAGE_AT_END_OF_LINE);
    EXPECT_EQ(error_of("Dim m(1, 2)\nReDim m(4)"), ERROR_SYNTAX);
    EXPECT_EQ(error_of("ReDim z(4)"), ERROR_REDIM_UNDECLARED_ARRAY);
}

// ---------------------------------------------------------------------------
// Elements

TEST_F(CArrayTest, ElementOfOneDimension) {
    expect_code("Dim a(9)\nx = a(5)", "v_x=((integer*)a_a.a)[(integer)5];\n");
    expect_code("Dim a.w(9)\ni = 2\na(i + 1) = 7", "((short*)a_a.a)[(integer)((quad)((uquad)v_i+1))]=7;\n");
    expect_code("Dim f.f(9)\nf(0) = 2.5", "((float*)a_f.a)[(integer)0]=2.5;\n");
    expect_code("Dim d.d(9)\nx = d(1)", "v_x=SYS_BankerRoundQuad(((double*)a_d.a)[(integer)1]);\n");
    // An element as an index of another.
    expect_code("Dim s(3)\nDim v(3)\nx = v(s(1))", "v_x=((integer*)a_v.a)[(integer)((integer*)a_s.a)[(integer)1]];\n");
}

TEST_F(CArrayTest, ElementOfSeveralDimensions) {
    expect_code("Dim m.l(2, 3)\nr = 1\nk = 2\nx = m(r, k)", "v_x=((int*)a_m.a)[v_r*a_m.b[0]+v_k];\n");
    expect_code("Dim t(1, 2, 3)\nt(1, 2, 3) = 9", "((integer*)a_t.a)[1*a_t.b[0]+2*a_t.b[1]+3]=9;\n");
}

TEST_F(CArrayTest, IndexChecksWithTheDebugger) {
    expect_code("Dim a(9)\ni = 0\nx = a(i)",
                "DBG_Check(0);\ninteger r0=v_i;\nSYS_CheckArray((integer *)&a_a,r0);\nv_x=((integer*)a_a.a)[(integer)r0];\n",
                true);
    expect_code("Dim m(2, 3)\nx = m(1, 2)",
                "DBG_Check(0);\ninteger r0=1;\nSYS_CheckMultiArrayDimension(0,r0,(integer *)&a_m);\ninteger r1=2;\n"
                "SYS_CheckMultiArrayDimension(1,r1,(integer *)&a_m);\nv_x=((integer*)a_m.a)[r0*a_m.b[0]+r1];\n",
                true);
}

TEST_F(CArrayTest, WholeArrayIsItsElementPointer) {
    expect_code("Dim a.l(9)\nx = a()", "v_x=(integer)((int*)a_a.a);\n");
    EXPECT_EQ(error_of("Structure P\nx.l\nEndStructure\nDim p.P(3)\nx = p()\\x"), ERROR_MISSING_ARRAY_PARAMETERS);
}

TEST_F(CArrayTest, ElementErrors) {
    EXPECT_EQ(error_of("Dim m(2, 3)\nx = m(1)"), ERROR_ARRAY_DIMENSION_COUNT);
    EXPECT_EQ(error_of("Dim m(2, 3)\nx = m(1, 2, 3)"), ERROR_ARRAY_DIMENSION_COUNT);
    EXPECT_EQ(error_of("Dim a(2)\nx = a.w(1)"), ERROR_ARRAY_TYPE_DIFFERS);
    EXPECT_EQ(error_of("Dim a(2)\nx = a(1)\\f"), ERROR_ARRAY_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of("Dim a(2)\nx = a(1"), ERROR_CLOSE_PARENTHESIS_EXPECTED);
}

TEST_F(CArrayTest, NamesOfArrays) {
    start();
    ASSERT_EQ(compile("Dim *p(3)\nDim n.s(2)"), "SYS_AllocateArray(8,3,8,s_s,&a_n);\n");
    auto* pointers = reinterpret_cast<ArrayRecord*>(array_list->first);
    EXPECT_STREQ(c_format_array_address(pointers), "ap_p");
    EXPECT_STREQ(c_array_element_pointer(pointers), "((integer*)ap_p.a)");
    auto* strings = reinterpret_cast<ArrayRecord*>(array_list->first->next);
    EXPECT_STREQ(c_array_address(strings), "&a_n");
    // A parameter array is reached through its pointer.
    strings->flags |= ARRAY_PARAMETER;
    EXPECT_STREQ(c_array_member(strings), "a_n->");
    EXPECT_STREQ(c_array_address(strings), "a_n");
    clear_output();
    c_emit_free_array(strings);
    EXPECT_EQ(output(), "");
    strings->flags &= ~ARRAY_PARAMETER;
    c_emit_free_array(strings);
    EXPECT_EQ(output(), "SYS_FreeArray(((void**)a_n.a));\n");
    // A Threaded array lives in the thread's object block.
    strings->flags |= ARRAY_THREADED;
    strings->offset = 24;
    EXPECT_STREQ(c_format_array_address(strings), "((zd_array *)(tls+24))[0]");
}

// ---------------------------------------------------------------------------
// Container fields of structures: the chain's lvalue is the container's

TEST_F(CArrayTest, ContainerFieldsAreReachedThroughTheChainsLvalue) {
    const std::string bag =
        "Structure It\nv.l\nEndStructure\n"
        "Structure Bag\nn.l\nArray a.l(4)\nArray g.w(2, 3)\nArray p.It(2)\nList l.i()\nMap m.s()\nEndStructure\n"
        "Define b.Bag\ni = 1\n";
    auto expect_text = [this](const std::string& statements, const std::string& expected) {
        start();
        EXPECT_EQ(compile(statements), expected) << statements;
    };
    expect_text(bag + "b\\a(i + 1) = 5", "((int*)v_b.f_a.a)[(integer)((quad)((uquad)v_i+1))]=5;\n");
    expect_text(bag + "x = b\\g(1, i)", "v_x=((short*)v_b.f_g.a)[1*v_b.f_g.b[0]+v_i];\n");
    expect_text(bag + "b\\p(i)\\v = 2", "((s_it*)v_b.f_p.a)[(integer)v_i].f_v=2;\n");
    expect_text(bag + "Dim b\\a(i)", "SYS_AllocateArray(4,(v_i+1),5,0,&v_b.f_a);\n");
    expect_text(bag + "Dim arr.Bag(2)\narr(i)\\a(2) = 3", "((int*)((s_bag*)a_arr.a)[(integer)v_i].f_a.a)[(integer)2]=3;\n");
}
