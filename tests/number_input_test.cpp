// Tests of the conversion of input characters into integers and reals.
#include "textio/number_input.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace textio {
namespace {

// The program runs with these traps armed; a conversion that raised any of
// them would end the test process with SIGFPE.
class NumberInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::feclearexcept(FE_ALL_EXCEPT);
        feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    }
    void TearDown() override { fedisableexcept(FE_ALL_EXCEPT); }
};

constexpr int OK = 0;

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string bitsOf(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a (0x%016llX)", value,
                  static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
    return text;
}

std::string bitsOf(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a (0x%08X)", static_cast<double>(value), std::bit_cast<std::uint32_t>(value));
    return text;
}

struct IntegerCase {
    std::string characters;
    int error;  // OK or the condition number
    std::int32_t expected;
};

TEST_F(NumberInputTest, IntegerValuesAndFailures) {
    const IntegerCase cases[] = {
        {"1200", OK, 1200},
        {"+1200", OK, 1200},
        {"-1200", OK, -1200},
        {"0", OK, 0},
        {"007", OK, 7},
        {"2147483647", OK, 2147483647},
        {"-2147483647", OK, -2147483647},
        {"-2147483648", OK, std::numeric_limits<std::int32_t>::min()},
        {"2147483648", 6100, 0},
        {"-2147483649", 6100, 0},
        {"+2147483648", 6100, 0},
        {"99999999999", 6100, 0},
        {"1200.0", 6101, 0},
        {"1.2E3", 6101, 0},
        {"12a", 6101, 0},
        {"+-5", 6101, 0},
        {"5-", 6101, 0},
        {"12'3", 6101, 0},
        {" 5", 6101, 0},
        {"\xEF\xBB\xBF" "1200", 6101, 0},
        {"+", OK, 0},
        {"-", OK, 0},
        {"", OK, 0},
        // A zero byte or Ctrl-Z ends the number; what follows is ignored.
        {"\x1A", OK, 0},
        {"\x1A" "junk", OK, 0},
        {"12\x1A" "x.5", OK, 12},
        {std::string("34\0zz", 5), OK, 34},
        {"-7\x1A", OK, -7},
        // The radix form.
        {"16#4B0", OK, 1200},
        {"#4b0", OK, 1200},
        {"0#4B0", OK, 1200},
        {"000#4B0", OK, 1200},
        {"-16#4B0", OK, -1200},
        {"2#101", OK, 5},
        {"36#zZ", OK, 35 * 36 + 35},
        {"8#777", OK, 511},
        {"10#2147483647", OK, 2147483647},
        {"10#2147483648", 6100, 0},
        {"16#FFFFFFFF", OK, -1},
        {"16#80000000", OK, std::numeric_limits<std::int32_t>::min()},
        {"-16#1", OK, -1},
        {"16#100000000", 6100, 0},
        {"2#11111111111111111111111111111111", OK, -1},
        {"16#", OK, 0},
        {"16#4B0\x1A" "zz", OK, 1200},
        {"1#5", 6303, 0},
        {"37#5", 6303, 0},
        {"99#5", 6303, 0},
        {"16#4#0", 6302, 0},
        {"##1", 6302, 0},
        {"2#102", 6101, 0},
        {"16#G", 6101, 0},
        {"16#4.0", 6101, 0},
        {"16#-1", 6101, 0},
    };
    for (const IntegerCase& c : cases) {
        std::int32_t value = 424242;
        ConversionResult result = convertInteger(c.characters.data(), static_cast<int>(c.characters.size()), value);
        if (c.error == OK) {
            EXPECT_TRUE(result.ok) << "input '" << printable(c.characters) << "' failed with "
                                   << static_cast<int>(result.error);
            EXPECT_EQ(value, c.expected) << "input '" << printable(c.characters) << "'";
        } else {
            EXPECT_FALSE(result.ok) << "input '" << printable(c.characters) << "' gave " << value;
            EXPECT_EQ(static_cast<int>(result.error), c.error) << "input '" << printable(c.characters) << "'";
            EXPECT_EQ(value, 424242) << "a failed conversion stored into '" << printable(c.characters) << "'";
        }
    }
}

struct RealCase {
    std::string characters;
    int error;
    double expected;
};

void checkReals(const RealCase* cases, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const RealCase& c = cases[i];
        double value = 424242.0;
        ConversionResult result = convertReal(c.characters.data(), static_cast<int>(c.characters.size()), value);
        if (c.error == OK) {
            EXPECT_TRUE(result.ok) << "input '" << printable(c.characters) << "' failed with "
                                   << static_cast<int>(result.error);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(c.expected))
                << "input '" << printable(c.characters) << "': got " << bitsOf(value) << ", expected "
                << bitsOf(c.expected);
        } else {
            EXPECT_FALSE(result.ok) << "input '" << printable(c.characters) << "' gave " << bitsOf(value);
            EXPECT_EQ(static_cast<int>(result.error), c.error) << "input '" << printable(c.characters) << "'";
            EXPECT_EQ(value, 424242.0) << "a failed conversion stored into '" << printable(c.characters) << "'";
        }
    }
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW), 0);
}

