// Dialog toolkit: windows described in XML, their gadgets, folder and file
// pickers and a small preferences file. This machine has no display, so the
// toolkit runs headless: it keeps every gadget's text and state in memory and
// takes the user's actions from a script (set by a test, or read from the
// file named by ZANDREL_DIALOG_SCRIPT). Without a script no window can be
// opened. Message boxes are os_message_box (platform.h).
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
// Containers (grid, row) only place their children; gadgets with an id are
// found by that number.

enum class GadgetKind { Text, String, Button, CheckBox };

struct DialogGadget {
    GadgetKind kind;
    int32_t number;        // -1 for gadgets without an id (labels)
    std::string text;
    int32_t state = 0;     // check boxes: 1 checked
    bool disabled = false;
};

struct DialogDescription {
    std::string title;
    int32_t width = 0;
    std::vector<std::string> flags;
    std::vector<DialogGadget> gadgets;   // in document order
};

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
};

// Opens a window from a description; false when no window can be shown
// (no display and no script).
bool os_open_dialog(const DialogDescription& description, DialogWindow& window);
void os_close_dialog(DialogWindow& window);

// The gadget of a number, or null.
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
std::string os_pick_folder(const char* title, const char* start_folder);
std::string os_pick_file(const char* title, const char* start_path, const char* pattern);

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
