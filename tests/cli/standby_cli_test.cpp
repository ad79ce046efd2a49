// Scripted standby sessions with the laid-out zdcompiler: the script goes to
// standard input, and the whole standard output and the exit code are
// compared line by line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

const std::string compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompiler";
const std::string starting = "STARTING\t6.10\tZandrel 6.10 LTS (Windows - x64)\nREADY\n";
const std::string complete = "OUTPUT\tCOMPLETE\n";

class StandbyCli : public CompilerFolderTest {
protected:
    // Runs one session: `script` is the whole standard input.
    CompilerRun run(const std::string& script, const std::string& extra_switches = "",
                const std::string& program = compiler)
    {
        write("script.txt", script);
        std::string command = "cd " + shell_quoted(folder) + " && timeout 20 " + shell_quoted(program) +
                              " /STANDBY " + extra_switches + " <script.txt 2>/dev/null";
        CompilerRun session{"", -1};
        session.output = run_shell(command, &session.exit_code);
        return session;
    }

    // An installation around a copy of the compiler in the test's folder,
    // with empty library folders; path("Compilers/zdcompiler") runs it.
    void make_private_installation(bool with_residents)
    {
        std::string folders = shell_quoted(path("Compilers")) + " " + shell_quoted(path("ZandLibraries"));
        if (with_residents) folders += " " + shell_quoted(path("Residents"));
        std::system(("mkdir -p " + folders + " && cp " + shell_quoted(compiler) + " " + shell_quoted(path("Compilers"))).c_str());
    }

    // "SOURCE\t<folder>/<name>\n" followed by a COMPILE line with the words.
    std::string compile(const std::string& name, const std::string& words = "\tCHECKSYNTAX")
    {
        return "SOURCE\t" + path(name) + "\nCOMPILE" + words + "\n";
    }
};

// The output without its "PROGRESS\tLINES\t" lines.
std::string without_line_progress(const std::string& output)
{
    std::string kept;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end + 1;
        if (output.compare(start, 15, "PROGRESS\tLINES\t") != 0) kept += output.substr(start, end - start);
        start = end;
    }
    return kept;
}

std::string error_block(int line, const std::string& message, const std::string& include = "")
{
    return "ERROR\tSYNTAX\t" + std::to_string(line) + "\nMESSAGE\t" + message + "\n" + include + complete;
}

TEST_F(StandbyCli, EndAndEndOfInputFinishTheRun)
{
    CompilerRun s = run("END\n");
    EXPECT_EQ(starting, s.output);
    EXPECT_EQ(0, s.exit_code);

    // Words are compared exactly: these are ignored, and the end of the input ends the run.
    s = run("ENDX\nend\nBOGUS\tx\n\n");
    EXPECT_EQ(starting, s.output);
    EXPECT_EQ(0, s.exit_code);

    // A CR before the LF belongs to the line end; nothing after END runs.
    s = run("END\r\nFUNCTIONLIST\n");
    EXPECT_EQ(starting, s.output);
    EXPECT_EQ(0, s.exit_code);
}

TEST_F(StandbyCli, MissingSubsystemEndsBeforeReady)
{
    CompilerRun s = run("END\n", "/SUBSYSTEM nothere");
    EXPECT_EQ("STARTING\t6.10\tZandrel 6.10 LTS (Windows - x64)\nERROR\tSUBSYSTEM\tnothere\n", s.output);
    EXPECT_EQ(1, s.exit_code);
}

