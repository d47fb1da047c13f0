#pragma once
// Writes session files on a thread of its own. The capturing thread only hands records over to a
// bounded queue and never waits for the disk; the writer formats whole rows, flushes them at
// least once per flush interval, keeps the captures folder under its size cap, and stops the
// session (telling the reporter once) when the disk fails it.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/record/Columns.h"

namespace recording {

// The captures folder's size cap by default, and the smallest one taken: a cap must hold a
// session of some minutes, or the cap would empty the folder for a session it then stops. 64 MiB
// is about two minutes of records at the line's full rate.
constexpr uint64_t kDefaultFolderSizeCap = uint64_t{2} << 30;
constexpr uint64_t kSmallestFolderSizeCap = uint64_t{64} << 20;

struct WriterLimits {
    size_t maxQueuedRecords = 32768;         // about 6 s of records at line rate
    size_t maxQueuedBytes = 8u << 20;        // of record bytes, for long garbage lines
    std::chrono::milliseconds flushInterval{500};
    uint64_t folderSizeCap = kDefaultFolderSizeCap;  // the captures folder, current session included
};

// Opens a new session file for writing (binary) where no file is yet; nullptr with errno set on
// failure (EEXIST: the name is taken, the writer tries the next one).
using FileOpener = std::function<std::FILE*(const std::filesystem::path& path)>;

// What happened to a session's recording. A later report about the same session supersedes the
// one before (the final count of records not recorded, once the session has ended).
struct Report {
    uint64_t session = 0;  // numbered from 1 by each writer
    std::string message;
};
// Called on the writer thread, or on the thread that handed over a record the queue had no room for.
using Reporter = std::function<void(const Report& report)>;

class SessionWriter {
public:
    explicit SessionWriter(WriterLimits limits, Reporter reporter, FileOpener opener = {});
    // Writes out everything handed over, closes the file and joins the thread.
    ~SessionWriter();
    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // From one thread (the capturing one). A new session ends the one before.
    void Begin(const std::filesystem::path& folder, const std::string& fileStem);
    // False when the session is not being recorded (none begun, stopped by a failure, or the
    // queue full); the row is then not recorded, and counted when a session is on.
    bool Add(record::Record&& row);
    // Counts a record of a stopped session that was not handed over (Add counts those it refuses).
    void NotRecorded() {
        if (FInSession) ++FRefused;
    }
    void End();
    // A session is on and being recorded (the writer has not stopped it).
    bool Recording() const {
        return FRecording && FStoppedSession.load(std::memory_order_relaxed) != FSessionCount;
    }
    // A session is on (begun, not ended), recorded or stopped by a failure.
    bool InSession() const { return FInSession; }

    // Blocks until everything handed over so far is written and flushed. For tests and benchmarks.
    void WaitUntilWritten();

    // The file of the current or last session (empty until the writer has created one).
    std::filesystem::path LastFilePath() const;

    // Called on the writer thread each time it has written into or deleted in a captures
    // folder, while no writer can change the folder. Set before the first Begin; for tests.
    using FolderWatcher = std::function<void(const std::filesystem::path& folder)>;
    void WatchFolder(FolderWatcher watcher) { FFolderWatcher = std::move(watcher); }

private:
    struct BeginArgs {
        std::filesystem::path folder;
        std::string stem;
    };
    struct Item {
        enum class Op : uint8_t { Begin, Record, End, Flush };
        Op op = Op::Record;
        uint64_t session = 0;
        record::Record row;
        std::unique_ptr<BeginArgs> begin;
        std::function<void()> flushed;
        // End: records the capturing thread did not hand over once the session had stopped, and
        // why it stopped when the queue was full.
        uint64_t refused = 0;
        std::string stopCause;
    };
    struct SessionFile {
        std::filesystem::path path;
        uint64_t size = 0;
    };
    struct Session;

    void Push(Item&& item, bool urgent);
    void Run();
    void WaitForWork(std::unique_lock<std::mutex>& lock);
    void Handle(Item& item);
    void OpenSession(uint64_t id, const BeginArgs& args);
    void AppendRecord(const record::Record& row);
    void FlushSession();
    void CloseSession();
    void Fail(const std::string& what, const std::filesystem::path& path, const std::string& reason);
    void Stop(std::string failure, bool keepFileMarked = false);
    void FailForCap();
    void FailAsTakenAway();
    void ReportFailure();
    void ReportFinalCount(uint64_t refused, const std::string& stopCause);
    bool StillInPlace();
    void SurveyFolder();
    size_t MakeRoom();

    const WriterLimits FLimits;
    const Reporter FReporter;
    const FileOpener FOpener;
    FolderWatcher FFolderWatcher;

    // Capturing thread only.
    uint64_t FSessionCount = 0;
    bool FInSession = false;
    bool FRecording = false;
    uint64_t FRefused = 0;      // of the current session, since it stopped
    std::string FStopCause;     // the queue was full
    std::filesystem::path FFolder;

    // Shared, under FMutex.
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::vector<Item> FQueue;
    size_t FQueuedRecords = 0;
    size_t FQueuedBytes = 0;
    bool FUrgent = false;
    bool FWriterIdle = false;
    bool FStop = false;
    std::filesystem::path FLastFilePath;
    uint64_t FLastFileSession = 0;
    // The session the writer stopped; the capturing thread stops handing over its records.
    std::atomic<uint64_t> FStoppedSession{0};

    // Writer thread only.
    std::unique_ptr<Session> FSession;
    std::string FRowText;

    std::thread FThread;  // last: starts once everything above exists
};

} // namespace recording
