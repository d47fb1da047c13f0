#include "SessionReplay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "app/recording/SessionCsv.h"

namespace unitsim {

namespace {

constexpr size_t kReadBlock = 64 * 1024;

// The unit's 8-bit text from the file's UTF-8 (characters beyond 8 bits become '?').
std::string Latin1FromUtf8(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if ((b & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            const unsigned cp = (b & 0x1Fu) << 6 | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu);
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
            ++i;
        } else if ((b & 0xC0) != 0x80) {
            out += '?';
        }
    }
    return out;
}

class FileSource : public ReplaySource {
public:
    explicit FileSource(const std::string& path) : FPath(path) {
        FFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        struct stat st {};
        if (fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(FFd);
            throw std::runtime_error(path + " is not a regular file (a replay plays it from its start at every setup)");
        }
    }
    ~FileSource() override { close(FFd); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    size_t Read(char* out, size_t size) override {
        for (;;) {
            const ssize_t n = read(FFd, out, size);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) throw std::runtime_error("cannot read " + FPath + ": " + std::strerror(errno));
        }
    }
    void Rewind() override {
        if (lseek(FFd, 0, SEEK_SET) != 0) throw std::runtime_error("cannot rewind " + FPath + ": " + std::strerror(errno));
    }

private:
    std::string FPath;
    int FFd = -1;
};

class MemorySource : public ReplaySource {
public:
    explicit MemorySource(std::string bytes) : FBytes(std::move(bytes)) {}
    size_t Read(char* out, size_t size) override {
        const size_t n = std::min(size, FBytes.size() - FPos);
        std::memcpy(out, FBytes.data() + FPos, n);
        FPos += n;
        return n;
    }
    void Rewind() override { FPos = 0; }

private:
    std::string FBytes;
    size_t FPos = 0;
};

// A field shown in a message: short, and without what would garble a terminal.
std::string Shown(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, 24)) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return text.size() > 24 ? out + "..." : out;
}

bool IsNumberUpTo(std::string_view text, unsigned limit) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v <= limit;
}

} // namespace

std::unique_ptr<ReplaySource> OpenReplayFile(const std::string& path) { return std::make_unique<FileSource>(path); }

std::unique_ptr<ReplaySource> ReplayBytes(std::string bytes) { return std::make_unique<MemorySource>(std::move(bytes)); }

namespace {
// The columns where this version writes them.
const recording::ColumnPositions& WrittenOrder() {
    static const recording::ColumnPositions positions = [] {
        std::vector<std::string> names;
        for (const auto& c : recording::Columns()) names.emplace_back(c.name);
        return *recording::FindColumns(names).positions;
    }();
    return positions;
}
} // namespace

std::optional<std::string> ParseReplayRow(std::string_view row, ReplayRecord& record) {
    return ParseReplayRow(row, WrittenOrder(), record);
}

std::optional<std::string> ParseReplayRow(std::string_view row, const recording::ColumnPositions& columns,
                                          ReplayRecord& record) {
    using namespace recording;
    if (row.find('\0') != std::string_view::npos) return "it holds a NUL byte";
    const auto fields = SplitCsvLine(row);
    if (!fields) return "a quoted field is not closed";
    if (static_cast<int>(fields->size()) != columns.fieldCount) {
        return std::to_string(fields->size()) + " fields, not " + std::to_string(columns.fieldCount);
    }
    static const std::string kAbsent;
    const auto field = [&](Column c) -> const std::string& {
        return columns.Has(c) ? (*fields)[static_cast<size_t>(columns[c])] : kAbsent;
    };
    const auto time = ParseIsoTime(field(kTimeColumn));
    if (!time) return "time '" + Shown(field(kTimeColumn)) + "' is not a time";
    if (!IsNumberUpTo(field(kRecordColumn), 0xFFFFFFFFu)) return "record '" + Shown(field(kRecordColumn)) + "' is not a number";
    const bool status = field(kKindColumn) == "status";
    if (!status && field(kKindColumn) != "name") return "kind '" + Shown(field(kKindColumn)) + "' is neither status nor name";
    // Status rows carry the record's values; name rows leave those columns empty.
    const struct {
        Column column;
        const char* name;
        unsigned limit;
    } numbers[] = {{kCarColumn, "car", 255},      {kLastLbColumn, "last_lb", 255}, {kDrivePwmColumn, "drive_pwm", 255},
                   {kBrakePwmColumn, "brake_pwm", 255}, {kLaneChangeColumn, "lane_change", 1}};
    for (const auto& n : numbers) {
        const std::string& v = field(n.column);
        if (status ? !IsNumberUpTo(v, n.limit) : !v.empty()) {
            return std::string(n.name) + " '" + Shown(v) + "' is not " +
                   (status ? "a number from 0 to " + std::to_string(n.limit) : std::string("empty in a name row"));
        }
    }
    if (!field(kUnitIdColumn).empty() && !IsNumberUpTo(field(kUnitIdColumn), 255)) {
        return "unit_id '" + Shown(field(kUnitIdColumn)) + "' is not a number from 0 to 255";
    }
    auto bytes = HexDecode(field(kBytesHexColumn));
    if (!bytes || bytes->empty()) return "bytes_hex '" + Shown(field(kBytesHexColumn)) + "' is not pairs of hex digits";
    record.timeMs = *time;
    record.bytes = std::move(*bytes);
    return std::nullopt;
}

