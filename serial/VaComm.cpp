#include "VaComm.h"
#include "VaCommEventThread.h"
#include "VaCommWriteThread.h"

#include <cerrno>
#include <chrono>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "VaConst.h"
#include "toolkit/ErrorReport.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr uint32_t kRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                               14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr uint32_t kEventFlags[] = {EV_BREAK, EV_CTS,     EV_DSR,    EV_ERR,    EV_RING,   EV_RLSD,  EV_RXCHAR,
                                    EV_TXEMPTY, EV_RXFLAG, EV_PERR, EV_RX80FULL, EV_EVENT1, EV_EVENT2};

} // namespace

uint32_t VaBaudrateValue(TVaBaudrate Rate) {
    const auto i = static_cast<size_t>(Rate);
    return i < std::size(kRates) ? kRates[i] : 0;
}

uint32_t VaCommEventFlag(TVaCommEvent Event) {
    const auto i = static_cast<size_t>(Event);
    return i < std::size(kEventFlags) ? kEventFlags[i] : 0;
}

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TVaCustomComm::TVaCustomComm(toolkit::TComponent* AOwner) : TVaComponent(AOwner) {
    FBuffers = std::make_unique<TVaBuffers>();
    FBuffers->OnChange = [this](TVaPersistent* Sender) { BuffersChanged(Sender); };
    FEventChars = std::make_unique<TVaEventChars>();
    FEventChars->OnChange = [this](TVaPersistent* Sender) { EventCharsChanged(Sender); };
    FFlowControl = std::make_unique<TVaFlowControl>();
    FFlowControl->OnChange = [this](TVaPersistent* Sender) { FlowControlChanged(Sender); };
}

