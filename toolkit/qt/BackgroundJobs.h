#pragma once
// Work that may wait on a file system (reading a session, writing an export) runs on a thread of
// its own, and its word comes back on the owner's thread. The owner never waits on it for long:
// when the owner goes, its jobs are called off and given a moment to end (a cancelled read ends
// within a block); one still waiting after that (a mount that no longer answers) is left to end
// by itself, its word dropped. So a job uses only what it was given and what it owns, never the
// owner.
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace toolkit {

// A member of its owner, so that it goes with it.
class BackgroundJobs {
public:
    // What a running job may use.
    class Job {
    public:
        explicit Job(QObject& owner) : FOwner(owner) {}
        // Set once the owner calls the job off or goes; the job should end soon after.
        bool Cancelled() const { return FCancelled.load(std::memory_order_relaxed); }
        // Runs deliver on the owner's thread, unless the owner has gone by then.
        void Post(std::function<void()> deliver);

    private:
        friend class BackgroundJobs;
        QObject& FOwner;
        std::mutex FLock;
        std::condition_variable FFinishedChanged;
        bool FAbandoned = false;  // the owner has gone: no word any more
        bool FFinished = false;   // the work is over and its thread is ending
        std::atomic<bool> FCancelled{false};
        std::thread FThread;
    };

    // How long the owner's going waits for jobs it has called off.
    static constexpr std::chrono::milliseconds kEndingGrace{200};

    explicit BackgroundJobs(QObject& owner) : FOwner(owner) {}
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    // Runs work on a thread of its own; then done(result) on the owner's thread. work must not
    // throw: a failure is part of its result.
    template <class Result>
    void Start(std::function<Result(Job&)> work, std::function<void(Result)> done) {
        StartJob([work = std::move(work), done = std::move(done)](Job& job) mutable -> std::function<void()> {
            auto result = std::make_shared<Result>(work(job));
            return [done = std::move(done), result] { done(std::move(*result)); };
        });
    }

    void CancelAll();
    // Jobs whose last word has not been delivered yet.
    size_t Running() const { return FJobs.size(); }

private:
    void StartJob(std::function<std::function<void()>(Job&)> body);
    void Ended(const std::shared_ptr<Job>& job);

    QObject& FOwner;
    std::vector<std::shared_ptr<Job>> FJobs;
};

} // namespace toolkit
