// Event dispatch: what a set of line events runs, and the listeners.
#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "VaComm.h"
#include "VaCommEventThread.h"
#include "toolkit/ErrorReport.h"

namespace {
int32_t ClampedCount(size_t count) {
    return static_cast<int32_t>(std::min<size_t>(count, std::numeric_limits<int32_t>::max()));
}
} // namespace

void TVaCustomComm::HandleRxChar() {
    const int32_t n = CountWaitingInQueue();
    if (n <= 0) return;
    if (!FListeners.empty()) {
        std::vector<uint8_t> block(static_cast<size_t>(n));
        const int32_t k = ReadBuf(block.data(), n);
        NotifyListenerData(block.data(), k);
    } else if (OnRxChar) {
        OnRxChar(this, n);
    }
}

int32_t TVaCustomComm::CountWaitingInQueue() {
    if (!Active()) return 0;
    {
        const auto lock = ReadGuard();
        // The event thread reads the port into the queue as bytes arrive, and goes on doing so
        // while its delivery waits: unless the queue is full, the queue holds all that the thread
        // has seen, and what it has not seen yet brings an event of its own.
        size_t queued = 0;
        if (FEventThread && FEventThread->FillsQueue() && FInputQueue.CountUnlessFull(queued)) {
            return ClampedCount(queued);
        }
        // Errors and a hang-up are the event thread's to report at its next wake; here they only
        // mean there is nothing more to move.
        const TVaInputQueue::FillResult fill = FInputQueue.Pull(*FDevice);
        // The read emptied the port: the queue holds all that waits. No status query then, which
        // would also take the line errors that an EV_ERR in the same set is about to report.
        if (fill.Error == 0 && fill.PortEmptied) return ClampedCount(fill.Queued);
    }
    return ReadBufUsed();
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
