// The message catalog: parsing, group lookup, the search under "catalogs",
// the "ErrorCodes x64" overrides and the guard against catalog texts whose
// printf conversions differ from the English ones.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/catalog.h"
#include "core/core_globals.h"
#include "core_test_support.h"

namespace {

std::string shell_text(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

void write_file(const std::string& path, const std::string& text)
{
    std::system(("mkdir -p " + shell_text(path.substr(0, path.rfind('/')))).c_str());
    std::ofstream(path, std::ios::binary) << text;
}

std::string catalog_head(const std::string& language, const std::string& application = "ZD_Compiler")
{
    return "; translated compiler messages\n[LanguageInfo]\n  Language = " + language +
           "\n\tApplication=" + application + "  \n\n";
}

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensure_core_state();
        clear_error_state();
        char pattern[] = "/tmp/zd_catalog_XXXXXX";
        home = mkdtemp(pattern);
        saved_home = home_folder;
        saved_language = language_name;
        home_folder = home + "/";
        clear_catalog();
    }
    void TearDown() override
    {
        clear_catalog();
        clear_error_state();
        home_folder = saved_home;
        language_name = saved_language;
        std::system(("rm -rf " + shell_text(home)).c_str());
    }
    int load(const char* language)
    {
        language_text = language;
        language_name = language_text.data();
        return load_catalog();
    }

    std::string home;
    std::string saved_home;
    char* saved_language = nullptr;
    std::string language_text;
};

TEST_F(CatalogTest, ParsesGroupsAndPairsInPlace)
{
    char text[] =
        "[LanguageInfo]\r\n"
        "Language=German\r\n"
        "  [  Error Codes  ]  \r\n"
        "; 1=commented out\n"
        "   1 \t=  Syntaxfehler.  \t\r\n"
        "2==x\n"
        " = no key\n"
        "no pair here\n"
        "3=\n"
        "[broken\n"
        "4=still in the group\n";
    parse_catalog_text(text);
    CatalogGroup* info = find_catalog_group("languageinfo");
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->name, "LanguageInfo");
    ASSERT_EQ(info->pair_count, 1);
    EXPECT_STREQ(info->pairs[0].key, "Language");
    EXPECT_STREQ(info->pairs[0].value, "German");

    CatalogGroup* codes = find_catalog_group("ERROR CODES");
    ASSERT_NE(codes, nullptr);
    EXPECT_EQ(find_catalog_group("Error"), nullptr);
    EXPECT_STREQ(catalog_string("Error Codes", 1), "Syntaxfehler.");
    EXPECT_STREQ(catalog_string("Error Codes", 2), "=x");
    EXPECT_STREQ(catalog_string("Error Codes", 3), "");
    EXPECT_STREQ(catalog_string("Error Codes", 4), "still in the group");
    EXPECT_STREQ(catalog_string("Error Codes", 5), "### String not found ###");
    EXPECT_STREQ(catalog_string("Missing", 1), "### String not found ###");
    EXPECT_EQ(codes->pair_count, 4);
    // Newest group first.
    EXPECT_EQ(catalog_groups, codes);
}

TEST_F(CatalogTest, ReadsTheLanguageInfoOnly)
{
    std::string path = home + "/c.catalog";
    write_file(path, "[Other]\nLanguage=Wrong\n[LanguageInfo]\nLanguage=" + std::string(150, 'L') +
                         "\nApplication=ZD_Compiler\n[Next]\nApplication=Other\n");
    char language[101];
    char application[101];
    ASSERT_TRUE(read_catalog_info(path.c_str(), language, application));
    EXPECT_EQ(std::string(language), std::string(100, 'L'));
    EXPECT_STREQ(application, "ZD_Compiler");
    EXPECT_FALSE(read_catalog_info((home + "/missing.catalog").c_str(), language, application));
    EXPECT_STREQ(language, "");
}

TEST_F(CatalogTest, LoadsTheLanguageFolderAndOverridesByX64)
{
    write_file(home + "/catalogs/German/compiler.catalog",
               catalog_head("GERMAN") +
                   "[ErrorCodes]\n1=Syntaxfehler.\n2=Zu viele '('.\n91=Datei nicht gefunden (%s).\n"
                   "[ErrorCodes x64]\n2=Zu viele '(' (x64).\n");
    ASSERT_EQ(load("german"), 1);
    EXPECT_STREQ(message_text(1), "Syntaxfehler.");
    EXPECT_STREQ(message_text(2), "Zu viele '(' (x64).");
    // Keys the file lacks keep the English text.
    EXPECT_STREQ(message_text(4), "Garbage at the end of the line.");
    EXPECT_STREQ(catalog_string("ErrorCodes", 4), "Garbage at the end of the line.");

    set_error_format(ERROR_FILE_NOT_FOUND, "x.zd");
    EXPECT_STREQ(error_message, "Datei nicht gefunden (x.zd).");
}

