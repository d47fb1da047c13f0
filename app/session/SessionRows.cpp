#include "SessionRows.h"

#include <cerrno>

namespace session {

namespace {
// Up to `limit` bytes from the stream's position.
std::string ReadUpTo(std::ifstream& in, size_t limit) {
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}
} // namespace

const std::string& FullRow::Field(record::Column c) const {
    static const std::string none;
    const int f = columns[c];
    return f >= 0 && static_cast<size_t>(f) < fields.size() ? fields[static_cast<size_t>(f)] : none;
}

SessionRows::SessionRows(const std::filesystem::path& path) {
    errno = 0;
    FIn.open(path, std::ios::binary);
    if (!FIn) {
        FError = OpenFailureText(path, errno);
        return;
    }
    const std::string start = ReadUpTo(FIn, kMaxRowBytes + 1);
    const size_t lineEnd = start.find('\n');
    if (lineEnd == std::string::npos) {
        FError = PathText(path) + ": not a session file: it has no header row";
        return;
    }
    auto found = record::ReadHeaderRow(std::string_view(start).substr(0, lineEnd));
    if (!found.positions) {
        FError = PathText(path) + ": not a session file: " + found.error;
        return;
    }
    FParser.emplace(*found.positions);
}

std::optional<FullRow> SessionRows::Read(uint64_t fileOffset) {
    if (!FParser) return std::nullopt;
    FIn.clear();
    FIn.seekg(static_cast<std::streamoff>(fileOffset));
    if (!FIn) return std::nullopt;
    // A row and what could follow it, so the row is cut exactly as the scanner cut it.
    const std::string text = ReadUpTo(FIn, 2 * kMaxRowBytes + 2);
    FIn.clear();
    FullRow row;
    const record::RowCut cut = record::CutRow(text.data(), text.data() + text.size(), text.size() <= 2 * kMaxRowBytes + 1,
                                              *FParser, row.values, record::Texts::Read);
    if (cut.status != record::RowCut::Status::Row) return std::nullopt;
    std::string_view line = cut.text;
    if (line.back() == '\r') line.remove_suffix(1);
    auto fields = record::SplitCsvLine(line);
    if (!fields) return std::nullopt;
    row.fields = std::move(*fields);
    row.columns = FParser->Positions();
    row.values.fileOffset = fileOffset;
    row.values.length = static_cast<uint32_t>(line.size());
    row.values.clockMs = row.values.time.utcMs;
    return row;
}

} // namespace session
