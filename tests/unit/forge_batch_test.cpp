#include "forge_test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <vector>

namespace {

int run_forge(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "Zandforge");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return RunForge(static_cast<int>(arguments.size()), argv.data());
}

const char* simple_descriptor = "ASM\n0\nOBJ\n0\nHelp\nFoo, STRING\nDEBUGGERCHECK\nBar\nLONG\n";

}  // namespace

using ForgeBatch = ForgeTest;

TEST_F(ForgeBatch, NamedDescriptorWritesCapitalisedLibraryIntoTarget)
{
    std::filesystem::create_directory(folder / "src");
    std::filesystem::create_directory(folder / "dest");
    write_file(folder / "src" / "mylib.desc", simple_descriptor);
    write_file(folder / "src" / "Mylib.obj", "OBJECT");
    EXPECT_EQ(run_forge({"src/mylib.desc", "/to", "dest/", "/nounicodewarning"}), 0);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(SourcePath, "src/");
    std::string file = read_file(folder / "dest" / "Mylib");
    ASSERT_GT(file.size(), 20u);
    EXPECT_EQ(file.substr(20, 6), std::string("Mylib\0", 6));
    EXPECT_EQ(file.substr(file.size() - 6), "OBJECT");
    EXPECT_EQ(read_file(folder / "Zandforge.log"),
              "---------------- Mylib ------------------------\nBar: no debugger routine\n");

    // The destination is used as written: no separator is added.
    EXPECT_EQ(run_forge({"src/mylib.desc", "/TO", "dest/out", "/nounicodewarning", "/NOLOG"}), 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "outMylib"));
}

TEST_F(ForgeBatch, DescriptorNameMustEndInDesc)
{
    write_file(folder / "Other.DESC", "C\n0\nOBJ\n0\nH\n");
    write_file(folder / "Other.obj", "O");
    EXPECT_EQ(run_forge({"Other.DESC", "/TO", "./", "/NOLOG"}), 0);
    EXPECT_FALSE(ErrorFlag);
    EXPECT_TRUE(std::filesystem::exists(folder / "Other"));

    for (const char* name : {"other.txt", ".desc"}) {
        write_file(folder / name, "C\n0\nOBJ\n0\nH\n");
        EXPECT_EQ(run_forge({name, "/TO", "./", "/NOLOG"}), 1);
        EXPECT_TRUE(ErrorFlag);
        EXPECT_EQ(messages(), ".desc: Error at line 0: The Library Descriptor filename must ending by '.Desc'\n")
            << name;
    }
    // In a whole-folder run the refused name is not titled with the library before it.
    std::filesystem::remove(folder / "Other.DESC");
    write_file(folder / "+lib.desc", "C\n0\nOBJ\n0\nH\n");
    write_file(folder / "+lib.obj", "O");
    EXPECT_EQ(run_forge({"+lib.desc", "/ALL", "/NOLOG"}), 1);
    EXPECT_TRUE(std::filesystem::exists(folder / "+lib"));
    EXPECT_EQ(messages(), ".desc: Error at line 0: The Library Descriptor filename must ending by '.Desc'\n");
}

TEST_F(ForgeBatch, AllProcessesEveryDescriptorAndStartsAFreshLog)
{
    std::filesystem::create_directory(folder / "dest");
    write_file(folder / "Zandforge.log", "old run\n");
    write_file(folder / "alpha.desc", "C\n0\nOBJ\n0\nH\nA\nLONG\n");
    write_file(folder / "Beta.Desc", "C\n0\nOBJ\n0\nH\nB\nDEBUGGERCHECK\n");
    write_file(folder / "broken.desc", "Basic\n0\nOBJ\n0\nH\n");
    write_file(folder / "notes.txt", "");
    for (const char* name : {"Alpha.obj", "Beta.obj", "Broken.obj"}) write_file(folder / name, "O");
    EXPECT_EQ(run_forge({"./beta.desc", "/ALL", "/TO", "dest/"}), 1) << "one descriptor failed";
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "Alpha"));
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "Beta"));
    EXPECT_FALSE(std::filesystem::exists(folder / "dest" / "Broken"));
    EXPECT_EQ(read_file(folder / "Zandforge.log"),
              "---------------- Alpha ------------------------\nA: no debugger routine\n"
              "---------------- Beta ------------------------\n"
              "---------------- Broken ------------------------\n");
    EXPECT_EQ(messages(), "Broken.desc: Error at line 1: Library type must be 'C' or 'ASM'\n");
}

