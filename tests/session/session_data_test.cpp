// A session loaded whole: its records as the file has them, the table's rows read again, times
// found, and the plot's pixel columns matching what every record would draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "SessionFiles.h"
#include "app/session/SessionData.h"
#include "app/record/TableText.h"
#include "app/session/SessionRows.h"

namespace {

using namespace sessiontest;
using session::ColumnExtent;
using session::RowKind;
using session::SessionData;

struct Rec {
    int64_t ms;
    uint8_t car, drive, brake;
    bool lane;
};

// A bench of cars over a while: bursts, dropouts (gaps of seconds), lane changes held, and a
// car that joins late; times in whole milliseconds, often several records in one millisecond.
std::vector<Rec> RandomSession(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Rec> recs;
    int64_t t = 0;
    bool lanes[256] = {};
    for (size_t i = 0; i < count; ++i) {
        const uint32_t r = rng();
        t += (r % 100 == 0) ? 2000 + r % 5000 : r % 3;
        uint8_t car = static_cast<uint8_t>(1 + rng() % 5);
        if (i > count / 2 && rng() % 4 == 0) car = 250;
        if (rng() % 20 == 0) lanes[car] = !lanes[car];
        recs.push_back({t, car, static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 0),
                        lanes[car]});
    }
    return recs;
}

std::string FileOf(const std::vector<Rec>& recs) {
    std::string text = record::HeaderRow();
    uint64_t n = 1;
    for (const Rec& r : recs) text += StatusRow(r.ms, n++, r.car, r.drive, r.brake, r.lane);
    return text;
}

std::shared_ptr<const SessionData> Load(const TempFile& file) {
    const auto outcome = session::LoadSession(file.Path());
    EXPECT_EQ(outcome.status, session::ScanStatus::Done) << outcome.error;
    return outcome.session;
}

// What the columns must hold: every record of the car whose time falls in the column.
std::vector<ColumnExtent> BruteForce(const std::vector<Rec>& recs, uint8_t car, int64_t t0, int64_t t1, int columns) {
    std::vector<ColumnExtent> out(static_cast<size_t>(columns));
    const int64_t width = (t1 - t0) / columns;
    for (const Rec& r : recs) {
        const int64_t t = kT0 + r.ms;
        if (r.car != car || t < t0 || t >= t1) continue;
        ColumnExtent& e = out[static_cast<size_t>(std::min<int64_t>((t - t0) / width, columns - 1))];
        if (e.records == 0) {
            e.driveFirst = e.driveMin = e.driveMax = r.drive;
            e.brakeFirst = e.brakeMin = e.brakeMax = r.brake;
        }
        ++e.records;
        e.driveMin = std::min(e.driveMin, r.drive);
        e.driveMax = std::max(e.driveMax, r.drive);
        e.brakeMin = std::min(e.brakeMin, r.brake);
        e.brakeMax = std::max(e.brakeMax, r.brake);
        e.driveLast = r.drive;
        e.brakeLast = r.brake;
        if (r.lane && !e.laneChange) {
            e.laneChange = true;
            e.laneDrive = r.drive;
        }
    }
    return out;
}

void ExpectSameColumns(const std::vector<ColumnExtent>& got, const std::vector<ColumnExtent>& want,
                       const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t c = 0; c < got.size(); ++c) {
        const ColumnExtent& g = got[c];
        const ColumnExtent& w = want[c];
        ASSERT_EQ(g.records, w.records) << what << " column " << c;
        if (w.records == 0) continue;
        ASSERT_EQ(std::tie(g.driveFirst, g.driveMin, g.driveMax, g.driveLast, g.brakeFirst, g.brakeMin, g.brakeMax,
                           g.brakeLast, g.laneChange),
                  std::tie(w.driveFirst, w.driveMin, w.driveMax, w.driveLast, w.brakeFirst, w.brakeMin, w.brakeMax,
                           w.brakeLast, w.laneChange))
            << what << " column " << c;
        if (w.laneChange) {
            ASSERT_EQ(g.laneDrive, w.laneDrive) << what << " column " << c;
        }
    }
}

