#include "app/check/ui/CheckPictures.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace check::ui {

namespace {
constexpr chart::Argb kTrace = 0xff1f5fbf;
constexpr chart::Argb kDeadColour = 0xffd0202a;
constexpr chart::Argb kAgainstColour = 0xffe08a00;
constexpr chart::Argb kFaultColour = 0xffd0202a;
constexpr chart::Argb kOkColour = 0xff207a30;
constexpr int kMargin = 34;

bool InSweep(int64_t ms, const Sweep& s) { return ms >= s.startMs && ms <= s.startMs + s.durationMs; }

std::string Or(const std::optional<int>& v) { return v ? std::to_string(*v) : std::string("-"); }
} // namespace

std::vector<SweepMark> FindSweepMarks(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps,
                                      const Thresholds& t) {
    std::vector<SweepMark> marks;
    for (const Sweep& sweep : sweeps) {
        const int deadMin = std::max(t.deadStepMin, t.deadStepMedianFactor * sweep.medianStep);
        const Sample* previous = nullptr;
        for (const Sample& s : samples) {
            if (!InSweep(s.ms, sweep)) continue;
            if (previous) {
                const int delta = s.drive - previous->drive;
                const int along = sweep.rising ? delta : -delta;
                if (along >= deadMin) marks.push_back({s.ms, previous->drive, s.drive, true});
                else if (-along >= t.moveAgainstMin) marks.push_back({s.ms, previous->drive, s.drive, false});
            }
            previous = &s;
        }
    }
    return marks;
}

chart::Picture SweepPicture(const std::vector<Sample>& samples, const std::vector<SweepMark>& marks, int width,
                            int height, const chart::TextWidth& textWidth) {
    chart::Picture pic;
    pic.width = width;
    pic.height = height;
    const chart::Rect pane{kMargin, 8, std::max(width - kMargin - 8, 10), std::max(height - 8 - 20, 10)};
    for (int v : chart::kValueLines) {
        const int y = chart::YForValue(pane, v);
        pic.frame.lines.push_back({{pane.x, y}, {pane.Right(), y}, chart::kValueLineColour});
        pic.frame.texts.push_back({{0, y - 7, kMargin - 4, 14}, chart::Align::Right, std::to_string(v), chart::kGrey});
    }
    pic.frame.boxes.push_back({pane, chart::kGrey, false});
    if (samples.empty()) {
        pic.overlay.texts.push_back({pane, chart::Align::Centre, "No sweep yet", chart::kGrey});
        return pic;
    }
    const int64_t first = samples.front().ms;
    const int64_t span = std::max<int64_t>(samples.back().ms - first, 1);
    auto xOf = [&](int64_t ms) { return pane.x + 1 + static_cast<int>((ms - first) * (pane.width - 3) / span); };
    const std::string seconds = std::to_string((span + 500) / 1000) + " s";
    pic.frame.texts.push_back({{pane.x, pane.Bottom() + 2, pane.width, 16}, chart::Align::Right, seconds, chart::kGrey});
    pic.frame.texts.push_back({{pane.x, pane.Bottom() + 2, pane.width, 16}, chart::Align::Left, "drive", chart::kGrey});
    chart::Point last{};
    bool have = false;
    for (const Sample& s : samples) {
        const chart::Point p{xOf(s.ms), chart::YForValue(pane, s.drive)};
        if (have && !(p == last)) pic.overlay.lines.push_back({last, p, kTrace});
        last = p;
        have = true;
    }
    for (const SweepMark& m : marks) {
        const int x = xOf(m.ms);
        const int y1 = chart::YForValue(pane, m.from), y2 = chart::YForValue(pane, m.to);
        const chart::Argb colour = m.deadSpot ? kDeadColour : kAgainstColour;
        const int top = std::min(y1, y2) - 3, bottom = std::max(y1, y2) + 3;
        pic.overlay.boxes.push_back({{x - 3, top, 7, bottom - top + 1}, colour, false});
        if (m.deadSpot) {
            const std::string label = std::to_string(m.from) + " to " + std::to_string(m.to);
            const int w = textWidth ? textWidth(label) * 6 / 5 + 8 : 90;  // measured plain, drawn bold
            const int lx = std::min(x + 6, pane.Right() - w);
            pic.overlay.texts.push_back({{lx, top - 2, w, 14}, chart::Align::Left, label, colour, true});
        }
    }
    return pic;
}

chart::Picture ValueStrip(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps, int width, int height) {
    chart::Picture pic;
    pic.width = width;
    pic.height = height;
    std::array<bool, 256> seen{};
    for (const Sweep& sweep : sweeps) {
        for (const Sample& s : samples) {
            if (InSweep(s.ms, sweep)) seen[s.drive] = true;
        }
    }
    const chart::Rect strip{kMargin, 2, std::max(width - kMargin - 8, 256 / 4), std::max(height - 18, 6)};
    for (int v = 0; v < 256; ++v) {
        if (!seen[v]) continue;
        const int x0 = strip.x + v * strip.width / 256, x1 = strip.x + (v + 1) * strip.width / 256;
        pic.overlay.boxes.push_back({{x0, strip.y, std::max(x1 - x0, 1), strip.height}, kTrace, true});
    }
    pic.frame.boxes.push_back({strip, chart::kGrey, false});
    pic.frame.texts.push_back({{0, strip.y, kMargin - 4, strip.height}, chart::Align::Right, "0", chart::kGrey});
    pic.frame.texts.push_back({{strip.x, strip.Bottom() + 1, strip.width, 15}, chart::Align::Right, "255", chart::kGrey});
    pic.frame.texts.push_back({{strip.x, strip.Bottom() + 1, strip.width, 15}, chart::Align::Centre,
                               "drive values the sweeps passed through", chart::kGrey});
    return pic;
}

