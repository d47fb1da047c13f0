#include "SessionData.h"

#include <algorithm>
#include <array>
#include <limits>

namespace session {

namespace {

constexpr size_t kChunkShift = 16;
constexpr size_t kChunkSize = size_t{1} << kChunkShift;  // records per storage chunk
// Per-car arrays grow in smaller blocks: with up to 256 cars, a partly filled last block each
// must not weigh on a small session.
constexpr size_t kBlockShift = 12;
constexpr size_t kBlockSize = size_t{1} << kBlockShift;
constexpr size_t kBlockMask = kBlockSize - 1;
constexpr size_t kFanShift = 4;
constexpr size_t kFan = size_t{1} << kFanShift;  // records per pyramid node at the lowest level
constexpr uint8_t kFlagName = 1, kFlagLane = 2, kFlagPress = 4;
// A car's record more than 65.5 s after the first of its run: its time is read from the records.
constexpr uint16_t kFarInRun = 0xFFFF;

// A growing array kept in fixed blocks, so growing never copies (and never briefly holds two
// copies of a large array, which would double the peak memory of a big session).
template <typename T>
class BlockArray {
public:
    // Small enough to be inlined: every record pushes several values.
    void Push(const T& v) {
        if (FSize == FCapacity) Grow();
        FLast[FSize & kBlockMask] = v;
        ++FSize;
    }
    const T& operator[](size_t i) const { return FBlocks[i >> kBlockShift][i & kBlockMask]; }
    size_t Size() const { return FSize; }
    size_t Bytes() const {
        const size_t full = FBlocks.empty() ? 0 : FBlocks.size() - 1;
        return (FFirstCapacity + full * kBlockSize) * sizeof(T) + FBlocks.capacity() * sizeof(void*);
    }

private:
    void Grow() {
        if (FSize < kBlockSize) {
            // The first block grows by doubling, so a car with a handful of records costs little.
            const size_t next = FFirstCapacity == 0 ? 64 : std::min(FFirstCapacity * 2, kBlockSize);
            std::unique_ptr<T[]> b(new T[next]);
            if (FSize > 0) std::copy(FBlocks[0].get(), FBlocks[0].get() + FSize, b.get());
            if (FBlocks.empty()) FBlocks.push_back(std::move(b));
            else FBlocks[0] = std::move(b);
            FFirstCapacity = next;
            FCapacity = next;
        } else {
            FBlocks.emplace_back(new T[kBlockSize]);
            FCapacity = FSize + kBlockSize;
        }
        FLast = FBlocks.back().get();
    }

    std::vector<std::unique_ptr<T[]>> FBlocks;
    size_t FSize = 0;
    size_t FFirstCapacity = 0;
    size_t FCapacity = 0;  // values the blocks hold
    T* FLast = nullptr;    // the last block
};

// The extremes of a run of one car's records.
struct Node {
    uint8_t driveMin = 255, driveMax = 0, brakeMin = 255, brakeMax = 0;
    uint8_t laneDrive = 0;
    uint8_t lane = 0;  // some record has lane change set; laneDrive is the first one's drive

    void Merge(const Node& o) {
        driveMin = std::min(driveMin, o.driveMin);
        driveMax = std::max(driveMax, o.driveMax);
        brakeMin = std::min(brakeMin, o.brakeMin);
        brakeMax = std::max(brakeMax, o.brakeMax);
        if (!lane && o.lane) {
            lane = 1;
            laneDrive = o.laneDrive;
        }
    }
    void Add(uint8_t drive, uint8_t brake, bool laneChange) {
        Merge(Node{drive, drive, brake, brake, drive, static_cast<uint8_t>(laneChange ? 1 : 0)});
    }
};

// One car's records: where they are among all records, their values, and a pyramid of extremes
// over runs of 16, 256, 4096, ... of them, with each lowest-level run's first time so that a
// time is found without touching the records.
struct CarTrack {
    BlockArray<uint32_t> index;  // into all records
    BlockArray<uint8_t> drive, brake, flags;
    BlockArray<int64_t> runStart;  // time of the first record of each run of kFan
    BlockArray<uint16_t> sinceRunStart;  // each record's time after its run's first, or kFarInRun
    std::vector<std::vector<Node>> levels;
    std::vector<Node> open;  // the run being filled at each level

