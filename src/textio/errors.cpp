// Run-time error reports, floating-point traps and the end of the process.
#include "textio/errors.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fenv.h>
#include <unistd.h>

#include "textio/number_text.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace textio {

namespace {

RaiseHandler raiseHandler = nullptr;
ProcessEndHandler processEndHandler = nullptr;

// Set when the exit processing starts: it runs once, and a raise inside it
// ends the process instead of starting another end.
volatile std::sig_atomic_t exitProcessingStarted = 0;

std::string_view statementText(StatementKind kind) {
    switch (kind) {
        case StatementKind::OPEN: return ": OPEN(";
        case StatementKind::CLOSE: return ": CLOSE(";
        case StatementKind::READ: return ": READ(";
        case StatementKind::WRITE: return ": WRITE(";
        case StatementKind::MATH: return ": MATH\r\n- ";
        case StatementKind::NONE: break;
    }
    return "\r\n- ";
}

bool namesConnection(StatementKind kind) {
    return kind == StatementKind::OPEN || kind == StatementKind::CLOSE ||
           kind == StatementKind::READ || kind == StatementKind::WRITE;
}

// The report is assembled in a fixed buffer and leaves in one write.
class ReportText {
public:
    void add(std::string_view piece) {
        if (piece.empty()) return;
        std::size_t room = sizeof text_ - length_;
        std::size_t count = piece.size() < room ? piece.size() : room;
        std::memcpy(text_ + length_, piece.data(), count);
        length_ += count;
    }
    void addNumber(int number) {
        char digits[MAX_NUMBER_TEXT];
        add(std::string_view(digits, static_cast<std::size_t>(integerText(number, digits))));
    }
    void writeTo(int handle) const {
        platform::writeAll(handle, text_, static_cast<int>(length_));  // nothing is left to tell a failure to
    }

private:
    char text_[MAX_NAME_LENGTH + 256];
    std::size_t length_ = 0;
};

[[noreturn]] void finishProcess(int status) {
    if (processEndHandler != nullptr) {
        processEndHandler(status);
        std::abort();  // a harness handler that returns has broken its promise
    }
    _exit(status);
}

[[noreturn]] void endAfterReport() {
    if (exitProcessingStarted) finishProcess(1);
    endProcess(1);
}

void onFloatingPointSignal(int, siginfo_t* info, void*) {
    FloatingPointKind kind = FloatingPointKind::INVALID;
    switch (info->si_code) {
        case FPE_FLTDIV:
        case FPE_INTDIV: kind = FloatingPointKind::DIVIDE_BY_ZERO; break;
        case FPE_FLTOVF:
        case FPE_INTOVF: kind = FloatingPointKind::OVERFLOW; break;
        case FPE_FLTUND: kind = FloatingPointKind::UNDERFLOW; break;
        case FPE_FLTRES: kind = FloatingPointKind::INEXACT; break;
        default: kind = FloatingPointKind::INVALID; break;
    }
    floatingPointTrap(kind);
}

}  // namespace

std::string_view errorMessage(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::INTEGER_TOO_LARGE: return "integer value out of range";
        case ErrorNumber::INVALID_INTEGER: return "invalid character in integer value";
        case ErrorNumber::REAL_TOO_LARGE: return "real value too large";
        case ErrorNumber::INVALID_REAL: return "invalid real value";
        case ErrorNumber::REAL32_OUT_OF_RANGE: return "real value out of range for single precision";
        case ErrorNumber::DEVICE_NOT_SEQUENTIAL: return "device connected for other than sequential access";
        case ErrorNumber::KIND_CHANGED_ON_RECONNECT: return "connection properties changed on a repeated connect";
        case ErrorNumber::KEEP_FOR_SCRATCH: return "KEEP given for a scratch file";
        case ErrorNumber::SECOND_RADIX_MARK: return "second radix mark in integer value";
        case ErrorNumber::RADIX_OUT_OF_RANGE: return "radix out of range in integer value";
        case ErrorNumber::UNIT_NUMBER_OUT_OF_RANGE: return "unit number out of range";
        case ErrorNumber::REMOVE_REFUSED: return "file cannot be removed: access denied";
        case ErrorNumber::CONSOLE_LINE_TOO_LONG: return "console input line too long";
        case ErrorNumber::INVALID_NAME: return "invalid file name or argument";
        case ErrorNumber::NAME_CONNECTED_ELSEWHERE: return "file already connected to another unit";
        case ErrorNumber::ACCESS_DENIED: return "access denied";
        case ErrorNumber::FILE_EXISTS: return "file already exists";
        case ErrorNumber::PATH_NOT_FOUND: return "file or directory not found";
        case ErrorNumber::TOO_MANY_OPEN_FILES: return "too many open files";
        case ErrorNumber::UNIT_TABLE_FULL: return "too many units connected";
        case ErrorNumber::WRITE_REFUSED: return "write refused";
        case ErrorNumber::NO_SPACE_LEFT: return "no space left on device";
        case ErrorNumber::READ_FAILED: return "read failed";
        case ErrorNumber::END_OF_FILE: return "end of file encountered";
        case ErrorNumber::ZERO_REPEAT_COUNT: return "repeat count is zero";
        case ErrorNumber::SECOND_REPEAT_COUNT: return "second repeat count in value";
        case ErrorNumber::QUOTED_NUMBER: return "quoted or parenthesised value where a number is read";
        case ErrorNumber::OUT_OF_MEMORY: return "not enough memory for the connection";
    }
    return "unknown condition";
}

