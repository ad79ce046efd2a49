// Golden C lines of procedures and calls through the dispatcher and the C
// back end: C names, prototype lines, the function around a body, the
// results of ProcedureReturn, calls with hoisted, default and nested
// arguments and their "r<n>" results. Every function and call fragment is
// also compiled by clang for the Windows target.
#include <string>

#include "backend_c/c_calls.h"
#include "backend_c/c_procedures.h"
#include "backend_c/c_strings.h"
#include "c_test_support.h"
#include "frontend/modules.h"
#include "frontend/procedures.h"

namespace {

const char* const c_prelude =
    "typedef long long quad;\n"
    "typedef unsigned long long uquad;\n"
    "typedef quad integer;\n"
    "static inline long long zd_llrint(long double x) { long long out; __asm__ __volatile__(\"fldt %1\\n\" \"fistpll %0\" : "
    "\"=m\" (out) : \"m\" (x)); return out; }\n"
    "#define SYS_BankerRound(x) zd_llrint(x)\n"
    "#define SYS_BankerRoundQuad(x) zd_llrint(x)\n"
    "extern integer ZD_StringBasePosition;\n"
    "void SYS_PushStringBasePosition(void);\n"
    "void SYS_CopyString(const void *String);\n"
    "void *SYS_PopStringBasePositionValueNoUpdate(void);\n"
    "integer SYS_PopStringBasePosition(void);\n"
    "void SYS_FastAllocateString4(void **Address, const void *String);\n"
    "void SYS_FreeString(void *String);\n";

class CProcedureTest : public CBackendTest {
protected:
    void SetUp() override {
        CBackendTest::SetUp();
        restart();
    }
    void TearDown() override {
        CBackendTest::TearDown();
        in_procedure = 0;
        explicit_enabled = 0;
    }

    void restart() {
        compiler_reset();
        // The back end's lists were in the compilation heap just freed.
        c_backend_reset();
        reset_statement_state();
        c_reset_expression_state();
        c_reset_procedure_state();
        c_reset_call_state();
        c_reset_string_state();
        clear_output();
        clear_error_state();
    }

    // Compiles the statements (one per line); returns the main code written
    // by the last one, or "error <n>".
    std::string compile(const std::string& statements) {
        std::string last;
        bool in_main = true;
        std::string failure = compile_each_line(
            statements,
            [&](int32_t) {
                // A procedure's body stays in its own buffer.
                in_main = open_procedure() == nullptr;
                if (in_main) clear_output();
            },
            [&] { last = in_main ? output() : ""; });
        return failure.empty() ? last : failure;
    }

    // The function text of a compiled procedure.
    static std::string function_text(const char* name) {
        ProcedureRecord* procedure = find_procedure(name);
        if (!procedure || !procedure->code_buffer) return "";
        return std::string(procedure->code_buffer->start, procedure->code_buffer->write);
    }

    std::string globals() {
        return written_by([] { emit_variable_declarations(true); });
    }