    size_t Size() const { return index.Size(); }
    static size_t RunLength(size_t level) { return size_t{1} << (kFanShift * (level + 1)); }

    void Push(uint32_t at, int64_t timeMs, uint8_t d, uint8_t b, uint8_t f) {
        const size_t k = index.Size();
        if (k % kFan == 0) runStart.Push(timeMs);
        const int64_t since = timeMs - runStart[runStart.Size() - 1];
        sinceRunStart.Push(since < kFarInRun ? static_cast<uint16_t>(since) : kFarInRun);
        index.Push(at);
        drive.Push(d);
        brake.Push(b);
        flags.Push(f);
        if (open.empty()) open.emplace_back();
        open[0].Add(d, b, (f & kFlagLane) != 0);
        // Close every run this record completes, feeding it to the level above.
        const size_t count = k + 1;
        for (size_t level = 0; count % RunLength(level) == 0; ++level) {
            if (levels.size() <= level) levels.emplace_back();
            levels[level].push_back(open[level]);
            if (open.size() <= level + 1) open.emplace_back();
            open[level + 1].Merge(open[level]);
            open[level] = Node{};
        }
    }

    // Keeps the runs still open as short last runs, so every record is in a run at each level.
    void Finish() {
        const size_t n = Size();
        for (size_t level = 0; level < open.size(); ++level) {
            if (n % RunLength(level) == 0) continue;
            if (levels.size() <= level) levels.emplace_back();
            levels[level].push_back(open[level]);
        }
        // Levels above the one whose single run covers everything are never needed.
        while (levels.size() > 1 && levels[levels.size() - 2].size() <= 1) levels.pop_back();
        open.clear();
        open.shrink_to_fit();
    }

    size_t Bytes() const {
        size_t b = index.Bytes() + drive.Bytes() + brake.Bytes() + flags.Bytes() + runStart.Bytes() +
                   sinceRunStart.Bytes();
        for (const auto& l : levels) b += l.capacity() * sizeof(Node);
        return b;
    }
};

} // namespace

struct SessionData::Store {
    // Every record, in chunks of kChunkSize: time as a difference from the chunk's first record
    // (a new chunk starts early when one would not fit in 32 bits).
    struct Chunk {
        int64_t baseTime = 0;
        uint32_t count = 0;
        uint32_t capacity = 0;
        uint32_t first = 0;  // index of its first record
        std::unique_ptr<uint32_t[]> dt;
        std::unique_ptr<uint8_t[]> car, lastLb, drive, brake, flags;

        // Chunks grow by doubling up to kChunkSize: a file whose times jump by weeks between rows
        // starts many short chunks, and each must cost what it holds, not a full chunk.
        void Grow() {
            const uint32_t next = capacity == 0 ? 16 : std::min<uint32_t>(capacity * 2, kChunkSize);
            Resize(dt, next);
            Resize(car, next);
            Resize(lastLb, next);
            Resize(drive, next);
            Resize(brake, next);
            Resize(flags, next);
            capacity = next;
        }
        template <typename T>
        void Resize(std::unique_ptr<T[]>& a, uint32_t next) {
            std::unique_ptr<T[]> b(new T[next]);
            if (a) std::copy(a.get(), a.get() + count, b.get());
            a = std::move(b);
        }
        size_t Bytes() const { return size_t{capacity} * (sizeof(uint32_t) + 5); }
    };
    std::vector<Chunk> chunks;
    size_t count = 0;
    struct OffsetChange {
        uint32_t index;
        int32_t minutes;
    };
    std::vector<OffsetChange> offsets;  // the UTC offset from each change on
    // Record numbers, kept as the runs of consecutive numbers they are written in: from each
    // run's first record on, the number grows by one per record.
    struct NumberRun {
        size_t index;
        uint64_t number;
    };
    std::vector<NumberRun> numberRuns;
    // The rare record whose written time is earlier than the clock that does not go back.
    struct WrittenTime {
        size_t index;
        int64_t timeMs;
    };
    std::vector<WrittenTime> backdated;
    std::array<std::unique_ptr<CarTrack>, 256> cars;
    std::array<bool, 256> lastLane{};

