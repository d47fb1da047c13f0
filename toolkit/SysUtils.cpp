#include "SysUtils.h"

namespace toolkit {

std::string FormatStrings(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char conversion = pattern[i + 1];
            if (conversion == '%') { out += '%'; ++i; continue; }
            if (conversion == 's' && next != args.end()) { out += *next++; ++i; continue; }
        }
        out += c;
    }
    return out;
}

} // namespace toolkit
