// The search's port opener on its own: results handed over, the deadline, and the bound on
// opens left hanging, with a device that comes late closed where it was opened.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HangingOpens.h"
#include "Wait.h"
#include "app/ProbeOpener.h"

namespace {

using serialdev::FakeLine;
using testsupport::WaitUntil;

class ProbeOpenerTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::unique_ptr<testsupport::HangingOpens> ports;

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "torvane-probe-opener-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ports = std::make_unique<testsupport::HangingOpens>(dir);
    }
    void TearDown() override {
        ports.reset();
        std::filesystem::remove_all(dir);
    }
};

TEST_F(ProbeOpenerTest, KeepsAtMostItsBoundOfOpensHangingAndClosesWhatComesLate) {
    std::atomic<int> ended{0};
    const std::string unit = "/dev/torvane-test-unit";
    auto unitLine = std::make_shared<FakeLine>();
    ports->Add(unit, unitLine);
    std::vector<std::string> paths;
    std::vector<std::shared_ptr<FakeLine>> lines;
    for (size_t i = 0; i < ProbeOpener::kMaxHanging; ++i) {
        paths.push_back("/dev/torvane-test-wedged-" + std::to_string(i));
        lines.push_back(std::make_shared<FakeLine>());
        ports->Add(paths.back(), lines.back(), /*hangs=*/true);
    }
    ProbeOpener opener([&] { ++ended; }, std::chrono::milliseconds(0));

    ASSERT_EQ(opener.Start(unit), ProbeOpener::Refusal::None);
    ASSERT_TRUE(WaitUntil([&] { return opener.Ended(); }));
    serialdev::OpenResult opened = opener.Take();
    ASSERT_NE(opened.Device, nullptr);
    EXPECT_TRUE(unitLine->IsOpen());
    EXPECT_EQ(ended.load(), 1);
    opened.Device.reset();
    EXPECT_FALSE(opener.Pending());

    ASSERT_EQ(opener.Start("/dev/torvane-test-missing"), ProbeOpener::Refusal::None);
    ASSERT_TRUE(WaitUntil([&] { return opener.Ended(); }));
    EXPECT_EQ(opener.Take().Error, ENOENT);

    for (size_t i = 0; i < ProbeOpener::kMaxHanging; ++i) {
        ASSERT_EQ(opener.Start(paths[i]), ProbeOpener::Refusal::None) << i;
        ASSERT_TRUE(WaitUntil([&] { return ports->Inside() == static_cast<int>(i) + 1; }));
        EXPECT_TRUE(opener.Overdue());
        opener.GiveUp();
        EXPECT_EQ(opener.Hanging(), i + 1);
    }
    EXPECT_EQ(opener.Start(paths[0]), ProbeOpener::Refusal::StillHanging);
    EXPECT_EQ(opener.Start(unit), ProbeOpener::Refusal::TooManyHanging);
    EXPECT_FALSE(opener.Pending());
    const int endedBefore = ended.load();

    ports->Release();  // every open given up returns; their devices close on their own threads
    ASSERT_TRUE(WaitUntil([&] { return opener.Hanging() == 0; }));
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]->OpenedPath(), paths[i]);
        EXPECT_FALSE(lines[i]->IsOpen()) << "a device that came late is closed";
    }
    EXPECT_EQ(ended.load(), endedBefore) << "no word about an open given up";
    ASSERT_EQ(opener.Start(unit), ProbeOpener::Refusal::None) << "room again";
    ASSERT_TRUE(WaitUntil([&] { return opener.Ended(); }));
    EXPECT_NE(opener.Take().Device, nullptr);
}

// Given up when its result has just come: only the device goes, the thread stays for the next.
TEST_F(ProbeOpenerTest, GivingUpAnOpenThatHasEndedClosesItsDeviceAndKeepsTheThread) {
    auto line = std::make_shared<FakeLine>();
    ports->Add("/dev/torvane-test-unit", line);
    ProbeOpener opener(nullptr);
    ASSERT_EQ(opener.Start("/dev/torvane-test-unit"), ProbeOpener::Refusal::None);
    ASSERT_TRUE(WaitUntil([&] { return opener.Ended(); }));
    EXPECT_FALSE(opener.Overdue()) << "an open that has ended is never overdue";
    opener.GiveUp();
    EXPECT_FALSE(line->IsOpen());
    EXPECT_EQ(opener.Hanging(), 0u);
    ASSERT_EQ(opener.Start("/dev/torvane-test-unit"), ProbeOpener::Refusal::None);
    ASSERT_TRUE(WaitUntil([&] { return opener.Ended(); }));
    EXPECT_NE(opener.Take().Device, nullptr);
}

} // namespace
