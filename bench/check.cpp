// The throttle check's cost. First the analysis alone: RECORDS status records (2 million by
// default) of CARS simulated throttles, each taken through the check's steps by the bench user,
// held in memory and fed to the check, best of ROUNDS (target: at most 1 us a record). Then
// `torvane-capture --check` against `torvane-capture --summary` on the long session file of the
// session benchmark, alternating, best of ROUNDS each (target: check_x_summary at most 1).
// Between the two, the check's and the summary's work per record on that file's records, in
// memory, best of ROUNDS each: what the whole runs differ by, without their noise.
// Prints one JSON line. SESSION_FILE=path keeps the file there (and reuses it when it exists).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchThrottles.h"
#include "SessionBenchFile.h"
#include "app/chart/Summary.h"
#include "app/check/ThrottleCheck.h"
#include "app/session/SessionScan.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sessionbench::TimeProcess;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }


// Records as a line-rate capture of the bench gives them: cars in turn, 5050 records a second.
std::vector<check::Sample> BenchRecords(uint64_t count, int cars) {
    const unitsim::ThrottleModel models[] = {unitsim::ThrottleModel::Healthy, unitsim::ThrottleModel::DeadSpot,
                                             unitsim::ThrottleModel::Jitter, unitsim::ThrottleModel::Bounce};
    std::vector<unitsim::BenchThrottles::Car> bench;
    for (int c = 1; c <= cars; ++c) bench.push_back({static_cast<uint8_t>(c), models[c % 4]});
    unitsim::BenchThrottles throttles(bench, true);
    std::vector<check::Sample> samples;
    samples.reserve(count);
    constexpr double kSecondsPerRecord = 9.0 * 11.0 / 500000.0;
    for (uint64_t i = 0; i < count; ++i) {
        const double seconds = static_cast<double>(i) * kSecondsPerRecord;
        const std::string p = throttles.NextPayload(seconds);
        samples.push_back({1'796'634'000'000 + static_cast<int64_t>(seconds * 1000), static_cast<uint8_t>(p[2]),
                           static_cast<uint8_t>(p[4]), static_cast<uint8_t>(p[5]), p[6] != 0});
    }
    return samples;
}

} // namespace

int main() {
    const auto records = static_cast<uint64_t>(sessionbench::EnvNumber("RECORDS", 2000000));
    const int cars = static_cast<int>(std::clamp(sessionbench::EnvNumber("CARS", 6), 1L, 255L));
    const int rounds = static_cast<int>(std::max(1L, sessionbench::EnvNumber("ROUNDS", 5)));
    const double loadStart = sessionbench::LoadAverage();

    const std::vector<check::Sample> samples = BenchRecords(records, cars);
    double analysisBest = 1e9;
    size_t verdicts = 0;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        check::ThrottleCheck all;
        for (const check::Sample& s : samples) all.Add(s);
        verdicts = all.Results().size();
        analysisBest = std::min(analysisBest, Seconds(Clock::now() - start));
    }

    const char* keep = std::getenv("SESSION_FILE");
    const fs::path file = keep && *keep ? fs::path(keep)
                                        : fs::temp_directory_path() / ("torvane-check-bench-" +
                                                                       std::to_string(getpid()) + ".csv");
    std::error_code ec;
    if (!(keep && *keep && fs::exists(file, ec))) sessionbench::WriteSessionFile(file, records, cars);
    {
        std::ifstream warm(file, std::ios::binary);  // into the page cache for both contenders
        std::vector<char> buf(1 << 20);
        while (warm.read(buf.data(), static_cast<std::streamsize>(buf.size())) || warm.gcount() > 0) {
        }
    }
    std::vector<check::Sample> fileRecords;
    session::ScanSessionFile(file, [&](const session::ScannedRow& row) {
        if (row.kind == session::RowKind::Status) {
            fileRecords.push_back({row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange});
        }
    });
    double checkWorkBest = 1e9, summaryWorkBest = 1e9;
    size_t carsSeen = 0;  // so that neither loop is left out
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        check::ThrottleCheck all;
        for (const check::Sample& s : fileRecords) all.Add(s);
        carsSeen += all.Results().size();
        checkWorkBest = std::min(checkWorkBest, Seconds(Clock::now() - start));
        start = Clock::now();
        chart::SummaryAccumulator summary;
        for (const check::Sample& s : fileRecords) summary.Add(s.ms, s.car, s.drive, s.brake, s.laneChange);
        carsSeen += summary.Result().cars.size();
        summaryWorkBest = std::min(summaryWorkBest, Seconds(Clock::now() - start));
    }
    if (carsSeen == 0) {
        std::printf("{\"bench\":\"check\",\"error\":\"no status records in the session file\"}\n");
        return 1;
    }
    const double perFileRecord = 1e9 / static_cast<double>(fileRecords.size());

    const std::string app = TORVANE_CAPTURE_PATH;
    double summaryBest = 1e9, checkBest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double summary = TimeProcess({app, "--summary", file.string()});
        const double checked = TimeProcess({app, "--check", file.string()});
        if (summary < 0 || checked < 0) {
            std::printf("{\"bench\":\"check\",\"error\":\"%s failed\"}\n", summary < 0 ? "--summary" : "--check");
            return 1;
        }
        summaryBest = std::min(summaryBest, summary);
        checkBest = std::min(checkBest, checked);
    }
    if (!(keep && *keep)) fs::remove(file, ec);

    std::printf("{\"bench\":\"check\",\"records\":%llu,\"cars\":%d,\"verdicts\":%zu,\"analysis_ns_per_record\":%.1f,"
                "\"file_check_ns_per_record\":%.2f,\"file_summary_ns_per_record\":%.2f,\"summary_s\":%.3f,"
                "\"check_s\":%.3f,\"check_x_summary\":%.2f,\"runs\":%d,\"load_start\":%.2f,\"load_end\":%.2f}\n",
                static_cast<unsigned long long>(records), cars, verdicts,
                analysisBest * 1e9 / static_cast<double>(records), checkWorkBest * perFileRecord,
                summaryWorkBest * perFileRecord, summaryBest, checkBest, checkBest / summaryBest,
                rounds, loadStart, sessionbench::LoadAverage());
    return 0;
}
