// The writer thread against a real folder: whole rows, failures told once with what they cost,
// the size cap (never a live session, never for a session that cannot be recorded, held with
// several writers on one folder), a folder moved or taken away under the writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "Wait.h"
#include "app/recording/SessionNaming.h"
#include "app/recording/SessionWriter.h"

namespace {

using namespace recording;
namespace fs = std::filesystem;

class SessionWriterTest : public ::testing::Test {
protected:
    fs::path dir;
    std::mutex reportsMutex;
    std::vector<std::string> reports;

    void SetUp() override {
        std::random_device random;
        dir = fs::temp_directory_path() / ("torvane-writer-" + std::to_string(random()));
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override { fs::remove_all(dir); }

    Reporter Collect() {
        return [this](const Report& report) {
            std::lock_guard<std::mutex> lock(reportsMutex);
            reports.push_back(report.message);
        };
    }
    std::vector<std::string> Reports() {
        std::lock_guard<std::mutex> lock(reportsMutex);
        return reports;
    }
    static record::Record Row(uint64_t number) {
        record::Record row;
        record::LocalClock clock;
        row.time = clock.FromLocal(toolkit::EncodeDateTime(2026, 12, 7, 10, 0, 0, static_cast<int>(number % 1000)));
        row.unitId = 5;
        row.unitName = "SIM-UNIT";
        row.number = number;
        row.car = static_cast<uint8_t>(number);
        row.lastLb = 0x6F;
        row.bytes = std::string("S\x01", 2) + static_cast<char>(number) + std::string("\x6F\0\0\0", 4);
        return row;
    }
    static std::vector<std::string> Lines(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        EXPECT_TRUE(all.empty() || all.back() == '\n') << "the file ends with a whole row";
        std::vector<std::string> lines;
        std::string line;
        std::istringstream split(all);
        while (std::getline(split, line)) lines.push_back(line);
        return lines;
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(dir / "captures")) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
    static void MakeFile(const fs::path& path, size_t size, int hoursAgo) {
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
    }
};

// Opens session files only once the gate lets the writer through, so that the test knows which
// records it meets at once.
FileOpener GatedOpener(testsupport::Gate& gate) {
    return [&gate](const fs::path& path) {
        gate.Pass();
        return std::fopen(path.string().c_str(), "wb");
    };
}

TEST_F(SessionWriterTest, EachSessionIsAFileOfWholeRowsInTheOrderHandedOver) {
    {
        SessionWriter writer({}, Collect());
        writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
        for (uint64_t n = 1; n <= 3; ++n) EXPECT_TRUE(writer.Add(Row(n)));
        writer.WaitUntilWritten();
        const auto lines = Lines(writer.LastFilePath());
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0] + "\n", record::HeaderRow());
        // The column table's row for the record (its text is the record module's to test).
        std::string third;
        record::AppendRow(third, Row(3));
        EXPECT_EQ(lines[3] + "\n", third);
        // The same start second again: a file of its own beside the first.
        writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
        EXPECT_TRUE(writer.Add(Row(1)));
        writer.End();
        EXPECT_FALSE(writer.Add(Row(2))) << "no session after End";
    }  // the destructor writes out what was handed over
    const auto files = Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].filename(), "2026-12-07_10-00-00_unit5_SIM-UNIT.csv");
    EXPECT_EQ(files[0].filename(), "2026-12-07_10-00-00_unit5_SIM-UNIT-2.csv");
    EXPECT_EQ(Lines(files[0]).size(), 2u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SessionWriterTest, AFullDiskStopsTheSessionWithOneReport) {
#ifndef __linux__
    GTEST_SKIP() << "needs /dev/full";
#endif
    WriterLimits limits;
    limits.flushInterval = std::chrono::hours(1);  // the rows are written when the test asks
    SessionWriter writer(limits, Collect(), [](const fs::path&) { return std::fopen("/dev/full", "wb"); });
    writer.Begin(dir / "captures", "full");
    for (uint64_t n = 1; n <= 5; ++n) writer.Add(Row(n));
    writer.WaitUntilWritten();
    EXPECT_FALSE(writer.Add(Row(6))) << "the session takes no more records";
    EXPECT_FALSE(writer.Recording());
    writer.WaitUntilWritten();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find((dir / "captures" / "full.csv").string()), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No space left on device"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("Records not recorded: 5 so far"), std::string::npos) << reports[0];

    EXPECT_FALSE(writer.Add(Row(7)));
    writer.End();
    writer.WaitUntilWritten();
    const auto final = Reports();
    ASSERT_EQ(final.size(), 2u) << "the count once the session has ended";
    EXPECT_NE(final[1].find("No space left on device"), std::string::npos) << final[1];
    EXPECT_NE(final[1].find("Records not recorded: 7 (until the session ended)"), std::string::npos) << final[1];
}

