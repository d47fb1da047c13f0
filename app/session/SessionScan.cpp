#include "SessionScan.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace session {

namespace {
constexpr size_t kBlockBytes = 2 * 1024 * 1024;
constexpr uint64_t kNoStop = std::numeric_limits<uint64_t>::max();
constexpr size_t kNothingPreloaded = std::numeric_limits<size_t>::max();
// Stretches parsed ahead of the one being handed over: what bounds the rows waiting in memory.
constexpr uint64_t kStretchesAhead = 4;
constexpr size_t kStretchOverlap = 16 * 1024;

// One thread's means of reading the file: its own stream, buffer and parser.
// bufferBytes: at least block + kMaxRowBytes + 1 (a partial row and a block after it).
struct Reader {
    Reader(const std::filesystem::path& path, size_t block, size_t bufferBytes, const record::ColumnPositions& columns)
        : in(path, std::ios::binary), openError(in ? 0 : errno), buffer(new char[bufferBytes]), blockBytes(block),
          parser(columns) {}
    std::ifstream in;
    int openError;  // the open's errno, read before the buffer's allocation can change it (0: opened)
    std::unique_ptr<char[]> buffer;
    size_t blockBytes;
    record::RowParser parser;
    ScannedRow row;
};

// What reading one stretch of rows found.
struct StretchOutcome {
    uint64_t start = 0;       // where its first row starts
    uint64_t end = 0;         // where the first row it did not take starts, or where the file ends
    uint64_t skippedRows = 0;
    bool unterminatedTail = false;
    bool noRowStart = false;  // finding a row start: none before the stop
    bool failed = false;      // a read failed
    bool cancelled = false;
};

// Cuts the rows that start before `stop` off the file from `from` on, and hands each readable one
// to onRow (its offset and length set, its clock not). A row that starts before the stop is read
// whole, wherever it ends. findStart: `from` may be inside a row, and the stretch starts at the
// first line start after it instead (none when there is none before the stop). Rows are cut the
// same from any row start, so a stretch that starts where the one before it ended reads exactly
// the rows one thread reading on would. preloaded: the buffer already holds that many bytes from
// `from` on, and the stream stands after them (no seek, so a pipe reads too).
template <typename OnRow>
StretchOutcome ReadStretch(Reader& reader, uint64_t from, uint64_t stop, bool findStart, record::Texts texts,
                           const ScanControl* control, ScanControl* progress, uint64_t total, OnRow&& onRow,
                           size_t preloaded = kNothingPreloaded) {
    StretchOutcome out;
    out.start = from;
    std::ifstream& in = reader.in;
    if (preloaded == kNothingPreloaded) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(from));
        if (!in) {
            out.failed = true;
            return out;
        }
    }
    char* const base = reader.buffer.get();
    size_t held = 0;            // bytes in the buffer not yet handled (a partial row)
    uint64_t heldOffset = from; // file offset of base[0]
    uint64_t readTo = from;
    bool discarding = findStart;  // dropping bytes up to the next line end
    for (;;) {
        if (control && control->Cancelled()) {
            out.cancelled = true;
            out.end = heldOffset;
            return out;
        }
        size_t got = 0;
        if (preloaded != kNothingPreloaded && preloaded > 0) {
            got = preloaded;
        } else {
            in.read(base + held, static_cast<std::streamsize>(reader.blockBytes));
            got = static_cast<size_t>(in.gcount());
        }
        preloaded = 0;
        if (got == 0 && in.bad()) {
            out.failed = true;
            return out;
        }
        readTo += got;
        const bool atEnd = got == 0;
        const size_t avail = held + got;
        size_t pos = 0;

        if (discarding) {
            const void* nl = std::memchr(base, '\n', avail);
            if (nl == nullptr) {
                held = 0;
                heldOffset += avail;
                if (findStart && (atEnd || heldOffset >= stop)) {
                    out.noRowStart = true;
                    out.start = out.end = heldOffset;
                    return out;
                }
                if (!atEnd) continue;
                // The file ends inside a line too long to be a row.
                ++out.skippedRows;
                out.unterminatedTail = true;
                out.end = heldOffset;
                return out;
            }
            pos = static_cast<size_t>(static_cast<const char*>(nl) - base) + 1;
            if (findStart) out.start = heldOffset + pos;
            else ++out.skippedRows;
            findStart = discarding = false;
        }

        while (pos < avail) {
            const uint64_t offset = heldOffset + pos;
            if (offset >= stop) {
                out.end = offset;
                return out;
            }
            const record::RowCut cut = record::CutRow(base + pos, base + avail, atEnd, reader.parser, reader.row, texts);
            if (cut.status == record::RowCut::Status::NeedMore) break;
            pos += cut.next;
            if (cut.status == record::RowCut::Status::Blank) continue;
            if (cut.status == record::RowCut::Status::Unreadable) {
                ++out.skippedRows;
                if (atEnd && pos >= avail && cut.text.size() == cut.next) out.unterminatedTail = true;
                continue;
            }
            reader.row.fileOffset = offset;
            reader.row.length = static_cast<uint32_t>(cut.text.size() - (cut.text.back() == '\r' ? 1 : 0));
            onRow(reader.row);
        }

        // Keep the partial row for the next block, or drop a line already too long to be one.
        const size_t rest = avail - pos;
        if (rest > kMaxRowBytes) {
            discarding = true;
            held = 0;
            heldOffset += avail;
        } else {
            std::memmove(base, base + pos, rest);
            held = rest;
            heldOffset += pos;
        }
        if (progress) progress->SetProgress(readTo, std::max(total, readTo));
        if (atEnd) {
            if (discarding) {
                out.unterminatedTail = true;
                ++out.skippedRows;
            }
            out.end = heldOffset + held;
            return out;
        }
    }
}

