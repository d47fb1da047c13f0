#include "VaCommThread.h"

#include "toolkit/ErrorReport.h"

TVaCommThread::TVaCommThread(TVaCustomComm& AOwner) : toolkit::TThread(true), FOwner(AOwner) {}

void TVaCommThread::TerminatedSet() {
    {
        std::lock_guard<std::mutex> lock(FDelivery->Lock);
    }
    FDelivery->Ended.notify_all();
}

bool TVaCommThread::InsideDelivery() const {
    if (!toolkit::MainThreadQueue::IsMainThread()) return false;
    std::lock_guard<std::mutex> lock(FDelivery->Lock);
    return FDelivery->Running;
}

void TVaCommThread::CancelDelivery() { FDelivery->Cancelled.store(true); }

bool TVaCommThread::SynchronizingWithCaller() const {
    return toolkit::TThread::SynchronizingWithCaller() || InsideDelivery();
}

void TVaCommThread::FinishDelivery() {
    const std::shared_ptr<DeliveryState> delivery = FDelivery;
    const auto ended = [&delivery] {
        std::lock_guard<std::mutex> lock(delivery->Lock);
        return !delivery->Posted || delivery->Running;
    };
    if (!ended()) toolkit::MainThreadQueue::Instance().ServeUntil(ended);
}

void TVaCommThread::Deliver(std::function<void()> fn) {
    if (!FSyncEvents) {
        RunReporting(false, fn);
        return;
    }
    const std::shared_ptr<DeliveryState> delivery = FDelivery;
    // Null only while the last owner is letting go of the thread, which stops it.
    std::shared_ptr<TVaCommThread> self = weak_from_this().lock();
    {
        std::unique_lock<std::mutex> lock(delivery->Lock);
        delivery->Ended.wait(lock, [&] { return !delivery->Posted || Terminated(); });
        if (Terminated() || !self) return;
        delivery->Posted = true;
    }
    // From here to the post nothing returns early: a thread that has ended has posted what it
    // marked, so FinishDelivery finds it queued.
    toolkit::MainThreadQueue::Instance().Post([self = std::move(self), delivery, fn = std::move(fn)] {
        {
            std::lock_guard<std::mutex> lock(delivery->Lock);
            delivery->Running = true;
        }
        if (!delivery->Cancelled.load()) {
            try {
                fn();
            } catch (...) {
                toolkit::ReportException(self.get());
            }
        }
        {
            std::lock_guard<std::mutex> lock(delivery->Lock);
            delivery->Running = false;
            delivery->Posted = false;
        }
        delivery->Ended.notify_all();
    });
}
