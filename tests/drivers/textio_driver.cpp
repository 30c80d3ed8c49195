// Runs one scenario of the text layer's connect, report and exit paths, named by the first argument.
#include <cfloat>
#include <fenv.h>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "textio/errors.h"
#include "textio/units.h"

using namespace textio;

namespace {

void connect(std::int32_t unit, const char* name) { openUnit(unit, name, static_cast<int>(std::strlen(name))); }

void bufferRecord(std::int32_t unit, const char* text) {
    Connection& connection = findConnection(unit, Direction::OUTPUT);
    startOutput(connection);
    appendToBuffer(connection, text, static_cast<int>(std::strlen(text)), StatementKind::WRITE);
}

volatile double zero = 0.0;
volatile double largest = DBL_MAX;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::string_view scenario = argv[1];
    // The scenario's own arguments are the ones a blank file name takes.
    startUnits(argc - 1, argv + 1);
    armFloatingPointTraps();

    if (scenario == "open") {            // connect unit 1 to argv[2]
        connect(1, argv[2]);
    } else if (scenario == "ask") {      // blank name: the name comes from arguments or the prompt
        openUnit(1, "    ", 4);
        Connection& connection = findConnection(1, Direction::INPUT);
        std::printf("[%s]", connection.fileName);
        std::fflush(stdout);
    } else if (scenario == "read-report") {
        raiseError(ErrorNumber::END_OF_FILE, StatementKind::READ, "spectrum.dat");
    } else if (scenario == "none-report") {
        raiseError(ErrorNumber::UNIT_NUMBER_OUT_OF_RANGE, StatementKind::NONE, "");
    } else if (scenario == "rows-then-error") {  // rows buffered in argv[2], then a failure elsewhere
        connect(2, argv[2]);
        bufferRecord(2, " row one\r\n");
        bufferRecord(2, " row two\r\n");
        raiseError(ErrorNumber::INVALID_REAL, StatementKind::READ, "CON");
    } else if (scenario == "write-fails") {      // a record that cannot be written out: argv[2] is /dev/full
        connect(2, argv[2]);
        Connection& connection = findConnection(2, Direction::OUTPUT);
        startOutput(connection);
        writeBytes(connection, " row\r\n", 6, StatementKind::WRITE);
    } else if (scenario == "close-fails") {      // buffered rows on a full device, disconnected
        connect(2, argv[2]);
        bufferRecord(2, " row\r\n");
        closeUnit(2);
    } else if (scenario == "exit-fails") {       // buffered rows that the normal end cannot write
        connect(2, argv[2]);
        connect(3, argv[3]);
        bufferRecord(2, " lost\r\n");
        bufferRecord(3, " kept?\r\n");
        endProcess(0);
    } else if (scenario == "divide") {
        std::printf("%f", 1.0 / zero);
    } else if (scenario == "overflow") {
        std::printf("%f", largest * 2.0);
    } else if (scenario == "invalid") {
        std::printf("%f", zero / zero);
    } else if (scenario == "flags") {            // an exception found in the flags, not by a trap
        FloatingPointKind kind;
        if (trappedKindFromFlags(FE_OVERFLOW | FE_INEXACT, kind)) floatingPointTrap(kind);
    } else if (scenario == "console") {          // one shared console connection or two
        const char* text = unitTable().consoleShared ? "shared" : "separate";
        platform::writeAll(1, text, static_cast<int>(std::strlen(text)));
    } else if (scenario == "pending-line-end") { // a console line without its line end at the end
        platform::writeAll(1, "prompt", 6);
        consoleConnection(Direction::OUTPUT).lineEndPending = true;
    } else {
        return 2;
    }
    endProcess(0);
}
