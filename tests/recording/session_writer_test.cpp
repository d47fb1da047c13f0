// The writer thread against a real folder: whole rows, failures told once with what they cost,
// the size cap (never a live session, never for a session that cannot be recorded), a folder
// moved under the writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

#include "Wait.h"
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
    static RecordRow Row(uint64_t number) {
        RecordRow row;
        row.time = toolkit::EncodeDateTime(2026, 12, 7, 10, 0, 0, static_cast<int>(number % 1000));
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

const UnitIdentity kUnit{true, 5, "SIM-UNIT"};

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
        writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
        for (uint64_t n = 1; n <= 3; ++n) EXPECT_TRUE(writer.Add(Row(n)));
        writer.WaitUntilWritten();
        const auto lines = Lines(writer.LastFilePath());
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0] + "\n", HeaderRow());
        EXPECT_EQ(lines[3], "2026-12-07T10:00:00.003" + lines[3].substr(23, 6) + ",3,status,3,111,no LB yet,0,0,0,5,SIM-UNIT,53 01 03 6f 00 00 00");
        // The same start second again: a file of its own beside the first.
        writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
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
    writer.Begin(dir / "captures", "full", kUnit);
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
    writer.Begin(dir / "a-file" / "captures", "s", kUnit);
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
    writer.Begin(dir / "captures", "s", kUnit);
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
    writer.Begin(dir / "captures", "s", kUnit);
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
    writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
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
    AppendRow(oneRow, Row(1), UnitFields(kUnit), 0);
    const uint64_t rowSize = oneRow.size();  // the same for rows 1 to 5
    limits.folderSizeCap = HeaderRow().size() + 2 * rowSize + rowSize / 2;
    // The writer is held inside opening the file until all five records are queued, so it
    // meets them in one go and the count in its report is known.
    testsupport::Gate gate;
    SessionWriter writer(limits, Collect(), GatedOpener(gate));
    writer.Begin(dir / "captures", "s", kUnit);
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
    writer.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
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
    AppendRow(oneRow, Row(1), UnitFields(kUnit), 0);
    WriterLimits limits;
    // Room for the old file, or for both live sessions' first rows, but not for everything.
    limits.folderSizeCap = 2000 + 2 * HeaderRow().size() + 10 * oneRow.size();
    SessionWriter first(limits, Collect());
    SessionWriter second(limits, Collect());
    // The same start second and unit: each gets a file of its own.
    first.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
    for (uint64_t n = 1; n <= 10; ++n) first.Add(Row(n));
    first.WaitUntilWritten();
    second.Begin(dir / "captures", "2026-12-07_10-00-00_unit5_SIM-UNIT", kUnit);
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
    EXPECT_EQ(secondLines[0] + "\n", HeaderRow());
    for (size_t n = 1; n < secondLines.size(); ++n) {
        EXPECT_EQ(SplitCsvLine(secondLines[n]).value_or(std::vector<std::string>(kColumnCount)).at(kRecordColumn),
                  std::to_string(n));
    }
    // A file is free for the cap once its session has ended: the first writer's next session
    // deletes its own last one, the oldest (made so: some file systems keep whole seconds only).
    const fs::path firstSession = first.LastFilePath();
    first.End();
    first.WaitUntilWritten();
    fs::last_write_time(firstSession, fs::file_time_type::clock::now() - std::chrono::hours(1));
    first.Begin(dir / "captures", "2026-12-07_10-05-00_unit5_SIM-UNIT", kUnit);
    for (uint64_t n = 1; n <= 10; ++n) first.Add(Row(n));
    first.WaitUntilWritten();
    EXPECT_FALSE(fs::exists(firstSession));
    EXPECT_EQ(Lines(first.LastFilePath()).size(), 11u);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u) << "only the second writer's cap";
    EXPECT_NE(reports[0].find("reached its size cap"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("bytes are sessions being recorded by other windows"), std::string::npos) << reports[0];
}

TEST_F(SessionWriterTest, AFolderRenamedMidSessionIsToldAndTheSessionGoesOnInTheSameFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows refuses to move a folder with a file the writer holds";
#endif
    SessionWriter writer({}, Collect());
    writer.Begin(dir / "captures", "s", kUnit);
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

} // namespace
