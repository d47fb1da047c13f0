#pragma once
// One record from the unit as every part of the program passes it on: decoded, shown, written to
// the session file, read back, replayed and summed up. Plain C++.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/record/Time.h"

namespace record {

enum class Kind : uint8_t { Status, Name };

struct Record {
    Kind kind = Kind::Status;
    uint64_t number = 0;     // within the session, from 1 (0 while not in a session)
    Instant time;            // when it was handled
    // Status records (zero in a name record):
    uint8_t car = 0;
    uint8_t lastLb = 0;
    uint8_t drivePwm = 0;
    uint8_t brakePwm = 0;
    bool laneChange = false;
    // The unit as last named (a name record: as it names it); unitId < 0 while none is known.
    int unitId = -1;
    std::string unitName;    // UTF-8, as the window shows it
    std::string bytes;       // the record as received, unescaped, without its line end
};

// A status record's values from its bytes as received (unescaped, without the line end): 'S',
// a sequence byte, then car, last LB, drive, brake and lane change. Offsets a short record does
// not carry read as 0.
void SetStatusValues(Record& r, std::string_view bytes);

} // namespace record
