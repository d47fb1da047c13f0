#include "FloorReader.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "toolkit/UniqueFd.h"

namespace {

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

double ThreadCpuS() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads until `until` (monotonic ns), counting line ends while `counting` says so.
struct ReadLoop {
    int fd;
    std::vector<char> block = std::vector<char>(64 * 1024);
    uint64_t lineEnds = 0;
    uint64_t reads = 0;

    bool RunUntil(int64_t until) {
        for (;;) {
            const int64_t left = until - MonotonicNs();
            if (left <= 0) return true;
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(left / 1000000 + 1));
            if (ready < 0) return false;
            if (ready == 0 || (p.revents & POLLIN) == 0) {
                if (p.revents & (POLLHUP | POLLERR)) return false;
                continue;
            }
            const ssize_t n = read(fd, block.data(), block.size());
            if (n < 0) continue;
            ++reads;
            const char* const end = block.data() + n;
            for (const char* c = block.data(); c < end; ++c) {
                c = static_cast<const char*>(std::memchr(c, '\r', static_cast<size_t>(end - c)));
                if (c == nullptr) break;
                ++lineEnds;
            }
        }
    }
};

} // namespace

FloorFigures RunFloorReader(const unitsim::Options& options, double seconds) {
    unitsim::Options o = options;
    o.linkPath.clear();
    auto sim = std::make_unique<unitsim::UnitSim>(o);
    std::thread simThread([&sim] { sim->Run(); });
    FloorFigures figures;
    {
        const toolkit::UniqueFd port(open(sim->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        termios raw{};
        if (port.Get() >= 0 && tcgetattr(port.Get(), &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(port.Get(), TCSANOW, &raw);
            // The probe byte, then the setup command: the unit starts streaming.
            const std::string hello = "N" + unitsim::kSetupCommand;
            if (WriteAll(port.Get(), hello.data(), hello.size())) {
                ReadLoop loop{port.Get()};
                if (loop.RunUntil(MonotonicNs() + 500000000LL)) {
                    loop.lineEnds = 0;
                    loop.reads = 0;
                    const double cpuStart = ThreadCpuS();
                    const int64_t start = MonotonicNs();
                    loop.RunUntil(start + static_cast<int64_t>(seconds * 1e9));
                    figures.readerCpuS = ThreadCpuS() - cpuStart;
                    figures.seconds = static_cast<double>(MonotonicNs() - start) / 1e9;
                    figures.records = loop.lineEnds;
                    figures.reads = loop.reads;
                }
            }
        }
    }
    sim->Stop();
    simThread.join();
    return figures;
}
