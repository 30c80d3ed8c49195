// Number text for list-directed output: integer digits and the real text built from a 17-digit string.
#include "textio/number_text.h"

#include <array>
#include <bit>
#include <cstring>

namespace textio {
namespace {

using Uint128 = unsigned __int128;

// ---------------------------------------------------------------------------
// A small fixed-size unsigned integer, used at compile time to build the
// power table and at run time for the rare values that the table cannot
// settle. 22 words hold every intermediate value of the digit conversion.

struct BigInteger {
    static constexpr int WORDS = 22;
    std::uint64_t word[WORDS] = {};

    constexpr explicit BigInteger(std::uint64_t value = 0) { word[0] = value; }

    constexpr int bitLength() const {
        for (int i = WORDS - 1; i >= 0; --i) {
            if (word[i] != 0) return i * 64 + 64 - std::countl_zero(word[i]);
        }
        return 0;
    }
    constexpr bool bit(int index) const { return (word[index / 64] >> (index % 64)) & 1; }

    constexpr void multiplySmall(std::uint64_t factor) {
        std::uint64_t carry = 0;
        for (auto& w : word) {
            Uint128 product = static_cast<Uint128>(w) * factor + carry;
            w = static_cast<std::uint64_t>(product);
            carry = static_cast<std::uint64_t>(product >> 64);
        }
    }
    constexpr void divideSmall(std::uint64_t divisor) {
        Uint128 remainder = 0;
        for (int i = WORDS - 1; i >= 0; --i) {
            Uint128 part = (remainder << 64) | word[i];
            word[i] = static_cast<std::uint64_t>(part / divisor);
            remainder = part % divisor;
        }
    }
    constexpr void shiftLeft(int bits) {
        const int words = bits / 64;
        const int rest = bits % 64;
        for (int i = WORDS - 1; i >= 0; --i) {
            std::uint64_t high = i - words >= 0 ? word[i - words] : 0;
            std::uint64_t low = i - words - 1 >= 0 ? word[i - words - 1] : 0;
            word[i] = rest == 0 ? high : (high << rest) | (low >> (64 - rest));
        }
    }
    constexpr void shiftRightOne() {
        for (int i = 0; i < WORDS; ++i) {
            word[i] = (word[i] >> 1) | (i + 1 < WORDS ? word[i + 1] << 63 : 0);
        }
    }
    // The 128 bits starting at bit `from` (bits below index 0 read as zero).
    constexpr Uint128 bitsFrom(int from) const {
        Uint128 result = 0;
        for (int i = 127; i >= 0; --i) {
            int index = from + i;
            result = (result << 1) | ((index >= 0 && index < WORDS * 64 && bit(index)) ? 1 : 0);
        }
        return result;
    }
    constexpr bool lowBitsZero(int count) const {
        for (int i = 0; i < count; ++i) {
            if (bit(i)) return false;
        }
        return true;
    }
    constexpr bool atLeast(const BigInteger& other) const {
        for (int i = WORDS - 1; i >= 0; --i) {
            if (word[i] != other.word[i]) return word[i] > other.word[i];
        }
        return true;
    }
    constexpr void subtract(const BigInteger& other) {
        std::uint64_t borrow = 0;
        for (int i = 0; i < WORDS; ++i) {
            std::uint64_t difference = word[i] - other.word[i] - borrow;
            borrow = (word[i] < other.word[i] || (word[i] == other.word[i] && borrow)) ? 1 : 0;
            word[i] = difference;
        }
    }
};

// floor(numerator / denominator) for a quotient known to be below 2^64.
constexpr std::uint64_t divideToWord(BigInteger numerator, BigInteger denominator) {
    denominator.shiftLeft(63);
    std::uint64_t quotient = 0;
    for (int i = 63; i >= 0; --i) {
        if (numerator.atLeast(denominator)) {
            numerator.subtract(denominator);
            quotient |= std::uint64_t{1} << i;
        }
        denominator.shiftRightOne();
    }
    return quotient;
}

// ---------------------------------------------------------------------------
// The digits are taken from q = floor(|x| * 10^k), with k chosen so that q has
// 18 or 19 digits. |x| = m * 2^e ranges over 2^-1074 .. 2^1024, so k runs from
// 17 - 307 to 17 + 324.

constexpr int MIN_POWER = -290;
constexpr int MAX_POWER = 341;

// 10^p lies in [mantissa, mantissa + 1) * 2^shift, with the mantissa's top
// bit set; `exact` when it is 10^p itself.
struct PowerOfTen {
    std::uint64_t high;
    std::uint64_t low;
    int shift;
    bool exact;
};

constexpr int POWER_COUNT = MAX_POWER - MIN_POWER + 1;

constexpr PowerOfTen topBits(const BigInteger& value, int extraShift, bool mayBeExact) {
    const int length = value.bitLength();
    const int from = length - 128;
    const Uint128 mantissa = value.bitsFrom(from);
    return PowerOfTen{static_cast<std::uint64_t>(mantissa >> 64), static_cast<std::uint64_t>(mantissa),
                      from + extraShift, mayBeExact && (from <= 0 || value.lowBitsZero(from))};
}

constexpr std::array<PowerOfTen, POWER_COUNT> makePowerTable() {
    std::array<PowerOfTen, POWER_COUNT> table{};
    BigInteger power(1);
    for (int p = 0; p <= MAX_POWER; ++p) {
        table[p - MIN_POWER] = topBits(power, 0, true);
        power.multiplySmall(10);
    }
    // Negative powers from floor(2^1400 / 10^j): the floor of a floor is the
    // floor of the quotient, so the top bits are those of 2^1400 / 10^j.
    constexpr int SCALE = 1400;
    BigInteger scaled(1);
    scaled.shiftLeft(SCALE);
    for (int j = 1; j <= -MIN_POWER; ++j) {
        scaled.divideSmall(10);
        table[-j - MIN_POWER] = topBits(scaled, -SCALE, false);
    }
    return table;
}

constexpr std::array<PowerOfTen, POWER_COUNT> POWERS_OF_TEN = makePowerTable();

// floor(log10(2^b)) for the binary exponents of finite doubles.
constexpr int decimalExponentOfPowerOfTwo(int b) {
    return b >= 0 ? (b * 78913) >> 18 : -(((-b) * 78913) >> 18) - 1;
}

// 10^d <= 2^b < 10^(d+1) for every b that a finite nonzero double can have.
constexpr bool decimalExponentsHold() {
    BigInteger two(1);
    BigInteger ten(1);
    int tenExponent = 0;
    for (int b = 0; b <= 1023; ++b) {
        while (true) {
            BigInteger next = ten;
            next.multiplySmall(10);
            if (!two.atLeast(next)) break;
            ten = next;
            ++tenExponent;
        }
        if (decimalExponentOfPowerOfTwo(b) != tenExponent) return false;
        two.multiplySmall(2);
    }
    // For b = -n: d = -c where c is the smallest count with 10^c >= 2^n.
    two = BigInteger(2);
    ten = BigInteger(10);
    tenExponent = 1;
    for (int n = 1; n <= 1074; ++n) {
        while (!ten.atLeast(two)) {
            ten.multiplySmall(10);
            ++tenExponent;
        }
        if (decimalExponentOfPowerOfTwo(-n) != -tenExponent) return false;
        two.multiplySmall(2);
    }
    return true;
}
static_assert(decimalExponentsHold());

constexpr std::uint64_t TEN_POW_16 = 10'000'000'000'000'000ULL;
constexpr std::uint64_t TEN_POW_17 = 100'000'000'000'000'000ULL;
constexpr std::uint64_t TEN_POW_18 = 1'000'000'000'000'000'000ULL;

}  // namespace

// The plain way: the whole numerator and denominator, and long division.
std::uint64_t scaledFloorByLongDivision(std::uint64_t m, int e, int k) noexcept {
    BigInteger numerator(m);
    BigInteger denominator(1);
    if (e >= 0) {
        numerator.shiftLeft(e);
    } else {
        denominator.shiftLeft(-e);
    }
    BigInteger& tenSide = k >= 0 ? numerator : denominator;
    for (int i = k >= 0 ? k : -k; i > 0; i -= 19) {
        std::uint64_t factor = 1;
        for (int j = 0; j < (i < 19 ? i : 19); ++j) factor *= 10;
        tenSide.multiplySmall(factor);
    }
    return divideToWord(numerator, denominator);
}

constexpr char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `value` (below 10^(2*pairs)) as exactly 2*pairs digits.
inline void writeDigitPairs(std::uint32_t value, int pairs, char* out) {
    for (int i = pairs - 1; i >= 0; --i) {
        std::memcpy(out + 2 * i, DIGIT_PAIRS + 2 * (value % 100), 2);
        value /= 100;
    }
}

void setName(DigitString& result, const char* name) {
    result.finite = false;
    result.exponent = 0;
    result.length = static_cast<int>(std::strlen(name));
    std::memcpy(result.digits, name, result.length);
}

struct RealLayout {
    int significantDigits;
    int digitsAfterPoint;
    int exponentDigits;
    int width;
};

constexpr RealLayout layoutOf(RealKind kind) {
    return kind == RealKind::REAL32 ? RealLayout{7, 6, 2, REAL32_FIELD_WIDTH}
                                    : RealLayout{16, 15, 3, REAL64_FIELD_WIDTH};
}

// From the power table; when the truncated power leaves the floor in doubt,
// by long division.
std::uint64_t scaledFloor(std::uint64_t m, int e, int k) noexcept {
    if (k < MIN_POWER || k > MAX_POWER) return scaledFloorByLongDivision(m, e, k);
    const PowerOfTen& power = POWERS_OF_TEN[k - MIN_POWER];
    const Uint128 lowProduct = static_cast<Uint128>(m) * power.low;
    const Uint128 highProduct = static_cast<Uint128>(m) * power.high;
    const Uint128 middle = (lowProduct >> 64) + static_cast<std::uint64_t>(highProduct);
    const std::uint64_t word0 = static_cast<std::uint64_t>(lowProduct);
    const std::uint64_t word1 = static_cast<std::uint64_t>(middle);
    const std::uint64_t word2 = static_cast<std::uint64_t>(highProduct >> 64) + static_cast<std::uint64_t>(middle >> 64);

    // The product spans at most 181 bits and q at least 57, so the shift is
    // between 64 and 127.
    const int shift = -(e + power.shift);
    if (shift < 64 || shift > 127) return scaledFloorByLongDivision(m, e, k);
    const int wordShift = shift - 64;
    const Uint128 top = (static_cast<Uint128>(word2) << 64) | word1;
    const std::uint64_t quotient = static_cast<std::uint64_t>(top >> wordShift);
    if (!power.exact) {
        // The true product exceeds the computed one by less than m units.
        const std::uint64_t word1Low = wordShift == 0 ? 0 : word1 & ((std::uint64_t{1} << wordShift) - 1);
        const Uint128 remainder = (static_cast<Uint128>(word1Low) << 64) | word0;
        if (remainder + m >= (static_cast<Uint128>(1) << shift)) return scaledFloorByLongDivision(m, e, k);
    }
    return quotient;
}

DigitString toDigitString(double value) noexcept {
    // Everything works on the bits: a comparison of a signalling NaN would
    // raise the invalid-operation trap.
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const bool signBit = (bits >> 63) != 0;
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);

