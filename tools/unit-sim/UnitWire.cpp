#include "UnitWire.h"

namespace unitsim {

// The wire format is written out here a second time on purpose, not shared with the window: the
// simulator stands for the unit, so a slip in either copy shows up as a failing test instead of
// agreeing with itself.
const std::string kSetupCommand("ZS\0E\0P\nC4", 9);

namespace {
// Last-LB values the unit cycles through: plain, right side, starred, none yet, zero.
constexpr uint8_t kLastLbCycle[] = {0x0C, 0x2C, 0x83, 0x6F, 0x00, 0xA0, 0x1F, 0x3F};
} // namespace

std::string StatusPayload(uint32_t seq) {
    std::string p(8, '\0');
    p[0] = 'S';
    p[1] = static_cast<char>(seq & 0xFF);
    p[2] = static_cast<char>(seq & 0xFF);                 // car
    p[3] = static_cast<char>(kLastLbCycle[seq % sizeof kLastLbCycle]);
    p[4] = static_cast<char>((seq >> 8) & 0xFF);          // drive PWM
    p[5] = static_cast<char>((seq >> 16) & 0xFF);         // brake PWM
    p[6] = static_cast<char>(seq % 3 == 0 ? 1 : 0);       // lane change
    p[7] = static_cast<char>((seq >> 24) & 0xFF);         // beyond the record: ignored
    return p;
}

uint32_t SequenceFromFields(int car, int drive, int brake) {
    return static_cast<uint32_t>(car & 0xFF) | static_cast<uint32_t>(drive & 0xFF) << 8 |
           static_cast<uint32_t>(brake & 0xFF) << 16;
}

std::string EncodeLine(const std::string& payload, bool escapeAll) {
    std::string out;
    out.reserve(payload.size() * 2 + 1);
    for (unsigned char c : payload) {
        if (c == kEscape || c == kLineEnd || (escapeAll && c != 0)) {
            out += static_cast<char>(kEscape);
            out += static_cast<char>(c ^ 0xFF);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += static_cast<char>(kLineEnd);
    return out;
}

} // namespace unitsim
