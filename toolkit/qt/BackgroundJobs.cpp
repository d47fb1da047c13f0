#include "toolkit/qt/BackgroundJobs.h"

#include <algorithm>

namespace toolkit {

void BackgroundJobs::Job::Post(std::function<void()> deliver) {
    std::lock_guard<std::mutex> lock(FLock);
    // Under the lock, so the owner cannot go between the look and the posting; once it has gone,
    // what was posted to it is dropped with it.
    if (!FAbandoned) QMetaObject::invokeMethod(&FOwner, std::move(deliver), Qt::QueuedConnection);
}

BackgroundJobs::~BackgroundJobs() {
    CancelAll();
    const auto deadline = std::chrono::steady_clock::now() + kEndingGrace;
    for (const std::shared_ptr<Job>& job : FJobs) {
        bool finished = false;
        {
            std::unique_lock<std::mutex> lock(job->FLock);
            finished = job->FFinishedChanged.wait_until(lock, deadline, [&] { return job->FFinished; });
            job->FAbandoned = true;
        }
        if (finished) job->FThread.join();  // it is only returning
        else job->FThread.detach();         // waiting on a file system still; it holds all it uses
    }
}

void BackgroundJobs::CancelAll() {
    for (const std::shared_ptr<Job>& job : FJobs) job->FCancelled.store(true, std::memory_order_relaxed);
}

void BackgroundJobs::StartJob(std::function<std::function<void()>(Job&)> body) {
    auto job = std::make_shared<Job>(FOwner);
    job->FThread = std::thread([this, job, body = std::move(body)]() mutable {
        std::function<void()> deliver = body(*job);
        body = nullptr;  // what the work held goes on this thread, not the owner's
        std::lock_guard<std::mutex> ending(job->FLock);
        job->FFinished = true;
        job->FFinishedChanged.notify_all();
        if (job->FAbandoned) return;
        QMetaObject::invokeMethod(
            &job->FOwner,
            [this, job, deliver = std::move(deliver)] {
                Ended(job);
                deliver();
            },
            Qt::QueuedConnection);
    });
    FJobs.push_back(job);
}

void BackgroundJobs::Ended(const std::shared_ptr<Job>& job) {
    job->FThread.join();  // it has given its last word
    std::erase(FJobs, job);
}

} // namespace toolkit