    DigitString result{};
    result.negative = signBit;
    if (biasedExponent == 0x7FF) {
        const bool quiet = (fraction >> 51) != 0;
        const std::uint64_t otherBits = fraction & ((std::uint64_t{1} << 51) - 1);
        if (fraction == 0) {
            setName(result, "1#INF");
        } else if (!quiet) {
            setName(result, "1#SNAN");
        } else if (signBit && otherBits == 0) {
            setName(result, "1#IND");
        } else {
            setName(result, "1#QNAN");
        }
        return result;
    }
    result.finite = true;
    if (biasedExponent == 0 && fraction == 0) {
        result.negative = false;
        result.exponent = 0;
        result.length = 1;
        result.digits[0] = '0';
        return result;
    }

    // |x| = m * 2^e, with 2^b <= |x| < 2^(b+1).
    const std::uint64_t m = biasedExponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int e = biasedExponent == 0 ? -1074 : biasedExponent - 1075;
    const int b = e + 63 - std::countl_zero(m);
    // With 10^d <= |x| < 2 * 10^(d+1), q = floor(|x| * 10^(17-d)) lies in
    // [10^17, 2 * 10^18): 18 or 19 digits.
    const int k = 17 - decimalExponentOfPowerOfTwo(b);
    std::uint64_t q = scaledFloor(m, e, k);
    int exponent = 18 - k;
    if (q >= TEN_POW_18) {
        q /= 10;  // floor(floor(y) / 10) = floor(y / 10)
        ++exponent;
    }
    // q holds d1..d18: the 18th digit decides the 17th.
    std::uint64_t digits17 = q / 10;
    if (q % 10 >= 5) {
        ++digits17;
        if (digits17 == TEN_POW_17) {
            digits17 = TEN_POW_16;
            ++exponent;
        }
    }
    result.exponent = exponent;
    // 17 digits: one, then 8 and 8.
    const std::uint32_t lead = static_cast<std::uint32_t>(digits17 / TEN_POW_16);
    const std::uint64_t rest = digits17 % TEN_POW_16;
    result.digits[0] = static_cast<char>('0' + lead);
    writeDigitPairs(static_cast<std::uint32_t>(rest / 100'000'000), 4, result.digits + 1);
    writeDigitPairs(static_cast<std::uint32_t>(rest % 100'000'000), 4, result.digits + 9);
    int length = 17;
    while (result.digits[length - 1] == '0') --length;
    result.length = length;
    return result;
}

