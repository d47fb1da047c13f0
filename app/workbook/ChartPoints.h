#pragma once
// Each car's drive and brake reduced, as records stream past, to at most a few thousand points
// for a chart: time is cut into equal buckets, each keeping the least and the greatest values it
// saw, and the buckets double in width (neighbours merged) whenever there would be too many. The
// first and last time need not be known in advance, and memory stays bounded however long the
// session. Plain C++.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace workbook {

struct ChartPoint {
    int64_t localMs = 0;  // the local wall-clock time the point is drawn at
    uint8_t drive = 0;
    uint8_t brake = 0;
};

class ChartPoints {
public:
    // At most 2 * maxBuckets points per car.
    explicit ChartPoints(size_t maxBuckets = 2000);

    // clockMs never goes back (the scanner's clock); localMs is the record's own local time.
    void Add(uint8_t car, int64_t clockMs, int64_t localMs, uint8_t drive, uint8_t brake);

    // The cars that had records, in car order.
    std::vector<uint8_t> Cars() const;
    // One car's points in time order: per bucket the least values at its first record's time,
    // then the greatest at its last record's time (one point for a bucket of one record).
    std::vector<ChartPoint> Points(uint8_t car) const;

private:
    struct Bucket {
        bool used = false;
        int64_t firstLocalMs = 0, lastLocalMs = 0;
        uint8_t driveMin = 255, driveMax = 0, brakeMin = 255, brakeMax = 0;
        uint32_t records = 0;
    };
    struct Car {
        int64_t startMs = 0;
        int64_t widthMs = 1;
        std::vector<Bucket> buckets;
    };
    static void Merge(Bucket& into, const Bucket& later);
    void Widen(Car& c);

    size_t FMaxBuckets;
    std::unique_ptr<Car> FCars[256];
};

} // namespace workbook
