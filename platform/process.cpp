// Processes: Windows-form command lines split into argument vectors, tools
// run with their output captured through one pipe, and the "shell open" that
// starts a built program.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<std::string> os_split_command_line(const char* command_line, bool native_separators)
{
    std::vector<std::string> arguments;
    const char* p = command_line ? command_line : "";
    while (is_blank(*p)) p++;
    if (!*p) return arguments;

    // The program name: backslashes are literal, a quote only opens or closes.
    std::string program;
    if (*p == '"') {
        p++;
        while (*p && *p != '"') program += *p++;
        if (*p == '"') p++;
    } else {
        while (*p && !is_blank(*p)) program += *p++;
    }
    arguments.push_back(program);

    for (;;) {
        while (is_blank(*p)) p++;
        if (!*p) break;
        std::string argument;
        bool quoted = false;
        while (*p && (quoted || !is_blank(*p))) {
            if (*p == '\\') {
                size_t count = 0;
                while (*p == '\\') {
                    count++;
                    p++;
                }
                if (*p == '"') {
                    argument.append(count / 2, '\\');
                    if (count % 2) {
                        argument += '"';
                        p++;
                    }
                } else {
                    argument.append(count, '\\');
                }
            } else if (*p == '"') {
                quoted = !quoted;
                p++;
            } else {
                argument += *p++;
            }
        }
        arguments.push_back(argument);
    }
    if (native_separators) {
        for (std::string& argument : arguments)
            for (char& c : argument)
                if (c == '\\') c = '/';
    }
    return arguments;
}

static bool is_executable_file(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

static bool has_extension(const std::string& path)
{
    size_t dot = path.rfind('.');
    size_t separator = path.find_last_of("/\\");
    return dot != std::string::npos && (separator == std::string::npos || dot > separator);
}

std::string os_resolve_program(const char* program)
{
    if (!program || !program[0]) return std::string();
    std::string name(program);
    if (name.find_first_of("/\\") == std::string::npos && !(name.size() >= 2 && name[1] == ':')) {
        const char* path = std::getenv("PATH");
        std::string folders = path ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= folders.size()) {
            size_t end = folders.find(':', start);
            if (end == std::string::npos) end = folders.size();
            std::string folder = folders.substr(start, end - start);
            if (folder.empty()) folder = ".";
            std::string candidate = folder + "/" + name;
            if (is_executable_file(candidate)) return candidate;
            if (!has_extension(name) && is_executable_file(candidate + ".exe")) return candidate + ".exe";
            start = end + 1;
        }
        return std::string();
    }
    std::string native = os_native_path(program);
    if (is_executable_file(native)) return native;
    if (!has_extension(name)) {
        native = os_native_path((name + ".exe").c_str());
        if (is_executable_file(native)) return native;
    }
    return std::string();
}

static std::vector<char*> make_argv(std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

bool os_start_tool(const char* command_line, ToolProcess& process)
{
    process.pid = -1;
    process.output = -1;
    std::vector<std::string> arguments = os_split_command_line(command_line, true);
    if (arguments.empty()) return false;
    std::string program = os_resolve_program(arguments[0].c_str());
    if (program.empty()) return false;

    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);

    std::vector<char*> argv = make_argv(arguments);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (rc != 0) {
        close(pipe_ends[0]);
        return false;
    }
    process.pid = pid;
    process.output = pipe_ends[0];
    return true;
}

size_t os_read_tool_output(ToolProcess& process, char* buffer, size_t size)
{
    if (process.output < 0) return 0;
    for (;;) {
        ssize_t n = read(process.output, buffer, size);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) return 0;
    }
}

int os_wait_tool(ToolProcess& process)
{
    if (process.output >= 0) {
        close(process.output);
        process.output = -1;
    }
    process.end_signal = 0;
    if (process.pid <= 0) return 127;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(process.pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    process.pid = -1;
    if (result < 0) return 127;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        process.end_signal = WTERMSIG(status);
        return 128 + process.end_signal;
    }
    return 127;
}

std::string os_signal_name(int signal)
{
    const char* name = strsignal(signal);
    return name ? name : "signal " + std::to_string(signal);
}

static bool is_windows_program(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char magic[2] = {0, 0};
    size_t n = std::fread(magic, 1, 2, file);
    std::fclose(file);
    return n == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// An absolute path in wine's drive form: "Z:" and backslashes.
static std::string to_wine_path(const std::string& path)
{
    std::string text = "Z:" + path;
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

bool os_shell_open(const char* file, const char* parameters, const char* folder)
{
    if (!file || !file[0]) return false;
    std::string folder_native = (folder && folder[0]) ? os_native_path(folder) : std::string();
    std::string target;
    if (os_is_absolute_path(file) || folder_native.empty()) {
        target = os_native_path(file);
    } else {
        std::string relative(file);
        target = os_native_path((std::string(folder) + (os_is_separator(folder[std::strlen(folder) - 1]) ? "" : "\\") + relative).c_str());
        if (!is_executable_file(target) && !has_extension(relative))
            target = os_native_path((std::string(folder) + "\\" + relative + ".exe").c_str());
    }
    struct stat st;
    if (target.empty() || stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

    std::vector<std::string> arguments;
    bool windows = is_windows_program(target);
    std::vector<std::string> parameter_list = os_split_command_line((std::string("x ") + (parameters ? parameters : "")).c_str(), false);
    parameter_list.erase(parameter_list.begin());
    if (windows) {
        std::string wine = os_resolve_program("wine64");
        if (wine.empty()) wine = "/usr/lib/wine/wine64";
        arguments.push_back(wine);
        arguments.push_back(target);
        for (std::string& parameter : parameter_list) {
            if (!parameter.empty() && os_is_separator(parameter[0])) {
                for (char& c : parameter)
                    if (c == '\\') c = '/';
                parameter = to_wine_path(parameter);
            }
            arguments.push_back(parameter);
        }
    } else {
        if (access(target.c_str(), X_OK) != 0) return false;
        arguments.push_back(target);
        for (std::string& parameter : parameter_list) {
            for (char& c : parameter)
                if (c == '\\') c = '/';
            arguments.push_back(parameter);
        }
    }

    // Start the program from a short-lived intermediate child so that it is
    // not left as our zombie and runs on after the compiler ends.
    std::vector<char*> argv = make_argv(arguments);
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (fork() != 0) _exit(0);
        setsid();
        if (!folder_native.empty() && chdir(folder_native.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