double widenExactly(float value) noexcept {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint64_t sign = static_cast<std::uint64_t>(bits >> 31) << 63;
    const std::uint32_t exponent = (bits >> 23) & 0xFF;
    const std::uint64_t fraction = bits & 0x7FFFFF;
    std::uint64_t wide;
    if (exponent == 0xFF) {
        wide = sign | (std::uint64_t{0x7FF} << 52) | (fraction << 29);
    } else if (exponent != 0) {
        wide = sign | (static_cast<std::uint64_t>(exponent - 127 + 1023) << 52) | (fraction << 29);
    } else if (fraction == 0) {
        wide = sign;
    } else {
        // A subnormal 32-bit real is a normal 64-bit one: fraction * 2^-149.
        const int top = 63 - std::countl_zero(fraction);
        wide = sign | (static_cast<std::uint64_t>(top - 149 + 1023) << 52) |
               ((fraction << (52 - top)) & ((std::uint64_t{1} << 52) - 1));
    }
    return std::bit_cast<double>(wide);
}

int integerText(std::int32_t value, char* text) noexcept {
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char reversed[10];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int length = 0;
    if (value < 0) text[length++] = '-';
    while (count > 0) text[length++] = reversed[--count];
    return length;
}

int realText(double value, RealKind kind, char* text) noexcept {
    const RealLayout layout = layoutOf(kind);
    DigitString digits = toDigitString(value);

    if (!digits.finite) {
        const int length = layout.width - 2;
        std::memcpy(text, digits.digits, digits.length);
        std::memset(text + digits.length, '.', length - digits.length);
        return length;
    }

    const bool isZero = digits.length == 1 && digits.digits[0] == '0' && digits.exponent == 0;
    const bool fixedForm = digits.exponent >= 1 && digits.exponent <= 7;

    // The second rounding, on the 17-digit string.
    int exponent = digits.exponent;
    int used = digits.length;
    if (used > layout.significantDigits) {
        used = layout.significantDigits;
        if (digits.digits[used] >= '5') {
            int i = used - 1;
            while (i >= 0 && digits.digits[i] == '9') {
                digits.digits[i] = '0';
                --i;
            }
            if (i >= 0) {
                ++digits.digits[i];
            } else {
                digits.digits[0] = '1';
                used = 1;
                ++exponent;
            }
        }
    }

    int length = 0;
    if (digits.negative) text[length++] = '-';
    const int beforePoint = fixedForm ? exponent : 1;
    const int shown = beforePoint + layout.digitsAfterPoint;
    int next = 0;
    for (int i = 0; i < shown; ++i) {
        if (i == beforePoint) text[length++] = '.';
        text[length++] = next < used ? digits.digits[next++] : '0';
    }
    if (!fixedForm) {
        const int printed = isZero ? 0 : exponent - 1;
        text[length++] = 'E';
        text[length++] = printed < 0 ? '-' : '+';
        int magnitude = printed < 0 ? -printed : printed;
        for (int i = layout.exponentDigits - 1; i >= 0; --i) {
            text[length + i] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        }
        length += layout.exponentDigits;
    }
    return length;
}

}  // namespace textio
