// Zandforge's dialog on the headless toolkit: the description, the folder
// pickers, the options, Start, and the preferences kept between runs.
#include "forge_test_support.h"
#include "platform/dialog_toolkit.h"

#include <sys/wait.h>

#include <cstdlib>
#include <vector>

namespace {

int run_forge_without_arguments()
{
    char name[] = "Zandforge";
    char* argv[] = {name, nullptr};
    return RunForge(1, argv);
}

DialogAction action(DialogActionKind kind, int32_t gadget = -1, const std::string& text = "", int32_t state = 0)
{
    DialogAction a;
    a.kind = kind;
    a.gadget = gadget;
    a.text = text;
    a.state = state;
    return a;
}

const char* debugger_descriptor = "C\n0\nOBJ\n0\nHelp\nFoo\nDEBUGGERCHECK\nBar\nLONG\n";

class ForgeDialog : public ForgeTest {
protected:
    void TearDown() override
    {
        os_clear_dialog_script();
        ForgeTest::TearDown();
    }
    // Two descriptors with their objects in src/ and an empty dest/.
    void make_sources()
    {
        std::filesystem::create_directory(folder / "src");
        std::filesystem::create_directory(folder / "dest");
        write_file(folder / "src" / "alpha.desc", debugger_descriptor);
        write_file(folder / "src" / "Alpha.obj", std::string(2000, 'a'));
        write_file(folder / "src" / "beta.desc", "C\n0\nOBJ\n0\nH\nB\nLONG\n");
        write_file(folder / "src" / "Beta.obj", "B");
    }
    std::string preferences() { return read_file(folder / "Zandforge.prefs"); }
};

TEST_F(ForgeDialog, DescriptionHoldsTheGadgetsAndEscapedFolders)
{
    DialogDescription description;
    std::string status;
    std::string source = "C:\\a&b <\"x\">\\";
    ASSERT_TRUE(os_parse_dialog_xml(BuildDialogXml(source, "D:\\libs\\").c_str(), description, status)) << status;
    EXPECT_EQ(description.title, "Zandforge v5.30");
    EXPECT_EQ(description.width, 450);
    ASSERT_EQ(description.gadgets.size(), 10u);
    EXPECT_EQ(description.gadgets[0].text, "Objects path :");
    EXPECT_EQ(description.gadgets[0].number, -1);

    // A grid of three columns, the middle one stretching, and two rows.
    ASSERT_EQ(description.containers.size(), 3u);
    EXPECT_TRUE(description.containers[0].grid);
    EXPECT_EQ(description.containers[0].columns, 3);
    EXPECT_EQ(description.containers[0].stretch, 2);
    EXPECT_FALSE(description.containers[1].grid);
    std::vector<int32_t> containers;
    for (const DialogGadget& gadget : description.gadgets) containers.push_back(gadget.container);
    EXPECT_EQ(containers, (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 1, 1, 2, 2}));
    EXPECT_TRUE(os_dialog_has_flag(description, "resizable"));
    EXPECT_FALSE(os_dialog_has_flag(description, "resiz"));

    DialogWindow window;
    EXPECT_FALSE(os_open_dialog(description, window, status)) << "no display and no script";
    EXPECT_EQ(status, "this build has no window toolkit");
    os_set_dialog_script({});
    ASSERT_TRUE(os_open_dialog(description, window, status));
    EXPECT_EQ(os_gadget_text(window, GADGET_Source), source);
    EXPECT_EQ(os_gadget_text(window, GADGET_Destination), "D:\\libs\\");
    EXPECT_EQ(os_gadget_text(window, GADGET_Start), "Start");
    EXPECT_EQ(os_gadget_text(window, GADGET_Quit), "Quit");
    EXPECT_EQ(os_gadget_text(window, GADGET_SelectDestination), "...");
    EXPECT_EQ(os_gadget_text(window, GADGET_ProcessAll), "Process the whole directory");
    EXPECT_EQ(os_find_gadget(window, GADGET_Compression)->kind, GadgetKind::CheckBox);
    int32_t gadget = 0;
    EXPECT_EQ(os_wait_dialog_event(window, gadget), dialog_event_close) << "an ended script closes";

    EXPECT_FALSE(os_parse_dialog_xml("<window><string text='x'/></window>", description, status));
    EXPECT_EQ(status, "a gadget without id (line 1)");
    EXPECT_FALSE(os_parse_dialog_xml("<window><slider id='1'/></window>", description, status));
    EXPECT_FALSE(os_parse_dialog_xml("<window><button id='1'/><button id='1'/></window>", description, status));
    EXPECT_FALSE(os_parse_dialog_xml("<window><row></window>", description, status));
    EXPECT_NE(status.find("mismatched tag"), std::string::npos) << status;
    EXPECT_FALSE(os_parse_dialog_xml("", description, status));
    EXPECT_FALSE(os_parse_dialog_xml("<window><row><grid/></row></window>", description, status));
    EXPECT_FALSE(os_parse_dialog_xml("<window><grid columns='2' stretch='3'/></window>", description, status));
    EXPECT_FALSE(os_parse_dialog_xml("<window><grid columns='0'/></window>", description, status));
    ASSERT_TRUE(os_parse_dialog_xml("<window><button id='4' text='Alone'/></window>", description, status));
    EXPECT_EQ(description.gadgets[0].container, -1);
}

