// Golden C lines of linked lists and maps compiled through the dispatcher
// and the C back end: NewList and NewMap, the current element, the keyed
// map lookup, the ForEach heads with the shared Next, the debugger's
// element checks and the errors of element access. Every fragment is also
// compiled by clang for the Windows target, after the declarations of the
// variables, lists and maps it names.
#include <string>

#include "backend_c/c_lists_maps.h"
#include "c_test_support.h"

namespace {

// What the C file's head gives the code: the array typedefs and the
// prototypes of the runtime routines, as the generated program has them.
const char* const c_list_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "typedef unsigned short TCHAR;\n"
    "typedef struct zd_listitem { void *a; void *b; void *c;} zd_listitem;\n"
    "typedef struct zd_list { void *a; zd_listitem *b; } zd_list;\n"
    "typedef struct zd_mapitem { void *a; void *b; void *c;} zd_mapitem;\n"
    "typedef struct zd_zdmap { zd_mapitem *a; } zd_zdmap;\n"
    "typedef struct zd_map { zd_zdmap *a; } zd_map;\n"
    "static integer ms_s[]={0, -1};\n"
    "static TCHAR _S1[]={'k',0};\n"
    "int ZD_ExitCode=0;\n"
    "void *ZD_NewList(integer ElementSize, void *Object, integer *StructureMap, int ElementType);\n"
    "void *ZD_NewMap(integer ElementSize, int ElementType, integer *StructureMap, void *Address, int HashSize);\n"
    "void *ZD_GetMapElement(void *Map, void *Key);\n"
    "void ZD_ResetList(void *List);\n"
    "void *ZD_NextElement(void *List);\n"
    "void ZD_FreeList(void *List);\n"
    "void ZD_ResetMap(void *Map);\n"
    "void *ZD_NextMapElement(void *Map);\n"
    "void ZD_FreeMap(void *Map);\n"
    "void SYS_CheckCurrentListElement(void *List);\n"
    "void SYS_CheckCurrentMapElement(void *Map);\n"
    "void DBG_Check(int Line);\n";

class CListMapTest : public CBackendTest {
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
    std::string compile(const std::string& statements) {
        return compile_last_statement(statements);
    }

    // Compiles each statement; returns the code of all of them, or
    // "error <n>".
    std::string compile_all(const std::string& statements) {
        return compile_all_statements(statements);
    }

