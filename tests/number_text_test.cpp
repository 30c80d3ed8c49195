// Tests of the number text: integer and real field texts, and the 17-digit string against an exact reference.
#include "textio/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using textio::DigitString;
using textio::RealKind;

std::string textOf(double value, RealKind kind) {
    char text[textio::MAX_NUMBER_TEXT];
    return std::string(text, realText(value, kind, text));
}

std::string integerTextOf(std::int32_t value) {
    char text[textio::MAX_NUMBER_TEXT];
    return std::string(text, textio::integerText(value, text));
}

double fromBits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

struct RealCase {
    const char* label;
    double value;
    RealKind kind;
    const char* text;
};

void expectTexts(const RealCase* cases, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const RealCase& c = cases[i];
        EXPECT_EQ(textOf(c.value, c.kind), c.text)
            << c.label << (c.kind == RealKind::REAL32 ? " as 32-bit real" : " as 64-bit real")
            << ", bits 0x" << std::hex << std::bit_cast<std::uint64_t>(c.value);
    }
}

constexpr RealKind R32 = RealKind::REAL32;
constexpr RealKind R64 = RealKind::REAL64;

// The values are the nearest real of each kind to the decimal in the label.
TEST(RealText, ExamplesOfBothKinds) {
    static const RealCase cases[] = {
        {"0", 0.0, R32, "0.000000E+00"},
        {"0", 0.0, R64, "0.000000000000000E+000"},
        {"1", 1.0, R32, "1.000000"},
        {"1", 1.0, R64, "1.000000000000000"},
        {"0.5", 0x1p-1, R32, "5.000000E-01"},
        {"0.5", 0x1p-1, R64, "5.000000000000000E-001"},
        {"-2.25", -0x1.2p+1, R32, "-2.250000"},
        {"-2.25", -0x1.2p+1, R64, "-2.250000000000000"},
        {"10.5", 0x1.5p+3, R32, "10.500000"},
        {"10.5", 0x1.5p+3, R64, "10.500000000000000"},
        {"100.5", 0x1.92p+6, R32, "100.500000"},
        {"100.5", 0x1.92p+6, R64, "100.500000000000000"},
        {"1234567", 0x1.2d687p+20, R32, "1234567.000000"},
        {"1234567", 0x1.2d687p+20, R64, "1234567.000000000000000"},
        {"12345678", 0x1.78c29cp+23, R32, "1.234568E+07"},
        {"12345678", 0x1.78c29cp+23, R64, "1.234567800000000E+007"},
        {"0.00001", 0x1.4f8b58p-17, R32, "1.000000E-05"},
        {"0.00001", 0x1.4f8b588e368f1p-17, R64, "1.000000000000000E-005"},
        {"-0.001", -0x1.0624dep-10, R32, "-1.000000E-03"},
        {"-0.001", -0x1.0624dd2f1a9fcp-10, R64, "-1.000000000000000E-003"},
        {"1E20", 0x1.5af1d8p+66, R32, "1.000000E+20"},
        {"1E20", 0x1.5af1d78b58c4p+66, R64, "1.000000000000000E+020"},
        {"7/3", 0x1.2aaaaap+1, R32, "2.333333"},
        {"7/3", 0x1.2aaaaaaaaaaabp+1, R64, "2.333333333333334"},
        {"14.3", 0x1.c9999ap+3, R32, "14.300000"},
        {"14.3", 0x1.c99999999999ap+3, R64, "14.300000000000000"},
        {"1E23", 0x1.52d02cp+76, R32, "1.000000E+23"},
        {"1E23", 0x1.52d02c7e14af6p+76, R64, "9.999999999999999E+022"},
    };
    expectTexts(cases, std::size(cases));
}

