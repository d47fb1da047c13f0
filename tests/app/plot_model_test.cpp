// The throttle plot's data: the bounded rings, the per-car history, the view and its decimation.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/plot/PlotModel.h"
#include "app/plot/RingBuffer.h"

namespace {

using chart::Column;
using plot::PlotModel;
using plot::RingBuffer;

std::vector<int> Contents(const RingBuffer<int>& ring) {
    std::vector<int> out;
    for (size_t i = 0; i < ring.Size(); ++i) out.push_back(ring[i]);
    return out;
}

std::vector<Column> Columns(const PlotModel& m, uint8_t car, int widthPx) {
    std::vector<Column> out;
    m.Columns(car, widthPx, out);
    return out;
}

// The columns that hold records, by index.
std::vector<int> Filled(const std::vector<Column>& columns) {
    std::vector<int> out;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].records > 0) out.push_back(static_cast<int>(i));
    }
    return out;
}

// A column's drive values as drawn: first, lowest, highest, last.
std::vector<int> Drive(const Column& c) { return {c.driveFirst, c.driveMin, c.driveMax, c.driveLast}; }

void AddDrive(PlotModel& m, int64_t t, uint8_t car, uint8_t drive, bool lane = false) { m.Add(t, car, drive, 0, 0x6F, lane); }

TEST(RingBufferTest, KeepsTheNewestUpToItsBoundInOrderAcrossTheWrap) {
    RingBuffer<int> ring(5);
    for (int i = 1; i <= 3; ++i) ring.Push(i);
    ring.PopFront();
    EXPECT_EQ(Contents(ring), (std::vector<int>{2, 3}));
    for (int i = 4; i <= 12; ++i) ring.Push(i);  // wraps round the storage twice
    EXPECT_EQ(Contents(ring), (std::vector<int>{8, 9, 10, 11, 12}));
    EXPECT_EQ(ring.Front(), 8);
    EXPECT_EQ(ring.Back(), 12);
    EXPECT_LT(ring.StorageSize(), 2 * 5u) << "storage is the bound, rounded up to a power of two";
    while (!ring.Empty()) ring.PopFront();
    ring.PopFront();  // on an empty ring: nothing
    EXPECT_EQ(ring.Size(), 0u);
}

TEST(RingBufferTest, GrowsAndShrinksWithoutLosingOrder) {
    RingBuffer<int> ring(10000);
    for (int i = 0; i < 100; ++i) ring.Push(i);
    for (int i = 0; i < 60; ++i) ring.PopFront();  // the head now lies inside the storage
    for (int i = 100; i < 5000; ++i) ring.Push(i);
    ASSERT_EQ(ring.Size(), 4940u);
    for (size_t i = 0; i < ring.Size(); ++i) ASSERT_EQ(ring[i], static_cast<int>(60 + i));
    const size_t grown = ring.StorageSize();
    EXPECT_LT(grown, 2 * 10000u);
    while (ring.Size() > 10) ring.PopFront();
    EXPECT_LT(ring.StorageSize(), grown / 8) << "storage is given back when most of it is unused";
    EXPECT_EQ(Contents(ring), (std::vector<int>{4990, 4991, 4992, 4993, 4994, 4995, 4996, 4997, 4998, 4999}));
}

TEST(PlotModelTest, CarsAppearInTheOrderFirstSeenWithTheirLatestRecord) {
    PlotModel m;
    m.Add(0, 7, 10, 0, 0x2C, false);
    m.Add(1, 3, 20, 5, 0x6F, false);
    m.Add(2, 7, 30, 0, 0x83, true);
    m.Add(3, 200, 40, 0, 0x00, false);
    EXPECT_EQ(m.Cars(), (std::vector<uint8_t>{7, 3, 200}));
    ASSERT_TRUE(m.Latest(7).has_value());
    EXPECT_EQ(m.Latest(7)->Drive, 30);
    EXPECT_EQ(m.Latest(7)->LastLb, 0x83);
    EXPECT_TRUE(m.Latest(7)->LaneChange);
    EXPECT_EQ(m.Latest(3)->Brake, 5);
    EXPECT_FALSE(m.Latest(8).has_value());
    EXPECT_TRUE(Filled(Columns(m, 8, 100)).empty());
}

TEST(PlotModelTest, KeepsTheLastMinuteAndNoMoreThanItsBound) {
    PlotModel m;
    AddDrive(m, 0, 1, 1);
    AddDrive(m, 0, 2, 1);
    for (int64_t t = 500; t <= 61000; t += 500) AddDrive(m, t, 1, 2);
    EXPECT_EQ(m.SampleCount(), 121u) << "car 1's first record and quiet car 2's have expired";
    EXPECT_FALSE(m.Latest(2).has_value());
    EXPECT_EQ(m.Cars(), (std::vector<uint8_t>{1, 2})) << "a car once seen stays in the legend";

    // Faster than a line can carry: the oldest records go first, whichever car they belong to.
    PlotModel small(100);
    for (int i = 0; i < 150; ++i) AddDrive(small, i / 10, static_cast<uint8_t>(i < 50 ? 1 : 2), static_cast<uint8_t>(i));
    EXPECT_LE(small.SampleCount(), 100u);
    EXPECT_GE(small.SampleCount(), 80u) << "only the oldest go";
    EXPECT_FALSE(small.Latest(1).has_value());
    EXPECT_EQ(small.Latest(2)->Drive, 149);
    PlotModel sameMillisecond(100);
    for (int i = 0; i < 150; ++i) AddDrive(sameMillisecond, 0, 1, static_cast<uint8_t>(i));
    EXPECT_EQ(sameMillisecond.SampleCount(), 100u);
    EXPECT_EQ(Columns(sameMillisecond, 1, 10).back().driveFirst, 50) << "the newest hundred kept";
}

