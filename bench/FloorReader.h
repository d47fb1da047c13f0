#pragma once
// The floor: the least a reader of the simulated unit's stream can cost. It does the handshake
// itself, then only waits for input and reads it in large blocks, counting line ends; no
// decoding, no window. Run on the same machine in the same run as the window, its CPU per
// record is what the window's is measured against.
#include <cstdint>

#include "UnitSim.h"

struct FloorFigures {
    double seconds = 0;
    uint64_t records = 0;     // line ends read in the measured time
    double readerCpuS = 0;    // the reader thread's CPU in that time
    uint64_t reads = 0;

    double CpuMsPer1000() const { return records > 0 ? 1e6 * readerCpuS / static_cast<double>(records) : -1; }
    FloorFigures& operator+=(const FloorFigures& more) {
        seconds += more.seconds;
        records += more.records;
        readerCpuS += more.readerCpuS;
        reads += more.reads;
        return *this;
    }
};

// Runs a unit with `options` (its link path is not used) and reads it for `seconds` after a
// short settling time. Returns figures with no records when the unit cannot be reached.
FloorFigures RunFloorReader(const unitsim::Options& options, double seconds);