TEST_F(SessionWriterTest, AFolderThatCannotBeCreatedIsToldOnceWithItsReason) {
    std::ofstream(dir / "a-file") << "not a folder";
    SessionWriter writer({}, Collect());
    writer.Begin(dir / "a-file" / "captures", "s");
    writer.Add(Row(1));
    writer.Add(Row(2));
    writer.WaitUntilWritten();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("could not create the captures folder \"" + (dir / "a-file" / "captures").string()),
              std::string::npos)
        << reports[0];
    EXPECT_NE(reports[0].find("Not a directory"), std::string::npos) << reports[0];
}

TEST_F(SessionWriterTest, AFileRemovedUnderTheWriterIsTold) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows refuses to delete a file the writer holds";
#endif
    SessionWriter writer({}, Collect());
    writer.Begin(dir / "captures", "s");
    writer.Add(Row(1));
    writer.WaitUntilWritten();
    fs::remove(writer.LastFilePath());
    writer.Add(Row(2));
    writer.WaitUntilWritten();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("removed"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("No such file or directory"), std::string::npos) << reports[0];
}

TEST_F(SessionWriterTest, AQueueTheWriterCannotEmptyStopsTheSessionAndKeepsWhatWasQueued) {
    // The writer is held inside opening the file while records arrive.
    testsupport::Gate gate;
    WriterLimits limits;
    limits.maxQueuedRecords = 4;
    SessionWriter writer(limits, Collect(), GatedOpener(gate));
    writer.Begin(dir / "captures", "s");
    gate.WaitUntilEntered();
    for (uint64_t n = 1; n <= 4; ++n) EXPECT_TRUE(writer.Add(Row(n)));
    EXPECT_FALSE(writer.Add(Row(5)));
    EXPECT_FALSE(writer.Add(Row(6)));
    gate.Release();
    writer.WaitUntilWritten();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    // The cause is the writer falling behind, not the disk.
    EXPECT_NE(reports[0].find("records arrived faster than they could be written: 4 records were waiting"),
              std::string::npos)
        << reports[0];
    EXPECT_NE(reports[0].find((dir / "captures").string()), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("Records not recorded: 1 so far"), std::string::npos) << reports[0];
    EXPECT_EQ(Lines(writer.LastFilePath()).size(), 5u) << "the header and the four queued records";
    EXPECT_TRUE(writer.InSession());
    EXPECT_FALSE(writer.Recording());

    EXPECT_FALSE(writer.Add(Row(7)));
    writer.End();
    writer.WaitUntilWritten();
    const auto final = Reports();
    ASSERT_EQ(final.size(), 2u);
    EXPECT_NE(final[1].find("Records not recorded: 3 (until the session ended)"), std::string::npos) << final[1];
    EXPECT_EQ(Lines(writer.LastFilePath()).size(), 5u);
}

