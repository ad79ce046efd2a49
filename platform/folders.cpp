// Checks and rights of private folders (the compiler's work folder).
#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

bool os_is_private_directory(const char* path)
{
    std::string native = os_native_path(path);
    struct stat st;
    if (native.empty() || lstat(native.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool os_make_directory_writable(const char* path)
{
    std::string native = os_native_path(path);
    struct stat st;
    if (native.empty() || lstat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return chmod(native.c_str(), (st.st_mode & 07777) | S_IRWXU) == 0;
}
