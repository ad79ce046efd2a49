// Zandforge's program: command line, batch mode and the log file.
#include "forge/forge.h"
#include "platform/dialog_toolkit.h"
#include "platform/platform.h"

#include <cstdio>

std::string SourcePath;
std::string DestinationPath;
std::string DescFile;
std::string LibName;
uint32_t ForgeOptions = 0;
bool BatchMode = false;
bool ProcessAllFlag = false;
bool NoLogFlag = false;
bool NoUnicodeWarningFlag = false;
bool ErrorFlag = false;
bool RunFailed = false;
std::string LogFileName = "Zandforge.log";

static std::string to_upper_ascii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

static std::string to_lower_ascii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void InitForge()
{
    SourcePath.clear();
    DestinationPath.clear();
    DescFile.clear();
    LibName.clear();
    ForgeOptions = 0;
    BatchMode = false;
    ProcessAllFlag = false;
    NoLogFlag = false;
    NoUnicodeWarningFlag = false;
    RunFailed = false;
    LogFileName = "Zandforge.log";
    DefinedConstants.clear();
    ResetDescriptorState();
}

void ShowMessage(const std::string& title, const std::string& text)
{
    os_message_box(title.c_str(), text.c_str());
}

void WriteLog(const std::string& text)
{
    if (NoLogFlag) return;
    FILE* log = os_fopen(LogFileName.c_str(), "ab");
    if (!log) return;
    std::fwrite(text.data(), 1, text.size(), log);
    std::fputc('\n', log);
    std::fclose(log);
}

bool ParseForgeCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc && argv[i][0] != '\0'; i++) {
        std::string parameter = to_upper_ascii(argv[i]);
        if (parameter == "/ALL") {
            ProcessAllFlag = true;
        } else if (parameter == "/TO") {
            if (i + 1 < argc) DestinationPath = argv[++i];
        } else if (parameter == "/COMPRESSED") {
            ForgeOptions |= 1;
        } else if (parameter == "/CONSTANT") {
            if (i + 1 < argc) DefineConstant(argv[++i]);
        } else if (parameter == "/NOUNICODEWARNING") {
            NoUnicodeWarningFlag = true;
        } else if (parameter == "/NOLOG") {
            NoLogFlag = true;
        } else {
            DescFile = argv[i];
        }
    }
    return !DescFile.empty();
}

void ProcessDescriptor()
{
    ResetDescriptorState();
    if (DescFile.empty()) {
        ErrorFlag = true;
        return;
    }
    size_t separator = os_last_separator(DescFile);
    std::string file_part = separator == std::string::npos ? DescFile : DescFile.substr(separator + 1);
    // A name must stand before ".desc": it becomes the library's file name.
    if (file_part.size() <= 5 || to_lower_ascii(file_part.substr(file_part.size() - 5)) != ".desc") {
        DescriptorError("The Library Descriptor filename must ending by '.Desc'");
        RunFailed = true;
        return;
    }
    LibName = file_part.substr(0, file_part.size() - 5);
    if (LibName[0] >= 'a' && LibName[0] <= 'z') LibName[0] = static_cast<char>(LibName[0] - 'a' + 'A');
    ParseDescriptor();
    if (ErrorFlag) RunFailed = true;
}

static bool matches_desc_pattern(const std::string& name)
{
    return name.size() >= 5 && to_lower_ascii(name.substr(name.size() - 5)) == ".desc";
}

void ProcessAllDescriptors()
{
    os_delete_file(LogFileName.c_str());
    std::vector<DirectoryEntry> entries;
    std::string folder = SourcePath.empty() ? "." : SourcePath;
    if (!os_list_directory(folder.c_str(), entries)) {
        ShowMessage("Error", "Can't read the directory: " + folder);
        RunFailed = true;
        return;
    }
    for (const DirectoryEntry& entry : entries) {
        if (!matches_desc_pattern(entry.name)) continue;
        DescFile = SourcePath + entry.name;
        ProcessDescriptor();
    }
}

int RunForge(int argc, char** argv)
{
    InitForge();
    if (!ParseForgeCommandLine(argc, argv)) return RunForgeDialog();
    BatchMode = true;
    size_t separator = os_last_separator(DescFile);
    SourcePath = separator == std::string::npos ? std::string() : DescFile.substr(0, separator + 1);
    if (ProcessAllFlag) ProcessAllDescriptors();
    else ProcessDescriptor();
    return RunFailed ? 1 : 0;
}
