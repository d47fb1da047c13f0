// Playing a recorded session back: which files are refused at the start and why, that a file
// removed or replaced after the start still plays at every setup, and the speed's bounds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "SessionReplay.h"
#include "UnitSim.h"
#include "toolkit/UniqueFd.h"

namespace {

namespace fs = std::filesystem;
using unitsim::ReplayBytes;
using unitsim::SessionReplay;

const std::string kStatusRow =
    "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 00 07 2c 64 00 01\n";
const std::string kNameRow = "2026-12-07T09:43:51.200+01:00,2,name,,,,,,,5,SIM-UNIT,4e 05 53 49 4d 2d 55 4e 49 54\n";

// The header of the format the rows above are written in (a later version's header may have more
// columns; these rows stay in this one's).
std::string Header() {
    return "time,record,kind,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name,bytes_hex\n";
}

// The message a replay of these bytes is refused with; empty when it is accepted.
std::string Refusal(const std::string& bytes) {
    try {
        SessionReplay replay(ReplayBytes(bytes), "s.csv");
        return {};
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

TEST(SessionReplay, AFileWithNoPlayableRowIsRefusedAtTheStartWithTheReason) {
    const struct {
        std::string bytes;
        const char* says;
    } cases[] = {
        {"", "s.csv is empty"},
        {"time,record\n" + kStatusRow, "not a recorded session"},
        {Header(), "no rows after the header"},
        {Header() + "\n\r\n", "no rows after the header"},
        {Header() + "a,b,c\n", "line 2: 3 fields, not 12"},
        {Header() + "yesterday,1,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 00\n", "time 'yesterday' is not a time"},
        {Header() + "2026-12-07T09:43:51.123+01:00,1,status,seven,44,12 R,100,0,1,5,SIM-UNIT,53 00\n",
         "car 'seven' is not a number from 0 to 255"},
        {Header() + "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,2,5,SIM-UNIT,53 00\n",
         "lane_change '2' is not a number from 0 to 1"},
        {Header() + "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,SIM-UNIT,53 zz\n",
         "bytes_hex '53 zz' is not pairs of hex digits"},
        {Header() + "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,5,SIM-UNIT,\n", "bytes_hex '' is not"},
        {Header() + "2026-12-07T09:43:51.123+01:00,1,bogus,7,44,12 R,100,0,1,5,SIM-UNIT,53 00\n",
         "kind 'bogus' is neither status nor name"},
        {Header() + std::string(kStatusRow).replace(40, 1, 1, '\0'), "NUL byte"},
        {Header() + std::string(300, '\0'), "line 2: it holds a NUL byte"},  // what a crash can leave
        {Header() + "\"unclosed,1\n", "a quoted field is not closed"},
        {Header() + std::string(SessionReplay::kMaxRowBytes + 10, 'x') + "\n", "longer than 65536 bytes"},
        {Header() + "a,b\n" + "c\n", "2 rows, none readable (line 2: 2 fields"},
    };
    for (const auto& c : cases) {
        const std::string said = Refusal(c.bytes);
        EXPECT_NE(said.find(c.says), std::string::npos) << "said: " << said << "\nexpected: " << c.says;
    }
}

TEST(SessionReplay, UnreadableRowsAreSkippedAndEverySetupPlaysFromTheStart) {
    const std::string bytes = Header() + "not,a,row\n" + kStatusRow + "\r\n" + kNameRow + std::string(70000, 'y') +
                              "\n" + kStatusRow.substr(0, 40);  // the last row cut off by a crash
    SessionReplay replay(ReplayBytes(bytes), "s.csv");
    EXPECT_EQ(replay.IdentityRecord(), std::string("N\x05SIM-UNIT", 10));
    for (int setup = 0; setup < 2; ++setup) {
        replay.Rewind();
        const auto first = replay.Next();
        ASSERT_TRUE(first.has_value());
        EXPECT_EQ(first->bytes, std::string("S\0\x07\x2c\x64\0\x01", 7));
        EXPECT_EQ(first->time.utcMs, 1796633031123LL);  // 08:43:51.123 UTC
        const auto second = replay.Next();
        ASSERT_TRUE(second.has_value());
        EXPECT_EQ(second->time.utcMs - first->time.utcMs, 77);
        EXPECT_FALSE(replay.Next().has_value());
        EXPECT_EQ(replay.SkippedRows(), 3u) << "the short row, the over-long line and the cut-off row";
    }
}

TEST(SessionReplay, ANameWithAFormulaGuardOrWideCharactersBecomesTheUnitsOwnText) {
    const std::string row = "2026-12-07T09:43:51.123+01:00,1,status,7,44,12 R,100,0,1,255,'=Bäñ€X,53 00\n";
    SessionReplay replay(ReplayBytes(Header() + row), "s.csv");
    EXPECT_EQ(replay.IdentityRecord(), std::string("N\xff=B\xe4\xf1?X\0\0", 10));
}

TEST(SessionReplay, ColumnsAreFoundByTheirHeaderNames) {
    // Moved columns and one this version does not know (a later version's) play as written.
    const std::string header =
        "bytes_hex,kind,time,extra,record,car,last_lb,last_lb_text,drive_pwm,brake_pwm,lane_change,unit_id,unit_name\n";
    const std::string row = "53 00 07 2c 64 00 01,status,2026-12-07T09:43:51.123+01:00,?,1,7,44,12 R,100,0,1,5,SIM-UNIT\n";
    SessionReplay replay(ReplayBytes(header + row), "s.csv");
    EXPECT_EQ(replay.IdentityRecord(), std::string("N\x05SIM-UNIT", 10));
    const auto first = replay.Next();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->bytes, std::string("S\0\x07\x2c\x64\0\x01", 7));
    EXPECT_EQ(first->time.utcMs, 1796633031123LL);

    // Without the unit's columns it plays and names no unit; without the bytes there is nothing to send.
    const std::string noUnit = "time,record,kind,car,last_lb,drive_pwm,brake_pwm,lane_change,bytes_hex\n"
                               "2026-12-07T09:43:51.123+01:00,1,status,7,44,100,0,1,53 00\n";
    SessionReplay anonymous(ReplayBytes(noUnit), "s.csv");
    EXPECT_EQ(anonymous.IdentityRecord(), "");
    EXPECT_TRUE(anonymous.Next().has_value());
    EXPECT_NE(Refusal("time,record,kind,car,last_lb,drive_pwm,brake_pwm,lane_change\n"
                      "2026-12-07T09:43:51.123+01:00,1,status,7,44,100,0,1\n")
                  .find("missing column 'bytes_hex'"),
              std::string::npos);
    EXPECT_NE(Refusal("time,record,kind,last_lb,drive_pwm,brake_pwm,lane_change,bytes_hex\n").find("missing column 'car'"),
              std::string::npos);
}

class TempDir {
public:
    TempDir() {
        char path[] = "/tmp/replay-test-XXXXXX";
        if (mkdtemp(path) == nullptr) throw std::runtime_error("mkdtemp");
        FPath = path;
    }
    ~TempDir() { fs::remove_all(FPath); }
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(SessionReplay, AFileRemovedOrReplacedAfterTheStartStillPlaysAsItWas) {
    TempDir dir;
    const fs::path file = dir.Path() / "session.csv";
    Write(file, Header() + kStatusRow + kNameRow);
    SessionReplay replay(file.string());
    fs::remove(file);
    replay.Rewind();
    EXPECT_TRUE(replay.Next().has_value());

    Write(file, Header());  // a new file under the old name
    replay.Rewind();
    EXPECT_TRUE(replay.Next().has_value());
    EXPECT_TRUE(replay.Next().has_value());
    EXPECT_FALSE(replay.Next().has_value());

    EXPECT_THROW(SessionReplay(file.string()), std::runtime_error) << "the new file has no rows";
    EXPECT_THROW(SessionReplay((dir.Path() / "missing.csv").string()), std::runtime_error);
    EXPECT_THROW(SessionReplay(dir.Path().string()), std::runtime_error) << "a folder";
}

TEST(SessionReplay, TheSpeedMustBeWithinItsStatedRange) {
    TempDir dir;
    const fs::path file = dir.Path() / "session.csv";
    Write(file, Header() + kStatusRow);
    for (double speed : {0.0, 1e-300, 0.009, 10001.0, -1.0}) {
        unitsim::Options o;
        o.replayPath = file.string();
        o.replaySpeed = speed;
        EXPECT_THROW(unitsim::UnitSim sim(o), std::runtime_error) << speed;
    }
    unitsim::Options o;
    o.replayPath = file.string();
    o.replaySpeed = unitsim::kMinReplaySpeed;
    EXPECT_NO_THROW(unitsim::UnitSim sim(o));
}

// The window's side of the line: opens the unit's device raw and reads what it sends.
class Line {
public:
    explicit Line(const std::string& device) : FFd(open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios raw{};
        if (FFd.Valid() && tcgetattr(FFd.Get(), &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(FFd.Get(), TCSANOW, &raw);
        }
    }
    bool Send(const std::string& bytes) { return write(FFd.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }
    // Reads until `count` line ends have arrived (or the limit passes); returns what came.
    std::string ReadLines(int count) {
        std::string got;
        int ends = 0;
        while (ends < count) {
            pollfd p{FFd.Get(), POLLIN, 0};
            if (poll(&p, 1, 60000) <= 0) break;  // a limit for a loaded machine, not a pace
            char buf[256];
            const ssize_t n = read(FFd.Get(), buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) ends += buf[i] == '\r';
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }

private:
    toolkit::UniqueFd FFd;
};

// The simulated unit replaying a file at the fastest speed on a thread of its own, with the
// lines it prints kept; stopped and joined when it goes.
class ReplayingUnit {
public:
    explicit ReplayingUnit(const fs::path& file)
        : FSim(Options(file), [this](const std::string& line) {
              std::lock_guard<std::mutex> lock(FMutex);
              FLog += line + "\n";
              FChanged.notify_all();
          }),
          FRun([this] { FSim.Run(); }) {}
    ~ReplayingUnit() {
        FSim.Stop();
        FRun.join();
    }

    std::string DevicePath() const { return FSim.DevicePath(); }
    // Waits until what the unit printed satisfies done(log); false once the limit has passed. The
    // limit only keeps a broken build from hanging, as generous as the window tests' own: a
    // loaded machine (sanitizers, a parallel build) may be slow to run the unit's thread.
    template <class Pred>
    bool WaitForLog(Pred done, std::chrono::milliseconds limit = std::chrono::milliseconds(60000)) {
        std::unique_lock<std::mutex> lock(FMutex);
        return FChanged.wait_for(lock, limit, [&] { return done(FLog); });
    }
    std::string Log() {
        std::lock_guard<std::mutex> lock(FMutex);
        return FLog;
    }

private:
    static unitsim::Options Options(const fs::path& file) {
        unitsim::Options o;
        o.replayPath = file.string();
        o.replaySpeed = unitsim::kMaxReplaySpeed;
        return o;
    }

    std::mutex FMutex;
    std::condition_variable FChanged;
    std::string FLog;
    unitsim::UnitSim FSim;
    std::thread FRun;
};

TEST(SessionReplay, TheUnitPlaysAFileRemovedAfterItStartedAtEverySetup) {
    TempDir dir;
    const fs::path file = dir.Path() / "session.csv";
    Write(file, Header() + kStatusRow + kNameRow);
    ReplayingUnit unit(file);
    fs::remove(file);

    Line line(unit.DevicePath());
    for (int setup = 1; setup <= 2; ++setup) {
        ASSERT_TRUE(line.Send("N"));
        EXPECT_EQ(line.ReadLines(1), "IWRX\r");
        ASSERT_TRUE(line.Send(unitsim::kSetupCommand));
        // The unit's name, then the two recorded records.
        const std::string got = line.ReadLines(3);
        EXPECT_NE(got.find(std::string("N\x05SIM-UNIT", 10)), std::string::npos) << setup;
        EXPECT_NE(got.find(std::string("S\0\x07\x2c\x64\0\x01\r", 8)), std::string::npos) << setup;
        const std::string done = "replay-done 2 records, 0 rows skipped, 0 gaps over 60 s shortened\n";
        EXPECT_TRUE(unit.WaitForLog([&](const std::string& log) {
            size_t n = 0;
            for (size_t at = log.find(done); at != std::string::npos; at = log.find(done, at + 1)) ++n;
            return n == static_cast<size_t>(setup);
        })) << unit.Log();
    }
}

TEST(SessionReplay, AGapOfYearsIsPlayedAsAMinuteAndCounted) {
    bool shortened = true;
    EXPECT_EQ(unitsim::ReplayGapMs(1000, 1077, shortened), 77);
    EXPECT_FALSE(shortened);
    EXPECT_EQ(unitsim::ReplayGapMs(5000, 1000, shortened), 0) << "a clock set back";
    EXPECT_FALSE(shortened);
    EXPECT_EQ(unitsim::ReplayGapMs(0, unitsim::kMaxReplayGapMs, shortened), unitsim::kMaxReplayGapMs);
    EXPECT_FALSE(shortened);
    EXPECT_EQ(unitsim::ReplayGapMs(INT64_MIN, INT64_MAX, shortened), unitsim::kMaxReplayGapMs);
    EXPECT_TRUE(shortened);

    // Through the unit: 2026, then 2031 (a damaged clock), then 2031 ten seconds on. Waiting out
    // the recorded gap, even scaled down by the fastest speed, would take hours.
    TempDir dir;
    const fs::path file = dir.Path() / "session.csv";
    Write(file, Header() + kStatusRow + "2031-12-07T09:43:51.123+01:00,2,status,8,44,12 R,100,0,1,5,SIM-UNIT,53 00 08\n" +
                    "2031-12-07T09:44:01.123+01:00,3,status,9,44,12 R,100,0,1,5,SIM-UNIT,53 00 09\n");
    ReplayingUnit unit(file);
    Line line(unit.DevicePath());
    ASSERT_TRUE(line.Send("N"));
    EXPECT_EQ(line.ReadLines(1), "IWRX\r");
    ASSERT_TRUE(line.Send(unitsim::kSetupCommand));
    EXPECT_NE(line.ReadLines(4).find(std::string("S\0\x09\r", 4)), std::string::npos);
    EXPECT_TRUE(unit.WaitForLog([](const std::string& log) { return log.find("replay-done") != std::string::npos; }));
    EXPECT_NE(unit.Log().find("replay-done 3 records, 0 rows skipped, 1 gap over 60 s shortened\n"), std::string::npos) << unit.Log();
}

} // namespace
