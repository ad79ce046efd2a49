#include "forge_test_support.h"

#include <vector>

namespace {

const char* header = "ASM\n0\nOBJ\n0\nHelp\n";

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> list)
{
    return std::vector<uint8_t>(list);
}

}  // namespace

using ForgeDescriptor = ForgeTest;

TEST_F(ForgeDescriptor, HeaderFieldsAndNameLists)
{
    parse("\xEF\xBB\xBF; comment\r\n\tc \r\n2\r\nkernel32\r\n  user32\r\nlib\r\n1\r\nMemory\r\nMy help line\r\n");
    EXPECT_FALSE(ErrorFlag) << messages();
    EXPECT_EQ(Descriptor.language, LIBRARY_LANGUAGE_C);
    EXPECT_EQ(Descriptor.object_type, LIBRARY_OBJECT_LIB);
    EXPECT_EQ(Descriptor.link_libraries, (std::vector<std::string>{"kernel32", "user32"}));
    EXPECT_EQ(Descriptor.needed_libraries, (std::vector<std::string>{"Memory"}));
    EXPECT_EQ(Descriptor.help_line, "My help line");
    EXPECT_TRUE(Descriptor.functions.empty());
    // CR-only line ends work too.
    parse("ASM\r0\rOBJ\r0\rH\rFoo\rNONE\r");
    EXPECT_FALSE(ErrorFlag);
    ASSERT_EQ(Descriptor.functions.size(), 1u);
    EXPECT_EQ(Descriptor.functions[0].name, "Foo");
}

TEST_F(ForgeDescriptor, HeaderErrorsAreAllReportedAndStopDefinitions)
{
    parse("Pascal\n0\nEXE\n0\nHelp\nFoo\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    std::string shown = messages();
    EXPECT_NE(shown.find("Mylib.desc: Error at line 1: Library type must be 'C' or 'ASM'"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Mylib.desc: Error at line 3: Object type must be 'OBJ' or 'LIB'"), std::string::npos) << shown;
    EXPECT_TRUE(Descriptor.functions.empty());
}

TEST_F(ForgeDescriptor, NameListCountsAreBoundedAndMustBeComplete)
{
    std::string text = "ASM\n300\n";
    for (int i = 0; i < 300; i++) text += "lib" + std::to_string(i) + "\n";
    parse(text + "OBJ\n0\nHelp\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Too many library names (300)"), std::string::npos);

    text = "ASM\n255\n";
    for (int i = 0; i < 255; i++) text += "lib" + std::to_string(i) + "\n";
    parse(text + "OBJ\n0\nHelp\n");
    EXPECT_FALSE(ErrorFlag) << messages();
    EXPECT_EQ(Descriptor.link_libraries.size(), 255u);

    parse("ASM\n0\nOBJ\n3\nOne\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("missing library names"), std::string::npos);
}

TEST_F(ForgeDescriptor, VariantsFromBracketsCopyArgumentsAndFlags)
{
    parse(std::string(header) + "Foo, LONG, [LONG], [STRING], (Value [, Second [, Third]]) - Does foo\n"
                                "Long | DebuggerCheck | Unicode\n");
    ASSERT_FALSE(ErrorFlag) << messages();
    const auto& f = Descriptor.functions;
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].name, "Foo");
    EXPECT_EQ(f[0].argument_types, bytes({0x04}));
    EXPECT_EQ(f[0].flags, 0x1000108u);
    EXPECT_EQ(f[0].help, "(Value [, Second [, Third]]) - Does foo");
    EXPECT_EQ(f[1].name, "Foo2");
    EXPECT_EQ(f[1].argument_types, bytes({0x04, 0x04}));
    EXPECT_EQ(f[1].flags, 0x1002108u);
    EXPECT_EQ(f[2].name, "Foo3");
    EXPECT_EQ(f[2].argument_types, bytes({0x04, 0x04, 0x40}));
    EXPECT_EQ(f[2].flags, 0x1002108u);
    EXPECT_EQ(messages(), "");

    // The last parameter gets no bracket handling.
    parse(std::string(header) + "Foo, LONG, [LONG]\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("'[LONG]' is not a valid argument type"), std::string::npos);
}

TEST_F(ForgeDescriptor, FunctionsSortByLowerCasedNameAndDuplicatesAreRefused)
{
    parse(std::string(header) + "Zeta\nNONE\nalpha\nNONE\nBeta\nNONE\n");
    ASSERT_FALSE(ErrorFlag);
    ASSERT_EQ(Descriptor.functions.size(), 3u);
    EXPECT_EQ(Descriptor.functions[0].name, "alpha");
    EXPECT_EQ(Descriptor.functions[1].name, "Beta");
    EXPECT_EQ(Descriptor.functions[2].name, "Zeta");
    messages();

    parse(std::string(header) + "Foo\nNONE\nfoo\nNONE\nBar\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Error at line 8: Duplicate function name detected: Foo"), std::string::npos);
    EXPECT_EQ(Descriptor.functions.size(), 1u);  // nothing read after the error

    // A variant name that a definition already uses.
    parse(std::string(header) + "Foo2\nNONE\nFoo, LONG, [LONG],\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Duplicate function name detected: Foo2"), std::string::npos);

    // A definition whose name a variant already took, also where variants
    // leave the list out of order (Foo, Foo2, Foo1).
    parse(std::string(header) + "Foo1\nNONE\nFoo, LONG, [LONG],\nNONE\nfoo1\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Duplicate function name detected: Foo1"), std::string::npos);
    parse(std::string(header) + "Foo, LONG, [LONG],\nNONE\nFOO2\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Duplicate function name detected: Foo2"), std::string::npos);
}

