// Numbered run-time conditions, their report on standard error and the end of the process.
#pragma once

#include <cstdint>
#include <string_view>

namespace textio {

// Every condition the text layer can raise, by its fixed number (letter F in the report).
enum class ErrorNumber : int {
    INTEGER_TOO_LARGE = 6100,
    INVALID_INTEGER = 6101,
    REAL_TOO_LARGE = 6102,
    INVALID_REAL = 6103,
    REAL32_OUT_OF_RANGE = 6104,
    DEVICE_NOT_SEQUENTIAL = 6202,
    KIND_CHANGED_ON_RECONNECT = 6209,
    KEEP_FOR_SCRATCH = 6300,
    SECOND_RADIX_MARK = 6302,
    RADIX_OUT_OF_RANGE = 6303,
    UNIT_NUMBER_OUT_OF_RANGE = 6314,
    REMOVE_REFUSED = 6404,
    CONSOLE_LINE_TOO_LONG = 6407,
    INVALID_NAME = 6412,
    NAME_CONNECTED_ELSEWHERE = 6413,
    ACCESS_DENIED = 6414,
    FILE_EXISTS = 6415,
    PATH_NOT_FOUND = 6416,
    TOO_MANY_OPEN_FILES = 6417,
    UNIT_TABLE_FULL = 6418,
    WRITE_REFUSED = 6421,
    NO_SPACE_LEFT = 6422,
    READ_FAILED = 6500,
    END_OF_FILE = 6501,
    ZERO_REPEAT_COUNT = 6502,
    SECOND_REPEAT_COUNT = 6503,
    QUOTED_NUMBER = 6504,
    OUT_OF_MEMORY = 6700,
};

// Trapped and untrapped floating-point exceptions (letter M in the report).
enum class FloatingPointKind : int {
    INVALID = 6101,
    DENORMAL = 6102,
    DIVIDE_BY_ZERO = 6103,
    OVERFLOW = 6104,
    UNDERFLOW = 6105,
    INEXACT = 6106,
    SQUARE_ROOT = 6108,
    STACK_OVERFLOW = 6110,
    STACK_UNDERFLOW = 6111,
};

// The statement in progress, named in the report.
enum class StatementKind { NONE, OPEN, CLOSE, READ, WRITE, MATH };

// One line, without line end, stating the condition.
std::string_view errorMessage(ErrorNumber number);
std::string_view floatingPointKindText(FloatingPointKind kind);

// Writes the report frame on standard error in one piece:
// CR LF, "run-time error ", letter and number, the kind's text, the name and
// ")" for the four named statements, the message, CR LF.
void writeReport(char letter, int number, StatementKind kind, std::string_view name,
                 std::string_view message);

// Reports the condition and ends the process with status 1 after the exit
// processing. Raised while the exit processing runs, the report is the last
// thing the process does.
[[noreturn]] void raiseError(ErrorNumber number, StatementKind kind, std::string_view name);

// The one way a floating-point exception of the computation ends the program:
// reached from the trap handler and from checks of the exception flags alike.
[[noreturn]] void floatingPointTrap(FloatingPointKind kind);

// The first trapped kind among the exception flags `flags` (FE_* bits), in
// the priority invalid, divide by zero, overflow; false when none is set.
bool trappedKindFromFlags(int flags, FloatingPointKind& kind);

// Arms the traps for invalid operation, division by zero and overflow and
// installs the handler that turns a trap into its MATH report.
void armFloatingPointTraps();

// Exit processing: writes out and disconnects every connected unit, then ends
// a console line still waiting for its line end. Runs at most once.
void closeAllUnits();

// Runs the exit processing and ends the process with `status` (1 if the exit
// processing itself had to report a condition).
[[noreturn]] void endProcess(int status);

// Tests replace the report and the end of the process: the handler is called
// with the condition instead and must not return (it throws).
using RaiseHandler = void (*)(char letter, int number, StatementKind kind, std::string_view name);
void setRaiseHandlerForTesting(RaiseHandler handler);

// Clears the exit state so that a test process can run the exit processing again.
void resetExitStateForTesting();

// Harnesses that run the whole program many times in one process replace
// the final end of the process: the report and the exit processing run as
// always, then `handler` gets the status instead of the process ending. It
// must not return (it jumps back to the harness). Null restores the real end.
using ProcessEndHandler = void (*)(int status);
void setProcessEndForTesting(ProcessEndHandler handler);

}  // namespace textio