TEST(PlotModelTest, EachColumnKeepsItsFirstLowestHighestAndLastValue) {
    PlotModel m;
    // 10 s at 1 ms a record onto 10 columns: 1000 records a column, flat at 100 but for a dip
    // before a spike in column 2 and a spike before a dip in column 7.
    for (int64_t t = 1; t <= 10000; ++t) {
        uint8_t v = 100;
        if (t == 2300) v = 3;
        if (t == 2301) v = 250;
        if (t == 7600) v = 255;
        if (t == 7900) v = 0;
        AddDrive(m, t, 1, v);
    }
    const std::vector<Column> d = Columns(m, 1, 10);
    ASSERT_EQ(d.size(), 10u);
    EXPECT_EQ(Drive(d[2]), (std::vector<int>{100, 3, 250, 100}));
    EXPECT_EQ(Drive(d[7]), (std::vector<int>{100, 0, 255, 100}));
    EXPECT_EQ(Drive(d[4]), (std::vector<int>{100, 100, 100, 100})) << "a flat column";
    EXPECT_EQ(d[4].records, 1000u);
    EXPECT_EQ(d[9].records, 1001u) << "the latest record is at the right edge";
}

TEST(PlotModelTest, TheTimeWindowChoosesHowFarBackTheViewReaches) {
    PlotModel m;
    for (int64_t t = 0; t <= 60000; t += 1000) AddDrive(m, t, 1, static_cast<uint8_t>(t / 1000), t == 30000);
    EXPECT_EQ(m.WindowSeconds(), 10);
    std::vector<Column> d = Columns(m, 1, 600);
    EXPECT_EQ(Filled(d), (std::vector<int>{0, 60, 120, 180, 240, 300, 360, 420, 480, 540, 599}));
    EXPECT_EQ(d[0].driveFirst, 50);
    EXPECT_EQ(d[300].driveFirst, 55) << "5 s back in a 10 s view is half way";
    for (const Column& c : d) EXPECT_FALSE(c.laneChange);

    m.SetWindowSeconds(60);
    d = Columns(m, 1, 600);
    EXPECT_EQ(Filled(d).size(), 61u) << "one record a column: each once";
    int lanes = 0;
    for (const Column& c : d) lanes += c.laneChange ? 1 : 0;
    EXPECT_EQ(lanes, 1);
    EXPECT_TRUE(d[300].laneChange);
    EXPECT_EQ(d[300].laneDrive, 30);

    const uint64_t revision = m.Revision();
    m.SetWindowSeconds(7);  // not a choice
    EXPECT_EQ(m.WindowSeconds(), 60);
    EXPECT_EQ(m.Revision(), revision);
}

TEST(PlotModelTest, APausedViewStaysAsItWasWhileRecordsKeepArriving) {
    PlotModel m;
    for (int64_t t = 0; t < 5000; t += 100) AddDrive(m, t, 1, 10);
    m.SetPaused(true);
    const std::vector<Column> before = Columns(m, 1, 200);
    for (int64_t t = 5000; t < 70000; t += 100) {
        AddDrive(m, t, 1, 99);
        AddDrive(m, t, 2, 42);
    }
    EXPECT_EQ(m.Cars(), (std::vector<uint8_t>{1}));
    EXPECT_EQ(m.Latest(1)->Drive, 10);
    const std::vector<Column> after = Columns(m, 1, 200);
    ASSERT_EQ(Filled(after), Filled(before)) << "even after the records it shows have expired underneath";
    for (int c : Filled(after)) EXPECT_EQ(Drive(after[static_cast<size_t>(c)]), Drive(before[static_cast<size_t>(c)]));
    EXPECT_GT(m.SampleCount(), 1000u);

    m.SetPaused(false);
    EXPECT_EQ(m.Cars(), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(m.Latest(1)->Drive, 99);
}

TEST(PlotModelTest, AClockThatGoesBackCountsAsTheLatestTime) {
    PlotModel m;
    AddDrive(m, 5000, 1, 10);
    AddDrive(m, 4000, 1, 20);
    const std::vector<Column> d = Columns(m, 1, 100);
    EXPECT_EQ(Filled(d), (std::vector<int>{99}));
    EXPECT_EQ(Drive(d[99]), (std::vector<int>{10, 10, 20, 20}));
}

TEST(PlotModelTest, ALaneChangeMarksItsColumnAtTheFirstSuchRecordsDrive) {
    PlotModel m;
    for (int64_t t = 0; t <= 10000; t += 10) AddDrive(m, t, 1, static_cast<uint8_t>(t / 100), t % 500 >= 250);
    const std::vector<Column> d = Columns(m, 1, 20);
    for (size_t c = 0; c < d.size(); ++c) {
        EXPECT_TRUE(d[c].laneChange) << c;
        EXPECT_EQ(d[c].laneDrive, (c * 500 + 250) / 100) << c;
    }
}

} // namespace
