#pragma once
// Reading a session file row by row, fast: the file is read in large blocks and each row parsed
// in place by the one row parser, its columns found by the header's names; a long file by two
// threads at once. A quoted field may
// hold line breaks, as CSV has it. A file still being written reads as it
// stands, up to its last whole line. Used by the loader (the session window), the summary
// command and anyone else who reads session files. Plain C++.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "app/record/Columns.h"

namespace session {

using record::kMaxRowBytes;
using RowKind = record::Kind;

// One readable row as the scanner hands it over: the record (its texts, the unit name and the
// bytes, only when asked for) and where it is in the file. Valid only during the call.
struct ScannedRow : record::Record {
    // The record's time on a clock that does not go back: a row stamped earlier than a row before
    // it is taken at that row's time, so a clock set back during a capture yields no negative gap.
    // What plots, gaps and spans use.
    int64_t clockMs = 0;
    uint64_t fileOffset = 0;  // of the row's first byte
    uint32_t length = 0;      // of the row, without its line end
};

// Shared between the thread that reads and the ones that watch it.
class ScanControl {
public:
    void Cancel() { FCancelled.store(true, std::memory_order_relaxed); }  // any thread
    bool Cancelled() const { return FCancelled.load(std::memory_order_relaxed); }
    uint64_t BytesRead() const { return FBytesRead.load(std::memory_order_relaxed); }
    uint64_t TotalBytes() const { return FTotalBytes.load(std::memory_order_relaxed); }

    // Called on the thread that called the scan every few megabytes read, with bytes read and
    // the file's size when it was opened. May be empty.
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

// How a file is read. A long file is cut into stretches that two threads parse at once, while the
// calling thread hands the rows over in file order; the rows, counts and outcome are the same as
// when one thread reads it all.
struct ScanOptions {
    record::Texts texts = record::Texts::Skip;  // Read: one thread (the texts are not carried across)
    int threads = 0;                            // at most this many; 0: as the machine has, at most 2
    size_t stretchBytes = size_t{1} << 20;      // the size of a stretch (tests make it small)
};

// Reads the file at path, handing each readable row to onRow in file order, on the calling
// thread. The first line must be a session header (a byte-order mark before it is allowed).
// control may be null.
ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control, const ScanOptions& options);
ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control = nullptr, record::Texts texts = record::Texts::Skip);

// The path as messages name it (UTF-8).
std::string PathText(const std::filesystem::path& path);

// Why the file did not open for reading (errno as the failed open left it), naming the file: a
// missing file and one the user may not read are told apart.
std::string OpenFailureText(const std::filesystem::path& path, int error);

} // namespace session