TEST_F(ForgeDialog, FoldersOfAnyTextReachTheFieldsAndComeBack)
{
    // What XML can carry goes in escaped; what it can't (control bytes,
    // broken UTF-8) is set once the dialog is open.
    EXPECT_TRUE(os_text_fits_xml("R&D <\"x\"> 'y'\tz \xC3\xA9 \xF0\x9F\x98\x80"));
    for (const char* text : {"a\x01", "\xFF", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xEF\xBF\xBE", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(os_text_fits_xml(text)) << text;
    DialogDescription description;
    std::string status;
    ASSERT_TRUE(os_parse_dialog_xml(BuildDialogXml("a\x01", "\xFF").c_str(), description, status)) << status;
    EXPECT_EQ(description.gadgets[1].text, "");

    std::string source = "R&D <\"x\"> 'y'\tz";
    std::string destination = "lib\x01\xFF\\";
    write_file(folder / "Zandforge.prefs", "SourcePath = " + source + "\nDestinationPath = " + destination + "\n");
    os_set_dialog_script({action(DialogActionKind::Close)});
    EXPECT_EQ(run_forge_without_arguments(), 0);
    EXPECT_EQ(messages(), "");
    EXPECT_EQ(preferences(), "SourcePath = " + source + "\nDestinationPath = " + destination +
                                 "\nProcessAll = 0\nCompression = 1\n");
}

TEST_F(ForgeDialog, WithoutDisplayOneLineAndNothingSaved)
{
    write_file(folder / "Zandforge.prefs", "SourcePath = src\\\n");
    EXPECT_EQ(run_forge_without_arguments(), 1);
    EXPECT_EQ(messages(), "Zandforge: cannot open the dialog: this build has no window toolkit\n");
    EXPECT_EQ(preferences(), "SourcePath = src\\\n");
    std::filesystem::remove(folder / "Zandforge.prefs");
    EXPECT_EQ(run_forge_without_arguments(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder / "Zandforge.prefs"));

    // The program, without DISPLAY.
    std::string command = "env -u DISPLAY " + std::string(ZANDREL_HOME) + "/Compilers/Zandforge /NOLOG 2>" +
                          (folder / "stderr.txt").string();
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
#ifdef ZANDREL_HAVE_FLTK
    EXPECT_EQ(read_file(folder / "stderr.txt"), "Zandforge: cannot open the dialog: no display (DISPLAY is not set)\n");
#else
    EXPECT_EQ(read_file(folder / "stderr.txt"), "Zandforge: cannot open the dialog: this build has no window toolkit\n");
#endif
    EXPECT_FALSE(std::filesystem::exists(folder / "Zandforge.prefs"));
}

TEST_F(ForgeDialog, WholeDirectoryFromPickedFoldersLogsWarnings)
{
    make_sources();
    write_file(folder / "Zandforge.log", "an old run\n");
    std::string source = (folder / "src").string();
    std::string destination = (folder / "dest").string() + "/";
    os_set_dialog_script({
        action(DialogActionKind::Press, GADGET_SelectSource),
        action(DialogActionKind::FolderAnswer, -1, source),
        action(DialogActionKind::Press, GADGET_SelectDestination),
        action(DialogActionKind::FolderAnswer, -1, destination),
        action(DialogActionKind::Press, GADGET_ProcessAll),
        action(DialogActionKind::SetState, GADGET_Compression, "", 0),
        action(DialogActionKind::Press, GADGET_Start),
        action(DialogActionKind::Press, GADGET_Quit),
        action(DialogActionKind::Press, GADGET_Start),
    });
    EXPECT_EQ(run_forge_without_arguments(), 0);
    EXPECT_EQ(messages(), "") << "the warning went to the log";
    // A picked folder ends with a separator.
    EXPECT_EQ(SourcePath, source + "/");
    EXPECT_EQ(DestinationPath, destination);
    EXPECT_TRUE(BatchMode);
    std::string alpha = read_file(folder / "dest" / "Alpha");
    ASSERT_GT(alpha.size(), 2000u);
    EXPECT_EQ(read_u32_at(alpha, LIBRARY_OFFSET_OPTIONS), 0u);
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "Beta"));
    EXPECT_EQ(read_file(folder / "Zandforge.log"),
              "---------------- Alpha ------------------------\nBar: no debugger routine\n"
              "---------------- Beta ------------------------\nB: no debugger routine\n");
    EXPECT_EQ(preferences(), "SourcePath = " + source + "/\nDestinationPath = " + destination +
                                 "\nProcessAll = 1\nCompression = 0\n");

    // The next run starts from the saved folders and options.
    os_set_dialog_script({action(DialogActionKind::Close)});
    EXPECT_EQ(run_forge_without_arguments(), 0);
    EXPECT_EQ(preferences(), "SourcePath = " + source + "/\nDestinationPath = " + destination +
                                 "\nProcessAll = 1\nCompression = 0\n");
}

