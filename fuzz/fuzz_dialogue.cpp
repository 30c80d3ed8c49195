// Fuzzes the whole program: the dialogue fed arbitrary standard input, with small spectrum files.
//
// The input is the content of one spectrum file (two length bytes, then that
// many bytes, written as f.dat) and then the bytes of standard input. The
// dialogue runs as the program runs it, in a sandbox folder: the system's
// open admits plain names there (and the null device) and refuses write
// access to the three spectrum files, standard output takes at most a few
// thousand bytes before it fails like a closed pipe, and the end of the
// process comes back here. After every run:
//   - the status is 0 or 1, and standard error holds no report after a
//     normal end and exactly one well-formed report after an error end, with
//     a number this program can raise and its own message;
//   - every file the run created holds only whole 77-byte result rows, and
//     as many of them as the console showed rows (one fewer when the report
//     is a failed write of the result file itself), counting the rows that a
//     result file named again after another one lost, as it is emptied by
//     its first new row: no row is lost otherwise.
#include <dirent.h>
#include <fcntl.h>
#include <fenv.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "textio/errors.h"
#include "textio/platform.h"
#include "textio/units.h"
#include "transform/dialogue.h"
#include "transform/kk_sum.h"
#include "transform/grid.h"

namespace {

constexpr std::size_t CONSOLE_LIMIT = 6000;  // bytes standard output takes before it fails
constexpr std::size_t SPECTRUM_LIMIT = 2048;

const char WORKED_SPECTRUM[] = "5\n5.0 1.0\n12.0 4.0\n20.0 3.0\n26.0 2.5\n31.0 2.5\n";
// A spectrum whose f'' overflows the sum near its top.
const char STEEP_SPECTRUM[] = "4\n5.0 1.0\n15.5 1.0\n16.0 1E304\n30.0 1E304\n";
const std::set<std::string> SPECTRUM_FILES = {"a.dat", "b.dat", "f.dat"};

std::string sandbox;

const std::uint8_t* input = nullptr;
std::size_t inputSize = 0, inputOffset = 0;
std::string console;
bool consoleClosed = false;  // like a pipe whose reader has gone: every later write fails
std::vector<std::string> errorWrites;
bool deviceResult = false;  // rows went where they cannot be counted
std::size_t rowsCut = 0;     // rows removed when an existing result file was emptied
bool partialCut = false;     // a cut that removed something other than whole rows

// The end of the process comes back as an exception, so that every frame of
// the program on the way (worker threads of the rows included) is undone; a
// trap's end leaves the signal handler the same way.
struct ProcessEnded {
    int status;
};

bool plainName(const char* path) {
    if (path[0] == '\0' || path[0] == '.') return false;
    for (const char* c = path; *c != '\0'; ++c) {
        if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '_' ||
              *c == '.' || *c == '-')) {
            return false;
        }
    }
    return std::strlen(path) <= 60;
}

int sandboxOpen(const char* path, int flags, unsigned mode) {
    if (std::strcmp(path, "/dev/null") == 0) {
        deviceResult = true;
    } else if (!plainName(path)) {
        return -ENOENT;
    } else if (SPECTRUM_FILES.count(path) != 0 && (flags & O_ACCMODE) != O_RDONLY) {
        return -EACCES;  // the spectrum files can only be read
    }
    int handle = ::open(path, flags, static_cast<mode_t>(mode));
    return handle >= 0 ? handle : -errno;
}

long sandboxRead(int handle, void* bytes, std::size_t count) {
    if (handle != 0) {
        long n = ::read(handle, bytes, count);
        return n >= 0 ? n : -errno;
    }
    std::size_t n = std::min(count, inputSize - inputOffset);
    std::memcpy(bytes, input + inputOffset, n);
    inputOffset += n;
    return static_cast<long>(n);
}

long sandboxWrite(int handle, const void* bytes, std::size_t count) {
    const char* text = static_cast<const char*>(bytes);
    if (handle == 1) {
        if (consoleClosed || console.size() + count > CONSOLE_LIMIT) {
            consoleClosed = true;
            return -EPIPE;
        }
        console.append(text, count);
        return static_cast<long>(count);
    }
    if (handle == 2) {
        errorWrites.emplace_back(text, count);
        return static_cast<long>(count);
    }
    long n = ::write(handle, bytes, count);
    return n >= 0 ? n : -errno;
}

int sandboxTruncate(int handle, std::int64_t length) {
    struct stat status;
    const bool known = ::fstat(handle, &status) == 0;
    if (::ftruncate(handle, static_cast<off_t>(length)) != 0) return -errno;
    if (known && status.st_size > length) {
        const std::int64_t removed = status.st_size - length;
        if (removed % 77 != 0) partialCut = true;
        rowsCut += static_cast<std::size_t>(removed / 77);
    }
    return 0;
}

[[noreturn]] void backToHarness(int status) { throw ProcessEnded{status}; }

