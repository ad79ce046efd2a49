#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

TEST(PlatformHeap, DestroyReleasesEveryBlockAndReallocKeepsContents)
{
    PrivateHeap* heap = os_heap_create(4096);
    char* a = static_cast<char*>(os_heap_alloc(heap, 16));
    void* b = os_heap_alloc(heap, 100, true);
    EXPECT_EQ(os_heap_block_count(heap), 2u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    EXPECT_EQ(static_cast<unsigned char*>(b)[99], 0);
    std::strcpy(a, "kept");
    a = static_cast<char*>(os_heap_realloc(heap, a, 100000));
    EXPECT_STREQ(a, "kept");
    os_heap_free(heap, b);
    EXPECT_EQ(os_heap_block_count(heap), 1u);
    os_heap_destroy(heap);
}

TEST(PlatformPaths, SeparatorsDrivesAndCaseInsensitiveLookup)
{
    EXPECT_TRUE(os_is_absolute_path("/tmp"));
    EXPECT_TRUE(os_is_absolute_path("\\x"));
    EXPECT_TRUE(os_is_absolute_path("C:\\x"));
    EXPECT_FALSE(os_is_absolute_path("a\\b"));
    EXPECT_FALSE(os_is_absolute_path(""));

    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / "zandrel_platform_test";
    fs::remove_all(root);
    fs::create_directories(root / "Compilers");
    std::string file = (root / "Compilers" / "FAsm.exe").string();
    ASSERT_TRUE(os_write_file(file.c_str(), "x", 1));
    std::string windows_form = "Z:" + root.string() + "\\compilers\\fasm.EXE";
    EXPECT_EQ(os_native_path(windows_form.c_str()), file);
    EXPECT_TRUE(os_file_exists(windows_form.c_str()));
    // A folder is not a file, and cannot be opened as one.
    std::string folder = (root / "Compilers").string();
    EXPECT_FALSE(os_file_exists(folder.c_str()));
    EXPECT_TRUE(os_directory_exists(folder.c_str()));
    EXPECT_EQ(os_fopen(folder.c_str(), "rb"), nullptr);

    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(os_list_directory(root.string().c_str(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "Compilers");
    EXPECT_TRUE(entries[0].is_directory);
    fs::remove_all(root);
}
