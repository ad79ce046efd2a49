// Arrays, lists and maps declared by every declaration statement (Define,
// Global, Protected, Shared, Static, Threaded), their placement and scope,
// the release of a procedure's own containers at its end, and the errors of
// these forms; the x64 back end.
#include <string>

#include "backend_x64/emit_lists_maps.h"
#include "emit_test_support.h"
#include "frontend/arrays.h"
#include "frontend/lists_maps.h"
#include "frontend/procedures.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class DeclarationsTest : public EmitterTest {
protected:
    void TearDown() override { in_procedure = 0; }

    // Compiles the statements (one per line) after a fresh reset; returns
    // the code of the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        compiler_reset();
        reset_statement_state();
        clear_output();
        return compile_last_statement(statements);
    }

    int error_of(const std::string& statements) {
        compile(statements);
        return error_number;
    }

    static std::string procedure_text(const char* name) {
        ProcedureRecord* procedure = find_procedure(name);
        if (!procedure || !procedure->code_buffer) return "";
        return std::string(procedure->code_buffer->start, procedure->code_buffer->write);
    }

};

TEST_F(DeclarationsTest, ContainerItemsOfTheMainScopeStatements) {
    compile("Define Dim a.l(2), NewList l.w(), NewMap m.q(8)\nGlobal Dim g.b(3)\nGlobal NewMap gm.s()");
    ASSERT_EQ(error_number, 0);
    ArrayRecord* a = find_array("a");
    ListRecord* l = find_list("l");
    MapRecord* m = find_map("m");
    ASSERT_TRUE(a && l && m);
    EXPECT_EQ(a->element_type, TYPE_LONG);
    EXPECT_EQ(l->element_type, TYPE_WORD);
    EXPECT_EQ(m->slot_count, 8);
    EXPECT_EQ(find_array("g")->flags & ARRAY_GLOBAL, ARRAY_GLOBAL);
    EXPECT_EQ(find_map("gm")->flags & CONTAINER_GLOBAL, CONTAINER_GLOBAL);
    // A Global container is seen inside procedures, the others are not.
    in_procedure = 1;
    EXPECT_NE(find_array("g"), nullptr);
    EXPECT_NE(find_map("gm"), nullptr);
    EXPECT_EQ(find_array("a"), nullptr);
    EXPECT_EQ(find_list("l"), nullptr);
}

TEST_F(DeclarationsTest, ContainersOfAProcedureByStatement) {
    compile("Procedure Work()\nProtected Dim p.l(3)\nStatic Dim s.w(4)\nStatic NewList sl.l()\n"
            "Global NewList gl.l()\nNewMap local.l()\nEndProcedure");
    ASSERT_EQ(error_number, 0);
    // Global inside a procedure is a main-scope list with its own symbol,
    // kept after the procedure; the frame's containers are gone.
    ListRecord* global = find_list("gl");
    ASSERT_NE(global, nullptr);
    EXPECT_EQ(global->flags & CONTAINER_LOCAL, 0u);
    EXPECT_STREQ(format_list_address(global), "t_gl");
    EXPECT_EQ(find_array("p"), nullptr);
    EXPECT_EQ(find_map("local"), nullptr);
    EXPECT_EQ(find_array("s"), nullptr);
    // The Static ones live on as data items of the procedure, sized for
    // their slots.
    std::string labels;
    for (ListNode* node = data_item_list->first; node; node = node->next) {
        auto* item = reinterpret_cast<DataItem*>(node);
        labels += std::string(item->label) + ":" + std::to_string(item->size) + ":" + std::to_string(item->kind) + " ";
    }
    EXPECT_EQ(labels, "so_work.a_s:16:15 so_work.t_sl:16:14 ");
}

TEST_F(DeclarationsTest, ThreadedContainersLiveInTheThreadObject) {
    compile("Threaded t.l = 1\nThreaded Dim ta.w(4)\nThreaded NewList tl.l()\nThreaded NewMap tm.l(4)");
    ASSERT_EQ(error_number, 0);
    ArrayRecord* ta = find_array("ta");
    ListRecord* tl = find_list("tl");
    MapRecord* tm = find_map("tm");
    ASSERT_TRUE(ta && tl && tm);
    EXPECT_EQ(ta->offset, 8);
    EXPECT_EQ(tl->offset, 24);
    EXPECT_EQ(tm->offset, 40);
    EXPECT_EQ(thread_local_offset, 48);
    std::string kinds;
    for (ListNode* node = init_item_list->first; node; node = node->next)
        kinds += std::to_string(reinterpret_cast<InitItem*>(node)->kind) + " ";
    EXPECT_EQ(kinds, "5 15 14 22 ");
}

