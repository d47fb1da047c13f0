#include "ChecksFile.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/record/Csv.h"
#include "app/session/SessionScan.h"
#include "app/workbook/WorkbookFile.h"

namespace workbook {

namespace {

constexpr size_t kLongestHeader = 64 * 1024;  // a first line longer than this is no header of ours

std::optional<std::vector<std::string>> Fields(std::string_view row) {
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    return record::SplitCsvLine(row);
}

} // namespace

bool IsChecksHeader(const std::vector<std::string>& names) {
    return names.size() >= 4 && names[0] == "time" && names[1] == "unit" && names[2] == "car" && names[3] == "verdict";
}

bool IsChecksFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    char c = 0;
    while (line.size() < kLongestHeader && in.get(c) && c != '\n') line += c;
    const auto names = Fields(line);
    return names && IsChecksHeader(*names);
}

bool ReadChecksFile(const std::filesystem::path& path, std::optional<int> car, ChecksTable& out, std::string& error) {
    out = {};
    std::error_code ec;
    const std::string name = session::PathText(path);
    if (!std::filesystem::exists(path, ec)) {
        error = name + ": no such file";
        return false;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = name + ": not a file of checks";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = name + ": cannot be read";
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = name + ": cannot be read";
        return false;
    }

    std::vector<size_t> where;  // the current header's columns in out.columns
    const std::string carText = car ? std::to_string(*car) : std::string();
    size_t carColumn = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* rowEnd = record::FindRowEnd(p, end);
        if (rowEnd == nullptr) rowEnd = end;  // the last row without its line end
        const std::string_view row(p, static_cast<size_t>(rowEnd - p));
        p = rowEnd < end ? rowEnd + 1 : end;
        if (row.empty() || row == "\r") continue;
        const auto fields = Fields(row);
        if (fields && !fields->empty() && fields->front() == "time") {
            if (out.columns.empty() && !IsChecksHeader(*fields)) break;
            where.clear();
            for (const std::string& column : *fields) {
                auto known = std::find(out.columns.begin(), out.columns.end(), column);
                if (known == out.columns.end()) known = out.columns.insert(out.columns.end(), column);
                where.push_back(static_cast<size_t>(known - out.columns.begin()));
            }
            carColumn = static_cast<size_t>(std::find(out.columns.begin(), out.columns.end(), "car") - out.columns.begin());
            for (auto& earlier : out.rows) earlier.resize(out.columns.size());
            continue;
        }
        if (out.columns.empty()) break;
        if (!fields || fields->size() != where.size()) {
            ++out.skippedRows;
            continue;
        }
        std::vector<std::string> cells(out.columns.size());
        for (size_t i = 0; i < where.size(); ++i) cells[where[i]] = std::move((*fields)[i]);
        if (car && cells[carColumn] != carText) continue;
        out.rows.push_back(std::move(cells));
    }
    if (out.columns.empty()) {
        error = name + ": not a file of checks (its first line is not \"time,unit,car,verdict,...\")";
        return false;
    }
    return true;
}

bool ParseCheckTime(std::string_view text, record::Instant& out, bool& hasOffset) {
    // Brought to the session file's form, with milliseconds and an offset, for its reader.
    constexpr size_t kSeconds = 19;  // "2026-12-07T09:43:51"
    if (text.size() < kSeconds) return false;
    std::string full(text.substr(0, kSeconds));
    std::string_view rest = text.substr(kSeconds);
    if (!rest.empty() && rest.front() == '.') {
        if (rest.size() < 4) return false;
        full += rest.substr(0, 4);
        rest.remove_prefix(4);
    } else {
        full += ".000";
    }
    hasOffset = !rest.empty();
    full += rest.empty() ? std::string_view("Z") : rest;
    return record::ParseIsoText(full, out);
}

bool PlainNumber(std::string_view text, double& value) {
    size_t i = !text.empty() && text.front() == '-' ? 1 : 0;
    const size_t digitsFrom = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digitsFrom) return false;
    if (i < text.size() && text[i] == '.') {
        const size_t fractionFrom = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == fractionFrom) return false;
    }
    if (i != text.size()) return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

} // namespace workbook
