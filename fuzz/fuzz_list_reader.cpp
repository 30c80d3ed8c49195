// Fuzz harness for the list-directed reader: the input bytes arrive on the
// console as redirected input, in reads of the console's block size, and a
// fixed mix of statements reads them until one raises.
//
// Build and run from the top folder:
//   clang++ -std=c++20 -O1 -g -ffp-contract=off -fsanitize=fuzzer,address,undefined -Isrc \
//     fuzz/fuzz_list_reader.cpp src/textio/*.cpp -o fuzz_list_reader && ./fuzz_list_reader -max_total_time=60 </dev/null
#include <fenv.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "textio/errors.h"
#include "textio/list_reader.h"
#include "textio/platform.h"
#include "textio/units.h"

namespace {

const std::uint8_t* input = nullptr;
std::size_t remaining = 0;

long readInput(int, void* bytes, std::size_t count) {
    std::size_t n = count < remaining ? count : remaining;
    std::memcpy(bytes, input, n);
    input += n;
    remaining -= n;
    return static_cast<long>(n);
}

struct Raised {};
void throwRaise(char, int, textio::StatementKind, std::string_view) { throw Raised{}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mix = data[0];
    input = data + 1;
    remaining = size - 1;
    textio::resetUnitsForTesting();
    textio::setRaiseHandlerForTesting(throwRaise);
    textio::platform::systemCalls().read = readInput;
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    try {
        for (int statement = 0; statement < 10000; ++statement) {
            std::int32_t integer = 0;
            float single = 0;
            double real = 0;
            char text[61];
            text[60] = '\x7f';
            textio::ListReader::begin(textio::CONSOLE_UNIT);
            switch ((mix >> (2 * (statement % 4))) & 3) {
                case 0: textio::ListReader::getText(text, 60); textio::ListReader::getInt32(integer); break;
                case 1: textio::ListReader::getReal64(real); textio::ListReader::getReal64(real); break;
                case 2: textio::ListReader::getReal32(single); textio::ListReader::getText(text, 60); break;
                default: textio::ListReader::getInt32(integer); break;
            }
            textio::ListReader::end();
            if (text[60] != '\x7f') __builtin_trap();  // a text item written past its length
        }
    } catch (const Raised&) {
    }
    fedisableexcept(FE_ALL_EXCEPT);
    textio::platform::restoreSystemCalls();
    return 0;
}
