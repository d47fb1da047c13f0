// The throttle check's detectors and verdict: each simulated fault found with its figure, a
// healthy throttle passed, and the border of every threshold.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "CheckStreams.h"
#include "app/check/ThrottleCheck.h"

using namespace check;
using checktest::BenchStream;
using checktest::Ramp;
using checktest::Checked;
using unitsim::ThrottleModel;

namespace {
bool Has(const std::vector<std::string_view>& codes, std::string_view code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// One round of the bench user is about 16 s; 20 s holds one whole round.
constexpr double kRound = 20;
} // namespace

TEST(CarCheckModels, HealthyThrottleIsOkWithNoFinding) {
    for (double rate : {50.0, 200.0, 2500.0}) {
        const CarResult r = Checked(BenchStream(ThrottleModel::Healthy, rate, kRound));
        SCOPED_TRACE(rate);
        EXPECT_EQ(r.verdict, Verdict::Ok);
        EXPECT_TRUE(r.findings.empty());
        EXPECT_TRUE(r.missing.empty());
        EXPECT_EQ(r.figures.restDrive, 0);
        EXPECT_EQ(r.figures.maxDrive, 255);
        EXPECT_EQ(r.figures.fullSpread, 0);
        EXPECT_EQ(r.figures.rises, 1);
        EXPECT_EQ(r.figures.falls, 1);
        EXPECT_EQ(r.figures.presses, 5);
        EXPECT_EQ(r.figures.bounces, 0);
        EXPECT_LT(*r.figures.largestStep, 20);
        EXPECT_EQ(r.figures.movesAgainst, 0);
    }
}

TEST(CarCheckModels, EachFaultIsFoundWithItsFigure) {
    struct Case {
        ThrottleModel model;
        std::string_view finding;
        std::function<void(const CarFigures&)> figures;
    };
    const Case cases[] = {
        {ThrottleModel::Creep, kCreep, [](const CarFigures& f) { EXPECT_EQ(f.restDrive, 6); }},
        {ThrottleModel::Short, kShortRange, [](const CarFigures& f) { EXPECT_EQ(f.maxDrive, 230); }},
        {ThrottleModel::DeadSpot, kDeadSpot,
         [](const CarFigures& f) {
             EXPECT_EQ(f.largestStep, 40);
             EXPECT_EQ(f.largestStepFrom, 110);
             EXPECT_EQ(f.largestStepTo, 150);
             EXPECT_EQ(f.maxDrive, 255);
         }},
        {ThrottleModel::Jitter, kJitter,
         [](const CarFigures& f) {
             EXPECT_GT(f.movesAgainst, 3);
             EXPECT_GT(f.fullSpread.value_or(0), 2);
         }},
        {ThrottleModel::Bounce, kBounce,
         [](const CarFigures& f) {
             EXPECT_EQ(f.bounces, 5);
             EXPECT_EQ(f.presses, 5);
         }},
        {ThrottleModel::Stuck, kStuck, [](const CarFigures& f) { EXPECT_GT(f.longestPressMs, 2000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(unitsim::ThrottleModelName(c.model));
        const CarResult r = Checked(BenchStream(c.model, 200, kRound));
        EXPECT_EQ(r.verdict, Verdict::Check);
        ASSERT_EQ(r.findings.size(), 1u) << (r.findings.empty() ? "" : r.findings.front());
        EXPECT_EQ(r.findings.front(), c.finding);
        c.figures(r.figures);
    }
}

TEST(CarCheckModels, TooFewRecordsCannotBeJudged) {
    // The 200 ms filter lets through 5 records a second.
    const CarResult r = Checked(BenchStream(ThrottleModel::Creep, 5, kRound));
    EXPECT_EQ(r.verdict, Verdict::CannotJudge);
    EXPECT_EQ(r.findings, std::vector<std::string_view>{kTooFewRecords});
}

TEST(CarCheckModels, StepsNotSeenLeaveItUnjudged) {
    std::vector<Sample> rest;
    Ramp(rest, 0, 0, 3000);
    CarResult r = Checked(rest);
    EXPECT_EQ(r.verdict, Verdict::CannotJudge);
    EXPECT_TRUE(r.findings.empty());
    EXPECT_EQ(r.missing, (std::vector<std::string_view>{kPullStep, kReleaseStep, kPressesStep}));
    EXPECT_EQ(r.figures.restDrive, 0);

    // A fault shows however much of the check is missing.
    std::vector<Sample> creeping;
    Ramp(creeping, 3, 3, 3000);
    r = Checked(creeping);
    EXPECT_EQ(r.verdict, Verdict::Check);
    EXPECT_EQ(r.findings, std::vector<std::string_view>{kCreep});
}

TEST(CarCheckModels, StepsInAnyOrderAndAnyCar) {
    // Presses first, then the pull and let-go, then rest only at the end: the same verdict.
    std::vector<Sample> s;
    for (int i = 0; i < 5; ++i) {
        Ramp(s, 0, 0, 150, 10, true);
        Ramp(s, 0, 0, 300, 10, false);
    }
    Ramp(s, 0, 0, 1200);
    Ramp(s, 0, 255, 2500);
    Ramp(s, 255, 255, 1000);
    Ramp(s, 255, 0, 2500);
    Ramp(s, 0, 0, 1000);
    ThrottleCheck all;
    for (Sample x : s) {
        all.Add(x);
        x.car = 9;
        x.drive = static_cast<uint8_t>(std::min(x.drive, uint8_t{200}));
        all.Add(x);
    }
    const std::vector<CarResult> results = all.Results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].figures.car, 1);
    EXPECT_EQ(results[0].verdict, Verdict::Ok);
    EXPECT_EQ(results[1].figures.car, 9);
    EXPECT_EQ(results[1].findings, std::vector<std::string_view>{kShortRange});
    EXPECT_EQ(results[1].figures.maxDrive, 200);
}

// The verdict from figures alone, one threshold at a time either side of its border.
TEST(CarCheckJudge, EachThresholdAtItsBorder) {
    CarFigures healthy;
    healthy.records = 1000;
    healthy.recordsPerSecond = 100;
    healthy.restDrive = 0;
    healthy.maxDrive = 255;
    healthy.fullSpread = 0;
    healthy.rises = healthy.falls = 1;
    healthy.largestStep = 3;
    healthy.medianStep = 1;
    healthy.presses = 5;
    const Thresholds t;
    ASSERT_EQ(Judge(healthy, t).verdict, Verdict::Ok);

    struct Case {
        const char* what;
        std::function<void(CarFigures&)> change;
        std::string_view finding;  // empty: still ok
    };
    const Case cases[] = {
        {"rest 0", [](CarFigures& f) { f.restDrive = 0; }, {}},
        {"rest 1", [](CarFigures& f) { f.restDrive = 1; }, kCreep},
        {"max 250", [](CarFigures& f) { f.maxDrive = 250; }, {}},
        {"max 249", [](CarFigures& f) { f.maxDrive = 249; }, kShortRange},
        {"step 19", [](CarFigures& f) { f.largestStep = 19; }, {}},
        {"step 20", [](CarFigures& f) { f.largestStep = 20; }, kDeadSpot},
        {"step 20, median 5", [](CarFigures& f) { f.largestStep = 20, f.medianStep = 5; }, kDeadSpot},
        {"step 23, median 6", [](CarFigures& f) { f.largestStep = 23, f.medianStep = 6; }, {}},
        {"3 moves against", [](CarFigures& f) { f.movesAgainst = 3; }, {}},
        {"4 moves against", [](CarFigures& f) { f.movesAgainst = 4; }, kJitter},
        {"spread 2", [](CarFigures& f) { f.fullSpread = 2; }, {}},
        {"spread 3", [](CarFigures& f) { f.fullSpread = 3; }, kJitter},
        {"a bounce", [](CarFigures& f) { f.bounces = 1; }, kBounce},
        {"held 2000 ms", [](CarFigures& f) { f.longestPressMs = 2000; }, {}},
        {"held 2001 ms", [](CarFigures& f) { f.longestPressMs = 2001; }, kStuck},
        {"20 a second", [](CarFigures& f) { f.recordsPerSecond = 20; }, {}},
        {"19.9 a second", [](CarFigures& f) { f.recordsPerSecond = 19.9; }, kTooFewRecords},
        {"20 records", [](CarFigures& f) { f.records = 20; }, {}},
        {"19 records", [](CarFigures& f) { f.records = 19; }, kTooFewRecords},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CarFigures f = healthy;
        c.change(f);
        const CarResult r = Judge(f, t);
        if (c.finding.empty()) {
            EXPECT_EQ(r.verdict, Verdict::Ok);
            EXPECT_TRUE(r.findings.empty());
        } else {
            EXPECT_NE(r.verdict, Verdict::Ok);
            EXPECT_EQ(r.findings, std::vector<std::string_view>{c.finding});
        }
    }
}

// The detectors' own borders, on records laid out by hand at 100 a second.
TEST(CarCheckDetectors, SweepsCountFromOneSecondAndNinetyPercent) {
    const auto sweepOf = [](int64_t riseMs, int top) {
        std::vector<Sample> s;
        Ramp(s, 0, 0, 1200);
        Ramp(s, 0, 255, 1500);
        Ramp(s, 255, 255, 800);  // the highest held: 255
        Ramp(s, 255, 0, 1500);
        Ramp(s, 0, 0, 500);
        Ramp(s, 0, top, riseMs);
        Ramp(s, top, 0, 300);  // too quick a fall to count
        Ramp(s, 0, 0, 500);
        check::CarCheck car(1, {});
        for (const Sample& x : s) car.Add(x);
        return car.Figures().rises;
    };
    // The first rise counts; the second only when it lasts 1 s off rest (its first record, at 2,
    // is still within the rest band) and reaches 90 % of 255 (229.5).
    EXPECT_EQ(sweepOf(1010, 230), 2);
    EXPECT_EQ(sweepOf(1000, 230), 1);
    EXPECT_EQ(sweepOf(1500, 229), 1);
}

TEST(CarCheckDetectors, TheJumpOffRestIsTheStartPointNotADeadSpot) {
    std::vector<Sample> s;
    Ramp(s, 0, 0, 1200);
    s.push_back({s.back().ms + 10, 1, 45, 0, false});  // a throttle set to start at 45
    Ramp(s, 46, 255, 1500);
    Ramp(s, 255, 255, 800);
    Ramp(s, 255, 46, 1500);
    Ramp(s, 0, 0, 1200);
    const CarResult r = Checked(s);
    EXPECT_EQ(r.figures.startDrive, 45);
    EXPECT_LT(*r.figures.largestStep, 20);
    EXPECT_FALSE(Has(r.findings, kDeadSpot));
}

TEST(CarCheckDetectors, BounceWithinSixtyMilliseconds) {
    const auto bounces = [](int64_t openMs) {
        std::vector<Sample> s;
        Ramp(s, 0, 0, 100);
        s.push_back({1000, 1, 0, 0, true});
        s.push_back({1100, 1, 0, 0, false});
        s.push_back({1100 + openMs, 1, 0, 0, true});
        s.push_back({1300, 1, 0, 0, false});
        check::CarCheck car(1, {});
        for (const Sample& x : s) car.Add(x);
        const CarFigures f = car.Figures();
        return std::pair{f.presses, f.bounces};
    };
    EXPECT_EQ(bounces(60), (std::pair{1, 1}));
    EXPECT_EQ(bounces(61), (std::pair{2, 0}));
}

TEST(CarCheckDetectors, ADropoutStartsTheWindowsAgain) {
    // Two half-seconds at 3 with a gap between are not 1 s at rest; the clock set back is not a gap.
    std::vector<Sample> s;
    Ramp(s, 3, 3, 600);
    s.push_back({s.back().ms + 1500, 1, 3, 0, false});
    Ramp(s, 3, 3, 600);
    EXPECT_FALSE(Checked(s).figures.restDrive.has_value());
    const int64_t last = s.back().ms;
    s.push_back({0, 1, 3, 0, false});  // stamped long before: counts at the time before it
    for (int64_t t = 10; t <= 500; t += 10) s.push_back({last + t, 1, 3, 0, false});
    EXPECT_EQ(Checked(s).figures.restDrive, 3);
}

TEST(CheckThresholds, SettingsTakenAndBadValuesRefused) {
    Thresholds t;
    EXPECT_EQ(ApplyThresholdSetting(t, "Check/FullDriveMin", "230"), std::nullopt);
    EXPECT_EQ(t.fullDriveMin, 230);
    EXPECT_EQ(ApplyThresholdSetting(t, "Check/StuckMs", " 3000 "), std::nullopt);
    EXPECT_EQ(t.stuckMs, 3000);
    for (const char* bad : {"", "abc", "12x", "99", "60001", "-5", "2.5"}) {
        SCOPED_TRACE(bad);
        const auto notice = ApplyThresholdSetting(t, "Check/StuckMs", bad);
        ASSERT_TRUE(notice.has_value());
        EXPECT_NE(notice->find("3000 is used"), std::string::npos) << *notice;
        EXPECT_EQ(t.stuckMs, 3000);
    }
    EXPECT_TRUE(ApplyThresholdSetting(t, "Check/NoSuchThing", "1").has_value());
    // Every key reads back what it set.
    for (const ThresholdSetting& s : ThresholdSettings()) {
        Thresholds u;
        EXPECT_EQ(ApplyThresholdSetting(u, s.key, std::to_string(s.low)), std::nullopt) << s.key;
        EXPECT_EQ(s.get(u), s.low) << s.key;
    }
    // A threshold changes the verdict: the short throttle passes with the bar at 230.
    Thresholds lenient;
    ASSERT_EQ(ApplyThresholdSetting(lenient, "Check/FullDriveMin", "230"), std::nullopt);
    EXPECT_EQ(Checked(BenchStream(ThrottleModel::Short, 200, kRound), lenient).verdict, Verdict::Ok);
}

TEST(CheckCsv, OneRowPerCarWithTheNamedColumns) {
    EXPECT_EQ(CheckCsvHeader().rfind("car,verdict,findings,records_per_s,rest_drive,start_drive,max_drive,largest_step,"
                                     "largest_step_from,moves_against,presses,bounces,",
                                     0),
              0u);
    const CarResult r = Checked(BenchStream(ThrottleModel::DeadSpot, 200, kRound, 7, 4));
    const std::string row = CheckCsvRow(r);
    EXPECT_EQ(row.rfind("4,check,dead_spot,200.0,0,", 0), 0u) << row;
    EXPECT_NE(row.find(",255,40,110,0,5,0,150,"), std::string::npos) << row;
    const std::string header = CheckCsvHeader();
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ','));
}

