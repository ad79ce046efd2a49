// Variables and scopes: declaration statements, lookup through the
// procedure scope, storage, Static and Threaded items, and the operand texts
// the x64 back end gives each kind of variable.
#include <string>

#include "backend_x64/x64_variables.h"
#include "emit_test_support.h"
#include "frontend/expressions.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/literal_strings.h"
#include "frontend/variables.h"

namespace {

class VariablesTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        reset_statement_state();
        clear_output();
    }
    void TearDown() override {
        in_procedure = 0;
        explicit_enabled = 0;
        purifier_enabled = 0;
    }

    // Compiles statements (one per line); returns the code of the last one
    // or "error <n>".
    std::string compile(const std::string& statements) {
        return compile_last_statement(statements);
    }

    void enter_procedure(const char* name, int id) {
        in_procedure = 1;
        snprintf(current_procedure_name, sizeof current_procedure_name, "%s", name);
        current_procedure_id = id;
        local_frame_offset = 40;
    }

};

TEST_F(VariablesTest, DefineWithTypesAndInitialValues) {
    EXPECT_EQ(compile("Define.w a, b\na = b"), " MOVSX r15,word [v_b]\n MOV word [v_a],r15w\n");
    EXPECT_EQ(compile("Define c.l = 5, d.b = c"),
              " MOV dword [v_c],5\n MOVSXD r15,dword [v_c]\n MOV byte [v_d],r15b\n");
    VariableRecord* c = find_global_variable("c", false);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->type, TYPE_LONG);
    EXPECT_EQ(c->size, 4);
    // The statement's type is the default only for that statement.
    EXPECT_EQ(default_type.code, TYPE_INTEGER);
    EXPECT_EQ(compile("Define.q"), "error " + std::to_string(ERROR_SYNTAX));
}

TEST_F(VariablesTest, GlobalDataOffsetsAdvanceBySize) {
    compile("Define a.b, b.q, c.w");
    EXPECT_EQ(find_global_variable("a", false)->offset, 0);
    EXPECT_EQ(find_global_variable("b", false)->offset, 1);
    EXPECT_EQ(find_global_variable("c", false)->offset, 9);
    EXPECT_EQ(global_data_offset, 11);
    compiler_reset();
    purifier_enabled = 1;
    compile("Define a.b, b.q");
    EXPECT_EQ(find_global_variable("b", false)->offset, 5);
}

TEST_F(VariablesTest, DeclarationErrors) {
    EXPECT_EQ(compile("Global g.q = 1\nDefine g"), "error " + std::to_string(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE));
    compiler_reset();
    EXPECT_EQ(compile("a = 1\na.q = 2"), "error " + std::to_string(ERROR_VARIABLE_DECLARED_WITH_OTHER_TYPE));
    compiler_reset();
    EXPECT_EQ(compile("Define *p.l"), "error " + std::to_string(ERROR_NATIVE_TYPE_POINTER));
    compiler_reset();
    EXPECT_EQ(compile("Define s.s{0}"), "error " + std::to_string(ERROR_FIXED_STRING_SIZE));
    compiler_reset();
    EXPECT_EQ(compile("Define s.s{5"), "error " + std::to_string(ERROR_CLOSE_BRACE_EXPECTED_AFTER_FIXED_STRING));
    compiler_reset();
    EXPECT_EQ(compile("Define a.Point"), "error " + std::to_string(ERROR_STRUCTURE_NOT_FOUND));
    compiler_reset();
    EXPECT_EQ(compile("Define a ! 1"), "error " + std::to_string(ERROR_ILLEGAL_DEFINE_OPERATOR));
    compiler_reset();
    EXPECT_EQ(compile("Global a, b c"), "error " + std::to_string(ERROR_SYNTAX));
    compiler_reset();
    EXPECT_EQ(compile("Define Repeat"), "error " + std::to_string(ERROR_VARIABLE_NAMED_AS_KEYWORD));
    compiler_reset();
    EXPECT_EQ(compile("Define s.s{3}\nDefine s.s{4}"), "error " + std::to_string(ERROR_FIXED_STRING_SIZE_CHANGED));
    for (const char* keyword : {"Static x", "Protected x", "Shared x"}) {
        compiler_reset();
        EXPECT_EQ(compile(keyword), "error " + std::to_string(ERROR_ONLY_INSIDE_PROCEDURE)) << keyword;
    }
}

