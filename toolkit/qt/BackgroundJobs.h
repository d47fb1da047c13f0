#pragma once
// Work that may wait on a file system (reading a session, writing an export) runs on a thread of
// its own, and its word comes back on the owner's thread. The owner never waits on it: when the
// owner goes, its jobs are called off (a cancelled read ends within a block) and left to end by
// themselves, their word dropped; so a job uses only what it was given and what it owns, never the
// owner. Before the process ends, WaitForAllToEnd gives what is still running (a report being
// written, an export being finished) a while to end.
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

    // AtOnce: each job starts at once. OneAfterAnother: each starts when the one before it has
    // ended (jobs on the same files that must see each other's work).
    enum class Order { AtOnce, OneAfterAnother };

    explicit BackgroundJobs(QObject& owner, Order order = Order::AtOnce) : FOwner(owner), FOrder(order) {}
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    // Waits until every job of the process has ended, or for at most limit; false when some still
    // run. For the end of the program, once the windows have gone and called theirs off.
    static bool WaitForAllToEnd(std::chrono::milliseconds limit);

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
    struct Run;
    void StartJob(std::function<std::function<void()>(Job&)> body);
    void Ended(const std::shared_ptr<Job>& job);

    QObject& FOwner;
    Order FOrder;
    std::vector<std::shared_ptr<Job>> FJobs;
    std::shared_ptr<Job> FLastStarted;  // OneAfterAnother: the next waits for it
};

} // namespace toolkit
