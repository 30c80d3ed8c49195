// Runs list-directed output statements on the console given on the command line, with the traps armed.
//
// writer_driver TOKEN...
//   w          starts an output statement on the console (ending the one before)
//   b<unit>    starts an output statement on that unit number
//   i<n>       a 32-bit integer item
//   f<x> d<x>  a 32-bit or 64-bit real item (decimal or hex-float text)
//   F<hex> D<hex>  a 32-bit or 64-bit real item given by its bits
//   t<text>    a text item
//   r          ends the statement in progress and reads a text of 8 from the console
//   a          a text item holding the 8 characters read last
// Ends through the exit processing with status 0.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/list_writer.h"
#include "textio/units.h"

using namespace textio;

int main(int argc, char** argv) {
    startUnits(1, argv);
    armFloatingPointTraps();

    char answer[8];
    std::memset(answer, '#', sizeof answer);
    bool open = false;
    auto finish = [&open]() {
        if (open) ListWriter::end();
        open = false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view token = argv[i];
        const char* rest = argv[i] + 1;
        switch (token.empty() ? '?' : token[0]) {
            case 'w':
                finish();
                ListWriter::begin(CONSOLE_UNIT);
                open = true;
                break;
            case 'b':
                finish();
                ListWriter::begin(static_cast<std::int32_t>(std::strtol(rest, nullptr, 10)));
                open = true;
                break;
            case 'i': ListWriter::putInt32(static_cast<std::int32_t>(std::strtol(rest, nullptr, 10))); break;
            case 'f': ListWriter::putReal32(std::strtof(rest, nullptr)); break;
            case 'd': ListWriter::putReal64(std::strtod(rest, nullptr)); break;
            case 'F': {
                const auto bits = static_cast<std::uint32_t>(std::strtoul(rest, nullptr, 16));
                float value;
                std::memcpy(&value, &bits, sizeof value);
                ListWriter::putReal32(value);
                break;
            }
            case 'D': {
                const auto bits = static_cast<std::uint64_t>(std::strtoull(rest, nullptr, 16));
                double value;
                std::memcpy(&value, &bits, sizeof value);
                ListWriter::putReal64(value);
                break;
            }
            case 't': ListWriter::putText(rest, static_cast<int>(token.size() - 1)); break;
            case 'a': ListWriter::putText(answer, static_cast<int>(sizeof answer)); break;
            case 'r':
                finish();
                ListReader::begin(CONSOLE_UNIT);
                ListReader::getText(answer, static_cast<int>(sizeof answer));
                ListReader::end();
                break;
            default: return 2;
        }
    }
    finish();
    endProcess(0);
}
