// The guided steps followed from one car's records: the simulated bench user done in order,
// a step done too quickly or not at all reported with what was expected and what was seen.
#include <gtest/gtest.h>

#include "CheckStreams.h"
#include "app/check/StepGuide.h"

using namespace check;
using checktest::BenchStream;
using checktest::Ramp;
using unitsim::ThrottleModel;

TEST(StepGuide, TheBenchUserIsFollowedStepByStepToTheVerdict) {
    StepGuide guide(1);
    std::vector<StepReport> reports;
    double lastProgress = 0;
    bool progressMoved = false;
    for (const Sample& s : BenchStream(ThrottleModel::Healthy, 200, 20)) {
        if (auto r = guide.Add(s)) reports.push_back(*r);
        progressMoved = progressMoved || (guide.Progress() > 0 && guide.Progress() < 1 && guide.Progress() != lastProgress);
        lastProgress = guide.Progress();
        Sample other = s;
        other.car = 2;  // another car's records are passed over
        other.drive = 100;
        EXPECT_FALSE(guide.Add(other).has_value());
    }
    ASSERT_EQ(reports.size(), 4u);
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_TRUE(reports[i].done) << reports[i].seen;
        EXPECT_EQ(reports[i].step, static_cast<Step>(i));
    }
    EXPECT_TRUE(progressMoved);
    EXPECT_EQ(guide.Current(), Step::Finished);
    EXPECT_EQ(guide.Check().Result().verdict, Verdict::Ok);
}

TEST(StepGuide, AQuickPullIsToldAndTheStepWaitsForAnother) {
    StepGuide guide(1);
    std::vector<Sample> s;
    Ramp(s, 0, 0, 2500);
    Ramp(s, 0, 255, 500);  // far too quick
    Ramp(s, 255, 255, 1200);
    std::vector<StepReport> reports;
    for (const Sample& x : s) {
        if (auto r = guide.Add(x)) reports.push_back(*r);
    }
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].done);
    EXPECT_FALSE(reports[1].done);
    EXPECT_EQ(reports[1].step, Step::SlowPull);
    EXPECT_NE(reports[1].expected.find("at least 2.0 s"), std::string::npos) << reports[1].expected;
    EXPECT_NE(reports[1].seen.find("in 0.5 s"), std::string::npos) << reports[1].seen;
    EXPECT_EQ(guide.Current(), Step::SlowPull);

    // Released and squeezed again, slowly this time.
    s.clear();
    Ramp(s, 255, 0, 300);
    for (Sample& x : s) x.ms += 5000;
    Ramp(s, 0, 0, 500);
    Ramp(s, 0, 255, 2500);
    Ramp(s, 255, 255, 1200);
    reports.clear();
    for (const Sample& x : s) {
        if (auto r = guide.Add(x)) reports.push_back(*r);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].done) << reports[0].seen;
    EXPECT_EQ(guide.Current(), Step::SlowRelease);
}

TEST(StepGuide, AStepNotDoneInTimeSaysWhatWasSeen) {
    StepTimes times;
    times.timeoutMs = 5000;
    StepGuide guide(1, {}, times);
    std::vector<Sample> s;
    Ramp(s, 100, 180, 3000);  // never released
    Ramp(s, 180, 100, 3000);
    std::vector<StepReport> reports;
    for (const Sample& x : s) {
        if (auto r = guide.Add(x)) reports.push_back(*r);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports[0].done);
    EXPECT_EQ(reports[0].step, Step::Released);
    EXPECT_NE(reports[0].expected.find("released"), std::string::npos);
    EXPECT_NE(reports[0].seen.find("between 100 and 180"), std::string::npos) << reports[0].seen;
    EXPECT_EQ(guide.Current(), Step::Released);  // and it starts again
}
