// Reading session files: columns found by their names, rows that cannot be read skipped and
// counted, files that are not sessions refused with the reason, and today's format always opening.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "SessionFiles.h"
#include "app/session/SessionScan.h"

namespace {

using namespace sessiontest;
using session::RowKind;
using session::ScannedRow;
using session::ScanResult;
using session::ScanStatus;

struct Scan {
    ScanResult result;
    std::vector<ScannedRow> rows;
};

Scan ScanText(const std::string& text, session::ScanControl* control = nullptr, const session::ScanOptions& options = {}) {
    TempFile file(text);
    Scan s;
    s.result = session::ScanSessionFile(file.Path(), [&](const ScannedRow& r) { s.rows.push_back(r); }, control, options);
    return s;
}

const std::string& Header() { return record::HeaderRow(); }

TEST(SessionScan, TodaysFormatOpensWithEveryValue) {
    const Scan s = ScanText(Fixture("session-1.0.0.csv"));
    ASSERT_EQ(s.result.status, ScanStatus::Done) << s.result.error;
    EXPECT_EQ(s.result.skippedRows, 0u);
    ASSERT_EQ(s.rows.size(), 8u);
    EXPECT_EQ(s.rows[0].kind, RowKind::Status);
    EXPECT_EQ(s.rows[0].time.utcMs, kT0 - 3600000 + 43 * 60000 + 51123);
    EXPECT_EQ(s.rows[0].time.utcOffsetMinutes, 60);
    EXPECT_EQ(s.rows[0].number, 1u);
    EXPECT_EQ(s.rows[0].lastLb, 0x6F);
    EXPECT_EQ(s.rows[1].kind, RowKind::Name);
    EXPECT_EQ(s.rows[2].car, 2);
    EXPECT_EQ(s.rows[2].drivePwm, 100);
    EXPECT_TRUE(s.rows[2].laneChange);
    EXPECT_EQ(s.rows[3].lastLb, 0x83);
    EXPECT_EQ(s.rows[3].drivePwm, 255);
    EXPECT_EQ(s.rows[4].brakePwm, 200);
    EXPECT_EQ(s.rows[5].kind, RowKind::Name) << "a quoted unit name with a separator in it";
    EXPECT_EQ(s.rows[6].number, 7u);
    EXPECT_EQ(s.rows[7].time.utcMs - s.rows[6].time.utcMs, 1000);
    const std::string fixture = Fixture("session-1.0.0.csv");
    EXPECT_EQ(s.rows[0].fileOffset, fixture.find('\n') + 1) << "the first row starts after the fixture's own header";
}

TEST(SessionScan, ColumnsAreFoundByTheirNames) {
    // Reordered, with a column this version does not know, and without the optional ones.
    const std::string text =
        "kind,brake_pwm,future_column,car,drive_pwm,lane_change,last_lb,record,time\n"
        "status,7,whatever,3,200,1,44,12,2026-12-07T10:00:00.500+01:00\n"
        "name,,\"x,y\",,,,,13,2026-12-07T10:00:01.000+01:00\n";
    const Scan s = ScanText(text);
    ASSERT_EQ(s.result.status, ScanStatus::Done) << s.result.error;
    ASSERT_EQ(s.rows.size(), 2u);
    EXPECT_EQ(s.rows[0].car, 3);
    EXPECT_EQ(s.rows[0].drivePwm, 200);
    EXPECT_EQ(s.rows[0].brakePwm, 7);
    EXPECT_EQ(s.rows[0].lastLb, 44);
    EXPECT_TRUE(s.rows[0].laneChange);
    EXPECT_EQ(s.rows[0].number, 12u);
    EXPECT_EQ(s.rows[0].time.utcMs, kT0 + 500);
    EXPECT_EQ(s.rows[1].kind, RowKind::Name);
}

TEST(SessionScan, AMissingRequiredColumnIsRefusedByName) {
    for (const char* column : {"time", "record", "kind", "car", "last_lb", "drive_pwm", "brake_pwm", "lane_change"}) {
        std::string header = Header();
        const size_t at = header.find(column);
        ASSERT_NE(at, std::string::npos);
        header.replace(at, std::string(column).size(), "renamed");
        const Scan s = ScanText(header + StatusRow(0, 1, 1, 2, 3, false));
        EXPECT_EQ(s.result.status, ScanStatus::Failed);
        EXPECT_NE(s.result.error.find(std::string("missing column '") + column + "'"), std::string::npos)
            << s.result.error;
        EXPECT_NE(s.result.error.find("not a session file"), std::string::npos) << s.result.error;
        EXPECT_TRUE(s.rows.empty());
    }
    // The descriptive columns are not needed to read a session.
    const Scan s = ScanText("time,record,kind,car,last_lb,drive_pwm,brake_pwm,lane_change\n"
                            "2026-12-07T10:00:00.000+01:00,1,status,1,0,2,3,0\n");
    EXPECT_EQ(s.result.status, ScanStatus::Done) << s.result.error;
    EXPECT_EQ(s.rows.size(), 1u);
}

TEST(SessionScan, FilesThatAreNoSessionsAreRefusedWithTheReason) {
    struct Case {
        std::string content, reason;
    };
    const Case cases[] = {
        {"", "is empty"},
        {"name,age\nann,3\n", "missing column 'time'"},
        {std::string(200000, '\x01'), "no header row"},
        {"time,record,kind,car,last_lb,drive_pwm,brake_pwm,lane_change", "no header row"},  // no line end
        {"\"time,record\n", "not a header row"},
    };
    for (const Case& c : cases) {
        const Scan s = ScanText(c.content);
        EXPECT_EQ(s.result.status, ScanStatus::Failed) << c.reason;
        EXPECT_NE(s.result.error.find(c.reason), std::string::npos) << s.result.error;
        EXPECT_NE(s.result.error.find("session.csv"), std::string::npos) << "names the file: " << s.result.error;
    }
    const auto missing = session::ScanSessionFile("/nonexistent/session.csv", [](const ScannedRow&) {});
    EXPECT_EQ(missing.status, ScanStatus::Failed);
    EXPECT_NE(missing.error.find(": no such file"), std::string::npos) << missing.error;
}

TEST(SessionScan, UnreadableRowsAreSkippedAndCountedAndTheRestRead) {
    std::string bad = StatusRow(0, 1, 1, 10, 0, false);
    const std::string good = StatusRow(100, 2, 1, 20, 0, false);
    const std::string text =
        Header() + bad +
        "2026-12-07T10:00:00.100+01:00,2,status,1,44\n" +                            // cut short
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,5,0,0,5,U,53,extra\n" +       // one field too many
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,256,0,0,5,U,53\n" +           // drive out of range
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,-1,0,0,5,U,53\n" +            // negative
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,1e2,0,0,5,U,53\n" +           // not a whole number
        "2026-12-07T10:00:00.100+01:00,2,status,,44,x,5,0,0,5,U,53\n" +              // empty car
        "2026-12-07 10:00:00.100,2,status,1,44,x,5,0,0,5,U,53\n" +                   // time in another form
        "2026-13-07T10:00:00.100+01:00,2,status,1,44,x,5,0,0,5,U,53\n" +             // no such month
        "2026-12-07T10:00:00.100+01:00,2,error,1,44,x,5,0,0,5,U,53\n" +              // unknown kind
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,5,0,0,5,\"U,53\n" +           // quote not closed
        "2026-12-07T10:00:00.100+01:00,2,status,1,44,x,5,0,0,5,U," + std::string(70000, 'a') + "\n" +  // too long
        "\n" +  // a blank line is no row
        good;
    const Scan s = ScanText(text);
    ASSERT_EQ(s.result.status, ScanStatus::Done) << s.result.error;
    EXPECT_EQ(s.result.skippedRows, 11u);
    EXPECT_FALSE(s.result.unterminatedTail);
    ASSERT_EQ(s.rows.size(), 2u);
    EXPECT_EQ(s.rows[0].drivePwm, 10);
    EXPECT_EQ(s.rows[1].drivePwm, 20);
    EXPECT_EQ(s.rows[1].fileOffset, text.size() - good.size()) << "offsets stay right past skipped rows";
}

TEST(SessionScan, AnOverlongLineAcrossReadBlocksCostsOneSkippedRow) {
    // Longer than the scanner's read block, so the line is dropped in pieces.
    const std::string text = Header() + StatusRow(0, 1, 1, 10, 0, false) + std::string(5 * 1024 * 1024, 'z') + "\n" +
                             StatusRow(10, 2, 1, 11, 0, false);
    const Scan s = ScanText(text);
    ASSERT_EQ(s.result.status, ScanStatus::Done);
    EXPECT_EQ(s.result.skippedRows, 1u);
    ASSERT_EQ(s.rows.size(), 2u);
    EXPECT_EQ(s.rows[1].fileOffset, text.size() - StatusRow(10, 2, 1, 11, 0, false).size());
}

TEST(SessionScan, AFileStillBeingWrittenReadsUpToItsLastWholeRow) {
    const std::string whole = Header() + StatusRow(0, 1, 1, 10, 0, false) + StatusRow(10, 2, 2, 11, 0, false);
    const std::string next = StatusRow(20, 3, 1, 12, 0, false);
    for (size_t cut = 1; cut < next.size(); cut += 7) {
        const Scan s = ScanText(whole + next.substr(0, cut));
        ASSERT_EQ(s.result.status, ScanStatus::Done);
        EXPECT_EQ(s.rows.size(), 2u) << "cut at " << cut;
        EXPECT_TRUE(s.result.unterminatedTail);
        EXPECT_EQ(s.result.skippedRows, 1u);
    }
    const Scan header = ScanText(Header());
    EXPECT_EQ(header.result.status, ScanStatus::Done) << "a capture that has just begun";
    EXPECT_TRUE(header.rows.empty());
}

TEST(SessionScan, ByteOrderMarkAndCarriageReturnsFromASpreadsheetAreRead) {
    // Each line end as CRLF (the line end replaced, not inserted before: GCC's -O3 warns
    // falsely about an insert into a string's middle).
    std::string header = Header();
    header.pop_back();
    header += "\r\n";
    std::string row = StatusRow(0, 1, 4, 10, 0, true);
    row.pop_back();
    row += "\r\n";
    const Scan s = ScanText("\xEF\xBB\xBF" + header + row);
    ASSERT_EQ(s.result.status, ScanStatus::Done) << s.result.error;
    ASSERT_EQ(s.rows.size(), 1u);
    EXPECT_EQ(s.rows[0].car, 4);
    EXPECT_EQ(s.rows[0].length, row.size() - 2) << "without its line end";
}

TEST(SessionScan, TheClockColumnNeverGoesBack) {
    const Scan s = ScanText(Header() + StatusRow(1000, 1, 1, 0, 0, false) + StatusRow(400, 2, 1, 0, 0, false) +
                            StatusRow(1200, 3, 1, 0, 0, false));
    ASSERT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.rows[1].time.utcMs, kT0 + 400) << "the written time is kept";
    EXPECT_EQ(s.rows[1].clockMs, kT0 + 1000);
    EXPECT_EQ(s.rows[2].clockMs, kT0 + 1200);
}

