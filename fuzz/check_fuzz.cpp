// Random streams of status records into the throttle check: it must not crash, must keep its
// memory bounded (its windows and kept sweeps have fixed limits) and must give a verdict for
// every car that sent a record, whatever the times do (repeat, go back, jump ahead); and the
// check's shortcuts must give what taking every record the long way gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/check/StepGuide.h"
#include "app/check/ThrottleCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check::ThrottleCheck all;
    check::StepGuide guide(1);
    std::unique_ptr<check::CarCheck> longWay[8];
    bool seen[256] = {};
    int64_t ms = 1'765'000'000'000;
    // Six bytes a record: time step (two, signed), car, drive, brake, lane change.
    for (size_t at = 0; at + 6 <= size; at += 6) {
        int16_t step = 0;
        std::memcpy(&step, data + at, sizeof step);
        ms += step % 64 == 63 ? int64_t{step} * 1000 : step / 64;  // mostly a few ms; now and then far
        check::Sample s{ms, static_cast<uint8_t>(data[at + 2] % 8), data[at + 3], data[at + 4],
                        (data[at + 5] & 1) != 0};
        all.Add(s);
        guide.Add(s);
        if (!longWay[s.car]) longWay[s.car] = std::make_unique<check::CarCheck>(s.car, check::Thresholds{}, false);
        longWay[s.car]->Add(s);
        seen[s.car] = true;
    }
    size_t cars = 0;
    for (bool b : seen) cars += b ? 1 : 0;
    const std::vector<check::CarResult> results = all.Results();
    if (results.size() != cars) std::abort();
    for (const check::CarResult& r : results) {
        if (!seen[r.figures.car]) std::abort();
        if (all.Car(r.figures.car)->Sweeps().size() > check::kMaxSweepsKept) std::abort();
        if (r.verdict == check::Verdict::Ok && !(r.findings.empty() && r.missing.empty())) std::abort();
        if (r.verdict == check::Verdict::Check && r.findings.empty()) std::abort();
        if (check::CheckCsvRow(r).back() != '\n') std::abort();
        if (check::CheckCsvRow(r) != check::CheckCsvRow(longWay[r.figures.car]->Result())) std::abort();
    }
    return 0;
}
