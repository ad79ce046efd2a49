// The runtime's library files made by Zandforge at build time: each
// descriptor of toolchain/libraries has its library file in ZandLibraries,
// and the laid-out zdcompiler loads them all at start without error, with
// every command of the descriptors and the library's help line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string compiler = std::string(ZANDREL_HOME) + "/Compilers/zdcompiler";
const std::string descriptor_folder = std::string(ZANDREL_SOURCE_DIR) + "/toolchain/libraries";

struct Descriptor {
    std::string library;
    std::string help_line;
    std::vector<std::string> commands;
};

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Reads the parts of a descriptor the test needs (no conditional blocks or
// variants are used by the runtime's descriptors).
Descriptor read_descriptor(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        line = trimmed(line);
        if (!line.empty() && line[0] != ';') lines.push_back(line);
    }
    Descriptor descriptor;
    descriptor.library = path.stem().string();
    size_t at = 1;
    at += 1 + std::stoul(lines.at(at));  // system libraries
    at += 1;                             // object type
    at += 1 + std::stoul(lines.at(at));  // libraries needed
    descriptor.help_line = lines.at(at++);
    for (; at + 1 < lines.size(); at += 2) {
        std::string definition = lines[at].substr(0, lines[at].find('('));
        descriptor.commands.push_back(trimmed(definition.substr(0, definition.find(','))));
    }
    return descriptor;
}

std::vector<Descriptor> runtime_descriptors()
{
    std::vector<Descriptor> descriptors;
    for (const auto& entry : std::filesystem::directory_iterator(descriptor_folder))
        if (entry.path().extension() == ".desc") descriptors.push_back(read_descriptor(entry.path()));
    return descriptors;
}

std::string run_standby(const std::string& script)
{
    char pattern[] = "/tmp/zd_runtime_libs_XXXXXX";
    std::string folder = mkdtemp(pattern);
    std::ofstream(folder + "/script.txt") << script;
    std::string command = "cd '" + folder + "' && timeout 20 '" + compiler + "' /STANDBY <script.txt 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    std::filesystem::remove_all(folder);
    return output;
}

TEST(RuntimeLibraries, EveryDescriptorHasItsLibraryFile)
{
    std::vector<Descriptor> descriptors = runtime_descriptors();
    ASSERT_FALSE(descriptors.empty());
    for (const Descriptor& descriptor : descriptors) {
        std::filesystem::path file = std::filesystem::path(ZANDREL_HOME) / "ZandLibraries" / descriptor.library;
        ASSERT_TRUE(std::filesystem::is_regular_file(file)) << file;
        std::ifstream in(file, std::ios::binary);
        char head[12] = {};
        in.read(head, sizeof head);
        EXPECT_EQ(std::string("DNAZ"), std::string(head, 4)) << file;
        EXPECT_EQ(std::string("4BIL"), std::string(head + 8, 4)) << file;
    }
}

TEST(RuntimeLibraries, CompilerLoadsThemWithTheirCommands)
{
    std::vector<Descriptor> descriptors = runtime_descriptors();
    std::string script = "FUNCTIONLIST\n";
    std::string expected_help;
    for (const Descriptor& descriptor : descriptors) {
        for (const std::string& command : descriptor.commands) {
            script += "HELPDIRECTORY\t" + command + "\n";
            expected_help += descriptor.help_line + "\n";
        }
    }
    script += "END\n";
    std::string output = run_standby(script);
    // A library that failed to load would end the run with an ERROR line before READY.
    const std::string ready = "STARTING\t6.10\tZandrel 6.10 LTS (Windows - x64)\nREADY\n";
    ASSERT_EQ(0u, output.find(ready)) << output;
    size_t list_end = output.find("OUTPUT\tCOMPLETE\n");
    ASSERT_NE(std::string::npos, list_end) << output;
    std::string list = "\n" + output.substr(ready.size(), list_end - ready.size());
    for (const Descriptor& descriptor : descriptors)
        for (const std::string& command : descriptor.commands)
            EXPECT_NE(std::string::npos, list.find("\n" + command + " (")) << command << "\n" << list;
    EXPECT_EQ(expected_help, output.substr(list_end + 16));
}

TEST(RuntimeLibraries, CommandLineRunLoadsThemWithoutError)
{
    char pattern[] = "/tmp/zd_runtime_libs_XXXXXX";
    std::string folder = mkdtemp(pattern);
    std::ofstream(folder + "/main.zd") << "; nothing\n";
    std::string command = "cd '" + folder + "' && timeout 20 '" + compiler + "' /CHECK main.zd </dev/null 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    std::filesystem::remove_all(folder);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_EQ(std::string::npos, output.find("Error")) << output;
}

}  // namespace
