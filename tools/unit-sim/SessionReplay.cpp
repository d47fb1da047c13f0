#include "SessionReplay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "toolkit/UniqueFd.h"

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
        FFd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!FFd.Valid()) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        struct stat st {};
        if (fstat(FFd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            throw std::runtime_error(path + " is not a regular file (a replay plays it from its start at every setup)");
        }
    }

    size_t Read(char* out, size_t size) override {
        for (;;) {
            const ssize_t n = read(FFd.Get(), out, size);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) throw std::runtime_error("cannot read " + FPath + ": " + std::strerror(errno));
        }
    }
    void Rewind() override {
        if (lseek(FFd.Get(), 0, SEEK_SET) != 0) throw std::runtime_error("cannot rewind " + FPath + ": " + std::strerror(errno));
    }

private:
    std::string FPath;
    toolkit::UniqueFd FFd;
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

} // namespace

std::unique_ptr<ReplaySource> OpenReplayFile(const std::string& path) { return std::make_unique<FileSource>(path); }

std::unique_ptr<ReplaySource> ReplayBytes(std::string bytes) { return std::make_unique<MemorySource>(std::move(bytes)); }

std::optional<std::string> ParseReplayRow(std::string_view row, ReplayRecord& record) {
    return ParseReplayRow(row, record::ColumnPositions::Written(), record);
}

std::optional<std::string> ParseReplayRow(std::string_view row, const record::ColumnPositions& columns,
                                          ReplayRecord& record) {
    record::RowParser parser(columns);
    std::string why;
    if (!parser.Parse(row, record, record::Texts::Read, &why)) return why;
    return std::nullopt;
}

SessionReplay::SessionReplay(const std::string& path) : SessionReplay(OpenReplayFile(path), path) {}

SessionReplay::SessionReplay(std::unique_ptr<ReplaySource> source, std::string name)
    : FSource(std::move(source)), FName(std::move(name)) {
    ReadHeader();
    // Look for a row that can be played now, so a file with none is refused with the reason at
    // the start and not found out at the first setup.
    uint64_t rows = 0;
    std::string firstReason;
    ReplayRecord record;
    for (Got got; (got = NextRow(record, firstReason.empty() ? &firstReason : nullptr)) != Got::End;) {
        ++rows;
        if (got == Got::Unreadable) {
            if (firstReason.rfind("line ", 0) != 0) firstReason = "line " + std::to_string(FRowLine) + ": " + firstReason;
            continue;
        }
        if (record.unitId >= 0) {
            std::string unitName = Latin1FromUtf8(record.unitName).substr(0, 8);
            unitName.resize(8, '\0');
            FIdentity = std::string(1, 'N').append(1, static_cast<char>(record.unitId)).append(unitName);
        }
        Rewind();
        return;
    }
    throw std::runtime_error(FName + " has no record that can be played: " +
                             (rows == 0 ? std::string("no rows after the header")
                                        : std::to_string(rows) + (rows == 1 ? " row" : " rows") + ", none readable (" +
                                              firstReason + ")"));
}

bool SessionReplay::Fill() {
    if (FAtEnd) return false;
    FBuffer.erase(0, FBufferPos);
    FBufferPos = 0;
    const size_t held = FBuffer.size();
    FBuffer.resize(held + kReadBlock);
    const size_t got = FSource->Read(FBuffer.data() + held, kReadBlock);
    FBuffer.resize(held + got);
    if (got == 0) FAtEnd = true;
    return got > 0;
}

void SessionReplay::ReadHeader() {
    size_t lineEnd;
    while ((lineEnd = FBuffer.find('\n', FBufferPos)) == std::string::npos && FBuffer.size() - FBufferPos <= kMaxRowBytes) {
        if (!Fill()) break;
    }
    if (FBuffer.empty()) throw std::runtime_error(FName + " is empty, not a recorded session");
    const size_t end = lineEnd == std::string::npos ? FBuffer.size() : lineEnd;
    const record::HeaderReading reading =
        end > kMaxRowBytes ? record::HeaderReading{std::nullopt, "its first row is not a header row"}
                           : record::ReadHeaderRow(std::string_view(FBuffer).substr(0, end));
    // Columns are found by their names, so files of earlier and later versions play too.
    if (!reading.positions) {
        const bool notHeader = reading.error == "its first row is not a header row";
        throw std::runtime_error(FName + " is not a recorded session (" +
                                 (notHeader ? std::string("its first line is not a header row") : reading.error) + ")");
    }
    if (!reading.positions->Has(record::kBytesHexColumn)) {
        throw std::runtime_error(FName + " cannot be played: missing column '" +
                                 std::string(record::ColumnName(record::kBytesHexColumn)) + "'");
    }
    FParser.emplace(*reading.positions);
    FBufferPos = lineEnd == std::string::npos ? FBuffer.size() : lineEnd + 1;
    FLine = 1;
}

void SessionReplay::Rewind() {
    FSource->Rewind();
    FBuffer.clear();
    FBufferPos = 0;
    FAtEnd = false;
    FDiscarding = false;
    FSkipped = 0;
    ReadHeader();
}

SessionReplay::Got SessionReplay::NextRow(ReplayRecord& record, std::string* why) {
    for (;;) {
        const char* begin = FBuffer.data() + FBufferPos;
        const char* end = FBuffer.data() + FBuffer.size();
        if (FDiscarding) {
            const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
            if (nl == nullptr) {
                FBufferPos = FBuffer.size();
                if (Fill()) continue;
            } else {
                FBufferPos += static_cast<size_t>(nl - begin) + 1;
            }
            FDiscarding = false;
            FRowLine = ++FLine;
            if (why) *why = "longer than " + std::to_string(kMaxRowBytes) + " bytes";
            return Got::Unreadable;
        }
        if (begin == end && (FAtEnd || !Fill())) return Got::End;
        begin = FBuffer.data() + FBufferPos;
        end = FBuffer.data() + FBuffer.size();
        const record::RowCut cut = record::CutRow(begin, end, FAtEnd, *FParser, record, record::Texts::Read, why);
        if (cut.status == record::RowCut::Status::NeedMore) {
            if (static_cast<size_t>(end - begin) > kMaxRowBytes) FDiscarding = true;  // no line end in sight
            else Fill();
            continue;
        }
        FRowLine = FLine + 1;
        FLine += static_cast<uint64_t>(std::count(begin, begin + cut.next, '\n'));
        FBufferPos += cut.next;
        if (cut.status == record::RowCut::Status::Blank) continue;
        return cut.status == record::RowCut::Status::Row ? Got::Row : Got::Unreadable;
    }
}

std::optional<ReplayRecord> SessionReplay::Next() {
    ReplayRecord record;
    for (Got got; (got = NextRow(record, nullptr)) != Got::End;) {
        if (got == Got::Row) return record;
        ++FSkipped;
    }
    return std::nullopt;
}

} // namespace unitsim
