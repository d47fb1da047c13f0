// unit-sim: a simulated receiver unit on a pseudo-terminal, for the demo, tests and benchmarks.
// It prints "device <path>" first, then one line per event (probe, setup-ok, setup-bad <hex>,
// unplugged, replay-done). SIGUSR1 unplugs it; it comes back on a new pseudo-terminal behind --link.
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include <sys/signalfd.h>
#include <unistd.h>

#include "UnitSim.h"
#include "toolkit/UniqueFd.h"

namespace {
// Every option, one line each: --help prints this, and the manual page lists the same.
const char* const kOptionHelp[] = {
    "  --rate N              status records per second (default 50)",
    "  --line-rate           pace bytes as a 500000 baud 8N2 line does (45454 bytes/s)",
    "  --bytes-per-second N  pace bytes at N a second",
    "  --flood               as fast as the line takes them",
    "  --slice-us N          hand the line what is due once every N microseconds (USB frames: 1000)",
    "  --count N             stop after N status records (0: never)",
    "  --escape-all          send every byte escaped",
    "  --id N                the unit's identifier, 0 to 255",
    "  --name TEXT           the unit's name",
    "  --link PATH           keep a symlink to the current device at PATH",
    "  --cars N              throttle-like records of N cars (1 to 255) in turn, not sequence numbers",
    "  --throttle CAR:MODEL  car CAR (1 to 255) sends the records of a throttle of MODEL: healthy, creep,",
    "                        short, dead_spot, jitter, bounce or stuck; give it once per car",
    "  --bench-user          a person takes the --throttle cars through the throttle check's steps",
    "                        (released, slow pull and hold, slow let-go, five presses), again and again",
    "  --seed N              the bench user's unevenness (default 1)",
    "  --replug-down-ms N    after SIGUSR1, stay unplugged for N ms (default 500)",
    "  --replay FILE         after each setup, play a recorded session file back at its recorded pace",
    "                        (a gap over a minute is played as a minute, and counted in replay-done)",
    "  --speed X             replay X times faster, 0.01 to 10000 (0.5: half as fast; default 1)",
    "  --help                show this help and exit",
};

void Usage(std::FILE* out, const char* program) {
    const char* slash = std::strrchr(program, '/');
    std::fprintf(out,
                 "usage: %s [options]\n"
                 "A simulated receiver unit on a pseudo-terminal. It prints \"device <path>\", then one line per\n"
                 "event: probe, setup-ok, setup-bad <hex>, unplugged, replay-done. SIGUSR1 unplugs it for a moment.\n"
                 "Options:\n",
                 slash != nullptr ? slash + 1 : program);
    for (const char* line : kOptionHelp) std::fprintf(out, "%s\n", line);
}

// The value after option argv[i], as a number from low to high (a whole one if `whole`); says
// what is wrong and gives nothing otherwise.
std::optional<double> Number(int argc, char** argv, int& i, double low, double high, bool whole = true) {
    const char* option = argv[i];
    if (i + 1 >= argc) {
        std::fprintf(stderr, "unit-sim: %s needs a value\n", option);
        return std::nullopt;
    }
    const char* text = argv[++i];
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high) || (whole && v != std::floor(v))) {
        std::fprintf(stderr, "unit-sim: %s: '%s' is not a %snumber from %g to %g\n", option, text, whole ? "whole " : "",
                     low, high);
        return std::nullopt;
    }
    return v;
}
// "3:dead_spot": a car and a throttle model. Says what is wrong otherwise.
bool ReadThrottle(const std::string& text, unitsim::Options& options) {
    const size_t colon = text.find(':');
    const std::string carText = text.substr(0, colon);
    char* end = nullptr;
    const long car = std::strtol(carText.c_str(), &end, 10);
    const auto model = colon == std::string::npos ? std::nullopt : unitsim::ThrottleModelFromName(text.substr(colon + 1));
    if (carText.empty() || *end != '\0' || car < 1 || car > 255 || !model) {
        std::fprintf(stderr, "unit-sim: --throttle: '%s' is not CAR:MODEL with CAR from 1 to 255 and MODEL one of %s\n",
                     text.c_str(), unitsim::ThrottleModelNames().c_str());
        return false;
    }
    for (const unitsim::BenchThrottles::Car& c : options.throttles) {
        if (c.number == car) {
            std::fprintf(stderr, "unit-sim: --throttle: car %ld is given twice\n", car);
            return false;
        }
    }
    options.throttles.push_back({static_cast<uint8_t>(car), *model});
    return true;
}
} // namespace