TEST_F(StandbyCli, StartupErrorIsOneLineWithoutLineFeed)
{
    // A private installation around a copy of the compiler, with a broken
    // library file; pipes among the residents and libraries are no files
    // to read (opening one would wait for a writer).
    make_private_installation(true);
    write("ZandLibraries/Broken", std::string("DNAZ\x40\0\0\0" "4BIL", 12));
    ASSERT_EQ(0, mkfifo(path("ZandLibraries/APipe").c_str(), 0600));
    ASSERT_EQ(0, mkfifo(path("Residents/APipe").c_str(), 0600));
    CompilerRun s = run("END\n", "", path("Compilers/zdcompiler"));
    EXPECT_EQ("STARTING\t6.10\tZandrel 6.10 LTS (Windows - x64)\nERROR\tCan't load the following library: Broken.",
              s.output);
    EXPECT_EQ(1, s.exit_code);
}

TEST_F(StandbyCli, AnInstallationWithoutResidentsSaysSo)
{
    make_private_installation(false);
    CompilerRun s = run("END\n", "", path("Compilers/zdcompiler"));
    EXPECT_EQ("STARTING\t6.10\tZandrel 6.10 LTS (Windows - x64)\nERROR\tCan't load any residents.", s.output);
    EXPECT_EQ(1, s.exit_code);
}

TEST_F(StandbyCli, CompilationsSucceedOrAnswerTheirErrorBlock)
{
    write("ok.zd", "; fine\nEnableASM\n");
    write("bad.zd", "; x\n\n= 5\n");
    CompilerRun s = run(compile("ok.zd") + compile("bad.zd") + compile("ok.zd") + compile("missing.zd") +
                    // The stored fields go with each COMPILE: this one reads no file.
                    "COMPILE\tCHECKSYNTAX\n" + "END\n");
    EXPECT_EQ(starting + "SUCCESS\n" + error_block(3, "Syntax error.") + "SUCCESS\n" +
                  error_block(0, "File not found (" + path("missing.zd") + ").") + error_block(0, "File not found ()."),
              s.output);
    EXPECT_EQ(0, s.exit_code);
}

TEST_F(StandbyCli, FailedBuildIsNeverAnsweredWithSuccess)
{
    // The program compiles, but the assembler rejects its inline line.
    write("ok.zd", "! CALL zd_routine_nobody_defines\n");
    CompilerRun s = run(compile("ok.zd", "\tCONSOLE") + "END\n");
    EXPECT_EQ(0u, s.output.find(starting));
    EXPECT_EQ(std::string::npos, s.output.find("SUCCESS")) << s.output;
    EXPECT_NE(std::string::npos, s.output.find("ERROR\t")) << s.output;
}

TEST_F(StandbyCli, IncludeFileErrorsAndProgress)
{
    // Each error lies at the last token of a continued statement.
    write("inc.zd", "; fine\nb = 2 +\n 1.5.5\n");
    write("main.zd", "IncludeFile \"inc.zd\"\n");
    write("bad.zd", "b = 2 +\n (4\n");
    CompilerRun s = run("INCLUDEPATH\t" + folder + "/\n" + compile("main.zd", "\tCHECKSYNTAX\tPROGRESS") +
                    // The include file of the last error is not named again.
                    compile("bad.zd") + compile("main.zd") + "END\n");
    size_t at = s.output.find("PROGRESS\tINCLUDES\t");
    ASSERT_NE(std::string::npos, at) << s.output;
    size_t end = s.output.find('\n', at);
    std::string include_name = s.output.substr(at + 18, end - at - 18);
    EXPECT_NE(std::string::npos, include_name.find("inc.zd"));
    std::string include_error =
        error_block(-1, "Not a valid float number.", "INCLUDEFILE\t" + include_name + "\t3\n");
    // Line counts are reported every 1000 lines and at the end of a compilation.
    EXPECT_EQ(starting + "PROGRESS\tINCLUDES\t" + include_name + "\n" + include_error +
                  error_block(2, "')' expected.") + include_error,
              without_line_progress(s.output));
    // Only the compilation that asked for PROGRESS sends PROGRESS lines.
    size_t second_compilation = s.output.find("ERROR\tSYNTAX\t2\n");
    ASSERT_NE(std::string::npos, second_compilation);
    EXPECT_EQ(std::string::npos, s.output.find("PROGRESS", second_compilation));
}

