#pragma once
// Reads a recorded session file row by row, for playing it back on the line. The file is opened
// once and kept open: every setup plays it again from its start, and removing or replacing it
// meanwhile changes nothing.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/record/Columns.h"

namespace unitsim {

// A record to play: its time and its bytes are what a replay uses.
using ReplayRecord = record::Record;

// Where the rows come from: a file kept open, or bytes in memory (tests, fuzzing).
class ReplaySource {
public:
    virtual ~ReplaySource() = default;
    // Up to `size` bytes into `out`, 0 at the end; throws std::runtime_error when reading fails.
    virtual size_t Read(char* out, size_t size) = 0;
    // Back to the first byte; throws std::runtime_error when that fails.
    virtual void Rewind() = 0;
};

// Throws std::runtime_error with the reason when the file cannot be opened or is not a regular
// file (a pipe could not be played from its start again).
std::unique_ptr<ReplaySource> OpenReplayFile(const std::string& path);
std::unique_ptr<ReplaySource> ReplayBytes(std::string bytes);

// Why a row (without its line end) cannot be played; nothing when it can, and then `record` holds it.
// `columns` says where each column is, as the file's header row has it; without it, in the order
// this version writes them.
std::optional<std::string> ParseReplayRow(std::string_view row, const record::ColumnPositions& columns,
                                          ReplayRecord& record);
std::optional<std::string> ParseReplayRow(std::string_view row, ReplayRecord& record);

class SessionReplay {
public:
    // No session row is longer; a longer line is skipped without being kept.
    static constexpr size_t kMaxRowBytes = record::kMaxRowBytes;

    // Throws std::runtime_error saying why when the file cannot be played: it cannot be read,
    // is not a recorded session, or has no row that can be played.
    explicit SessionReplay(const std::string& path);
    SessionReplay(std::unique_ptr<ReplaySource> source, std::string name);

    // Back to the first record, for the next setup.
    void Rewind();
    // The next record; nothing at the end. Rows that cannot be read are skipped and counted.
    std::optional<ReplayRecord> Next();
    uint64_t SkippedRows() const { return FSkipped; }

    // The name record that names the unit of the first row (the unit answers with one after the
    // setup command); empty when the file does not know the unit.
    const std::string& IdentityRecord() const { return FIdentity; }

private:
    enum class Got { Row, Unreadable, End };
    // The next row, cut and parsed as every reader does; `why` (may be null) says why a row
    // cannot be read.
    Got NextRow(ReplayRecord& record, std::string* why);
    bool Fill();
    void ReadHeader();

    std::unique_ptr<ReplaySource> FSource;
    std::string FName;
    std::string FBuffer;
    size_t FBufferPos = 0;
    bool FAtEnd = false;
    bool FDiscarding = false;   // inside a line too long to be a row
    uint64_t FLine = 0;         // lines taken so far (the header is line 1)
    uint64_t FRowLine = 0;      // the line the last row started on
    std::string FIdentity;
    uint64_t FSkipped = 0;
    std::optional<record::RowParser> FParser;  // for the columns as the file's header row names them
};

} // namespace unitsim
