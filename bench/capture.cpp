// Capture benchmark: the real window (offscreen, shown and painted) against the simulated unit
// on a pseudo-terminal, found through TORVANE_EXTRA_PORTS by the real scan and handshake, with
// Start clicked. Prints one JSON line:
//   line rate (45454 bytes/s) for LINE_SECONDS: records sent/shown/lost/repeated, main-thread
//   CPU, latency from the unit's line end to the row written (p50/p99/max);
//   the same with session recording on: the same figures, records missing from the session
//   file, main-thread CPU above the run without recording, RSS at start and end;
//   flood for FLOOD_SECONDS: records/s, CPU per 1000 records, RSS at start and end;
//   idle for IDLE_SECONDS with the port open: CPU;
//   searching for SEARCH_SECONDS with nothing to find (one listed port that does not exist, a
//   port tree shaped like a PC's): process CPU, and its ratio to a bare window with the same
//   20 ms timer, the two taking turns in SEARCH_ROUNDS rounds (default 5), medians.
// A floor reader (bench/FloorReader.h) reads the same kind of stream for FLOOR_SECONDS: each
// line-rate phase alternates with it in ROUNDS parts (default 3), the flood phase follows it;
// each phase's CPU per 1000 records is also given as a multiple of the floor's, with the
// window's breakdown (bench/CostBreakdown.h), and the machine's load.
// LINE_SLICE_US: how the unit hands the line's bytes over (default 1000: USB frames; 0: each
// record when complete). BENCH_HIDDEN=1: the window is not shown, so nothing is painted.
// The throttle plot takes every record shown: the line-rate phase runs with it closed, then again
// with it open and painted (plot_line_*); the idle and flood phases run with it open, the
// recording run with it closed. BENCH_PLOT=0 leaves the plot out altogether.
// The throttle check window: closed and open in turns beside a capture of two throttles that the
// bench user takes through the check (CHECK_SECONDS, CHECK_ROUNDS; see CheckWindowPhase).
// BENCH_PHASES picks phases (search, line, check, rec, flood); BENCH_TIMEOUT bounds the run.
#include <QApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CostBreakdown.h"
#include "FloorReader.h"
#include "UnitSim.h"
#include "app/MainForm.h"
#include "app/check/ui/ThrottleCheckCommand.h"
#include "app/plot/ThrottlePlot.h"
#include "app/record/Columns.h"
#include "app/recording/qt/SessionRecording.h"
#include "toolkit/qt/SyncAdapter.h"

namespace {

double EnvSeconds(const char* name, double fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atof(v) : fallback;
}

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
    }
    return -1;
}

void RunEventLoopFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

bool RunEventLoopUntil(const std::function<bool()>& done, double seconds) {
    const int64_t deadline = MonotonicNs() + static_cast<int64_t>(seconds * 1e9);
    while (!done() && MonotonicNs() < deadline) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// Sequence numbers of the records shown, checked against what the unit sent.
struct Tally {
    static constexpr size_t kMaxSeq = 1u << 24;  // the table carries 24 bits of it
    std::vector<std::atomic<int64_t>> sentNs = std::vector<std::atomic<int64_t>>(kMaxSeq);
    std::vector<int64_t> latenciesNs;
    bool counting = false;
    bool timing = false;  // latencies are kept for the line-rate phase only (their memory is the bench's)
    int64_t firstSeq = -1;
    int64_t lastSeq = -1;
    uint64_t shown = 0;
    uint64_t lost = 0;
    uint64_t repeated = 0;

    void Reset() {
        latenciesNs.clear();
        firstSeq = lastSeq = -1;
        shown = lost = repeated = 0;
    }
    void OnShown(uint32_t seq, int64_t nowNs) {
        if (!counting) return;
        ++shown;
        if (firstSeq < 0) firstSeq = seq;
        if (lastSeq >= 0) {
            if (seq <= lastSeq) ++repeated;
            else lost += static_cast<uint64_t>(seq - lastSeq - 1);
        }
        if (static_cast<int64_t>(seq) > lastSeq) lastSeq = seq;
        const int64_t sent = sentNs[seq % kMaxSeq].load(std::memory_order_relaxed);
        if (timing && sent > 0) latenciesNs.push_back(nowNs - sent);
    }
    double PercentileMs(double p) {
        if (latenciesNs.empty()) return -1;
        std::sort(latenciesNs.begin(), latenciesNs.end());
        const size_t i = std::min(latenciesNs.size() - 1, static_cast<size_t>(p * static_cast<double>(latenciesNs.size())));
        return static_cast<double>(latenciesNs[i]) / 1e6;
    }
};

// CPU seconds of the main thread and of the window's side of the process (all but the unit's
// thread), taken at one moment; the difference of two is what a phase cost.
struct CpuSample {
    double main = 0;
    double app = 0;
    CpuSample operator-(const CpuSample& earlier) const { return {main - earlier.main, app - earlier.app}; }
};

double LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double oneMinute = -1;
    in >> oneMinute;
    return oneMinute;
}

