#include "app/chart/Timeline.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace chart {

void Timeline::SetRecords(const RecordTimes* records) {
    FRecords = records;
    FCursor.reset();
    FPlayTimeMs = 0;
    if (FPlaying) {
        FPlaying = false;
        Tell(OnPlayingChanged);
    }
    ShowWhole();
    Tell(OnCursorChanged);
}

TimeView Timeline::Whole() const {
    if (Count() == 0) return {0, kMinSpanMs};
    TimeView whole{FRecords->TimeMs(0), FRecords->TimeMs(Count() - 1) + 1};
    if (whole.SpanMs() < kMinSpanMs) {
        whole.startMs -= (kMinSpanMs - whole.SpanMs()) / 2;
        whole.endMs = whole.startMs + kMinSpanMs;
    }
    return whole;
}

void Timeline::SetView(TimeView view) {
    const TimeView whole = Whole();
    const int64_t span = std::clamp(view.SpanMs(), kMinSpanMs, whole.SpanMs());
    const int64_t start = std::clamp(view.startMs, whole.startMs, whole.endMs - span);
    const TimeView next{start, start + span};
    if (next == FView) return;
    FView = next;
    Tell(OnViewChanged);
}

void Timeline::ZoomBy(double factor, std::optional<int64_t> aroundMs) {
    if (!(factor > 0)) return;
    const TimeView v = FView;
    int64_t around = v.startMs + v.SpanMs() / 2;
    if (aroundMs) {
        around = *aroundMs;
    } else if (FCursor) {
        const int64_t t = FRecords->TimeMs(*FCursor);
        if (t >= v.startMs && t < v.endMs) around = t;
    }
    const auto span = static_cast<int64_t>(std::llround(static_cast<double>(v.SpanMs()) / factor));
    const double share = static_cast<double>(around - v.startMs) / static_cast<double>(std::max<int64_t>(v.SpanMs(), 1));
    const int64_t clamped = std::clamp(span, kMinSpanMs, Whole().SpanMs());
    const int64_t start = around - static_cast<int64_t>(std::llround(share * static_cast<double>(clamped)));
    SetView({start, start + clamped});
}

void Timeline::ShowRange(int64_t fromMs, int64_t toMs) {
    if (toMs < fromMs) std::swap(fromMs, toMs);
    if (toMs - fromMs < kMinSpanMs) {
        const int64_t middle = fromMs + (toMs - fromMs) / 2;
        fromMs = middle - kMinSpanMs / 2;
        toMs = fromMs + kMinSpanMs;
    }
    SetView({fromMs, toMs});
}

void Timeline::PanBy(int64_t deltaMs) { SetView({FView.startMs + deltaMs, FView.endMs + deltaMs}); }

Timeline::Scroll Timeline::ScrollPosition() const {
    const TimeView whole = Whole();
    const int64_t unit = std::max<int64_t>(1, (whole.SpanMs() + kScrollSteps - 1) / kScrollSteps);
    Scroll s;
    s.maximum = static_cast<int>((whole.SpanMs() - FView.SpanMs()) / unit);
    s.page = static_cast<int>(std::max<int64_t>(1, FView.SpanMs() / unit));
    s.single = std::max(1, s.page / 10);
    s.value = static_cast<int>((FView.startMs - whole.startMs) / unit);
    return s;
}

void Timeline::ScrollTo(int value) {
    const TimeView whole = Whole();
    const int64_t unit = std::max<int64_t>(1, (whole.SpanMs() + kScrollSteps - 1) / kScrollSteps);
    // The last step reaches the end exactly, whatever the rounding of the steps.
    const int64_t start = value >= ScrollPosition().maximum ? whole.endMs - FView.SpanMs() : whole.startMs + value * unit;
    SetView({start, start + FView.SpanMs()});
}

void Timeline::SetCursor(size_t index) {
    if (Count() == 0) return;
    MoveCursor(index);
    FPlayTimeMs = FRecords->TimeMs(*FCursor);
}

void Timeline::StepCursor(int64_t records) {
    if (Count() == 0) return;
    const auto last = static_cast<int64_t>(Count() - 1);
    const int64_t from = FCursor ? static_cast<int64_t>(*FCursor) : 0;
    SetCursor(static_cast<size_t>(std::clamp(from + records, int64_t{0}, last)));
}

void Timeline::SetCursorNearTime(int64_t timeMs) {
    if (Count() == 0) return;
    SetCursor(FRecords->Nearest(timeMs));
}

void Timeline::MoveCursor(size_t index) {
    index = std::min(index, Count() - 1);
    FCursor = index;
    const int64_t t = FRecords->TimeMs(index);
    // The view follows a cursor that leaves it, keeping its zoom.
    const TimeView v = FView;
    const auto margin = static_cast<int64_t>(static_cast<double>(v.SpanMs()) * kFollowMargin);
    if (t >= v.endMs) SetView({t - margin, t - margin + v.SpanMs()});
    else if (t < v.startMs) SetView({t + margin - v.SpanMs(), t + margin});
    Tell(OnCursorChanged);
}

bool Timeline::SetPlaying(bool playing) {
    if (playing == FPlaying) return true;
    if (playing) {
        if (Count() == 0) return false;
        if (!FCursor || *FCursor + 1 >= Count()) SetCursor(0);  // from the start again
        FPlayTimeMs = FRecords->TimeMs(*FCursor);
    }
    FPlaying = playing;
    Tell(OnPlayingChanged);
    return true;
}

bool Timeline::SetSpeed(int speed) {
    if (std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds)) return false;
    FSpeed = speed;
    return true;
}

void Timeline::AdvancePlayback(int64_t elapsedMs) {
    if (!FPlaying || Count() == 0 || !FCursor) return;
    FPlayTimeMs += std::max<int64_t>(elapsedMs, 0) * FSpeed;
    const size_t after = FRecords->LowerBound(FPlayTimeMs + 1);  // the first record still to come
    const size_t target = std::max(after, size_t{1}) - 1;
    if (target > *FCursor) MoveCursor(target);
    if (after >= Count()) SetPlaying(false);
}

} // namespace chart