std::string_view floatingPointKindText(FloatingPointKind kind) {
    switch (kind) {
        case FloatingPointKind::INVALID: return "invalid";
        case FloatingPointKind::DENORMAL: return "denormal";
        case FloatingPointKind::DIVIDE_BY_ZERO: return "divide by zero";
        case FloatingPointKind::OVERFLOW: return "overflow";
        case FloatingPointKind::UNDERFLOW: return "underflow";
        case FloatingPointKind::INEXACT: return "inexact";
        case FloatingPointKind::SQUARE_ROOT: return "square root";
        case FloatingPointKind::STACK_OVERFLOW: return "stack overflow";
        case FloatingPointKind::STACK_UNDERFLOW: return "stack underflow";
    }
    return "invalid";
}

void writeReport(char letter, int number, StatementKind kind, std::string_view name,
                 std::string_view message) {
    ReportText report;
    report.add("\r\nrun-time error ");
    report.add(std::string_view(&letter, 1));
    report.addNumber(number);
    report.add(statementText(kind));
    if (namesConnection(kind)) {
        report.add(name);
        report.add(message.empty() ? ")\r\n" : ")\r\n- ");
    }
    report.add(message);
    report.add("\r\n");
    report.writeTo(2);
}

void raiseError(ErrorNumber number, StatementKind kind, std::string_view name) {
    if (raiseHandler != nullptr) {
        raiseHandler('F', static_cast<int>(number), kind, name);
        std::abort();  // a test handler that returns has broken its promise
    }
    writeReport('F', static_cast<int>(number), kind, name, errorMessage(number));
    endAfterReport();
}

void floatingPointTrap(FloatingPointKind kind) {
    if (raiseHandler != nullptr) {
        raiseHandler('M', static_cast<int>(kind), StatementKind::MATH, {});
        std::abort();
    }
    char message[64] = "floating-point error: ";
    std::size_t prefix = std::strlen(message);
    std::string_view text = floatingPointKindText(kind);
    std::memcpy(message + prefix, text.data(), text.size());
    writeReport('M', static_cast<int>(kind), StatementKind::MATH, {},
                std::string_view(message, prefix + text.size()));
    endAfterReport();
}

bool trappedKindFromFlags(int flags, FloatingPointKind& kind) {
    if (flags & FE_INVALID) {
        kind = FloatingPointKind::INVALID;
    } else if (flags & FE_DIVBYZERO) {
        kind = FloatingPointKind::DIVIDE_BY_ZERO;
    } else if (flags & FE_OVERFLOW) {
        kind = FloatingPointKind::OVERFLOW;
    } else {
        return false;
    }
    return true;
}

void armFloatingPointTraps() {
    struct sigaction action {};
    action.sa_sigaction = onFloatingPointSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGFPE, &action, nullptr);
    feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

void closeAllUnits() {
    if (exitProcessingStarted) return;
    exitProcessingStarted = 1;
    UnitTable& table = unitTable();
    for (int entry = 0; entry < MAX_CONNECTED_UNITS; ++entry) {
        if (table.unit[entry] != FREE_UNIT) {
            closeUnit(table.unit[entry],
                      table.connection[entry].deleteOnClose ? Disposition::DELETE : Disposition::KEEP);
        }
    }
    Connection& console = consoleConnection(Direction::OUTPUT);
    if (console.lineEndPending) {
        platform::writeAll(1, "\r\n", 2);  // the lone line end at the end goes unreported
        console.lineEndPending = false;
    }
}

void endProcess(int status) {
    closeAllUnits();
    finishProcess(status);
}

void setRaiseHandlerForTesting(RaiseHandler handler) { raiseHandler = handler; }

void resetExitStateForTesting() { exitProcessingStarted = 0; }

void setProcessEndForTesting(ProcessEndHandler handler) { processEndHandler = handler; }

}  // namespace textio