TEST_F(VariablesTest, FixedStringAndPointerTypes) {
    compile("Define s.s{5}, *q");
    VariableRecord* s = find_global_variable("s", false);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->type, TYPE_FIXED_STRING);
    EXPECT_EQ(s->size, 10);
    EXPECT_EQ(compile("Define *p\n*p = 5"), " MOV qword [p_p],5\n");
    // p and *p are two variables.
    EXPECT_NE(find_global_variable("p", true), nullptr);
    EXPECT_EQ(find_global_variable("p", false), nullptr);
    EXPECT_STREQ(get_variable_display_name(find_global_variable("p", true)), "*p");
    EXPECT_EQ(compile("s = 1"), "error " + std::to_string(ERROR_NUMBER_INTO_STRING_VARIABLE));
    EXPECT_EQ(compile("t$ = 1"), "error " + std::to_string(ERROR_NUMBER_INTO_STRING_VARIABLE));
    EXPECT_EQ(find_global_variable("t$", false)->type, TYPE_STRING);
}

TEST_F(VariablesTest, EnableExplicitNeedsDeclarations) {
    EXPECT_EQ(compile("EnableExplicit\nx = 1"), "error " + std::to_string(ERROR_EXPLICIT_VARIABLE_NOT_DECLARED));
    compiler_reset();
    reset_statement_state();
    EXPECT_EQ(compile("EnableExplicit\nDefine x\nx = y"), "error " + std::to_string(ERROR_EXPLICIT_VARIABLE_NOT_DECLARED));
    compiler_reset();
    reset_statement_state();
    EXPECT_EQ(compile("EnableExplicit\nDefine x, y\nx = y"), " MOV r15,qword [v_y]\n MOV qword [v_x],r15\n");
}

TEST_F(VariablesTest, ProcedureScope) {
    compile("a = 1\nGlobal g");
    enter_procedure("MyProc", 4);
    // The main code's a is not visible: the procedure gets its own local.
    EXPECT_EQ(compile("a = g"), " MOV r15,qword [v_g]\n MOV qword [rsp+40],r15\n");
    EXPECT_EQ(compile("Protected b.l = 5"), " MOV dword [rsp+48],5\n");
    EXPECT_EQ(compile("Protected b"), "error " + std::to_string(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED));
    EXPECT_EQ(compile("Shared a"), "error " + std::to_string(ERROR_LOCAL_VARIABLE_ALREADY_DECLARED));
    EXPECT_EQ(compile("Threaded t"), "error " + std::to_string(ERROR_ONLY_OUTSIDE_PROCEDURE));
    EXPECT_EQ(find_local_variable("a", false)->offset, 40);
    drop_procedure_locals();
    in_procedure = 0;
    EXPECT_EQ(find_local_variable("a", false), nullptr);
    EXPECT_NE(find_global_variable("a", false), nullptr);
}

TEST_F(VariablesTest, SharedGlobalIsUsedInsideTheProcedure) {
    compile("a = 1");
    enter_procedure("P", 2);
    EXPECT_EQ(compile("Shared a\na = 5"), " MOV qword [v_a],5\n");
    EXPECT_TRUE(find_global_variable("a", false)->flags & VAR_SHARED);
    drop_procedure_locals();
    EXPECT_FALSE(find_global_variable("a", false)->flags & VAR_SHARED);
}

