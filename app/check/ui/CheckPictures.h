#pragma once
// The pictures of a finished check, as the chart layer's display lists, so the window and the PDF
// report draw the same picture: the sweep (drive against time, its dead spots and its moves
// against the direction marked), a strip of the drive values 0-255 the sweeps passed through,
// and the results table (each figure beside its threshold). Plain C++.
#include <string>
#include <vector>

#include "app/chart/Picture.h"
#include "app/check/CarCheck.h"

namespace check::ui {

// A place in the records the sweep picture marks.
struct SweepMark {
    int64_t ms = 0;
    int from = 0, to = 0;
    bool deadSpot = false;  // otherwise a move against the sweep's direction
};

// Dead spots and moves against the direction in the records of the car's sweeps, judged as the
// check judges them.
std::vector<SweepMark> FindSweepMarks(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps,
                                      const Thresholds& thresholds);

// Drive against time over the samples' span, marks drawn over it; textWidth may be empty.
chart::Picture SweepPicture(const std::vector<Sample>& samples, const std::vector<SweepMark>& marks, int width,
                            int height, const chart::TextWidth& textWidth);

// One cell per drive value: filled where a rising or falling sweep's records showed that value.
chart::Picture ValueStrip(const std::vector<Sample>& samples, const std::vector<Sweep>& sweeps, int width, int height);

// One row of the results table.
struct ResultRow {
    std::string name;
    std::string value;
    std::string threshold;  // empty: shown, decides nothing
    bool fault = false;
};
std::vector<ResultRow> ResultRows(const CarResult& result, const Thresholds& thresholds);
chart::Picture ResultsTable(const CarResult& result, const Thresholds& thresholds, int width, int lineHeight);

// "ok", "check: dead_spot jitter", "cannot_judge: slow_pull"
std::string VerdictLine(const CarResult& result);

} // namespace check::ui
