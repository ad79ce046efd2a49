// The C text zdcompilerc writes for whole programs: each program is built
// with /COMMENTED (the gcc stand-in compiles the file with clang for the
// Windows target and the linker links it), and the kept "zandrel.c" must
// hold the expected lines. The programs cover labels before declarations,
// string results, Threaded items, operating-system and Import-block
// functions, structure fields, interface methods, prototypes, Runtime
// registration, DLL exports and inline C lines.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

const std::string compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompilerc";

struct Build {
    std::string output;  // the compiler's messages
    int exit_code;
    std::string c_file;  // the kept zandrel.c (with its CR-LF line ends)
    std::string def_file;
};

class CProgramTextCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zd_c_text_XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    static std::string read_file(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    Build build(const std::string& source, const std::string& switches = "/CONSOLE") {
        std::ofstream(folder + "/main.zd", std::ios::binary) << source;
        std::remove((folder + "/zandrel.c").c_str());
        std::string command = "cd '" + folder + "' && '" + compiler + "' main.zd /COMMENTED " + switches +
                              " /OUTPUT program.exe </dev/null 2>&1";
        Build result{"", -1, "", ""};
        result.output = run_shell(command, &result.exit_code);
        result.c_file = read_file(folder + "/zandrel.c");
        result.def_file = read_file(folder + "/Zandrel.def");
        return result;
    }

    std::string folder;
};

bool has_line(const std::string& file, const std::string& line) {
    return file.find("\n" + line + "\r\n") != std::string::npos;
}

// Every line of `lines` in the file, in this order.
void expect_lines_in_order(const Build& built, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = built.c_file.find("\n" + line + "\r\n", at);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << built.c_file;
        if (found == std::string::npos) return;
        at = found + line.size();
    }
}

void expect_built(const Build& built) {
    EXPECT_EQ(built.exit_code, 0) << built.output;
    EXPECT_NE(built.c_file.size(), 0u) << built.output;
}

TEST_F(CProgramTextCli, LabelLinesEndWithAnEmptyStatement) {
    // A declaration right after a label is no C statement of its own.
    Build built = build(
        "Procedure F()\n  ProcedureReturn 3\nEndProcedure\n"
        "Goto start\nstart:\nx = F()\nEnd x\n");
    expect_built(built);
    expect_lines_in_order(built, {"l_start:;", "integer r0=f_f();", "v_x=r0;"});
}