// BENCH_PHASES: the phases to run, comma-separated (search, line, check, rec, flood); all when unset.
bool PhaseChosen(const std::string& phase) {
    const char* chosen = std::getenv("BENCH_PHASES");
    if (chosen == nullptr || *chosen == '\0') return true;
    const std::string list = "," + std::string(chosen) + ",";
    return list.find("," + phase + ",") != std::string::npos;
}

// Ends the run with an error line when it takes longer than it may: a window that cannot keep
// up must give a failed run, not one that never ends.
class Watchdog {
public:
    explicit Watchdog(double seconds)
        : FThread([this, seconds] {
              std::unique_lock<std::mutex> lock(FMutex);
              if (FDone.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return FFinished; })) return;
              std::printf("{\"bench\":\"capture\",\"error\":\"not finished within %.0f s\"}\n", seconds);
              std::fflush(stdout);
              std::_Exit(2);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FFinished = true;
        }
        FDone.notify_one();
        FThread.join();
    }

private:
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FFinished = false;
    std::thread FThread;
};

// What a run is asked for, from the environment (see the top of this file).
struct Settings {
    double lineSeconds = EnvSeconds("LINE_SECONDS", 60);
    double floodSeconds = EnvSeconds("FLOOD_SECONDS", 10);
    double idleSeconds = EnvSeconds("IDLE_SECONDS", 5);
    double searchSeconds = EnvSeconds("SEARCH_SECONDS", 10);
    double floorSeconds = EnvSeconds("FLOOR_SECONDS", 10);
    int rounds = std::max(1, static_cast<int>(EnvSeconds("ROUNDS", 3)));
    int searchRounds = std::max(1, static_cast<int>(EnvSeconds("SEARCH_ROUNDS", 5)));
    // The line's bytes reach the port in 1 ms frames, as through a USB serial adapter;
    // LINE_SLICE_US=0 hands over each record the moment its last byte is due instead.
    int lineSliceUs = static_cast<int>(EnvSeconds("LINE_SLICE_US", 1000));
    bool withPlot = std::getenv("BENCH_PLOT") == nullptr || std::string(std::getenv("BENCH_PLOT")) != "0";
    double checkSeconds = EnvSeconds("CHECK_SECONDS", 20);
    int checkRounds = std::max(1, static_cast<int>(EnvSeconds("CHECK_ROUNDS", 3)));

    // Seconds the whole run may take (BENCH_TIMEOUT, or four times what its phases ask for and
    // two minutes to find the units): past it, the run stops with an error line.
    double Budget() const {
        const double asked = searchSeconds + 3 * (lineSeconds + floorSeconds) + idleSeconds +
                             2 * checkRounds * (checkSeconds + 0.5) + lineSeconds + floodSeconds + floorSeconds;
        return EnvSeconds("BENCH_TIMEOUT", 120 + 4 * asked);
    }

    // The unit at line rate (45454 bytes/s).
    unitsim::Options LineRateUnit() const {
        unitsim::Options o;
        o.bytesPerSecond = 45454;
        o.sliceUs = lineSliceUs;
        return o;
    }
};

// The one JSON line the benchmark prints, built up phase by phase.
struct Report {
    std::string json = "{\"bench\":\"capture\"";
    void Add(const std::string& key, double value) {
        char buf[96];
        std::snprintf(buf, sizeof buf, ",\"%s\":%.6g", key.c_str(), value);
        json += buf;
    }
    void AddList(const std::string& key, const std::vector<double>& values) {
        json += ",\"" + key + "\":[";
        for (size_t i = 0; i < values.size(); ++i) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%s%.4g", i == 0 ? "" : ",", values[i]);
            json += buf;
        }
        json += "]";
    }
};

