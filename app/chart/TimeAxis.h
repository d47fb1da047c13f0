#pragma once
// The labels under a plot. The session window labels round times of day, each in the local
// wall-clock time of its own instant (a session may span a change of the clocks), and marks where
// the UTC offset changes; the live plot counts seconds back from its latest record. Plain C++.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/chart/Layout.h"

namespace chart {

struct AxisTick {
    int x = 0;          // pixel column
    int64_t timeMs = 0;  // the instant labelled
    std::string label;
};

// Where the UTC offset changes inside the view: from this instant on, offsetMinutes holds.
struct OffsetChange {
    int x = 0;
    int64_t timeMs = 0;
    int offsetMinutes = 0;
};

struct TimeAxis {
    std::vector<AxisTick> ticks;
    std::vector<OffsetChange> changes;
};

// The UTC offset in minutes in force at an instant (milliseconds since 1970-01-01 UTC).
using OffsetAt = std::function<int(int64_t utcMs)>;

// The label step for a view: the smallest of the round steps (1 ms to a day) that leaves at least
// minSpacingPx between labels.
int64_t TickStepMs(int64_t spanMs, int widthPx, int minSpacingPx);
// "9:43:51", "9:43" or "9:43:51.250": the wall-clock time of localMs (local milliseconds since
// 1970-01-01) in the form that tells ticks stepMs apart.
std::string TickLabel(int64_t localMs, int64_t stepMs, const std::string& timeSeparator);
// "UTC+02:00", "UTC-03:30".
std::string OffsetText(int offsetMinutes);

// Ticks on round local times across the view, each labelled in its own instant's local time, and
// the changes of offset between them. An offset that changes and changes back between two ticks
// is not seen.
TimeAxis LocalTimeAxis(const PlotLayout& layout, const TimeView& view, const OffsetAt& offsetAt, int minSpacingPx,
                       const std::string& timeSeparator);

// "-10", "-5" ... "0 s" under a view of the last windowSeconds.
TimeAxis RecentSecondsAxis(const PlotLayout& layout, int windowSeconds);

} // namespace chart