TEST(SessionData, PixelColumnsHoldWhatEveryRecordWouldDrawAtAnyZoom) {
    const std::vector<Rec> recs = RandomSession(200000, 7);
    TempFile file(FileOf(recs));
    const auto data = Load(file);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->RecordCount(), recs.size());
    EXPECT_EQ(data->Cars(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 250}));

    std::mt19937 rng(11);
    const int64_t first = kT0 + recs.front().ms, last = kT0 + recs.back().ms;
    std::vector<ColumnExtent> got;
    for (int trial = 0; trial < 60; ++trial) {
        // From the whole session (and beyond its ends) down to a few milliseconds a column.
        const int columns = 1 + static_cast<int>(rng() % 1600);
        const int64_t span = trial < 3 ? (last - first + 2000) : 1 + static_cast<int64_t>(rng() % (last - first));
        const int64_t width = std::max<int64_t>(1, span / columns);
        const int64_t t0 = (trial < 3 ? first - 1000 : first + static_cast<int64_t>(rng() % (last - first)));
        const int64_t t1 = t0 + width * columns;
        for (uint8_t car : {uint8_t{1}, uint8_t{250}, uint8_t{9}}) {
            data->QueryColumns(car, t0, t1, columns, got);
            ExpectSameColumns(got, BruteForce(recs, car, t0, t1, columns),
                              "car " + std::to_string(car) + " trial " + std::to_string(trial));
        }
    }
    data->QueryColumns(1, last, first, 10, got);
    EXPECT_EQ(got.size(), 10u);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](const ColumnExtent& e) { return e.records == 0; }))
        << "an empty range";
}

TEST(SessionData, RecordsKeepTheirValuesAndTheirTableTexts) {
    const std::string rows = NameRow(0, 1) + StatusRow(10, 2, 7, 100, 0, true, 0x2C) +
                             StatusRow(19, 3, 2, 5, 250, false, 0x6F) + StatusRow(19, 4, 7, 255, 0, true, 0x83) +
                             StatusRow(30, 5, 7, 0, 0, false, 0xA0, -330);
    TempFile file(record::HeaderRow() + "garbage\n" + rows);
    const auto data = Load(file);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->SkippedRows(), 1u);
    ASSERT_EQ(data->RecordCount(), 5u);
    EXPECT_EQ(data->Record(0).kind, RowKind::Name);
    EXPECT_EQ(data->Record(1).car, 7);
    EXPECT_TRUE(data->Record(1).lanePress);
    EXPECT_FALSE(data->Record(3).lanePress) << "held since car 7's previous record";
    EXPECT_TRUE(data->Record(3).laneChange);
    EXPECT_EQ(data->Record(2).brakePwm, 250);
    EXPECT_EQ(data->Record(4).timeMs, kT0 + 30);
    EXPECT_EQ(data->UtcOffsetMinutes(3), 60);
    EXPECT_EQ(data->UtcOffsetMinutes(4), -330);
    EXPECT_EQ(data->UtcOffsetMinutesAt(kT0 + 29), 60);
    EXPECT_EQ(data->UtcOffsetMinutesAt(kT0 + 31), -330);
    EXPECT_EQ(data->CarRecordCount(7), 3u);
    EXPECT_EQ(data->CarRecord(7, 2), 4u);

    const std::array<std::array<std::string, 6>, 5> cells = {{
        {"", "10:00:00.000", "", "", "", ""},
        {"7", "10:00:00.010", "12 R", "100", "0", "Yes"},
        {"2", "10:00:00.019", "no LB yet", "5", "250", "No"},
        {"7", "10:00:00.019", "3 L*", "255", "0", "Yes"},
        {"7", "3:30:00.030", "0*", "0", "0", "No"},
    }};
    // The session window's table comes from memory alone: the file may be gone.
    std::filesystem::remove(file.Path());
    for (size_t i = 0; i < 5; ++i) {
        const record::Record r = data->FullRecord(i);
        EXPECT_EQ(r.number, i + 1);
        EXPECT_EQ(data->RecordNumber(i), i + 1);
        EXPECT_EQ(record::TableTexts(r, ":"), cells[i]) << i;
    }
}

