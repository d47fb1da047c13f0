#include "app/chart/Summary.h"

#include <algorithm>

namespace chart {

namespace {
// value / 10 as "12.5" (value >= 0).
std::string Tenths(uint64_t tenths) {
    return std::to_string(tenths / 10) + '.' + static_cast<char>('0' + tenths % 10);
}

// numerator / denominator, rounded half up to tenths, in integers so every build prints the same.
uint64_t RoundedTenths(unsigned __int128 numerator, unsigned __int128 denominator) {
    return static_cast<uint64_t>((numerator * 20 + denominator) / (denominator * 2));
}
} // namespace

void SummaryAccumulator::Add(int64_t timeMs, uint8_t car, uint8_t drive, uint8_t brake, bool laneChange) {
    if (FRecords == 0) {
        FFirstMs = FLastMs = timeMs;
    } else {
        timeMs = std::max(timeMs, FLastMs);
        FLastMs = timeMs;
    }
    ++FRecords;
    CarState& s = FCars[car];
    CarSummary& c = s.figures;
    if (!FSeen[car]) {
        FSeen[car] = true;
        c = CarSummary{};
        c.car = car;
    } else {
        c.longestGapMs = std::max(c.longestGapMs, timeMs - s.lastTimeMs);
    }
    ++c.records;
    c.driveMin = std::min(c.driveMin, drive);
    c.driveMax = std::max(c.driveMax, drive);
    c.driveSum += drive;
    c.brakeMin = std::min(c.brakeMin, brake);
    c.brakeMax = std::max(c.brakeMax, brake);
    if (laneChange && (c.records == 1 || !s.lastLane)) ++c.laneChangePresses;
    s.lastLane = laneChange;
    s.lastTimeMs = timeMs;
}

void SummaryAccumulator::Clear() {
    std::fill(std::begin(FSeen), std::end(FSeen), false);
    FRecords = 0;
    FFirstMs = FLastMs = 0;
}

Summary SummaryAccumulator::Result() const {
    Summary out;
    out.spanMs = FLastMs - FFirstMs;
    for (int car = 0; car < 256; ++car) {
        if (FSeen[car]) out.cars.push_back(FCars[car].figures);
    }
    return out;
}

const std::string& SummaryCsvHeader() {
    static const std::string header =
        "car,records,records_per_s,longest_gap_ms,drive_min,drive_max,drive_mean,brake_min,brake_max,"
        "lane_change_presses\n";
    return header;
}

std::string RecordsPerSecondText(uint64_t records, int64_t spanMs) {
    if (spanMs <= 0) return {};
    return Tenths(RoundedTenths(static_cast<unsigned __int128>(records) * 1000, static_cast<uint64_t>(spanMs)));
}

std::string MeanText(uint64_t sum, uint64_t count) {
    if (count == 0) return {};
    return Tenths(RoundedTenths(sum, count));
}

std::vector<std::string> SummaryFields(const CarSummary& car, int64_t spanMs) {
    return {std::to_string(car.car),
            std::to_string(car.records),
            RecordsPerSecondText(car.records, spanMs),
            std::to_string(car.longestGapMs),
            std::to_string(car.driveMin),
            std::to_string(car.driveMax),
            MeanText(car.driveSum, car.records),
            std::to_string(car.brakeMin),
            std::to_string(car.brakeMax),
            std::to_string(car.laneChangePresses)};
}

std::string SummaryCsv(const Summary& summary) {
    std::string out = SummaryCsvHeader();
    for (const CarSummary& car : summary.cars) {
        bool first = true;
        for (const std::string& field : SummaryFields(car, summary.spanMs)) {
            if (!first) out += ',';
            out += field;
            first = false;
        }
        out += '\n';
    }
    return out;
}

const std::string& SummaryColumnsHelp() {
    static const std::string help =
        "The summary (--summary) counts status records only; one row per car that has any, in car\n"
        "order, with these columns:\n"
        "  car                  the car number\n"
        "  records              the car's status records\n"
        "  records_per_s        records divided by the session's span (first to last status record\n"
        "                       of any car) in seconds, 1 decimal; empty when the span is zero\n"
        "  longest_gap_ms       the largest time between two consecutive records of the car, in\n"
        "                       whole milliseconds; 0 for a single record\n"
        "  drive_min, drive_max, drive_mean\n"
        "                       drive PWM lowest, highest and mean (1 decimal)\n"
        "  brake_min, brake_max brake PWM lowest and highest\n"
        "  lane_change_presses  records with lane change set whose previous record of the car had it\n"
        "                       clear (the car's first record counts when set)\n";
    return help;
}

} // namespace chart
