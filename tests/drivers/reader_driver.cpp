// Runs list-directed input statements given on the command line and prints what each one stored.
//
// reader_driver UNIT STATEMENT...
//   UNIT       "con" for the console, otherwise a file connected to unit 1
//   STATEMENT  item letters (see reader_items.h); a leading p first writes
//              "prompt>" on standard output and leaves that console line
//              waiting for its line end.
// After each statement one line on standard output shows its items.
#include <cstring>
#include <string>

#include "reader_items.h"
#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/platform.h"
#include "textio/units.h"

using namespace textio;

namespace {

void put(const std::string& text) { platform::writeAll(1, text.data(), static_cast<int>(text.size())); }

void runStatement(std::int32_t unit, const char* letters) {
    if (*letters == 'p') {
        put("prompt>");
        consoleConnection(Direction::OUTPUT).lineEndPending = true;
        ++letters;
    }
    readertest::StatementItems items(letters);
    ListReader::begin(unit);
    items.read();
    ListReader::end();
    put(items.show() + "\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    startUnits(1, argv);
    armFloatingPointTraps();
    std::int32_t unit = CONSOLE_UNIT;
    if (std::strcmp(argv[1], "con") != 0) {
        unit = 1;
        openUnit(unit, argv[1], static_cast<int>(std::strlen(argv[1])));
    }
    for (int i = 2; i < argc; ++i) runStatement(unit, argv[i]);
    endProcess(0);
}
