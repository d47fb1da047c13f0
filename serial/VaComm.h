#pragma once
// The serial port component: one serial line, its settings, opening and closing, the event
// and writer threads (VaCommEventThread, VaCommWriteThread), event dispatch (VaCommEvents.cpp),
// the write path (VaCommWrite.cpp) and the read path.
//
// Threads, who starts and ends each, and the locks each takes, in the order it takes them; then
// the queue through which the threads reach the main thread, and its lock:
//
// | thread / queue     | started by                        | ended by                        | locks, in order                     |
// |--------------------|-----------------------------------|---------------------------------|-------------------------------------|
// | main               | the program                       | the program                     | read lock, write lock, then the     |
// |                    |                                   |                                 | input queue's or the writer's       |
// |                    |                                   |                                 | signal lock; the main-thread queue's|
// |                    |                                   |                                 | lock, then a delivery's lock        |
// | event              | StartThreads (Open), when the     | StopThreads (Close), also from  | the input queue's; a delivery's     |
// |                    | event mask is not empty           | inside its own delivery         | lock; the main-thread queue's lock  |
// |                    |                                   |                                 | alone (to post); never waits for    |
// |                    |                                   |                                 | the main thread                     |
// | modem-line watcher | the event thread's constructor,   | StopThreads, before the device  | none                                |
// |                    | when modem lines are watched      | goes                            |                                     |
// | writer             | StartThreads (Open), unless       | StopThreads (Close), also from  | write lock, then its own signal     |
// |                    | DirectWrite                       | inside its own delivery         | lock; a delivery's lock; the        |
// |                    |                                   |                                 | main-thread queue's lock alone;     |
// |                    |                                   |                                 | never the read lock, never waits    |
// |                    |                                   |                                 | for the main thread                 |
// | main-thread queue  | its first use (one per process)   | the program's end; a posted     | its own lock, held only to queue or |
// | (toolkit)          |                                   | call never run is dropped then  | take a call and to test a wait's    |
// |                    |                                   |                                 | condition (which may take a         |
// |                    |                                   |                                 | delivery's lock), never while a     |
// |                    |                                   |                                 | call runs                           |
//
// Both threads post their deliveries to the main-thread queue and go on (TVaCommThread): one
// delivery of a thread at a time, in order. The main thread serves the queue from its event
// loop and while Close waits for a thread, so any handler may close the port, from any
// delivery, also while another Close waits. The component and every wait on a thread hold it
// through a shared_ptr, and so does a running delivery: no thread is freed while anything may
// still use it. With SyncEvents off the handlers run on the event or writer thread itself and
// take the locks as the main thread would; StopThreads then lets go of the read lock while it
// waits for them.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VaClasses.h"
#include "VaDisplay.h"
#include "VaInputQueue.h"
#include "VaObjects.h"
#include "VaPrst.h"
#include "VaTypes.h"
#include "VaUtils.h"
#include "platform/LineEvents.h"
#include "platform/SerialDevice.h"
#include "toolkit/Classes.h"
#include "toolkit/Thread.h"
#include "toolkit/ThreadPriority.h"

enum TVaBaudrate : uint8_t { brUser, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
                             br38400, br56000, br57600, br115200, br128000, br256000 };
enum TVaParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TVaDatabits : uint8_t { db4, db5, db6, db7, db8 };
enum TVaStopbits : uint8_t { sb1, sb15, sb2 };
enum TVaCommOption : uint8_t { coErrorChar, coNullStrip, coParityCheck };
enum TVaCommEvent : uint8_t { ceBreak, ceCts, ceDsr, ceError, ceRing, ceRlsd, ceRxChar, ceTxEmpty, ceRxFlag,
                              cePErr, ceRx80Full, ceEvent1, ceEvent2 };

using TVaCommOptions = TVaSet<TVaCommOption, uint8_t>;
using TVaCommEvents = TVaSet<TVaCommEvent, uint16_t>;

