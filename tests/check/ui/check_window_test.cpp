// The check window followed live: the simulated bench user's steps seen one by one to the
// verdict, a faulty throttle's finding in the results and its sweep marked, the car picked by
// its moving drive, and the warning when too few records arrive (the 200 ms filter).
#include <gtest/gtest.h>


#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>

#include "CheckStreams.h"
#include "QtWait.h"
#include "app/chart/qt/PictureDrawing.h"
#include "app/check/ui/CheckPictures.h"
#include "app/check/ui/CheckWindow.h"

using namespace check;
using check::ui::CheckWindow;
using checktest::BenchStream;
using testsupport::WaitWithQtEvents;
using unitsim::ThrottleModel;

namespace {
// Another car sits at rest beside the one on the bench, its records interleaved.
std::vector<Sample> WithRestingCar(const std::vector<Sample>& bench, uint8_t car) {
    std::vector<Sample> out;
    for (const Sample& s : bench) {
        out.push_back({s.ms, car, 0, 0, false});
        out.push_back(s);
    }
    return out;
}
} // namespace

TEST(CheckWindow, TheBenchUsersStepsAreSeenLiveOneByOneToTheVerdict) {
    CheckWindow window({});
    window.show();
    std::vector<std::pair<int, bool>> steps;
    QObject::connect(&window, &CheckWindow::StepReported, [&](int step, bool done) { steps.emplace_back(step, done); });
    int finished = 0;
    QObject::connect(&window, &CheckWindow::CheckFinished, [&] { ++finished; });
    const std::vector<Sample> samples = WithRestingCar(BenchStream(ThrottleModel::Healthy, 200, 20, 7, 3), 1);
    // Fed a second at a time as it would arrive; each step is waited for by its report.
    size_t next = 0;
    for (int step = 0; step < 4; ++step) {
        ASSERT_TRUE(WaitWithQtEvents([&] {
            for (size_t end = std::min(next + 400, samples.size()); next < end; ++next) window.Take(samples[next]);
            return static_cast<int>(steps.size()) > step;
        })) << "step " << step;
        EXPECT_EQ(steps[step].first, step);
        EXPECT_TRUE(steps[step].second);
    }
    ASSERT_TRUE(WaitWithQtEvents([&] { return finished == 1; }));
    ASSERT_TRUE(window.Car().has_value());
    EXPECT_EQ(*window.Car(), 3) << "the car whose drive moves, not the first one seen";
    EXPECT_EQ(window.CarBox->count(), 2);
    ASSERT_TRUE(window.Result().has_value());
    EXPECT_EQ(window.Result()->verdict, Verdict::Ok);
    EXPECT_TRUE(window.Instruction->text().contains(QStringLiteral("ok")));
    EXPECT_FALSE(window.Results->pixmap().isNull());
}

TEST(CheckWindow, AFaultyThrottleIsToldWithItsFindingAndItsSweepMarked) {
    CheckWindow window({});
    window.show();
    int finished = 0;
    QObject::connect(&window, &CheckWindow::CheckFinished, [&] { ++finished; });
    const std::vector<Sample> samples = BenchStream(ThrottleModel::DeadSpot, 200, 20);
    for (const Sample& s : samples) window.Take(s);
    ASSERT_TRUE(WaitWithQtEvents([&] { return finished == 1; }));
    ASSERT_TRUE(window.Result().has_value());
    EXPECT_EQ(ui::VerdictLine(*window.Result()), "check: dead_spot");
    const CarFigures& f = window.Result()->figures;
    CarCheck car(1, {});
    for (const Sample& s : samples) car.Add(s);
    const std::vector<ui::SweepMark> marks = ui::FindSweepMarks(samples, car.Sweeps(), {});
    const bool marked = std::any_of(marks.begin(), marks.end(), [&](const ui::SweepMark& m) {
        return m.deadSpot && m.from == *f.largestStepFrom && m.to == *f.largestStepTo;
    });
    EXPECT_TRUE(marked) << "the dead spot the verdict names is marked on the sweep";
    const chart::Picture table = ui::ResultsTable(*window.Result(), {}, 600, 18);
    const std::string from = std::to_string(*f.largestStepFrom) + " to " + std::to_string(*f.largestStepTo);
    EXPECT_TRUE(std::any_of(table.frame.texts.begin(), table.frame.texts.end(), [&](const chart::Text& t) {
        return t.text.find(from) != std::string::npos && t.bold;
    })) << "the largest step with where it was, marked as the fault";
    // Measured in the window's font, every text of the table has room for itself (drawn bold for a fault).
    const chart::TextWidth width = chart::WidthIn(window.font());
    for (const chart::Text& t : ui::ResultsTable(*window.Result(), {}, 640, 18, width).frame.texts)
        EXPECT_GE(t.box.width, width(t.text) * (t.bold ? 6 : 5) / 5) << t.text;
}

