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

#include "SessionCsv.h"

namespace recording {

struct WriterLimits {
    size_t maxQueuedRecords = 32768;         // about 6 s of records at line rate
    size_t maxQueuedBytes = 8u << 20;        // of record bytes, for long garbage lines
    std::chrono::milliseconds flushInterval{500};
    uint64_t folderSizeCap = uint64_t{2} << 30;  // the captures folder, current session included
};

// Opens a new session file for writing (binary); nullptr with errno set on failure.
using FileOpener = std::function<std::FILE*(const std::filesystem::path& path)>;
// Told once per session that stopped recording; called on the writer thread, or on the
// thread that handed over a record the queue had no room for.
using Reporter = std::function<void(const std::string& message)>;

class SessionWriter {
public:
    explicit SessionWriter(WriterLimits limits, Reporter reporter, FileOpener opener = {});
    // Writes out everything handed over, closes the file and joins the thread.
    ~SessionWriter();
    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // From one thread (the capturing one). A new session ends the one before.
    void Begin(const std::filesystem::path& folder, const std::string& fileStem, const UnitIdentity& unit);
    // False when the session is not being recorded (none begun, stopped by a failure, or the
    // queue full); the row is then not recorded.
    bool Add(RecordRow&& row);
    void End();
    bool Recording() const { return FRecording; }

    // Blocks until everything handed over so far is written and flushed. For tests and benchmarks.
    void WaitUntilWritten();

    // The file of the current or last session (empty until the writer has created one).
    std::filesystem::path LastFilePath() const;

private:
    struct BeginArgs {
        std::filesystem::path folder;
        std::string stem;
        UnitIdentity unit;
    };
    struct Item {
        enum class Op : uint8_t { Begin, Record, End, Flush };
        Op op = Op::Record;
        uint64_t session = 0;
        RecordRow row;
        std::unique_ptr<BeginArgs> begin;
        std::function<void()> flushed;
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
    void AppendRecord(const RecordRow& row);
    void FlushSession();
    void CloseSession();
    void Fail(const std::string& what, const std::filesystem::path& path, const std::string& reason);
    void ReportFailure();
    bool MakeRoomFor(uint64_t bytes);
    int OffsetFor(const RecordRow& row);

    const WriterLimits FLimits;
    const Reporter FReporter;
    const FileOpener FOpener;

    // Capturing thread only.
    uint64_t FSessionCount = 0;
    bool FRecording = false;
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
    // The session the writer stopped; the capturing thread stops handing over its records.
    std::atomic<uint64_t> FStoppedSession{0};

    // Writer thread only.
    std::unique_ptr<Session> FSession;
    int64_t FOffsetKey = -1;
    int FOffsetMinutes = 0;
    std::string FRowText;

    std::thread FThread;  // last: starts once everything above exists
};

} // namespace recording
