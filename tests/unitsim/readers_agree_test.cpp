// Every reader of session files takes the same rows from one corpus of good and damaged rows:
// the scanner (session window and --summary), the loaded session, the row reader and the replay.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "SessionReplay.h"
#include "app/record/Columns.h"
#include "app/session/SessionData.h"
#include "app/session/SessionRows.h"
#include "app/session/SessionScan.h"

namespace {

namespace fs = std::filesystem;

const std::string kTime = "2026-12-07T09:43:51.123+01:00";

std::string Status(int n, const std::string& car = "7", const std::string& lane = "1", const std::string& name = "SIM-UNIT",
                   const std::string& time = kTime) {
    return time + "," + std::to_string(n) + ",status," + car + ",44,12 R,100,0," + lane + ",5," + name + ",53 00 07 2c 64 00 01\n";
}

// Rows numbered by the test; `good` says whether every reader must read it.
struct Row {
    std::string text;
    bool good;
};

std::vector<Row> Corpus() {
    std::vector<Row> rows;
    int n = 0;
    const auto add = [&](std::string text, bool good) { rows.push_back({std::move(text), good}); };
    add(Status(++n), true);
    add(Status(++n, "7", "1", "\"SIM\nUNIT\""), true);                 // a quoted line break
    add(Status(++n, "7", "1", "\"A, \"\"B\"\"\r\nC\""), true);          // separator, quotes, CRLF inside
    add(Status(++n, "7", "1", "SIM-UNIT", "2026-02-30T10:00:00.000+01:00"), false);
    add(Status(++n, "7", "1", "SIM-UNIT", "2025-02-29T10:00:00.000+01:00"), false);
    add(Status(++n, "7", "1", "SIM-UNIT", "2024-02-29T10:00:00.000+01:00"), true);
    add(Status(++n, "7", "5"), false);                                    // lane change 5
    add(Status(++n, "256"), false);
    add(kTime + "," + std::to_string(++n) + ",name,7,,,,,,5,SIM-UNIT,4e 05\n", false);  // a name row with a car
    add(kTime + "," + std::to_string(++n) + ",name,,,,,,,5,SIM-UNIT,4e 05\n", true);
    add(Status(++n, "7", "1", "\"broken"), false);                        // a stray quote: its line alone
    add(Status(++n), true);
    add("\n", true);                                                       // blank: no row, not skipped
    add(Status(++n).substr(0, 40) + "\n", false);                         // cut short
    add(std::string(70000, 'x') + "\n", false);
    add(Status(++n, "7", "1", "SIM\"UNIT"), true);                        // a quote inside a field is text
    add(Status(++n).insert(50, 1, '\0'), false);
    add(Status(++n) + "", true);
    add(Status(++n).substr(0, 60), false);                                // the last row, without its line end
    return rows;
}

struct Read {
    uint64_t number;
    int64_t utcMs;
    uint8_t car;
};

TEST(ReadersAgree, EveryReaderTakesTheSameRowsWithTheSameValues) {
    const std::vector<Row> corpus = Corpus();
    std::string text = record::HeaderRow();
    std::vector<uint64_t> expected;
    for (const Row& r : corpus) {
        text += r.text;
        record::Record rec;
        record::RowParser parser;
        if (r.good && r.text != "\n") {
            ASSERT_TRUE(parser.Parse(std::string_view(r.text).substr(0, r.text.size() - 1), rec)) << r.text;
            expected.push_back(rec.number);
        }
    }
    const fs::path path = fs::temp_directory_path() / ("readers-agree-" + std::to_string(std::random_device{}()) + ".csv");
    std::ofstream(path, std::ios::binary) << text;

    std::vector<Read> scanned;
    std::vector<uint64_t> offsets;
    const session::ScanResult scan = session::ScanSessionFile(path, [&](const session::ScannedRow& r) {
        scanned.push_back({r.number, r.time.utcMs, r.car});
        offsets.push_back(r.fileOffset);
    });
    ASSERT_EQ(scan.status, session::ScanStatus::Done);
    std::vector<uint64_t> numbers;
    for (const Read& r : scanned) numbers.push_back(r.number);
    EXPECT_EQ(numbers, expected);
    EXPECT_TRUE(scan.unterminatedTail);

    const auto loaded = session::LoadSession(path);
    ASSERT_TRUE(loaded.session);
    ASSERT_EQ(loaded.session->RecordCount(), scanned.size());
    EXPECT_EQ(loaded.session->SkippedRows(), scan.skippedRows);

    session::SessionRows rows(path);
    ASSERT_TRUE(rows.Ok());
    unitsim::SessionReplay replay(path.string());
    replay.Rewind();
    for (size_t i = 0; i < scanned.size(); ++i) {
        const auto full = rows.Read(offsets[i]);
        ASSERT_TRUE(full) << i;
        EXPECT_EQ(full->values.number, scanned[i].number);
        EXPECT_EQ(full->values.time.utcMs, scanned[i].utcMs);
        EXPECT_EQ(loaded.session->RecordNumber(i), scanned[i].number);
        EXPECT_EQ(loaded.session->FullRecord(i).car, scanned[i].car);
        const auto played = replay.Next();
        ASSERT_TRUE(played) << i;
        EXPECT_EQ(played->number, scanned[i].number);
        EXPECT_EQ(played->time.utcMs, scanned[i].utcMs);
        EXPECT_EQ(played->bytes, full->values.bytes);
    }
    EXPECT_FALSE(replay.Next());
    EXPECT_EQ(replay.SkippedRows(), scan.skippedRows);
    fs::remove(path);
}

} // namespace
