// Zandforge's dialog: the two folders, the two options and Start, on the
// dialog toolkit of the platform layer; its preferences file.
#include "forge/forge.h"
#include "platform/dialog_toolkit.h"
#include "platform/platform.h"

#include <cstdio>

namespace {

const char* const PreferencesFileName = "Zandforge.prefs";
const char* const DescriptorPickerTitle = "Select a library descriptor";

// A folder as a field's text in the dialog's XML. A text that XML can't
// carry at all (a hand-edited preferences file) goes in empty and is set
// once the dialog is open.
std::string FieldXml(const std::string& folder)
{
    return os_text_fits_xml(folder) ? os_escape_xml_attribute(folder) : std::string();
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
           "    <string id=\"" + std::to_string(GADGET_Source) + "\" text=\"" + FieldXml(source) + "\"/>\n"
           "    <button id=\"" + std::to_string(GADGET_SelectSource) + "\" text=\"...\"/>\n"
           "    <text text=\"Zandrel libraries path :\"/>\n"
           "    <string id=\"" + std::to_string(GADGET_Destination) + "\" text=\"" + FieldXml(destination) + "\"/>\n"
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
    DescFile = os_pick_file(DescriptorPickerTitle, SourcePath.c_str(), "Zand Descriptors|*.desc;*.desc");
    ProcessDescriptor();
}

int RunForgeDialog()
{
    PreferencesFile preferences;
    os_open_preferences(PreferencesFileName, preferences);
    std::string source = os_read_preference_text(preferences, "SourcePath", "");
    std::string destination = os_read_preference_text(preferences, "DestinationPath", "");
    int64_t process_all = os_read_preference_integer(preferences, "ProcessAll", 0);
    int64_t compression = os_read_preference_integer(preferences, "Compression", 1);

    DialogDescription description;
    std::string status;
    DialogWindow window;
    if (!os_parse_dialog_xml(BuildDialogXml(source, destination).c_str(), description, status) ||
        !os_open_dialog(description, window, status)) {
        std::fprintf(stderr, "Zandforge: cannot open the dialog: %s\n", status.c_str());
        return 1;
    }
    if (!os_text_fits_xml(source)) os_set_gadget_text(window, GADGET_Source, source);
    if (!os_text_fits_xml(destination)) os_set_gadget_text(window, GADGET_Destination, destination);
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
    return 0;
}
