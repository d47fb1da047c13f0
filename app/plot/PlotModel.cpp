#include "app/plot/PlotModel.h"

#include <algorithm>

namespace plot {

namespace {
// Cars that have gone quiet are cleared of expired records this often, not on every record.
constexpr uint32_t kSweepEveryMs = 1000;

// Gathers one pixel column of one curve: its first and last value, which join it to its
// neighbours, and its lowest and highest, so a spike shorter than a pixel still shows its peak.
class ColumnExtremes {
public:
    void Take(size_t index, float x, uint8_t value) {
        const Mark mark{index, {x, value}};
        if (!FAny) FFirst = FMin = FMax = mark;
        if (value < FMin.point.Value) FMin = mark;
        if (value > FMax.point.Value) FMax = mark;
        FLast = mark;
        FAny = true;
    }
    void FlushTo(std::vector<PlotPoint>& out) {
        if (!FAny) return;
        // First and last bracket the column; the extremes go between them in the order they came.
        const Mark* low = &FMin;
        const Mark* high = &FMax;
        if (high->index < low->index) std::swap(low, high);
        out.push_back(FFirst.point);
        if (low->index != FFirst.index && low->index != FLast.index) out.push_back(low->point);
        if (high->index != FFirst.index && high->index != FLast.index && high->index != low->index) out.push_back(high->point);
        if (FLast.index != FFirst.index) out.push_back(FLast.point);
        FAny = false;
    }

private:
    struct Mark {
        size_t index;
        PlotPoint point;
    };
    bool FAny = false;
    Mark FFirst{}, FMin{}, FMax{}, FLast{};
};
} // namespace

PlotModel::PlotModel(size_t maxSamples) : FMaxSamples(std::max<size_t>(maxSamples, 1)) { FLive.slot.fill(-1); }

void PlotModel::Add(int64_t timeMs, uint8_t car, uint8_t drive, uint8_t brake, uint8_t lastLb, bool laneChange) {
    if (FLive.any && timeMs < FLatestInputMs) timeMs = FLatestInputMs;
    FLatestInputMs = timeMs;
    const auto now = static_cast<uint32_t>(timeMs);
    const bool sweep = !FLive.any || static_cast<int32_t>(now - FNextSweepMs) >= 0;
    if (sweep) FNextSweepMs = now + kSweepEveryMs;
    FLive.latestMs = now;
    FLive.any = true;

    if (FLive.slot[car] < 0) {
        FLive.slot[car] = static_cast<int16_t>(FLive.rings.size());
        FLive.rings.emplace_back(FMaxSamples);
        FLive.order.push_back(car);
    }
    if (FLive.total >= FMaxSamples) DropOldest();
    RingBuffer<Sample>& ring = FLive.rings[static_cast<size_t>(FLive.slot[car])];
    ring.Push(Sample{now, drive, brake, lastLb, laneChange});
    ++FLive.total;

    if (sweep) {
        DropExpired();
    } else {
        while (!ring.Empty() && now - ring.Front().TimeMs > static_cast<uint32_t>(kHistoryMs)) {
            ring.PopFront();
            --FLive.total;
        }
    }
    ++FRevision;
}

void PlotModel::DropOldest() {
    // Only reached when records come faster than a line can carry them, maybe thousands a second
    // more: the oldest sixty-fourth of the time held goes from every car at once, so this search
    // over the cars runs once per many records, not for each one.
    uint32_t oldestAge = 0;
    for (const RingBuffer<Sample>& ring : FLive.rings) {
        if (!ring.Empty()) oldestAge = std::max(oldestAge, FLive.latestMs - ring.Front().TimeMs);
    }
    const uint32_t dropFromAge = oldestAge - oldestAge / 64;
    for (RingBuffer<Sample>& ring : FLive.rings) {
        while (!ring.Empty() && (dropFromAge == 0 || FLive.latestMs - ring.Front().TimeMs >= dropFromAge)) {
            ring.PopFront();
            --FLive.total;
            if (dropFromAge == 0) return;  // all within one millisecond: make room for one
        }
    }
}

void PlotModel::DropExpired() {
    for (RingBuffer<Sample>& ring : FLive.rings) {
        while (!ring.Empty() && FLive.latestMs - ring.Front().TimeMs > static_cast<uint32_t>(kHistoryMs)) {
            ring.PopFront();
            --FLive.total;
        }
    }
}

void PlotModel::SetWindowSeconds(int seconds) {
    if (std::find(std::begin(kWindowChoices), std::end(kWindowChoices), seconds) == std::end(kWindowChoices)) return;
    if (seconds == FWindowSeconds) return;
    FWindowSeconds = seconds;
    ++FRevision;
}

void PlotModel::SetPaused(bool paused) {
    if (paused == Paused()) return;
    if (paused) {
        FFrozen = FLive;
    } else {
        FFrozen.reset();
    }
    ++FRevision;
}

std::optional<Sample> PlotModel::Latest(uint8_t car) const {
    const Traces& t = Shown();
    if (t.slot[car] < 0) return std::nullopt;
    const RingBuffer<Sample>& ring = t.rings[static_cast<size_t>(t.slot[car])];
    if (ring.Empty()) return std::nullopt;
    return ring.Back();
}

DecimatedTrace PlotModel::Decimate(uint8_t car, int widthPx) const {
    DecimatedTrace out;
    const Traces& t = Shown();
    if (widthPx <= 0 || t.slot[car] < 0) return out;
    const RingBuffer<Sample>& ring = t.rings[static_cast<size_t>(t.slot[car])];
    const auto span = static_cast<uint32_t>(FWindowSeconds) * 1000u;
    auto age = [&](size_t i) { return t.latestMs - ring[i].TimeMs; };

    // Ages fall with the index: find the first record inside the window.
    size_t lo = 0, hi = ring.Size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (age(mid) > span) lo = mid + 1; else hi = mid;
    }

    const float pxPerMs = static_cast<float>(widthPx) / static_cast<float>(span);
    const size_t reserve = std::min(ring.Size() - lo, static_cast<size_t>(widthPx) * 4);
    out.Drive.reserve(reserve);
    out.Brake.reserve(reserve);
    ColumnExtremes drive, brake;
    int column = -1;
    bool laneInColumn = false;
    for (size_t i = lo; i < ring.Size(); ++i) {
        const Sample& s = ring[i];
        const float x = static_cast<float>(span - age(i)) * pxPerMs;
        const int col = std::min(widthPx - 1, static_cast<int>(x));
        if (col != column) {
            drive.FlushTo(out.Drive);
            brake.FlushTo(out.Brake);
            column = col;
            laneInColumn = false;
        }
        drive.Take(i, x, s.Drive);
        brake.Take(i, x, s.Brake);
        if (s.LaneChange && !laneInColumn) {
            out.LaneChanges.push_back({x, s.Drive});
            laneInColumn = true;
        }
    }
    drive.FlushTo(out.Drive);
    brake.FlushTo(out.Brake);
    return out;
}

} // namespace plot
