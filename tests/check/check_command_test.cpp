// --check over a session file: the same rows as the live check of the same records, the expected
// verdict for each simulated throttle, and the answers for files and cars it cannot read.
#include <gtest/gtest.h>

#include <sstream>

#include "../session/SessionFiles.h"
#include "CheckStreams.h"
#include "app/check/ThrottleCheck.h"
#include "app/check/offline/CheckCommand.h"

using namespace check;
using unitsim::ThrottleModel;

namespace {
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
} // namespace

TEST(CheckCommand, ASessionGivesTheLiveRowsAndEachModelsVerdict) {
    // Seven cars, one of each model, in turn as a unit sends them; 40 s holds two rounds of the bench user.
    const ThrottleModel models[] = {ThrottleModel::Healthy, ThrottleModel::Creep,  ThrottleModel::Short,
                                    ThrottleModel::DeadSpot, ThrottleModel::Jitter, ThrottleModel::Bounce,
                                    ThrottleModel::Stuck};
    std::vector<std::vector<Sample>> cars;
    for (int i = 0; i < 7; ++i) {
        cars.push_back(checktest::BenchStream(models[i], 200, 40, 11 + static_cast<uint32_t>(i),
                                              static_cast<uint8_t>(i + 1)));
    }
    ThrottleCheck live;
    std::string file = record::HeaderRow();
    uint64_t number = 0;
    for (size_t at = 0; at < cars[0].size(); ++at) {
        for (const auto& car : cars) {
            if (at >= car.size()) continue;
            const Sample& s = car[at];
            live.Add(s);
            file += sessiontest::StatusRow(s.ms - sessiontest::kT0, ++number, s.car, s.drive, s.brake, s.laneChange);
        }
        if (at % 1000 == 0) file += sessiontest::NameRow(cars[0][at].ms - sessiontest::kT0, ++number);
    }
    const sessiontest::TempFile session(file);
    std::string out, err;
    ASSERT_EQ(RunCheckCommand(session.Path(), {}, out, err), 0) << err;
    EXPECT_EQ(err, "");
    const std::vector<std::string> rows = Lines(out);
    const std::vector<CarResult> results = live.Results();
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0] + "\n", CheckCsvHeader());
    const char* const expected[] = {"1,ok,,",          "2,check,creep,",  "3,check,short_range,", "4,check,dead_spot,",
                                    "5,check,jitter,", "6,check,bounce,", "7,check,stuck,"};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(rows[i + 1] + "\n", CheckCsvRow(results[i]));
        EXPECT_EQ(rows[i + 1].rfind(expected[i], 0), 0u) << rows[i + 1];
    }

    // One car alone.
    out.clear();
    CheckCommandOptions only;
    only.car = 4;
    ASSERT_EQ(RunCheckCommand(session.Path(), only, out, err), 0) << err;
    EXPECT_EQ(out, CheckCsvHeader() + CheckCsvRow(results[3]));
}

TEST(CheckCommand, FilesAndCarsItCannotReadAreRefusedWithTheReason) {
    std::string out, err;
    EXPECT_EQ(RunCheckCommand("/nonexistent/session.csv", {}, out, err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("/nonexistent/session.csv"), std::string::npos) << err;

    const sessiontest::TempFile table("Car,Time\n1,9:00:00.000\n");
    err.clear();
    EXPECT_EQ(RunCheckCommand(table.Path(), {}, out, err), 1);
    EXPECT_NE(err.find("missing column"), std::string::npos) << err;

    // A damaged row is counted; a car the file does not hold is said so.
    const sessiontest::TempFile session(record::HeaderRow() + sessiontest::StatusRow(0, 1, 3, 0, 0, false) +
                                        "not,a,row\n" + sessiontest::StatusRow(10, 2, 3, 0, 0, false));
    err.clear();
    EXPECT_EQ(RunCheckCommand(session.Path(), {}, out, err), 0);
    EXPECT_EQ(Lines(out).size(), 2u);
    EXPECT_NE(out.find("\n3,cannot_judge,too_few_records,"), std::string::npos) << out;
    EXPECT_NE(err.find("1 row could not be read"), std::string::npos) << err;
    out.clear();
    err.clear();
    CheckCommandOptions only;
    only.car = 4;
    EXPECT_EQ(RunCheckCommand(session.Path(), only, out, err), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("car 4 has no status records"), std::string::npos) << err;
}
