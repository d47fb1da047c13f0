// Reading a long recorded session: a generated file of RECORDS status records (2 million by
// default, CARS cars) is summarised by `torvane-capture --summary` and by the least a script does
// (awk summing one column), alternating, best of ROUNDS each; loaded whole as the session window
// loads it (best of ROUNDS, alternating with the same awk); its peak memory per record measured
// in a process of its own; and the plot's frame (every car's pixel columns) timed at several
// zooms. Prints one JSON line:
//   summary_x_awk  (target at most 0.35 on 20 million records, 0.5 on 2 million)    load_x_awk
//   bytes_per_record  (target at most 24)    frame_whole_ms_max, frame_zoom_ms_max  (target under 16)
// SESSION_FILE=path keeps the generated file there (and reuses it when it exists).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "SessionBenchFile.h"
#include "app/session/SessionData.h"

namespace {

namespace fs = std::filesystem;
using sessionbench::EnvNumber;
using sessionbench::LoadAverage;
using sessionbench::StatusKb;
using sessionbench::TimeProcess;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }


// In a process of its own: the resident memory before loading and the peak after, in kB.
int MeasureMemory(const char* file) {
    const long before = StatusKb("VmRSS");
    const auto outcome = session::LoadSession(file);
    const long peak = StatusKb("VmHWM");
    if (!outcome.session) return 1;
    std::printf("%ld %ld %zu %zu\n", before, peak, outcome.session->RecordCount(), outcome.session->MemoryBytes());
    return 0;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Every car's drive and brake for a frame of `columns` pixel columns over [t0, t1), in
// milliseconds of this thread's CPU time: what the frame costs, whatever else the machine runs.
double FrameMs(const session::SessionData& s, int64_t t0, int64_t t1, int columns) {
    std::vector<session::ColumnExtent> out;
    const double start = ThreadCpuSeconds();
    uint64_t records = 0;
    for (uint8_t car : s.Cars()) {
        s.QueryColumns(car, t0, t1, columns, out);
        for (const auto& e : out) records += e.records;
    }
    const double ms = (ThreadCpuSeconds() - start) * 1000;
    if (records == 0 && t1 > s.FirstTimeMs() && t0 < s.LastTimeMs()) std::fprintf(stderr, "empty frame\n");
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--measure-memory") return MeasureMemory(argv[2]);

    const auto records = static_cast<uint64_t>(EnvNumber("RECORDS", 2000000));
    const int cars = static_cast<int>(EnvNumber("CARS", 6));
    const int rounds = static_cast<int>(std::max(1L, EnvNumber("ROUNDS", 3)));
    const char* keep = std::getenv("SESSION_FILE");
    const fs::path file = keep && *keep ? fs::path(keep)
                                        : fs::temp_directory_path() / ("torvane-session-bench-" +
                                                                       std::to_string(getpid()) + ".csv");
    const double loadStart = LoadAverage();
    std::error_code ec;
    if (!(keep && *keep && fs::exists(file, ec))) sessionbench::WriteSessionFile(file, records, cars);
    const uint64_t bytes = fs::file_size(file);
    {
        // Read once so that every contender finds the file in the page cache.
        std::ifstream warm(file, std::ios::binary);
        std::vector<char> buf(1 << 20);
        while (warm.read(buf.data(), static_cast<std::streamsize>(buf.size())) || warm.gcount() > 0) {
        }
    }

    const std::string app = TORVANE_CAPTURE_PATH;
    double awkBest = 1e9, summaryBest = 1e9, loadBest = 1e9;
    std::shared_ptr<const session::SessionData> loaded;
    for (int r = 0; r < rounds; ++r) {
        const double awk = TimeProcess({"awk", "-F,", "{ s += $7 } END { print s }", file.string()});
        const double summary = TimeProcess({app, "--summary", file.string()});
        const auto start = Clock::now();
        auto outcome = session::LoadSession(file);
        const double load = Seconds(Clock::now() - start);
        if (awk < 0 || summary < 0 || !outcome.session) {
            std::printf("{\"bench\":\"session\",\"error\":\"%s\"}\n",
                        awk < 0 ? "awk failed" : summary < 0 ? "--summary failed" : outcome.error.c_str());
            return 1;
        }
        awkBest = std::min(awkBest, awk);
        summaryBest = std::min(summaryBest, summary);
        loadBest = std::min(loadBest, load);
        loaded = std::move(outcome.session);
    }

    // Peak memory in a fresh process, so nothing of this one's counts.
    long before = 0, peak = 0;
    size_t counted = 0, modelBytes = 0;
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --measure-memory '" +
                                file.string() + "'";
    if (FILE* p = popen(command.c_str(), "r")) {
        if (std::fscanf(p, "%ld %ld %zu %zu", &before, &peak, &counted, &modelBytes) != 4) counted = 0;
        pclose(p);
    }

    // Frames: the whole session, then zoomed in (10 s, 1 s) at random places, as when panning.
    const session::SessionData& s = *loaded;
    const int64_t first = s.FirstTimeMs(), last = s.LastTimeMs() + 1;
    double wholeMax = 0, zoomMax = 0;
    for (int i = 0; i < 20; ++i) wholeMax = std::max(wholeMax, FrameMs(s, first, last, 1600));
    std::mt19937 rng(5);
    for (int i = 0; i < 100; ++i) {
        const int64_t span = i % 2 ? 10000 : 1000;
        const int64_t t0 = first + static_cast<int64_t>(rng() % static_cast<uint64_t>(std::max<int64_t>(1, last - first - span)));
        zoomMax = std::max(zoomMax, FrameMs(s, t0, t0 + span, 1600));
    }

    const double perRecord = counted ? static_cast<double>(peak - before) * 1024.0 / static_cast<double>(counted) : -1;
    std::printf("{\"bench\":\"session\",\"records\":%zu,\"cars\":%zu,\"file_mb\":%.1f,\"skipped\":%llu,"
                "\"awk_s\":%.3f,\"summary_s\":%.3f,\"summary_x_awk\":%.2f,\"load_s\":%.3f,\"load_x_awk\":%.2f,"
                "\"bytes_per_record\":%.1f,\"model_bytes_per_record\":%.1f,"
                "\"frame_whole_ms_max\":%.2f,\"frame_zoom_ms_max\":%.2f,"
                "\"load_average_start\":%.2f,\"load_average_end\":%.2f,\"runs\":%d}\n",
                s.RecordCount(), s.Cars().size(), static_cast<double>(bytes) / 1e6,
                static_cast<unsigned long long>(s.SkippedRows()), awkBest, summaryBest, summaryBest / awkBest, loadBest,
                loadBest / awkBest, perRecord,
                counted ? static_cast<double>(modelBytes) / static_cast<double>(counted) : -1.0, wholeMax, zoomMax,
                loadStart, LoadAverage(), rounds);
    if (!(keep && *keep)) fs::remove(file, ec);
    return 0;
}
