#include "serial/platform/windows/Comm.h"

#include <string>
#include <utility>

#include "toolkit/windows/WideText.h"

namespace serialdev {

namespace {

using toolkit::Wide;

// What a port answers once its line is gone, listed or not: Wine's pseudo-terminal after the
// other side closed (21, 109), a USB adapter pulled out on Windows (the rest).
bool IsLineGone(DWORD error) {
    switch (error) {
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

int Failure() { return static_cast<int>(::GetLastError()); }

constexpr uint32_t kQueueEvents = EV_RXFLAG | EV_RX80FULL;

// The DCB flag word, bit by bit as the fields are declared.
void SetFlags(DCB& dcb, const LineSettings& s) {
    dcb.fBinary = 1;
    dcb.fParity = s.ParityCheck ? 1 : 0;
    dcb.fOutxCtsFlow = s.OutCtsFlow ? 1 : 0;
    dcb.fOutxDsrFlow = s.OutDsrFlow ? 1 : 0;
    dcb.fDtrControl = static_cast<DWORD>(s.Dtr);
    dcb.fDsrSensitivity = s.DsrSensitivity ? 1 : 0;
    dcb.fTXContinueOnXoff = s.TxContinueOnXoff ? 1 : 0;
    dcb.fOutX = s.XonXoffOut ? 1 : 0;
    dcb.fInX = s.XonXoffIn ? 1 : 0;
    dcb.fErrorChar = s.ErrorCharReplace ? 1 : 0;
    dcb.fNull = s.NullStrip ? 1 : 0;
    dcb.fRtsControl = static_cast<DWORD>(s.Rts);
    dcb.fAbortOnError = 0;
    dcb.fDummy2 = 0;
}

} // namespace

OpenResult WindowsComm::Open(const std::string& path) {
    OpenResult result;
    UniqueHandle port(::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.Valid()) {
        result.Error = Failure();
        return result;
    }
    auto device = std::unique_ptr<WindowsComm>(new WindowsComm(path, std::move(port)));
    if (const int e = device->CreateEvents()) {
        result.Error = e;
        return result;
    }
    result.Device = std::move(device);
    return result;
}

WindowsComm::WindowsComm(std::string path, UniqueHandle port)
    : FPath(std::move(path)), FPort(std::move(port)), FRemoval(FPath) {}

bool WindowsComm::MeansGone(DWORD error, const RemovalWatch& removal) {
    // The list is read only for an error the code alone does not settle.
    return error != 0 && (IsLineGone(error) || removal.Gone());
}

int WindowsComm::CreateEvents() {
    // Manual reset, initially clear: a wake stays set until the wait that takes it.
    for (UniqueHandle* event : {&FWaitDone, &FReadDone, &FWriteDone, &FEventWake, &FWriterWake}) {
        *event = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event->Valid()) return Failure();
    }
    FWaitRecord.hEvent = FWaitDone.Get();
    return 0;
}

WindowsComm::~WindowsComm() {
    // The threads are gone by now; nothing may still write into this object's records.
    if (!HasOverlappedIoCompleted(&FWaitRecord)) EndPendingWait();
    // Unsent output is discarded, so closing never waits for a stalled line.
    ::PurgeComm(FPort.Get(), PURGE_TXABORT | PURGE_TXCLEAR);
}

int WindowsComm::ApplySettings(const LineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(FPort.Get(), &dcb);
    dcb.BaudRate = s.BaudRate;
    SetFlags(dcb, s);
    dcb.XonLim = s.XonLimit;
    dcb.XoffLim = s.XoffLimit;
    dcb.ByteSize = s.DataBits;
    dcb.Parity = static_cast<BYTE>(s.ParityMode);
    dcb.StopBits = static_cast<BYTE>(s.Stop);
    dcb.XonChar = static_cast<char>(s.XonChar);
    dcb.XoffChar = static_cast<char>(s.XoffChar);
    dcb.ErrorChar = static_cast<char>(s.ErrorChar);
    dcb.EofChar = static_cast<char>(s.EofChar);
    dcb.EvtChar = static_cast<char>(s.EventChar);
    if (!::SetCommState(FPort.Get(), &dcb)) return Failure();
    // A driver may take a rate or format it cannot produce without complaint.
    DCB kept{};
    kept.DCBlength = sizeof kept;
    if (!::GetCommState(FPort.Get(), &kept)) return Failure();
    if (kept.BaudRate != dcb.BaudRate || kept.ByteSize != dcb.ByteSize || kept.Parity != dcb.Parity ||
        kept.StopBits != dcb.StopBits) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

int WindowsComm::SetQueueSizes(uint32_t input, uint32_t output) {
    return ::SetupComm(FPort.Get(), input, output) ? 0 : Failure();
}

int WindowsComm::SetTimeouts() {
    // A read returns at once with what has arrived; writes have no total time-out.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    return ::SetCommTimeouts(FPort.Get(), &timeouts) ? 0 : Failure();
}

int WindowsComm::SetEventMask(uint32_t mask) {
    FEventMask = mask;
    const uint32_t driverMask = mask & ~kQueueEvents;
    if (!::SetCommMask(FPort.Get(), driverMask)) return Failure();
    FDriverMask = driverMask;
    return 0;
}

int WindowsComm::Poll(COMSTAT& stat) {
    stat = COMSTAT{};
    DWORD errors = 0;
    std::lock_guard<std::mutex> lock(FStatusLock);
    if (!::ClearCommError(FPort.Get(), &errors, &stat)) {
        const DWORD error = ::GetLastError();
        if (!MeansGone(error)) return static_cast<int>(error);
        MarkHungUp();
        stat = COMSTAT{};
        return 0;
    }
    FPendingErrors |= errors;
    return 0;
}

int WindowsComm::QueryStatus(DeviceStatus& status) {
    status = DeviceStatus{};
    COMSTAT stat{};
    if (const int e = Poll(stat)) return e;
    std::lock_guard<std::mutex> lock(FStatusLock);
    status.Errors = std::exchange(FPendingErrors, 0u);
    status.InQueue = stat.cbInQue;
    status.OutQueue = stat.cbOutQue;
    return 0;
}

int WindowsComm::Purge(uint32_t flags) {
    // A write waiting for room ends as well when its transfer is aborted.
    if (flags & PURGE_TXABORT) WakeWriter();
    if (flags == 0) return 0;
    if (::PurgeComm(FPort.Get(), flags)) return 0;
    const DWORD error = ::GetLastError();
    // Nothing is left to purge on a line that is gone; the hang-up tells the rest.
    if (!MeansGone(error)) return static_cast<int>(error);
    MarkHungUp();
    return 0;
}

int WindowsComm::Read(uint8_t* buffer, size_t count, size_t& received) {
    received = 0;
    if (count == 0) return 0;
    // A read with nothing waiting may stay pending whatever the time-outs say: ask only for
    // what is there.
    COMSTAT stat{};
    if (const int e = Poll(stat)) return e;
    const DWORD wanted = static_cast<DWORD>(count < stat.cbInQue ? count : stat.cbInQue);
    if (wanted == 0) return 0;
    OVERLAPPED record{};
    record.hEvent = FReadDone.Get();
    DWORD got = 0;
    if (!::ReadFile(FPort.Get(), buffer, wanted, nullptr, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (!MeansGone(error)) return static_cast<int>(error);
            MarkHungUp();
            return 0;
        }
    }
    if (!::GetOverlappedResult(FPort.Get(), &record, &got, TRUE)) {
        const DWORD error = ::GetLastError();
        if (MeansGone(error)) {
            MarkHungUp();
        } else if (error != ERROR_OPERATION_ABORTED) {  // a purge ended it: nothing was read
            return static_cast<int>(error);
        }
    }
    received = got;
    return 0;
}

int WindowsComm::Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) {
    written = 0;
    if (count == 0) return 0;
    OVERLAPPED record{};
    record.hEvent = FWriteDone.Get();
    DWORD sent = 0;
    bool cancelled = false;
    if (!::WriteFile(FPort.Get(), buffer, static_cast<DWORD>(count), nullptr, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (MeansGone(error)) MarkHungUp();
            return static_cast<int>(error);
        }
        const HANDLE waits[] = {FWriteDone.Get(), FWriterWake.Get()};
        const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, limit);
        if (which != WAIT_OBJECT_0) {
            // Woken or timed out: neither is an error. What the port took by now is what went out.
            if (which == WAIT_OBJECT_0 + 1) ::ResetEvent(FWriterWake.Get());
            ::CancelIoEx(FPort.Get(), &record);
            cancelled = true;
        }
    }
    // The record must be settled before it goes out of scope.
    if (!::GetOverlappedResult(FPort.Get(), &record, &sent, TRUE)) {
        const DWORD error = ::GetLastError();
        written = sent;
        if (error == ERROR_OPERATION_ABORTED) {
            // Cancelled above, or by a purge; or the driver ended it because the device went.
            if (!cancelled && MeansGone(error)) MarkHungUp();
            return 0;
        }
        if (MeansGone(error)) MarkHungUp();
        return static_cast<int>(error);
    }
    written = sent;
    return 0;
}

uint32_t WindowsComm::WaitMask(ByteWatch bytes) const {
    uint32_t mask = FEventMask & ~(kQueueEvents | EV_RXCHAR);
    if (bytes != ByteWatch::None) mask |= EV_RXCHAR;
    return mask;
}

DWORD WindowsComm::EndPendingWait() {
    ::SetCommMask(FPort.Get(), FDriverMask);
    DWORD ignored = 0;
    if (::GetOverlappedResult(FPort.Get(), &FWaitRecord, &ignored, TRUE)) return 0;
    return ::GetLastError();
}

uint32_t WindowsComm::WaitOnce(ByteWatch bytes, bool& woken, DWORD& error) {
    error = 0;
    FWaitResult = 0;
    DWORD ignored = 0;
    if (::WaitCommEvent(FPort.Get(), &FWaitResult, &FWaitRecord)) return FWaitResult;
    error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return 0;
    error = 0;
    // Bytes that arrived after the caller looked and before the wait began count as waiting.
    COMSTAT stat{};
    if (bytes == ByteWatch::Waiting && Poll(stat) == 0 && stat.cbInQue > 0) {
        EndPendingWait();
        return EV_RXCHAR;
    }
    const HANDLE waits[] = {FWaitDone.Get(), FEventWake.Get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        ::ResetEvent(FEventWake.Get());
        woken = true;
        EndPendingWait();
        return FWaitResult;  // events the wait caught before it was ended still count
    }
    if (!::GetOverlappedResult(FPort.Get(), &FWaitRecord, &ignored, TRUE)) {
        error = ::GetLastError();
        return 0;
    }
    return FWaitResult;
}

WaitOutcome WindowsComm::GoneOrFailed(DWORD error) {
    if (!MeansGone(error)) {
        FWaitError = static_cast<int>(error);
        return WaitOutcome::Failed;
    }
    MarkHungUp();
    return WaitOutcome::HungUp;
}

bool WindowsComm::CheckGone() {
    if (FRemoval.Gone()) MarkHungUp();
    return FHungUp.load();
}

WaitOutcome WindowsComm::WaitEvents(ByteWatch bytes, uint32_t& events) {
    events = 0;
    const uint32_t driverMask = WaitMask(bytes);
    if (driverMask != FDriverMask) {
        if (!::SetCommMask(FPort.Get(), driverMask)) return GoneOrFailed(::GetLastError());
        FDriverMask = driverMask;
    }
    // A wait that ends at once with nothing (and no wake of ours) may end so again for ever:
    // Wine ends every wait that way on a port without modem lines. Once is tolerated.
    bool endedEmptyBefore = false;
    for (;;) {
        COMSTAT stat{};
        if (const int e = Poll(stat)) {  // not a gone line's: Poll has judged that
            FWaitError = e;
            return WaitOutcome::Failed;
        }
        if (FHungUp.load()) return WaitOutcome::HungUp;
        if (bytes == ByteWatch::Waiting && stat.cbInQue > 0) {
            events |= EV_RXCHAR;
            return WaitOutcome::Ready;
        }
        bool woken = false;
        DWORD error = 0;
        const uint32_t got = WaitOnce(bytes, woken, error);
        if (got & EV_RXCHAR) events |= EV_RXCHAR;
        events |= got & FEventMask & ~(kQueueEvents | EV_RXCHAR);
        if (Poll(stat) == 0 && FHungUp.load()) return WaitOutcome::HungUp;
        if (events != 0) return WaitOutcome::Ready;
        if (woken) return WaitOutcome::Woken;
        if (error != 0) return GoneOrFailed(error);
        // Waits that keep ending with nothing: a vanished port's driver may answer so as well.
        if (endedEmptyBefore) {
            if (FRemoval.Gone()) return GoneOrFailed(ERROR_DEVICE_REMOVED);
            FWaitError = 0;  // no error to name
            return WaitOutcome::Failed;
        }
        endedEmptyBefore = true;
    }
}

} // namespace serialdev