TEST_F(CProgramTextCli, StringResultsGoToTheCallersStack) {
    Build built = build(
        "Procedure.s Lit()\n  ProcedureReturn \"lit\"\nEndProcedure\n"
        "Procedure.s Same(a.s)\n  ProcedureReturn a\nEndProcedure\n"
        "Procedure.s Joined(a.s)\n  ProcedureReturn a + \"!\"\nEndProcedure\n"
        "s.s = Lit() + Same(\"x\") + Joined(\"y\")\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "r=SYS_PopStringBasePositionValueNoUpdate();")) << built.c_file;
    // A variable is copied onto the stack first, a built text is there.
    expect_lines_in_order(built, {"static void* f_same(void* v_a,int sbp) {", "SYS_PushStringBasePosition();",
                                  "SYS_CopyString(v_a);", "r=SYS_PopStringBasePositionValueNoUpdate();", "goto end;"});
    // The caller saves the position twice: once for the callee, once for
    // the reader of the result.
    expect_lines_in_order(built, {"SYS_PushStringBasePosition();", "SYS_PushStringBasePosition();",
                                  "f_lit(SYS_PopStringBasePosition());"});
}

TEST_F(CProgramTextCli, ThreadedItemsLiveInTheThreadsBlock) {
    Build built = build(
        "Threaded total.l = 7, name.s, code.s{4}, big.q\n"
        "Procedure Add(n)\n  total = total + n\n  ProcedureReturn total\nEndProcedure\n"
        "code = \"ab\"\nbig = Add(1)\nEnd big\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "integer ZD_ThreadedObjectSize=32;")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "char *tls=SYS_GetThreadedObject();")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "((int*)(tls+0))[0]=((quad)((uquad)((int*)(tls+0))[0]+(uquad)v_n));")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "SYS_AssignFixedStringFast(&((void**)(tls+16))[0],4,_S1);")) << built.c_file;
    expect_lines_in_order(built, {"M_SYSFUNCTION(void) SYS_InitThreadObjectCallback(char *tls) {",
                                  "((int*)(tls+0))[0]=7;", "M_SYSFUNCTION(void) SYS_FreeThreadObjectCallback(char *tls) {",
                                  "SYS_FreeString(((void**)(tls+8))[0]);", "tls=SYS_InitThreadedObject();"});
}

TEST_F(CProgramTextCli, OperatingSystemResultsAreFullIntegers) {
    Build built = build("h = GetModuleHandle_(0)\nEnd h >> 28\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "integer r0=f_getmodulehandle_(0);")) << built.c_file;
}

TEST_F(CProgramTextCli, StructureFieldsAreMemberChains) {
    Build built = build(
        "Structure Node\n  value.l\n  codes.w[4]\n  tag.s{3}\n  *next.Node\nEndStructure\n"
        "Define a.Node, *p.Node, i\n"
        "a\\value = 3\na\\codes[i] = a\\codes[2]\na\\tag = \"xyz\"\n"
        "If i = 9 : *p\\next\\value = 1 : EndIf\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "v_a.f_value=3;")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "v_a.f_codes[v_i]=v_a.f_codes[2];")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "SYS_AssignFixedStringFast(&v_a.f_tag,3,_S1);")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "p_p->f_next->f_value=1;")) << built.c_file;
}

TEST_F(CProgramTextCli, InterfaceMethodsGoThroughTheObjectsTable) {
    Build built = build(
        "Interface ICalc\n  Add(a, b)\n  Name.s()\nEndInterface\n"
        "Interface INone\nEndInterface\n"
        "Define obj.ICalc, *none.INone, s.s\n"
        "If obj\n  r = obj\\Add(1, 2)\n  s = obj\\Name()\nEndIf\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "integer (*m_add)(integer,integer,integer);")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "integer r0=(*v_obj)->m_add(v_obj,1,2);")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "(*v_obj)->m_name(v_obj,SYS_PopStringBasePosition());")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "typedef struct i_inone i_inone;")) << built.c_file;
}

TEST_F(CProgramTextCli, ImportBlocksAndPrototypesAreDeclared) {
    Build built = build(
        "Import \"KERNEL32.lib\"\n  MyPid.l() As \"GetCurrentProcessId\"\n  GetTickCount()\nEndImport\n"
        "Import \"SystemBase.lib\"\n  base.i As \"ZD_StringBase\"\nEndImport\n"
        "Prototype.i CallBack(a.i, b.l)\n"
        "Structure Handlers\n  cb.CallBack\nEndStructure\n"
        "Define h.Handlers\ns.s = \"x\"\nx = MyPid() + base\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "int f_mypid() asm(\"GetCurrentProcessId\");")) << built.c_file;
    EXPECT_FALSE(has_line(built.c_file, "integer f_gettickcount() asm(\"GetTickCount\");")) << "unused, undeclared";
    EXPECT_TRUE(has_line(built.c_file, "extern integer v_base asm(\"ZD_StringBase\");")) << built.c_file;
    expect_lines_in_order(built, {"typedef integer (*pf_callback)(integer v_a,int v_b);", "integer f_cb;"});
}

TEST_F(CProgramTextCli, PrototypeVariablesAreCalledThroughTheirType) {
    Build built = build(
        "Prototype.l Adder(a.l, b.l)\nPrototype Walker(List l.l(), Array a.q(2), Map m.s())\n"
        "Procedure.l Use(fn.Adder, k)\n  ProcedureReturn fn(k, 1)\nEndProcedure\n"
        "Procedure Walk(List l.l(), Array a.q(2))\nEndProcedure\n"
        "Define f.Adder\nNewList q.l()\nDim d.q(1, 1)\nIf x\n  x = f(2, 3) + Use(f, 2)\n  Walk(q(), d())\nEndIf\n");
    expect_built(built);
    EXPECT_TRUE(has_line(built.c_file, "typedef int (*pf_adder)(int v_a,int v_b);")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "typedef integer (*pf_walker)(zd_list *t_l,zd_array2 *a_a,zd_map *m_m);"))
        << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "int r0=((pf_adder)v_fn)(v_k,1);")) << built.c_file;
    EXPECT_TRUE(has_line(built.c_file, "int r0=((pf_adder)v_f)(2,3);")) << built.c_file;
    // Containers go by address, as they stand.
    EXPECT_TRUE(has_line(built.c_file, "static integer f_walk(zd_list *t_l,zd_array2 *a_a);")) << built.c_file;
    EXPECT_NE(built.c_file.find("f_walk(&t_q,&a_d)"), std::string::npos) << built.c_file;
}

TEST_F(CProgramTextCli, RuntimeItemsAreRegisteredAtStartUp) {
    Build built = build(
        "#Size = 12\nDefine count.l = 30\nRuntime #Size, count\n"
        "Runtime Procedure Twice(v)\n  ProcedureReturn v * 2\nEndProcedure\nEnd Twice(count)\n");
    expect_built(built);
    bool procedure = false, constant = false, variable = false;
    std::istringstream lines(built.c_file);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("ZD_Runtime_AddInteger(_S", 0) == 0 && line.find(",&f_twice);") != std::string::npos) procedure = true;
        if (line.rfind("ZD_Runtime_AddInteger(_S", 0) == 0 && line.find(",12);") != std::string::npos) constant = true;
        if (line.rfind("ZD_Runtime_AddVariable(_S", 0) == 0 && line.find(",&v_count,5);") != std::string::npos) variable = true;
    }
    EXPECT_TRUE(procedure && constant && variable) << built.c_file;
    // Registered by the start-up code: the function is not static.
    EXPECT_TRUE(has_line(built.c_file, "integer f_twice(integer v_v);")) << built.c_file;
}

