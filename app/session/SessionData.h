#pragma once
// A whole session file in memory, compact enough for an hour at line rate (about 20 million
// records in under 24 bytes each, record numbers included), with what the session window asks of it: each record's
// values, the record nearest a time, each car's drive and brake reduced to pixel columns at any
// zoom in time proportional to the columns, and the per-car summary. Built on a worker thread
// by LoadSession; read-only afterwards, so any thread may read it. Plain C++.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/chart/Picture.h"
#include "app/chart/Summary.h"
#include "app/session/SessionScan.h"

namespace session {

struct LoadOutcome;
LoadOutcome LoadSession(const std::filesystem::path& path, ScanControl* control);  // below

// One record as kept.
struct RecordValues {
    RowKind kind = RowKind::Status;
    // Milliseconds since 1970-01-01 UTC on a clock that does not go back: a row stamped earlier
    // than the one before it is placed at the earlier one's time (its row keeps the written time).
    int64_t timeMs = 0;
    uint64_t number = 0;  // the record column
    // Status records only:
    uint8_t car = 0;
    uint8_t lastLb = 0;
    uint8_t drivePwm = 0;
    uint8_t brakePwm = 0;
    bool laneChange = false;
    bool lanePress = false;  // lane change set while the car's previous record had it clear
};

// One pixel column of one car's curves, as the chart layer draws them.
using ColumnExtent = chart::Column;

class SessionData {
public:
    SessionData();
    ~SessionData();
    SessionData(const SessionData&) = delete;
    SessionData& operator=(const SessionData&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

    // Records of kind status and name, in file order (unreadable rows left out).
    size_t RecordCount() const;
    RecordValues Record(size_t index) const;
    // The record as read (its texts aside: no unit name, no bytes), with the time it was written
    // with and that time's UTC offset.
    record::Record FullRecord(size_t index) const;
    uint64_t RecordNumber(size_t index) const;
    // The UTC offset written with record index (for showing its local wall-clock time).
    int UtcOffsetMinutes(size_t index) const;
    // The UTC offset in force at timeMs (that of the last record at or before it; the first's
    // before the first record), for time-axis labels.
    int UtcOffsetMinutesAt(int64_t timeMs) const;

    // The first and last record's time; both 0 for a session without records.
    int64_t FirstTimeMs() const;
    int64_t LastTimeMs() const;
    // The first record at or after timeMs (RecordCount() when none).
    size_t LowerBound(int64_t timeMs) const;
    // The record whose time is nearest timeMs (the earlier on a tie); 0 for an empty session.
    size_t NearestRecord(int64_t timeMs) const;

    // Cars that have status records, ascending.
    const std::vector<uint8_t>& Cars() const { return FCars; }
    // The car's status records, and its k-th (0-based) as an index into the records.
    size_t CarRecordCount(uint8_t car) const;
    size_t CarRecord(uint8_t car, size_t k) const;

    // Car's curves over [t0Ms, t1Ms) cut into `columns` equal pixel columns: out gets `columns`
    // entries. Costs about the same whatever the range, from a few records to the whole session.
    void QueryColumns(uint8_t car, int64_t t0Ms, int64_t t1Ms, int columns, std::vector<ColumnExtent>& out) const;

    const chart::Summary& GetSummary() const { return FSummary; }

    // What reading the file found.
    uint64_t SkippedRows() const { return FSkippedRows; }
    bool UnterminatedTail() const { return FUnterminatedTail; }
    uint64_t FileBytesRead() const { return FBytesRead; }

    // Bytes held by the records, the indexes and the pyramids (what a session costs in memory).
    size_t MemoryBytes() const;

private:
    friend LoadOutcome LoadSession(const std::filesystem::path&, ScanControl*);
    struct Store;
    std::unique_ptr<Store> FStore;
    std::filesystem::path FPath;
    std::vector<uint8_t> FCars;
    chart::Summary FSummary;
    uint64_t FSkippedRows = 0;
    bool FUnterminatedTail = false;
    uint64_t FBytesRead = 0;
};

struct LoadOutcome {
    ScanStatus status = ScanStatus::Failed;
    std::string error;                          // Failed: why, for a person
    std::shared_ptr<const SessionData> session;  // Done: the session
};

// Reads the session file at path into memory; meant for a worker thread. control (may be null)
// reports progress and cancels from another thread. A file that is not a session fails with a
// reason; unreadable rows are skipped and counted in the result.
LoadOutcome LoadSession(const std::filesystem::path& path, ScanControl* control = nullptr);

} // namespace session