// The tables start at zero in every run, as in a new process: the pages a
// run touched are handed back to the system, which gives zero pages again.
void clearTable(double* table) {
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto start = reinterpret_cast<std::uintptr_t>(table);
    auto stop = start + sizeof(double) * (transform::TABLE_CAPACITY + 1);
    std::uintptr_t first = (start + page - 1) / page * page, last = stop / page * page;
    if (first >= last) {
        std::memset(table, 0, stop - start);
        return;
    }
    std::memset(table, 0, first - start);
    std::memset(reinterpret_cast<void*>(last), 0, stop - last);
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

void resetProgram() {
    for (double* table : {transform::InputEnergy, transform::InputFpp, transform::GridEnergy, transform::GridFpp,
                          transform::GridOmega, transform::GridFp}) {
        clearTable(table);
    }
    std::memset(transform::Answer, 0, sizeof transform::Answer);
    std::memset(transform::InputFileName, 0, sizeof transform::InputFileName);
    std::memset(transform::ResultFileName, 0, sizeof transform::ResultFileName);
    transform::EntryCount = 0;
    transform::TopEnergy = 0;
    transform::LowEnergy = transform::HighEnergy = 0.0f;
    transform::FirstRow = transform::LastRow = 0;
}

void writeSandboxFile(const std::string& name, const char* bytes, std::size_t size) {
    int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (handle < 0 || ::write(handle, bytes, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(handle);
}

std::vector<std::string> createdFiles() {
    std::vector<std::string> names;
    DIR* folder = ::opendir(".");
    while (dirent* entry = ::readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && SPECTRUM_FILES.count(name) == 0) names.push_back(name);
    }
    ::closedir(folder);
    return names;
}

std::string fileContent(const std::string& name) {
    std::string content;
    int handle = ::open(name.c_str(), O_RDONLY);
    char chunk[4096];
    for (ssize_t n; (n = ::read(handle, chunk, sizeof chunk)) > 0;) content.append(chunk, static_cast<std::size_t>(n));
    ::close(handle);
    return content;
}

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "dialogue: %s\n", what.c_str());
    std::string shown;
    for (const std::string& piece : errorWrites) shown += "[" + piece + "]";
    std::fprintf(stderr, "standard error: %s\nconsole tail: %s\n", shown.c_str(),
                 console.substr(console.size() > 600 ? console.size() - 600 : 0).c_str());
    std::abort();
}

// One well-formed report; gives the letter, the number and the statement text.
bool parseReport(const std::string& report, char& letter, int& number, std::string& statement, std::string& name) {
    const std::string head = "\r\nrun-time error ";
    if (report.compare(0, head.size(), head) != 0 || report.size() < head.size() + 5 + 2) return false;
    letter = report[head.size()];
    if (letter != 'F' && letter != 'M') return false;
    number = 0;
    for (std::size_t i = head.size() + 1; i < head.size() + 5; ++i) {
        if (report[i] < '0' || report[i] > '9') return false;
        number = number * 10 + (report[i] - '0');
    }
    std::string rest = report.substr(head.size() + 5);
    if (rest.size() < 2 || rest.compare(rest.size() - 2, 2, "\r\n") != 0) return false;
    rest.resize(rest.size() - 2);
    std::string message;
    if (letter == 'M') {
        const std::string math = ": MATH\r\n- floating-point error: ";
        if (rest.compare(0, math.size(), math) != 0) return false;
        statement = "MATH";
        message = rest.substr(math.size());
        auto kind = static_cast<textio::FloatingPointKind>(number);
        if (number != 6101 && number != 6103 && number != 6104) return false;
        return message == textio::floatingPointKindText(kind);
    }
    if (rest.compare(0, 4, "\r\n- ") == 0) {
        statement = "NONE";
        message = rest.substr(4);
    } else {
        for (const char* kind : {"OPEN", "CLOSE", "READ", "WRITE"}) {
            const std::string opening = std::string(": ") + kind + "(";
            if (rest.compare(0, opening.size(), opening) != 0) continue;
            const std::size_t close = rest.rfind(")\r\n- ");
            if (close == std::string::npos || close < opening.size()) return false;
            statement = kind;
            name = rest.substr(opening.size(), close - opening.size());
            message = rest.substr(close + 5);
        }
        if (statement.empty()) return false;
    }
    return message == textio::errorMessage(static_cast<textio::ErrorNumber>(number));
}

// The conditions the dialogue can meet on redirected input in the sandbox.
const std::set<int> REACHABLE = {6100, 6101, 6102, 6103, 6104, 6302, 6303, 6412, 6413, 6414, 6415,
                                 6416, 6417, 6421, 6422, 6500, 6501, 6502, 6503, 6504};