TEST_F(VariablesTest, StaticItemsGetDataItems) {
    enter_procedure("MyProc", 4);
    std::string code = compile("Static s.w = 3, q.d = 1.5\ns = s + 1");
    EXPECT_EQ(code, " MOVSX r15,word [so_myproc.s]\n INC r15\n MOV word [so_myproc.s],r15w\n");
    EXPECT_EQ(assemble_fragment(code), "");
    list_reset_cursor(data_item_list);
    auto* s = static_cast<DataItem*>(list_next(data_item_list));
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->label, "so_myproc.s");
    EXPECT_EQ(s->initialised, 1);
    EXPECT_EQ(s->value, 3);
    auto* q = static_cast<DataItem*>(list_next(data_item_list));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->value, 0x3FF8000000000000LL);  // 1.5 as double bits
    EXPECT_EQ(compile("Static y = z"), "error " + std::to_string(ERROR_STATIC_NEEDS_LITERAL));
    EXPECT_EQ(compile("Static w.l = \"x\""), "error " + std::to_string(ERROR_STRING_ASSIGNED_TO_NUMBER));
    // A literal string item keeps the literal's number; a string variable
    // as the value is no literal.
    EXPECT_EQ(compile("Static t.s = \"abc\""), "");
    auto* t = static_cast<DataItem*>(find_local_variable("t", false)->item);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->initialised, 1);
    const LiteralString* literal = find_literal_by_number(int32_t(t->value));
    ASSERT_NE(literal, nullptr);
    EXPECT_STREQ(literal->entry.key, "abc");
    EXPECT_EQ(compile("Static u.s = t"), "error " + std::to_string(ERROR_STATIC_NEEDS_LITERAL));
    // A Static local stays declared after the procedure (only unlinked).
    VariableRecord* record = find_local_variable("s", false);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->flags & VAR_STATIC);
}

TEST_F(VariablesTest, ThreadedVariablesLiveInTheThreadObject) {
    std::string code = compile("Threaded t.l = 7, u.q\nt = t + 1");
    // Main code reads the main thread's object from its own qword.
    EXPECT_EQ(code, " MOV rbp,[ZD_MainThreadObject]\n MOV rbp,[ZD_MainThreadObject]\n MOVSXD r15,dword [rbp+0]\n INC r15\n"
                    " MOV dword [rbp+0],r15d\n");
    EXPECT_EQ(assemble_fragment(code), "");
    VariableRecord* u = find_global_variable("u", false);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->offset, 8);  // rounded up to a multiple of 8
    EXPECT_EQ(u->flags & (VAR_THREADED | VAR_GLOBAL), VAR_THREADED | VAR_GLOBAL);
    auto* item = static_cast<InitItem*>(find_global_variable("t", false)->item);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->initialised, 1);
    EXPECT_EQ(item->value, 7);
    EXPECT_TRUE(init_items_exist);
    EXPECT_EQ(compile("Threaded u"), "error " + std::to_string(ERROR_VARIABLE_DECLARED_WITH_OTHER_SCOPE));
}

TEST_F(VariablesTest, OperandTexts) {
    compile("Define g.l, d.d");
    VariableRecord* g = find_global_variable("g", false);
    EXPECT_STREQ(format_variable_operand(g), "dword [v_g]");
    EXPECT_STREQ(format_variable_qword_symbol(g), "qword v_g");
    enter_procedure("P", 6);
    compile("Protected x, y.b");
    VariableRecord* x = find_local_variable("x", false);
    VariableRecord* y = find_local_variable("y", false);
    x->offset = 0;
    EXPECT_STREQ(format_variable_operand(x), "qword [rsp]");
    emitter_stack.push_depth = 16;
    EXPECT_STREQ(format_variable_operand(x), "qword [rsp+16]");
    EXPECT_STREQ(format_variable_operand(y), "byte [rsp+64]");
    y->flags |= VAR_STACK_PARAMETER;
    EXPECT_STREQ(format_variable_operand(y), "byte [rsp+PS6+64]");
    emitter_stack.push_depth = 0;
    clear_output();
    emit_procedure_local_equates();
    EXPECT_EQ(output(), "p.v_x equ rsp+0\np.v_y equ rsp+PS6+48\n");
    clear_output();
    emit_procedure_local_equates();
    EXPECT_EQ(output(), "");
    // Inside a procedure a threaded variable reloads rbp from its slot.
    compile("t = 1");
    in_procedure = 0;
    compile("Threaded t2.w");
    in_procedure = 1;
    clear_output();
    EXPECT_STREQ(format_variable_operand(find_global_variable("t2", false)), "word [rbp+0]");
    EXPECT_EQ(output(), " MOV rbp,[rsp+TS6+0]\n");
}

TEST_F(VariablesTest, LocalStringsAreFreedAtTheEndOfTheProcedure) {
    enter_procedure("P", 2);
    compile("Protected s.s, n");
    clear_output();
    drop_procedure_locals();
    std::string code = output();
    EXPECT_EQ(code, " MOV rcx,qword [rsp+40]\n CALL SYS_FreeString\n");
    EXPECT_EQ(assemble_fragment(code), "");
    EXPECT_EQ(variable_table->count, 0u);
}

}  // namespace