// The floor's figures, and the phase's CPU per 1000 records as a multiple of the floor's.
void AddFloor(std::string& json, const char* phase, const FloorFigures& floor, uint64_t shown, const CpuSample& cpu) {
    const double records = static_cast<double>(shown);
    const double floorMs = floor.CpuMsPer1000();
    const double appMs = records > 0 ? 1e6 * cpu.app / records : -1;
    const double mainMs = records > 0 ? 1e6 * cpu.main / records : -1;
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  ",\"%s_floor_seconds\":%.3g,\"%s_floor_records_per_s\":%.6g,\"%s_floor_cpu_pct\":%.4g"
                  ",\"%s_floor_cpu_ms_per_1000\":%.4g,\"%s_app_cpu_ms_per_1000\":%.4g"
                  ",\"%s_app_x_floor\":%.3g,\"%s_main_x_floor\":%.3g",
                  phase, floor.seconds, phase, floor.seconds > 0 ? static_cast<double>(floor.records) / floor.seconds : 0,
                  phase, floor.seconds > 0 ? 100.0 * floor.readerCpuS / floor.seconds : 0, phase, floorMs, phase, appMs,
                  phase, floorMs > 0 ? appMs / floorMs : -1, phase, floorMs > 0 ? mainMs / floorMs : -1);
    json += buf;
}

// One simulated unit on its own thread, and the window that finds it.
class Rig {
public:
    // With a settings file, the window records its sessions (into TORVANE_CAPTURE_DIR).
    Rig(const unitsim::Options& options, Tally& tally, const std::string& link, bool withPlot,
        const QString& recordingSettings = {})
        : FTally(tally) {
        unitsim::Options o = options;
        o.linkPath = link;
        FSim = std::make_unique<unitsim::UnitSim>(o);
        FSim->OnRecordSent = [&tally](uint32_t seq, int64_t ns) {
            tally.sentNs[seq % Tally::kMaxSeq].store(ns, std::memory_order_relaxed);
        };
        FSimThread = std::thread([this] { FSim->Run(); });
        setenv("TORVANE_EXTRA_PORTS", link.c_str(), 1);
        TForm1::Options formOptions;
        formOptions.portList.sysfsRoot = "/nonexistent-sysfs";  // only the simulated unit
        FForm = std::make_unique<TForm1>(formOptions);
        if (!recordingSettings.isEmpty()) {
            SessionRecording::Options recordingOptions;
            recordingOptions.settingsFile = recordingSettings;
            FRecording = std::make_unique<SessionRecording>(*FForm, recordingOptions);
        }
        // Told of each record right after its row is written, with the values it shows.
        FShown.OnShown = [this](const ShownStatusRecord& record) {
            if (FForm->Start->Caption() == QLatin1String("Close")) ++FShownWhileCapturing;
            FTally.OnShown(unitsim::SequenceFromFields(record.Car, record.DrivePwm, record.BrakePwm), MonotonicNs());
        };
        FForm->Rx.AddObserver(&FShown);
        CostBreakdown::Instance().Attach(*FForm);
        if (std::getenv("BENCH_HIDDEN") == nullptr) FForm->show();
        if (withPlot) FPlot = std::make_unique<plot::ThrottlePlot>(*FForm);
    }
    ~Rig() {
        FForm->Rx.RemoveObserver(&FShown);
        FPlot.reset();
        FForm->close();
        FRecording.reset();
        FForm.reset();
        FSim->Stop();
        FSimThread.join();
    }
    bool FindUnitAndStart() {
        // Click once the unit has taken the setup command (Start purges what is not yet sent).
        if (!RunEventLoopUntil([this] { return FForm->Start->isEnabled() && FSim->SetupCommandsOk() > 0; }, 20)) {
            return false;
        }
        FForm->StartClick(FForm->Start);
        return FForm->Start->Caption() == "Close";
    }
    unitsim::UnitSim& Sim() { return *FSim; }
    TForm1& Form() { return *FForm; }
    plot::ThrottlePlot* Plot() { return FPlot.get(); }
    void ShowPlot(bool shown) {
        if (FPlot && FPlot->Window().isVisible() != shown) FPlot->Toggle();
    }
    SessionRecording* Recording() { return FRecording.get(); }
    uint64_t ShownWhileCapturing() const { return FShownWhileCapturing; }
    CpuSample Cpu() {
        clockid_t sim{};
        pthread_getcpuclockid(FSimThread.native_handle(), &sim);
        return {CpuSeconds(CLOCK_THREAD_CPUTIME_ID), CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - CpuSeconds(sim)};
    }

private:
    Tally& FTally;
    std::unique_ptr<unitsim::UnitSim> FSim;
    std::thread FSimThread;
    std::unique_ptr<TForm1> FForm;
    std::unique_ptr<SessionRecording> FRecording;
    std::unique_ptr<plot::ThrottlePlot> FPlot;
    uint64_t FShownWhileCapturing = 0;
    struct ShownRecords : RecordObserver {
        std::function<void(const ShownStatusRecord&)> OnShown;
        void StatusShown(const ShownStatusRecord& record) override { OnShown(record); }
        void NameReceived(const ReceivedNameRecord&) override {}
    } FShown;
};

