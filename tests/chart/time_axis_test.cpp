// The session plot's time axis: round steps, labels in the wall-clock time of each tick's own
// instant across both changes of the clocks in a year, and the changes marked where they happen.
#include <gtest/gtest.h>

#include <string>

#include "app/chart/TimeAxis.h"

namespace {

using chart::AxisTick;
using chart::LocalTimeAxis;
using chart::PlotLayout;
using chart::TimeAxis;
using chart::TimeView;

constexpr int64_t kMinute = 60000, kHour = 60 * kMinute, kDay = 24 * kHour;
constexpr int64_t kSpringChange = 1774746000000;  // 2026-03-29T01:00Z: UTC+01:00 becomes UTC+02:00
constexpr int64_t kAutumnChange = 1792890000000;  // 2026-10-25T01:00Z: UTC+02:00 becomes UTC+01:00

int CentralEurope(int64_t utcMs) { return utcMs >= kSpringChange && utcMs < kAutumnChange ? 120 : 60; }

// The wall-clock time of an instant, worked out here on its own.
std::string WallClock(int64_t utcMs, int64_t stepMs) {
    const int64_t local = ((utcMs + CentralEurope(utcMs) * kMinute) % kDay + kDay) % kDay;
    std::string text = std::to_string(local / kHour) + ":" + (local / kMinute % 60 < 10 ? "0" : "") + std::to_string(local / kMinute % 60);
    if (stepMs % kMinute != 0) text += std::string(":") + (local / 1000 % 60 < 10 ? "0" : "") + std::to_string(local / 1000 % 60);
    return text;
}

const PlotLayout kLayout = PlotLayout::For(1000, 400);

TimeAxis Axis(TimeView view, int minSpacingPx = 90) { return LocalTimeAxis(kLayout, view, CentralEurope, minSpacingPx, ":"); }

TEST(TimeAxisTest, StepsAreRoundAndLabelsTellTicksApart) {
    using chart::TickLabel;
    using chart::TickStepMs;
    EXPECT_EQ(TickStepMs(10000, 1000, 90), 1000);     // 10 ms a pixel: a label a second
    EXPECT_EQ(TickStepMs(100, 1000, 90), 10);
    EXPECT_EQ(TickStepMs(3600000, 1000, 90), 600000);  // an hour: ten minutes
    EXPECT_GT(TickStepMs(int64_t{100} * 86400000, 500, 90), int64_t{86400000});
    const int64_t nineLocal = 9 * kHour;
    EXPECT_EQ(TickLabel(nineLocal + 5000, 1000, ":"), "9:00:05");
    EXPECT_EQ(TickLabel(nineLocal + 5500, 500, ":"), "9:00:05.500");
    EXPECT_EQ(TickLabel(nineLocal + 120000, 60000, "."), "9.02");
    EXPECT_EQ(TickLabel(-90 * kMinute, 60000, ":"), "22:30") << "before 1970: the day before";
    EXPECT_EQ(chart::OffsetText(120), "UTC+02:00");
    EXPECT_EQ(chart::OffsetText(-210), "UTC-03:30");
}

TEST(TimeAxisTest, EachTickIsLabelledInItsOwnInstantsLocalTimeAcrossBothChanges) {
    for (const int64_t change : {kSpringChange, kAutumnChange}) {
        for (const int64_t span : {2 * kHour, 10 * kMinute, 3 * kDay}) {
            const TimeView view{change - span / 2 + 7, change + span / 2};
            const TimeAxis axis = Axis(view);
            ASSERT_GE(axis.ticks.size(), 4u) << span;
            const int64_t step = chart::TickStepMs(view.SpanMs(), kLayout.drive.width, 90);
            int previousX = -1;
            for (const AxisTick& tick : axis.ticks) {
                EXPECT_EQ(tick.label, WallClock(tick.timeMs, step)) << "change " << change << ", span " << span;
                EXPECT_EQ((tick.timeMs + CentralEurope(tick.timeMs) * kMinute) % step, 0) << "a round local time: " << tick.label;
                EXPECT_GE(tick.timeMs, view.startMs);
                EXPECT_LE(tick.timeMs, view.endMs);
                EXPECT_GT(tick.x, previousX);
                previousX = tick.x;
            }
            ASSERT_EQ(axis.changes.size(), 1u) << "change " << change << ", span " << span;
            EXPECT_EQ(axis.changes[0].timeMs, change);
            EXPECT_EQ(axis.changes[0].offsetMinutes, CentralEurope(change));
        }
    }
}

TEST(TimeAxisTest, TheHourAfterTheChangesReadsAsTheClocksDo) {
    // Spring: 1:50 is followed by 3:00; autumn: 2:50 by 2:00 again.
    std::vector<std::string> spring, autumn;
    for (const AxisTick& t : Axis({kSpringChange - 20 * kMinute, kSpringChange + 20 * kMinute}, 200).ticks) spring.push_back(t.label);
    for (const AxisTick& t : Axis({kAutumnChange - 20 * kMinute, kAutumnChange + 20 * kMinute}, 200).ticks) autumn.push_back(t.label);
    EXPECT_EQ(spring, (std::vector<std::string>{"1:40", "1:50", "3:00", "3:10", "3:20"}));
    EXPECT_EQ(autumn, (std::vector<std::string>{"2:40", "2:50", "2:00", "2:10", "2:20"}));
}

TEST(TimeAxisTest, AChangeRecordedJustAfterTheRoundTimeReadsAsTheClocksDidThen) {
    // A session's offset changes with its first record after the change, a few milliseconds on.
    const auto recorded = [](int64_t utcMs) { return CentralEurope(utcMs - 7); };
    std::vector<std::string> spring;
    const TimeAxis axis = LocalTimeAxis(kLayout, {kSpringChange - 20 * kMinute, kSpringChange + 20 * kMinute}, recorded, 200, ":");
    for (const AxisTick& t : axis.ticks) spring.push_back(t.label);
    EXPECT_EQ(spring, (std::vector<std::string>{"1:40", "1:50", "3:00", "3:10", "3:20"}));
    ASSERT_EQ(axis.changes.size(), 1u);
    EXPECT_EQ(axis.changes[0].timeMs, kSpringChange + 7);
}

TEST(TimeAxisTest, NoChangeNoMarkAndTheLiveAxisCountsBack) {
    const TimeAxis quiet = Axis({kSpringChange + kDay, kSpringChange + 2 * kDay});
    EXPECT_TRUE(quiet.changes.empty());
    EXPECT_FALSE(quiet.ticks.empty());
    EXPECT_TRUE(LocalTimeAxis(PlotLayout::For(20, 20), {0, 1000}, CentralEurope, 90, ":").ticks.empty()) << "too small to draw";

    const TimeAxis live = chart::RecentSecondsAxis(kLayout, 10);
    ASSERT_EQ(live.ticks.size(), 11u);
    EXPECT_EQ(live.ticks.front().label, "-10");
    EXPECT_EQ(live.ticks.front().x, kLayout.drive.Left());
    EXPECT_EQ(live.ticks.back().label, "0 s");
    EXPECT_EQ(live.ticks.back().x, kLayout.drive.Right());
    EXPECT_EQ(chart::RecentSecondsAxis(kLayout, 60).ticks.size(), 7u);
}

} // namespace
