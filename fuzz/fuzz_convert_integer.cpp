// Fuzzes convertInteger: every outcome must match a second reading of the same characters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "reference.h"
#include "textio/number_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A value never holds more than the working buffer.
    if (size > 259) return 0;
    const char* characters = reinterpret_cast<const char*>(data);
    const int count = static_cast<int>(size);

    std::int32_t value = 0x5A5A5A5A, expected = 0x5A5A5A5A;
    const textio::ConversionResult got = textio::convertInteger(characters, count, value);
    const reference::Outcome want = reference::integer(characters, count, expected);

    if (!got.ok) {
        switch (got.error) {
            case textio::ErrorNumber::INTEGER_TOO_LARGE:
            case textio::ErrorNumber::INVALID_INTEGER:
            case textio::ErrorNumber::SECOND_RADIX_MARK:
            case textio::ErrorNumber::RADIX_OUT_OF_RANGE: break;
            default:
                std::fprintf(stderr, "convertInteger raised %d, not an integer condition\n", static_cast<int>(got.error));
                std::abort();
        }
    }
    if (got.ok != want.ok || (!got.ok && got.error != want.error) || (got.ok && value != expected)) {
        std::fprintf(stderr, "convertInteger: got ok=%d error=%d value=%d, second reading ok=%d error=%d value=%d\n",
                     got.ok, static_cast<int>(got.error), value, want.ok, static_cast<int>(want.error), expected);
        std::abort();
    }
    return 0;
}
