#include "toolkit/qt/BackgroundJobs.h"

#include <algorithm>

namespace toolkit {

namespace {
// Every job's thread of the process, counted from its start until what it held has gone.
struct LiveJobs {
    std::mutex lock;
    std::condition_variable changed;
    size_t count = 0;
};
LiveJobs& Live() {
    static LiveJobs* live = new LiveJobs;  // never destroyed: a thread left running may still count down
    return *live;
}
} // namespace

void BackgroundJobs::Job::Post(std::function<void()> deliver) {
    std::lock_guard<std::mutex> lock(FLock);
    // Under the lock, so the owner cannot go between the look and the posting; once it has gone,
    // what was posted to it is dropped with it.
    if (!FAbandoned) QMetaObject::invokeMethod(&FOwner, std::move(deliver), Qt::QueuedConnection);
}

// What a job's thread holds, let go before the thread counts itself out.
struct BackgroundJobs::Run {
    BackgroundJobs* jobs;
    std::shared_ptr<Job> job;
    std::shared_ptr<Job> before;  // to wait for first, or none
    std::function<std::function<void()>(Job&)> body;

    void operator()() {
        if (before) {
            std::unique_lock<std::mutex> lock(before->FLock);
            before->FFinishedChanged.wait(lock, [&] { return before->FFinished; });
        }
        before.reset();
        std::function<void()> deliver = body(*job);
        body = nullptr;  // what the work held goes on this thread, not the owner's
        std::lock_guard<std::mutex> ending(job->FLock);
        job->FFinished = true;
        job->FFinishedChanged.notify_all();
        if (job->FAbandoned) return;
        QMetaObject::invokeMethod(
            &job->FOwner,
            [jobs = jobs, job = job, deliver = std::move(deliver)] {
                jobs->Ended(job);
                deliver();
            },
            Qt::QueuedConnection);
    }
};

BackgroundJobs::~BackgroundJobs() {
    CancelAll();
    for (const std::shared_ptr<Job>& job : FJobs) {
        bool finished = false;
        {
            std::lock_guard<std::mutex> lock(job->FLock);
            finished = job->FFinished;
            job->FAbandoned = true;
        }
        if (finished) job->FThread.join();  // it is only returning
        else job->FThread.detach();         // it holds all it uses, and ends by itself
    }
}

bool BackgroundJobs::WaitForAllToEnd(std::chrono::milliseconds limit) {
    LiveJobs& live = Live();
    std::unique_lock<std::mutex> lock(live.lock);
    return live.changed.wait_for(lock, limit, [&] { return live.count == 0; });
}

void BackgroundJobs::CancelAll() {
    for (const std::shared_ptr<Job>& job : FJobs) job->FCancelled.store(true, std::memory_order_relaxed);
}

void BackgroundJobs::StartJob(std::function<std::function<void()>(Job&)> body) {
    auto job = std::make_shared<Job>(FOwner);
    auto run = std::make_unique<Run>(Run{this, job, FOrder == Order::OneAfterAnother ? FLastStarted : nullptr,
                                         std::move(body)});
    {
        std::lock_guard<std::mutex> lock(Live().lock);
        ++Live().count;
    }
    const auto countOut = [] {
        LiveJobs& live = Live();
        std::lock_guard<std::mutex> lock(live.lock);
        if (--live.count == 0) live.changed.notify_all();
    };
    try {
        job->FThread = std::thread([run = std::move(run), countOut]() mutable {
            std::unique_ptr<Run> running = std::move(run);
            (*running)();
            running.reset();
            countOut();
        });
    } catch (...) {
        countOut();
        throw;
    }
    FJobs.push_back(job);
    if (FOrder == Order::OneAfterAnother) FLastStarted = job;
}

void BackgroundJobs::Ended(const std::shared_ptr<Job>& job) {
    job->FThread.join();  // it has given its last word
    std::erase(FJobs, job);
    if (FLastStarted == job) FLastStarted.reset();
}

} // namespace toolkit