TEST_F(ForgeDescriptor, ArgumentKeywordsAndTheirLimits)
{
    parse(std::string(header) +
          "All, byte, word, long, float, string, array, linkedlist, map, any, double, quad, structure, "
          "runtimearray, runtimelist, runtimemap, RuntimeStructure\nNONE|NOUNICODE\n");
    ASSERT_FALSE(ErrorFlag) << messages();
    EXPECT_EQ(Descriptor.functions[0].argument_types,
              bytes({0x01, 0x02, 0x04, 0x41, 0x40, 0x20, 0x08, 0x45, 0x42, 0x43, 0x44, 0x46, 0x4F, 0x47, 0x4B, 0x49,
                     0x4D, 0x48, 0x4C, 0x4A, 0x4E}));

    // 63 structures (2 bytes each) and a long make 127 bytes: the most a record holds.
    std::string many = "Many";
    for (int i = 0; i < 63; i++) many += ", STRUCTURE";
    parse(std::string(header) + many + ", LONG\nNONE\n");
    EXPECT_FALSE(ErrorFlag) << messages();
    EXPECT_EQ(Descriptor.functions[0].argument_types.size(), 127u);
    parse(std::string(header) + many + ", STRUCTURE\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("The function Many() has too many arguments"), std::string::npos);

    parse(std::string(header) + "Foo, LONG, INTEGER\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Error at line 6: 'INTEGER' is not a valid argument type"), std::string::npos);
}

TEST_F(ForgeDescriptor, NamesMustBeSingleWords)
{
    for (const char* line : {"(x) - no name", ", LONG", "Foo Bar, LONG"}) {
        parse(std::string(header) + line + "\nNONE\n");
        EXPECT_TRUE(ErrorFlag) << line;
        EXPECT_NE(messages().find("Error at line 6: Syntax error"), std::string::npos) << line;
    }
}

TEST_F(ForgeDescriptor, FlagKeywords)
{
    struct Case {
        const char* line;
        uint32_t flags;
    } cases[] = {
        {"long | stdcall", 0x8008},
        {"WORD", 0},
        {"NONE", 0},
        {"MMX", 0x110000},
        {"SSE|SSE2|3DNOW", 0x1E0000},
        {"DebuggerCheck|Byte|Float|String|InitFunction|EndFunction|Last|Parallel", 0x737},
        {"CDECL|VIRTUAL|THREAD|ASSEMBLY|DOUBLE|QUAD|DEPRECATED|PURIFIER", 0xAEE00000},
    };
    for (const Case& c : cases) {
        parse(std::string(header) + "Foo\n" + c.line + "\n");
        ASSERT_FALSE(ErrorFlag) << c.line;
        EXPECT_EQ(Descriptor.functions[0].flags, c.flags) << c.line;
    }
    messages();
    parse(std::string(header) + "Foo\nLONG | RETURNS\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Error at line 7: 'RETURNS' is not a valid result"), std::string::npos);
    // A missing flags line is an empty token.
    parse(std::string(header) + "Foo\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("'' is not a valid result"), std::string::npos);
}

