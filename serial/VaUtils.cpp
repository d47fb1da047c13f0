#include "VaUtils.h"

#include "VaConst.h"
#include "toolkit/Os.h"

namespace vautils {

std::string SystemErrorText(int error) {
    std::string result = toolkit::os::SystemErrorMessage(error);
    while (!result.empty()) {
        const auto c = static_cast<unsigned char>(result.back());
        if (c >= 33 && c != '.') break;
        result.pop_back();
    }
    return result;
}

std::string FormatCommMessage(const std::string& templ, int error) {
    const std::string text = SystemErrorText(error);
    std::string out;
    int argument = 0;  // 0: the number, 1: the text, then nothing is left
    for (size_t i = 0; i < templ.size(); ++i) {
        const char c = templ[i];
        if (c == '%' && i + 1 < templ.size()) {
            const char conversion = templ[i + 1];
            if (conversion == '%') {
                out += '%';
                ++i;
                continue;
            }
            if ((conversion == 'd' || conversion == 's') && argument < 2) {
                out += argument == 0 ? std::to_string(error) : text;
                ++argument;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string EscapePercent(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}

namespace {

[[noreturn]] void BadDeviceName(const std::string& templ) {
    throw toolkit::EConvertError(toolkit::FormatStrings(vaconst::sBadDeviceName, {templ}));
}

std::string FormatInteger(int32_t value, char conversion, bool leftAlign, bool zeroPad, size_t width) {
    std::string digits;
    if (conversion == 'd') {
        digits = std::to_string(value);
    } else {
        auto u = static_cast<uint32_t>(value);
        if (conversion == 'u') {
            digits = std::to_string(u);
        } else {
            const char* alphabet = conversion == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
            do {
                digits.insert(digits.begin(), alphabet[u % 16]);
                u /= 16;
            } while (u != 0);
        }
    }
    if (digits.size() >= width) return digits;
    const size_t pad = width - digits.size();
    if (leftAlign) return digits + std::string(pad, ' ');
    if (zeroPad) {
        const size_t signLength = (!digits.empty() && digits[0] == '-') ? 1 : 0;
        return digits.substr(0, signLength) + std::string(pad, '0') + digits.substr(signLength);
    }
    return std::string(pad, ' ') + digits;
}

} // namespace

std::string FormatDeviceName(const std::string& templ, int32_t value) {
    std::string out;
    bool used = false;
    for (size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] != '%') {
            out += templ[i];
            continue;
        }
        size_t j = i + 1;
        if (j < templ.size() && templ[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        bool leftAlign = false;
        bool zeroPad = false;
        for (; j < templ.size() && (templ[j] == '-' || templ[j] == '0'); ++j) {
            (templ[j] == '-' ? leftAlign : zeroPad) = true;
        }
        size_t width = 0;
        for (; j < templ.size() && templ[j] >= '0' && templ[j] <= '9'; ++j) {
            width = width * 10 + static_cast<size_t>(templ[j] - '0');
            if (width > 64) BadDeviceName(templ);
        }
        if (j >= templ.size() || used) BadDeviceName(templ);
        const char conversion = templ[j];
        if (conversion != 'd' && conversion != 'u' && conversion != 'x' && conversion != 'X') BadDeviceName(templ);
        out += FormatInteger(value, conversion, leftAlign, zeroPad, width);
        used = true;
        i = j;
    }
    return out;
}

void RaiseCommError(const std::string& templ, int error) { throw EVaCommError(FormatCommMessage(templ, error), error); }

} // namespace vautils
