#include "SessionNaming.h"

namespace recording {

namespace {
bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

void AppendTwo(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
}
} // namespace

std::string FileNameSafe(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte: its sequence is already replaced
        out += (IsAsciiAlnum(utf8[i]) || utf8[i] == '-') ? utf8[i] : '_';
    }
    return out;
}

std::string SessionFileStem(toolkit::TDateTime start, const UnitIdentity& unit) {
    const record::CivilTime c = record::ToCivil(start);
    std::string stem = std::to_string(c.year);
    stem += '-';
    AppendTwo(stem, c.month);
    stem += '-';
    AppendTwo(stem, c.day);
    stem += '_';
    AppendTwo(stem, c.hour);
    stem += '-';
    AppendTwo(stem, c.minute);
    stem += '-';
    AppendTwo(stem, c.second);
    if (!unit.known) return stem + "_unit-unknown";
    stem += "_unit" + std::to_string(unit.id);
    const std::string name = FileNameSafe(unit.nameUtf8);
    if (!name.empty()) stem += '_' + name;
    return stem;
}

bool IsSessionFileName(std::string_view name) {
    // yyyy-mm-dd_hh-mm-ss_ ... .csv
    static constexpr std::string_view kPattern = "dddd-dd-dd_dd-dd-dd_";
    if (name.size() < kPattern.size() + 4 || name.substr(name.size() - 4) != ".csv") return false;
    for (size_t i = 0; i < kPattern.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : name[i] != kPattern[i]) return false;
    }
    return true;
}

} // namespace recording
