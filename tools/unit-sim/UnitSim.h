#pragma once
// A simulated receiver unit on a pseudo-terminal. It answers the probe byte with the handshake
// line, checks the setup command byte for byte, then sends a name record and status records at
// a chosen pace. Every status record carries a sequence number in fields the window shows
// (car = bits 0-7, drive PWM = bits 8-15, brake PWM = bits 16-23), so a reader of the table can
// count lost and repeated records. With `cars` set it sends throttle-like records of that many
// cars in turn instead (ThrottleCars), for the demo and the plot.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BenchThrottles.h"
#include "SessionReplay.h"
#include "UnitWire.h"
#include "toolkit/UniqueFd.h"

namespace unitsim {

class ThrottleCars;

// The replay's pace, as a multiple of the recorded one.
constexpr double kMinReplaySpeed = 0.01;
constexpr double kMaxReplaySpeed = 10000;
// A longer gap between two recorded rows is a clock that was set (or a capture resumed much
// later), not a pause worth waiting through: it is played as this long, and counted.
constexpr int64_t kMaxReplayGapMs = 60 * 1000;
// The recorded gap between two rows as played, before the speed scales it: never negative (a
// clock set back), at most kMaxReplayGapMs. `shortened` tells whether it was cut.
int64_t ReplayGapMs(int64_t fromMs, int64_t toMs, bool& shortened);

struct Options {
    double recordsPerSecond = 50;  // pace by records (used when bytesPerSecond is 0)
    double bytesPerSecond = 0;     // pace by bytes on the line (45454 is 500000 baud 8N2)
    bool flood = false;            // as fast as the line takes them
    int sliceUs = 0;               // hand the line what is due once per slice (a USB adapter's 1000 us frame), 0: each record when due
    uint64_t count = 0;            // status records to send after each setup command (0: no limit)
    bool escapeAll = false;        // also escape bytes that need no escaping
    uint8_t unitId = 5;
    std::string name = "SIM-UNIT";  // up to 8 bytes, padded with zero bytes
    std::string linkPath;           // stable symlink to the current device, if not empty
    uint64_t nameEvery = 0;         // also send the name record after every N status records (0: never)
    std::string replayPath;         // play this recorded session back instead of counting records
    double replaySpeed = 1;         // the recorded pace times this, kMinReplaySpeed to kMaxReplaySpeed
    int cars = 0;                   // 1..255: throttle-like records of this many cars in turn, not sequence numbers
    std::vector<BenchThrottles::Car> throttles;  // cars with a throttle of a model, in turn (before `cars`)
    bool benchUser = false;         // a person takes the throttles through the check's steps, from each setup on
    uint32_t benchSeed = 1;         // the person's unevenness
};

class UnitSim {
public:
    using Log = std::function<void(const std::string& line)>;
    // Called with the time a status record's line end is handed to the line (just before the
    // write that carries it; again if a partial write left it behind).
    using RecordSent = std::function<void(uint32_t seq, int64_t monotonicNs)>;

    explicit UnitSim(Options options, Log log = {});
    ~UnitSim();
    UnitSim(const UnitSim&) = delete;
    UnitSim& operator=(const UnitSim&) = delete;

    const std::string& DevicePath() const { return FDevicePath; }
    RecordSent OnRecordSent;

    // Runs until Stop(); call from one thread only.
    void Run();
    // Thread-safe: ends Run().
    void Stop();
    // Thread-safe: the unit is unplugged (its side of the line closes) and comes back on a new
    // pseudo-terminal after `downMs`, behind the same symlink.
    void Replug(int downMs = 300);

    // Thread-safe: stop or resume sending status records (the line stays up).
    void SetPaused(bool paused);
    uint64_t RecordsSent() const { return FRecordsSent.load(); }
    uint64_t SetupCommandsOk() const { return FSetupOk.load(); }
    uint64_t SetupCommandsBad() const { return FSetupBad.load(); }

private:
    enum class State { WaitingForProbe, WaitingForSetup, Streaming, Unplugged };
    void OpenPty();
    void ClosePty();
    void HandleInput();
    void OnByte(uint8_t b);
    bool FlushPending();
    void QueueLine(const std::string& payload);
    void QueueStatusLine(const std::string& payload);
    void QueueDueRecords(int64_t now);
    void QueueDueReplayRecords(int64_t now);
    std::optional<ReplayRecord> NextReplayRecord();
    void SayReplayDone();
    bool MoreToSend() const;
    std::string NameRecord() const;
    std::string NextStatusPayload(int64_t dueNs);
    void Say(const std::string& line);

    Options FOptions;
    Log FLog;
    toolkit::UniqueFd FMaster;
    toolkit::UniqueFd FSlaveKeepAlive;
    toolkit::UniqueFd FWake;  // eventfd: Stop / Replug
    std::string FDevicePath;
    State FState = State::WaitingForProbe;
    std::string FSetupSeen;
    std::string FPending;  // bytes not yet taken by the line
    uint32_t FNextSeq = 0;
    uint64_t FSentSinceSetup = 0;
    uint64_t FShortenedGaps = 0;  // since the setup
    int64_t FNextDueNs = 0;
    int64_t FStreamStartNs = 0;
    std::unique_ptr<ThrottleCars> FCars;
    std::unique_ptr<BenchThrottles> FBench;  // made afresh at each setup
    std::atomic<bool> FStopRequested{false};
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FRestartPace{false};
    std::atomic<int> FReplugDownMs{-1};
    std::atomic<uint64_t> FRecordsSent{0};
    std::atomic<uint64_t> FSetupOk{0};
    std::atomic<uint64_t> FSetupBad{0};
    struct SentMark { size_t endOffset; uint32_t seq; };
    std::vector<SentMark> FMarks;  // where in FPending each status record ends
    std::unique_ptr<SessionReplay> FReplay;  // opened at the start, played from its start at each setup
    std::optional<ReplayRecord> FReplayNext;  // the next recorded record, due at FNextDueNs
};

} // namespace unitsim
