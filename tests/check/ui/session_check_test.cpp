// The session window's check of a chosen range, offscreen, on a session file whose rows are made
// by the writer's own code: the bench user took a healthy throttle and one with a dead spot
// through the check's steps twice. The car at the cursor over the range shown gives the same
// figures as --check on that file for that car (the whole session), or on the file cut to the
// range (a dragged range).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sstream>

#include "../../session/SessionFiles.h"
#include "CheckStreams.h"
#include "QtWait.h"
#include "TestSettings.h"
#include "app/MainForm.h"
#include "app/check/ThrottleCheck.h"
#include "app/check/offline/CheckCommand.h"
#include "app/check/ui/ThrottleCheckCommand.h"
#include "app/session/ui/SessionWindow.h"

using namespace check;
using session::ui::SessionWindow;
using unitsim::ThrottleModel;

namespace {

struct Row {
    int64_t ms;
    std::string text;
};

// Two cars in turn, 200 records a second each for 40 s (two rounds of the bench user), and a
// name record now and then.
std::vector<Row> BenchSession() {
    const std::vector<Sample> healthy = checktest::BenchStream(ThrottleModel::Healthy, 200, 40, 21, 1);
    const std::vector<Sample> faulty = checktest::BenchStream(ThrottleModel::DeadSpot, 200, 40, 22, 3);
    std::vector<Row> rows;
    uint64_t number = 0;
    for (size_t at = 0; at < healthy.size() && at < faulty.size(); ++at) {
        for (const Sample& s : {healthy[at], faulty[at]}) {
            rows.push_back({s.ms, sessiontest::StatusRow(s.ms - sessiontest::kT0, ++number, s.car, s.drive, s.brake, s.laneChange)});
        }
        if (at % 1000 == 0) rows.push_back({healthy[at].ms, sessiontest::NameRow(healthy[at].ms - sessiontest::kT0, ++number)});
    }
    return rows;
}

std::string FileOf(const std::vector<Row>& rows, int64_t fromMs, int64_t toMs) {
    std::string file = record::HeaderRow();
    for (const Row& r : rows)
        if (r.ms >= fromMs && r.ms < toMs) file += r.text;
    return file;
}

// --check on the file for one car: its row, without the header.
std::string CheckRow(const std::filesystem::path& path, int car) {
    CheckCommandOptions options;
    options.car = car;
    std::string out, err;
    EXPECT_EQ(RunCheckCommand(path, options, out, err), 0) << err;
    const std::string header = CheckCsvHeader();
    return out.rfind(header, 0) == 0 ? out.substr(header.size()) : out;
}

// The index of the first status record of this car at or after this time.
size_t RecordOf(const session::SessionData& data, uint8_t car, int64_t fromMs) {
    for (size_t i = data.LowerBound(fromMs); i < data.RecordCount(); ++i) {
        const session::RecordValues r = data.Record(i);
        if (r.kind == session::RowKind::Status && r.car == car) return i;
    }
    return data.RecordCount();
}

} // namespace

TEST(SessionWindowCheck, TheCursorsCarOverTheRangeShownGivesTheFiguresOfCheckOnTheFile) {
    QTemporaryDir settings;
    testsupport::UseSettingsIn(settings.path(), QStringLiteral("session-check-test"));
    const std::vector<Row> rows = BenchSession();
    const sessiontest::TempFile whole(FileOf(rows, INT64_MIN, INT64_MAX));

    TForm1::Options o;
    o.portList.sysfsRoot = "/nonexistent-sysfs";
    o.portList.extraPortsEnv = "TORVANE_SESSION_TEST_PORTS";
    TForm1 form(o);
    check::ui::ThrottleCheckCommand command(form, {});  // nothing kept
    auto* w = new SessionWindow(whole.Path(), &form);
    w->show();
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return w->GetState() != SessionWindow::State::Loading; }));
    ASSERT_EQ(w->GetState(), SessionWindow::State::Ready) << w->ErrorText().toStdString();
    const session::SessionData& data = *w->Data();

    // The whole session, the cursor on the faulty car.
    w->SetCursor(RecordOf(data, 3, w->View().startMs));
    command.CheckSession(*w);
    ASSERT_NE(command.Window(), nullptr);
    ASSERT_TRUE(command.Window()->Result().has_value());
    const std::string faulty = CheckCsvRow(*command.Window()->Result());
    EXPECT_EQ(faulty, CheckRow(whole.Path(), 3));
    EXPECT_EQ(faulty.rfind("3,check,dead_spot,", 0), 0u) << faulty;

    // A range of the second round, as dragged on the time axis, the cursor on the healthy car.
    const int64_t start = rows.front().ms;
    w->ShowRange(start + 19'000, start + 38'500);
    const chart::TimeView range = w->View();
    ASSERT_GT(range.startMs, start);
    w->SetCursor(RecordOf(data, 1, range.startMs));
    command.CheckSession(*w);
    ASSERT_TRUE(command.Window()->Result().has_value());
    const std::string healthy = CheckCsvRow(*command.Window()->Result());
    const sessiontest::TempFile cut(FileOf(rows, range.startMs, range.endMs));
    EXPECT_EQ(healthy, CheckRow(cut.Path(), 1));
    EXPECT_EQ(healthy.rfind("1,ok,,", 0), 0u) << healthy;
    EXPECT_NE(healthy, CheckRow(whole.Path(), 1)) << "the range, not the whole session, was checked";
}
