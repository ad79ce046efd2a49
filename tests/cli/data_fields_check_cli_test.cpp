// Syntax checks (/CHECK) by the laid-out zdcompiler of DataSection data,
// Read, Restore, Swap, IncludeBinary and structure fields.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli_test_support.h"

namespace {

class DataFieldsCli : public CompilerFolderTest {
protected:
    void expect_passes(const std::string& source) {
        CompilerRun run = check(source);
        EXPECT_EQ(run.exit_code, 0) << run.output;
        EXPECT_NE(run.output.find("Syntax check"), std::string::npos) << run.output;
    }

    void expect_error(const std::string& source, const std::string& message) {
        CompilerRun run = check(source);
        EXPECT_EQ(run.exit_code, 1) << source;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    }
};

TEST_F(DataFieldsCli, DataReadRestoreAndSwapPass) {
    expect_passes("Define a.l, b.l, d.d\nRestore values\nRead.l a\nRead.d d\nSwap a, b\nEnd\n"
                  "DataSection\nvalues:\nData.l 1, -2\nData.d 0.5\nData.i ?values\nData.s \"text\"\nEndDataSection\n");
}

TEST_F(DataFieldsCli, DataErrorsAreReportedWithTheirMessages) {
    expect_error("Data.l 1\n", "'Data' can only be declared in a 'DataSection'.");
    expect_error("DataSection\nData.a 256\nEndDataSection\n",
                 "Overflow error: a 'ascii' (.a) value must be between 0 and 255.");
    expect_error("DataSection\nData.l \"x\"\nEndDataSection\n",
                 "Literal strings in DataSection only supported for Ascii, Unicode and String types.");
    expect_error("Define a.l, q.q\nSwap a, q\n",
                 "'Swap' only works with 2 elements of the same native type (not structured).");
}

TEST_F(DataFieldsCli, StructureFieldsPassAndReportTheirErrors) {
    const std::string point = "Structure Point\nx.l\ny.l\nEndStructure\n";
    expect_passes(point + "Define p.Point, *q.Point\np\\x = 1\n*q\\y = p\\x + 2\n");
    expect_error(point + "Define p.Point\np\\z = 1\n", "Structure field not found: z.");
    expect_error(point + "Define p.Point\np\\x\\y = 1\n", "'x' is not a structured field.");
}

TEST_F(DataFieldsCli, IncludeBinaryOfAMissingFileNamesIt) {
    expect_error("DataSection\nIncludeBinary \"missing.bin\"\nEndDataSection\n", "Included file not found:");
    std::ofstream(folder + "/blob.bin", std::ios::binary) << "abc";
    expect_passes("DataSection\nstart:\nIncludeBinary \"blob.bin\"\nEndDataSection\n");
}

}  // namespace
