#include "forge_test_support.h"

#include <zlib.h>

namespace {

std::string text_bytes(std::initializer_list<unsigned char> list)
{
    return std::string(list.begin(), list.end());
}

const std::string zand = text_bytes({0x44, 0x4E, 0x41, 0x5A});

}  // namespace

class ForgeWriter : public ForgeTest {
protected:
    std::filesystem::path out;

    void SetUp() override
    {
        ForgeTest::SetUp();
        out = folder / "out";
        std::filesystem::create_directory(out);
        SourcePath = folder.string() + "/";
        DestinationPath = out.string() + "/";
    }

    // Parses the descriptor text and writes the library; returns the file.
    std::string build(const std::string& descriptor)
    {
        parse(descriptor);
        EXPECT_FALSE(ErrorFlag) << messages();
        WriteLibrary();
        return read_file(out / "Mylib");
    }
};

TEST_F(ForgeWriter, ByteExactLayoutOfEveryChunk)
{
    write_file(folder / "Mylib.obj", "OBJDATA");
    write_file(folder / "Mylib_DEBUG.obj", "DBG");
    write_file(folder / "Mylib_nt.obj", "abcde");
    std::string file = build("ASM\n1\nkernel32\nOBJ\n1\nMemory\nHelp\nFoo, LONG, (x)\nLONG|DEBUGGERCHECK\n");
    EXPECT_FALSE(ErrorFlag);
    EXPECT_EQ(messages(), "");

    std::string expected = zand + text_bytes({53, 0, 0, 0}) + text_bytes({0x34, 0x42, 0x49, 0x4C}) +
                           std::string(8, '\0') + std::string("Mylib\0", 6) + text_bytes({2, 1}) +
                           std::string("kernel32\0", 9) + text_bytes({1}) + std::string("Help\0", 5) +
                           text_bytes({1}) + std::string("Memory\0", 7) + std::string("Foo\0", 4) +
                           text_bytes({1, 4, 0x08, 0x01, 0, 0}) + std::string("(x)\0", 4);
    expected += zand + text_bytes({7, 0, 0, 0, 0x31, 0x54, 0x41, 0x44}) + "OBJDATA";
    expected += zand + text_bytes({3, 0, 0, 0, 0x31, 0x47, 0x42, 0x44}) + "DBG";
    expected += zand + text_bytes({5, 0, 0, 0, 0x31, 0x34, 0x54, 0x4E}) + std::string("abcde\0\0\0", 8);
    EXPECT_EQ(file, expected);
}

TEST_F(ForgeWriter, LibraryWithoutFunctionsEndsAfterItsHeader)
{
    write_file(folder / "Mylib.obj", "X");
    std::string file = build("C\n0\nOBJ\n0\nH\n");
    // 8 (options, size) + "Mylib\0" + language + count + type + "H\0" + count
    EXPECT_EQ(read_u32_at(file, 4), 8u + 6 + 1 + 1 + 1 + 2 + 1);
    EXPECT_EQ(read_u32_at(file, 12 + read_u32_at(file, 4) + 8), LIBRARY_TAG_DAT1);
}

TEST_F(ForgeWriter, CompressedObjectDataInflatesBack)
{
    std::string object;
    for (int i = 0; i < 4000; i++) object += "section .text " + std::to_string(i % 10) + "\n";
    write_file(folder / "Mylib.obj", object);
    ForgeOptions = LIBRARY_OPTION_COMPRESSED;
    std::string file = build("C\n0\nOBJ\n0\nH\nFoo\nNONE\n");
    ASSERT_GT(file.size(), 40u);
    EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_OPTIONS), LIBRARY_OPTION_COMPRESSED);
    EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_UNPACKED_SIZE), object.size());
    size_t chunk = 12 + read_u32_at(file, 4);
    ASSERT_EQ(read_u32_at(file, chunk + 8), LIBRARY_TAG_DAT1);
    uint32_t packed_size = read_u32_at(file, chunk + 4);
    EXPECT_LT(packed_size, object.size());
    ASSERT_EQ(chunk + 12 + packed_size, file.size());
    std::string unpacked(object.size(), '\0');
    uLongf unpacked_size = unpacked.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &unpacked_size,
                         reinterpret_cast<const Bytef*>(file.data() + chunk + 12), packed_size),
              Z_OK);
    EXPECT_EQ(unpacked, object);
}