TEST_F(DeclarationsTest, SharedContainersOfTheMainScope) {
    std::string code = compile("Dim a.l(3)\nNewList l.l()\nNewMap m.l()\nProcedure P()\nShared a(), l(), m()\na(1) = 2");
    ASSERT_EQ(error_number, 0);
    EXPECT_EQ(code, " MOV rbp,qword [a_a]\n MOV dword [rbp+4],2\n");
    EXPECT_TRUE(find_list("l")->flags & CONTAINER_SHARED);
    EXPECT_TRUE(find_map("m")->flags & CONTAINER_SHARED);
    text = std::string("EndProcedure") + '\0' + '\0';
    parse_pointer = text.data();
    compile_statement();
    ASSERT_EQ(error_number, 0);
    EXPECT_FALSE(find_array("a")->flags & ARRAY_SHARED);
    EXPECT_FALSE(find_list("l")->flags & CONTAINER_SHARED);
    EXPECT_EQ(error_of("Procedure P()\nShared nothing()\nEndProcedure"), ERROR_NOT_DECLARED_IN_MAIN_SCOPE);
    // A procedure's own array is no main-scope array.
    EXPECT_EQ(error_of("Procedure Q()\nDim own(2)\nEndProcedure\nProcedure P()\nShared own()\nEndProcedure"), ERROR_NOT_DECLARED_IN_MAIN_SCOPE);
}