// One line-rate run of `seconds` on a rig whose unit is sending, its figures under `prefix`;
// returns the main thread's CPU in percent. The run is cut into `rounds` parts, each after a
// part of the floor's time, so that the window and its floor see the same state of the machine;
// CPU and records are summed over the parts, settling pauses between them left out.
double MeasureLineRate(Rig& rig, Tally& tally, double seconds, const std::string& prefix, Report& report,
                       const unitsim::Options& floorOptions, double floorSeconds, int rounds) {
    const auto add = [&report](const std::string& key, double value) { report.Add(key, value); };
    tally.Reset();
    tally.latenciesNs.reserve(static_cast<size_t>(seconds * 6000) + 1000);
    tally.timing = true;
    tally.counting = true;
    uint64_t tablePaints = 0;
    uint64_t plotPaints = 0;
    int64_t plotPaintNs = 0;
    FloorFigures floor;
    CostBreakdown::Figures parts;
    CpuSample line;
    uint64_t measured = 0;  // records shown within the measured parts
    for (int round = 0; round < rounds; ++round) {
        rig.Sim().SetPaused(true);
        RunEventLoopFor(0.3);  // let what is on the line arrive
        floor += RunFloorReader(floorOptions, floorSeconds / rounds);
        rig.Sim().SetPaused(false);
        RunEventLoopFor(0.3);
        const uint64_t shownBefore = tally.shown;
        const uint64_t paintsBefore = rig.Form().Table->PaintCount();
        const uint64_t plotPaintsBefore = rig.Plot() ? rig.Plot()->Window().Canvas->PaintCount() : 0;
        const int64_t plotPaintNsBefore = rig.Plot() ? rig.Plot()->Window().Canvas->PaintNs() : 0;
        CostBreakdown::Instance().Begin();
        const CpuSample start = rig.Cpu();
        RunEventLoopFor(seconds / rounds);
        const CpuSample part = rig.Cpu() - start;
        tablePaints += rig.Form().Table->PaintCount() - paintsBefore;
        if (rig.Plot() != nullptr) {
            plotPaints += rig.Plot()->Window().Canvas->PaintCount() - plotPaintsBefore;
            plotPaintNs += rig.Plot()->Window().Canvas->PaintNs() - plotPaintNsBefore;
        }
        parts += CostBreakdown::Instance().End(part.app);
        line.main += part.main;
        line.app += part.app;
        measured += tally.shown - shownBefore;
    }
    rig.Sim().SetPaused(true);
    RunEventLoopFor(0.5);  // let what is on the line arrive
    tally.counting = false;
    tally.timing = false;
    const uint64_t sent = tally.firstSeq < 0 ? 0 : static_cast<uint64_t>(rig.Sim().RecordsSent()) - static_cast<uint64_t>(tally.firstSeq);
    add(prefix + "rounds", rounds);
    add(prefix + "seconds", seconds);
    add(prefix + "records_sent", static_cast<double>(sent));
    add(prefix + "records_shown", static_cast<double>(tally.shown));
    const uint64_t unique = tally.shown - tally.repeated;
    add(prefix + "records_lost", static_cast<double>(sent > unique ? sent - unique : 0));
    add(prefix + "records_repeated", static_cast<double>(tally.repeated));
    add(prefix + "main_cpu_s", line.main);
    const double mainCpuPct = 100.0 * line.main / seconds;
    add(prefix + "main_cpu_pct", mainCpuPct);
    add(prefix + "app_cpu_pct", 100.0 * line.app / seconds);
    add(prefix + "paints_per_s", static_cast<double>(tablePaints) / seconds);
    if (rig.Plot() != nullptr) {
        add(prefix + "plot_open", rig.Plot()->Window().isVisible() ? 1 : 0);
        add(prefix + "plot_paints_per_s", static_cast<double>(plotPaints) / seconds);
        add(prefix + "plot_paint_ms_mean",
            plotPaints > 0 ? static_cast<double>(plotPaintNs) / 1e6 / static_cast<double>(plotPaints) : 0);
        add(prefix + "plot_samples", static_cast<double>(rig.Plot()->Model().SampleCount()));
    }
    add(prefix + "latency_p50_ms", tally.PercentileMs(0.50));
    add(prefix + "latency_p99_ms", tally.PercentileMs(0.99));
    add(prefix + "latency_max_ms", tally.PercentileMs(1.0));
    const std::string phase = prefix.substr(0, prefix.size() - 1);
    AddFloor(report.json, phase.c_str(), floor, measured, line);
    report.json += CostBreakdown::Json(phase.c_str(), parts, static_cast<double>(measured));
    return mainCpuPct;
}