TEST_F(ForgeWriter, IncompressibleOrEmptyObjectIsStoredRaw)
{
    for (const std::string& object : {std::string("\x01\x9f\x33\x7e\xc2", 5), std::string()}) {
        write_file(folder / "Mylib.obj", object);
        ForgeOptions = LIBRARY_OPTION_COMPRESSED;
        std::string file = build("C\n0\nOBJ\n0\nH\n");
        EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_OPTIONS), 0u);
        EXPECT_EQ(read_u32_at(file, LIBRARY_OFFSET_UNPACKED_SIZE), 0u);
        size_t chunk = 12 + read_u32_at(file, 4);
        EXPECT_EQ(read_u32_at(file, chunk + 4), object.size());
        EXPECT_EQ(file.substr(chunk + 12), object);
    }
}

TEST_F(ForgeWriter, ImportLibrariesUseLibFilesAndNeverGetDebugData)
{
    write_file(folder / "Mylib.lib", "LIBDATA");
    write_file(folder / "Mylib.obj", "unused");
    write_file(folder / "Mylib_DEBUG.obj", "DBG");
    write_file(folder / "Mylib_nt.lib", "NTLIB!!!");
    std::string file = build("C\n0\nLIB\n0\nH\n");
    size_t chunk = 12 + read_u32_at(file, 4);
    EXPECT_EQ(read_u32_at(file, chunk + 8), LIBRARY_TAG_DAT1);
    EXPECT_EQ(file.substr(chunk + 12, 7), "LIBDATA");
    chunk += 12 + 7;
    EXPECT_EQ(read_u32_at(file, chunk + 8), LIBRARY_TAG_NT41);
    EXPECT_EQ(file.substr(chunk + 12), "NTLIB!!!");
}

TEST_F(ForgeWriter, MissingMainObjectStillWritesTheHeader)
{
    write_file(folder / "Mylib_DEBUG.obj", "DBG");
    std::string file = build("C\n0\nOBJ\n0\nH\n");
    EXPECT_FALSE(ErrorFlag);
    EXPECT_EQ(messages(), "Error: Can't open the main .obj: " + folder.string() + "/Mylib.obj\n");
    size_t chunk = 12 + read_u32_at(file, 4);
    ASSERT_EQ(file.size(), chunk + 12 + 3);
    EXPECT_EQ(read_u32_at(file, chunk + 8), LIBRARY_TAG_DBG1);
}

TEST_F(ForgeWriter, ObjectNamesAreFoundWhateverTheirCase)
{
    write_file(folder / "mylib.OBJ", "lower");
    std::string file = build("C\n0\nOBJ\n0\nH\n");
    EXPECT_EQ(file.substr(file.size() - 5), "lower");
}

TEST_F(ForgeWriter, OutputThatCannotBeWrittenIsReportedAndRemoved)
{
    write_file(folder / "Mylib.obj", "OBJ");
    parse("C\n0\nOBJ\n0\nH\n");
    DestinationPath = (folder / "no_such_folder").string() + "/";
    WriteLibrary();
    EXPECT_TRUE(ErrorFlag);
    EXPECT_EQ(messages(), "Error: Can't create the library file:\n" + DestinationPath + "Mylib\n");

    // A full disk: the library's name leads to /dev/full. The failed file is
    // removed (here: the link) and the error is set.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    std::filesystem::create_symlink("/dev/full", out / "Mylib");
    parse("C\n0\nOBJ\n0\nH\n");
    DestinationPath = out.string() + "/";
    WriteLibrary();
    EXPECT_TRUE(ErrorFlag);
    EXPECT_EQ(messages(), "Error: Can't create the library file:\n" + DestinationPath + "Mylib\n");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(out / "Mylib")));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}
