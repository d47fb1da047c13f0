#include "ThrottleCheck.h"

#include <cmath>
#include <cstdio>

namespace check {

CarCheck* ThrottleCheck::Start(uint8_t car) {
    FCars[car] = std::make_unique<CarCheck>(car, FThresholds);
    return FCars[car].get();
}

std::vector<CarResult> ThrottleCheck::Results() const {
    std::vector<CarResult> results;
    for (const auto& car : FCars) {
        if (car) results.push_back(car->Result());
    }
    return results;
}

namespace {
struct CsvColumn {
    const char* name;
    const char* meaning;
};
// In the order of the row.
const CsvColumn kColumns[] = {
    {"car", "the car number"},
    {"verdict", "ok, check (a fault found) or cannot_judge (too few records, or a step not seen)"},
    {"findings", "the faults, separated by spaces: creep short_range dead_spot jitter bounce stuck too_few_records"},
    {"records_per_s", "the car's records a second over its own span, 1 decimal"},
    {"rest_drive", "the lowest drive held for 1 s (the trigger released)"},
    {"start_drive", "the first drive as the trigger leaves rest in a full rise"},
    {"max_drive", "the highest drive held for 0.5 s"},
    {"largest_step", "the largest step between two records within a sweep"},
    {"largest_step_from", "the drive that step left"},
    {"moves_against", "the most moves of 3 or more against a sweep's direction in one sweep"},
    {"presses", "lane-change presses (a bounce is not a press of its own)"},
    {"bounces", "presses seen twice: released and pressed again within 60 ms"},
    {"largest_step_to", "the drive that step reached"},
    {"median_step", "the median step of that sweep, over the records where the drive moved"},
    {"full_spread", "highest less lowest drive while held at full"},
    {"rises", "full rises off rest that count as sweeps"},
    {"falls", "full falls back to rest that count as sweeps"},
    {"longest_press_ms", "the longest lane-change press"},
    {"rest_brake", "brake at rest (shown only)"},
    {"sweep_brake_max", "the highest brake during the sweeps (shown only)"},
    {"missing", "the steps not seen: released slow_pull slow_release lane_change"},
};

void Optional(std::string& out, const std::optional<int>& v) {
    if (v) out += std::to_string(*v);
}

std::string Joined(const std::vector<std::string_view>& codes) {
    std::string text;
    for (std::string_view c : codes) {
        if (!text.empty()) text += ' ';
        text += c;
    }
    return text;
}
} // namespace

std::string CheckCsvHeader() {
    std::string header;
    for (const CsvColumn& c : kColumns) {
        if (!header.empty()) header += ',';
        header += c.name;
    }
    return header + '\n';
}

std::string CheckColumnsHelp() {
    std::string help = "Columns of --check (one row per car with status records):\n";
    for (const CsvColumn& c : kColumns) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-18s %s\n", c.name, c.meaning);
        help += line;
    }
    return help;
}

std::string CheckCsvRow(const CarResult& r) {
    const CarFigures& f = r.figures;
    std::string row = std::to_string(f.car);
    row += ',';
    row += VerdictText(r.verdict);
    row += ',';
    row += Joined(r.findings);
    row += ',';
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", std::floor(f.recordsPerSecond * 10 + 0.5) / 10);
    row += rate;
    for (const std::optional<int>& v : {f.restDrive, f.startDrive, f.maxDrive, f.largestStep, f.largestStepFrom}) {
        row += ',';
        Optional(row, v);
    }
    row += ',' + std::to_string(f.movesAgainst) + ',' + std::to_string(f.presses) + ',' + std::to_string(f.bounces);
    for (const std::optional<int>& v : {f.largestStepTo, f.medianStep, f.fullSpread}) {
        row += ',';
        Optional(row, v);
    }
    row += ',' + std::to_string(f.rises) + ',' + std::to_string(f.falls) + ',' + std::to_string(f.longestPressMs);
    for (const std::optional<int>& v : {f.restBrake, f.sweepBrakeMax}) {
        row += ',';
        Optional(row, v);
    }
    row += ',' + Joined(r.missing) + '\n';
    return row;
}

} // namespace check
