#pragma once
// Session files for the tests: written to a temporary folder, rows made by the writer's own code
// so the reader is tested against what the program writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/record/Columns.h"

namespace sessiontest {

namespace fs = std::filesystem;

// A file that is removed when the test ends.
class TempFile {
public:
    explicit TempFile(const std::string& content, const std::string& name = "session.csv") {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("torvane-session-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir_);
        path_ = dir_ / name;
        std::ofstream out(path_, std::ios::binary);
        out << content;
    }
    ~TempFile() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path dir_;
    fs::path path_;
};

// 2026-12-07 09:00:00.000 UTC, in milliseconds since 1970.
constexpr int64_t kT0 = 1796634000000;

// One status row as the writer writes it, at kT0 + ms, local time one hour ahead of UTC.
inline std::string StatusRow(int64_t ms, uint64_t number, uint8_t car, uint8_t drive, uint8_t brake, bool lane,
                             uint8_t lastLb = 0x2C, int utcOffsetMinutes = 60) {
    record::Record row;
    row.time = {kT0 + ms, utcOffsetMinutes};
    row.number = number;
    row.car = car;
    row.lastLb = lastLb;
    row.drivePwm = drive;
    row.brakePwm = brake;
    row.laneChange = lane;
    row.unitId = 5;
    row.unitName = "SIM-UNIT";
    row.bytes = std::string{'S', '\0', static_cast<char>(car), static_cast<char>(lastLb), static_cast<char>(drive),
                            static_cast<char>(brake), static_cast<char>(lane ? 1 : 0)};
    std::string out;
    record::AppendRow(out, row);
    return out;
}

inline std::string NameRow(int64_t ms, uint64_t number, int utcOffsetMinutes = 60) {
    record::Record row;
    row.kind = record::Kind::Name;
    row.time = {kT0 + ms, utcOffsetMinutes};
    row.number = number;
    row.unitId = 5;
    row.unitName = "SIM-UNIT";
    row.bytes = "N\x05SIM-UNIT";
    std::string out;
    record::AppendRow(out, row);
    return out;
}

inline std::string Fixture(const std::string& name) {
    std::ifstream in(fs::path(TORVANE_SESSION_FIXTURES) / name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace sessiontest
