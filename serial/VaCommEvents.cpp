// Event dispatch and the threads' start and stop.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "VaComm.h"
#include "VaCommEventThread.h"
#include "VaCommWriteThread.h"
#include "toolkit/ErrorReport.h"

void TVaCustomComm::StartThreads() {
    if (FEventMask != 0) {
        auto thread = std::make_unique<TVaCommEventThread>(this);
        thread->SetPriority(FEventPriority);
        thread->SyncEvents = FSyncEvents;
        FEventThread = thread.release();
        FEventThread->Resume();
    }
    if (!FDirectWrite) {
        auto thread = std::make_unique<TVaCommWriteThread>(this);
        thread->SetPriority(FWritePriority);
        thread->SyncEvents = FSyncEvents;
        FWriteThread = thread.release();
        FWriteThread->Resume();
    }
}

namespace {

// Waits for a stopped thread's end. With SyncEvents off its handlers run on the thread itself
// and may want the read lock that Close holds, so the lock is let go while waiting.
void AwaitThreadEnd(toolkit::TThread& thread, bool syncEvents, TVaCustomComm& comm) {
    if (syncEvents) {
        thread.WaitFor();
        return;
    }
    comm.UnlockRead();
    try {
        thread.WaitFor();
    } catch (...) {
        comm.LockRead();
        throw;
    }
    comm.LockRead();
}

} // namespace

// True when a handler served during the wait closed the port and so took the thread over.
bool TVaCustomComm::RetiredMeanwhile(const toolkit::TThread* thread) const {
    return std::any_of(FRetiredThreads.begin(), FRetiredThreads.end(),
                       [thread](const std::unique_ptr<toolkit::TThread>& t) { return t.get() == thread; });
}

void TVaCustomComm::StopThreads() {
    if (FEventThread) {
        TVaCommEventThread* thread = FEventThread;
        thread->Stop();
        // The modem-line helper uses the device, which Close releases next.
        thread->StopModemWatch();
        if (thread->SynchronizingWithCaller()) {
            // Stopped from inside its own delivery: it cannot end before that returns.
            thread->Retire();
            FRetiredThreads.emplace_back(thread);
        } else {
            // The reference stays set while waiting: a queued delivery runs during the wait.
            AwaitThreadEnd(*thread, thread->SyncEvents, *this);
            if (!RetiredMeanwhile(thread)) delete thread;
        }
        FEventThread = nullptr;
    }
    if (FWriteThread) {
        TVaCommWriteThread* thread = FWriteThread;
        thread->Stop();
        if (thread->SynchronizingWithCaller()) {
            FRetiredThreads.emplace_back(thread);
        } else {
            AwaitThreadEnd(*thread, thread->SyncEvents, *this);
            if (!RetiredMeanwhile(thread)) delete thread;
        }
        FWriteThread = nullptr;
    }
    // Threads retired earlier have ended by now unless we are still inside their delivery.
    std::erase_if(FRetiredThreads, [](const std::unique_ptr<toolkit::TThread>& t) {
        if (t->SynchronizingWithCaller()) return false;
        t->WaitFor();
        return true;
    });
}

void TVaCustomComm::ApplyEventThreadPriority() {
    if (FEventThread) FEventThread->SetPriority(FEventPriority);
}

void TVaCustomComm::HandleRxChar() {
    // With only received characters watched, what the port holds moves into the own queue in one
    // read before the count is taken, so a handler's byte-at-a-time reads never reach the device.
    // (With the event character or the 80 % mark watched, only the event thread reads the port,
    // so that it sees every byte for those events.)
    if (!(FEventMask & (EV_RXFLAG | EV_RX80FULL))) PullPortIntoQueue();
    const int32_t n = ReadBufUsed();
    if (n <= 0) return;
    if (!FListeners.empty()) {
        std::vector<uint8_t> block(static_cast<size_t>(n));
        const int32_t k = ReadBuf(block.data(), n);
        NotifyListenerData(block.data(), k);
    } else if (OnRxChar) {
        OnRxChar(this, n);
    }
}

void TVaCustomComm::PullPortIntoQueue() {
    if (!Active()) return;
    LockRead();
    // Errors and a hang-up are the event thread's to report at its next wake; here they only
    // mean there is nothing more to move.
    try {
        FInputQueue.FillFrom(*FDevice);
    } catch (...) {
        UnlockRead();
        throw;
    }
    UnlockRead();
}

void TVaCustomComm::HandleEvents(uint32_t Mask) {
    if (Mask & EV_ERR) CheckLineErrors();
    if (!FListeners.empty()) NotifyListenerEvents(Mask);
    const std::pair<uint32_t, TNotifyEvent*> order[] = {
        {EV_RXFLAG, &OnRxFlag}, {EV_CTS, &OnCts},         {EV_DSR, &OnDsr},     {EV_RING, &OnRing},
        {EV_RLSD, &OnRlsd},     {EV_TXEMPTY, &OnTxEmpty}, {EV_BREAK, &OnBreak}, {EV_PERR, &OnPErr},
        {EV_RX80FULL, &OnRx80Full}, {EV_EVENT1, &OnEvent1}, {EV_EVENT2, &OnEvent2}};
    for (const auto& [bit, handler] : order) {
        if ((Mask & bit) && *handler) (*handler)(this);
    }
}

void TVaCustomComm::NotifyListenerEvents(uint32_t Mask) {
    if (!FListenersEnabled) return;
    const size_t count = FListeners.size();
    for (size_t i = 0; i < count && i < FListeners.size(); ++i) {
        TVaCommListener* l = FListeners[i];
        if (l->Active && l->Receiver) l->Receiver->NotifyEvents(Mask);
    }
}

void TVaCustomComm::NotifyListenerData(PVaData Data, int32_t Count) {
    if (FListenersEnabled) {
        const size_t count = FListeners.size();
        for (size_t i = 0; i < count && i < FListeners.size(); ++i) {
            TVaCommListener* l = FListeners[i];
            if (l->Active && l->Receiver) l->Receiver->NotifyData(Data, Count);
        }
    }
    if (OnRxBuf) OnRxBuf(this, Data, Count);
}

bool TVaCustomComm::CheckLineErrors() {
    TVaComStat stat;
    GetComStat(stat);
    const bool pending = stat.Errors != 0;
    if (pending && OnError) {
        toolkit::RunReportingErrors(this, [&] { OnError(this, static_cast<int32_t>(stat.Errors)); });
    }
    return pending;
}

void TVaCustomComm::RemoveListener(TVaCommListener* Listener) {
    auto it = std::find(FListeners.begin(), FListeners.end(), Listener);
    if (it == FListeners.end()) return;
    Listener->Comm = nullptr;
    FListeners.erase(it);
}

void TVaCustomComm::RemoveAllListeners() {
    while (!FListeners.empty()) RemoveListener(FListeners.back());
}