    const Chunk& ChunkOf(size_t i) const {
        // Chunks are full except where a time or offset jump started one early, which is rare:
        // the chunk numbered i / kChunkSize is at or after the one sought.
        const size_t c = std::min(i >> kChunkShift, chunks.size() - 1);
        if (chunks[c].first <= i && (c + 1 == chunks.size() || chunks[c + 1].first > i)) return chunks[c];
        auto it = std::upper_bound(chunks.begin(), chunks.end(), i,
                                   [](size_t at, const Chunk& ch) { return at < ch.first; });
        return *std::prev(it);
    }
    // The number record i has if it continues the last run.
    uint64_t NumberOf(size_t i) const {
        auto it = std::upper_bound(numberRuns.begin(), numberRuns.end(), i,
                                   [](size_t at, const NumberRun& r) { return at < r.index; });
        if (it == numberRuns.begin()) return 0;
        --it;
        return it->number + (i - it->index);
    }
    int64_t TimeOf(size_t i) const {
        const Chunk& c = ChunkOf(i);
        return c.baseTime + c.dt[i - c.first];
    }

    bool Push(const ScannedRow& row) {
        if (count >= std::numeric_limits<uint32_t>::max()) return false;
        const bool fits = !chunks.empty() && chunks.back().count < kChunkSize &&
                          row.clockMs - chunks.back().baseTime <= std::numeric_limits<uint32_t>::max();
        if (!fits) {
            Chunk c;
            c.baseTime = row.clockMs;
            c.first = static_cast<uint32_t>(count);
            chunks.push_back(std::move(c));
        }
        Chunk& c = chunks.back();
        if (c.count == c.capacity) c.Grow();
        const uint32_t k = c.count++;
        c.dt[k] = static_cast<uint32_t>(row.clockMs - c.baseTime);
        c.car[k] = row.car;
        c.lastLb[k] = row.lastLb;
        c.drive[k] = row.drivePwm;
        c.brake[k] = row.brakePwm;
        uint8_t flags = 0;
        if (row.kind == RowKind::Name) {
            flags = kFlagName;
        } else {
            auto& track = cars[row.car];
            if (!track) track = std::make_unique<CarTrack>();
            if (row.laneChange) flags |= kFlagLane;
            if (row.laneChange && (track->Size() == 0 || !lastLane[row.car])) flags |= kFlagPress;
            lastLane[row.car] = row.laneChange;
            track->Push(static_cast<uint32_t>(count), row.clockMs, row.drivePwm, row.brakePwm, flags);
        }
        c.flags[k] = flags;
        if (offsets.empty() || offsets.back().minutes != row.time.utcOffsetMinutes) {
            offsets.push_back({static_cast<uint32_t>(count), row.time.utcOffsetMinutes});
        }
        if (numberRuns.empty() || numberRuns.back().number + (count - numberRuns.back().index) != row.number) numberRuns.push_back({count, row.number});
        if (row.time.utcMs != row.clockMs) backdated.push_back({count, row.time.utcMs});
        ++count;
        return true;
    }

    int64_t CarTime(const CarTrack& t, size_t k) const {
        const uint16_t since = t.sinceRunStart[k];
        return since != kFarInRun ? t.runStart[k / kFan] + since : TimeOf(t.index[k]);
    }

    // The first of the car's records at or after timeMs, searching from `from` on: in steps
    // growing from there (the next pixel column's edge is near the last one's), then halving.
    size_t CarLowerBound(const CarTrack& t, int64_t timeMs, size_t from) const {
        const size_t n = t.Size();
        if (from >= n) return n;
        // The runs whose first record is before timeMs end at run lo.
        const size_t runs = t.runStart.Size();
        size_t lo = from / kFan, step = 1, hi = lo;
        while (hi < runs && t.runStart[hi] < timeMs) {
            lo = hi + 1;
            hi = std::min(runs, hi + step);
            step *= 2;
        }
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (t.runStart[mid] < timeMs) lo = mid + 1;
            else hi = mid;
        }
        // The answer is in run lo - 1 (or is its end).
        size_t k = std::max(lo == 0 ? size_t{0} : (lo - 1) * kFan, from);
        size_t end = std::min(n, lo * kFan);
        while (k < end) {
            const size_t mid = (k + end) / 2;
            if (CarTime(t, mid) < timeMs) k = mid + 1;
            else end = mid;
        }
        return k;
    }