TEST(RealText, EdgeCases) {
    static const RealCase cases[] = {
        {"-0", -0.0, R32, "0.000000E+00"},
        {"-0", -0.0, R64, "0.000000000000000E+000"},
        // Fixed form exactly from 1 up to below 10^7, for both kinds.
        {"0.999", 0x1.ff7ceep-1, R32, "9.990000E-01"},
        {"0.999", 0x1.ff7ced916872bp-1, R64, "9.990000000000000E-001"},
        {"1 - 2^-24", 0x1.fffffep-1, R32, "9.999999E-01"},
        {"1 - 2^-53", 0x1.fffffffffffffp-1, R64, "9.999999999999999E-001"},
        {"9999999", 0x1.312cfep+23, R32, "9999999.000000"},
        {"9999999", 0x1.312cfep+23, R64, "9999999.000000000000000"},
        {"10000000", 0x1.312dp+23, R32, "1.000000E+07"},
        {"10000000", 0x1.312dp+23, R64, "1.000000000000000E+007"},
        {"-9999999.5", -0x1.312cffp+23, R64, "-9999999.500000000000000"},
        // The extremes: exponents fill their digits.
        {"largest 64-bit", 0x1.fffffffffffffp+1023, R64, "1.797693134862316E+308"},
        {"smallest 64-bit", 0x1p-1074, R64, "4.940656458412465E-324"},
        {"smallest normal 64-bit", 0x1p-1022, R64, "2.225073858507201E-308"},
        {"largest 32-bit", 0x1.fffffep+127, R32, "3.402823E+38"},
        {"smallest 32-bit", 0x1p-149, R32, "1.401298E-45"},
        {"smallest normal 32-bit", 0x1p-126, R32, "1.175494E-38"},
        // Nines that the second rounding leaves alone.
        {"9.9999996", 0x1.3ffffep+3, R32, "9.999999"},
        {"0.099999994", 0x1.999998p-4, R32, "9.999999E-02"},
        {"999999.9375", 0x1.e847fep+19, R32, "999999.900000"},
        {"3 x 2^-1074", 0x3p-1074, R64, "1.482196937523740E-323"},
    };
    expectTexts(cases, std::size(cases));
}

TEST(RealText, NotFiniteNamesFillTheFieldLessTwo) {
    struct Case {
        const char* label;
        std::uint64_t bits;
        const char* real32;
        const char* real64;
    };
    static const Case cases[] = {
        {"+infinity", 0x7FF0000000000000, "1#INF........", "1#INF................."},
        {"-infinity", 0xFFF0000000000000, "1#INF........", "1#INF................."},
        {"signalling NaN", 0x7FF0000000000001, "1#SNAN.......", "1#SNAN................"},
        {"negative signalling NaN", 0xFFF4000000000000, "1#SNAN.......", "1#SNAN................"},
        {"indefinite", 0xFFF8000000000000, "1#IND........", "1#IND................."},
        {"positive quiet NaN", 0x7FF8000000000000, "1#QNAN.......", "1#QNAN................"},
        {"negative quiet NaN with payload", 0xFFF8000000000001, "1#QNAN.......", "1#QNAN................"},
        {"quiet NaN, all fraction bits", 0x7FFFFFFFFFFFFFFF, "1#QNAN.......", "1#QNAN................"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textOf(fromBits(c.bits), R32), c.real32) << c.label;
        EXPECT_EQ(textOf(fromBits(c.bits), R64), c.real64) << c.label;
    }
}

TEST(WidenExactly, KeepsEveryValueAndEveryNaN) {
    struct Case {
        std::uint32_t bits;
        std::uint64_t wide;
    };
    static const Case cases[] = {
        {0x00000000, 0x0000000000000000}, {0x80000000, 0x8000000000000000},
        {0x3F800000, 0x3FF0000000000000}, {0xC0100000, 0xC002000000000000},
        {0x00000001, 0x36A0000000000000}, {0x00400000, 0x3800000000000000},
        {0x807FFFFF, 0xB80FFFFFC0000000}, {0x7F7FFFFF, 0x47EFFFFFE0000000},
        {0x7F800000, 0x7FF0000000000000}, {0xFF800000, 0xFFF0000000000000},
        {0x7FA00000, 0x7FF4000000000000},  // signalling: stays signalling
        {0xFFC00000, 0xFFF8000000000000},  // indefinite
        {0x7FC00001, 0x7FF8000020000000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(textio::widenExactly(std::bit_cast<float>(c.bits))), c.wide)
            << std::hex << "0x" << c.bits;
    }
    EXPECT_EQ(textOf(textio::widenExactly(std::bit_cast<float>(0x7FA00000u)), R32), "1#SNAN.......");
    EXPECT_EQ(textOf(textio::widenExactly(std::bit_cast<float>(0xFFC00000u)), R32), "1#IND........");
}

