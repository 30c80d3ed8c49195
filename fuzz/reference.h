// Second readings of a value's characters for the harnesses: the integer and real rules
// worked out with the C library's own parsers, independent of the program's conversions.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textio/errors.h"
#include "textio/number_input.h"

namespace reference {

using textio::ErrorNumber;

struct Outcome {
    bool ok = false;
    ErrorNumber error = ErrorNumber::INVALID_INTEGER;
};
inline Outcome success() { return {true, ErrorNumber::INVALID_INTEGER}; }
inline Outcome failure(ErrorNumber error) { return {false, error}; }

inline bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a radix digit in base `radix`, or -1.
inline int digitIn(char c, int radix) {
    static const char DIGITS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == '\0') return -1;
    const char* at = std::strchr(DIGITS, lower);
    if (at == nullptr) return -1;
    int value = static_cast<int>(at - DIGITS);
    return value < radix ? value : -1;
}

// A run of digits read by strtoull; `limit` exceeded (or beyond 64 bits) is an overflow.
inline bool runWithin(const std::string& run, int radix, unsigned long long limit, unsigned long long& value) {
    if (run.empty()) {
        value = 0;
        return true;
    }
    errno = 0;
    value = std::strtoull(run.c_str(), nullptr, radix);
    return errno != ERANGE && value <= limit;
}

// The integer rules: the exact text of the most negative value, a sign,
// decimal digits, a radix form after '#', a zero byte or Ctrl-Z ending the text.
inline Outcome integer(const char* characters, int count, std::int32_t& value) {
    const std::string whole(characters, static_cast<std::size_t>(count));
    if (whole == "-2147483648") {
        value = INT32_MIN;
        return success();
    }
    std::string text = whole.substr(0, whole.find_first_of(std::string("\0\x1a", 2)));
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    std::size_t runEnd = at;
    while (runEnd < text.size() && isDecimalDigit(text[runEnd])) ++runEnd;
    unsigned long long magnitude = 0;
    if (!runWithin(text.substr(at, runEnd - at), 10, 2147483647ull, magnitude)) {
        return failure(ErrorNumber::INTEGER_TOO_LARGE);
    }
    if (runEnd == text.size()) {
        value = negative ? -static_cast<std::int32_t>(magnitude) : static_cast<std::int32_t>(magnitude);
        return success();
    }
    if (text[runEnd] != '#') return failure(ErrorNumber::INVALID_INTEGER);

    const unsigned long long radixRead = magnitude;
    if (radixRead == 1 || radixRead > 36) return failure(ErrorNumber::RADIX_OUT_OF_RANGE);
    const int radix = radixRead == 0 ? 16 : static_cast<int>(radixRead);
    std::size_t digitsStart = runEnd + 1, digitsEnd = digitsStart;
    while (digitsEnd < text.size() && digitIn(text[digitsEnd], radix) >= 0) ++digitsEnd;
    const unsigned long long limit = radix == 10 ? 2147483647ull : 4294967295ull;
    unsigned long long bits = 0;
    if (!runWithin(text.substr(digitsStart, digitsEnd - digitsStart), radix, limit, bits)) {
        return failure(ErrorNumber::INTEGER_TOO_LARGE);
    }
    if (digitsEnd < text.size()) {
        return failure(text[digitsEnd] == '#' ? ErrorNumber::SECOND_RADIX_MARK : ErrorNumber::INVALID_INTEGER);
    }
    std::uint32_t word = static_cast<std::uint32_t>(bits);
    if (negative) word = 0u - word;
    std::memcpy(&value, &word, sizeof value);
    return success();
}

// The real rules: the characters rewritten for strtod (D as E, a bare
// exponent sign given its E), which must take them all; then the value
// with its significant digits rounded on the 25th.
inline Outcome real(const char* characters, int count, double& value) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char c = characters[i];
        if (c == 'D' || c == 'd') c = 'E';
        if (c == 'e') c = 'E';
        if (!(isDecimalDigit(c) || c == '.' || c == '+' || c == '-' || c == 'E')) {
            return failure(ErrorNumber::INVALID_REAL);
        }
        if ((c == '+' || c == '-') && !text.empty() && (isDecimalDigit(text.back()) || text.back() == '.')) {
            text += 'E';
        }
        text += c;
    }
    if (text.empty()) return failure(ErrorNumber::INVALID_REAL);
    char* stop = nullptr;
    (void)std::strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size()) return failure(ErrorNumber::INVALID_REAL);

    // Significant digits and the power of ten of the last of them.
    std::size_t at = 0;
    bool negative = false;
    if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
    std::string digits;
    long scale = 0;
    bool point = false;
    for (; at < text.size() && text[at] != 'E'; ++at) {
        if (text[at] == '.') {
            point = true;
            continue;
        }
        if (point) --scale;
        if (digits.empty() && text[at] == '0') continue;
        digits += text[at];
    }
    long exponent = 0;
    if (at < text.size()) {
        ++at;
        bool down = text[at] == '-';
        if (text[at] == '+' || text[at] == '-') ++at;
        for (; at < text.size(); ++at) exponent = std::min(exponent * 10 + (text[at] - '0'), 10000000L);
        if (down) exponent = -exponent;
    }
    if (digits.empty()) {
        value = negative ? -0.0 : 0.0;
        return success();
    }
    long power = scale + exponent;
    if (digits.size() > textio::MAX_SIGNIFICANT_DIGITS) {
        const std::size_t dropped = digits.size() - textio::MAX_SIGNIFICANT_DIGITS;
        const bool up = digits[textio::MAX_SIGNIFICANT_DIGITS] >= '5';
        digits.resize(textio::MAX_SIGNIFICANT_DIGITS);
        power += static_cast<long>(dropped);
        if (up) {
            std::size_t i = digits.size();
            while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
            if (i == 0) {
                digits.insert(digits.begin(), '1');
            } else {
                ++digits[i - 1];
            }
        }
    }
    power = std::max(-10000000L, std::min(power, 10000000L));
    std::string scaled = digits + "E" + std::to_string(power);
    errno = 0;
    double magnitude = std::strtod(scaled.c_str(), nullptr);
    if (std::isinf(magnitude)) return failure(ErrorNumber::REAL_TOO_LARGE);
    value = negative ? -magnitude : magnitude;
    return success();
}

// Narrowing to a 32-bit real: out of range beyond REAL32_LIMIT, otherwise
// the result must be the nearest float (ties to even), judged against its
// neighbours; differences of nearby values are exact in 64 bits.
inline bool isNearestFloat(double wide, float narrow) {
    if (std::isnan(narrow) || std::isinf(narrow)) return false;
    const double here = std::fabs(wide - static_cast<double>(narrow));
    for (float neighbour : {std::nextafter(narrow, -INFINITY), std::nextafter(narrow, INFINITY)}) {
        if (std::isinf(neighbour)) continue;
        const double there = std::fabs(wide - static_cast<double>(neighbour));
        if (there < here) return false;
        if (there == here) {
            std::uint32_t bits;
            std::memcpy(&bits, &narrow, sizeof bits);
            if (bits & 1u) return false;  // a tie goes to the even neighbour
        }
    }
    if (wide == 0.0 && std::signbit(wide) != std::signbit(narrow)) return false;
    return true;
}

}  // namespace reference
