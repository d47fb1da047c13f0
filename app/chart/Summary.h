#pragma once
// Each car's health over a stretch of status records: how many, how often, the longest silence,
// how far drive and brake went and how often lane change was pressed. The same figures for a
// whole session file (torvane-capture --summary, the session window) and for the live plot's
// last minute. Plain C++.
#include <cstdint>
#include <string>
#include <vector>

namespace chart {

struct CarSummary {
    uint8_t car = 0;
    uint64_t records = 0;
    int64_t longestGapMs = 0;  // largest time between two consecutive records of the car; 0 for one
    uint8_t driveMin = 255, driveMax = 0;
    uint64_t driveSum = 0;
    uint8_t brakeMin = 255, brakeMax = 0;
    // Records with lane change set whose previous record of the car had it clear; the car's
    // first record counts when set.
    uint64_t laneChangePresses = 0;
};

struct Summary {
    // From the first to the last status record of any car, in milliseconds.
    int64_t spanMs = 0;
    std::vector<CarSummary> cars;  // one per car that has status records, in car order
};

// Takes status records in the order they were received. Times go through a clock that does not
// go back: a record stamped earlier than the one before it counts at the earlier one's time, so
// a clock set back during a capture yields no negative gap or span.
class SummaryAccumulator {
public:
    void Add(int64_t timeMs, uint8_t car, uint8_t drive, uint8_t brake, bool laneChange);
    void Clear();
    Summary Result() const;
    uint64_t Records() const { return FRecords; }

private:
    struct CarState {
        CarSummary figures;
        int64_t lastTimeMs = 0;
        bool lastLane = false;
    };
    CarState FCars[256];
    bool FSeen[256] = {};
    uint64_t FRecords = 0;
    int64_t FFirstMs = 0;
    int64_t FLastMs = 0;
};

// The summary's CSV columns, in order.
const std::string& SummaryCsvHeader();  // with its line end
// "car,records,...": the header row, then one row per car, each with its line end.
std::string SummaryCsv(const Summary& summary);
// The fields of one car's row, as the CSV and the windows show them (ten texts, header order).
std::vector<std::string> SummaryFields(const CarSummary& car, int64_t spanMs);

// records per second over spanMs, rounded half up to one decimal ("12.5"); empty when the span
// is zero (a single record, or all in one millisecond), where no rate can be told.
std::string RecordsPerSecondText(uint64_t records, int64_t spanMs);
// sum / count rounded half up to one decimal; empty for no records.
std::string MeanText(uint64_t sum, uint64_t count);

// The column definitions as --help and the manual state them.
const std::string& SummaryColumnsHelp();

} // namespace chart
