// Fuzzes convertReal and narrowToReal32: the 64-bit value must be the second reading's to
// the bit, and the 32-bit one the nearest float of it, or the right condition raised.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "reference.h"
#include "textio/number_input.h"

namespace {

[[noreturn]] void finding(const char* what, const std::uint8_t* data, std::size_t size) {
    std::fprintf(stderr, "%s for [%.*s]\n", what, static_cast<int>(size), reinterpret_cast<const char*>(data));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 259) return 0;  // a value never holds more than the working buffer
    const char* characters = reinterpret_cast<const char*>(data);
    const int count = static_cast<int>(size);

    double wide = 1234.5, expected = 1234.5;
    const textio::ConversionResult got = textio::convertReal(characters, count, wide);
    const reference::Outcome want = reference::real(characters, count, expected);
    if (!got.ok && got.error != textio::ErrorNumber::INVALID_REAL &&
        got.error != textio::ErrorNumber::REAL_TOO_LARGE) {
        finding("convertReal raised a condition that is not a real's", data, size);
    }
    if (got.ok != want.ok) finding("convertReal accepts or refuses unlike the second reading", data, size);
    if (!got.ok) {
        if (got.error != want.error) finding("convertReal raised another condition", data, size);
        if (std::bit_cast<std::uint64_t>(wide) != std::bit_cast<std::uint64_t>(1234.5)) {
            finding("convertReal stored a value although it failed", data, size);
        }
        return 0;
    }
    if (std::bit_cast<std::uint64_t>(wide) != std::bit_cast<std::uint64_t>(expected)) {
        std::fprintf(stderr, "got %a, second reading %a\n", wide, expected);
        finding("convertReal gave another value", data, size);
    }

    float narrow = 7.0f;
    const textio::ConversionResult narrowed = textio::narrowToReal32(wide, narrow);
    const bool outside = std::fabs(wide) > textio::REAL32_LIMIT;
    if (outside) {
        if (narrowed.ok || narrowed.error != textio::ErrorNumber::REAL32_OUT_OF_RANGE) {
            finding("narrowToReal32 took a value beyond the 32-bit limit", data, size);
        }
        if (narrow != 7.0f) finding("narrowToReal32 stored a value although it failed", data, size);
        return 0;
    }
    if (!narrowed.ok) finding("narrowToReal32 refused a value within the limit", data, size);
    if (!reference::isNearestFloat(wide, narrow)) {
        std::fprintf(stderr, "%a narrowed to %a\n", wide, static_cast<double>(narrow));
        finding("narrowToReal32 did not give the nearest float", data, size);
    }
    return 0;
}
