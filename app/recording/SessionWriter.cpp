#include "SessionWriter.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "FileSync.h"
#include "PathText.h"
#include "SessionNaming.h"
#include "UtcOffset.h"

namespace recording {

namespace fs = std::filesystem;

namespace {
// The capturing thread wakes the writer for a batch this large; smaller ones wait for the flush.
constexpr size_t kWakeBatch = 1024;

std::string Reason(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

std::string Quoted(const fs::path& path) { return std::string(1, '"').append(PathText(path)).append(1, '"'); }

std::FILE* OpenForWriting(const fs::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}
} // namespace

struct SessionWriter::Session {
    uint64_t id = 0;
    fs::path folder;
    fs::path path;
    std::FILE* file = nullptr;
    std::string buffer;            // whole rows not yet written
    uint64_t bufferedRows = 0;
    uint64_t fileBytes = 0;        // written and flushed
    std::vector<SessionFile> others;  // older session files, oldest first
    uint64_t othersBytes = 0;
    std::string unitFields;
    std::chrono::steady_clock::time_point flushDue{};
    bool failed = false;
    std::string failure;
    uint64_t notRecorded = 0;
    bool reported = false;
};

SessionWriter::SessionWriter(WriterLimits limits, Reporter reporter, FileOpener opener)
    : FLimits(limits), FReporter(std::move(reporter)), FOpener(opener ? std::move(opener) : FileOpener(OpenForWriting)),
      FThread([this] { Run(); }) {}

SessionWriter::~SessionWriter() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStop = true;
    }
    FWake.notify_one();
    FThread.join();
}

void SessionWriter::Push(Item&& item, bool urgent) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (item.op == Item::Op::Record) {
            ++FQueuedRecords;
            FQueuedBytes += item.row.bytes.size();
        }
        FQueue.push_back(std::move(item));
        FUrgent = FUrgent || urgent;
        // Only a writer with nothing to flush waits without a deadline; otherwise rows gather
        // until the flush, so the capturing thread makes no wake-up call per record.
        wake = urgent || FWriterIdle || FQueuedRecords == kWakeBatch;
    }
    if (wake) FWake.notify_one();
}

void SessionWriter::Begin(const fs::path& folder, const std::string& fileStem, const UnitIdentity& unit) {
    if (FRecording) End();
    Item item;
    item.op = Item::Op::Begin;
    item.session = ++FSessionCount;
    item.begin = std::make_unique<BeginArgs>(BeginArgs{folder, fileStem, unit});
    FFolder = folder;
    FRecording = true;
    Push(std::move(item), true);
}

bool SessionWriter::Add(RecordRow&& row) {
    if (!FRecording) return false;
    if (FStoppedSession.load(std::memory_order_relaxed) == FSessionCount) {
        FRecording = false;  // the writer has stopped it and told the user
        return false;
    }
    bool full = false;
    size_t queued = 0;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        queued = FQueuedRecords;
        full = FQueuedRecords >= FLimits.maxQueuedRecords || FQueuedBytes + row.bytes.size() > FLimits.maxQueuedBytes;
    }
    if (full) {
        // The disk is not keeping up: what is queued is still written, this session takes no more.
        End();
        if (FReporter) {
            FReporter("Session recording stopped: the disk did not keep up with the records (" + std::to_string(queued) +
                      " waiting to be written to the captures folder " + Quoted(FFolder) +
                      "). Records not recorded: 1 (and the rest of this session); the table goes on capturing.");
        }
        return false;
    }
    Item item;
    item.op = Item::Op::Record;
    item.session = FSessionCount;
    item.row = std::move(row);
    Push(std::move(item), false);
    return true;
}

void SessionWriter::End() {
    if (!FRecording) return;
    FRecording = false;
    Item item;
    item.op = Item::Op::End;
    item.session = FSessionCount;
    Push(std::move(item), true);
}

void SessionWriter::WaitUntilWritten() {
    std::mutex doneMutex;
    std::condition_variable doneCond;
    bool done = false;
    Item item;
    item.op = Item::Op::Flush;
    item.flushed = [&] {
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneCond.notify_one();
    };
    Push(std::move(item), true);
    std::unique_lock<std::mutex> lock(doneMutex);
    doneCond.wait(lock, [&] { return done; });
}

fs::path SessionWriter::LastFilePath() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FLastFilePath;
}

void SessionWriter::WaitForWork(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        if (FUrgent || FStop || FQueuedRecords >= kWakeBatch) return;
        const bool unflushed = FSession && !FSession->buffer.empty();
        if (!unflushed) {
            if (!FQueue.empty()) return;  // take the first rows now; the flush deadline starts with them
            FWriterIdle = true;
            FWake.wait(lock);
            FWriterIdle = false;
            continue;
        }
        if (std::chrono::steady_clock::now() >= FSession->flushDue) return;
        FWake.wait_until(lock, FSession->flushDue);
    }
}

void SessionWriter::Run() {
    std::vector<Item> batch;
    std::unique_lock<std::mutex> lock(FMutex);
    for (;;) {
        WaitForWork(lock);
        const bool stop = FStop;
        batch.swap(FQueue);
        FQueuedRecords = 0;
        FQueuedBytes = 0;
        FUrgent = false;
        lock.unlock();
        for (Item& item : batch) {
            try {
                Handle(item);
            } catch (const std::exception& e) {  // out of memory while formatting, say
                if (FSession && !FSession->failed) Fail("could not record to", FSession->path, e.what());
            }
        }
        batch.clear();
        if (FSession && !FSession->failed && !FSession->buffer.empty() &&
            (stop || std::chrono::steady_clock::now() >= FSession->flushDue)) {
            FlushSession();
        }
        ReportFailure();
        lock.lock();
        if (stop && FQueue.empty()) break;
    }
    lock.unlock();
    CloseSession();
}

void SessionWriter::Handle(Item& item) {
    switch (item.op) {
    case Item::Op::Begin:
        CloseSession();
        OpenSession(item.session, *item.begin);
        break;
    case Item::Op::Record:
        if (FSession && FSession->id == item.session) AppendRecord(item.row);
        break;
    case Item::Op::End:
        if (FSession && FSession->id == item.session) CloseSession();
        break;
    case Item::Op::Flush:
        if (FSession && !FSession->failed) FlushSession();
        ReportFailure();
        item.flushed();
        break;
    }
}

void SessionWriter::OpenSession(uint64_t id, const BeginArgs& args) {
    FSession = std::make_unique<Session>();
    Session& s = *FSession;
    s.id = id;
    s.folder = args.folder;
    s.unitFields = UnitFields(args.unit);
    std::error_code ec;
    fs::create_directories(args.folder, ec);
    if (ec || !fs::is_directory(args.folder, ec)) {
        Fail("could not create the captures folder", args.folder, ec ? ec.message() : Reason(ENOTDIR));
        return;
    }
    fs::path path = args.folder / PathFromUtf8(args.stem + ".csv");
    for (int n = 2; fs::exists(path, ec) && n < 1000; ++n) {
        path = args.folder / PathFromUtf8(args.stem + "-" + std::to_string(n) + ".csv");
    }
    s.path = path;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FLastFilePath = path;
    }
    errno = 0;
    s.file = FOpener(path);
    if (s.file == nullptr) {
        Fail("could not create the session file", path, Reason(errno));
        return;
    }
    std::setvbuf(s.file, nullptr, _IONBF, 0);  // rows are gathered in our own buffer

    // Older session files, oldest first, for the size cap.
    struct Found {
        SessionFile file;
        fs::file_time_type time;
    };
    std::vector<Found> found;
    for (fs::directory_iterator it(args.folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::error_code fileEc;
        if (p.filename() == path.filename() || !IsSessionFileName(PathText(p.filename())) ||
            !it->is_regular_file(fileEc)) {
            continue;
        }
        const uint64_t size = it->file_size(fileEc);
        const fs::file_time_type time = it->last_write_time(fileEc);
        if (!fileEc) found.push_back({{p, size}, time});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.time != b.time ? a.time < b.time : a.file.path < b.file.path;
    });
    for (const Found& f : found) {
        s.others.push_back(f.file);
        s.othersBytes += f.file.size;
    }
    s.flushDue = std::chrono::steady_clock::now() + FLimits.flushInterval;
    if (!MakeRoomFor(HeaderRow().size())) {
        Fail("the captures folder reached its size cap of " + std::to_string(FLimits.folderSizeCap) + " bytes:",
             args.folder, "no older session files left to delete");
        return;
    }
    s.buffer = HeaderRow();
}

bool SessionWriter::MakeRoomFor(uint64_t bytes) {
    Session& s = *FSession;
    auto total = [&] { return s.othersBytes + s.fileBytes + s.buffer.size() + bytes; };
    while (total() > FLimits.folderSizeCap && !s.others.empty()) {
        std::error_code ec;
        fs::remove(s.others.front().path, ec);  // a file that will not go is no longer counted either
        s.othersBytes -= s.others.front().size;
        s.others.erase(s.others.begin());
    }
    return total() <= FLimits.folderSizeCap;
}

int SessionWriter::OffsetFor(const RecordRow& row) {
    // The offset changes at most on the hour; ask the time zone rules once per local hour.
    const CivilTime c = ToCivil(row.time);
    const int64_t key = ((static_cast<int64_t>(c.year) * 13 + c.month) * 32 + c.day) * 24 + c.hour;
    if (key != FOffsetKey) {
        FOffsetKey = key;
        FOffsetMinutes = UtcOffsetMinutes(c);
    }
    return FOffsetMinutes;
}

void SessionWriter::AppendRecord(const RecordRow& row) {
    Session& s = *FSession;
    if (s.failed) {
        ++s.notRecorded;
        return;
    }
    if (s.buffer.empty()) s.flushDue = std::chrono::steady_clock::now() + FLimits.flushInterval;
    if (row.kind == RecordRow::Kind::Name) {
        // A name record names the unit for its own row and the rows after it.
        UnitIdentity unit;
        unit.known = true;
        unit.id = row.bytes.size() > 1 ? static_cast<uint8_t>(row.bytes[1]) : 0;
        unit.nameUtf8 = row.nameUtf8;
        s.unitFields = UnitFields(unit);
    }
    FRowText.clear();
    AppendRow(FRowText, row, s.unitFields, OffsetFor(row));
    if (!MakeRoomFor(FRowText.size())) {
        ++s.notRecorded;
        FlushSession();  // the rows that fit are kept
        if (!s.failed) {
            Fail("the captures folder reached its size cap of " + std::to_string(FLimits.folderSizeCap) + " bytes:",
                 s.folder, "no older session files left to delete");
        }
        return;
    }
    s.buffer += FRowText;
    ++s.bufferedRows;
}

void SessionWriter::FlushSession() {
    Session& s = *FSession;
    if (s.failed || s.buffer.empty() || s.file == nullptr) return;
    std::error_code ec;
    if (s.fileBytes > 0 && !fs::exists(s.path, ec)) {
        Fail("the session file was removed:", s.path, Reason(ENOENT));
        return;
    }
    errno = 0;
    const size_t written = std::fwrite(s.buffer.data(), 1, s.buffer.size(), s.file);
    int error = written == s.buffer.size() ? 0 : errno;
    if (error == 0 && std::fflush(s.file) != 0) error = errno != 0 ? errno : EIO;
    if (error == 0) error = SyncFileToDisk(s.file);
    if (error != 0 || written != s.buffer.size()) {
        Fail("could not write", s.path, Reason(error));
        return;
    }
    s.fileBytes += written;
    s.buffer.clear();
    s.bufferedRows = 0;
}

void SessionWriter::CloseSession() {
    if (!FSession) return;
    FlushSession();
    ReportFailure();
    if (FSession->file != nullptr) std::fclose(FSession->file);
    FSession.reset();
}

void SessionWriter::Fail(const std::string& what, const fs::path& path, const std::string& reason) {
    Session& s = *FSession;
    s.failed = true;
    s.failure = what + " " + Quoted(path) + ": " + reason;
    s.notRecorded += s.bufferedRows;
    s.buffer.clear();
    s.bufferedRows = 0;
    if (s.file != nullptr) {
        std::fclose(s.file);
        s.file = nullptr;
        // A row cut off by the failed write goes, so the file stays valid up to its last row.
        std::error_code ec;
        if (fs::is_regular_file(s.path, ec) && fs::file_size(s.path, ec) > s.fileBytes) fs::resize_file(s.path, s.fileBytes, ec);
    }
    FStoppedSession.store(s.id, std::memory_order_relaxed);
}

void SessionWriter::ReportFailure() {
    if (!FSession || !FSession->failed || FSession->reported) return;
    FSession->reported = true;
    if (FReporter) {
        FReporter("Session recording stopped: " + FSession->failure + ". Records not recorded: " +
                  std::to_string(FSession->notRecorded) + " (and the rest of this session); the table goes on capturing.");
    }
}

} // namespace recording
