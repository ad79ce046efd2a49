// Every runtime name that the two back ends write into generated programs
// resolves: the names are read from the string literals of the emitters'
// sources, the definitions from the runtime's built libraries (llvm-nm).
// Names that the generated program defines itself are listed below; every
// command of the runtime's library descriptors has its routine, with the
// thread-safe form when the command asks for one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Defined by the generated program: its variables, labels, tables and
// callbacks (x64 "zd_public" data, C definitions and macros), and names
// that the optimiser matches as prefixes of routine names.
const std::set<std::string> program_names = {
    "SYS_AllocateString", "SYS_BankerRound", "SYS_BankerRoundQuad", "SYS_EndDataSection",
    "SYS_FastAllocateString", "SYS_FreeThreadObjectCallback", "SYS_InitThreadObjectCallback", "SYS_Quit",
    "ZD_Compiler_DPIAware", "ZD_Compiler_Debugger", "ZD_Compiler_Purifier", "ZD_Compiler_Thread",
    "ZD_Compiler_Unicode", "ZD_Compiler_XPSkins", "ZD_DATASECTION_SIZE", "ZD_DEBUGGER_ArrayBank",
    "ZD_DEBUGGER_ChangeString", "ZD_DEBUGGER_CodeContextBank", "ZD_DEBUGGER_ConstantBank",
    "ZD_DEBUGGER_Control", "ZD_DEBUGGER_CurrentLine", "ZD_DEBUGGER_ErrorDescription", "ZD_DEBUGGER_FileName",
    "ZD_DEBUGGER_FullScreen", "ZD_DEBUGGER_IncludedFile", "ZD_DEBUGGER_IncludedFiles", "ZD_DEBUGGER_LabelBank",
    "ZD_DEBUGGER_Language", "ZD_DEBUGGER_LineNumber", "ZD_DEBUGGER_LinkedListBank", "ZD_DEBUGGER_MapBank",
    "ZD_DEBUGGER_ModuleBank", "ZD_DEBUGGER_NbIncludedFiles", "ZD_DEBUGGER_ProcedureBank",
    "ZD_DEBUGGER_Purifier", "ZD_DEBUGGER_SourcePath", "ZD_DEBUGGER_StartDrawing", "ZD_DEBUGGER_Thread",
    "ZD_DEBUGGER_Unicode", "ZD_DEBUGGER_ValidLines", "ZD_DEBUGGER_VariableBank", "ZD_DEBUGGER_Version",
    "ZD_DEBUGGER_ZandrelPath", "ZD_DataPointer", "ZD_DataSectionStart", "ZD_DllInit", "ZD_EndFunctions",
    "ZD_ExecutableType", "ZD_ExitCode", "ZD_INFINITY", "ZD_Instance", "ZD_MainThreadObject", "ZD_MemoryBase",
    "ZD_NEG_INFINITY", "ZD_NullString", "ZD_OpenGLSubsystem", "ZD_SourceCodePath", "ZD_ThreadedObjectSize",
};

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// SYS_/ZD_ names inside the string literals of one source (comments cut).
void collect_written_names(const fs::path& path, std::set<std::string>& names)
{
    std::string text = read_file(path);
    static const std::regex comment(R"(//[^\n]*)");
    static const std::regex literal(R"re("((?:[^"\\\n]|\\.)*)")re");
    static const std::regex name(R"(\b(?:SYS|ZD)_[A-Za-z0-9_]+)");
    text = std::regex_replace(text, comment, "");
    for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it) {
        std::string content = (*it)[1];
        for (std::sregex_iterator n(content.begin(), content.end(), name), none; n != none; ++n) names.insert(n->str());
    }
}

std::set<std::string> names_written_by(const char* folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(ZANDREL_SOURCE_DIR) / folder))
        if (entry.path().extension() == ".cpp") collect_written_names(entry.path(), names);
    return names;
}

// Global symbols defined by an object file or archive.
void collect_defined_symbols(const fs::path& file, std::set<std::string>& symbols)
{
    std::string command = std::string("'") + ZANDREL_LLVM_NM + "' --defined-only -g '" + file.string() + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, kind, symbol;
        if (fields >> address >> kind >> symbol) symbols.insert(symbol);
    }
    pclose(pipe);
}

std::set<std::string> runtime_symbols()
{
    std::set<std::string> symbols;
    fs::path tools = fs::path(ZANDREL_HOME) / "Compilers";
    for (const fs::path& folder : {tools, tools / "compilers", tools / "gcc"})
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".lib" || entry.path().extension() == ".a")
                collect_defined_symbols(entry.path(), symbols);
    // The objects of the runtime's library files, as Zandforge packed them.
    for (const auto& entry : fs::directory_iterator(fs::path(ZANDREL_BINARY_DIR) / "toolchain" / "libraries"))
        if (entry.path().extension() == ".obj") collect_defined_symbols(entry.path(), symbols);
    return symbols;
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The routines the commands of a descriptor need: "ZD_" + name, and the
// "_THREAD" form for a command flagged THREAD.
std::vector<std::string> command_routines(const fs::path& descriptor)
{
    std::vector<std::string> lines;
    std::ifstream in(descriptor);
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (!line.empty() && line[0] != ';') lines.push_back(line);
    }
    size_t at = 1;
    at += 1 + std::stoul(lines.at(at));  // system libraries
    at += 1;                             // object type
    at += 1 + std::stoul(lines.at(at));  // libraries needed
    at += 1;                             // help line
    std::vector<std::string> routines;
    for (; at + 1 < lines.size(); at += 2) {
        std::string definition = lines[at].substr(0, lines[at].find('('));
        std::string name = trimmed(definition.substr(0, definition.find(',')));
        routines.push_back("ZD_" + name);
        std::string flags = lines[at + 1];
        for (char& c : flags) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (std::regex_search(flags, std::regex(R"(\bTHREAD\b)"))) routines.push_back("ZD_" + name + "_THREAD");
    }
    return routines;
}

TEST(RuntimeResolve, EveryNameTheBackEndsWriteIsDefined)
{
    std::set<std::string> symbols = runtime_symbols();
    ASSERT_TRUE(symbols.count("SYS_InitString")) << "the runtime libraries were not read";
    for (const char* folder : {"backend_x64", "backend_c"}) {
        for (const std::string& name : names_written_by(folder)) {
            if (program_names.count(name)) continue;
            EXPECT_TRUE(symbols.count(name)) << name << " (written by " << folder << ") is defined by no runtime library";
        }
    }
}

TEST(RuntimeResolve, ProgramDefinedNamesAreStillWritten)
{
    std::set<std::string> written = names_written_by("backend_x64");
    std::set<std::string> c_written = names_written_by("backend_c");
    written.insert(c_written.begin(), c_written.end());
    for (const std::string& name : program_names) EXPECT_TRUE(written.count(name)) << name << " is written by no back end";
}

TEST(RuntimeResolve, EveryLibraryCommandHasItsRoutine)
{
    std::set<std::string> symbols = runtime_symbols();
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(ZANDREL_SOURCE_DIR) / "toolchain" / "libraries")) {
        if (entry.path().extension() != ".desc") continue;
        for (const std::string& routine : command_routines(entry.path())) {
            count++;
            EXPECT_TRUE(symbols.count(routine)) << routine << " of " << entry.path().filename() << " is not defined";
        }
    }
    EXPECT_GE(count, 19u);
}

}  // namespace
