#include "SessionScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace session {

namespace {
constexpr size_t kBlockBytes = 2 * 1024 * 1024;
} // namespace

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    if (text.empty()) return "the file";
    return std::string(text.begin(), text.end());
}

std::string OpenFailureText(const std::filesystem::path& path, int error) {
    std::error_code ec;
    const bool missing = std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found;
    if (error == ENOENT || missing) return PathText(path) + ": no such file";
    if (error == EACCES || error == EPERM) return PathText(path) + ": cannot be read: permission denied";
    return PathText(path) + ": cannot be opened for reading" + (error != 0 ? ": " + std::generic_category().message(error) : "");
}

ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control, record::Texts texts) {
    ScanResult result;
    const std::string name = PathText(path);
    const auto fail = [&](const std::string& why) {
        result.status = ScanStatus::Failed;
        result.error = name + ": " + why;
        return result;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail("is a folder, not a session file");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.status = ScanStatus::Failed;
        result.error = OpenFailureText(path, errno);
        return result;
    }
    uint64_t total = std::filesystem::file_size(path, ec);
    if (ec) total = 0;

    std::unique_ptr<char[]> buffer(new char[kBlockBytes + kMaxRowBytes + 1]);
    size_t held = 0;           // bytes in buffer not yet handled (a partial row)
    uint64_t heldOffset = 0;   // file offset of buffer[0]
    uint64_t readTotal = 0;
    bool discarding = false;   // inside an overlong line, dropping bytes up to its end
    bool headerDone = false;
    std::optional<record::RowParser> parser;
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

        if (discarding) {
            const void* nl = std::memchr(base, '\n', avail);
            if (nl == nullptr) {
                held = 0;
                heldOffset += avail;
                if (!atEnd) continue;
            } else {
                pos = static_cast<size_t>(static_cast<const char*>(nl) - base) + 1;
            }
            discarding = false;
            ++result.skippedRows;
        }

        if (!headerDone) {
            if (atEnd && avail == 0) return fail("is empty, not a session file");
            const void* nl = std::memchr(base, '\n', avail);
            if (nl == nullptr) {
                if (avail >= kMaxRowBytes || atEnd) return fail("not a session file: it has no header row");
                held = avail;
                continue;
            }
            const auto lineEnd = static_cast<size_t>(static_cast<const char*>(nl) - base);
            const auto header = record::ReadHeaderRow(std::string_view(base, lineEnd));
            if (!header.positions) return fail("not a session file: " + header.error);
            parser.emplace(*header.positions);
            headerDone = true;
            pos = lineEnd + 1;
        }

        while (pos < avail) {
            const record::RowCut cut = record::CutRow(base + pos, base + avail, atEnd, *parser, row, texts);
            if (cut.status == record::RowCut::Status::NeedMore) break;
            const uint64_t offset = heldOffset + pos;
            pos += cut.next;
            if (cut.status == record::RowCut::Status::Blank) continue;
            if (cut.status == record::RowCut::Status::Unreadable) {
                ++result.skippedRows;
                if (atEnd && pos >= avail && cut.text.size() == cut.next) result.unterminatedTail = true;
                continue;
            }
            clock = std::max(clock, row.time.utcMs);
            row.clockMs = clock;
            row.fileOffset = offset;
            row.length = static_cast<uint32_t>(cut.text.size() - (cut.text.back() == '\r' ? 1 : 0));
            ++result.rows;
            onRow(row);
        }

        // Keep the partial row for the next block, or drop a line already too long to be one.
        const size_t rest = avail - pos;
        if (rest > kMaxRowBytes) {
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
            if (discarding) {
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
