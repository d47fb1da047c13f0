#include "UnitSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <stdexcept>

#include "ThrottleCars.h"

namespace unitsim {

namespace {
const char kHandshake[] = "IWRX";

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
} // namespace

UnitSim::UnitSim(Options options, Log log) : FOptions(std::move(options)), FLog(std::move(log)) {
    if (!FOptions.replayPath.empty()) {
        if (!(FOptions.replaySpeed >= kMinReplaySpeed && FOptions.replaySpeed <= kMaxReplaySpeed)) {
            throw std::runtime_error("the replay speed must be from 0.01 to 10000");
        }
        // Read now, so a file that cannot be played fails at the start, and kept open, so one
        // removed or replaced later still plays.
        FReplay = std::make_unique<SessionReplay>(FOptions.replayPath);
    }
    if (FOptions.cars > 0) FCars = std::make_unique<ThrottleCars>(FOptions.cars);
    FWake.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!FWake.Valid()) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    OpenPty();  // a failure here gives the descriptors back with the members that own them
}

UnitSim::~UnitSim() {
    ClosePty();
    if (!FOptions.linkPath.empty()) unlink(FOptions.linkPath.c_str());
}

void UnitSim::OpenPty() {
    FMaster.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!FMaster.Valid() || grantpt(FMaster.Get()) != 0 || unlockpt(FMaster.Get()) != 0) {
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    }
    char name[128] = {};
    if (ptsname_r(FMaster.Get(), name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    FDevicePath = name;
    // Hold the other side open so the line stays up between the window's opens and closes.
    FSlaveKeepAlive.Reset(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios raw{};
    if (tcgetattr(FSlaveKeepAlive.Get(), &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(FSlaveKeepAlive.Get(), TCSANOW, &raw);
    }
    if (!FOptions.linkPath.empty()) {
        const std::string tmp = FOptions.linkPath + ".new";
        unlink(tmp.c_str());
        if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), FOptions.linkPath.c_str()) != 0) {
            throw std::runtime_error("cannot point " + FOptions.linkPath + " at " + name);
        }
    }
    FState = State::WaitingForProbe;
    FPending.clear();
    FMarks.clear();
    Say("device " + FDevicePath);
}

void UnitSim::ClosePty() {
    FSlaveKeepAlive.Reset();
    FMaster.Reset();
}

void UnitSim::Say(const std::string& line) {
    if (FLog) FLog(line);
}

void UnitSim::Stop() {
    FStopRequested = true;
    const uint64_t one = 1;
    (void)!write(FWake.Get(), &one, sizeof one);
}

void UnitSim::Replug(int downMs) {
    FReplugDownMs = downMs < 0 ? 0 : downMs;
    const uint64_t one = 1;
    (void)!write(FWake.Get(), &one, sizeof one);
}

void UnitSim::SetPaused(bool paused) {
    FPaused = paused;
    if (!paused) FRestartPace = true;  // resume at the pace, without a burst for the pause
    const uint64_t one = 1;
    (void)!write(FWake.Get(), &one, sizeof one);
}

std::string UnitSim::NextStatusPayload(int64_t dueNs) {
    if (FBench) return FBench->NextPayload(static_cast<double>(std::max<int64_t>(dueNs - FStreamStartNs, 0)) / 1e9);
    if (!FCars) return StatusPayload(FNextSeq);
    return FCars->NextPayload(static_cast<double>(std::max<int64_t>(dueNs - FStreamStartNs, 0)) / 1e9);
}

void UnitSim::QueueLine(const std::string& payload) { FPending += EncodeLine(payload, FOptions.escapeAll); }

void UnitSim::QueueStatusLine(const std::string& payload) {
    QueueLine(payload);
    FMarks.push_back({FPending.size(), FNextSeq});
    ++FNextSeq;
    ++FSentSinceSetup;
}

std::string UnitSim::NameRecord() const {
    std::string name = FOptions.name.substr(0, 8);
    name.resize(8, '\0');
    return std::string("N") + static_cast<char>(FOptions.unitId) + name;
}

bool UnitSim::MoreToSend() const {
    if (FReplay) return FReplayNext.has_value();
    return FOptions.count == 0 || FSentSinceSetup < FOptions.count;
}