TEST_F(StandbyCli, RedirectAsksForTheMainFile)
{
    write("real.zd", "; real\n");
    CompilerRun s = run("SOURCE\tshown.zd\nCOMPILE\tREDIRECT\tCHECKSYNTAX\n" + path("real.zd") + "\tignored\n" +
                    // Without REDIRECT nobody is asked.
                    compile("real.zd") +
                    // End of input while the editor owes a reply ends the run.
                    "SOURCE\tlast.zd\nCOMPILE\tREDIRECT\n");
    EXPECT_EQ(starting + "REDIRECT\tMAINFILE\tshown.zd\nSUCCESS\nSUCCESS\nREDIRECT\tMAINFILE\tlast.zd\n", s.output);
    EXPECT_EQ(0, s.exit_code);
}

TEST_F(StandbyCli, SourceAliasNamesTheMainFile)
{
    // The editor compiles a copy: the file constants and the folder of the
    // include files are those of the name it shows.
    std::system(("mkdir -p " + shell_quoted(path("ed"))).c_str());
    write("ed/inc.zdi", "a = 1\n");
    write("copy.zd", "IncludeFile \"inc.zdi\"\n"
                     "CompilerIf #ZD_Compiler_Filename <> \"main.zd\" Or #ZD_Compiler_File <> #ZD_Compiler_FilePath + \"main.zd\"\n"
                     "  CompilerError #ZD_Compiler_File\n"
                     "CompilerEndIf\n");
    CompilerRun s = run("SOURCE\t" + path("copy.zd") + "\nSOURCEALIAS\t" + path("ed/main.zd") + "\nCOMPILE\tCHECKSYNTAX\n" +
                    compile("copy.zd") + "END\n");
    EXPECT_EQ(0u, s.output.find(starting + "SUCCESS\nERROR\tSYNTAX\t1\nMESSAGE\tFile not found (")) << s.output;
}

TEST_F(StandbyCli, RelativeSourcesAreTakenFromTheCurrentFolder)
{
    // The program is linked next to its source, not into the work folder,
    // and the session stays in its folder for the next relative name.
    std::system(("mkdir -p " + shell_quoted(path("sub"))).c_str());
    write("sub/prog.zd", "a = 1\n");
    write("sub/bad.zd", "a = \n");
    CompilerRun s = run("SOURCE\tsub/prog.zd\nTARGET\tprog.exe\nCOMPILE\tCONSOLE\n"
                    "SOURCE\tsub/bad.zd\nCOMPILE\tCHECKSYNTAX\nSOURCE\tsub/prog.zd\nCOMPILE\tCHECKSYNTAX\nEND\n");
    EXPECT_EQ(starting + "SUCCESS\n" + error_block(1, "Syntax error.") + "SUCCESS\n", s.output);
    EXPECT_EQ(0, access(path("sub/prog.exe").c_str(), F_OK));
}

TEST_F(StandbyCli, LongLinesAreReadWhole)
{
    std::string long_name = "/" + std::string(3000, 'a') + "/main.zd";
    CompilerRun s = run("SOURCE\t" + long_name + "\nCOMPILE\tREDIRECT\n");
    EXPECT_EQ(starting + "REDIRECT\tMAINFILE\t" + long_name + "\n", s.output);
}