// A row as it waits between the thread that parsed it and the one that hands it over (the texts
// are not carried).
struct WaitingRow {
    int64_t utcMs;
    uint64_t number;
    uint64_t fileOffset;
    uint32_t length;
    int32_t utcOffsetMinutes;
    int16_t unitId;
    record::Kind kind;
    uint8_t car, lastLb, drivePwm, brakePwm;
    bool laneChange;
};

WaitingRow Waiting(const ScannedRow& r) {
    return {r.time.utcMs, r.number,   r.fileOffset, r.length,   r.time.utcOffsetMinutes, static_cast<int16_t>(r.unitId),
            r.kind,       r.car,      r.lastLb,     r.drivePwm, r.brakePwm,              r.laneChange};
}

void Restore(const WaitingRow& w, ScannedRow& r) {
    r.kind = w.kind;
    r.number = w.number;
    r.time = {w.utcMs, w.utcOffsetMinutes};
    r.car = w.car;
    r.lastLb = w.lastLb;
    r.drivePwm = w.drivePwm;
    r.brakePwm = w.brakePwm;
    r.laneChange = w.laneChange;
    r.unitId = w.unitId;
    r.fileOffset = w.fileOffset;
    r.length = w.length;
}

// One stretch parsed ahead: its rows and what reading it found.
struct Stretch {
    StretchOutcome outcome;
    std::vector<WaitingRow> rows;
};

// The file's rows after the header, cut into stretches of nominal size: stretch k takes the rows
// that start from its first line start at or after Begin(k) up to Begin(k + 1). Two threads
// parse stretches, each guessing where its first row starts; the calling thread hands them over
// in order and checks each guess against where the stretch before it really ended. A wrong
// guess (a quoted field with a line break across the border) is read again from the right
// place, so the rows are exactly those one thread reading on would find.
class TwoThreadScan {
public:
    TwoThreadScan(uint64_t dataStart, uint64_t size, size_t stretchBytes, const ScanControl* control)
        : FDataStart(dataStart), FStretchBytes(stretchBytes), FCount((size - dataStart + stretchBytes - 1) / stretchBytes),
          FControl(control) {}
    ~TwoThreadScan() { Stop(); }
    TwoThreadScan(const TwoThreadScan&) = delete;
    TwoThreadScan& operator=(const TwoThreadScan&) = delete;

    uint64_t Count() const { return FCount; }
    uint64_t Begin(uint64_t k) const { return FDataStart + k * FStretchBytes; }
    uint64_t Stop(uint64_t k) const { return k + 1 < FCount ? Begin(k + 1) : kNoStop; }

    void Start(std::unique_ptr<Reader> helper) {
        FHelperReader = std::move(helper);
        FHelper = std::thread([this] { RunHelper(); });
    }

