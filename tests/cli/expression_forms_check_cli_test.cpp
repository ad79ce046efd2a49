// Syntax checks (/CHECK) of expression and statement forms through both
// compilers (also names, numbers, library command calls and declarations):
// each program is refused with the error message of its form, or passes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

const char* const compilers[2] = {"zdcompiler", "zdcompilerc"};

struct Case {
    const char* source;
    const char* message;  // "" when the check must pass
};

class ExpressionFormsCheckCli : public CompilerFolderTest {
protected:
    void expect_all(const Case* cases, size_t count) {
        for (const char* compiler : compilers) {
            for (size_t i = 0; i < count; i++) {
                std::string output = compile_source(cases[i].source, "/CHECK", compiler).output;
                std::string wanted = cases[i].message[0] ? cases[i].message : "Syntax check finished without error";
                EXPECT_NE(output.find(wanted), std::string::npos) << compiler << "\n" << cases[i].source << "\n" << output;
            }
        }
    }
};

TEST_F(ExpressionFormsCheckCli, Addresses) {
    const Case cases[] = {
        {"p = @5\n", "Line 1 - Can't get the address of a literal numeric value."},
        {"#C = @x\n", "Line 1 - Can't use dynamic address in a constant."},
        {"p = @Zz()\n", "Line 1 - Zz() is not declared."},
        {"p = @#Nope\n", "Line 1 - Constant not found: #Nope."},
        {"Procedure P()\nEndProcedure\nDataSection\nData.l @P()\nEndDataSection\n",
         "Line 4 - Integer type too small to store a pointer."},
        {"a$ = ~\"a\\q\"\n", "Line 1 - Invalid escape sequence in literal string: \\q"},
        {"Procedure P()\nEndProcedure\nDim a(2)\n#S$ = \"t\"\np = @P() + @a(1) + @a() + @\"x\" + @#S$ + ?l\nl:\n"
         "DataSection\nData.i @P(), @\"y\"\nEndDataSection\n",
         ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, ConditionsAndStrings) {
    const Case cases[] = {
        {"If 1 And \"x\"\nEndIf\n", "Line 1 - Use of a literal string as an expression is not allowed."},
        {"x = Bool(\"a\")\n", "Line 1 - Use of a literal string as an expression is not allowed."},
        {"a$ = \"x\"\nIf Not a$\nEndIf\n", "Line 2 - 'Not' operand can not be used with strings."},
        {"Structure P\nx.l\nEndStructure\nDefine v.P\na$ = \"x\" + v\n",
         "Line 5 - A structure can't be automatically converted to string."},
        // Nor is its address; a field's address, a pointer's and Str() of the address are numbers.
        {"Structure P\nx.l\nEndStructure\nDefine v.P, *p.P\nDim a.P(1)\n"
         "a$ = \"x\" + @v\\x + Str(@v) + @a(1)\\x + *p + @*p\nb$ = \"x\" + @a(1)\n",
         "Line 7 - A structure can't be automatically converted to string."},
        {"a$ = \"x\"\nSelect a$\nCase 1\nEndSelect\n", "Line 3 - 'Case' expects a string, not a numerical value."},
        {"a$ = \"x\"\nIf a$ And a$ + \"y\"\nEndIf\nx = Bool(a$) + Bool(a > 1)\nSelect a$ + \"!\"\nCase \"x!\", a$\n"
         "EndSelect\n",
         ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, With) {
    const Case cases[] = {
        {"Structure P\nx.l\nEndStructure\nDefine p.P\nWith p\nWith p\n", "Line 6 - 'With' can not be nested."},
        {"Structure P\nx.l\nEndStructure\nDefine p.P\nWith p : \\x = 1\n",
         "Line 5 - The multi-line character ':' can't be used after 'With'."},
        {"EndWith\n", "Line 1 - 'EndWith' without 'With'."},
        {"Structure P\nx.l\nEndStructure\nDefine p.P\nWith p\n\\x = 1\n", "'EndWith' is missing."},
        {"Structure P\nx.l\nEndStructure\nDefine p.P\nWith p\n\\x = 1 : \\x + 2\nEndWith\n", ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, StructureAndInterfaceNames) {
    const Case cases[] = {
        {"Structure 1A\nx.l\nEndStructure\n", "Line 1 - A structure name needs to start with a character (a-z or _)."},
        {"Structure\nEndStructure\n", "Line 1 - A structure name needs to start with a character (a-z or _)."},
        {"Interface 5A\nEndInterface\n", "Line 1 - An Interface name needs to start with a character (a-z or _)."},
        {"Interface IfA Extends IfA\nEndInterface\n", "Line 1 - An interface can't be extended with the same interface."},
        {"Structure SA Extends SA\nEndStructure\n", "Line 1 - A structure can't be extended with the same structure."},
        {"Structure _S1\nx.l\nEndStructure\nInterface _I1\nF()\nEndInterface\n", ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, NumbersAndSwap) {
    const Case cases[] = {
        {"x.d = 1.2.3\n", "Line 1 - Not a valid float number."},
        {"x.d = 1.25 + 2.5\n", ""},
        {"a = 1\nb = 2\nSwap a b\n", "Line 3 - Syntax error."},
        {"a = 1\nb = 2\nSwap a, b\n", ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, LibraryCommandCalls) {
    const Case cases[] = {
        {"x = OpenConsole\n", "Line 1 - '(' is missing after the function call."},
        {"x = 2 * SizeOf\n", "Line 1 - '(' is missing after the function call."},
        {"a$ = Chr($D800)\n", "Line 1 - Invalid value for Chr(), should be between 0 and $D7FF or between $E000 and $FFFF."},
        {"a$ = \"x\" + Chr(65536)\n", "Line 1 - Invalid value for Chr(), should be between 0 and $D7FF or between $E000 and $FFFF."},
        {"a$ = Chr(65, 66)\n", "Line 1 - Chr(): Incorrect number of parameters."},
        {"#L = 66\nx = 65\na$ = Chr($E000) + Chr(x) + Chr(#L)\n", ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(ExpressionFormsCheckCli, NamesWithDollarAreStrings) {
    const Case cases[] = {
        {"Procedure.i T(a$)\nEndProcedure\nT(\"x\")\n", ""},
        {"Procedure.i T(a$)\nEndProcedure\nT(1)\n", "Line 3 - Bad parameter type: a string is expected."},
        {"Dim s$(3)\ns$(1) = \"ab\"\n", ""},
        {"Dim s$(3)\ns$(1) = 2\n", "Line 2 - Can't write a numerical value into a string variable."},
        {"Global$ g = \"x\", h\nh = \"y\"\n", ""},
        {"Define$ d = 1\n", "Line 1 - Can't write a numerical value into a string variable."},
        {"Define$\n", "Line 1 - Syntax error."},
        {"Procedure$ S(x)\nProcedureReturn \"ab\"\nEndProcedure\na$ = S(1)\n", ""},
        {"Procedure$ S(x)\nProcedureReturn 1\nEndProcedure\n", "Line 2 - "},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

}  // namespace