TEST(SessionScan, ProgressReachesTheWholeFileAndCancelStops) {
    std::string text = Header();
    for (int i = 0; i < 60000; ++i) text += StatusRow(i, static_cast<uint64_t>(i + 1), 1 + i % 5, 1, 2, false);
    // One thread and two, whatever this machine has.
    for (const int threads : {1, 2}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        session::ScanOptions options;
        options.threads = threads;
        ASSERT_GT(text.size(), 2 * options.stretchBytes) << "stretches enough for the two threads to share";
        session::ScanControl control;
        std::vector<uint64_t> reports;
        control.progress = [&](uint64_t read, uint64_t total) {
            EXPECT_EQ(total, text.size());
            reports.push_back(read);
        };
        const Scan s = ScanText(text, &control, options);
        ASSERT_EQ(s.result.status, ScanStatus::Done);
        EXPECT_EQ(s.rows.size(), 60000u);
        ASSERT_GE(reports.size(), 2u) << "more than one block";
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        EXPECT_EQ(reports.back(), text.size());
        EXPECT_EQ(control.BytesRead(), text.size());

        // Cancelled from the progress report (as another thread would between two blocks).
        session::ScanControl cancelling;
        cancelling.progress = [&](uint64_t, uint64_t) { cancelling.Cancel(); };
        const Scan c = ScanText(text, &cancelling, options);
        EXPECT_EQ(c.result.status, ScanStatus::Cancelled);
        EXPECT_LT(c.rows.size(), 60000u);
    }
}