TEST(IntegerText, Examples) {
    struct Case {
        std::int32_t value;
        const char* text;
    };
    static const Case cases[] = {
        {0, "0"},           {7, "7"},
        {-7, "-7"},         {1000, "1000"},
        {-123456, "-123456"}, {2147483647, "2147483647"},
        {-2147483647 - 1, "-2147483648"},
    };
    for (const Case& c : cases) EXPECT_EQ(integerTextOf(c.value), c.text) << c.value;
    EXPECT_EQ(integerTextOf(-2147483647 - 1).size(), static_cast<std::size_t>(textio::INTEGER_FIELD_WIDTH));
}

TEST(DigitStringText, TwoRoundingsAreVisibleInTheString) {
    struct Case {
        const char* label;
        double value;
        const char* digits;
        int exponent;
    };
    static const Case cases[] = {
        {"7/3", 0x1.2aaaaaaaaaaabp+1, "23333333333333335", 1},
        {"1E23", 0x1.52d02c7e14af6p+76, "99999999999999992", 23},
        {"1 - 2^-53", 0x1.fffffffffffffp-1, "99999999999999989", 0},
        {"0.1", 0x1.999999999999ap-4, "10000000000000001", 0},
        {"0.5", 0x1p-1, "5", 0},
        {"14.3", 0x1.c99999999999ap+3, "14300000000000001", 2},
        {"2^-1074", 0x1p-1074, "49406564584124654", -323},
    };
    for (const Case& c : cases) {
        DigitString d = textio::toDigitString(c.value);
        EXPECT_TRUE(d.finite) << c.label;
        EXPECT_EQ(std::string(d.digits, d.length), c.digits) << c.label;
        EXPECT_EQ(d.exponent, c.exponent) << c.label;
    }
}

// --- floor(m * 2^e * 10^k) against plain 128-bit arithmetic ----------------

using Uint128 = unsigned __int128;

int bitLength(Uint128 value) {
    int length = 0;
    while (value != 0) {
        value >>= 1;
        ++length;
    }
    return length;
}

Uint128 tenToThe(int j) {
    Uint128 power = 1;
    for (int i = 0; i < j; ++i) power *= 10;
    return power;
}

TEST(ScaledFloor, MatchesIntegerArithmetic) {
    std::mt19937_64 random(3);
    auto mantissa = [&random]() { return (random() >> 11) >> (random() % 53) | 1; };
    for (int i = 0; i < 200'000; ++i) {
        // 10^k exact in the table: m * 10^k, shifted right.
        const std::uint64_t m = mantissa();
        int k = static_cast<int>(random() % 39);
        while (bitLength(m) + bitLength(tenToThe(k)) > 127) --k;
        const Uint128 product = static_cast<Uint128>(m) * tenToThe(k);
        const int shift = std::max(0, bitLength(product) - 1 - static_cast<int>(random() % 64));
        ASSERT_EQ(textio::scaledFloor(m, -shift, k), static_cast<std::uint64_t>(product >> shift))
            << "m " << m << " k " << k << " e " << -shift;
    }
    for (int i = 0; i < 200'000; ++i) {
        // 10^-j known only approximately: m * 2^e over 10^j.
        const std::uint64_t m = mantissa();
        const int j = 1 + static_cast<int>(random() % 38);
        const int room = 127 - bitLength(m);
        int e = static_cast<int>(random() % (room + 1));
        while (e > 0 && ((static_cast<Uint128>(m) << e) / tenToThe(j)) >> 64 != 0) --e;
        ASSERT_EQ(textio::scaledFloor(m, e, -j), static_cast<std::uint64_t>((static_cast<Uint128>(m) << e) / tenToThe(j)))
            << "m " << m << " k " << -j << " e " << e;
    }
}