// Status records in a session file, and how many of their sequence numbers do not follow on.
struct FileTally {
    uint64_t records = 0;
    uint64_t gaps = 0;
};

FileTally TallySessionFile(const std::filesystem::path& path) {
    FileTally tally;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::getline(in, line);  // header
    int64_t last = -1;
    while (std::getline(in, line)) {
        const auto fields = record::SplitCsvLine(line);
        if (!fields || fields->size() != record::kColumnCount || (*fields)[record::kKindColumn] != "status") continue;
        const uint32_t seq = unitsim::SequenceFromFields(std::atoi((*fields)[record::kCarColumn].c_str()),
                                                         std::atoi((*fields)[record::kDrivePwmColumn].c_str()),
                                                         std::atoi((*fields)[record::kBrakePwmColumn].c_str()));
        if (last >= 0 && static_cast<int64_t>(seq) != last + 1) ++tally.gaps;
        last = seq;
        ++tally.records;
    }
    return tally;
}

// A /sys/class/tty look-alike of a desktop PC with no serial adapter: 64 virtual consoles and
// the console devices (no driver behind them), four 8250 slots with no UART behind them.
void MakePcLikePortTree(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    fs::create_directories(root / "drivers" / "serial8250");
    for (const char* name : {"console", "ptmx", "tty"}) fs::create_directories(root / "class-tty" / name);
    for (int i = 0; i < 64; ++i) fs::create_directories(root / "class-tty" / ("tty" + std::to_string(i)));
    for (int i = 0; i < 4; ++i) {
        const fs::path entry = root / "class-tty" / ("ttyS" + std::to_string(i));
        fs::create_directories(entry / "device");
        fs::create_directory_symlink(root / "drivers" / "serial8250", entry / "device" / "driver");
        std::ofstream(entry / "type") << "0\n";
    }
}

struct SearchCost {
    double bareCpuPct = 0;    // median of the rounds
    double searchCpuPct = 0;  // median of the rounds
    std::vector<double> bareRounds;
    std::vector<double> searchRounds;
};

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Process CPU in percent of one core while the event loop runs for this long.
double ProcessCpuPctOver(double seconds) {
    const double start = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    RunEventLoopFor(seconds);
    return 100.0 * (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start) / seconds;
}

// Process CPU of a shown bare window whose 20 ms timer does nothing, and of the capture window
// searching with nothing to find. The two take turns in `rounds` rounds, so a machine that is
// busier for a while weighs on both alike; each figure is the median of its rounds. The search
// is paused between its turns by holding its timer, so it goes on where it stopped, as one long
// search would.
SearchCost MeasureIdleSearch(const std::string& dir, double seconds, int rounds) {
    constexpr double kSettleSeconds = 0.3;  // a window just shown lays out and paints
    const bool shown = std::getenv("BENCH_HIDDEN") == nullptr;
    QWidget bare;
    bare.resize(602, 738);
    QTimer tick;
    tick.setInterval(20);
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &bare, [] {});
    // In memory where the machine has it, as sysfs is.
    const std::string tree = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" + dir.substr(dir.rfind('/')) : dir;
    MakePcLikePortTree(tree + "/sysfs");
    setenv("TORVANE_EXTRA_PORTS", (dir + "/missing-port").c_str(), 1);
    TForm1::Options options;
    options.portList.sysfsRoot = tree + "/sysfs/class-tty";
    TForm1 form(options);
    // Past the first seconds of a search, when it also watches for new stable port names.
    RunEventLoopFor(toolkit::SerialPortStableNamer::kWatchPasses * 0.045);
    form.Timer1->stop();
    SearchCost cost;
    for (int round = 0; round < rounds; ++round) {
        if (shown) bare.show();
        tick.start();
        RunEventLoopFor(kSettleSeconds);
        cost.bareRounds.push_back(ProcessCpuPctOver(seconds / rounds));
        tick.stop();
        bare.hide();

        if (shown) form.show();
        form.Timer1->start();
        RunEventLoopFor(kSettleSeconds);
        cost.searchRounds.push_back(ProcessCpuPctOver(seconds / rounds));
        form.Timer1->stop();
        form.hide();
    }
    form.close();
    std::filesystem::remove_all(tree == dir ? tree + "/sysfs" : tree);
    cost.bareCpuPct = Median(cost.bareRounds);
    cost.searchCpuPct = Median(cost.searchRounds);
    return cost;
}

