// Zandforge's window on a display (forge_window_test.sh starts a private X
// server): the dialog as laid out from its description, the toolkit's
// operations on it, its events, and a whole run that builds libraries.
// Before the X headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "forge/forge.h"
#include "platform/dialog_toolkit.h"
#include "platform/dialog_toolkit_fltk.h"
#include "platform/platform.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path artifacts()
{
    return ZANDREL_GUI_ARTIFACTS;
}

// The gadgets of a window in creation order (containers entered, the
// invisible fillers left out).
void collect_gadgets(Fl_Group* group, std::vector<Fl_Widget*>& gadgets)
{
    for (int i = 0; i < group->children(); ++i) {
        Fl_Widget* widget = group->child(i);
        if (Fl_Group* inner = widget->as_group()) collect_gadgets(inner, gadgets);
        else if (dynamic_cast<Fl_Input*>(widget) || (widget->label() && *widget->label())) gadgets.push_back(widget);
    }
}

std::vector<Fl_Widget*> shown_gadgets()
{
    std::vector<Fl_Widget*> gadgets;
    if (Fl_Window* window = Fl::first_window()) collect_gadgets(window, gadgets);
    return gadgets;
}

std::string kind_and_text(Fl_Widget* widget)
{
    if (auto* input = dynamic_cast<Fl_Input*>(widget)) return std::string("field ") + input->value();
    if (dynamic_cast<Fl_Check_Button*>(widget)) return std::string("checkbox ") + widget->label();
    if (dynamic_cast<Fl_Button*>(widget)) return std::string("button ") + widget->label();
    if (dynamic_cast<Fl_Box*>(widget)) return std::string("label ") + widget->label();
    return "other";
}

// Runs a step of the simulated user from the event loop, then wakes the loop.
void later(double seconds, void (*step)(void*), void* data)
{
    Fl::add_timeout(seconds, step, data);
}

void press(Fl_Widget* widget)
{
    widget->do_callback();
    Fl::awake();
}