TEST_F(SessionWriterTest, TheSizeCapDeletesTheOldestSessionFilesButNeverOthers) {
    fs::create_directories(dir / "captures");
    MakeFile(dir / "captures" / "2026-01-01_00-00-00_unit1_A.csv", 400, 48);
    MakeFile(dir / "captures" / "2026-01-02_00-00-00_unit1_B.csv", 400, 24);
    MakeFile(dir / "captures" / "notes.csv", 5000, 72);
    WriterLimits limits;
    limits.folderSizeCap = 1000;  // A, B and the header fit; the first rows do not
    SessionWriter writer(limits, Collect());
    writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
    writer.WaitUntilWritten();
    EXPECT_TRUE(fs::exists(dir / "captures" / "2026-01-01_00-00-00_unit1_A.csv"));
    for (uint64_t n = 1; n <= 2; ++n) writer.Add(Row(n));
    writer.WaitUntilWritten();
    EXPECT_FALSE(fs::exists(dir / "captures" / "2026-01-01_00-00-00_unit1_A.csv")) << "the oldest goes";
    EXPECT_TRUE(fs::exists(dir / "captures" / "2026-01-02_00-00-00_unit1_B.csv"));
    EXPECT_TRUE(fs::exists(dir / "captures" / "notes.csv")) << "not a session file";
    EXPECT_EQ(Lines(writer.LastFilePath()).size(), 3u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(SessionWriterTest, ASessionThatReachesTheCapByItselfStopsWithWholeRows) {
    WriterLimits limits;
    std::string oneRow;
    record::AppendRow(oneRow, Row(1));
    const uint64_t rowSize = oneRow.size();  // the same for rows 1 to 5
    limits.folderSizeCap = record::HeaderRow().size() + 2 * rowSize + rowSize / 2;
    // The writer is held inside opening the file until all five records are queued, so it
    // meets them in one go and the count in its report is known.
    testsupport::Gate gate;
    SessionWriter writer(limits, Collect(), GatedOpener(gate));
    writer.Begin(dir / "captures", "s");
    gate.WaitUntilEntered();
    for (uint64_t n = 1; n <= 5; ++n) writer.Add(Row(n));
    gate.Release();
    writer.WaitUntilWritten();
    const auto lines = Lines(writer.LastFilePath());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].size() + 1, rowSize);
    EXPECT_LE(fs::file_size(writer.LastFilePath()), limits.folderSizeCap);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("size cap"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("Records not recorded: 3"), std::string::npos) << reports[0];
}

TEST_F(SessionWriterTest, ACapTooSmallForASessionDeletesNothingAndMakesNoFile) {
    fs::create_directories(dir / "captures");
    MakeFile(dir / "captures" / "2026-01-01_00-00-00_unit1_A.csv", 400, 48);
    MakeFile(dir / "captures" / "2026-01-02_00-00-00_unit1_B.csv", 400, 24);
    WriterLimits limits;
    limits.folderSizeCap = 1;
    SessionWriter writer(limits, Collect());
    writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
    writer.Add(Row(1));
    writer.WaitUntilWritten();
    EXPECT_EQ(Files().size(), 2u) << "both older sessions kept, no empty file left";
    EXPECT_FALSE(writer.Recording());
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("size cap of 1 bytes leaves no room for a session"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("no older session file was deleted"), std::string::npos) << reports[0];
}