// Over the whole range of doubles: the leading digits from the power table
// agree with the plain long division.
TEST(ScaledFloor, AgreesWithLongDivisionForEveryExponent) {
    std::mt19937_64 random(17);
    for (int i = 0; i < 100'000; ++i) {
        const std::uint64_t m = (random() >> 11) | 1;  // below 2^53
        const int e = -1074 + static_cast<int>(random() % (971 + 1074 + 1));
        const double magnitude = (e + std::log2(static_cast<double>(m))) * 0.30102999566398120;
        const int k = 16 - static_cast<int>(std::floor(magnitude));
        ASSERT_EQ(textio::scaledFloor(m, e, k), textio::scaledFloorByLongDivision(m, e, k))
            << "m " << m << " e " << e << " k " << k;
    }
}

// m = c * 5^j and e = j + s make m * 2^e * 10^-j the integer c * 2^s exactly, or
// just above it with m + 1: the products that the truncated powers leave in doubt.
TEST(ScaledFloor, IntegersAndTheirNeighboursBelowAPowerOfTen) {
    std::mt19937_64 random(11);
    for (int j = 1; j <= 22; ++j) {
        std::uint64_t fiveToJ = 1;
        for (int i = 0; i < j; ++i) fiveToJ *= 5;
        const std::uint64_t largestC = ((std::uint64_t{1} << 53) - 2) / fiveToJ;
        for (int i = 0; i < 2000; ++i) {
            const std::uint64_t c = 1 + random() % largestC;
            const int s = static_cast<int>(random() % (64 - bitLength(c)));
            const std::uint64_t expected = c << s;
            const std::uint64_t m = c * fiveToJ;
            ASSERT_EQ(textio::scaledFloor(m, j + s, -j), expected) << "c " << c << " j " << j << " s " << s;
            if (s < 2 * j) {  // the excess 2^s / 5^j stays below one
                ASSERT_EQ(textio::scaledFloor(m + 1, j + s, -j), expected) << "c " << c << " j " << j << " s " << s;
            }
        }
    }
}

// --- The digits against the exact expansion -------------------------------

// The first 18 significant digits of |x|'s exact decimal expansion, cut
// (not rounded), and E with |x| = 0.d1d2... x 10^E, from the C library's
// printing, which rounds at the precision asked for. The print is exact when
// the expansion has no more digits than it shows. Otherwise 25 digits are
// enough unless the 7 after the 18th are all 9 or all 0, where a rounding at
// the 25th could reach the 18th; then all 767 digits, which are the exact
// expansion of any double.
struct ExactDigits {
    std::string digits;  // d1..d18
    std::string after;   // the digits that follow, as far as printed
    int exponent;
};

// An upper bound on the significant digits of m * 2^e: m * 2^e itself for
// e >= 0, m * 5^-e otherwise (the expansion is that integer over 10^-e).
int significantDigitsAtMost(double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0) m |= std::uint64_t{1} << 52;
    while ((m & 1) == 0) {
        m >>= 1;
        ++e;
    }
    const double bitsOfM = std::log2(static_cast<double>(m)) + 1;
    const double digits = e >= 0 ? (bitsOfM + e) * 0.30103 : bitsOfM * 0.30103 + (-e) * 0.69898;
    return static_cast<int>(digits) + 2;
}

ExactDigits exactDigits(double x, bool full = false) {
    static char text[800];
    const int needed = significantDigitsAtMost(x);
    const bool exactPrint = full || needed <= 60;
    const int precision = full ? 766 : exactPrint ? std::max(needed, 24) : 24;
    std::snprintf(text, sizeof text, "%.*e", precision, std::fabs(x));
    std::string digits;
    digits.push_back(text[0]);
    const char* p = text + 2;
    while (*p != 'e') digits.push_back(*p++);
    const int exponent = std::atoi(p + 1) + 1;
    ExactDigits result{digits.substr(0, 18), digits.substr(18), exponent};
    if (!exactPrint) {
        const std::string window = result.after.substr(0, 7);
        if (window == "9999999" || window == "0000000") return exactDigits(x, true);
    }
    return result;
}

