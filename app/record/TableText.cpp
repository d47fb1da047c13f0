#include "TableText.h"

namespace record {

void AppendLastLbText(std::string& out, uint8_t b) {
    if (b == 0x6F) {
        out += "no LB yet";
        return;
    }
    const int number = b & 0x1F;
    out += std::to_string(number);
    if (number != 0) out += (b & 0x20) ? " R" : " L";
    if (b & 0x80) out += '*';
}

std::string LastLbText(uint8_t b) {
    std::string out;
    AppendLastLbText(out, b);
    return out;
}

std::array<std::string, 6> TableTexts(const Record& r, std::string_view timeSeparator) {
    std::array<std::string, 6> cells;
    AppendTimeOfDay(cells[1], r.time.LocalMs(), timeSeparator);
    if (r.kind != Kind::Status) return cells;
    cells[0] = std::to_string(r.car);
    AppendLastLbText(cells[2], r.lastLb);
    cells[3] = std::to_string(r.drivePwm);
    cells[4] = std::to_string(r.brakePwm);
    cells[5] = r.laneChange ? "Yes" : "No";
    return cells;
}

} // namespace record
