// Inputs that once crashed, hung or overflowed a compiler, checked with
// both laid-out compilers: each ends in time with its compile error.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

class HostileSourceCli : public CompilerFolderFixture<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override
    {
        CompilerFolderFixture::SetUp();
        compiler_name = GetParam();
    }

    void expect_error(const std::string& source, const std::string& message)
    {
        int code = 0;
        std::string out = check(source, &code);
        EXPECT_EQ(code, 1) << source.substr(0, 60) << "\n" << out;
        EXPECT_NE(out.find(message), std::string::npos) << source.substr(0, 60) << "\n" << out;
    }
};

TEST_P(HostileSourceCli, NestingAndEmptyOperandsEndWithAnError)
{
    expect_error("x = " + std::string(60000, '(') + "1" + std::string(60000, ')') + "\n",
                 "Line 1 - Too deeply nested expression. Please split it.");
    expect_error("x = " + std::string(20000, '-') + "1\n", "Too deeply nested expression.");
    expect_error("x = Bool(1 = !)\n", "Line 1 - Syntax error.");
    expect_error("a = 1\nIf a < !\nEndIf\n", "Line 2 - Syntax error.");
    expect_error("i = 0\nRepeat\n i + 1\nUntil i >= + 5\n", "Line 4 - Syntax error.");
    std::string levels;
    for (int i = 0; i < 70; i++) levels += "CompilerIf 1\n";
    expect_error("CompilerIf 0\n" + levels, "Too deeply nested CompilerIf");
    // A refused operator in the skipped region's CompilerSelect, while
    // errors are not reported there.
    expect_error("CompilerIf 0\nCompilerSelect \"a\"!\"", "'CompilerIf' without 'CompilerEndIf'.");
    expect_error("CompilerIf 0\nCompilerIf\"\"+(", "'CompilerIf' without 'CompilerEndIf'.");
    // Argument lists left open at the end of the source, inside a condition
    // that is first read with its errors suppressed.
    expect_error("Procedure Depth(n)\nIf n>0*Depth(", "Line 2 - Depth(): Incorrect number of parameters.");
    expect_error("Procedure.i n()\nIf s>0+Chr(9", "Line 2 - ");
}

// Each call inside another's arguments is read again for every call around
// it: 200 levels (a library command and a procedure in turn: 100 of each)
// took longer than any test allows while those readings doubled with each
// level.
TEST_P(HostileSourceCli, CallsNested200DeepCompileInTime)
{
    auto nested = [](const std::string& open, const std::string& inner, const std::string& close, int levels = 200) {
        std::string text;
        for (int i = 0; i < levels; i++) text += open;
        text += inner;
        for (int i = 0; i < levels; i++) text += close;
        return text;
    };
    const std::string sources[] = {
        "Procedure f(a, b)\n ProcedureReturn a + b\nEndProcedure\nx = " + nested("f(Bool(x > 0), ", "1", ")") + "\n",
        "Procedure.s g(x.s)\n ProcedureReturn x + \"a\"\nEndProcedure\nx.s = " + nested("g(", "\"b\"", ")") + "\n",
        "Procedure h(x.s)\n ProcedureReturn 1\nEndProcedure\nx.s = " + nested("Str(1 + h(", "\"b\"", "))", 100) + "\n",
        "Interface ICalc\n Add(a, b)\nEndInterface\nDefine o.ICalc\nx = " + nested("o\\Add(", "1", ", 2)") + "\n",
    };
    for (const std::string& source : sources) {
        int code = 0;
        std::string out = check(source, &code);
        EXPECT_EQ(code, 0) << source.substr(0, 80) << "\n" << out;
    }
}

TEST_P(HostileSourceCli, ConstantIndexesAndSizesAreRangeChecked)
{
    const std::string structure = "Structure Cells\n a.q[4]\n tail.l[0]\nEndStructure\nDefine v.Cells\n";
    for (const char* index : {"5", "4", "-1", "4611686018427387904"}) {
        expect_error(structure + "x = v\\a[" + index + "]\n",
                     std::string("Line 6 - Structure array index out of bounds: a[") + index + "] (4 elements).");
    }
    expect_error(structure + "x = v\\tail[4611686018427387904]\n", "Line 6 - Numerical overflow: too big number.");
    expect_error("Dim a(9223372036854775807)\n", "Line 1 - Numerical overflow: too big number.");
    expect_error("Dim a.q(2, 2305843009213693951)\n", "Line 1 - Numerical overflow: too big number.");

    int code = 0;
    std::string out = check(structure + "x = v\\a[0] + v\\a[3] + v\\tail[100]\nDim b.q(1000000000)\n", &code);
    EXPECT_EQ(code, 0) << out;
}

INSTANTIATE_TEST_SUITE_P(BothCompilers, HostileSourceCli, ::testing::Values("zdcompiler", "zdcompilerc"));

}  // namespace