// The line rate of a TVaBaudrate member other than brUser, in bits per second.
uint32_t VaBaudrateValue(TVaBaudrate Rate);
// The operating-system event bit of a TVaCommEvent member.
uint32_t VaCommEventFlag(TVaCommEvent Event);

using TNotifyEvent = std::function<void(toolkit::TObject* Sender)>;
using TVaCommRxCharEvent = std::function<void(toolkit::TObject* Sender, int32_t Count)>;
using TVaCommRxBufEvent = std::function<void(toolkit::TObject* Sender, PVaData Data, int32_t Count)>;
using TVaCommErrorEvent = std::function<void(toolkit::TObject* Sender, int32_t Errors)>;
// Error: the system's error number of the port's latest failed call (0 where it gave none).
using TVaCommFailureEvent = std::function<void(toolkit::TObject* Sender, int32_t Error)>;

// The port status record of GetComStat.
struct TVaComStat {
    uint32_t Errors = 0;   // pending line-error bits (CE_*), cleared by the query
    uint32_t Flags = 0;
    uint32_t InQueue = 0;  // bytes waiting to be read
    uint32_t OutQueue = 0; // bytes waiting to be sent
};

class TVaCustomComm;
class TVaCommEventThread;
class TVaCommWriteThread;
class TVaCommBuffer;

// What a listener receives.
class TVaCommReceiver {
public:
    virtual ~TVaCommReceiver() = default;
    virtual void NotifyEvents(uint32_t Mask) = 0;
    virtual void NotifyData(PVaData Data, int32_t Count) = 0;
};

// An object that has attached itself to a component's Listeners.
class TVaCommListener {
public:
    bool Active = true;
    TVaCustomComm* Comm = nullptr;
    TVaCommReceiver* Receiver = nullptr;
};

class TVaCustomComm : public TVaComponent {
public:
    explicit TVaCustomComm(toolkit::TComponent* AOwner = nullptr);
    ~TVaCustomComm() override;
    std::string ClassName() const override { return "TVaCustomComm"; }

    // ---- lifecycle
    void Open();
    // Open on a device the caller has opened itself (serialdev::OpenDevice), for a caller that
    // must not wait for the system's open on its own thread: from there on the same steps as
    // Open. Refused, with the device closed, while the port is open or when there is no device.
    void OpenWith(std::unique_ptr<serialdev::SerialDevice> Device);
    void Close();
    bool Active() const { return FDevice != nullptr; }
    // The open device's operating-system handle (the file descriptor on Linux, the HANDLE on
    // Windows), for a caller's own queries of the line; the invalid value (-1,
    // INVALID_HANDLE_VALUE) exactly while the port is closed.
    serialdev::NativeHandle Handle() const {
        return FDevice ? FDevice->Handle() : serialdev::InvalidNativeHandle();
    }
    void Loaded() override;  // AfterLoad
    void AfterLoad() { Loaded(); }
    std::string DevicePath() const;
    void CheckClosed() const;