void UnitSim::QueueDueRecords(int64_t now) {
    if (FReplay) {
        QueueDueReplayRecords(now);
        return;
    }
    // In flood mode: keep the line's buffer fed.
    while (MoreToSend() && (FOptions.flood ? FPending.size() < 4096 : FNextDueNs <= now)) {
        const size_t before = FPending.size();
        QueueStatusLine(NextStatusPayload(FOptions.flood ? now : FNextDueNs));
        const size_t lineBytes = FPending.size() - before;
        if (FOptions.nameEvery > 0 && FSentSinceSetup % FOptions.nameEvery == 0) QueueLine(NameRecord());
        if (FOptions.bytesPerSecond > 0) {
            FNextDueNs += static_cast<int64_t>(1e9 * static_cast<double>(lineBytes) / FOptions.bytesPerSecond);
        } else if (FOptions.recordsPerSecond > 0) {
            FNextDueNs += static_cast<int64_t>(1e9 / FOptions.recordsPerSecond);
        }
    }
}

void UnitSim::QueueDueReplayRecords(int64_t now) {
    // Records keep the gaps they were recorded with, scaled by the speed.
    while (FReplayNext && (FOptions.flood ? FPending.size() < 4096 : FNextDueNs <= now)) {
        QueueStatusLine(FReplayNext->bytes);
        std::optional<ReplayRecord> next = NextReplayRecord();
        if (!next) {
            SayReplayDone();
            FReplayNext.reset();
            break;
        }
        bool shortened = false;
        const int64_t gapMs = ReplayGapMs(FReplayNext->time.utcMs, next->time.utcMs, shortened);
        FShortenedGaps += shortened ? 1 : 0;
        FNextDueNs += static_cast<int64_t>(static_cast<double>(gapMs) * 1e6 / FOptions.replaySpeed);
        FReplayNext = std::move(next);
    }
}

int64_t ReplayGapMs(int64_t fromMs, int64_t toMs, bool& shortened) {
    shortened = false;
    if (toMs <= fromMs) return 0;
    // Unsigned, so that no time a damaged file holds makes the difference overflow.
    const uint64_t gap = static_cast<uint64_t>(toMs) - static_cast<uint64_t>(fromMs);
    shortened = gap > static_cast<uint64_t>(kMaxReplayGapMs);
    return shortened ? kMaxReplayGapMs : static_cast<int64_t>(gap);
}

void UnitSim::SayReplayDone() {
    Say("replay-done " + std::to_string(FSentSinceSetup) + " records, " + std::to_string(FReplay->SkippedRows()) +
        " rows skipped, " + std::to_string(FShortenedGaps) + (FShortenedGaps == 1 ? " gap" : " gaps") + " over " +
        std::to_string(kMaxReplayGapMs / 1000) + " s shortened");
}

std::optional<ReplayRecord> UnitSim::NextReplayRecord() {
    try {
        return FReplay->Next();
    } catch (const std::exception& e) {
        // The file is open, so only a failing disk gets here: the replay ends, the unit stays.
        Say(std::string("replay-failed ") + e.what());
        return std::nullopt;
    }
}

void UnitSim::OnByte(uint8_t b) {
    if (FState == State::WaitingForSetup) {
        FSetupSeen += static_cast<char>(b);
        if (FSetupSeen.size() < kSetupCommand.size()) return;
        if (FSetupSeen == kSetupCommand) {
            ++FSetupOk;
            Say("setup-ok");
            FState = State::Streaming;
            FSentSinceSetup = 0;
            FShortenedGaps = 0;
            FNextDueNs = MonotonicNs();
            FStreamStartNs = FNextDueNs;
            if (!FOptions.throttles.empty()) {
                FBench = std::make_unique<BenchThrottles>(FOptions.throttles, FOptions.benchUser, FOptions.benchSeed);
            }
            if (FReplay) {
                // Each setup plays the session from its start.
                try {
                    FReplay->Rewind();
                    FReplayNext = NextReplayRecord();
                } catch (const std::exception& e) {
                    Say(std::string("replay-failed ") + e.what());
                    FReplayNext.reset();
                }
                if (!FReplay->IdentityRecord().empty()) QueueLine(FReplay->IdentityRecord());
                if (!FReplayNext) SayReplayDone();
            } else {
                QueueLine(NameRecord());
            }
        } else {
            ++FSetupBad;
            Say("setup-bad " + Hex(FSetupSeen));
            FState = State::WaitingForProbe;
        }
        return;
    }
    if (b == 'N') {
        // A probe, also in the middle of streaming: the window is searching again.
        FPending.clear();
        FMarks.clear();
        FPending = std::string(kHandshake) + static_cast<char>(kLineEnd);
        FSetupSeen.clear();
        FState = State::WaitingForSetup;
        Say("probe");
    }
}

