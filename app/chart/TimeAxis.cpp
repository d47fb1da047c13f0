#include "app/chart/TimeAxis.h"

#include <algorithm>
#include <cmath>

#include "app/record/Time.h"

namespace chart {

namespace {
constexpr int64_t kSecond = record::kMsPerSecond, kMinute = record::kMsPerMinute, kHour = record::kMsPerHour,
                  kDay = record::kMsPerDay;
constexpr int64_t kTickSteps[] = {1, 2, 5, 10, 20, 50, 100, 200, 500,
                                  kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
                                  kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                                  kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour, kDay};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
int64_t CeilTo(int64_t a, int64_t step) { return -FloorDiv(-a, step) * step; }

std::string TwoDigits(int64_t v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); }

// The first instant after `from` whose offset differs from `before`, the offset at `from`, given
// that the one at `to` does.
int64_t FirstWithNewOffset(int64_t from, int64_t to, int before, const OffsetAt& offsetAt) {
    while (to - from > 1) {
        const int64_t mid = from + (to - from) / 2;
        if (offsetAt(mid) == before) from = mid; else to = mid;
    }
    return to;
}

int XOf(const PlotLayout& layout, const TimeView& view, int64_t t) {
    return static_cast<int>(std::lround(XForTime(layout, view, t)));
}
} // namespace

int64_t TickStepMs(int64_t spanMs, int widthPx, int minSpacingPx) {
    const double msPerPx = static_cast<double>(std::max<int64_t>(spanMs, 1)) / std::max(widthPx, 1);
    for (int64_t step : kTickSteps) {
        if (static_cast<double>(step) / msPerPx >= minSpacingPx) return step;
    }
    // Beyond a day a label a day apart is still readable as a time of day; spread them out.
    const auto days = static_cast<int64_t>(std::ceil(minSpacingPx * msPerPx / static_cast<double>(kDay)));
    return days * kDay;
}

std::string TickLabel(int64_t localMs, int64_t stepMs, const std::string& sep) {
    // The capture table's time of day, cut to what tells the ticks apart.
    std::string text;
    record::AppendTimeOfDay(text, localMs, sep);
    if (stepMs % kSecond == 0) text.resize(text.size() - 4);                // ".123"
    if (stepMs % kMinute == 0) text.resize(text.size() - sep.size() - 2);  // ":51"
    return text;
}

std::string OffsetText(int offsetMinutes) {
    const int magnitude = std::abs(offsetMinutes);
    return std::string("UTC") + (offsetMinutes < 0 ? '-' : '+') + TwoDigits(magnitude / 60) + ':' + TwoDigits(magnitude % 60);
}

TimeAxis LocalTimeAxis(const PlotLayout& layout, const TimeView& view, const OffsetAt& offsetAt, int minSpacingPx,
                       const std::string& sep) {
    TimeAxis axis;
    if (!layout.Usable() || view.SpanMs() <= 0) return axis;
    const int64_t step = TickStepMs(view.SpanMs(), layout.drive.width, minSpacingPx);
    // Each tick is the next round local time under the offset in force at the last instant
    // known; where the offset changes before it, the change is marked and the tick sought again
    // under the new offset, so every label is the wall-clock time of its own instant. Recorded
    // offsets change with the first record after the clocks did, a moment after the round time
    // of the change: a change within half a pixel of a tick counts as before it, so that tick
    // reads as the clocks did then (3:00, not a 2:00 that never was).
    const int64_t halfPixelMs = view.SpanMs() / std::max(layout.drive.width, 1) / 2;
    int64_t known = view.startMs;  // an instant where `offset` holds
    int offset = offsetAt(known);
    int64_t lowest = view.startMs;  // the earliest the next tick may be
    for (;;) {
        const int64_t offsetMs = int64_t{offset} * kMinute;
        const int64_t t = CeilTo(lowest + offsetMs, step) - offsetMs;
        const int64_t probe = std::min(std::max(t, known) + halfPixelMs, view.endMs);
        if (probe > known && offsetAt(probe) != offset) {
            const int64_t change = FirstWithNewOffset(known, probe, offset, offsetAt);
            offset = offsetAt(change);
            axis.changes.push_back({XOf(layout, view, change), change, offset});
            known = change;
            lowest = std::max(lowest, change - halfPixelMs);
            continue;
        }
        if (t > view.endMs) break;
        axis.ticks.push_back({XOf(layout, view, t), t, TickLabel(t + offsetMs, step, sep)});
        lowest = t + 1;
        known = std::max(known, probe);
    }
    return axis;
}

TimeAxis RecentSecondsAxis(const PlotLayout& layout, int windowSeconds) {
    TimeAxis axis;
    if (!layout.Usable() || windowSeconds <= 0) return axis;
    const int step = windowSeconds <= 10 ? 1 : windowSeconds <= 30 ? 5 : 10;
    for (int s = windowSeconds; s >= 0; s -= step) {
        const int x = layout.drive.Left() + static_cast<int>(std::lround(static_cast<double>(windowSeconds - s) * layout.drive.width / windowSeconds));
        // Appended rather than "-" + text: GCC 12 at -O3 warns falsely about an insert at the front.
        std::string label = s == 0 ? std::string("0 s") : std::string(1, '-');
        if (s != 0) label += std::to_string(s);
        axis.ticks.push_back({std::min(x, layout.drive.Right()), -int64_t{s} * kSecond, std::move(label)});
    }
    return axis;
}

} // namespace chart
