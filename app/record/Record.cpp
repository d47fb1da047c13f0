#include "Record.h"

namespace record {

void SetStatusValues(Record& r, std::string_view bytes) {
    const auto at = [&](size_t offset) {
        return offset < bytes.size() ? static_cast<uint8_t>(bytes[offset]) : uint8_t{0};
    };
    r.kind = Kind::Status;
    r.car = at(2);
    r.lastLb = at(3);
    r.drivePwm = at(4);
    r.brakePwm = at(5);
    r.laneChange = at(6) != 0;
    r.bytes.assign(bytes);
}

} // namespace record
