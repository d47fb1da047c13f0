#pragma once
// Reading a session file row by row, fast: the file is read in large blocks and each row parsed
// in place, its columns found by the header's names. A file still being written reads as it
// stands, up to its last whole line. Used by the loader (the session window), the summary
// command and anyone else who reads session files. Plain C++.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "app/recording/SessionCsv.h"

namespace session {

// A row that could not be read is skipped and counted. Beyond this a line is not a session row
// (the writer's longest is a few hundred bytes), which bounds what one bad line costs.
constexpr size_t kMaxRowBytes = 64 * 1024;

enum class RowKind : uint8_t { Status, Name };

// One readable row, as the scanner hands it over (views into the scanner's buffer: valid only
// during the call).
struct ScannedRow {
    RowKind kind = RowKind::Status;
    int64_t timeMs = 0;           // since 1970-01-01 UTC, as written
    // timeMs on a clock that does not go back: a row stamped earlier than a row before it is
    // taken at that row's time, so a clock set back during a capture yields no negative gap.
    // What plots, gaps and spans use.
    int64_t clockMs = 0;
    int utcOffsetMinutes = 0;     // the local time's offset from UTC, as written
    uint64_t number = 0;          // the record column
    uint64_t fileOffset = 0;      // of the row's first byte
    uint32_t length = 0;          // of the row, without its line end
    // Status rows only (zero for name rows):
    uint8_t car = 0;
    uint8_t lastLb = 0;
    uint8_t drivePwm = 0;
    uint8_t brakePwm = 0;
    bool laneChange = false;
};

// Shared between the thread that reads and the ones that watch it.
class ScanControl {
public:
    void Cancel() { FCancelled.store(true, std::memory_order_relaxed); }  // any thread
    bool Cancelled() const { return FCancelled.load(std::memory_order_relaxed); }
    uint64_t BytesRead() const { return FBytesRead.load(std::memory_order_relaxed); }
    uint64_t TotalBytes() const { return FTotalBytes.load(std::memory_order_relaxed); }

    // Called on the reading thread after each block (a few megabytes), with bytes read and the
    // file's size when it was opened. May be empty.
    std::function<void(uint64_t bytesRead, uint64_t totalBytes)> progress;

    // For the scanner.
    void SetProgress(uint64_t read, uint64_t total) {
        FBytesRead.store(read, std::memory_order_relaxed);
        FTotalBytes.store(total, std::memory_order_relaxed);
        if (progress) progress(read, total);
    }

private:
    std::atomic<bool> FCancelled{false};
    std::atomic<uint64_t> FBytesRead{0};
    std::atomic<uint64_t> FTotalBytes{0};
};

enum class ScanStatus { Done, Cancelled, Failed };

struct ScanResult {
    ScanStatus status = ScanStatus::Failed;
    std::string error;           // Failed: why, for a person ("not a session file: missing column 'car'")
    uint64_t rows = 0;           // rows handed over
    uint64_t skippedRows = 0;    // rows that could not be read: cut short, wrong field count, bad value
    bool unterminatedTail = false;  // the file ends in a row without its line end (still being written?);
                                    // that row is not read and is among the skipped
    uint64_t bytesRead = 0;
};

// Reads the file at path, handing each readable row to onRow in file order. The first line must
// be a session header (a byte-order mark before it is allowed). control may be null.
ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control = nullptr);

// Reads a header row (no line end; a trailing carriage return is allowed). Fails with the reason
// ("missing column 'car'").
recording::HeaderReading ReadSessionHeader(std::string_view line);

// Parses one row (no line end) against the header's positions; false when it cannot be read.
// fileOffset and length are left to the caller.
bool ParseRow(std::string_view line, const recording::ColumnPositions& columns, ScannedRow& row);

// The path as messages name it (UTF-8).
std::string PathText(const std::filesystem::path& path);

// "2026-12-07T09:43:51.123+01:00" into UTC milliseconds and the offset; false when malformed.
bool ParseTimeField(std::string_view text, int64_t& utcMs, int& utcOffsetMinutes);

} // namespace session