TEST_F(CatalogTest, TextWithOtherConversionsIsNotUsedForFormatting)
{
    write_file(home + "/catalogs/French/compiler.catalog",
               catalog_head("French") + "[ErrorCodes]\n91=Fichier %d %s introuvable.\n");
    ASSERT_EQ(load("French"), 1);
    set_error_format(ERROR_FILE_NOT_FOUND, "x.zd");
    EXPECT_STREQ(error_message, "File not found (x.zd).");
}

TEST_F(CatalogTest, SearchesSubFoldersAndChecksTheApplication)
{
    write_file(home + "/catalogs/a/compiler.catalog",
               catalog_head("Spanish", "ZD_Debugger") + "[ErrorCodes]\n1=Wrong application.\n");
    write_file(home + "/catalogs/b/deeper/mensajes.txt",
               catalog_head("SPANISH") + "[ErrorCodes]\n1=Error de sintaxis.\n");
    write_file(home + "/catalogs/c/compiler.catalog",
               catalog_head("Spanish") + "[ErrorCodes]\n1=Too late, b/deeper comes first.\n");
    ASSERT_EQ(load("spanish"), 1);
    EXPECT_STREQ(message_text(1), "Error de sintaxis.");
}

TEST_F(CatalogTest, MissingOrMalformedCatalogsKeepTheEnglishTexts)
{
    EXPECT_EQ(load("Klingon"), 0);
    // An empty file, a file without LanguageInfo, binary junk and a
    // LanguageInfo whose lines are cut mid-way load nothing.
    write_file(home + "/catalogs/Klingon/compiler.catalog", "");
    write_file(home + "/catalogs/x/one.catalog", "[ErrorCodes]\n1=nope\n");
    write_file(home + "/catalogs/x/two.catalog", std::string("\x00\x01[\xff]\n=\n[", 9));
    write_file(home + "/catalogs/x/three.catalog",
               "[LanguageInfo]\n" + std::string(300, ' ') + "x Language=Klingon\nApplication=ZD_Compiler\n"
               "[ErrorCodes]\n1=nope\n");
    EXPECT_EQ(load("Klingon"), 0);
    EXPECT_STREQ(message_text(1), "Syntax error.");

    language_name = nullptr;
    EXPECT_EQ(load_catalog(), 0);
}

TEST_F(CatalogTest, SecondCatalogReplacesTheFirst)
{
    write_file(home + "/catalogs/German/compiler.catalog",
               catalog_head("German") + "[ErrorCodes]\n1=Syntaxfehler.\n2=Zwei.\n");
    write_file(home + "/catalogs/Dutch/compiler.catalog",
               catalog_head("Dutch") + "[ErrorCodes]\n1=Syntaxfout.\n");
    ASSERT_EQ(load("German"), 1);
    ASSERT_EQ(load("Dutch"), 1);
    EXPECT_STREQ(message_text(1), "Syntaxfout.");
    EXPECT_STREQ(message_text(2), "Too many '(' parentheses.");
}

// The laid-out compiler in a temporary copy of the installation reads the
// catalog named by /LANGUAGE before it compiles.
TEST(CatalogCli, LanguageSwitchTranslatesErrors)
{
    char pattern[] = "/tmp/zd_catalog_cli_XXXXXX";
    std::string root = mkdtemp(pattern);
    ASSERT_EQ(std::system(("cp -r " + shell_text(ZANDREL_HOME) + " " + shell_text(root + "/zandrel")).c_str()), 0);
    write_file(root + "/zandrel/catalogs/Italian/compiler.catalog",
               catalog_head("Italian") + "[ErrorCodes]\n1=Errore di sintassi.\n");
    write_file(root + "/work/main.zd", "a b c\n");
    std::string command = "cd " + shell_text(root + "/work") + " && " + shell_text(root + "/zandrel/Compilers/zdcompiler") +
                          " /LANGUAGE italian /CHECK main.zd </dev/null 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    std::system(("rm -rf " + shell_text(root)).c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output;
    EXPECT_NE(output.find("Error: Line 1 - Errore di sintassi.\n"), std::string::npos) << output;
}

}  // namespace
