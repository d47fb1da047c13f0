#pragma once
// The unit's side of the wire format, without the pseudo-terminal: what the simulated unit
// sends, for the unit itself and for tests that check the decoder against it.
#include <cstdint>
#include <string>

namespace unitsim {

inline constexpr uint8_t kEscape = 0x21;
inline constexpr uint8_t kLineEnd = 0x0D;

// The setup command the window must send after the handshake.
extern const std::string kSetupCommand;

// One status record's payload for a sequence number, before escaping.
std::string StatusPayload(uint32_t seq);
// A line as it goes on the wire: escaped payload and the line end.
std::string EncodeLine(const std::string& payload, bool escapeAll);
// The sequence number a shown row stands for (car, drive, brake as shown).
uint32_t SequenceFromFields(int car, int drive, int brake);

} // namespace unitsim