TEST(SessionData, RecordNumbersAndWrittenTimesAreKeptWhereverTheyJump) {
    // Numbers as a restarted or edited file may have them; a clock set back by 5 s.
    const uint64_t numbers[] = {7, 8, 9, 1, 2, 1000000000000, 5, 6, 6};
    std::string text = record::HeaderRow();
    int64_t ms = 0;
    for (size_t i = 0; i < std::size(numbers); ++i) {
        ms += i == 4 ? -5000 : 100;
        text += StatusRow(ms, numbers[i], 1, 0, 0, false);
    }
    TempFile file(text);
    const auto data = Load(file);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->RecordCount(), std::size(numbers));
    for (size_t i = 0; i < std::size(numbers); ++i) EXPECT_EQ(data->RecordNumber(i), numbers[i]) << i;
    EXPECT_EQ(data->Record(4).timeMs, kT0 + 400) << "the plot's clock does not go back";
    EXPECT_EQ(data->FullRecord(4).time.utcMs, kT0 - 4600) << "the table shows the written time";
    EXPECT_EQ(data->FullRecord(5).time.utcMs, kT0 - 4500);
    EXPECT_EQ(data->FullRecord(3).time.utcMs, kT0 + 400);
    EXPECT_LT(data->MemoryBytes(), 64u * 1024) << "a handful of number runs, not a number per record";
}

TEST(SessionData, TheRowReaderReadsAScannedRowWhole) {
    const std::string rows = NameRow(0, 1) + StatusRow(10, 2, 7, 100, 0, true, 0x2C);
    TempFile file(record::HeaderRow() + "garbage\n" + rows);
    std::vector<uint64_t> offsets;
    session::ScanSessionFile(file.Path(), [&](const session::ScannedRow& r) { offsets.push_back(r.fileOffset); });
    ASSERT_EQ(offsets.size(), 2u);
    session::SessionRows reader(file.Path());
    ASSERT_TRUE(reader.Ok()) << reader.Error();
    const auto row = reader.Read(offsets[1]);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->values.number, 2u);
    EXPECT_EQ(row->values.unitName, "SIM-UNIT");
    EXPECT_EQ(row->values.bytes, std::string("S\0\x07\x2c\x64\0\x01", 7));
    EXPECT_EQ(row->Field(record::kBytesHexColumn), "53 00 07 2c 64 00 01");
    EXPECT_FALSE(reader.Read(offsets[0] + 3)) << "not the start of a row";
    EXPECT_FALSE(reader.Read(1u << 30)) << "past the end";
}

TEST(SessionData, TheRecordNearestATime) {
    const std::string rows = StatusRow(100, 1, 1, 0, 0, false) + StatusRow(200, 2, 1, 0, 0, false) +
                             StatusRow(200, 3, 2, 0, 0, false) + StatusRow(400, 4, 1, 0, 0, false);
    TempFile file(record::HeaderRow() + rows);
    const auto data = Load(file);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->NearestRecord(kT0), 0u);
    EXPECT_EQ(data->NearestRecord(kT0 + 149), 0u);
    EXPECT_EQ(data->NearestRecord(kT0 + 150), 0u) << "the earlier on a tie";
    EXPECT_EQ(data->NearestRecord(kT0 + 151), 1u);
    EXPECT_EQ(data->NearestRecord(kT0 + 299), 1u) << "the first of records with the same time";
    EXPECT_EQ(data->NearestRecord(kT0 + 301), 3u);
    EXPECT_EQ(data->NearestRecord(kT0 + 9999), 3u);
    EXPECT_EQ(data->LowerBound(kT0 + 200), 1u);
    EXPECT_EQ(data->LowerBound(kT0 + 201), 3u);
    EXPECT_EQ(data->LowerBound(kT0 + 401), 4u);
    EXPECT_EQ(data->FirstTimeMs(), kT0 + 100);
    EXPECT_EQ(data->LastTimeMs(), kT0 + 400);
}

