#include "platform/dialog_toolkit.h"

#include <expat.h>

#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/platform.h"

namespace {

// The headless user: events for the window and answers for the pickers.
struct DialogScript {
    bool installed = false;
    std::deque<DialogAction> events;
    std::deque<std::string> folder_answers;
    std::deque<std::string> file_answers;
};

DialogScript& dialog_script()
{
    static DialogScript script;
    return script;
}

const NativeDialogToolkit* native_toolkit = nullptr;

// The toolkit when it has a display; asks it once for one.
const NativeDialogToolkit* connected_toolkit(std::string& reason)
{
    if (!native_toolkit) {
        reason = "this build has no window toolkit";
        return nullptr;
    }
    return native_toolkit->connect(reason) ? native_toolkit : nullptr;
}

// ---------------------------------------------------------------------------
// Description parser

struct DescriptionParser {
    XML_Parser parser;
    DialogDescription* description;
    int depth = 0;
    bool window_seen = false;
    int32_t container = -1;   // the open container, or -1
    std::string error;
};

const char* attribute_of(const XML_Char** attributes, const char* name)
{
    for (int i = 0; attributes[i]; i += 2) {
        if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
    }
    return nullptr;
}

bool parse_number(const char* text, int32_t& value)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    long number = std::strtol(text, &end, 10);
    if (*end || number < 0 || number > 0x7fffffff) return false;
    value = int32_t(number);
    return true;
}

void fail_description(DescriptionParser& state, const std::string& message)
{
    if (state.error.empty()) {
        state.error = message + " (line " + std::to_string(XML_GetCurrentLineNumber(state.parser)) + ")";
    }
    XML_StopParser(state.parser, XML_FALSE);
}

void XMLCALL start_description_element(void* data, const XML_Char* name, const XML_Char** attributes)
{
    DescriptionParser& state = *static_cast<DescriptionParser*>(data);
    int depth = state.depth++;
    if (std::strcmp(name, "window") == 0) {
        if (depth != 0 || state.window_seen) return fail_description(state, "a window inside a window");
        state.window_seen = true;
        const char* title = attribute_of(attributes, "title");
        state.description->title = title ? title : "";
        const char* width = attribute_of(attributes, "width");
        if (width && !parse_number(width, state.description->width)) {
            return fail_description(state, "bad width");
        }
        const char* flags = attribute_of(attributes, "flags");
        for (const char* p = flags ? flags : ""; *p;) {
            while (*p == ' ') ++p;
            const char* start = p;
            while (*p && *p != ' ') ++p;
            if (p > start) state.description->flags.emplace_back(start, p);
        }
        return;
    }
    if (depth == 0) return fail_description(state, "the description must be one window");
    bool grid = std::strcmp(name, "grid") == 0;
    if (grid || std::strcmp(name, "row") == 0) {
        if (depth != 1) return fail_description(state, "a container inside a container or gadget");
        DialogContainer container;
        container.grid = grid;
        if (grid) {
            const char* columns = attribute_of(attributes, "columns");
            const char* stretch = attribute_of(attributes, "stretch");
            if (columns && (!parse_number(columns, container.columns) || container.columns < 1)) {
                return fail_description(state, "bad column count");
            }
            if (stretch && (!parse_number(stretch, container.stretch) || container.stretch > container.columns)) {
                return fail_description(state, "bad stretching column");
            }
        }
        state.container = int32_t(state.description->containers.size());
        state.description->containers.push_back(container);
        return;
    }
    if (depth > 2 || (depth == 2 && state.container < 0)) {
        return fail_description(state, std::string("a gadget inside '") + name + "'");
    }

    DialogGadget gadget{GadgetKind::Text, -1, "", 0, false};
    if (std::strcmp(name, "text") == 0) gadget.kind = GadgetKind::Text;
    else if (std::strcmp(name, "string") == 0) gadget.kind = GadgetKind::String;
    else if (std::strcmp(name, "button") == 0) gadget.kind = GadgetKind::Button;
    else if (std::strcmp(name, "checkbox") == 0) gadget.kind = GadgetKind::CheckBox;
    else return fail_description(state, std::string("unknown element '") + name + "'");

    const char* id = attribute_of(attributes, "id");
    if (id && !parse_number(id, gadget.number)) return fail_description(state, "bad gadget id");
    if (gadget.kind != GadgetKind::Text && !id) return fail_description(state, "a gadget without id");
    for (const DialogGadget& other : state.description->gadgets) {
        if (id && other.number == gadget.number) return fail_description(state, "gadget id used twice");
    }
    const char* text = attribute_of(attributes, "text");
    gadget.text = text ? text : "";
    gadget.container = depth == 2 ? state.container : -1;
    state.description->gadgets.push_back(gadget);
}

