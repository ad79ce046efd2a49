#include "toolchain/standins/standin_common.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/platform.h"

extern char** environ;

static int spawn_and_wait(const std::vector<std::string>& arguments, bool* refused)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (rc == ENOEXEC && refused) {
        *refused = true;
        return 127;
    }
    if (rc != 0) {
        std::fprintf(stderr, "error: can't start %s: %s\n", argv[0], std::strerror(rc));
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 127;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        // The stand-in ends as its tool did, so that the compiler sees the
        // crash itself and not an exit code.
        int signal_number = WTERMSIG(status);
        std::fflush(nullptr);
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return 128 + signal_number;
    }
    return 127;
}

int run_program(const std::vector<std::string>& arguments)
{
    return spawn_and_wait(arguments, nullptr);
}

int run_program_unless_refused(const std::vector<std::string>& arguments, bool& refused)
{
    refused = false;
    return spawn_and_wait(arguments, &refused);
}

std::string find_in_path(const std::string& name)
{
    const char* path = std::getenv("PATH");
    if (!path || name.find('/') != std::string::npos) return name;
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return name;
}

std::string native_path(const std::string& path)
{
    return os_native_path(path.c_str());
}

bool is_option(const std::string& argument)
{
    return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

bool match_option(const std::string& argument, const char* name, std::string& value)
{
    if (!is_option(argument)) return false;
    size_t length = std::strlen(name);
    if (argument.size() < length + 1 || strncasecmp(argument.c_str() + 1, name, length) != 0) return false;
    if (argument.size() == length + 1) {
        value.clear();
        return true;
    }
    if (argument[length + 1] != ':') return false;
    value = argument.substr(length + 2);
    return true;
}

bool read_text_file(const std::string& path, std::string& text)
{
    return os_read_file(path.c_str(), text);
}

bool write_text_file(const std::string& path, const std::string& text)
{
    return os_write_file(path.c_str(), text.data(), text.size());
}

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string current_directory()
{
    return os_current_folder();
}
