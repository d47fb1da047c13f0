#pragma once
// The pictures of a finished check, as the chart layer's display lists, so the window and the PDF
// report draw the same picture: the sweep (drive against time, its dead spots and its moves
// against the direction marked), a strip of the drive values 0-255 the sweeps passed through,
// and the results table (each figure beside its threshold). Plain C++.
#include <algorithm>
#include <iterator>
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

// The samples from..to (random-access, in time order) thinned for a picture `columns` pixels wide: of the
// samples falling in each column, the first, the lowest, the highest and the last, in time order.
// Drawn, they cover the same pixels as all of them.
template <typename It>
std::vector<Sample> ThinnedToColumns(It from, It to, int columns) {
    std::vector<Sample> out;
    if (from == to) return out;
    const int64_t first = from->ms;
    const int64_t span = std::max<int64_t>(std::prev(to)->ms - first, 1);
    const int64_t width = std::max(columns, 1);
    for (It it = from; it != to;) {
        const It start = it;
        const int64_t column = (it->ms - first) * width / span;
        It low = it, high = it, last = it;
        for (; it != to && (it->ms - first) * width / span == column; ++it) {
            if (it->drive < low->drive) low = it;
            if (it->drive > high->drive) high = it;
            last = it;
        }
        if (high < low) std::swap(low, high);  // now in the records' order
        out.push_back(*start);
        if (low != start) out.push_back(*low);
        if (high != low && high != start) out.push_back(*high);
        if (last != high && last != low && last != start) out.push_back(*last);
    }
    return out;
}

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
// With textWidth, the columns fit their texts; without, they are cut at fixed shares of the width.
chart::Picture ResultsTable(const CarResult& result, const Thresholds& thresholds, int width, int lineHeight,
                            const chart::TextWidth& textWidth = {});

// "ok", "check: dead_spot jitter", "cannot_judge: slow_pull"
std::string VerdictLine(const CarResult& result);

} // namespace check::ui