    // Calling thread: stretch k parsed (by whichever thread), ready to be handed over. Parses
    // stretches ahead itself while it waits for the helper.
    std::unique_ptr<Stretch> Next(uint64_t k, Reader& reader) {
        for (;;) {
            std::unique_ptr<Stretch> s;
            uint64_t take = 0;
            {
                std::unique_lock lock(FMutex);
                for (;;) {
                    const auto found = FDone.find(k);
                    if (found != FDone.end()) {
                        s = std::move(found->second);
                        FDone.erase(found);
                        return s;
                    }
                    if (MayTake()) {
                        take = FNextToParse++;
                        s = Spare();
                        break;
                    }
                    FChanged.wait(lock);
                }
            }
            Parse(take, reader, *s);
            if (take == k) return s;
            {
                const std::lock_guard lock(FMutex);
                FDone[take] = std::move(s);
            }
            FChanged.notify_all();
        }
    }

    // Calling thread: stretch k was handed over.
    void Handed(uint64_t k, std::unique_ptr<Stretch> s) {
        {
            const std::lock_guard lock(FMutex);
            FNextToHand = k + 1;
            FSpare.push_back(std::move(s));
        }
        FChanged.notify_all();
    }

    void Stop() {
        if (!FHelper.joinable()) return;
        {
            const std::lock_guard lock(FMutex);
            FStopping = true;
        }
        FChanged.notify_all();
        FHelper.join();
    }

private:
    bool MayTake() const { return FNextToParse < FCount && FNextToParse < FNextToHand + kStretchesAhead; }

    std::unique_ptr<Stretch> Spare() {
        if (FSpare.empty()) return std::make_unique<Stretch>();
        auto s = std::move(FSpare.back());
        FSpare.pop_back();
        return s;
    }

    void Parse(uint64_t k, Reader& reader, Stretch& s) const {
        s.rows.clear();
        const bool first = k == 0;
        s.outcome = ReadStretch(reader, first ? FDataStart : Begin(k) - 1, Stop(k), !first, record::Texts::Skip, FControl,
                                nullptr, 0, [&](const ScannedRow& r) { s.rows.push_back(Waiting(r)); });
    }

    void RunHelper() {
        for (;;) {
            std::unique_ptr<Stretch> s;
            uint64_t take = 0;
            {
                std::unique_lock lock(FMutex);
                FChanged.wait(lock, [&] { return FStopping || FNextToParse >= FCount || MayTake(); });
                if (FStopping || FNextToParse >= FCount) return;
                take = FNextToParse++;
                s = Spare();
            }
            Parse(take, *FHelperReader, *s);
            {
                const std::lock_guard lock(FMutex);
                FDone[take] = std::move(s);
            }
            FChanged.notify_all();
        }
    }

    const uint64_t FDataStart;
    const uint64_t FStretchBytes;
    const uint64_t FCount;
    const ScanControl* const FControl;
    std::unique_ptr<Reader> FHelperReader;  // the helper thread's alone while it runs
    // Shared, under the mutex.
    std::mutex FMutex;
    std::condition_variable FChanged;
    uint64_t FNextToParse = 0;
    uint64_t FNextToHand = 0;
    std::map<uint64_t, std::unique_ptr<Stretch>> FDone;
    std::vector<std::unique_ptr<Stretch>> FSpare;
    bool FStopping = false;
    std::thread FHelper;  // joined by Stop, before anything above goes away
};

int ThreadsFor(const ScanOptions& options) {
    if (options.texts == record::Texts::Read) return 1;
    if (options.threads > 0) return std::min(options.threads, 2);
    return std::thread::hardware_concurrency() > 1 ? 2 : 1;
}
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
    ScanOptions options;
    options.texts = texts;
    return ScanSessionFile(path, onRow, control, options);
}