TEST_F(NumberInputTest, RealForms) {
    const RealCase cases[] = {
        {"10.0", OK, 10.0},
        {"10", OK, 10.0},
        {"10.", OK, 10.0},
        {"1.0D1", OK, 10.0},
        {"1.0d1", OK, 10.0},
        {"1.0e1", OK, 10.0},
        {"1.0E+1", OK, 10.0},
        {"100E-1", OK, 10.0},
        {"2.0E-1", OK, 0.2},
        {"2-1", OK, 0.2},
        {".2", OK, 0.2},
        {"+.2", OK, 0.2},
        {"1.0+1", OK, 10.0},
        {"1.0+5", OK, 1.0e5},
        {"-2.5", OK, -2.5},
        {"1200", OK, 1200.0},
        {"5.25", OK, 5.25},
        {"0.1", OK, 0.1},
        {"-0", OK, -0.0},
        {"0", OK, 0.0},
        {"+0.000", OK, 0.0},
        {"-0.0E999999999999", OK, -0.0},
        {"0E-999999999999999", OK, 0.0},
        {"000123.4500", OK, 123.45},
        {"12345.500000", OK, 12345.5},
        {"3.14159265E-01", OK, 0.314159265},
        {"6.02214076E23", OK, 6.02214076e23},
        {"1E22", OK, 1e22},
        {"1E23", OK, 1e23},
        {"9007199254740993", OK, 9007199254740992.0},
        {"123456789012345678", OK, 123456789012345678.0},
        {"0.123456789012345678", OK, 0.123456789012345678},
    };
    checkReals(cases, std::size(cases));
}

TEST_F(NumberInputTest, RealSyntaxFailures) {
    const RealCase cases[] = {
        {"10.0;2.0", 6103, 0}, {".", 6103, 0},      {"+", 6103, 0},      {"-.", 6103, 0},
        {"1.0E", 6103, 0},     {"1.0E+", 6103, 0},  {"1.0+", 6103, 0},   {"E5", 6103, 0},
        {"1.2.3", 6103, 0},    {"1E5E5", 6103, 0},  {"1E5+5", 6103, 0},  {"1.0Q5", 6103, 0},
        {"1.0x", 6103, 0},     {"INF", 6103, 0},    {"NaN", 6103, 0},    {"infinity", 6103, 0},
        {"\x1A", 6103, 0},     {"1\x1A", 6103, 0},  {"0x10", 6103, 0},   {"1,5", 6103, 0},
        {"--1", 6103, 0},      {"1E1.5", 6103, 0},  {"1 ", 6103, 0},     {"1E+-1", 6103, 0},
        {std::string("1\0", 2), 6103, 0},           {"\xEF\xBB\xBF" "1", 6103, 0},
    };
    checkReals(cases, std::size(cases));
}

TEST_F(NumberInputTest, RealRangeEdges) {
    const double smallestSubnormal = std::numeric_limits<double>::denorm_min();
    const RealCase cases[] = {
        {"1E309", 6102, 0},
        {"-1E309", 6102, 0},
        {"1E99999999999", 6102, 0},
        {"1.7976931348623157E308", OK, DBL_MAX},
        {"1.7976931348623158E308", OK, DBL_MAX},  // below the midpoint to infinity
        {"1.7976931348623159E308", 6102, 0},
        {"0.00017976931348623157E312", OK, DBL_MAX},
        {"1E-400", OK, 0.0},
        {"-1E-400", OK, -0.0},
        {"1E-99999999999", OK, 0.0},
        {"4.9E-324", OK, smallestSubnormal},
        {"2.4703282292062328E-324", OK, smallestSubnormal},  // just above half of it
        {"2.4703282292062327E-324", OK, 0.0},                // just below half of it
        {"2.2250738585072011E-308", OK, 0x0.fffffffffffffp-1022},
        {"2.2250738585072014E-308", OK, DBL_MIN},
        {"1E-320", OK, 1e-320},
    };
    checkReals(cases, std::size(cases));
}

// Only the first 24 significant digits count, the 25th rounding the 24th.
// The midpoint between 1 and the next double is 1.00000000000000011102230246...
TEST_F(NumberInputTest, RealSignificantDigits) {
    const double aboveOne = 0x1.0000000000001p0;
    const RealCase cases[] = {
        {"1.000000000000000111022305", OK, aboveOne},
        {"1.000000000000000111022304999", OK, 1.0},
        // Past the kept digits the value is above the midpoint, but ignored.
        {"1.0000000000000001110223024625156540423631668090820312500001", OK, 1.0},
        {"000000001.000000000000000111022305", OK, aboveOne},
        {"0.00000001000000000000000111022305E8", OK, aboveOne},
        {"1000000000000000111022305E-24", OK, aboveOne},
        // Digits before the point past the 24th still give the magnitude.
        {"1000000000000000000000000000", OK, 1e27},
        {"123456789012345678901234999.5", OK, 1.23456789012345678901235e26},
        {"123456789012345678901234499.5", OK, 1.23456789012345678901234e26},
        {"9999999999999999999999995", OK, 1e25},
        {"99999999999999999999999950000E-4", OK, 1e25},
    };
    checkReals(cases, std::size(cases));
}