TEST_F(SessionWriterTest, TwoWritersOnOneFolderUnderACapNeverDeleteEachOthersLiveSession) {
    fs::create_directories(dir / "captures");
    MakeFile(dir / "captures" / "2026-01-01_00-00-00_unit1_OLD.csv", 2000, 48);
    std::string oneRow;
    record::AppendRow(oneRow, Row(1));
    WriterLimits limits;
    // Room for the old file, or for both live sessions' first rows, but not for everything.
    limits.folderSizeCap = 2000 + 2 * record::HeaderRow().size() + 10 * oneRow.size();
    SessionWriter first(limits, Collect());
    SessionWriter second(limits, Collect());
    // The same start second and unit: each gets a file of its own.
    first.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
    for (uint64_t n = 1; n <= 10; ++n) first.Add(Row(n));
    first.WaitUntilWritten();
    second.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
    for (uint64_t n = 1; n <= 10; ++n) second.Add(Row(n));
    second.WaitUntilWritten();
    EXPECT_FALSE(fs::exists(dir / "captures" / "2026-01-01_00-00-00_unit1_OLD.csv")) << "a file no one writes goes";
    ASSERT_NE(first.LastFilePath(), second.LastFilePath());
    // The second writer's next rows have only the first's live session left to delete: it stops.
    for (uint64_t n = 11; n <= 40; ++n) second.Add(Row(n));
    second.WaitUntilWritten();
    EXPECT_FALSE(second.Recording());
    EXPECT_TRUE(fs::exists(first.LastFilePath()));
    const auto firstLines = Lines(first.LastFilePath());
    EXPECT_EQ(firstLines.size(), 11u);
    const auto secondLines = Lines(second.LastFilePath());
    ASSERT_GE(secondLines.size(), 11u);
    EXPECT_EQ(secondLines[0] + "\n", record::HeaderRow());
    for (size_t n = 1; n < secondLines.size(); ++n) {
        EXPECT_EQ(record::SplitCsvLine(secondLines[n]).value_or(std::vector<std::string>(record::kColumnCount)).at(record::kRecordColumn),
                  std::to_string(n));
    }
    // A file is free for the cap once its session has ended: the first writer's next session
    // deletes its own last one, the oldest (made so: some file systems keep whole seconds only).
    const fs::path firstSession = first.LastFilePath();
    first.End();
    first.WaitUntilWritten();
    fs::last_write_time(firstSession, fs::file_time_type::clock::now() - std::chrono::hours(1));
    first.Begin(dir / "captures", "2026-12-07_10-05-00_unit5_SIM-UNIT");
    for (uint64_t n = 1; n <= 10; ++n) first.Add(Row(n));
    first.WaitUntilWritten();
    EXPECT_FALSE(fs::exists(firstSession));
    EXPECT_EQ(Lines(first.LastFilePath()).size(), 11u);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u) << "only the second writer's cap";
    EXPECT_NE(reports[0].find("reached its size cap"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("1 session being recorded by another window holds"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("only sessions being recorded are left, and those are never deleted"), std::string::npos)
        << reports[0];
}

TEST_F(SessionWriterTest, AFolderRenamedMidSessionIsToldAndTheSessionGoesOnInTheSameFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows refuses to move a folder with a file the writer holds";
#endif
    SessionWriter writer({}, Collect());
    writer.Begin(dir / "captures", "s");
    for (uint64_t n = 1; n <= 3; ++n) writer.Add(Row(n));
    writer.WaitUntilWritten();
    fs::rename(dir / "captures", dir / "moved away");
    for (uint64_t n = 4; n <= 6; ++n) EXPECT_TRUE(writer.Add(Row(n)));
    writer.WaitUntilWritten();
    EXPECT_TRUE(writer.Recording());
    EXPECT_EQ(writer.LastFilePath(), fs::canonical(dir / "moved away") / "s.csv");
    for (uint64_t n = 7; n <= 9; ++n) EXPECT_TRUE(writer.Add(Row(n)));
    writer.End();
    writer.WaitUntilWritten();
    EXPECT_FALSE(fs::exists(dir / "captures"));
    EXPECT_EQ(Lines(dir / "moved away" / "s.csv").size(), 10u) << "every row, in the one file";
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("the captures folder was moved or renamed: recording goes on into \"" +
                              (fs::canonical(dir / "moved away") / "s.csv").string() + "\""),
              std::string::npos)
        << reports[0];
    EXPECT_EQ(reports[0].find("removed"), std::string::npos) << reports[0];
}

// Samples a captures folder each time a writer has written into it or deleted in it, while no
// writer can change it: every size the folder reaches is seen.
class FolderSampler {
public:
    explicit FolderSampler(std::vector<fs::path> watchedOlder) : FWatched(std::move(watchedOlder)) {}

    void Sample(const fs::path& folder) {
        uint64_t total = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            std::error_code sizeEc;
            const uint64_t size = entry.file_size(sizeEc);
            if (!sizeEc && IsSessionFileName(entry.path().filename().string())) total += size;
        }
        std::lock_guard<std::mutex> lock(FMutex);
        ++FSamples;
        FLargest = std::max(FLargest, total);
        for (const fs::path& older : FWatched) {
            if (!FGoneAt.count(older) && !fs::exists(older)) FGoneAt[older] = FSamples;
        }
    }
    uint64_t Samples() const {
        std::lock_guard<std::mutex> lock(FMutex);
        return FSamples;
    }
    uint64_t Largest() const {
        std::lock_guard<std::mutex> lock(FMutex);
        return FLargest;
    }
    // When each watched file was first seen gone (0: never), in the order they were given.
    std::vector<uint64_t> GoneAt() const {
        std::lock_guard<std::mutex> lock(FMutex);
        std::vector<uint64_t> at;
        for (const fs::path& older : FWatched) at.push_back(FGoneAt.count(older) ? FGoneAt.at(older) : 0);
        return at;
    }

private:
    const std::vector<fs::path> FWatched;
    mutable std::mutex FMutex;
    uint64_t FSamples = 0;
    uint64_t FLargest = 0;
    std::map<fs::path, uint64_t> FGoneAt;
};