TEST_F(DeclarationsTest, TheEndOfAProcedureReleasesItsOwnContainersOnce) {
    compile("Procedure P()\nNewList l.l()\nNewMap m.s()\nDim a(2)\nStatic NewList s.l()\nEndProcedure");
    ASSERT_EQ(error_number, 0);
    std::string body = procedure_text("P");
    // One PUSH rax keeps the result; the Static list is not released.
    EXPECT_NE(body.find("_EndProcedure1:\n PUSH rax\n MOV rcx,qword [rsp+72]\n SUB rsp,40\n CALL SYS_FreeArray\n"
                        " ADD rsp,40\n MOV rcx,qword [rsp+48]\n SUB rsp,40\n CALL ZD_FreeList\n ADD rsp,40\n"
                        " MOV rcx,qword [rsp+64]\n SUB rsp,40\n CALL ZD_FreeMap\n ADD rsp,40\n POP rax\n"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("t_s"), std::string::npos);
    // What a procedure declared can't be named by a later one.
    EXPECT_EQ(error_of("Procedure P()\nNewList l.l()\nEndProcedure\nProcedure Q()\nx = l()\nEndProcedure"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
    EXPECT_EQ(error_of("Procedure P()\nDim a(3)\nEndProcedure\nProcedure Q()\na(1) = 5\nEndProcedure"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
    // A main-scope list of that name is a new list of its own.
    compile("Procedure P()\nNewList l.l()\nEndProcedure\nNewList l.l()");
    ASSERT_EQ(error_number, 0);
    ASSERT_NE(find_list("l"), nullptr);
    EXPECT_STREQ(format_list_address(find_list("l")), "t_l");
}

TEST_F(DeclarationsTest, ErrorsOfTheContainerForms) {
    struct Case {
        const char* source;
        int error;
    } cases[] = {
        {"Procedure F()\nEndProcedure\nNewList F.l()", 100},
        {"Procedure F()\nEndProcedure\nNewMap F.l()", 100},
        {"Procedure F()\nEndProcedure\nDim F.l(2)", 100},
        {"Dim 1abc(3)", 19},
        {"Dim $ab(3)", 19},
        {"Define Dim 1abc(3)", 19},
        {"NewMap 1M()", 178},
        {"Threaded Dim t.l(3,4)", 315},
        {"Procedure P()\nStatic Dim s.l(n)\nEndProcedure", 207},
        {"Procedure P()\nStatic Dim s.l(2)\nStatic Dim s.l(2)\nEndProcedure", 228},
        {"Dim a(3)\nProcedure P()\nGlobal Dim a(4)\nEndProcedure", 231},
        {"Procedure P()\nProtected Dim a(4)\nProtected Dim a(4)\nEndProcedure", 217},
        {"Procedure P()\nStatic NewMap m.l(n)\nEndProcedure", 198},
        {"NewList l.l()\nProcedure P()\nGlobal NewList l.l()\nEndProcedure", 139},
        {"NewMap m.l()\nNewMap m.w()", 259},
        {"Procedure P()\nProtected NewMap m.l()\nProtected NewMap m.l()\nEndProcedure", 288},
        {"Threaded NewList a.l(), b.l()", 4},
        {"Procedure P()\nShared a\nShared a()\nEndProcedure", 256},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.source), c.error) << c.source;
}

TEST_F(DeclarationsTest, ContainerParametersTakeTheCallersContainers) {
    // The prologue copies the address each argument slot brings into the
    // container's own frame slot.
    compile("Procedure.l F(Array v.l(1), List l.s(), Map m.d())\nx = v(1)\nEndProcedure");
    ASSERT_EQ(error_number, 0);
    std::string body = procedure_text("F");
    EXPECT_NE(body.find(" MOV rax,qword [rsp+PS0+0]\n MOV qword [rsp+40],rax\n"
                        " MOV rax,qword [rsp+PS0+8]\n MOV qword [rsp+48],rax\n"
                        " MOV rax,qword [rsp+PS0+16]\n MOV qword [rsp+56],rax\n"),
              std::string::npos)
        << body;
    // Nothing of the caller's is released at the end.
    EXPECT_EQ(body.find("SYS_FreeArray"), std::string::npos) << body;
    EXPECT_EQ(body.find("ZD_FreeList"), std::string::npos) << body;
    // A list parameter reaches the caller's head through its slot.
    std::string element = compile("Procedure.l F(List l.l())\nx = l()");
    EXPECT_NE(element.find(" MOV rcx,qword [rsp+40]\n MOV rbp,qword [rcx+8]\n"), std::string::npos) << element;
    in_procedure = 0;
    // Arguments: the address of the head, of the map slot, of the array
    // variable; a parameter passes on what its slot holds.
    std::string call = compile("Procedure F(List l.l())\nEndProcedure\nNewList q.l()\nF(q())");
    EXPECT_NE(call.find(" LEA rax,[t_q]\n PUSH rax\n"), std::string::npos) << call;
    call = compile("Procedure F(List l.l())\nEndProcedure\nProcedure G(List k.l())\nF(k())");
    EXPECT_NE(call.find(" MOV rcx,qword [rsp+40]\n MOV rax,rcx\n PUSH rax\n"), std::string::npos) << call;
    in_procedure = 0;
    // A Declare and its definition, and a Prototype, keep the kinds; the
    // Declare's containers are gone after its line.
    EXPECT_EQ(error_of("Declare F(Array a.l(1))\nProcedure F(Array a.l(1))\nEndProcedure"), 0);
    EXPECT_EQ(error_of("Declare F(Array a.l(1))\nDim a.w(2)\nProcedure F(List a.l())\nEndProcedure"), ERROR_DECLARE_MISMATCH);
    EXPECT_EQ(error_of("Prototype Pr(List l.l(), Map m.s())\nNewList l.s()"), 0);
}

TEST_F(DeclarationsTest, ErrorsOfContainerParametersAndArguments) {
    struct Case {
        const char* source;
        int error;
    } cases[] = {
        {"Procedure F(Array v.l(1))\nEndProcedure\nNewList l.l()\nF(l())", 15},
        {"Procedure F(Array v.l(1))\nEndProcedure\nDim a.l(3)\nF(a(1))", 15},
        {"Procedure F(List v.l())\nEndProcedure\nx = 1\nF(x)", 16},
        {"Procedure F(Map v.l())\nEndProcedure\nDim a(2)\nF(a())", 103},
        {"Procedure F(Array v.l(1))\nEndProcedure\nDim a.w(2)\nF(a())", 73},
        {"Procedure F(Array v.l(2))\nEndProcedure\nDim a.l(2)\nF(a())", 73},
        {"Procedure F(Array *v(1))\nEndProcedure\nDim a.l(2)\nF(a())", 73},
        {"Procedure F(List v.l())\nEndProcedure\nNewList a.s()\nF(a())", 212},
        {"Procedure F(Map v.l())\nEndProcedure\nNewMap a.d()\nF(a())", 242},
        {"Procedure F(Array v.l(0))\nEndProcedure", 176},
        {"Procedure F(Array v.l(n))\nEndProcedure", 176},
        {"Procedure F(Array v.l(1), Array v.l(1))\nEndProcedure", 217},
        {"Procedure F(List v.l(), List v.l())\nEndProcedure", 139},
        {"Procedure F(x = 1, List v.l())\nEndProcedure", 205},
        {"Procedure F(List v.l)\nEndProcedure", 1},
        {"Procedure F(Array \"v\")\nEndProcedure", 85},
        {"Procedure F(List v.l(), x)\nEndProcedure\nNewList q.l()\nF(q())", 49},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.source), c.error) << c.source;
}

TEST_F(DeclarationsTest, CallsThroughPrototypeVariables) {
    std::string call = compile("Prototype.l Adder(a.l, b.l)\nDefine f.Adder\nx = f(2, 3)");
    EXPECT_NE(call.find(" CALL qword [v_f]\n MOVSXD rax,eax\n"), std::string::npos) << call;
    // A prototype-typed parameter: its own slot, at the call's depth.
    call = compile("Prototype.l Adder(a.l, b.l)\nProcedure.l Use(fn.Adder, k)\nProcedureReturn fn(k, 1)");
    EXPECT_NE(call.find(" CALL qword [rsp+PS0+0]\n"), std::string::npos) << call;
    in_procedure = 0;
    EXPECT_EQ(error_of("Prototype.l Adder(a.l, b.l)\nDefine f.Adder\nx = f(2)"), ERROR_INCORRECT_PARAMETER_COUNT);
    EXPECT_EQ(error_of("Prototype.l Adder(a.l, b.l)\nDefine *f.Adder\nx = f(2, 3)"), ERROR_NOT_FUNCTION_ARRAY_LIST_MAP_OR_MACRO);
}

TEST_F(DeclarationsTest, ProcedureNamesThatClash) {
    EXPECT_EQ(error_of("Dim F(3)\nProcedure F()\nEndProcedure"), ERROR_NAME_SAME_AS_ARRAY);
    EXPECT_EQ(error_of("NewList F()\nProcedure F()\nEndProcedure"), ERROR_NAME_SAME_AS_LIST);
    EXPECT_EQ(error_of("NewMap F()\nProcedure F()\nEndProcedure"), ERROR_NAME_SAME_AS_MAP);
    EXPECT_EQ(error_of("Prototype Pr(a, b)\nDefine F.Pr\nProcedure F(a, b)\nEndProcedure"), ERROR_PROTOTYPE_VARIABLE_ALREADY_DECLARED);
    EXPECT_EQ(error_of("Prototype Pr(a)"), 0);
    EXPECT_EQ(error_of("Prototype F(a)"), ERROR_NATIVE_TYPE_NAME);
    EXPECT_EQ(error_of("Prototype W(a)"), ERROR_NATIVE_TYPE_NAME);
    EXPECT_EQ(error_of("Procedure To()\nEndProcedure"), ERROR_PROCEDURE_NAMED_AS_OPERATOR);
    EXPECT_EQ(error_of("Procedure.l align(a)\nEndProcedure"), ERROR_PROCEDURE_NAMED_AS_OPERATOR);
    EXPECT_EQ(error_of("Procedure Tox()\nEndProcedure"), 0);
    EXPECT_EQ(error_of("Structure Sa\na.l\nEndStructure\nPrototype Sa()"), ERROR_STRUCTURE_ALREADY_DECLARED);
    EXPECT_EQ(error_of("Interface Ia\nM()\nEndInterface\nPrototype Ia()"), ERROR_INTERFACE_ALREADY_DECLARED);
}

}  // namespace
