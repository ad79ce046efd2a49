// Platform layer: the operating-system services the compilers rely on,
// written for Linux. The compiler keeps Windows-form path texts (backslash
// separators, "X:" drive prefixes); every function here accepts either
// separator and maps the text to a native path at the system-call boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Private heaps. Each heap links its blocks so that destroying it releases
// everything it handed out at once.
struct PrivateHeap;

PrivateHeap* os_heap_create(size_t initial_size);
void os_heap_destroy(PrivateHeap* heap);
// Returns size bytes of room, zero-filled when `zeroed`. Aborts when out of memory.
void* os_heap_alloc(PrivateHeap* heap, size_t size, bool zeroed = false);
void* os_heap_realloc(PrivateHeap* heap, void* block, size_t size);
void os_heap_free(PrivateHeap* heap, void* block);
// Number of live blocks of a heap (for tests and leak checks).
size_t os_heap_block_count(const PrivateHeap* heap);
// Hands the pages of freed blocks back to the system, after many blocks were
// freed at once while the process goes on allocating elsewhere.
void os_heap_release_free_pages();

// ---------------------------------------------------------------------------
// Paths.
bool os_is_separator(char c);
// A leading '/' or '\' or a drive prefix "X:" makes a path absolute.
bool os_is_absolute_path(const char* path);
// The native form of a path: every '\' becomes '/', a drive prefix "X:" is
// dropped, and a component that does not exist is matched case-insensitively
// within its folder (first match in sorted order).
std::string os_native_path(const char* path);
// Position of the last separator ('/' or '\'), or npos.
size_t os_last_separator(const std::string& path);
// The running program's own full path.
std::string os_module_path();
// The process's current folder, without a trailing separator.
std::string os_current_folder();
bool os_set_current_folder(const char* path);
// $TMPDIR when it names a folder, else "/tmp", with a trailing '/'.
std::string os_temp_folder();

// ---------------------------------------------------------------------------
// Files and folders.
bool os_file_exists(const char* path);       // a regular file, not a folder
bool os_directory_exists(const char* path);
// Opens a file (refuses folders). Mode as for fopen.
FILE* os_fopen(const char* path, const char* mode);
bool os_read_file(const char* path, std::string& contents);
bool os_write_file(const char* path, const void* data, size_t size);
bool os_delete_file(const char* path);
bool os_copy_file(const char* from, const char* to);
bool os_create_directory(const char* path, unsigned mode = 0755);
bool os_remove_directory(const char* path);

struct DirectoryEntry {
    std::string name;
    bool is_directory = false;   // a real folder (links are never followed)
    bool is_link = false;
    uint64_t size = 0;
};
// Lists a folder without "." and "..", sorted by case-insensitive name.
bool os_list_directory(const char* path, std::vector<DirectoryEntry>& entries);
// True when the path is a real folder (not a link) owned by this user and
// closed to everyone else.
bool os_is_private_directory(const char* path);
// Gives the owner write and search rights on a folder (before emptying it).
bool os_make_directory_writable(const char* path);

// ---------------------------------------------------------------------------
// Console and standard streams. Console text goes to the same stdio stream
// as printf so that lines keep their order, also in pipes.
void os_console_write(const char* utf8, size_t length);
// Reads one whole line of standard input without its line end (LF, and a CR
// before it); false at the end of the input when nothing was read.
bool os_read_input_line(std::string& line);
// A vanished reader of standard output ends the run through the end of its
// input rather than through a signal.
void os_ignore_broken_pipe();

// ---------------------------------------------------------------------------
// Time.
uint32_t os_tick_count();                  // milliseconds, monotonic
void os_local_time(std::tm* out);          // current local time
int64_t os_time_now();                     // seconds since the epoch

// ---------------------------------------------------------------------------
// Named mutex marking that a compiler runs. Never waited on.
void os_create_named_mutex(const char* name);

// ---------------------------------------------------------------------------
// Processes. Command lines keep the Windows form: the program name (quoted or
// not) followed by arguments split by the Windows rules.
// Splits a Windows-form command line into arguments: the program name runs to
// the next quote when quoted (backslashes literal) or to the next blank; then
// blanks and tabs separate outside quotes, 2n backslashes before a quote give
// n backslashes and toggle quoting, 2n+1 give n and a literal quote, other
// backslashes are literal. With `native_separators` every '\' of the result
// becomes '/'.
std::vector<std::string> os_split_command_line(const char* command_line, bool native_separators);
// The file a program name runs: the native path; when missing and without
// extension, the name + ".exe"; a bare name (no separator) through PATH.
// Empty when nothing is found.
std::string os_resolve_program(const char* program);

// A started tool whose standard output and standard error share one pipe.
struct ToolProcess {
    int pid = -1;
    int output = -1;     // read end of the pipe
    int end_signal = 0;  // after the wait: the signal that killed the tool, 0 when it exited
};
// Starts the tool with an argument vector (no shell), standard input from
// /dev/null, the current folder and environment inherited. False when the
// program could not be started.
bool os_start_tool(const char* command_line, ToolProcess& process);
// Reads at most `size` bytes of the tool's output; 0 at its end (or on a read
// failure). Interrupted reads are retried.
size_t os_read_tool_output(ToolProcess& process, char* buffer, size_t size);
// Closes the pipe and waits for the tool. Returns its exit code; a tool
// killed by a signal gives 128 + the signal number, and the signal is kept
// in `end_signal`.
int os_wait_tool(ToolProcess& process);
// The system's name of a signal ("Segmentation fault").
std::string os_signal_name(int signal);

// Opens a file through the "shell": a Windows program (a file beginning with
// "MZ") starts under wine64, a native executable starts directly. The
// parameters are split like a command line; absolute paths among them are
// handed to a Windows program in wine's drive form ("Z:\..."). `file` is
// resolved against `folder` when relative; the program runs in `folder`.
// Does not wait; failures are ignored. True when a process was started.
bool os_shell_open(const char* file, const char* parameters, const char* folder);
