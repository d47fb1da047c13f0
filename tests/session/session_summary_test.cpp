// The per-car summary's figures on hand-made sessions, as --summary prints them.
#include <gtest/gtest.h>


#include "SessionFiles.h"
#include "app/session/SessionData.h"
#include "app/chart/Summary.h"
#include "app/session/SummaryCommand.h"

namespace {

using namespace sessiontest;

// What --summary prints for the file, and its exit code.
struct CommandRun {
    int exitCode = -1;
    std::string out, err;
};

CommandRun RunSummary(const fs::path& path) {
    CommandRun run;
    run.exitCode = session::RunSummaryCommand(path, run.out, run.err);
    return run;
}

std::string SummaryOf(const std::string& rows) {
    TempFile file(record::HeaderRow() + rows);
    const CommandRun run = RunSummary(file.Path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The session window's figures are the command's.
    const auto loaded = session::LoadSession(file.Path());
    EXPECT_TRUE(loaded.session);
    if (loaded.session) {
        EXPECT_EQ(chart::SummaryCsv(loaded.session->GetSummary()), run.out);
    }
    return run.out;
}

const std::string kHeader =
    "car,records,records_per_s,longest_gap_ms,drive_min,drive_max,drive_mean,brake_min,brake_max,"
    "lane_change_presses\n";

TEST(SessionSummary, GapsRatesAndExtremesPerCar) {
    const std::string rows = StatusRow(0, 1, 3, 10, 0, false) + StatusRow(40, 2, 1, 255, 7, false) +
                             StatusRow(100, 3, 3, 20, 5, false) + StatusRow(1350, 4, 3, 0, 255, false) +
                             StatusRow(2000, 5, 1, 0, 0, false);
    // Span 2 s. Car 1: 2 records, gap 1960. Car 3: 3 records, gaps 100 and 1250, mean 10.0.
    EXPECT_EQ(SummaryOf(rows), kHeader +
                                   "1,2,1.0,1960,0,255,127.5,0,7,0\n"
                                   "3,3,1.5,1250,0,20,10.0,0,255,0\n");
}

TEST(SessionSummary, ASingleRecordHasNoGapAndNoRate) {
    EXPECT_EQ(SummaryOf(StatusRow(0, 1, 9, 33, 44, true)), kHeader + "9,1,,0,33,33,33.0,44,44,1\n");
    EXPECT_EQ(SummaryOf(""), kHeader) << "a session without records";
    EXPECT_EQ(SummaryOf(NameRow(0, 1)), kHeader) << "name records only";
}

TEST(SessionSummary, ALaneChangeHeldOverSeveralRecordsIsOnePress) {
    std::string rows;
    const bool lane[] = {true, true, true, false, false, true, true, false, true};
    uint64_t n = 1;
    for (bool set : lane) {
        rows += StatusRow(static_cast<int64_t>(n) * 100, n, 2, 50, 0, set);
        // Another car's records in between change nothing for car 2.
        rows += StatusRow(static_cast<int64_t>(n) * 100 + 50, n + 100, 6, 50, 0, !set);
        ++n;
    }
    // Car 2: pressed at its first record, again at the 6th and the 9th. Car 6: its first record
    // is clear, then set at the 4th (held through the 5th), at the 8th.
    EXPECT_EQ(SummaryOf(rows), kHeader +
                                   "2,9,10.6,100,50,50,50.0,0,0,3\n"
                                   "6,9,10.6,100,50,50,50.0,0,0,2\n");
}

TEST(SessionSummary, NameRowsAreIgnoredAndLateCarsUseTheWholeSpan) {
    const std::string rows = NameRow(0, 1) + StatusRow(1000, 2, 4, 1, 1, false) + NameRow(1500, 3) +
                             StatusRow(2000, 4, 4, 3, 1, false) + StatusRow(8000, 5, 200, 9, 9, true) +
                             StatusRow(11000, 6, 4, 2, 1, false) + NameRow(30000, 7);
    // The span runs from the first to the last status record (1 s to 11 s), not to the name rows.
    EXPECT_EQ(SummaryOf(rows), kHeader +
                                   "4,3,0.3,9000,1,3,2.0,1,1,0\n"
                                   "200,1,0.1,0,9,9,9.0,9,9,1\n");
}

TEST(SessionSummary, OneDecimalRoundsHalfUp) {
    EXPECT_EQ(chart::RecordsPerSecondText(1, 8000), "0.1");    // 0.125
    EXPECT_EQ(chart::RecordsPerSecondText(3, 40000), "0.1");   // 0.075
    EXPECT_EQ(chart::RecordsPerSecondText(1, 3000), "0.3");    // 0.333
    EXPECT_EQ(chart::RecordsPerSecondText(20000000, 3600000), "5555.6");
    EXPECT_EQ(chart::RecordsPerSecondText(5, 0), "");
    EXPECT_EQ(chart::MeanText(1, 4), "0.3");  // 0.25
    EXPECT_EQ(chart::MeanText(255 * 3, 3), "255.0");
    EXPECT_EQ(chart::MeanText(0, 0), "");
}

TEST(SessionSummary, AClockSetBackMakesNoNegativeGap) {
    const std::string rows = StatusRow(5000, 1, 1, 0, 0, false) + StatusRow(1000, 2, 1, 0, 0, false) +
                             StatusRow(5600, 3, 1, 0, 0, false);
    EXPECT_EQ(SummaryOf(rows), kHeader + "1,3,5.0,600,0,0,0.0,0,0,0\n");
}

TEST(SessionSummary, TheAccumulatorStartsAfreshWhenCleared) {
    // The live plot sums up its last minute again each second with one accumulator.
    chart::SummaryAccumulator acc;
    acc.Add(kT0, 1, 100, 0, true);
    acc.Add(kT0 + 500, 2, 0, 0, false);
    acc.Clear();
    acc.Add(kT0 + 1000, 2, 7, 1, true);
    acc.Add(kT0 + 3000, 2, 9, 1, true);
    const chart::Summary s = acc.Result();
    EXPECT_EQ(s.spanMs, 2000);
    ASSERT_EQ(s.cars.size(), 1u);
    EXPECT_EQ(chart::SummaryCsv(s), kHeader + "2,2,1.0,2000,7,9,8.0,1,1,1\n");
}

TEST(SessionSummary, TheCommandFailsOnAFileItCannotRead) {
    const CommandRun missing = RunSummary("/nonexistent/x.csv");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(missing.err.find("/nonexistent/x.csv"), std::string::npos) << missing.err;

    TempFile other("a,b\n1,2\n");
    const CommandRun notSession = RunSummary(other.Path());
    EXPECT_EQ(notSession.exitCode, 1);
    EXPECT_TRUE(notSession.out.empty());
    EXPECT_NE(notSession.err.find("not a session file"), std::string::npos) << notSession.err;

    TempFile damaged(record::HeaderRow() + StatusRow(0, 1, 1, 5, 0, false) + "garbage\n" +
                     StatusRow(10, 2, 1, 5, 0, false).substr(0, 20));
    const CommandRun partly = RunSummary(damaged.Path());
    EXPECT_EQ(partly.exitCode, 0);
    EXPECT_EQ(partly.out, kHeader + "1,1,,0,5,5,5.0,0,0,0\n");
    EXPECT_NE(partly.err.find("2 rows could not be read"), std::string::npos) << partly.err;
}

} // namespace
