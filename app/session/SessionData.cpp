#include "SessionData.h"

namespace session {
struct SessionData::Store {};
SessionData::SessionData() = default;
SessionData::~SessionData() = default;
size_t SessionData::RecordCount() const { return 0; }
RecordValues SessionData::Record(size_t) const { return {}; }
int SessionData::UtcOffsetMinutes(size_t) const { return 0; }
int SessionData::UtcOffsetMinutesAt(int64_t) const { return 0; }
int64_t SessionData::FirstTimeMs() const { return 0; }
int64_t SessionData::LastTimeMs() const { return 0; }
size_t SessionData::LowerBound(int64_t) const { return 0; }
size_t SessionData::NearestRecord(int64_t) const { return 0; }
size_t SessionData::CarRecordCount(uint8_t) const { return 0; }
size_t SessionData::CarRecord(uint8_t, size_t) const { return 0; }
void SessionData::QueryColumns(uint8_t, int64_t, int64_t, int columns, std::vector<ColumnExtent>& out) const {
    out.assign(static_cast<size_t>(columns > 0 ? columns : 0), ColumnExtent{});
}
size_t SessionData::MemoryBytes() const { return 0; }
LoadOutcome LoadSession(const std::filesystem::path&, ScanControl*) { return {ScanStatus::Failed, "not yet", nullptr}; }
} // namespace session
