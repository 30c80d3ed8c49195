// The thin layer over the operating system: every system call of the text layer is here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace textio::platform {

enum class Access { READWRITE, READ, WRITE };

// The raw calls, replaceable by tests to inject faults. Each returns the
// result of the system call, or -errno on failure.
struct SystemCalls {
    int (*open)(const char* path, int flags, unsigned mode);
    long (*read)(int handle, void* bytes, std::size_t count);
    long (*write)(int handle, const void* bytes, std::size_t count);
    int (*truncate)(int handle, std::int64_t length);
};
SystemCalls& systemCalls();
void restoreSystemCalls();

// True when `name` (a NUL-terminated path) names an existing file system object.
bool exists(const char* name);

// Opens an existing file (create false) or creates a new one, failing if it
// exists (create true); no translation of bytes, shared with other processes.
// Returns the handle, or -errno. A directory is refused with -EISDIR.
int openFile(const char* name, Access access, bool create);

// Reads up to `count` bytes; returns the count read (0 at the end) or -errno.
long readBytes(int handle, char* bytes, int count);

// Writes all `count` bytes, retrying partial writes; returns 0 or -errno.
int writeAll(int handle, const char* bytes, int count);

// Sets the end of the file at `position` and places the file position there.
// Returns 0 or -errno. Handles that are not regular files are left alone.
int truncateAt(int handle, std::int64_t position);

void closeHandle(int handle);

// Removes the named file; returns 0 or -errno.
int removeFile(const char* name);

// True when `name` denotes the file open on `handle`: same device and inode.
bool sameFile(const char* name, int handle);

bool isTerminal(int handle);

// Gives each of standard input, output and error that is closed a handle on
// the null device that fails like the closed stream: input that cannot be
// read, output that cannot be written.
void reserveClosedStandardHandles();

}  // namespace textio::platform