// Random decimals of up to 24 significant digits over the whole exponent
// range, against the library's correctly rounded conversion.
TEST_F(NumberInputTest, RealMatchesCorrectRoundingOnRandomDecimals) {
    std::mt19937_64 random(20240611);
    for (int trial = 0; trial < 200000; ++trial) {
        int digits = 1 + static_cast<int>(random() % 24);
        std::string text;
        if (random() % 2) text += '-';
        for (int d = 0; d < digits; ++d) text += static_cast<char>('0' + random() % 10);
        int point = static_cast<int>(random() % (digits + 1));
        text.insert(text.size() - static_cast<std::size_t>(point), 1, '.');
        int exponent = static_cast<int>(random() % 700) - 350;
        if (trial % 4 == 0) exponent = static_cast<int>(random() % 45) - 22;
        text += 'E' + std::to_string(exponent);

        double value = 0;
        ConversionResult result = convertReal(text.data(), static_cast<int>(text.size()), value);
        fedisableexcept(FE_ALL_EXCEPT);
        double expected = std::strtod(text.c_str(), nullptr);
        feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
        if (std::isinf(expected)) {
            ASSERT_FALSE(result.ok) << text;
            ASSERT_EQ(static_cast<int>(result.error), 6102) << text;
        } else {
            ASSERT_TRUE(result.ok) << text;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(expected))
                << text << ": got " << bitsOf(value) << ", expected " << bitsOf(expected);
        }
    }
    std::feclearexcept(FE_ALL_EXCEPT);
}

struct Real32Case {
    std::string characters;
    int error;
    float expected;
};

TEST_F(NumberInputTest, Real32Narrowing) {
    const Real32Case cases[] = {
        {"500", OK, 500.0f},
        {"0.1", OK, static_cast<float>(0.1)},
        {"-2.5", OK, -2.5f},
        {"3.402823466E38", OK, FLT_MAX},
        {"-3.402823466E38", OK, -FLT_MAX},
        {"3.4028235E38", 6104, 0},
        {"-3.4028235E38", 6104, 0},
        {"1E39", 6104, 0},
        {"1E300", 6104, 0},
        {"1E-50", OK, 0.0f},
        {"-1E-50", OK, -0.0f},
        {"1.4E-45", OK, std::numeric_limits<float>::denorm_min()},
        {"1.17549435E-38", OK, FLT_MIN},
        {"-0", OK, -0.0f},
    };
    for (const Real32Case& c : cases) {
        double wide = 0;
        ConversionResult read = convertReal(c.characters.data(), static_cast<int>(c.characters.size()), wide);
        ASSERT_TRUE(read.ok) << "input '" << c.characters << "'";
        float value = 424242.0f;
        ConversionResult result = narrowToReal32(wide, value);
        if (c.error == OK) {
            EXPECT_TRUE(result.ok) << "input '" << c.characters << "'";
            EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(c.expected))
                << "input '" << c.characters << "': got " << bitsOf(value) << ", expected " << bitsOf(c.expected);
        } else {
            EXPECT_FALSE(result.ok) << "input '" << c.characters << "' gave " << bitsOf(value);
            EXPECT_EQ(static_cast<int>(result.error), c.error) << "input '" << c.characters << "'";
            EXPECT_EQ(value, 424242.0f) << "input '" << c.characters << "'";
        }
    }
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW), 0);
}

TEST_F(NumberInputTest, Real32LimitIsOneUnitAboveTheLargestFloat) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(REAL32_LIMIT), 0x47EFFFFFE0000001u);
    float value = 0;
    ASSERT_TRUE(narrowToReal32(REAL32_LIMIT, value).ok);
    EXPECT_EQ(value, FLT_MAX);
    ASSERT_TRUE(narrowToReal32(-REAL32_LIMIT, value).ok);
    EXPECT_EQ(value, -FLT_MAX);
    const double justBeyond = std::nextafter(REAL32_LIMIT, HUGE_VAL);
    EXPECT_EQ(static_cast<int>(narrowToReal32(justBeyond, value).error), 6104);
    EXPECT_FALSE(narrowToReal32(-justBeyond, value).ok);
}

// Each conversion leaves the floating-point environment as it found it:
// the flags that the caller had raised stay, and none are added by the
// slow path's range handling.
TEST_F(NumberInputTest, SlowPathKeepsTheFloatingPointEnvironment) {
    std::feraiseexcept(FE_INEXACT);
    double value = 0;
    const char* inputs[] = {"1E309", "1.7976931348623159E308", "1E-400", "4.9E-324", "123456789012345678901234567"};
    for (const char* input : inputs) convertReal(input, static_cast<int>(std::strlen(input)), value);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_INEXACT);
    EXPECT_EQ(fegetexcept(), FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

}  // namespace
}  // namespace textio