    // clang on the prototypes, the functions and a main fragment; "" when
    // it compiles.
    static std::string compile_with_clang(const std::string& top, const std::string& code) {
        return clang_messages_for_fragment(c_prelude + c_prototypes_text + top, code);
    }
};

// ---------------------------------------------------------------------------
// Names and prototype lines

TEST_F(CProcedureTest, NamesAreLowerCasedAndPrefixedByTheirModule) {
    ProcedureRecord procedure = {};
    char name[] = "Test_2$";
    procedure.entry.key = name;
    EXPECT_STREQ(c_procedure_name(&procedure), "f_test_2$");
    ModuleRecord module = {};
    char module_name[] = "Tools";
    module.entry.key = module_name;
    procedure.module = &module;
    EXPECT_STREQ(c_procedure_name(&procedure), "toolsXf_test_2$");
    EXPECT_STREQ(c_prototype_name(&procedure), "toolsXf_test_2$");
}

TEST_F(CProcedureTest, StringResultsTakeTheCallersBasePosition) {
    ProcedureRecord procedure = {};
    char name[] = "Text";
    procedure.entry.key = name;
    procedure.flags = PROC_DECLARED | PROC_RETURNS_STRING;
    EXPECT_EQ(c_procedure_prototype_text(&procedure), "static void* f_text(int sbp);");
    // An exported procedure never takes the hidden parameter and is not static.
    procedure.flags |= PROC_DLL;
    EXPECT_EQ(c_procedure_prototype_text(&procedure), "void* f_text();");
    // Nor is one that Runtime registers.
    procedure.flags = PROC_DECLARED;
    procedure.second_flags = PROC_SECOND_RUNTIME;
    EXPECT_EQ(c_procedure_prototype_text(&procedure), "integer f_text();");
    EXPECT_EQ(compile("Procedure.s Join(a, b)\nEndProcedure"), "");
    EXPECT_EQ(c_prototypes_text, "static void* f_join(integer v_a,integer v_b,int sbp);\n");
}

TEST_F(CProcedureTest, PrototypeLinesByParameterType) {
    EXPECT_EQ(compile("Procedure.d Mix(a.b, b.w, c.l, d.q, e.f, f.d, g.s, *p, h.a, i.u, j.c)\nEndProcedure"), "");
    EXPECT_EQ(c_prototypes_text,
              "static double f_mix(char v_a,short v_b,int v_c,quad v_d,float v_e,double v_f,void* v_g,integer p_p,"
              "unsigned char v_h,unsigned short v_i,unsigned short v_j);\n");
    EXPECT_EQ(compile_with_clang(function_text("Mix"), ""), "");
}

// ---------------------------------------------------------------------------
// The function around a body

TEST_F(CProcedureTest, FunctionHeadLocalsAndCommonExit) {
    EXPECT_EQ(compile("Procedure.l Twice(a)\nb = a * 2\nProcedureReturn b\nEndProcedure"), "");
    EXPECT_EQ(function_text("Twice"),
              "static int f_twice(integer v_a) {\n"
              "int r=0;\n"
              "integer v_b=0;\n"
              "v_b=((quad)((uquad)v_a*2LL));\n"
              "r=v_b;\n"
              "goto end;\n"
              "r=0;\n"
              "end:\n"
              "return r;\n"
              "}\n");
    EXPECT_EQ(c_prototypes_text, "static int f_twice(integer v_a);\n");
    EXPECT_EQ(compile_with_clang(function_text("Twice"), ""), "");
}

// A local whose address is taken may be changed through the address: it is
// declared volatile; the other locals are not.
TEST_F(CProcedureTest, LocalWhoseAddressIsTakenIsVolatile) {
    EXPECT_EQ(compile("Procedure Poke()\nx.l = 5\ny.l = 1\n*p = @x\nEndProcedure"), "");
    std::string text = function_text("Poke");
    EXPECT_NE(text.find("\nvolatile int v_x=0;\nint v_y=0;\n"), std::string::npos) << text;
    EXPECT_EQ(compile_with_clang(text, ""), "");
}

TEST_F(CProcedureTest, StringParametersAreCopiedAndEmptyStringIsTheDefault) {
    EXPECT_EQ(compile("Procedure.s Echo(t.s)\nProcedureReturn\nEndProcedure"), "");
    EXPECT_EQ(function_text("Echo"),
              "static void* f_echo(void* v_t,int sbp) {\n"
              "void* r=0;\n"
              "ZD_StringBasePosition=sbp;\n"
              "SYS_FastAllocateString4(&v_t,v_t);\n"
              "SYS_PushStringBasePosition();\n"
              "SYS_CopyString(\"\\0\");\n"
              "r=SYS_PopStringBasePositionValueNoUpdate();\n"
              "goto end;\n"
              "SYS_PushStringBasePosition();\n"
              "SYS_CopyString(\"\\0\");\n"
              "r=SYS_PopStringBasePositionValueNoUpdate();\n"
              "end:\n"
              "SYS_FreeString(v_t);\n"
              "return r;\n"
              "}\n");
    EXPECT_EQ(compile_with_clang(function_text("Echo"), ""), "");
}

TEST_F(CProcedureTest, FloatValuesAreRoundedIntoIntegerResults) {
    EXPECT_EQ(compile("Procedure I(x.d)\nProcedureReturn x / 2\nEndProcedure"), "");
    EXPECT_NE(function_text("I").find("r=SYS_BankerRound(((long double)v_x/2.0));\n"), std::string::npos);
    EXPECT_EQ(compile("Procedure.q Q(x.d)\nProcedureReturn x * 3\nEndProcedure"), "");
    EXPECT_NE(function_text("Q").find("r=SYS_BankerRoundQuad(((long double)v_x*3.0));\n"), std::string::npos);
    EXPECT_EQ(compile("Procedure.d D(x.d)\nProcedureReturn x * 3\nEndProcedure"), "");
    EXPECT_NE(function_text("D").find("r=((long double)v_x*3.0);\n"), std::string::npos);
    EXPECT_EQ(compile("Procedure.f F(x.f)\nProcedureReturn x\nEndProcedure"), "");
    EXPECT_NE(function_text("F").find("r=v_x;\n"), std::string::npos);
    EXPECT_EQ(compile_with_clang(function_text("I") + function_text("Q") + function_text("D") + function_text("F"), ""),
              "");
}

TEST_F(CProcedureTest, ProcedureReturnFreesTheOpenStringSelectorsOuterFirst) {
    EXPECT_EQ(compile("Procedure P(a$, b$)\nSelect a$\nCase \"x\"\nSelect b$\nCase \"y\"\nProcedureReturn 7\n"
                      "EndSelect\nEndSelect\nEndProcedure"),
              "");
    std::string text = function_text("P");
    EXPECT_NE(text.find("SYS_FreeString(zd_select1);\nSYS_FreeString(zd_select2);\nr=7;\n"), std::string::npos) << text;
}

TEST_F(CProcedureTest, DeclareWritesNoFunction) {
    EXPECT_EQ(compile("Declare Later(n)"), "");
    EXPECT_EQ(c_prototypes_text, "");
    EXPECT_EQ(function_text("Later"), "");
}

// ---------------------------------------------------------------------------
// Calls

TEST_F(CProcedureTest, ComplexArgumentsAreHoistedAndDefaultsFilledIn) {
    const char* procedure = "Procedure Pick(a, b = 10, c.d = 0.5)\nProcedureReturn a + b\nEndProcedure\nx = 1\n";
    std::string code = compile(std::string(procedure) + "x = Pick(x + 1)");
    EXPECT_EQ(code, "integer p0=(integer)((quad)((uquad)v_x+1));\ninteger r0=f_pick(p0,10,0.5);\nv_x=r0;\n");
    EXPECT_EQ(compile_with_clang(function_text("Pick") + globals(), code), "");
    restart();
    code = compile(std::string(procedure) + "x = Pick(x, -2, 3.0)");
    EXPECT_EQ(code, "integer r0=f_pick(v_x,-2,3.0);\nv_x=r0;\n");
}

TEST_F(CProcedureTest, NestedCallsAreStoredInnermostFirst) {
    const char* procedure = "Procedure Inc(a)\nProcedureReturn a + 1\nEndProcedure\nx = 1\n";
    std::string code = compile(std::string(procedure) + "x = Inc(Inc(x)) * Inc(2)");
    EXPECT_EQ(code,
              "integer r0=f_inc(v_x);\n"
              "integer r1=f_inc(r0);\n"
              "integer r2=f_inc(2);\n"
              "v_x=((quad)((uquad)r1*(uquad)r2));\n");
    EXPECT_EQ(compile_with_clang(function_text("Inc") + globals(), code), "");
}

TEST_F(CProcedureTest, FloatArgumentsForIntegerParametersAreRounded) {
    const char* procedure = "Procedure.d Scale(n, f.f)\nProcedureReturn n * f\nEndProcedure\nd.d = 2.5\n";
    std::string code = compile(std::string(procedure) + "d = Scale(d, d)");
    EXPECT_EQ(code,
              "integer p0=(integer)SYS_BankerRound(v_d);\n"
              "double r0=f_scale(p0,v_d);\n"
              "v_d=r0;\n");
    EXPECT_EQ(compile_with_clang(function_text("Scale") + globals(), code), "");
}

TEST_F(CProcedureTest, ResultNumbersRestartInEachProcedureAndResumeAfter) {
    std::string code = compile(
        "Procedure One()\nProcedureReturn 1\nEndProcedure\n"
        "x = One()\n"
        "Procedure Two()\nProcedureReturn One() + One()\nEndProcedure\n"
        "x = One() + Two()");
    EXPECT_EQ(code, "integer r1=f_one();\ninteger r2=f_two();\nv_x=((quad)((uquad)r1+(uquad)r2));\n");
    std::string two = function_text("Two");
    EXPECT_NE(two.find("integer r0=f_one();\ninteger r1=f_one();\nr=((quad)((uquad)r0+(uquad)r1));\n"), std::string::npos) << two;
    EXPECT_EQ(compile_with_clang(function_text("One") + two + globals(), "integer r0=f_one();\n" + code), "");
}

TEST_F(CProcedureTest, CallErrors) {
    EXPECT_EQ(compile("Procedure P(a, b = 2)\nEndProcedure\nx = P(1, 2, 3)"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
    restart();
    EXPECT_EQ(compile("Procedure P(a, b = 2)\nEndProcedure\nx = P()"), "error " + std::to_string(ERROR_INCORRECT_PARAMETER_COUNT));
    restart();
    EXPECT_EQ(compile("Procedure P(a)\nEndProcedure\nx = P(\"text\")"), "error " + std::to_string(ERROR_NUMBER_PARAMETER_EXPECTED));
    restart();
    EXPECT_EQ(compile("Procedure P(a.s)\nEndProcedure\nx = P(1)"), "error " + std::to_string(ERROR_STRING_PARAMETER_EXPECTED));
}

}  // namespace

namespace {

// The procedure's own arrays, lists, maps and strings are C locals of its
// function (each call has its own) and are released at its exit; Static
// ones are not.
TEST_F(CProcedureTest, LocalContainersAreFunctionLocalsReleasedAtTheExit) {
    EXPECT_EQ(compile("Procedure P()\nProtected s.s\nNewList l.l()\nNewMap m.s()\nDim a.w(3)\n"
                      "Static NewList kept.l()\nEndProcedure"),
              "");
    std::string text = function_text("P");
    EXPECT_NE(text.find("integer r=0;\nvoid* v_s=0;\nzd_array a_a={0};\nzd_list t_l={0};\nzd_map m_m={0};\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("end:\nSYS_FreeString(v_s);\nSYS_FreeArray(((short*)a_a.a));\nZD_FreeList(t_l.a);\n"
                        "ZD_FreeMap(m_m.a);\nreturn r;\n}\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("kept"), std::string::npos) << text;
}

}  // namespace
