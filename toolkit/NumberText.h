#pragma once
// Number text of the numeric edit box: fixed-point formatting and the strict parser that reads it
// back. Plain C++ so that the fuzz target and the core tests need no window toolkit.
#include <string>
#include <string_view>

namespace toolkit {

// Fixed-point output never writes more digits after the separator than this.
constexpr int kMaxFixedDecimals = 18;

// Fixed-point text of value with `decimals` digits after the separator (clamped to 0..18), from
// its 18-digit decimal expansion rounded once, half away from zero, to at most 15 significant
// digits. No thousands separators; a value that rounds to zero carries no sign. Infinities read
// "INF"/"-INF", not-a-numbers "NAN" ("-NAN" with the sign bit set). Magnitudes with more than 15
// integer digits are written as "<mantissa>E<exponent>" with at most 15 significant digits, in a
// form that ParseNumber reads back.
std::string FormatFixed(double value, int decimals, char separator);

// Reads text as: spaces (code 32 only), one optional sign, digits with an optional separator and
// fraction (at least one digit or the separator), an optional exponent ("E"/"e", optional sign,
// digits; an "E" without digits adds nothing), spaces, end. Accumulates in extended precision.
// Returns false, leaving out untouched, for any other text or for a number beyond the double
// range; a number too small for a double reads as zero.
bool ParseNumber(std::string_view text, char separator, double& out);

} // namespace toolkit