// The 17-digit string that the 18th digit's rule makes of the exact digits.
void expectDigitStringMatches(double x) {
    const ExactDigits exact = exactDigits(x);
    std::string digits = exact.digits.substr(0, 17);
    int exponent = exact.exponent;
    if (exact.digits[17] >= '5') {
        int i = 16;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            digits = "1" + std::string(16, '0');
            ++exponent;
        }
    }
    digits.erase(digits.find_last_not_of('0') + 1);

    const DigitString got = textio::toDigitString(x);
    ASSERT_TRUE(got.finite);
    ASSERT_EQ(std::string(got.digits, got.length), digits)
        << "x = " << std::hexfloat << x << ", exact digits " << exact.digits << "|" << exact.after.substr(0, 12);
    ASSERT_EQ(got.exponent, exponent) << "x = " << std::hexfloat << x;
    ASSERT_EQ(got.negative, std::signbit(x)) << "x = " << std::hexfloat << x;
}

bool finiteNonZero(std::uint64_t bits) {
    return ((bits >> 52) & 0x7FF) != 0x7FF && (bits << 1) != 0;
}

TEST(DigitStringExact, RandomDoubles) {
    std::mt19937_64 random(20240611);
    for (int checked = 0; checked < 1'000'000;) {
        const std::uint64_t bits = random();
        if (!finiteNonZero(bits)) continue;
        expectDigitStringMatches(fromBits(bits));
        if (testing::Test::HasFatalFailure()) return;
        ++checked;
    }
}

TEST(DigitStringExact, RandomFloatsWidened) {
    std::mt19937 random(7);
    for (int checked = 0; checked < 1'000'000;) {
        const std::uint32_t bits = static_cast<std::uint32_t>(random());
        if (((bits >> 23) & 0xFF) == 0xFF || (bits << 1) == 0) continue;
        const double wide = textio::widenExactly(std::bit_cast<float>(bits));
        ASSERT_EQ(std::bit_cast<std::uint64_t>(wide), std::bit_cast<std::uint64_t>(static_cast<double>(std::bit_cast<float>(bits))));
        expectDigitStringMatches(wide);
        if (testing::Test::HasFatalFailure()) return;
        ++checked;
    }
}

// Values a result table is made of: energies and factors between 10^-4 and 10^6.
TEST(DigitStringExact, RandomValuesOfTheUsualSize) {
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> logarithm(-4.0, 6.0);
    for (int i = 0; i < 200'000; ++i) {
        const double x = std::pow(10.0, logarithm(random)) * ((i & 1) ? -1.0 : 1.0);
        expectDigitStringMatches(x);
        if (testing::Test::HasFatalFailure()) return;
    }
}

// x = J / 2^n with J odd has exactly n digits after the point, the last a 5;
// chosen with 18 significant digits, its 18th digit is an exact 5.
TEST(DigitStringExact, EighteenthDigitAnExactFive) {
    std::mt19937_64 random(5);
    int ties = 0;
    for (int n = 2; n <= 25; ++n) {
        // J / 2^n in [10^(17-n), 10^(18-n)), J below 2^53.
        const double low = std::ceil(std::ldexp(std::pow(10.0, 17 - n), n));
        const double high = std::min(std::ldexp(std::pow(10.0, 18 - n), n), 0x1p53);
        if (low >= high) continue;
        std::uniform_int_distribution<std::uint64_t> pick(static_cast<std::uint64_t>(low), static_cast<std::uint64_t>(high) - 1);
        for (int i = 0; i < 400; ++i) {
            const std::uint64_t j = pick(random) | 1;
            const double x = std::ldexp(static_cast<double>(j), -n);
            const ExactDigits exact = exactDigits(x, true);
            if (exact.digits[17] != '5' || exact.after.find_first_not_of('0') != std::string::npos) continue;
            ++ties;
            expectDigitStringMatches(x);
            expectDigitStringMatches(-x);
            if (testing::Test::HasFatalFailure()) return;
        }
    }
    EXPECT_GT(ties, 4000);
}

