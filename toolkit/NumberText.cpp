#include "toolkit/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace toolkit {
namespace {

constexpr int kExpansionDigits = 18;
constexpr int kSignificantDigits = 15;

// A non-negative decimal number: digits[0] stands just left of the point when pointPos is 1.
// Zero is the empty digit string.
struct DecimalDigits {
    std::string digits;
    int pointPos = 0;

    bool IsZero() const { return digits.find_first_not_of('0') == std::string::npos; }
};

// The 18 significant digits of a finite magnitude, correctly rounded by the C library.
DecimalDigits Expand(double magnitude) {
    DecimalDigits result;
    if (magnitude == 0.0) return result;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*e", kExpansionDigits - 1, magnitude);
    // "d.ddddddddddddddddde[+-]xx"
    result.digits.push_back(buffer[0]);
    result.digits.append(buffer + 2, kExpansionDigits - 1);
    result.pointPos = std::atoi(buffer + kExpansionDigits + 2) + 1;
    return result;
}

// Keeps the first `keep` digits; the first dropped digit decides, 5 and above rounding the
// magnitude up with carry into a new leading digit.
void RoundToDigits(DecimalDigits& number, int keep) {
    if (keep >= static_cast<int>(number.digits.size())) return;
    if (keep < 0) {
        number = DecimalDigits{};
        return;
    }
    const bool roundUp = number.digits[keep] >= '5';
    number.digits.resize(keep);
    if (roundUp) {
        int i = keep - 1;
        for (; i >= 0 && number.digits[i] == '9'; --i) number.digits[i] = '0';
        if (i >= 0) {
            ++number.digits[i];
        } else {
            number.digits.insert(number.digits.begin(), '1');
            ++number.pointPos;
        }
    }
    if (number.IsZero()) number = DecimalDigits{};
}

std::string FormatPlain(const DecimalDigits& number, bool negative, int decimals, char separator) {
    std::string text;
    if (negative) text.push_back('-');
    auto digitAt = [&](int index) {
        return index >= 0 && index < static_cast<int>(number.digits.size()) ? number.digits[index] : '0';
    };
    if (number.pointPos <= 0) {
        text.push_back('0');
    } else {
        for (int i = 0; i < number.pointPos; ++i) text.push_back(digitAt(i));
    }
    if (decimals > 0) {
        text.push_back(separator);
        for (int i = 0; i < decimals; ++i) text.push_back(digitAt(number.pointPos + i));
    }
    return text;
}

std::string FormatWithExponent(DecimalDigits number, bool negative, char separator) {
    const auto last = number.digits.find_last_not_of('0');
    number.digits.resize(last == std::string::npos ? 1 : last + 1);
    std::string text;
    if (negative) text.push_back('-');
    text.push_back(number.digits[0]);
    if (number.digits.size() > 1) {
        text.push_back(separator);
        text.append(number.digits, 1);
    }
    text.push_back('E');
    text += std::to_string(number.pointPos - 1);
    return text;
}

// Numbers with more than 15 integer digits. Rounding up to 15 digits can carry the largest
// doubles past the double range; those are cut instead so the text still reads back.
std::string FormatLarge(const DecimalDigits& expansion, const DecimalDigits& rounded, bool negative,
                        char separator) {
    std::string text = FormatWithExponent(rounded, negative, separator);
    double readBack = 0.0;
    if (ParseNumber(text, separator, readBack)) return text;
    DecimalDigits truncated = expansion;
    truncated.digits.resize(kSignificantDigits);
    return FormatWithExponent(truncated, negative, separator);
}

// Accumulates mantissa digits: up to 19 significant digits are held exactly, later integer digits
// only shift the decimal point and later fraction digits lie below extended precision.
class MantissaDigits {
public:
    void AddIntegerDigit(int digit) {
        if (FCount == 0 && digit == 0) return;
        if (FCount < kHeldDigits) {
            Hold(digit);
        } else {
            ++FPowerOfTen;
        }
    }
    void AddFractionDigit(int digit) {
        if (FCount == 0 && digit == 0) {
            --FPowerOfTen;
        } else if (FCount < kHeldDigits) {
            Hold(digit);
            --FPowerOfTen;
        }
    }
    uint64_t Digits() const { return FDigits; }
    int Count() const { return FCount; }
    int64_t PowerOfTen() const { return FPowerOfTen; }

private:
    static constexpr int kHeldDigits = 19;
    void Hold(int digit) {
        FDigits = FDigits * 10 + static_cast<uint64_t>(digit);
        ++FCount;
    }
    uint64_t FDigits = 0;
    int FCount = 0;
    int64_t FPowerOfTen = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Powers of ten up to 10^27 are exact in extended precision.
long double PowerOfTen(int64_t exponent) {
    static constexpr int kExactMax = 27;
    if (exponent >= 0 && exponent <= kExactMax) {
        long double p = 1.0L;
        for (int64_t i = 0; i < exponent; ++i) p *= 10.0L;
        return p;
    }
    return std::pow(10.0L, static_cast<long double>(exponent));
}

// Scales held digits by 10^exponent in extended precision. Returns false when the result would
// not fit a double once stored.
bool ScaleToDouble(const MantissaDigits& mantissa, int64_t exponent, double& out) {
    // Decimal exponents well outside the double range are settled without arithmetic, so that an
    // extreme exponent can neither overflow the scaling nor make 0 * infinity.
    const int64_t leadingExponent = mantissa.Count() - 1 + exponent;
    if (leadingExponent > 309) return false;
    if (leadingExponent < -400) {
        out = 0.0;
        return true;
    }
    const long double digits = static_cast<long double>(mantissa.Digits());
    const long double scaled = exponent >= 0 ? digits * PowerOfTen(exponent) : digits / PowerOfTen(-exponent);
    // Anything from halfway between the largest double and 2^1024 up rounds to infinity.
    const long double overflowAt = std::ldexp(1.0L, 1024) - std::ldexp(1.0L, 970);
    if (!(scaled < overflowAt)) return false;
    out = static_cast<double>(scaled);
    return true;
}

} // namespace

std::string FormatFixed(double value, int decimals, char separator) {
    if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    decimals = std::clamp(decimals, 0, kMaxFixedDecimals);

    const DecimalDigits expansion = Expand(std::fabs(value));
    DecimalDigits rounded = expansion;
    RoundToDigits(rounded, std::min(rounded.pointPos + decimals, kSignificantDigits));
    const bool negative = value < 0 && !rounded.IsZero();
    if (rounded.pointPos > kSignificantDigits) return FormatLarge(expansion, rounded, negative, separator);
    return FormatPlain(rounded, negative, decimals, separator);
}

bool ParseNumber(std::string_view text, char separator, double& out) {
    // Exponents beyond this are out of any double's reach either way; capping keeps the sum exact.
    constexpr int64_t kExponentCap = 1'000'000;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;

    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    MantissaDigits mantissa;
    bool anyMantissa = false;
    for (; i < n && IsDigit(text[i]); ++i) {
        mantissa.AddIntegerDigit(text[i] - '0');
        anyMantissa = true;
    }
    if (i < n && text[i] == separator) {
        anyMantissa = true;
        for (++i; i < n && IsDigit(text[i]); ++i) mantissa.AddFractionDigit(text[i] - '0');
    }
    if (!anyMantissa) return false;

    int64_t exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        for (; i < n && IsDigit(text[i]); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), kExponentCap);
        if (negativeExponent) exponent = -exponent;
    }

    while (i < n && text[i] == ' ') ++i;
    if (i != n) return false;

    if (mantissa.Count() == 0) {
        out = 0.0;
        return true;
    }
    double magnitude = 0.0;
    if (!ScaleToDouble(mantissa, mantissa.PowerOfTen() + exponent, magnitude)) return false;
    out = negative ? -magnitude : magnitude;
    return true;
}

} // namespace toolkit