TEST_F(CProgramTextCli, DllExportsTheProcedureDllsOnly) {
    Build built = build(
        "ProcedureDLL AddNumbers(a, b)\n  ProcedureReturn a + b\nEndProcedure\n"
        "Procedure Inner(a)\n  ProcedureReturn a\nEndProcedure\n",
        "/DLL");
    EXPECT_EQ(built.exit_code, 0) << built.output;
    EXPECT_EQ(built.def_file, "EXPORTS\n    \"AddNumbers\"=f_addnumbers\n");
    EXPECT_TRUE(has_line(built.c_file, "integer f_addnumbers(integer v_a,integer v_b);")) << built.c_file;
}

TEST_F(CProgramTextCli, InlineCLinesStayWhole) {
    Build built = build("x = 1\n! v_x = v_x + 4; v_x = v_x * 2; // a ; comment\n! v_x = v_x +\n! 1;\nEnd x\n");
    expect_built(built);
    expect_lines_in_order(built, {" v_x = v_x + 4; v_x = v_x * 2; // a ; comment", " v_x = v_x +", " 1;"});
}

TEST_F(CProgramTextCli, StaticFloatsKeepTheirValues) {
    Build built = build(
        "Procedure Count()\n  Static f.f = 1.5, d.d = 0.25\n  f = f + d\n  ProcedureReturn f\nEndProcedure\n"
        "End Count()\n");
    expect_built(built);
    EXPECT_NE(built.c_file.find("so_countXf=1.5;"), std::string::npos) << built.c_file;
    EXPECT_NE(built.c_file.find("so_countXd=0.25;"), std::string::npos) << built.c_file;
}

TEST_F(CProgramTextCli, StructuresWithContainersAreSetUp) {
    // The list field is created by the start-up code from the descriptor.
    Build built = build("Structure Holder\n  List li.l()\n  name.s\nEndStructure\nDefine h.Holder\n");
    EXPECT_NE(built.c_file.size(), 0u) << built.output;
    expect_lines_in_order(built, {"M_SYSFUNCTION(void) SYS_InitDynamicStructure(void *Address, integer *StructureMap);",
                                  "static integer ms_holder[]={", "SYS_InitDynamicStructure(&v_h,ms_holder);"});
}

}  // namespace