ScanResult ScanSessionFile(const std::filesystem::path& path, const std::function<void(const ScannedRow&)>& onRow,
                           ScanControl* control, const ScanOptions& options) {
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
    const size_t stretchBytes = std::max<size_t>(options.stretchBytes, 1);
    const int threads = ThreadsFor(options);
    // A stretch is read in one go, with a little more for its last row.
    const size_t block = threads > 1 ? stretchBytes + kStretchOverlap : kBlockBytes;
    // This thread's buffer also takes the first block, where the header row is looked for.
    auto reader = std::make_unique<Reader>(path, block, std::max(block, kBlockBytes) + kMaxRowBytes + 1,
                                           record::ColumnPositions::Written());
    if (!reader->in) {
        result.status = ScanStatus::Failed;
        result.error = OpenFailureText(path, reader->openError);
        return result;
    }
    const bool regular = std::filesystem::is_regular_file(path, ec);
    uint64_t total = std::filesystem::file_size(path, ec);
    if (ec) total = 0;

    // The header row, from the first block.
    char* const first = reader->buffer.get();
    reader->in.read(first, static_cast<std::streamsize>(kBlockBytes));
    const auto firstGot = static_cast<size_t>(reader->in.gcount());
    if (firstGot == 0 && reader->in.bad()) return fail("could not be read");
    if (firstGot == 0) return fail("is empty, not a session file");
    const void* nl = std::memchr(first, '\n', firstGot);
    if (nl == nullptr) return fail("not a session file: it has no header row");
    const auto lineEnd = static_cast<size_t>(static_cast<const char*>(nl) - first);
    const auto header = record::ReadHeaderRow(std::string_view(first, lineEnd));
    if (!header.positions) return fail("not a session file: " + header.error);
    reader->parser = record::RowParser(*header.positions);
    const uint64_t dataStart = lineEnd + 1;

    int64_t clock = INT64_MIN;
    const auto hand = [&](ScannedRow& row) {
        clock = std::max(clock, row.time.utcMs);
        row.clockMs = clock;
        ++result.rows;
        onRow(row);
    };
    // False when the scan ends here (cancelled, or a read failed).
    const auto take = [&](const StretchOutcome& outcome) {
        result.skippedRows += outcome.skippedRows;
        result.unterminatedTail = result.unterminatedTail || outcome.unterminatedTail;
        result.bytesRead = outcome.end;
        if (outcome.cancelled) {
            result.status = ScanStatus::Cancelled;
        } else if (outcome.failed) {
            result.status = ScanStatus::Failed;
            result.error = name + ": could not be read";
        }
        return !outcome.cancelled && !outcome.failed;
    };

    // A file of one stretch, one that is not a plain file (its size may not hold), and texts to
    // carry: one thread reads it all.
    if (threads < 2 || !regular || total <= dataStart + stretchBytes) {
        const size_t rest = firstGot - static_cast<size_t>(dataStart);
        std::memmove(first, first + dataStart, rest);
        const StretchOutcome outcome = ReadStretch(*reader, dataStart, kNoStop, false, options.texts, control, control,
                                                   total, hand, rest);
        if (!take(outcome)) return result;
        result.status = ScanStatus::Done;
        return result;
    }

    auto helper = std::make_unique<Reader>(path, block, block + kMaxRowBytes + 1, reader->parser.Positions());
    TwoThreadScan scan(dataStart, total, stretchBytes, control);
    // Without a helper (its stream or its thread could not be had) this thread parses every stretch.
    if (helper->in) {
        try {
            scan.Start(std::move(helper));
        } catch (const std::system_error&) {
        }
    }
    uint64_t expected = dataStart;  // where the next row starts, as one thread reading on would find it
    uint64_t reported = 0;
    ScannedRow row;
    for (uint64_t k = 0; k < scan.Count(); ++k) {
        if (control && control->Cancelled()) {
            result.status = ScanStatus::Cancelled;
            result.bytesRead = expected;
            return result;
        }
        std::unique_ptr<Stretch> s = scan.Next(k, *reader);
        const uint64_t stop = scan.Stop(k);
        if (expected >= stop) {
            // The row before ran over this whole stretch: no row starts in it.
        } else if (s->outcome.start == expected && !s->outcome.noRowStart && !s->outcome.failed && !s->outcome.cancelled) {
            for (const WaitingRow& w : s->rows) {
                Restore(w, row);
                hand(row);
            }
            if (!take(s->outcome)) return result;
            expected = s->outcome.end;
        } else {
            // Guessed wrong (or not read): this stretch again, from where its first row really starts.
            const StretchOutcome again =
                ReadStretch(*reader, expected, stop, false, record::Texts::Skip, control, nullptr, 0, hand);
            if (!take(again)) return result;
            expected = again.end;
        }
        scan.Handed(k, std::move(s));
        // As often as one thread reading blocks would report, and at the end.
        if (control && (expected - reported >= kBlockBytes || k + 1 == scan.Count())) {
            control->SetProgress(expected, std::max(total, expected));
            reported = expected;
        }
    }
    scan.Stop();
    result.status = ScanStatus::Done;
    result.bytesRead = expected;
    return result;
}

} // namespace session
