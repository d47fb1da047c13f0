#include "CheckCommand.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "app/check/ThrottleCheck.h"
#include "app/session/SessionScan.h"

namespace check {

namespace {
// Reading the file and judging its records each take a core: the reading thread hands the
// records over in batches and an analysing thread feeds them to the check. At most kInFlight
// batches wait, so memory stays bounded however long the file. The analysing thread is joined
// before the check it feeds is read or goes away.
class BatchedCheck {
public:
    explicit BatchedCheck(ThrottleCheck& check) : FCheck(check), FThread([this] { Run(); }) { FBatch.reserve(kBatch); }
    ~BatchedCheck() { Finish(); }
    BatchedCheck(const BatchedCheck&) = delete;
    BatchedCheck& operator=(const BatchedCheck&) = delete;

    // Reading thread only.
    void Add(const Sample& s) {
        FBatch.push_back(s);
        if (FBatch.size() == kBatch) Hand();
    }
    // Reading thread only: hands over what is left and waits until every record was fed.
    void Finish() {
        if (!FThread.joinable()) return;
        if (!FBatch.empty()) Hand();
        {
            const std::lock_guard lock(FMutex);
            FDone = true;
        }
        FChanged.notify_all();
        FThread.join();
    }

private:
    static constexpr size_t kBatch = 1 << 16;
    static constexpr size_t kInFlight = 2;

    void Hand() {
        std::unique_lock lock(FMutex);
        FChanged.wait(lock, [&] { return FQueue.size() < kInFlight; });
        FQueue.push_back(std::move(FBatch));
        lock.unlock();
        FChanged.notify_all();
        FBatch = {};
        FBatch.reserve(kBatch);
    }

    void Run() {
        for (;;) {
            std::vector<Sample> batch;
            {
                std::unique_lock lock(FMutex);
                FChanged.wait(lock, [&] { return !FQueue.empty() || FDone; });
                if (FQueue.empty()) return;
                batch = std::move(FQueue.front());
                FQueue.pop_front();
            }
            FChanged.notify_all();
            for (const Sample& s : batch) FCheck.Add(s);
        }
    }

    ThrottleCheck& FCheck;     // analysing thread only, until joined
    std::vector<Sample> FBatch;  // reading thread only
    // Shared, under the mutex.
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::vector<Sample>> FQueue;
    bool FDone = false;
    std::thread FThread;  // last: starts once everything above exists
};
} // namespace

int RunCheckCommand(const std::filesystem::path& path, const CheckCommandOptions& options, std::string& out,
                    std::string& err) {
    ThrottleCheck all(options.thresholds);
    const int onlyCar = options.car.value_or(-1);
    session::ScanResult scan;
    {
        BatchedCheck batched(all);
        scan = session::ScanSessionFile(path, [&](const session::ScannedRow& row) {
            if (row.kind != session::RowKind::Status || (onlyCar >= 0 && row.car != onlyCar)) return;
            batched.Add({row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange});
        });
        batched.Finish();
    }
    if (scan.status != session::ScanStatus::Done) {
        err += "torvane-capture: " + scan.error + "\n";
        return 1;
    }
    const std::vector<CarResult> results = all.Results();
    if (options.car && results.empty()) {
        err += "torvane-capture: " + session::PathText(path) + ": car " + std::to_string(*options.car) +
               " has no status records\n";
        return 1;
    }
    out += CheckCsvHeader();
    for (const CarResult& r : results) out += CheckCsvRow(r);
    if (scan.skippedRows > 0) {
        err += "torvane-capture: " + session::PathText(path) + ": " + std::to_string(scan.skippedRows) +
               (scan.skippedRows == 1 ? " row could not be read and was" : " rows could not be read and were") +
               " left out" +
               (scan.unterminatedTail ? " (the last row is cut short: is the file still being written?)" : "") + "\n";
    }
    return 0;
}

} // namespace check
