#pragma once
// A recorded session as a long capture at line rate leaves it, for the session benchmarks: a bench
// of cars (the simulated unit's throttle model) sending status records back to back at 500000
// baud, a name record now and then, written row by row by the session writer's own code.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sessionbench {

// Writes `records` records from `cars` cars (1 to 255) to path; returns the file's size in bytes.
uint64_t WriteSessionFile(const std::filesystem::path& path, uint64_t records, int cars, uint32_t seed = 1);

// The session benchmarks' common ground.
// A number from the environment, or fallback when it is unset or empty.
long EnvNumber(const char* name, long fallback);
// The one-minute load average (negative when unknown), reported beside the figures.
double LoadAverage();
// A kB field of this process's status (VmRSS, VmHWM), or -1.
long StatusKb(const char* field);
// Runs a program (looked up in PATH) with its output thrown away: wall-clock seconds, or a
// negative number when it failed.
double TimeProcess(const std::vector<std::string>& args);

} // namespace sessionbench
