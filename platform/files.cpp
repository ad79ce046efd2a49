// Paths, files and folders, with Windows-form path texts mapped to Linux.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

bool os_is_separator(char c)
{
    return c == '/' || c == '\\';
}

bool os_is_absolute_path(const char* path)
{
    if (!path || !path[0]) return false;
    if (os_is_separator(path[0])) return true;
    return path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

size_t os_last_separator(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash;
}

static bool path_exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` named `name` ignoring case (the first in sorted
// order when several match), or "" when there is none.
static std::string find_case_insensitive(const std::string& folder, const std::string& name)
{
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return std::string();
    std::string found;
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0 && (found.empty() || found > entry->d_name)) {
            found = entry->d_name;
        }
    }
    closedir(dir);
    return found;
}

std::string os_native_path(const char* path)
{
    if (!path) return std::string();
    std::string text(path);
    // "X:\..." -> "/..." : the drive letter has no meaning here.
    if (text.size() >= 2 && text[1] == ':' && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')))
        text.erase(0, 2);
    for (char& c : text)
        if (c == '\\') c = '/';
    if (text.empty() || path_exists(text)) return text;

    // Resolve missing components one by one, ignoring case.
    std::string result;
    size_t pos = 0;
    if (text[0] == '/') {
        result = "/";
        pos = 1;
    }
    bool resolving = true;
    while (pos <= text.size()) {
        size_t next = text.find('/', pos);
        if (next == std::string::npos) next = text.size();
        std::string component = text.substr(pos, next - pos);
        if (!component.empty()) {
            std::string candidate = result + component;
            if (resolving && component != "." && component != ".." && !path_exists(candidate)) {
                std::string found = find_case_insensitive(result.empty() ? std::string(".") : result, component);
                if (!found.empty()) candidate = result + found;
                else resolving = false;
            }
            result = candidate;
        }
        if (next < text.size()) {
            if (result.empty() || result.back() != '/') result += '/';
        }
        pos = next + 1;
    }
    return result;
}

std::string os_module_path()
{
    std::string buffer(4096, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::string();
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string os_current_folder()
{
    std::string buffer(4096, '\0');
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return std::string();
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

bool os_set_current_folder(const char* path)
{
    std::string native = os_native_path(path);
    return chdir(native.c_str()) == 0;
}

std::string os_temp_folder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder;
    if (tmp && tmp[0] == '/' && os_directory_exists(tmp)) folder = tmp;
    else folder = "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

bool os_file_exists(const char* path)
{
    struct stat st;
    std::string native = os_native_path(path);
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool os_directory_exists(const char* path)
{
    struct stat st;
    std::string native = os_native_path(path);
    return !native.empty() && stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FILE* os_fopen(const char* path, const char* mode)
{
    std::string native = os_native_path(path);
    if (native.empty()) return nullptr;
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return nullptr;
    return std::fopen(native.c_str(), mode);
}

bool os_read_file(const char* path, std::string& contents)
{
    FILE* file = os_fopen(path, "rb");
    if (!file) return false;
    contents.clear();
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) contents.append(chunk, n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool os_write_file(const char* path, const void* data, size_t size)
{
    FILE* file = os_fopen(path, "wb");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    ok = (std::fclose(file) == 0) && ok;
    return ok;
}

bool os_delete_file(const char* path)
{
    std::string native = os_native_path(path);
    return !native.empty() && unlink(native.c_str()) == 0;
}

bool os_copy_file(const char* from, const char* to)
{
    std::string contents;
    if (!os_read_file(from, contents)) return false;
    return os_write_file(to, contents.data(), contents.size());
}

bool os_create_directory(const char* path, unsigned mode)
{
    std::string native = os_native_path(path);
    return !native.empty() && mkdir(native.c_str(), mode) == 0;
}

bool os_remove_directory(const char* path)
{
    std::string native = os_native_path(path);
    return !native.empty() && rmdir(native.c_str()) == 0;
}

bool os_list_directory(const char* path, std::vector<DirectoryEntry>& entries)
{
    entries.clear();
    std::string native = os_native_path(path);
    DIR* dir = opendir(native.empty() ? "." : native.c_str());
    if (!dir) return false;
    std::string prefix = native;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        DirectoryEntry item;
        item.name = entry->d_name;
        struct stat st;
        if (lstat((prefix + item.name).c_str(), &st) == 0) {
            item.is_link = S_ISLNK(st.st_mode);
            item.is_directory = S_ISDIR(st.st_mode);
            item.size = static_cast<uint64_t>(st.st_size);
        }
        entries.push_back(std::move(item));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        int c = strcasecmp(a.name.c_str(), b.name.c_str());
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return true;
}
