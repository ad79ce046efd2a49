// Dialog toolkit: windows described in XML, their gadgets, folder and file
// pickers, message boxes and a small preferences file.
//
// Two ways to show a window:
// - a window toolkit on a display, installed by the program with
//   os_install_native_toolkit (the FLTK one: dialog_toolkit_fltk.cpp); the
//   display is opened on first need, so a batch run without boxes never
//   touches it;
// - headless: every gadget's text and state kept in memory and the user's
//   actions taken from a script (set by a test, or read from the file named
//   by ZANDREL_DIALOG_SCRIPT). An installed script always wins.
// Without either no window can be opened, and message boxes go to standard
// error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Dialog descriptions.
//
// <window title="..." width="450" minwidth="auto" minheight="auto"
//         maxheight="auto" flags="centred sysmenu minimise resizable">
//   <grid columns="3" stretch="2"> ... </grid>
//   <row> ... </row>
//   <text text="Label"/>  <string id="0" text="..."/>
//   <button id="3" text="Start"/>  <checkbox id="2" text="..."/>
// </window>
//
// Containers (grid, row) sit directly in the window, one under the other,
// and only place their children; a gadget outside a container is a row of
// its own. A grid fills its columns row by row, and its column `stretch`
// (counted from 1) takes the width the others leave. Gadgets with an id are
// found by that number.

enum class GadgetKind { Text, String, Button, CheckBox };

struct DialogContainer {
    bool grid = false;      // else a row, left to right
    int32_t columns = 1;
    int32_t stretch = 0;    // 0: no column stretches
};

struct DialogGadget {
    GadgetKind kind;
    int32_t number;        // -1 for gadgets without an id (labels)
    std::string text;
    int32_t state = 0;     // check boxes: 1 checked
    bool disabled = false;
    int32_t container = -1;   // index into DialogDescription::containers
};

struct DialogDescription {
    std::string title;
    int32_t width = 0;
    std::vector<std::string> flags;
    std::vector<DialogContainer> containers;
    std::vector<DialogGadget> gadgets;   // in document order
};

bool os_dialog_has_flag(const DialogDescription& description, const char* flag);
// True when the text can stand in an XML attribute value at all: valid
// UTF-8 without control characters other than tab, line feed and carriage
// return (which need character references) and without U+FFFE, U+FFFF.
bool os_text_fits_xml(const std::string& text);
// The text escaped for an XML attribute value between double quotes.
std::string os_escape_xml_attribute(const std::string& text);

// Parses a description; false with a message in `status` when the XML is
// malformed or does not describe one window.
bool os_parse_dialog_xml(const char* xml, DialogDescription& description, std::string& status);

// ---------------------------------------------------------------------------
// Open dialogs and events.

constexpr int32_t dialog_event_gadget = 13100;
constexpr int32_t dialog_event_close = 13116;

struct DialogWindow {
    DialogDescription description;
    bool open = false;
    void* native = nullptr;   // the toolkit's window; null when headless
};

// Opens a window from a description; false with the reason in `status` when
// no window can be shown (no display, no toolkit, no script).
bool os_open_dialog(const DialogDescription& description, DialogWindow& window, std::string& status);
void os_close_dialog(DialogWindow& window);

// The gadget of a number, or null. On a toolkit window it is the gadget as
// described: its text and state are read with the functions below.
DialogGadget* os_find_gadget(DialogWindow& window, int32_t number);
std::string os_gadget_text(DialogWindow& window, int32_t number);
void os_set_gadget_text(DialogWindow& window, int32_t number, const std::string& text);
int32_t os_gadget_state(DialogWindow& window, int32_t number);
void os_set_gadget_state(DialogWindow& window, int32_t number, int32_t state);
void os_disable_gadget(DialogWindow& window, int32_t number, bool disabled);

// Waits for the next event: dialog_event_gadget with the gadget's number, or
// dialog_event_close. A script that runs out closes the window.
int32_t os_wait_dialog_event(DialogWindow& window, int32_t& gadget);