TEST(CheckWindow, AHealthySweepHasNoMarks) {
    const std::vector<Sample> samples = BenchStream(ThrottleModel::Healthy, 200, 20);
    CarCheck car(1, {});
    for (const Sample& s : samples) car.Add(s);
    ASSERT_FALSE(car.Sweeps().empty());
    for (const ui::SweepMark& m : ui::FindSweepMarks(samples, car.Sweeps(), {})) EXPECT_FALSE(m.deadSpot) << m.from << " to " << m.to;
}

TEST(CheckWindow, TheTraceIsThinnedToItsColumnsKeepingEachColumnsEndsAndExtremes) {
    // 8 s of a jittery car at line rate: far more records than the trace has columns.
    const std::vector<Sample> samples = BenchStream(ThrottleModel::Jitter, 2500, 8);
    constexpr int kColumns = 300;
    const std::vector<Sample> thin = ui::ThinnedToColumns(samples.begin(), samples.end(), kColumns);
    EXPECT_LE(thin.size(), 4u * (kColumns + 1));
    ASSERT_FALSE(thin.empty());
    EXPECT_EQ(thin.front().ms, samples.front().ms);
    EXPECT_EQ(thin.back().ms, samples.back().ms);
    EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(), [](const Sample& a, const Sample& b) { return a.ms < b.ms; }));
    // Each column's lowest and highest drive are still there.
    const int64_t first = samples.front().ms, span = samples.back().ms - first;
    const auto column = [&](const Sample& s) { return static_cast<int>((s.ms - first) * kColumns / span); };
    std::vector<int> low(kColumns + 1, 256), high(kColumns + 1, -1), thinLow(kColumns + 1, 256), thinHigh(kColumns + 1, -1);
    for (const Sample& s : samples) low[column(s)] = std::min<int>(low[column(s)], s.drive), high[column(s)] = std::max<int>(high[column(s)], s.drive);
    for (const Sample& s : thin) thinLow[column(s)] = std::min<int>(thinLow[column(s)], s.drive), thinHigh[column(s)] = std::max<int>(thinHigh[column(s)], s.drive);
    EXPECT_EQ(thinLow, low);
    EXPECT_EQ(thinHigh, high);
    EXPECT_TRUE(ui::ThinnedToColumns(samples.begin(), samples.begin(), kColumns).empty());
}

TEST(CheckWindow, TooFewRecordsAreToldAndTheFilterNamedWhenItIsOn) {
    for (const bool filterOn : {true, false}) {
        CheckWindow::Options options;
        options.filterOn = [filterOn] { return filterOn; };
        CheckWindow window(options);
        window.show();
        // Five records a second, as the 200 ms filter lets through, the trigger moving.
        for (int i = 0; i < 20; ++i) window.Take(Sample{1'765'000'000'000 + i * 200, 4, static_cast<uint8_t>(i * 12), 0, false});
        ASSERT_TRUE(WaitWithQtEvents([&] { return window.Warning->isVisibleTo(&window); }));
        const QString text = window.WarningText();
        EXPECT_TRUE(text.contains(QStringLiteral("5 records a second"))) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("Turn the Filter box off")), filterOn) << text.toStdString();
    }
    // Enough records: no warning.
    CheckWindow window({});
    window.show();
    for (const Sample& s : BenchStream(ThrottleModel::Healthy, 100, 8)) window.Take(s);
    ASSERT_TRUE(WaitWithQtEvents([&] { return window.Car().has_value(); }));
    window.JudgeNow();
    EXPECT_TRUE(window.WarningText().isEmpty()) << window.WarningText().toStdString();
}

TEST(CheckWindow, RecordedRecordsAreCheckedTheSameWayWithoutStepsAndNotKept) {
    QTemporaryDir dir;
    CheckWindow::Options options;
    options.reports = std::make_shared<ui::CheckReports>(std::filesystem::path(dir.path().toStdString()) / "checks");
    CheckWindow window(options);
    window.show();
    std::vector<Sample> samples = BenchStream(ThrottleModel::Jitter, 200, 20, 3, 6);
    std::vector<Sample> mixed = WithRestingCar(samples, 2);  // another car's records are left out
    window.CheckRecords(6, mixed, QStringLiteral("session.csv"));
    ASSERT_TRUE(window.Result().has_value());
    CarCheck direct(6, {});
    for (const Sample& s : samples) direct.Add(s);
    EXPECT_EQ(ui::VerdictLine(*window.Result()), ui::VerdictLine(direct.Result()));
    EXPECT_EQ(ui::VerdictLine(*window.Result()), "check: jitter");
    EXPECT_EQ(window.Result()->figures.movesAgainst, direct.Result().figures.movesAgainst);
    EXPECT_TRUE(window.Instruction->text().contains(QStringLiteral("session.csv")));
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return options.reports->UnderWay() == 0; }));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.path().toStdString()) / "checks" / "checks.csv"))
        << "a recorded range is looked at, not kept as a check of the throttle";
}