    // Extremes of the car's records [i, j): whole runs where they fit, single records at the edges.
    Node Range(const CarTrack& t, size_t i, size_t j) const {
        Node out;
        const size_t n = t.Size();
        size_t k = i;
        while (k < j) {
            if (k % kFan != 0 || std::min(k + kFan, n) > j || t.levels.empty()) {
                out.Add(t.drive[k], t.brake[k], (t.flags[k] & kFlagLane) != 0);
                ++k;
                continue;
            }
            size_t level = 0;
            while (level + 1 < t.levels.size() && k % CarTrack::RunLength(level + 1) == 0 &&
                   std::min(k + CarTrack::RunLength(level + 1), n) <= j) {
                ++level;
            }
            out.Merge(t.levels[level][k / CarTrack::RunLength(level)]);
            k = std::min(k + CarTrack::RunLength(level), n);
        }
        return out;
    }
};

SessionData::SessionData() : FStore(std::make_unique<Store>()) {}
SessionData::~SessionData() = default;

size_t SessionData::RecordCount() const { return FStore->count; }

RecordValues SessionData::Record(size_t index) const {
    RecordValues r;
    if (index >= FStore->count) return r;
    const Store::Chunk& c = FStore->ChunkOf(index);
    const size_t k = index - c.first;
    const uint8_t flags = c.flags[k];
    r.kind = (flags & kFlagName) ? RowKind::Name : RowKind::Status;
    r.timeMs = c.baseTime + c.dt[k];
    r.number = FStore->NumberOf(index);
    r.car = c.car[k];
    r.lastLb = c.lastLb[k];
    r.drivePwm = c.drive[k];
    r.brakePwm = c.brake[k];
    r.laneChange = (flags & kFlagLane) != 0;
    r.lanePress = (flags & kFlagPress) != 0;
    return r;
}

uint64_t SessionData::RecordNumber(size_t index) const { return FStore->NumberOf(index); }

record::Record SessionData::FullRecord(size_t index) const {
    const RecordValues v = Record(index);
    record::Record r;
    r.kind = v.kind;
    r.number = v.number;
    r.time.utcMs = v.timeMs;
    const auto& b = FStore->backdated;
    auto it = std::lower_bound(b.begin(), b.end(), index, [](const Store::WrittenTime& w, size_t i) { return w.index < i; });
    if (it != b.end() && it->index == index) r.time.utcMs = it->timeMs;
    r.time.utcOffsetMinutes = UtcOffsetMinutes(index);
    r.car = v.car;
    r.lastLb = v.lastLb;
    r.drivePwm = v.drivePwm;
    r.brakePwm = v.brakePwm;
    r.laneChange = v.laneChange;
    return r;
}

int SessionData::UtcOffsetMinutes(size_t index) const {
    const auto& o = FStore->offsets;
    if (o.empty()) return 0;
    auto it = std::upper_bound(o.begin(), o.end(), index,
                               [](size_t i, const Store::OffsetChange& c) { return i < c.index; });
    return it == o.begin() ? o.front().minutes : std::prev(it)->minutes;
}

int SessionData::UtcOffsetMinutesAt(int64_t timeMs) const {
    const size_t after = LowerBound(timeMs + 1);  // first record later than timeMs
    return UtcOffsetMinutes(after == 0 ? 0 : after - 1);
}

int64_t SessionData::FirstTimeMs() const { return FStore->count == 0 ? 0 : FStore->TimeOf(0); }
int64_t SessionData::LastTimeMs() const { return FStore->count == 0 ? 0 : FStore->TimeOf(FStore->count - 1); }

size_t SessionData::LowerBound(int64_t timeMs) const {
    const auto& chunks = FStore->chunks;
    // The last chunk starting before timeMs holds the answer, or it is the next chunk's first.
    auto it = std::lower_bound(chunks.begin(), chunks.end(), timeMs,
                               [](const Store::Chunk& c, int64_t t) { return c.baseTime < t; });
    if (it == chunks.begin()) return 0;
    const Store::Chunk& c = *std::prev(it);
    const int64_t rel = timeMs - c.baseTime;
    if (rel > std::numeric_limits<uint32_t>::max()) return c.first + c.count;
    const uint32_t* found = std::lower_bound(c.dt.get(), c.dt.get() + c.count, static_cast<uint32_t>(rel));
    return c.first + static_cast<size_t>(found - c.dt.get());
}