TEST_F(ForgeBatch, EveryFailureOfTheRunGivesExitCodeOne)
{
    write_file(folder / "mylib.desc", simple_descriptor);
    write_file(folder / "Mylib.obj", "OBJECT");
    EXPECT_EQ(run_forge({"mylib.desc", "/TO", "missing/", "/NOLOG", "/NOUNICODEWARNING"}), 1);
    EXPECT_EQ(messages(), "Error: Can't create the library file:\nmissing/Mylib\n");
    EXPECT_EQ(run_forge({"absent.desc"}), 1);
    EXPECT_EQ(messages(), "Error: Can't open the FD file !\n");
    // A folder named like a descriptor is no descriptor.
    std::filesystem::create_directory(folder / "folder.desc");
    EXPECT_EQ(run_forge({"folder.desc", "/NOLOG"}), 1);
    EXPECT_EQ(messages(), "Error: Can't open the FD file !\n");

    // Without its main object the library is still written, without code.
    std::filesystem::remove(folder / "Mylib.obj");
    EXPECT_EQ(run_forge({"mylib.desc", "/NOLOG", "/NOUNICODEWARNING"}), 1);
    EXPECT_EQ(messages(), "Error: Can't open the main .obj: Mylib.obj\n");
    std::string file = read_file(folder / "Mylib");
    EXPECT_EQ(file.substr(0, 4), "DNAZ");
    EXPECT_EQ(file.find("1TAD"), std::string::npos);

    // A whole-folder run of a folder that can't be read, and one without descriptors.
    EXPECT_EQ(run_forge({"nowhere/x.desc", "/ALL", "/NOLOG"}), 1);
    EXPECT_EQ(messages(), "Error: Can't read the directory: nowhere/\n");
    std::filesystem::create_directory(folder / "empty");
    EXPECT_EQ(run_forge({"empty/x.desc", "/ALL"}), 0);
    EXPECT_EQ(messages(), "");
}

TEST_F(ForgeBatch, DescriptorEndingInAFalseBranchDoesNotHideTheNext)
{
    write_file(folder / "a.desc", "C\n0\nOBJ\n0\nH\nCompilerIf NOTDEFINED\nHidden\nLONG\n");
    write_file(folder / "b.desc", "C\n0\nOBJ\n0\nH\nShown\nDEBUGGERCHECK\n");
    for (const char* name : {"A.obj", "B.obj"}) write_file(folder / name, "O");
    EXPECT_EQ(run_forge({"a.desc", "/ALL", "/NOLOG"}), 1);
    EXPECT_EQ(messages(), "A.desc: Error at line 8: End of file reached, missing 'CompilerEndIf'.\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "A"));
    EXPECT_NE(read_file(folder / "B").find(std::string("Shown\0", 6)), std::string::npos);
}

TEST_F(ForgeBatch, ConstantsCompressionAndNoLog)
{
    write_file(folder / "cond.desc",
               "C\n0\nOBJ\n0\nH\nCompilerIf UNICODE\nWide, STRING\nUNICODE|DEBUGGERCHECK\nCompilerElse\n"
               "Narrow, STRING\nDEBUGGERCHECK\nCompilerEndIf\n");
    std::string object(3000, 'z');
    write_file(folder / "Cond.obj", object);
    EXPECT_EQ(run_forge({"cond.desc", "/CONSTANT", "unicode", "/COMPRESSED", "/NOLOG"}), 0);
    EXPECT_EQ(messages(), "");
    EXPECT_FALSE(std::filesystem::exists(folder / "Zandforge.log"));
    std::string file = read_file(folder / "Cond");
    EXPECT_NE(file.find(std::string("Wide\0", 5)), std::string::npos);
    EXPECT_EQ(file.find("Narrow"), std::string::npos);
    EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_OPTIONS), LIBRARY_OPTION_COMPRESSED);
    EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_UNPACKED_SIZE), 3000u);

    // Without the constant, the other branch; the Unicode warning shows in batch mode too.
    EXPECT_EQ(run_forge({"cond.desc", "/NOLOG"}), 0);
    EXPECT_EQ(messages(), "Warning: Line 11: The function Narrow() uses strings, so need to support the 'Unicode' flag\n");
    file = read_file(folder / "Cond");
    EXPECT_NE(file.find("Narrow"), std::string::npos);
    EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_OPTIONS), 0u);
}

TEST_F(ForgeBatch, ProgramRunsFromTheInstallation)
{
    std::filesystem::create_directory(folder / "dest");
    write_file(folder / "mylib.desc", simple_descriptor);
    write_file(folder / "Mylib.obj", "OBJECT");
    // Without a display the boxes are lines on standard error.
    std::string program = "env -u DISPLAY " + std::string(ZANDREL_HOME) + "/Compilers/Zandforge ";
    std::string command = program + (folder / "mylib.desc").string() + " /TO " + (folder / "dest").string() +
                          "/ 2>" + (folder / "stderr.txt").string();
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(folder / "stderr.txt"),
              "Warning: Line 7: The function Foo() uses strings, so need to support the 'Unicode' flag\n");
    EXPECT_EQ(read_file(folder / "dest" / "Mylib").substr(0, 4), "DNAZ");

    command = program + (folder / "mylib.desc").string() + " /TO " + (folder / "none").string() + "/ 2>/dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}