// Values just below and just above an 18th-digit boundary: x * 10^K within
// 2^-24 or less of an integer, built as m * 5^K = r (mod 2^F) for a small r,
// where x = m * 2^e and F = -(K + e) bits follow the point of x * 10^K.
TEST(DigitStringExact, EighteenthDigitNextToARoundingBoundary) {
    using Uint128 = unsigned __int128;
    int belowFive = 0;  // 18th digit 4 followed by nines
    int belowTen = 0;   // 18th digit 9 followed by nines
    int atFive = 0;     // 18th digit 5 followed by zeros
    for (int b = -24; b <= 48; ++b) {
        const int d = static_cast<int>(std::floor(b * 0.30102999566398120));
        const int k = 17 - d;
        const int e = b - 52;
        const int f = -(k + e);
        if (k < 1 || k > 32 || f < 30 || f > 52) continue;
        const std::uint64_t mask = (std::uint64_t{1} << f) - 1;
        std::uint64_t inverseOfFive = 1;  // 5 * inverse = 1 mod 2^64, by Newton's steps
        for (int i = 0; i < 7; ++i) inverseOfFive *= 2 - 5 * inverseOfFive;
        std::uint64_t inverse = 1;
        for (int i = 0; i < k; ++i) inverse *= inverseOfFive;
        Uint128 fiveToK = 1;
        for (int i = 0; i < k; ++i) fiveToK *= 5;
        for (std::uint64_t r = 1; r <= 64; ++r) {
            for (bool below : {true, false}) {
                const std::uint64_t residue = below ? ((std::uint64_t{1} << f) - r) : r;
                const std::uint64_t m0 = (residue * inverse) & mask;
                // m in [2^52, 2^53): m0 plus a multiple of 2^F; take ten in a row.
                const std::uint64_t first = ((std::uint64_t{1} << 52) + mask - m0) >> f;
                for (std::uint64_t t = first; t < first + 10; ++t) {
                    const std::uint64_t m = m0 + (t << f);
                    if (m >= (std::uint64_t{1} << 53)) break;
                    const double x = std::ldexp(static_cast<double>(m), e);
                    ASSERT_EQ((static_cast<Uint128>(m) * fiveToK) & mask, residue);
                    const ExactDigits exact = exactDigits(x, true);
                    const char d18 = exact.digits[17];
                    if (below && exact.after.compare(0, 7, "9999999") == 0) {
                        belowFive += d18 == '4';
                        belowTen += d18 == '9';
                    }
                    if (!below && exact.after.compare(0, 7, "0000000") == 0) atFive += d18 == '5';
                    expectDigitStringMatches(x);
                    if (testing::Test::HasFatalFailure()) return;
                }
            }
        }
    }
    EXPECT_GT(belowFive, 100);
    EXPECT_GT(belowTen, 100);
    EXPECT_GT(atFive, 100);
}

// Large integers with many trailing zeros and their neighbours: x * 10^K is an
// integer, or next to one, where 10^K is below 1 and known only approximately.
TEST(DigitStringExact, LargeRoundNumbers) {
    for (int j = 18; j <= 22; ++j) {
        double tenToJ = 1;
        for (int i = 0; i < j; ++i) tenToJ *= 10;  // exact up to 10^22
        for (std::uint64_t c = 1; c <= 300; ++c) {
            const double x = static_cast<double>(c) * tenToJ;
            expectDigitStringMatches(x);
            expectDigitStringMatches(std::nextafter(x, 0.0));
            expectDigitStringMatches(std::nextafter(x, 1e300));
            if (testing::Test::HasFatalFailure()) return;
        }
    }
    for (int n = 60; n <= 1023; ++n) {
        expectDigitStringMatches(std::ldexp(1.0, n));
        expectDigitStringMatches(std::ldexp(3.0, n - 1));
        if (testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace
