#include "SessionWriter.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <unordered_map>

#include "FileSync.h"
#include "LiveFile.h"
#include "PathText.h"
#include "SessionNaming.h"
#include "toolkit/UniqueFile.h"

namespace recording {

namespace fs = std::filesystem;

namespace {
// The capturing thread wakes the writer for a batch this large; smaller ones wait for the flush.
constexpr size_t kWakeBatch = 1024;

std::string Reason(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

// In the platform's own separators, as people type and see paths there.
std::string Quoted(const fs::path& path) {
    fs::path shown = path;
    shown.make_preferred();
    return std::string(1, '"').append(PathText(shown)).append(1, '"');
}

std::string CountOf(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Bytes(uint64_t n) { return std::to_string(n) + " bytes"; }

// What a survey of the folder learnt about a session file.
struct KnownFile {
    uint64_t size = 0;
    fs::file_time_type time{};
    bool live = false;
};
} // namespace

struct SessionWriter::Session {
    uint64_t id = 0;
    fs::path folder;
    fs::path path;
    toolkit::UniqueFile file;
    std::string buffer;            // whole rows not yet written (a new file's header first)
    size_t headerEnd = 0;          // where the header ends in the buffer; 0 once it is written
    std::vector<size_t> rowEnds;   // where each buffered row ends in the buffer
    uint64_t fileBytes = 0;        // written and flushed
    // The folder as last surveyed, under its lock; this session's own file is not in it.
    std::vector<SessionFile> ended;   // session files no writer holds, which the cap may delete, oldest first
    uint64_t endedBytes = 0;
    uint64_t liveFiles = 0;           // other writers' sessions, at their size then: never deleted
    uint64_t liveBytes = 0;
    uint64_t stuckFiles = 0;          // ended ones that would not go, at the last attempt
    uint64_t stuckBytes = 0;
    std::unordered_map<std::string, KnownFile> known;  // by file name
    uint64_t deletedFiles = 0;        // by the cap, for this session
    std::chrono::steady_clock::time_point flushDue{};
    bool failed = false;
    std::string failure;
    uint64_t notRecorded = 0;
    bool reported = false;
    uint64_t reportedCount = 0;       // records not recorded, as last told
    bool whereaboutsUnknown = false;  // moved to where the system cannot say; told once
};

SessionWriter::SessionWriter(WriterLimits limits, Reporter reporter, FileOpener opener)
    : FLimits(limits), FReporter(std::move(reporter)), FOpener(opener ? std::move(opener) : FileOpener(CreateLiveFile)),
      FThread([this] { Run(); }) {}

SessionWriter::~SessionWriter() {
    End();  // the writer then tells the final count of a session that stopped
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

void SessionWriter::Begin(const fs::path& folder, const std::string& fileStem) {
    if (FInSession) End();
    Item item;
    item.op = Item::Op::Begin;
    item.session = ++FSessionCount;
    item.begin = std::make_unique<BeginArgs>(BeginArgs{folder, fileStem});
    FFolder = folder;
    FInSession = true;
    FRecording = true;
    Push(std::move(item), true);
}

bool SessionWriter::Add(record::Record&& row) {
    if (!FInSession) return false;
    if (FRecording && FStoppedSession.load(std::memory_order_relaxed) == FSessionCount) {
        FRecording = false;  // the writer has stopped it and told the user
    }
    if (!FRecording) {
        ++FRefused;
        return false;
    }
    bool full = false;
    size_t queued = 0;
    fs::path file;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        queued = FQueuedRecords;
        full = FQueuedRecords >= FLimits.maxQueuedRecords || FQueuedBytes + row.bytes.size() > FLimits.maxQueuedBytes;
        if (full && FLastFileSession == FSessionCount) file = FLastFilePath;
    }
    if (full) {
        // The writer thread fell behind: what is queued is still written, this session takes no
        // more. Said at once, as the writer may be held up for a long while yet.
        FRecording = false;
        FRefused = 1;
        FStopCause = "records arrived faster than they could be written: " + CountOf(queued, "record was", "records were") +
                     " waiting to be written to " + (file.empty() ? "the captures folder " + Quoted(FFolder) : Quoted(file));
        if (FReporter) {
            FReporter({FSessionCount, "Session recording stopped: " + FStopCause +
                                          ". Records not recorded: 1 so far (the rest of this session is not "
                                          "recorded); the table goes on capturing."});
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
    if (!FInSession) return;
    FInSession = false;
    FRecording = false;
    Item item;
    item.op = Item::Op::End;
    item.session = FSessionCount;
    item.refused = FRefused;
    item.stopCause = std::move(FStopCause);
    FRefused = 0;
    FStopCause.clear();
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
        if (FSession && FSession->id == item.session) {
            FlushSession();
            ReportFailure();
            ReportFinalCount(item.refused, item.stopCause);
            CloseSession();
        }
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
    std::error_code ec;
    fs::create_directories(args.folder, ec);
    if (ec || !fs::is_directory(args.folder, ec)) {
        Fail("could not create the captures folder", args.folder, ec ? ec.message() : Reason(ENOTDIR));
        return;
    }
    s.buffer = record::HeaderRow();
    s.headerEnd = s.buffer.size();
    fs::path path;
    int error = 0;
    {
        // The file is made under the folder's lock too, so no other writer surveys the folder
        // before the file is marked in use.
        const FolderSizeLock lock(args.folder);
        SurveyFolder();
        // Nothing is deleted, and no file made, for a session the cap leaves no room for anyway.
        const bool room = MakeRoom() > 0;
        if (room) {
            // A name of its own: a file already there (another window's session started in the
            // same second, say) is never opened again, let alone truncated.
            for (int n = 1; n < 1000; ++n) {
                path = args.folder / PathFromUtf8(n == 1 ? args.stem + ".csv" : args.stem + "-" + std::to_string(n) + ".csv");
                errno = 0;
                s.file.reset(FOpener(path));
                error = errno;
                if (s.file != nullptr || error != EEXIST) break;
            }
        }
        if (FFolderWatcher) FFolderWatcher(args.folder);
        if (!room) {
            FailForCap();
            return;
        }
    }
    s.path = path;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FLastFilePath = path;
        FLastFileSession = id;
    }
    if (s.file == nullptr) {
        Fail("could not create the session file", path, Reason(error));
        return;
    }
    std::setvbuf(s.file.get(), nullptr, _IONBF, 0);  // rows are gathered in our own buffer
    s.flushDue = std::chrono::steady_clock::now() + FLimits.flushInterval;
}

void SessionWriter::SurveyFolder() {
    Session& s = *FSession;
    struct Found {
        SessionFile file;
        fs::file_time_type time;
    };
    std::vector<Found> ended;
    std::unordered_map<std::string, KnownFile> known;
    s.liveFiles = 0;
    s.liveBytes = 0;
    std::error_code ec;
    for (fs::directory_iterator it(s.folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::string name = PathText(p.filename());
        std::error_code fileEc;
        if (!IsSessionFileName(name) || !it->is_regular_file(fileEc)) continue;
        if (s.file != nullptr && p.filename() == s.path.filename()) continue;  // counted as written
        const uint64_t size = it->file_size(fileEc);
        if (fileEc) continue;
        KnownFile file;
        const auto before = s.known.find(name);
        if (before != s.known.end() && !before->second.live && before->second.size == size) {
            // Session files are only ever made new, so one no writer held is never taken up
            // again; one that changed since is another file under that name, and asked afresh.
            file = before->second;
        } else {
            file.live = InUse(p);
            file.size = file.live ? LiveFileSize(p).value_or(size) : size;
            if (!file.live) file.time = it->last_write_time(fileEc);
            if (fileEc) continue;
        }
        if (file.live) {
            ++s.liveFiles;
            s.liveBytes += file.size;
        } else {
            ended.push_back({{p, file.size}, file.time});
        }
        known.emplace(std::move(name), file);
    }
    std::sort(ended.begin(), ended.end(), [](const Found& a, const Found& b) {
        return a.time != b.time ? a.time < b.time : a.file.path < b.file.path;
    });
    s.ended.clear();
    s.endedBytes = 0;
    for (const Found& f : ended) {
        s.ended.push_back(f.file);
        s.endedBytes += f.file.size;
    }
    s.known.swap(known);
}

namespace {
// How much of the buffer, in whole rows from its start (the header first), fits in room bytes.
size_t FittingPrefix(size_t headerEnd, const std::vector<size_t>& rowEnds, uint64_t room) {
    if (headerEnd > room) return 0;
    const auto past = std::upper_bound(rowEnds.begin(), rowEnds.end(), room);
    return past == rowEnds.begin() ? headerEnd : *(past - 1);
}
} // namespace

size_t SessionWriter::MakeRoom() {
    Session& s = *FSession;
    const uint64_t cap = FLimits.folderSizeCap;
    const auto roomBeside = [cap](uint64_t held) { return held < cap ? cap - held : 0; };
    // Older sessions are deleted only for rows that then fit, never for rows the live sessions
    // (this one and other windows') leave no room for anyway.
    const size_t wanted = FittingPrefix(s.headerEnd, s.rowEnds, roomBeside(s.liveBytes + s.fileBytes));
    if (wanted == 0) return 0;
    s.stuckFiles = 0;
    s.stuckBytes = 0;
    for (const SessionFile& oldest : s.ended) {
        if (s.liveBytes + s.fileBytes + wanted + s.endedBytes <= cap) break;
        switch (RemoveUnlessInUse(oldest.path)) {
        case RemoveOutcome::Removed:
            ++s.deletedFiles;
            s.endedBytes -= oldest.size;
            break;
        case RemoveOutcome::Gone:
            s.endedBytes -= oldest.size;
            break;
        case RemoveOutcome::InUse:  // taken up by a writer that does not take the folder's lock
            s.endedBytes -= oldest.size;
            ++s.liveFiles;
            s.liveBytes += oldest.size;
            break;
        case RemoveOutcome::Failed:  // still there, and still counted
            ++s.stuckFiles;
            s.stuckBytes += oldest.size;
            break;
        }
    }
    return FittingPrefix(s.headerEnd, s.rowEnds, roomBeside(s.liveBytes + s.fileBytes + s.endedBytes));
}

void SessionWriter::FailForCap() {
    const Session& s = *FSession;
    // Says what fills the folder, what went and why nothing more could.
    std::vector<std::string> parts;
    if (s.file != nullptr) parts.push_back("this session's file holds " + Bytes(s.fileBytes));
    if (s.liveFiles > 0) {
        parts.push_back(CountOf(s.liveFiles, "session being recorded by another window holds ",
                                "sessions being recorded by other windows hold ") +
                        Bytes(s.liveBytes));
    }
    if (s.deletedFiles > 0) {
        parts.push_back(CountOf(s.deletedFiles, "older session file was", "older session files were") +
                        " deleted to make room for this session");
    }
    const char* forWhat = s.file != nullptr ? "its next record" : "a session";
    if (s.stuckFiles > 0) {
        parts.push_back(CountOf(s.stuckFiles, "older session file", "older session files") + " (" + Bytes(s.stuckBytes) +
                        ") could not be deleted");
    } else if (s.endedBytes > 0) {
        parts.push_back(std::string(s.deletedFiles > 0 ? "no further" : "no") + " older session file was deleted: " +
                        (s.ended.size() == 1 ? std::string("the one there") : "the " + std::to_string(s.ended.size()) + " there") +
                        " (" + Bytes(s.endedBytes) +
                        ") would not make room for " + forWhat);
    } else if (s.liveFiles > 0) {
        parts.push_back("only sessions being recorded are left, and those are never deleted");
    } else {
        parts.push_back(s.deletedFiles > 0 ? "no older session file is left to delete"
                                           : "no older session file was deleted: there is none");
    }
    std::string reason;
    for (const std::string& part : parts) reason += (reason.empty() ? "" : "; ") + part;
    const std::string cap = Bytes(FLimits.folderSizeCap);
    if (s.file == nullptr) {
        Fail("the captures folder's size cap of " + cap + " leaves no room for a session in", s.folder, reason);
    } else {
        // The file stays open, marked in use, until the session ends: while its window is in the
        // session the notice names, no other window's cap deletes it.
        Stop("the captures folder " + Quoted(s.folder) + " reached its size cap of " + cap + ": " + reason, true);
    }
}

void SessionWriter::AppendRecord(const record::Record& row) {
    Session& s = *FSession;
    if (s.failed) {
        ++s.notRecorded;
        return;
    }
    if (s.buffer.empty()) s.flushDue = std::chrono::steady_clock::now() + FLimits.flushInterval;
    FRowText.clear();
    record::AppendRow(FRowText, row);
    s.buffer += FRowText;
    s.rowEnds.push_back(s.buffer.size());
    // Past the cap as the folder was last surveyed: survey it and write now, so a session the
    // cap stops stops at this row, and sessions that have ended since can make room.
    if (s.liveBytes + s.fileBytes + s.buffer.size() > FLimits.folderSizeCap) FlushSession();
}

void SessionWriter::FlushSession() {
    Session& s = *FSession;
    if (s.failed || s.buffer.empty() || s.file == nullptr) return;
    if (!StillInPlace()) return;
    size_t fits = 0;
    size_t written = 0;
    int error = 0;
    {
        // Surveyed and written in one go: the size each other writer sees includes these rows.
        const FolderSizeLock lock(s.folder);
        SurveyFolder();
        fits = MakeRoom();
        if (fits > 0) {
            errno = 0;
            written = std::fwrite(s.buffer.data(), 1, fits, s.file.get());
            error = written == fits ? 0 : errno;
            if (error == 0 && std::fflush(s.file.get()) != 0) error = errno != 0 ? errno : EIO;
        }
        if (FFolderWatcher) FFolderWatcher(s.folder);
    }
    // The sync changes no size: it need not hold up the other writers.
    if (error == 0 && fits > 0) error = SyncFileToDisk(s.file.get());
    if (error != 0 || written != fits) {
        Fail("could not write", s.path, Reason(error));
        return;
    }
    s.fileBytes += written;
    const size_t rowsCut = static_cast<size_t>(s.rowEnds.end() - std::upper_bound(s.rowEnds.begin(), s.rowEnds.end(), fits));
    const bool cut = fits < s.buffer.size();
    s.buffer.clear();
    s.rowEnds.clear();
    s.headerEnd = 0;
    if (cut) {
        // The rows that fit are kept; the rest of the session is not recorded.
        s.notRecorded += rowsCut;
        FailForCap();
    }
}

bool SessionWriter::StillInPlace() {
    Session& s = *FSession;
    // Until the first rows are written the file is where it was just made (and a test's opener
    // may have opened another file).
    if (s.fileBytes == 0 || s.whereaboutsUnknown) return true;
    std::error_code ec;
    if (fs::exists(s.path, ec) || ec) return true;
    // Not where it was made: removed, or moved with its folder. A moved file is still the
    // session's, whole: it is written on where it is now.
    const Whereabouts where = WhereaboutsOf(s.file.get());
    if (where.removed) {
        FailAsTakenAway();
        return false;
    }
    std::string message;
    if (where.path.empty()) {
        message = "the session file " + Quoted(s.path) +
                  " is no longer there (it or its folder was moved or renamed); recording goes on into it";
    } else {
        const bool folderMoved = where.path.filename() == s.path.filename();
        message = std::string(folderMoved ? "the captures folder was moved or renamed" : "the session file was moved or renamed") +
                  ": recording goes on into " + Quoted(where.path) + " (it was " + Quoted(s.path) + ")";
        // Older sessions moved with the folder; the cap finds them there.
        if (folderMoved) s.folder = where.path.parent_path();
        s.path = where.path;
        std::lock_guard<std::mutex> lock(FMutex);
        FLastFilePath = s.path;
    }
    s.whereaboutsUnknown = where.path.empty();
    if (FReporter) FReporter({s.id, "Session recording: " + message + "."});
    return true;
}

void SessionWriter::FailAsTakenAway() {
    Session& s = *FSession;
    std::error_code ec;
    const bool folderGone = !fs::exists(s.folder, ec) && !ec;
    const fs::path& taken = folderGone ? s.folder : s.path;
    const std::string what = folderGone ? "the captures folder " : "the session file ";
    // A move to another drive or file system copies, then deletes the original: the open file
    // has no name left, as after a delete. Where the copy went can only be known when the
    // system recorded it (the trash).
    if (const auto copy = WhereMovedAway(taken)) {
        Stop(what + Quoted(taken) + " was moved away, into the trash: the copy is " + Quoted(*copy) +
             " and holds the rows written until then; a copy cannot be written on");
    } else if (folderGone) {
        Stop(what + Quoted(taken) +
             " was moved away, to another drive or file system (or deleted): the copy holds the rows written until "
             "then, and where it went cannot be known here; a copy cannot be written on");
    } else {
        Stop(what + Quoted(taken) + " was removed, or moved to another drive or file system: " + Reason(ENOENT));
    }
}

void SessionWriter::CloseSession() {
    if (!FSession) return;
    FlushSession();
    ReportFailure();
    // Every row was written, flushed and synced above (a failure there is reported), and the
    // stream holds nothing back, so the close has nothing left to fail on.
    FSession->file.reset();
    FSession.reset();
}

void SessionWriter::Fail(const std::string& what, const fs::path& path, const std::string& reason) {
    Stop(what + " " + Quoted(path) + ": " + reason);
}

void SessionWriter::Stop(std::string failure, bool keepFileMarked) {
    Session& s = *FSession;
    s.failed = true;
    s.failure = std::move(failure);
    s.notRecorded += s.rowEnds.size();
    s.buffer.clear();
    s.rowEnds.clear();
    s.headerEnd = 0;
    if (s.file != nullptr && !keepFileMarked) {
        // A row cut off by the failed write goes, so the file stays valid up to its last row. Cut
        // through the open file: whatever is at its path by now is not the session's to touch.
        std::fflush(s.file.get());
        TruncateOpenFile(s.file.get(), s.fileBytes);
        s.file.reset();
    }
    FStoppedSession.store(s.id, std::memory_order_relaxed);
}

void SessionWriter::ReportFailure() {
    if (!FSession || !FSession->failed || FSession->reported) return;
    Session& s = *FSession;
    s.reported = true;
    s.reportedCount = s.notRecorded;
    if (FReporter) {
        FReporter({s.id, "Session recording stopped: " + s.failure + ". Records not recorded: " + std::to_string(s.notRecorded) +
                             " so far (the rest of this session is not recorded); the table goes on capturing."});
    }
}

void SessionWriter::ReportFinalCount(uint64_t refused, const std::string& stopCause) {
    Session& s = *FSession;
    const std::string* cause = s.failed ? &s.failure : !stopCause.empty() ? &stopCause : nullptr;
    if (cause == nullptr) return;
    // The queue-full report counted its one refused record.
    const uint64_t told = s.failed ? s.reportedCount : 1;
    const uint64_t total = s.notRecorded + refused;
    if (total == told || !FReporter) return;
    FReporter({s.id, "Session recording stopped: " + *cause + ". Records not recorded: " + std::to_string(total) +
                         " (until the session ended); the table went on capturing."});
}

} // namespace recording