SessionReplay::SessionReplay(const std::string& path) : SessionReplay(OpenReplayFile(path), path) {}

SessionReplay::SessionReplay(std::unique_ptr<ReplaySource> source, std::string name)
    : FSource(std::move(source)), FName(std::move(name)) {
    ReadHeader();
    // Look for a row that can be played now, so a file with none is refused with the reason at
    // the start and not found out at the first setup.
    std::string line;
    uint64_t rows = 0;
    uint64_t lineNumber = 1;
    std::string firstReason;
    for (Line l; (l = ReadLine(line)) != Line::End;) {
        ++lineNumber;
        if (l == Line::Read && line.empty()) continue;
        ++rows;
        ReplayRecord record;
        const std::optional<std::string> why =
            l == Line::TooLong ? std::optional<std::string>("longer than " + std::to_string(kMaxRowBytes) + " bytes")
                               : ParseReplayRow(line, FColumns, record);
        if (why) {
            if (firstReason.empty()) firstReason = "line " + std::to_string(lineNumber) + ": " + *why;
            continue;
        }
        const auto fields = recording::SplitCsvLine(line);
        const auto field = [&](recording::Column c) {
            return FColumns.Has(c) ? (*fields)[static_cast<size_t>(FColumns[c])] : std::string();
        };
        const std::string id = field(recording::kUnitIdColumn);
        if (!id.empty()) {
            std::string unitName = field(recording::kUnitNameColumn);
            // The apostrophe that guards a leading formula character is the file's, not the unit's.
            if (unitName.size() > 1 && unitName[0] == '\'' && std::string("=+-@").find(unitName[1]) != std::string::npos) {
                unitName.erase(0, 1);
            }
            unitName = Latin1FromUtf8(unitName).substr(0, 8);
            unitName.resize(8, '\0');
            FIdentity = std::string(1, 'N').append(1, static_cast<char>(std::stoi(id))).append(unitName);
        }
        Rewind();
        return;
    }
    throw std::runtime_error(FName + " has no record that can be played: " +
                             (rows == 0 ? std::string("no rows after the header")
                                        : std::to_string(rows) + (rows == 1 ? " row" : " rows") + ", none readable (" +
                                              firstReason + ")"));
}

void SessionReplay::ReadHeader() {
    std::string header;
    const Line l = ReadLine(header);
    if (l == Line::End) throw std::runtime_error(FName + " is empty, not a recorded session");
    const auto fields = l == Line::TooLong ? std::nullopt : recording::SplitCsvLine(header);
    if (!fields) throw std::runtime_error(FName + " is not a recorded session (its first line is not a header row)");
    // Columns are found by their names, so files of earlier and later versions play too.
    recording::HeaderReading reading = recording::FindColumns(*fields);
    if (!reading.positions) throw std::runtime_error(FName + " is not a recorded session (" + reading.error + ")");
    if (!reading.positions->Has(recording::kBytesHexColumn)) {
        throw std::runtime_error(FName + " cannot be played: missing column '" +
                                 std::string(recording::ColumnName(recording::kBytesHexColumn)) + "'");
    }
    FColumns = *reading.positions;
}

void SessionReplay::Rewind() {
    FSource->Rewind();
    FBuffer.clear();
    FBufferPos = 0;
    FSkipped = 0;
    ReadHeader();
}

SessionReplay::Line SessionReplay::ReadLine(std::string& line) {
    line.clear();
    bool tooLong = false;
    bool any = false;
    for (;;) {
        if (FBufferPos == FBuffer.size()) {
            FBuffer.resize(kReadBlock);
            FBuffer.resize(FSource->Read(FBuffer.data(), FBuffer.size()));
            FBufferPos = 0;
            if (FBuffer.empty()) return any ? (tooLong ? Line::TooLong : Line::Read) : Line::End;
        }
        any = true;
        const size_t end = FBuffer.find('\n', FBufferPos);
        const size_t stop = end == std::string::npos ? FBuffer.size() : end;
        if (!tooLong) {
            line.append(FBuffer, FBufferPos, stop - FBufferPos);
            if (line.size() > kMaxRowBytes) {
                tooLong = true;
                line.clear();
            }
        }
        FBufferPos = end == std::string::npos ? stop : end + 1;
        if (end != std::string::npos) break;
    }
    if (tooLong) return Line::TooLong;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return Line::Read;
}

std::optional<ReplayRecord> SessionReplay::Next() {
    std::string line;
    for (Line l; (l = ReadLine(line)) != Line::End;) {
        if (l == Line::Read && line.empty()) continue;
        ReplayRecord record;
        if (l == Line::Read && !ParseReplayRow(line, FColumns, record)) return record;
        ++FSkipped;
    }
    return std::nullopt;
}

} // namespace unitsim
