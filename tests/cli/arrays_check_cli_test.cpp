// Syntax checks (/CHECK) of programs with arrays: a clean program passes,
// and the declaration and access errors are reported with their lines.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

using ArraysCheckCli = CompilerFolderTest;

TEST_F(ArraysCheckCli, ProgramWithArraysPasses) {
    int code = 0;
    std::string out = check(
        "Dim a.l(10) : Dim m.d(2, 3) : Dim *p(4)\n"
        "i = 3\n"
        "a(i) = a(i - 1) + m(1, 2) * 2\n"
        "ReDim a(20) : ReDim m(2, 7)\n"
        "x = a(a(0)) + *p(1)\n",
        &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("Syntax check finished without error"), std::string::npos) << out;
}

TEST_F(ArraysCheckCli, ErrorsNameTheLineAndTheArray) {
    int code = 0;
    std::string out = check("Dim a(3)\nDim a(-1)\n", &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("Error: Line 2 - Negative values are not allowed."), std::string::npos) << out;
    out = check("Dim m(2, 3)\nx = m(1)\n", &code);
    EXPECT_NE(out.find("Line 2 - The array dimensions value needs to be between 1 and 255 for 'm()'."),
              std::string::npos)
        << out;
    out = check("ReDim z(3)\n", &code);
    EXPECT_NE(out.find("Line 1 - 'ReDim' can't be used on a non-declared array: z()."), std::string::npos) << out;
    out = check("Dim w.w(3)\nx = w.l(0)\n", &code);
    EXPECT_NE(out.find("Line 2 - Array type is different than earlier."), std::string::npos) << out;
    out = check("Dim a\n", &code);
    EXPECT_NE(out.find("Line 1 - 'Dim' syntax is: Dim Name(nb)."), std::string::npos) << out;
}

}  // namespace