namespace {
// Everything the check shows of a car, as text: its CSV row (every figure, verdict, findings) and
// every kept sweep.
std::string Shown(const CarCheck& c) {
    std::string text = CheckCsvRow(c.Result());
    for (const Sweep& s : c.Sweeps()) {
        text += std::to_string(s.rising) + ' ' + std::to_string(s.startMs) + ' ' + std::to_string(s.durationMs) + ' ' +
                std::to_string(s.top) + ' ' + std::to_string(s.startDrive) + ' ' + std::to_string(s.medianStep) + ' ' +
                std::to_string(s.largestStep) + ' ' + std::to_string(s.largestFrom) + ' ' + std::to_string(s.largestTo) +
                ' ' + std::to_string(s.movesAgainst) + ' ' + std::to_string(s.brakeMax) + '\n';
    }
    return text;
}

// Feeds the stream to a check with its shortcuts and to one taking every record the long way;
// what each shows must agree after every record where the test looks (every `every`th), as a
// live window would ask in the middle of held values.
void ExpectSameAsTheLongWay(const std::vector<Sample>& samples, size_t every, const std::string& what,
                            const Thresholds& t = {}) {
    CarCheck quick(1, t);
    CarCheck longWay(1, t, false);
    for (size_t i = 0; i < samples.size(); ++i) {
        quick.Add(samples[i]);
        longWay.Add(samples[i]);
        if ((i + 1) % every == 0 || i + 1 == samples.size()) {
            ASSERT_EQ(Shown(quick), Shown(longWay)) << what << ", after record " << i;
            ASSERT_EQ(quick.RestLevel(), longWay.RestLevel()) << what << ", after record " << i;
            ASSERT_EQ(quick.MaxDrive(), longWay.MaxDrive()) << what << ", after record " << i;
            ASSERT_EQ(quick.Presses(), longWay.Presses()) << what << ", after record " << i;
        }
    }
}
} // namespace

