// Conversion of the characters of one input value into an integer or a real.
#pragma once

#include <cstdint>

#include "textio/errors.h"

namespace textio {

inline constexpr int MAX_SIGNIFICANT_DIGITS = 24;
// One unit in the last place above the largest 32-bit real.
inline constexpr double REAL32_LIMIT = 0x1.fffffe0000001p+127;

// The outcome of a conversion: ok, or the condition the caller raises.
struct ConversionResult {
    bool ok;
    ErrorNumber error;
};

ConversionResult convertInteger(const char* characters, int count, std::int32_t& value) noexcept;
ConversionResult convertReal(const char* characters, int count, double& value) noexcept;
ConversionResult narrowToReal32(double wide, float& value) noexcept;

}  // namespace textio