TEST_F(SessionWriterTest, SeveralWritersOnOneFolderKeepItUnderTheCapAndNeverDeleteALiveSession) {
    // Two and three windows, each handing its rows over in small groups that are written before
    // the next (the steady pace of the line: many small writes, interleaved) or all at once (a
    // flood: large batches). The writers share no memory: only the folder and its lock.
    constexpr uint64_t kCap = 2 << 20;
    // About 3 MB each, so every writer meets the cap by itself; fewer than the queue holds, so a
    // flood stops at the cap, not for the writer falling behind.
    constexpr uint64_t kMostRows = 30000;
    for (const int writers : {2, 3}) {
        for (const bool flood : {false, true}) {
            SCOPED_TRACE(std::to_string(writers) + (flood ? " writers flooding" : " writers at a steady pace"));
            const fs::path folder = dir / ("captures-" + std::to_string(writers) + (flood ? "-flood" : "-steady"));
            fs::create_directories(folder);
            std::vector<fs::path> older;  // oldest first
            for (int n = 0; n < 6; ++n) {
                older.push_back(folder / ("2026-01-0" + std::to_string(n + 1) + "_00-00-00_unit1_OLD.csv"));
                MakeFile(older.back(), 20000, 100 - n);
            }
            MakeFile(folder / "notes.csv", 100000, 200);  // not a session file: neither counted nor deleted
            FolderSampler sampler(older);
            std::mutex reportsOfRun;
            std::vector<std::string> runReports;
            std::vector<std::unique_ptr<SessionWriter>> all;
            for (int w = 0; w < writers; ++w) {
                WriterLimits limits;
                limits.folderSizeCap = kCap;
                all.push_back(std::make_unique<SessionWriter>(limits, [&](const Report& report) {
                    std::lock_guard<std::mutex> lock(reportsOfRun);
                    runReports.push_back(report.message);
                }));
                all.back()->WatchFolder([&sampler](const fs::path& f) { sampler.Sample(f); });
            }
            std::vector<std::thread> producers;
            for (int w = 0; w < writers; ++w) {
                producers.emplace_back([&, w] {
                    SessionWriter& writer = *all[static_cast<size_t>(w)];
                    writer.Begin(folder, "2026-12-07_10-00-00_unit" + std::to_string(w) + "_SIM");
                    for (uint64_t n = 1; n <= kMostRows && writer.Recording(); ++n) {
                        writer.Add(Row(n));
                        if (!flood && n % 20 == 0) writer.WaitUntilWritten();
                    }
                    writer.WaitUntilWritten();
                });
            }
            for (std::thread& producer : producers) producer.join();
            for (auto& writer : all) {
                EXPECT_FALSE(writer->Recording()) << "every writer met the cap";
                // Its session is still on: stopped at the cap, its file is kept from the others.
                const fs::path file = writer->LastFilePath();
                if (!file.empty()) {
                    EXPECT_TRUE(fs::exists(file)) << file;
                }
                writer->End();
                writer->WaitUntilWritten();
            }

            EXPECT_GE(sampler.Samples(), static_cast<unsigned>(writers)) << "at least each writer's opening";
            EXPECT_LE(sampler.Largest(), kCap) << "the folder's largest size, sampled at every write and deletion";
            EXPECT_GT(sampler.Largest(), kCap - 1000) << "the cap was reached, not stopped short of";
            const auto goneAt = sampler.GoneAt();
            for (size_t n = 0; n < goneAt.size(); ++n) {
                EXPECT_NE(goneAt[n], 0u) << older[n] << " made way for live sessions";
                if (n > 0) {
                    EXPECT_LE(goneAt[n - 1], goneAt[n]) << "oldest first";
                }
            }
            EXPECT_TRUE(fs::exists(folder / "notes.csv"));
            // A live session deleted from under its writer would be told as taken away.
            std::lock_guard<std::mutex> lock(reportsOfRun);
            EXPECT_GE(runReports.size(), static_cast<size_t>(writers));
            for (const std::string& report : runReports) {
                // A writer that begins once the others fill the folder makes no file at all.
                EXPECT_NE(report.find("size cap of 2097152 bytes"), std::string::npos) << report;
                EXPECT_EQ(report.find("removed"), std::string::npos) << report;
            }
        }
    }
}

