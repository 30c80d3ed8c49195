// The text of a number in a list-directed output field.
#pragma once

#include <cstdint>

namespace textio {

enum class RealKind { REAL32, REAL64 };

inline constexpr int INTEGER_FIELD_WIDTH = 11;
inline constexpr int REAL32_FIELD_WIDTH = 15;
inline constexpr int REAL64_FIELD_WIDTH = 24;
// The longest text of any kind fits this buffer.
inline constexpr int MAX_NUMBER_TEXT = 32;

// A real value's first 17 significant digits (see realText), or its name
// when it is not finite.
struct DigitString {
    bool negative;
    bool finite;
    int exponent;       // value = 0.d1d2... x 10^exponent
    int length;         // digits (or name characters) in `digits`
    char digits[17];
};

DigitString toDigitString(double value) noexcept;

// floor(m * 2^e * 10^k), exactly, for m below 2^53, k from -290 to 341 and a
// result below 2^64: the leading digits of the real m * 2^e.
std::uint64_t scaledFloor(std::uint64_t m, int e, int k) noexcept;
// The same by long division of big integers: the reference for the fast way
// above, which takes it where its table leaves the result in doubt.
std::uint64_t scaledFloorByLongDivision(std::uint64_t m, int e, int k) noexcept;

// A 32-bit real as the 64-bit real of the same value, by its bits: the
// hardware conversion would quiet a signalling NaN and raise a trap.
double widenExactly(float value) noexcept;

// Write the text into `text` (at least MAX_NUMBER_TEXT characters) and return its length.
int integerText(std::int32_t value, char* text) noexcept;
int realText(double value, RealKind kind, char* text) noexcept;

constexpr int fieldWidth(RealKind kind) {
    return kind == RealKind::REAL32 ? REAL32_FIELD_WIDTH : REAL64_FIELD_WIDTH;
}

}  // namespace textio
