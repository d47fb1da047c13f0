#include "SessionBenchFile.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ThrottleCars.h"
#include "app/record/Columns.h"

extern char** environ;

namespace sessionbench {

uint64_t WriteSessionFile(const std::filesystem::path& path, uint64_t records, int cars, uint32_t seed) {
    // 500000 baud, 11 bits a byte, 9 bytes a status record on the line.
    constexpr double kSecondsPerRecord = 9.0 * 11.0 / 500000.0;
    constexpr int kUtcOffsetMinutes = 60;
    // 7 December 2026, 10:00 local time, as a date-time value.
    constexpr double kStart = 46363.0 + 10.0 / 24.0;
    unitsim::ThrottleCars throttles(cars, seed);
    std::mt19937 rng(seed);
    std::vector<double> silentUntil(static_cast<size_t>(cars) + 1, 0.0);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string buffer = record::HeaderRow();
    record::Record row;
    row.unitId = 5;
    row.unitName = "SIM-UNIT";
    uint64_t written = 0;
    for (uint64_t slot = 0; written < records; ++slot) {
        const double seconds = static_cast<double>(slot) * kSecondsPerRecord;
        row.time = {record::LocalMsFromDateTime(kStart + seconds / 86400.0) - kUtcOffsetMinutes * record::kMsPerMinute,
                    kUtcOffsetMinutes};
        row.number = written + 1;
        if (slot % 200000 == 0) {  // the unit names itself after each setup command
            row.kind = record::Kind::Name;
            row.bytes = std::string("N\x05SIM-UNIT", 10);
            record::AppendRow(buffer, row);
            ++written;
            continue;
        }
        const std::string payload = throttles.NextPayload(seconds);
        const auto car = static_cast<uint8_t>(payload[2]);
        // Now and then a car's radio drops out for a moment: its records are lost.
        if (seconds < silentUntil[car]) continue;
        if (rng() % 20000 == 0) {
            silentUntil[car] = seconds + 0.2 + (rng() % 3000) / 1000.0;
            continue;
        }
        row.kind = record::Kind::Status;
        row.car = car;
        row.lastLb = static_cast<uint8_t>(payload[3]);
        row.drivePwm = static_cast<uint8_t>(payload[4]);
        row.brakePwm = static_cast<uint8_t>(payload[5]);
        row.laneChange = payload[6] != 0;
        row.bytes = payload;
        record::AppendRow(buffer, row);
        ++written;
        if (buffer.size() > (1u << 20)) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.close();
    return std::filesystem::file_size(path);
}

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

double LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double oneMinute = -1;
    in >> oneMinute;
    return oneMinute;
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
    }
    return -1;
}

double TimeProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

} // namespace sessionbench
