#include "SessionScan.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

namespace session {

namespace {

constexpr size_t kBlockBytes = 2 * 1024 * 1024;
constexpr int64_t kMsPerDay = 86400000;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline bool Digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline int Two(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// Decimal digits only, at most maxValue.
template <typename T>
bool ParseUnsigned(std::string_view text, T maxValue, T& out) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (!Digit(c)) return false;
        const uint64_t next = v * 10 + static_cast<uint64_t>(c - '0');
        if (next / 10 != v) return false;  // overflow
        v = next;
    }
    if (v > static_cast<uint64_t>(maxValue)) return false;
    out = static_cast<T>(v);
    return true;
}

// A quoted field's content (doubled quotes left as they are: no column this reads may hold one).
inline std::string_view Unquote(std::string_view f) {
    if (f.size() >= 2 && f.front() == '"' && f.back() == '"') return f.substr(1, f.size() - 2);
    return f;
}

// Splits the line at its separators (honouring quotes) into the fields this reader wants; false
// when the field count differs from the header's or a quote is not closed.
bool SplitWanted(std::string_view line, const std::vector<int8_t>& columnOfField,
                 std::string_view (&wanted)[recording::kColumnCount]) {
    const char* p = line.data();
    const char* const end = p + line.size();
    size_t field = 0;
    const size_t fieldCount = columnOfField.size();
    for (;;) {
        if (field >= fieldCount) return false;
        const char* fieldEnd;
        if (p < end && *p == '"') {
            const char* q = p + 1;
            for (;;) {
                q = static_cast<const char*>(std::memchr(q, '"', static_cast<size_t>(end - q)));
                if (q == nullptr) return false;
                if (q + 1 < end && q[1] == '"') {
                    q += 2;
                    continue;
                }
                break;
            }
            fieldEnd = q + 1;
            if (fieldEnd < end && *fieldEnd != ',') return false;
        } else {
            fieldEnd = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
            if (fieldEnd == nullptr) fieldEnd = end;
        }
        const int column = columnOfField[field];
        if (column >= 0) wanted[column] = Unquote(std::string_view(p, static_cast<size_t>(fieldEnd - p)));
        ++field;
        if (fieldEnd == end) break;
        p = fieldEnd + 1;
    }
    return field == fieldCount;
}

std::vector<int8_t> ColumnOfField(const recording::ColumnPositions& columns) {
    std::vector<int8_t> out(static_cast<size_t>(columns.fieldCount), -1);
    for (int c = 0; c < recording::kColumnCount; ++c) {
        const int f = columns.index[static_cast<size_t>(c)];
        if (f >= 0) out[static_cast<size_t>(f)] = static_cast<int8_t>(c);
    }
    return out;
}

bool ParseWanted(std::string_view (&f)[recording::kColumnCount], ScannedRow& row) {
    using namespace recording;
    if (!ParseTimeField(f[kTimeColumn], row.timeMs, row.utcOffsetMinutes)) return false;
    if (!ParseUnsigned<uint64_t>(f[kRecordColumn], UINT64_MAX, row.number)) return false;
    const std::string_view kind = f[kKindColumn];
    if (kind == "status") {
        row.kind = RowKind::Status;
        uint8_t lane = 0;
        if (!ParseUnsigned<uint8_t>(f[kCarColumn], 255, row.car) ||
            !ParseUnsigned<uint8_t>(f[kLastLbColumn], 255, row.lastLb) ||
            !ParseUnsigned<uint8_t>(f[kDrivePwmColumn], 255, row.drivePwm) ||
            !ParseUnsigned<uint8_t>(f[kBrakePwmColumn], 255, row.brakePwm) ||
            !ParseUnsigned<uint8_t>(f[kLaneChangeColumn], 255, lane)) {
            return false;
        }
        row.laneChange = lane != 0;
        return true;
    }
    if (kind == "name") {
        row.kind = RowKind::Name;
        row.car = row.lastLb = row.drivePwm = row.brakePwm = 0;
        row.laneChange = false;
        return true;
    }
    return false;
}

} // namespace

recording::HeaderReading ReadSessionHeader(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto fields = recording::SplitCsvLine(line);
    if (!fields) return {std::nullopt, "its first row is not a header row"};
    auto found = recording::FindColumns(*fields);
    if (found.positions && found.positions->fieldCount > 127) return {std::nullopt, "its header row has too many columns"};
    return found;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    if (text.empty()) return "the file";
    return std::string(text.begin(), text.end());
}

