#include "CostBreakdown.h"

#include <QEvent>

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/MainForm.h"
#include "toolkit/UniqueDir.h"

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

namespace {

// A thread's run time as the scheduler accounts it (nanoseconds, first field of schedstat).
double TaskCpuSeconds(const std::string& taskDir) {
    std::ifstream in(taskDir + "/schedstat");
    unsigned long long ns = 0;
    return (in >> ns) ? static_cast<double>(ns) / 1e9 : 0.0;
}

// The summed CPU of this process's threads with the given name.
double NamedThreadsCpuSeconds(const std::string& name) {
    double total = 0;
    const toolkit::UniqueDir dir(opendir("/proc/self/task"));
    if (!dir) return 0;
    while (const dirent* entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue;
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(task + "/comm");
        std::string taskName;
        if (std::getline(comm, taskName) && taskName == name) total += TaskCpuSeconds(task);
    }
    return total;
}

int paintDepth = 0;

double MonotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

bool BenchApplication::notify(QObject* receiver, QEvent* event) {
    const QEvent::Type type = event->type();
    if (paintDepth > 0 || (type != QEvent::UpdateRequest && type != QEvent::Paint)) {
        return QApplication::notify(receiver, event);
    }
    ++paintDepth;
    const double start = ThreadCpuSeconds();
    const bool handled = QApplication::notify(receiver, event);
    CostBreakdown::Instance().AddPaint(ThreadCpuSeconds() - start);
    --paintDepth;
    return handled;
}

CostBreakdown& CostBreakdown::Instance() {
    static CostBreakdown instance;
    return instance;
}

void CostBreakdown::Attach(TForm1& form) {
    TVaCommRxCharEvent handler = form.VaComm1->OnRxChar;
    // The handler never blocks, so its elapsed time is its CPU time; the monotonic clock is read
    // without a system call, where a thread's CPU clock costs one (twice per delivery, which
    // would be charged to the window).
    form.VaComm1->OnRxChar = [this, handler](toolkit::TObject* sender, int32_t count) {
        const double start = MonotonicSeconds();
        if (handler) handler(sender, count);
        FDecodeS += MonotonicSeconds() - start;
        ++FDeliveries;
        FBytes += static_cast<uint64_t>(count > 0 ? count : 0);
    };
}

CostBreakdown::Sample CostBreakdown::Take() const {
    Sample s;
    s.main = ThreadCpuSeconds();
    s.events = NamedThreadsCpuSeconds("serial-events");
    s.decode = FDecodeS;
    s.paint = FPaintS;
    s.deliveries = FDeliveries;
    s.bytes = FBytes;
    s.paints = FPaints;
    return s;
}

void CostBreakdown::Begin() { FStart = Take(); }

CostBreakdown::Figures CostBreakdown::End(double appCpuS) const {
    const Sample now = Take();
    Figures f;
    f.eventThreadS = now.events - FStart.events;
    f.decodeS = now.decode - FStart.decode;
    f.paintS = now.paint - FStart.paint;
    const double main = now.main - FStart.main;
    f.handoverS = main - f.decodeS - f.paintS;
    f.otherS = appCpuS - main - f.eventThreadS;
    f.deliveries = now.deliveries - FStart.deliveries;
    f.bytes = now.bytes - FStart.bytes;
    f.paints = now.paints - FStart.paints;
    return f;
}

CostBreakdown::Figures& CostBreakdown::Figures::operator+=(const Figures& more) {
    eventThreadS += more.eventThreadS;
    handoverS += more.handoverS;
    decodeS += more.decodeS;
    paintS += more.paintS;
    otherS += more.otherS;
    deliveries += more.deliveries;
    bytes += more.bytes;
    paints += more.paints;
    return *this;
}

std::string CostBreakdown::Json(const char* phase, const Figures& f, double records) {
    std::string json;
    auto add = [&](const char* key, double v) {
        char buf[128];
        std::snprintf(buf, sizeof buf, ",\"%s_%s\":%.4g", phase, key, v);
        json += buf;
    };
    const double per = records > 0 ? 1e6 / records : 0;  // seconds -> ms per 1000 records
    add("event_thread_ms_per_1000", f.eventThreadS * per);
    add("handover_ms_per_1000", f.handoverS * per);
    add("decode_ms_per_1000", f.decodeS * per);
    add("paint_ms_per_1000", f.paintS * per);
    add("other_threads_ms_per_1000", f.otherS * per);
    const double perRecord = records > 0 ? 1000.0 / records : 0;
    add("deliveries_per_1000", static_cast<double>(f.deliveries) * perRecord);
    add("bytes_per_delivery", f.deliveries > 0 ? static_cast<double>(f.bytes) / static_cast<double>(f.deliveries) : 0);
    add("paints_per_1000", static_cast<double>(f.paints) * perRecord);
    return json;
}
