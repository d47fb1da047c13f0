#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "QtWait.h"
#include "toolkit/qt/BackgroundJobs.h"

namespace {

using toolkit::BackgroundJobs;

struct Owner : QObject {
    BackgroundJobs Jobs{*this};
};

TEST(BackgroundJobsTest, WordsComeBackOnTheOwnersThreadInTheOrderTheJobSentThem) {
    Owner owner;
    std::vector<std::string> words;
    std::vector<bool> onOwnersThread;
    const auto note = [&](std::string word) {
        words.push_back(std::move(word));
        onOwnersThread.push_back(QThread::currentThread() == owner.thread());
    };
    owner.Jobs.Start<int>(
        [&note](BackgroundJobs::Job& job) {
            for (int i = 0; i < 3; ++i) job.Post([&note, i] { note("step " + std::to_string(i)); });
            return 42;
        },
        [&](int result) { note("result " + std::to_string(result)); });
    EXPECT_EQ(owner.Jobs.Running(), 1u);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return owner.Jobs.Running() == 0; }));
    EXPECT_EQ(words, (std::vector<std::string>{"step 0", "step 1", "step 2", "result 42"}));
    EXPECT_EQ(onOwnersThread, std::vector<bool>(4, true));
}

TEST(BackgroundJobsTest, TheOwnerGoesWithoutWaitingOnAJobThatWaitsOnAFile) {
    // Opening a FIFO with no writer waits as a file system that no longer answers does.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string fifo = dir.filePath(QStringLiteral("hanging")).toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    struct Seen {
        std::atomic<bool> opening{false}, ended{false}, cancelled{false};
    };
    auto seen = std::make_shared<Seen>();
    bool delivered = false;
    auto owner = std::make_unique<Owner>();
    owner->Jobs.Start<int>(
        [seen, fifo](BackgroundJobs::Job& job) {
            seen->opening = true;
            const int fd = open(fifo.c_str(), O_RDONLY);
            if (fd >= 0) close(fd);
            seen->cancelled = job.Cancelled();
            seen->ended = true;
            return fd;
        },
        [&](int) { delivered = true; });
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return seen->opening.load(); }));

    owner.reset();  // returns although the open still waits: the job is left to end by itself
    EXPECT_FALSE(seen->ended);

    // Let the open end; the job sees it was called off, and its word goes nowhere.
    const int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    close(writer);
    ASSERT_TRUE(testsupport::WaitWithQtEvents([&] { return seen->ended.load(); }));
    EXPECT_TRUE(seen->cancelled);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

} // namespace
