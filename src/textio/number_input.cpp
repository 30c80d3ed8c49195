// Conversion of the characters of one input value into an integer or a real.
#include "textio/number_input.h"

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace textio {

namespace {

constexpr char CTRL_Z = 26;

constexpr ConversionResult success() { return {true, ErrorNumber::INVALID_INTEGER}; }
constexpr ConversionResult failure(ErrorNumber number) { return {false, number}; }

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a radix digit 0-9, a-z or A-Z, or -1.
constexpr int radixDigitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

// A zero byte or Ctrl-Z ends an integer like the end of its characters.
constexpr bool endsInteger(char c) { return c == '\0' || c == CTRL_Z; }

// The digits after a number sign; `radixRead` is the value read before it.
ConversionResult convertRadixForm(const char* characters, int count, int start,
                                  std::uint32_t radixRead, bool negative,
                                  std::int32_t& value) noexcept {
    std::uint32_t radix = radixRead == 0 ? 16 : radixRead;
    if (radix < 2 || radix > 36) return failure(ErrorNumber::RADIX_OUT_OF_RANGE);
    // Radix 10 keeps the signed limit; every other radix may fill all 32 bits.
    const std::uint64_t limit = radix == 10 ? 2147483647u : 4294967295u;
    std::uint64_t accumulated = 0;
    for (int i = start; i < count; ++i) {
        char c = characters[i];
        if (endsInteger(c)) break;
        if (c == '#') return failure(ErrorNumber::SECOND_RADIX_MARK);
        int digit = radixDigitValue(c);
        if (digit < 0 || static_cast<std::uint32_t>(digit) >= radix)
            return failure(ErrorNumber::INVALID_INTEGER);
        accumulated = accumulated * radix + static_cast<std::uint32_t>(digit);
        if (accumulated > limit) return failure(ErrorNumber::INTEGER_TOO_LARGE);
    }
    std::uint32_t bits = static_cast<std::uint32_t>(accumulated);
    if (negative) bits = 0u - bits;
    value = static_cast<std::int32_t>(bits);  // the 32 bits as they stand
    return success();
}

// Exact powers of ten that a double holds without rounding.
constexpr double EXACT_POWERS_OF_TEN[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MAX_EXACT_POWER = 22;
constexpr std::uint64_t MAX_EXACT_MANTISSA = std::uint64_t{1} << 53;

// Exponents beyond this are clamped while their digits are read; the value
// is then certainly out of range or zero, and the int cannot overflow.
constexpr int EXPONENT_CLAMP = 100000;

// The significant digits of a real value, scaled: value = digits x 10^exponent.
struct Decimal {
    char digits[MAX_SIGNIFICANT_DIGITS + 1];  // without leading zeros
    int count;                                // 0 for a zero mantissa
    int exponent;
    std::uint64_t mantissa;  // the digits as an integer while they fit
    bool mantissaFits;
};

// Adds one to the last kept digit, carrying into the digits before it.
void roundUpLastDigit(Decimal& decimal) {
    int i = decimal.count - 1;
    while (i >= 0 && decimal.digits[i] == '9') {
        decimal.digits[i] = '0';
        --i;
    }
    if (i >= 0) {
        ++decimal.digits[i];
    } else {
        // 99...9 became 100...0: one digit, a power of ten higher.
        decimal.digits[0] = '1';
        decimal.exponent += decimal.count;
        decimal.count = 1;
    }
    // Trailing zeros carry no value; dropping them keeps the fast path open.
    while (decimal.count > 1 && decimal.digits[decimal.count - 1] == '0') {
        --decimal.count;
        ++decimal.exponent;
    }
    decimal.mantissaFits = decimal.count <= 19;
    decimal.mantissa = 0;
    if (decimal.mantissaFits)
        for (int k = 0; k < decimal.count; ++k)
            decimal.mantissa = decimal.mantissa * 10 + static_cast<unsigned>(decimal.digits[k] - '0');
}

// The correctly rounded double of digits x 10^exponent for the cases that
// one exact multiplication or division cannot settle. The library
// conversion rounds correctly; it runs with every trap held off, and its
// range reports are judged here: infinity is an overflow, zero or a
// subnormal is an ordinary result.
ConversionResult convertSlowly(const Decimal& decimal, double& magnitude) noexcept {
    // Digits, 'e', sign, up to 7 exponent digits, terminator.
    char text[MAX_SIGNIFICANT_DIGITS + 1 + 10];
    int length = 0;
    for (int i = 0; i < decimal.count; ++i) text[length++] = decimal.digits[i];
    text[length++] = 'e';
    int exponent = decimal.exponent;
    if (exponent < 0) {
        text[length++] = '-';
        exponent = -exponent;
    }
    char reversed[8];
    int exponentDigits = 0;
    do {
        reversed[exponentDigits++] = static_cast<char>('0' + exponent % 10);
        exponent /= 10;
    } while (exponent > 0);
    while (exponentDigits > 0) text[length++] = reversed[--exponentDigits];
    text[length] = '\0';

    std::fenv_t saved;
    std::feholdexcept(&saved);
    int savedErrno = errno;
    double result = std::strtod(text, nullptr);
    errno = savedErrno;
    std::fesetenv(&saved);

    if (std::isinf(result)) return failure(ErrorNumber::REAL_TOO_LARGE);
    magnitude = result;
    return success();
}

}  // namespace

ConversionResult convertInteger(const char* characters, int count, std::int32_t& value) noexcept {
    static constexpr char MOST_NEGATIVE[] = "-2147483648";
    constexpr int MOST_NEGATIVE_LENGTH = sizeof(MOST_NEGATIVE) - 1;
    if (count == MOST_NEGATIVE_LENGTH && std::memcmp(characters, MOST_NEGATIVE, MOST_NEGATIVE_LENGTH) == 0) {
        value = -2147483647 - 1;
        return success();
    }

    int i = 0;
    bool negative = false;
    if (i < count && (characters[i] == '+' || characters[i] == '-')) {
        negative = characters[i] == '-';
        ++i;
    }
    std::int32_t accumulated = 0;
    for (; i < count; ++i) {
        char c = characters[i];
        if (endsInteger(c)) break;
        if (c == '#')
            return convertRadixForm(characters, count, i + 1, static_cast<std::uint32_t>(accumulated),
                                    negative, value);
        if (!isDigit(c)) return failure(ErrorNumber::INVALID_INTEGER);
        int digit = c - '0';
        if (accumulated > 214748364 || (accumulated == 214748364 && digit > 7))
            return failure(ErrorNumber::INTEGER_TOO_LARGE);
        accumulated = accumulated * 10 + digit;
    }
    value = negative ? -accumulated : accumulated;
    return success();
}

ConversionResult convertReal(const char* characters, int count, double& value) noexcept {
    int i = 0;
    bool negative = false;
    if (i < count && (characters[i] == '+' || characters[i] == '-')) {
        negative = characters[i] == '-';
        ++i;
    }

    // Mantissa: digits with at most one point, at least one digit. The kept
    // digits also accumulate as an integer, exact while at most 19 of them.
    Decimal decimal;
    int kept = 0;
    int scale = 0;
    std::uint64_t mantissa = 0;
    int mantissaDigits = 0;
    int pointSeen = 0;  // 1 after the point: each kept digit lowers the scale
    bool firstDroppedDigit = true;
    bool roundUp = false;
    for (; i < count; ++i) {
        const char c = characters[i];
        const unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
        if (digit > 9) {
            if (c != '.') break;
            if (pointSeen) return failure(ErrorNumber::INVALID_REAL);
            pointSeen = 1;
            continue;
        }
        ++mantissaDigits;
        if (kept == 0 && digit == 0) {
            scale -= pointSeen;  // a leading zero only places the point
            continue;
        }
        if (kept < MAX_SIGNIFICANT_DIGITS) {
            decimal.digits[kept++] = c;
            mantissa = mantissa * 10 + digit;
            scale -= pointSeen;
        } else {
            // Beyond the kept digits: the first one decides the rounding;
            // those before the point still count for the magnitude.
            if (firstDroppedDigit) roundUp = digit >= 5;
            firstDroppedDigit = false;
            scale += 1 - pointSeen;
        }
    }
    decimal.count = kept;
    decimal.exponent = scale;
    decimal.mantissa = mantissa;
    decimal.mantissaFits = kept <= 19;
    if (mantissaDigits == 0) return failure(ErrorNumber::INVALID_REAL);

    // Exponent: a letter E, e, D or d with an optional sign, or a bare sign.
    if (i < count) {
        char c = characters[i];
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
            ++i;
            if (i < count && (characters[i] == '+' || characters[i] == '-')) c = characters[i++];
        } else if (c != '+' && c != '-') {
            return failure(ErrorNumber::INVALID_REAL);
        } else {
            ++i;
        }
        bool exponentNegative = c == '-';
        int exponentDigits = 0;
        int exponent = 0;
        for (; i < count && isDigit(characters[i]); ++i) {
            ++exponentDigits;
            if (exponent < EXPONENT_CLAMP) exponent = exponent * 10 + (characters[i] - '0');
        }
        if (exponentDigits == 0 || i < count) return failure(ErrorNumber::INVALID_REAL);
        decimal.exponent += exponentNegative ? -exponent : exponent;
    }

    if (decimal.count == 0) {
        value = negative ? -0.0 : 0.0;
        return success();
    }

    double magnitude;
    if (roundUp) roundUpLastDigit(decimal);

    if (decimal.mantissaFits && decimal.mantissa < MAX_EXACT_MANTISSA &&
        decimal.exponent >= -MAX_EXACT_POWER && decimal.exponent <= MAX_EXACT_POWER) {
        // Both operands are exact doubles: one correctly rounded operation,
        // far from overflow and underflow.
        double exact = static_cast<double>(decimal.mantissa);
        magnitude = decimal.exponent >= 0 ? exact * EXACT_POWERS_OF_TEN[decimal.exponent]
                                          : exact / EXACT_POWERS_OF_TEN[-decimal.exponent];
    } else if (decimal.exponent > 308) {
        // At least 1 x 10^309.
        return failure(ErrorNumber::REAL_TOO_LARGE);
    } else if (decimal.count + decimal.exponent < -324) {
        // Below 10^-325, under half the smallest subnormal.
        magnitude = 0.0;
    } else {
        ConversionResult result = convertSlowly(decimal, magnitude);
        if (!result.ok) return result;
    }
    value = negative ? -magnitude : magnitude;
    return success();
}

ConversionResult narrowToReal32(double wide, float& value) noexcept {
    if (wide > REAL32_LIMIT || wide < -REAL32_LIMIT) return failure(ErrorNumber::REAL32_OUT_OF_RANGE);
    // Within the limit the nearest float is at most the largest one, so the
    // narrowing cannot overflow; tiny values become subnormal or zero.
    value = static_cast<float>(wide);
    return success();
}

}  // namespace textio