TEST_F(StandbyCli, ConstantsAreListedThenRemoved)
{
    CompilerRun s = run(
        "CONSTANT\tAnswer=42\nCONSTANT\tRatio=2.5\nCONSTANT\tPath$=C:\\dir\nCONSTANT\tnovalue\n"
        "CONSTANT\tZD_Compiler_OS=3\nCONSTANT\tAnswer=43\nCONSTANTLIST\nCONSTANTLIST\nEND\n");
    ASSERT_EQ(0u, s.output.find(starting));
    size_t second = s.output.find(complete);
    ASSERT_NE(std::string::npos, second);
    std::string first_list = s.output.substr(starting.size(), second + complete.size() - starting.size());
    std::string second_list = s.output.substr(second + complete.size());
    // Count line first, one line per constant, then the end line.
    int lines = 0;
    for (char c : first_list) lines += c == '\n';
    EXPECT_EQ(std::atoi(first_list.c_str()) + 2, lines) << first_list;
    EXPECT_NE(std::string::npos, first_list.find("\n0\tAnswer\t42\n")) << first_list;
    EXPECT_NE(std::string::npos, first_list.find("\n1\tRatio\t2.5000000000000000\n"));
    EXPECT_NE(std::string::npos, first_list.find("\n2\tPath$\tC:\\\\dir\n"));
    EXPECT_NE(std::string::npos, first_list.find("\n2\tNull$\t\n"));
    EXPECT_NE(std::string::npos, first_list.find("\n0\tZD_Compiler_OS\t1\n"));
    EXPECT_NE(std::string::npos, first_list.find("\n0\tZD_Compiler_Version\t610\n"));
    // The list removed the constants of the CONSTANT commands.
    EXPECT_EQ(std::string::npos, second_list.find("Answer")) << second_list;
    EXPECT_NE(std::string::npos, second_list.find("\n2\tNull$\t\n"));
}

TEST_F(StandbyCli, BadConstantsDoNotFailTheNextCompilation)
{
    write("ok.zd", "; fine\n");
    CompilerRun s = run("CONSTANT\tA=1\nCONSTANT\tA=2\nCONSTANT\t=5\nCONSTANT\t1x=5\n" + compile("ok.zd") + "END\n");
    EXPECT_EQ(starting + "SUCCESS\n", s.output);
}

TEST_F(StandbyCli, FunctionListAndHelpDirectory)
{
    CompilerRun s = run("FUNCTIONLIST\nHELPDIRECTORY\tSizeOf\nHELPDIRECTORY\tNoSuchThing\n"
                    "STRUCTURE\tNoSuchThing\nEND\n");
    ASSERT_EQ(0u, s.output.find(starting));
    std::string rest = s.output.substr(starting.size());
    size_t end = rest.find(complete);
    ASSERT_NE(std::string::npos, end);
    std::string list = rest.substr(0, end);
    int lines = 0;
    for (char c : list) lines += c == '\n';
    EXPECT_EQ(std::atoi(list.c_str()) + 1, lines) << list;
    EXPECT_NE(std::string::npos, list.find("\nSizeOf (Structure) - Returns the size of the given structure.\n"));
    // Compiler functions have no library: their help directory is unknown.
    EXPECT_EQ("UNKNOWN\nUNKNOWN\n" + complete, rest.substr(end + complete.size()));
}

// The lines of a list answer: its count line, the entries, then the end line.
std::vector<std::string> list_answer(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size() && text.compare(start, complete.size(), complete) != 0) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST_F(StandbyCli, ImportListAndApiHelp)
{
    CompilerRun s = run("IMPORTLIST\nHELPDIRECTORY\tGetLastError_\nHELPDIRECTORY\tgetlasterror_\n"
                    "HELPDIRECTORY\tGetLastError\nHELPDIRECTORY\tPrintN\nEND\n");
    ASSERT_EQ(0u, s.output.find(starting));
    std::string rest = s.output.substr(starting.size());
    std::vector<std::string> lines = list_answer(rest);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::atoi(lines[0].c_str()) + 1, (int)lines.size()) << rest;
    std::set<std::string> entries(lines.begin() + 1, lines.end());
    // Each loaded function with the text of its parameters, if it has any.
    EXPECT_TRUE(entries.count("Beep_(a.l, b.l)")) << rest;
    EXPECT_TRUE(entries.count("CloseHandle_(a.i)")) << rest;
    EXPECT_TRUE(entries.count("GetLastError_")) << rest;
    EXPECT_TRUE(entries.count("MessageBox_(a.i, b.s, c.s, d.l)")) << rest;
    size_t end = rest.find(complete);
    ASSERT_NE(std::string::npos, end);
    // Operating-system functions are found by their name with "_", in any case.
    EXPECT_EQ("API\nAPI\nUNKNOWN\nConsole\n", rest.substr(end + complete.size()));
}