TEST_F(ForgeDescriptor, UnicodeAndDebuggerWarnings)
{
    write_file(folder / "Zandforge.log", "");
    parse(std::string(header) + "Text, STRING, [LONG],\nDEBUGGERCHECK\n");
    EXPECT_FALSE(ErrorFlag);
    EXPECT_NE(messages().find("Warning: Line 7: The function Text2() uses strings, so need to support the 'Unicode' flag"),
              std::string::npos);

    for (const char* flags : {"DEBUGGERCHECK|UNICODE", "DEBUGGERCHECK|NOUNICODE"}) {
        parse(std::string(header) + "Text, STRING\n" + flags + "\n");
        EXPECT_EQ(messages(), "") << flags;
    }
    NoUnicodeWarningFlag = true;
    parse(std::string(header) + "Text, STRING\nDEBUGGERCHECK\n");
    EXPECT_EQ(messages(), "");

    // Without a debugger routine: a box in dialog mode, the log in batch mode.
    parse(std::string(header) + "Plain\nLONG\nInit\nINITFUNCTION\nEnd\nENDFUNCTION\n");
    EXPECT_EQ(messages(), "Warning: Line 7: Plain: no debugger routine\n");
    BatchMode = true;
    std::filesystem::remove(folder / "Zandforge.log");
    parse(std::string(header) + "Plain\nLONG\n");
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(read_file(folder / "Zandforge.log"),
              "---------------- Mylib ------------------------\nPlain: no debugger routine\n");
}

TEST_F(ForgeDescriptor, ConditionalBlocks)
{
    DefineConstant("windows");
    DefineConstant("WINDOWS");
    EXPECT_EQ(DefinedConstants.size(), 1u);
    EXPECT_TRUE(IsConstantDefined("Windows"));

    parse(std::string(header) +
          "CompilerIf WINDOWS\n"
          "  A\n  NONE\n"
          "  CompilerIf LINUX\n    B\n    NONE\n  CompilerElse\n    C\n    NONE\n  CompilerEndIf\n"
          "CompilerElse\n"
          "  CompilerIf WINDOWS\n    D\n    NONE\n  CompilerElse\n    E\n    NONE\n  CompilerEndIf\n"
          "CompilerEndIf\n"
          "F\nNONE\n"
          "COMPILERIF LINUX\nG\nNONE\n");  // ends inside a false branch
    EXPECT_TRUE(ErrorFlag);
    std::string names;
    for (const ForgeFunction& f : Descriptor.functions) names += f.name;
    EXPECT_EQ(names, "ACF");
    // Every raw line counts, skipped ones included.
    EXPECT_NE(messages().find("Error at line 29: End of file reached, missing 'CompilerEndIf'."), std::string::npos);

    // A file may end inside a true branch.
    parse(std::string(header) + "CompilerIf WINDOWS\nA\nNONE\n");
    EXPECT_FALSE(ErrorFlag);

    parse(std::string(header) + "A\nNONE\nCompilerElse\nB\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Error at line 8: 'CompilerElse' without 'CompilerIf'."), std::string::npos);
    parse(std::string(header) + "CompilerEndIf\nA\nNONE\n");
    EXPECT_TRUE(ErrorFlag);
    EXPECT_NE(messages().find("Error at line 6: 'CompilerEndIf' without 'CompilerIf'."), std::string::npos);
}

TEST_F(ForgeDescriptor, UnreadableDescriptor)
{
    LibName = "Missing";
    DescFile = (folder / "missing.desc").string();
    ParseDescriptor();
    EXPECT_TRUE(ErrorFlag);
    EXPECT_EQ(messages(), "Error: Can't open the FD file !\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "Missing"));
}