    // ---- settings
    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool Value) { FAutoOpen = Value; }
    TVaBaudrate Baudrate() const { return FBaudrate; }
    void SetBaudrate(TVaBaudrate Value);
    int32_t UserBaudrate() const { return FUserBaudrate; }
    void SetUserBaudrate(int32_t Value);
    TVaParity Parity() const { return FParity; }
    void SetParity(TVaParity Value);
    TVaDatabits Databits() const { return FDatabits; }
    void SetDatabits(TVaDatabits Value);
    TVaStopbits Stopbits() const { return FStopbits; }
    void SetStopbits(TVaStopbits Value);
    TVaCommOptions Options() const { return FOptions; }
    void SetOptions(TVaCommOptions Value);
    TVaEventChars& EventChars() { return *FEventChars; }
    const TVaEventChars& EventChars() const { return *FEventChars; }
    void SetEventChars(const TVaEventChars& Value);
    TVaFlowControl& FlowControl() { return *FFlowControl; }
    const TVaFlowControl& FlowControl() const { return *FFlowControl; }
    void SetFlowControl(const TVaFlowControl& Value);
    TVaPortInt PortNum() const { return FPortNum; }
    void SetPortNum(TVaPortInt Value);
    const std::string& DeviceName() const { return FDeviceName; }
    void SetDeviceName(const std::string& Value);
    TVaCommEvents MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TVaCommEvents Value);
    TVaBuffers& Buffers() { return *FBuffers; }
    const TVaBuffers& Buffers() const { return *FBuffers; }
    void SetBuffers(const TVaBuffers& Value);
    TThreadPriority EventPriority() const { return FEventPriority; }
    void SetEventPriority(TThreadPriority Value);
    TThreadPriority WritePriority() const { return FWritePriority; }
    void SetWritePriority(TThreadPriority Value);
    bool DirectWrite() const { return FDirectWrite; }
    void SetDirectWrite(bool Value);
    bool UpdateDCB() const { return FUpdateDCB; }
    void SetUpdateDCB(bool Value);
    TVaDisplay* Display() const { return FDisplay; }
    void SetDisplay(TVaDisplay* Value);
    std::string Version() const;
    void SetVersion(const std::string&) {}
    bool SyncEvents() const { return FSyncEvents; }
    void SetSyncEvents(bool Value) { FSyncEvents = Value; }
    bool ListenersEnabled() const { return FListenersEnabled; }
    void SetListenersEnabled(bool Value) { FListenersEnabled = Value; }
    // The operating-system event mask that ApplyEventMask computed.
    uint32_t EventMask() const { return FEventMask; }

    // ---- apply operations (do nothing on a closed port, except that ApplyEventMask always
    // computes EventMask)
    void ApplyDCB();
    void ApplyBuffers();
    void ApplyTimeouts();
    void ApplyEventMask();

    // ---- locks: the read lock is taken before the write lock where both are needed
    void LockWrite() { FWriteLock.Enter(); }
    void UnlockWrite() { FWriteLock.Leave(); }
    void LockRead() { FReadLock.Enter(); }
    void UnlockRead() { FReadLock.Leave(); }
    [[nodiscard]] std::unique_lock<TVaCriticalSection> ReadGuard() { return std::unique_lock(FReadLock); }
    [[nodiscard]] std::unique_lock<TVaCriticalSection> WriteGuard() { return std::unique_lock(FWriteLock); }

    // ---- read path and status
    int32_t ReadBuf(void* Buffer, int32_t Count);
    bool ReadChar(uint8_t& Ch);
    void GetComStat(TVaComStat& Rec);
    int32_t ReadBufUsed();
    void Purge(uint32_t Flags);
    void PurgeReadWrite() { Purge(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR); }

    // ---- write path (VaCommWrite.cpp)
    int32_t WriteBuf(const void* Buffer, int32_t Count);
    bool WriteText(const std::string& S);
    bool WriteChar(uint8_t Ch);

    // ---- event dispatch (VaCommEvents.cpp)
    virtual void HandleRxChar();
    virtual void HandleEvents(uint32_t Mask);
    virtual void NotifyListenerEvents(uint32_t Mask);
    virtual void NotifyListenerData(PVaData Data, int32_t Count);
    bool CheckLineErrors();
    void RemoveListener(TVaCommListener* Listener);
    void RemoveAllListeners();
    std::vector<TVaCommListener*>& Listeners() { return FListeners; }

    // ---- what the threads use
    TVaCommEventThread* EventThread() const { return FEventThread.get(); }
    TVaCommWriteThread* WriteThread() const { return FWriteThread.get(); }
    TVaWaitEvent& WaitEvent() { return FWaitEvent; }
    // The open device, null when closed.
    serialdev::SerialDevice* Device() const { return FDevice.get(); }
    TVaInputQueue& InputQueue() { return FInputQueue; }

    // ---- events
    TNotifyEvent OnOpen;
    TNotifyEvent OnClose;
    TNotifyEvent OnCts;
    TNotifyEvent OnDsr;
    TNotifyEvent OnRlsd;
    TNotifyEvent OnRing;
    TNotifyEvent OnBreak;
    TVaCommErrorEvent OnError;
    TVaCommRxCharEvent OnRxChar;
    TVaCommRxBufEvent OnRxBuf;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnPErr;
    TNotifyEvent OnRx80Full;
    TNotifyEvent OnEvent1;
    TNotifyEvent OnEvent2;
    // The other side went away (unit unplugged, pseudo-terminal closed): raised once, on the main
    // thread, by the event thread, which then reports nothing more until the port is closed.
    // A port whose calls fail and which then leaves the system's port list hangs up as well.
    TNotifyEvent OnHangup;
    // The port's waits or reads kept failing for some seconds while the system still listed it
    // (a driver error, not a hang-up): raised once, on the main thread, instead of OnHangup; the
    // event thread then reports nothing more until the port is closed.
    TVaCommFailureEvent OnPortFailure;

