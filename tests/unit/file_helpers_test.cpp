#include "core/file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <sys/stat.h>

#include "core/core_globals.h"
#include "frontend/frontend_globals.h"
#include "frontend/source_reader.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class FileHelpers : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!permanent_heap) permanent_heap = os_heap_create(4096);
        if (!compilation_heap) compilation_heap = os_heap_create(4096);
        if (!compilation_pool.blocks) init_memory_pools();
        IncludeFileList = create_list(sizeof(ListNode) + sizeof(char*), 0);
        clear_error_state();
        root = fs::temp_directory_path() / ("zandrel_file_helpers_test_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override
    {
        clear_error_state();
        fs::remove_all(root);
    }
    void write_script(const std::string& name, const std::string& body)
    {
        std::ofstream(root / name) << "#!/bin/sh\n" << body;
        fs::permissions(root / name, fs::perms::owner_all);
    }
    fs::path root;
};

}  // namespace

TEST_F(FileHelpers, CombinePathAndPathParts)
{
    EXPECT_EQ(combine_path("C:\\Project\\", "src/main.zd"), "C:\\Project\\src\\main.zd");
    EXPECT_EQ(combine_path("C:\\Project", "..\\lib\\x.zd"), "C:\\lib\\x.zd");
    EXPECT_EQ(combine_path("/home/me/", "./a/../b.zd"), "\\home\\me\\b.zd");
    // An absolute name stands alone, also a Linux one.
    EXPECT_EQ(combine_path("C:\\Project\\", "D:\\out.exe"), "D:\\out.exe");
    EXPECT_EQ(combine_path("C:\\Project\\", "/tmp/a.exe"), "\\tmp\\a.exe");
    EXPECT_EQ(combine_path("", "x.zd"), "x.zd");
    EXPECT_EQ(combine_path("C:\\P", ""), "C:\\P\\");

    EXPECT_EQ(path_file_part("C:\\a\\b/c.zd"), "c.zd");
    EXPECT_EQ(path_file_part("c.zd"), "c.zd");
    EXPECT_EQ(path_directory_part("C:\\a/b\\c.zd"), "C:\\a/b\\");
    EXPECT_EQ(path_directory_part("c.zd"), "");
}

TEST_F(FileHelpers, Utf8ToDwListEndsWithZeroAlsoForEmptyText)
{
    EXPECT_STREQ(utf8_to_dw_list(""), "0");
    EXPECT_STREQ(utf8_to_dw_list("Ab"), "65,98,0");
    // Two-, three- and four-byte sequences; the last becomes a surrogate pair.
    EXPECT_STREQ(utf8_to_dw_list("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), "233,8364,55357,56832,0");
}

TEST_F(FileHelpers, FilesAndFolders)
{
    std::string file = (root / "a.txt").string();
    FILE* out = create_file_utf8(file.c_str());
    ASSERT_NE(out, nullptr);
    write_file_line(out, "hello");
    std::fclose(out);
    FILE* in = open_file_utf8(file.c_str());
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(get_file_size(in), 6);
    std::fclose(in);
    EXPECT_TRUE(file_exists(file.c_str()));
    EXPECT_FALSE(file_exists(root.string().c_str()));
    EXPECT_EQ(open_file_utf8(root.string().c_str()), nullptr);
    EXPECT_FALSE(file_exists(""));
}

TEST_F(FileHelpers, WorkFolderIsPrivateFreshAndDeletedWithoutFollowingLinks)
{
    std::string first = create_work_directory();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back(), '\\');
    EXPECT_NE(first.find("Zandrel"), std::string::npos);
    std::string native = os_native_path(first.c_str());
    struct stat st;
    ASSERT_EQ(lstat(native.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Contents: files, a read-only subfolder and a link to a folder outside.
    fs::path outside = root / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "keep.txt") << "keep";
    fs::create_directories(fs::path(native) / "sub");
    std::ofstream(fs::path(native) / "sub" / "x.obj") << "x";
    fs::permissions(fs::path(native) / "sub", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_directory_symlink(outside, fs::path(native) / "link");

    // Another folder than the one we made is refused.
    EXPECT_FALSE(delete_directory_tree(outside.string().c_str()));
    EXPECT_FALSE(delete_directory_tree(""));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));

    EXPECT_TRUE(delete_directory_tree(first.c_str()));
    EXPECT_FALSE(fs::exists(native));
    EXPECT_TRUE(fs::exists(outside / "keep.txt"));

    std::string second = create_work_directory();
    ASSERT_FALSE(second.empty());
    EXPECT_TRUE(delete_directory_tree(second.c_str()));
}

TEST_F(FileHelpers, RunToolCapturesOutputOnlyOnFailure)
{
    write_script("ok", "echo fine\n");
    write_script("fails", "printf 'bad\\0news'; head -c 3000 /dev/zero | tr '\\0' 'y'; exit 2\n");
    char* text = reinterpret_cast<char*>(1);
    EXPECT_EQ(run_tool_capture_output(("\"" + (root / "ok").string() + "\"").c_str(), &text), 1);
    EXPECT_EQ(text, nullptr);

    EXPECT_EQ(run_tool_capture_output(("\"" + (root / "fails").string() + "\" arg").c_str(), &text), 0);
    ASSERT_NE(text, nullptr);
    std::string output = text;
    EXPECT_EQ(output.size(), 3008u);
    EXPECT_EQ(output.substr(0, 8), "bad news");
    os_heap_free(permanent_heap, text);

    EXPECT_EQ(run_tool_capture_output(("\"" + (root / "missing").string() + "\"").c_str(), &text), 0);
    EXPECT_EQ(text, nullptr);
}

TEST_F(FileHelpers, LoadSourceFileSetsTheSourceFolder)
{
    fs::create_directories(root / "src");
    std::ofstream(root / "src" / "main.zd") << "a = 1\n";
    std::string saved_folder = os_current_folder();
    ASSERT_TRUE(os_set_current_folder(root.string().c_str()));
    current_folder = "C:\\Project\\";
    load_source_file("src\\main.zd");
    EXPECT_EQ(error_number, 0);
    EXPECT_STREQ(source_text_start, "a = 1\n");
    EXPECT_EQ(source_text_end - source_text_start, 6);
    // The lexer may read one byte past the first NUL.
    EXPECT_EQ(source_text_end[1], 0);
    EXPECT_EQ(main_source_folder, "C:\\Project\\src\\");

    std::string absolute = (root / "src" / "main.zd").string();
    load_source_file(absolute.c_str());
    EXPECT_EQ(main_source_folder, (root / "src").string() + "/");

    load_source_file("nothing.zd");
    EXPECT_EQ(error_number, ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(error_message, "File not found (nothing.zd).");
    os_set_current_folder(saved_folder.c_str());
}

TEST_F(FileHelpers, RegisterIncludeOnceComparesFullPathsIgnoringCase)
{
    std::string saved_folder = os_current_folder();
    ASSERT_TRUE(os_set_current_folder(root.string().c_str()));
    EXPECT_EQ(register_include_once("Inc\\A.zd", 1), 1);
    EXPECT_EQ(register_include_once("inc/a.ZD", 1), 0);
    EXPECT_EQ(register_include_once((root.string() + "/inc/sub/../a.zd").c_str(), 1), 0);
    EXPECT_EQ(register_include_once("inc/b.zd", 1), 1);
    os_set_current_folder(saved_folder.c_str());
}
