// Syntax checks (/CHECK) by the laid-out zdcompiler of enumerations,
// compile-time functions, Swap, Debug, Runtime, DataSection data, Read,
// Restore and structure fields.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

using MiscStatementsCli = CompilerFolderTest;

TEST_F(MiscStatementsCli, EnumerationsPassAndReportTheirErrors)
{
    CompilerRun r = check("Enumeration Colors 1 Step 2\n  #Red\n  #Green\nEndEnumeration\n"
                       "EnumerationBinary\n  #A : #B\nEndEnumeration\n"
                       "CompilerIf #Green + #B <> 5\n  CompilerError \"wrong\"\nCompilerEndIf\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(ends_with(r.output, "Syntax check finished without error (11 lines).\n")) << r.output;

    r = check("EnumerationBinary 1 Step 2\nEndEnumeration\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 1 - 'Step' is not supported for 'EnumerationBinary'.\n"))
        << r.output;

    r = check("Enumeration\n  #A\n  x = 1\nEndEnumeration\n");
    EXPECT_TRUE(ends_with(r.output, "Error: Line 3 - Only constants are allowed in an Enumeration.\n")) << r.output;
}

}  // namespace
