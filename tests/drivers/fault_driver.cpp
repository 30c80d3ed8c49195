// Runs the whole dialogue, like the program, on a system with one injected fault.
//
// fault_driver read-only NAME      every open with write access of a file whose
//                                  last name part is NAME is refused (EACCES);
//                                  the file can still be opened for reading
// fault_driver console-closes N    standard output takes N bytes, then every
//                                  write to it fails as on a closed pipe (EPIPE)
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "textio/errors.h"
#include "textio/platform.h"
#include "textio/units.h"
#include "transform/dialogue.h"

using namespace textio;

namespace {

const char* readOnlyName = "";
long consoleRoom = 0;
bool consoleClosed = false;

int openRefusingWrites(const char* path, int flags, unsigned mode) {
    const char* slash = std::strrchr(path, '/');
    const char* last = slash != nullptr ? slash + 1 : path;
    if (std::strcmp(last, readOnlyName) == 0 && (flags & O_ACCMODE) != O_RDONLY) return -EACCES;
    int handle = ::open(path, flags, static_cast<mode_t>(mode));
    return handle >= 0 ? handle : -errno;
}

long writeUntilClosed(int handle, const void* bytes, std::size_t count) {
    if (handle == 1) {
        if (consoleClosed || static_cast<long>(count) > consoleRoom) {
            consoleClosed = true;
            return -EPIPE;
        }
        consoleRoom -= static_cast<long>(count);
    }
    long n = ::write(handle, bytes, count);
    return n >= 0 ? n : -errno;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string_view fault = argv[1];
    startUnits(1, argv);
    armFloatingPointTraps();
    if (fault == "read-only") {
        readOnlyName = argv[2];
        platform::systemCalls().open = openRefusingWrites;
    } else if (fault == "console-closes") {
        consoleRoom = std::atol(argv[2]);
        platform::systemCalls().write = writeUntilClosed;
    } else {
        return 2;
    }
    endProcess(transform::runDialogue());
}