// Waits for the window to find the unit, clicks Start and lets the first records settle; when no
// unit turns up, the line printed says so instead of the figures.
bool StartCapturing(Rig& rig, const char* error) {
    if (!rig.FindUnitAndStart()) {
        std::printf("{\"bench\":\"capture\",\"error\":\"%s\"}\n", error);
        return false;
    }
    RunEventLoopFor(0.5);
    return true;
}

// What every phase shares: the settings, the scratch folder (the unit's link, the settings and
// captures), and the table of send times.
struct Bench {
    Settings settings;
    std::string dir;
    std::string link;
    Tally& tally;
};

// Searching with nothing to find, before any unit exists: a bare window first, then the capture
// window searching, over the same time.
void SearchPhase(const Bench& bench, Report& report) {
    const double seconds = bench.settings.searchSeconds;
    const int rounds = bench.settings.searchRounds;
    if (seconds <= 0) return;
    const SearchCost search = MeasureIdleSearch(bench.dir, seconds, rounds);
    report.Add("search_seconds", seconds);
    report.Add("search_rounds", rounds);
    report.Add("search_bare_window_cpu_pct", search.bareCpuPct);
    report.Add("search_cpu_pct", search.searchCpuPct);
    report.Add("search_x_bare_window", search.bareCpuPct > 0 ? search.searchCpuPct / search.bareCpuPct : -1);
    report.AddList("search_bare_window_round_cpu_pct", search.bareRounds);
    report.AddList("search_round_cpu_pct", search.searchRounds);
}

// Line rate alternating with the floor, the plot closed, then again with it open and painted;
// then idle with the port open, on the same rig. Returns the main thread's CPU in percent of the
// first line-rate run (the recording phase is compared with it), or nothing when no unit was found.
std::optional<double> LineRatePhases(Bench& bench, Report& report) {
    const Settings& settings = bench.settings;
    const unitsim::Options o = settings.LineRateUnit();
    Rig rig(o, bench.tally, bench.link, settings.withPlot);
    if (!StartCapturing(rig, "unit not found")) return std::nullopt;
    report.Add("line_slice_us", o.sliceUs);
    rig.ShowPlot(false);
    const double lineMainCpuPct = MeasureLineRate(rig, bench.tally, settings.lineSeconds, "line_", report, o,
                                                  settings.floorSeconds, settings.rounds);
    if (settings.withPlot) {
        rig.ShowPlot(true);
        rig.Sim().SetPaused(false);
        RunEventLoopFor(0.5);
        MeasureLineRate(rig, bench.tally, settings.lineSeconds, "plot_line_", report, o, settings.floorSeconds,
                        settings.rounds);
        rig.ShowPlot(false);
    }
    const CpuSample idleStart = rig.Cpu();
    RunEventLoopFor(settings.idleSeconds);
    const CpuSample idle = rig.Cpu() - idleStart;
    report.Add("idle_seconds", settings.idleSeconds);
    report.Add("idle_main_cpu_s", idle.main);
    report.Add("idle_app_cpu_s", idle.app);
    report.Add("idle_port_open", rig.Form().VaComm1->Active() ? 1 : 0);
    return lineMainCpuPct;
}