TEST(CarCheckShortcuts, EveryModelTheSameAsTheLongWay) {
    for (ThrottleModel model : {ThrottleModel::Healthy, ThrottleModel::Creep, ThrottleModel::Short, ThrottleModel::DeadSpot,
                                ThrottleModel::Jitter, ThrottleModel::Bounce, ThrottleModel::Stuck}) {
        for (double perSecond : {25.0, 200.0, 840.0}) {
            ExpectSameAsTheLongWay(BenchStream(model, perSecond, 2 * kRound, 11), 97,
                                   std::string(unitsim::ThrottleModelName(model)) + " at " + std::to_string(perSecond));
        }
    }
}

TEST(CarCheckShortcuts, HeldValuesGapsAndClocksTheSameAsTheLongWay) {
    // Random walks that hold each value a while, with jitter, presses, gaps around the dropout
    // time, a clock set back and repeated times: whatever the shortcuts skip must not show.
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Sample> s;
        int64_t ms = 1'765'000'000'000;
        int drive = 0, brake = 0;
        bool lane = false;
        for (int i = 0; i < 6000; ++i) {
            const uint32_t r = rng() % 1000;
            if (r < 150) drive = std::clamp(drive + static_cast<int>(rng() % 7) - 3, 0, 255);
            else if (r < 160) drive = static_cast<int>(rng() % 256);
            else if (r < 165) brake = static_cast<int>(rng() % 4);
            else if (r < 172) lane = !lane;
            const uint32_t gap = rng() % 1000;
            ms += gap < 5 ? 995 + static_cast<int64_t>(rng() % 10) : gap < 8 ? -static_cast<int64_t>(rng() % 3000)
                                                                   : gap < 100 ? 0 : 1 + static_cast<int64_t>(rng() % 6);
            s.push_back({ms, 1, static_cast<uint8_t>(drive), static_cast<uint8_t>(brake), lane});
        }
        ExpectSameAsTheLongWay(s, 1 + seed % 13, "seed " + std::to_string(seed));
        if (seed <= 3) {
            // Thresholds made in code may count a zero step as a move against the sweep.
            Thresholds anyMove;
            anyMove.moveAgainstMin = 0;
            ExpectSameAsTheLongWay(s, 1 + seed % 13, "seed " + std::to_string(seed) + ", any move", anyMove);
        }
    }
}
