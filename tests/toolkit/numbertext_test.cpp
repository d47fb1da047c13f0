#include "toolkit/NumberText.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using toolkit::FormatFixed;
using toolkit::ParseNumber;

namespace {

TEST(FormatFixed, RoundsTheEighteenDigitExpansionOnceHalfAwayFromZero) {
    const struct { double value; int decimals; const char* text; } cases[] = {
        {4.71, 0, "5"}, {4.71, 2, "4.71"}, {2.5, 0, "3"}, {-2.5, 0, "-3"}, {0.0, 3, "0.000"}, {255.0, 0, "255"},
        {9.996, 2, "10.00"}, {-0.004, 2, "0.00"}, {-0.0, 1, "0.0"}, {0.005, 2, "0.01"}, {0.0005, 2, "0.00"},
        {1.005, 2, "1.00"},   // 1.00499999999999989
        {12.345, 2, "12.35"}, // 12.3450000000000006
        {1234567.0, 0, "1234567"}, {123456789.123456789, 9, "123456789.123457000"},
        {99999999999999.99, 2, "100000000000000.00"}, {0.1, 25, "0.100000000000000000"}, {-3.0, -2, "-3"},
        {1e20, 2, "1E20"}, {999999999999999.5, 0, "1E15"}, {1.23456789012345678e17, 3, "1.23456789012346E17"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.decimals, '.'), c.text) << c.value;
    EXPECT_EQ(FormatFixed(-1.5e15, 0, ','), "-1,5E15");
    EXPECT_EQ(FormatFixed(4.71, 2, ','), "4,71");
}

TEST(FormatFixed, WritesNonFiniteValuesAndTheLargestDoublesReadably) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FormatFixed(inf, 2, '.'), "INF");
    EXPECT_EQ(FormatFixed(-inf, 2, '.'), "-INF");
    EXPECT_EQ(FormatFixed(nan, 2, '.'), "NAN");
    EXPECT_EQ(FormatFixed(std::copysign(nan, -1.0), 2, '.'), "-NAN");
    // Rounded up to 15 digits DBL_MAX would lie beyond the double range.
    for (double v : {DBL_MAX, -DBL_MAX}) {
        double back = 0.0;
        ASSERT_TRUE(ParseNumber(FormatFixed(v, 2, '.'), '.', back)) << FormatFixed(v, 2, '.');
        EXPECT_NEAR(back / v, 1.0, 1e-14);
    }
}

TEST(ParseNumber, ReadsSpacesSignDigitsSeparatorAndExponent) {
    const struct { std::string text; double value; } cases[] = {
        {"  12.345  ", 12.345}, {"+1", 1.0}, {"-1.5", -1.5}, {".", 0.0}, {"-.", 0.0}, {".E", 0.0}, {"1.", 1.0},
        {"1E", 1.0}, {"1E-", 1.0}, {"1e3", 1000.0}, {"2.5E-1", 0.25}, {"1.005", 1.005}, {"1E-400", 0.0},
        {"0E999999999999999999999", 0.0}, {"1.7976931348623157E308", DBL_MAX},
        {"1." + std::string(5000, '0') + "1", 1.0}, {"0." + std::string(5000, '0') + "1E4991", 1e-10},
    };
    for (const auto& c : cases) {
        double out = -42.0;
        ASSERT_TRUE(ParseNumber(c.text, '.', out)) << c.text;
        EXPECT_DOUBLE_EQ(out, c.value) << c.text;
    }
    double out = 0.0;
    ASSERT_TRUE(ParseNumber(" -1,5e1 ", ',', out));
    EXPECT_EQ(out, -15.0);
}

TEST(ParseNumber, RejectsEverythingElseAndLeavesTheOutputAlone) {
    const std::string invalid[] = {"", " ", "-", "+", "abc", "\t1", "1\t", "1,5", "1.2.3", "1 000", "+-1", "E5",
                                   "1E5E5", "0x10", "inf", "NAN", "1E400", "-1e309", "1.797693134862316E308",
                                   "1" + std::string(400, '0'), std::string("1\0", 2), "\xd9\xa1"};
    for (const auto& text : invalid) {
        double out = 3.25;
        EXPECT_FALSE(ParseNumber(text, '.', out)) << text;
        EXPECT_EQ(out, 3.25) << text;
    }
}

// Whatever FormatFixed writes reads back, and formats to the same text again.
TEST(NumberText, CanonicalTextIsAFixedPoint) {
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        int exponent = 0;  // half of the cases where the digits after the separator matter
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