TEST_F(ForgeDialog, EmptySourceFieldIsTheCurrentFolder)
{
    std::filesystem::create_directory(folder / "dest");
    write_file(folder / "gamma.desc", debugger_descriptor);
    write_file(folder / "Gamma.obj", "GAMMA");
    os_set_dialog_script({
        action(DialogActionKind::SetText, GADGET_Destination, "dest/"),
        action(DialogActionKind::SetState, GADGET_ProcessAll, "", 1),
        action(DialogActionKind::Press, GADGET_Start),
    });
    EXPECT_EQ(run_forge_without_arguments(), 0);
    EXPECT_EQ(SourcePath, "");
    EXPECT_EQ(messages(), "");
    EXPECT_NE(read_file(folder / "dest" / "Gamma").find("GAMMA"), std::string::npos);

    // An empty parameter ends the command line: the dialog opens.
    std::vector<std::string> arguments = {"Zandforge", "", "gamma.desc"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    os_set_dialog_script({action(DialogActionKind::Close)});
    EXPECT_EQ(RunForge(3, argv.data()), 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "Zandforge.prefs"));
}

TEST_F(ForgeDialog, StartWithOneDescriptorFromTheFilePicker)
{
    make_sources();
    // Defaults: compression on, one descriptor at a time; the source folder
    // gets a separator, the destination is used as typed.
    os_set_dialog_script({
        action(DialogActionKind::SetText, GADGET_Source, "src"),
        action(DialogActionKind::SetText, GADGET_Destination, "dest/"),
        action(DialogActionKind::Press, GADGET_Start),
        action(DialogActionKind::FileAnswer, -1, "src/alpha.desc"),
        action(DialogActionKind::Press, GADGET_Start),
    });
    EXPECT_EQ(run_forge_without_arguments(), 0);
    EXPECT_EQ(SourcePath, "src\\");
    EXPECT_FALSE(BatchMode);
    // Outside the whole-directory run the warning is a message box, and the
    // second Start, whose picker was cancelled, writes nothing.
    EXPECT_EQ(messages(), "Warning: Line 9: Bar: no debugger routine\n");
    EXPECT_TRUE(ErrorFlag);
    std::string alpha = read_file(folder / "dest" / "Alpha");
    ASSERT_GT(alpha.size(), 20u);
    EXPECT_EQ(read_u32_at(alpha, LIBRARY_OFFSET_OPTIONS), LIBRARY_OPTION_COMPRESSED);
    EXPECT_LT(alpha.size(), 2000u);
    EXPECT_FALSE(std::filesystem::exists(folder / "dest" / "Beta"));
    EXPECT_EQ(read_file(folder / "Zandforge.log").find("no debugger routine"), std::string::npos);
    EXPECT_EQ(preferences(), "SourcePath = src\nDestinationPath = dest/\nProcessAll = 0\nCompression = 1\n");
}

TEST_F(ForgeDialog, PreferencesFileAndScriptText)
{
    PreferencesFile file;
    EXPECT_FALSE(os_open_preferences("missing.prefs", file));
    EXPECT_EQ(os_read_preference_integer(file, "Compression", 1), 1);
    write_file(folder / "p.prefs", "; note\nProcessAll = x2\n  Compression=0  \r\nSourcePath = a = b\nno pair\n");
    ASSERT_TRUE(os_open_preferences("p.prefs", file));
    EXPECT_EQ(os_read_preference_integer(file, "ProcessAll", 7), 7);
    EXPECT_EQ(os_read_preference_integer(file, "Compression", 1), 0);
    EXPECT_EQ(os_read_preference_text(file, "SourcePath", ""), "a = b");
    EXPECT_EQ(os_read_preference_text(file, "DestinationPath", "none"), "none");
    EXPECT_FALSE(os_create_preferences((folder / "no" / "such" / "x.prefs").string().c_str(), file));

    EXPECT_TRUE(os_load_dialog_script("# a user\ntext 0 C:\\My Objects\\\ncheck 7 0\r\npress 3\nfile \"\"\nclose\n"));
    EXPECT_FALSE(os_load_dialog_script("press three\n"));
    EXPECT_FALSE(os_load_dialog_script("check 2 yes\n"));
    EXPECT_FALSE(os_load_dialog_script("dance\n"));
}

TEST_F(ForgeDialog, ProgramTakesItsUserFromAScriptFile)
{
    make_sources();
    write_file(folder / "user.script",
               "text 0 " + (folder / "src").string() + "\ntext 1 " + (folder / "dest").string() +
                   "/\ncheck 2 1\npress 3\nclose\n");
    std::string command = "env -u DISPLAY ZANDREL_DIALOG_SCRIPT=" + (folder / "user.script").string() + " " +
                          std::string(ZANDREL_HOME) + "/Compilers/Zandforge 2>" + (folder / "stderr.txt").string();
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(folder / "stderr.txt"), "");
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "Alpha"));
    EXPECT_TRUE(std::filesystem::exists(folder / "dest" / "Beta"));
    EXPECT_NE(preferences().find("ProcessAll = 1\n"), std::string::npos);
}

}  // namespace