bool ParseTimeField(std::string_view t, int64_t& utcMs, int& utcOffsetMinutes) {
    // 2026-12-07T09:43:51.123+01:00 or ...51.123Z
    if (t.size() != 29 && t.size() != 24) return false;
    const char* p = t.data();
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22}) {
        if (!Digit(p[i])) return false;
    }
    if (p[4] != '-' || p[7] != '-' || p[10] != 'T' || p[13] != ':' || p[16] != ':' || p[19] != '.') return false;
    const int year = Two(p) * 100 + Two(p + 2);
    const int month = Two(p + 5), day = Two(p + 8), hour = Two(p + 11), minute = Two(p + 14), second = Two(p + 17);
    const int milli = (p[20] - '0') * 100 + Two(p + 21);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return false;
    int offset = 0;
    if (t.size() == 24) {
        if (p[23] != 'Z') return false;
    } else {
        if ((p[23] != '+' && p[23] != '-') || !Digit(p[24]) || !Digit(p[25]) || p[26] != ':' || !Digit(p[27]) ||
            !Digit(p[28])) {
            return false;
        }
        const int oh = Two(p + 24), om = Two(p + 27);
        if (oh > 23 || om > 59) return false;
        offset = (oh * 60 + om) * (p[23] == '-' ? -1 : 1);
    }
    // The date changes once a day at most, so the day number is kept from the last call.
    thread_local char lastDate[10] = {};
    thread_local int64_t lastDays = 0;
    if (std::memcmp(lastDate, p, 10) != 0) {
        lastDays = recording::DaysFromCivil(year, month, day);
        std::memcpy(lastDate, p, 10);
    }
    const int64_t localMs = lastDays * kMsPerDay + ((int64_t{hour} * 60 + minute) * 60 + second) * 1000 + milli;
    utcMs = localMs - int64_t{offset} * 60000;
    utcOffsetMinutes = offset;
    return true;
}

bool ParseRow(std::string_view line, const recording::ColumnPositions& columns, ScannedRow& row) {
    const std::vector<int8_t> columnOfField = ColumnOfField(columns);
    std::string_view wanted[recording::kColumnCount];
    return SplitWanted(line, columnOfField, wanted) && ParseWanted(wanted, row);
}

ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control) {
    ScanResult result;
    const std::string name = PathText(path);
    const auto fail = [&](const std::string& why) {
        result.status = ScanStatus::Failed;
        result.error = name + ": " + why;
        return result;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail("is a folder, not a session file");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot be opened for reading");
    uint64_t total = std::filesystem::file_size(path, ec);
    if (ec) total = 0;

    std::unique_ptr<char[]> buffer(new char[kBlockBytes + kMaxRowBytes]);
    size_t held = 0;           // bytes in buffer not yet handled (a partial line)
    uint64_t heldOffset = 0;   // file offset of buffer[0]
    uint64_t readTotal = 0;
    bool discarding = false;   // inside an overlong line, dropping bytes up to its end
    bool headerDone = false;
    recording::ColumnPositions columns;
    std::vector<int8_t> columnOfField;
    std::string_view wanted[recording::kColumnCount];
    ScannedRow row;
    int64_t clock = INT64_MIN;

    for (;;) {
        if (control && control->Cancelled()) {
            result.status = ScanStatus::Cancelled;
            result.bytesRead = readTotal;
            return result;
        }
        in.read(buffer.get() + held, static_cast<std::streamsize>(kBlockBytes));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0 && in.bad()) return fail("could not be read");
        readTotal += got;
        const bool atEnd = got == 0;
        const size_t avail = held + got;
        const char* const base = buffer.get();
        size_t pos = 0;

        if (!headerDone) {
            if (atEnd && avail == 0) return fail("is empty, not a session file");
            size_t start = 0;
            if (avail >= 3 && std::string_view(base, 3) == kByteOrderMark) start = 3;
            const void* nl = std::memchr(base + start, '\n', avail - start);
            if (nl == nullptr) {
                if (avail >= kMaxRowBytes || atEnd) return fail("not a session file: it has no header row");
                held = avail;
                continue;
            }
            const auto lineEnd = static_cast<size_t>(static_cast<const char*>(nl) - base);
            const auto header = ReadSessionHeader(std::string_view(base + start, lineEnd - start));
            if (!header.positions) return fail("not a session file: " + header.error);
            columns = *header.positions;
            columnOfField = ColumnOfField(columns);
            headerDone = true;
            pos = lineEnd + 1;
        }

        while (pos < avail) {
            const char* lineStart = base + pos;
            const auto* nl = static_cast<const char*>(std::memchr(lineStart, '\n', avail - pos));
            if (nl == nullptr) break;
            const auto len = static_cast<size_t>(nl - lineStart);
            const uint64_t offset = heldOffset + pos;
            pos += len + 1;
            if (discarding) {
                discarding = false;
                ++result.skippedRows;
                continue;
            }
            std::string_view line(lineStart, len);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty()) continue;  // a blank line holds no row
            if (len > kMaxRowBytes || !SplitWanted(line, columnOfField, wanted) || !ParseWanted(wanted, row)) {
                ++result.skippedRows;
                continue;
            }
            clock = std::max(clock, row.timeMs);
            row.clockMs = clock;
            row.fileOffset = offset;
            row.length = static_cast<uint32_t>(line.size());
            ++result.rows;
            onRow(row);
        }

        // Keep the partial line for the next block, or drop it when it is already too long.
        const size_t rest = avail - pos;
        if (discarding || rest > kMaxRowBytes) {
            discarding = true;
            held = 0;
            heldOffset += avail;
        } else {
            std::memmove(buffer.get(), base + pos, rest);
            held = rest;
            heldOffset += pos;
        }
        if (control) control->SetProgress(readTotal, std::max(total, readTotal));
        if (atEnd) {
            if (held > 0 || discarding) {
                result.unterminatedTail = true;
                ++result.skippedRows;
            }
            break;
        }
    }
    result.status = ScanStatus::Done;
    result.bytesRead = readTotal;
    return result;
}

} // namespace session
