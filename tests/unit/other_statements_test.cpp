// Runtime: constants, variables and procedures marked for run-time lookup,
// enumerations handed on whole, and the errors of undeclared, structured and
// fixed-string items.
#include <string>

#include "frontend/other_statements.h"
#include "frontend/variables.h"
#include "preprocess_test_support.h"

namespace {

using RuntimeStatementTest = PreprocessTest;

TEST_F(RuntimeStatementTest, MarksConstantsAndVariables)
{
    ASSERT_EQ(compile("#Speed = 5\n#Other = 1\nDefine count.l, *where\nRuntime #Speed, count, *where\n"), 0)
        << printed;
    EXPECT_TRUE(find_constant("Speed")->flags & constant_flag_runtime);
    EXPECT_FALSE(find_constant("Other")->flags & constant_flag_runtime);
    VariableRecord* count = find_variable_scoped("count", false);
    ASSERT_NE(count, nullptr);
    EXPECT_TRUE(count->flags & VAR_RUNTIME);
    VariableRecord* where = find_variable_scoped("where", true);
    ASSERT_NE(where, nullptr);
    EXPECT_TRUE(where->flags & VAR_RUNTIME);
}

TEST_F(RuntimeStatementTest, EnumerationConstantsAreMarked)
{
    ASSERT_EQ(compile("Runtime Enumeration 3\n#A\n#B\nEndEnumeration\nEnumeration\n#C\nEndEnumeration\n"), 0)
        << printed;
    EXPECT_TRUE(find_constant("A")->flags & constant_flag_runtime);
    EXPECT_TRUE(find_constant("B")->flags & constant_flag_runtime);
    EXPECT_EQ(integer_constant("B"), 4);
    EXPECT_FALSE(find_constant("C")->flags & constant_flag_runtime);
    EXPECT_EQ(runtime_statement_flag, 0);
}

TEST_F(RuntimeStatementTest, Errors)
{
    EXPECT_EQ(compile("Runtime\n"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Runtime #Missing\n"), ERROR_RUNTIME_ITEM_NOT_DECLARED);
    EXPECT_NE(printed.find("Item must be declared before it can be defined as 'Runtime': #Missing."),
              std::string::npos)
        << printed;
    EXPECT_EQ(compile("Runtime missing\n"), ERROR_RUNTIME_ITEM_NOT_DECLARED);
    EXPECT_EQ(compile("Runtime nothing()\n"), ERROR_RUNTIME_ITEM_NOT_DECLARED);
    EXPECT_EQ(compile("#A = 1\n#B = 2\nRuntime #A #B\n"), ERROR_SYNTAX);
    EXPECT_EQ(compile("Structure P\nx.l\nEndStructure\nDefine pt.P\nRuntime pt\n"), ERROR_RUNTIME_STRUCTURED_VARIABLE);
    EXPECT_EQ(compile("Structure P\nx.l\nEndStructure\nDefine *pp.P\nRuntime *pp\n"), 0) << printed;
    EXPECT_EQ(compile("Define fixed.s{4}\nRuntime fixed\n"), ERROR_RUNTIME_FIXED_STRING);
}

}  // namespace
