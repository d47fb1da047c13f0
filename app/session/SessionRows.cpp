#include "SessionRows.h"

#include "app/ReceiveDecoder.h"

namespace session {

namespace {
// One line from the stream's position, without its line end; nothing when the line does not end
// within the longest row.
std::optional<std::string> ReadLine(std::ifstream& in) {
    std::string line;
    char c;
    while (in.get(c)) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (line.size() > kMaxRowBytes) return std::nullopt;
        line += c;
    }
    return std::nullopt;
}

void AppendTwo(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}
} // namespace

const std::string& FullRow::Field(recording::Column c) const {
    static const std::string none;
    const int f = columns[c];
    return f >= 0 && static_cast<size_t>(f) < fields.size() ? fields[static_cast<size_t>(f)] : none;
}

SessionRows::SessionRows(const std::filesystem::path& path) : FIn(path, std::ios::binary) {
    if (!FIn) {
        FError = PathText(path) + ": cannot be opened for reading";
        return;
    }
    auto header = ReadLine(FIn);
    if (!header) {
        FError = PathText(path) + ": not a session file: it has no header row";
        return;
    }
    std::string_view line = *header;
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    auto found = ReadSessionHeader(line);
    if (!found.positions) {
        FError = PathText(path) + ": not a session file: " + found.error;
        return;
    }
    FColumns = found.positions;
}

std::optional<FullRow> SessionRows::Read(uint64_t fileOffset) {
    if (!FColumns) return std::nullopt;
    FIn.clear();
    FIn.seekg(static_cast<std::streamoff>(fileOffset));
    if (!FIn) return std::nullopt;
    const auto line = ReadLine(FIn);
    if (!line) return std::nullopt;
    FullRow row;
    row.columns = *FColumns;
    if (!ParseRow(*line, row.columns, row.values)) return std::nullopt;
    auto fields = recording::SplitCsvLine(*line);
    if (!fields) return std::nullopt;
    row.fields = std::move(*fields);
    row.values.fileOffset = fileOffset;
    row.values.length = static_cast<uint32_t>(line->size());
    row.values.clockMs = row.values.timeMs;
    return row;
}

std::array<std::string, 6> CaptureTableCells(const ScannedRow& row, const std::string& timeSeparator) {
    std::array<std::string, 6> cells;
    constexpr int64_t kMsPerDay = 86400000;
    const int64_t local = row.timeMs + int64_t{row.utcOffsetMinutes} * 60000;
    const int64_t ms = ((local % kMsPerDay) + kMsPerDay) % kMsPerDay;
    std::string& time = cells[1];
    time = std::to_string(ms / 3600000);
    time += timeSeparator;
    AppendTwo(time, static_cast<int>(ms / 60000 % 60));
    time += timeSeparator;
    AppendTwo(time, static_cast<int>(ms / 1000 % 60));
    time += '.';
    time += static_cast<char>('0' + ms % 1000 / 100);
    AppendTwo(time, static_cast<int>(ms % 100));
    if (row.kind != RowKind::Status) return cells;
    cells[0] = std::to_string(row.car);
    cells[2] = LastLbText(row.lastLb);
    cells[3] = std::to_string(row.drivePwm);
    cells[4] = std::to_string(row.brakePwm);
    cells[5] = row.laneChange ? "Yes" : "No";
    return cells;
}

} // namespace session
