// The session window's view model, without a window: zoom limits, panning and the scroll bar,
// cursor steps and the view following the cursor, playback at each speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/chart/Timeline.h"

namespace {

using chart::Timeline;
using chart::TimeView;

// Records at given times.
class Times : public chart::RecordTimes {
public:
    explicit Times(std::vector<int64_t> times) : FTimes(std::move(times)) {}
    size_t Count() const override { return FTimes.size(); }
    int64_t TimeMs(size_t i) const override { return FTimes[i]; }
    size_t LowerBound(int64_t t) const override {
        return static_cast<size_t>(std::lower_bound(FTimes.begin(), FTimes.end(), t) - FTimes.begin());
    }
    size_t Nearest(int64_t t) const override {
        const size_t after = LowerBound(t);
        if (after == 0) return 0;
        if (after == FTimes.size()) return after - 1;
        return t - FTimes[after - 1] <= FTimes[after] - t ? after - 1 : after;
    }

private:
    std::vector<int64_t> FTimes;
};

// A record every 20 ms from 1000 ms on.
Times Every20Ms(int count) {
    std::vector<int64_t> t;
    for (int i = 0; i < count; ++i) t.push_back(1000 + 20 * int64_t{i});
    return Times(t);
}

struct Told {
    int view = 0, cursor = 0, playing = 0;
};

void Listen(Timeline& m, Told& told) {
    m.OnViewChanged = [&] { ++told.view; };
    m.OnCursorChanged = [&] { ++told.cursor; };
    m.OnPlayingChanged = [&] { ++told.playing; };
}

TEST(TimelineTest, TheViewStaysInsideTheSessionAndNoNarrowerThanItsLimit) {
    const Times times = Every20Ms(500);  // 1000 .. 10980
    Timeline m;
    Told told;
    Listen(m, told);
    m.SetRecords(&times);
    const TimeView whole{1000, 10981};
    EXPECT_EQ(m.Whole(), whole);
    EXPECT_EQ(m.View(), whole);
    EXPECT_FALSE(m.Cursor());

    m.ZoomBy(2.0);
    EXPECT_EQ(m.View().SpanMs(), (whole.SpanMs() + 1) / 2);
    m.ZoomBy(0.25);
    EXPECT_EQ(m.View(), whole) << "never further out than the whole session";
    m.ZoomBy(1e9, 1500);
    EXPECT_EQ(m.View().SpanMs(), Timeline::kMinSpanMs);
    EXPECT_LE(m.View().startMs, 1500);
    EXPECT_GE(m.View().endMs, 1500);
    m.ZoomBy(0.0);
    m.ZoomBy(-2.0);
    EXPECT_EQ(m.View().SpanMs(), Timeline::kMinSpanMs) << "a factor that is no zoom is ignored";

    // Zooming around a time keeps it at the same place across the view.
    m.ShowWhole();
    const TimeView before = m.View();
    m.ZoomBy(4.0, 3000);
    const double shareBefore = static_cast<double>(3000 - before.startMs) / before.SpanMs();
    EXPECT_NEAR(static_cast<double>(3000 - m.View().startMs) / m.View().SpanMs(), shareBefore, 0.001);

    m.PanBy(-1'000'000);
    EXPECT_EQ(m.View().startMs, whole.startMs);
    m.PanBy(1'000'000);
    EXPECT_EQ(m.View().endMs, whole.endMs);
    m.ShowRange(5000, 4000);
    EXPECT_EQ(m.View(), (TimeView{4000, 5000})) << "either way round";
    m.ShowRange(5000, 5010);
    EXPECT_EQ(m.View(), (TimeView{4955, 5055})) << "a narrow range widened about its middle";

    const int changes = told.view;
    m.ShowRange(4955, 5055);
    EXPECT_EQ(told.view, changes) << "nothing told when nothing changed";
}

TEST(TimelineTest, TheScrollBarCoversTheSessionAndReachesItsEnd) {
    // Longer than the scroll bar has steps: each step is more than a millisecond.
    std::vector<int64_t> t{0, 5'000'000'000};
    const Times times(t);
    Timeline m;
    m.SetRecords(&times);
    m.ShowRange(0, 1'000'000);
    Timeline::Scroll s = m.ScrollPosition();
    EXPECT_LE(s.maximum, Timeline::kScrollSteps);
    EXPECT_EQ(s.value, 0);
    EXPECT_GE(s.page, 1);
    m.ScrollTo(s.maximum);
    EXPECT_EQ(m.View().endMs, m.Whole().endMs) << "the last step reaches the end whatever the rounding";
    EXPECT_EQ(m.View().SpanMs(), 1'000'000);
    m.ScrollTo(s.maximum / 2);
    s = m.ScrollPosition();
    EXPECT_EQ(s.value, s.maximum / 2);
}

TEST(TimelineTest, TheCursorStepsWithinTheRecordsAndTheViewFollowsIt) {
    const Times times = Every20Ms(500);
    Timeline m;
    Told told;
    Listen(m, told);
    m.StepCursor(1);
    m.SetCursor(3);
    EXPECT_FALSE(m.Cursor()) << "no records yet: no cursor";
    m.SetRecords(&times);
    m.SetCursor(0);
    m.StepCursor(-5);
    EXPECT_EQ(m.Cursor(), 0u);
    m.StepCursor(7);
    EXPECT_EQ(m.Cursor(), 7u);
    m.SetCursor(100000);
    EXPECT_EQ(m.Cursor(), 499u);
    m.StepCursor(1);
    EXPECT_EQ(m.Cursor(), 499u);
    m.SetCursorNearTime(1031);
    EXPECT_EQ(m.Cursor(), 2u);
    m.SetCursorNearTime(1030);
    EXPECT_EQ(m.Cursor(), 1u) << "the earlier on a tie";

    // Zoomed in, a cursor that leaves the view brings it along at the same zoom.
    m.ShowRange(1000, 1500);
    m.SetCursor(100);  // at 3000
    EXPECT_EQ(m.View(), (TimeView{2950, 3450}));
    m.SetCursor(10);  // at 1200, before the view
    EXPECT_EQ(m.View(), (TimeView{1000, 1500})) << "a tenth of the view behind it, but not before the session";
    const int views = told.view;
    m.SetCursor(11);  // in view: the view stays
    EXPECT_EQ(told.view, views);
    EXPECT_GT(told.cursor, 0);

    // Zooming without a point keeps the cursor in place when it is in view.
    const double share = static_cast<double>(1220 - m.View().startMs) / m.View().SpanMs();
    m.ZoomBy(2.0);
    EXPECT_NEAR(static_cast<double>(1220 - m.View().startMs) / m.View().SpanMs(), share, 0.01);
}

TEST(TimelineTest, PlaybackMovesTheCursorAtTheRecordedPaceTimesEachSpeed) {
    const Times times = Every20Ms(500);
    for (const int speed : Timeline::kSpeeds) {
        Timeline m;
        Told told;
        Listen(m, told);
        m.SetRecords(&times);
        ASSERT_TRUE(m.SetSpeed(speed));
        m.SetCursor(10);
        m.AdvancePlayback(100);
        EXPECT_EQ(m.Cursor(), 10u) << "not playing: nothing moves";
        ASSERT_TRUE(m.SetPlaying(true));
        EXPECT_TRUE(m.Playing());
        EXPECT_EQ(told.playing, 1);
        m.AdvancePlayback(100);
        EXPECT_EQ(m.Cursor(), static_cast<size_t>(10 + 100 * speed / 20)) << "speed " << speed;
        m.AdvancePlayback(-50);
        EXPECT_EQ(m.Cursor(), static_cast<size_t>(10 + 100 * speed / 20)) << "time never runs back";
        m.AdvancePlayback(9);
        EXPECT_EQ(m.Cursor(), static_cast<size_t>(10 + 109 * speed / 20)) << "a part step is kept, not lost";
        m.AdvancePlayback(3'600'000);
        EXPECT_EQ(m.Cursor(), 499u);
        EXPECT_FALSE(m.Playing()) << "stops at the end";
        EXPECT_EQ(told.playing, 2);
        ASSERT_TRUE(m.SetPlaying(true));
        EXPECT_EQ(m.Cursor(), 0u) << "from the start again";
    }
    Timeline m;
    EXPECT_FALSE(m.SetSpeed(3));
    EXPECT_EQ(m.Speed(), 1);
    EXPECT_FALSE(m.SetPlaying(true)) << "nothing to play";
    EXPECT_FALSE(m.Playing());
}

} // namespace