int main(int argc, char** argv) {
    unitsim::Options options;
    int replugDownMs = 500;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::optional<double> v;
        bool read = true;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout, argv[0]);
            return 0;
        } else if (arg == "--rate") {
            if ((read = (v = Number(argc, argv, i, 0.001, 1e6, false)).has_value())) options.recordsPerSecond = *v;
        } else if (arg == "--line-rate") {
            options.bytesPerSecond = 45454;
        } else if (arg == "--bytes-per-second") {
            if ((read = (v = Number(argc, argv, i, 1, 1e9, false)).has_value())) options.bytesPerSecond = *v;
        } else if (arg == "--slice-us") {
            if ((read = (v = Number(argc, argv, i, 0, 1e6)).has_value())) options.sliceUs = static_cast<int>(*v);
        } else if (arg == "--flood") {
            options.flood = true;
        } else if (arg == "--count") {
            if ((read = (v = Number(argc, argv, i, 0, 1e15)).has_value())) options.count = static_cast<uint64_t>(*v);
        } else if (arg == "--cars") {
            if ((read = (v = Number(argc, argv, i, 1, 255)).has_value())) options.cars = static_cast<int>(*v);
        } else if (arg == "--throttle" && i + 1 < argc) {
            read = ReadThrottle(argv[++i], options);
        } else if (arg == "--bench-user") {
            options.benchUser = true;
        } else if (arg == "--seed") {
            if ((read = (v = Number(argc, argv, i, 1, 4294967295.0)).has_value())) options.benchSeed = static_cast<uint32_t>(*v);
        } else if (arg == "--escape-all") {
            options.escapeAll = true;
        } else if (arg == "--id") {
            if ((read = (v = Number(argc, argv, i, 0, 255)).has_value())) options.unitId = static_cast<uint8_t>(*v);
        } else if (arg == "--name" && i + 1 < argc) {
            options.name = argv[++i];
        } else if (arg == "--link" && i + 1 < argc) {
            options.linkPath = argv[++i];
        } else if (arg == "--replay" && i + 1 < argc) {
            options.replayPath = argv[++i];
        } else if (arg == "--speed") {
            v = Number(argc, argv, i, unitsim::kMinReplaySpeed, unitsim::kMaxReplaySpeed, false);
            if ((read = v.has_value())) options.replaySpeed = *v;
        } else if (arg == "--replug-down-ms") {
            if ((read = (v = Number(argc, argv, i, 0, 3600000)).has_value())) replugDownMs = static_cast<int>(*v);
        } else {
            std::fprintf(stderr, "unit-sim: cannot read option '%s'\n", arg.c_str());
            read = false;
        }
        if (!read) {
            Usage(stderr, argv[0]);
            return 2;
        }
    }

    if (options.benchUser && options.throttles.empty()) {
        std::fprintf(stderr, "unit-sim: --bench-user needs the cars it checks: --throttle CAR:MODEL\n");
        Usage(stderr, argv[0]);
        return 2;
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts

    try {
        unitsim::UnitSim sim(options, [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
        std::thread signalThread([&] {
            const toolkit::UniqueFd fd(signalfd(-1, &signals, SFD_CLOEXEC));
            signalfd_siginfo info{};
            while (fd.Valid() && read(fd.Get(), &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1) {
                    sim.Replug(replugDownMs);
                } else {
                    break;
                }
            }
            sim.Stop();
        });
        sim.Run();
        // Wake the signal thread if Run ended on its own.
        if (signalThread.joinable()) {
            pthread_kill(signalThread.native_handle(), SIGTERM);
            signalThread.join();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unit-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