// The split scan against one thread reading on: every row (where it is, what it holds, its clock)
// and the outcome, as text to compare.
std::string ScanTrace(const std::string& path, int threads, size_t stretchBytes) {
    session::ScanOptions options;
    options.threads = threads;
    options.stretchBytes = stretchBytes;
    std::string trace;
    const ScanResult r = session::ScanSessionFile(
        path,
        [&](const ScannedRow& row) {
            for (const int64_t v : {static_cast<int64_t>(row.fileOffset), static_cast<int64_t>(row.length),
                                    static_cast<int64_t>(row.number), static_cast<int64_t>(row.kind), row.time.utcMs,
                                    static_cast<int64_t>(row.time.utcOffsetMinutes), row.clockMs,
                                    static_cast<int64_t>(row.car), static_cast<int64_t>(row.lastLb),
                                    static_cast<int64_t>(row.drivePwm), static_cast<int64_t>(row.brakePwm),
                                    static_cast<int64_t>(row.laneChange), static_cast<int64_t>(row.unitId)}) {
                trace += std::to_string(v) + ' ';
            }
            trace += '\n';
        },
        nullptr, options);
    return trace + "status " + std::to_string(static_cast<int>(r.status)) + " rows " + std::to_string(r.rows) +
           " skipped " + std::to_string(r.skippedRows) + " tail " + std::to_string(r.unterminatedTail) + " bytes " +
           std::to_string(r.bytesRead) + " " + r.error;
}