size_t SessionData::NearestRecord(int64_t timeMs) const {
    const size_t n = FStore->count;
    if (n == 0) return 0;
    const size_t after = LowerBound(timeMs);
    if (after == 0) return 0;
    if (after == n) return n - 1;
    const int64_t before = FStore->TimeOf(after - 1);
    const int64_t next = FStore->TimeOf(after);
    // The earlier on a tie; among records of the same time, the first of them.
    if (timeMs - before <= next - timeMs) return LowerBound(before);
    return after;
}

size_t SessionData::CarRecordCount(uint8_t car) const {
    const auto& t = FStore->cars[car];
    return t ? t->Size() : 0;
}

size_t SessionData::CarRecord(uint8_t car, size_t k) const { return FStore->cars[car]->index[k]; }

void SessionData::QueryColumns(uint8_t car, int64_t t0Ms, int64_t t1Ms, int columns,
                               std::vector<ColumnExtent>& out) const {
    out.assign(static_cast<size_t>(std::max(columns, 0)), ColumnExtent{});
    const auto& track = FStore->cars[car];
    if (!track || columns <= 0 || t1Ms <= t0Ms) return;
    const CarTrack& t = *track;
    const long double width = static_cast<long double>(t1Ms - t0Ms) / columns;
    size_t k = FStore->CarLowerBound(t, t0Ms, 0);
    for (int col = 0; col < columns && k < t.Size(); ++col) {
        const int64_t edge = col + 1 == columns ? t1Ms : t0Ms + static_cast<int64_t>(width * (col + 1));
        const size_t end = FStore->CarLowerBound(t, edge, k);
        if (end == k) continue;
        const Node node = FStore->Range(t, k, end);
        ColumnExtent& e = out[static_cast<size_t>(col)];
        e.records = static_cast<uint32_t>(std::min<size_t>(end - k, std::numeric_limits<uint32_t>::max()));
        e.driveFirst = t.drive[k];
        e.driveLast = t.drive[end - 1];
        e.brakeFirst = t.brake[k];
        e.brakeLast = t.brake[end - 1];
        e.driveMin = node.driveMin;
        e.driveMax = node.driveMax;
        e.brakeMin = node.brakeMin;
        e.brakeMax = node.brakeMax;
        e.laneChange = node.lane != 0;
        e.laneDrive = node.laneDrive;
        k = end;
    }
}

size_t SessionData::MemoryBytes() const {
    size_t b = sizeof(SessionData) + sizeof(Store) + FStore->chunks.capacity() * sizeof(Store::Chunk) +
               FStore->offsets.capacity() * sizeof(Store::OffsetChange) +
               FStore->numberRuns.capacity() * sizeof(Store::NumberRun) +
               FStore->backdated.capacity() * sizeof(Store::WrittenTime);
    for (const auto& c : FStore->chunks) b += c.Bytes();
    for (const auto& t : FStore->cars) {
        if (t) b += sizeof(CarTrack) + t->Bytes();
    }
    return b;
}

LoadOutcome LoadSession(const std::filesystem::path& path, ScanControl* control) {
    auto data = std::make_shared<SessionData>();
    data->FPath = path;
    SessionData::Store& store = *data->FStore;
    chart::SummaryAccumulator summary;
    bool full = false;
    ScanControl ownControl;
    ScanControl& c = control ? *control : ownControl;
    const ScanResult scan = ScanSessionFile(
        path,
        [&](const ScannedRow& row) {
            if (full) return;
            if (!store.Push(row)) {
                full = true;
                c.Cancel();
                return;
            }
            if (row.kind == RowKind::Status) {
                summary.Add(row.clockMs, row.car, row.drivePwm, row.brakePwm, row.laneChange);
            }
        },
        &c);
    if (full) {
        return {ScanStatus::Failed, PathText(path) + ": has more records than can be held", nullptr};
    }
    if (scan.status != ScanStatus::Done) return {scan.status, scan.error, nullptr};
    for (int car = 0; car < 256; ++car) {
        if (store.cars[static_cast<size_t>(car)]) {
            store.cars[static_cast<size_t>(car)]->Finish();
            data->FCars.push_back(static_cast<uint8_t>(car));
        }
    }
    data->FSummary = summary.Result();
    data->FSkippedRows = scan.skippedRows;
    data->FUnterminatedTail = scan.unterminatedTail;
    data->FBytesRead = scan.bytesRead;
    return {ScanStatus::Done, {}, std::move(data)};
}

} // namespace session
