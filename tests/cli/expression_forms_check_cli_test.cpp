// Syntax checks (/CHECK) of expression and statement forms through both
// compilers: each program is refused with the error message of its form,
// or passes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string compilers[2] = {std::string(ZANDREL_HOME) + "/Compilers/zdcompiler",
                                  std::string(ZANDREL_HOME) + "/Compilers/zdcompilerc"};

struct Case {
    const char* source;
    const char* message;  // "" when the check must pass
};

class ExpressionFormsCheckCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zd_forms_XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    std::string check(const std::string& compiler, const std::string& source) {
        std::ofstream(folder + "/main.zd", std::ios::binary) << source;
        std::string command = "cd '" + folder + "' && '" + compiler + "' /CHECK main.zd </dev/null 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
        return output;
    }

    void expect_all(const Case* cases, size_t count) {
        for (const std::string& compiler : compilers) {
            for (size_t i = 0; i < count; i++) {
                std::string output = check(compiler, cases[i].source);
                std::string wanted = cases[i].message[0] ? cases[i].message : "Syntax check finished without error";
                EXPECT_NE(output.find(wanted), std::string::npos) << compiler << "\n" << cases[i].source << "\n" << output;
            }
        }
    }

    std::string folder;
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

}  // namespace
