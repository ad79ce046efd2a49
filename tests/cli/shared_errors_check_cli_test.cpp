// Syntax checks (/CHECK) that both compilers must refuse alike: names that
// cannot be declared, module items that do not exist, chained comparisons,
// a pointer stored into a float, Gosub inside a procedure, errors at the end
// of continued statements and at the end of the source, module-prefixed
// bases of Extends, field names, the length of literals, IncludeBinary outside
// the data, imports bound to the program's own names; and the inline assembly
// switches that only zdcompilerc refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

struct RefusedSource {
    const char* source;
    const char* message;
};

class SharedErrorsCheckCli : public CompilerFolderFixture<::testing::TestWithParam<const char*>> {
protected:
    CompilerRun check(const std::string& compiler, const std::string& source, const std::string& switches = "/CHECK")
    {
        return compile_source(source, switches, compiler);
    }
};

const RefusedSource refused_by_both[] = {
    // The digit was once read as the keyword's operator, so "x" was declared.
    {"Define 1x\n", "Line 1 - Invalid name: 1x."},
    {"Global 1x\n", "Line 1 - Invalid name: 1x."},
    {"Define a, 2b\n", "Line 1 - Invalid name: 2b."},
    // Likewise a digit or "$" after a keyword that names a module, a macro,
    // a typed procedure or a variable.
    {"Define $x\n", "Line 1 - Syntax error."},
    {"Global.l $x = 3\n", "Line 1 - Syntax error."},
    {"Macro 1M\n1\nEndMacro\n", "Line 1 - A constant name needs to start with a character (a-z or _)."},
    {"Macro $M\n1\nEndMacro\n", "Line 1 - A constant name needs to start with a character (a-z or _)."},
    {"DeclareModule 1M\nEndDeclareModule\n", "Line 1 - Syntax error."},
    {"DeclareModule M\nEndDeclareModule\nModule 1M\nEndModule\n", "Line 3 - Syntax error."},
    {"DeclareModule M\nEndDeclareModule\nModule M\nEndModule\nUseModule 1M\n", "Line 5 - Syntax error."},
    {"DeclareModule M\nEndDeclareModule\nModule M\nEndModule\nUnuseModule $M\n", "Line 5 - Syntax error."},
    {"Procedure.l 1P()\nEndProcedure\n", "Line 1 - A procedure name needs to start with a character (a-z or _)."},
    {"Procedure.s $P()\nEndProcedure\n", "Line 1 - A procedure name needs to start with a character (a-z or _)."},
    // A module's private list or map is out of reach with its prefix, as
    // its private arrays and variables are.
    {"DeclareModule M\nEndDeclareModule\nModule M\n NewList hid.l()\nEndModule\nForEach M::hid() : Next\n",
     "Line 6 - Module item 'hid' is not declared as public."},
    {"DeclareModule M\nEndDeclareModule\nModule M\n NewMap hid.l()\nEndModule\nx = M::hid(\"a\")\n",
     "Line 6 - Module item 'hid' is not declared as public."},
    // Inside its procedures a module sees only its Global lists and maps,
    // as with arrays, public or not.
    {"DeclareModule M\nEndDeclareModule\nModule M\n NewList hid.l()\n Procedure p()\n  x = hid()\n EndProcedure\n"
     "EndModule\n",
     "Line 6 - hid() is not a function, array, list, map or macro."},
    {"DeclareModule M\n NewMap pub.l()\nEndDeclareModule\nModule M\n Procedure p()\n  x = pub(\"a\")\n"
     " EndProcedure\nEndModule\n",
     "Line 6 - pub() is not a function, array, list, map or macro."},
    // A base named with its module's prefix is looked up in that module
    // alone, with the usual refusals.
    {"DeclareModule Mo\nEndDeclareModule\nModule Mo\n Structure Hid\n  a.l\n EndStructure\nEndModule\n"
     "Structure Out Extends Mo::Hid\nEndStructure\n",
     "Line 8 - Module item 'Hid' is not declared as public."},
    {"Structure Out Extends No::Hid\nEndStructure\n", "Line 1 - Module not found: No."},
    {"DeclareModule Mo\n Interface IPub\n  f()\n EndInterface\nEndDeclareModule\nModule Mo\nEndModule\n"
     "Structure Out Extends Mo::IPub\nEndStructure\n",
     "Line 8 - A 'Structure' or 'Interface' is expected after 'Extends'."},
    // A field name is checked as a variable's is.
    {"Structure Rec\n  a.l\n  1a.l\nEndStructure\n", "Line 3 - Invalid name: 1a."},
    // What is missing at the end of the source lies one past the last line,
    // whether or not a line break ends the text.
    {"x = 1\nIf x\n  y = 2\n", "Line 4 - The following end condition keyword is missing: EndIf."},
    {"x = 1\nIf x\n  y = 2", "Line 4 - The following end condition keyword is missing: EndIf."},
    {"Procedure p()\r\n  x = 1\r\n", "Line 3 - 'EndProcedure' is missing."},
    {"Macro M\n  1", "Line 3 - 'EndMacro' is missing."},
    // An operator word after a return type is the name, as without one.
    {"Procedure.l To()\nEndProcedure\n", "Line 1 - A procedure can't have the same name as an operand: To."},
    {"Procedure pp()\nEndProcedure\nPrototype PP()\nDefine pp.PP\n", "Line 4 - Procedure already declared: pp()."},
    {"DeclareModule M\nGlobal y\nEndDeclareModule\nModule M\nEndModule\nx = M::y\nx = M::nov\n",
     "Line 7 - Module variable 'nov' not found."},
    {"DeclareModule M\nEndDeclareModule\nModule M\nEndModule\nx = M::nofunc(1)\n",
     "Line 5 - Module item 'nofunc()' not found."},
    {"a = 1 : b = 2 : c = 3\nIf a < b < c : EndIf\n", "Line 2 - Syntax error."},
    {"If 1 < 2 < 3 : EndIf\n", "Line 1 - Syntax error."},
    {"Define *p, f.f\n*p = 5\nf = *p\n", "Line 3 - Can't assign a pointer to a float or double item."},
    {"Procedure p()\n  Gosub l\nEndProcedure\nl:\nReturn\n",
     "Line 2 - 'Gosub' and 'Return' are not allowed inside a procedure."},
    // An error at the last token of a continued statement lies on the
    // statement's last line, also after a comment or with CR LF line ends.
    {"y = 1\nb = 2 +\n 3 +\n 1.5.5\n", "Line 4 - Not a valid float number."},
    {"b = 2 +\r\n 3 +\r\n (4\r\n", "Line 3 - ')' expected."},
    {"x$ = \"q\"\nb = 2 +\n 3 +\n x$ ; note\n", "Line 4 - Can't mix strings with numerical values."},
    // A logical word where an operand belongs is that operator, refused by
    // its own rules; a word after a jump's label is garbage.
    {"a = 1\nx = Not a\n",
     "Line 2 - Comparisons (=, <, >, =< and >=) are only supported with keywords like If, While, Until or within Bool()."},
    {"a = 1\nx = 1 + Not a\n", "Line 2 - Syntax error."},
    {"x = And 1\n", "Line 1 - Syntax error."},
    {"a:\nGoto a b\n", "Line 2 - Garbage at the end of the line."},
    {"DeclareModule M\na:\nEndDeclareModule\nModule M\nEndModule\nGosub M::a b\nReturn\n",
     "Line 6 - Garbage at the end of the line."},
    // A refused operand inside the look-ahead of a comparison once brought
    // the same operator round for ever.
    {"If k <(1 And s$ +(\"a\" = \"x\"\nEndIf\n", "Line 1 - Parenthesis '(' are not allowed in string operations."},
    {"While k <(1 And s$ +(\"a\" = \"x\"\nWend\n", "Line 1 - Parenthesis '(' are not allowed in string operations."},
    // Offsets are 32-bit: a structure or a data area past the largest one.
    {"Structure SS\n a.b[1500000000]\n b.b[1500000000]\nEndStructure\n", "Line 3 - Numerical overflow: too big number."},
    {"Structure SS\n a.b[1500000000]\nEndStructure\nDefine x.SS, y.SS\n", "Line 4 - Numerical overflow: too big number."},
    // Bytes in the code would be run.
    {"x = 1\nIncludeBinary \"main.zd\"\n", "Line 2 - IncludeBinary must be in DataSection"},
    // An import can't take a link name that the program defines itself.
    {"Import \"\"\n myv.i As \"ZD_MemoryBase\"\nEndImport\n", "Line 2 - Invalid name: ZD_MemoryBase."},
    {"Import \"\"\n F.i() As \"ZD_ExitCode\"\nEndImport\n", "Line 2 - Invalid name: ZD_ExitCode."},
};

