// Zandforge's dialog: the two folders, the two options and Start, on the
// dialog toolkit of the platform layer; its preferences file.
#include "forge/forge.h"
#include "platform/dialog_toolkit.h"
#include "platform/platform.h"

namespace {

const char* const PreferencesFileName = "Zandforge.prefs";

// Text for an XML attribute value: the folders come from the preferences
// file and may hold any character.
std::string EscapeXml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && os_is_separator(path.back());
}

// A folder picker for a field: a chosen folder replaces the field's text.
void SelectFolderInto(DialogWindow& window, int32_t field, const char* title)
{
    std::string chosen = os_pick_folder(title, os_gadget_text(window, field).c_str());
    if (!chosen.empty()) os_set_gadget_text(window, field, chosen);
}

void StartProcessing(DialogWindow& window)
{
    bool process_all = os_gadget_state(window, GADGET_ProcessAll) != 0;
    BatchMode = process_all;
    SourcePath = os_gadget_text(window, GADGET_Source);
    // An empty field stays the current folder rather than the root.
    if (!SourcePath.empty() && !EndsWithSeparator(SourcePath)) SourcePath += '\\';
    DestinationPath = os_gadget_text(window, GADGET_Destination);
    os_disable_gadget(window, GADGET_Start, true);
    ForgeOptions = os_gadget_state(window, GADGET_Compression) ? 1 : 0;
    if (process_all) ProcessAllDescriptors();
    else SelectAndProcessDescriptor();
    os_disable_gadget(window, GADGET_Start, false);
}

}  // namespace

std::string BuildDialogXml(const std::string& source, const std::string& destination)
{
    return "<window title=\"Zandforge v5.30\" width=\"450\" minwidth=\"auto\" minheight=\"auto\" "
           "maxheight=\"auto\" flags=\"centred sysmenu minimise resizable\">\n"
           "  <grid columns=\"3\" stretch=\"2\">\n"
           "    <text text=\"Objects path :\"/>\n"
           "    <string id=\"" + std::to_string(GADGET_Source) + "\" text=\"" + EscapeXml(source) + "\"/>\n"
           "    <button id=\"" + std::to_string(GADGET_SelectSource) + "\" text=\"...\"/>\n"
           "    <text text=\"Zandrel libraries path :\"/>\n"
           "    <string id=\"" + std::to_string(GADGET_Destination) + "\" text=\"" + EscapeXml(destination) + "\"/>\n"
           "    <button id=\"" + std::to_string(GADGET_SelectDestination) + "\" text=\"...\"/>\n"
           "  </grid>\n"
           "  <row>\n"
           "    <checkbox id=\"" + std::to_string(GADGET_ProcessAll) + "\" text=\"Process the whole directory\"/>\n"
           "    <checkbox id=\"" + std::to_string(GADGET_Compression) + "\" text=\"Enable compression\"/>\n"
           "  </row>\n"
           "  <row>\n"
           "    <button id=\"" + std::to_string(GADGET_Start) + "\" text=\"Start\"/>\n"
           "    <button id=\"" + std::to_string(GADGET_Quit) + "\" text=\"Quit\"/>\n"
           "  </row>\n"
           "</window>\n";
}

void SelectAndProcessDescriptor()
{
    DescFile = os_pick_file("", SourcePath.c_str(), "Zand Descriptors|*.desc;*.desc");
    ProcessDescriptor();
}

void RunForgeDialog()
{
    PreferencesFile preferences;
    os_open_preferences(PreferencesFileName, preferences);
    std::string source = os_read_preference_text(preferences, "SourcePath", "");
    std::string destination = os_read_preference_text(preferences, "DestinationPath", "");
    int64_t process_all = os_read_preference_integer(preferences, "ProcessAll", 0);
    int64_t compression = os_read_preference_integer(preferences, "Compression", 1);

    DialogDescription description;
    std::string status;
    if (!os_parse_dialog_xml(BuildDialogXml(source, destination).c_str(), description, status)) return;
    DialogWindow window;
    if (!os_open_dialog(description, window)) return;
    os_set_gadget_state(window, GADGET_ProcessAll, process_all != 0);
    os_set_gadget_state(window, GADGET_Compression, compression != 0);

    for (;;) {
        int32_t gadget = -1;
        int32_t event = os_wait_dialog_event(window, gadget);
        if (event == dialog_event_close) break;
        if (event != dialog_event_gadget) continue;
        if (gadget == GADGET_Quit) break;
        if (gadget == GADGET_Start) StartProcessing(window);
        else if (gadget == GADGET_SelectSource) SelectFolderInto(window, GADGET_Source, "Select the source directory");
        else if (gadget == GADGET_SelectDestination)
            SelectFolderInto(window, GADGET_Destination, "Select the destination directory");
    }

    if (os_create_preferences(PreferencesFileName, preferences)) {
        os_write_preference_text(preferences, "SourcePath", os_gadget_text(window, GADGET_Source));
        os_write_preference_text(preferences, "DestinationPath", os_gadget_text(window, GADGET_Destination));
        os_write_preference_integer(preferences, "ProcessAll", os_gadget_state(window, GADGET_ProcessAll));
        os_write_preference_integer(preferences, "Compression", os_gadget_state(window, GADGET_Compression));
        os_close_preferences(preferences);
    }
    os_close_dialog(window);
}
