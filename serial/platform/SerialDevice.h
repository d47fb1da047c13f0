#pragma once
// The device layer: one open serial device. The component reaches the port only through this
// interface; each operating system has its own class behind it, and a scripted fake replays a
// line for tests. Nothing here is a file descriptor or handle: the component's threads wait
// through the device ("bytes or a line event arrived, or a wake was asked for"; "the line took
// output, or a wake was asked for") and make no system call themselves.
//
// Operations answer 0 or the system's error number (errno on Linux, a Win32 error code on
// Windows); the component turns a non-zero answer into its failure message. What a device
// cannot do is refused out loud (IsUnsupported holds for the answer), never degraded silently.
//
// Threads: the event thread waits in WaitEvents (and the modem-line watcher in
// WaitModemChange); the writer thread, or the main thread for direct writes, in Write. Every
// other operation comes from the main thread or from the event thread under the component's
// own locks. The Wake calls may come from any thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "LineEvents.h"

namespace serialdev {

// The operating system's own handle of an open device, for callers that query the line with
// their own system calls: the file descriptor on Linux, the HANDLE on Windows.
#ifdef _WIN32
using NativeHandle = void*;
// INVALID_HANDLE_VALUE, without <windows.h> in every includer.
inline NativeHandle InvalidNativeHandle() { return reinterpret_cast<void*>(static_cast<intptr_t>(-1)); }
#else
using NativeHandle = int;
inline NativeHandle InvalidNativeHandle() { return -1; }
#endif

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OneAndHalf, Two };
enum class DtrControl : uint8_t { Disabled, Enabled, Handshake };
enum class RtsControl : uint8_t { Disabled, Enabled, Handshake, Toggle };

// Every line setting, written at once.
struct LineSettings {
    uint32_t BaudRate = 9600;  // bits per second; any rate
    uint8_t DataBits = 8;      // 5..8 (4 is refused)
    Parity ParityMode = Parity::None;
    StopBits Stop = StopBits::One;
    bool ParityCheck = false;       // check received parity
    bool ErrorCharReplace = false;  // bytes received with errors become ErrorChar
    bool NullStrip = false;         // drop received zero bytes
    bool OutCtsFlow = false;
    bool OutDsrFlow = false;
    DtrControl Dtr = DtrControl::Disabled;
    RtsControl Rts = RtsControl::Disabled;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = false;
    uint16_t XonLimit = 0;
    uint16_t XoffLimit = 0;
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
    uint8_t ErrorChar = 0;
    uint8_t EofChar = 0;
    uint8_t EventChar = 0;
};

struct DeviceStatus {
    uint32_t Errors = 0;    // CE_* bits pending since the last query
    uint32_t InQueue = 0;   // bytes the driver holds for reading
    uint32_t OutQueue = 0;  // bytes the driver still has to send
};

enum class WaitOutcome : uint8_t {
    Ready,        // there are events (WaitEvents, WaitModemChange)
    HungUp,       // the line is gone (other side closed, unit unplugged); stays so for ever
    Woken,        // a wake was asked for (WakeEvents, CancelModemWait)
    Unsupported,  // the device cannot wait for this (modem lines on a pseudo-terminal)
    Failed,       // the wait itself failed; waiting again will not help
};

// What received bytes do to WaitEvents.
enum class ByteWatch : uint8_t {
    None,     // nothing: the wait ends only for line events, a hang-up or a wake
    Waiting,  // ends while unread bytes wait in the device
    Arrival,  // ends when new bytes arrive; bytes left unread do not end the next wait
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;  // closes the device; unsent output is discarded
    SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    virtual const std::string& Path() const = 0;
    // The open device's own handle, valid as long as this object lives. Only the component
    // hands it out (its Handle); the threads never use it.
    virtual NativeHandle Handle() const = 0;

    // ---- settings, written by the main thread while it holds the port
    // Writes every setting at once and reads it back; a setting the device did not keep is a
    // failure, one it cannot have is refused (IsUnsupported) before anything is written.
    virtual int ApplySettings(const LineSettings& settings) = 0;
    // The driver's queue sizes (the component sizes its own queues from them as well).
    virtual int SetQueueSizes(uint32_t input, uint32_t output) = 0;
    // Reads return at once with what has arrived; writes wait as Write says.
    virtual int SetTimeouts() = 0;
    // The EV_* events WaitEvents is to report.
    virtual int SetEventMask(uint32_t mask) = 0;

    // ---- status
    // Queue counts and the line errors pending since the last query; the errors are cleared.
    virtual int QueryStatus(DeviceStatus& status) = 0;
    // PURGE_* bits: empties the driver's queues as asked; the abort bits end a Write or a
    // WaitEvents that is waiting.
    virtual int Purge(uint32_t flags) = 0;
    // True once the line is gone; it stays so until the device is closed.
    virtual bool HungUp() const = 0;

