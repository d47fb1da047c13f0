#include "toolkit/NumberText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using toolkit::FormatFixed;
using toolkit::ParseNumber;

namespace {

struct FormatCase {
    double value;
    int decimals;
    const char* text;
};

TEST(FormatFixed, RoundsTheEighteenDigitExpansionHalfAwayFromZero) {
    const FormatCase cases[] = {
        {4.71, 0, "5"},
        {4.71, 2, "4.71"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.0, 3, "0.000"},
        {255.0, 0, "255"},
        {9.996, 2, "10.00"},          // carry into a new leading digit
        {-9.996, 2, "-10.00"},
        {-0.004, 2, "0.00"},          // rounds to zero: no sign
        {-0.0, 1, "0.0"},
        {1.005, 2, "1.00"},           // the double lies below 1.005: 1.00499999999999989
        {12.345, 2, "12.35"},         // the double lies above: 12.3450000000000006
        {0.005, 2, "0.01"},           // the first dropped digit is the leading one
        {0.0005, 2, "0.00"},
        {999.9995, 3, "1000.000"},
        {1234567.0, 0, "1234567"},    // never a thousands separator
        {0.5, 0, "1"},
        {1e-300, 4, "0.0000"},
        {std::numeric_limits<double>::denorm_min(), 18, "0.000000000000000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.decimals, '.'), c.text) << c.value << " / " << c.decimals;
}

TEST(FormatFixed, KeepsAtMostFifteenSignificantDigitsAndEighteenDecimals) {
    EXPECT_EQ(FormatFixed(123456789.123456789, 9, '.'), "123456789.123457000");
    EXPECT_EQ(FormatFixed(0.1, 25, '.'), "0.100000000000000000");
    EXPECT_EQ(FormatFixed(2.0 / 3.0, 18, '.'), "0.666666666666667000");
    EXPECT_EQ(FormatFixed(99999999999999.99, 2, '.'), "100000000000000.00");
    EXPECT_EQ(FormatFixed(-3.0, -2, '.'), "-3");  // negative counts act as 0
}

TEST(FormatFixed, UsesTheGivenSeparator) {
    EXPECT_EQ(FormatFixed(4.71, 2, ','), "4,71");
    EXPECT_EQ(FormatFixed(4.71, 0, ','), "5");
}

TEST(FormatFixed, WritesInfinitiesAndNotANumber) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FormatFixed(inf, 2, '.'), "INF");
    EXPECT_EQ(FormatFixed(-inf, 2, '.'), "-INF");
    EXPECT_EQ(FormatFixed(nan, 2, '.'), "NAN");
    EXPECT_EQ(FormatFixed(std::copysign(nan, -1.0), 2, '.'), "-NAN");
}

TEST(FormatFixed, WritesMoreThanFifteenIntegerDigitsWithAnExponentThatReadsBack) {
    EXPECT_EQ(FormatFixed(1e20, 2, '.'), "1E20");
    EXPECT_EQ(FormatFixed(-1.5e15, 0, ','), "-1,5E15");
    EXPECT_EQ(FormatFixed(999999999999999.5, 0, '.'), "1E15");  // rounding adds the 16th digit
    EXPECT_EQ(FormatFixed(1.23456789012345678e17, 3, '.'), "1.23456789012346E17");
    for (double v : {DBL_MAX, -DBL_MAX, 1e308, 9.999999999999999e307, 1e16}) {
        const std::string text = FormatFixed(v, 2, '.');
        double back = 0.0;
        ASSERT_TRUE(ParseNumber(text, '.', back)) << text;
        EXPECT_NEAR(back / v, 1.0, 1e-14) << text;
    }
}

struct ParseCase {
    const char* text;
    double value;
};

TEST(ParseNumber, ReadsSignDigitsSeparatorAndExponent) {
    const ParseCase cases[] = {
        {"12.345", 12.345}, {"  12.345  ", 12.345}, {"+1", 1.0}, {"-1.5", -1.5}, {"007", 7.0},
        {".", 0.0},          // a lone separator reads as 0
        {"-.", 0.0},         {".E", 0.0},  {"1.", 1.0},  {".5", 0.5},   {"1E", 1.0},  {"1e3", 1000.0}, {"1E+2", 100.0},
        {"1E-", 1.0},        {"2.5E-1", 0.25}, {"0.1", 0.1}, {"1.005", 1.005}, {"4.71", 4.71},
        {"1E-400", 0.0},     // below the double range: zero
        {"0E999999999999999999999", 0.0},
        {"1.7976931348623157E308", DBL_MAX},
        {"123456789012345678901234567890", 1.2345678901234568e29},
    };
    for (const auto& c : cases) {
        double out = -42.0;
        ASSERT_TRUE(ParseNumber(c.text, '.', out)) << c.text;
        EXPECT_EQ(out, c.value) << c.text;
    }
}

TEST(ParseNumber, HandlesVeryLongDigitRuns) {
    double out = 0.0;
    ASSERT_TRUE(ParseNumber("1." + std::string(5000, '0') + "1", '.', out));
    EXPECT_EQ(out, 1.0);
    ASSERT_TRUE(ParseNumber("1" + std::string(300, '0'), '.', out));
    EXPECT_EQ(out, 1e300);
    ASSERT_TRUE(ParseNumber("0." + std::string(5000, '0') + "1E4990", '.', out));
    EXPECT_DOUBLE_EQ(out, 1e-11);
    EXPECT_FALSE(ParseNumber("1" + std::string(400, '0'), '.', out));
}

TEST(ParseNumber, RejectsEverythingElseAndLeavesTheOutputAlone) {
    const char* invalid[] = {"",     " ",     "-",      "+",     "abc",   "\t1",    "1\t",    "1,5",   "1.2.3",
                             "1 000", "++1",  "+-1",    "E5",    "E",     "1E5E5", "$1",     "1 .5",  "0x10",
                             "inf",  "NAN",   "INF",    "1E400", "-1E400", "1e309", "1.797693134862316E308",
                             "1E99999999999999999999", "1e 5",  "١"};
    for (const char* text : invalid) {
        double out = 3.25;
        EXPECT_FALSE(ParseNumber(text, '.', out)) << text;
        EXPECT_EQ(out, 3.25) << text;
    }
    double out = 3.25;
    EXPECT_FALSE(ParseNumber(std::string_view("1\0", 2), '.', out));
    EXPECT_FALSE(ParseNumber("1.5", ',', out));
    ASSERT_TRUE(ParseNumber(" -1,5e1 ", ',', out));
    EXPECT_EQ(out, -15.0);
}

// Whatever FormatFixed writes reads back, and formats to the same text again.
TEST(NumberText, CanonicalTextIsAFixedPoint) {
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        // Half of the cases in the range where the digits after the separator matter.
        int exponent = 0;
        if (i % 2) value = std::ldexp(std::frexp(value, &exponent), static_cast<int>(random() % 120) - 60);
        const int decimals = static_cast<int>(random() % 20);
        const char separator = (i % 3) ? '.' : ',';
        const std::string text = FormatFixed(value, decimals, separator);
        double back = 0.0;
        ASSERT_TRUE(ParseNumber(text, separator, back)) << text;
        ASSERT_EQ(FormatFixed(back, decimals, separator), text) << value;
    }
}

} // namespace
