// The program output's inputs taken from the front end: global variables of
// every numeric type, Static items with the type of their variable, the
// liveness of an item, and the data pointer's own symbol.
#include <cstring>
#include <string>

#include "backend_x64/program_output.h"
#include "backend_x64/x64_variables.h"
#include "emit_test_support.h"
#include "frontend/expressions.h"
#include "frontend/statement_dispatcher.h"
#include "frontend/variables.h"

namespace {

class ProgramInputsTest : public EmitterTest {
protected:
    void SetUp() override {
        EmitterTest::SetUp();
        compiler_reset();
        reset_statement_state();
        reset_program_output();
        clear_output();
    }
    void TearDown() override {
        in_procedure = 0;
        debugger_enabled = 0;
        reset_program_output();
    }

    // Compiles statements, one per line; false at the first error.
    bool compile(const std::string& statements) {
        return compile_statements(statements);
    }

    void enter_procedure(const char* name, int id) {
        in_procedure = 1;
        snprintf(current_procedure_name, sizeof current_procedure_name, "%s", name);
        current_procedure_id = id;
        local_frame_offset = 40;
    }

    const StaticDataItem* item(const char* label) const {
        for (const StaticDataItem& entry : program_data_items)
            if (entry.label == label) return &entry;
        return nullptr;
    }

    int32_t variable_size(const char* symbol) const {
        for (const BssVariable& entry : program_global_variables)
            if (entry.symbol == symbol) return entry.size;
        return -1;
    }

    std::string text;
};

TEST_F(ProgramInputsTest, GlobalVariablesOfEveryNumericTypeWithTheirSizes) {
    ASSERT_TRUE(compile("Define a.b, b.w, c.l, d.q, e.f, g.d, h.i, k.a, m.c, n.u\nx = 1"));
    collect_program_inputs();
    EXPECT_EQ(variable_size("v_a"), 1);
    EXPECT_EQ(variable_size("v_b"), 2);
    EXPECT_EQ(variable_size("v_c"), 4);
    EXPECT_EQ(variable_size("v_d"), 8);
    EXPECT_EQ(variable_size("v_e"), 4);
    EXPECT_EQ(variable_size("v_g"), 8);
    EXPECT_EQ(variable_size("v_h"), 8);
    EXPECT_EQ(variable_size("v_k"), 1);
    EXPECT_EQ(variable_size("v_m"), 2);
    EXPECT_EQ(variable_size("v_n"), 2);
    EXPECT_EQ(variable_size("v_x"), 8);
    EXPECT_EQ(program_global_variables.size(), 11u);
}

TEST_F(ProgramInputsTest, LocalsAndStaticItemsAreNotGlobalVariables) {
    enter_procedure("P", 2);
    ASSERT_TRUE(compile("Static s.l = 1\nlocal = 2\nGlobal g.w"));
    collect_program_inputs();
    EXPECT_EQ(variable_size("v_g"), 2);
    EXPECT_EQ(variable_size("v_local"), -1);
    EXPECT_EQ(variable_size("v_s"), -1);
    EXPECT_EQ(program_global_variables.size(), 1u);
    ASSERT_NE(item("so_p.s"), nullptr);
}

TEST_F(ProgramInputsTest, StaticItemsTakeTheTypeOfTheirVariable) {
    enter_procedure("MyProc", 4);
    ASSERT_TRUE(compile("Static s.w = 3, q.d = 1.5, f.f = 2, b.b = -1, u.q = 4294967296, t$\nStatic *p = 5"));
    collect_program_inputs();
    ASSERT_EQ(program_data_items.size(), 7u);
    EXPECT_EQ(item("so_myproc.s")->type, TYPE_WORD);
    EXPECT_EQ(item("so_myproc.q")->type, TYPE_DOUBLE);
    EXPECT_EQ(item("so_myproc.f")->type, TYPE_FLOAT);
    EXPECT_EQ(item("so_myproc.b")->type, TYPE_BYTE);
    EXPECT_EQ(item("so_myproc.u")->type, TYPE_QUAD);
    // A string without an initial value gets no start-up assignment.
    ASSERT_NE(item("so_myproc.t$"), nullptr);
    EXPECT_EQ(item("so_myproc.t$")->type, TYPE_STRING);
    EXPECT_FALSE(item("so_myproc.t$")->initialised);
    // A pointer is stored as an integer.
    EXPECT_EQ(item("so_myproc.p")->type, TYPE_INTEGER);
    EXPECT_EQ(item("so_myproc.p")->value, 5);

    // Written into the data section with their values; the string stays
    // for the bss.
    for (int32_t size : {8, 4, 2, 1}) emit_initialised_data_items(size);
    std::string data = output();
    EXPECT_NE(data.find("so_myproc.q dd 0\n dd 1073217536\n"), std::string::npos) << data;
    EXPECT_NE(data.find("so_myproc.u dd 0\n dd 1\n"), std::string::npos) << data;
    EXPECT_NE(data.find("so_myproc.p dd 5\n dd 0\n"), std::string::npos) << data;
    EXPECT_NE(data.find("so_myproc.f dd 1073741824\n"), std::string::npos) << data;
    EXPECT_NE(data.find("so_myproc.s dw 3\n"), std::string::npos) << data;
    EXPECT_NE(data.find("so_myproc.b db -1\n"), std::string::npos) << data;
    ASSERT_EQ(program_data_items.size(), 1u);
    EXPECT_EQ(program_data_items[0].label, "so_myproc.t$");
}

TEST_F(ProgramInputsTest, ItemsOfUnusedProceduresAreLeftOut) {
    enter_procedure("P", 2);
    ASSERT_TRUE(compile("Static a.l = 1, b.l = 2, c.l = 3, d.l = 4"));
    ProcedureRecord unused{}, called{}, exported{}, declared{};
    called.use_count = 1;
    exported.flags = 0x1000;
    declared.flags = 0x5000;
    ProcedureRecord* owners[] = {&unused, &called, &exported, &declared};
    int i = 0;
    for (ListNode* node = data_item_list->first; node; node = node->next)
        reinterpret_cast<DataItem*>(node)->procedure = owners[i++];
    collect_program_inputs();
    EXPECT_EQ(item("so_p.a"), nullptr);
    EXPECT_NE(item("so_p.b"), nullptr);
    EXPECT_NE(item("so_p.c"), nullptr);
    EXPECT_EQ(item("so_p.d"), nullptr);

    reset_program_output();
    debugger_enabled = 1;
    collect_program_inputs();
    EXPECT_EQ(program_data_items.size(), 4u);
}

TEST_F(ProgramInputsTest, DataPointerUsesTheProgramsOwnQword) {
    VariableRecord* pointer = declare_data_pointer_variable();
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(pointer->flags, VAR_DATA_POINTER | VAR_GLOBAL);
    EXPECT_EQ(pointer->type, TYPE_INTEGER);
    EXPECT_STREQ(format_variable_operand(pointer), "qword [ZD_DataPointer]");
    // Visible in a procedure as a Global variable, and never reserved twice.
    enter_procedure("P", 2);
    ASSERT_TRUE(compile("ZD_DataPointer = 0"));
    EXPECT_EQ(output(), " MOV qword [ZD_DataPointer],0\n");
    collect_program_inputs();
    EXPECT_TRUE(program_global_variables.empty());
}

}  // namespace
