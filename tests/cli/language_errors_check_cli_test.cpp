// Syntax checks (/CHECK) through both compilers of the errors of names,
// numbers, library command calls and statements that are easy to get
// wrong: each program is refused with its message, or passes.
#include <gtest/gtest.h>

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

class LanguageErrorsCheckCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zd_errors_XXXXXX";
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

TEST_F(LanguageErrorsCheckCli, StructureAndInterfaceNames) {
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

TEST_F(LanguageErrorsCheckCli, NumbersAndSwap) {
    const Case cases[] = {
        {"x.d = 1.2.3\n", "Line 1 - Not a valid float number."},
        {"x.d = 1.25 + 2.5\n", ""},
        {"a = 1\nb = 2\nSwap a b\n", "Line 3 - Syntax error."},
        {"a = 1\nb = 2\nSwap a, b\n", ""},
    };
    expect_all(cases, sizeof cases / sizeof cases[0]);
}

TEST_F(LanguageErrorsCheckCli, LibraryCommandCalls) {
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

}  // namespace