protected:
    virtual void CreateHandle();
    void DestroyHandle();
    virtual void StartThreads();
    void StopThreads();
    void DoOpen();
    void DoClose();
    // Open's steps on the device just stored: settings, threads, OnOpen; closed again on failure.
    void StartOnDevice();
    void Notification(toolkit::TComponent* AComponent, toolkit::TOperation Operation) override;
    [[noreturn]] void RaiseCommError(const std::string& Template, int Error) const;
    void CheckCommResult(int Error, const std::string& Template) const;

private:
    void BuffersChanged(TVaPersistent* Sender);
    void EventCharsChanged(TVaPersistent* Sender);
    void FlowControlChanged(TVaPersistent* Sender);
    serialdev::LineSettings BuildLineSettings() const;
    template <class TThreadClass>
    void EndThread(std::shared_ptr<TThreadClass>& Slot);
    void WatchInputQueue();
    // Gives the number of bytes waiting (ReadBufUsed's figure) with all of them in the own queue,
    // so a handler's byte-at-a-time reads never reach the device: what the event thread has
    // queued, or else what one read moves from the port into the queue.
    int32_t CountWaitingInQueue();

    // Shared with their deliveries and with every wait on them (see TVaCommThread).
    std::shared_ptr<TVaCommEventThread> FEventThread;
    std::shared_ptr<TVaCommWriteThread> FWriteThread;

    std::unique_ptr<serialdev::SerialDevice> FDevice;
    TVaCriticalSection FWriteLock;
    TVaCriticalSection FReadLock;
    TVaWaitEvent FWaitEvent;
    TVaInputQueue FInputQueue;
    uint32_t FEventMask = 0;
    bool FAutoOpen = false;
    TVaPortInt FPortNum = 0;
    std::string FDeviceName = "COM%d";
    TVaCommEvents FMonitorEvents{ceError, ceRxChar, ceTxEmpty};
    std::unique_ptr<TVaBuffers> FBuffers;
    TThreadPriority FEventPriority = tpNormal;
    TThreadPriority FWritePriority = tpHighest;
    bool FDirectWrite = false;
    bool FListenersEnabled = true;
    std::vector<TVaCommListener*> FListeners;
    TVaBaudrate FBaudrate = br1200;
    TVaParity FParity = paNone;
    TVaDatabits FDatabits = db8;
    TVaStopbits FStopbits = sb1;
    TVaCommOptions FOptions;
    std::unique_ptr<TVaFlowControl> FFlowControl;
    std::unique_ptr<TVaEventChars> FEventChars;
    bool FUpdateDCB = true;
    int32_t FUserBaudrate = 0;
    TVaDisplay* FDisplay = nullptr;
    bool FSyncEvents = true;
};

// The component as the window's design holds it; adds nothing.
class TVaComm : public TVaCustomComm {
public:
    explicit TVaComm(toolkit::TComponent* AOwner = nullptr) : TVaCustomComm(AOwner) {}
    std::string ClassName() const override { return "TVaComm"; }
};
