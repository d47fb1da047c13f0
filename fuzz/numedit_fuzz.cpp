// Arbitrary bytes as the numeric edit box's text: the parser must never misbehave, and whatever it
// accepts must format into a canonical text that reads back, and reads back as the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "toolkit/NumberText.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void RoundTrip(std::string_view text, char separator) {
    double value = 0.0;
    if (!toolkit::ParseNumber(text, separator, value)) return;
    for (int decimals : {0, 2, 7, 18}) {
        const std::string canonical = toolkit::FormatFixed(value, decimals, separator);
        double again = 0.0;
        Check(toolkit::ParseNumber(canonical, separator, again));
        // Canonical text is a fixed point: formatting what it reads as gives it back.
        Check(toolkit::FormatFixed(again, decimals, separator) == canonical);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RoundTrip(text, '.');
    RoundTrip(text, ',');
    return 0;
}
