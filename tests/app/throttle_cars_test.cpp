// The simulated unit's throttle-like records, through the window's decoder.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ThrottleCars.h"
#include "UnitSim.h"
#include "app/ReceiveDecoder.h"

namespace {

struct NullView : CaptureView {
    void SetCell(int, int, const std::string&) override {}
    void SelectCell(int, int) override {}
    void SetUnitId(double) override {}
    void SetUnitName(const std::string&) override {}
    bool FilterChecked() const override { return false; }
};

struct Collect : RecordObserver {
    struct Record { uint8_t car, lastLb, drive, brake; bool lane; };
    std::vector<Record> records;
    void StatusShown(const ShownStatusRecord& r) override {
        records.push_back({r.Car, r.LastLb, r.DrivePwm, r.BrakePwm, r.LaneChange});
    }
    void NameReceived(const ReceivedNameRecord&) override {}
};

TEST(ThrottleCarsTest, RecordsDecodeToPlausibleThrottleValuesCyclingThroughTheCars) {
    constexpr int kCars = 4;
    constexpr int kPerSecond = 200;
    constexpr int kSeconds = 60;
    unitsim::ThrottleCars cars(kCars);
    std::string wire;
    for (int i = 0; i < kPerSecond * kSeconds; ++i) {
        wire += unitsim::EncodeLine(cars.NextPayload(static_cast<double>(i) / kPerSecond), false);
    }
    NullView view;
    ReceiveDecoder rx(view);
    Collect collect;
    rx.AddObserver(&collect);
    size_t next = 0;
    rx.ReceiveBytes(static_cast<int32_t>(wire.size()), [&](uint8_t& b) {
        b = static_cast<uint8_t>(wire[next++]);
        return true;
    });
    ASSERT_EQ(collect.records.size(), static_cast<size_t>(kPerSecond * kSeconds)) << "every record decodes";

    struct Seen { int maxDrive = 0, maxBrake = 0, lanes = 0; std::set<uint8_t> lbs; };
    std::map<uint8_t, Seen> seen;
    for (size_t i = 0; i < collect.records.size(); ++i) {
        const auto& r = collect.records[i];
        ASSERT_EQ(r.car, i % kCars + 1) << "cars 1 to 4 in turn";
        EXPECT_TRUE(r.drive == 0 || r.brake == 0) << "never throttle and brake at once, record " << i;
        const bool noLbYet = r.lastLb == 0x6F;
        EXPECT_TRUE(noLbYet || ((r.lastLb & 0x40) == 0 && (r.lastLb & 0x1F) != 0)) << "an LB 1 to 31 or none yet";
        Seen& s = seen[r.car];
        s.maxDrive = std::max<int>(s.maxDrive, r.drive);
        s.maxBrake = std::max<int>(s.maxBrake, r.brake);
        s.lanes += r.lane ? 1 : 0;
        s.lbs.insert(r.lastLb);
    }
    for (const auto& [car, s] : seen) {
        EXPECT_GT(s.maxDrive, 80) << "car " << int(car) << " squeezes its throttle";
        EXPECT_GT(s.maxBrake, 80) << "car " << int(car) << " brakes after a release";
        EXPECT_GE(s.lanes, 3) << "car " << int(car);
        EXPECT_LE(s.lanes, kSeconds / 2) << "lane changes now and then, not all the time";
        EXPECT_GE(s.lbs.size(), 5u) << "car " << int(car) << " passes LBs";
    }
}

} // namespace