// The throttle check window beside a capture at line rate: two throttles (one healthy, one with a
// dead spot) that the bench user takes through the check's steps again and again, so the window
// follows a car, guides, draws its trace and finishes checks as it would at the bench. The window
// closed and open take turns in CHECK_ROUNDS rounds (default 3) of CHECK_SECONDS each (default
// 20); each state's figure is the best (lowest) of its rounds, and what the open window adds is
// the difference of the two bests.
void CheckWindowPhase(Bench& bench, Report& report) {
    const double seconds = bench.settings.checkSeconds;
    const int rounds = bench.settings.checkRounds;
    if (seconds <= 0) return;
    unitsim::Options o = bench.settings.LineRateUnit();
    o.throttles = {{1, unitsim::ThrottleModel::Healthy}, {2, unitsim::ThrottleModel::DeadSpot}};
    o.benchUser = true;
    Rig rig(o, bench.tally, bench.link, false);
    if (!StartCapturing(rig, "unit not found for the check window")) return;
    check::ui::ThrottleCheckCommand checkCommand(rig.Form(), {});  // nothing kept
    checkCommand.Open();
    RunEventLoopFor(0.5);
    std::vector<double> closed;
    std::vector<double> open;
    uint64_t finished = 0;
    QObject::connect(checkCommand.Window(), &check::ui::CheckWindow::CheckFinished, [&finished] { ++finished; });
    const uint64_t paintsBefore = rig.Form().Table->PaintCount();
    for (int round = 0; round < rounds; ++round) {
        for (const bool shown : {false, true}) {
            if (shown) checkCommand.Open();
            else checkCommand.Window()->hide();
            RunEventLoopFor(0.5);  // shown or hidden, laid out and painted
            const CpuSample start = rig.Cpu();
            RunEventLoopFor(seconds);
            const CpuSample part = rig.Cpu() - start;
            (shown ? open : closed).push_back(100.0 * part.main / seconds);
        }
    }
    const double bestClosed = *std::min_element(closed.begin(), closed.end());
    const double bestOpen = *std::min_element(open.begin(), open.end());
    report.Add("check_seconds", seconds);
    report.Add("check_rounds", rounds);
    report.AddList("check_closed_round_main_cpu_pct", closed);
    report.AddList("check_open_round_main_cpu_pct", open);
    report.Add("check_closed_main_cpu_pct", bestClosed);
    report.Add("check_open_main_cpu_pct", bestOpen);
    report.Add("check_window_added_main_cpu_pct", bestOpen - bestClosed);
    report.Add("check_checks_finished", static_cast<double>(finished));
    report.Add("check_table_paints_per_s",
               static_cast<double>(rig.Form().Table->PaintCount() - paintsBefore) / (2 * rounds * (seconds + 0.5)));
}

// Line rate again with session recording on, the plot closed: records missing from the session
// file, main-thread CPU above the run without recording, RSS at its start, middle and end.
bool RecordingPhase(Bench& bench, Report& report, std::optional<double> lineMainCpuPct) {
    const Settings& settings = bench.settings;
    Tally& tally = bench.tally;
    const std::string captures = bench.dir + "/captures";
    setenv("TORVANE_CAPTURE_DIR", captures.c_str(), 1);
    Rig rig(settings.LineRateUnit(), tally, bench.link, settings.withPlot,
            QString::fromStdString(bench.dir + "/settings.ini"));
    rig.ShowPlot(false);
    if (!StartCapturing(rig, "unit not found for the recording run")) return false;
    tally.Reset();
    tally.timing = true;
    tally.counting = true;
    const long rssStart = StatusKb("VmRSS");
    const CpuSample start = rig.Cpu();
    RunEventLoopFor(settings.lineSeconds / 2);
    const long rssMiddle = StatusKb("VmRSS");
    RunEventLoopFor(settings.lineSeconds / 2);
    rig.Sim().SetPaused(true);
    const CpuSample line = rig.Cpu() - start;
    const long rssEnd = StatusKb("VmRSS");
    RunEventLoopFor(0.5);
    tally.counting = false;
    tally.timing = false;
    const uint64_t sent = tally.firstSeq < 0 ? 0 : static_cast<uint64_t>(rig.Sim().RecordsSent()) - static_cast<uint64_t>(tally.firstSeq);
    const uint64_t unique = tally.shown - tally.repeated;
    rig.Form().StartClick(rig.Form().Start);  // Close ends the session
    rig.Recording()->Recorder().Writer().WaitUntilWritten();
    const FileTally file = TallySessionFile(rig.Recording()->Recorder().Writer().LastFilePath());
    const uint64_t shownInSession = rig.ShownWhileCapturing();
    const double lineSeconds = settings.lineSeconds;
    report.Add("rec_records_sent", static_cast<double>(sent));
    report.Add("rec_records_lost", static_cast<double>(sent > unique ? sent - unique : 0));
    report.Add("rec_records_shown_in_session", static_cast<double>(shownInSession));
    report.Add("rec_file_records", static_cast<double>(file.records));
    report.Add("rec_file_missing", static_cast<double>(shownInSession > file.records ? shownInSession - file.records : 0));
    report.Add("rec_file_sequence_gaps", static_cast<double>(file.gaps));
    report.Add("rec_main_cpu_pct", 100.0 * line.main / lineSeconds);
    if (lineMainCpuPct) report.Add("rec_main_cpu_pct_over_off", 100.0 * line.main / lineSeconds - *lineMainCpuPct);
    report.Add("rec_app_cpu_pct", 100.0 * line.app / lineSeconds);
    report.Add("rec_latency_p99_ms", tally.PercentileMs(0.99));
    report.Add("rec_rss_start_kb", static_cast<double>(rssStart));
    report.Add("rec_rss_middle_kb", static_cast<double>(rssMiddle));
    report.Add("rec_rss_end_kb", static_cast<double>(rssEnd));
    unsetenv("TORVANE_CAPTURE_DIR");
    return true;
}