TEST(SessionData, TimesWeeksApartAndABigSessionStayCompact) {
    // Rows weeks apart start new storage chunks; each must cost what it holds.
    std::string text = record::HeaderRow();
    for (int i = 0; i < 300; ++i) text += StatusRow(int64_t{i} * 60 * 86400000, static_cast<uint64_t>(i + 1), 1, 1, 1, false);
    {
        TempFile file(text);
        const auto data = Load(file);
        ASSERT_TRUE(data);
        EXPECT_LT(data->MemoryBytes(), 1u << 20);
        EXPECT_EQ(data->LowerBound(kT0 + int64_t{150} * 60 * 86400000), 150u);
        EXPECT_EQ(data->Record(299).timeMs, kT0 + int64_t{299} * 60 * 86400000);
        std::vector<ColumnExtent> got;
        data->QueryColumns(1, kT0, kT0 + int64_t{300} * 60 * 86400000, 300, got);
        EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](const ColumnExtent& e) { return e.records == 1; }));
    }
    // Many records of several cars: the memory a record costs stays well under 32 bytes (the last
    // blocks of each car, partly filled, still weigh at this size).
    const std::vector<Rec> recs = RandomSession(400000, 3);
    TempFile file(FileOf(recs));
    const auto data = Load(file);
    ASSERT_TRUE(data);
    EXPECT_LE(data->MemoryBytes(), recs.size() * 27) << data->MemoryBytes() / recs.size() << " bytes a record";
}

TEST(SessionData, ALoadOnAWorkerThreadIsCancelledFromAnother) {
    TempFile file(FileOf(RandomSession(60000, 5)));  // several read blocks
    session::ScanControl control;
    std::mutex m;
    std::condition_variable cv;
    bool started = false, cancelled = false;
    // The first progress report waits until the other thread has cancelled, so the load cannot
    // have finished before.
    control.progress = [&](uint64_t, uint64_t) {
        std::unique_lock lock(m);
        started = true;
        cv.notify_all();
        cv.wait(lock, [&] { return cancelled; });
    };
    session::LoadOutcome outcome;
    std::thread worker([&] { outcome = session::LoadSession(file.Path(), &control); });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return started; });
        control.Cancel();
        cancelled = true;
        cv.notify_all();
    }
    worker.join();
    EXPECT_EQ(outcome.status, session::ScanStatus::Cancelled);
    EXPECT_FALSE(outcome.session);
    EXPECT_GT(control.BytesRead(), 0u);
    EXPECT_LT(control.BytesRead(), control.TotalBytes());
}

TEST(SessionData, NoSessionNoData) {
    TempFile file("a,b\n");
    const auto outcome = session::LoadSession(file.Path());
    EXPECT_EQ(outcome.status, session::ScanStatus::Failed);
    EXPECT_FALSE(outcome.session);
    EXPECT_NE(outcome.error.find("missing column 'time'"), std::string::npos) << outcome.error;

    session::SessionRows rows(file.Path());
    EXPECT_FALSE(rows.Ok());
    EXPECT_NE(rows.Error().find("missing column 'time'"), std::string::npos);
    EXPECT_FALSE(rows.Read(0));

    TempFile empty(record::HeaderRow());
    const auto loaded = session::LoadSession(empty.Path());
    ASSERT_TRUE(loaded.session);
    EXPECT_EQ(loaded.session->RecordCount(), 0u);
    EXPECT_EQ(loaded.session->NearestRecord(kT0), 0u);
    EXPECT_EQ(loaded.session->LowerBound(kT0), 0u);
    std::vector<ColumnExtent> got;
    loaded.session->QueryColumns(1, kT0, kT0 + 100, 4, got);
    EXPECT_EQ(got.size(), 4u);
}

} // namespace
