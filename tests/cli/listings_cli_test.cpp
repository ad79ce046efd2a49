// Listing runs of the laid-out zdcompiler from a copy of the installation
// whose "Residents" folder holds a resident made by the compiler itself:
// /LISTSTRUCTURES, /LISTINTERFACES, /QUERYSTRUCTURE and /CREATETESTFILE.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

struct RunResult {
    std::string output;
    int exit_code;
};

std::string quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

class ListingsCli : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/zd_listings_XXXXXX";
        folder = mkdtemp(pattern);
        folder += '/';
        std::string command = "cp -r " + quote(ZANDREL_HOME) + " " + quote(folder + "inst");
        ASSERT_EQ(std::system(command.c_str()), 0);
        write_file("types.zd",
                   "Structure ListedPoint : x.l : y.l : EndStructure\n"
                   "Structure ListedShape\n"
                   " *origin.ListedPoint\n name.s\n steps.b[3]\n"
                   " StructureUnion\n  a.l\n  b.q\n EndStructureUnion\n"
                   " tail.w\nEndStructure\n"
                   "Interface ListedDrawable\n Draw.f(x.l, *p, t.s)\n Title.s()\nEndInterface\n");
        RunResult made = run({"types.zd", "/RESIDENT", "inst/Residents/Listed.res"});
        ASSERT_EQ(made.exit_code, 0) << made.output;
    }

    static void TearDownTestSuite()
    {
        std::system(("rm -rf " + quote(folder)).c_str());
    }

    static void write_file(const std::string& name, const std::string& text)
    {
        std::ofstream out(folder + name, std::ios::binary);
        out << text;
    }

    static std::string read_file(const std::string& name)
    {
        std::ifstream in(folder + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Runs the copied compiler in the scratch folder with relative names.
    static RunResult run(const std::vector<std::string>& arguments, const std::string& input = "/dev/null")
    {
        std::string command = "cd " + quote(folder) + " && inst/Compilers/zdcompiler";
        for (const std::string& argument : arguments) command += " " + quote(argument);
        command += " <" + quote(input) + " 2>&1";
        RunResult result{"", -1};
        result.output = run_shell(command, &result.exit_code);
        return result;
    }

    static std::string folder;
};

std::string ListingsCli::folder;

TEST_F(ListingsCli, StructureAndInterfaceLists)
{
    RunResult r = run({"/LISTSTRUCTURES", "/OUTPUT", "structures.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("File 'structures.txt' successfully created.\n"), std::string::npos) << r.output;
    std::string list = read_file("structures.txt");
    // The names alone (no count line, as the standby answer has), in hash
    // order: compare as a set.
    EXPECT_TRUE(list == "ListedPoint\nListedShape\n" || list == "ListedShape\nListedPoint\n") << list;

    r = run({"/LISTINTERFACES", "/OUTPUT", "interfaces.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_file("interfaces.txt"), "ListedDrawable\n");

    // The standby answers begin with the count.
    write_file("lists.txt", "STRUCTURELIST\nINTERFACELIST\nEND\n");
    r = run({"/STANDBY"}, "lists.txt");
    EXPECT_NE(r.output.find("READY\n2\nListed"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("OUTPUT\tCOMPLETE\n1\nListedDrawable\nOUTPUT\tCOMPLETE\n"), std::string::npos) << r.output;
}

TEST_F(ListingsCli, QueryStructure)
{
    RunResult r = run({"/QUERYSTRUCTURE", "ListedShape", "/OUTPUT", "shape.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("File 'shape.txt' successfully created.\n"), std::string::npos) << r.output;
    EXPECT_EQ(read_file("shape.txt"),
              "*origin.ListedPoint\n"
              "name.s\n"
              "steps.b[3]\n"
              "StructureUnion\n"
              "    a.l\n"
              "    b.q\n"
              "EndStructureUnion\n"
              "tail.w\n");

    r = run({"/QUERYSTRUCTURE", "ListedDrawable", "/OUTPUT", "drawable.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    // Long and string parameters are named too.
    EXPECT_EQ(read_file("drawable.txt"), "Draw.f(a.l, b.i, c.s)\nTitle.s()\n");

    // A name that is no structure: an empty file, and still success.
    r = run({"/QUERYSTRUCTURE", "Nothing", "/OUTPUT", "nothing.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("File 'nothing.txt' successfully created.\n"), std::string::npos) << r.output;
    EXPECT_EQ(read_file("nothing.txt"), "");

    // A file that cannot be created fails the run, for every listing.
    r = run({"/QUERYSTRUCTURE", "ListedShape", "/OUTPUT", "missing-folder/shape.txt"});
    EXPECT_NE(r.output.find("Can't create file 'missing-folder/shape.txt'.\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.exit_code, 1);
    for (const char* mode : {"/LISTSTRUCTURES", "/LISTINTERFACES", "/LISTFUNCTIONS"}) {
        r = run({mode, "/OUTPUT", "missing-folder/list.txt"});
        EXPECT_EQ(r.exit_code, 1) << mode << "\n" << r.output;
    }
}

TEST_F(ListingsCli, ResidentStructuresServeACompilation)
{
    write_file("use.zd", "Structure UsesListed : p.ListedPoint : EndStructure\n");
    RunResult r = run({"use.zd", "/CHECK"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    write_file("again.zd", "Structure ListedPoint : x.l : EndStructure\n");
    r = run({"again.zd", "/CHECK"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("Structure already declared: ListedPoint (in a resident file)."), std::string::npos)
        << r.output;
    // /IGNORERESIDENT leaves the file out.
    r = run({"again.zd", "/CHECK", "/IGNORERESIDENT", "Listed.res"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
}

TEST_F(ListingsCli, DamagedResidentStopsTheRun)
{
    std::string bytes = read_file("inst/Residents/Listed.res");
    ASSERT_GT(bytes.size(), 40u);
    write_file("inst/Residents/Cut.res", bytes.substr(0, 40));
    RunResult r = run({"/LISTSTRUCTURES", "/OUTPUT", "cut.txt"});
    std::remove((folder + "inst/Residents/Cut.res").c_str());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("Cut.res"), std::string::npos) << r.output;
}

TEST_F(ListingsCli, TestFileCallsEveryCommand)
{
    RunResult r = run({"/CREATETESTFILE", "test.zd"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Test file 'test.zd' successfully created.\n"), std::string::npos) << r.output;
    std::string text = read_file("test.zd");
    EXPECT_EQ(text.find("Procedure TestProcedure()\nDim Array(1)\nNewList List()\nNewMap Map()\n"
                        "Structure TestStructure : a.i : EndStructure\n"),
              0u)
        << text;
    EXPECT_EQ(text.substr(text.size() - 13), "EndProcedure\n");
    // Compiler functions have no type codes: one plain argument each.
    EXPECT_NE(text.find("\nDefined(a,a)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nSizeOf(a)\n"), std::string::npos) << text;

    r = run({"/CREATETESTFILE", "missing-folder/test.zd"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.output.find("Test file 'missing-folder/test.zd' creation failed.\n"), std::string::npos) << r.output;
}

TEST_F(ListingsCli, AFullDiskIsNoSuccess)
{
    if (std::system("test -c /dev/full") != 0) GTEST_SKIP() << "no /dev/full here";
    // Every write to /dev/full fails: none of the files may be reported made.
    RunResult r = run({"/LISTFUNCTIONS", "/OUTPUT", "/dev/full"});
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find("Can't create file '/dev/full'.\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("successfully"), std::string::npos) << r.output;

    r = run({"/CREATETESTFILE", "/dev/full"});
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find("Test file '/dev/full' creation failed.\n"), std::string::npos) << r.output;

    write_file("constant.zd", "#Kept = 1\n");
    r = run({"constant.zd", "/RESIDENT", "/dev/full"});
    EXPECT_EQ(r.exit_code, 1) << r.output;
    EXPECT_NE(r.output.find("Can't create resident file (/dev/full)."), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("created"), std::string::npos) << r.output;
}

}  // namespace
