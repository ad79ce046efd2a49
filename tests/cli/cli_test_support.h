// Shared by the command-line tests: a shell command run to its end, with
// what it printed and how it ended, and the fixture that runs a laid-out
// compiler on a source written to a fresh folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// Runs `command` through the shell; returns what it wrote to its standard
// output and sets `*exit_code` to its exit status (-1 when it did not exit,
// or could not be started).
inline std::string run_shell(const std::string& command, int* exit_code)
{
    std::string output;
    *exit_code = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    if (WIFEXITED(status)) *exit_code = WEXITSTATUS(status);
    return output;
}

// `text` as one word for the shell.
inline std::string shell_quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

inline bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The laid-out compiler called `name` ("zdcompiler" or "zdcompilerc").
inline std::string laid_out_compiler(const std::string& name) { return std::string(ZANDREL_HOME) + "/Compilers/" + name; }

// What a compiler printed (standard output and error together) and its
// exit code.
struct CompilerRun {
    std::string output;
    int exit_code;
};

// A fresh folder for each test, removed with all it holds after it, in which
// a laid-out compiler runs on "main.zd" with relative names. `Base` is
// ::testing::Test, or ::testing::TestWithParam<...> for a parameterised test.
template <typename Base>
class CompilerFolderFixture : public Base {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zd_cli_XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        folder = made;
    }
    void TearDown() override
    {
        if (!folder.empty()) std::system(("rm -rf " + shell_quoted(folder)).c_str());
    }

    std::string path(const std::string& name) const { return folder + "/" + name; }

    void write(const std::string& name, const std::string& text)
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }

    // Writes `source` as main.zd and runs "<compiler> <switches> main.zd" in
    // the folder, with no input; a compiler that hangs is ended.
    CompilerRun compile_source(const std::string& source, const std::string& switches, const std::string& compiler)
    {
        write("main.zd", source);
        std::string command = "cd " + shell_quoted(folder) + " && timeout 60 " + shell_quoted(laid_out_compiler(compiler)) +
                              " " + switches + " main.zd </dev/null 2>&1";
        CompilerRun result{"", -1};
        result.output = run_shell(command, &result.exit_code);
        return result;
    }

    // The syntax check (/CHECK) of `source` by `compiler_name`.
    CompilerRun check(const std::string& source) { return compile_source(source, "/CHECK", compiler_name); }
    std::string check(const std::string& source, int* exit_code)
    {
        CompilerRun run = check(source);
        *exit_code = run.exit_code;
        return run.output;
    }

    std::string folder;
    std::string compiler_name = "zdcompiler";
};

using CompilerFolderTest = CompilerFolderFixture<::testing::Test>;