TEST_F(StandbyCli, TotalLineCountEndsTheProgress)
{
    std::string source;
    for (int i = 0; i < 2500; i++) source += "a = 1\n";
    write("long.zd", source);
    write("short.zd", "a = 1\nb = 2\n");
    write("bad.zd", "a = 1\n=\n");
    CompilerRun s = run(compile("long.zd", "\tCHECKSYNTAX\tPROGRESS") + compile("short.zd", "\tCHECKSYNTAX\tPROGRESS") +
                    compile("bad.zd", "\tCHECKSYNTAX\tPROGRESS") + compile("short.zd") + "END\n");
    // Every 1000 lines and once with the total; a failed compilation sends no total.
    std::string long_total = "PROGRESS\tLINES\t" + std::to_string(2501) + "\n";
    std::string short_total = "PROGRESS\tLINES\t3\n";
    EXPECT_EQ(starting + "PROGRESS\tLINES\t1000\nPROGRESS\tLINES\t2000\n" + long_total + "SUCCESS\n" + short_total +
                  "SUCCESS\n" + error_block(2, "Syntax error.") + "SUCCESS\n",
              s.output);
}

TEST_F(StandbyCli, RedirectAsksForEveryIncludeFile)
{
    write("main.zd", "IncludeFile \"inc.zd\"\n");
    write("inc.zd", "a = 1\n");
    write("unsaved.zd", "a = 1\n=\n");
    CompilerRun s = run("INCLUDEPATH\t" + folder + "/\n" + compile("main.zd", "\tREDIRECT\tCHECKSYNTAX") + path("main.zd") +
                    "\n" + path("unsaved.zd") + "\n" + compile("main.zd") + "END\n");
    // The editor's answer is the file read: its error names that file.
    size_t question = s.output.find("REDIRECT\tINCLUDEFILE\t");
    ASSERT_NE(std::string::npos, question) << s.output;
    size_t end = s.output.find('\n', question);
    std::string asked = s.output.substr(question + 21, end - question - 21);
    EXPECT_NE(std::string::npos, asked.find("inc.zd")) << asked;
    EXPECT_EQ(starting + "REDIRECT\tMAINFILE\t" + path("main.zd") + "\nREDIRECT\tINCLUDEFILE\t" + asked + "\n" +
                  error_block(-1, "Syntax error.", "INCLUDEFILE\t" + path("unsaved.zd") + "\t2\n") +
                  // Without REDIRECT the include file itself is read.
                  "SUCCESS\n",
              s.output);
}

TEST_F(StandbyCli, InterfaceMethodsNameEveryParameterType)
{
    // A private installation whose resident holds an interface.
    make_private_installation(true);
    write("shapes.zd", "Interface Shape\n  Area.f(scale.d)\n  Name.s(n.l, t.s, b.b, *p, u.u, List m.l())\n  Reset()\n"
                       "EndInterface\n");
    std::string make = "cd " + shell_quoted(folder) + " && " + shell_quoted(compiler) +
                       " shapes.zd /RESIDENT Residents/shapes.res >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(make.c_str()));
    CompilerRun s = run("INTERFACE\tShape\nSTRUCTURE\tshape\nEND\n", "", path("Compilers/zdcompiler"));
    std::string methods = "Area.f(a.d)\nName.s(a.l, b.s, c.b, d.i, e.u, f.List)\nReset()\n" + complete;
    EXPECT_EQ(starting + methods + methods, s.output);
}

}  // namespace
