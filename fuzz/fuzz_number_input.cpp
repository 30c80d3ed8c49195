// Fuzz harness for the number conversions: any bytes, with the program's
// traps armed. A real that converts, written in a form the C library also
// reads and with at most 24 significant digits, must be its correctly
// rounded value.
//
// Build and run from the top folder:
//   clang++ -std=c++20 -O1 -g -ffp-contract=off -fsanitize=fuzzer,address,undefined -Isrc \
//     fuzz/fuzz_number_input.cpp src/textio/number_input.cpp -o fuzz_number_input && ./fuzz_number_input -max_total_time=60 </dev/null
#include <fenv.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "textio/number_input.h"

namespace {

// A sign only first or after E, and at most 24 significant digits.
bool libraryReadsTheSame(const char* characters, int count) {
    int significant = 0;
    bool leading = true;
    for (int i = 0; i < count; ++i) {
        const char c = characters[i];
        if (c == 'E' || c == 'e') break;  // the exponent adds no digits
        if ((c == '+' || c == '-') && i > 0) return false;
        if (c >= '1' && c <= '9') leading = false;
        if (c >= '0' && c <= '9' && !leading) ++significant;
        if (c == 'D' || c == 'd') return false;
    }
    return significant <= textio::MAX_SIGNIFICANT_DIGITS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 259) return 0;  // the longest value the reader collects
    const char* characters = reinterpret_cast<const char*>(data);
    const int count = static_cast<int>(size);

    feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    std::int32_t integer = 0;
    textio::convertInteger(characters, count, integer);
    double real = 0;
    textio::ConversionResult result = textio::convertReal(characters, count, real);
    float single = 0;
    if (result.ok) textio::narrowToReal32(real, single);
    fedisableexcept(FE_ALL_EXCEPT);

    if (result.ok && libraryReadsTheSame(characters, count)) {
        const std::string text(characters, size);
        char* end = nullptr;
        const double expected = std::strtod(text.c_str(), &end);
        if (end == text.c_str() + text.size() &&
            std::bit_cast<std::uint64_t>(expected) != std::bit_cast<std::uint64_t>(real)) {
            std::abort();
        }
    }
    if (!result.ok && result.error == textio::ErrorNumber::REAL_TOO_LARGE && libraryReadsTheSame(characters, count)) {
        const std::string text(characters, size);
        if (!std::isinf(std::strtod(text.c_str(), nullptr))) std::abort();
    }
    return 0;
}
