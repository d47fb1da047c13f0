#include "ProbeOpener.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// Shared by the opener and its thread; a thread given up on keeps it alive until its open returns.
struct ProbeOpener::Worker {
    std::mutex Lock;
    std::condition_variable Asked;
    std::optional<std::string> Request;          // the next path to open
    std::optional<serialdev::OpenResult> Result;  // the last open's, until taken
    std::string Path;                            // of the open under way or last done
    bool Stop = false;
    bool GivenUp = false;
    bool Returned = false;  // given up, and its open has returned since
    std::thread Thread;
};

namespace {
serialdev::OpenResult OpenForProbe(const std::string& path) {
    // Where nothing is there, the absence's error without the cost of a failed open: a port named
    // before its adapter is plugged in is asked about many times a second.
    if (const int absent = serialdev::DeviceAbsenceError(path); absent != 0) return {nullptr, absent};
    return serialdev::OpenDevice(path);
}
} // namespace

ProbeOpener::ProbeOpener(EndedHook ended, std::chrono::milliseconds deadline)
    : FEnded(std::move(ended)), FDeadline(deadline) {}

ProbeOpener::~ProbeOpener() {
    if (FPending && !Ended()) GiveUp();
    if (!FWorker) return;
    {
        std::lock_guard<std::mutex> lock(FWorker->Lock);
        FWorker->Stop = true;
    }
    FWorker->Asked.notify_one();
    FWorker->Thread.join();
}

std::shared_ptr<ProbeOpener::Worker> ProbeOpener::StartWorker() {
    auto worker = std::make_shared<Worker>();
    worker->Thread = std::thread([worker, ended = FEnded] {
        for (;;) {
            std::string path;
            {
                std::unique_lock<std::mutex> lock(worker->Lock);
                worker->Asked.wait(lock, [&] { return worker->Stop || worker->Request.has_value(); });
                if (worker->Stop) return;
                path = std::move(*worker->Request);
                worker->Request.reset();
            }
            serialdev::OpenResult result = OpenForProbe(path);
            std::unique_lock<std::mutex> lock(worker->Lock);
            if (worker->GivenUp) {
                worker->Returned = true;
                lock.unlock();
                return;  // the late device closes with result, here, off the window's thread
            }
            worker->Result = std::move(result);
            // Under the lock: once GiveUp or the destructor has it, no word comes any more.
            if (ended) ended();
        }
    });
    return worker;
}

ProbeOpener::Refusal ProbeOpener::Start(const std::string& path) {
    std::erase_if(FGivenUp, [](const std::shared_ptr<Worker>& w) {
        std::lock_guard<std::mutex> lock(w->Lock);
        return w->Returned;
    });
    for (const std::shared_ptr<Worker>& stuck : FGivenUp) {
        std::lock_guard<std::mutex> lock(stuck->Lock);
        if (!stuck->Returned && stuck->Path == path) return Refusal::StillHanging;
    }
    if (Hanging() >= kMaxHanging) return Refusal::TooManyHanging;
    if (!FWorker) FWorker = StartWorker();
    {
        std::lock_guard<std::mutex> lock(FWorker->Lock);
        FWorker->Request = path;
        FWorker->Path = path;
        FWorker->Result.reset();
    }
    FWorker->Asked.notify_one();
    FPending = true;
    FPendingPath = path;
    FPendingSince = Clock::now();
    return Refusal::None;
}

bool ProbeOpener::Ended() const {
    if (!FPending) return false;
    std::lock_guard<std::mutex> lock(FWorker->Lock);
    return FWorker->Result.has_value();
}

bool ProbeOpener::Overdue(Clock::time_point now) const { return FPending && !Ended() && now - FPendingSince >= FDeadline; }

serialdev::OpenResult ProbeOpener::Take() {
    serialdev::OpenResult result;
    if (!FPending) return result;
    {
        std::lock_guard<std::mutex> lock(FWorker->Lock);
        if (FWorker->Result) result = std::move(*FWorker->Result);
        FWorker->Result.reset();
    }
    FPending = false;
    FPendingPath.clear();
    return result;
}

void ProbeOpener::GiveUp() {
    if (!FPending) return;
    FPending = false;
    FPendingPath.clear();
    std::optional<serialdev::OpenResult> arrived;
    {
        std::lock_guard<std::mutex> lock(FWorker->Lock);
        if (FWorker->Result) {
            // It came after all: the thread waits for the next open, only the device goes.
            arrived = std::move(FWorker->Result);
            FWorker->Result.reset();
        } else {
            FWorker->GivenUp = true;
        }
    }
    if (arrived) return;
    FWorker->Thread.detach();
    FGivenUp.push_back(std::move(FWorker));
}

size_t ProbeOpener::Hanging() const {
    return static_cast<size_t>(std::count_if(FGivenUp.begin(), FGivenUp.end(), [](const std::shared_ptr<Worker>& w) {
        std::lock_guard<std::mutex> lock(w->Lock);
        return !w->Returned;
    }));
}