TVaCustomComm::~TVaCustomComm() {
    BeginDestroy();  // Close then skips OnClose
    try {
        Close();
    } catch (...) {
        // A destructor cannot pass it on; the port is closed or as closed as it can be.
        toolkit::ReportException(this);
    }
    RemoveAllListeners();
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void TVaCustomComm::Loaded() {
    TVaComponent::Loaded();
    if (FAutoOpen) Open();
}

std::string TVaCustomComm::DevicePath() const {
    return serialdev::SystemDevicePath(vautils::FormatDeviceName(FDeviceName, FPortNum));
}

void TVaCustomComm::CheckClosed() const {
    if (Active()) throw EVaCommError(vaconst::sPortOpen);
}

void TVaCustomComm::RaiseCommError(const std::string& Template, int Error) const {
    vautils::RaiseCommError(Template, Error);
}

void TVaCustomComm::CheckCommResult(int Error, const std::string& Template) const {
    if (Error != 0) RaiseCommError(Template, Error);
}

void TVaCustomComm::CreateHandle() {
    const std::string path = DevicePath();
    serialdev::OpenResult opened = serialdev::OpenDevice(path);
    if (opened.Device) {
        FDevice = std::move(opened.Device);
        return;
    }
    // The path goes into the template escaped, so a '%' in it is never taken for a placeholder.
    const std::string shownPath = vautils::EscapePercent(path);
    if (serialdev::IsNoSuchDevice(opened.Error)) {
        RaiseCommError(toolkit::FormatStrings(vaconst::sDeviceNotFound, {shownPath}), opened.Error);
    }
    RaiseCommError(toolkit::FormatStrings(vaconst::sCantOpenDevice, {shownPath}) + vaconst::sErrorSuffix,
                   opened.Error);
}

void TVaCustomComm::DestroyHandle() {
    FDevice.reset();
    FInputQueue.Clear();
}

void TVaCustomComm::Open() {
    CheckClosed();
    CreateHandle();
    StartOnDevice();
}

void TVaCustomComm::OpenWith(std::unique_ptr<serialdev::SerialDevice> Device) {
    CheckClosed();
    if (!Device) throw EVaCommError(vaconst::sNoDevice);
    FDevice = std::move(Device);
    StartOnDevice();
}

void TVaCustomComm::StartOnDevice() {
    try {
        ApplyDCB();
        ApplyBuffers();
        ApplyTimeouts();
        ApplyEventMask();
        StartThreads();
        DoOpen();
    } catch (...) {
        // A thread may already run (the writer failed after the event thread started).
        try {
            const auto lock = ReadGuard();
            StopThreads();
        } catch (...) {
            // The failure of the open step is the one the caller needs to see.
        }
        DestroyHandle();
        throw;
    }
}

void TVaCustomComm::Close() {
    if (!Active()) return;
    {
        const auto lock = ReadGuard();
        StopThreads();
    }
    // A delivery served while waiting for the threads may have closed the port already; that
    // Close has told OnClose and paused.
    if (!Active()) return;
    DestroyHandle();
    DoClose();
    // A fixed pause on the calling thread (the window's) before Close returns; the threads have
    // ended and the device is closed, so nothing else waits on it. The port scan's pace rests on
    // it: a probe that closes the previous port spends this before it opens the next one, so a
    // pass over n open ports takes at least n times 300 ms.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

void TVaCustomComm::StartThreads() {
    try {
        if (FEventMask != 0) {
            WatchInputQueue();
            FEventThread = std::make_shared<TVaCommEventThread>(*this);
            FEventThread->SetPriority(FEventPriority);
            FEventThread->SetSyncEvents(FSyncEvents);
            FEventThread->Resume();
        }
        if (!FDirectWrite) {
            FWriteThread = std::make_shared<TVaCommWriteThread>(*this);
            FWriteThread->SetPriority(FWritePriority);
            FWriteThread->SetSyncEvents(FSyncEvents);
            FWriteThread->Resume();
        }
    } catch (const std::system_error& e) {
        RaiseCommError(vaconst::sStartThread, e.code().value());
    }
}

void TVaCustomComm::WatchInputQueue() {
    const bool flag = (FEventMask & EV_RXFLAG) != 0;
    FInputQueue.Watch(flag ? FEventChars->EventChar() : -1, (FEventMask & EV_RX80FULL) != 0);
    serialdev::SerialDevice* device = FDevice.get();
    FInputQueue.SetOnWake([device] { device->WakeEvents(); });
}

namespace {

// Waits for a stopped thread's end. With SyncEvents off its handlers run on the thread itself
// and may want the read lock that Close holds, so the lock is let go while waiting.
void AwaitThreadEnd(toolkit::TThread& thread, bool syncEvents, TVaCriticalSection& readLock) {
    if (syncEvents) {
        thread.WaitFor();
        return;
    }
    const TVaScopedUnlock<TVaCriticalSection> unlocked(readLock);
    thread.WaitFor();
}

} // namespace

// Called with the read lock held, and ended before the device goes: the threads use it. A
// handler served while waiting may close the port, or close and open it again: what is stopped
// is whatever threads the component has once none is left running.
void TVaCustomComm::StopThreads() {
    while (FEventThread || FWriteThread) {
        if (FEventThread) {
            FEventThread->Stop();
            FEventThread->StopModemWatch();
            // Nothing may wake the thread through the device once it is gone.
            FInputQueue.SetOnWake(nullptr);
            FInputQueue.Watch(-1, false);
        }
        EndThread(FEventThread);
        EndThread(FWriteThread);
    }
}

// Stops the thread in Slot, waits for its end and lets go of it. The wait keeps a reference of
// its own: a handler served meanwhile may close the port and clear the slot. When this runs
// inside one of the thread's own deliveries (a handler closed the port), the rest of that
// delivery is skipped and the thread is joined at once (it never waits for the main thread);
// the delivery keeps the object until it returns.
template <class TThreadClass>
void TVaCustomComm::EndThread(std::shared_ptr<TThreadClass>& Slot) {
    const std::shared_ptr<TThreadClass> thread = Slot;
    if (!thread) return;
    thread->Stop();
    if (thread->InsideDelivery()) {
        thread->CancelDelivery();
        thread->Join();
    } else {
        // Slot stays set while waiting and while the thread's last posted delivery runs: a
        // handler in it that closes the port finds the thread there.
        AwaitThreadEnd(*thread, thread->SyncEvents(), FReadLock);
        thread->FinishDelivery();
    }
    if (Slot == thread) Slot.reset();
}

void TVaCustomComm::DoOpen() {
    if (OnOpen) toolkit::RunReportingErrors(this, [this] { OnOpen(this); });
}

void TVaCustomComm::DoClose() {
    if (!Destroying() && OnClose) OnClose(this);
}

// ---------------------------------------------------------------------------------------------
// Settings

void TVaCustomComm::SetBaudrate(TVaBaudrate Value) {
    if (!toolkit::StoreIfChanged(FBaudrate, Value)) return;
    if (Value != brUser) FUserBaudrate = 0;
    ApplyDCB();
}

void TVaCustomComm::SetUserBaudrate(int32_t Value) {
    if (!toolkit::StoreIfChanged(FUserBaudrate, Value)) return;
    FBaudrate = brUser;
    ApplyDCB();
}

void TVaCustomComm::SetParity(TVaParity Value) {
    if (toolkit::StoreIfChanged(FParity, Value)) ApplyDCB();
}

void TVaCustomComm::SetDatabits(TVaDatabits Value) {
    if (toolkit::StoreIfChanged(FDatabits, Value)) ApplyDCB();
}

void TVaCustomComm::SetStopbits(TVaStopbits Value) {
    if (toolkit::StoreIfChanged(FStopbits, Value)) ApplyDCB();
}

void TVaCustomComm::SetOptions(TVaCommOptions Value) {
    if (toolkit::StoreIfChanged(FOptions, Value)) ApplyDCB();
}

void TVaCustomComm::SetEventChars(const TVaEventChars& Value) { FEventChars->CopyFrom(&Value); }

void TVaCustomComm::SetFlowControl(const TVaFlowControl& Value) { FFlowControl->CopyFrom(&Value); }

void TVaCustomComm::SetPortNum(TVaPortInt Value) {
    CheckClosed();
    FPortNum = Value;
}

void TVaCustomComm::SetDeviceName(const std::string& Value) {
    CheckClosed();
    FDeviceName = Value;
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents Value) {
    CheckClosed();
    FMonitorEvents = Value;
}

void TVaCustomComm::SetBuffers(const TVaBuffers& Value) {
    CheckClosed();
    FBuffers->CopyFrom(&Value);
}

void TVaCustomComm::SetEventPriority(TThreadPriority Value) {
    if (toolkit::StoreIfChanged(FEventPriority, Value) && FEventThread) FEventThread->SetPriority(Value);
}

void TVaCustomComm::SetWritePriority(TThreadPriority Value) {
    if (toolkit::StoreIfChanged(FWritePriority, Value) && FWriteThread) FWriteThread->SetPriority(Value);
}

void TVaCustomComm::SetDirectWrite(bool Value) {
    CheckClosed();
    FDirectWrite = Value;
}

void TVaCustomComm::SetUpdateDCB(bool Value) {
    CheckClosed();
    FUpdateDCB = Value;
}

void TVaCustomComm::SetDisplay(TVaDisplay* Value) {
    if (FDisplay != nullptr && FDisplay != Value) RemoveFreeNotification(FDisplay);
    FDisplay = Value;
    if (Value != nullptr) FreeNotification(Value);
}

void TVaCustomComm::Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) {
    if (Operation == toolkit::TOperation::opRemove && AComponent != nullptr && AComponent == FDisplay) {
        FDisplay = nullptr;
    }
    TVaComponent::Notification(AComponent, Operation);
}

std::string TVaCustomComm::Version() const {
    const uint32_t v = vaconst::kVersionNumber;
    return std::to_string((v >> 24) & 0xFF) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

void TVaCustomComm::BuffersChanged(TVaPersistent*) {
    CheckClosed();
    ApplyBuffers();
    ApplyDCB();
}

void TVaCustomComm::EventCharsChanged(TVaPersistent*) {
    ApplyDCB();
    // EV_RXFLAG is found as bytes enter the input queue: look for the character now set.
    if (FEventThread) WatchInputQueue();
}

void TVaCustomComm::FlowControlChanged(TVaPersistent*) { ApplyDCB(); }

// ---------------------------------------------------------------------------------------------
// Apply operations

serialdev::LineSettings TVaCustomComm::BuildLineSettings() const {
    serialdev::LineSettings s;
    s.BaudRate = FBaudrate == brUser ? static_cast<uint32_t>(FUserBaudrate) : VaBaudrateValue(FBaudrate);
    s.DataBits = static_cast<uint8_t>(4 + static_cast<int>(FDatabits));
    s.ParityMode = static_cast<serialdev::Parity>(FParity);
    s.Stop = static_cast<serialdev::StopBits>(FStopbits);
    s.ParityCheck = FOptions.Contains(coParityCheck);
    s.ErrorCharReplace = FOptions.Contains(coErrorChar);
    s.NullStrip = FOptions.Contains(coNullStrip);
    const TVaFlowControl& f = *FFlowControl;
    s.OutCtsFlow = f.OutCtsFlow();
    s.OutDsrFlow = f.OutDsrFlow();
    s.Dtr = static_cast<serialdev::DtrControl>(f.ControlDtr());
    s.Rts = static_cast<serialdev::RtsControl>(f.ControlRts());
    s.XonXoffOut = f.XonXoffOut();
    s.XonXoffIn = f.XonXoffIn();
    s.DsrSensitivity = f.DsrSensitivity();
    s.TxContinueOnXoff = f.TxContinueOnXoff();
    s.XonLimit = static_cast<uint16_t>(FBuffers->XonLimit() & 0xFFFF);
    s.XoffLimit = static_cast<uint16_t>(FBuffers->XoffLimit() & 0xFFFF);
    const TVaEventChars& c = *FEventChars;
    s.XonChar = c.XonChar();
    s.XoffChar = c.XoffChar();
    s.ErrorChar = c.ErrorChar();
    s.EofChar = c.EofChar();
    s.EventChar = c.EventChar();
    return s;
}

void TVaCustomComm::ApplyDCB() {
    if (!Active() || !FUpdateDCB) return;
    CheckCommResult(FDevice->ApplySettings(BuildLineSettings()), vaconst::sWriteDcb);
}

void TVaCustomComm::ApplyBuffers() {
    if (!Active()) return;
    const auto readSize = static_cast<uint32_t>(FBuffers->ReadSize());
    CheckCommResult(FDevice->SetQueueSizes(readSize, static_cast<uint32_t>(FBuffers->WriteSize())),
                    vaconst::sInitBuffers);
    FInputQueue.Reset(readSize);
}

void TVaCustomComm::ApplyTimeouts() {
    if (!Active()) return;
    CheckCommResult(FDevice->SetTimeouts(), vaconst::sSetTimeouts);
}

void TVaCustomComm::ApplyEventMask() {
    uint32_t mask = 0;
    for (int e = ceBreak; e <= ceEvent2; ++e) {
        const auto member = static_cast<TVaCommEvent>(e);
        if (FMonitorEvents.Contains(member)) mask |= VaCommEventFlag(member);
    }
    // The writer thread reports an empty output itself.
    if (!FDirectWrite) mask &= ~EV_TXEMPTY;
    FEventMask = mask;
    if (Active()) CheckCommResult(FDevice->SetEventMask(mask), vaconst::sSetEventMask);
}

// ---------------------------------------------------------------------------------------------
// Read path and status

int32_t TVaCustomComm::ReadBuf(void* Buffer, int32_t Count) {
    if (!Active() || Buffer == nullptr || Count <= 0) return 0;
    const auto lock = ReadGuard();
    size_t received = 0;
    const int error =
        FInputQueue.Read(FDevice.get(), static_cast<uint8_t*>(Buffer), static_cast<size_t>(Count), received);
    // Bytes already taken from the queue are handed over; the port's error shows at the next read.
    if (error != 0 && received == 0) RaiseCommError(vaconst::sReadError, error);
    return static_cast<int32_t>(received);
}

bool TVaCustomComm::ReadChar(uint8_t& Ch) { return ReadBuf(&Ch, 1) == 1; }

void TVaCustomComm::GetComStat(TVaComStat& Rec) {
    const auto lock = ReadGuard();
    Rec = TVaComStat{};
    if (!Active()) return;
    serialdev::DeviceStatus status;
    // The own queue's bytes are counted with the port's, under the lock the event thread moves
    // bytes with.
    CheckCommResult(FInputQueue.QueryStatus(*FDevice, status), vaconst::sComStat);
    Rec.Errors = status.Errors;
    Rec.InQueue = status.InQueue;
    // What the writer thread still holds has not reached the device yet, but is output all the same.
    Rec.OutQueue = status.OutQueue + (FWriteThread ? static_cast<uint32_t>(std::max(0, FWriteThread->QueuedBytes())) : 0u);
}

int32_t TVaCustomComm::ReadBufUsed() {
    if (!Active()) return 0;
    TVaComStat stat;
    GetComStat(stat);
    constexpr uint32_t kMax = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(stat.InQueue < kMax ? stat.InQueue : kMax);
}

void TVaCustomComm::Purge(uint32_t Flags) {
    if (!Active()) return;
    const auto lock = ReadGuard();
    constexpr uint32_t kReadOnlyPurge = PURGE_RXABORT | PURGE_RXCLEAR;
    if (Flags != kReadOnlyPurge && FWriteThread) FWriteThread->Flush();
    const bool input = (Flags & PURGE_RXCLEAR) != 0;
    const bool output = (Flags & PURGE_TXCLEAR) != 0;
    // Reads and direct writes never stay outstanding here, so the abort bits alone have
    // nothing to end.
    if (!input && !output) return;
    const int error = FDevice->Purge(Flags);
    // Emptied after the port, so bytes the event thread moved over meanwhile go as well.
    if (input) FInputQueue.Clear();
    CheckCommResult(error, vaconst::sClearBuffers);
}