// Pickers; an empty text when cancelled (or when the script has no answer).
// A chosen folder ends with a separator. The pattern is a name and its
// patterns, "Name|*.a;*.b", more such pairs following after a "|".
std::string os_pick_folder(const char* title, const char* start_folder);
std::string os_pick_file(const char* title, const char* start_path, const char* pattern);

// A message box that waits for the user; without a display (or headless)
// it writes "title: text" and a line feed to standard error and returns at
// once.
void os_message_box(const char* title, const char* text);

// ---------------------------------------------------------------------------
// The window toolkit behind the operations above. Texts are passed as they
// are; a toolkit window is the `native` of its DialogWindow.

struct NativeDialogToolkit {
    // Opens the display once (later calls give the first answer); false
    // with the reason when there is none.
    bool (*connect)(std::string& reason);
    // Shows a window (after connect); null with the reason on failure.
    void* (*open_window)(const DialogDescription& description, std::string& reason);
    void (*close_window)(void* window);
    std::string (*gadget_text)(void* window, int32_t number);
    void (*set_gadget_text)(void* window, int32_t number, const std::string& text);
    int32_t (*gadget_state)(void* window, int32_t number);
    void (*set_gadget_state)(void* window, int32_t number, int32_t state);
    void (*disable_gadget)(void* window, int32_t number, bool disabled);
    // Blocks until the window has an event: dialog_event_gadget or _close.
    int32_t (*wait_event)(void* window, int32_t& gadget);
    std::string (*pick_folder)(const char* title, const char* start_folder);
    std::string (*pick_file)(const char* title, const char* start_path, const char* pattern);
    void (*message_box)(const char* title, const char* text);
};

// Installs the toolkit (null removes it).
void os_install_native_toolkit(const NativeDialogToolkit* toolkit);
// The FLTK toolkit; only in builds that have FLTK (ZANDREL_HAVE_FLTK).
const NativeDialogToolkit* os_fltk_dialog_toolkit();

// ---------------------------------------------------------------------------
// The headless script: the user's actions in order.
//
// Script text, one action a line ("#" lines and empty lines are skipped):
//   text <gadget> <text>     types a field's text
//   check <gadget> <0|1>     sets a check box
//   press <gadget>           clicks a button (a check box toggles)
//   close                    closes the window
//   folder <path>            the next folder picker's answer ("" cancels)
//   file <path>              the next file picker's answer ("" cancels)

enum class DialogActionKind { SetText, SetState, Press, Close, FolderAnswer, FileAnswer };

struct DialogAction {
    DialogActionKind kind = DialogActionKind::Close;
    int32_t gadget = -1;
    std::string text;
    int32_t state = 0;
};

// Installs a script (replacing any earlier one).
void os_set_dialog_script(const std::vector<DialogAction>& actions);
// Parses script text; false (and nothing installed) on a line it can't read.
bool os_load_dialog_script(const char* text);
// Drops the script: no window can be opened any more.
void os_clear_dialog_script();
// Installs the script of the file named by ZANDREL_DIALOG_SCRIPT, if any.
void os_load_dialog_script_from_environment();

// ---------------------------------------------------------------------------
// Preferences: "Key = Value" lines.

struct PreferencesFile {
    std::string path;
    std::vector<std::pair<std::string, std::string>> entries;
    bool writing = false;
};

// Reads a preferences file; false when it is missing or unreadable.
bool os_open_preferences(const char* path, PreferencesFile& preferences);
// Starts a new preferences file; false when the file can't be created.
bool os_create_preferences(const char* path, PreferencesFile& preferences);
std::string os_read_preference_text(const PreferencesFile& preferences, const char* key, const char* fallback);
int64_t os_read_preference_integer(const PreferencesFile& preferences, const char* key, int64_t fallback);
void os_write_preference_text(PreferencesFile& preferences, const char* key, const std::string& value);
void os_write_preference_integer(PreferencesFile& preferences, const char* key, int64_t value);
// Writes a created file; false when writing fails.
bool os_close_preferences(PreferencesFile& preferences);