TEST_P(SharedErrorsCheckCli, RefusedByBothCompilers) {
    for (const RefusedSource& refused : refused_by_both) {
        CompilerRun r = check(GetParam(), refused.source);
        EXPECT_EQ(r.exit_code, 1) << refused.source << r.output;
        EXPECT_TRUE(contains(r.output, refused.message)) << refused.source << r.output;
    }
}

TEST_P(SharedErrorsCheckCli, NeighboursOfTheRefusedFormsPass) {
    const char* accepted[] = {
        "Define x1, b\n",
        "a = 1 : b = 2\nIf a < b And b > a : EndIf\n",
        "Define *p, f.f, i\n*p = 5\ni = *p\nf = i\n",
        "Procedure pp()\nEndProcedure\nPrototype PP()\nDefine q.PP\n",
        "Gosub l\nEnd\nl:\nReturn\n",
        // An empty statement, also in front of more statements and after Select.
        ": x = 2 : : x + 1\nSelect x\n: Case 3\n:\nEndSelect\n",
        ("DeclareModule M\n NewMap pub.l()\nEndDeclareModule\nModule M\n NewList hid.l()\n Global NewList g.l()\n"
         " Procedure p()\n  Shared hid(), pub()\n  x = hid() + pub(\"a\") + g()\n EndProcedure\nEndModule\n"),
        // A module's list or map element read last in a statement leaves
        // no prefix for the names of the next one.
        ("DeclareModule Ma\n Global NewList PL.l()\n Global NewMap PM.l()\nEndDeclareModule\nModule Ma\nEndModule\n"
         "x = Ma::PL()\nRestore dl\nForEach Ma::PM() : Next\nUseModule Ma\nUnuseModule Ma\nx = Ma::PL()\n"
         "NewList PL.q()\nx = Ma::PM()\nGosub g\nEnd\ng:\nReturn\nDataSection\ndl:\nEndDataSection\n"),
    };
    for (const char* source : accepted) {
        CompilerRun r = check(GetParam(), source);
        EXPECT_EQ(r.exit_code, 0) << source << r.output;
    }
}

