#pragma once
// The device layer: one open serial device (a tty). The component reaches the port only
// through this interface; the Linux implementation talks to the kernel, the fake device
// replays a script for tests. Operations answer 0 or an errno value; the component turns a
// non-zero answer into its failure message. What a device cannot do is answered with
// ENOTSUP, never degraded silently.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "LineEvents.h"

namespace serialdev {

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
    Ready,        // readable (WaitReadable) or a modem line changed (WaitModemChange)
    HungUp,       // the line is gone (other side closed, unit unplugged); stays so for ever
    Woken,        // Wake / CancelModemWait
    TimedOut,
    Unsupported,  // the device cannot wait for this (modem lines on a pseudo-terminal)
    Failed,
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;  // closes the device; unsent output is discarded
    SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    virtual const std::string& Path() const = 0;

    // Writes every setting at once and reads it back; a setting the device did not keep is a
    // failure (EINVAL), one it cannot have is refused with ENOTSUP before anything is written.
    virtual int ApplySettings(const LineSettings& settings) = 0;
    // The driver's queue sizes and the read/write time-outs: accepted as they are on a tty.
    virtual int SetQueueSizes(uint32_t input, uint32_t output) = 0;
    virtual int SetTimeouts() = 0;
    virtual int SetEventMask(uint32_t mask) = 0;

    // Queue counts and the line errors pending since the last query; the errors are cleared.
    virtual int QueryStatus(DeviceStatus& status) = 0;
    // EV_ERR / EV_BREAK for line errors or breaks that arrived since the previous call; the
    // errors stay pending for QueryStatus.
    virtual int CollectLineEvents(uint32_t& events) = 0;
    virtual int Purge(bool input, bool output) = 0;

    // Never blocks: "no data" is 0 bytes. A hang-up gives 0 bytes and HungUp() true.
    virtual int Read(uint8_t* buffer, size_t count, size_t& received) = 0;
    // Writes as much as the line takes within timeoutMs (poll for room, partial writes
    // accepted); `written` says how much went out, also on a time-out (which is not an error).
    virtual int Write(const uint8_t* buffer, size_t count, int timeoutMs, size_t& written) = 0;

    // Descriptor for epoll: readable when data arrived or the line hung up.
    virtual int PollFd() const = 0;
    virtual bool Readable() = 0;
    virtual bool HungUp() const = 0;
    // Blocks until readable, hang-up, Wake or the time-out (-1: none).
    virtual WaitOutcome WaitReadable(int timeoutMs) = 0;
    // Ends WaitReadable at once, now and until ResetWake: a wake is never lost.
    virtual void Wake() = 0;
    virtual void ResetWake() = 0;
    // Blocks until CTS, DSR, carrier or ring change (EV_CTS, EV_DSR, EV_RLSD, EV_RING in
    // `events`), or until CancelModemWait. Unsupported where the driver cannot wait for them.
    virtual WaitOutcome WaitModemChange(uint32_t& events) = 0;
    virtual void CancelModemWait() = 0;
};

struct OpenResult {
    std::unique_ptr<SerialDevice> Device;
    int Error = 0;  // errno when Device is null; ENOENT when there is no such device
};

using DeviceOpener = std::function<OpenResult(const std::string& path)>;

// Opens through the installed opener (the Linux tty when none is installed).
OpenResult OpenDevice(const std::string& path);
// Installs an opener (empty: back to the Linux tty) and returns the previous one.
DeviceOpener SetDeviceOpener(DeviceOpener opener);
// The Linux tty, exclusive to this process while open.
OpenResult OpenLinuxTty(const std::string& path);

} // namespace serialdev
