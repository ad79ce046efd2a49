// Syntax checks (/CHECK) of programs made of declarations and assignments.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

using AssignmentCheckCli = CompilerFolderTest;

TEST_F(AssignmentCheckCli, ProgramOfAssignmentsPasses) {
    CompilerRun r = check(
        "Define.l n = 5, m\n"
        "Global g.w = -3\n"
        "#K = 3 * 4\n"
        "a.q = (b * 3 + c) / 2\n"
        "f.d = x * 1.5 : e.f = f - 0.25\n"
        "k = #K * n % 7 << 2\n"
        "m = ~n ! $FF | %1010 & g\n"
        "Threaded t.b = 1\n"
        "t = t + 'A'\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(ends_with(r.output, "Syntax check finished without error (10 lines).\n")) << r.output;
    EXPECT_FALSE(std::ifstream(folder + "/zandrel.asm").good());
}

TEST_F(AssignmentCheckCli, ErrorsNameTheirLine) {
    CompilerRun r = check("a = 1\nb = a = 2\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 2 - Comparisons (=, <, >, =< and >=) are only supported with "
                                    "keywords like If, While, Until or within Bool().\n"))
        << r.output;
    r = check("a = 1\na.d = 2\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 2 - Variable already declared with another type: a.\n")) << r.output;
    r = check("EnableExplicit\nDefine a\na = b\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 3 - With 'EnableExplicit', variables have to be declared: b.\n"))
        << r.output;
    r = check("x = 10 / (5 - 5)\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 1 - Division by 0 forbidden.\n")) << r.output;
}

}  // namespace