TEST_P(SharedErrorsCheckCli, LiteralsHoldAtMost8192Characters) {
    const std::string full(8192, 'x');
    const std::string refused = "Line 1 - A literal string can't be bigger than 8192 characters.";
    // Joined literals are one literal; the arguments of a call are one each.
    for (const std::string& source : {"a$ = \"" + full + "x\"\n", "a$ = \"" + full + "\" + \"y\"\n"}) {
        CompilerRun r = check(GetParam(), source);
        EXPECT_EQ(r.exit_code, 1) << r.output;
        EXPECT_TRUE(contains(r.output, refused)) << r.output;
    }
    const std::string half_a(5000, 'a'), half_b(5000, 'b');
    for (const std::string& source :
         {"a$ = \"" + full + "\"\n", "Procedure P(x$, y$)\nEndProcedure\nP(\"" + half_a + "\", \"" + half_b + "\")\n"}) {
        CompilerRun r = check(GetParam(), source);
        EXPECT_EQ(r.exit_code, 0) << r.output;
    }
}

TEST_P(SharedErrorsCheckCli, BuildErrorsLieOnNoSourceLineAndToolFailuresAreReportedOnce) {
    const std::string program = "a = 1\nb = 2\nc = 3\n";
    CompilerRun r = check(GetParam(), program, "/QUIET /CONSOLE /OUTPUT p.exe /ICON missing.ico");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output, "Error: Icon file not found.\n");
    // A failing resource compiler or linker: its own text is the whole
    // report, with no second message after it.
    std::ofstream(folder + "/bad.rc") << "not a resource script {\n";
    r = check(GetParam(), program, "/QUIET /CONSOLE /OUTPUT p.exe /RESOURCE bad.rc");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output.rfind("Error: Resource\n", 0), 0u) << r.output;
    EXPECT_EQ(r.output.find("Error:", 1), std::string::npos) << r.output;
    const std::string unresolved = "Import \"\"\n nothere_fn(a.i)\nEndImport\nnothere_fn(1)\n";
    r = check(GetParam(), unresolved, "/QUIET /CONSOLE /OUTPUT p.exe");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.output.rfind("Error: Linker\nerror: undefined symbol: nothere_fn\n", 0), 0u) << r.output;
    EXPECT_EQ(r.output.find("Error:", 1), std::string::npos) << r.output;
    // In standby the tool's block is the one answer to the COMPILE.
    write("script.txt", "SOURCE\t" + path("main.zd") + "\nCOMPILE\tCONSOLE\nEND\n");
    r.output = run_shell("cd " + shell_quoted(folder) + " && timeout 60 " + shell_quoted(laid_out_compiler(GetParam())) +
                             " /STANDBY <script.txt 2>&1",
                         &r.exit_code);
    size_t block = r.output.find("ERROR\tLINKER\nerror: undefined symbol: nothere_fn\n");
    ASSERT_NE(block, std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("OUTPUT\tCOMPLETE\n", block), r.output.size() - 16) << r.output;
    EXPECT_FALSE(contains(r.output, "ERROR\tSYNTAX")) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Compilers, SharedErrorsCheckCli, ::testing::Values("zdcompiler", "zdcompilerc"));