void write_text(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_text(const std::filesystem::path& path)
{
    std::string text;
    os_read_file(path.string().c_str(), text);
    return text;
}

class ForgeWindow : public ::testing::Test {
protected:
    std::filesystem::path folder;
    std::filesystem::path previous_folder;

    static void SetUpTestSuite()
    {
        // Lets a step of the simulated user wake the event loop.
        Fl::lock();
        os_install_native_toolkit(os_fltk_dialog_toolkit());
    }

    void SetUp() override
    {
        std::string reason;
        ASSERT_TRUE(os_fltk_dialog_toolkit()->connect(reason)) << reason;
        previous_folder = std::filesystem::current_path();
        std::string pattern = os_temp_folder() + "zandforge_window_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        std::filesystem::current_path(folder);
        InitForge();
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous_folder);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static bool open_forge_dialog(DialogWindow& window, const std::string& source, const std::string& destination)
    {
        DialogDescription description;
        std::string status;
        EXPECT_TRUE(os_parse_dialog_xml(BuildDialogXml(source, destination).c_str(), description, status)) << status;
        EXPECT_TRUE(os_open_dialog(description, window, status)) << status;
        return window.native != nullptr;
    }
};

TEST_F(ForgeWindow, DialogIsLaidOutFromItsDescription)
{
    DialogWindow window;
    ASSERT_TRUE(open_forge_dialog(window, "src/", "R&D@home/"));
    Fl_Window* shown = Fl::first_window();
    ASSERT_NE(shown, nullptr);
    EXPECT_STREQ(shown->label(), "Zandforge v5.30");
    EXPECT_TRUE(shown->shown());
    EXPECT_EQ(shown->w(), 450);
    // Four lines of gadgets.
    EXPECT_EQ(shown->h(), 2 * fltk_dialog_margin + 4 * fltk_dialog_line_height + 3 * fltk_dialog_spacing);

    std::vector<Fl_Widget*> g = shown_gadgets();
    std::vector<std::string> seen;
    for (Fl_Widget* widget : g) seen.push_back(kind_and_text(widget));
    // "@" starts a symbol in FLTK labels, so a field's text is no label.
    EXPECT_EQ(seen, (std::vector<std::string>{"label Objects path :", "field src/", "button ...",
                                              "label Zandrel libraries path :", "field R&D@home/", "button ...",
                                              "checkbox Process the whole directory", "checkbox Enable compression",
                                              "button Start", "button Quit"}));
    ASSERT_EQ(g.size(), 10u);

    // Three columns: labels left, fields in the middle, "..." at the right edge.
    Fl_Widget *source_label = g[0], *source = g[1], *select_source = g[2], *destination_label = g[3],
              *destination = g[4], *select_destination = g[5], *process_all = g[6], *start = g[8], *quit = g[9];
    EXPECT_EQ(source_label->x(), fltk_dialog_margin);
    EXPECT_EQ(destination_label->x(), fltk_dialog_margin);
    EXPECT_EQ(source->x(), destination->x());
    EXPECT_EQ(source->w(), destination->w());
    EXPECT_GE(source->x(), destination_label->x() + int(fl_width("Zandrel libraries path :")));
    EXPECT_EQ(select_source->x() + select_source->w(), 450 - fltk_dialog_margin);
    EXPECT_EQ(select_destination->x(), select_source->x());
    EXPECT_GT(destination->y(), source->y());
    EXPECT_GT(process_all->y(), destination->y());
    EXPECT_GT(start->y(), process_all->y());
    EXPECT_EQ(start->x(), fltk_dialog_margin);
    EXPECT_GT(quit->x(), start->x() + start->w());

    // The positions of the gadgets, for the script that drives the program.
    {
        std::ofstream layout(artifacts() / "forge_window_layout.txt");
        for (int32_t number = 0; number <= GADGET_Compression; ++number) {
            static const int widget_of[] = {1, 4, 6, 8, 9, 2, 5, 7};
            Fl_Widget* widget = g[size_t(widget_of[number])];
            layout << number << ' ' << widget->x() << ' ' << widget->y() << ' ' << widget->w() << ' ' << widget->h()
                   << '\n';
        }
    }

    // Widening stretches the fields only: the "..." buttons move, the rest stays.
    std::vector<int> before_x, before_w;
    for (Fl_Widget* widget : g) {
        before_x.push_back(widget->x());
        before_w.push_back(widget->w());
    }
    shown->resize(shown->x(), shown->y(), 700, shown->h());
    for (size_t i = 0; i < g.size(); ++i) {
        bool field = i == 1 || i == 4;
        bool moves = i == 2 || i == 5;
        EXPECT_EQ(g[i]->x(), before_x[i] + (moves ? 250 : 0)) << seen[i];
        EXPECT_EQ(g[i]->w(), before_w[i] + (field ? 250 : 0)) << seen[i];
    }

    // The toolkit's operations reach the widgets.
    std::string odd = "C:\\50% a@b\x01\xff";
    os_set_gadget_text(window, GADGET_Source, odd);
    EXPECT_EQ(os_gadget_text(window, GADGET_Source), odd);
    EXPECT_EQ(std::string(static_cast<Fl_Input*>(source)->value()), odd);
    EXPECT_EQ(os_gadget_text(window, GADGET_Start), "Start");
    EXPECT_EQ(os_gadget_state(window, GADGET_ProcessAll), 0);
    os_set_gadget_state(window, GADGET_ProcessAll, 1);
    EXPECT_EQ(static_cast<Fl_Check_Button*>(process_all)->value(), 1);
    EXPECT_EQ(os_gadget_state(window, GADGET_ProcessAll), 1);
    os_disable_gadget(window, GADGET_Start, true);
    EXPECT_FALSE(start->active());
    os_disable_gadget(window, GADGET_Start, false);
    EXPECT_TRUE(start->active());
    os_close_dialog(window);
    EXPECT_EQ(Fl::first_window(), nullptr);
}

TEST_F(ForgeWindow, WidgetsSendGadgetEventsAndTheWindowItsClose)
{
    DialogWindow window;
    ASSERT_TRUE(open_forge_dialog(window, "", ""));
    std::vector<Fl_Widget*> g = shown_gadgets();
    ASSERT_EQ(g.size(), 10u);

    int32_t gadget = -1;
    later(0.0, [](void* widget) { press(static_cast<Fl_Widget*>(widget)); }, g[8]);
    EXPECT_EQ(os_wait_dialog_event(window, gadget), dialog_event_gadget);
    EXPECT_EQ(gadget, GADGET_Start);
    later(0.0, [](void* widget) { press(static_cast<Fl_Widget*>(widget)); }, g[7]);
    EXPECT_EQ(os_wait_dialog_event(window, gadget), dialog_event_gadget);
    EXPECT_EQ(gadget, GADGET_Compression);

    // Escape does not close the dialog (the next event is Start's); the
    // window manager's close button does.
    struct Widgets {
        Fl_Window* window;
        Fl_Widget* start;
    } widgets{Fl::first_window(), g[8]};
    later(0.0, [](void* data) {
        Widgets& w = *static_cast<Widgets*>(data);
        Fl::e_keysym = FL_Escape;
        Fl::e_text = const_cast<char*>("\x1b");
        Fl::e_length = 1;
        Fl::handle(FL_KEYBOARD, w.window);
        w.start->do_callback();
        Fl::handle(FL_CLOSE, w.window);
        Fl::awake();
    }, &widgets);
    EXPECT_EQ(os_wait_dialog_event(window, gadget), dialog_event_gadget);
    EXPECT_EQ(gadget, GADGET_Start);
    EXPECT_EQ(os_wait_dialog_event(window, gadget), dialog_event_close);
    EXPECT_EQ(gadget, -1);
    os_close_dialog(window);
}

// The simulated user of a whole run.
struct User {
    std::filesystem::path folder;
    int step = 0;
    bool start_was_enabled_after_the_run = false;
};

void user_step(void* data)
{
    User& user = *static_cast<User*>(data);
    std::vector<Fl_Widget*> g = shown_gadgets();
    if (g.size() != 10) return;   // the test fails on the missing files
    switch (user.step++) {
    case 0:
        static_cast<Fl_Input*>(g[1])->value((user.folder / "src").string().c_str());
        static_cast<Fl_Input*>(g[4])->value(((user.folder / "dest").string() + "/").c_str());
        static_cast<Fl_Check_Button*>(g[6])->value(1);
        press(g[8]);
        later(0.05, user_step, data);
        break;
    case 1: {
        user.start_was_enabled_after_the_run = g[8]->active() != 0;
        Fl::flush();
        std::string command = "import -window " + std::to_string(fl_xid(Fl::first_window())) + " " +
                              (artifacts() / "forge_window.png").string();
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        press(g[9]);
        break;
    }
    }
}

TEST_F(ForgeWindow, StartBuildsTheLibrariesOfTheSourceFolder)
{
    std::filesystem::create_directory(folder / "src");
    std::filesystem::create_directory(folder / "dest");
    write_text(folder / "src" / "alpha.desc", "C\n0\nOBJ\n0\nHelp\nFoo\nDEBUGGERCHECK\nBar\nLONG\n");
    write_text(folder / "src" / "Alpha.obj", std::string(3000, 'a'));
    write_text(folder / "src" / "beta.desc", "C\n0\nOBJ\n0\nH\nB\nDEBUGGERCHECK\n");
    write_text(folder / "src" / "Beta.obj", "B");
    write_text(folder / "Zandforge.prefs", "SourcePath = elsewhere\n");

    User user{folder};
    later(0.05, user_step, &user);
    char name[] = "Zandforge";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(RunForge(1, argv), 0);
    EXPECT_EQ(user.step, 2);
    EXPECT_TRUE(user.start_was_enabled_after_the_run);
    std::string alpha = read_text(folder / "dest" / "Alpha");
    ASSERT_GT(alpha.size(), 20u);
    EXPECT_LT(alpha.size(), 3000u) << "compressed, as checked by default";
    EXPECT_FALSE(read_text(folder / "dest" / "Beta").empty());
    EXPECT_EQ(read_text(folder / "Zandforge.log"),
              "---------------- Alpha ------------------------\nBar: no debugger routine\n"
              "---------------- Beta ------------------------\n");
    EXPECT_EQ(read_text(folder / "Zandforge.prefs"), "SourcePath = " + (folder / "src").string() +
                                                         "\nDestinationPath = " + (folder / "dest").string() +
                                                         "/\nProcessAll = 1\nCompression = 1\n");
    EXPECT_TRUE(std::filesystem::exists(artifacts() / "forge_window.png"));
}

TEST(FltkToolkit, PickerPatternsAndLabelTexts)
{
    EXPECT_EQ(fltk_file_filter("Zand Descriptors|*.desc;*.desc"), "Zand Descriptors (*.desc)");
    EXPECT_EQ(fltk_file_filter("Objects|*.obj;*.lib|All|*"), "Objects (*.{obj,lib})\tAll (*)");
    EXPECT_EQ(fltk_file_filter("Mixed|*.c;Makefile"), "Mixed ({*.c,Makefile})");
    EXPECT_EQ(fltk_file_filter(""), "");
    EXPECT_EQ(fltk_label_text("me@host @@"), "me@@host @@@@");
}

}  // namespace