    // ---- data
    // Never blocks: "no data" is 0 bytes. A hang-up gives 0 bytes and HungUp() true.
    virtual int Read(uint8_t* buffer, size_t count, size_t& received) = 0;
    // Writes as much as the line takes, waiting for room up to timeoutMs (0: not at all,
    // kNoTimeout: as long as it takes). A wait for room also ends once WakeWriter is asked for.
    // Neither a time-out nor a wake is an error: `written` says how much went out, and bytes
    // not counted there were not sent (nothing stays pending behind the caller's back).
    virtual int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) = 0;
    // Ends the wait for room of the Write now running, or else of the next one. A wake is
    // never lost, and one Write consumes it.
    virtual void WakeWriter() = 0;

    // ---- events, waited for by the event thread
    // Blocks until there are events of the mask SetEventMask gave (their EV_* bits in
    // `events`: EV_RXCHAR as `bytes` says, EV_ERR and EV_BREAK for line errors and breaks
    // since the last report, the modem-line bits where the device reports them here), the
    // line hangs up (HungUp; `events` may still hold what came before), or WakeEvents was asked
    // for (Woken). A wake is never lost, and one wait consumes it. Line errors stay pending for
    // QueryStatus.
    virtual WaitOutcome WaitEvents(ByteWatch bytes, uint32_t& events) = 0;
    virtual void WakeEvents() = 0;
    // The system's error number behind the last WaitEvents that answered Failed; 0 where that
    // failure had none. Asked by the waiting thread only.
    virtual int WaitError() const = 0;
    // Reads the system's port list again (RemovalWatch): true once the port has left it since
    // the device opened, or the line hung up otherwise. A port that left the list counts as hung
    // up from then on. For a thread whose calls keep failing while the list still names the port.
    virtual bool CheckGone() = 0;
    // Blocks until CTS, DSR, carrier or ring change (EV_CTS, EV_DSR, EV_RLSD, EV_RING in
    // `events`), or until CancelModemWait. Unsupported where the driver cannot wait for them,
    // or where WaitEvents reports them itself.
    virtual WaitOutcome WaitModemChange(uint32_t& events) = 0;
    // Ends WaitModemChange for good, now or before it starts; safe from any thread.
    virtual void CancelModemWait() = 0;

    static constexpr int kNoTimeout = -1;
};

struct OpenResult {
    std::unique_ptr<SerialDevice> Device;
    int Error = 0;  // the system's error number when Device is null
};

using DeviceOpener = std::function<OpenResult(const std::string& path)>;

// Opens through the installed opener (the operating system's device when none is installed).
OpenResult OpenDevice(const std::string& path);
// Installs an opener (empty: back to the operating system's device) and returns the previous.
DeviceOpener SetDeviceOpener(DeviceOpener opener);
// The operating system's serial device, exclusive to this process while open.
OpenResult OpenSystemDevice(const std::string& path);
// The error OpenDevice(path) would certainly fail with because no device is there, found
// without opening anything (Linux: ENOENT); 0 where one may be there, where the system cannot
// tell without opening (Windows), or where an opener is installed. For a search that asks after
// a port many times a second before its adapter is plugged in.
int DeviceAbsenceError(const std::string& path);
int SystemDeviceAbsenceError(const std::string& path);

// The path a device name stands for (Windows: in the "\\.\" device namespace).
std::string SystemDevicePath(const std::string& name);

// Whether the system still lists a port, asked with the path the device was opened with. A
// device whose port is no longer listed has gone away (a USB adapter pulled out), whatever
// error its calls answer: every device class then takes the line as hung up. Answers true
// where it cannot tell.
using PortListedCheck = std::function<bool(const std::string& path)>;
bool IsPortListed(const std::string& path);
// Installs a check (empty: the system's own, SystemPortListedCheck()) and returns the previous.
PortListedCheck SetPortListedCheck(PortListedCheck check);
// The system's own list. Windows: the string values under HKLM\<registryKey>, compared without
// the device namespace prefix and regardless of case (no key: no ports; a value that cannot be
// read: cannot tell). Linux: the device node is still there (udev takes it away with the
// adapter; a hang-up mostly shows in the line first).
PortListedCheck SystemPortListedCheck(const std::string& registryKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM");

// For a device class: tells, when one of its calls fails, whether the port has left the
// system's list since the device opened. A port that was not listed at open (a virtual port
// named on the command line) is never taken as gone this way. Asks the list only when called.
class RemovalWatch {
public:
    explicit RemovalWatch(std::string path) : FPath(std::move(path)), FListedAtOpen(IsPortListed(FPath)) {}
    bool Gone() const { return FListedAtOpen && !IsPortListed(FPath); }

private:
    std::string FPath;
    bool FListedAtOpen;
};

// The one reading of an error number, per operating system.
// The path names no device (the component's "Specified device not found").
bool IsNoSuchDevice(int error);
// The device or its driver cannot do what was asked: nothing to report, not a failure.
bool IsUnsupported(int error);

} // namespace serialdev