TEST_F(SharedErrorsCheckCli, InlineAssemblySwitchesOnlyInTheX64Compiler) {
    for (const char* source : {"EnableASM\n", "DisableASM\n"}) {
        CompilerRun c = check("zdcompilerc", source);
        EXPECT_EQ(c.exit_code, 1) << source << c.output;
        EXPECT_TRUE(contains(c.output, "Line 1 - EnableASM and DisableASM are not supported with C backend."))
            << c.output;
        CompilerRun x64 = check("zdcompiler", source);
        EXPECT_EQ(x64.exit_code, 0) << source << x64.output;
    }
}

TEST_F(SharedErrorsCheckCli, IncludeBinaryOutsideTheDataIsRefusedInEachCompilersWords) {
    const char* source = "x = 1\nIncludeBinary \"main.zd\"\n";
    CompilerRun x64 = check("zdcompiler", source);
    EXPECT_EQ(x64.exit_code, 1);
    EXPECT_TRUE(ends_with(x64.output, "Error: Line 2 - IncludeBinary must be in DataSection.\n")) << x64.output;
    CompilerRun c = check("zdcompilerc", source);
    EXPECT_EQ(c.exit_code, 1);
    EXPECT_TRUE(ends_with(c.output, "Error: Line 2 - IncludeBinary must be in DataSection for C backend.\n")) << c.output;
}

}  // namespace
