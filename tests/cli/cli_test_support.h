// Shared by the command-line tests: a shell command run to its end, with
// what it printed and how it ended.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// Runs `command` through the shell; returns what it wrote to its standard
// output and sets `*exit_code` to its exit status (-1 when it did not exit,
// or could not be started).
inline std::string run_shell(const std::string& command, int* exit_code)
{
    std::string output;
    *exit_code = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    if (WIFEXITED(status)) *exit_code = WEXITSTATUS(status);
    return output;
}