    // The declarations of the compilation's variables and arrays, as the C
    // file writes them.
    std::string declarations() {
        return written_by([] {
            emit_variable_declarations();
            for (ListNode* node = list_list ? list_list->first : nullptr; node; node = node->next)
                emit_line(("static zd_list " + std::string(c_format_list_address(reinterpret_cast<ListRecord*>(node))) + "={0};").c_str());
            for (ListNode* node = map_list ? map_list->first : nullptr; node; node = node->next)
                emit_line(("static zd_map " + std::string(c_format_map_address(reinterpret_cast<MapRecord*>(node))) + "={0};").c_str());
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

    // clang's messages on the fragment inside a function after the
    // runtime's declarations and `globals`; "" when it compiles.
    static std::string compile_with_clang(const std::string& globals, const std::string& code) {
        return clang_messages_for_fragment(c_list_prelude + globals, code);
    }

};

}  // namespace

// ---------------------------------------------------------------------------
// NewList and the current element

TEST_F(CListMapTest, NewListPassesSizeStructureMapAndType) {
    expect_code("NewList x()", "ZD_NewList(8,&t_x,0,21);\n");
    expect_code("NewList x.l()", "ZD_NewList(4,&t_x,0,5);\n");
    expect_code("NewList s.s()", "ZD_NewList(8,&t_s,ms_s,8);\n");
    expect_code("NewList *p()", "ZD_NewList(8,&tp_p,0,21);\n");
    EXPECT_TRUE(c_runtime_used[C_ZD_NewList]);
}

TEST_F(CListMapTest, CurrentElementIsReadSixteenBytesIntoTheItem) {
    expect_code("NewList x.l()\nx() = 5", "(*(int*)&t_x.b->c)=5;\n");
    expect_code("NewList x.l()\nv = x() + 1", "v_v=((quad)((uquad)(*(int*)&t_x.b->c)+1));\n");
    expect_code("NewList x.d()\nx() = 1.5", "(*(double*)&t_x.b->c)=1.5;\n");
}

TEST_F(CListMapTest, DebuggerChecksTheCurrentListElement) {
    start();
    debugger_code = 1;
    std::string code = compile("NewList x.l()\nv = x()");
    debugger_code = 0;
    EXPECT_NE(code.find("SYS_CheckCurrentListElement(&t_x);\nv_v=(*(int*)&t_x.b->c);\n"), std::string::npos) << code;
}

TEST_F(CListMapTest, ElementAccessErrors) {
    EXPECT_EQ(error_of("NewList x.l()\nx()\\a = 1"), ERROR_LIST_WITHOUT_STRUCTURE);
    EXPECT_EQ(error_of("NewList x.l()\nv = x(1)"), ERROR_PARENTHESES_EXPECTED_AFTER_LIST);
}

// ---------------------------------------------------------------------------
// ForEach

TEST_F(CListMapTest, ForEachOverAListIsACLoop) {
    start();
    std::string code = compile_all("NewList x.l()\nForEach x()\nIf x() = 2\nContinue\nEndIf\nIf x() = 3\nBreak\nEndIf\n"
                                   "t = t + x()\nNext");
    EXPECT_EQ(code,
              "ZD_NewList(4,&t_x,0,5);\n"
              "ZD_ResetList(t_x.a);\nwhile (ZD_NextElement(t_x.a)) {\n"
              "if (!(((*(int*)&t_x.b->c)==2))) { goto no3; }\ncontinue;\nno3:;\n"
              "if (!(((*(int*)&t_x.b->c)==3))) { goto no5; }\ngoto il_next1;\nno5:;\n"
              "v_t=((quad)((uquad)v_t+(uquad)(*(int*)&t_x.b->c)));\n"
              "}\nil_next1:;\n");
    EXPECT_EQ(compile_with_clang(declarations(), code), "");
}

TEST_F(CListMapTest, ForEachOverAMap) {
    start();
    std::string code = compile_all("NewMap m.l()\nForEach m()\nt = t + m()\nNext m()");
    EXPECT_EQ(code,
              "ZD_NewMap(4,5,0,&m_m,512);\n"
              "ZD_ResetMap(m_m.a);\nwhile (ZD_NextMapElement(m_m.a)) {\n"
              "v_t=((quad)((uquad)v_t+(uquad)(*(int*)&m_m.a->a->c)));\n"
              "}\nil_next1:;\n");
    EXPECT_EQ(compile_with_clang(declarations(), code), "");
}

// ---------------------------------------------------------------------------
// Maps

TEST_F(CListMapTest, NewMapPassesTheSlotCount) {
    expect_code("NewMap m.l()", "ZD_NewMap(4,5,0,&m_m,512);\n");
    expect_code("NewMap m.l(100)", "ZD_NewMap(4,5,0,&m_m,100);\n");
    expect_code("n = 8\nNewMap m.l(n)", "ZD_NewMap(4,5,0,&m_m,v_n);\n");
    expect_code("NewMap s.s()", "ZD_NewMap(8,8,ms_s,&m_s,512);\n");
    EXPECT_TRUE(c_runtime_used[C_ZD_NewMap]);
}

TEST_F(CListMapTest, KeyedElementGoesThroughAResultLocal) {
    expect_code("NewMap m.l()\nm(\"k\") = 3", "int* r0=(int*)ZD_GetMapElement(m_m.a,_S1);\n(*r0)=3;\n");
    EXPECT_TRUE(c_runtime_used[C_ZD_GetMapElement]);
    expect_code("NewMap m.l()\nv = m()", "v_v=(*(int*)&m_m.a->a->c);\n");
}