void XMLCALL end_description_element(void* data, const XML_Char*)
{
    DescriptionParser& state = *static_cast<DescriptionParser*>(data);
    if (--state.depth == 1) state.container = -1;
}

// ---------------------------------------------------------------------------
// Script text

bool parse_script_line(const std::string& line, DialogAction& action, bool& skip)
{
    skip = false;
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') {
        skip = true;
        return true;
    }
    size_t word_end = line.find_first_of(" \t", start);
    std::string word = line.substr(start, word_end == std::string::npos ? std::string::npos : word_end - start);
    std::string rest;
    if (word_end != std::string::npos) {
        size_t rest_start = line.find_first_not_of(" \t", word_end);
        if (rest_start != std::string::npos) rest = line.substr(rest_start);
    }
    // The gadget number and what follows it.
    auto split_gadget = [&](std::string& after) {
        size_t end = rest.find_first_of(" \t");
        std::string number = rest.substr(0, end);
        after.clear();
        if (end != std::string::npos) {
            size_t after_start = rest.find_first_not_of(" \t", end);
            if (after_start != std::string::npos) after = rest.substr(after_start);
        }
        return parse_number(number.c_str(), action.gadget);
    };
    std::string after;
    if (word == "text") {
        action.kind = DialogActionKind::SetText;
        if (!split_gadget(after)) return false;
        action.text = after;
        return true;
    }
    if (word == "check") {
        action.kind = DialogActionKind::SetState;
        if (!split_gadget(after) || (after != "0" && after != "1")) return false;
        action.state = after == "1";
        return true;
    }
    if (word == "press") {
        action.kind = DialogActionKind::Press;
        return split_gadget(after) && after.empty();
    }
    if (word == "close") {
        action.kind = DialogActionKind::Close;
        return rest.empty();
    }
    if (word == "folder" || word == "file") {
        action.kind = word == "folder" ? DialogActionKind::FolderAnswer : DialogActionKind::FileAnswer;
        action.text = rest == "\"\"" ? "" : rest;
        return true;
    }
    return false;
}

size_t find_entry(const PreferencesFile& preferences, const char* key)
{
    for (size_t i = 0; i < preferences.entries.size(); ++i) {
        if (preferences.entries[i].first == key) return i;
    }
    return preferences.entries.size();
}

std::string trimmed(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(start, end - start + 1);
}

}  // namespace

bool os_parse_dialog_xml(const char* xml, DialogDescription& description, std::string& status)
{
    description = DialogDescription();
    status.clear();
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) {
        status = "out of memory";
        return false;
    }
    DescriptionParser state;
    state.parser = parser;
    state.description = &description;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, start_description_element, end_description_element);
    XML_Status result = XML_Parse(parser, xml, int(std::strlen(xml)), XML_TRUE);
    if (result != XML_STATUS_OK && state.error.empty()) {
        state.error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " (line " +
                      std::to_string(XML_GetCurrentLineNumber(parser)) + ")";
    }
    XML_ParserFree(parser);
    if (state.error.empty() && !state.window_seen) state.error = "no window";
    if (!state.error.empty()) {
        status = state.error;
        description = DialogDescription();
        return false;
    }
    return true;
}

bool os_dialog_has_flag(const DialogDescription& description, const char* flag)
{
    for (const std::string& item : description.flags) {
        if (item == flag) return true;
    }
    return false;
}

bool os_text_fits_xml(const std::string& text)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
            ++p;
            continue;
        }
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (length == 0 || c > 0xF4 || end - p < length) return false;
        uint32_t code = c & (0x3F >> (length - 1));
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF) return false;   // overlong or too large
        if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) return false;
        p += length;
    }
    return true;
}