// Rows of every kind a border between two stretches can fall into: quoted fields holding line
// breaks (a CRLF among them), stray quotes that open a field which runs on over later lines,
// CRLF rows, blank lines, rows cut short, name rows and a clock set back.
std::string TrickyRows(uint32_t seed, int count) {
    std::mt19937 rng(seed);
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int64_t ms = i * 7 - (i % 17 == 0 ? 900 : 0);
        std::string row = StatusRow(ms, static_cast<uint64_t>(i + 1), static_cast<uint8_t>(1 + i % 3),
                                    static_cast<uint8_t>(rng() % 256), static_cast<uint8_t>(i % 50), i % 5 == 0);
        const size_t name = row.find(",SIM-UNIT,");
        switch (rng() % 10) {
        case 0: row.replace(name, 10, ",\"SIM\n\nUNIT, \"\"B\"\"\r\n" + std::string(rng() % 40, '\n') + "\","); break;
        case 1: row.back() = '\r', row += '\n'; break;
        case 2: text += rng() % 2 ? "\n" : "\r\n"; break;
        case 3: row.replace(name, 10, ",\"SIM-UNIT,"); break;
        case 4: row = row.substr(0, rng() % row.size()) + "\n"; break;
        case 5: row = NameRow(ms, static_cast<uint64_t>(i + 1)); break;
        default: break;
        }
        text += row;
    }
    return text;
}

TEST(SessionScan, TwoThreadsReadExactlyWhatOneThreadReads) {
    struct Case {
        std::string name, text;
        std::vector<size_t> stretches;
    };
    const std::vector<size_t> everyBorder = {1, 2, 3, 5, 8, 13, 64, 100, 333, 1000};
    const std::vector<size_t> someBorders = {7, 50, 111, 1000, 4096};
    const std::vector<size_t> longRows = {700, 4096, 50000};
    std::string quotedBreaks = Header() + StatusRow(0, 1, 1, 2, 3, false);
    quotedBreaks.replace(quotedBreaks.find(",SIM-UNIT,"), 10, ",\"" + std::string(300, '\n') + "\",");
    std::string longQuoted = Header() + StatusRow(0, 1, 1, 2, 3, false);
    longQuoted.replace(longQuoted.find(",SIM-UNIT,"), 10, ",\"" + std::string(70000, '\n') + "\",");
    const std::string rows = StatusRow(5, 2, 1, 9, 0, false) + StatusRow(6, 3, 2, 9, 0, false);
    std::string crlf;
    for (char c : Header() + TrickyRows(9, 40)) {
        if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
        crlf += c;
    }
    const std::string tricky = Header() + TrickyRows(1, 300);
    const std::vector<Case> cases = {
        {"tricky", tricky, someBorders},
        {"tricky, other seed", Header() + TrickyRows(2, 300), someBorders},
        {"tricky, last row cut short", tricky.substr(0, tricky.size() - 30), someBorders},
        {"every line end CRLF", crlf, everyBorder},
        {"a quoted field of line breaks", quotedBreaks + rows, everyBorder},
        {"no line break after the header", Header() + std::string(3000, 'x'), everyBorder},
        {"no line break at all after a quote", Header() + "\"" + std::string(3000, ','), everyBorder},
        {"one row", Header() + StatusRow(0, 1, 1, 2, 3, false), everyBorder},
        {"one row cut short", Header() + "2026", everyBorder},
        {"header only", Header(), everyBorder},
        {"an overlong line", Header() + rows + std::string(70000, 'a') + "\n" + rows, longRows},
        {"an overlong quoted row", longQuoted + rows, longRows},
        {"ending in an overlong line", Header() + rows + std::string(70000, 'a'), longRows},
    };
    for (const Case& c : cases) {
        TempFile file(c.text);
        const std::string oneThread = ScanTrace(file.Path().string(), 1, 1 << 20);
        ASSERT_NE(oneThread.find("status 0"), std::string::npos) << c.name << ": " << oneThread;
        for (const size_t stretch : c.stretches) {
            EXPECT_EQ(ScanTrace(file.Path().string(), 2, stretch), oneThread) << c.name << ", stretches of " << stretch;
        }
    }
}

} // namespace
