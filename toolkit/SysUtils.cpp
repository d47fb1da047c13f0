#include "SysUtils.h"

namespace toolkit {

std::string FormatStrings(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char spec = pattern[i + 1];
            if (spec == '%') { out += '%'; ++i; continue; }
            if (spec == 's' && next != args.end()) { out += *next++; ++i; continue; }
        }
        out += c;
    }
    return out;
}

} // namespace toolkit