std::string os_escape_xml_attribute(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        // A parser turns these into blanks unless they are references.
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

void os_install_native_toolkit(const NativeDialogToolkit* toolkit)
{
    native_toolkit = toolkit;
}

bool os_open_dialog(const DialogDescription& description, DialogWindow& window, std::string& status)
{
    window = DialogWindow();
    status.clear();
    window.description = description;
    if (!dialog_script().installed) {
        const NativeDialogToolkit* toolkit = connected_toolkit(status);
        if (!toolkit) return false;
        window.native = toolkit->open_window(description, status);
        if (!window.native) return false;
    }
    window.open = true;
    return true;
}

void os_close_dialog(DialogWindow& window)
{
    if (window.native) native_toolkit->close_window(window.native);
    window.native = nullptr;
    window.open = false;
}

DialogGadget* os_find_gadget(DialogWindow& window, int32_t number)
{
    if (number < 0) return nullptr;
    for (DialogGadget& gadget : window.description.gadgets) {
        if (gadget.number == number) return &gadget;
    }
    return nullptr;
}

std::string os_gadget_text(DialogWindow& window, int32_t number)
{
    if (window.native) return native_toolkit->gadget_text(window.native, number);
    DialogGadget* gadget = os_find_gadget(window, number);
    return gadget ? gadget->text : std::string();
}

void os_set_gadget_text(DialogWindow& window, int32_t number, const std::string& text)
{
    if (window.native) return native_toolkit->set_gadget_text(window.native, number, text);
    if (DialogGadget* gadget = os_find_gadget(window, number)) gadget->text = text;
}

int32_t os_gadget_state(DialogWindow& window, int32_t number)
{
    if (window.native) return native_toolkit->gadget_state(window.native, number);
    DialogGadget* gadget = os_find_gadget(window, number);
    return gadget && gadget->kind == GadgetKind::CheckBox ? gadget->state : 0;
}

void os_set_gadget_state(DialogWindow& window, int32_t number, int32_t state)
{
    if (window.native) return native_toolkit->set_gadget_state(window.native, number, state);
    DialogGadget* gadget = os_find_gadget(window, number);
    if (gadget && gadget->kind == GadgetKind::CheckBox) gadget->state = state ? 1 : 0;
}

void os_disable_gadget(DialogWindow& window, int32_t number, bool disabled)
{
    if (window.native) return native_toolkit->disable_gadget(window.native, number, disabled);
    if (DialogGadget* gadget = os_find_gadget(window, number)) gadget->disabled = disabled;
}

int32_t os_wait_dialog_event(DialogWindow& window, int32_t& gadget)
{
    gadget = -1;
    if (window.native) return native_toolkit->wait_event(window.native, gadget);
    DialogScript& script = dialog_script();
    while (window.open && !script.events.empty()) {
        DialogAction action = script.events.front();
        script.events.pop_front();
        DialogGadget* target = os_find_gadget(window, action.gadget);
        switch (action.kind) {
        case DialogActionKind::SetText:
            // The user types only into enabled fields.
            if (target && target->kind == GadgetKind::String && !target->disabled) target->text = action.text;
            break;
        case DialogActionKind::SetState:
            if (target && target->kind == GadgetKind::CheckBox && !target->disabled) target->state = action.state;
            break;
        case DialogActionKind::Press:
            if (!target || target->disabled) break;
            if (target->kind == GadgetKind::CheckBox) target->state = !target->state;
            if (target->kind == GadgetKind::Button || target->kind == GadgetKind::CheckBox) {
                gadget = target->number;
                return dialog_event_gadget;
            }
            break;
        case DialogActionKind::Close:
            return dialog_event_close;
        default:
            break;
        }
    }
    return dialog_event_close;
}

std::string os_pick_folder(const char* title, const char* start_folder)
{
    DialogScript& script = dialog_script();
    std::string reason;
    const NativeDialogToolkit* toolkit = script.installed ? nullptr : connected_toolkit(reason);
    std::string chosen;
    if (toolkit) {
        chosen = toolkit->pick_folder(title, start_folder);
    } else if (!script.folder_answers.empty()) {
        chosen = script.folder_answers.front();
        script.folder_answers.pop_front();
    }
    if (!chosen.empty() && !os_is_separator(chosen.back())) chosen += '/';
    return chosen;
}

std::string os_pick_file(const char* title, const char* start_path, const char* pattern)
{
    DialogScript& script = dialog_script();
    std::string reason;
    const NativeDialogToolkit* toolkit = script.installed ? nullptr : connected_toolkit(reason);
    if (toolkit) return toolkit->pick_file(title, start_path, pattern);
    if (script.file_answers.empty()) return "";
    std::string answer = script.file_answers.front();
    script.file_answers.pop_front();
    return answer;
}

void os_message_box(const char* title, const char* text)
{
    std::string reason;
    const NativeDialogToolkit* toolkit = dialog_script().installed ? nullptr : connected_toolkit(reason);
    if (toolkit) return toolkit->message_box(title ? title : "", text ? text : "");
    std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
    std::fflush(stderr);
}

void os_set_dialog_script(const std::vector<DialogAction>& actions)
{
    DialogScript& script = dialog_script();
    script = DialogScript();
    script.installed = true;
    for (const DialogAction& action : actions) {
        if (action.kind == DialogActionKind::FolderAnswer) script.folder_answers.push_back(action.text);
        else if (action.kind == DialogActionKind::FileAnswer) script.file_answers.push_back(action.text);
        else script.events.push_back(action);
    }
}

bool os_load_dialog_script(const char* text)
{
    std::vector<DialogAction> actions;
    const char* p = text;
    while (*p) {
        const char* end = std::strchr(p, '\n');
        std::string line = end ? std::string(p, end) : std::string(p);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        DialogAction action;
        bool skip = false;
        if (!parse_script_line(line, action, skip)) return false;
        if (!skip) actions.push_back(action);
        p = end ? end + 1 : p + line.size();
        if (!end) break;
    }
    os_set_dialog_script(actions);
    return true;
}

void os_clear_dialog_script()
{
    dialog_script() = DialogScript();
}

void os_load_dialog_script_from_environment()
{
    const char* path = std::getenv("ZANDREL_DIALOG_SCRIPT");
    if (!path || !*path) return;
    std::string text;
    if (!os_read_file(path, text)) return;
    os_load_dialog_script(text.c_str());
}

bool os_open_preferences(const char* path, PreferencesFile& preferences)
{
    preferences = PreferencesFile();
    preferences.path = path;
    std::string text;
    if (!os_read_file(path, text)) return false;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(position, end - position);
        position = end + 1;
        size_t equal = line.find('=');
        if (equal == std::string::npos) continue;
        std::string key = trimmed(line.substr(0, equal));
        if (key.empty() || key[0] == ';') continue;
        std::string value = trimmed(line.substr(equal + 1));
        size_t index = find_entry(preferences, key.c_str());
        if (index < preferences.entries.size()) preferences.entries[index].second = value;
        else preferences.entries.emplace_back(key, value);
    }
    return true;
}