// Lines of `length` characters holding `fields` blank-separated fields. The
// last line counts without its line end: on the console that comes late,
// before the next line, and may be the write that failed.
std::size_t countLines(const std::string& text, std::size_t length, int fields) {
    std::size_t count = 0, start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find("\r\n", start);
        if (stop == std::string::npos) stop = text.size();
        const std::string line = text.substr(start, stop - start);
        start = stop + 2;
        if (line.size() != length || line[0] != ' ') continue;
        int seen = 0;
        bool inField = false;
        for (char c : line) {
            if (c != ' ' && !inField) ++seen;
            inField = c != ' ';
        }
        if (seen == fields) ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kkf-fuzz-dialogue-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0) std::abort();
    sandbox = pattern;
    writeSandboxFile("a.dat", WORKED_SPECTRUM, sizeof WORKED_SPECTRUM - 1);
    writeSandboxFile("b.dat", STEEP_SPECTRUM, sizeof STEEP_SPECTRUM - 1);
    textio::setProcessEndForTesting(backToHarness);
    std::atexit([] {
        for (const std::string& name : createdFiles()) ::unlink(name.c_str());
        for (const std::string& name : SPECTRUM_FILES) ::unlink(name.c_str());
        if (::chdir("/") == 0) ::rmdir(sandbox.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t spectrumSize = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (SPECTRUM_LIMIT + 1);
    if (size < 2 + spectrumSize) return 0;
    for (const std::string& name : createdFiles()) ::unlink(name.c_str());
    writeSandboxFile("f.dat", reinterpret_cast<const char*>(data + 2), spectrumSize);
    input = data + 2 + spectrumSize;
    inputSize = size - 2 - spectrumSize;
    inputOffset = 0;
    console.clear();
    consoleClosed = false;
    errorWrites.clear();
    deviceResult = false;
    rowsCut = 0;
    partialCut = false;

    resetProgram();
    textio::resetExitStateForTesting();
    textio::resetUnitsForTesting();
    textio::platform::SystemCalls& calls = textio::platform::systemCalls();
    calls.open = sandboxOpen;
    calls.read = sandboxRead;
    calls.write = sandboxWrite;
    calls.truncate = sandboxTruncate;
    struct sigaction harnessAction;
    ::sigaction(SIGFPE, nullptr, &harnessAction);

    int status = -1;
    sigset_t mask;
    ::sigprocmask(SIG_BLOCK, nullptr, &mask);
    try {
        textio::armFloatingPointTraps();
        textio::endProcess(transform::runDialogue());
    } catch (const ProcessEnded& ended) {
        status = ended.status;
    }
    ::sigprocmask(SIG_SETMASK, &mask, nullptr);  // a trap's end left the signal blocked
    fedisableexcept(FE_ALL_EXCEPT);
    feclearexcept(FE_ALL_EXCEPT);
    ::sigaction(SIGFPE, &harnessAction, nullptr);
    textio::platform::restoreSystemCalls();

    if (std::getenv("KKF_FUZZ_SHOW") != nullptr) {
        std::fprintf(stderr, "status %d, %zu bytes on the console\n", status, console.size());
        for (const std::string& piece : errorWrites) std::fprintf(stderr, "standard error: [%s]\n", piece.c_str());
    }
    // Status and report.
    if (status != 0 && status != 1) finding("exit status " + std::to_string(status));
    std::vector<std::string> reports;
    bool otherErrorBytes = false;
    for (const std::string& piece : errorWrites) {
        if (piece.rfind("\r\nrun-time error ", 0) == 0) {
            reports.push_back(piece);
        } else {
            otherErrorBytes = true;  // rows of a result file named ERR
        }
    }
    if (otherErrorBytes) deviceResult = true;
    if (status == 0 && !reports.empty()) finding("a report after a normal end");
    if (status == 1 && reports.size() != 1) finding(std::to_string(reports.size()) + " reports after an error end");
    char letter = 0;
    int number = 0;
    std::string statement, name;
    if (status == 1) {
        if (!parseReport(reports[0], letter, number, statement, name)) finding("a report that is not well formed");
        if (letter == 'F' && REACHABLE.count(number) == 0) finding("condition " + std::to_string(number));
    }

    // No lost rows.
    if (countLines(console, 74, 3) != 0) deviceResult = true;  // a result file named CON
    if (!deviceResult) {
        std::size_t fileRows = 0;
        for (const std::string& file : createdFiles()) {
            const std::string content = fileContent(file);
            if (content.size() % 77 != 0 || countLines(content, 75, 3) != content.size() / 77) {
                finding("file " + file + " holds more than result rows");
            }
            fileRows += content.size() / 77;
        }
        const std::size_t consoleRows = countLines(console, 49, 2);
        const bool resultWriteFailed =
            status == 1 && letter == 'F' && statement == "WRITE" && name != "CON" && (number == 6421 || number == 6422);
        if (partialCut) finding("a result file was cut inside a row");
        if (fileRows + rowsCut + (resultWriteFailed ? 1 : 0) != consoleRows) {
            finding(std::to_string(consoleRows) + " rows on the console, " + std::to_string(fileRows) +
                    " in files, " + std::to_string(rowsCut) + " emptied away");
        }
    }
    return 0;
}