void UnitSim::HandleInput() {
    uint8_t buf[256];
    for (;;) {
        const ssize_t n = read(FMaster.Get(), buf, sizeof buf);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) OnByte(buf[i]);
    }
}

bool UnitSim::FlushPending() {
    while (!FPending.empty()) {
        // Stamp just before the write that hands the line ends over, so a reader that sees a
        // record has always seen its stamp; a record left over by a partial write is stamped again.
        if (OnRecordSent) {
            const int64_t now = MonotonicNs();
            for (const auto& m : FMarks) OnRecordSent(m.seq, now);
        }
        const ssize_t n = write(FMaster.Get(), FPending.data(), FPending.size());
        if (n < 0) return errno == EAGAIN || errno == EINTR || errno == EIO;
        FPending.erase(0, static_cast<size_t>(n));
        size_t done = 0;
        while (done < FMarks.size() && FMarks[done].endOffset <= static_cast<size_t>(n)) ++done;
        FRecordsSent += done;
        FMarks.erase(FMarks.begin(), FMarks.begin() + static_cast<std::ptrdiff_t>(done));
        for (auto& m : FMarks) m.endOffset -= static_cast<size_t>(n);
    }
    return true;
}

void UnitSim::Run() {
    while (!FStopRequested) {
        const int64_t now = MonotonicNs();
        if (FRestartPace.exchange(false)) FNextDueNs = now;
        const bool streaming = FState == State::Streaming && !FPaused && MoreToSend();
        if (streaming && FMaster.Valid()) QueueDueRecords(now);
        if (FMaster.Valid()) FlushPending();

        pollfd fds[2] = {{FWake.Get(), POLLIN, 0}, {FMaster.Get(), POLLIN, 0}};
        // Flooding: wake when the line takes more, with or without bytes still pending.
        if (FMaster.Valid() && (!FPending.empty() || (streaming && FOptions.flood))) fds[1].events |= POLLOUT;
        nfds_t nfds = FMaster.Valid() ? 2 : 1;
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (streaming && !FOptions.flood && FPending.empty()) {
            int64_t due = FNextDueNs;
            if (FOptions.sliceUs > 0) {
                const int64_t slice = static_cast<int64_t>(FOptions.sliceUs) * 1000;
                due = (due + slice - 1) / slice * slice;
            }
            const int64_t wait = due - MonotonicNs();
            timeout.tv_sec = wait > 0 ? wait / 1000000000LL : 0;
            timeout.tv_nsec = wait > 0 ? wait % 1000000000LL : 0;
            timeoutPtr = &timeout;
        }
        if (FState == State::Unplugged) {
            timeout = {0, 0};
            const int down = FReplugDownMs.exchange(-1);
            if (down >= 0) {
                timeout.tv_sec = down / 1000;
                timeout.tv_nsec = (down % 1000) * 1000000L;
            }
            timeoutPtr = &timeout;
        }
        const int ready = ppoll(fds, nfds, timeoutPtr, nullptr);
        if (ready < 0 && errno != EINTR) break;
        if (FState == State::Unplugged && ready == 0) {
            OpenPty();
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t v = 0;
            (void)!read(FWake.Get(), &v, sizeof v);
            if (FReplugDownMs.load() >= 0 && FState != State::Unplugged) {
                ClosePty();
                FState = State::Unplugged;
                Say("unplugged");
                continue;
            }
        }
        if (nfds == 2 && (fds[1].revents & POLLIN)) HandleInput();
    }
}

} // namespace unitsim