// The floor at flood rate, then the window with the plot open taking a flood: records a second,
// CPU per 1000 records as a multiple of the floor's, RSS.
bool FloodPhase(Bench& bench, Report& report) {
    const double seconds = bench.settings.floodSeconds;
    Tally& tally = bench.tally;
    unitsim::Options o;
    o.flood = true;
    const FloorFigures floor = RunFloorReader(o, bench.settings.floorSeconds);
    Rig rig(o, tally, bench.link, bench.settings.withPlot);
    rig.ShowPlot(true);
    if (!StartCapturing(rig, "unit not found for the flood")) return false;
    tally.Reset();
    tally.counting = true;
    const long rssStart = StatusKb("VmRSS");
    CostBreakdown::Instance().Begin();
    const CpuSample floodStart = rig.Cpu();
    RunEventLoopFor(seconds);
    const CpuSample flood = rig.Cpu() - floodStart;
    const CostBreakdown::Figures parts = CostBreakdown::Instance().End(flood.app);
    const long rssEnd = StatusKb("VmRSS");
    tally.counting = false;
    const double shown = static_cast<double>(tally.shown);
    report.Add("flood_seconds", seconds);
    report.Add("flood_records_per_s", shown / seconds);
    report.Add("flood_x_line_rate", shown / seconds / (45454.0 / 9.0));
    report.Add("flood_records_lost", static_cast<double>(tally.lost));
    report.Add("flood_main_cpu_ms_per_1000", shown > 0 ? 1e6 * flood.main / shown : -1);
    report.Add("flood_app_cpu_ms_per_1000", shown > 0 ? 1e6 * flood.app / shown : -1);
    report.Add("flood_rss_start_kb", static_cast<double>(rssStart));
    report.Add("flood_rss_end_kb", static_cast<double>(rssEnd));
    report.Add("flood_rss_peak_kb", static_cast<double>(StatusKb("VmHWM")));
    AddFloor(report.json, "flood", floor, tally.shown, flood);
    report.json += CostBreakdown::Json("flood", parts, shown);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    toolkit::InstallQtSyncAdapter();
    char dir[] = "/tmp/torvane-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    auto tally = std::make_unique<Tally>();
    for (auto& s : tally->sentNs) s.store(0, std::memory_order_relaxed);  // touch it all before RSS is read
    Bench bench{Settings{}, dir, std::string(dir) + "/unit", *tally};
    // The plot remembers its window; keep that out of the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(bench.dir + "/settings"));

    Report report;
    report.Add("plot", bench.settings.withPlot ? 1 : 0);
    report.Add("runs", 1);
    report.Add("load_1min_start", LoadAverage());
    Watchdog watchdog(bench.settings.Budget());
    if (PhaseChosen("search")) SearchPhase(bench, report);
    std::optional<double> lineMainCpuPct;
    if (PhaseChosen("line")) {
        lineMainCpuPct = LineRatePhases(bench, report);
        if (!lineMainCpuPct) return 1;
    }
    if (PhaseChosen("check")) CheckWindowPhase(bench, report);
    if (PhaseChosen("rec") && !RecordingPhase(bench, report, lineMainCpuPct)) return 1;
    if (PhaseChosen("flood") && !FloodPhase(bench, report)) return 1;
    report.Add("load_1min_end", LoadAverage());
    std::printf("%s}\n", report.json.c_str());
    std::filesystem::remove_all(dir);
    return 0;
}
