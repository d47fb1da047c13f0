#include "ChartPoints.h"

#include <algorithm>

namespace workbook {

ChartPoints::ChartPoints(size_t maxBuckets) : FMaxBuckets(std::max<size_t>(maxBuckets, 2)) {}

void ChartPoints::Merge(Bucket& into, const Bucket& later) {
    if (!later.used) return;
    if (!into.used) {
        into = later;
        return;
    }
    into.lastLocalMs = later.lastLocalMs;
    into.driveMin = std::min(into.driveMin, later.driveMin);
    into.driveMax = std::max(into.driveMax, later.driveMax);
    into.brakeMin = std::min(into.brakeMin, later.brakeMin);
    into.brakeMax = std::max(into.brakeMax, later.brakeMax);
    into.records += later.records;
}

void ChartPoints::Widen(Car& c) {
    const size_t halves = (c.buckets.size() + 1) / 2;
    for (size_t i = 0; i < halves; ++i) {
        Bucket merged = c.buckets[2 * i];
        if (2 * i + 1 < c.buckets.size()) Merge(merged, c.buckets[2 * i + 1]);
        c.buckets[i] = merged;
    }
    c.buckets.resize(halves);
    c.widthMs *= 2;
}

void ChartPoints::Add(uint8_t car, int64_t clockMs, int64_t localMs, uint8_t drive, uint8_t brake) {
    std::unique_ptr<Car>& slot = FCars[car];
    if (!slot) {
        slot = std::make_unique<Car>();
        slot->startMs = clockMs;
    }
    Car& c = *slot;
    int64_t index = (clockMs - c.startMs) / c.widthMs;
    while (index >= static_cast<int64_t>(FMaxBuckets)) {
        Widen(c);
        index = (clockMs - c.startMs) / c.widthMs;
    }
    if (static_cast<size_t>(index) >= c.buckets.size()) c.buckets.resize(static_cast<size_t>(index) + 1);
    Bucket one;
    one.used = true;
    one.firstLocalMs = one.lastLocalMs = localMs;
    one.driveMin = one.driveMax = drive;
    one.brakeMin = one.brakeMax = brake;
    one.records = 1;
    Merge(c.buckets[static_cast<size_t>(index)], one);
}

std::vector<uint8_t> ChartPoints::Cars() const {
    std::vector<uint8_t> cars;
    for (int car = 0; car < 256; ++car) {
        if (FCars[car]) cars.push_back(static_cast<uint8_t>(car));
    }
    return cars;
}

std::vector<ChartPoint> ChartPoints::Points(uint8_t car) const {
    std::vector<ChartPoint> points;
    if (!FCars[car]) return points;
    for (const Bucket& b : FCars[car]->buckets) {
        if (!b.used) continue;
        points.push_back({b.firstLocalMs, b.driveMin, b.brakeMin});
        if (b.records > 1) points.push_back({b.lastLocalMs, b.driveMax, b.brakeMax});
    }
    return points;
}

} // namespace workbook
