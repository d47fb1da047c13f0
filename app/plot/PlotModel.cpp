#include "app/plot/PlotModel.h"

#include <algorithm>

namespace plot {

namespace {
// Cars that have gone quiet are cleared of expired records this often, not on every record.
constexpr uint32_t kSweepEveryMs = 1000;

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

void PlotModel::Columns(uint8_t car, int widthPx, std::vector<chart::Column>& out) const {
    out.assign(static_cast<size_t>(std::max(widthPx, 0)), chart::Column{});
    const Traces& t = Shown();
    if (widthPx <= 0 || t.slot[car] < 0) return;
    const RingBuffer<Sample>& ring = t.rings[static_cast<size_t>(t.slot[car])];
    const auto span = static_cast<uint32_t>(FWindowSeconds) * 1000u;
    auto age = [&](size_t i) { return t.latestMs - ring[i].TimeMs; };

    // Ages fall with the index: find the first record inside the window.
    size_t lo = 0, hi = ring.Size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (age(mid) > span) lo = mid + 1; else hi = mid;
    }

    // The view ends at the latest record; the last column takes the right edge.
    const double pxPerMs = static_cast<double>(widthPx) / static_cast<double>(span);
    for (size_t i = lo; i < ring.Size(); ++i) {
        const Sample& s = ring[i];
        const int col = std::min(widthPx - 1, static_cast<int>(static_cast<double>(span - age(i)) * pxPerMs));
        chart::Column& c = out[static_cast<size_t>(col)];
        if (c.records == 0) {
            c.driveFirst = c.driveMin = c.driveMax = s.Drive;
            c.brakeFirst = c.brakeMin = c.brakeMax = s.Brake;
        }
        ++c.records;
        c.driveMin = std::min(c.driveMin, s.Drive);
        c.driveMax = std::max(c.driveMax, s.Drive);
        c.brakeMin = std::min(c.brakeMin, s.Brake);
        c.brakeMax = std::max(c.brakeMax, s.Brake);
        c.driveLast = s.Drive;
        c.brakeLast = s.Brake;
        if (s.LaneChange && !c.laneChange) {
            c.laneChange = true;
            c.laneDrive = s.Drive;
        }
    }
}

} // namespace plot
