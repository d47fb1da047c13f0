#pragma once
// Where the window's CPU goes while it captures, measured with the kernel's per-thread CPU
// accounting and counters on the main thread:
//   event thread  the port's event thread ("serial-events"): waiting, reading into the own queue,
//                 handing each event over and waiting for its handler;
//   decode        the OnRxChar handler: the per-byte ReadChar calls, framing and the table writes
//                 (timed with the monotonic clock: it never blocks, and a CPU clock costs a
//                 system call per reading);
//   paint         the window's repaints (every update request and paint event, with the flush);
//   hand-over     the rest of the main thread: waking its event loop, running the queued call,
//                 moving the port into the queue and counting it before the handler runs;
//   other         the rest of the window's threads (the writer, Qt's own).
#include <QApplication>

#include <cstdint>
#include <string>

class TForm1;

// The benchmark's application object: it times painting on the main thread.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

class CostBreakdown {
public:
    static CostBreakdown& Instance();

    // Times the form's OnRxChar handler from now on.
    void Attach(TForm1& form);

    struct Figures {
        double eventThreadS = 0;
        double handoverS = 0;
        double decodeS = 0;
        double paintS = 0;
        double otherS = 0;
        uint64_t deliveries = 0;  // OnRxChar calls
        uint64_t bytes = 0;       // bytes they announced
        uint64_t paints = 0;      // update requests and paint events that ran at the top
        Figures& operator+=(const Figures& more);
    };
    void Begin();
    // `appCpuS`: the window's side of the process over the same time (all but the unit's thread).
    Figures End(double appCpuS) const;

    // JSON fields `<phase>_<part>_ms_per_1000` and the counters per 1000 records.
    static std::string Json(const char* phase, const Figures& f, double records);

    // Main thread only (BenchApplication).
    void AddPaint(double cpuS) {
        FPaintS += cpuS;
        ++FPaints;
    }

private:
    struct Sample {
        double main = 0;
        double events = 0;
        double decode = 0;
        double paint = 0;
        uint64_t deliveries = 0;
        uint64_t bytes = 0;
        uint64_t paints = 0;
    };
    Sample Take() const;

    Sample FStart;
    double FDecodeS = 0;
    double FPaintS = 0;
    uint64_t FDeliveries = 0;
    uint64_t FBytes = 0;
    uint64_t FPaints = 0;
};

// CPU seconds of the calling thread.
double ThreadCpuSeconds();
