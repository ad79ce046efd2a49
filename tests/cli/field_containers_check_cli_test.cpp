// Syntax checks (/CHECK) of programs that reach the array, list and map
// fields of structures: a clean program passes, and the errors of the
// element access name the field as the source writes it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

const std::string bag =
    "Structure Bag\nn.l\nArray a.l(4)\nArray g.l(2, 3)\nList l.i()\nMap m.i()\nEndStructure\nDefine b.Bag\n";

class FieldContainersCheckCli : public CompilerFolderTest {
protected:
    // The compiler's output for the structure followed by `source`.
    std::string check(const std::string& source, int* exit_code)
    {
        return CompilerFolderTest::check(bag + source, exit_code);
    }
};

TEST_F(FieldContainersCheckCli, ProgramWithContainerFieldsPasses) {
    int code = 0;
    std::string out = check(
        "Dim b\\a(10) : b\\a(b\\a(1)) = b\\g(1, 2)\n"
        "AddElement(b\\l()) : b\\l() = b\\m(\"k\")\n"
        "ForEach b\\m()\nx + b\\m()\nNext b\\m()\n",
        &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("Syntax check finished without error"), std::string::npos) << out;
}

TEST_F(FieldContainersCheckCli, ErrorsNameTheFieldWithoutItsStructure) {
    int code = 0;
    std::string out = check("x = b\\a\n", &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("Error: Line 9 - Missing '(' after array 'a'."), std::string::npos) << out;
    out = check("x = b\\l\n", &code);
    EXPECT_NE(out.find("Error: Line 9 - Missing '(' after list 'l'."), std::string::npos) << out;
    out = check("x = b\\m\n", &code);
    EXPECT_NE(out.find("Error: Line 9 - Missing '(' after map 'm'."), std::string::npos) << out;
    out = check("x = b\\g(1)\n", &code);
    EXPECT_NE(out.find("Line 9 - The array dimensions value needs to be between 1 and 255 for 'g()'."),
              std::string::npos)
        << out;
    out = check("x = b\\l(1)\n", &code);
    EXPECT_NE(out.find("Line 9 - '()' is expected after a list."), std::string::npos) << out;
    // A field of the other kind, or of another element type, is refused.
    out = check("AddElement(b\\m())\n", &code);
    EXPECT_NE(out.find("Line 9 - Bad parameter type: a list is expected."), std::string::npos) << out;
    out = check("Procedure P(List x.s())\nEndProcedure\nP(b\\l())\n", &code);
    EXPECT_NE(out.find("Line 11 - The list doesn't match with the procedure parameter."), std::string::npos) << out;
}

}  // namespace
