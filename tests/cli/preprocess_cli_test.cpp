// Syntax checks (/CHECK) by the laid-out zdcompiler of programs built from
// compiler directives, macros, constants and modules.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "cli_test_support.h"

namespace {

class PreprocessCli : public CompilerFolderTest {
protected:
    // Runs "<compiler> main.zd /PREPROCESS out.zd <switches>" and returns out.zd.
    std::string preprocess(const std::string& program, const std::string& source, const std::string& switches = "")
    {
        write("main.zd", source);
        std::remove((folder + "/out.zd").c_str());
        std::string command = "cd '" + folder + "' && '" + program + "' main.zd /PREPROCESS out.zd " + switches +
                              " </dev/null >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << program;
        return read("out.zd");
    }

    std::string read(const std::string& name)
    {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(PreprocessCli, DirectivesMacrosAndModulesPassTogether)
{
    CompilerRun r = check("DeclareModule Config\n"
                  "  #Level = 2\n"
                  "  Macro Define(name, value = 1) : #name#_Set = value : EndMacro\n"
                  "EndDeclareModule\n"
                  "Module Config\n"
                  "EndModule\n"
                  "UseModule Config\n"
                  "CompilerSelect #Level\n"
                  "  CompilerCase 1\n"
                  "    CompilerError \"wrong case\"\n"
                  "  CompilerCase 2\n"
                  "    Define(Two, 2)\n"
                  "  CompilerDefault\n"
                  "    CompilerError \"no case\"\n"
                  "CompilerEndSelect\n"
                  "CompilerIf #Two_Set <> 2\n"
                  "  CompilerError \"macro lost its argument\"\n"
                  "CompilerEndIf\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(ends_with(r.output, "Syntax check finished without error (19 lines).\n")) << r.output;
}

TEST_F(PreprocessCli, CompilerErrorStopsWithItsText)
{
    CompilerRun r = check("#Version = 3\n\nCompilerIf #Version < 4\n  CompilerError \"Version 4 needed\"\nCompilerEndIf\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 4 - Version 4 needed\n")) << r.output;
}

TEST_F(PreprocessCli, ErrorInsideAnExpansionWritesMacroOut)
{
    CompilerRun r = check("Macro Pair(a, b)\n  #First = a\n  #Second = a / b\nEndMacro\nPair(1, 0)\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Line 5 - Division by 0 forbidden.\n"
                                    "at line 2 of the expanded macro (Macro.out)\n"))
        << r.output;
    EXPECT_EQ(read("Macro.out"), "#First = 1\n#Second = 1 / 0");
}

TEST_F(PreprocessCli, UnclosedSectionsAreReported)
{
    CompilerRun r = check("CompilerIf 1\n#A = 1\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("'CompilerIf' without 'CompilerEndIf'."), std::string::npos) << r.output;

    r = check("DeclareModule Half\nEndDeclareModule\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(ends_with(r.output, "Error: Module 'Half' has been only declared (Module/EndModule part missing).\n"))
        << r.output;
}

TEST_F(PreprocessCli, PreprocessedSourceKeepsProcedureBodiesInPlace)
{
    const std::string source = "Macro Twice(v) : (v) * 2 : EndMacro\n"
                               "Procedure.l F(a)\n  b = Twice(a)\n  ProcedureReturn b\nEndProcedure\n"
                               "Procedure Unused()\n  c = 1\nEndProcedure\nx = F(3)\n";
    const std::string expected = "Macro Twice(v) \nEndMacro\n"
                                 "Procedure.l F(a)\nb = (a) * 2\nProcedureReturn b\nEndProcedure\n"
                                 "Procedure Unused()\nc = 1\nEndProcedure\nx = F(3)\n";
    // The whole file is the source: no generated line may come along. It
    // starts with a byte-order mark, so that its literals are read back as
    // the UTF-8 they are.
    for (const char* program : {"zdcompiler", "zdcompilerc"}) {
        std::string path = std::string(ZANDREL_HOME) + "/Compilers/" + program;
        EXPECT_EQ(preprocess(path, source), "\xEF\xBB\xBF" + expected) << program;
        EXPECT_EQ(preprocess(path, "\xEF\xBB\xBFs$ = \"caf\xC3\xA9\"\n"), "\xEF\xBB\xBFs$ = \"caf\xC3\xA9\"\n") << program;
    }
}

TEST_F(PreprocessCli, PreprocessedSourceStandsAloneWithoutItsIncludeFiles)
{
    const std::string source = "IncludeFile \"inc1.zdi\"\n"
                               "XIncludeFile \"inc2.zdi\" : x = 1\n"
                               "XIncludeFile \"inc2.zdi\"\n"
                               "End Dbl(3) + Tri(x)\n";
    for (const char* program : {"zdcompiler", "zdcompilerc"}) {
        for (const char* switches : {"", "/COMMENTED"}) {
            write("inc1.zdi", "Procedure.l Dbl(v)\n  ProcedureReturn v * 2\nEndProcedure\n");
            write("inc2.zdi", "Procedure.l Tri(v)\n  ProcedureReturn v * 3\nEndProcedure\n");
            std::string text = preprocess(laid_out_compiler(program), source, switches);
            // The include lines stay as comments beside the lines they brought.
            EXPECT_NE(text.find("; IncludeFile \"inc1.zdi\"\n"), std::string::npos) << program << switches << text;
            EXPECT_NE(text.find("Procedure.l Dbl(v)\n"), std::string::npos) << program << switches << text;
            // Written as it stands in both compilers, commented or not.
            EXPECT_EQ(text.find('\r'), std::string::npos) << program << switches;
            // Compiled back with the include files gone: each procedure once.
            std::remove(path("inc1.zdi").c_str());
            std::remove(path("inc2.zdi").c_str());
            CompilerRun r = compile_source(text, "/CHECK", program);
            EXPECT_EQ(r.exit_code, 0) << program << switches << r.output << text;
            EXPECT_TRUE(contains(r.output, "Syntax check finished without error")) << program << switches << r.output;
        }
    }
}

}  // namespace
