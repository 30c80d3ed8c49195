// POSIX implementation of the platform layer.
#include "textio/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace textio::platform {

namespace {

int systemOpen(const char* path, int flags, unsigned mode) {
    int handle = ::open(path, flags, static_cast<mode_t>(mode));
    return handle >= 0 ? handle : -errno;
}

long systemRead(int handle, void* bytes, std::size_t count) {
    ssize_t n;
    do {
        n = ::read(handle, bytes, count);
    } while (n < 0 && errno == EINTR);
    return n >= 0 ? static_cast<long>(n) : -errno;
}

long systemWrite(int handle, const void* bytes, std::size_t count) {
    ssize_t n;
    do {
        n = ::write(handle, bytes, count);
    } while (n < 0 && errno == EINTR);
    return n >= 0 ? static_cast<long>(n) : -errno;
}

int systemTruncate(int handle, std::int64_t length) {
    return ::ftruncate(handle, static_cast<off_t>(length)) == 0 ? 0 : -errno;
}

constexpr SystemCalls REAL_CALLS{systemOpen, systemRead, systemWrite, systemTruncate};
SystemCalls calls = REAL_CALLS;

}  // namespace

SystemCalls& systemCalls() { return calls; }
void restoreSystemCalls() { calls = REAL_CALLS; }

bool exists(const char* name) {
    struct stat status;
    return ::stat(name, &status) == 0;
}

int openFile(const char* name, Access access, bool create) {
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (access) {
        case Access::READWRITE: flags |= O_RDWR; break;
        case Access::READ: flags |= O_RDONLY; break;
        case Access::WRITE: flags |= O_WRONLY; break;
    }
    if (create) flags |= O_CREAT | O_EXCL;
    int handle = calls.open(name, flags, 0666);
    if (handle < 0) return handle;
    // A directory opens for reading but holds no records: refuse it.
    struct stat status;
    if (::fstat(handle, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(handle);
        return -EISDIR;
    }
    return handle;
}

long readBytes(int handle, char* bytes, int count) {
    return calls.read(handle, bytes, static_cast<std::size_t>(count));
}

int writeAll(int handle, const char* bytes, int count) {
    while (count > 0) {
        long n = calls.write(handle, bytes, static_cast<std::size_t>(count));
        if (n < 0) return static_cast<int>(n);
        if (n == 0) return -EIO;
        bytes += n;
        count -= static_cast<int>(n);
    }
    return 0;
}

int truncateAt(int handle, std::int64_t position) {
    struct stat status;
    if (::fstat(handle, &status) != 0) return -errno;
    if (!S_ISREG(status.st_mode)) return 0;  // devices, pipes and sockets have nothing to cut
    int result = calls.truncate(handle, position);
    if (result != 0) return result;
    if (::lseek(handle, static_cast<off_t>(position), SEEK_SET) < 0) return -errno;
    return 0;
}

void closeHandle(int handle) { ::close(handle); }

int removeFile(const char* name) { return ::unlink(name) == 0 ? 0 : -errno; }

bool sameFile(const char* name, int handle) {
    struct stat named, open;
    if (::stat(name, &named) != 0 || ::fstat(handle, &open) != 0) return false;
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool isTerminal(int handle) { return ::isatty(handle) == 1; }

void reserveClosedStandardHandles() {
    for (int handle = 0; handle <= 2; ++handle) {
        if (::fcntl(handle, F_GETFD) >= 0 || errno != EBADF) continue;
        // Opened for the other direction: every read or write fails with EBADF.
        int reserved = ::open("/dev/null", handle == 0 ? O_WRONLY : O_RDONLY);
        if (reserved >= 0 && reserved != handle) {
            ::dup2(reserved, handle);
            ::close(reserved);
        }
    }
}

}  // namespace textio::platform
