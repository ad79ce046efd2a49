// Source texts that once crashed or hung the compiler: deep nesting, empty
// right sides of comparisons during the float look-ahead, constant indexes
// and sizes out of range. Each must end with a plain compile error.
#include <string>

#include "preprocess_test_support.h"

namespace {

using HostileSourceTest = PreprocessTest;

std::string repeated(const char* piece, int count)
{
    std::string text;
    for (int i = 0; i < count; i++) text += piece;
    return text;
}

TEST_F(HostileSourceTest, DeepNestingIsAnErrorNotAStackOverflow)
{
    const std::string too_deep = "Too deeply nested expression. Please split it.";
    EXPECT_EQ(compile("x = " + repeated("(", 250) + "1" + repeated(")", 250)), 0) << printed;
    EXPECT_EQ(compile("x = " + repeated("-", 250) + "1"), 0) << printed;

    for (const std::string& text : {"x = " + repeated("(", 60000) + "1" + repeated(")", 60000),
                                    "x = " + repeated("-", 20000) + "1",
                                    "x = " + repeated("~", 20000) + "1",
                                    "x = 1 + " + repeated("Bool(", 5000) + "1" + repeated(")", 5000),
                                    "If " + repeated("(", 5000) + "a < 1" + repeated(")", 5000) + "\nEndIf",
                                    "CompilerIf 0\nCompilerIf " + repeated("(", 5000) + "1\nCompilerEndIf\n"
                                    "CompilerEndIf"}) {
        EXPECT_EQ(compile(text), ERROR_SYNTAX) << text.substr(0, 40);
        EXPECT_NE(printed.find(too_deep), std::string::npos) << printed;
    }
}

TEST_F(HostileSourceTest, AnEmptyRightSideOfAComparisonEndsTheLookAhead)
{
    for (const char* text : {"x = Bool(1 = !)", "a = 1\nIf a < !\nEndIf", "i = 0\nRepeat\n i + 1\nUntil i >= + 5",
                             "i = 0\nWhile i <= !0\nWend", "x.d = Bool(1.5 > !)", "x = Bool(1 <> * 2)"}) {
        EXPECT_EQ(compile(text), ERROR_SYNTAX) << text;
    }
    // In a region that is not compiled the expression's error stays silent.
    EXPECT_EQ(compile("CompilerIf 0\nCompilerIf 1 < !\nCompilerEndIf\nCompilerEndIf"), 0) << printed;
}

}  // namespace