bool os_create_preferences(const char* path, PreferencesFile& preferences)
{
    preferences = PreferencesFile();
    preferences.path = path;
    FILE* file = os_fopen(path, "ab");
    if (!file) return false;
    std::fclose(file);
    preferences.writing = true;
    return true;
}

std::string os_read_preference_text(const PreferencesFile& preferences, const char* key, const char* fallback)
{
    size_t index = find_entry(preferences, key);
    return index < preferences.entries.size() ? preferences.entries[index].second : std::string(fallback);
}

int64_t os_read_preference_integer(const PreferencesFile& preferences, const char* key, int64_t fallback)
{
    size_t index = find_entry(preferences, key);
    if (index == preferences.entries.size()) return fallback;
    const std::string& value = preferences.entries[index].second;
    char* end = nullptr;
    long long number = std::strtoll(value.c_str(), &end, 10);
    return value.empty() || *end ? fallback : int64_t(number);
}

void os_write_preference_text(PreferencesFile& preferences, const char* key, const std::string& value)
{
    // One value is one line.
    std::string line_value;
    for (char c : value) line_value += (c == '\n' || c == '\r') ? ' ' : c;
    size_t index = find_entry(preferences, key);
    if (index < preferences.entries.size()) preferences.entries[index].second = line_value;
    else preferences.entries.emplace_back(key, line_value);
}

void os_write_preference_integer(PreferencesFile& preferences, const char* key, int64_t value)
{
    os_write_preference_text(preferences, key, std::to_string(value));
}

bool os_close_preferences(PreferencesFile& preferences)
{
    if (!preferences.writing) return true;
    preferences.writing = false;
    std::string text;
    for (const auto& entry : preferences.entries) text += entry.first + " = " + entry.second + "\n";
    return os_write_file(preferences.path.c_str(), text.data(), text.size());
}
