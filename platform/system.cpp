// Console, time and the named mutex.
#include "platform/platform.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

void os_console_write(const char* utf8, size_t length)
{
    std::fwrite(utf8, 1, length, stdout);
}

uint32_t os_tick_count()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void os_local_time(std::tm* out)
{
    time_t now = time(nullptr);
    localtime_r(&now, out);
}

int64_t os_time_now()
{
    return static_cast<int64_t>(time(nullptr));
}

void os_create_named_mutex(const char* name)
{
    // A lock file marks that a compiler runs; the descriptor stays open until
    // the process ends. Nothing waits on it, so every failure is ignored.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && runtime[0] == '/') ? std::string(runtime) + "/" : os_temp_folder();
    std::string path = folder + name;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) flock(fd, LOCK_SH | LOCK_NB);
}

bool os_read_input_line(std::string& line)
{
    line.clear();
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length = getline(&buffer, &capacity, stdin);
    if (length < 0) {
        std::free(buffer);
        return false;
    }
    line.assign(buffer, static_cast<size_t>(length));
    std::free(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

void os_ignore_broken_pipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}
