// Standby protocol lines: the input is a session's standard input, one
// command per line. Paths of the stored fields are kept inside the private
// folder (only their file part is used), which holds a small program to
// compile, and no command waits for an answer from an editor.
#include <cstring>
#include <string>

#include "backend_x64/x64_backend.h"
#include "core/core_globals.h"
#include "driver/standby.h"
#include "fuzz_support.h"
#include "platform/platform.h"

namespace {

const char* const path_commands[] = {"SOURCE", "SOURCEALIAS", "INCLUDEPATH", "RESOURCE", "ICON", "TARGET", "LINKER"};

// The line as the session runs it here.
std::string confined(const std::string& line)
{
    size_t tab = line.find('\t');
    std::string command = line.substr(0, tab);
    for (const char* path_command : path_commands) {
        if (command != path_command) continue;
        std::string value = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        size_t end = value.find('\t');
        if (end != std::string::npos) value.resize(end);
        size_t separator = value.find_last_of("/\\");
        if (separator != std::string::npos) value = value.substr(separator + 1);
        return command + "\t" + fuzz::private_folder() + value;
    }
    if (command != "COMPILE") return line;
    // The option words as the session reads them (up to the first empty
    // one), without REDIRECT: its question would end the run at the end of
    // the input.
    std::string kept = "COMPILE";
    size_t start = tab;
    while (start != std::string::npos) {
        size_t end = line.find('\t', start + 1);
        std::string word = line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        if (word.empty()) break;
        if (word != "REDIRECT") kept += "\t" + word;
        start = end;
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::start_compiler(&x64_backend_hooks);
    standby_mode = 1;
    static const char program[] = "a = 1\nIf a < 2\n b = a * 3\nEndIf\nStructure Point\n x.l\n y.l\nEndStructure\n";
    fuzz::write_input("standby.zd", reinterpret_cast<const uint8_t*>(program), sizeof program - 1);
    fuzz::write_input("bad.zd", reinterpret_cast<const uint8_t*>("x = (1\n"), 7);
    reset_compile_options();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(start, end - start);
        // A NUL ends the line as the reader hands it over, before any of
        // its words is looked at.
        line.resize(std::strlen(line.c_str()));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = confined(line);
        if (!run_standby_command(line.data())) break;
        start = end + 1;
    }
    reset_compile_options();
    compiler_reset();
    os_set_current_folder(fuzz::private_folder().c_str());
    return 0;
}