std::vector<ResultRow> ResultRows(const CarResult& r, const Thresholds& t) {
    const CarFigures& f = r.figures;
    auto has = [&](std::string_view code) { return std::find(r.findings.begin(), r.findings.end(), code) != r.findings.end(); };
    std::vector<ResultRow> rows;
    rows.push_back({"Records a second", std::to_string(static_cast<int>(f.recordsPerSecond + 0.5)),
                    "at least " + std::to_string(t.recordsPerSecondMin), has(kTooFewRecords)});
    rows.push_back({"Drive at rest", Or(f.restDrive), "at most " + std::to_string(t.restDriveMax), has(kCreep)});
    rows.push_back({"Highest drive held", Or(f.maxDrive), "at least " + std::to_string(t.fullDriveMin), has(kShortRange)});
    std::string step = Or(f.largestStep);
    if (f.largestStep && f.largestStepFrom && f.largestStepTo)
        step += " (" + std::to_string(*f.largestStepFrom) + " to " + std::to_string(*f.largestStepTo) + ")";
    rows.push_back({"Largest step in a sweep", step,
                    "dead spot: at least " + std::to_string(t.deadStepMin) + " and " + std::to_string(t.deadStepMedianFactor) +
                        " x median " + Or(f.medianStep),
                    has(kDeadSpot)});
    rows.push_back({"Moves against a sweep", std::to_string(f.movesAgainst), "at most " + std::to_string(t.movesAgainstMax),
                    has(kJitter) && f.movesAgainst > t.movesAgainstMax});
    rows.push_back({"Spread held at full", Or(f.fullSpread), "at most " + std::to_string(t.fullSpreadMax),
                    has(kJitter) && f.fullSpread && *f.fullSpread > t.fullSpreadMax});
    rows.push_back({"Presses (bounces)", std::to_string(f.presses) + " (" + std::to_string(f.bounces) + ")",
                    "no bounce within " + std::to_string(t.bounceMs) + " ms", has(kBounce)});
    rows.push_back({"Longest press", std::to_string(f.longestPressMs) + " ms", "at most " + std::to_string(t.stuckMs) + " ms",
                    has(kStuck)});
    rows.push_back({"Start point (first drive)", Or(f.startDrive), "", false});
    rows.push_back({"Brake at rest / in sweeps", Or(f.restBrake) + " / " + Or(f.sweepBrakeMax), "", false});
    return rows;
}

chart::Picture ResultsTable(const CarResult& result, const Thresholds& t, int width, int lineHeight,
                            const chart::TextWidth& textWidth) {
    const std::vector<ResultRow> rows = ResultRows(result, t);
    chart::Picture pic;
    pic.width = width;
    pic.height = lineHeight * static_cast<int>(rows.size() + 2) + 4;
    int c1 = width * 40 / 100, c2 = width * 62 / 100;
    if (textWidth) {
        // Each column as wide as its longest text (measured plain, drawn bold for a fault), so the
        // thresholds have the room that is left.
        int names = textWidth("Figure"), values = textWidth("Value");
        for (const ResultRow& row : rows) names = std::max(names, textWidth(row.name)), values = std::max(values, textWidth(row.value));
        c1 = std::min(names * 6 / 5 + 16, width * 40 / 100);
        c2 = std::min(c1 + values * 6 / 5 + 16, width * 62 / 100);
    }
    pic.frame.texts.push_back({{4, 0, width - 8, lineHeight}, chart::Align::Left, "Verdict: " + VerdictLine(result),
                               result.verdict == Verdict::Ok ? kOkColour : kFaultColour, true});
    int y = lineHeight;
    pic.frame.texts.push_back({{4, y, c1 - 8, lineHeight}, chart::Align::Left, "Figure", chart::kGrey, true});
    pic.frame.texts.push_back({{c1, y, c2 - c1 - 8, lineHeight}, chart::Align::Left, "Value", chart::kGrey, true});
    pic.frame.texts.push_back({{c2, y, width - c2 - 4, lineHeight}, chart::Align::Left, "Threshold", chart::kGrey, true});
    y += lineHeight;
    pic.frame.lines.push_back({{0, y - 1}, {width - 1, y - 1}, chart::kValueLineColour});
    for (const ResultRow& row : rows) {
        const chart::Argb colour = row.fault ? kFaultColour : chart::kBlack;
        pic.frame.texts.push_back({{4, y, c1 - 8, lineHeight}, chart::Align::Left, row.name, colour, row.fault});
        pic.frame.texts.push_back({{c1, y, c2 - c1 - 8, lineHeight}, chart::Align::Left, row.value, colour, row.fault});
        pic.frame.texts.push_back({{c2, y, width - c2 - 4, lineHeight}, chart::Align::Left,
                                   row.threshold.empty() ? std::string("(shown only)") : row.threshold,
                                   row.threshold.empty() ? chart::kGrey : colour});
        y += lineHeight;
    }
    return pic;
}

std::string VerdictLine(const CarResult& r) {
    std::string line(VerdictText(r.verdict));
    const auto& list = r.verdict == Verdict::CannotJudge && r.findings.empty() ? r.missing : r.findings;
    for (size_t i = 0; i < list.size(); ++i) line += (i == 0 ? ": " : " ") + std::string(list[i]);
    return line;
}

} // namespace check::ui