TEST_F(SessionWriterTest, TheCapCountsAnotherWindowsSessionAtItsSizeNowAndSaysWhatFillsTheFolder) {
    std::string oneRow;
    record::AppendRow(oneRow, Row(1));
    WriterLimits limits;
    limits.folderSizeCap = 2 * record::HeaderRow().size() + 30 * oneRow.size();
    SessionWriter first(limits, Collect());
    SessionWriter second(limits, Collect());
    first.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT");
    first.WaitUntilWritten();
    second.Begin(dir / "captures", "2026-12-07_10-00-01_unit5_SIM-UNIT");
    second.WaitUntilWritten();
    // The first grows after the second began: the second must see it at its size now.
    for (uint64_t n = 1; n <= 25; ++n) first.Add(Row(n));
    first.WaitUntilWritten();
    for (uint64_t n = 1; n <= 10; ++n) second.Add(Row(n));
    second.WaitUntilWritten();
    EXPECT_TRUE(first.Recording());
    EXPECT_FALSE(second.Recording());
    const size_t secondRows = Lines(second.LastFilePath()).size() - 1;
    EXPECT_GE(secondRows, 1u);
    EXPECT_LE(secondRows, 5u) << "room for five rows beside the first's 25, at most";
    uint64_t total = 0;
    for (const fs::path& file : Files()) total += fs::file_size(file);
    EXPECT_LE(total, limits.folderSizeCap);
    EXPECT_GT(total + oneRow.size() + 2, limits.folderSizeCap) << "the next row would not fit";
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    const std::string expected = "Session recording stopped: the captures folder \"" + (dir / "captures").string() +
                                 "\" reached its size cap of " + std::to_string(limits.folderSizeCap) +
                                 " bytes: this session's file holds " + std::to_string(fs::file_size(second.LastFilePath())) +
                                 " bytes; 1 session being recorded by another window holds " +
                                 std::to_string(fs::file_size(first.LastFilePath())) +
                                 " bytes; only sessions being recorded are left, and those are never deleted. "
                                 "Records not recorded: " + std::to_string(10 - secondRows) + " so far";
    EXPECT_EQ(reports[0].substr(0, expected.size()), expected);
}

TEST_F(SessionWriterTest, AFolderMovedToAnotherFileSystemIsToldAsMovedAwayWithTheCopyWhereKnown) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows moves no folder with a file the writer holds";
#else
    // A move to another file system: a copy, then the original deleted, as mv does.
    const auto moveAway = [](const fs::path& from, const fs::path& to) {
        fs::copy(from, to, fs::copy_options::recursive);
        fs::remove_all(from);
    };
    {
        SessionWriter writer({}, Collect());
        writer.Begin(dir / "captures", "s");
        for (uint64_t n = 1; n <= 3; ++n) writer.Add(Row(n));
        writer.WaitUntilWritten();
        moveAway(dir / "captures", dir / "elsewhere");
        writer.Add(Row(4));
        writer.WaitUntilWritten();
        EXPECT_FALSE(writer.Recording());
        const auto reports = Reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("the captures folder \"" + (dir / "captures").string() +
                                  "\" was moved away, to another drive or file system (or deleted)"),
                  std::string::npos)
            << reports[0];
        EXPECT_EQ(reports[0].find("removed"), std::string::npos) << reports[0];
        EXPECT_EQ(Lines(dir / "elsewhere" / "s.csv").size(), 4u) << "the copy keeps what was written";
    }
    // "Deleted" in a file manager from a file system without a trash of its own: a copy in the
    // home trash, with a record of where it was (its path escaped).
    reports.clear();
    const fs::path trash = dir / "data" / "Trash";
    fs::create_directories(trash / "info");
    fs::create_directories(trash / "files");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const std::string savedDataHome = dataHome != nullptr ? dataHome : "";
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    {
        SessionWriter writer({}, Collect());
        writer.Begin(dir / "my captures", "s");
        writer.Add(Row(1));
        writer.WaitUntilWritten();
        std::ofstream(trash / "info" / "my captures.trashinfo")
            << "[Trash Info]\nPath=" << (dir / "my%20captures").string() << "\nDeletionDate=2026-12-07T10:00:00\n";
        moveAway(dir / "my captures", trash / "files" / "my captures");
        writer.Add(Row(2));
        writer.WaitUntilWritten();
        const auto reports = Reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find("the captures folder \"" + (dir / "my captures").string() +
                                  "\" was moved away, into the trash: the copy is \"" +
                                  (trash / "files" / "my captures").string() + "\""),
                  std::string::npos)
            << reports[0];
    }
    if (dataHome != nullptr) setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
#endif
}

} // namespace
